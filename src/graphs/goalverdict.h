#pragma once

// Pass or fail at a glance: whether a goal's latest traces meet its limits,
// and by how much.
//
// A limit's margin is how far its worst point lies inside the limit
// (positive or zero: met) or outside it (negative: not met), in the goal's
// own values:
//   GreaterThan v   min(y) - v
//   LessThan v      v - max(y)
//   EqualTo v       -max|y - v|; met while that is within 1e-6 of |v| (at
//                   least 1e-12), since simulated values are never exact
//   Inside a..b     min over the points of min(y - a, b - y)
//   Outside a..b    min over the points of max(a - y, y - b)
// Only points where the limit applies count: inside its range of the swept
// variable (a time goal over its time window, a DC sweep over its span of
// the source), on traces whose other variables lie in its ranges. A scalar
// goal (GoalGraphWidget::isScalarGoal) is judged by its values. A goal is met
// when every limit that has such points is met; its margin is the smallest.

#include <QString>

#include <span>

class OptimGoalInput;
class OptimGoalLimitInput;
class OptimGoalOutput;
class OptimizationModel;
class OptimTraceFamily;

struct GoalVerdict
{
    bool known = false; // false: no limit with a value and a point to judge
    bool met = false;
    double margin = 0.0;

    // One limit over the values where it applies (a and b: the limit's
    // values, in either order for Inside and Outside).
    static GoalVerdict judgeLimit(int limitType, double a, double b, std::span<const double> values);
    static GoalVerdict judgeLimit(const OptimGoalInput &goal, int limitIndex, const OptimTraceFamily &traces);
    static GoalVerdict judgeGoal(const OptimGoalInput &goal, const OptimTraceFamily &traces);

    // "met (margin 1.5)", "not met (short by 0.25)", or empty when unknown.
    QString text() const;
    // The Goals tab's cell: a green tick or a red cross with text().
    static QString cellHtml(const OptimGoalInput &goal, const OptimGoalOutput *output);
    // The verdict over every goal of the model by its latest traces: "all
    // goals met", or "2 of 3 goals not met" (a goal that cannot be judged
    // counts as not met); empty while no goal can be judged at all.
    static QString summaryText(const OptimizationModel &model);
};
