#pragma once

// Shared helpers of the window tests: settings isolated in a temporary
// folder, and optimization models in a chosen state built from the sample
// messages.

#include "model/optimizationmodelobject.h"
#include "samplemessages.h"

#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

// Points every QSettings of the test process at a temporary folder, so a
// test never reads or writes the user's settings. Create it before the first
// QSettings object (in initTestCase).
class IsolatedSettings
{
public:
    IsolatedSettings()
    {
        QStandardPaths::setTestModeEnabled(true);
        for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
            QSettings::setPath(format, QSettings::UserScope, m_dir.path());
            QSettings::setPath(format, QSettings::SystemScope, m_dir.path());
        }
    }
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    // Forgets everything the helmdeck stored so far.
    static void clear() { QSettings(QStringLiteral("Brannoc"), QStringLiteral("ZEB")).clear(); }

private:
    QTemporaryDir m_dir;
};

inline QVariant helmdeckSetting(const QString &key)
{
    return QSettings(QStringLiteral("Brannoc"), QStringLiteral("ZEB")).value(QStringLiteral("OptimizationHelmdeck/") + key);
}

inline void setHelmdeckSetting(const QString &key, const QVariant &value)
{
    QSettings(QStringLiteral("Brannoc"), QStringLiteral("ZEB")).setValue(QStringLiteral("OptimizationHelmdeck/") + key, value);
}

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
