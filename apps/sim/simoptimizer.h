#pragma once

// Optimization: the evaluator (values -> simulation -> error), the problem
// an algorithm minimizes (the unit cube of SimSpace, counted iterations,
// the best point so far), and the twelve algorithms.
//
// An iteration is one point the algorithm asks the error of. Gradient
// methods also simulate n probe points per iteration for a forward-difference
// gradient; probes are not iterations. Iteration 0 is the start point.

#include "simcircuit.h"
#include "simerror.h"
#include "simvariables.h"

#include <functional>
#include <random>
#include <vector>

struct SimEvaluation
{
    bool ok = false;
    QString message;       // why the simulation failed
    QList<double> values;  // variable values (SimVariables convention)
    SimErrorResult error;

    // The error the optimizer minimizes; a failed simulation counts as huge.
    double total() const { return ok ? error.total : kFailed; }
    static constexpr double kFailed = 1e30;
};

class SimEvaluator
{
public:
    SimEvaluator(const SimDesign &design, const SimParameterValues &fixed);

    void setGoals(const OptimItemList<OptimGoalInput> &goals, SimErrorForm form);
    // Simulates the variables' current values once when some goal's
    // expression is left to ngspice: a goal whose expression ngspice refuses
    // becomes invalid with ngspice's message (errorFunction().problems()),
    // so that it is reported before a run starts rather than in the middle.
    void checkGoals(const SimVariables &variables);
    // Netlist parameters of variables that new definitions left out: they
    // keep the value they had, so the netlist still defines them.
    void setHeldParameters(const SimParameterValues &held) { m_held = held; }
    const SimParameterValues &heldParameters() const { return m_held; }
    const SimErrorFunction &errorFunction() const { return m_error; }

    SimEvaluation evaluate(const SimVariables &variables, const QList<double> &values);
    qint64 simulationCount() const { return m_circuit.simulationCount(); }

private:
    const SimDesign &m_design;
    SimParameterValues m_fixed;
    SimParameterValues m_held;
    SimCircuit m_circuit;
    SimErrorFunction m_error;
};

// What algorithm code n does (see docs/simulator.md).
struct SimAlgorithmInfo
{
    int code = 0;
    QString name;         // display name
    SimErrorForm form = SimErrorForm::LeastSquares;
    QString method;       // e.g. "NLopt LD_MMA, forward-difference gradient"
    bool continuous = false;
    bool discrete = false;
};

// Codes 1 to 12; any other code is treated as 2 (Gradient).
SimAlgorithmInfo simAlgorithmInfo(int code);

// Refused: the run did not start (no goal can be evaluated); the message says why.
enum class SimStop { None, IterationLimit, Converged, GoalsMet, Interrupted, Failed, Refused };

struct SimOutcome
{
    SimStop stop = SimStop::None;
    QString message;
};

// The iteration count and best point, carried across algorithm restarts.
struct SimRunState
{
    int iteration = -1;  // last counted iteration; -1 before the start point
    bool hasBest = false;
    SimEvaluation best;
    int bestIteration = -1;  // the iteration that found the best point
};

class SimProblem
{
public:
    struct Report
    {
        int iteration = 0;
        bool improved = false;
        const SimEvaluation *evaluation = nullptr;  // the point just evaluated
        const SimEvaluation *best = nullptr;        // the best so far (after this one)
    };
    using Observer = std::function<void(const Report &)>;

    // Iterations stop at limit (the iteration number that is the last).
    SimProblem(SimEvaluator &evaluator, const SimVariables &variables, const SimSpace &space, SimRunState &state,
               int limit, Observer observer);

    int dimension() const { return m_space.dimension(); }
    const SimSpace &space() const { return m_space; }
    const SimRunState &state() const { return m_state; }
    int limit() const { return m_limit; }
    int remaining() const { return std::max(0, m_limit - m_state.iteration); }

    // The start point of an algorithm: the best point so far (or the current values).
    std::vector<double> start() const;

    // A counted iteration: simulates x (snapped) and reports it; answers the error.
    double value(const std::vector<double> &x);
    // The residuals of the last point given to value() (Minimax form).
    const std::vector<double> &lastResiduals() const { return m_lastResiduals; }
    // An uncounted evaluation (gradient probes).
    double probe(const std::vector<double> &x, std::vector<double> *residuals = nullptr);

    void requestStop(SimStop reason, const QString &message = QString());
    bool stopRequested() const { return m_stop != SimStop::None; }
    SimOutcome stopOutcome() const { return {m_stop, m_stopMessage}; }
    // Lifts a stop and sets another limit (the two phases of Hybrid).
    void resume(int limit);
    // The next algorithm start at the best point is no new iteration again.
    void restartAtBest() { m_evaluatedThisRun = false; }

private:
    SimEvaluator &m_evaluator;
    const SimVariables &m_variables;
    SimSpace m_space;
    SimRunState &m_state;
    int m_limit;
    Observer m_observer;
    bool m_evaluatedThisRun = false;
    std::vector<double> m_lastResiduals;
    SimStop m_stop = SimStop::None;
    QString m_stopMessage;
};

// Evaluates the start point when the state has none yet (iteration 0), then
// runs the algorithm until the problem's limit, convergence or a stop.
SimOutcome simRunAlgorithm(int code, SimProblem &problem, std::mt19937 &random);
