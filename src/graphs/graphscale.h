#pragma once

// The arithmetic of the window's graphs, apart from any widget: reading
// value texts, the vertical auto-scale, the iteration-axis tick step, "nice"
// tick values, the goal plot range, and the mapping between data and pixel
// coordinates. Everything here is a pure function of its arguments.

#include <QList>
#include <QString>

#include <cmath>
#include <optional>
#include <utility>
#include <vector>

// A rectangle in data coordinates (x: the swept variable, y: the response).
struct GoalPlotRange
{
    double xMin = 0;
    double xMax = 0;
    double yMin = 0;
    double yMax = 0;

    bool operator==(const GoalPlotRange &) const = default;
    GoalPlotRange united(const GoalPlotRange &other) const;
};

namespace GraphScale {

// Reads a value text as the graphs do: a plain number, or a number with an
// engineering suffix and unit ("10n", "10 nH", "-3 dB"), in base units;
// empty, unreadable and non-finite texts give nothing.
std::optional<double> parseValue(const QString &text);

// Iteration-axis tick step: n = numPointsShown or pointCount when 0;
// t = (n + 1) / 8; 0 when t is 0; else the last ladder value 1, 5, 10, 50,
// 100, ... whose successor exceeds t, at least 5, and 0 when it exceeds
// 10000.
int iterationTickStep(int numPointsShown, int pointCount);

// Vertical auto-scale over values (NaN = gap). Scans from
// max(0, count - numPointsShown) (from 0 when useAllData or numPointsShown
// is 0) to the end and sets the bounds that are not fixed. Returns false,
// leaving both bounds as they were, when both are fixed or there is no
// finite value to scan.
bool autoScale(const QList<double> &values, int numPointsShown, bool useAllData, bool yMinFixed, bool yMaxFixed,
               double &yMin, double &yMax);

// The vertical range of a log-scaled graph in decades (log10 of the values):
// from the smallest to the largest positive value, a flat range opened by
// half a decade below and above. Without a positive value (or with
// non-positive bounds) it is -1..1, 0.1 to 10, so an empty graph still has
// an axis.
std::pair<double, double> logRange(double minPositive, double maxPositive);
// Tick values of a log axis from 10^lo to 10^hi (lo and hi in decades): each
// power of ten, or every second, fifth, tenth, ... one when more than
// maxTicks would fall inside (the first and last decade when that leaves
// one); when fewer than two decades fall inside, 1, 2 and 5 times each power
// of ten; when still fewer than two, the two ends.
std::vector<double> logTicks(double lo, double hi, int maxTicks);

// The first index a window of numPointsShown latest points shows out of
// count (0 shows all).
int firstShownIndex(int count, int numPointsShown);

// A step of 1, 2 or 5 times a power of ten that divides span into at most
// about maxTicks parts; 0 for an empty span or maxTicks below 1.
double niceStep(double span, int maxTicks);
// The multiples of step (at most maxCount of them) from lo to hi, a value
// within rounding of zero written as 0.
std::vector<double> ticksAtStep(double lo, double hi, double step, size_t maxCount);
// ticksAtStep with niceStep(hi - lo, maxTicks).
std::vector<double> niceTicks(double lo, double hi, int maxTicks, size_t maxCount = 30);
// The smallest of 1, 2, 5, 10, 20, 50, ... whose multiple of tickSpacing
// reaches minSpacing: label every that many ticks to keep labels apart.
long long labelEvery(double tickSpacing, double minSpacing);

// lo..hi sorted; a flat range opened by 5 % of its value below and above
// (0.5 at zero), so a constant series still has a height.
std::pair<double, double> openedRange(double lo, double hi);

// The unit of an independent variable known by its name alone: "freq" (or
// "frequency") Hz, "time" s, a swept voltage source ("v1", "Vdd") V, a
// swept current source ("i1", "Ibias") A; empty for any other name. A unit
// the goal states for the variable takes precedence over this one.
QString indepVarUnit(const QString &name);

// How a goal plot fits its range (the option values 0, 1 and 2).
enum GoalPlotFit { FitToLimitLines = 0, FitToTrace = 1, FitToTraceAndLimitLines = 2 };
// The plot range for a scaling from the two extents (either falls back to
// the other when missing), the vertical range widened by 5 % below and
// above; a flat range is opened to +-5 % of its value (+-0.5 at 0).
std::optional<GoalPlotRange> goalPlotRange(int scaling, const std::optional<GoalPlotRange> &limits,
                                           const std::optional<GoalPlotRange> &trace);
// Whether a goal plot keeps showing the range `shown` rather than the newly
// computed `computed`: the same swept range, `computed` inside `shown` and at
// least 85 % of its height. The axes then hold still while the traces move a
// little, nothing falls outside the plot, and a trace that shrank much still
// gets a range that fits it.
bool keepsGoalPlotRange(const GoalPlotRange &shown, const GoalPlotRange &computed);

// The iteration axis of a history graph: `slots` places from pixel `left`
// across `width` pixels, the first showing point index `first`. When every
// iteration is shown (numPointsShown 0, or allIterations: numPointsShown is
// how far the run can go) the axis is exact up to 999 slots; from 1000 on it
// grows in steps (`stepped`): the slots are rounded up to a multiple of
// q = 10^(floor(log10(slots)) - 2), so new points land in place and the axis
// changes once per q of them, leaving at most about 1 % of the width empty
// ahead of the newest point.
struct IterationAxis
{
    int first = 0;
    int slots = 0;
    double left = 0;
    double width = 1;
    bool stepped = false;

    // count points of which the last numPointsShown are shown, drawn over
    // the pixels [plotLeft, plotLeft + plotWidth).
    static IterationAxis make(int count, int numPointsShown, int plotLeft, int plotWidth, bool allIterations = false);
    double xOf(double index) const;
    // The point index nearest to x (not clamped to the shown points).
    int indexAt(double x) const;
};

// The value axis of a graph: values lo (bottom) to hi (top) over `height`
// pixels from `top`. A log axis holds lo and hi in decades and places
// log10(value); a value at or below zero has no place on it (callers treat
// it as a gap: yOf gives infinity or NaN).
struct ValueAxis
{
    double lo = 0;
    double hi = 1;
    double top = 0;
    double height = 1;
    bool log = false;

    double yOf(double value) const
    {
        const double v = log ? std::log10(value) : value;
        return top + (hi - v) * height / (hi - lo);
    }
    // Whether value has a place on the axis (not a gap).
    bool shows(double value) const { return log ? value > 0 : !std::isnan(value); }
};

} // namespace GraphScale
