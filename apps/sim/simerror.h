#pragma once

// The error function: how far the simulated goal traces are from their
// limit lines.
//
// At every point of a goal's trace inside a limit's range (the range is over
// the goal's independent variable: frequency, time, the swept source) the
// violation v >= 0 is
//   GreaterThan a: max(0, a - y)        LessThan a: max(0, y - a)
//   EqualTo a:     |y - a|
//   Inside a, b:   distance below min(a,b) or above max(a,b), else 0
//   Outside a, b:  inside the band (lo, hi): min(y - lo, hi - y), else 0
// W is the goal's weight and w the limit's (empty text: 1; negative: 0).
//
// Error forms (chosen by the algorithm):
//   LeastSquares: E = sum_goals W * sum_limits w * mean(v^2)
//   Minimax:      E = max over goals, limits and points of W * w * v
//   LeastPth:     E = (sum_goals W * sum_limits w * mean(v^p))^(1/p), p = 4
// A goal's contribution is its own term (its own maximum for Minimax); for
// LeastPth the terms are scaled so that the contributions add up to E.
// E is 0 exactly when every limit is met.
//
// A scalar goal (an operating point, a measurement) is one point; its limits
// have no range.
//
// A goal that sees no data is never met: a limit whose range lies outside
// the analysis makes the goal invalid when the goals are set, and a limit that
// finds no simulated point in its range, or a goal without a value, makes the
// evaluation incomplete (SimErrorResult::problems), which the evaluator
// reports as a failure.

#include "simcircuit.h"

#include "model/optiminputrecords.h"

#include <QList>
#include <QString>

#include <vector>

enum class SimErrorForm { LeastSquares, Minimax, LeastPth };

QString simErrorFormName(SimErrorForm form);

struct SimGoalResult
{
    bool valid = false;
    QString problem;            // why the goal could not be evaluated
    bool scalar = false;        // one value, no independent variable
    QString indepVar;           // "freq", "time", the swept source; empty for a scalar
    QString indepUnit;
    QList<double> x;            // the independent variable (empty for a scalar)
    QList<double> y;            // the expression's value
    double value = 0;           // the goal's own error term (unweighted by the goal's weight)
    double contribution = 0;    // its share of the total error
    QList<double> limitWorst;   // per limit: the largest violation in its range
};

struct SimErrorResult
{
    double total = 0;
    QList<SimGoalResult> goals;
    // Minimax residuals W * w * v, every limit point of every goal in order.
    std::vector<double> residuals;
    // Goals that could be evaluated but saw no point in a limit's range.
    QStringList problems;
};

class SimErrorFunction
{
public:
    static constexpr double kPth = 4.0;

    SimErrorFunction() = default;
    // Each goal's simInstanceName picks its analysis (empty: the first).
    // Limit ranges entirely outside the analysis make their goal invalid.
    SimErrorFunction(const OptimItemList<OptimGoalInput> &goals, const QList<SimAnalysis> &analyses, SimErrorForm form);

    // What each goal asks the simulation for, one per goal (an invalid goal's
    // probe has no analysis).
    const QList<SimProbe> &probes() const { return m_probes; }
    // Whether some goal's expression is left to ngspice to judge.
    bool needsCheck() const;
    // Marks goal g invalid: ngspice refused its expression.
    void reject(int g, const QString &why);
    SimErrorForm form() const { return m_form; }
    // Problems found in the goal definitions (unknown expression, analysis).
    const QStringList &problems() const { return m_problems; }
    int validGoalCount() const { return int(m_valid.count(true)); }

    SimErrorResult evaluate(const SimResponse &response) const;

    // Violation of one limit by the value y.
    static double violation(const OptimGoalLimitInput &limit, double y);

private:
    OptimItemList<OptimGoalInput> m_goals;
    QList<SimAnalysis> m_analyses;
    QList<SimProbe> m_probes;
    QList<bool> m_valid;
    QStringList m_goalProblems;
    QStringList m_problems;
    SimErrorForm m_form = SimErrorForm::LeastSquares;
};
