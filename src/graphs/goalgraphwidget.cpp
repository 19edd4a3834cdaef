#include "goalgraphwidget.h"

#include "colorset.h"
#include "graphaxes.h"
#include "goalverdict.h"
#include "graphwidget.h"
#include "units/realstringparser.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

// Position of the swept variable (the traces' independent variable) among
// the goal's independent variables; with a single one, that one; else -1.
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

QString axisNumber(double v, const QString &units, int digits = 4)
{
    if (units.isEmpty())
        return RealStringParser::formatNumber(v, digits);
    return RealStringParser::formatScaled(v, digits, units).text();
}

// Significant digits that tell neighbouring ticks apart: 4, more where a
// zoomed-in range puts the ticks close together for their size.
int tickDigits(const std::vector<double> &ticks)
{
    if (ticks.size() < 2)
        return 4;
    const double step = std::abs(ticks[1] - ticks[0]);
    double size = 0;
    for (double t : ticks)
        size = std::max(size, std::abs(t));
    if (!(step > 0) || !(size > step))
        return 4;
    return std::clamp(int(std::ceil(std::log10(size / step))) + 1, 4, 15);
}

const QColor limitColor(165, 25, 25);
const QColor violationTint(215, 60, 40, 30);
const QColor gridColor(0, 0, 0, 26);

QPen initialTracePen(const QColor &color)
{
    return QPen(ColorSet::lightVariant(color).darker(115), 1.4, Qt::DashLine);
}

QPen beforeTuningPen()
{
    return QPen(QColor(120, 120, 120), 1.4, Qt::DotLine);
}

} // namespace

