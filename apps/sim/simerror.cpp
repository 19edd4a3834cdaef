#include "simerror.h"

#include "simvalue.h"

#include <algorithm>
#include <cmath>

namespace {

double weightOf(const QString &text)
{
    if (text.trimmed().isEmpty())
        return 1.0;
    bool ok = false;
    const double w = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(w) ? std::max(0.0, w) : 1.0;
}

// Position of the analysis' independent variable among the goal's (0 when
// the goal names none of that name).
int indepIndex(const OptimGoalInput &goal, const QString &name)
{
    const QStringList &names = goal.indepVarNames();
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return 0;
}

}  // namespace

QString simErrorFormName(SimErrorForm form)
{
    switch (form) {
    case SimErrorForm::Minimax: return QStringLiteral("minimax");
    case SimErrorForm::LeastPth: return QStringLiteral("least p-th (p = 4)");
    case SimErrorForm::LeastSquares: break;
    }
    return QStringLiteral("least squares");
}

SimErrorFunction::SimErrorFunction(const OptimItemList<OptimGoalInput> &goals, const QList<SimAnalysis> &analyses,
                                   SimErrorForm form)
    : m_goals(goals)
    , m_analyses(analyses)
    , m_form(form)
{
    for (const OptimGoalInput &goal : goals) {
        SimProbe probe;
        QString why;
        qsizetype index = goal.simInstanceName().isEmpty() && !analyses.isEmpty() ? 0 : -1;
        for (qsizetype i = 0; i < analyses.size() && index < 0; ++i) {
            if (analyses.at(i).name.compare(goal.simInstanceName(), Qt::CaseInsensitive) == 0)
                index = i;
        }
        if (index < 0) {
            QStringList names;
            for (const SimAnalysis &a : analyses)
                names.append(a.name);
            why = QStringLiteral("unknown analysis \"%1\" (the design has %2)").arg(goal.simInstanceName(), names.join(QStringLiteral(", ")));
        }
        const SimAnalysis *a = index >= 0 ? &analyses.at(index) : nullptr;
        if (a)
            why = simGoalExpressionProblem(goal.expression(), *a);
        if (a && why.isEmpty()) {
            const bool bench = a->type == SimAnalysis::Ac && !a->ports.isEmpty();
            probe.kind = simExpressionKind(goal.expression(), bench, &probe.text);
            if (probe.kind == SimExpressionKind::Bench)
                SimExpression::parse(goal.expression(), probe.bench);
            else if (probe.kind == SimExpressionKind::Vector)
                probe.text = goal.expression().trimmed();
            const bool scalar = !a->isSwept() || probe.kind == SimExpressionKind::Measure;
            const int xi = indepIndex(goal, a->indepVar());
            for (const OptimGoalLimitInput &limit : goal.limits()) {
                const auto range = limit.rangeForIndex(xi);
                if (range && scalar && (range->hasLowerBound() || range->hasUpperBound())) {
                    why = QStringLiteral("limit \"%1\" has a range, but the goal is a scalar").arg(limit.name());
                    break;
                }
                if (range && !scalar && (range->upperValue() < a->start || range->lowerValue() > a->stop)) {
                    why = QStringLiteral("limit \"%1\" covers %2 to %3 %7, outside %4 (%5 to %6 %7)")
                              .arg(limit.name(), simvalue::plain(range->lowerValue(), 6), simvalue::plain(range->upperValue(), 6),
                                   a->name, simvalue::plain(a->start, 6), simvalue::plain(a->stop, 6), a->indepUnit());
                    break;
                }
            }
        }
        const bool ok = why.isEmpty();
        if (ok)
            probe.analysis = int(index);
        else
            m_problems.append(QStringLiteral("goal \"%1\": %2").arg(goal.name(), why));
        m_probes.append(probe);
        m_valid.append(ok);
        m_goalProblems.append(why);
    }
}

bool SimErrorFunction::needsCheck() const
{
    for (const SimProbe &p : m_probes) {
        if (p.analysis >= 0 && p.kind != SimExpressionKind::Bench)
            return true;
    }
    return false;
}

void SimErrorFunction::reject(int g, const QString &why)
{
    if (g < 0 || g >= m_valid.size() || !m_valid.at(g))
        return;
    m_valid[g] = false;
    m_probes[g].analysis = -1;
    m_goalProblems[g] = why;
    m_problems.append(QStringLiteral("goal \"%1\": %2").arg(m_goals.at(g).name(), why));
}

