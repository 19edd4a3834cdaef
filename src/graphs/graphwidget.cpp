#include "graphwidget.h"

#include "colorset.h"
#include "graphaxes.h"
#include "units/realstringparser.h"

#include <QEvent>
#include <QHelpEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <utility>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Sample texts that check whether a new text list extends the one parsed
// before: 32 spread over the list (the first among them) and the last 8.
constexpr int spreadSamples = 32;
constexpr qsizetype tailSamples = 8;

bool sameText(const QString &a, const QString &b)
{
    // Texts handed on from the model share their data, so the pointer test
    // answers almost every comparison.
    return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
}

bool sameValue(double stored, double given)
{
    if (!std::isfinite(given))
        return std::isnan(stored);
    return stored == given;
}

} // namespace

// ---------------------------------------------------------------------------
// One series: the values parsed once, with the minimum, the smallest
// positive value (for the log scale) and the maximum of each block of 64
// points, so that the scale and the per-column envelope of a long history
// cost a few thousand steps instead of a million.

class GraphSeriesData
{
public:
    static constexpr qsizetype blockSize = 64;

    QString name;
    QColor color;
    bool colorSet = false;
    // The first index changed since the graph was last drawn, and since
    // its values were last scanned for the auto-scale.
    qsizetype changedFrom = 0;
    qsizetype scannedFrom = 0;

    qsizetype size() const { return qsizetype(values.size()); }
    double at(qsizetype i) const { return values[size_t(i)]; }
    const std::vector<double> &data() const { return values; }

    void clear()
    {
        changedFrom = 0;
        scannedFrom = 0;
        values.clear();
        blockMin.clear();
        blockMinPositive.clear();
        blockMax.clear();
        samples.clear();
        fromTexts = false;
    }

    void truncate(qsizetype n)
    {
        if (n >= size())
            return;
        values.resize(size_t(n));
        const size_t blocks = size_t((n + blockSize - 1) / blockSize);
        blockMin.resize(blocks);
        blockMinPositive.resize(blocks);
        blockMax.resize(blocks);
        if (blocks > 0)
            recomputeBlock(blocks - 1);
    }

    void append(double v)
    {
        if (!std::isfinite(v))
            v = kNaN;
        const size_t i = values.size();
        values.push_back(v);
        const size_t b = i / size_t(blockSize);
        if (b == blockMin.size()) {
            blockMin.push_back(kNaN);
            blockMinPositive.push_back(kNaN);
            blockMax.push_back(kNaN);
        }
        if (!std::isnan(v)) {
            if (!(v >= blockMin[b]))
                blockMin[b] = v;
            if (v > 0 && !(v >= blockMinPositive[b]))
                blockMinPositive[b] = v;
            if (!(v <= blockMax[b]))
                blockMax[b] = v;
        }
    }

    // Smallest and largest finite value of indices [from, to), only the
    // positive ones when positiveOnly (the log scale); false when there is
    // none (mn and mx are then untouched).
    bool minMax(qsizetype from, qsizetype to, double &mn, double &mx, bool positiveOnly = false) const
    {
        from = std::max<qsizetype>(from, 0);
        to = std::min(to, size());
        if (from >= to)
            return false;
        double lo = kInf;
        double hi = -kInf;
        auto scan = [&](qsizetype a, qsizetype b) {
            for (qsizetype i = a; i < b; ++i) {
                const double v = values[size_t(i)];
                if (positiveOnly && !(v > 0))
                    continue;
                lo = std::min(lo, v); // a NaN compares false and is skipped
                hi = std::max(hi, v);
            }
        };
        const std::vector<double> &mins = positiveOnly ? blockMinPositive : blockMin;
        const qsizetype firstFull = (from + blockSize - 1) / blockSize;
        const qsizetype lastFull = to / blockSize; // exclusive
        if (firstFull >= lastFull) {
            scan(from, to);
        } else {
            scan(from, firstFull * blockSize);
            for (qsizetype b = firstFull; b < lastFull; ++b) {
                lo = std::min(lo, mins[size_t(b)]);
                if (!positiveOnly || blockMax[size_t(b)] > 0)
                    hi = std::max(hi, blockMax[size_t(b)]);
            }
            scan(lastFull * blockSize, to);
        }
        // std::min(lo, NaN) keeps lo only when NaN is the second argument;
        // guard against a NaN having slipped into the first.
        if (!(lo <= hi) || std::isnan(lo) || std::isnan(hi))
            return false;
        mn = lo;
        mx = hi;
        return true;
    }

