#pragma once

// The goals panel's overall error: "Error: " or "Best Error: " with the
// algorithm output's texts. It reads the model on view and redraws when the
// model says what changed.

#include <QLabel>
#include <QPointer>
#include <QWidget>

class QHBoxLayout;
class OptimizationModelObject;

class GoalErrorTextView : public QWidget
{
    Q_OBJECT

public:
    explicit GoalErrorTextView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);
    void setStale(bool stale);
    // What the view reads, caption and values together (in full, also when
    // a narrow panel shows them elided).
    QString text() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private Q_SLOTS:
    void updateView();

private:
    // Fits the texts into the width: the value first, the detail in what is
    // left, each elided at its end when it does not fit.
    void elide();

    QPointer<OptimizationModelObject> m_model;
    QLabel *m_caption;
    QLabel *m_value;
    QLabel *m_detail;
    QHBoxLayout *m_lines[2] = {};
    QString m_valueText;
    QString m_detailText;
    bool m_stale = false;
};
