#include "optimhelmdeckcontrollerstate.h"

#include "model/optimizationmodelobject.h"
#include "state/helmdecksettings.h"

#include <QSettings>

#include <algorithm>

namespace {


const char *const numItersToDisplayKey = "numItersToDisplay";
const char *const yAxisAutoscaleKey = "yAxisAutoscaleUsingAllData";
const char *const goalXAxisScalingKey = "goalXAxisScaling";

constexpr int defaultNumItersToDisplay = 0;
constexpr bool defaultYAxisAutoscaleUsingAllData = true;
constexpr int defaultGoalXAxisScaling = 2;
constexpr int staleDelayMs = 1000;

// A decimal text as a number; text that is no number counts as 0.
int decimalNumber(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok, 10);
    return ok ? n : 0;
}

// A stored setting in 0..2; anything else (missing, not a number, out of
// range) gives the default.
int readSmallSetting(const QSettings &settings, const char *key, int defaultValue)
{
    bool ok = false;
    const int value = settings.value(QLatin1String(key), defaultValue).toInt(&ok);
    return ok && value >= 0 && value <= 2 ? value : defaultValue;
}

bool isWaitKind(int kind)
{
    return kind >= OptimHelmdeckControllerState::WaitNone && kind <= OptimHelmdeckControllerState::WaitSimulate;
}

} // namespace

OptimHelmdeckControllerState::OptimHelmdeckControllerState(bool multiOpt, bool interactive, QObject *parent)
    : QObject(parent)
    , m_multiOpt(multiOpt)
    , m_interactive(interactive)
    , m_staleTimer(this)
{
    m_staleTimer.setInterval(staleDelayMs);
    m_staleTimer.setSingleShot(true);
    connect(&m_staleTimer, &QTimer::timeout, this, &OptimHelmdeckControllerState::staleTimerSlot);

    const HelmdeckSettings settings;
    m_numItersToDisplay = readSmallSetting(settings, numItersToDisplayKey, defaultNumItersToDisplay);
    m_yAxisAutoscaleUsingAllData =
        settings.value(QLatin1String(yAxisAutoscaleKey), defaultYAxisAutoscaleUsingAllData).toBool();
    m_goalXAxisScaling = readSmallSetting(settings, goalXAxisScalingKey, defaultGoalXAxisScaling);
    m_historyLogScale = settings.historyLogScale();
}

OptimHelmdeckControllerState::~OptimHelmdeckControllerState()
{
    HelmdeckSettings settings;
    settings.setValue(QLatin1String(numItersToDisplayKey), m_numItersToDisplay);
    settings.setValue(QLatin1String(yAxisAutoscaleKey), m_yAxisAutoscaleUsingAllData);
    settings.setValue(QLatin1String(goalXAxisScalingKey), m_goalXAxisScaling);
}

// ---------------------------------------------------------------- models

void OptimHelmdeckControllerState::addModel(OptimizationModelObject *model)
{
    if (!model)
        return;
    m_models.append(QPointer<OptimizationModelObject>(model));
    Q_EMIT modelAdded(model);
}

QList<OptimizationModelObject *> OptimHelmdeckControllerState::models() const
{
    // Models deleted meanwhile are left out.
    QList<OptimizationModelObject *> result;
    result.reserve(m_models.size());
    for (const QPointer<OptimizationModelObject> &model : m_models) {
        if (model)
            result.append(model.data());
    }
    return result;
}

void OptimHelmdeckControllerState::setViewModel(OptimizationModelObject *model)
{
    if (m_viewModel)
        disconnect(m_viewModel.data(), nullptr, this, nullptr);
    m_viewModel = model;
    if (m_viewModel) {
        connect(m_viewModel.data(), &OptimizationModelObject::algorithmChanged, this,
                &OptimHelmdeckControllerState::updateNumberOfIterationsToDisplay);
    }
    updateNumberOfIterationsToDisplay();
}

// ---------------------------------------------------------------- wait state

