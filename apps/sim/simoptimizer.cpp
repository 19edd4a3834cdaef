#include "simoptimizer.h"

#include <nlopt.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

// ---------------------------------------------------------------- evaluator

SimEvaluator::SimEvaluator(const SimDesign &design, const SimParameterValues &fixed)
    : m_design(design)
    , m_fixed(fixed)
    , m_circuit(design)
{
}

void SimEvaluator::setGoals(const OptimItemList<OptimGoalInput> &goals, SimErrorForm form)
{
    m_error = SimErrorFunction(goals, m_design.analyses, form);
}

void SimEvaluator::checkGoals(const SimVariables &variables)
{
    if (!m_error.needsCheck())
        return;
    SimParameterValues parameters = m_fixed;
    parameters.append(m_held);
    parameters.append(variables.parameterValues(variables.values()));
    SimResponse response;
    // A failing simulation is not the expressions' fault: the run reports it.
    if (!m_circuit.simulate(parameters, m_error.probes(), response, nullptr))
        return;
    for (size_t g = 0; g < response.traces.size(); ++g) {
        if (response.traces[g].rejected)
            m_error.reject(int(g), response.traces[g].problem);
    }
}

SimEvaluation SimEvaluator::evaluate(const SimVariables &variables, const QList<double> &values)
{
    SimEvaluation e;
    e.values = values;
    if (values.size() != variables.count()) {
        e.message = QStringLiteral("%1 values for %2 variables").arg(values.size()).arg(variables.count());
        return e;
    }
    SimParameterValues parameters = m_fixed;
    parameters.append(m_held);
    parameters.append(variables.parameterValues(values));
    SimResponse response;
    QString why;
    if (!m_circuit.simulate(parameters, m_error.probes(), response, &why)) {
        e.message = why;
        return e;
    }
    e.error = m_error.evaluate(response);
    // A goal that saw no simulated point is not met: the evaluation fails with the reason.
    e.ok = e.error.problems.isEmpty();
    if (!e.ok)
        e.message = e.error.problems.join(QStringLiteral("; "));
    return e;
}

// ---------------------------------------------------------------- algorithm table

SimAlgorithmInfo simAlgorithmInfo(int code)
{
    using F = SimErrorForm;
    struct Row
    {
        int code;
        const char *name;
        F form;
        const char *method;
        bool continuous;
        bool discrete;
    };
    static const Row rows[] = {
        {1, "Random", F::LeastSquares, "NLopt GN_CRS2_LM (controlled random search)", true, true},
        {2, "Gradient", F::LeastSquares, "NLopt LD_MMA, forward-difference gradient", true, false},
        {3, "Random Minimax", F::Minimax, "NLopt GN_CRS2_LM on the minimax error", true, true},
        {4, "Gradient Minimax", F::Minimax, "NLopt LD_SLSQP on the minimax epigraph, forward-difference gradients", true, false},
        {5, "Quasi-Newton", F::LeastSquares, "NLopt LD_LBFGS, forward-difference gradient", true, false},
        {6, "Least Pth", F::LeastPth, "NLopt LD_CCSAQ on the least p-th error, forward-difference gradient", true, false},
        {7, "Minimax", F::Minimax, "NLopt LN_COBYLA on the minimax epigraph", true, false},
        {8, "Random Max", F::LeastSquares, "NLopt GN_ISRES (evolution strategy over the whole box)", true, true},
        {9, "Hybrid", F::LeastSquares, "NLopt GN_CRS2_LM for 30% of the iterations, then LN_BOBYQA", true, false},
        {10, "Discrete", F::LeastSquares, "own coordinate pattern search on the grid", false, true},
        {11, "Genetic", F::LeastSquares, "own genetic algorithm (tournament, uniform crossover, elitism)", true, true},
        {12, "Simulated Annealing", F::LeastSquares, "own simulated annealing (Metropolis, cooling schedule)", true, false},
    };
    for (const Row &r : rows) {
        if (r.code == code)
            return {r.code, QString::fromLatin1(r.name), r.form, QString::fromLatin1(r.method), r.continuous, r.discrete};
    }
    SimAlgorithmInfo fallback = simAlgorithmInfo(2);
    fallback.code = code;
    fallback.name = QStringLiteral("Unknown (%1), run as Gradient").arg(code);
    return fallback;
}

// ---------------------------------------------------------------- problem

SimProblem::SimProblem(SimEvaluator &evaluator, const SimVariables &variables, const SimSpace &space,
                       SimRunState &state, int limit, Observer observer)
    : m_evaluator(evaluator)
    , m_variables(variables)
    , m_space(space)
    , m_state(state)
    , m_limit(limit)
    , m_observer(std::move(observer))
{
}

