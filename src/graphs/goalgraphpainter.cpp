// Drawing a goal plot: the layout at a size, the kept background layer
// (axes, labels, limit tints, initial and before-tuning traces) and the
// foreground over it (current traces, limit lines, the result).

#include "goalgraphlayout.h"
#include "colorset.h"
#include "graphwidget.h"
#include "units/realstringparser.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

using namespace GoalGraphDetail;

namespace {

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

// The length of a legend entry's sample line.
constexpr int kLegendLine = 14;

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
    // A long expression is shortened in its middle so that it leaves room
    // for the tick labels; the tooltip keeps it whole.
    l.xCaption = fm.elidedText(l.xName, Qt::ElideMiddle, std::max(20, size.width() / 3));

    l.range = shownRange();
    l.xLog = !scalar && l.range && sweptAxisIsLog() && l.range->xMin > 0 && l.range->xMax > l.range->xMin;
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

QString GoalGraphWidget::sweptAxisCaption() const
{
    return layoutFor(size()).xCaption;
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
    const HeaderFit fit = headerFit(size);
    return {size, devicePixelRatioF(), layout.range, m_traces.traces().isEmpty(), showsInitialTraces(),
            m_traces.indepVar().name(), layout.xLog, fit.nameWidth, fit.entryWidths.size()};
}

// A new iteration brings new current traces and a new result: unless the
// range moved with them, only those are drawn again, over a copy of the
// background layer. A background that changes (a new range, the initial
// traces shown again) goes into the layer at once, so that the iterations
// after it copy it rather than draw it again; the copy costs far less than
// a background drawn a second time, so the layer is kept even while the
// background changes with every drawing (a zoom in progress).
const QPixmap &GoalGraphWidget::shownPixmap() const
{
    const QSize size = this->size();
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = (QSizeF(size) * dpr).toSize();
    if (m_cacheValid && m_cache.size() == pixels)
        return m_cache;
    const Layout layout = layoutFor(size);
    const BackgroundKey key = backgroundKey(size, layout);
    if (m_backgroundValid && key != m_backgroundKey && !m_previousBackground.isNull() && key == m_previousKey
        && !m_background.isNull()) {
        std::swap(m_background, m_previousBackground);
        std::swap(m_backgroundKey, m_previousKey);
    }
    const bool same = m_backgroundValid && key == m_backgroundKey && !m_background.isNull();
    if (!same) {
        if (m_backgroundValid && !m_background.isNull()) {
            m_previousBackground = m_background;
            m_previousKey = m_backgroundKey;
        }
        m_background = QPixmap(pixels);
        m_background.setDevicePixelRatio(dpr);
        m_background.fill(Qt::transparent);
        QPainter layer(&m_background);
        drawBackground(layer, size, layout);
        ++m_backgroundRenderCount;
        m_backgroundKey = key;
        m_backgroundValid = true;
    }
    // The layer goes into the cache's own pixels when it has them (the
    // drawing before this one did): a blit, where taking a copy of the layer
    // would make a new buffer and copy it whole once painting starts. A
    // scaled device keeps the plain copy, so no pixel moves.
    QPainter painter;
    if (dpr == 1.0 && m_cache.size() == pixels && m_cache.devicePixelRatio() == dpr && m_cache.isDetached()) {
        painter.begin(&m_cache);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawPixmap(0, 0, m_background);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    } else {
        m_cache = m_background;
        painter.begin(&m_cache);
    }
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
    const HeaderFit fit = headerFit(size);
    if (legend) {
        GraphAxes::drawLabel(painter, QRect(4, top, size.width() - 4, bm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                             bm.elidedText(name, Qt::ElideRight, fit.nameWidth));
    }
    painter.setFont(small);

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
            painter.drawLine(QPointF(lx, cy + 0.5), QPointF(lx + kLegendLine, cy + 0.5));
            painter.setPen(textColor);
            GraphAxes::drawLabel(painter, QRect(lx + kLegendLine + 3, top, w, bm.height()), Qt::AlignLeft | Qt::AlignVCenter, e->text);
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
    fit.right = size.width() - 6;
    fit.detail = headerDetail();
    // The result keeps its whole width; the goal's name gives way (down to
    // a few letters) so that the legend names everything the plot draws;
    // the legend takes what is left. At the widget's size the room kept for
    // the result is the widest one since the size or the legend's entries
    // last changed: results that alternate in width ("0.1", "0.0909091")
    // then leave the legend as it is, rather than an entry coming and going
    // with every iteration (and the kept background with it).
    int detailWidth = headerDetailWidth(fit.detail);
    const QStringList entries = legendEntries();
    if (size == this->size()) {
        if (m_heldDetail.size != size || m_heldDetail.entries != entries)
            m_heldDetail = {size, entries, 0};
        m_heldDetail.width = std::max(m_heldDetail.width, detailWidth);
        detailWidth = m_heldDetail.width;
    }
    std::vector<int> widths;
    int legendWidth = 0;
    for (const QString &entry : entries) {
        widths.push_back(kLegendLine + 3 + GraphAxes::textWidth(fm, small, entry) + 6);
        legendWidth += widths.back();
    }
    fit.nameWidth = std::min({GraphAxes::textWidth(bm, bold, name), std::max(20, size.width() / 2),
                              std::max(40, fit.right - 12 - detailWidth - legendWidth)});
    fit.x = 4 + fit.nameWidth + 8;
    int used = 0;
    for (const int w : widths) {
        if (fit.x + detailWidth + used + w > fit.right)
            break;
        used += w;
        fit.entryWidths.push_back(w);
    }
    return fit;
}

QString GoalGraphWidget::headerDetail() const
{
    QString detail;
    if (!m_valueText.isEmpty())
        detail = QStringLiteral("error %1").arg(m_valueText);
    if (m_stale)
        detail += detail.isEmpty() ? QStringLiteral("stale") : QStringLiteral(" (stale)");
    return detail;
}

int GoalGraphWidget::headerDetailWidth(const QString &detail) const
{
    const QFont small = GraphAxes::labelFont(font());
    return detail.isEmpty() ? 0 : GraphAxes::textWidth(QFontMetrics(small), small, detail) + 8;
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
    std::vector<double> xTicks = layout.xLog ? GraphScale::logTicks(std::log10(r.xMin), std::log10(r.xMax), std::max(1, plot.width() / 50))
                                             : ticksFor(4);
    const int digits = layout.xLog ? 3 : tickDigits(xTicks);
    if (digits > 4 && !layout.xLog)
        xTicks = ticksFor(digits);
    const QString &caption = layout.xCaption;
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

// The line through the n points at(0), at(1), ... (in pixels) as the eye
// sees it at columnsPerPixel device columns per pixel: of each stretch of
// consecutive points within one device pixel column, its first point, its
// lowest, its highest and its last, in their order. A 2001-point sweep in a
// 300-pixel plot strokes some 600 points instead, with the same spikes, dips
// and ends. Each point is worked out once, as it is read.
template<typename At>
QPolygonF columnEnvelope(qsizetype n, const At &at, double columnsPerPixel)
{
    QPolygonF out;
    qsizetype emitted = -1;
    // Each point's column is worked out once (the one that ends a stretch
    // starts the next), its floor without the library call: a pixel
    // position is clamped to +-1e6, well inside what an integer holds.
    auto columnOf = [columnsPerPixel](double x) {
        const double v = x * columnsPerPixel, t = double(qint64(v));
        return t > v ? t - 1 : t;
    };
    QPointF point = at(0);
    double column = columnOf(point.x());
    for (qsizetype i = 0; i < n;) {
        const QPointF first = point;
        QPointF low = first, high = first, last = first;
        qsizetype lo = i, hi = i, j = i + 1;
        double next = column;
        for (; j < n; ++j) {
            point = at(j);
            next = columnOf(point.x());
            if (next != column)
                break;
            if (point.y() < low.y()) {
                lo = j;
                low = point;
            }
            if (point.y() > high.y()) {
                hi = j;
                high = point;
            }
            last = point;
        }
        const std::pair<qsizetype, QPointF> picks[] = {{i, first},
                                                       lo < hi ? std::pair(lo, low) : std::pair(hi, high),
                                                       lo < hi ? std::pair(hi, high) : std::pair(lo, low),
                                                       {j - 1, last}};
        for (const auto &[k, q] : picks) {
            if (k != emitted)
                out.append(q);
            emitted = k;
        }
        i = j;
        column = next;
    }
    return out;
}

// The line through points without the points that lie within tolerance
// (in pixels) of the straight piece that then replaces them, at most 32 in
// a row: a smooth sweep of hundreds of points strokes a few dozen, and
// looks the same.
QPolygonF simplified(const QPolygonF &points, double tolerance)
{
    const qsizetype n = points.size();
    if (n < 3)
        return points;
    const QPointF *p = points.constData();
    const double tolerance2 = tolerance * tolerance;
    QPolygonF out;
    out.append(p[0]);
    qsizetype anchor = 0;
    // The points after the anchor relative to it, worked out once per
    // anchor rather than once per piece tried: ex[i], ey[i] for the point
    // anchor + 1 + i, the first `known` of them.
    double ex[32], ey[32];
    qsizetype known = 0;
    for (qsizetype j = 2; j < n; ++j) {
        const double dx = p[j].x() - p[anchor].x(), dy = p[j].y() - p[anchor].y();
        const double length2 = dx * dx + dy * dy;
        bool within = j - anchor <= 32 && length2 > 0;
        if (within) {
            for (; known < j - anchor - 1; ++known) {
                ex[known] = p[anchor + 1 + known].x() - p[anchor].x();
                ey[known] = p[anchor + 1 + known].y() - p[anchor].y();
            }
            const double limit = tolerance2 * length2;
            for (qsizetype i = 0; within && i < known; ++i) {
                // Beside the piece (not beyond its ends) and near it.
                const double along = ex[i] * dx + ey[i] * dy, across = dx * ey[i] - dy * ex[i];
                within = along >= 0 && along <= length2 && across * across <= limit;
            }
        }
        if (!within) {
            anchor = j - 1;
            known = 0;
            out.append(p[anchor]);
        }
    }
    out.append(p[n - 1]);
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
    auto drawLine = [&](const QPolygonF &points) {
        const QPolygonF line = simplified(points, 0.05 / dpr);
        const qsizetype piece = painter.pen().style() == Qt::SolidLine ? 64 : line.size();
        for (qsizetype i = 0; i + 1 < line.size(); i += piece)
            painter.drawPolyline(line.constData() + i, int(std::min(piece + 1, line.size() - i)));
    };
    auto drawFamily = [&](const OptimTraceFamily &family, const QPen &pen) {
        painter.setPen(pen);
        for (const OptimTrace &trace : family.traces()) {
            // Each run of finite points is drawn on its own: one denser than
            // the pixel columns from its envelope, worked out as the points
            // are read, any other from its points. A single point at the
            // end of the trace is drawn as a dot.
            const qsizetype n = trace.pointCount();
            const double *xs = trace.xValues().values().constData();
            const double *ys = trace.yValues().values().constData();
            auto at = [&](qsizetype i) { return QPointF(layout.xOf(xs[i]), layout.yOf(ys[i])); };
            for (qsizetype begin = 0; begin < n;) {
                qsizetype end = begin;
                while (end < n && std::isfinite(xs[end]) && std::isfinite(ys[end]))
                    ++end;
                const qsizetype count = end - begin;
                if (count == 1 && end == n) {
                    painter.drawEllipse(at(begin), 1.5, 1.5);
                } else if (count > columns) {
                    drawLine(columnEnvelope(count, [&](qsizetype i) { return at(begin + i); }, dpr));
                } else if (count > 1) {
                    run.resize(count);
                    for (qsizetype i = 0; i < count; ++i)
                        run[i] = at(begin + i);
                    drawLine(run);
                }
                begin = end + 1; // past the point that is not finite
            }
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
