#pragma once

// Applies the simulator's messages, the user's edits and tuning values to one
// OptimizationModel and tells the views what changed. Signals are emitted
// synchronously after the model has changed, so slots see the new state.

#include "optimizationmodel.h"

#include <QObject>

class OptimizationModelObject : public QObject
{
    Q_OBJECT

public:
    // Where a value is applied, combined as bits: the definition's current
    // value, the latest state, and the history (append).
    enum Target { TargetInput = 1, TargetOutput = 2, TargetHistory = 4, TargetAll = 7 };

    explicit OptimizationModelObject(QObject *parent = nullptr);

    const OptimizationModel &model() const { return m_model; }
    // Replaces the whole model (recalling a saved state); emits nothing.
    void setModel(const OptimizationModel &model) { m_model = model; }

    void setModelInput(const OptimModelInput &input);
    void replaceModelInput(const OptimModelInput &input);
    void setAlgorithmDefinition(const OptimAlgInput &algorithm);
    void setAlgorithmDefinition(const OptimIterAlgorithmDefinition &definition);
    void setGoalDefinitions(const OptimIterGoalDefinitions &definitions);
    void setVariableDefinitions(const OptimIterVariableDefinitions &definitions);
    void appendGoal(const OptimGoalInput &goal);
    void appendVariable(const OptimVarInput &variable);

    void setStatus(int status);
    void applyStatus(const OptimStatus &status);
    void applyIteration(const OptimIter &iteration);
    void applySimResult(const OptimIterSimResult &result);
    void applyNoProgress(const OptimIterNoProgress &noProgress);
    void applyCollapsedIterations(const OptimIterCollapsedIterations &batch);

    void setVariableValue(const QString &netlistName, const QString &value, int targets);
    void applyVariableValues(const QStringList &values, int targets);

    void rememberValuesBeforeTuning();
    void forgetValuesBeforeTuning();
    void restoreValuesBeforeTuning();

    // True while goalChanged is emitted for goal after goal of one change
    // (an iteration, tuning); goalsChanged follows the last of them. A view
    // that redraws all goals at once waits for goalsChanged meanwhile, so
    // one iteration costs it one redraw, not one per goal.
    bool isChangingGoals() const { return m_changingGoals; }

Q_SIGNALS:
    void algorithmChanged();
    void variableChanged(int k);
    // The values of variables 0 to count - 1 changed at once (an iteration,
    // a simulation result): each has its new value and history entry.
    // variableChanged is not emitted for them; a view brings all of them up
    // to date, at the cost of one signal per iteration instead of one per
    // variable.
    void variablesChanged(int count);
    void variableAdded(int k);
    void goalChanged(int k);
    void goalAdded(int k);
    void goalsChanged();

private:
    void extendOutputsAndHistories();
    void applyVariableValue(int k, const QString &value, int targets);
    void applyAlgorithmState(const OptimAlgOutput &state, int targets);
    void applyGoalOutputs(const OptimItemList<OptimGoalOutput> &goals, int targets);
    void applyVariableOutputs(const OptimItemList<OptimVarOutput> &variables, int targets);
    void replaceGoals(const OptimItemList<OptimGoalInput> &goals);
    void replaceVariables(const OptimItemList<OptimVarInput> &variables);
    void dropLastIteration();
    qsizetype historyLength() const { return m_model.history().algorithm().values().size(); }

    // Emits goalChanged for each goal in turn, then goalsChanged once.
    template<typename Each>
    void changeGoals(qsizetype count, Each each);

    OptimizationModel m_model;
    bool m_changingGoals = false;
};
