// The controller against a recording simulator: user actions become the
// right simulator calls, simulator messages drive the model and the waits,
// and the close flow decides between finishing and killing.

#include "controller/optimhelmdeckcontroller.h"
#include "samplemessages.h"
#include "window/continueoptimizationquery.h"
#include "window/helmdeckoptionsdialog.h"
#include "window/historygraphmenu.h"
#include "window/optimhelmdeckdialog.h"
#include "window/optionsdialog.h"
#include "window/varspanel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

class RecordingSim : public OptimAbstractSimIFC
{
    Q_OBJECT

public:
    QStringList calls;
    bool current = true;

    bool isSimulatorCurrent() override { return current; }

Q_SIGNALS:
    void modelChanged(OptimStatus optimStatus);
    void modelChanged(OptimIterSimResult result);
    void modelChanged(OptimIter iter);
    void modelChanged(OptimIterNoProgress iter);
    void modelChanged(OptimIterCollapsedIterations iters);

public Q_SLOTS:
    void pauseOptimizationSlot() override { calls << QStringLiteral("pause"); }
    void continueOptimizationSlot() override { calls << QStringLiteral("continue"); }
    void simulateSlot(long id) override { calls << QStringLiteral("simulate %1").arg(id); }
    void finishSimulationSlot() override { calls << QStringLiteral("finish"); }
    void killSimulatorSlot() override { calls << QStringLiteral("kill"); }
    void disconnectSimulatorSlot() override { calls << QStringLiteral("disconnect"); }
    void changeVarValuesSlot(OptimIterVariableValues v) override
    {
        calls << QStringLiteral("values %1 %2").arg(v.commandId()).arg(v.values().join(QLatin1Char(',')));
    }
    void changeAlgorithmDefinitionSlot(OptimIterAlgorithmDefinition d) override
    {
        calls << QStringLiteral("algorithm %1 %2").arg(d.commandId()).arg(d.algorithm().maxIterations());
    }
    void changeGoalDefinitionsSlot(OptimIterGoalDefinitions d) override
    {
        calls << QStringLiteral("goals %1").arg(d.commandId());
    }
    void changeVariableDefinitionsSlot(OptimIterVariableDefinitions d) override
    {
        calls << QStringLiteral("variables %1").arg(d.commandId());
    }
    void updateDesign(OptimizationModel, bool a, bool g, bool v) override
    {
        calls << QStringLiteral("update %1%2%3").arg(a).arg(g).arg(v);
    }
    void displayHelp(QString topic) override { calls << QStringLiteral("help ") + topic; }
};

// Answers the modal dialogs that appear, in order: each action is applied to
// the next dialog not answered yet, as soon as its event loop runs.
void answerModals(QList<std::function<void(QDialog *)>> actions)
{
    auto *timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, actions]() mutable {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || dialog->property("answered").toBool())
            return;
        dialog->setProperty("answered", true);
        const auto action = actions.takeFirst();
        if (actions.isEmpty()) {
            timer->stop();
            timer->deleteLater();
        }
        action(dialog);
    });
    timer->start();
}

void onNextModal(std::function<void(QDialog *)> action)
{
    answerModals({std::move(action)});
}

std::function<void(QDialog *)> option(int index)
{
    return [index](QDialog *d) {
        auto *options = qobject_cast<OptionsDialog *>(d);
        QVERIFY(options);
        options->setOptionAndAccept(index);
    };
}

void answerOption(int index)
{
    answerModals({option(index)});
}

OptimIter iteration(int n, long commandId, int status = StatusRunning)
{
    OptimIter iter = sampleIteration({2, 1, 5, 3}, n);
    iter.setCommandId(commandId);
    iter.algorithm().setStatus(status);
    return iter;
}

} // namespace

class TestOptimHelmdeckController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void openingMakesAnInitializingModelOnView();
    void pauseWaitsForTheSimulator();
    void continueSendsPendingValuesFirst();
    void simulateTakesCommandIdsInOrder();
    void tunedValuesSimulateByTuneMode_data();
    void tunedValuesSimulateByTuneMode();
    void tuningWhileRunningPausesFirst();
    void definitionsAreSentOnlyWhenPausedOrFinished();
    void iterationTriggersSimulationWhileStale();
    void continuePastTheLimitAsksFirst();
    void closeWhilePausedFinishesAfterDesignQuestion();
    void closeWhileRunningAsks();
    void requestCloseWithoutQuestions();
    void simulatorGoneKeepsWindowOpen();
    void messageDuringQuestionIsApplied();
    void helpGoesToSimulator();
    void optionsDialogHandsValuesOn();
    void cancelledOptionsChangeNothing();
    void historyGraphMenuIsMadeOnceAndSetsTheState();

