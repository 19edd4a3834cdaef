// Drawing a history graph: the layout at a size, the cached pixmap that new
// points extend, axes, header, series and the hover marks.

#include "graphwidgetlayout.h"
#include "colorset.h"
#include "units/realstringparser.h"

#include <QLocale>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

QColor gridColor()
{
    return QColor(0, 0, 0, 28);
}

} // namespace

// The layout at size: a header line when the graph has a title or several
// series and room for it, a row of iteration labels when there is room,
// value ticks at nice steps while the plot has room for three labels (else
// the two ends and the round values between them that fit; none without a
// point), and the plot right of a margin as wide as the widest label.
GraphWidget::Layout GraphWidget::layoutFor(const QSize &size) const
{
    ensureScale();
    Layout l;
    const QFont labelFont = GraphAxes::labelFont(font());
    const QFontMetrics fm(labelFont);
    const int lineHeight = fm.height();
    const int h = size.height();
    l.header = (!m_title.isEmpty() || seriesCount() > 1) && h >= 3 * lineHeight + 8;
    l.xLabels = h >= 3 * lineHeight + 6;
    const int top = l.header ? lineHeight + 3 : 4;
    const int bottom = h - (l.xLabels ? lineHeight + 5 : 4);

    // A flat series is centred in a small range around its value.
    const auto [lo, hi] = m_logScale ? std::pair(m_logLo, m_logHi) : GraphScale::openedRange(m_yMin, m_yMax);
    const int maxTicks = std::max(1, bottom - top) / (lineHeight + 6);
    l.count = maxPointCount();
    // Without a point there is nothing to scale: no made-up axis.
    std::vector<double> values;
    if (l.count > 0 && m_logScale)
        values = maxTicks >= 3 ? GraphScale::logTicks(lo, hi, maxTicks)
                               : std::vector<double>{std::pow(10.0, lo), std::pow(10.0, hi)};
    else if (l.count > 0 && maxTicks >= 3)
        values = GraphScale::ticksAtStep(lo, hi, GraphScale::niceStep(hi - lo, maxTicks), 20);
    if (l.count > 0 && values.size() < 2 && !m_logScale) {
        // A small graph labels both ends, and the most round values between
        // them (of the steps tried) that keep a label's height clear of
        // every other label.
        const double pixelsPerUnit = std::max(1, bottom - top - 5) / (hi - lo);
        std::vector<double> best;
        for (int count : {2, 3, 4, 6, 8}) {
            std::vector<double> chosen{lo, hi};
            for (double v : GraphScale::ticksAtStep(lo, hi, GraphScale::niceStep(hi - lo, count), 20)) {
                if (std::all_of(chosen.begin(), chosen.end(),
                                [&](double w) { return std::abs(v - w) * pixelsPerUnit >= lineHeight; }))
                    chosen.push_back(v);
            }
            if (chosen.size() > best.size())
                best = std::move(chosen);
        }
        values = std::move(best);
    }
    for (double v : values)
        l.yTicks.push_back({v, formatValue(v, 4)});

    // The margin holds the widest label whole while the plot keeps 40
    // pixels (half the width at least).
    const int left = std::min(GraphAxes::labelWidth(fm, labelFont, l.yTicks) + 7,
                              std::max(size.width() / 2, size.width() - 46));
    const int right = size.width() - 6;
    l.plot = QRect(QPoint(left, top), QPoint(std::max(left + 1, right), std::max(top + 1, bottom)));
    l.yAxis = {lo, hi, l.plot.top() + 2.5, std::max(1.0, l.plot.height() - 5.0), m_logScale};
    for (GraphAxes::ValueTick &t : l.yTicks)
        t.y = l.yAxis.yOf(t.y);
    l.xAxis = GraphScale::IterationAxis::make(l.count, m_numPointsShown, l.plot.left(), l.plot.width(), m_allIterations);
    return l;
}

QRect GraphWidget::plotRectFor(const QSize &size) const
{
    return layoutFor(size).plot;
}

