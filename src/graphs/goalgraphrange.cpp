// The goal plot's rules and ranges: which goal is scalar, the units of its
// swept axis, the limits in words, the extents of traces and limit lines and
// the automatic range, held while new ones fit in it. Plain logic on the
// goal and its traces; nothing here draws.

#include "goalgraphrange.h"
#include "goalgraphlayout.h"
#include "units/realstringparser.h"

#include <algorithm>
#include <cmath>
#include <tuple>

using namespace GoalGraphDetail;

namespace {

// A range bound read in the variable's units: a bare "0.1" with units "GHz"
// is 0.1 GHz, so limit ranges and trace abscissae (in base units) agree.
std::optional<double> boundValue(const QString &text, const QString &units)
{
    if (text.trimmed().isEmpty())
        return std::nullopt;
    bool ok = false;
    const double v = RealStringParser::toDouble(text, &ok, units);
    if (ok && std::isfinite(v))
        return v;
    return GraphScale::parseValue(text);
}

std::optional<double> limitValue(bool valid, double value, const QString &text)
{
    if (valid && std::isfinite(value))
        return value;
    return GraphScale::parseValue(text);
}

// A range bound as the tooltip writes it: in the independent variable's
// unit with an engineering prefix ("10 MHz" for "10000000" in Hz, "50 MHz"
// for "0.05" in GHz); a bound that does not read stays as written.
QString boundText(const QString &text, const QString &units)
{
    const std::optional<double> v = boundValue(text, units);
    if (!v || units.trimmed().isEmpty())
        return text;
    return RealStringParser::formatScaled(*v, 6, units).text();
}

// Widens extent by the points of the segment a-b that lie between x lo and
// hi: its ends inside, and where it crosses lo or hi.
void addClippedSegment(GoalPlotRange &extent, bool &any, QPointF a, QPointF b, double lo, double hi)
{
    auto add = [&](double x, double y) {
        if (x < lo || x > hi)
            return;
        extent.xMin = std::min(extent.xMin, x);
        extent.xMax = std::max(extent.xMax, x);
        extent.yMin = std::min(extent.yMin, y);
        extent.yMax = std::max(extent.yMax, y);
        any = true;
    };
    add(b.x(), b.y());
    if (a.x() == b.x())
        return;
    for (double edge : {lo, hi}) {
        if ((a.x() - edge) * (b.x() - edge) < 0)
            add(edge, a.y() + (b.y() - a.y()) * (edge - a.x()) / (b.x() - a.x()));
    }
}

} // namespace

namespace GoalGraphDetail {

int sweptVariableIndex(const OptimGoalInput &goal, const OptimTraceFamily &traces)
{
    const QString name = traces.indepVar().name();
    const QStringList &names = goal.indepVarNames();
    if (!name.isEmpty()) {
        for (int k = 0; k < names.size(); ++k) {
            if (names.at(k).compare(name, Qt::CaseInsensitive) == 0)
                return k;
        }
    }
    return names.size() == 1 ? 0 : -1;
}

// The limit's response values: one for GreaterThan, LessThan and EqualTo,
// two for Inside and Outside (those that read as numbers).
std::vector<double> limitValues(const OptimGoalLimitInput &limit)
{
    std::vector<double> values;
    if (const auto a = limitValue(limit.firstValueValid(), limit.firstValue(), limit.firstValueText()))
        values.push_back(*a);
    if (optimLimitTypeHasSecondValue(limit.limitType())) {
        if (const auto b = limitValue(limit.secondValueValid(), limit.secondValue(), limit.secondValueText()))
            values.push_back(*b);
    }
    return values;
}

} // namespace GoalGraphDetail


QString GoalGraphWidget::limitConditionText(const OptimGoalLimitInput &limit)
{
    const QString a = esc(limit.firstValueText());
    const QString b = esc(limit.secondValueText());
    switch (limit.limitType()) {
    case LimitGreaterThan:
        return QStringLiteral("response &gt; ") + a;
    case LimitLessThan:
        return QStringLiteral("response &lt; ") + a;
    case LimitEqualTo:
        return QStringLiteral("response = ") + a;
    case LimitInside:
        return a + QStringLiteral(" &lt; response &lt; ") + b;
    case LimitOutside:
        return QStringLiteral("response &lt; ") + a + QStringLiteral(" OR ") + QStringLiteral(" response &gt; ") + b;
    default:
        return QString();
    }
}