// ---------------------------------------------------------------------------

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
    for (const OptimTrace &trace : traces.traces()) {
        const qsizetype n = trace.pointCount();
        std::optional<QPointF> previous;
        for (qsizetype i = 0; i < n; ++i) {
            const QPointF p = trace.point(i);
            if (!std::isfinite(p.x()) || !std::isfinite(p.y())) {
                previous.reset();
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

std::optional<GoalPlotRange> GoalGraphWidget::limitExtent(const OptimGoalInput &goal, const OptimTraceFamily &traces)
{
    const std::optional<GoalPlotRange> trace = traceExtent(traces);
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

GoalGraphWidget::GoalGraphWidget(QWidget *parent)
    : QLabel(parent)
{
    setMinimumSize(minimumSizeHint());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMouseTracking(true);
}

void GoalGraphWidget::invalidate()
{
    m_cacheValid = false;
    update();
}

void GoalGraphWidget::invalidateBackground()
{
    m_backgroundValid = false;
    invalidate();
}

void GoalGraphWidget::setGoal(const OptimGoalInput &goal)
{
    if (goal == m_goal && goal.indepVarUnits() == m_goal.indepVarUnits())
        return;
    // Another goal (or the swept variable in other units): the user's range
    // no longer means what it did.
    if (goal.name() != m_goal.name() || goal.indepVarUnits() != m_goal.indepVarUnits())
        m_zoom.reset();
    m_heldRange.reset();
    m_goal = goal;
    if (m_selectedLimit >= m_goal.limits().size())
        m_selectedLimit = -1;
    invalidateBackground();
}

void GoalGraphWidget::setTraces(const OptimTraceFamily &traces)
{
    if (traces == m_traces)
        return;
    m_traces = traces;
    if (m_traces.traces().isEmpty())
        m_heldRange.reset();
    invalidate();
}

void GoalGraphWidget::setInitialTraces(const OptimTraceFamily &traces)
{
    if (traces == m_initialTraces)
        return;
    m_initialTraces = traces;
    m_heldRange.reset();
    invalidateBackground();
}

void GoalGraphWidget::setTracesBeforeTuning(const OptimTraceFamily &traces)
{
    if (traces == m_beforeTuning)
        return;
    m_beforeTuning = traces;
    invalidateBackground();
}

void GoalGraphWidget::setValueText(const QString &text)
{
    if (text == m_valueText)
        return;
    // The legend in the kept background gives way to the result; redraw it
    // only when a longer or shorter result changes how many entries fit.
    const size_t entries = headerFit(size()).entryWidths.size();
    m_valueText = text;
    if (headerFit(size()).entryWidths.size() != entries)
        invalidateBackground();
    else
        invalidate();
}

void GoalGraphWidget::setXAxisScaling(int scaling)
{
    if (scaling < 0 || scaling > 2)
        scaling = FitToTraceAndLimitLines;
    if (scaling == m_scaling)
        return;
    m_scaling = scaling;
    m_zoom.reset(); // the engineer asked for an automatic range
    m_heldRange.reset();
    invalidateBackground();
}

void GoalGraphWidget::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    invalidateBackground();
}

void GoalGraphWidget::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    invalidateBackground();
}

void GoalGraphWidget::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    invalidateBackground();
}

void GoalGraphWidget::setSelectedLimit(int index)
{
    if (index < 0 || index >= m_goal.limits().size())
        index = -1;
    if (index == m_selectedLimit)
        return;
    m_selectedLimit = index;
    invalidate();
}

std::optional<GoalPlotRange> GoalGraphWidget::plotRange() const
{
    // While zoomed nothing is held, so the automatic range starts afresh
    // once the user returns to it.
    const std::optional<GoalPlotRange> computed = computedPlotRange();
    // A scalar goal's values lie along x: the same rule, turned.
    auto turned = [this](const GoalPlotRange &r) {
        return isScalar() ? GoalPlotRange{r.yMin, r.yMax, r.xMin, r.xMax} : r;
    };
    if (!computed || m_zoom || !m_heldRange || !GraphScale::keepsGoalPlotRange(turned(*m_heldRange), turned(*computed)))
        m_heldRange = m_zoom ? std::nullopt : computed;
    return m_zoom ? computed : m_heldRange;
}

std::optional<GoalPlotRange> GoalGraphWidget::computedPlotRange() const
{
    if (isScalar())
        return scalarPlotRange();
    const std::optional<GoalPlotRange> limits = limitExtent(m_goal, m_traces);
    if (m_scaling != FitToLimitLines || !limits)
        return GraphScale::goalPlotRange(m_scaling, limits, traceExtent(m_traces));
    // Fitting to the limit lines is a choice about the swept axis: x spans
    // the limit lines, while y still takes in the part of the traces shown
    // there, so a flat limit never squeezes the trace out of view.
    std::optional<GoalPlotRange> r = GraphScale::goalPlotRange(
        FitToTraceAndLimitLines, limits, traceExtent(m_traces, limits->xMin, limits->xMax));
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

bool GoalGraphWidget::showsInitialTraces() const
{
    return !m_initialTraces.traces().isEmpty() && !(m_initialTraces.traces() == m_traces.traces());
}

QStringList GoalGraphWidget::legendEntries() const
{
    QStringList entries{isScalar() ? QStringLiteral("value") : QStringLiteral("trace")};
    if (!m_goal.limits().isEmpty())
        entries << QStringLiteral("limit");
    if (showsInitialTraces())
        entries << QStringLiteral("initial");
    if (!m_beforeTuning.traces().isEmpty())
        entries << QStringLiteral("before tuning");
    return entries;
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

// ---------------------------------------------------------------------------
// Drawing

struct GoalGraphWidget::Layout
{
    QRect header;
    QRect plot;
    bool xLabels = false;
    // The range shown (a flat horizontal range opened); nothing when there
    // is nothing to show.
    std::optional<GoalPlotRange> range;
    std::vector<GraphAxes::ValueTick> yTicks;
    QString xUnits; // of the swept variable
    QString xName;
    QString yCaption; // the goal's expression, left of the value labels

    // Data to pixel coordinates, kept within +-1e6 so that a far-off point
    // still draws as a line leaving the plot.
    double xOf(double x) const
    {
        const double left = plot.left() + 1, width = std::max(1, plot.width() - 2);
        return std::clamp(left + (x - range->xMin) * width / (range->xMax - range->xMin), -1e6, 1e6);
    }
    double yOf(double y) const
    {
        const double top = plot.top() + 1, height = std::max(1, plot.height() - 2);
        return std::clamp(top + (range->yMax - y) * height / (range->yMax - range->yMin), -1e6, 1e6);
    }
    // Pixel column to the swept variable.
    double xAt(double px) const
    {
        return range->xMin + (px - plot.left() - 1) * (range->xMax - range->xMin) / std::max(1, plot.width() - 2);
    }
    // Pixel row to the response.
    double yAt(double py) const
    {
        return range->yMax - (py - plot.top() - 1) * (range->yMax - range->yMin) / std::max(1, plot.height() - 2);
    }
};

// The layout at size: the header line, the value ticks at nice steps as many
// as the height allows, the plot right of their labels, a row of labels
// of the swept variable below it when there is room.
GoalGraphWidget::Layout GoalGraphWidget::layoutFor(const QSize &size) const
{
    Layout l;
    const int k = sweptVariableIndex(m_goal, m_traces);
    const bool scalar = isScalar();
    l.xUnits = sweptAxisUnits();
    // A scalar goal's axis holds its values: the expression names it.
    l.xName = scalar ? m_goal.expression().trimmed()
                     : !m_traces.indepVar().name().isEmpty() ? m_traces.indepVar().name() : m_goal.indepVarNames().value(k);
    const QFontMetrics fm(GraphAxes::labelFont(font()));
    const QFontMetrics big(font());

    l.range = shownRange();
    if (l.range && !scalar) {
        const int plotHeight = size.height() - 2 * fm.height() - 16;
        const std::vector<double> ticks = GraphScale::niceTicks(l.range->yMin, l.range->yMax,
                                                                std::max(1, plotHeight / (fm.height() + 8)));
        const int digits = tickDigits(ticks);
        for (double v : ticks)
            l.yTicks.push_back({v, axisNumber(v, QString(), digits)});
    }

    l.header = QRect(0, 0, size.width(), big.height() + 4);
    l.xLabels = size.height() >= l.header.height() + 3 * fm.height() + 30;
    // The value axis names the goal's quantity while the plot has room.
    if (!scalar && size.width() >= 160 && size.height() >= l.header.height() + 4 * fm.height())
        l.yCaption = m_goal.expression().trimmed();
    const int captionRoom = l.yCaption.isEmpty() ? 0 : fm.height() + 2;
    const int left = scalar ? 8
                            : std::min(GraphAxes::labelWidth(fm, GraphAxes::labelFont(font()), l.yTicks) + 8 + captionRoom,
                                       size.width() / 2);
    const int top = l.header.bottom() + 3;
    const int bottom = size.height() - (l.xLabels ? fm.height() + 6 : 5);
    l.plot = QRect(QPoint(left, top), QPoint(std::max(left + 1, size.width() - 8), std::max(top + 1, bottom)));
    for (GraphAxes::ValueTick &t : l.yTicks)
        t.y = l.yOf(t.y);
    return l;
}

QRect GoalGraphWidget::plotRectFor(const QSize &size) const
{
    return layoutFor(size).plot;
}

QString GoalGraphWidget::valueAxisCaption() const
{
    return layoutFor(size()).yCaption;
}

QPixmap GoalGraphWidget::renderPixmap(const QSize &size) const
{
    const qreal dpr = devicePixelRatioF();
    QPixmap pixmap((QSizeF(size) * dpr).toSize());
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    drawGraph(painter, size);
    ++m_renderCount;
    return pixmap;
}

GoalGraphWidget::BackgroundKey GoalGraphWidget::backgroundKey(const QSize &size, const Layout &layout) const
{
    return {size, devicePixelRatioF(), layout.range, m_traces.traces().isEmpty(), showsInitialTraces(),
            m_traces.indepVar().name()};
}

// A new iteration brings new current traces and a new result: unless the
// range moved with them, only those are drawn again, over a copy of the
// background layer. While the background keeps changing (an automatic range
// that follows the traces, a zoom in progress) the plot is drawn in one go
// instead, sparing the copy; the layer is kept again once the background
// stays the same from one drawing to the next.
const QPixmap &GoalGraphWidget::shownPixmap() const
{
    const QSize size = this->size();
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = (QSizeF(size) * dpr).toSize();
    if (m_cacheValid && m_cache.size() == pixels)
        return m_cache;
    const Layout layout = layoutFor(size);
    const BackgroundKey key = backgroundKey(size, layout);
    const bool same = m_backgroundValid && key == m_backgroundKey;
    if (same && !m_background.isNull()) {
        m_cache = m_background;
    } else {
        QPixmap &target = same ? m_background : m_cache;
        target = QPixmap(pixels);
        target.setDevicePixelRatio(dpr);
        target.fill(Qt::transparent);
        QPainter painter(&target);
        drawBackground(painter, size, layout);
        ++m_backgroundRenderCount;
        m_backgroundKey = key;
        m_backgroundValid = true;
        if (same) {
            painter.end();
            m_cache = m_background;
        } else {
            m_background = QPixmap();
            drawForeground(painter, size, layout);
            m_cacheValid = true;
            ++m_renderCount;
            return m_cache;
        }
    }
    QPainter painter(&m_cache);
    drawForeground(painter, size, layout);
    m_cacheValid = true;
    ++m_renderCount;
    return m_cache;
}

void GoalGraphWidget::drawGraph(QPainter &painter, const QSize &size) const
{
    const Layout layout = layoutFor(size);
    drawBackground(painter, size, layout);
    drawForeground(painter, size, layout);
}

void GoalGraphWidget::drawBackground(QPainter &painter, const QSize &size, const Layout &layout) const
{
    const QPalette pal = palette();
    if (m_selected)
        painter.fillRect(QRect(QPoint(0, 0), size), GraphWidget::selectionHighlightColor());
    drawHeader(painter, size, layout, true);
    painter.fillRect(layout.plot, pal.color(QPalette::Base));
    painter.setFont(GraphAxes::labelFont(font()));
    if (!layout.range) {
        GraphAxes::drawPlotMessage(painter, layout.plot, pal.color(QPalette::Disabled, QPalette::WindowText),
                                   m_traces.traces().isEmpty() ? (isScalar() ? QStringLiteral("No value yet")
                                                                                             : QStringLiteral("No trace yet"))
                                                               : QStringLiteral("No values to show"));
        drawFrame(painter, size, layout, true);
        return;
    }

    const QColor textColor = pal.color(m_stale ? QPalette::Disabled : QPalette::Active, QPalette::WindowText);
    GraphAxes::drawValueTicks(painter, QFontMetrics(GraphAxes::labelFont(font())), layout.plot, size.height(), layout.yTicks,
                              gridColor, textColor);
    drawValueCaption(painter, layout);
    drawSweptAxis(painter, size, layout);

    // Limits: the violating side tinted under the traces, the lines over
    // them (in drawForeground), so a trace running along a limit never
    // hides it.
    painter.save();
    painter.setClipRect(layout.plot.adjusted(1, 1, -1, -1));
    if (isScalar()) {
        drawScalarLimits(painter, layout, false);
        drawScalarValues(painter, layout, false);
    } else {
        drawLimits(painter, layout, false);
        drawTraces(painter, layout, false);
    }
    painter.restore();
    // The frame lies outside the clip of everything drawn later but the
    // highlight, so it goes in here.
    drawFrame(painter, size, layout, true);
}

void GoalGraphWidget::drawForeground(QPainter &painter, const QSize &size, const Layout &layout) const
{
    // The result in the header lies beside the legend, clear of the rest.
    drawHeader(painter, size, layout, false);
    if (layout.range) {
        painter.save();
        painter.setClipRect(layout.plot.adjusted(1, 1, -1, -1));
        if (isScalar()) {
            drawScalarValues(painter, layout, true);
            drawScalarLimits(painter, layout, true);
        } else {
            drawTraces(painter, layout, true);
            drawLimits(painter, layout, true);
        }
        painter.restore();
    }
    drawFrame(painter, size, layout, false);
}

// The header: the goal's name in bold, its result and "stale", and the
// legend right-aligned, as many entries as fit.
void GoalGraphWidget::drawHeader(QPainter &painter, const QSize &size, const Layout &layout, bool legend) const
{
    const QPalette pal = palette();
    const QColor textColor = pal.color(m_stale ? QPalette::Disabled : QPalette::Active, QPalette::WindowText);
    const QColor greyText = pal.color(QPalette::Disabled, QPalette::WindowText);
    const QFont small = GraphAxes::labelFont(font());
    const QFontMetrics fm(small);
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(textColor);
    const QFontMetrics bm(bold);
    if (!legend && m_valueText.isEmpty() && !m_stale)
        return; // no result to write
    const QString name = m_goal.name().isEmpty() ? QStringLiteral("Goal") : m_goal.name();
    const int top = layout.header.top() + 1;
    if (legend) {
        GraphAxes::drawLabel(painter, QRect(4, top, size.width() - 4, bm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                             bm.elidedText(name, Qt::ElideRight, std::max(20, size.width() / 2)));
    }
    painter.setFont(small);
    const HeaderFit fit = headerFit(size);

    struct Entry
    {
        QString text;
        QPen pen;
    };
    std::vector<Entry> entries;
    for (const QString &entry : legendEntries()) {
        if (entry == QLatin1String("trace") || entry == QLatin1String("value"))
            entries.push_back({entry, QPen(m_stale ? greyText : m_color, 1.8)});
        else if (entry == QLatin1String("limit"))
            entries.push_back({entry, QPen(m_stale ? greyText : limitColor, 2.5)});
        else if (entry == QLatin1String("initial"))
            entries.push_back({entry, initialTracePen(m_color)});
        else
            entries.push_back({entry, beforeTuningPen()});
    }
    int used = 0;
    std::vector<std::pair<int, const Entry *>> placed;
    for (size_t i = 0; i < fit.entryWidths.size() && i < entries.size(); ++i) {
        used += fit.entryWidths[i];
        placed.emplace_back(fit.entryWidths[i], &entries[i]);
    }
    if (legend) {
        int lx = fit.right - used;
        const int cy = top + bm.height() / 2;
        painter.setRenderHint(QPainter::Antialiasing, true);
        for (const auto &[w, e] : placed) {
            painter.setPen(e->pen);
            painter.drawLine(QPointF(lx, cy + 0.5), QPointF(lx + 16, cy + 0.5));
            painter.setPen(textColor);
            GraphAxes::drawLabel(painter, QRect(lx + 20, top, w, bm.height()), Qt::AlignLeft | Qt::AlignVCenter, e->text);
            lx += w;
        }
        painter.setRenderHint(QPainter::Antialiasing, false);
    } else if (!fit.detail.isEmpty()) {
        const int room = std::max(0, fit.right - used - fit.x);
        painter.setPen(GraphAxes::captionColor(pal, m_stale));
        GraphAxes::drawLabel(painter, QRect(fit.x, top, room, bm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                             headerDetailFor(size));
    }
}

GoalGraphWidget::HeaderFit GoalGraphWidget::headerFit(const QSize &size) const
{
    HeaderFit fit;
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics bm(bold);
    const QFont small = GraphAxes::labelFont(font());
    const QFontMetrics fm(small);
    const QString name = m_goal.name().isEmpty() ? QStringLiteral("Goal") : m_goal.name();
    fit.x = 4 + std::min(GraphAxes::textWidth(bm, bold, name), std::max(20, size.width() / 2)) + 8;
    fit.right = size.width() - 6;
    if (!m_valueText.isEmpty())
        fit.detail = QStringLiteral("error %1").arg(m_valueText);
    if (m_stale)
        fit.detail += fit.detail.isEmpty() ? QStringLiteral("stale") : QStringLiteral(" (stale)");
    // The result keeps its whole width; the legend takes what is left.
    const int detailWidth = fit.detail.isEmpty() ? 0 : GraphAxes::textWidth(fm, small, fit.detail) + 8;
    int used = 0;
    for (const QString &entry : legendEntries()) {
        const int w = 20 + GraphAxes::textWidth(fm, small, entry) + 8;
        if (fit.x + detailWidth + used + w > fit.right)
            break;
        used += w;
        fit.entryWidths.push_back(w);
    }
    return fit;
}

QString GoalGraphWidget::headerDetailFor(const QSize &size) const
{
    const HeaderFit fit = headerFit(size);
    int used = 0;
    for (int w : fit.entryWidths)
        used += w;
    const int room = std::max(0, fit.right - used - fit.x);
    return QFontMetrics(GraphAxes::labelFont(font())).elidedText(fit.detail, Qt::ElideRight, room);
}

// The goal's expression, turned up along the left edge, centred on the plot.
void GoalGraphWidget::drawValueCaption(QPainter &painter, const Layout &layout) const
{
    if (layout.yCaption.isEmpty())
        return;
    const QFontMetrics fm(GraphAxes::labelFont(font()));
    const QRect &plot = layout.plot;
    painter.save();
    painter.setPen(GraphAxes::captionColor(palette(), m_stale));
    painter.translate(1, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRect(-plot.height() / 2, 0, plot.height(), fm.height()), Qt::AlignCenter,
                     fm.elidedText(layout.yCaption, Qt::ElideRight, plot.height()));
    painter.restore();
}

// The swept variable's axis: grid lines at nice values, as many as labels
// fit side by side, their labels, and the variable's name at the right.
void GoalGraphWidget::drawSweptAxis(QPainter &painter, const QSize &size, const Layout &layout) const
{
    const QPalette pal = palette();
    const QColor textColor = pal.color(m_stale ? QPalette::Disabled : QPalette::Active, QPalette::WindowText);
    const QFontMetrics fm(GraphAxes::labelFont(font()));
    const QRect &plot = layout.plot;
    const GoalPlotRange &r = *layout.range;
    // As many ticks as labels fit; zoomed in far, the labels need more
    // digits, so they are counted again at their width.
    auto ticksFor = [&](int digits) {
        const int sample = GraphAxes::textWidth(fm, painter.font(), axisNumber(r.xMax, layout.xUnits, digits)) + 14;
        return GraphScale::niceTicks(r.xMin, r.xMax, std::max(1, plot.width() / std::max(20, sample)));
    };
    std::vector<double> xTicks = ticksFor(4);
    const int digits = tickDigits(xTicks);
    if (digits > 4)
        xTicks = ticksFor(digits);
    const QString &caption = layout.xName;
    const int captionWidth = caption.isEmpty() ? 0 : GraphAxes::textWidth(fm, painter.font(), caption) + 6;
    int rightEdge = std::numeric_limits<int>::min();
    for (double v : xTicks) {
        const double x = layout.xOf(v);
        painter.setPen(gridColor);
        GraphAxes::drawVerticalGridLine(painter, plot, x);
        if (!layout.xLabels)
            continue;
        const QString text = axisNumber(v, layout.xUnits, digits);
        const int tw = GraphAxes::textWidth(fm, painter.font(), text);
        const int tx = std::clamp(int(std::round(x) + 0.5) - tw / 2, plot.left() - 4, std::max(0, size.width() - tw - 3));
        if (tx < rightEdge + 8 || tx + tw > size.width() - captionWidth - 5)
            continue;
        painter.setPen(textColor);
        GraphAxes::drawLabel(painter, QRect(tx, plot.bottom() + 3, tw + 1, fm.height()), Qt::AlignLeft | Qt::AlignTop, text);
        rightEdge = tx + tw;
    }
    if (layout.xLabels && !caption.isEmpty()) {
        painter.setPen(GraphAxes::captionColor(pal, m_stale));
        GraphAxes::drawLabel(painter, QRect(size.width() - captionWidth - 3, plot.bottom() + 3, captionWidth, fm.height()),
                         Qt::AlignRight | Qt::AlignTop, caption);
    }
}

// Each limit over its range of the swept variable: with lines false the
// violating side tinted (not while stale), with lines true the limit's
// values as thick lines, dashed and faint when the limit holds for none of
// the traces.
void GoalGraphWidget::drawLimits(QPainter &painter, const Layout &layout, bool lines) const
{
    if (!lines && m_stale)
        return;
    const QRect &plot = layout.plot;
    const auto &limits = m_goal.limits();
    for (int i = 0; i < int(limits.size()); ++i) {
        const OptimGoalLimitInput &limit = limits.at(i);
        const std::vector<double> values = limitValues(limit);
        if (values.empty())
            continue;
        const auto [lo, hi] = limitXSpan(m_goal, i, m_traces);
        const double x0 = std::isfinite(lo) ? layout.xOf(lo) : plot.left();
        const double x1 = std::isfinite(hi) ? layout.xOf(hi) : plot.right();
        if (!lines) {
            const double top = plot.top(), bottom = plot.bottom();
            auto tint = [&](double ya, double yb) {
                painter.fillRect(QRectF(QPointF(x0, std::min(ya, yb)), QPointF(x1, std::max(ya, yb))), violationTint);
            };
            const double a = layout.yOf(values[0]);
            const double b = values.size() > 1 ? layout.yOf(values[1]) : a;
            switch (limit.limitType()) {
            case LimitGreaterThan:
                tint(a, bottom);
                break;
            case LimitLessThan:
                tint(top, a);
                break;
            case LimitInside:
                tint(top, std::min(a, b));
                tint(std::max(a, b), bottom);
                break;
            case LimitOutside:
                tint(a, b);
                break;
            default:
                break;
            }
            continue;
        }
        const bool applies = limitApplies(i);
        QColor c = m_stale ? palette().color(QPalette::Disabled, QPalette::WindowText) : limitColor;
        if (!applies)
            c.setAlpha(110);
        const double w = i == m_selectedLimit ? 3.5 : 2.5;
        painter.setPen(QPen(c, w, applies ? Qt::SolidLine : Qt::DashLine, Qt::FlatCap));
        for (double v : values) {
            const double y = layout.yOf(v);
            painter.drawLine(QPointF(x0, y), QPointF(x1, y));
        }
    }
}

namespace {

// The line through points (in pixels) as the eye sees it at columnsPerPixel
// device columns per pixel: of each stretch of consecutive points within one
// device pixel column, its first point, its lowest, its highest and its
// last, in their order. A 2001-point sweep in a 300-pixel plot strokes some
// 600 points instead, with the same spikes, dips and ends.
QPolygonF columnEnvelope(const QPolygonF &points, double columnsPerPixel)
{
    QPolygonF out;
    qsizetype emitted = -1;
    for (qsizetype i = 0; i < points.size();) {
        const double column = std::floor(points.at(i).x() * columnsPerPixel);
        qsizetype lo = i, hi = i, j = i + 1;
        for (; j < points.size() && std::floor(points.at(j).x() * columnsPerPixel) == column; ++j) {
            if (points.at(j).y() < points.at(lo).y())
                lo = j;
            if (points.at(j).y() > points.at(hi).y())
                hi = j;
        }
        for (const qsizetype k : {i, std::min(lo, hi), std::max(lo, hi), j - 1}) {
            if (k != emitted)
                out.append(points.at(k));
            emitted = k;
        }
        i = j;
    }
    return out;
}

// The line through points without the points that lie within tolerance
// (in pixels) of the straight piece that then replaces them, at most 32 in
// a row: a smooth sweep of hundreds of points strokes a few dozen, and
// looks the same.
QPolygonF simplified(const QPolygonF &points, double tolerance)
{
    if (points.size() < 3)
        return points;
    QPolygonF out;
    out.append(points.first());
    qsizetype anchor = 0;
    for (qsizetype j = 2; j < points.size(); ++j) {
        const QPointF d = points.at(j) - points.at(anchor);
        const double length2 = QPointF::dotProduct(d, d);
        bool within = j - anchor <= 32 && length2 > 0;
        for (qsizetype k = anchor + 1; within && k < j; ++k) {
            // Beside the piece (not beyond its ends) and near it.
            const QPointF e = points.at(k) - points.at(anchor);
            const double along = QPointF::dotProduct(e, d), across = d.x() * e.y() - d.y() * e.x();
            within = along >= 0 && along <= length2 && across * across <= tolerance * tolerance * length2;
        }
        if (!within) {
            anchor = j - 1;
            out.append(points.at(anchor));
        }
    }
    out.append(points.last());
    return out;
}

} // namespace

// The traces before tuning, the initial and the current ones (current on
// top), each broken where a point is not finite, a dense one drawn from its
// envelope per pixel column, all without the points that would not show.
void GoalGraphWidget::drawTraces(QPainter &painter, const Layout &layout, bool current) const
{
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const qsizetype columns = qsizetype(layout.plot.width() * dpr);
    QPolygonF run;
    // A long solid line goes in pieces of 64 segments, each starting where
    // the last one ended: the rasterizer takes a wide antialiased line of
    // hundreds of points over and over in bands, a piece in one go. (A
    // dashed line stays whole, its dashes running on.)
    auto drawRun = [&] {
        const QPolygonF line = simplified(run.size() > columns ? columnEnvelope(run, dpr) : run, 0.05 / dpr);
        const qsizetype piece = painter.pen().style() == Qt::SolidLine ? 64 : line.size();
        for (qsizetype i = 0; i + 1 < line.size(); i += piece)
            painter.drawPolyline(line.constData() + i, int(std::min(piece + 1, line.size() - i)));
    };
    auto drawFamily = [&](const OptimTraceFamily &family, const QPen &pen) {
        painter.setPen(pen);
        for (const OptimTrace &trace : family.traces()) {
            run.clear();
            const qsizetype n = trace.pointCount();
            for (qsizetype i = 0; i < n; ++i) {
                const double x = trace.xValues().at(i), y = trace.yValues().at(i);
                if (!std::isfinite(x) || !std::isfinite(y)) {
                    drawRun();
                    run.clear();
                    continue;
                }
                run.append(QPointF(layout.xOf(x), layout.yOf(y)));
            }
            if (run.size() == 1)
                painter.drawEllipse(run.first(), 1.5, 1.5);
            else
                drawRun();
        }
    };
    if (!current) {
        if (!m_beforeTuning.traces().isEmpty())
            drawFamily(m_beforeTuning, beforeTuningPen());
        if (showsInitialTraces())
            drawFamily(m_initialTraces, initialTracePen(m_color));
    } else {
        const QColor colour = m_stale ? palette().color(QPalette::Disabled, QPalette::WindowText) : m_color;
        drawFamily(m_traces, QPen(colour, m_selected ? 2.2 : 1.8));
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
}

// The plot's frame (plot true), or around the whole plot a highlight frame
// while selected.
void GoalGraphWidget::drawFrame(QPainter &painter, const QSize &size, const Layout &layout, bool plot) const
{
    const QPalette pal = palette();
    if (plot)
        GraphAxes::drawFrame(painter, layout.plot, pal.color(QPalette::Mid));
    else if (m_selected) {
        painter.setPen(QPen(pal.color(QPalette::Highlight), 2));
        painter.drawRect(QRectF(1, 1, size.width() - 2, size.height() - 2));
    }
}

// A scalar goal's limits: each limit value a line across the plot at its
// place on the value axis, the violating side tinted (left of a
// GreaterThan, right of a LessThan, outside an Inside band, inside an
// Outside band).
void GoalGraphWidget::drawScalarLimits(QPainter &painter, const Layout &layout, bool lines) const
{
    if (!lines && m_stale)
        return;
    const QRect &plot = layout.plot;
    const auto &limits = m_goal.limits();
    for (int i = 0; i < int(limits.size()); ++i) {
        const OptimGoalLimitInput &limit = limits.at(i);
        const std::vector<double> values = limitValues(limit);
        if (values.empty())
            continue;
        if (!lines) {
            auto tint = [&](double xa, double xb) {
                painter.fillRect(QRectF(QPointF(std::min(xa, xb), plot.top()), QPointF(std::max(xa, xb), plot.bottom())),
                                 violationTint);
            };
            const double a = layout.xOf(values[0]);
            const double b = values.size() > 1 ? layout.xOf(values[1]) : a;
            switch (limit.limitType()) {
            case LimitGreaterThan:
                tint(plot.left(), a);
                break;
            case LimitLessThan:
                tint(a, plot.right());
                break;
            case LimitInside:
                tint(plot.left(), std::min(a, b));
                tint(std::max(a, b), plot.right());
                break;
            case LimitOutside:
                tint(a, b);
                break;
            default:
                break;
            }
            continue;
        }
        const QColor c = m_stale ? palette().color(QPalette::Disabled, QPalette::WindowText) : limitColor;
        painter.setPen(QPen(c, i == m_selectedLimit ? 3.5 : 2.5, Qt::SolidLine, Qt::FlatCap));
        for (double v : values) {
            const double x = layout.xOf(v);
            painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        }
    }
}

// A scalar goal's values as markers on a band across the middle of the
// plot: each current value a filled diamond with a line through the band
// and its number above it; the initial values (when they differ) dashed and
// hollow, the values before tuning dotted grey.
void GoalGraphWidget::drawScalarValues(QPainter &painter, const Layout &layout, bool current) const
{
    const QRect &plot = layout.plot;
    const double cy = plot.center().y() + 0.5;
    const double half = std::clamp(plot.height() / 6.0, 4.0, 12.0);
    painter.setRenderHint(QPainter::Antialiasing, true);
    auto marker = [&](double v, const QPen &pen, const QBrush &brush) {
        const double x = layout.xOf(v);
        painter.setPen(pen);
        painter.setBrush(brush);
        painter.drawLine(QPointF(x, cy - 2 * half), QPointF(x, cy + 2 * half));
        painter.drawPolygon(QPolygonF({QPointF(x, cy - half), QPointF(x + half, cy), QPointF(x, cy + half), QPointF(x - half, cy)}));
    };
    if (!current) {
        // The band the markers sit on.
        painter.setPen(QPen(gridColor, 1));
        painter.setBrush(QColor(0, 0, 0, 10));
        painter.drawRect(QRectF(plot.left() + 1, cy - half / 2, plot.width() - 2, half));
        for (double v : scalarValues(m_goal, m_beforeTuning).value_or(std::vector<double>()))
            marker(v, beforeTuningPen(), Qt::NoBrush);
        if (showsInitialTraces()) {
            for (double v : scalarValues(m_goal, m_initialTraces).value_or(std::vector<double>()))
                marker(v, initialTracePen(m_color), Qt::NoBrush);
        }
    } else {
        const QColor colour = m_stale ? palette().color(QPalette::Disabled, QPalette::WindowText) : m_color;
        const QFontMetrics fm(GraphAxes::labelFont(font()));
        painter.setFont(GraphAxes::labelFont(font()));
        for (double v : scalarValues(m_goal, m_traces).value_or(std::vector<double>())) {
            marker(v, QPen(colour, m_selected ? 2.2 : 1.8), colour);
            const QString text = axisNumber(v, QString(), 4);
            const int tw = GraphAxes::textWidth(fm, painter.font(), text);
            const int tx = std::clamp(int(std::round(layout.xOf(v))) - tw / 2, plot.left() + 2, std::max(plot.left() + 2, plot.right() - tw - 2));
            const int ty = int(cy - 2 * half) - fm.height() - 1;
            if (ty >= plot.top() + 1) {
                painter.setPen(colour);
                GraphAxes::drawLabel(painter, QRect(tx, ty, tw + 1, fm.height()), Qt::AlignLeft | Qt::AlignTop, text);
            }
        }
    }
    painter.setBrush(Qt::NoBrush);
    painter.setRenderHint(QPainter::Antialiasing, false);
}

// ---------------------------------------------------------------------------
// Events

void GoalGraphWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, shownPixmap());
}

void GoalGraphWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        // A press may start a pan: the values under it stay under the
        // cursor while it moves.
        m_pressPos = event->position().toPoint();
        m_grabbed = valueAt(event->position());
        m_panning = false;
        Q_EMIT clicked();
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

bool GoalGraphWidget::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        if (m_panning)
            return true;
        auto *help = static_cast<QHelpEvent *>(event);
        const QString text = toolTipTextAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    if (event->type() == QEvent::Resize)
        m_heldRange.reset(); // the range is chosen afresh for the new size
    return QLabel::event(event);
}

void GoalGraphWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange
        || event->type() == QEvent::EnabledChange || event->type() == QEvent::StyleChange)
        invalidateBackground();
    QLabel::changeEvent(event);
}

QString GoalGraphWidget::toolTipTextAt(const QPoint &pos) const
{
    QString text;
    const Layout layout = layoutFor(size());
    if (const auto values = scalarValues(m_goal, m_traces)) {
        // A scalar goal: its values and the verdict against the limits,
        // wherever the cursor is.
        const QString name = m_goal.expression().trimmed().isEmpty() ? QStringLiteral("value") : m_goal.expression().trimmed();
        auto joined = [](const std::vector<double> &vs) {
            QStringList texts;
            for (double v : vs)
                texts << esc(QString::number(v, 'g', 6));
            return texts.join(QStringLiteral(", "));
        };
        if (!values->empty()) {
            text = QStringLiteral("%1 = <b>%2</b>").arg(esc(name), joined(*values));
            if (showsInitialTraces())
                text += QStringLiteral(" (initial %1)").arg(joined(scalarValues(m_goal, m_initialTraces).value_or(std::vector<double>())));
            if (const auto before = scalarValues(m_goal, m_beforeTuning); before && !before->empty())
                text += QStringLiteral(" (before tuning %1)").arg(joined(*before));
            const QString verdict = GoalVerdict::judgeGoal(m_goal, m_traces).text();
            if (!verdict.isEmpty())
                text += QStringLiteral("<br>") + esc(verdict);
        }
    } else if (layout.range && layout.plot.contains(pos)) {
        const int k = sweptVariableIndex(m_goal, m_traces);
        const QString &xUnits = layout.xUnits;
        const QString xName = !m_traces.indepVar().name().isEmpty() ? m_traces.indepVar().name()
                                                                    : m_goal.indepVarNames().value(k, QStringLiteral("x"));
        const double x = layout.xAt(pos.x());
        // The point of each trace nearest to the cursor's abscissa.
        auto nearest = [&](const OptimTraceFamily &family, int t) -> std::optional<QPointF> {
            const OptimTrace &trace = family.trace(t);
            std::optional<QPointF> best;
            double distance = kInf;
            for (qsizetype i = 0; i < trace.pointCount(); ++i) {
                const QPointF p = trace.point(i);
                if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
                    continue;
                const double d = std::abs(p.x() - x);
                if (d < distance) {
                    distance = d;
                    best = p;
                }
            }
            return best;
        };
        QStringList lines;
        for (int t = 0; t < int(m_traces.traceCount()); ++t) {
            if (const auto p = nearest(m_traces, t)) {
                QString line = QStringLiteral("%1 = %2: <b>%3</b>")
                                   .arg(esc(xName), esc(xUnits.isEmpty() ? QString::number(p->x(), 'g', 6) : RealStringParser::formatScaled(p->x(), 6, xUnits).text()),
                                        esc(QString::number(p->y(), 'g', 6)));
                if (showsInitialTraces() && t < m_initialTraces.traceCount()) {
                    if (const auto q = nearest(m_initialTraces, t))
                        line += QStringLiteral(" (initial %1)").arg(esc(QString::number(q->y(), 'g', 6)));
                }
                if (t < m_beforeTuning.traceCount()) {
                    if (const auto q = nearest(m_beforeTuning, t))
                        line += QStringLiteral(" (before tuning %1)").arg(esc(QString::number(q->y(), 'g', 6)));
                }
                lines << line;
            }
        }
        text = lines.join(QStringLiteral("<br>"));
    }
    const QString description = limitDescription();
    if (text.isEmpty())
        text = description;
    else
        text = description + QStringLiteral("<hr>") + text;
    if (m_stale)
        text += QStringLiteral("<br><i>(results are stale)</i>");
    return QStringLiteral("<qt>") + text + QStringLiteral("</qt>");
}

// ---------------------------------------------------------------------------
// Zoom, pan and the context menu

namespace {

// The automatic range as drawn: a flat swept range opened.
std::optional<GoalPlotRange> withOpenedSweptRange(std::optional<GoalPlotRange> range)
{
    if (range)
        std::tie(range->xMin, range->xMax) = GraphScale::openedRange(range->xMin, range->xMax);
    return range;
}

// Scales lo..hi around c by factor unless the result could not be drawn:
// not finite, too narrow for doubles to tell its pixels apart, or beyond a
// millionth or a million times the automatic span.
bool scaleAround(double &lo, double &hi, double c, double factor, double automaticSpan)
{
    const double newLo = c - (c - lo) * factor, newHi = c + (hi - c) * factor;
    const double span = newHi - newLo;
    if (!std::isfinite(newLo) || !std::isfinite(newHi) || !(span > 1e-9 * std::max(std::abs(newLo), std::abs(newHi)))
        || span < automaticSpan * 1e-6 || span > automaticSpan * 1e6)
        return false;
    lo = newLo;
    hi = newHi;
    return true;
}

} // namespace

std::optional<GoalPlotRange> GoalGraphWidget::shownRange() const
{
    std::optional<GoalPlotRange> range = plotRange();
    if (range && m_zoom)
        return m_zoom;
    return withOpenedSweptRange(range);
}

std::optional<QPointF> GoalGraphWidget::valueAt(const QPointF &pos) const
{
    const Layout layout = layoutFor(size());
    if (!layout.range || !QRectF(layout.plot).contains(pos))
        return std::nullopt;
    return QPointF(layout.xAt(pos.x()), layout.yAt(pos.y()));
}

void GoalGraphWidget::zoomAt(const QPointF &pos, double xFactor, double yFactor)
{
    const std::optional<QPointF> value = valueAt(pos);
    const std::optional<GoalPlotRange> automatic = withOpenedSweptRange(plotRange());
    if (!value || !automatic || !(xFactor > 0) || !(yFactor > 0))
        return;
    GoalPlotRange range = *shownRange();
    const bool x = xFactor != 1.0
        && scaleAround(range.xMin, range.xMax, value->x(), xFactor, automatic->xMax - automatic->xMin);
    // A scalar goal's markers keep their height: only its value axis zooms.
    const bool y = yFactor != 1.0 && !isScalar()
        && scaleAround(range.yMin, range.yMax, value->y(), yFactor, automatic->yMax - automatic->yMin);
    if (!x && !y)
        return;
    m_zoom = range;
    pinValue(*value, pos);
    invalidate();
}

void GoalGraphWidget::pinValue(const QPointF &value, const QPointF &pos)
{
    // The first pass puts both values in place. The new value range may
    // change the width of the value labels and with it the plot's left
    // edge; the second pass makes up for that (the value labels stay).
    for (int pass = 0; pass < 2 && m_zoom; ++pass) {
        const Layout layout = layoutFor(size());
        if (!layout.range)
            return;
        const double dx = value.x() - layout.xAt(pos.x());
        const double dy = isScalar() ? 0.0 : value.y() - layout.yAt(pos.y());
        m_zoom->xMin += dx;
        m_zoom->xMax += dx;
        m_zoom->yMin += dy;
        m_zoom->yMax += dy;
    }
}

void GoalGraphWidget::resetZoom()
{
    if (!m_zoom)
        return;
    m_zoom.reset();
    m_heldRange.reset();
    invalidate();
}

void GoalGraphWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton) || !m_grabbed) {
        QLabel::mouseMoveEvent(event);
        return;
    }
    event->accept();
    if (!m_panning) {
        if ((event->position().toPoint() - m_pressPos).manhattanLength() < QApplication::startDragDistance())
            return;
        m_panning = true;
        setCursor(Qt::ClosedHandCursor);
        QToolTip::hideText();
    }
    if (!m_zoom)
        m_zoom = shownRange();
    pinValue(*m_grabbed, event->position());
    invalidate();
}