    // Takes values, processing only those past the part already held; true
    // when the series changed.
    bool setValues(const QList<double> &given)
    {
        const qsizetype n = given.size();
        const qsizetype before = size();
        // A history only grows at its end (or loses its last entries), so the
        // values already held are checked at spread samples and at the tail
        // rather than one by one: a long run costs the same per update. The
        // held values themselves are compared (parsed from texts or not), so
        // a list that replaces its last entries keeps the part in front.
        qsizetype keep = std::min(n, before);
        auto differs = [&](qsizetype i) { return !sameValue(values[size_t(i)], given.at(i)); };
        for (int k = 0; k < spreadSamples && keep > 0; ++k) {
            if (differs(keep * k / spreadSamples))
                keep = 0;
        }
        for (qsizetype i = std::max<qsizetype>(0, keep - tailSamples); i < keep; ++i) {
            if (differs(i)) {
                keep = i;
                break;
            }
        }
        fromTexts = false;
        samples.clear();
        if (keep == before && n == before)
            return false;
        changedFrom = std::min(changedFrom, keep);
        scannedFrom = std::min(scannedFrom, keep);
        if (keep == 0)
            clear();
        else
            truncate(keep);
        reserveFor(n);
        for (qsizetype i = keep; i < n; ++i)
            append(given.at(i));
        return true;
    }

    // Takes value texts, parsing only those past the unchanged part; true
    // when anything was parsed or dropped.
    bool setTexts(const QStringList &texts)
    {
        const qsizetype n = texts.size();
        const qsizetype before = size();
        // Keep the parsed values up to the last sample that still matches,
        // checking the samples from the front; a history that lost its last
        // entries and gained new ones is reparsed from the first changed
        // sample on (the tail samples make that the changed entries only).
        qsizetype keep = 0;
        if (fromTexts) {
            for (const auto &[index, text] : samples) {
                if (index >= n || !sameText(texts.at(index), text))
                    break;
                keep = index + 1;
            }
        }
        changedFrom = std::min(changedFrom, keep);
        scannedFrom = std::min(scannedFrom, keep);
        if (keep == 0)
            clear();
        else
            truncate(keep);
        reserveFor(n);
        for (qsizetype i = keep; i < n; ++i) {
            const std::optional<double> v = GraphScale::parseValue(texts.at(i));
            append(v ? *v : kNaN);
        }
        fromTexts = true;
        samples.clear();
        if (n > 0) {
            std::vector<qsizetype> positions;
            for (int k = 0; k < spreadSamples; ++k)
                positions.push_back(n * k / spreadSamples);
            for (qsizetype i = std::max<qsizetype>(0, n - tailSamples); i < n; ++i)
                positions.push_back(i);
            std::sort(positions.begin(), positions.end());
            positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
            for (qsizetype index : positions)
                samples.emplace_back(index, texts.at(index));
        }
        return keep != before || n != before;
    }

private:
    // Room for n values, growing geometrically: a history that gains one
    // entry per call must not be copied on every call.
    void reserveFor(qsizetype n)
    {
        if (size_t(n) > values.capacity())
            values.reserve(std::max(size_t(n), values.capacity() * 2));
    }

    void recomputeBlock(size_t b)
    {
        double lo = kNaN;
        double loPositive = kNaN;
        double hi = kNaN;
        const size_t end = std::min(values.size(), (b + 1) * size_t(blockSize));
        for (size_t i = b * size_t(blockSize); i < end; ++i) {
            const double v = values[i];
            if (std::isnan(v))
                continue;
            if (!(v >= lo))
                lo = v;
            if (v > 0 && !(v >= loPositive))
                loPositive = v;
            if (!(v <= hi))
                hi = v;
        }
        blockMin[b] = lo;
        blockMinPositive[b] = loPositive;
        blockMax[b] = hi;
    }

