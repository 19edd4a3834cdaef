#include "optimhelmdeckcontroller.h"

#include "window/continueoptimizationquery.h"
#include "window/helmdeckoptionsdialog.h"
#include "window/historygraphmenu.h"
#include "window/optimhelmdeckdialog.h"
#include "window/optionsdialog.h"
#include "window/updateitemsdialog.h"
#include "window/windowresources.h"

#include <QApplication>
#include <QMetaMethod>
#include <QSettings>

namespace {

const char kTitle[] = "Optimization Helmdeck";

QSettings *openSettings(QSettings &settings)
{
    settings.beginGroup(QStringLiteral("OptimizationHelmdeck"));
    return &settings;
}

int decimal(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok, 10);
    return ok ? n : 0;
}

} // namespace

OptimHelmdeckController::OptimHelmdeckController(QObject *parent, bool multiOpt, bool interactive,
                                                 const QIcon &windowIcon)
    : QObject(parent)
{
    m_state = new OptimHelmdeckControllerState(multiOpt, interactive, this);
    {
        QSettings settings(QStringLiteral("Brannoc"), QStringLiteral("ZEB"));
        openSettings(settings);
        const int mode = settings.value(QStringLiteral("tuneMode"), int(TuneAfterEachChange)).toInt();
        m_tuneMode = (mode >= 0 && mode <= 2) ? OptimHelmdeckTuneMode(mode) : TuneAfterEachChange;
    }
    initHelmdeckResources();

    m_dialog = new OptimHelmdeckDialog(m_state, windowIcon);
    OptimHelmdeckDialog *d = m_dialog;
    connect(d, &QObject::destroyed, this, &QObject::deleteLater);
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
    connect(d, &OptimHelmdeckDialog::optimizationSelected, this, &OptimHelmdeckController::setModelToView);
    connect(d, &OptimHelmdeckDialog::helpRequested, this, &OptimHelmdeckController::handleHelpRequest);

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

    d->setTuneMode(m_tuneMode);
    d->show();
    d->raise();
    d->activateWindow();
}

OptimHelmdeckController::~OptimHelmdeckController()
{
    QSettings settings(QStringLiteral("Brannoc"), QStringLiteral("ZEB"));
    openSettings(settings)->setValue(QStringLiteral("tuneMode"), int(m_tuneMode));
    delete m_dialog.data();
}

OptimHelmdeckDialog *OptimHelmdeckController::dialog() const
{
    return m_dialog;
}

int OptimHelmdeckController::modelStatus() const
{
    return m_currentModel ? m_currentModel->model().algorithmOutput().status() : StatusUnknown;
}

// ---------------------------------------------------------------- wiring

void OptimHelmdeckController::setSimulatorIFC(OptimAbstractSimIFC *sim)
{
    if (m_simulator)
        disconnect(m_simulator, nullptr, this, nullptr);
    m_simulator = sim;
    if (!sim)
        return;
    connect(this, &OptimHelmdeckController::pauseOptimization, sim, &OptimAbstractSimIFC::pauseOptimizationSlot);
    connect(this, &OptimHelmdeckController::continueOptimization, sim, &OptimAbstractSimIFC::continueOptimizationSlot);
    connect(this, &OptimHelmdeckController::simulate, sim, &OptimAbstractSimIFC::simulateSlot);
    connect(this, &OptimHelmdeckController::varValuesChanged, sim, &OptimAbstractSimIFC::changeVarValuesSlot);
    connect(this, &OptimHelmdeckController::algorithmDefinitionChanged, sim,
            &OptimAbstractSimIFC::changeAlgorithmDefinitionSlot);
    connect(this, &OptimHelmdeckController::goalDefinitionsChanged, sim, &OptimAbstractSimIFC::changeGoalDefinitionsSlot);
    connect(this, &OptimHelmdeckController::variableDefinitionsChanged, sim,
            &OptimAbstractSimIFC::changeVariableDefinitionsSlot);
    // The simulator's five modelChanged signals are found by signature, so
    // any implementation that declares them is wired.
    const QMetaObject *meta = sim->metaObject();
    for (const char *signature : {"modelChanged(OptimStatus)", "modelChanged(OptimIterSimResult)",
                                  "modelChanged(OptimIter)", "modelChanged(OptimIterNoProgress)",
                                  "modelChanged(OptimIterCollapsedIterations)"}) {
        const int signal = meta->indexOfSignal(signature);
        if (signal < 0)
            continue;
        const QByteArray slot = QByteArray("updateModel") + QByteArray(signature).mid(12);
        const int method = metaObject()->indexOfSlot(slot.constData());
        QObject::connect(sim, meta->method(signal), this, metaObject()->method(method));
    }
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
}

