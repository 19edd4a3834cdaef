#include "graphscale.h"

#include "units/realstringparser.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <tuple>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

} // namespace

GoalPlotRange GoalPlotRange::united(const GoalPlotRange &o) const
{
    return {std::min(xMin, o.xMin), std::max(xMax, o.xMax), std::min(yMin, o.yMin), std::max(yMax, o.yMax)};
}

namespace GraphScale {

std::optional<double> parseValue(const QString &text)
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

int iterationTickStep(int numPointsShown, int pointCount)
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

bool autoScale(const QList<double> &values, int numPointsShown, bool useAllData, bool yMinFixed, bool yMaxFixed,
               double &yMin, double &yMax)
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

std::pair<double, double> logRange(double minPositive, double maxPositive)
{
    if (!(minPositive > 0) || !(maxPositive > 0) || !std::isfinite(minPositive) || !std::isfinite(maxPositive))
        return {-1.0, 1.0};
    double lo = std::log10(std::min(minPositive, maxPositive));
    double hi = std::log10(std::max(minPositive, maxPositive));
    if (!(hi > lo)) {
        lo -= 0.5;
        hi += 0.5;
    }
    return {lo, hi};
}

std::vector<double> logTicks(double lo, double hi, int maxTicks)
{
    std::vector<double> ticks;
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo))
        return ticks;
    constexpr double eps = 1e-9;
    const int first = int(std::ceil(lo - eps));
    const int last = int(std::floor(hi + eps));
    const int decades = last - first + 1;
    if (decades >= 2) {
        // Every k-th decade, k from the 1-2-5 ladder, on multiples of k so
        // the ticks stay put while the range grows.
        const long long every = std::max<long long>(1, labelEvery(1.0, double(decades) / std::max(1, maxTicks)));
        const long long start = (long long)(std::ceil(double(first) / double(every))) * every;
        for (long long e = start; e <= last; e += every)
            ticks.push_back(std::pow(10.0, double(e)));
        if (ticks.size() < 2)
            ticks = {std::pow(10.0, double(first)), std::pow(10.0, double(last))};
        return ticks;
    }
    // Under two decades: 1, 2 and 5 times each power of ten inside.
    for (int e = int(std::floor(lo)); e <= last; ++e) {
        for (double m : {1.0, 2.0, 5.0}) {
            const double t = m * std::pow(10.0, double(e));
            const double lt = std::log10(t);
            if (lt >= lo - eps && lt <= hi + eps)
                ticks.push_back(t);
        }
    }
    if (ticks.size() < 2)
        ticks = {std::pow(10.0, lo), std::pow(10.0, hi)};
    return ticks;
}

int firstShownIndex(int count, int numPointsShown)
{
    const int n = numPointsShown > 0 ? numPointsShown : count;
    return std::max(0, count - n);
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

std::vector<double> ticksAtStep(double lo, double hi, double step, size_t maxCount)
{
    std::vector<double> ticks;
    if (!(step > 0))
        return ticks;
    for (double v = std::ceil(lo / step - 1e-9) * step; v <= hi + step * 1e-9 && ticks.size() < maxCount; v += step)
        ticks.push_back(std::abs(v) < step * 1e-9 ? 0.0 : v);
    return ticks;
}

std::vector<double> niceTicks(double lo, double hi, int maxTicks, size_t maxCount)
{
    return ticksAtStep(lo, hi, niceStep(hi - lo, std::max(1, maxTicks)), maxCount);
}

long long labelEvery(double tickSpacing, double minSpacing)
{
    long long every = 1;
    for (long long power = 1; power < (1LL << 40) && every * tickSpacing < minSpacing; power *= 10) {
        for (long long mantissa : {1LL, 2LL, 5LL}) {
            every = mantissa * power;
            if (every * tickSpacing >= minSpacing)
                break;
        }
    }
    return every;
}

std::pair<double, double> openedRange(double lo, double hi)
{
    if (lo > hi)
        std::swap(lo, hi);
    if (!(hi > lo)) {
        const double pad = lo != 0 ? std::abs(lo) * 0.05 : 0.5;
        lo -= pad;
        hi += pad;
    }
    return {lo, hi};
}

QString indepVarUnit(const QString &name)
{
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("freq") || n == QLatin1String("frequency"))
        return QStringLiteral("Hz");
    if (n == QLatin1String("time"))
        return QStringLiteral("s");
    if (n.startsWith(QLatin1Char('v')))
        return QStringLiteral("V");
    if (n.startsWith(QLatin1Char('i')))
        return QStringLiteral("A");
    return QString();
}

std::optional<GoalPlotRange> goalPlotRange(int scaling, const std::optional<GoalPlotRange> &limits,
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
        std::tie(r->yMin, r->yMax) = openedRange(r->yMin, r->yMax);
    }
    return r;
}

bool keepsGoalPlotRange(const GoalPlotRange &shown, const GoalPlotRange &computed)
{
    return computed.xMin == shown.xMin && computed.xMax == shown.xMax && computed.yMin >= shown.yMin
        && computed.yMax <= shown.yMax && computed.yMax - computed.yMin >= 0.85 * (shown.yMax - shown.yMin);
}

IterationAxis IterationAxis::make(int count, int numPointsShown, int plotLeft, int plotWidth, bool allIterations)
{
    IterationAxis axis;
    axis.first = firstShownIndex(count, numPointsShown);
    axis.slots = std::max(numPointsShown > 0 ? numPointsShown : count, count - axis.first);
    if ((numPointsShown <= 0 || allIterations) && axis.slots >= 1000) {
        long long q = 1;
        while (axis.slots / q >= 1000)
            q *= 10;
        const long long rounded = (axis.slots + q - 1) / q * q;
        axis.slots = int(std::min<long long>(rounded, std::numeric_limits<int>::max()));
        axis.stepped = true;
    }
    axis.left = plotLeft + 2.5;
    axis.width = std::max(1.0, plotWidth - 5.0);
    return axis;
}

double IterationAxis::xOf(double index) const
{
    if (slots <= 1)
        return left + width / 2;
    return left + (index - first) * width / (slots - 1);
}

int IterationAxis::indexAt(double x) const
{
    if (slots <= 1)
        return first;
    return first + int(std::lround((x - left) * (slots - 1) / width));
}

} // namespace GraphScale