    std::vector<double> values; // NaN marks a gap
    std::vector<double> blockMin;
    std::vector<double> blockMinPositive; // NaN: no positive value
    std::vector<double> blockMax;
    bool fromTexts = false;
    std::vector<std::pair<qsizetype, QString>> samples;
};

// ---------------------------------------------------------------------------

// Where everything goes at one size.
struct GraphWidget::Layout
{
    QRect plot;
    bool xLabels = false;
    bool header = false;
    GraphScale::ValueAxis yAxis;
    GraphScale::IterationAxis xAxis;
    std::vector<GraphAxes::ValueTick> yTicks;
    int count = 0; // points of the longest series
};

GraphWidget::GraphWidget(QWidget *parent)
    : QLabel(parent)
{
    m_series.push_back(std::make_unique<GraphSeriesData>());
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setMinimumSize(minimumSizeHint());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_emptyText = QStringLiteral("No data");
}

GraphWidget::~GraphWidget() = default;

int GraphWidget::seriesCount() const
{
    return int(m_series.size());
}

void GraphWidget::setSeriesCount(int count)
{
    count = std::max(1, count);
    if (count == seriesCount())
        return;
    while (seriesCount() < count)
        m_series.push_back(std::make_unique<GraphSeriesData>());
    m_series.resize(size_t(count));
    m_scaleValid = false;
    invalidate();
}

GraphSeriesData &GraphWidget::seriesData(int series)
{
    if (series >= seriesCount())
        setSeriesCount(series + 1);
    return *m_series[size_t(std::max(0, series))];
}

const GraphSeriesData *GraphWidget::seriesDataOrNull(int series) const
{
    if (series < 0 || series >= seriesCount())
        return nullptr;
    return m_series[size_t(series)].get();
}

void GraphWidget::setSeries(const QStringList &texts, int series)
{
    if (series < 0)
        return;
    if (!seriesData(series).setTexts(texts))
        return;
    m_scaleValid = false;
    m_dataChanged = true;
    update();
}

void GraphWidget::setSeries(const QList<double> &values, int series)
{
    if (series < 0)
        return;
    if (!seriesData(series).setValues(values))
        return;
    m_scaleValid = false;
    m_dataChanged = true;
    update();
}

void GraphWidget::clearSeries()
{
    for (auto &s : m_series)
        s->clear();
    m_scaleValid = false;
    m_hoverIndex = -1;
    invalidate();
}

void GraphWidget::setSeriesName(int series, const QString &name)
{
    if (series < 0 || seriesName(series) == name)
        return;
    seriesData(series).name = name;
    invalidate();
}

QString GraphWidget::seriesName(int series) const
{
    const GraphSeriesData *s = seriesDataOrNull(series);
    return s ? s->name : QString();
}

void GraphWidget::setSeriesColor(int series, const QColor &color)
{
    if (series < 0)
        return;
    GraphSeriesData &s = seriesData(series);
    s.color = color;
    s.colorSet = color.isValid();
    invalidate();
}

QColor GraphWidget::seriesColor(int series) const
{
    const GraphSeriesData *s = seriesDataOrNull(series);
    if (s && s->colorSet)
        return s->color;
    if (series <= 0)
        return QColor(0x1f, 0x4e, 0x9a);
    return ColorSet(ColorSet::VarColors).color(series);
}

int GraphWidget::pointCount(int series) const
{
    const GraphSeriesData *s = seriesDataOrNull(series);
    return s ? int(s->size()) : 0;
}

std::optional<double> GraphWidget::valueAt(int index, int series) const
{
    const GraphSeriesData *s = seriesDataOrNull(series);
    if (!s || index < 0 || index >= s->size())
        return std::nullopt;
    const double v = s->at(index);
    if (std::isnan(v))
        return std::nullopt;
    return v;
}

QString GraphWidget::valueTextAt(int index, int series) const
{
    const std::optional<double> v = valueAt(index, series);
    if (!v)
        return QString();
    if (m_valueUnits.isEmpty())
        return QString::number(*v, 'g', QLocale::FloatingPointShortest);
    return RealStringParser::formatScaled(*v, 12, m_valueUnits).text();
}

