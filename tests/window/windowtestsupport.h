#pragma once

// Shared helpers of the window tests: the helmdeck's settings, and
// optimization models in a chosen state built from the sample messages.

#include "isolatedsettings.h"
#include "model/optimizationmodelobject.h"
#include "samplemessages.h"
#include "state/helmdecksettings.h"

#include <QEvent>
#include <QSignalSpy>

#include <memory>

// What an iteration reports about the algorithm.
struct AlgState
{
    AlgState(int status = 2, const QString &iteration = QStringLiteral("3"), const QString &maxIterationsText = QStringLiteral("100"))
        : status(status), iteration(iteration), maxIterationsText(maxIterationsText)
    {
    }
    int status;
    QString iteration;
    QString maxIterationsText;
    bool simulationOk = true;
    QString stoppingReason;
};

// Counts the paint events a widget receives (views that did not change
// must not repaint).
struct PaintCounter : QObject
{
    explicit PaintCounter(QObject *widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
    int count = 0;
};

// Every emission of a spied signal as its arguments joined by '=', e.g. "L1.L=10".
inline QStringList calls(const QSignalSpy &spy)
{
    QStringList out;
    for (const QList<QVariant> &args : spy) {
        QStringList texts;
        for (const QVariant &arg : args)
            texts << arg.toString();
        out << texts.join(QLatin1Char('='));
    }
    return out;
}

inline const SampleSize &smallSample()
{
    static const SampleSize size{2, 1, 5, 3};
    return size;
}

// Applies one iteration carrying the given algorithm state.
inline void applyState(OptimizationModelObject &model, const AlgState &state)
{
    OptimIter iteration = sampleIteration(smallSample(), state.iteration.toInt());
    OptimAlgOutput &algorithm = iteration.algorithm();
    algorithm.setStatus(state.status);
    algorithm.setIterationText(state.iteration);
    algorithm.setMaxIterationsText(state.maxIterationsText);
    algorithm.setSimulationOk(state.simulationOk);
    algorithm.setStoppingReason(state.stoppingReason);
    model.applyIteration(iteration);
}

// A model with the sample definitions (algorithm "Optim1", Gradient, limit
// "100"); without a state it stays at status 0 with no iteration.
inline std::unique_ptr<OptimizationModelObject> makeModel(int algorithmType = 2, const QString &maxIterations = QStringLiteral("100"))
{
    auto model = std::make_unique<OptimizationModelObject>();
    OptimModelInput input = sampleModelInput(smallSample());
    input.algorithm().setAlgorithmType(algorithmType);
    input.algorithm().setMaxIterations(maxIterations);
    model->setModelInput(input);
    return model;
}

inline std::unique_ptr<OptimizationModelObject> makeModel(const AlgState &state, int algorithmType = 2, const QString &maxIterations = QStringLiteral("100"))
{
    auto model = makeModel(algorithmType, maxIterations);
    applyState(*model, state);
    return model;
}
