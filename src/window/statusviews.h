#pragma once

// The five small views of the status panel: status icon (still image or
// animation), algorithm text, progress with elapsed time, simulation-error
// notice and stopping reason. Each shows the model on view and redraws when
// the model signals algorithmChanged().

#include "optimicons.h"

#include <QDateTime>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

class OptimizationModelObject;
class QMovie;
class QProgressBar;

class StatusIconView : public QLabel
{
    Q_OBJECT

public:
    explicit StatusIconView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);
    bool showSimulationIcon() const { return m_showSimulationIcon; }
    // What the view shows: an entry of the icon table, or -1 for nothing.
    int shownIcon() const { return m_shownIcon; }
    QMovie *optimizingMovie() const { return m_optimizingMovie; }
    QMovie *simulatingMovie() const { return m_simulatingMovie; }

public Q_SLOTS:
    void setShowSimulationIcon(bool showSimulationIcon);

private Q_SLOTS:
    void updateView();
    void setLabelImage(OptimIcon optimIcon);
    void setLabelMovie(OptimIcon optimIcon, QMovie *movie);

private:
    void pauseCurrentMovieUnless(QMovie *keep);
    void updateFinishedToolTip();

    QPointer<OptimizationModelObject> m_model;
    bool m_showSimulationIcon = false;
    // The status last drawn; -1 when nothing is (first draw, or after the
    // simulating animation), so the next update always draws.
    int m_lastStatus = -1;
    int m_shownIcon = -1;
    QMovie *m_optimizingMovie;
    QMovie *m_simulatingMovie;
};

class AlgorithmTextView : public QWidget
{
    Q_OBJECT

public:
    explicit AlgorithmTextView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);

private Q_SLOTS:
    void updateView();

private:
    QPointer<OptimizationModelObject> m_model;
    QString m_shownName;
    int m_shownType = 0;
    QLabel *m_nameLabel;
    QLabel *m_typeLabel;
};

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

class SimulationErrorView : public QWidget
{
    Q_OBJECT

public:
    explicit SimulationErrorView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);

private Q_SLOTS:
    void updateView();

private:
    QPointer<OptimizationModelObject> m_model;
};

// The stopping reason, and for a finished run the goals' verdict ("Goals:
// 2 of 3 goals not met", "Goals: all goals met").
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
