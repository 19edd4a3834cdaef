#include "optimhelmdeckcontroller.h"

#include "link/optimsimifc.h"
#include "state/helmdecksettings.h"
#include "state/statemanager.h"
#include "window/helmdeckquestions.h"
#include "window/optimhelmdeckdialog.h"
#include "window/recallstatedialog.h"
#include "window/stoppingreasonview.h"
#include "window/storestatedialog.h"
#include "window/windowresources.h"

#include <QApplication>
#include <QMessageBox>

namespace {

int decimal(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok, 10);
    return ok ? n : 0;
}

} // namespace

OptimHelmdeckController::OptimHelmdeckController(QObject *parent, bool multiOpt, bool interactive,
                                                 const QIcon &windowIcon, const OptimHelmdeckEditorHooks &editors)
    : QObject(parent)
{
    m_state = new OptimHelmdeckControllerState(multiOpt, interactive, this);
    {
        const HelmdeckSettings settings;
        const int mode = settings.value(QStringLiteral("tuneMode"), int(TuneAfterEachChange)).toInt();
        m_tuneMode = (mode >= 0 && mode <= 2) ? OptimHelmdeckTuneMode(mode) : TuneAfterEachChange;
    }
    initHelmdeckResources();

    m_dialog = new OptimHelmdeckDialog(m_state, windowIcon, editors);
    OptimHelmdeckDialog *d = m_dialog;
    m_questions = new HelmdeckQuestions(this);
    m_questions->setWindow(d);
    connect(m_questions, &HelmdeckQuestions::helpRequested, this, &OptimHelmdeckController::handleHelpRequest);
    connect(m_questions, &HelmdeckQuestions::allAnswered, this, &OptimHelmdeckController::deleteWhenAnswered);
    // The controller goes with its window; while a question of its own is
    // still returning, it goes once that is done (deleteWhenAnswered).
    connect(d, &QObject::destroyed, this, [this] {
        if (!m_questions->isAsking())
            deleteLater();
    });
    connect(d, &OptimHelmdeckDialog::continueOptimization, this, &OptimHelmdeckController::handleContinue);
    connect(d, &OptimHelmdeckDialog::pauseOptimization, this, &OptimHelmdeckController::handlePause);
    connect(d, &OptimHelmdeckDialog::simulate, this, &OptimHelmdeckController::handleSimulate);
    connect(d, &OptimHelmdeckDialog::updateDesignClicked, this, &OptimHelmdeckController::handleUpdateDesign);
    connect(d, &OptimHelmdeckDialog::startTuning, this, &OptimHelmdeckController::handleStartTuning);
    connect(d, &OptimHelmdeckDialog::stopTuning, this, &OptimHelmdeckController::handleStopTuning);
    connect(d, &OptimHelmdeckDialog::resetTuning, this, &OptimHelmdeckController::handleResetTuning);
    connect(d, &OptimHelmdeckDialog::tuneModeChanged, this, &OptimHelmdeckController::setTuneMode);
    connect(d, &OptimHelmdeckDialog::variableChanged, this, &OptimHelmdeckController::handleTunedVariable);
    connect(d, &OptimHelmdeckDialog::optionsClicked, this, &OptimHelmdeckController::handleOptionsClicked);
    connect(d, &OptimHelmdeckDialog::closeRequested, this, &OptimHelmdeckController::handleCloseRequest);
    connect(d, &OptimHelmdeckDialog::algorithmDefinitionChanged, this,
            &OptimHelmdeckController::handleAlgorithmDefinitionChanged);
    connect(d, &OptimHelmdeckDialog::goalDefinitionsChanged, this, &OptimHelmdeckController::handleGoalDefinitionsChanged);
    connect(d, &OptimHelmdeckDialog::variableDefinitionsChanged, this,
            &OptimHelmdeckController::handleVariableDefinitionsChanged);
    connect(d, &OptimHelmdeckDialog::historyGraphRightMouseClick, this, &OptimHelmdeckController::showHistoryGraphMenu);
    connect(d, &OptimHelmdeckDialog::saveImageRequested, m_questions, &HelmdeckQuestions::saveGraphImage);
    connect(d, &OptimHelmdeckDialog::optimizationSelected, this, &OptimHelmdeckController::setModelToView);
    connect(d, &OptimHelmdeckDialog::helpRequested, this, &OptimHelmdeckController::handleHelpRequest);
    // The waiting box's "Stop the Simulator": the host stops it, and the
    // simulator's going ends the wait.
    connect(d, &OptimHelmdeckDialog::stopSimulatorRequested, this, [this] {
        if (m_simulator)
            m_simulator->killSimulatorSlot();
    });

    connect(m_state, &OptimHelmdeckControllerState::changeWaitingForSimulatorToContinue, d,
            &OptimHelmdeckDialog::setWaitingForSimulatorToContinue);
    connect(m_state, &OptimHelmdeckControllerState::changeWaitingForSimulatorToPause, d,
            &OptimHelmdeckDialog::setWaitingForSimulatorToPause);
    connect(m_state, &OptimHelmdeckControllerState::changeWaitingForSimulatorToSimulate, d,
            &OptimHelmdeckDialog::setWaitingForSimulatorToSimulate);
    connect(m_state, &OptimHelmdeckControllerState::staleDataChanged, d, &OptimHelmdeckDialog::setDataIsStale);
    connect(m_state, &OptimHelmdeckControllerState::changeWaitingForSimulatorToPause, this,
            &OptimHelmdeckController::handleWaitingForSimulatorToPause);
    connect(m_state, &OptimHelmdeckControllerState::tuningStateChanged, this,
            &OptimHelmdeckController::handleTuningStateChanged);

    m_stateManager = new StateManager(this);
    connect(d, &OptimHelmdeckDialog::storeState, this, &OptimHelmdeckController::storeStateQuery);
    connect(d, &OptimHelmdeckDialog::recallState, this, &OptimHelmdeckController::recallStateQuery);
    connect(m_stateManager, &StateManager::modelInputReplaced, this, &OptimHelmdeckController::replaceModelInput);
    connect(m_stateManager, &StateManager::stateWasRecalled, this, &OptimHelmdeckController::simulateIfTuningIfNeeded);
    connect(m_stateManager, &StateManager::helpRequested, this, &OptimHelmdeckController::handleHelpRequest);
    connect(m_stateManager, &StateManager::problemFound, this, &OptimHelmdeckController::tellStatesProblem);

    d->setTuneMode(m_tuneMode);
    d->show();
    d->raise();
    d->activateWindow();
}