QString GoalGraphWidget::limitDescription(const OptimGoalInput &goal)
{
    QString text = QStringLiteral("<b>") + esc(goal.name()) + QStringLiteral("</b>");
    const auto &limits = goal.limits();
    for (qsizetype i = 0; i < limits.size(); ++i) {
        const OptimGoalLimitInput &limit = limits.at(i);
        const QString name = limit.name().isEmpty() ? QStringLiteral("Limit %1").arg(i + 1) : limit.name();
        text += QStringLiteral("<br>    <b>") + esc(name) + QStringLiteral(":</b> ") + limitConditionText(limit);
        for (const OptimGoalRange &range : limit.ranges()) {
            if (!range.hasLowerBound() && !range.hasUpperBound())
                continue;
            const int k = range.index();
            const QString variable = k >= 0 && k < goal.indepVarNames().size() ? goal.indepVarNames().at(k)
                                                                               : QStringLiteral("x");
            const QString units = indepVarUnits(goal, k);
            text += QStringLiteral(", ");
            if (range.hasLowerBound())
                text += esc(boundText(range.lowerBound(), units)) + QStringLiteral(" &lt; ");
            text += esc(variable);
            if (range.hasUpperBound())
                text += QStringLiteral(" &lt; ") + esc(boundText(range.upperBound(), units));
        }
        if (!limit.weight().isEmpty())
            text += QStringLiteral(", Weight = ") + esc(limit.weight());
    }
    text.replace(QLatin1Char(' '), QStringLiteral("&nbsp;"));
    return text;
}

bool GoalGraphWidget::isScalarGoal(const OptimGoalInput &goal, const OptimTraceFamily &traces)
{
    if (!goal.indepVarNames().isEmpty() || !traces.indepVar().name().isEmpty())
        return false;
    return std::all_of(traces.traces().begin(), traces.traces().end(),
                       [](const OptimTrace &trace) { return trace.yValues().size() <= 1; });
}

std::optional<std::vector<double>> GoalGraphWidget::scalarValues(const OptimGoalInput &goal,
                                                                 const OptimTraceFamily &traces)
{
    if (!isScalarGoal(goal, traces))
        return std::nullopt;
    std::vector<double> values;
    for (const OptimTrace &trace : traces.traces()) {
        if (!trace.yValues().isEmpty() && std::isfinite(trace.yValues().at(0)))
            values.push_back(trace.yValues().at(0));
    }
    return values;
}

QString GoalGraphWidget::indepVarUnits(const OptimGoalInput &goal, int k)
{
    const QString stated = goal.indepVarUnits().value(k);
    return stated.trimmed().isEmpty() ? GraphScale::indepVarUnit(goal.indepVarNames().value(k)) : stated;
}

QString GoalGraphWidget::sweptAxisUnits() const
{
    if (isScalar())
        return QString();
    const int k = sweptVariableIndex(m_goal, m_traces);
    const QString stated = m_goal.indepVarUnits().value(k);
    if (!stated.trimmed().isEmpty())
        return stated;
    // The traces may name the variable where the goal does not.
    const QString name = !m_traces.indepVar().name().isEmpty() ? m_traces.indepVar().name()
                                                               : m_goal.indepVarNames().value(k);
    return GraphScale::indepVarUnit(name);
}

std::optional<GoalPlotRange> GoalGraphWidget::traceExtent(const OptimTraceFamily &traces, double xLo, double xHi)
{
    GoalPlotRange r{kInf, -kInf, kInf, -kInf};
    bool any = false;
    // Without bounds no segment crosses one: every finite point counts as
    // it is, read straight from the values (the whole extent is asked for
    // each new set of traces, many thousands of points).
    const bool bounded = std::isfinite(xLo) || std::isfinite(xHi) || !(xLo < xHi);
    for (const OptimTrace &trace : traces.traces()) {
        const qsizetype n = trace.pointCount();
        const double *xs = trace.xValues().values().constData();
        const double *ys = trace.yValues().values().constData();
        std::optional<QPointF> previous;
        for (qsizetype i = 0; i < n; ++i) {
            const QPointF p(xs[i], ys[i]);
            if (!std::isfinite(p.x()) || !std::isfinite(p.y())) {
                previous.reset();
                continue;
            }
            if (!bounded) {
                r.xMin = std::min(r.xMin, p.x());
                r.xMax = std::max(r.xMax, p.x());
                r.yMin = std::min(r.yMin, p.y());
                r.yMax = std::max(r.yMax, p.y());
                any = true;
                continue;
            }
            addClippedSegment(r, any, previous.value_or(p), p, xLo, xHi);
            previous = p;
        }
    }
    if (!any)
        return std::nullopt;
    return r;
}

