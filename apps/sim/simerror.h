#pragma once

// The error function: how far the simulated goal traces are from their
// limit lines.
//
// At every frequency point inside a limit's range the violation v >= 0 is
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
// A goal that sees no data is never met: a limit whose range lies outside
// the sweep makes the goal invalid when the goals are set, and a limit that
// finds no simulated point in its range makes the evaluation incomplete
// (SimErrorResult::problems), which the evaluator reports as a failure.

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
    QList<double> x;            // frequency, Hz
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
    // sweepStart..sweepStop (Hz) is the analysis' frequency range; limit
    // ranges entirely outside it make their goal invalid (0, 0: unchecked).
    SimErrorFunction(const OptimItemList<OptimGoalInput> &goals, const QString &analysisName, SimErrorForm form,
                     double sweepStart = 0, double sweepStop = 0);

    // The parsed expressions, one per goal (an invalid goal keeps a default).
    const QList<SimExpression> &expressions() const { return m_expressions; }
    SimErrorForm form() const { return m_form; }
    // Problems found in the goal definitions (unknown expression, analysis).
    const QStringList &problems() const { return m_problems; }
    int validGoalCount() const { return int(m_valid.count(true)); }

    SimErrorResult evaluate(const SimResponse &response) const;

    // Violation of one limit by the value y.
    static double violation(const OptimGoalLimitInput &limit, double y);

private:
    OptimItemList<OptimGoalInput> m_goals;
    QList<SimExpression> m_expressions;
    QList<bool> m_valid;
    QStringList m_goalProblems;
    QStringList m_problems;
    SimErrorForm m_form = SimErrorForm::LeastSquares;
};
