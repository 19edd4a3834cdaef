#include "goalgraphwidget.h"

#include "colorset.h"
#include "graphwidget.h"
#include "units/realstringparser.h"

#include <QEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <limits>

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
    return GraphWidget::parseValue(text);
}

std::optional<double> limitValue(bool valid, double value, const QString &text)
{
    if (valid && std::isfinite(value))
        return value;
    return GraphWidget::parseValue(text);
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

QFont smallFont(const QFont &base)
{
    QFont f = base;
    if (f.pointSizeF() > 0)
        f.setPointSizeF(std::max(6.5, f.pointSizeF() * 0.85));
    return f;
}

double niceStep(double span, int maxTicks)
{
    if (!(span > 0) || maxTicks < 1)
        return 0;
    const double raw = span / maxTicks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= raw)
            return m * power;
    }
    return 10 * power;
}

std::vector<double> niceTicks(double lo, double hi, int maxTicks)
{
    std::vector<double> ticks;
    const double step = niceStep(hi - lo, std::max(1, maxTicks));
    if (step <= 0)
        return ticks;
    for (double v = std::ceil(lo / step - 1e-9) * step; v <= hi + step * 1e-9 && ticks.size() < 30; v += step)
        ticks.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);
    return ticks;
}

QString axisNumber(double v, const QString &units)
{
    if (units.isEmpty())
        return RealStringParser::formatNumber(v, 4);
    return RealStringParser::formatScaled(v, 4, units).text();
}

struct PlotGeometry
{
    QRect header;
    QRect plot;
    bool xLabels = false;
};

const QColor limitColor(165, 25, 25);
const QColor violationTint(215, 60, 40, 30);

} // namespace

// ---------------------------------------------------------------------------

GoalPlotRange GoalPlotRange::united(const GoalPlotRange &o) const
{
    return {std::min(xMin, o.xMin), std::max(xMax, o.xMax), std::min(yMin, o.yMin), std::max(yMax, o.yMax)};
}

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
            text += QStringLiteral(", ");
            if (range.hasLowerBound())
                text += esc(range.lowerBound()) + QStringLiteral(" &lt; ");
            text += esc(variable);
            if (range.hasUpperBound())
                text += QStringLiteral(" &lt; ") + esc(range.upperBound());
        }
        if (!limit.weight().isEmpty())
            text += QStringLiteral(", Weight = ") + esc(limit.weight());
    }
    text.replace(QLatin1Char(' '), QStringLiteral("&nbsp;"));
    return text;
}