void OptimHelmdeckControllerState::emitWaitChange(int kind, bool waiting)
{
    switch (kind) {
    case WaitContinue:
        Q_EMIT changeWaitingForSimulatorToContinue(waiting);
        break;
    case WaitPause:
        Q_EMIT changeWaitingForSimulatorToPause(waiting);
        break;
    case WaitSimulate:
        Q_EMIT changeWaitingForSimulatorToSimulate(waiting);
        break;
    default:
        break;
    }
}

void OptimHelmdeckControllerState::setWaitingFor(int kind)
{
    // Only the four known kinds are taken; anything else would leave the
    // views without a signal to match it.
    if (!isWaitKind(kind) || kind == m_waitingFor)
        return;
    const int oldKind = m_waitingFor;
    m_waitingFor = kind;
    emitWaitChange(oldKind, false);
    emitWaitChange(kind, true);
    if (kind == WaitNone)
        Q_EMIT noLongerWaiting();
    Q_EMIT waitStateChanged();
}

void OptimHelmdeckControllerState::stopWaiting()
{
    if (m_waitingFor == WaitNone)
        return;
    const int oldKind = m_waitingFor;
    m_waitingFor = WaitNone;
    emitWaitChange(oldKind, false);
    Q_EMIT noLongerWaiting();
    Q_EMIT waitStateChanged();
}

void OptimHelmdeckControllerState::answerReceived(int status)
{
    bool ends = false;
    switch (m_waitingFor) {
    case WaitPause:
        ends = status != StatusRunning;
        break;
    case WaitContinue:
        ends = status == StatusRunning;
        break;
    case WaitSimulate:
        ends = true;
        break;
    default:
        break;
    }
    if (ends)
        stopWaiting();
}

// ---------------------------------------------------------------- tuning

void OptimHelmdeckControllerState::turnOnTuning()
{
    if (m_inTuning)
        return;
    switch (m_waitingFor) {
    case WaitNone:
    case WaitSimulate:
        m_inTuning = true;
        Q_EMIT tuningStateChanged(true);
        break;
    case WaitPause:
        // Tuning needs a paused optimization: turn it on once the pause is
        // answered. A second request while one is pending adds nothing.
        if (!m_deferredTuning) {
            m_deferredTuning = connect(this, &OptimHelmdeckControllerState::noLongerWaiting, this,
                                       &OptimHelmdeckControllerState::turnOnTuningSlot);
        }
        break;
    default:
        break;
    }
}

void OptimHelmdeckControllerState::turnOnTuningSlot()
{
    disconnect(m_deferredTuning);
    m_deferredTuning = {};
    turnOnTuning();
}

void OptimHelmdeckControllerState::turnOffTuning()
{
    // Turning tuning off also withdraws a turn-on still waiting for a pause,
    // so that tuning does not come on later behind the user's back (for
    // example after a continue that overtook the pause).
    if (m_deferredTuning) {
        disconnect(m_deferredTuning);
        m_deferredTuning = {};
    }
    if (!m_inTuning)
        return;
    m_inTuning = false;
    Q_EMIT tuningStateChanged(false);
}

// ---------------------------------------------------------------- changes and staleness

void OptimHelmdeckControllerState::markChanged(bool changed)
{
    if (!changed)
        return;
    m_designUpdated = false;
    m_lastSimulationFailed = false;
    if (m_dataStale)
        return;
    m_dataStale = true;
    // While tuning, changes come in quick succession (a slider being
    // dragged): the stale signal waits for the timer instead.
    if (m_inTuning)
        m_staleTimer.start();
    else
        Q_EMIT staleDataChanged(true);
}

void OptimHelmdeckControllerState::setValuesChanged(bool changed)
{
    m_valuesChanged = changed;
    markChanged(changed);
}

void OptimHelmdeckControllerState::setAlgorithmChanged(bool changed)
{
    m_algorithmChanged = changed;
    markChanged(changed);
}

void OptimHelmdeckControllerState::setGoalsChanged(bool changed)
{
    m_goalsChanged = changed;
    markChanged(changed);
}

void OptimHelmdeckControllerState::setVariablesChanged(bool changed)
{
    m_variablesChanged = changed;
    markChanged(changed);
}