QPixmap GraphWidget::renderPixmap(const QSize &size) const
{
    const qreal dpr = devicePixelRatioF();
    QPixmap pixmap((QSizeF(size) * dpr).toSize());
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    drawGraph(painter, size, layoutFor(size));
    ++m_renderCount;
    return pixmap;
}

QPixmap GraphWidget::exportImage() const
{
    QString title = m_title;
    if (title.isEmpty()) {
        QStringList names;
        for (int s = 0; s < seriesCount(); ++s) {
            if (!seriesName(s).isEmpty())
                names << seriesName(s);
        }
        title = names.join(QStringLiteral(", "));
    }
    const bool headerShowsTitle = !m_title.isEmpty() && layoutFor(size()).header;
    QFont bold = GraphAxes::labelFont(font());
    bold.setBold(true);
    const QFontMetrics fm(bold);
    const int titleHeight = title.isEmpty() || headerShowsTitle ? 0 : fm.height() + 4;
    const qreal dpr = devicePixelRatioF();
    QPixmap image((QSizeF(width(), height() + titleHeight) * dpr).toSize());
    image.setDevicePixelRatio(dpr);
    image.fill(palette().color(QPalette::Window));
    QPainter painter(&image);
    if (titleHeight > 0) {
        painter.setFont(bold);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(4, 2, width() - 8, fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         fm.elidedText(m_stale ? title + QStringLiteral(" (stale)") : title, Qt::ElideRight, width() - 8));
    }
    painter.drawPixmap(0, titleHeight, renderPixmap(size()));
    return image;
}

QPixmap GraphWidget::cachedPixmap() const
{
    updateCache();
    return m_cache;
}

void GraphWidget::updateCache() const
{
    const bool sized = m_cache.size() == (QSizeF(size()) * devicePixelRatioF()).toSize();
    if (m_cacheValid && sized && m_dataChanged && !drawAppendedPoints())
        m_cacheValid = false;
    m_dataChanged = false;
    if (m_cacheValid && sized)
        return;
    const qreal dpr = devicePixelRatioF();
    m_cache = QPixmap((QSizeF(size()) * dpr).toSize());
    m_cache.setDevicePixelRatio(dpr);
    m_cache.fill(Qt::transparent);
    QPainter painter(&m_cache);
    m_cacheLayout = std::make_unique<Layout>(layoutFor(size()));
    m_cacheHasValues = drawGraph(painter, size(), *m_cacheLayout);
    ++m_renderCount;
    m_cacheValid = true;
    m_cacheCounts.clear();
    for (const auto &d : m_series) {
        m_cacheCounts.push_back(d->size());
        d->changedFrom = d->size();
    }
}