OptimHelmdeckController::~OptimHelmdeckController()
{
    HelmdeckSettings().setValue(QStringLiteral("tuneMode"), int(m_tuneMode));
    if (m_dialog)
        disconnect(m_dialog, nullptr, this, nullptr);
    delete m_dialog.data();
}

OptimHelmdeckDialog *OptimHelmdeckController::dialog() const
{
    return m_dialog;
}

void OptimHelmdeckController::deleteWhenAnswered()
{
    // Nothing that runs a question's loop is deleted while that loop is on
    // the stack: the window (the questions' parent) waits for the last
    // question of a closed helmdeck to return, and this controller for its
    // window.
    if (m_questions->isAsking())
        return;
    if (m_dialog && m_closed && !m_dialog->testAttribute(Qt::WA_DeleteOnClose))
        m_dialog->deleteLater();
    else if (!m_dialog)
        deleteLater();
}

bool OptimHelmdeckController::viewsCurrentModel() const
{
    return !m_viewModel || m_viewModel == m_currentModel;
}

bool OptimHelmdeckController::acceptsDefinitionsFromView() const
{
    // An editor works on the optimization on view; its result is for the
    // current one only when that is the one on view. A recalled state is
    // matched to the current optimization by the state manager itself.
    return m_applyingRecall || viewsCurrentModel();
}