void GraphWidget::setNumPointsShown(int numPoints, bool allIterations)
{
    numPoints = std::max(0, numPoints);
    if (numPoints == m_numPointsShown && allIterations == m_allIterations)
        return;
    m_numPointsShown = numPoints;
    m_allIterations = allIterations;
    m_scaleValid = false;
    // Often the axis only grows with the run (every iteration shown): the
    // next paint then redraws the plot but keeps the value labels.
    m_dataChanged = true;
    update();
}

void GraphWidget::setUseAllData(bool useAllData)
{
    if (useAllData == m_useAllData)
        return;
    m_useAllData = useAllData;
    m_scaleValid = false;
    invalidate();
}

void GraphWidget::setYMaxFixed(bool fixed, double value)
{
    m_yMaxFixed = fixed;
    if (fixed)
        m_yMax = value;
    m_scaleValid = false;
    invalidate();
}

void GraphWidget::setFixedYRange(double yMin, double yMax)
{
    m_yMinFixed = m_yMaxFixed = true;
    m_yMin = yMin;
    m_yMax = yMax;
    m_scaleValid = false;
    invalidate();
}

double GraphWidget::yMin() const
{
    ensureScale();
    return m_logScale ? std::pow(10.0, m_logLo) : m_yMin;
}

double GraphWidget::yMax() const
{
    ensureScale();
    return m_logScale ? std::pow(10.0, m_logHi) : m_yMax;
}

void GraphWidget::setLogScale(bool on)
{
    if (on == m_logScale)
        return;
    m_logScale = on;
    m_scaleValid = false;
    invalidate();
}

int GraphWidget::maxPointCount() const
{
    qsizetype count = 0;
    for (const auto &s : m_series)
        count = std::max(count, s->size());
    return int(count);
}

int GraphWidget::firstShownIndex() const
{
    return GraphScale::firstShownIndex(maxPointCount(), m_numPointsShown);
}

int GraphWidget::shownCount() const
{
    return maxPointCount() - firstShownIndex();
}

void GraphWidget::ensureScale() const
{
    if (m_scaleValid)
        return;
    m_scaleValid = true;
    const bool log = m_logScale;
    if (m_yMinFixed && m_yMaxFixed && !log)
        return;
    const int first = m_useAllData ? 0 : firstShownIndex();
    // From the same first index on the same scale, with only new points
    // since: the last scan's result and the new points.
    bool extend = m_scan.valid && m_scan.first == first && m_scan.log == log && m_scan.counts.size() == m_series.size();
    for (size_t s = 0; extend && s < m_series.size(); ++s)
        extend = m_series[s]->scannedFrom >= m_scan.counts[s];
    double lo = extend ? m_scan.lo : kInf;
    double hi = extend ? m_scan.hi : -kInf;
    bool any = extend && m_scan.any;
    m_scan.counts.resize(m_series.size());
    for (size_t s = 0; s < m_series.size(); ++s) {
        GraphSeriesData &d = *m_series[s];
        double a, b;
        if (d.minMax(extend ? std::max<qsizetype>(first, m_scan.counts[s]) : first, d.size(), a, b, log)) {
            lo = std::min(lo, a);
            hi = std::max(hi, b);
            any = true;
        }
        m_scan.counts[s] = d.size();
        d.scannedFrom = d.size();
    }
    m_scan.valid = true;
    m_scan.log = log;
    m_scan.any = any;
    m_scan.first = first;
    m_scan.lo = lo;
    m_scan.hi = hi;
    if (log) {
        // Only the positive values count; a fixed bound counts when it is
        // positive too. Nothing positive gives the default 0.1 to 10.
        if (m_yMinFixed && m_yMin > 0)
            lo = m_yMin;
        if (m_yMaxFixed && m_yMax > 0)
            hi = m_yMax;
        std::tie(m_logLo, m_logHi) = GraphScale::logRange(lo, hi); // infinite bounds: the default
        return;
    }
    if (!any)
        return;
    if (!m_yMinFixed)
        m_yMin = lo;
    if (!m_yMaxFixed)
        m_yMax = hi;
}

void GraphWidget::setHighlighted(bool highlighted)
{
    if (highlighted == m_highlighted)
        return;
    m_highlighted = highlighted;
    invalidate();
}

void GraphWidget::setMarkedIndex(int index)
{
    if (index == m_markedIndex)
        return;
    m_markedIndex = index;
    update();
}