void GoalGraphWidget::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    m_grabbed.reset();
    if (m_panning) {
        m_panning = false;
        unsetCursor();
    }
    event->accept();
}

void GoalGraphWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QLabel::mouseDoubleClickEvent(event);
        return;
    }
    resetZoom();
    event->accept();
}

void GoalGraphWidget::wheelEvent(QWheelEvent *event)
{
    // Some platforms turn a wheel with Shift held sideways.
    const QPoint delta = event->angleDelta();
    const int eighths = delta.y() != 0 ? delta.y() : delta.x();
    if (eighths == 0 || !valueAt(event->position())) {
        QLabel::wheelEvent(event); // outside the plot the view around scrolls
        return;
    }
    // One notch (120 eighths of a degree) shows 80 % of the range.
    const double factor = std::pow(0.8, eighths / 120.0);
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    zoomAt(event->position(), modifiers & Qt::ControlModifier ? 1.0 : factor,
           modifiers & Qt::ShiftModifier ? 1.0 : factor);
    event->accept();
}

void GoalGraphWidget::contextMenuEvent(QContextMenuEvent *event)
{
    // popup() returns at once: no nested event loop runs here.
    imageMenu()->popup(event->globalPos());
    event->accept();
}

QMenu *GoalGraphWidget::imageMenu()
{
    if (!m_imageMenu) {
        m_imageMenu = new QMenu(this);
        m_imageMenu->setObjectName(QStringLiteral("goalGraphMenu"));
        m_imageMenu->setToolTipsVisible(true);
        QAction *copy = m_imageMenu->addAction(QStringLiteral("Copy Image"));
        copy->setObjectName(QStringLiteral("copyImageAction"));
        connect(copy, &QAction::triggered, this, [this] { QGuiApplication::clipboard()->setPixmap(grab()); });
        QAction *save = m_imageMenu->addAction(QStringLiteral("Save Image..."));
        save->setObjectName(QStringLiteral("saveImageAction"));
        // Queued with this plot as context: the owner's file dialog runs
        // from the event loop, and not at all once the plot is gone.
        connect(save, &QAction::triggered, this, [this] {
            QMetaObject::invokeMethod(this, [this] { Q_EMIT saveImageRequested(this); }, Qt::QueuedConnection);
        });
        m_imageMenu->addSeparator();
        QAction *reset = m_imageMenu->addAction(QStringLiteral("Reset Zoom"));
        reset->setObjectName(QStringLiteral("resetZoomAction"));
        connect(reset, &QAction::triggered, this, &GoalGraphWidget::resetZoom);
    }
    const QList<QAction *> actions = m_imageMenu->actions();
    QAction *save = actions.at(1);
    QAction *reset = actions.at(3);
    const bool canSave = isSignalConnected(QMetaMethod::fromSignal(&GoalGraphWidget::saveImageRequested));
    save->setEnabled(canSave);
    save->setToolTip(canSave ? QString() : QStringLiteral("This plot cannot be saved from here."));
    reset->setEnabled(isZoomed());
    reset->setToolTip(isZoomed() ? QString() : QStringLiteral("The plot shows its automatic range."));
    return m_imageMenu;
}