int OptimHelmdeckController::modelStatus() const
{
    return m_currentModel ? m_currentModel->model().algorithmOutput().status() : StatusUnknown;
}

// ---------------------------------------------------------------- wiring

void OptimHelmdeckController::setSimulatorIFC(OptimAbstractSimIFC *sim)
{
    if (m_simulator) {
        disconnect(m_simulator, nullptr, this, nullptr);
        disconnect(this, nullptr, m_simulator, nullptr);
    }
    m_simulator = sim;
    if (!sim)
        return;
    // The stored states of earlier sessions of the same design are offered
    // again; the file copy needs the design's name, which only the real link
    // knows.
    if (const auto *link = qobject_cast<OptimSimIFC *>(sim))
        m_stateManager->setDesignName(QString::fromUtf8(link->designName()));
    connect(this, &OptimHelmdeckController::pauseOptimization, sim, &OptimAbstractSimIFC::pauseOptimizationSlot);
    connect(this, &OptimHelmdeckController::continueOptimization, sim, &OptimAbstractSimIFC::continueOptimizationSlot);
    connect(this, &OptimHelmdeckController::simulate, sim, &OptimAbstractSimIFC::simulateSlot);
    connect(this, &OptimHelmdeckController::varValuesChanged, sim, &OptimAbstractSimIFC::changeVarValuesSlot);
    connect(this, &OptimHelmdeckController::algorithmDefinitionChanged, sim,
            &OptimAbstractSimIFC::changeAlgorithmDefinitionSlot);
    connect(this, &OptimHelmdeckController::goalDefinitionsChanged, sim, &OptimAbstractSimIFC::changeGoalDefinitionsSlot);
    connect(this, &OptimHelmdeckController::variableDefinitionsChanged, sim,
            &OptimAbstractSimIFC::changeVariableDefinitionsSlot);
    // Each of the simulator's reports goes to the matching update; the
    // overloads are named by type so that a changed signature fails to build.
    connect(sim, qOverload<OptimStatus>(&OptimAbstractSimIFC::modelChanged), this,
            qOverload<OptimStatus>(&OptimHelmdeckController::updateModel));
    connect(sim, qOverload<OptimIterSimResult>(&OptimAbstractSimIFC::modelChanged), this,
            qOverload<OptimIterSimResult>(&OptimHelmdeckController::updateModel));
    connect(sim, qOverload<OptimIter>(&OptimAbstractSimIFC::modelChanged), this,
            qOverload<OptimIter>(&OptimHelmdeckController::updateModel));
    connect(sim, qOverload<OptimIterNoProgress>(&OptimAbstractSimIFC::modelChanged), this,
            qOverload<OptimIterNoProgress>(&OptimHelmdeckController::updateModel));
    connect(sim, qOverload<OptimIterCollapsedIterations>(&OptimAbstractSimIFC::modelChanged), this,
            qOverload<OptimIterCollapsedIterations>(&OptimHelmdeckController::updateModel));
}

void OptimHelmdeckController::appendModelInput(OptimModelInput modelInput)
{
    auto *model = new OptimizationModelObject(this);
    model->setModelInput(modelInput);
    if (model->model().algorithmOutput().status() == StatusUnknown)
        model->setStatus(StatusInitializing);
    m_currentModel = model;
    m_state->addModel(model);
    if (!m_viewModel)
        setModelToView(model);
    m_stateManager->setCurrentModel(model);
    // Every optimization of an interactive helmdeck can be returned to; a
    // second one gets a numbered name so that it does not replace the first.
    if (m_state->isInteractive()) {
        const qsizetype count = m_state->models().size();
        m_stateManager->storeState(count > 1 ? QStringLiteral("Initial State %1").arg(count)
                                             : QStringLiteral("Initial State"),
                                   QString());
    }
}

