// The controller against a recording simulator: user actions become simulator calls, simulator messages drive
// the model and the waits, and a close (also from outside while a question is open) neither crashes nor lies.

#include "controller/optimhelmdeckcontroller.h"
#include "isolatedsettings.h"
#include "modaldriver.h"
#include "window/stoppingreasonview.h"
#include "samplemessages.h"
#include "state/statemanager.h"
#include "window/buttonpanel.h"
#include "window/helmdeckoptionsdialog.h"
#include "window/helmdeckquestions.h"
#include "window/historygraphmenu.h"
#include "window/optimhelmdeckdialog.h"
#include "window/goalspanel.h"
#include "window/optionsdialog.h"
#include "window/windoweditors.h"
#include "window/varsliderview.h"
#include "window/varspanel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <functional>

namespace {

class RecordingSim : public OptimAbstractSimIFC
{
    Q_OBJECT

public:
    QStringList calls;
    bool current = true;

    bool isSimulatorCurrent() override { return current; }

public Q_SLOTS:
    void pauseOptimizationSlot() override { calls << QStringLiteral("pause"); }
    void continueOptimizationSlot() override { calls << QStringLiteral("continue"); }
    void simulateSlot(long id) override { calls << QStringLiteral("simulate %1").arg(id); }
    void finishSimulationSlot() override { calls << QStringLiteral("finish"); }
    void killSimulatorSlot() override { calls << QStringLiteral("kill"); }
    void disconnectSimulatorSlot() override { calls << QStringLiteral("disconnect"); }
    void changeVarValuesSlot(OptimIterVariableValues v) override
    {
        calls << QStringLiteral("values %1 %2").arg(v.commandId()).arg(v.values().join(','));
    }
    void changeAlgorithmDefinitionSlot(OptimIterAlgorithmDefinition d) override
    {
        calls << QStringLiteral("algorithm %1 %2").arg(d.commandId()).arg(d.algorithm().maxIterations());
    }
    void changeGoalDefinitionsSlot(OptimIterGoalDefinitions d) override { calls << QStringLiteral("goals %1").arg(d.commandId()); }
    void changeVariableDefinitionsSlot(OptimIterVariableDefinitions d) override { calls << QStringLiteral("variables %1").arg(d.commandId()); }
    void updateDesign(OptimizationModel, bool a, bool g, bool v) override { calls << QStringLiteral("update %1%2%3").arg(a).arg(g).arg(v); }
    void displayHelp(QString topic) override { calls << QStringLiteral("help ") + topic; }
};

// The question's answer: the option at index.
ModalDriver::Step option(int index)
{
    return {QStringLiteral("OptionsDialog"), [index](QDialog *d) { static_cast<OptionsDialog *>(d)->setOptionAndAccept(index); }};
}

OptimIter iteration(int n, long commandId, int status = StatusRunning)
{
    OptimIter iter = sampleIteration({2, 1, 5, 3}, n);
    iter.setCommandId(commandId);
    iter.algorithm().setStatus(status);
    return iter;
}

void flushDeferredDeletes()
{
    // The window goes first, then (from its destroyed signal) the controller.
    for (int pass = 0; pass < 3; ++pass)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestOptimHelmdeckController : public QObject
{
    Q_OBJECT

    IsolatedSettings m_settings;
    QPointer<OptimHelmdeckController> m_controller;
    RecordingSim *m_sim = nullptr;
    OptimizationModelObject *model() const { return m_controller->currentModel(); }
    OptimHelmdeckDialog *window() const { return m_controller->dialog(); }
    OptimHelmdeckControllerState *state() const { return m_controller->state(); }
    void setStatus(int status) { Q_EMIT m_sim->modelChanged(OptimStatus(status, QString())); }

private Q_SLOTS:
    void initTestCase()
    {
        registerOptimMetaTypes();
    }

    void init()
    {
        m_controller = new OptimHelmdeckController(nullptr, false, true, QIcon());
        m_sim = new RecordingSim;
        m_controller->setSimulatorIFC(m_sim);
        m_controller->appendModelInput(sampleModelInput({2, 1, 5, 3}));
        Q_EMIT window()->tuneModeChanged(TuneOnRequest);
    }

    void cleanup()
    {
        delete m_controller.data();
        delete m_sim;
        flushDeferredDeletes();
    }

    void pauseWaitsForTheSimulator()
    {
        setStatus(StatusRunning);
        Q_EMIT window()->pauseOptimization();
        QCOMPARE(m_sim->calls, QStringList{"pause"});
        QCOMPARE(state()->waitingFor(), int(OptimHelmdeckControllerState::WaitPause));
        Q_EMIT m_sim->modelChanged(iteration(0, -1));   // still running: the wait goes on
        QCOMPARE(state()->waitingFor(), int(OptimHelmdeckControllerState::WaitPause));
        setStatus(StatusPaused);
        QCOMPARE(state()->waitingFor(), int(OptimHelmdeckControllerState::WaitNone));
        QCOMPARE(model()->model().algorithmOutput().status(), int(StatusPaused));
        // A simulator that does not answer ends the wait, and the window says so.
        Q_EMIT window()->pauseOptimization();
        m_controller->simulatorDoesNotAnswer();
        QCOMPARE(state()->waitingFor(), int(OptimHelmdeckControllerState::WaitNone));
        auto *notice = window()->findChild<QMessageBox *>(QStringLiteral("simulatorSilentNotice"));
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), QStringLiteral("The simulator has not answered the last command yet."));
        // Its answer still comes: the notice says so.
        m_controller->simulatorAnsweredLate();
        QCOMPARE(notice->text(), QStringLiteral("The simulator has answered the last command after all."));
        // The waiting box's "Stop the Simulator" goes to the host through the simulator interface.
        Q_EMIT window()->stopSimulatorRequested();
        QCOMPARE(m_sim->calls.last(), QStringLiteral("kill"));
    }

