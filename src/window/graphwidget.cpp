#include "graphwidget.h"

#include "colorset.h"
#include "units/realstringparser.h"

#include <QApplication>
#include <QEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

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
// One series: the values parsed once, with the minimum and maximum of each
// block of 64 points, so that the scale and the per-column envelope of a
// long history cost a few thousand steps instead of a million.

class GraphSeriesData
{
public:
    static constexpr qsizetype blockSize = 64;

    QString name;
    QColor color;
    bool colorSet = false;

    qsizetype size() const { return qsizetype(values.size()); }
    double at(qsizetype i) const { return values[size_t(i)]; }
    const std::vector<double> &data() const { return values; }

    void clear()
    {
        values.clear();
        blockMin.clear();
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
            blockMax.push_back(kNaN);
        }
        if (!std::isnan(v)) {
            if (!(v >= blockMin[b]))
                blockMin[b] = v;
            if (!(v <= blockMax[b]))
                blockMax[b] = v;
        }
    }

    // Smallest and largest finite value of indices [from, to); false when
    // there is none (mn and mx are then untouched).
    bool minMax(qsizetype from, qsizetype to, double &mn, double &mx) const
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
                lo = std::min(lo, v); // a NaN compares false and is skipped
                hi = std::max(hi, v);
            }
        };
        const qsizetype firstFull = (from + blockSize - 1) / blockSize;
        const qsizetype lastFull = to / blockSize; // exclusive
        if (firstFull >= lastFull) {
            scan(from, to);
        } else {
            scan(from, firstFull * blockSize);
            for (qsizetype b = firstFull; b < lastFull; ++b) {
                lo = std::min(lo, blockMin[size_t(b)]);
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

    void setValues(const QList<double> &given)
    {
        const qsizetype n = given.size();
        qsizetype keep = 0;
        // A history only grows at its end (or loses its last entries), so the
        // values already held are checked at spread samples and at the tail
        // rather than one by one: a long run costs the same per update.
        if (!fromTexts && n >= size()) {
            keep = size();
            auto differs = [&](qsizetype i) { return !sameValue(values[size_t(i)], given.at(i)); };
            for (int k = 0; k < spreadSamples && keep > 0; ++k) {
                if (differs(keep * k / spreadSamples))
                    keep = 0;
            }
            for (qsizetype i = std::max<qsizetype>(0, keep - tailSamples); i < keep; ++i) {
                if (differs(i)) {
                    keep = 0;
                    break;
                }
            }
        }
        if (keep == 0)
            clear();
        reserveFor(n);
        for (qsizetype i = keep; i < n; ++i)
            append(given.at(i));
        fromTexts = false;
        samples.clear();
    }

    void setTexts(const QStringList &texts)
    {
        const qsizetype n = texts.size();
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
        if (keep == 0)
            clear();
        else
            truncate(keep);
        reserveFor(n);
        for (qsizetype i = keep; i < n; ++i) {
            const std::optional<double> v = GraphWidget::parseValue(texts.at(i));
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
        double hi = kNaN;
        const size_t end = std::min(values.size(), (b + 1) * size_t(blockSize));
        for (size_t i = b * size_t(blockSize); i < end; ++i) {
            const double v = values[i];
            if (std::isnan(v))
                continue;
            if (!(v >= lo))
                lo = v;
            if (!(v <= hi))
                hi = v;
        }
        blockMin[b] = lo;
        blockMax[b] = hi;
    }

    std::vector<double> values; // NaN marks a gap
    std::vector<double> blockMin;
    std::vector<double> blockMax;
    bool fromTexts = false;
    std::vector<std::pair<qsizetype, QString>> samples;
};

// ---------------------------------------------------------------------------
// Rules

int GraphWidget::iterationTickStep(int numPointsShown, int pointCount)
{
    const long long n = numPointsShown > 0 ? numPointsShown : pointCount;
    const long long t = (n + 1) / 8;
    if (t <= 0)
        return 0;
    // Ladder 1, 5, 10, 50, 100, ...: alternately times 5 and times 2.
    long long value = 1;
    bool timesFive = true;
    while (true) {
        const long long next = timesFive ? value * 5 : value * 2;
        if (next > t)
            break;
        value = next;
        timesFive = !timesFive;
    }
    if (value > 10000)
        return 0;
    return int(std::max<long long>(value, 5));
}

bool GraphWidget::autoScale(const QList<double> &values, int numPointsShown, bool useAllData,
                            bool yMinFixed, bool yMaxFixed, double &yMin, double &yMax)
{
    if (yMinFixed && yMaxFixed)
        return false;
    const qsizetype count = values.size();
    const qsizetype n = numPointsShown > 0 ? numPointsShown : count;
    const qsizetype first = useAllData ? 0 : std::max<qsizetype>(0, count - n);
    double lo = kInf;
    double hi = -kInf;
    for (qsizetype i = first; i < count; ++i) {
        const double v = values.at(i);
        if (!std::isfinite(v))
            continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    if (!(lo <= hi))
        return false;
    if (!yMinFixed)
        yMin = lo;
    if (!yMaxFixed)
        yMax = hi;
    return true;
}

std::optional<double> GraphWidget::parseValue(const QString &text)
{
    // Fast path for plain numbers, the usual case: ASCII into a small buffer
    // and std::from_chars (no locale, no allocation).
    const QStringView trimmed = QStringView(text).trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    if (trimmed.size() < 48) {
        std::array<char, 48> buffer;
        bool ascii = true;
        for (qsizetype i = 0; i < trimmed.size(); ++i) {
            const char16_t c = trimmed.at(i).unicode();
            if (c >= 128) {
                ascii = false;
                break;
            }
            buffer[size_t(i)] = char(c);
        }
        if (ascii) {
            const char *begin = buffer.data();
            const char *end = begin + trimmed.size();
            double value = 0;
            const auto result = std::from_chars(begin, end, value, std::chars_format::general);
            if (result.ec == std::errc() && result.ptr == end) {
                if (!std::isfinite(value))
                    return std::nullopt;
                return value;
            }
        }
    }
    // Numbers with an engineering suffix or units ("10 nH", "1.5GHz").
    bool ok = false;
    const double value = RealStringParser::toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// ---------------------------------------------------------------------------

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
    m_selectedSeries = m_selectedSeries < count ? m_selectedSeries : -1;
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
    seriesData(series).setTexts(texts);
    m_scaleValid = false;
    invalidate();
}

void GraphWidget::setSeries(const QList<double> &values, int series)
{
    if (series < 0)
        return;
    seriesData(series).setValues(values);
    m_scaleValid = false;
    invalidate();
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

void GraphWidget::setNumPointsShown(int numPoints)
{
    numPoints = std::max(0, numPoints);
    if (numPoints == m_numPointsShown)
        return;
    m_numPointsShown = numPoints;
    m_scaleValid = false;
    invalidate();
}

void GraphWidget::setUseAllData(bool useAllData)
{
    if (useAllData == m_useAllData)
        return;
    m_useAllData = useAllData;
    m_scaleValid = false;
    invalidate();
}

void GraphWidget::setYMinFixed(bool fixed, double value)
{
    m_yMinFixed = fixed;
    if (fixed)
        m_yMin = value;
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
    return m_yMin;
}

double GraphWidget::yMax() const
{
    ensureScale();
    return m_yMax;
}

int GraphWidget::firstShownIndex() const
{
    int count = 0;
    for (const auto &s : m_series)
        count = std::max(count, int(s->size()));
    const int n = m_numPointsShown > 0 ? m_numPointsShown : count;
    return std::max(0, count - n);
}

int GraphWidget::shownCount() const
{
    int count = 0;
    for (const auto &s : m_series)
        count = std::max(count, int(s->size()));
    return count - firstShownIndex();
}

void GraphWidget::ensureScale() const
{
    if (m_scaleValid)
        return;
    m_scaleValid = true;
    if (m_yMinFixed && m_yMaxFixed)
        return;
    const int first = m_useAllData ? 0 : firstShownIndex();
    double lo = kInf;
    double hi = -kInf;
    bool any = false;
    for (const auto &s : m_series) {
        double a, b;
        if (s->minMax(first, s->size(), a, b)) {
            lo = std::min(lo, a);
            hi = std::max(hi, b);
            any = true;
        }
    }
    if (!any)
        return;
    if (!m_yMinFixed)
        m_yMin = lo;
    if (!m_yMaxFixed)
        m_yMax = hi;
}

void GraphWidget::setSelectedSeries(int series)
{
    series = (series >= 0 && series < seriesCount()) ? series : -1;
    if (series == m_selectedSeries)
        return;
    m_selectedSeries = series;
    invalidate();
}

void GraphWidget::setHighlighted(bool highlighted)
{
    if (highlighted == m_highlighted)
        return;
    m_highlighted = highlighted;
    invalidate();
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

void GraphWidget::setLogScale(bool logScale)
{
    if (logScale == m_logScale)
        return;
    m_logScale = logScale;
    invalidate();
}

bool GraphWidget::isLogScaleInEffect() const
{
    ensureScale();
    return m_logScale && m_yMin > 0 && m_yMax > 0 && std::isfinite(std::log10(m_yMin));
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

QFont graphFont(const QFont &base)
{
    QFont f = base;
    if (f.pointSizeF() > 0)
        f.setPointSizeF(std::max(6.5, f.pointSizeF() * 0.85));
    else if (f.pixelSize() > 0)
        f.setPixelSize(std::max(8, int(f.pixelSize() * 0.85)));
    return f;
}

// "Nice" steps 1, 2, 5 times a power of ten.
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

struct VerticalLayout
{
    int top = 0;
    int bottom = 0; // y of the plot's last row
    bool xLabels = false;
    bool header = false;
};

struct YTick
{
    double value;
    QString text;
};

struct Geometry
{
    QRect plot;
    bool xLabels = false;
    bool header = false;
    double lo = 0; // drawing range (transformed for a log scale)
    double hi = 1;
    bool log = false;
    std::vector<YTick> yTicks;
};

} // namespace

// The geometry of a graph at size: header line, plot rectangle, value axis
// ticks. Shared by drawing, hit testing and plotRect().
static Geometry graphGeometry(const GraphWidget &w, const QSize &size, double yMin, double yMax, bool log,
                              bool hasHeader)
{
    Geometry g;
    const QFontMetrics fm(graphFont(w.font()));
    const int lineHeight = fm.height();
    const int h = size.height();
    g.header = hasHeader && h >= 3 * lineHeight + 8;
    g.xLabels = h >= 3 * lineHeight + 6;
    const int top = g.header ? lineHeight + 3 : 4;
    const int bottom = h - (g.xLabels ? lineHeight + 5 : 4);

    g.log = log;
    double lo = yMin;
    double hi = yMax;
    if (lo > hi)
        std::swap(lo, hi);
    if (log) {
        lo = std::log10(lo);
        hi = std::log10(hi);
    }
    if (!(hi > lo)) {
        // A flat series: centre it in a small range around the value.
        const double pad = lo != 0 ? std::abs(lo) * 0.05 : 0.5;
        lo -= pad;
        hi += pad;
    }
    g.lo = lo;
    g.hi = hi;

    // Value-axis ticks: nice steps while the plot has room for three labels,
    // else just the two ends.
    const int plotHeight = std::max(1, bottom - top);
    const int maxTicks = plotHeight / (lineHeight + 6);
    auto text = [&](double v) { return w.formatValue(log ? std::pow(10.0, v) : v, 4); };
    if (maxTicks >= 3) {
        double step = log ? std::max(1.0, std::ceil(niceStep(hi - lo, maxTicks))) : niceStep(hi - lo, maxTicks);
        if (step > 0) {
            const double start = std::ceil(lo / step - 1e-9) * step;
            for (double v = start; v <= hi + step * 1e-9 && g.yTicks.size() < 20; v += step) {
                const double shown = std::abs(v) < step * 1e-9 ? 0.0 : v;
                g.yTicks.push_back({shown, text(shown)});
            }
        }
    }
    if (g.yTicks.size() < 2) {
        g.yTicks.clear();
        g.yTicks.push_back({lo, text(lo)});
        g.yTicks.push_back({hi, text(hi)});
    }
    int labelWidth = 0;
    for (const YTick &t : g.yTicks)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(t.text));
    const int left = std::min(labelWidth + 7, size.width() / 2);
    const int right = size.width() - 6;
    g.plot = QRect(QPoint(left, top), QPoint(std::max(left + 1, right), std::max(top + 1, bottom)));
    return g;
}

QRect GraphWidget::plotRectFor(const QSize &size) const
{
    ensureScale();
    const bool header = !m_title.isEmpty() || seriesCount() > 1;
    return graphGeometry(*this, size, m_yMin, m_yMax, isLogScaleInEffect(), header).plot;
}

QPixmap GraphWidget::renderPixmap(const QSize &size) const
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

void GraphWidget::drawGraph(QPainter &painter, const QSize &size) const
{
    ensureScale();
    const QPalette pal = palette();
    const QFont font = graphFont(this->font());
    const QFontMetrics fm(font);
    painter.setFont(font);

    const bool header = !m_title.isEmpty() || seriesCount() > 1;
    const bool log = isLogScaleInEffect();
    const Geometry g = graphGeometry(*this, size, m_yMin, m_yMax, log, header);
    const QRect plot = g.plot;

    if (m_highlighted)
        painter.fillRect(QRect(QPoint(0, 0), size), selectionHighlightColor());
    painter.fillRect(plot, m_highlighted ? QColor(236, 244, 255) : pal.color(QPalette::Base));

    const QColor textColor = pal.color(m_stale ? QPalette::Disabled : QPalette::Active, QPalette::WindowText);
    const QColor gridColor = QColor(0, 0, 0, 28);
    const QColor axisColor = pal.color(QPalette::Mid);

    // Iteration axis.
    const int count = firstShownIndex() + shownCount();
    const int first = firstShownIndex();
    const int slots = std::max(m_numPointsShown > 0 ? m_numPointsShown : count, count - first);
    const double left = plot.left() + 2.5;
    const double width = std::max(1.0, plot.width() - 5.0);
    auto xOf = [&](double index) {
        if (slots <= 1)
            return left + width / 2;
        return left + (index - first) * width / (slots - 1);
    };
    const double top = plot.top() + 2.5;
    const double height = std::max(1.0, plot.height() - 5.0);
    auto yOf = [&](double v) {
        if (log)
            v = v > 0 ? std::log10(v) : g.lo - (g.hi - g.lo);
        return top + (g.hi - v) * height / (g.hi - g.lo);
    };

    // Value grid and labels.
    painter.setPen(textColor);
    for (const YTick &t : g.yTicks) {
        const double y = top + (g.hi - t.value) * height / (g.hi - g.lo);
        painter.setPen(gridColor);
        painter.drawLine(QPointF(plot.left(), std::round(y) + 0.5), QPointF(plot.right(), std::round(y) + 0.5));
        painter.setPen(textColor);
        const int ty = std::clamp(int(std::round(y)) - fm.height() / 2, 0, std::max(0, size.height() - fm.height()));
        painter.drawText(QRect(0, ty, plot.left() - 4, fm.height()), Qt::AlignRight | Qt::AlignVCenter, t.text);
    }

    // Iteration ticks and labels.
    if (count > 0) {
        const int step = iterationTickStep(m_numPointsShown, count);
        const int firstIter = m_firstIteration + first;
        const int lastIter = firstIter + slots - 1;
        std::vector<int> ticks;
        if (step > 0) {
            for (long long it = (firstIter + step - 1) / step * static_cast<long long>(step); it <= lastIter; it += step)
                ticks.push_back(int(it));
        }
        painter.setPen(gridColor);
        for (int it : ticks) {
            const double x = std::round(xOf(it - m_firstIteration)) + 0.5;
            painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        }
        if (g.xLabels) {
            // Labels: both ends, and every k-th tick between, with k the
            // smallest of 1, 2, 5, 10, 20, ... that keeps the labels apart
            // (so the labels stay evenly spaced); an inner label that would
            // run into an end label is left out.
            const int maxWidth = fm.horizontalAdvance(QString::number(std::max(std::abs(firstIter), std::abs(lastIter)))) + 4;
            long long every = 1;
            if (step > 0 && slots > 1) {
                const double tickSpacing = step * width / (slots - 1);
                // 1, 2, 5, 10, 20, 50, ...
                for (long long power = 1; power < (1LL << 40) && every * tickSpacing < maxWidth + 8; power *= 10) {
                    for (long long mantissa : {1LL, 2LL, 5LL}) {
                        every = mantissa * power;
                        if (every * tickSpacing >= maxWidth + 8)
                            break;
                    }
                }
            }
            struct Label
            {
                int iteration;
                int x;
                int width;
            };
            auto place = [&](int iteration) {
                const QString text = QString::number(iteration);
                const int tw = fm.horizontalAdvance(text);
                int x = int(std::round(xOf(iteration - m_firstIteration))) - tw / 2;
                x = std::clamp(x, std::max(0, plot.left() - tw / 2), std::max(0, size.width() - tw - 3));
                return Label{iteration, x, tw};
            };
            std::vector<Label> labels;
            const Label firstLabel = place(firstIter);
            const Label lastLabel = place(lastIter);
            labels.push_back(firstLabel);
            for (int it : ticks) {
                if (it == firstIter || it == lastIter || (it / step) % every != 0)
                    continue;
                const Label l = place(it);
                if (l.x < labels.back().x + labels.back().width + 8)
                    continue;
                if (lastIter != firstIter && l.x + l.width + 8 > lastLabel.x)
                    continue;
                labels.push_back(l);
            }
            if (lastIter != firstIter && lastLabel.x >= labels.back().x + labels.back().width + 6)
                labels.push_back(lastLabel);
            painter.setPen(textColor);
            const int y = plot.bottom() + 3;
            for (const Label &l : labels)
                painter.drawText(QRect(l.x, y, l.width + 1, fm.height()), Qt::AlignLeft | Qt::AlignTop,
                                 QString::number(l.iteration));
        }
    }

    // Frame.
    painter.setPen(axisColor);
    painter.drawRect(QRectF(plot).adjusted(0.5, 0.5, -0.5, -0.5));

    // Header: the title, then a legend entry per named series.
    if (g.header) {
        int x = plot.left();
        const int y = 1;
        if (!m_title.isEmpty()) {
            QFont bold = font;
            bold.setBold(true);
            painter.setFont(bold);
            painter.setPen(textColor);
            const QString title = m_stale ? m_title + QStringLiteral(" (stale)") : m_title;
            painter.drawText(QRect(x, y, size.width() - x, fm.height()), Qt::AlignLeft | Qt::AlignTop, title);
            x += QFontMetrics(bold).horizontalAdvance(title) + 12;
            painter.setFont(font);
        }
        if (seriesCount() > 1) {
            for (int s = 0; s < seriesCount(); ++s) {
                const QString name = seriesName(s);
                if (name.isEmpty())
                    continue;
                const int tw = fm.horizontalAdvance(name);
                if (x + 18 + tw > size.width())
                    break;
                QColor c = m_stale ? pal.color(QPalette::Disabled, QPalette::WindowText) : seriesColor(s);
                painter.setPen(QPen(c, s == m_selectedSeries ? 2.5 : 1.5));
                const double ly = y + fm.height() / 2.0 + 0.5;
                painter.drawLine(QPointF(x, ly), QPointF(x + 14, ly));
                painter.setPen(textColor);
                painter.drawText(QRect(x + 18, y, tw + 1, fm.height()), Qt::AlignLeft | Qt::AlignTop, name);
                x += 18 + tw + 10;
            }
        }
    }

    if (count == 0 || shownCount() == 0) {
        painter.setPen(pal.color(QPalette::Disabled, QPalette::WindowText));
        painter.drawText(plot, Qt::AlignCenter, m_emptyText);
        return;
    }

    // Series: the selected one last, so it lies on top.
    painter.save();
    painter.setClipRect(plot.adjusted(1, 1, -1, -1));
    std::vector<int> order;
    for (int s = 0; s < seriesCount(); ++s) {
        if (s != m_selectedSeries)
            order.push_back(s);
    }
    if (m_selectedSeries >= 0)
        order.push_back(m_selectedSeries);
    const int columns = std::max(1, int(width));
    bool anyValue = false;
    for (int s : order) {
        const GraphSeriesData &d = *m_series[size_t(s)];
        const qsizetype n = d.size();
        if (n <= first)
            continue;
        QColor color = seriesColor(s);
        if (m_stale)
            color = pal.color(QPalette::Disabled, QPalette::WindowText);
        else if (m_selectedSeries >= 0 && s != m_selectedSeries)
            color = ColorSet::lightVariant(color);
        const double penWidth = s == m_selectedSeries ? 2.2 : 1.4;

        QPolygonF run;
        const bool dense = slots > columns;
        auto flush = [&] {
            if (run.size() == 1) {
                // A lone value between gaps: a dot, so it is not lost.
                painter.setPen(Qt::NoPen);
                painter.setBrush(color);
                painter.drawEllipse(run.first(), penWidth + 0.6, penWidth + 0.6);
                painter.setBrush(Qt::NoBrush);
            } else if (run.size() > 1 && dense) {
                // Dense runs use the 1-pixel pen, which the raster engine
                // draws without stroking; the selected series is that line
                // twice, one pixel apart.
                painter.setPen(QPen(color, 1));
                painter.drawPolyline(run);
                if (s == m_selectedSeries) {
                    painter.translate(1, 0);
                    painter.drawPolyline(run);
                    painter.translate(-1, 0);
                }
            } else if (run.size() > 1) {
                painter.setPen(QPen(color, penWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                painter.drawPolyline(run);
            }
            run.clear();
        };

        if (slots <= columns) {
            // Sparse: every point, joined; markers while they are far apart.
            painter.setRenderHint(QPainter::Antialiasing, true);
            const bool markers = slots > 1 && width / (slots - 1) >= 9;
            QPolygonF marks;
            std::vector<double> gaps;
            for (qsizetype i = first; i < n; ++i) {
                const double v = d.at(i);
                if (std::isnan(v)) {
                    flush();
                    gaps.push_back(xOf(double(i)));
                    continue;
                }
                anyValue = true;
                const QPointF p(xOf(double(i)), yOf(v));
                run.append(p);
                if (markers)
                    marks.append(p);
            }
            flush();
            if (markers) {
                painter.setPen(QPen(color, 1.2));
                painter.setBrush(pal.color(QPalette::Base));
                for (const QPointF &p : marks)
                    painter.drawEllipse(p, 2.2, 2.2);
                painter.setBrush(Qt::NoBrush);
            }
            // Iterations without a value: a short grey mark on the axis, so
            // the break in the line reads as "no value", not as a jump.
            if (!gaps.empty()) {
                painter.setPen(QPen(QColor(150, 150, 150), 1.2));
                for (double x : gaps)
                    painter.drawLine(QPointF(x, plot.bottom() - 1), QPointF(x, plot.bottom() - 5));
            }
        } else {
            // Dense: one vertical stroke per pixel column from the column's
            // minimum to its maximum, entered at its first value and left at
            // its last, so the line stays continuous and no extreme is lost.
            painter.setRenderHint(QPainter::Antialiasing, false);
            const double perColumn = double(slots - 1) / std::max(1, columns - 1);
            for (int c = 0; c < columns; ++c) {
                qsizetype lo = first + qsizetype(std::ceil((c - 0.5) * perColumn));
                qsizetype hi = first + qsizetype(std::ceil((c + 0.5) * perColumn));
                lo = std::clamp<qsizetype>(lo, first, n);
                hi = std::clamp<qsizetype>(hi, first, n);
                if (lo >= hi) {
                    if (lo >= n)
                        break;
                    continue;
                }
                double mn, mx;
                if (!d.minMax(lo, hi, mn, mx)) {
                    flush();
                    continue;
                }
                anyValue = true;
                qsizetype a = lo;
                while (std::isnan(d.at(a)))
                    ++a;
                qsizetype b = hi - 1;
                while (std::isnan(d.at(b)))
                    --b;
                const double x = std::round(left + c) + 0.5;
                run.append(QPointF(x, yOf(d.at(a))));
                run.append(QPointF(x, yOf(mn)));
                run.append(QPointF(x, yOf(mx)));
                run.append(QPointF(x, yOf(d.at(b))));
            }
            flush();
        }
    }
    painter.restore();
    if (!anyValue) {
        painter.setPen(pal.color(QPalette::Disabled, QPalette::WindowText));
        painter.drawText(plot, Qt::AlignCenter, QStringLiteral("No values to show"));
    }
}

// ---------------------------------------------------------------------------
// Events

void GraphWidget::paintEvent(QPaintEvent *)
{
    if (!m_cacheValid || m_cache.size() != (QSizeF(size()) * devicePixelRatioF()).toSize()) {
        m_cache = renderPixmap(size());
        m_cacheValid = true;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_cache);
    // The hovered iteration: a dashed line and a dot on each value, drawn
    // over the cached picture so hovering never redraws the graph.
    if (m_hoverIndex >= 0 && m_hoverIndex < firstShownIndex() + shownCount()) {
        const QRect plot = plotRect();
        const int first = firstShownIndex();
        const int count = first + shownCount();
        const int slots = std::max(m_numPointsShown > 0 ? m_numPointsShown : count, count - first);
        const double left = plot.left() + 2.5;
        const double width = std::max(1.0, plot.width() - 5.0);
        const double x = slots <= 1 ? left + width / 2 : left + (m_hoverIndex - first) * width / (slots - 1);
        painter.setPen(QPen(QColor(0, 0, 0, 90), 1, Qt::DashLine));
        painter.drawLine(QPointF(std::round(x) + 0.5, plot.top() + 1), QPointF(std::round(x) + 0.5, plot.bottom() - 1));
        const bool log = isLogScaleInEffect();
        double lo = m_yMin, hi = m_yMax;
        if (lo > hi)
            std::swap(lo, hi);
        if (log) {
            lo = std::log10(lo);
            hi = std::log10(hi);
        }
        if (!(hi > lo)) {
            const double pad = lo != 0 ? std::abs(lo) * 0.05 : 0.5;
            lo -= pad;
            hi += pad;
        }
        const double top = plot.top() + 2.5;
        const double height = std::max(1.0, plot.height() - 5.0);
        painter.setRenderHint(QPainter::Antialiasing, true);
        for (int s = 0; s < seriesCount(); ++s) {
            const std::optional<double> v = valueAt(m_hoverIndex, s);
            if (!v || (log && *v <= 0))
                continue;
            const double tv = log ? std::log10(*v) : *v;
            const double y = top + (hi - tv) * height / (hi - lo);
            if (y < plot.top() || y > plot.bottom())
                continue;
            painter.setPen(QPen(seriesColor(s), 1.5));
            painter.setBrush(palette().color(QPalette::Base));
            painter.drawEllipse(QPointF(x, y), 3.2, 3.2);
        }
    }
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
    const int first = firstShownIndex();
    const int count = first + shownCount();
    if (count == 0)
        return -1;
    const QRect plot = plotRect();
    if (!plot.adjusted(-2, -2, 2, 2).contains(pos))
        return -1;
    const int slots = std::max(m_numPointsShown > 0 ? m_numPointsShown : count, count - first);
    const double left = plot.left() + 2.5;
    const double width = std::max(1.0, plot.width() - 5.0);
    const int index = slots <= 1 ? first : first + int(std::lround((pos.x() - left) * (slots - 1) / width));
    if (index < first || index >= count)
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