void OptimHelmdeckController::replaceModelInput(OptimModelInput model)
{
    // A recalled state: every definition that differs is handled as if the
    // user had changed it. The one simulation a recall may need follows on
    // stateWasRecalled(), not after each definition.
    const QPointer<OptimHelmdeckController> self(this);
    m_applyingRecall = true;
    handleAlgorithmDefinitionChanged(model.algorithm());
    if (self)
        handleGoalDefinitionsChanged(model.goals());
    if (self)
        handleVariableDefinitionsChanged(model.variables());
    if (self)
        m_applyingRecall = false;
}

void OptimHelmdeckController::updateModelInput(OptimModelInput input)
{
    if (m_currentModel && !(m_currentModel->model().input() == input))
        m_currentModel->replaceModelInput(input);
}

void OptimHelmdeckController::setSimulationIsFinished()
{
    m_state->setSimulationFinished();
}

void OptimHelmdeckController::setModelToView(OptimizationModelObject *model)
{
    if (model == m_viewModel)
        return;
    m_viewModel = model;
    m_state->setViewModel(model);
    if (m_dialog)
        m_dialog->setModel(model);
}

// ---------------------------------------------------------------- simulator messages

void OptimHelmdeckController::afterResult(bool maySimulate)
{
    if (maySimulate && m_state->isInteractive() && m_state->canSimulate()
        && (!m_state->inTuning() || m_tuneMode != TuneOnRequest))
        requestSimulation();
}

void OptimHelmdeckController::updateModel(OptimStatus status)
{
    if (!m_currentModel)
        return;
    m_currentModel->applyStatus(status);
    m_state->answerReceived(status.status());
}

void OptimHelmdeckController::updateModel(OptimIterSimResult result)
{
    if (!m_currentModel)
        return;
    m_currentModel->applySimResult(result);
    m_state->answerReceived(modelStatus());
    m_state->resultReceived(result.iteration().commandId(),
                            m_currentModel->model().algorithmOutput().simulationOk());
    afterResult(true);
}

void OptimHelmdeckController::updateModel(OptimIter iteration)
{
    if (!m_currentModel)
        return;
    m_currentModel->applyIteration(iteration);
    m_state->answerReceived(modelStatus());
    m_state->resultReceived(iteration.commandId(), true);
    afterResult(true);
}

void OptimHelmdeckController::updateModel(OptimIterNoProgress noProgress)
{
    if (!m_currentModel)
        return;
    m_currentModel->applyNoProgress(noProgress);
    m_state->answerReceived(modelStatus());
    m_state->resultReceived(noProgress.commandId(), true);
}

void OptimHelmdeckController::updateModel(OptimIterCollapsedIterations iterations)
{
    if (!m_currentModel)
        return;
    m_currentModel->applyCollapsedIterations(iterations);
    m_state->answerReceived(modelStatus());
    m_state->resultReceived(iterations.commandId(), true);
    afterResult(true);
}

// ---------------------------------------------------------------- commands

void OptimHelmdeckController::sendPendingValues()
{
    if (!m_state->valuesChanged() || !m_currentModel)
        return;
    m_state->setValuesChanged(false);
    OptimIterVariableValues values;
    values.setCommandId(m_state->currentCommandId());
    values.setValues(m_currentModel->model().variableValues());
    Q_EMIT varValuesChanged(values);
}

void OptimHelmdeckController::requestSimulation()
{
    const long id = m_state->nextCommandId();
    sendPendingValues();
    m_state->setWaitingFor(OptimHelmdeckControllerState::WaitSimulate);
    Q_EMIT simulate(id);
}

void OptimHelmdeckController::handleSimulate()
{
    if (viewsCurrentModel())
        requestSimulation();
}

void OptimHelmdeckController::handlePause()
{
    m_state->setWaitingFor(OptimHelmdeckControllerState::WaitPause);
}

void OptimHelmdeckController::handleWaitingForSimulatorToPause(bool waitingForPause)
{
    m_waitingForPause = waitingForPause;
    if (waitingForPause)
        Q_EMIT pauseOptimization();
}