private:
    QTemporaryDir m_settings;
    QPointer<OptimHelmdeckController> m_controller;
    RecordingSim *m_sim = nullptr;
    OptimizationModelObject *model() const { return m_controller->currentModel(); }
};

void TestOptimHelmdeckController::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
    registerOptimMetaTypes();
}

void TestOptimHelmdeckController::init()
{
    m_controller = new OptimHelmdeckController(nullptr, false, true, QIcon());
    m_sim = new RecordingSim;
    m_controller->setSimulatorIFC(m_sim);
    m_controller->appendModelInput(sampleModelInput({2, 1, 5, 3}));
    Q_EMIT m_controller->dialog()->tuneModeChanged(TuneOnRequest);
}

void TestOptimHelmdeckController::cleanup()
{
    delete m_controller.data();
    delete m_sim;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestOptimHelmdeckController::openingMakesAnInitializingModelOnView()
{
    QCOMPARE(model()->model().algorithmOutput().status(), int(StatusInitializing));
    QCOMPARE(m_controller->viewModel(), model());
    QCOMPARE(m_controller->state()->models().size(), 1);
    QVERIFY(m_controller->dialog()->isVisible());
    // A second optimization becomes current; the view stays.
    OptimizationModelObject *first = model();
    m_controller->appendModelInput(sampleModelInput({1, 1, 1, 1}));
    QVERIFY(model() != first);
    QCOMPARE(m_controller->state()->models().size(), 2);
}

void TestOptimHelmdeckController::pauseWaitsForTheSimulator()
{
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusRunning, QString()));
    Q_EMIT m_controller->dialog()->pauseOptimization();
    QCOMPARE(m_sim->calls, QStringList{"pause"});
    QCOMPARE(m_controller->state()->waitingFor(), int(OptimHelmdeckControllerState::WaitPause));
    Q_EMIT m_sim->modelChanged(iteration(0, -1));   // still running: the wait goes on
    QCOMPARE(m_controller->state()->waitingFor(), int(OptimHelmdeckControllerState::WaitPause));
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusPaused, QString()));
    QCOMPARE(m_controller->state()->waitingFor(), int(OptimHelmdeckControllerState::WaitNone));
    QCOMPARE(model()->model().algorithmOutput().status(), int(StatusPaused));
}

void TestOptimHelmdeckController::continueSendsPendingValuesFirst()
{
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusPaused, QString()));
    Q_EMIT m_controller->dialog()->variableChanged(QStringLiteral("L2.L"), QStringLiteral("33"));
    QVERIFY(m_sim->calls.isEmpty());   // tune mode 2: nothing simulated
    m_controller->state()->setDesignUpdated(true);
    Q_EMIT m_controller->dialog()->continueOptimization();
    QCOMPARE(m_sim->calls, (QStringList{"values -1 10,33,12", "continue"}));
    QCOMPARE(m_controller->state()->waitingFor(), int(OptimHelmdeckControllerState::WaitContinue));
    QVERIFY(!m_controller->state()->designUpdated());
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusRunning, QString()));
    QCOMPARE(m_controller->state()->waitingFor(), int(OptimHelmdeckControllerState::WaitNone));
}

void TestOptimHelmdeckController::simulateTakesCommandIdsInOrder()
{
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusPaused, QString()));
    Q_EMIT m_controller->dialog()->simulate();
    QCOMPARE(m_sim->calls, QStringList{"simulate 0"});
    QCOMPARE(m_controller->state()->waitingFor(), int(OptimHelmdeckControllerState::WaitSimulate));
    OptimIterSimResult result;
    result.iteration() = iteration(0, 0, StatusPaused);
    Q_EMIT m_sim->modelChanged(result);
    QCOMPARE(m_controller->state()->waitingFor(), int(OptimHelmdeckControllerState::WaitNone));
    QCOMPARE(m_controller->state()->lastResultCommandId(), 0L);
    Q_EMIT m_controller->dialog()->simulate();
    QCOMPARE(m_sim->calls.last(), QStringLiteral("simulate 1"));
}

void TestOptimHelmdeckController::tunedValuesSimulateByTuneMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("while slider moves") << 0 << QStringList{"values 0 10,4.7,12", "simulate 0"};
    QTest::newRow("after each change") << 1 << QStringList{"values 0 10,4.7,12", "simulate 0"};
    QTest::newRow("on request") << 2 << QStringList{};
}

