#pragma once

// The goals as a small table (name, error, contribution, limits); a goal's
// name is a link that selects the goal (goalSelected). While the page is
// not shown the table is not rebuilt for every iteration: it catches up
// when it shows or when its text is asked for.

#include <QLabel>
#include <QPointer>

class OptimizationModelObject;

class GoalTextView : public QLabel
{
    Q_OBJECT

public:
    explicit GoalTextView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);
    void setStale(bool stale);
    int selectedGoal() const { return m_selectedGoal; }
    // The table as shown, brought up to date first.
    QString text() const;

public Q_SLOTS:
    void setSelectedGoal(int goalIndex);
    void clearSelection() { setSelectedGoal(-1); }

Q_SIGNALS:
    void goalSelected(int goalIndex);

protected:
    bool event(QEvent *event) override;

private Q_SLOTS:
    void updateView();

private:
    void rebuild();

    QPointer<OptimizationModelObject> m_model;
    int m_selectedGoal = -1;
    bool m_stale = false;
    bool m_dirty = false;
};