void OptimHelmdeckController::handleContinue()
{
    // The simulator continues the sweep's current optimization; the window
    // disables Continue while an earlier one is on view.
    if (!m_currentModel || !viewsCurrentModel())
        return;
    const OptimizationModel &model = m_currentModel->model();
    const int status = modelStatus();
    const bool limitReached = status == StatusFinished && model.algorithmInput().algorithmType() != AlgorithmDiscrete
        && decimal(model.algorithmOutput().iterationText()) >= decimal(model.algorithmInput().maxIterations());
    if (status == StatusExited || optimStatusIsTerminal(status) || limitReached) {
        const QPointer<OptimizationModelObject> current = m_currentModel;
        const QPointer<OptimHelmdeckController> self = this;
        const std::optional<int> limit = m_questions->askContinue(current);
        // Messages may have been applied, the simulator gone or the
        // helmdeck closed meanwhile.
        if (!self || m_closed || !limit || !current || current != m_currentModel || !viewsCurrentModel())
            return;
        OptimAlgInput algorithm = current->model().algorithmInput();
        algorithm.setMaxIterations(QString::number(*limit));
        handleAlgorithmDefinitionChanged(algorithm);
    }
    m_state->setWaitingFor(OptimHelmdeckControllerState::WaitContinue);
    m_state->turnOffTuning();
    m_state->setDesignUpdated(false);
    sendPendingValues();
    Q_EMIT continueOptimization();
}

void OptimHelmdeckController::handleAlgorithmDefinitionChanged(OptimAlgInput newAlg)
{
    if (!m_currentModel || !acceptsDefinitionsFromView() || m_currentModel->model().algorithmInput() == newAlg)
        return;
    const long id = m_state->nextCommandId();
    m_currentModel->setAlgorithmDefinition(newAlg);
    m_state->setAlgorithmChanged(true);
    const int status = modelStatus();
    if (status == StatusPaused || status == StatusFinished) {
        OptimIterAlgorithmDefinition definition;
        definition.setCommandId(id);
        definition.algorithm() = newAlg;
        Q_EMIT algorithmDefinitionChanged(definition);
        m_state->setAlgorithmChanged(false);
    }
}

void OptimHelmdeckController::handleGoalDefinitionsChanged(OptimItemList<OptimGoalInput> newGoals)
{
    if (!m_currentModel || !acceptsDefinitionsFromView() || m_currentModel->model().input().goals() == newGoals)
        return;
    OptimIterGoalDefinitions definitions;
    definitions.setCommandId(m_state->nextCommandId());
    definitions.goals() = newGoals;
    m_currentModel->setGoalDefinitions(definitions);
    m_state->setGoalsChanged(true);
    const int status = modelStatus();
    if (status == StatusPaused || status == StatusFinished) {
        Q_EMIT goalDefinitionsChanged(definitions);
        m_state->setGoalsChanged(false);
        if (!m_applyingRecall)
            simulateIfTuningIfNeeded();
    }
}

void OptimHelmdeckController::handleVariableDefinitionsChanged(OptimItemList<OptimVarInput> newVars)
{
    if (!m_currentModel || !acceptsDefinitionsFromView() || m_currentModel->model().input().variables() == newVars)
        return;
    OptimIterVariableDefinitions definitions;
    definitions.setCommandId(m_state->nextCommandId());
    definitions.variables() = newVars;
    m_currentModel->setVariableDefinitions(definitions);
    m_state->setVariablesChanged(true);
    const int status = modelStatus();
    if (status == StatusPaused || status == StatusFinished) {
        Q_EMIT variableDefinitionsChanged(definitions);
        m_state->setVariablesChanged(false);
        if (!m_applyingRecall)
            simulateIfTuningIfNeeded();
    }
}

// ---------------------------------------------------------------- tuning

