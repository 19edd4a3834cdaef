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

// Position of the frequency among the goal's independent variables (0 when
// the goal names none).
int frequencyIndex(const OptimGoalInput &goal)
{
    const QStringList &names = goal.indepVarNames();
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(QLatin1String("freq"), Qt::CaseInsensitive) == 0)
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

SimErrorFunction::SimErrorFunction(const OptimItemList<OptimGoalInput> &goals, const QString &analysisName,
                                   SimErrorForm form, double sweepStart, double sweepStop)
    : m_goals(goals)
    , m_form(form)
{
    for (const OptimGoalInput &goal : goals) {
        SimExpression e;
        QString why;
        bool ok = SimExpression::parse(goal.expression(), e, &why);
        if (ok && !goal.simInstanceName().isEmpty()
            && goal.simInstanceName().compare(analysisName, Qt::CaseInsensitive) != 0) {
            ok = false;
            why = QStringLiteral("unknown analysis \"%1\" (the design's is \"%2\")").arg(goal.simInstanceName(), analysisName);
        }
        if (ok && sweepStop > sweepStart) {
            const int fi = frequencyIndex(goal);
            for (const OptimGoalLimitInput &limit : goal.limits()) {
                const auto range = limit.rangeForIndex(fi);
                if (range && (range->upperValue() < sweepStart || range->lowerValue() > sweepStop)) {
                    ok = false;
                    why = QStringLiteral("limit \"%1\" covers %2 to %3 Hz, outside the sweep (%4 to %5 Hz)")
                              .arg(limit.name(), simvalue::plain(range->lowerValue(), 6), simvalue::plain(range->upperValue(), 6),
                                   simvalue::plain(sweepStart, 6), simvalue::plain(sweepStop, 6));
                    break;
                }
            }
        }
        if (!ok)
            m_problems.append(QStringLiteral("goal \"%1\": %2").arg(goal.name(), why));
        m_expressions.append(e);
        m_valid.append(ok);
        m_goalProblems.append(why);
    }
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
    const size_t n = response.frequency.size();
    for (qsizetype g = 0; g < m_goals.size(); ++g) {
        const OptimGoalInput &goal = m_goals.at(g);
        SimGoalResult gr;
        const std::vector<std::complex<double>> *values = m_valid.at(g) ? response.quantity(m_expressions.at(g)) : nullptr;
        if (!values) {
            gr.problem = m_valid.at(g) ? QStringLiteral("%1 was not simulated").arg(goal.expression()) : m_goalProblems.at(g);
            for (qsizetype l = 0; l < goal.limits().size(); ++l)
                gr.limitWorst.append(0.0);
            if (m_valid.at(g))  // a goal that should have seen data saw none
                result.problems.append(QStringLiteral("goal \"%1\": %2").arg(goal.name(), gr.problem));
            result.goals.append(gr);
            continue;
        }
        gr.valid = true;
        gr.x.reserve(qsizetype(n));
        gr.y.reserve(qsizetype(n));
        for (size_t i = 0; i < n; ++i) {
            gr.x.append(response.frequency[i]);
            double y = m_expressions.at(g).apply((*values)[i]);
            gr.y.append(std::isfinite(y) ? y : 0.0);
        }
        const double goalWeight = weightOf(goal.weight());
        const int fi = frequencyIndex(goal);
        double term = 0;
        double goalMax = 0;
        for (const OptimGoalLimitInput &limit : goal.limits()) {
            const double w = weightOf(limit.weight());
            const auto range = limit.rangeForIndex(fi);
            const double from = range ? range->lowerValue() : -1e300;
            const double to = range ? range->upperValue() : 1e300;
            double limitWorst = 0;
            double power = 0;
            int count = 0;
            for (size_t i = 0; i < n; ++i) {
                const double f = response.frequency[i];
                if (f < from || f > to)
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
