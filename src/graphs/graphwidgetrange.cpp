// The history graph's series and range: the values of each series, how many
// iterations are shown, fixed or automatic bounds, the log scale and the scan
// that finds the automatic range.

#include "graphwidgetlayout.h"
#include "colorset.h"
#include "model/optimhistoryvalues.h"
#include "units/realstringparser.h"

#include <QLocale>

#include <algorithm>
#include <limits>
#include <tuple>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

} // namespace

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

void GraphWidget::setSeries(const OptimHistoryValues &history, int series)
{
    if (history.unreadCount() == 0) {
        setSeries(history.numbers(), series);
        return;
    }
    if (series < 0)
        return;
    if (!seriesData(series).setTextsFrom(history.size(), [&history](qsizetype i) { return history.at(i); }))
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