std::optional<GoalPlotRange> GoalGraphWidget::traceExtent(const OptimTraceFamily &traces)
{
    GoalPlotRange r{kInf, -kInf, kInf, -kInf};
    bool any = false;
    for (const OptimTrace &trace : traces.traces()) {
        const qsizetype n = trace.pointCount();
        for (qsizetype i = 0; i < n; ++i) {
            const double x = trace.xValues().at(i);
            const double y = trace.yValues().at(i);
            if (!std::isfinite(x) || !std::isfinite(y))
                continue;
            r.xMin = std::min(r.xMin, x);
            r.xMax = std::max(r.xMax, x);
            r.yMin = std::min(r.yMin, y);
            r.yMax = std::max(r.yMax, y);
            any = true;
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
    const QString units = k < goal.indepVarUnits().size() ? goal.indepVarUnits().at(k) : QString();
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

std::optional<GoalPlotRange> GoalGraphWidget::goalPlotRange(int scaling, const std::optional<GoalPlotRange> &limits,
                                                            const std::optional<GoalPlotRange> &trace)
{
    std::optional<GoalPlotRange> r;
    switch (scaling) {
    case FitToLimitLines:
        r = limits ? limits : trace;
        break;
    case FitToTrace:
        r = trace ? trace : limits;
        break;
    default:
        if (limits && trace)
            r = limits->united(*trace);
        else
            r = limits ? limits : trace;
        break;
    }
    if (!r)
        return r;
    const double height = r->yMax - r->yMin;
    if (height > 0) {
        r->yMin -= 0.05 * height;
        r->yMax += 0.05 * height;
    } else {
        const double pad = r->yMin != 0 ? std::abs(r->yMin) * 0.05 : 0.5;
        r->yMin -= pad;
        r->yMax += pad;
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

void GoalGraphWidget::setGoal(const OptimGoalInput &goal)
{
    if (goal == m_goal && goal.indepVarUnits() == m_goal.indepVarUnits())
        return;
    m_goal = goal;
    if (m_selectedLimit >= m_goal.limits().size())
        m_selectedLimit = -1;
    invalidate();
}

void GoalGraphWidget::setTraces(const OptimTraceFamily &traces)
{
    if (traces == m_traces)
        return;
    m_traces = traces;
    invalidate();
}

void GoalGraphWidget::setInitialTraces(const OptimTraceFamily &traces)
{
    if (traces == m_initialTraces)
        return;
    m_initialTraces = traces;
    invalidate();
}

void GoalGraphWidget::setTracesBeforeTuning(const OptimTraceFamily &traces)
{
    if (traces == m_beforeTuning)
        return;
    m_beforeTuning = traces;
    invalidate();
}

void GoalGraphWidget::setValueText(const QString &text)
{
    if (text == m_valueText)
        return;
    m_valueText = text;
    invalidate();
}

void GoalGraphWidget::setXAxisScaling(int scaling)
{
    if (scaling < 0 || scaling > 2)
        scaling = FitToTraceAndLimitLines;
    if (scaling == m_scaling)
        return;
    m_scaling = scaling;
    invalidate();
}

void GoalGraphWidget::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    invalidate();
}

void GoalGraphWidget::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    invalidate();
}

void GoalGraphWidget::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    invalidate();
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
    return goalPlotRange(m_scaling, limitExtent(m_goal, m_traces), traceExtent(m_traces));
}

bool GoalGraphWidget::showsInitialTraces() const
{
    return !m_initialTraces.traces().isEmpty() && !(m_initialTraces.traces() == m_traces.traces());
}

QStringList GoalGraphWidget::legendEntries() const
{
    QStringList entries{QStringLiteral("trace")};
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
                values.append(GraphWidget::parseValue(others.at(p).text()).value_or(0.0));
        }
        if (m_goal.limitAppliesAt(limitIndex, m_traces, values))
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Drawing

static PlotGeometry goalGeometry(const QFont &font, const QSize &size, const std::vector<QString> &yLabels)
{
    PlotGeometry g;
    const QFontMetrics fm(smallFont(font));
    const QFontMetrics big(font);
    g.header = QRect(0, 0, size.width(), big.height() + 4);
    g.xLabels = size.height() >= g.header.height() + 3 * fm.height() + 30;
    int labelWidth = 0;
    for (const QString &t : yLabels)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(t));
    const int left = std::min(labelWidth + 8, size.width() / 2);
    const int top = g.header.bottom() + 3;
    const int bottom = size.height() - (g.xLabels ? fm.height() + 6 : 5);
    g.plot = QRect(QPoint(left, top), QPoint(std::max(left + 1, size.width() - 8), std::max(top + 1, bottom)));
    return g;
}

namespace {

struct Axes
{
    GoalPlotRange range;
    std::vector<double> xTicks;
    std::vector<double> yTicks;
    std::vector<QString> yLabels;
    QString xUnits;
};

Axes makeAxes(const GoalPlotRange &r, const QSize &size, const QFont &font, const QString &xUnits)
{
    Axes a;
    a.range = r;
    if (!(a.range.xMax > a.range.xMin)) {
        const double pad = a.range.xMin != 0 ? std::abs(a.range.xMin) * 0.05 : 0.5;
        a.range.xMin -= pad;
        a.range.xMax += pad;
    }
    const QFontMetrics fm(smallFont(font));
    const int plotHeight = size.height() - 2 * fm.height() - 16;
    a.yTicks = niceTicks(a.range.yMin, a.range.yMax, std::max(1, plotHeight / (fm.height() + 8)));
    for (double v : a.yTicks)
        a.yLabels.push_back(axisNumber(v, QString()));
    a.xUnits = xUnits;
    return a;
}

} // namespace

QRect GoalGraphWidget::plotRectFor(const QSize &size) const
{
    const std::optional<GoalPlotRange> r = plotRange();
    if (!r)
        return goalGeometry(font(), size, {}).plot;
    const QString units = m_goal.indepVarUnits().value(sweptVariableIndex(m_goal, m_traces));
    const Axes axes = makeAxes(*r, size, font(), units);
    return goalGeometry(font(), size, axes.yLabels).plot;
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

void GoalGraphWidget::drawGraph(QPainter &painter, const QSize &size) const
{
    const QPalette pal = palette();
    const QFont font = this->font();
    const QFont small = smallFont(font);
    const QFontMetrics fm(small);
    const QColor textColor = pal.color(m_stale ? QPalette::Disabled : QPalette::Active, QPalette::WindowText);
    const QColor greyText = pal.color(QPalette::Disabled, QPalette::WindowText);
    const int k = sweptVariableIndex(m_goal, m_traces);
    const QString xUnits = m_goal.indepVarUnits().value(k);
    const QString xName = !m_traces.indepVar().name().isEmpty() ? m_traces.indepVar().name()
                                                                : m_goal.indepVarNames().value(k);

    const std::optional<GoalPlotRange> range = plotRange();
    Axes axes;
    if (range)
        axes = makeAxes(*range, size, font, xUnits);
    const PlotGeometry g = goalGeometry(font, size, axes.yLabels);
    const QRect plot = g.plot;

    // Header: selection tint, the goal's name and result, the legend.
    if (m_selected) {
        painter.fillRect(QRect(QPoint(0, 0), size), GraphWidget::selectionHighlightColor());
    }
    {
        QFont bold = font;
        bold.setBold(true);
        painter.setFont(bold);
        painter.setPen(textColor);
        const QFontMetrics bm(bold);
        QString name = m_goal.name().isEmpty() ? QStringLiteral("Goal") : m_goal.name();
        int x = 4;
        painter.drawText(QRect(x, g.header.top() + 1, size.width() - x, bm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         bm.elidedText(name, Qt::ElideRight, std::max(20, size.width() / 2)));
        x += std::min(bm.horizontalAdvance(name), std::max(20, size.width() / 2)) + 8;
        painter.setFont(small);
        QString detail;
        if (!m_valueText.isEmpty())
            detail = QStringLiteral("error %1").arg(m_valueText);
        if (m_stale)
            detail += detail.isEmpty() ? QStringLiteral("stale") : QStringLiteral(" (stale)");
        // Legend entries, right-aligned, as many as fit.
        struct Entry
        {
            QString text;
            QPen pen;
        };
        std::vector<Entry> entries;
        for (const QString &name : legendEntries()) {
            if (name == QLatin1String("trace"))
                entries.push_back({name, QPen(m_stale ? greyText : m_color, 1.8)});
            else if (name == QLatin1String("limit"))
                entries.push_back({name, QPen(m_stale ? greyText : limitColor, 2.5)});
            else if (name == QLatin1String("initial"))
                entries.push_back({name, QPen(ColorSet::lightVariant(m_color).darker(115), 1.4, Qt::DashLine)});
            else
                entries.push_back({name, QPen(QColor(120, 120, 120), 1.4, Qt::DotLine)});
        }
        int right = size.width() - 6;
        int used = 0;
        std::vector<std::pair<int, const Entry *>> placed;
        for (const Entry &e : entries) {
            const int w = 20 + fm.horizontalAdvance(e.text) + 8;
            if (x + used + w > right)
                break;
            used += w;
            placed.emplace_back(w, &e);
        }
        int lx = right - used;
        const int cy = g.header.top() + 1 + bm.height() / 2;
        painter.setRenderHint(QPainter::Antialiasing, true);
        for (const auto &[w, e] : placed) {
            painter.setPen(e->pen);
            painter.drawLine(QPointF(lx, cy + 0.5), QPointF(lx + 16, cy + 0.5));
            painter.setPen(textColor);
            painter.drawText(QRect(lx + 20, g.header.top() + 1, w, bm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                             e->text);
            lx += w;
        }
        painter.setRenderHint(QPainter::Antialiasing, false);
        if (!detail.isEmpty()) {
            painter.setPen(greyText);
            painter.drawText(QRect(x, g.header.top() + 1, std::max(0, right - used - x), bm.height()),
                             Qt::AlignLeft | Qt::AlignVCenter, fm.elidedText(detail, Qt::ElideRight, std::max(0, right - used - x)));
        }
    }

    painter.fillRect(plot, pal.color(QPalette::Base));
    if (!range) {
        painter.setPen(greyText);
        painter.setFont(small);
        painter.drawText(plot, Qt::AlignCenter, m_traces.traces().isEmpty() ? QStringLiteral("No trace yet")
                                                                            : QStringLiteral("No values to show"));
        painter.setPen(pal.color(QPalette::Mid));
        painter.drawRect(QRectF(plot).adjusted(0.5, 0.5, -0.5, -0.5));
        if (m_selected) {
            painter.setPen(QPen(pal.color(QPalette::Highlight), 2));
            painter.drawRect(QRectF(1, 1, size.width() - 2, size.height() - 2));
        }
        return;
    }

    const GoalPlotRange &r = axes.range;
    const double pl = plot.left() + 1, pw = std::max(1, plot.width() - 2);
    const double pt = plot.top() + 1, ph = std::max(1, plot.height() - 2);
    auto clampCoord = [](double v) { return std::clamp(v, -1e6, 1e6); };
    auto xOf = [&](double x) { return clampCoord(pl + (x - r.xMin) * pw / (r.xMax - r.xMin)); };
    auto yOf = [&](double y) { return clampCoord(pt + (r.yMax - y) * ph / (r.yMax - r.yMin)); };

    // Grid and tick labels.
    painter.setFont(small);
    const QColor gridColor(0, 0, 0, 26);
    for (size_t i = 0; i < axes.yTicks.size(); ++i) {
        const double y = std::round(yOf(axes.yTicks[i])) + 0.5;
        painter.setPen(gridColor);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(textColor);
        const int ty = std::clamp(int(y) - fm.height() / 2, 0, std::max(0, size.height() - fm.height()));
        painter.drawText(QRect(0, ty, plot.left() - 4, fm.height()), Qt::AlignRight | Qt::AlignVCenter, axes.yLabels[i]);
    }
    {
        // Horizontal ticks: as many nice values as labels fit side by side.
        const int sample = fm.horizontalAdvance(axisNumber(r.xMax, xUnits)) + 14;
        std::vector<double> xTicks = niceTicks(r.xMin, r.xMax, std::max(1, plot.width() / std::max(20, sample)));
        int rightEdge = std::numeric_limits<int>::min();
        const QString caption = xName.isEmpty() ? QString() : xName;
        const int captionWidth = caption.isEmpty() ? 0 : fm.horizontalAdvance(caption) + 6;
        for (double v : xTicks) {
            const double x = std::round(xOf(v)) + 0.5;
            painter.setPen(gridColor);
            painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
            if (!g.xLabels)
                continue;
            const QString text = axisNumber(v, xUnits);
            const int tw = fm.horizontalAdvance(text);
            int tx = std::clamp(int(x) - tw / 2, plot.left() - 4, std::max(0, size.width() - tw - 3));
            if (tx < rightEdge + 8 || tx + tw > size.width() - captionWidth - 5)
                continue;
            painter.setPen(textColor);
            painter.drawText(QRect(tx, plot.bottom() + 3, tw + 1, fm.height()), Qt::AlignLeft | Qt::AlignTop, text);
            rightEdge = tx + tw;
        }
        if (g.xLabels && !caption.isEmpty()) {
            painter.setPen(greyText);
            painter.drawText(QRect(size.width() - captionWidth - 3, plot.bottom() + 3, captionWidth, fm.height()),
                             Qt::AlignRight | Qt::AlignTop, caption);
        }
    }

    painter.save();
    painter.setClipRect(plot.adjusted(1, 1, -1, -1));

    // Limits: the violating side tinted under the traces, the lines over
    // them, so a trace running along a limit never hides it.
    const auto &limits = m_goal.limits();
    auto drawLimits = [&](bool lines) {
        for (int i = 0; i < int(limits.size()); ++i) {
            const OptimGoalLimitInput &limit = limits.at(i);
            const std::vector<double> values = limitValues(limit);
            if (values.empty())
                continue;
            auto [lo, hi] = limitXSpan(m_goal, i, m_traces);
            const double x0 = std::isfinite(lo) ? xOf(lo) : plot.left();
            const double x1 = std::isfinite(hi) ? xOf(hi) : plot.right();
            if (!lines && !m_stale) {
                const double top = plot.top(), bottom = plot.bottom();
                auto tint = [&](double ya, double yb) {
                    painter.fillRect(QRectF(QPointF(x0, std::min(ya, yb)), QPointF(x1, std::max(ya, yb))), violationTint);
                };
                const double a = yOf(values[0]);
                const double b = values.size() > 1 ? yOf(values[1]) : a;
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
            }
            if (!lines)
                continue;
            const bool applies = limitApplies(i);
            QColor c = m_stale ? greyText : limitColor;
            if (!applies)
                c.setAlpha(110);
            const double w = i == m_selectedLimit ? 3.5 : 2.5;
            painter.setPen(QPen(c, w, applies ? Qt::SolidLine : Qt::DashLine, Qt::FlatCap));
            for (double v : values) {
                const double y = yOf(v);
                painter.drawLine(QPointF(x0, y), QPointF(x1, y));
            }
        }
    };
    drawLimits(false);

    // Traces: before tuning, initial, current (current on top).
    painter.setRenderHint(QPainter::Antialiasing, true);
    auto drawFamily = [&](const OptimTraceFamily &family, const QPen &pen) {
        painter.setPen(pen);
        for (const OptimTrace &trace : family.traces()) {
            QPolygonF run;
            const qsizetype n = trace.pointCount();
            for (qsizetype i = 0; i < n; ++i) {
                const double x = trace.xValues().at(i), y = trace.yValues().at(i);
                if (!std::isfinite(x) || !std::isfinite(y)) {
                    if (run.size() > 1)
                        painter.drawPolyline(run);
                    run.clear();
                    continue;
                }
                run.append(QPointF(xOf(x), yOf(y)));
            }
            if (run.size() > 1)
                painter.drawPolyline(run);
            else if (run.size() == 1)
                painter.drawEllipse(run.first(), 1.5, 1.5);
        }
    };
    if (!m_beforeTuning.traces().isEmpty())
        drawFamily(m_beforeTuning, QPen(QColor(120, 120, 120), 1.4, Qt::DotLine));
    if (showsInitialTraces())
        drawFamily(m_initialTraces, QPen(ColorSet::lightVariant(m_color).darker(115), 1.4, Qt::DashLine));
    drawFamily(m_traces, QPen(m_stale ? greyText : m_color, m_selected ? 2.2 : 1.8));
    painter.setRenderHint(QPainter::Antialiasing, false);
    drawLimits(true);
    painter.restore();

    painter.setPen(pal.color(QPalette::Mid));
    painter.drawRect(QRectF(plot).adjusted(0.5, 0.5, -0.5, -0.5));
    if (m_selected) {
        painter.setPen(QPen(pal.color(QPalette::Highlight), 2));
        painter.drawRect(QRectF(1, 1, size.width() - 2, size.height() - 2));
    }
}

// ---------------------------------------------------------------------------
// Events

void GoalGraphWidget::paintEvent(QPaintEvent *)
{
    if (!m_cacheValid || m_cache.size() != (QSizeF(size()) * devicePixelRatioF()).toSize()) {
        m_cache = renderPixmap(size());
        m_cacheValid = true;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_cache);
}

void GoalGraphWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        Q_EMIT clicked();
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

bool GoalGraphWidget::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString text = toolTipTextAt(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QLabel::event(event);
}

void GoalGraphWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange
        || event->type() == QEvent::EnabledChange)
        invalidate();
    QLabel::changeEvent(event);
}

QString GoalGraphWidget::toolTipTextAt(const QPoint &pos) const
{
    QString text;
    const QRect plot = plotRect();
    const std::optional<GoalPlotRange> range = plotRange();
    if (range && plot.contains(pos)) {
        const int k = sweptVariableIndex(m_goal, m_traces);
        const QString xUnits = m_goal.indepVarUnits().value(k);
        const QString xName = !m_traces.indepVar().name().isEmpty() ? m_traces.indepVar().name()
                                                                    : m_goal.indepVarNames().value(k, QStringLiteral("x"));
        Axes axes = makeAxes(*range, size(), font(), xUnits);
        const GoalPlotRange &r = axes.range;
        const double x = r.xMin + (pos.x() - plot.left() - 1) * (r.xMax - r.xMin) / std::max(1, plot.width() - 2);
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