void OptimHelmdeckController::replaceModelInput(OptimModelInput model)
{
    // A recalled state: every definition that differs is handled as if the
    // user had changed it.
    handleAlgorithmDefinitionChanged(model.algorithm());
    handleGoalDefinitionsChanged(model.goals());
    handleVariableDefinitionsChanged(model.variables());
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
    if (!m_currentModel)
        return;
    const OptimizationModel &model = m_currentModel->model();
    const int status = modelStatus();
    const bool limitReached = status == StatusFinished && model.algorithmInput().algorithmType() != 10
        && decimal(model.algorithmOutput().iterationText()) >= decimal(model.algorithmInput().maxIterations());
    if (status == StatusExited || optimStatusIsTerminal(status) || limitReached) {
        const QPointer<OptimizationModelObject> current = m_currentModel;
        ContinueOptimizationQuery query(m_dialog, m_currentModel);
        const bool accepted = query.exec() == QDialog::Accepted;
        // Messages may have been applied, or the simulator gone, meanwhile.
        if (!accepted || !current || current != m_currentModel)
            return;
        OptimAlgInput algorithm = current->model().algorithmInput();
        algorithm.setMaxIterations(QString::number(query.maximumIterations()));
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
    if (!m_currentModel || m_currentModel->model().algorithmInput() == newAlg)
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
    if (!m_currentModel || m_currentModel->model().input().goals() == newGoals)
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
        simulateIfTuningIfNeeded();
    }
}

void OptimHelmdeckController::handleVariableDefinitionsChanged(OptimItemList<OptimVarInput> newVars)
{
    if (!m_currentModel || m_currentModel->model().input().variables() == newVars)
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
        simulateIfTuningIfNeeded();
    }
}

// ---------------------------------------------------------------- tuning