// The cached pixmap takes new points alone when they are all it lacks: the
// frame, both axes and every value drawn before stay where they are. Their
// pixel columns, from the point before the first new one on, are redrawn
// whole (background, grid, frame and series, clipped to them), which gives
// the same pixels as a full redraw. When every iteration is shown the axis
// grows with the new points (on a long history once per step of it): then
// the plot and the iteration labels under it are redrawn, but the header,
// the value labels and the first iteration label (the same text in the same
// place) are kept.
bool GraphWidget::drawAppendedPoints() const
{
    if (!m_cacheLayout || !m_cacheHasValues || m_cacheCounts.size() != m_series.size())
        return false;
    const Layout layout = layoutFor(size());
    const Layout &old = *m_cacheLayout;
    const GraphScale::IterationAxis &x = layout.xAxis;
    if (layout.plot != old.plot || layout.xLabels != old.xLabels || layout.header != old.header
        || x.first != old.xAxis.first || x.left != old.xAxis.left
        || x.width != old.xAxis.width || layout.yAxis.lo != old.yAxis.lo || layout.yAxis.hi != old.yAxis.hi
        || layout.yAxis.top != old.yAxis.top || layout.yAxis.height != old.yAxis.height
        || layout.yAxis.log != old.yAxis.log || layout.yTicks.size() != old.yTicks.size())
        return false;
    for (size_t t = 0; t < layout.yTicks.size(); ++t) {
        if (layout.yTicks[t].y != old.yTicks[t].y || layout.yTicks[t].text != old.yTicks[t].text)
            return false;
    }
    // Only appended points: every value drawn before is unchanged.
    qsizetype from = std::numeric_limits<qsizetype>::max();
    qsizetype to = 0;
    for (size_t s = 0; s < m_series.size(); ++s) {
        const GraphSeriesData &d = *m_series[s];
        if (d.changedFrom < m_cacheCounts[s] || d.size() < m_cacheCounts[s])
            return false;
        if (d.size() > m_cacheCounts[s]) {
            from = std::min(from, m_cacheCounts[s]);
            to = std::max(to, d.size());
        }
    }
    if ((x.slots != old.xAxis.slots || x.stepped != old.xAxis.stepped) && to == 0)
        return false;
    if (to > 0) {
        // Wide enough for the round caps, the markers and the dots around
        // the points, and for a pixel column's envelope in a dense graph.
        constexpr double pad = 5;
        const double x0 = x.xOf(double(std::max<qsizetype>(from - 1, x.first))) - pad;
        const double x1 = x.xOf(double(to - 1)) + pad;
        const QRect region = x.slots != old.xAxis.slots || x.stepped != old.xAxis.stepped
            ? QRect(QPoint(layout.plot.left() + 1, layout.plot.top() + 1), QPoint(width() - 1, height() - 1))
            : QRect(QPoint(int(std::floor(x0)), layout.plot.top()), QPoint(int(std::ceil(x1)), layout.plot.bottom()))
                  .intersected(layout.plot.adjusted(1, 1, -1, -1));
        if (!region.isEmpty()) {
            QPainter painter(&m_cache);
            painter.setClipRect(region);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.fillRect(region, Qt::transparent);
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
            if (!drawGraph(painter, size(), layout, &region))
                return false;
        }
    }
    for (size_t s = 0; s < m_series.size(); ++s) {
        m_cacheCounts[s] = m_series[s]->size();
        m_series[s]->changedFrom = m_series[s]->size();
    }
    *m_cacheLayout = layout;
    return true;
}

bool GraphWidget::drawGraph(QPainter &painter, const QSize &size, const Layout &layout, const QRect *region) const
{
    const QPalette pal = palette();
    const QFont font = GraphAxes::labelFont(this->font());
    const QFontMetrics fm(font);
    painter.setFont(font);
    const QRect &plot = layout.plot;

    if (m_highlighted)
        painter.fillRect(QRect(QPoint(0, 0), size), selectionHighlightColor());
    painter.fillRect(plot, m_highlighted ? QColor(236, 244, 255) : pal.color(QPalette::Base));

    const QColor textColor = pal.color(m_stale ? QPalette::Disabled : QPalette::Active, QPalette::WindowText);
    // A region right of the value labels and below the header holds none of
    // them; the iteration labels only when it reaches below the plot.
    GraphAxes::drawValueTicks(painter, fm, plot, size.height(), layout.yTicks, gridColor(), textColor, !region);
    if (layout.count > 0)
        drawIterationAxis(painter, fm, size, layout, !region || region->bottom() > plot.bottom());
    GraphAxes::drawFrame(painter, plot, pal.color(QPalette::Mid));
    if (layout.header && !region)
        drawHeader(painter, fm, size, layout);

    const QColor grey = pal.color(QPalette::Disabled, QPalette::WindowText);
    if (layout.count == 0 || shownCount() == 0) {
        GraphAxes::drawPlotMessage(painter, plot, grey, m_emptyText);
        return false;
    }
    if (drawSeries(painter, layout, region ? region->left() : -1e9))
        return true;
    GraphAxes::drawPlotMessage(painter, plot, grey, QStringLiteral("No values to show"));
    return false;
}