void TestOptimHelmdeckController::tunedValuesSimulateByTuneMode()
{
    QFETCH(int, mode);
    QFETCH(QStringList, calls);
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusPaused, QString()));
    Q_EMIT m_controller->dialog()->tuneModeChanged(OptimHelmdeckTuneMode(mode));
    Q_EMIT m_controller->dialog()->variableChanged(QStringLiteral("L2.L"), QStringLiteral("4.7"));
    QCOMPARE(m_sim->calls, calls);
    QCOMPARE(model()->model().variable(1).value(), QStringLiteral("4.7"));
    // While waiting for that simulation a further value only waits its turn.
    m_sim->calls.clear();
    Q_EMIT m_controller->dialog()->variableChanged(QStringLiteral("L2.L"), QStringLiteral("5.6"));
    QVERIFY(m_sim->calls.isEmpty() || mode == 2);
    QVERIFY(m_controller->state()->dataStale());
}

void TestOptimHelmdeckController::tuningWhileRunningPausesFirst()
{
    Q_EMIT m_controller->dialog()->tuneModeChanged(TuneAfterEachChange);
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusRunning, QString()));
    Q_EMIT m_sim->modelChanged(iteration(0, -1));
    Q_EMIT m_controller->dialog()->startTuning();
    QCOMPARE(m_sim->calls, QStringList{"pause"});
    QVERIFY(!m_controller->state()->inTuning());
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusPaused, QString()));
    QVERIFY(m_controller->state()->inTuning());
    // Tuning on remembers the values before tuning; a reset restores them.
    QCOMPARE(model()->model().variableHistory(0).valueBeforeTuning(), model()->model().variableOutput(0).value());
    const QString before = model()->model().variable(1).value();
    Q_EMIT m_controller->dialog()->variableChanged(QStringLiteral("L2.L"), QStringLiteral("99"));
    OptimIterSimResult result;
    result.iteration() = iteration(0, 0, StatusPaused);
    Q_EMIT m_sim->modelChanged(result);
    m_sim->calls.clear();
    Q_EMIT m_controller->dialog()->resetTuning();
    QCOMPARE(model()->model().variable(1).value(), before);
    QCOMPARE(m_sim->calls, (QStringList{QStringLiteral("values 1 %1").arg(model()->model().variableValues().join(QLatin1Char(','))),
                                        "simulate 1"}));
}

void TestOptimHelmdeckController::definitionsAreSentOnlyWhenPausedOrFinished()
{
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusRunning, QString()));
    OptimItemList<OptimGoalInput> goals = model()->model().input().goals();
    goals[0].setWeight(QStringLiteral("3"));
    Q_EMIT m_controller->dialog()->goalDefinitionsChanged(goals);
    QCOMPARE(model()->model().goal(0).weight(), QStringLiteral("3"));
    QVERIFY(m_controller->state()->goalsChanged());
    QVERIFY(m_controller->state()->dataStale());
    QVERIFY(m_sim->calls.isEmpty());
    // The same goals again change nothing.
    Q_EMIT m_controller->dialog()->goalDefinitionsChanged(goals);
    QCOMPARE(m_controller->state()->currentCommandId(), 0L);

    Q_EMIT m_sim->modelChanged(OptimStatus(StatusPaused, QString()));
    OptimAlgInput algorithm = model()->model().algorithmInput();
    algorithm.setMaxIterations(QStringLiteral("300"));
    Q_EMIT m_controller->dialog()->algorithmDefinitionChanged(algorithm);
    OptimItemList<OptimVarInput> variables = model()->model().input().variables();
    variables[2].setRange(QStringLiteral("2"), QStringLiteral("20"));
    Q_EMIT m_controller->dialog()->variableDefinitionsChanged(variables);
    QCOMPARE(m_sim->calls, (QStringList{"algorithm 1 300", "variables 2"}));
    QVERIFY(!m_controller->state()->algorithmChanged());
    QVERIFY(!m_controller->state()->variablesChanged());
    QVERIFY(m_controller->state()->goalsChanged());   // still unsent from the running phase
}

void TestOptimHelmdeckController::iterationTriggersSimulationWhileStale()
{
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusPaused, QString()));
    OptimAlgInput algorithm = model()->model().algorithmInput();
    algorithm.setMaxIterations(QStringLiteral("7"));
    Q_EMIT m_controller->dialog()->algorithmDefinitionChanged(algorithm);   // id 0, stale
    QCOMPARE(m_sim->calls, QStringList{"algorithm 0 7"});
    // An iteration for an older command leaves the data stale: the
    // interactive helmdeck asks for a fresh simulation at once.
    Q_EMIT m_sim->modelChanged(iteration(0, -1, StatusPaused));
    QCOMPARE(m_sim->calls.last(), QStringLiteral("simulate 1"));
    // A no-progress message never triggers one.
    m_sim->calls.clear();
    OptimIterSimResult result;
    result.iteration() = iteration(0, 1, StatusPaused);
    Q_EMIT m_sim->modelChanged(result);
    QVERIFY(!m_controller->state()->dataStale());
    Q_EMIT m_sim->modelChanged(OptimIterNoProgress());
    QVERIFY(m_sim->calls.isEmpty());
}

