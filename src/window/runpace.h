#pragma once

// Pace of a running optimization: iterations per second over the last
// minute and, with an iteration limit, the estimated time left.
//
// RunPace keeps (time, iteration) samples from the last 60 seconds. The
// rate is the iterations gained between the oldest and the newest sample
// over the time between them; it needs two samples at least a second
// apart. A pause or a restart (the iteration going back) starts afresh, so
// time spent standing still never lowers the rate.
//
// PaceView shows "12.5 it/s, about 1m20s left" beside the elapsed time
// while the optimization runs, and nothing otherwise. While the run goes
// on, the view asks for the width of its widest text so far: a text that
// comes out shorter on the next iteration leaves the progress bar beside it
// where it is, instead of widening it and drawing it again.

#include "modelbinding.h"

#include <QDateTime>
#include <QLabel>

#include <deque>
#include <functional>
#include <optional>

class RunPace
{
public:
    static constexpr qint64 windowMs = 60000;

    // A sample at msecs (any monotonic clock) for an iteration count.
    void record(qint64 msecs, double iteration);
    void clear() { m_samples.clear(); }

    std::optional<double> iterationsPerSecond() const;
    // Seconds until the iteration reaches limit at the current rate.
    std::optional<qint64> secondsLeft(double limit) const;
    // "12.5 it/s", with ", about 1m20s left" when secondsLeft(limit) is known
    // (limit: a number text; empty or not a number gives no estimate).
    QString text(const QString &limit) const;

private:
    struct Sample
    {
        qint64 msecs;
        double iteration;
    };
    std::deque<Sample> m_samples;
};

class PaceView : public QLabel
{
    Q_OBJECT

public:
    explicit PaceView(QWidget *parent = nullptr);

    void setModel(OptimizationModelObject *model);
    // The clock samples are taken from (tests step it by hand).
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    QSize sizeHint() const override;

private Q_SLOTS:
    void updateView();

private:
    QPointer<OptimizationModelObject> m_model;
    std::function<QDateTime()> m_clock;
    RunPace m_pace;
    // The widest text's width since the run (or the model) started.
    int m_heldWidth = 0;
};