void OptimHelmdeckController::handleTunedVariable(QString name, QString value)
{
    // A value tuned on an optimization of the sweep that is no longer the
    // current one must not change the current one (the window disables
    // tuning then).
    if (!m_currentModel || !viewsCurrentModel())
        return;
    m_currentModel->setVariableValue(name, value, OptimizationModelObject::TargetInput);
    m_state->setValuesChanged(true);
    if (m_state->waitingFor() == OptimHelmdeckControllerState::WaitNone && m_tuneMode != TuneOnRequest)
        requestSimulation();
}

void OptimHelmdeckController::handleStartTuning()
{
    if (modelStatus() == StatusRunning)
        m_state->setWaitingFor(OptimHelmdeckControllerState::WaitPause);
    m_state->turnOnTuning();
}

void OptimHelmdeckController::handleStopTuning()
{
    m_state->turnOffTuning();
}

void OptimHelmdeckController::handleResetTuning()
{
    if (!m_currentModel)
        return;
    m_currentModel->restoreValuesBeforeTuning();
    m_state->setValuesChanged(true);
    simulateIfTuningIfNeeded();
}

void OptimHelmdeckController::handleTuningStateChanged(bool tuning)
{
    if (m_currentModel) {
        if (tuning)
            m_currentModel->rememberValuesBeforeTuning();
        else
            m_currentModel->forgetValuesBeforeTuning();
    }
    if (m_dialog)
        m_dialog->updateTuning(tuning);
}

void OptimHelmdeckController::simulateIfTuningIfNeeded()
{
    if (m_state->inTuning() && m_state->canSimulate() && m_tuneMode != TuneOnRequest)
        requestSimulation();
}

void OptimHelmdeckController::setTuneMode(OptimHelmdeckTuneMode mode)
{
    m_tuneMode = mode;
    if (m_dialog)
        m_dialog->setTuneMode(mode);
}

// ---------------------------------------------------------------- window requests

void OptimHelmdeckController::handleHelpRequest(QString topic)
{
    if (m_simulator)
        m_simulator->displayHelp(topic);
}

void OptimHelmdeckController::storeStateQuery()
{
    // The states are those of the current optimization (the window disables
    // Store and Recall while an earlier one of the sweep is on view).
    // The dialog guards itself, the window and the manager through its loop.
    if (m_dialog && viewsCurrentModel())
        StoreStateDialog::query(m_stateManager, m_dialog, [questions = QPointer<HelmdeckQuestions>(m_questions)](QDialog *dialog) {
            return questions && questions->run(dialog);
        });
}

void OptimHelmdeckController::recallStateQuery()
{
    if (!m_dialog || !viewsCurrentModel())
        return;
    // The window (the dialog's parent) or this controller may go while the
    // dialog's loop runs: only the guarded dialog is touched afterwards.
    const QPointer<RecallStateDialog> recall = new RecallStateDialog(m_stateManager, m_dialog);
    connect(recall, &RecallStateDialog::helpRequested, m_stateManager, &StateManager::helpRequested);
    m_questions->run(recall);
    if (recall)
        recall->deleteLater();
}