void OptimHelmdeckController::handleTunedVariable(QString name, QString value)
{
    if (!m_currentModel)
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

void OptimHelmdeckController::handleOptionsClicked()
{
    if (!m_dialog)
        return;
    // The dialog runs a nested event loop in which the window (its parent)
    // or this controller may go away: both are checked before it is read.
    QPointer<OptimHelmdeckController> self(this);
    QPointer<HelmdeckOptionsDialog> options = new HelmdeckOptionsDialog(m_dialog);
    options->setTuneMode(m_tuneMode);
    options->setIterationsToDisplay(m_state->numItersToDisplay());
    options->setYAxisAutoscaleUsingAllData(m_state->yAxisAutoscaleUsingAllData());
    options->setGoalXAxisScaling(m_state->goalXAxisScaling());
    connect(options, &HelmdeckOptionsDialog::helpRequested, this, &OptimHelmdeckController::handleHelpRequest);
    const bool accepted = options->exec() == QDialog::Accepted;
    if (!options)
        return;
    const OptimHelmdeckTuneMode mode = options->tuneMode();
    const int iterations = options->iterationsToDisplay();
    const bool useAllData = options->yAxisAutoscaleUsingAllData();
    const int goalXAxisScaling = options->goalXAxisScaling();
    delete options.data();
    if (!self || !accepted)
        return;
    setTuneMode(mode);
    m_state->setNumItersToDisplay(iterations);
    m_state->setYAxisAutoscaleUsingAllData(useAllData);
    m_state->setGoalXAxisScaling(goalXAxisScaling);
}

void OptimHelmdeckController::showHistoryGraphMenu(QPoint globalPos)
{
    if (!m_dialog)
        return;
    // The menu is made on first use and lives with the window; popup()
    // returns at once, so no nested event loop runs here.
    auto *menu = m_dialog->findChild<HistoryGraphMenu *>(QString(), Qt::FindDirectChildrenOnly);
    if (!menu)
        menu = new HistoryGraphMenu(m_state, m_dialog);
    menu->popupAt(globalPos);
}

bool OptimHelmdeckController::handleUpdateDesign()
{
    if (!m_dialog || !m_currentModel)
        return false;
    UpdateItemsDialog dialog(m_dialog);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (!accepted || !m_currentModel)
        return false;
    if (m_simulator)
        m_simulator->updateDesign(m_currentModel->model(), dialog.updateAlgorithm(), dialog.updateGoals(),
                                  dialog.updateVariables());
    m_state->setDesignUpdated(true);
    return true;
}

// ---------------------------------------------------------------- closing

int OptimHelmdeckController::askRunningSimulationQuestion()
{
    OptionsDialog question(m_dialog, true);
    question.setWindowTitle(QString::fromLatin1(kTitle));
    question.setQuestion(QStringLiteral("The simulation is still running.  You can:"));
    question.addOption(QStringLiteral("Stop the Simulation\n&&\nClose the Optimization Helmdeck"));
    question.addOption(QStringLiteral("Continue the Simulation\n&&\n    Keep the Optimization Helmdeck Open    "));
    question.setDefaultOption(0);
    if (question.exec() != QDialog::Accepted)
        return -1;
    return question.chosenOption();
}

bool OptimHelmdeckController::offerDesignUpdate(bool designQuestionFlag)
{
    if (m_state->designUpdated())
        return true;
    if (!m_state->askOnClose() || m_state->closeWithoutQuestions())
        return true;
    OptionsDialog question(m_dialog, designQuestionFlag);
    question.setWindowTitle(QString::fromLatin1(kTitle));
    question.setQuestion(QStringLiteral("Before closing the helmdeck:"));
    question.addOption(QStringLiteral("Update the Design"));
    question.addOption(QStringLiteral("    Don't Update the Design    "));
    question.setDefaultOption(0);
    const QPointer<OptimHelmdeckController> self = this;
    const bool answered = question.exec() == QDialog::Accepted;
    if (!self)
        return false;
    if (!answered)
        return false;
    if (question.chosenOption() == 0)
        return handleUpdateDesign();
    return true;
}

void OptimHelmdeckController::handleCloseRequest()
{
    if (!m_dialog)
        return;
    const QPointer<OptimHelmdeckController> self = this;
    enum { Nothing, Finish, Kill } action = Nothing;
    if (m_simulator && m_simulator->isSimulatorCurrent()) {
        const int status = modelStatus();
        if (status > StatusKilled)
            return;
        if (status >= StatusExited) {
            action = Nothing;
        } else if ((status == StatusPaused || status == StatusFinished) && !m_state->inTuning()) {
            action = m_state->closeWithoutQuestions() ? Kill : Finish;
        } else if (m_state->closeWithoutQuestions()) {
            action = Kill;
        } else {
            const int answer = m_state->askOnClose() ? askRunningSimulationQuestion() : 0;
            if (!self || !m_dialog)
                return;
            if (answer != 0)
                return;
            action = Kill;
        }
    }
    if (!offerDesignUpdate(m_state->designQuestionFlag()) && !m_state->closeWithoutQuestions())
        return;
    if (!self || !m_dialog)
        return;
    m_dialog->allowClose();
    if (m_simulator) {
        if (action == Finish)
            m_simulator->finishSimulationSlot();
        else if (action == Kill)
            m_simulator->killSimulatorSlot();
    }
}

void OptimHelmdeckController::handleAutoCloseRequest()
{
    const QPointer<OptimHelmdeckController> self = this;
    offerDesignUpdate(false);
    if (!self || !m_dialog)
        return;
    m_dialog->allowClose();
    m_dialog->hide();
    m_dialog->deleteLater();
}

bool OptimHelmdeckController::requestClose(bool closeWithoutQuestions, bool askOnClose)
{
    if (!m_dialog)
        return true;
    const bool designFlag = m_state->designQuestionFlag();
    m_state->setCloseWithoutQuestions(closeWithoutQuestions);
    m_state->setAskOnClose(askOnClose);
    m_state->setDesignQuestionFlag(false);
    const QPointer<OptimHelmdeckController> self = this;
    const bool closed = m_dialog->close();
    if (self) {
        m_state->setCloseWithoutQuestions(false);
        m_state->setAskOnClose(true);
        m_state->setDesignQuestionFlag(designFlag);
    }
    return closed;
}

void OptimHelmdeckController::simulatorGone(bool closeWindow)
{
    if (!m_dialog)
        return;
    m_state->stopWaiting();
    const int status = modelStatus();
    if (m_currentModel && status <= StatusRunning) {
        m_currentModel->applyStatus(OptimStatus(StatusKilled, QString()));
        if (m_simulator)
            m_simulator->disconnectSimulatorSlot();
    } else if (m_currentModel && (status == StatusPaused || status == StatusFinished)) {
        m_currentModel->applyStatus(
            OptimStatus(StatusExited, m_currentModel->model().algorithmOutput().stoppingReason()));
        if (m_simulator)
            m_simulator->disconnectSimulatorSlot();
    }
    m_state->setSimulationFinished();
    if (closeWindow)
        handleAutoCloseRequest();
}
