#pragma once

// The goals as a small table (name, error, contribution, limits); a goal's
// name is a link that selects the goal (goalSelected).

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

public Q_SLOTS:
    void setSelectedGoal(int goalIndex);
    void clearSelection() { setSelectedGoal(-1); }

Q_SIGNALS:
    void goalSelected(int goalIndex);

private Q_SLOTS:
    void updateView();

private:
    QPointer<OptimizationModelObject> m_model;
    int m_selectedGoal = -1;
    bool m_stale = false;
};
