#include "optimizationmodelobject.h"

namespace {

// An iteration text as a number; 0 when it does not parse.
int iterationNumber(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok, 10);
    return ok ? n : 0;
}

} // namespace

OptimizationModelObject::OptimizationModelObject(QObject *parent)
    : QObject(parent)
{
}

template<typename Each>
void OptimizationModelObject::changeGoals(qsizetype count, Each each)
{
    // each(k) changes goal k and says whether it did.
    const bool outermost = !m_changingGoals;
    m_changingGoals = true;
    bool any = false;
    for (qsizetype k = 0; k < count; ++k) {
        if (!each(k))
            continue;
        any = true;
        Q_EMIT goalChanged(int(k));
    }
    if (!outermost)
        return;
    m_changingGoals = false;
    if (any)
        Q_EMIT goalsChanged();
}

// ---------------------------------------------------------------- definitions

void OptimizationModelObject::extendOutputsAndHistories()
{
    auto &goalOutputs = m_model.output().goals();
    auto &goalHistories = m_model.history().goals();
    const auto &goals = m_model.input().goals();
    while (goalOutputs.count() < goals.count()) {
        OptimGoalOutput output;
        for (qsizetype l = 0; l < goals.at(goalOutputs.count()).limits().count(); ++l)
            output.limitOutputs().append(OptimGoalLimitOutput());
        goalOutputs.append(output);
    }
    while (goalHistories.count() < goals.count())
        goalHistories.append(OptimGoalHistory());

    auto &variableOutputs = m_model.output().variables();
    auto &variableHistories = m_model.history().variables();
    const auto &variables = m_model.input().variables();
    while (variableOutputs.count() < variables.count())
        variableOutputs.append(OptimVarOutput(variables.at(variableOutputs.count()).value()));
    while (variableHistories.count() < variables.count())
        variableHistories.append(OptimVarHistory());
}

void OptimizationModelObject::setModelInput(const OptimModelInput &input)
{
    m_model.input() = input;
    extendOutputsAndHistories();
}

void OptimizationModelObject::replaceModelInput(const OptimModelInput &input)
{
    setAlgorithmDefinition(input.algorithm());
    replaceGoals(input.goals());
    replaceVariables(input.variables());
}

void OptimizationModelObject::setAlgorithmDefinition(const OptimAlgInput &algorithm)
{
    if (m_model.input().algorithm() == algorithm)
        return;
    m_model.input().setAlgorithm(algorithm);
    Q_EMIT algorithmChanged();
}

void OptimizationModelObject::setAlgorithmDefinition(const OptimIterAlgorithmDefinition &definition)
{
    setAlgorithmDefinition(definition.algorithm());
}

void OptimizationModelObject::setGoalDefinitions(const OptimIterGoalDefinitions &definitions)
{
    replaceGoals(definitions.goals());
}

void OptimizationModelObject::setVariableDefinitions(const OptimIterVariableDefinitions &definitions)
{
    replaceVariables(definitions.variables());
}

void OptimizationModelObject::replaceGoals(const OptimItemList<OptimGoalInput> &goals)
{
    auto &current = m_model.input().goals();
    changeGoals(qMin(current.count(), goals.count()), [&](qsizetype k) {
        if (current.at(k) == goals.at(k))
            return false;
        current.replace(k, goals.at(k));
        return true;
    });
}

void OptimizationModelObject::replaceVariables(const OptimItemList<OptimVarInput> &variables)
{
    auto &current = m_model.input().variables();
    const qsizetype n = qMin(current.count(), variables.count());
    for (qsizetype k = 0; k < n; ++k) {
        if (current.at(k) == variables.at(k))
            continue;
        current.replace(k, variables.at(k));
        Q_EMIT variableChanged(int(k));
    }
}

void OptimizationModelObject::appendGoal(const OptimGoalInput &goal)
{
    m_model.input().goals().append(goal);
    extendOutputsAndHistories();
    Q_EMIT goalAdded(int(m_model.goalCount() - 1));
}

void OptimizationModelObject::appendVariable(const OptimVarInput &variable)
{
    m_model.input().variables().append(variable);
    extendOutputsAndHistories();
    Q_EMIT variableAdded(int(m_model.variableCount() - 1));
}

// ---------------------------------------------------------------- status

void OptimizationModelObject::setStatus(int status)
{
    OptimAlgOutput &algorithm = m_model.output().algorithm();
    if (algorithm.status() == status || optimStatusIsTerminal(algorithm.status()))
        return;
    algorithm.setStatus(status);
    Q_EMIT algorithmChanged();
}

void OptimizationModelObject::applyStatus(const OptimStatus &status)
{
    setStatus(status.status());
    // The reason is taken over even after a terminal status.
    OptimAlgOutput &algorithm = m_model.output().algorithm();
    if (algorithm.stoppingReason() != status.message()) {
        algorithm.setStoppingReason(status.message());
        Q_EMIT algorithmChanged();
    }
}