void TestOptimHelmdeckController::continuePastTheLimitAsksFirst()
{
    OptimIter last = iteration(100, -1, StatusFinished);
    last.algorithm().setMaxIterationsText(QStringLiteral("100"));
    Q_EMIT m_sim->modelChanged(last);
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusFinished, QString()));

    // Cancelled: nothing happens.
    onNextModal([](QDialog *d) { d->reject(); });
    Q_EMIT m_controller->dialog()->continueOptimization();
    QVERIFY(m_sim->calls.isEmpty());

    onNextModal([](QDialog *d) {
        auto *spin = d->findChild<QSpinBox *>(QStringLiteral("maxIterationsSpin"));
        QVERIFY(spin);
        QCOMPARE(spin->value(), 200);
        spin->setValue(250);
        d->accept();
    });
    Q_EMIT m_controller->dialog()->continueOptimization();
    QCOMPARE(m_sim->calls, (QStringList{"algorithm 0 250", "continue"}));
    QCOMPARE(model()->model().algorithmInput().maxIterations(), QStringLiteral("250"));
}

void TestOptimHelmdeckController::closeWhilePausedFinishesAfterDesignQuestion()
{
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusPaused, QString()));
    // "Don't Update the Design": the window closes and the simulation finishes.
    answerOption(1);
    QVERIFY(m_controller->dialog()->close());
    QCOMPARE(m_sim->calls, QStringList{"finish"});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!m_controller);   // the controller goes with its window
}

void TestOptimHelmdeckController::closeWhileRunningAsks()
{
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusRunning, QString()));
    // "Continue the Simulation": the window stays open, nothing is sent.
    answerOption(1);
    QVERIFY(!m_controller->dialog()->close());
    QVERIFY(m_sim->calls.isEmpty());
    QVERIFY(m_controller->dialog()->isVisible());

    // "Stop the Simulation", then "Update the Design", then the update
    // dialog with all three boxes checked.
    answerModals({option(0), option(0), [](QDialog *d) { d->accept(); }});
    QVERIFY(m_controller->dialog()->close());
    QCOMPARE(m_sim->calls, (QStringList{"update 111", "kill"}));
}

void TestOptimHelmdeckController::requestCloseWithoutQuestions()
{
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusPaused, QString()));
    QVERIFY(m_controller->requestClose(false, false));
    QCOMPARE(m_sim->calls, QStringList{"finish"});

    cleanup();
    init();
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusRunning, QString()));
    QVERIFY(m_controller->requestClose(true, true));
    QCOMPARE(m_sim->calls, QStringList{"kill"});
}

void TestOptimHelmdeckController::simulatorGoneKeepsWindowOpen()
{
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusRunning, QString()));
    Q_EMIT m_controller->dialog()->pauseOptimization();
    m_controller->simulatorGone(false);
    QCOMPARE(m_controller->state()->waitingFor(), int(OptimHelmdeckControllerState::WaitNone));
    QCOMPARE(model()->model().algorithmOutput().status(), int(StatusKilled));
    QCOMPARE(m_sim->calls, (QStringList{"pause", "disconnect"}));
    QVERIFY(!m_controller->state()->simulationRunning());
    QVERIFY(m_controller->dialog()->isVisible());

    cleanup();
    init();
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusPaused, QStringLiteral("Goals met")));
    m_controller->simulatorGone(false);
    QCOMPARE(model()->model().algorithmOutput().status(), int(StatusExited));
    QCOMPARE(model()->model().algorithmOutput().stoppingReason(), QStringLiteral("Goals met"));
}

void TestOptimHelmdeckController::messageDuringQuestionIsApplied()
{
    Q_EMIT m_sim->modelChanged(OptimStatus(StatusRunning, QString()));
    answerModals({[this](QDialog *d) {
                      // The simulator reports and then goes away while the question is open.
                      Q_EMIT m_sim->modelChanged(iteration(0, -1));
                      delete m_sim;
                      m_sim = nullptr;
                      qobject_cast<OptionsDialog *>(d)->setOptionAndAccept(0);
                  },
                  option(1)});
    m_controller->dialog()->close();
    QCOMPARE(model()->model().algorithmHistory().values().size(), 1);
    QVERIFY(!m_controller->simulator());
}

