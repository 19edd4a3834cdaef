#pragma once

// What one open helmdeck waits for, whether tuning is on, whether the shown
// results are stale, and the display settings several views share. The
// controller changes it; the window and its views listen to its signals.
// Three display settings persist in the settings store.

// The model object is complete here: the guarded pointer's getter and the
// meta-type of modelAdded's argument need the full class.
#include "model/optimizationmodelobject.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class OptimHelmdeckControllerState : public QObject
{
    Q_OBJECT

public:
    enum WaitKind { WaitNone = 0, WaitPause = 1, WaitContinue = 2, WaitSimulate = 3 };

    OptimHelmdeckControllerState(bool multiOpt, bool interactive, QObject *parent = nullptr);
    ~OptimHelmdeckControllerState() override;

    bool isMultiOpt() const { return m_multiOpt; }
    bool isInteractive() const { return m_interactive; }

    // Models of this helmdeck and the one being shown.
    void addModel(OptimizationModelObject *model);
    QList<OptimizationModelObject *> models() const;
    void setViewModel(OptimizationModelObject *model);
    OptimizationModelObject *viewModel() const { return m_viewModel; }

    // Wait state.
    void setWaitingFor(int kind);
    void stopWaiting();
    void answerReceived(int status);
    int waitingFor() const { return m_waitingFor; }

    // Tuning.
    void turnOnTuning();
    void turnOffTuning();
    bool inTuning() const { return m_inTuning; }

    // Changes and staleness.
    void setValuesChanged(bool changed);
    void setAlgorithmChanged(bool changed);
    void setGoalsChanged(bool changed);
    void setVariablesChanged(bool changed);
    bool valuesChanged() const { return m_valuesChanged; }
    bool algorithmChanged() const { return m_algorithmChanged; }
    bool goalsChanged() const { return m_goalsChanged; }
    bool variablesChanged() const { return m_variablesChanged; }
    void resultReceived(long commandId, bool simulationOk);
    void setLastSimulationFailed(bool failed);
    bool lastSimulationFailed() const { return m_lastSimulationFailed; }
    void clearStale();
    void setStale(bool stale, bool startTimer);
    bool dataStale() const { return m_dataStale; }
    bool canSimulate() const;
    bool isStaleTimerActive() const { return m_staleTimer.isActive(); }

    // Command ids: the first id handed out is 0.
    long nextCommandId();
    long currentCommandId() const { return m_commandId; }
    long lastResultCommandId() const { return m_lastResultCommandId; }

    void setSimulationFinished();
    bool simulationRunning() const { return m_simulationRunning; }

    bool designUpdated() const { return m_designUpdated; }
    void setDesignUpdated(bool updated) { m_designUpdated = updated; }

    // Close flags used by the controller's close flow.
    bool closeWithoutQuestions() const { return m_closeWithoutQuestions; }
    void setCloseWithoutQuestions(bool on) { m_closeWithoutQuestions = on; }
    bool askOnClose() const { return m_askOnClose; }
    void setAskOnClose(bool on) { m_askOnClose = on; }
    bool designQuestionFlag() const { return m_designQuestionFlag; }
    void setDesignQuestionFlag(bool on) { m_designQuestionFlag = on; }

    // Display settings.
    int numIterations() const { return m_numIterations; }
    int numItersToDisplay() const { return m_numItersToDisplay; }
    void setNumItersToDisplay(int setting);
    // numIterations + 1 for setting 0, 10 for 1, 25 for 2, else 0.
    int iterationsToDisplay() const;
    bool yAxisAutoscaleUsingAllData() const { return m_yAxisAutoscaleUsingAllData; }
    void setYAxisAutoscaleUsingAllData(bool useAll);
    int goalXAxisScaling() const { return m_goalXAxisScaling; }
    void setGoalXAxisScaling(int scaling);
    // Log scale for the error history graphs; stored in the settings at
    // once, so the next window opens with it.
    bool historyLogScale() const { return m_historyLogScale; }
    void setHistoryLogScale(bool on);

Q_SIGNALS:
    void modelAdded(OptimizationModelObject *model);
    void noLongerWaiting();
    void waitStateChanged();
    void changeWaitingForSimulatorToContinue(bool isWaiting);
    void changeWaitingForSimulatorToPause(bool isWaiting);
    void changeWaitingForSimulatorToSimulate(bool isWaiting);
    void tuningStateChanged(bool inTuning);
    void staleDataChanged(bool isStale);
    void numIterationsToDisplayChanged(int n);
    void yAutoScaleUsingAllDataChanged(bool scaleUsingAll);
    void simulationFinished();
    void goalXAxisScalingChanged(int scaling);
    void historyLogScaleChanged(bool on);

private Q_SLOTS:
    void staleTimerSlot();
    void turnOnTuningSlot();
    void updateNumberOfIterationsToDisplay();

private:
    void emitWaitChange(int kind, bool waiting);
    void markChanged(bool changed);

    bool m_multiOpt;
    bool m_interactive;
    QList<QPointer<OptimizationModelObject>> m_models;
    QPointer<OptimizationModelObject> m_viewModel;
    int m_waitingFor = WaitNone;
    QTimer m_staleTimer;
    bool m_simulationRunning = true;
    bool m_inTuning = false;
    bool m_designUpdated = false;
    bool m_valuesChanged = false;
    bool m_algorithmChanged = false;
    bool m_goalsChanged = false;
    bool m_variablesChanged = false;
    bool m_lastSimulationFailed = false;
    bool m_dataStale = false;
    long m_lastResultCommandId = -1;
    long m_commandId = -1;
    bool m_closeWithoutQuestions = false;
    bool m_askOnClose = true;
    bool m_designQuestionFlag = true;
    int m_goalXAxisScaling = 2;
    int m_numIterations = 0;
    int m_numItersToDisplay = 0;
    bool m_yAxisAutoscaleUsingAllData = true;
    bool m_historyLogScale = false;
    QMetaObject::Connection m_deferredTuning;
};