// Iteration ticks as grid lines, and their labels: both ends, and every
// k-th tick between, with k the smallest of 1, 2, 5, 10, 20, ... that keeps
// the labels apart (so the labels stay evenly spaced); an inner label that
// would run into an end label is left out. A stepped axis ends a little past
// the newest iteration: its end gets no label (it would name an iteration
// without values), its ticks at round numbers do, and the tick step follows
// the axis length, so labels and grid hold still until the axis grows.
void GraphWidget::drawIterationAxis(QPainter &painter, const QFontMetrics &fm, const QSize &size,
                                    const Layout &layout, bool withLabels) const
{
    const QRect &plot = layout.plot;
    const GraphScale::IterationAxis &axis = layout.xAxis;
    const int step = GraphScale::iterationTickStep(axis.stepped ? 0 : m_numPointsShown, axis.slots);
    const int firstIter = m_firstIteration + axis.first;
    const int lastIter = firstIter + axis.slots - 1;
    std::vector<int> ticks;
    if (step > 0) {
        for (long long it = (firstIter + step - 1) / step * static_cast<long long>(step); it <= lastIter; it += step)
            ticks.push_back(int(it));
    }
    painter.setPen(gridColor());
    for (int it : ticks)
        GraphAxes::drawVerticalGridLine(painter, plot, axis.xOf(it - m_firstIteration));
    if (!layout.xLabels || !withLabels)
        return;

    const QFont font = painter.font();
    const int maxWidth =
        GraphAxes::textWidth(fm, font, QString::number(std::max(std::abs(firstIter), std::abs(lastIter)))) + 4;
    long long every = 1;
    if (step > 0 && axis.slots > 1)
        every = GraphScale::labelEvery(step * axis.width / (axis.slots - 1), maxWidth + 8);
    struct Label
    {
        int iteration;
        int x;
        int width;
    };
    auto place = [&](int iteration) {
        const int tw = GraphAxes::textWidth(fm, font, QString::number(iteration));
        int x = int(std::round(axis.xOf(iteration - m_firstIteration))) - tw / 2;
        x = std::clamp(x, std::max(0, plot.left() - tw / 2), std::max(0, size.width() - tw - 3));
        return Label{iteration, x, tw};
    };
    std::vector<Label> labels;
    const Label lastLabel = place(lastIter);
    labels.push_back(place(firstIter));
    for (int it : ticks) {
        if (it == firstIter || (it == lastIter && !axis.stepped) || (it / step) % every != 0)
            continue;
        const Label l = place(it);
        if (l.x < labels.back().x + labels.back().width + 8)
            continue;
        if (lastIter != firstIter && !axis.stepped && l.x + l.width + 8 > lastLabel.x)
            continue;
        labels.push_back(l);
    }
    if (lastIter != firstIter && !axis.stepped && lastLabel.x >= labels.back().x + labels.back().width + 6)
        labels.push_back(lastLabel);
    painter.setPen(palette().color(m_stale ? QPalette::Disabled : QPalette::Active, QPalette::WindowText));
    const int y = plot.bottom() + 3;
    for (const Label &l : labels)
        GraphAxes::drawLabel(painter, QRect(l.x, y, l.width + 1, fm.height()), Qt::AlignLeft | Qt::AlignTop,
                             QString::number(l.iteration));
}

// The header line: the title in bold, then a legend entry per named series.
void GraphWidget::drawHeader(QPainter &painter, const QFontMetrics &fm, const QSize &size, const Layout &layout) const
{
    const QPalette pal = palette();
    const QColor textColor = pal.color(m_stale ? QPalette::Disabled : QPalette::Active, QPalette::WindowText);
    int x = layout.plot.left();
    const int y = 1;
    if (!m_title.isEmpty()) {
        const QFont font = painter.font();
        QFont bold = font;
        bold.setBold(true);
        painter.setFont(bold);
        painter.setPen(textColor);
        const QString title = m_stale ? m_title + QStringLiteral(" (stale)") : m_title;
        GraphAxes::drawLabel(painter, QRect(x, y, size.width() - x, fm.height()), Qt::AlignLeft | Qt::AlignTop, title);
        x += GraphAxes::textWidth(QFontMetrics(bold), bold, title) + 12;
        painter.setFont(font);
    }
    if (seriesCount() < 2)
        return;
    for (int s = 0; s < seriesCount(); ++s) {
        const QString name = seriesName(s);
        if (name.isEmpty())
            continue;
        const int tw = GraphAxes::textWidth(fm, painter.font(), name);
        if (x + 18 + tw > size.width())
            break;
        painter.setPen(QPen(m_stale ? pal.color(QPalette::Disabled, QPalette::WindowText) : seriesColor(s), 1.5));
        const double ly = y + fm.height() / 2.0 + 0.5;
        painter.drawLine(QPointF(x, ly), QPointF(x + 14, ly));
        painter.setPen(textColor);
        GraphAxes::drawLabel(painter, QRect(x + 18, y, tw + 1, fm.height()), Qt::AlignLeft | Qt::AlignTop, name);
        x += 18 + tw + 10;
    }
}