std::pair<double, double> GoalGraphWidget::limitXSpan(const OptimGoalInput &goal, int limitIndex,
                                                      const OptimTraceFamily &traces)
{
    std::pair<double, double> span{-kInf, kInf};
    if (limitIndex < 0 || limitIndex >= goal.limits().size())
        return span;
    const int k = sweptVariableIndex(goal, traces);
    if (k < 0)
        return span;
    const std::optional<OptimGoalRange> range = goal.limits().at(limitIndex).rangeForIndex(k);
    if (!range)
        return span;
    const QString units = indepVarUnits(goal, k);
    if (const auto lo = boundValue(range->lowerBound(), units))
        span.first = *lo;
    if (const auto hi = boundValue(range->upperBound(), units))
        span.second = *hi;
    if (span.first > span.second)
        std::swap(span.first, span.second);
    return span;
}

std::optional<GoalPlotRange> GoalGraphWidget::currentTraceExtent(double xLo, double xHi) const
{
    for (const KnownExtent &known : m_knownExtents) {
        if (known.xLo == xLo && known.xHi == xHi)
            return known.extent;
    }
    // A few bounds at most are asked for (the whole traces and the span of
    // the limit lines); should they keep changing, the oldest make room.
    if (m_knownExtents.size() >= 4)
        m_knownExtents.erase(m_knownExtents.begin());
    m_knownExtents.push_back({xLo, xHi, traceExtent(m_traces, xLo, xHi)});
    return m_knownExtents.back().extent;
}

std::optional<GoalPlotRange> GoalGraphWidget::limitExtent(const OptimGoalInput &goal, const OptimTraceFamily &traces)
{
    return limitExtent(goal, traces, traceExtent(traces));
}

std::optional<GoalPlotRange> GoalGraphWidget::limitExtent(const OptimGoalInput &goal, const OptimTraceFamily &traces,
                                                          const std::optional<GoalPlotRange> &trace)
{
    GoalPlotRange r{kInf, -kInf, kInf, -kInf};
    bool anyY = false;
    bool anyX = false;
    for (int i = 0; i < int(goal.limits().size()); ++i) {
        const std::vector<double> values = limitValues(goal.limits().at(i));
        if (values.empty())
            continue;
        for (double v : values) {
            r.yMin = std::min(r.yMin, v);
            r.yMax = std::max(r.yMax, v);
        }
        anyY = true;
        auto [lo, hi] = limitXSpan(goal, i, traces);
        // An open end reaches as far as the traces do.
        if (!std::isfinite(lo) && trace)
            lo = trace->xMin;
        if (!std::isfinite(hi) && trace)
            hi = trace->xMax;
        for (double x : {lo, hi}) {
            if (std::isfinite(x)) {
                r.xMin = std::min(r.xMin, x);
                r.xMax = std::max(r.xMax, x);
                anyX = true;
            }
        }
    }
    if (!anyY)
        return std::nullopt;
    if (!anyX) {
        // Limits open on both sides and no trace: a unit span, so the lines
        // still draw.
        r.xMin = 0;
        r.xMax = 1;
    }
    return r;
}

// ---------------------------------------------------------------------------

std::optional<GoalPlotRange> GoalPlotRangeHold::next(const std::optional<GoalPlotRange> &computed, bool zoomed, bool scalar)
{
    auto turned = [scalar](const GoalPlotRange &r) { return scalar ? GoalPlotRange{r.yMin, r.yMax, r.xMin, r.xMax} : r; };
    if (!computed || zoomed || !m_held || !GraphScale::keepsGoalPlotRange(turned(*m_held), turned(*computed)))
        m_held = zoomed ? std::nullopt : computed;
    return zoomed ? computed : m_held;
}

std::optional<GoalPlotRange> GoalGraphWidget::plotRange() const
{
    return m_heldRange.next(computedPlotRange(), m_zoom.has_value(), isScalar());
}