void TestOptimHelmdeckController::helpGoesToSimulator()
{
    Q_EMIT m_controller->dialog()->helpRequested(QStringLiteral("OPTIM_HELMDECK_DIALOG"));
    QCOMPARE(m_sim->calls, QStringList{"help OPTIM_HELMDECK_DIALOG"});
}

void TestOptimHelmdeckController::optionsDialogHandsValuesOn()
{
    // Settings persist from earlier tests: start from known values.
    OptimHelmdeckControllerState *state = m_controller->state();
    state->setNumItersToDisplay(0);
    state->setYAxisAutoscaleUsingAllData(true);
    state->setGoalXAxisScaling(2);
    onNextModal([](QDialog *d) {
        auto *options = qobject_cast<HelmdeckOptionsDialog *>(d);
        QVERIFY(options);
        QCOMPARE(options->tuneMode(), TuneOnRequest);
        QCOMPARE(options->iterationsToDisplay(), 0);
        QVERIFY(options->yAxisAutoscaleUsingAllData());
        QCOMPARE(options->goalXAxisScaling(), 2);
        for (const char *name : {"tuneWhileSliderMovesRadio", "lastTwentyFiveRadio", "visibleDataRadio", "fitLimitLinesRadio"})
            options->findChild<QAbstractButton *>(QString::fromLatin1(name))->click();
        options->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Help)->click();
        options->accept();
    });
    Q_EMIT m_controller->dialog()->optionsClicked();
    QCOMPARE(m_controller->tuneMode(), TuneWhileSliderMoves);
    QCOMPARE(m_controller->dialog()->varsPanel()->tuneMode(), TuneWhileSliderMoves);
    QCOMPARE(state->numItersToDisplay(), 2);
    QVERIFY(!state->yAxisAutoscaleUsingAllData());
    QCOMPARE(state->goalXAxisScaling(), 0);
    QCOMPARE(m_sim->calls, QStringList{"help OPTIM_HELMDECK_OPTIONS"});
    QVERIFY(!m_controller->dialog()->findChild<HelmdeckOptionsDialog *>());
}

void TestOptimHelmdeckController::cancelledOptionsChangeNothing()
{
    OptimHelmdeckControllerState *state = m_controller->state();
    state->setNumItersToDisplay(0);
    state->setYAxisAutoscaleUsingAllData(true);
    state->setGoalXAxisScaling(2);
    onNextModal([](QDialog *d) {
        for (const char *name : {"tuneWhileSliderMovesRadio", "lastTenRadio", "visibleDataRadio", "fitTraceRadio"})
            d->findChild<QAbstractButton *>(QString::fromLatin1(name))->click();
        d->reject();
    });
    Q_EMIT m_controller->dialog()->optionsClicked();
    QCOMPARE(m_controller->tuneMode(), TuneOnRequest);
    QCOMPARE(state->numItersToDisplay(), 0);
    QVERIFY(state->yAxisAutoscaleUsingAllData());
    QCOMPARE(state->goalXAxisScaling(), 2);
}

void TestOptimHelmdeckController::historyGraphMenuIsMadeOnceAndSetsTheState()
{
    OptimHelmdeckDialog *window = m_controller->dialog();
    m_controller->state()->setNumItersToDisplay(0);
    QVERIFY(!window->findChild<HistoryGraphMenu *>());
    Q_EMIT window->historyGraphRightMouseClick(QPoint(30, 30));
    QList<HistoryGraphMenu *> menus = window->findChildren<HistoryGraphMenu *>();
    QCOMPARE(menus.size(), 1);
    HistoryGraphMenu *menu = menus.first();
    QVERIFY(menu->isVisible());
    QVERIFY(menu->allIterationsAction()->isChecked());
    menu->lastTwentyFiveAction()->trigger();
    QCOMPARE(m_controller->state()->numItersToDisplay(), 2);
    menu->hide();
    // Changed elsewhere (the options dialog): the next pop-up shows it.
    m_controller->state()->setNumItersToDisplay(1);
    Q_EMIT window->historyGraphRightMouseClick(QPoint(40, 40));
    QCOMPARE(window->findChildren<HistoryGraphMenu *>().size(), 1);
    QVERIFY(menu->isVisible());
    QVERIFY(menu->lastTenAction()->isChecked());
    menu->hide();
}

QTEST_MAIN(TestOptimHelmdeckController)
#include "tst_optimhelmdeckcontroller.moc"
