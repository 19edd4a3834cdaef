#pragma once

// The status panel's progress: iteration against the limit, and the time
// the run has been going.
// It shows the model on view and redraws when the model signals
// algorithmChanged().

#include <QDateTime>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

class OptimizationModelObject;
class QProgressBar;

class ProgressView : public QWidget
{
    Q_OBJECT

public:
    explicit ProgressView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);
    bool isClockRunning() const { return m_timer.isActive(); }
    qint64 elapsedSeconds() const;

    // The clock the elapsed time is read from (tests step it by hand).
    void setClock(std::function<QDateTime()> clock);

    // "Iteration 12/100"; empty without an iteration. When both texts are
    // numbers and the iteration passed the limit, the iteration stands for
    // the limit ("Iteration 12/12").
    static QString progressText(const QString &iteration, const QString &limit);
    // The bar's value, 0 to 1000, for an iteration and a limit text. An
    // empty, non-numeric, zero or negative limit never divides: it gives an
    // empty bar, or a full one when a positive iteration is past a limit of
    // 0 (as the text then reads "Iteration n/n").
    static int progressValue(const QString &iteration, const QString &limit);
    // "59s", "1m01s", "1h00m01s".
    static QString elapsedTimeText(qint64 seconds);

public Q_SLOTS:
    void resume();
    void pause();

private Q_SLOTS:
    void updateTime();
    void updateView();

private:
    QDateTime now() const;

    QPointer<OptimizationModelObject> m_model;
    QLabel *m_textLabel;
    QProgressBar *m_bar;
    QLabel *m_timeLabel;
    qint64 m_accumulatedSeconds = 0;
    QDateTime m_runningSince;
    QTimer m_timer;
    std::function<QDateTime()> m_clock;
    // The model's two iteration limits as last seen, and whether the
    // algorithm's own changed after the optimizer's (an edit not yet run).
    QString m_inputLimitSeen;
    QString m_outputLimitSeen;
    bool m_inputLimitNewer = false;
};