std::optional<GoalPlotRange> GoalGraphWidget::computedPlotRange() const
{
    if (isScalar())
        return scalarPlotRange();
    const std::optional<GoalPlotRange> whole = currentTraceExtent();
    const std::optional<GoalPlotRange> limits = limitExtent(m_goal, m_traces, whole);
    if (m_scaling != FitToLimitLines || !limits)
        return GraphScale::goalPlotRange(m_scaling, limits, whole);
    // Fitting to the limit lines is a choice about the swept axis: x spans
    // the limit lines, while y still takes in the part of the traces shown
    // there, so a flat limit never squeezes the trace out of view.
    std::optional<GoalPlotRange> r = GraphScale::goalPlotRange(
        FitToTraceAndLimitLines, limits, currentTraceExtent(limits->xMin, limits->xMax));
    r->xMin = limits->xMin;
    r->xMax = limits->xMax;
    return r;
}

std::optional<GoalPlotRange> GoalGraphWidget::scalarPlotRange() const
{
    // The current values, those drawn beside them and the limit values: the
    // marker and the limit it is judged by are always both in view, the
    // markers clear of the edges.
    std::vector<double> all = scalarValues(m_goal, m_traces).value_or(std::vector<double>());
    const std::vector<double> initial = showsInitialTraces() ? scalarValues(m_goal, m_initialTraces).value_or(std::vector<double>())
                                                             : std::vector<double>();
    const std::vector<double> before = scalarValues(m_goal, m_beforeTuning).value_or(std::vector<double>());
    all.insert(all.end(), initial.begin(), initial.end());
    all.insert(all.end(), before.begin(), before.end());
    for (const OptimGoalLimitInput &limit : m_goal.limits()) {
        const std::vector<double> values = limitValues(limit);
        all.insert(all.end(), values.begin(), values.end());
    }
    if (all.empty())
        return std::nullopt;
    const auto [lo, hi] = std::minmax_element(all.begin(), all.end());
    GoalPlotRange r{*lo, *hi, 0.0, 1.0};
    if (r.xMax > r.xMin) {
        const double pad = 0.1 * (r.xMax - r.xMin);
        r.xMin -= pad;
        r.xMax += pad;
    } else {
        std::tie(r.xMin, r.xMax) = GraphScale::openedRange(r.xMin, r.xMax);
    }
    return r;
}

bool GoalGraphWidget::sweptAxisIsLog() const
{
    // A frequency sweep by decades or octaves: all frequencies positive,
    // spanning more than two decades, each step the same ratio give or take
    // a half (a sweep's rounding, a point added at an end).
    const QString name = !m_traces.indepVar().name().isEmpty() ? m_traces.indepVar().name()
                                                               : m_goal.indepVarNames().value(sweptVariableIndex(m_goal, m_traces));
    if (isScalar() || (name.compare(QLatin1String("freq"), Qt::CaseInsensitive) != 0
                       && sweptAxisUnits().compare(QLatin1String("Hz"), Qt::CaseInsensitive) != 0))
        return false;
    bool any = false;
    for (const OptimTrace &trace : m_traces.traces()) {
        double lo = kInf, hi = -kInf, first = 0;
        for (qsizetype i = 1; i < trace.pointCount(); ++i) {
            const double a = trace.point(i - 1).x(), b = trace.point(i).x();
            if (!(a > 0) || !(b > a))
                return false;
            const double step = std::log(b / a);
            if (i == 1)
                first = step;
            if (step > 1.5 * first || step < first / 1.5)
                return false;
            lo = std::min(lo, a);
            hi = std::max(hi, b);
        }
        if (hi > lo) {
            if (!(hi > 100 * lo))
                return false;
            any = true;
        }
    }
    return any;
}

bool GoalGraphWidget::showsInitialTraces() const
{
    return !m_initialTraces.traces().isEmpty() && !(m_initialTraces.traces() == m_traces.traces());
}

bool GoalGraphWidget::limitApplies(int limitIndex) const
{
    // With further independent variables, a limit may hold only for some
    // of the traces; it is drawn solid when it holds for at least one.
    const auto &others = m_traces.otherIndepVars();
    if (others.isEmpty() || m_traces.traces().isEmpty())
        return true;
    const qsizetype traceCount = m_traces.traceCount();
    for (qsizetype t = 0; t < traceCount; ++t) {
        QList<double> values;
        for (qsizetype p = 0; p < others.size(); ++p) {
            if (others.size() == 1 && m_traces.sweepValues().size() == traceCount)
                values.append(m_traces.sweepValues().at(t));
            else
                values.append(GraphScale::parseValue(others.at(p).text()).value_or(0.0));
        }
        if (m_goal.limitAppliesAt(limitIndex, m_traces, values))
            return true;
    }
    return false;
}