// ---------------------------------------------------------------- iterations

// Inlined into the loops over all variables that tuning runs.
Q_ALWAYS_INLINE void OptimizationModelObject::applyVariableValue(int k, const QString &value, int targets)
{
    if (k < 0 || k >= m_model.variableCount())
        return;
    if (targets & TargetInput)
        m_model.input().variables()[k].setValue(value);
    if ((targets & TargetOutput) && k < m_model.output().variables().count())
        m_model.output().variables()[k].setValue(value);
    if ((targets & TargetHistory) && k < m_model.history().variables().count())
        m_model.history().variables()[k].values().append(value);
    Q_EMIT variableChanged(k);
}

void OptimizationModelObject::applyVariableValues(const QStringList &values, int targets)
{
    const qsizetype n = qMin(m_model.variableCount(), values.size());
    for (qsizetype k = 0; k < n; ++k) {
        if (!values.at(k).isEmpty())
            applyVariableValue(int(k), values.at(k), targets);
    }
}

void OptimizationModelObject::applyVariableOutputs(const OptimItemList<OptimVarOutput> &variables, int targets)
{
    const qsizetype n = qMin(m_model.variableCount(), variables.count());
    // No slot runs before the one signal at the end, so each list is
    // detached once and walked in place.
    auto &outputList = m_model.output().variables();
    auto &historyList = m_model.history().variables();
    OptimVarInput *const inputs = (targets & TargetInput) ? m_model.input().variables().data() : nullptr;
    OptimVarOutput *const outputs = (targets & TargetOutput) ? outputList.data() : nullptr;
    OptimVarHistory *const histories = (targets & TargetHistory) ? historyList.data() : nullptr;
    const qsizetype outputCount = outputs ? qMin(n, outputList.count()) : 0;
    const qsizetype historyCount = histories ? qMin(n, historyList.count()) : 0;
    bool any = false;
    for (qsizetype k = 0; k < n; ++k) {
        const QString &value = variables.at(k).value();
        if (value.isEmpty())
            continue;
        any = true;
        if (inputs)
            inputs[k].setValue(value);
        if (k < outputCount)
            outputs[k].setValue(value);
        if (k < historyCount)
            histories[k].values().append(value);
    }
    if (any)
        Q_EMIT variablesChanged(int(n));
}

void OptimizationModelObject::applyAlgorithmState(const OptimAlgOutput &state, int targets)
{
    OptimAlgInput &input = m_model.input().algorithm();
    if ((targets & TargetInput) && !state.maxIterationsText().isEmpty()
        && state.maxIterationsText() != input.maxIterations())
        input.setMaxIterations(state.maxIterationsText());

    OptimAlgOutput &output = m_model.output().algorithm();
    if (targets & TargetOutput) {
        const int previous = output.status();
        output = state;
        if (optimStatusIsTerminal(previous))
            output.setStatus(previous);
    }

    // The history grows for every target set.
    m_model.history().algorithm().values().append(output.isBestError() ? state.errorDetail() : state.errorText());
    Q_EMIT algorithmChanged();
}

void OptimizationModelObject::applyGoalOutputs(const OptimItemList<OptimGoalOutput> &goals, int targets)
{
    changeGoals(qMin(goals.count(), m_model.goalCount()), [&](qsizetype k) {
        const OptimGoalOutput &goal = goals.at(k);
        if ((targets & TargetOutput) && k < m_model.output().goals().count())
            m_model.output().goals().replace(k, goal);
        if ((targets & TargetHistory) && k < m_model.history().goals().count()) {
            OptimGoalHistory &history = m_model.history().goals()[k];
            history.values().append(goal.valueText());
            if (history.initialTraces().isEmpty())
                history.setInitialTraces(goal.traces());
        }
        return true;
    });
}

void OptimizationModelObject::dropLastIteration()
{
    auto dropLast = [](OptimHistoryValues &values) { values.removeLast(); };
    dropLast(m_model.history().algorithm().values());
    for (OptimGoalHistory &history : m_model.history().goals())
        dropLast(history.values());
    for (OptimVarHistory &history : m_model.history().variables())
        dropLast(history.values());
}

void OptimizationModelObject::applyIteration(const OptimIter &iteration)
{
    const int n = iterationNumber(iteration.algorithm().iterationText());
    if (historyLength() == qsizetype(n) + 1)
        dropLastIteration();  // the message repeats an iteration already recorded
    applyAlgorithmState(iteration.algorithm(), TargetAll);
    applyGoalOutputs(iteration.goals(), TargetAll);
    applyVariableOutputs(iteration.variables(), TargetAll);
}

void OptimizationModelObject::applySimResult(const OptimIterSimResult &result)
{
    const OptimIter &iteration = result.iteration();
    if (!iteration.algorithm().simulationOk()) {
        m_model.output().algorithm().setSimulationOk(false);
        Q_EMIT algorithmChanged();
        return;
    }
    if (iteration.algorithm().iterationText() == m_model.output().algorithm().iterationText())
        dropLastIteration();
    // The definitions keep the values the user set.
    const int targets = TargetOutput | TargetHistory;
    applyAlgorithmState(iteration.algorithm(), targets);
    applyGoalOutputs(iteration.goals(), targets);
    applyVariableOutputs(iteration.variables(), targets);
}