void OptimHelmdeckController::tellStatesProblem(const QString &message)
{
    if (!m_dialog)
        return;
    // Told without a loop of its own: this comes while the helmdeck opens.
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Optimization Helmdeck"), message,
                                QMessageBox::Ok, m_dialog);
    box->setObjectName(QStringLiteral("savedStatesProblemBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void OptimHelmdeckController::handleOptionsClicked()
{
    if (!m_dialog)
        return;
    const QPointer<OptimHelmdeckController> self(this);
    const std::optional<HelmdeckQuestions::DisplayOptions> options = m_questions->editOptions(
        {m_tuneMode, m_state->numItersToDisplay(), m_state->yAxisAutoscaleUsingAllData(), m_state->goalXAxisScaling()});
    if (!self || m_closed || !options)
        return;
    setTuneMode(options->tuneMode);
    m_state->setNumItersToDisplay(options->iterationsToDisplay);
    m_state->setYAxisAutoscaleUsingAllData(options->yAxisAutoscaleUsingAllData);
    m_state->setGoalXAxisScaling(options->goalXAxisScaling);
}

void OptimHelmdeckController::showHistoryGraphMenu(QPoint globalPos)
{
    m_questions->popUpHistoryGraphMenu(m_state, globalPos);
}

bool OptimHelmdeckController::handleUpdateDesign()
{
    // "Update Design..." writes the current optimization; the window
    // disables it while an earlier one of the sweep is on view.
    return viewsCurrentModel() && updateDesign();
}

bool OptimHelmdeckController::updateDesign()
{
    if (!m_dialog || !m_currentModel)
        return false;
    // The questions run nested event loops in which the helmdeck may be
    // closed or this controller go away: both are checked after each.
    const QPointer<OptimHelmdeckController> self = this;
    const OptimAlgInput &algorithm = m_currentModel->model().input().algorithm();
    QString optimization = QStringLiteral("\"%1\"").arg(algorithm.name());
    if (!algorithm.label().isEmpty())
        optimization += QStringLiteral(" (%1)").arg(algorithm.label());
    const std::optional<HelmdeckQuestions::UpdateItems> items = m_questions->askUpdateItems(optimization);
    if (!self || m_closed || !items || !m_currentModel)
        return false;
    QString problem = QStringLiteral("The helmdeck is no longer connected to the simulation.");
    if (m_simulator) {
        m_simulator->updateDesign(m_currentModel->model(), items->algorithm, items->goals, items->variables);
        if (!self)
            return false;
        if (m_simulator)
            problem = m_simulator->designUpdateProblem();
    }
    // The design counts as updated only when the host wrote it; otherwise
    // the user is told why, and the design question comes again on close.
    m_state->setDesignUpdated(problem.isEmpty());
    if (problem.isEmpty() || !m_dialog)
        return problem.isEmpty();
    m_questions->tellDesignNotUpdated(problem);
    return false;
}

// ---------------------------------------------------------------- closing

bool OptimHelmdeckController::offerDesignUpdate(bool designQuestionFlag)
{
    if (m_state->designUpdated() || !m_state->askOnClose() || m_state->closeWithoutQuestions())
        return true;
    const QPointer<OptimHelmdeckController> self = this;
    const HelmdeckQuestions::Answer answer = m_questions->askDesignUpdate(designQuestionFlag);
    if (!self || m_closed || answer == HelmdeckQuestions::Cancelled)
        return false;
    if (answer == HelmdeckQuestions::FirstChoice)
        return updateDesign();
    return true;
}

bool OptimHelmdeckController::runCloseFlow()
{
    if (!m_dialog || m_closed)
        return true;
    const QPointer<OptimHelmdeckController> self = this;
    // A close from outside may run (and close the helmdeck) inside any of
    // the questions below; this flow then ends, answering the truth.
    const auto closedMeanwhile = [&self, this] { return !self || m_closed; };
    const bool withoutQuestions = m_state->closeWithoutQuestions();
    enum { Nothing, Finish, Kill } action = Nothing;
    if (m_simulator && m_simulator->isSimulatorCurrent()) {
        const int status = modelStatus();
        if (status > StatusKilled)
            return false;
        if (status >= StatusExited) {
            action = Nothing;
        } else if ((status == StatusPaused || status == StatusFinished) && !m_state->inTuning()) {
            action = withoutQuestions ? Kill : Finish;
        } else if (withoutQuestions || !m_state->askOnClose()) {
            action = Kill;
        } else {
            const HelmdeckQuestions::Answer answer = m_questions->askRunningSimulation();
            if (closedMeanwhile() || answer != HelmdeckQuestions::FirstChoice)
                return closedMeanwhile();
            action = Kill;
        }
    }
    if (!offerDesignUpdate(m_state->designQuestionFlag()) && !withoutQuestions)
        return closedMeanwhile();
    if (closedMeanwhile())
        return true;
    // The simulation is finished or killed first: a block send waits in a
    // nested event loop, and the window must still be there when it returns.
    if (m_simulator) {
        if (action == Finish)
            m_simulator->finishSimulationSlot();
        else if (action == Kill)
            m_simulator->killSimulatorSlot();
    }
    if (!closedMeanwhile())
        finishClose();
    return true;
}

void OptimHelmdeckController::finishClose()
{
    m_closed = true;
    if (!m_dialog)
        return;
    m_dialog->allowClose();
    // A question dismissed by this close may still be unwinding, and the
    // window is its parent: then the window only hides now and is deleted
    // once the last question has returned (deleteWhenAnswered).
    if (m_questions->isAsking())
        m_dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    // Saves the window's settings; does nothing while the window's own close
    // (which ends the same way) is in progress.
    m_dialog->close();
    if (m_dialog)
        m_dialog->hide();
}

void OptimHelmdeckController::handleCloseRequest()
{
    runCloseFlow();
}

void OptimHelmdeckController::handleAutoCloseRequest()
{
    if (!m_dialog || m_closed)
        return;
    m_questions->dismissAll();
    const QPointer<OptimHelmdeckController> self = this;
    offerDesignUpdate(false);
    if (self && !m_closed)
        finishClose();
}

bool OptimHelmdeckController::requestClose(bool closeWithoutQuestions, bool askOnClose)
{
    if (!m_dialog || m_closed)
        return true;
    // A question open now belongs to an earlier action or close request: it
    // is answered as cancelled, and what asked it stops once its loop has
    // returned.
    m_questions->dismissAll();
    const bool designFlag = m_state->designQuestionFlag();
    m_state->setCloseWithoutQuestions(closeWithoutQuestions);
    m_state->setAskOnClose(askOnClose);
    m_state->setDesignQuestionFlag(false);
    const QPointer<OptimHelmdeckController> self = this;
    // The close flow runs here rather than through the window's close(),
    // which answers true while a close of the window is already in progress.
    const bool closed = runCloseFlow();
    if (self) {
        m_state->setCloseWithoutQuestions(false);
        m_state->setAskOnClose(true);
        m_state->setDesignQuestionFlag(designFlag);
    }
    return closed;
}

void OptimHelmdeckController::simulatorGone(bool closeWindow, bool processEnded)
{
    if (!m_dialog)
        return;
    m_state->stopWaiting();
    const int status = modelStatus();
    // Said in the stopping reason, unless the simulator gave one when it stopped.
    const QString how = processEnded ? StoppingReasonView::processEndedText() : StoppingReasonView::stoppedByUserText();
    if (m_currentModel && status <= StatusRunning) {
        m_currentModel->applyStatus(OptimStatus(StatusKilled, how));
        if (m_simulator)
            m_simulator->disconnectSimulatorSlot();
    } else if (m_currentModel && (status == StatusPaused || status == StatusFinished)) {
        const QString reason = m_currentModel->model().algorithmOutput().stoppingReason();
        m_currentModel->applyStatus(OptimStatus(StatusExited, reason.isEmpty() ? how : reason));
        if (m_simulator)
            m_simulator->disconnectSimulatorSlot();
    }
    m_state->setSimulationFinished();
    if (closeWindow)
        handleAutoCloseRequest();
}

void OptimHelmdeckController::setWaitingForReply(bool waiting)
{
    m_questions->setWaitingForReply(waiting);
}

void OptimHelmdeckController::simulatorDoesNotAnswer()
{
    // The window takes input again and says why; an answer that still
    // comes is applied as usual.
    m_state->stopWaiting();
    m_questions->tellSimulatorDoesNotAnswer();
}

void OptimHelmdeckController::simulatorAnsweredLate()
{
    m_questions->tellSimulatorAnsweredLate();
}