void GraphWidget::setTitle(const QString &title)
{
    if (title == m_title)
        return;
    m_title = title;
    invalidate();
}

void GraphWidget::setFirstIterationNumber(int number)
{
    if (number == m_firstIteration)
        return;
    m_firstIteration = number;
    invalidate();
}

void GraphWidget::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    invalidate();
}

void GraphWidget::setEmptyText(const QString &text)
{
    if (text == m_emptyText)
        return;
    m_emptyText = text;
    invalidate();
}

void GraphWidget::setValueUnits(const QString &units)
{
    if (units == m_valueUnits)
        return;
    m_valueUnits = units;
    invalidate();
}

QString GraphWidget::formatValue(double value, int significantDigits) const
{
    if (m_valueUnits.isEmpty())
        return RealStringParser::formatNumber(value, significantDigits);
    return RealStringParser::formatScaled(value, significantDigits, m_valueUnits).text();
}

QSize GraphWidget::sizeHint() const
{
    return QSize(240, 110);
}

QSize GraphWidget::minimumSizeHint() const
{
    return QSize(60, 24);
}

void GraphWidget::invalidate()
{
    m_cacheValid = false;
    update();
}

// ---------------------------------------------------------------------------
// Layout and drawing

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

// ---------------------------------------------------------------------------
// Events

void GraphWidget::paintEvent(QPaintEvent *)
{
    updateCache();
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_cache);
    if (m_markedIndex >= firstShownIndex() && m_markedIndex < firstShownIndex() + shownCount()) {
        const Layout layout = layoutFor(size());
        const int x = int(std::round(layout.xAxis.xOf(m_markedIndex)));
        painter.setPen(QPen(QColor(230, 120, 0), 2));
        painter.drawLine(x, layout.plot.top() + 1, x, layout.plot.bottom() - 1);
    }
    if (m_hoverIndex >= 0 && m_hoverIndex < firstShownIndex() + shownCount())
        drawHoverMarks(painter);
}

void GraphWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        Q_EMIT rightMouseClick(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton) {
        Q_EMIT clicked();
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void GraphWidget::mouseMoveEvent(QMouseEvent *event)
{
    const int index = indexAt(event->position().toPoint());
    if (index != m_hoverIndex) {
        m_hoverIndex = index;
        update();
        if (QToolTip::isVisible()) {
            const QString text = toolTipTextAt(event->position().toPoint());
            if (text.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(event->globalPosition().toPoint(), text, this);
        }
    }
    QLabel::mouseMoveEvent(event);
}

void GraphWidget::leaveEvent(QEvent *event)
{
    if (m_hoverIndex >= 0) {
        m_hoverIndex = -1;
        update();
    }
    QLabel::leaveEvent(event);
}

bool GraphWidget::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString text = toolTipTextAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, this);
        }
        return true;
    }
    return QLabel::event(event);
}

void GraphWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange
        || event->type() == QEvent::EnabledChange || event->type() == QEvent::StyleChange)
        invalidate();
    QLabel::changeEvent(event);
}

int GraphWidget::indexAt(const QPoint &pos) const
{
    const Layout layout = layoutFor(size());
    if (layout.count == 0 || !layout.plot.adjusted(-2, -2, 2, 2).contains(pos))
        return -1;
    const int index = layout.xAxis.indexAt(pos.x());
    if (index < layout.xAxis.first || index >= layout.count)
        return -1;
    return index;
}

QString GraphWidget::toolTipTextAt(const QPoint &pos) const
{
    const int index = indexAt(pos);
    if (index < 0)
        return QString();
    QStringList lines;
    lines << QStringLiteral("Iteration %1").arg(m_firstIteration + index);
    for (int s = 0; s < seriesCount(); ++s) {
        if (index >= pointCount(s))
            continue;
        QString name = seriesName(s);
        if (name.isEmpty())
            name = (seriesCount() == 1 && !m_title.isEmpty()) ? m_title : QStringLiteral("Value");
        const QString value = valueTextAt(index, s);
        lines << QStringLiteral("%1: %2").arg(name, value.isEmpty() ? QStringLiteral("no value") : value);
    }
    if (m_stale)
        lines << QStringLiteral("(results are stale)");
    return lines.join(QLatin1Char('\n'));
}
