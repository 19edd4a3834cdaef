#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>

class OptimizationModelObject;

// The stopping reason, and for a finished run the goals' verdict ("Goals:
// 2 of 3 goals not met", "Goals: all goals met").
// It shows the model on view and redraws when the model signals
// algorithmChanged().
class StoppingReasonView : public QWidget
{
    Q_OBJECT

public:
    explicit StoppingReasonView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);

    // What the view shows for a status and the reason the simulator gave:
    // that reason, or, when it gave none, what happened in words for an
    // optimization that ended (exited, with an error, killed); empty (the
    // view hides) while it has not ended and no reason was given.
    static QString reasonText(int status, const QString &reason);
    // The reasons the helmdeck itself gives when the simulator goes without
    // a word: the host stopped it (the user's stop), or its process ended.
    static QString stoppedByUserText();
    static QString processEndedText();

private Q_SLOTS:
    void updateView();

private:
    QPointer<OptimizationModelObject> m_model;
    QLabel *m_caption;
    QLabel *m_reason;
    QLabel *m_goalsCaption;
    QLabel *m_goals;
};
