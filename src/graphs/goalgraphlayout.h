#pragma once

// What the goal plot's files share (goalgraphwidget.cpp, goalgraphrange.cpp,
// goalgraphpainter.cpp): the layout at one size and a few small rules.

#include "goalgraphwidget.h"
#include "graphaxes.h"

#include <QRect>

#include <algorithm>
#include <cmath>
#include <limits>

namespace GoalGraphDetail {

inline constexpr double kInf = std::numeric_limits<double>::infinity();

inline QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

// Position of the swept variable (the traces' independent variable) among
// the goal's independent variables; with a single one, that one; else -1.
int sweptVariableIndex(const OptimGoalInput &goal, const OptimTraceFamily &traces);

// The limit's response values: one for GreaterThan, LessThan and EqualTo,
// two for Inside and Outside (those that read as numbers).
std::vector<double> limitValues(const OptimGoalLimitInput &limit);

} // namespace GoalGraphDetail

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
    QString xCaption; // xName shortened to at most a third of the width
    bool xLog = false; // the swept axis places log10 of its values
    QString yCaption; // the goal's expression, left of the value labels

    // Data to pixel coordinates, kept within +-1e6 so that a far-off point
    // still draws as a line leaving the plot.
    double xOf(double x) const
    {
        const double left = plot.left() + 1, width = std::max(1, plot.width() - 2);
        if (xLog)
            return x > 0 ? std::clamp(left + std::log10(x / range->xMin) * width / std::log10(range->xMax / range->xMin), -1e6, 1e6)
                         : -1e6;
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
        const double t = (px - plot.left() - 1) / std::max(1, plot.width() - 2);
        if (xLog)
            return range->xMin * std::pow(range->xMax / range->xMin, t);
        return range->xMin + t * (range->xMax - range->xMin);
    }
    // Pixel row to the response.
    double yAt(double py) const
    {
        return range->yMax - (py - plot.top() - 1) * (range->yMax - range->yMin) / std::max(1, plot.height() - 2);
    }
};