namespace {

// Draws one series' values: joined runs of values, broken at gaps, a lone
// value between gaps as a dot.
class SeriesPainter
{
public:
    SeriesPainter(QPainter &painter, const QColor &color, bool dense)
        : m_painter(painter), m_color(color), m_dense(dense) {}

    void add(const QPointF &p) { m_run.append(p); }

    void flush()
    {
        constexpr double penWidth = 1.4;
        if (m_run.size() == 1) {
            // A lone value between gaps: a dot, so it is not lost.
            m_painter.setPen(Qt::NoPen);
            m_painter.setBrush(m_color);
            m_painter.drawEllipse(m_run.first(), penWidth + 0.6, penWidth + 0.6);
            m_painter.setBrush(Qt::NoBrush);
        } else if (m_run.size() > 1 && m_dense) {
            // Dense runs use the 1-pixel pen, which the raster engine draws
            // without stroking.
            m_painter.setPen(QPen(m_color, 1));
            m_painter.drawPolyline(m_run);
        } else if (m_run.size() > 1) {
            m_painter.setPen(QPen(m_color, penWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            m_painter.drawPolyline(m_run);
        }
        m_run.clear();
    }

private:
    QPainter &m_painter;
    QColor m_color;
    bool m_dense;
    QPolygonF m_run;
};

// Sparse: every point, joined; markers while they are far apart; a short
// grey mark on the axis at each iteration without a value, so the break in
// the line reads as "no value", not as a jump. True when a value was drawn.
bool drawSparse(QPainter &painter, const GraphSeriesData &d, const QColor &color, const QRect &plot,
                const GraphScale::IterationAxis &xAxis, const GraphScale::ValueAxis &yAxis, const QColor &markerFill,
                double fromX)
{
    painter.setRenderHint(QPainter::Antialiasing, true);
    SeriesPainter line(painter, color, false);
    const bool markers = xAxis.slots > 1 && xAxis.width / (xAxis.slots - 1) >= 9;
    QPolygonF marks;
    std::vector<double> gaps;
    bool anyValue = false;
    // Points left of fromX are skipped, but for the four before it: points
    // lie a pixel apart at least here, so nothing drawn around a skipped
    // one (a dot, a marker, a cap) reaches fromX.
    const qsizetype start =
        fromX > xAxis.left ? std::max<qsizetype>(xAxis.first, qsizetype(xAxis.indexAt(fromX)) - 4) : xAxis.first;
    for (qsizetype i = start; i < d.size(); ++i) {
        const double v = d.at(i);
        if (!yAxis.shows(v)) {
            line.flush();
            gaps.push_back(xAxis.xOf(double(i)));
            continue;
        }
        anyValue = true;
        const QPointF p(xAxis.xOf(double(i)), yAxis.yOf(v));
        line.add(p);
        if (markers)
            marks.append(p);
    }
    line.flush();
    if (markers) {
        painter.setPen(QPen(color, 1.2));
        painter.setBrush(markerFill);
        for (const QPointF &p : marks)
            painter.drawEllipse(p, 2.2, 2.2);
        painter.setBrush(Qt::NoBrush);
    }
    if (!gaps.empty()) {
        painter.setPen(QPen(QColor(150, 150, 150), 1.2));
        for (double x : gaps)
            painter.drawLine(QPointF(x, plot.bottom() - 1), QPointF(x, plot.bottom() - 5));
    }
    return anyValue;
}

// Dense: one vertical stroke per pixel column from the column's minimum to
// its maximum, entered at its first value and left at its last, so the line
// stays continuous and no extreme is lost. True when a value was drawn.
bool drawDense(QPainter &painter, const GraphSeriesData &d, const QColor &color, int columns,
               const GraphScale::IterationAxis &xAxis, const GraphScale::ValueAxis &yAxis, double fromX)
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    SeriesPainter line(painter, color, true);
    const qsizetype first = xAxis.first;
    const qsizetype n = d.size();
    const double perColumn = double(xAxis.slots - 1) / std::max(1, columns - 1);
    bool anyValue = false;
    // Columns left of fromX are skipped, but for the two before it that
    // reach into it.
    const int startColumn = std::clamp(int(std::floor(fromX - xAxis.left)) - 2, 0, columns);
    for (int c = startColumn; c < columns; ++c) {
        const qsizetype lo = std::clamp<qsizetype>(first + qsizetype(std::ceil((c - 0.5) * perColumn)), first, n);
        const qsizetype hi = std::clamp<qsizetype>(first + qsizetype(std::ceil((c + 0.5) * perColumn)), first, n);
        if (lo >= hi) {
            if (lo >= n)
                break;
            continue;
        }
        double mn, mx;
        if (!d.minMax(lo, hi, mn, mx, yAxis.log)) {
            line.flush();
            continue;
        }
        anyValue = true;
        qsizetype a = lo;
        while (!yAxis.shows(d.at(a)))
            ++a;
        qsizetype b = hi - 1;
        while (!yAxis.shows(d.at(b)))
            --b;
        const double x = std::round(xAxis.left + c) + 0.5;
        line.add(QPointF(x, yAxis.yOf(d.at(a))));
        line.add(QPointF(x, yAxis.yOf(mn)));
        line.add(QPointF(x, yAxis.yOf(mx)));
        line.add(QPointF(x, yAxis.yOf(d.at(b))));
    }
    line.flush();
    return anyValue;
}

} // namespace

bool GraphWidget::drawSeries(QPainter &painter, const Layout &layout, double fromX) const
{
    const QPalette pal = palette();
    const GraphScale::IterationAxis &xAxis = layout.xAxis;
    const int columns = std::max(1, int(xAxis.width));
    painter.save();
    painter.setClipRect(layout.plot.adjusted(1, 1, -1, -1), Qt::IntersectClip);
    bool anyValue = false;
    for (int s = 0; s < seriesCount(); ++s) {
        const GraphSeriesData &d = *m_series[size_t(s)];
        if (d.size() <= xAxis.first)
            continue;
        const QColor color = m_stale ? pal.color(QPalette::Disabled, QPalette::WindowText) : seriesColor(s);
        if (xAxis.slots <= columns)
            anyValue |= drawSparse(painter, d, color, layout.plot, xAxis, layout.yAxis, pal.color(QPalette::Base), fromX);
        else
            anyValue |= drawDense(painter, d, color, columns, xAxis, layout.yAxis, fromX);
    }
    painter.restore();
    return anyValue;
}

// The hovered iteration: a dashed line and a dot on each value, drawn over
// the cached picture so hovering never redraws the graph.
void GraphWidget::drawHoverMarks(QPainter &painter) const
{
    const Layout layout = layoutFor(size());
    const QRect &plot = layout.plot;
    const double x = layout.xAxis.xOf(m_hoverIndex);
    painter.setPen(QPen(QColor(0, 0, 0, 90), 1, Qt::DashLine));
    painter.drawLine(QPointF(std::round(x) + 0.5, plot.top() + 1), QPointF(std::round(x) + 0.5, plot.bottom() - 1));
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (int s = 0; s < seriesCount(); ++s) {
        const std::optional<double> v = valueAt(m_hoverIndex, s);
        if (!v || !layout.yAxis.shows(*v))
            continue;
        const double y = layout.yAxis.yOf(*v);
        if (y < plot.top() || y > plot.bottom())
            continue;
        painter.setPen(QPen(seriesColor(s), 1.5));
        painter.setBrush(palette().color(QPalette::Base));
        painter.drawEllipse(QPointF(x, y), 3.2, 3.2);
    }
}
