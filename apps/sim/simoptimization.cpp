#include "simoptimization.h"

#include "simvalue.h"

#include <QScopeGuard>
#include <QSet>

SimOptimization::SimOptimization(const SimDesign &design, int index, quint32 seed)
    : m_design(design)
    , m_index(index)
    , m_evaluator(design, simnetlist::numericParameters(design.parametersFor(index)))
    , m_random(seed)
{
    const OptimModelInput input = design.modelInput(index);
    m_algorithm = input.algorithm();
    m_goals = input.goals();
    QHash<QString, QStringList> lists;
    OptimItemList<OptimVarInput> variables = input.variables();
    for (OptimVarInput &var : variables) {
        if (!var.designValues().isEmpty())
            lists.insert(var.netlistName(), var.designValues());
        // A simulator knows the design's variables by netlist name only: the
        // helmdeck asks the host for the names the user knows them by.
        var.setName(QString());
    }
    m_variables.setValueLists(lists);
    m_variables.setDefinitions(variables, &m_variableProblems);
    setGoals(algorithm().form);
}

void SimOptimization::setGoals(SimErrorForm form)
{
    m_evaluator.setGoals(m_goals, form);
    m_evaluator.checkGoals(m_variables);
}

OptimModelInput SimOptimization::modelInput() const
{
    OptimModelInput input;
    input.setAlgorithm(m_algorithm);
    input.goals() = m_goals;
    input.variables() = m_variables.definitions();
    const QStringList texts = m_variables.valueTexts(m_variables.values());
    for (qsizetype k = 0; k < texts.size(); ++k)
        input.variables()[k].setValue(texts.at(k));
    return input;
}

int SimOptimization::maxIterations() const
{
    bool ok = false;
    const int n = m_algorithm.maxIterations().trimmed().toInt(&ok);
    if (ok && n >= 0)
        return n;
    // Discrete runs until it converges; the helmdeck does not let one edit its limit.
    return m_algorithm.algorithmType() == 10 ? 100000 : 0;
}

bool SimOptimization::limitReached() const
{
    return m_state.iteration >= maxIterations();
}

QStringList SimOptimization::problems() const
{
    return m_variableProblems + m_evaluator.errorFunction().problems();
}

QString SimOptimization::refusal() const
{
    if (m_goals.isEmpty())
        return QStringLiteral("Not started: there is no goal to optimize");
    const SimErrorFunction &error = m_evaluator.errorFunction();
    if (error.validGoalCount() == 0)
        return QStringLiteral("Not started: no goal can be evaluated (%1)").arg(error.problems().join(QStringLiteral("; ")));
    return QString();
}

void SimOptimization::forgetBest()
{
    // A change that arrives while an algorithm runs ends that run at once:
    // its search space and residuals were built for the old definitions.
    // The next run() starts from the current values with a new space.
    requestStop(SimStop::Interrupted);
    m_state.hasBest = false;
    m_state.best = SimEvaluation();
    m_state.bestIteration = -1;
}

bool SimOptimization::setVariableDefinitions(const OptimItemList<OptimVarInput> &variables, QStringList *refused)
{
    // The same definitions again (a recalled state, say) still bring their
    // values: the current point becomes those values, wherever the optimizer
    // has taken it meanwhile.
    if (variables == m_variables.definitions()) {
        QStringList values;
        for (const OptimVarInput &var : variables)
            values.append(var.value());
        return setVariableValues(values);
    }
    // The names go into the netlist as ".param name=value" lines.
    for (const OptimVarInput &var : variables) {
        if (!simIsParameterName(var.netlistName())) {
            if (refused)
                refused->append(QStringLiteral("variable definitions not taken: \"%1\" is not a parameter name").arg(var.netlistName()));
            return false;
        }
    }
    // A variable the new definitions leave out keeps its present value as a
    // fixed netlist parameter; one that comes back is a variable again.
    QSet<QString> names;
    for (const OptimVarInput &var : variables)
        names.insert(var.netlistName().toLower());
    SimParameterValues held;
    for (const auto &p : m_evaluator.heldParameters()) {
        if (!names.contains(p.first.toLower()))
            held.append(p);
    }
    for (int k = 0; k < m_variables.count(); ++k) {
        const QString name = m_variables.definitions().at(k).netlistName();
        if (!names.contains(name.toLower()))
            held.append({name, m_variables.physical(k, m_variables.values().at(k))});
    }
    m_evaluator.setHeldParameters(held);
    m_variableProblems.clear();
    m_variables.setDefinitions(variables, &m_variableProblems);
    forgetBest();
    return true;
}

bool SimOptimization::setGoalDefinitions(const OptimItemList<OptimGoalInput> &goals)
{
    if (goals == m_goals)
        return false;
    m_goals = goals;
    setGoals(algorithm().form);
    forgetBest();
    return true;
}

bool SimOptimization::setAlgorithm(const OptimAlgInput &algorithm)
{
    if (algorithm == m_algorithm)
        return false;
    const SimErrorForm before = this->algorithm().form;
    m_algorithm = algorithm;
    requestStop(SimStop::Interrupted);
    if (this->algorithm().form != before) {
        setGoals(this->algorithm().form);
        forgetBest();
    }
    return true;
}