double SimErrorFunction::violation(const OptimGoalLimitInput &limit, double y)
{
    const double a = limit.firstValue();
    const double b = limit.secondValue();
    const double lo = std::min(a, b);
    const double hi = std::max(a, b);
    switch (limit.limitType()) {
    case LimitGreaterThan: return std::max(0.0, a - y);
    case LimitLessThan: return std::max(0.0, y - a);
    case LimitEqualTo: return std::fabs(y - a);
    case LimitInside: return std::max(0.0, lo - y) + std::max(0.0, y - hi);
    case LimitOutside: return (y > lo && y < hi) ? std::min(y - lo, hi - y) : 0.0;
    default: return 0.0;
    }
}

SimErrorResult SimErrorFunction::evaluate(const SimResponse &response) const
{
    SimErrorResult result;
    double sum = 0;
    double worst = 0;
    for (qsizetype g = 0; g < m_goals.size(); ++g) {
        const OptimGoalInput &goal = m_goals.at(g);
        SimGoalResult gr;
        const SimTrace *trace = m_valid.at(g) && size_t(g) < response.traces.size() ? &response.traces[size_t(g)] : nullptr;
        const SimAnalysis *analysis = m_valid.at(g) ? &m_analyses.at(m_probes.at(g).analysis) : nullptr;
        if (!trace || !trace->ok) {
            gr.problem = !m_valid.at(g) ? m_goalProblems.at(g)
                       : trace         ? trace->problem
                                       : QStringLiteral("%1 was not simulated").arg(goal.expression());
            for (qsizetype l = 0; l < goal.limits().size(); ++l)
                gr.limitWorst.append(0.0);
            if (m_valid.at(g))  // a goal that should have seen data saw none
                result.problems.append(QStringLiteral("goal \"%1\": %2").arg(goal.name(), gr.problem));
            result.goals.append(gr);
            continue;
        }
        gr.valid = true;
        gr.scalar = trace->scalar;
        if (!gr.scalar) {
            gr.indepVar = analysis->indepVar();
            gr.indepUnit = analysis->indepUnit();
        }
        const size_t n = trace->y.size();
        gr.x.reserve(qsizetype(trace->x.size()));
        gr.y.reserve(qsizetype(n));
        for (const double x : trace->x)
            gr.x.append(x);
        for (const double y : trace->y)
            gr.y.append(std::isfinite(y) ? y : 0.0);
        const double goalWeight = weightOf(goal.weight());
        const int xi = indepIndex(goal, gr.indepVar);
        double term = 0;
        double goalMax = 0;
        for (const OptimGoalLimitInput &limit : goal.limits()) {
            const double w = weightOf(limit.weight());
            const auto range = gr.scalar ? std::nullopt : limit.rangeForIndex(xi);
            const double from = range ? range->lowerValue() : -1e300;
            const double to = range ? range->upperValue() : 1e300;
            double limitWorst = 0;
            double power = 0;
            int count = 0;
            for (size_t i = 0; i < n; ++i) {
                const double x = gr.scalar ? 0.0 : trace->x[i];
                if (x < from || x > to)
                    continue;
                const double v = violation(limit, gr.y.at(qsizetype(i)));
                limitWorst = std::max(limitWorst, v);
                power += m_form == SimErrorForm::LeastPth ? std::pow(v, kPth) : v * v;
                ++count;
                result.residuals.push_back(goalWeight * w * v);
            }
            gr.limitWorst.append(limitWorst);
            if (count > 0)
                term += w * power / count;
            else if (gr.problem.isEmpty())
                gr.problem = QStringLiteral("no simulated point in the range of limit \"%1\"").arg(limit.name());
            goalMax = std::max(goalMax, w * limitWorst);
        }
        switch (m_form) {
        case SimErrorForm::Minimax:
            gr.value = goalMax;
            gr.contribution = goalWeight * goalMax;
            worst = std::max(worst, gr.contribution);
            break;
        case SimErrorForm::LeastPth:
            gr.value = std::pow(term, 1.0 / kPth);
            gr.contribution = goalWeight * term;  // rescaled below
            sum += gr.contribution;
            break;
        case SimErrorForm::LeastSquares:
            gr.value = term;
            gr.contribution = goalWeight * term;
            sum += gr.contribution;
            break;
        }
        if (!gr.problem.isEmpty()) {
            gr.valid = false;
            result.problems.append(QStringLiteral("goal \"%1\": %2").arg(goal.name(), gr.problem));
        }
        result.goals.append(gr);
    }
    switch (m_form) {
    case SimErrorForm::Minimax:
        result.total = worst;
        break;
    case SimErrorForm::LeastPth:
        result.total = std::pow(sum, 1.0 / kPth);
        for (SimGoalResult &gr : result.goals)
            gr.contribution = sum > 0 ? result.total * gr.contribution / sum : 0.0;
        break;
    case SimErrorForm::LeastSquares:
        result.total = sum;
        break;
    }
    return result;
}