    void continueSendsPendingValuesFirst()
    {
        setStatus(StatusPaused);
        Q_EMIT window()->variableChanged(QStringLiteral("L2.L"), QStringLiteral("33"));
        QVERIFY(m_sim->calls.isEmpty());   // tune mode 2: nothing simulated
        state()->setDesignUpdated(true);
        Q_EMIT window()->continueOptimization();
        QCOMPARE(m_sim->calls, (QStringList{"values -1 10,33,12", "continue"}));
        QCOMPARE(state()->waitingFor(), int(OptimHelmdeckControllerState::WaitContinue));
        QVERIFY(!state()->designUpdated());
        setStatus(StatusRunning);
        QCOMPARE(state()->waitingFor(), int(OptimHelmdeckControllerState::WaitNone));
    }

    void simulateTakesCommandIdsInOrder()
    {
        setStatus(StatusPaused);
        Q_EMIT window()->simulate();
        QCOMPARE(m_sim->calls, QStringList{"simulate 0"});
        QCOMPARE(state()->waitingFor(), int(OptimHelmdeckControllerState::WaitSimulate));
        OptimIterSimResult result;
        result.iteration() = iteration(0, 0, StatusPaused);
        Q_EMIT m_sim->modelChanged(result);
        QCOMPARE(state()->waitingFor(), int(OptimHelmdeckControllerState::WaitNone));
        QCOMPARE(state()->lastResultCommandId(), 0L);
        Q_EMIT window()->simulate();
        QCOMPARE(m_sim->calls.last(), QStringLiteral("simulate 1"));
    }

    void tunedValuesSimulateByTuneMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("while slider moves") << 0 << QStringList{"values 0 10,4.7,12", "simulate 0"};
        QTest::newRow("after each change") << 1 << QStringList{"values 0 10,4.7,12", "simulate 0"};
        QTest::newRow("on request") << 2 << QStringList{};
    }

    void tunedValuesSimulateByTuneMode()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, calls);
        setStatus(StatusPaused);
        Q_EMIT window()->tuneModeChanged(OptimHelmdeckTuneMode(mode));
        Q_EMIT window()->variableChanged(QStringLiteral("L2.L"), QStringLiteral("4.7"));
        QCOMPARE(m_sim->calls, calls);
        QCOMPARE(model()->model().variable(1).value(), QStringLiteral("4.7"));
        // While waiting for that simulation a further value only waits its turn.
        m_sim->calls.clear();
        Q_EMIT window()->variableChanged(QStringLiteral("L2.L"), QStringLiteral("5.6"));
        QVERIFY(m_sim->calls.isEmpty() || mode == 2);
        QVERIFY(state()->dataStale());
    }

    void tuningWhileRunningPausesFirst()
    {
        Q_EMIT window()->tuneModeChanged(TuneAfterEachChange);
        setStatus(StatusRunning);
        Q_EMIT m_sim->modelChanged(iteration(0, -1));
        Q_EMIT window()->startTuning();
        QCOMPARE(m_sim->calls, QStringList{"pause"});
        QVERIFY(!state()->inTuning());
        setStatus(StatusPaused);
        QVERIFY(state()->inTuning());
        // Tuning on remembers the values before tuning; a reset restores them.
        QCOMPARE(model()->model().variableHistory(0).valueBeforeTuning(), model()->model().variableOutput(0).value());
        const QString before = model()->model().variable(1).value();
        Q_EMIT window()->variableChanged(QStringLiteral("L2.L"), QStringLiteral("99"));
        OptimIterSimResult result;
        result.iteration() = iteration(0, 0, StatusPaused);
        Q_EMIT m_sim->modelChanged(result);
        m_sim->calls.clear();
        Q_EMIT window()->resetTuning();
        QCOMPARE(model()->model().variable(1).value(), before);
        QCOMPARE(m_sim->calls, (QStringList{QStringLiteral("values 1 %1").arg(model()->model().variableValues().join(QLatin1Char(','))),
                                            "simulate 1"}));
    }

    void tuningOnlyWhileTheCurrentOptimizationIsOnView()
    {
        OptimizationModelObject *first = model();
        QCOMPARE(first->model().algorithmOutput().status(), int(StatusInitializing));
        first->setStatus(StatusPaused);
        // A sweep's next optimization becomes the current one.
        m_controller->appendModelInput(sampleModelInput({2, 1, 5, 3}));
        QVERIFY(model() != first);
        model()->setStatus(StatusPaused);
        Q_EMIT window()->startTuning();
        QVERIFY(state()->inTuning());
        Q_EMIT window()->optimizationSelected(model());
        QVERIFY(window()->varsPanel()->valuesEditable());
        Q_EMIT window()->optimizationSelected(first);
        auto *simulate = window()->buttonPanel()->findChild<QPushButton *>(QStringLiteral("simulateButton"));
        QVERIFY(!window()->varsPanel()->valuesEditable());
        QVERIFY(!simulate->isEnabled());
        QVERIFY(simulate->toolTip().contains(QStringLiteral("current optimization")));
        QVERIFY(window()->varsPanel()->sliderView()->toolTip().contains(QStringLiteral("current optimization")));
        // A stray value or simulate for the optimization on view never reaches the current one.
        const QString before = model()->model().variable(1).value();
        Q_EMIT window()->variableChanged(QStringLiteral("L2.L"), QStringLiteral("99"));
        Q_EMIT window()->simulate();
        QCOMPARE(model()->model().variable(1).value(), before);
        QVERIFY(m_sim->calls.isEmpty());
    }

    void twoHelmdecksKeepTheirOwnState()
    {
        // A second helmdeck on another design, with a goal editor of its own; this one has none.
        QStringList edited;
        OptimHelmdeckEditorHooks hooks;
        hooks.editGoals = [&edited](const OptimizationModel &shown, auto &&...) { edited << shown.input().goals().at(0).name(); };
        const std::unique_ptr<OptimHelmdeckController> other(new OptimHelmdeckController(nullptr, false, true, QIcon(), hooks));
        RecordingSim otherSim;
        other->setSimulatorIFC(&otherSim);
        OptimModelInput design = sampleModelInput({2, 1, 5, 3});
        design.goals()[0].setName(QStringLiteral("Gain"));
        design.variables()[0].setValue(QStringLiteral("4.7"));
        design.variables()[0].setUnit(QStringLiteral("pF"));
        other->appendModelInput(design);
        setStatus(StatusPaused);
        Q_EMIT otherSim.modelChanged(OptimStatus(StatusPaused, QString()));
        QPushButton *mine = window()->goalsPanel()->editGoalsButton();
        QPushButton *its = other->dialog()->goalsPanel()->editGoalsButton();
        QCOMPARE(std::pair(mine->isEnabled(), mine->toolTip()), std::pair(false, QStringLiteral("The goal editor is not available.")));
        QVERIFY(its->isEnabled());
        its->click();
        QCOMPARE(edited, QStringList{"Gain"});
        // Variable 0's value text is each window's own, and a new value in one leaves the other's alone.
        const VarValues::ShownTexts &myTexts = window()->varsPanel()->shownTexts();
        const VarValues::ShownTexts &itsTexts = other->dialog()->varsPanel()->shownTexts();
        QTRY_COMPARE(QStringList({myTexts.kept(0), itsTexts.kept(0)}), QStringList({"10 nH", "4.7 pF"}));
        model()->setVariableValue(QStringLiteral("L1.L"), QStringLiteral("22"), OptimizationModelObject::TargetInput);
        QTRY_COMPARE(myTexts.kept(0), QStringLiteral("22 nH"));
        QCOMPARE(itsTexts.kept(0), QStringLiteral("4.7 pF"));
        QCOMPARE(other->dialog()->varsPanel()->sliderView()->sliderForVariable(0)->displayValue(), QStringLiteral("4.7 pF"));
    }

    void earlierOptimizationOfASweepIsOnlyShown()
    {
        // Every editor is there, so only the sweep can disable the edits.
        OptimHelmdeckEditorHooks hooks;
        hooks.editAlgorithm = [](const OptimizationModel &, QWidget *, OptimAlgInput *, const std::function<void(const QString &)> &) {
            return false;
        };
        hooks.editGoals = [](auto &&...) {};
        hooks.editVariables = [](auto &&...) {};
        window()->setEditorHooks(hooks);
        OptimizationModelObject *first = model();
        Q_EMIT m_sim->modelChanged(iteration(3, -1, StatusFinished));   // below its limit
        m_controller->appendModelInput(sampleModelInput({2, 1, 5, 3}));
        OptimizationModelObject *second = model();
        second->setStatus(StatusPaused);
        const QStringList actions{"pauseContinueButton", "updateDesignButton", "storeButton", "recallButton",
                                  "editAlgorithmButton", "editGoalsButton", "editVariablesButton"};
        const auto enabledActions = [&] {
            QStringList names;
            for (const QString &name : actions) {
                auto *b = window()->findChild<QPushButton *>(name);
                if (b->isEnabled())
                    names << name;
                else if (!b->toolTip().startsWith(QStringLiteral("Shows an earlier optimization of the sweep")))
                    names << name + QStringLiteral(" (no reason)");
            }
            return names;
        };
        Q_EMIT window()->optimizationSelected(second);
        QCOMPARE(enabledActions(), actions);
        Q_EMIT window()->optimizationSelected(first);
        QCOMPARE(enabledActions(), QStringList());
        // What the window would send for the first one never reaches the current one.
        const OptimModelInput before = second->model().input();
        OptimItemList<OptimGoalInput> goals = first->model().input().goals();
        goals[0].setWeight(QStringLiteral("3"));
        OptimItemList<OptimVarInput> variables = first->model().input().variables();
        variables[2].setRange(QStringLiteral("2"), QStringLiteral("20"));
        OptimAlgInput algorithm = first->model().algorithmInput();
        algorithm.setMaxIterations(QStringLiteral("300"));
        Q_EMIT window()->goalDefinitionsChanged(goals);
        Q_EMIT window()->variableDefinitionsChanged(variables);
        Q_EMIT window()->algorithmDefinitionChanged(algorithm);
        Q_EMIT window()->continueOptimization();
        for (auto signal : {&OptimHelmdeckDialog::updateDesignClicked, &OptimHelmdeckDialog::storeState,
                            &OptimHelmdeckDialog::recallState}) {
            ModalDriver noQuestion({});
            Q_EMIT (window()->*signal)();
        }
        QVERIFY(second->model().input() == before);
        QVERIFY(!state()->goalsChanged() && !state()->variablesChanged() && !state()->algorithmChanged());
        QCOMPARE(m_sim->calls, QStringList());
    }

    void definitionsAreSentOnlyWhenPausedOrFinished()
    {
        setStatus(StatusRunning);
        OptimItemList<OptimGoalInput> goals = model()->model().input().goals();
        goals[0].setWeight(QStringLiteral("3"));
        Q_EMIT window()->goalDefinitionsChanged(goals);
        QCOMPARE(model()->model().goal(0).weight(), QStringLiteral("3"));
        QVERIFY(state()->goalsChanged());
        QVERIFY(state()->dataStale());
        QVERIFY(m_sim->calls.isEmpty());
        // The same goals again change nothing.
        Q_EMIT window()->goalDefinitionsChanged(goals);
        QCOMPARE(state()->currentCommandId(), 0L);
        setStatus(StatusPaused);
        OptimAlgInput algorithm = model()->model().algorithmInput();
        algorithm.setMaxIterations(QStringLiteral("300"));
        Q_EMIT window()->algorithmDefinitionChanged(algorithm);
        OptimItemList<OptimVarInput> variables = model()->model().input().variables();
        variables[2].setRange(QStringLiteral("2"), QStringLiteral("20"));
        Q_EMIT window()->variableDefinitionsChanged(variables);
        QCOMPARE(m_sim->calls, (QStringList{"algorithm 1 300", "variables 2"}));
        QVERIFY(!state()->algorithmChanged());
        QVERIFY(!state()->variablesChanged());
        QVERIFY(state()->goalsChanged());   // still unsent from the running phase
    }

    void iterationTriggersSimulationWhileStale()
    {
        setStatus(StatusPaused);
        OptimAlgInput algorithm = model()->model().algorithmInput();
        algorithm.setMaxIterations(QStringLiteral("7"));
        Q_EMIT window()->algorithmDefinitionChanged(algorithm);   // id 0, stale
        QCOMPARE(m_sim->calls, QStringList{"algorithm 0 7"});
        // An iteration for an older command leaves the data stale: an interactive helmdeck simulates at once.
        Q_EMIT m_sim->modelChanged(iteration(0, -1, StatusPaused));
        QCOMPARE(m_sim->calls.last(), QStringLiteral("simulate 1"));
        // A no-progress message never triggers one.
        m_sim->calls.clear();
        OptimIterSimResult result;
        result.iteration() = iteration(0, 1, StatusPaused);
        Q_EMIT m_sim->modelChanged(result);
        QVERIFY(!state()->dataStale());
        Q_EMIT m_sim->modelChanged(OptimIterNoProgress());
        QVERIFY(m_sim->calls.isEmpty());
        // A collapsed batch reaches the model through the base interface's signal.
        const qsizetype before = model()->model().history().algorithm().values().size();
        OptimIterCollapsedIterations batch;
        batch.setFirstIteration(int(before));
        batch.algorithm() = result.iteration().algorithm();
        batch.algorithm().setIterationText(QString::number(before + 2));
        Q_EMIT m_sim->modelChanged(batch);
        // Two padded entries for the iterations without history, then the batch's last one.
        QCOMPARE(model()->model().history().algorithm().values().size(), before + 3);
    }

    void continuePastTheLimitAsksFirst()
    {
        OptimIter last = iteration(100, -1, StatusFinished);
        last.algorithm().setMaxIterationsText(QStringLiteral("100"));
        Q_EMIT m_sim->modelChanged(last);
        setStatus(StatusFinished);
        // Cancelled: nothing happens.
        int offered = 0;
        ModalDriver modals({[](QDialog *d) { d->reject(); }, [&offered](QDialog *d) {
                                auto *spin = d->findChild<QSpinBox *>(QStringLiteral("maxIterationsSpin"));
                                offered = spin->value();
                                spin->setValue(250);
                                d->accept();
                            }});
        Q_EMIT window()->continueOptimization();
        QVERIFY(m_sim->calls.isEmpty());
        Q_EMIT window()->continueOptimization();
        QCOMPARE(offered, 200);
        QCOMPARE(m_sim->calls, (QStringList{"algorithm 0 250", "continue"}));
        QCOMPARE(model()->model().algorithmInput().maxIterations(), QStringLiteral("250"));
    }

    void closeWhilePausedFinishesAfterDesignQuestion()
    {
        setStatus(StatusPaused);
        // "Don't Update the Design": the window closes and the simulation finishes.
        ModalDriver modals({option(1)});
        QVERIFY(window()->close());
        QCOMPARE(m_sim->calls, QStringList{"finish"});
        flushDeferredDeletes();
        QVERIFY(!m_controller);   // the controller goes with its window
    }

    void closeWhileRunningAsks()
    {
        setStatus(StatusRunning);
        // "Continue the Simulation": the window stays open, nothing is sent.
        // Then "Stop the Simulation", "Update the Design", and the update dialog with all three boxes checked.
        ModalDriver modals({option(1), option(0), option(0), [](QDialog *d) { d->accept(); }});
        QVERIFY(!window()->close());
        QVERIFY(m_sim->calls.isEmpty());
        QVERIFY(window()->isVisible());
        QVERIFY(window()->close());
        QCOMPARE(m_sim->calls, (QStringList{"update 111", "kill"}));
    }

    void closeFromOutsideWhileAsking_data()
    {
        // The other questions are closed over through the plug-in's words (tst_optimhelmdeckplugin).
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("action");  // the window's signal or slot that opens the question
        QTest::addColumn<QString>("question");
        QTest::newRow("options dialog") << int(StatusPaused) << QByteArray("optionsClicked") << "helmdeckOptionsDialog";
        QTest::newRow("running question") << int(StatusRunning) << QByteArray("close") << "optionsDialog";
        QTest::newRow("design question") << int(StatusPaused) << QByteArray("close") << "optionsDialog";
    }

    void closeFromOutsideWhileAsking()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, action);
        QFETCH(QString, question);
        setStatus(status);
        const QPointer<OptimHelmdeckDialog> helmdeck = window();
        bool closed = false;
        // The host closes the helmdeck while the question is open; the user's first-choice click lands in the same turn.
        bool openQuestion = false;
        ModalDriver modals({{question, [&](QDialog *d) {
            openQuestion = m_controller->questions()->openQuestion() == d;
            closed = m_controller->requestClose(true, false);
            if (auto *options = qobject_cast<OptionsDialog *>(d))
                options->setOptionAndAccept(0);
            else
                d->accept();
        }}});
        QVERIFY(QMetaObject::invokeMethod(helmdeck, action.constData()));
        QVERIFY(openQuestion);
        QVERIFY(closed);
        QVERIFY(m_controller->isClosed());
        QVERIFY(!helmdeck->isVisible());
        QCOMPARE(m_sim->calls, QStringList{"kill"});   // and what asked stopped: no finish
        flushDeferredDeletes();
        QVERIFY(!helmdeck);
        QVERIFY(!m_controller);
    }

    void secondCloseRequestAnswersTruthfully()
    {
        setStatus(StatusRunning);
        // A second request while the first asks cancels the first question and asks again;
        // "Continue the Simulation" keeps the helmdeck open, and neither request reports it closed.
        bool second = true;
        ModalDriver modals({[&](QDialog *) { second = m_controller->requestClose(false, true); }, option(1)});
        QVERIFY(!m_controller->requestClose(false, true));
        QVERIFY(!second);
        QVERIFY(window()->isVisible());
        QVERIFY(m_sim->calls.isEmpty());
    }

    void simulatorGoneKeepsWindowOpen()
    {
        setStatus(StatusRunning);
        Q_EMIT window()->pauseOptimization();
        m_controller->simulatorGone(false);
        QCOMPARE(state()->waitingFor(), int(OptimHelmdeckControllerState::WaitNone));
        QCOMPARE(model()->model().algorithmOutput().status(), int(StatusKilled));
        QCOMPARE(model()->model().algorithmOutput().stoppingReason(), StoppingReasonView::stoppedByUserText());
        QCOMPARE(m_sim->calls, (QStringList{"pause", "disconnect"}));
        QVERIFY(!state()->simulationRunning());
        QVERIFY(window()->isVisible());
        cleanup();
        init();
        Q_EMIT m_sim->modelChanged(OptimStatus(StatusPaused, QStringLiteral("Goals met")));
        m_controller->simulatorGone(false);
        QCOMPARE(model()->model().algorithmOutput().status(), int(StatusExited));
        QCOMPARE(model()->model().algorithmOutput().stoppingReason(), QStringLiteral("Goals met"));
        cleanup();
        init();
        setStatus(StatusRunning);
        m_controller->simulatorGone(false, true);
        QCOMPARE(model()->model().algorithmOutput().stoppingReason(), StoppingReasonView::processEndedText());
    }

    void messageDuringQuestionIsApplied()
    {
        setStatus(StatusRunning);
        ModalDriver modals({[this](QDialog *d) {
                          // The simulator reports and then goes away while the question is open.
                          Q_EMIT m_sim->modelChanged(iteration(0, -1));
                          delete m_sim;
                          m_sim = nullptr;
                          qobject_cast<OptionsDialog *>(d)->setOptionAndAccept(0);
                      },
                      option(1)});
        window()->close();
        QCOMPARE(model()->model().algorithmHistory().values().size(), 1);
        QVERIFY(!m_controller->simulator());
    }

    void optionsDialog_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("accepted") << true;
        QTest::newRow("cancelled") << false;
    }

    void optionsDialog()
    {
        QFETCH(bool, accept);
        // Settings persist from earlier tests: start from known values.
        state()->setNumItersToDisplay(0);
        state()->setYAxisAutoscaleUsingAllData(true);
        state()->setGoalXAxisScaling(2);
        QList<int> shown;  // tune mode, iterations, autoscale over all data, x-axis scaling
        ModalDriver modals({{QStringLiteral("HelmdeckOptionsDialog"), [&](QDialog *d) {
            auto *options = static_cast<HelmdeckOptionsDialog *>(d);
            shown = {options->tuneMode(), options->iterationsToDisplay(), options->yAxisAutoscaleUsingAllData(), options->goalXAxisScaling()};
            for (const char *name : {"tuneWhileSliderMovesRadio", "lastTwentyFiveRadio", "visibleDataRadio", "fitLimitLinesRadio"})
                options->findChild<QAbstractButton *>(QString::fromLatin1(name))->click();
            options->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Help)->click();
            accept ? options->accept() : options->reject();
        }}});
        Q_EMIT window()->optionsClicked();
        QCOMPARE(shown, (QList<int>{TuneOnRequest, 0, 1, 2}));
        QCOMPARE(m_controller->tuneMode(), accept ? TuneWhileSliderMoves : TuneOnRequest);
        QCOMPARE(window()->varsPanel()->tuneMode(), m_controller->tuneMode());
        QCOMPARE(state()->numItersToDisplay(), accept ? 2 : 0);
        QCOMPARE(state()->yAxisAutoscaleUsingAllData(), !accept);
        QCOMPARE(state()->goalXAxisScaling(), accept ? 0 : 2);
        QCOMPARE(m_sim->calls, QStringList{"help OPTIM_HELMDECK_OPTIONS"});
        flushDeferredDeletes();
        QVERIFY(!window()->findChild<HelmdeckOptionsDialog *>());
    }

    void historyGraphMenuIsMadeOnce()
    {
        // The menu's own picks are tested with the window; here: one menu, popped up each time.
        for (const QPoint &at : {QPoint(30, 30), QPoint(40, 40)}) {
            Q_EMIT window()->historyGraphRightMouseClick(at);
            const QList<HistoryGraphMenu *> menus = window()->findChildren<HistoryGraphMenu *>();
            QCOMPARE(menus.size(), 1);
            QVERIFY(menus.first()->isVisible());
            menus.first()->hide();
        }
    }

    void recallSendsDefinitionsOnlyWhenPaused_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("tuneMode");  // -1: not tuning
        QTest::addColumn<QStringList>("calls");
        // One simulation, after the whole state was sent.
        const QStringList sent{"algorithm 3 100", "goals 4", "variables 5"};
        QTest::newRow("running: kept for later") << int(StatusRunning) << -1 << QStringList();
        QTest::newRow("paused") << int(StatusPaused) << -1 << sent;
        QTest::newRow("tuning, after each change") << int(StatusPaused) << 1 << sent + QStringList{"simulate 6"};
        QTest::newRow("tuning, on request") << int(StatusPaused) << 2 << sent;
    }

    void recallSendsDefinitionsOnlyWhenPaused()
    {
        QFETCH(int, status);
        QFETCH(int, tuneMode);
        setStatus(StatusPaused);
        OptimAlgInput algorithm = model()->model().algorithmInput();
        algorithm.setMaxIterations(QStringLiteral("7"));
        Q_EMIT window()->algorithmDefinitionChanged(algorithm);
        OptimItemList<OptimVarInput> variables = model()->model().input().variables();
        variables[2].setRange(QStringLiteral("2"), QStringLiteral("20"));
        Q_EMIT window()->variableDefinitionsChanged(variables);
        OptimItemList<OptimGoalInput> goals = model()->model().input().goals();
        goals[0].setWeight(QStringLiteral("3"));
        Q_EMIT window()->goalDefinitionsChanged(goals);
        setStatus(status);
        if (tuneMode >= 0) {
            Q_EMIT window()->tuneModeChanged(OptimHelmdeckTuneMode(tuneMode));
            Q_EMIT window()->startTuning();
        }
        m_sim->calls.clear();
        StateManager *states = m_controller->stateManager();
        QVERIFY(states->recallRow(states->rowOf(QStringLiteral("Initial State"))));
        QTEST(m_sim->calls, "calls");
        QCOMPARE(model()->model().input(), states->stateAt(states->rowOf(QStringLiteral("Initial State")))->model.input());
        QCOMPARE(state()->variablesChanged(), status == StatusRunning);
        // Each optimization an interactive helmdeck opens is stored as it came.
        m_controller->appendModelInput(sampleModelInput({1, 1, 1, 1}));
        QCOMPARE(states->stateAt(0)->name + ", " + states->stateAt(1)->name, QStringLiteral("Initial State 2, Initial State"));
    }
};

QTEST_MAIN(TestOptimHelmdeckController)
#include "tst_optimhelmdeckcontroller.moc"