void OptimizationModelObject::applyNoProgress(const OptimIterNoProgress &noProgress)
{
    const int n = iterationNumber(noProgress.algorithm().iterationText());
    if (historyLength() == qsizetype(n) + 1)
        dropLastIteration();
    applyAlgorithmState(noProgress.algorithm(), TargetAll);
    // Goals and variables repeat their last values for this iteration.
    const qsizetype goals = qMin(m_model.output().goals().count(), m_model.history().goals().count());
    changeGoals(goals, [this](qsizetype k) {
        m_model.history().goals()[k].values().append(m_model.output().goals().at(k).valueText());
        return true;
    });
    // A copy: the values are applied to the very list they come from, and
    // slots that run in between see the model change.
    const OptimItemList<OptimVarOutput> outputs = m_model.output().variables();
    applyVariableOutputs(outputs, TargetAll);
}

void OptimizationModelObject::applyCollapsedIterations(const OptimIterCollapsedIterations &batch)
{
    const int s = batch.firstIteration();
    const int e = iterationNumber(batch.algorithm().iterationText());
    if (historyLength() == qsizetype(s) + 1)
        dropLastIteration();

    // Pads a history with copies of its last entry for iterations the batch
    // reports no entries for, then appends the batch's entries.
    auto fill = [](OptimHistoryValues &values, qint64 gap, const OptimHistoryValues &entries) {
        if (gap > 0 && !values.isEmpty()) {
            const QString last = values.last();
            for (qint64 i = 0; i < gap; ++i)
                values.append(last);
        }
        values.append(entries);
    };

    const OptimHistoryValues &algorithmEntries = batch.algorithmHistory().values();
    fill(m_model.history().algorithm().values(), qint64(e) - s - algorithmEntries.size(), algorithmEntries);

    const auto &goalHistories = batch.goalHistories();
    const qint64 goalGap = qint64(e) - s - (goalHistories.isEmpty() ? 0 : goalHistories.first().values().size());
    for (qsizetype k = 0; k < m_model.history().goals().count(); ++k) {
        fill(m_model.history().goals()[k].values(), goalGap,
             k < goalHistories.count() ? goalHistories.at(k).values() : OptimHistoryValues());
    }

    const auto &variableHistories = batch.variableHistories();
    const qint64 variableGap =
        qint64(e) - s - (variableHistories.isEmpty() ? 0 : variableHistories.first().values().size());
    for (qsizetype k = 0; k < m_model.history().variables().count(); ++k) {
        fill(m_model.history().variables()[k].values(), variableGap,
             k < variableHistories.count() ? variableHistories.at(k).values() : OptimHistoryValues());
    }

    if (batch.endsWithNoProgress()) {
        OptimIterNoProgress last;
        last.setCommandId(batch.commandId());
        last.algorithm() = batch.algorithm();
        applyNoProgress(last);
    } else {
        OptimIter last;
        last.setCommandId(batch.commandId());
        last.algorithm() = batch.algorithm();
        last.goals() = batch.goals();
        last.variables() = batch.variables();
        applyIteration(last);
    }
}

// ---------------------------------------------------------------- tuning

void OptimizationModelObject::setVariableValue(const QString &netlistName, const QString &value, int targets)
{
    const int k = m_model.variableIndex(netlistName);
    if (k >= 0)
        applyVariableValue(k, value, targets);
}

void OptimizationModelObject::rememberValuesBeforeTuning()
{
    changeGoals(m_model.history().goals().count(), [this](qsizetype k) {
        if (k < m_model.output().goals().count())
            m_model.history().goals()[k].setTracesBeforeTuning(m_model.output().goals().at(k).traces());
        return true;
    });
    const qsizetype n = qMin(m_model.history().variables().count(), m_model.output().variables().count());
    for (qsizetype k = 0; k < n; ++k)
        m_model.history().variables()[k].setValueBeforeTuning(m_model.output().variables().at(k).value());
}

void OptimizationModelObject::forgetValuesBeforeTuning()
{
    changeGoals(m_model.history().goals().count(), [this](qsizetype k) {
        m_model.history().goals()[k].setTracesBeforeTuning(OptimTraceFamily());
        return true;
    });
    for (OptimVarHistory &history : m_model.history().variables())
        history.setValueBeforeTuning(QString());
}

void OptimizationModelObject::restoreValuesBeforeTuning()
{
    const qsizetype n = qMin(m_model.variableCount(), m_model.history().variables().count());
    for (qsizetype k = 0; k < n; ++k)
        applyVariableValue(int(k), m_model.history().variables().at(k).valueBeforeTuning(), TargetInput);
}