void OptimHelmdeckControllerState::resultReceived(long commandId, bool simulationOk)
{
    if (simulationOk)
        m_lastResultCommandId = commandId;
    m_lastSimulationFailed = !simulationOk;
    if (!simulationOk && !m_dataStale) {
        m_dataStale = true;
        Q_EMIT staleDataChanged(true);
    }
    // Fresh again only when the result answers the latest command and
    // nothing changed since.
    if (m_dataStale && m_lastResultCommandId == m_commandId && !m_valuesChanged && !m_algorithmChanged
        && !m_goalsChanged && !m_variablesChanged && !m_lastSimulationFailed) {
        m_dataStale = false;
        m_staleTimer.stop();
        Q_EMIT staleDataChanged(false);
    }
}

void OptimHelmdeckControllerState::setLastSimulationFailed(bool failed)
{
    m_lastSimulationFailed = failed;
    if (failed && !m_dataStale) {
        m_dataStale = true;
        Q_EMIT staleDataChanged(true);
    }
}

void OptimHelmdeckControllerState::clearStale()
{
    if (!m_dataStale)
        return;
    m_dataStale = false;
    m_staleTimer.stop();
    Q_EMIT staleDataChanged(false);
}

void OptimHelmdeckControllerState::setStale(bool stale, bool startTimer)
{
    if (stale == m_dataStale)
        return;
    m_dataStale = stale;
    if (!stale)
        m_staleTimer.stop();
    if (startTimer && m_inTuning && stale)
        m_staleTimer.start();
    else
        Q_EMIT staleDataChanged(stale);
}

void OptimHelmdeckControllerState::staleTimerSlot()
{
    if (m_dataStale)
        Q_EMIT staleDataChanged(true);
}

bool OptimHelmdeckControllerState::canSimulate() const
{
    return m_waitingFor == WaitNone && m_dataStale && !m_lastSimulationFailed;
}

// ---------------------------------------------------------------- command ids and simulation end

long OptimHelmdeckControllerState::nextCommandId()
{
    return ++m_commandId;
}

void OptimHelmdeckControllerState::setSimulationFinished()
{
    if (!m_simulationRunning)
        return;
    m_simulationRunning = false;
    Q_EMIT simulationFinished();
}

// ---------------------------------------------------------------- display settings

void OptimHelmdeckControllerState::updateNumberOfIterationsToDisplay()
{
    // Without a view model there is nothing to count; the last count stays.
    if (!m_viewModel)
        return;
    const OptimizationModel &model = m_viewModel->model();
    const int reachable = std::max(decimalNumber(model.algorithmInput().maxIterations()),
                                   decimalNumber(model.algorithmOutput().iterationText()));
    if (reachable == m_numIterations)
        return;
    m_numIterations = reachable;
    if (m_numItersToDisplay == 0)
        Q_EMIT numIterationsToDisplayChanged(m_numIterations + 1);
}

int OptimHelmdeckControllerState::iterationsToDisplay() const
{
    switch (m_numItersToDisplay) {
    case 0:
        return m_numIterations + 1;
    case 1:
        return 10;
    case 2:
        return 25;
    default:
        return 0;
    }
}

void OptimHelmdeckControllerState::setNumItersToDisplay(int setting)
{
    if (setting == m_numItersToDisplay)
        return;
    m_numItersToDisplay = setting;
    Q_EMIT numIterationsToDisplayChanged(iterationsToDisplay());
}

void OptimHelmdeckControllerState::setYAxisAutoscaleUsingAllData(bool useAll)
{
    if (useAll == m_yAxisAutoscaleUsingAllData)
        return;
    m_yAxisAutoscaleUsingAllData = useAll;
    Q_EMIT yAutoScaleUsingAllDataChanged(useAll);
}

void OptimHelmdeckControllerState::setGoalXAxisScaling(int scaling)
{
    if (scaling == m_goalXAxisScaling)
        return;
    m_goalXAxisScaling = scaling;
    Q_EMIT goalXAxisScalingChanged(scaling);
}

void OptimHelmdeckControllerState::setHistoryLogScale(bool on)
{
    if (on == m_historyLogScale)
        return;
    m_historyLogScale = on;
    HelmdeckSettings().setHistoryLogScale(on);
    Q_EMIT historyLogScaleChanged(on);
}