std::vector<double> SimProblem::start() const
{
    return m_space.encode(m_state.hasBest ? m_state.best.values : m_variables.values());
}

double SimProblem::value(const std::vector<double> &x)
{
    // After a stop (for instance new variable definitions arrived while the
    // algorithm ran) the space may no longer match the variables: nothing
    // more is decoded or simulated until the next run builds a new one.
    if (stopRequested())
        return m_state.hasBest ? m_state.best.total() : SimEvaluation::kFailed;
    const QList<double> base = m_state.hasBest ? m_state.best.values : m_variables.values();
    const QList<double> values = m_space.decode(x, base);
    // An algorithm (re)starting at the best point asks for it first: that
    // is known already and no iteration.
    if (!m_evaluatedThisRun && m_state.hasBest && values == m_state.best.values) {
        m_evaluatedThisRun = true;
        m_lastResiduals = m_state.best.error.residuals;
        return m_state.best.total();
    }
    m_evaluatedThisRun = true;

    SimEvaluation e = m_evaluator.evaluate(m_variables, values);
    ++m_state.iteration;
    const bool improved = e.ok && (!m_state.hasBest || e.total() < m_state.best.total());
    if (improved || !m_state.hasBest) {
        m_state.best = e;
        m_state.hasBest = true;
        m_state.bestIteration = m_state.iteration;
    }
    m_lastResiduals = e.error.residuals;
    const double total = e.total();
    if (m_observer) {
        Report r;
        r.iteration = m_state.iteration;
        r.improved = improved;
        r.evaluation = &e;
        r.best = &m_state.best;
        m_observer(r);
    }
    if (!stopRequested() && improved && total <= 0)
        requestStop(SimStop::GoalsMet, QStringLiteral("All goals met"));
    if (!stopRequested() && m_state.iteration >= m_limit)
        requestStop(SimStop::IterationLimit);
    return total;
}

double SimProblem::probe(const std::vector<double> &x, std::vector<double> *residuals)
{
    if (stopRequested())
        return m_state.hasBest ? m_state.best.total() : SimEvaluation::kFailed;
    const QList<double> base = m_state.hasBest ? m_state.best.values : m_variables.values();
    const SimEvaluation e = m_evaluator.evaluate(m_variables, m_space.decode(x, base));
    if (residuals)
        *residuals = e.error.residuals;
    return e.total();
}

void SimProblem::requestStop(SimStop reason, const QString &message)
{
    if (m_stop == SimStop::None) {
        m_stop = reason;
        m_stopMessage = message;
    }
}

void SimProblem::resume(int limit)
{
    m_stop = SimStop::None;
    m_stopMessage.clear();
    m_limit = limit;
    m_evaluatedThisRun = false;
}

// ---------------------------------------------------------------- NLopt

