#pragma once

// The centre of one open helmdeck. It owns the window and the controller
// state, holds the optimization models and a guarded reference to the
// simulator interface, turns the window's user actions into commands for the
// simulator, applies the simulator's messages to the current model, and
// decides when a fresh simulation is requested automatically.

#include "state/optimhelmdeckcontrollerstate.h"
#include "link/optimabstractsimifc.h"
#include "model/optimizationmodelobject.h"
#include "state/optimhelmdecktunemode.h"
#include "window/windoweditors.h"

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QPointer>

class HelmdeckQuestions;
class StateManager;
class OptimHelmdeckDialog;

class OptimHelmdeckController : public QObject
{
    Q_OBJECT

public:
    // editors: the editor hooks of this helmdeck's window.
    OptimHelmdeckController(QObject *parent, bool multiOpt, bool interactive, const QIcon &windowIcon,
                            const OptimHelmdeckEditorHooks &editors = {});
    ~OptimHelmdeckController() override;

    OptimHelmdeckControllerState *state() const { return m_state; }
    OptimHelmdeckDialog *dialog() const;
    OptimizationModelObject *currentModel() const { return m_currentModel; }
    OptimizationModelObject *viewModel() const { return m_viewModel; }
    OptimAbstractSimIFC *simulator() const { return m_simulator; }
    OptimHelmdeckTuneMode tuneMode() const { return m_tuneMode; }
    // Every question and dialog over the window goes through this seam.
    HelmdeckQuestions *questions() const { return m_questions; }
    // The stored optimization states ("Store...", "Recall...").
    StateManager *stateManager() const { return m_stateManager; }
    // The close was accepted; the window and this controller go once no
    // question's loop is on the stack any more.
    bool isClosed() const { return m_closed; }

    // Closes the window as the host asks; answers whether it closed. A
    // question open meanwhile is answered as cancelled first.
    bool requestClose(bool closeWithoutQuestions, bool askOnClose);
    // The simulator was killed, disconnected or left; processEnded when its
    // process left the bus by itself rather than being stopped by the host.
    // An ended optimization without a stopping reason gets one in words.
    void simulatorGone(bool closeWindow, bool processEnded = false);
    // A command waits for the simulator's reply (the window shows it after a
    // second), and the simulator did not answer one before its deadline.
    void setWaitingForReply(bool waiting);
    void simulatorDoesNotAnswer();
    // The simulator answered a command after its deadline after all.
    void simulatorAnsweredLate();

Q_SIGNALS:
    void pauseOptimization();
    void continueOptimization();
    void startTuning();
    void stopTuning();
    void simulate(long commandId);
    void varValuesChanged(OptimIterVariableValues values);
    void algorithmDefinitionChanged(OptimIterAlgorithmDefinition algDef);
    void goalDefinitionsChanged(OptimIterGoalDefinitions goalDefs);
    void variableDefinitionsChanged(OptimIterVariableDefinitions varDefs);

public Q_SLOTS:
    void setSimulatorIFC(OptimAbstractSimIFC *simulatorIFC);
    void appendModelInput(OptimModelInput modelInput);
    void replaceModelInput(OptimModelInput model);
    void setSimulationIsFinished();

private Q_SLOTS:
    void updateModel(OptimStatus status);
    void updateModel(OptimIterSimResult result);
    void updateModel(OptimIter iteration);
    void updateModel(OptimIterNoProgress noProgress);
    void updateModel(OptimIterCollapsedIterations iterations);
    void updateModelInput(OptimModelInput input);
    void setModelToView(OptimizationModelObject *model);
    void handleTunedVariable(QString name, QString value);
    void handleStartTuning();
    void handleStopTuning();
    void handleResetTuning();
    void handleTuningStateChanged(bool tuning);
    void handlePause();
    void handleWaitingForSimulatorToPause(bool waitingForPause);
    void handleContinue();
    void handleSimulate();
    bool handleUpdateDesign();
    void handleAlgorithmDefinitionChanged(OptimAlgInput newAlg);
    void handleGoalDefinitionsChanged(OptimItemList<OptimGoalInput> newGoals);
    void handleVariableDefinitionsChanged(OptimItemList<OptimVarInput> newVars);
    void setTuneMode(OptimHelmdeckTuneMode mode);
    void handleOptionsClicked();
    void handleCloseRequest();
    void handleAutoCloseRequest();
    void handleHelpRequest(QString topic);
    void showHistoryGraphMenu(QPoint globalPos);
    void simulateIfTuningIfNeeded();

private:
    int modelStatus() const;
    void storeStateQuery();
    void recallStateQuery();
    void tellStatesProblem(const QString &message);
    bool viewsCurrentModel() const;
    bool acceptsDefinitionsFromView() const;
    // Writes the current optimization into the design (the close flow's
    // update, whichever optimization is on view).
    bool updateDesign();
    void requestSimulation();
    void sendPendingValues();
    void afterResult(bool maySimulate);
    // Asks whether to write the definitions back; false when the user
    // cancelled, so the close does not go on.
    bool offerDesignUpdate(bool designQuestionFlag);
    // The close flow with the state's close flags; true when the helmdeck
    // is closed (by this flow or by one that ran inside its questions).
    bool runCloseFlow();
    void finishClose();
    void deleteWhenAnswered();

    QPointer<OptimizationModelObject> m_viewModel;
    QPointer<OptimizationModelObject> m_currentModel;
    QPointer<OptimAbstractSimIFC> m_simulator;
    QPointer<OptimHelmdeckDialog> m_dialog;
    HelmdeckQuestions *m_questions = nullptr;
    StateManager *m_stateManager = nullptr;
    bool m_applyingRecall = false;
    bool m_closed = false;
    OptimHelmdeckTuneMode m_tuneMode = TuneAfterEachChange;
    OptimHelmdeckControllerState *m_state = nullptr;
    bool m_waitingForPause = false;
};
