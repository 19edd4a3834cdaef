#pragma once

// The simulator as the controller sees it: a set of slots, each of which
// becomes a command, a plain message or a data block for the simulator,
// and the modelChanged signals through which its messages come back.
// Tests substitute a recording implementation.

#include "model/optimizationmodel.h"

#include <QObject>
#include <QString>

class OptimAbstractSimIFC : public QObject
{
    Q_OBJECT

public:
    explicit OptimAbstractSimIFC(QObject *parent = nullptr);
    ~OptimAbstractSimIFC() override;

    // A free integer the owner may attach to the interface; stores and
    // returns it.
    virtual int setTag(int tag);
    int tag() const { return m_tag; }

    // Whether this helmdeck's simulator is still the host's current one.
    virtual bool isSimulatorCurrent() = 0;

    // Why the last updateDesign did not write the design, in words for the
    // user; empty when the design was written. Implementations set it on
    // every updateDesign.
    const QString &designUpdateProblem() const { return m_designUpdateProblem; }

Q_SIGNALS:
    // What the simulator reported; the controller connects to each overload.
    void modelChanged(OptimStatus optimStatus);
    void modelChanged(OptimIterSimResult result);
    void modelChanged(OptimIter iter);
    void modelChanged(OptimIterNoProgress iter);
    void modelChanged(OptimIterCollapsedIterations iters);

public Q_SLOTS:
    virtual void pauseOptimizationSlot() = 0;
    virtual void continueOptimizationSlot() = 0;
    virtual void simulateSlot(long commandId) = 0;
    virtual void finishSimulationSlot() = 0;
    virtual void killSimulatorSlot() = 0;
    virtual void disconnectSimulatorSlot() = 0;
    virtual void changeVarValuesSlot(OptimIterVariableValues values) = 0;
    virtual void changeAlgorithmDefinitionSlot(OptimIterAlgorithmDefinition algorithmDef) = 0;
    virtual void changeGoalDefinitionsSlot(OptimIterGoalDefinitions goalDefs) = 0;
    virtual void changeVariableDefinitionsSlot(OptimIterVariableDefinitions varDefs) = 0;
    virtual void updateDesign(OptimizationModel model, bool updateAlgorithm, bool updateGoals, bool updateVariables) = 0;
    virtual void displayHelp(QString topic) = 0;

protected:
    void setDesignUpdateProblem(const QString &problem) { m_designUpdateProblem = problem; }

private:
    int m_tag = 0;
    QString m_designUpdateProblem;
};