namespace {

constexpr double kStep = 1e-5;  // forward-difference step in the unit cube

struct NloptRun
{
    SimProblem *problem = nullptr;
    nlopt::opt *opt = nullptr;
    bool gradient = false;
    int n = 0;
};

// Forward differences, backward at the upper bound.
void numericGradient(SimProblem &p, const std::vector<double> &x, double f, std::vector<double> &grad)
{
    std::vector<double> probe = x;
    for (size_t i = 0; i < x.size(); ++i) {
        const double h = x[i] + kStep <= 1.0 ? kStep : -kStep;
        probe[i] = x[i] + h;
        grad[i] = (p.probe(probe) - f) / h;
        probe[i] = x[i];
    }
}

double objective(const std::vector<double> &x, std::vector<double> &grad, void *data)
{
    auto *run = static_cast<NloptRun *>(data);
    const double f = run->problem->value(x);
    if (!grad.empty())
        numericGradient(*run->problem, x, f, grad);
    if (run->problem->stopRequested())
        run->opt->force_stop();
    return f;
}

// Minimax as an epigraph: minimize t subject to r_i(x) <= t for every
// residual; x is the first n coordinates, t the last.
double epigraphObjective(const std::vector<double> &xt, std::vector<double> &grad, void *)
{
    if (!grad.empty()) {
        std::fill(grad.begin(), grad.end(), 0.0);
        grad.back() = 1.0;
    }
    return xt.back();
}

void epigraphConstraints(unsigned m, double *result, unsigned nt, const double *xt, double *grad, void *data)
{
    auto *run = static_cast<NloptRun *>(data);
    const unsigned n = nt - 1;
    const std::vector<double> x(xt, xt + n);
    const double t = xt[n];
    run->problem->value(x);
    const std::vector<double> r = run->problem->lastResiduals();
    for (unsigned i = 0; i < m; ++i)
        result[i] = (i < r.size() ? r[i] : 0.0) - t;
    if (grad) {
        std::vector<double> probe = x;
        std::vector<double> rp;
        for (unsigned j = 0; j < n; ++j) {
            const double h = x[j] + kStep <= 1.0 ? kStep : -kStep;
            probe[j] = x[j] + h;
            run->problem->probe(probe, &rp);
            probe[j] = x[j];
            for (unsigned i = 0; i < m; ++i) {
                const double a = i < r.size() ? r[i] : 0.0;
                const double b = i < rp.size() ? rp[i] : 0.0;
                grad[i * nt + j] = (b - a) / h;
            }
        }
        for (unsigned i = 0; i < m; ++i)
            grad[i * nt + n] = -1.0;
    }
    if (run->problem->stopRequested())
        run->opt->force_stop();
}

SimOutcome outcomeOf(SimProblem &p, nlopt::result result)
{
    if (p.stopRequested())
        return p.stopOutcome();
    switch (result) {
    case nlopt::STOPVAL_REACHED:
        return {SimStop::GoalsMet, QStringLiteral("All goals met")};
    case nlopt::MAXEVAL_REACHED:
    case nlopt::MAXTIME_REACHED:
        return {SimStop::IterationLimit, QString()};
    default:
        return {SimStop::Converged, QStringLiteral("Converged")};
    }
}

// NLopt gives up with a generic failure now and then (a line search that
// cannot progress on a kinked error surface): the best point so far stands,
// and that is an end of the run, not a failure of the simulation.
SimOutcome nloptFailure(SimProblem &p, const std::exception &e)
{
    if (p.stopRequested())
        return p.stopOutcome();
    return {SimStop::Converged, QStringLiteral("Stopped: NLopt reports %1").arg(QString::fromLocal8Bit(e.what()))};
}

// Runs NLopt from x and maps how it ended to the run's outcome: the
// exceptions NLopt throws for a forced stop and for a round-off limit are
// ordinary ends, and no exception leaves the optimizer.
SimOutcome optimizeWith(nlopt::opt &opt, SimProblem &p, std::vector<double> &x)
{
    double f = 0;
    try {
        return outcomeOf(p, opt.optimize(x, f));
    } catch (const nlopt::forced_stop &) {
        return outcomeOf(p, nlopt::FORCED_STOP);
    } catch (const nlopt::roundoff_limited &) {
        return outcomeOf(p, nlopt::ROUNDOFF_LIMITED);
    } catch (const std::exception &e) {
        return nloptFailure(p, e);
    }
}

SimOutcome runNlopt(nlopt::algorithm algorithm, SimProblem &p, std::mt19937 &random, bool gradient, bool local)
{
    const unsigned n = unsigned(p.dimension());
    nlopt::opt opt(algorithm, n);
    NloptRun run{&p, &opt, gradient, int(n)};
    nlopt::srand(random());
    opt.set_lower_bounds(std::vector<double>(n, 0.0));
    opt.set_upper_bounds(std::vector<double>(n, 1.0));
    opt.set_min_objective(objective, &run);
    opt.set_stopval(0.0);
    opt.set_maxeval(std::max(1, p.remaining()) * 4 + 100);  // a safety net; the problem counts iterations
    if (local) {
        opt.set_xtol_rel(1e-7);
        opt.set_ftol_rel(1e-10);
    }
    std::vector<double> x = p.start();
    return optimizeWith(opt, p, x);
}

SimOutcome runEpigraph(nlopt::algorithm algorithm, SimProblem &p, bool gradient)
{
    const unsigned n = unsigned(p.dimension());
    const std::vector<double> x = p.start();
    // The residual count fixes the constraint count; the start point (the
    // best point) tells it.
    std::vector<double> r0 = p.state().best.error.residuals;
    if (!p.state().hasBest)
        p.probe(x, &r0);
    const unsigned m = unsigned(r0.size());
    if (m == 0)
        return {SimStop::Converged, QStringLiteral("No goal points to optimize")};
    const double t0 = *std::max_element(r0.begin(), r0.end());

    nlopt::opt opt(algorithm, n + 1);
    NloptRun run{&p, &opt, gradient, int(n)};
    std::vector<double> lower(n + 1, 0.0);
    std::vector<double> upper(n + 1, 1.0);
    upper[n] = HUGE_VAL;
    opt.set_lower_bounds(lower);
    opt.set_upper_bounds(upper);
    opt.set_min_objective(epigraphObjective, &run);
    opt.add_inequality_mconstraint(epigraphConstraints, &run, std::vector<double>(m, 1e-9));
    opt.set_stopval(0.0);
    opt.set_maxeval(std::max(1, p.remaining()) * 4 + 100);
    opt.set_xtol_rel(1e-7);
    opt.set_ftol_rel(1e-10);
    std::vector<double> xt = x;
    xt.push_back(t0);
    std::vector<double> step(n + 1, 0.05);
    step[n] = std::max(t0 * 0.1, 1e-3);
    if (!gradient)
        opt.set_initial_step(step);
    return optimizeWith(opt, p, xt);
}

// ---------------------------------------------------------------- own algorithms

// Coordinate pattern search on the grid: try a step up and down along each
// axis, move on improvement, halve the step when nothing improves; converged
// when steps of one grid point improve nothing.
SimOutcome runDiscrete(SimProblem &p)
{
    const int n = p.dimension();
    std::vector<int> sizes(static_cast<size_t>(n));
    int largest = 1;
    for (int i = 0; i < n; ++i) {
        sizes[size_t(i)] = std::max(1, p.space().gridSize(i));
        largest = std::max(largest, sizes[size_t(i)]);
    }
    const auto toX = [&](const std::vector<int> &k) {
        std::vector<double> x(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            x[size_t(i)] = sizes[size_t(i)] > 1 ? double(k[size_t(i)]) / double(sizes[size_t(i)] - 1) : 0.0;
        return x;
    };
    std::vector<int> k(static_cast<size_t>(n));
    const std::vector<double> x0 = p.start();
    for (int i = 0; i < n; ++i)
        k[size_t(i)] = int(std::lround(x0[size_t(i)] * double(sizes[size_t(i)] - 1)));

    std::map<std::vector<int>, double> seen;
    const auto error = [&](const std::vector<int> &point) {
        auto it = seen.find(point);
        if (it != seen.end())
            return it->second;
        const double e = p.value(toX(point));
        seen.emplace(point, e);
        return e;
    };
    double best = error(k);
    int step = std::max(1, (largest - 1) / 4);
    while (!p.stopRequested()) {
        if (best <= 0)
            return {SimStop::GoalsMet, QStringLiteral("All goals met")};
        bool improved = false;
        for (int i = 0; i < n && !p.stopRequested(); ++i) {
            for (int dir : {1, -1}) {
                std::vector<int> c = k;
                c[size_t(i)] = std::clamp(c[size_t(i)] + dir * step, 0, sizes[size_t(i)] - 1);
                if (c == k)
                    continue;
                const double e = error(c);
                if (p.stopRequested())
                    break;
                if (e < best) {
                    best = e;
                    k = c;
                    improved = true;
                    break;
                }
            }
        }
        if (p.stopRequested())
            break;
        if (!improved) {
            if (step == 1)
                return {SimStop::Converged, QStringLiteral("Converged: no neighbouring grid point is better")};
            step = std::max(1, step / 2);
        }
    }
    return p.stopOutcome();
}

// Genetic algorithm on the unit cube with discrete coordinates on their
// grid: tournament selection of two, uniform crossover, per-gene mutation
// (Gaussian for continuous genes, one or two grid steps for discrete
// ones), the two best kept from one generation to the next.
SimOutcome runGenetic(SimProblem &p, std::mt19937 &random)
{
    const int n = p.dimension();
    const int population = std::clamp(4 + 3 * n, 8, 24);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> gauss(0.0, 0.1);
    struct Individual
    {
        std::vector<double> x;
        double e = 0;
    };
    std::vector<Individual> pop;
    const auto add = [&](std::vector<double> x) {
        x = p.space().snap(x);
        const double e = p.value(x);
        pop.push_back({x, e});
    };
    add(p.start());
    while (int(pop.size()) < population && !p.stopRequested()) {
        std::vector<double> x(static_cast<size_t>(n));
        for (double &v : x)
            v = uniform(random);
        add(x);
    }
    const double mutation = std::max(1.0 / n, 0.2);
    while (!p.stopRequested()) {
        std::sort(pop.begin(), pop.end(), [](const Individual &a, const Individual &b) { return a.e < b.e; });
        if (pop.front().e <= 0)
            return {SimStop::GoalsMet, QStringLiteral("All goals met")};
        std::vector<Individual> next(pop.begin(), pop.begin() + std::min<size_t>(2, pop.size()));
        const auto pick = [&]() -> const Individual & {
            const Individual &a = pop[size_t(random() % pop.size())];
            const Individual &b = pop[size_t(random() % pop.size())];
            return a.e <= b.e ? a : b;
        };
        std::vector<Individual> children;
        while (int(next.size() + children.size()) < population && !p.stopRequested()) {
            const Individual &a = pick();
            const Individual &b = pick();
            std::vector<double> x(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) {
                double v = uniform(random) < 0.5 ? a.x[size_t(i)] : b.x[size_t(i)];
                if (uniform(random) < mutation) {
                    const int size = p.space().gridSize(i);
                    if (size > 1) {
                        const int steps = (uniform(random) < 0.5 ? 1 : 2) * (uniform(random) < 0.5 ? -1 : 1);
                        v += double(steps) / double(size - 1);
                    } else {
                        v += gauss(random);
                    }
                }
                x[size_t(i)] = std::clamp(v, 0.0, 1.0);
            }
            x = p.space().snap(x);
            const double e = p.value(x);
            children.push_back({x, e});
        }
        next.insert(next.end(), children.begin(), children.end());
        pop = std::move(next);
    }
    return p.stopOutcome();
}

// Simulated annealing: Gaussian moves that shrink as the temperature falls
// over the iteration budget; a worse point is taken with probability
// exp(-relative increase / temperature).
SimOutcome runAnnealing(SimProblem &p, std::mt19937 &random)
{
    const int n = p.dimension();
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<double> x = p.start();
    double e = p.value(x);
    const int first = p.state().iteration;
    const int budget = std::max(1, p.limit() - first);
    while (!p.stopRequested()) {
        if (p.state().hasBest && p.state().best.total() <= 0)
            return {SimStop::GoalsMet, QStringLiteral("All goals met")};
        const double progress = std::clamp(double(p.state().iteration - first) / budget, 0.0, 1.0);
        const double temperature = 0.5 * (1.0 - progress) * (1.0 - progress) + 1e-3;
        const double sigma = 0.02 + 0.2 * (1.0 - progress);
        std::vector<double> c = x;
        // Move one or two coordinates at a time: whole-vector moves in five
        // or more dimensions are nearly always worse.
        const int moves = n > 1 && uniform(random) < 0.5 ? 2 : 1;
        for (int m = 0; m < moves; ++m) {
            const size_t i = size_t(random() % unsigned(std::max(1, n)));
            if (i < c.size())
                c[i] = std::clamp(c[i] + sigma * gauss(random), 0.0, 1.0);
        }
        const double ec = p.value(c);
        const double scale = std::max(std::fabs(e), 1e-12);
        if (ec <= e || uniform(random) < std::exp(-(ec - e) / (temperature * scale))) {
            x = c;
            e = ec;
        }
    }
    return p.stopOutcome();
}

}  // namespace

SimOutcome simRunAlgorithm(int code, SimProblem &p, std::mt19937 &random)
{
    // Iteration 0: the start point.
    if (!p.state().hasBest) {
        p.value(p.start());
        if (p.stopRequested())
            return p.stopOutcome();
        p.restartAtBest();
    }
    if (p.state().hasBest && p.state().best.ok && p.state().best.total() <= 0)
        return {SimStop::GoalsMet, QStringLiteral("All goals met")};
    if (p.dimension() == 0)
        return {SimStop::Converged, QStringLiteral("No variables to optimize for this algorithm")};
    if (p.remaining() <= 0)
        return {SimStop::IterationLimit, QString()};

    switch (code) {
    case 1:
    case 3:
        return runNlopt(nlopt::GN_CRS2_LM, p, random, false, false);
    case 4:
        return runEpigraph(nlopt::LD_SLSQP, p, true);
    case 5:
        return runNlopt(nlopt::LD_LBFGS, p, random, true, true);
    case 6:
        return runNlopt(nlopt::LD_CCSAQ, p, random, true, true);
    case 7:
        return runEpigraph(nlopt::LN_COBYLA, p, false);
    case 8:
        return runNlopt(nlopt::GN_ISRES, p, random, false, false);
    case 9: {
        const int limit = p.limit();
        const int globalPhase = std::max(1, int(p.remaining() * 0.3));
        p.resume(p.state().iteration + globalPhase);
        SimOutcome first = runNlopt(nlopt::GN_CRS2_LM, p, random, false, false);
        if (first.stop != SimStop::IterationLimit || p.state().iteration >= limit)
            return first;
        p.resume(limit);
        return runNlopt(nlopt::LN_BOBYQA, p, random, false, true);
    }
    case 10:
        return runDiscrete(p);
    case 11:
        return runGenetic(p, random);
    case 12:
        return runAnnealing(p, random);
    case 2:
    default:
        return runNlopt(nlopt::LD_MMA, p, random, true, true);
    }
}
