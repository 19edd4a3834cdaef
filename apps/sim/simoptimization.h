#pragma once

// One optimization of a design (one entry of a sweep): its definitions as
// the helmdeck sees them, the current variable values, the iteration count
// and best point, the algorithm runs, and the records the helmdeck gets.
//
// The current values follow the best point while the optimizer runs; values
// the helmdeck sends (tuning) replace them, and the next run starts there.
// Any change of definitions or values forgets the best point, because its
// error no longer means the same; the iteration count goes on.

#include "simdesign.h"
#include "simoptimizer.h"

#include "model/optimitermessages.h"

#include <memory>
#include <random>

class SimOptimization
{
public:
    SimOptimization(const SimDesign &design, int index, quint32 seed = 4242);

    int index() const { return m_index; }
    // The definitions with the current values as the variables' values. The
    // variables have no display name: the design's host tells those.
    OptimModelInput modelInput() const;

    SimAlgorithmInfo algorithm() const { return simAlgorithmInfo(m_algorithm.algorithmType()); }
    const OptimAlgInput &algorithmInput() const { return m_algorithm; }
    int maxIterations() const;
    int iteration() const { return m_state.iteration; }
    bool limitReached() const;
    bool hasBest() const { return m_state.hasBest; }
    const SimEvaluation &best() const { return m_state.best; }
    const SimVariables &variables() const { return m_variables; }
    qint64 simulationCount() const { return m_evaluator.simulationCount(); }
    // Problems with the current definitions (unparsable values, unknown expressions).
    QStringList problems() const;
    // Why a run cannot start (no goal, or none that can be evaluated); empty when it can.
    QString refusal() const;

    // Changes from the helmdeck; each answers whether something changed.
    // Definitions whose netlist names cannot be SPICE parameter names are
    // not taken; refused says why. Definitions taken make their values the
    // current point, also when they equal the ones taken before.
    bool setVariableDefinitions(const OptimItemList<OptimVarInput> &variables, QStringList *refused = nullptr);
    bool setGoalDefinitions(const OptimItemList<OptimGoalInput> &goals);
    bool setAlgorithm(const OptimAlgInput &algorithm);
    // Empty texts leave a variable as it is; texts that do not read are listed.
    bool setVariableValues(const QStringList &values, QStringList *rejected = nullptr);

    // Runs the algorithm from the best point (or the current values) until
    // the iteration limit, convergence or requestStop; SimStop::Refused
    // without a simulation when refusal() says why not. The observer sees
    // every iteration and may call requestStop.
    SimOutcome run(const SimProblem::Observer &observer);
    void requestStop(SimStop reason, const QString &message = QString());

    // Simulates the current values (not an iteration).
    SimEvaluation simulateCurrent();

    // Records for the helmdeck.
    OptimAlgOutput algorithmOutput(int status, const QString &stoppingReason, bool simulationOk = true) const;
    OptimGoalOutput goalOutput(int goal, const SimEvaluation &evaluation) const;
    OptimIter iterMessage(const SimEvaluation &evaluation, const OptimAlgOutput &algorithm, long commandId) const;
    // Per-goal history texts and variable value texts of an evaluation.
    QStringList goalValueTexts(const SimEvaluation &evaluation) const;
    QStringList variableValueTexts(const SimEvaluation &evaluation) const;

    static QString number(double value);

private:
    void forgetBest();
    void setGoals(SimErrorForm form);

    const SimDesign &m_design;
    int m_index;
    OptimAlgInput m_algorithm;
    OptimItemList<OptimGoalInput> m_goals;
    SimVariables m_variables;
    SimEvaluator m_evaluator;
    SimRunState m_state;
    std::mt19937 m_random;
    SimProblem *m_problem = nullptr;  // while run() runs
    QStringList m_variableProblems;
};