bool SimOptimization::setVariableValues(const QStringList &values, QStringList *rejected)
{
    bool changed = false;
    for (int k = 0; k < values.size() && k < m_variables.count(); ++k) {
        if (values.at(k).trimmed().isEmpty())
            continue;
        const double before = m_variables.values().at(k);
        if (!m_variables.setValueText(k, values.at(k))) {
            if (rejected)
                rejected->append(QStringLiteral("%1 = \"%2\"").arg(m_variables.definitions().at(k).netlistName(), values.at(k)));
            continue;
        }
        changed = changed || m_variables.values().at(k) != before;
    }
    if (changed)
        forgetBest();
    return changed;
}

SimOutcome SimOptimization::run(const SimProblem::Observer &observer)
{
    const QString refused = refusal();
    if (!refused.isEmpty())
        return {SimStop::Refused, refused};
    const SimAlgorithmInfo info = algorithm();
    const SimSpace space(m_variables, info.continuous, info.discrete);
    // The current values follow the best point as it improves.
    const auto follow = [this, &observer](const SimProblem::Report &report) {
        if (report.improved)
            m_variables.setValues(report.best->values);
        if (observer)
            observer(report);
    };
    SimProblem problem(m_evaluator, m_variables, space, m_state, maxIterations(), follow);
    m_problem = &problem;
    const auto clear = qScopeGuard([this] { m_problem = nullptr; });
    SimOutcome outcome = simRunAlgorithm(m_algorithm.algorithmType(), problem, m_random);
    const SimErrorFunction &error = m_evaluator.errorFunction();
    if (outcome.stop == SimStop::GoalsMet && error.validGoalCount() < m_goals.size())
        outcome.message = QStringLiteral("All evaluated goals met; not evaluated: %1").arg(error.problems().join(QStringLiteral("; ")));
    return outcome;
}

void SimOptimization::requestStop(SimStop reason, const QString &message)
{
    if (m_problem)
        m_problem->requestStop(reason, message);
}

SimEvaluation SimOptimization::simulateCurrent()
{
    return m_evaluator.evaluate(m_variables, m_variables.values());
}

QString SimOptimization::number(double value)
{
    return simvalue::plain(value, 6);
}

OptimAlgOutput SimOptimization::algorithmOutput(int status, const QString &stoppingReason, bool simulationOk) const
{
    OptimAlgOutput a;
    a.setStatus(status);
    a.setSimulationOk(simulationOk);
    a.setStoppingReason(stoppingReason);
    a.setIterationText(QString::number(std::max(0, m_state.iteration)));
    a.setMaxIterationsText(m_algorithm.maxIterations());
    if (m_state.hasBest && m_state.best.ok) {
        // The helmdeck records errorDetail in its error history (and the
        // saved states' error column) while isBestError is set, so the detail
        // stays the bare number; errorText, which it only shows, says where
        // the best point was found.
        const QString e = number(m_state.best.total());
        a.setIsBestError(true);
        a.setErrorText(m_state.bestIteration > 0 ? QStringLiteral("%1 at iteration %2").arg(e).arg(m_state.bestIteration)
                                                 : e + QStringLiteral(" at the start values"));
        a.setErrorDetail(e);
    }
    return a;
}

OptimGoalOutput SimOptimization::goalOutput(int goal, const SimEvaluation &evaluation) const
{
    OptimGoalOutput out;
    const OptimGoalInput &input = m_goals.at(goal);
    const SimGoalResult *r = evaluation.ok && goal < evaluation.error.goals.size() ? &evaluation.error.goals.at(goal) : nullptr;
    OptimTraceFamily family;
    // A trace over the goal's independent variable (freq/Hz, time/s, the swept
    // source); a scalar goal is one trace with one y value, no x values and an
    // independent variable with empty name and unit.
    if (r && r->valid)
        family.setIndepVar(OptimTraceVar(r->indepVar, r->indepUnit));
    else if (!input.indepVarNames().isEmpty())
        family.setIndepVar(OptimTraceVar(input.indepVarNames().first(), input.indepVarUnits().value(0)));
    if (r && r->valid) {
        out.setValueText(number(r->value));
        out.setErrorContribution(number(r->contribution));
        OptimTrace trace;
        trace.xValues().values() = r->x;
        trace.yValues().values() = r->y;
        family.traces().append(trace);
    } else {
        out.setValueText(QString());
        out.setErrorContribution(QStringLiteral("0"));
    }
    out.setTraces(family);
    for (qsizetype l = 0; l < input.limits().size(); ++l) {
        const double worst = r && l < r->limitWorst.size() ? r->limitWorst.at(l) : 0.0;
        out.limitOutputs().append(OptimGoalLimitOutput(r && r->valid ? number(worst) : QString()));
    }
    return out;
}

OptimIter SimOptimization::iterMessage(const SimEvaluation &evaluation, const OptimAlgOutput &algorithm, long commandId) const
{
    OptimIter iter;
    iter.setCommandId(commandId);
    iter.algorithm() = algorithm;
    for (int g = 0; g < m_goals.size(); ++g)
        iter.goals().append(goalOutput(g, evaluation));
    for (const QString &text : variableValueTexts(evaluation))
        iter.variables().append(OptimVarOutput(text));
    return iter;
}

QStringList SimOptimization::goalValueTexts(const SimEvaluation &evaluation) const
{
    QStringList texts;
    for (int g = 0; g < m_goals.size(); ++g) {
        const bool ok = evaluation.ok && g < evaluation.error.goals.size() && evaluation.error.goals.at(g).valid;
        texts.append(ok ? number(evaluation.error.goals.at(g).value) : QString());
    }
    return texts;
}

QStringList SimOptimization::variableValueTexts(const SimEvaluation &evaluation) const
{
    return m_variables.valueTexts(evaluation.values.isEmpty() ? m_variables.values() : evaluation.values);
}
