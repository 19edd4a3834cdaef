#include "goalverdict.h"

#include "goalgraphwidget.h"
#include "graphscale.h"
#include "model/optimoutputrecords.h"
#include "model/optiminputrecords.h"
#include "model/optimizationmodel.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

GoalVerdict GoalVerdict::judgeLimit(int limitType, double a, double b, std::span<const double> values)
{
    GoalVerdict verdict;
    const double lo = std::min(a, b);
    const double hi = std::max(a, b);
    double margin = std::numeric_limits<double>::infinity();
    for (const double y : values) {
        if (!std::isfinite(y))
            continue;
        double m = 0.0;
        switch (limitType) {
        case LimitGreaterThan: m = y - a; break;
        case LimitLessThan: m = a - y; break;
        case LimitEqualTo: m = -std::fabs(y - a); break;
        case LimitInside: m = std::min(y - lo, hi - y); break;
        case LimitOutside: m = std::max(lo - y, y - hi); break;
        default: return verdict;
        }
        margin = std::min(margin, m);
        verdict.known = true;
    }
    if (!verdict.known)
        return verdict;
    verdict.margin = margin;
    verdict.met = limitType == LimitEqualTo ? -margin <= std::max(1e-6 * std::fabs(a), 1e-12) : margin >= 0.0;
    return verdict;
}

GoalVerdict GoalVerdict::judgeLimit(const OptimGoalInput &goal, int limitIndex, const OptimTraceFamily &traces)
{
    if (limitIndex < 0 || limitIndex >= goal.limits().size())
        return {};
    const OptimGoalLimitInput &limit = goal.limits().at(limitIndex);
    const bool twoValues = optimLimitTypeHasSecondValue(limit.limitType());
    if (!limit.firstValueValid() || (twoValues && !limit.secondValueValid()))
        return {};
    const double b = twoValues ? limit.secondValue() : limit.firstValue();
    // A scalar goal: its values, whatever abscissa they came with.
    if (const auto scalar = GoalGraphWidget::scalarValues(goal, traces))
        return judgeLimit(limit.limitType(), limit.firstValue(), b, *scalar);
    const auto [xLo, xHi] = GoalGraphWidget::limitXSpan(goal, limitIndex, traces);
    const auto &others = traces.otherIndepVars();
    std::vector<double> values;
    for (qsizetype t = 0; t < traces.traceCount(); ++t) {
        // The other variables' values of trace t, read as the goal plot does.
        QList<double> at;
        for (qsizetype p = 0; p < others.size(); ++p) {
            if (others.size() == 1 && traces.sweepValues().size() == traces.traceCount())
                at.append(traces.sweepValues().values().at(t));
            else
                at.append(GraphScale::parseValue(others.at(p).text()).value_or(0.0));
        }
        if (!others.isEmpty() && !goal.limitAppliesAt(limitIndex, traces, at))
            continue;
        const OptimTrace &trace = traces.trace(t);
        for (qsizetype i = 0; i < trace.pointCount(); ++i) {
            const QPointF p = trace.point(i);
            if (p.x() >= xLo && p.x() <= xHi)
                values.push_back(p.y());
        }
    }
    return judgeLimit(limit.limitType(), limit.firstValue(), b, values);
}

GoalVerdict GoalVerdict::judgeGoal(const OptimGoalInput &goal, const OptimTraceFamily &traces)
{
    GoalVerdict goalVerdict;
    goalVerdict.met = true;
    for (int l = 0; l < int(goal.limits().size()); ++l) {
        const GoalVerdict v = judgeLimit(goal, l, traces);
        if (!v.known)
            continue;
        goalVerdict.margin = goalVerdict.known ? std::min(goalVerdict.margin, v.margin) : v.margin;
        goalVerdict.met = goalVerdict.met && v.met;
        goalVerdict.known = true;
    }
    if (!goalVerdict.known)
        goalVerdict.met = false;
    return goalVerdict;
}

QString GoalVerdict::text() const
{
    if (!known)
        return QString();
    const QString amount = QString::number(std::fabs(margin), 'g', 4);
    if (met)
        return QStringLiteral("met (margin %1)").arg(amount);
    return QStringLiteral("not met (short by %1)").arg(amount);
}

QString GoalVerdict::cellHtml(const OptimGoalInput &goal, const OptimGoalOutput *output)
{
    const GoalVerdict verdict = output ? judgeGoal(goal, output->traces()) : GoalVerdict();
    if (!verdict.known)
        return QStringLiteral("<td nowrap>&ndash;</td>");
    return QStringLiteral("<td nowrap><span style=\"color:%1\">%2</span>&nbsp;%3</td>")
        .arg(verdict.met ? QStringLiteral("#1a7f1a") : QStringLiteral("#c0392b"),
             verdict.met ? QStringLiteral("&#10004;") : QStringLiteral("&#10008;"), verdict.text());
}

QString GoalVerdict::summaryText(const OptimizationModel &model)
{
    const qsizetype goals = model.goalCount();
    qsizetype notMet = 0;
    bool anyKnown = false;
    for (qsizetype k = 0; k < goals; ++k) {
        const GoalVerdict verdict = k < model.output().goals().size()
            ? judgeGoal(model.goal(k), model.goalOutput(k).traces())
            : GoalVerdict();
        anyKnown = anyKnown || verdict.known;
        if (!verdict.met)
            ++notMet;
    }
    if (!anyKnown)
        return QString();
    if (notMet == 0)
        return QStringLiteral("all goals met");
    return QStringLiteral("%1 of %2 goal%3 not met").arg(notMet).arg(goals).arg(goals == 1 ? "" : "s");
}
