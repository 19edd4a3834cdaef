#include "controller/optimhelmdeckcontrollerstate.h"
#include "window/buttonpanel.h"
#include "window/helmdecksettings.h"
#include "window/optimhelmdeckdialog.h"
#include "window/statuspanel.h"
#include "window/statusviews.h"
#include "window/sweeppanel.h"
#include "window/tempmessagebox.h"
#include "window/windoweditors.h"
#include "windowtestsupport.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QMovie>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSplitter>
#include <QTest>

Q_DECLARE_METATYPE(OptimAlgInput)

class TestOptimHelmdeckDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void layoutAndNames();
    void noModelLeavesOnlyCloseAndHelp();
    void interactiveButtonsByStatus_data();
    void interactiveButtonsByStatus();
    void viewOnlyButtonsByStatus_data();
    void viewOnlyButtonsByStatus();
    void waitingStateBlocksPauseContinue();
    void deletedModelDisablesButtons();
    void pauseContinueTextAndIcon();
    void continueRunsAlgorithmTypeCheck();
    void buttonsForwardSignals();
    void viewOnlyExplanation();

    void waitingForPauseBlocksInputAndShowsBoxAfterOneSecond();
    void shortWaitForContinueShowsNoBox();
    void waitingForSimulationDisablesSimulateAndAnimates();

    void editAlgorithmEnabling();
    void editAlgorithmForwardsResultAndHelp();

    void sweepEntryTexts_data();
    void sweepEntryTexts();
    void sweepFollowsNewestAndSelects();

    void closeIsIgnoredUntilControllerAllows();
    void closeAllowedSavesGeometryAndDeletes();
    void closeRequestDuringCloseFlowIsNotRepeated();
    void windowDeletedDuringCloseFlow();
    void restoresGeometryFromSettings();
    void windowPlacement();

private:
    OptimHelmdeckDialog *makeWindow(bool interactive);
    QPushButton *button(const char *name) const;
    struct Enabled
    {
        bool pauseContinue, simulate, updateDesign, store, recall, options;
    };
    Enabled enabled() const;

    IsolatedSettings m_settings;
    OptimHelmdeckControllerState *m_state = nullptr;
    QPointer<OptimHelmdeckDialog> m_window;
};

void TestOptimHelmdeckDialog::initTestCase()
{
    QVERIFY(m_settings.isValid());
    qRegisterMetaType<OptimAlgInput>();
    qRegisterMetaType<OptimizationModelObject *>();
}

void TestOptimHelmdeckDialog::init()
{
    IsolatedSettings::clear();
    setOptimHelmdeckEditorHooks({});
}

void TestOptimHelmdeckDialog::cleanup()
{
    delete m_window.data();
    delete m_state;
    m_state = nullptr;
    setOptimHelmdeckEditorHooks({});
}

OptimHelmdeckDialog *TestOptimHelmdeckDialog::makeWindow(bool interactive)
{
    m_state = new OptimHelmdeckControllerState(false, interactive);
    m_window = new OptimHelmdeckDialog(m_state, QIcon(QStringLiteral(":/icons/smoptimz32")));
    return m_window;
}

QPushButton *TestOptimHelmdeckDialog::button(const char *name) const
{
    return m_window->findChild<QPushButton *>(QString::fromLatin1(name));
}

TestOptimHelmdeckDialog::Enabled TestOptimHelmdeckDialog::enabled() const
{
    return {button("pauseContinueButton")->isEnabled(), button("simulateButton")->isEnabled(),
            button("updateDesignButton")->isEnabled(),  button("storeButton")->isEnabled(),
            button("recallButton")->isEnabled(),        button("optionsButton")->isEnabled()};
}

void TestOptimHelmdeckDialog::layoutAndNames()
{
    makeWindow(true);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Optimization Helmdeck"));
    QVERIFY(m_window->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(m_window->windowFlags() & Qt::WindowMaximizeButtonHint);
    QVERIFY(m_window->windowFlags() & Qt::WindowMinimizeButtonHint);
    QCOMPARE(m_window->size(), QSize(800, 500));

    const QStringList buttons{"pauseContinueButton", "simulateButton", "updateDesignButton", "storeButton",
                              "recallButton",        "optionsButton",  "closeButton",        "helpButton"};
    const QStringList texts{"Pause", "Simulate", "Update Design...", "Store...", "Recall...", "Options...", "Close", "Help"};
    for (int i = 0; i < buttons.size(); ++i) {
        QPushButton *b = button(buttons.at(i).toLatin1().constData());
        QVERIFY2(b, qPrintable(buttons.at(i)));
        QCOMPARE(b->text(), texts.at(i));
    }
    QCOMPARE(m_window->findChild<QGroupBox *>(QStringLiteral("statesGroup"))->title(), QStringLiteral("States"));
    QCOMPARE(m_window->findChild<QGroupBox *>(QStringLiteral("statusPanel"))->title(), QStringLiteral("Status"));
    QCOMPARE(m_window->findChild<QGroupBox *>(QStringLiteral("sweepPanel"))->title(), QStringLiteral("Sweep"));
    QVERIFY(m_window->findChild<QGroupBox *>(QStringLiteral("sweepPanel"))->isHidden());

    auto *splitter = m_window->findChild<QSplitter *>(QStringLiteral("panelSplitter"));
    QVERIFY(splitter);
    QCOMPARE(splitter->orientation(), Qt::Horizontal);
    QCOMPARE(splitter->count(), 2);
    QCOMPARE(splitter->widget(0)->objectName(), QStringLiteral("varsPanel"));
    QCOMPARE(splitter->widget(1)->objectName(), QStringLiteral("goalsPanel"));
    QCOMPARE(static_cast<QGroupBox *>(splitter->widget(0))->title(), QStringLiteral("Variables"));
    QCOMPARE(static_cast<QGroupBox *>(splitter->widget(1))->title(), QStringLiteral("Goals"));
    QVERIFY(!splitter->childrenCollapsible());
}

void TestOptimHelmdeckDialog::noModelLeavesOnlyCloseAndHelp()
{
    makeWindow(true);
    const Enabled e = enabled();
    QVERIFY(!e.pauseContinue && !e.simulate && !e.updateDesign && !e.store && !e.recall && !e.options);
    QVERIFY(button("closeButton")->isEnabled());
    QVERIFY(button("helpButton")->isEnabled());
}

void TestOptimHelmdeckDialog::interactiveButtonsByStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("simulationOk");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("pauseContinue");
    QTest::addColumn<bool>("simulate");
    QTest::addColumn<bool>("updateDesign");
    QTest::addColumn<bool>("states");
    QTest::newRow("0 unknown") << 0 << true << "Pause" << true << false << false << false;
    QTest::newRow("1 initializing") << 1 << true << "Pause" << true << false << false << false;
    QTest::newRow("2 running") << 2 << true << "Pause" << true << false << false << false;
    QTest::newRow("3 paused") << 3 << true << "Continue" << true << true << true << true;
    QTest::newRow("3 paused, simulation failed") << 3 << false << "Continue" << false << true << true << true;
    QTest::newRow("4 finished") << 4 << true << "Continue" << true << true << true << true;
    QTest::newRow("5 exited") << 5 << true << "Continue" << false << false << true << true;
    QTest::newRow("6 exited with error") << 6 << true << "Continue" << false << false << true << true;
    QTest::newRow("7 killed") << 7 << true << "Continue" << false << false << true << true;
}

void TestOptimHelmdeckDialog::interactiveButtonsByStatus()
{
    QFETCH(int, status);
    QFETCH(bool, simulationOk);
    QFETCH(QString, text);
    QFETCH(bool, pauseContinue);
    QFETCH(bool, simulate);
    QFETCH(bool, updateDesign);
    QFETCH(bool, states);
    makeWindow(true);
    auto model = makeModel();
    if (status != 0) {
        AlgState state(status);
        state.simulationOk = simulationOk;
        applyState(*model, state);
    }
    m_window->setModel(model.get());

    QVERIFY(m_window->findChild<QLabel *>(QStringLiteral("viewOnlyLabel"))->isHidden());
    QVERIFY(!button("pauseContinueButton")->isHidden());
    QVERIFY(!button("simulateButton")->isHidden());
    QVERIFY(!m_window->findChild<QGroupBox *>(QStringLiteral("statesGroup"))->isHidden());

    QCOMPARE(button("pauseContinueButton")->text(), text);
    const Enabled e = enabled();
    QCOMPARE(e.pauseContinue, pauseContinue);
    QCOMPARE(e.simulate, simulate);
    QCOMPARE(e.updateDesign, updateDesign);
    QCOMPARE(e.store, states);
    QCOMPARE(e.recall, states);
    QVERIFY(e.options);
}

void TestOptimHelmdeckDialog::viewOnlyButtonsByStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("updateDesign");
    QTest::newRow("0 unknown") << 0 << true;
    QTest::newRow("2 running") << 2 << true;
    QTest::newRow("3 paused") << 3 << true;
    QTest::newRow("7 killed") << 7 << true;
}

void TestOptimHelmdeckDialog::viewOnlyButtonsByStatus()
{
    QFETCH(int, status);
    QFETCH(bool, updateDesign);
    makeWindow(false);
    // Before any model: the interactive buttons are not even shown.
    QVERIFY(button("pauseContinueButton")->isHidden());
    auto model = makeModel();
    if (status != 0)
        applyState(*model, AlgState(status));
    m_window->setModel(model.get());

    QVERIFY(!m_window->findChild<QLabel *>(QStringLiteral("viewOnlyLabel"))->isHidden());
    QVERIFY(button("pauseContinueButton")->isHidden());
    QVERIFY(button("simulateButton")->isHidden());
    QVERIFY(m_window->findChild<QGroupBox *>(QStringLiteral("statesGroup"))->isHidden());
    QVERIFY(!button("updateDesignButton")->isHidden());
    QCOMPARE(button("updateDesignButton")->isEnabled(), updateDesign);
    QVERIFY(button("optionsButton")->isEnabled());
    QVERIFY(m_window->findChild<QPushButton *>(QStringLiteral("editAlgorithmButton"))->isHidden());
}

void TestOptimHelmdeckDialog::waitingStateBlocksPauseContinue()
{
    makeWindow(true);
    auto model = makeModel(AlgState(3));
    m_window->setModel(model.get());
    QVERIFY(button("pauseContinueButton")->isEnabled());
    m_state->setWaitingFor(OptimHelmdeckControllerState::WaitContinue);
    QVERIFY(!button("pauseContinueButton")->isEnabled());
    QVERIFY(button("simulateButton")->isEnabled());
    m_state->stopWaiting();
    QVERIFY(button("pauseContinueButton")->isEnabled());

    applyState(*model, AlgState(2, QStringLiteral("4")));
    m_state->setWaitingFor(OptimHelmdeckControllerState::WaitPause);
    QVERIFY(!button("pauseContinueButton")->isEnabled());
}

void TestOptimHelmdeckDialog::deletedModelDisablesButtons()
{
    makeWindow(true);
    auto model = makeModel(AlgState(3));
    m_window->setModel(model.get());
    QVERIFY(button("storeButton")->isEnabled());
    model.reset();
    QVERIFY(!m_window->model());
    const Enabled e = enabled();
    QVERIFY(!e.pauseContinue && !e.simulate && !e.updateDesign && !e.store && !e.recall && !e.options);
    QCOMPARE(m_window->statusPanel()->statusIconView()->shownIcon(), -1);
}

void TestOptimHelmdeckDialog::pauseContinueTextAndIcon()
{
    makeWindow(true);
    auto model = makeModel(AlgState(2));
    m_window->setModel(model.get());
    QPushButton *b = button("pauseContinueButton");
    const qint64 pauseIcon = b->icon().cacheKey();
    QVERIFY(!b->icon().isNull());
    applyState(*model, AlgState(3, QStringLiteral("4")));
    QCOMPARE(b->text(), QStringLiteral("Continue"));
    QVERIFY(!b->icon().isNull());
    QVERIFY(b->icon().cacheKey() != pauseIcon);

    QSignalSpy pause(m_window, &OptimHelmdeckDialog::pauseOptimization);
    QSignalSpy proceed(m_window, &OptimHelmdeckDialog::continueOptimization);
    QTest::mouseClick(b, Qt::LeftButton);
    QCOMPARE(proceed.count(), 1);
    QCOMPARE(pause.count(), 0);
    applyState(*model, AlgState(2, QStringLiteral("5")));
    QCOMPARE(b->text(), QStringLiteral("Pause"));
    QTest::mouseClick(b, Qt::LeftButton);
    QCOMPARE(pause.count(), 1);
    QCOMPARE(proceed.count(), 1);
}

void TestOptimHelmdeckDialog::continueRunsAlgorithmTypeCheck()
{
    makeWindow(true);
    auto model = makeModel(AlgState(3));
    m_window->setModel(model.get());
    QString checkedName;
    bool warn = true;
    OptimHelmdeckEditorHooks hooks;
    hooks.algorithmTypeWarning = [&](const OptimModelInput &input, QWidget *parent) {
        checkedName = input.algorithm().name();
        Q_UNUSED(parent);
        return warn;
    };
    setOptimHelmdeckEditorHooks(hooks);
    QSignalSpy proceed(m_window, &OptimHelmdeckDialog::continueOptimization);
    QTest::mouseClick(button("pauseContinueButton"), Qt::LeftButton);
    QCOMPARE(checkedName, QStringLiteral("Optim1"));
    QCOMPARE(proceed.count(), 0);
    warn = false;
    QTest::mouseClick(button("pauseContinueButton"), Qt::LeftButton);
    QCOMPARE(proceed.count(), 1);
}

void TestOptimHelmdeckDialog::buttonsForwardSignals()
{
    makeWindow(true);
    auto model = makeModel(AlgState(3));
    m_window->setModel(model.get());
    m_window->show();
    QSignalSpy simulate(m_window, &OptimHelmdeckDialog::simulate);
    QSignalSpy update(m_window, &OptimHelmdeckDialog::updateDesignClicked);
    QSignalSpy store(m_window, &OptimHelmdeckDialog::storeState);
    QSignalSpy recall(m_window, &OptimHelmdeckDialog::recallState);
    QSignalSpy options(m_window, &OptimHelmdeckDialog::optionsClicked);
    QSignalSpy help(m_window, &OptimHelmdeckDialog::helpRequested);
    QTest::mouseClick(button("simulateButton"), Qt::LeftButton);
    QTest::mouseClick(button("updateDesignButton"), Qt::LeftButton);
    QTest::mouseClick(button("storeButton"), Qt::LeftButton);
    QTest::mouseClick(button("recallButton"), Qt::LeftButton);
    QTest::mouseClick(button("optionsButton"), Qt::LeftButton);
    QTest::mouseClick(button("helpButton"), Qt::LeftButton);
    QCOMPARE(simulate.count(), 1);
    QCOMPARE(update.count(), 1);
    QCOMPARE(store.count(), 1);
    QCOMPARE(recall.count(), 1);
    QCOMPARE(options.count(), 1);
    QCOMPARE(help.count(), 1);
    QCOMPARE(help.at(0).at(0).toString(), QStringLiteral("OPTIM_HELMDECK_DIALOG"));
}

void TestOptimHelmdeckDialog::viewOnlyExplanation()
{
    makeWindow(false);
    m_window->show();
    auto *label = m_window->findChild<QLabel *>(QStringLiteral("viewOnlyLabel"));
    QVERIFY(label->text().contains(QStringLiteral("<a href=\"viewOnlyMode\">view-only mode.</a>")));
    Q_EMIT label->linkActivated(QStringLiteral("viewOnlyMode"));
    auto *box = m_window->findChild<QMessageBox *>(QStringLiteral("viewOnlyExplanationBox"));
    QVERIFY(box);
    QCOMPARE(box->windowTitle(), QStringLiteral("View-only mode"));
    QCOMPARE(box->text(), ButtonPanel::viewOnlyExplanation());
    QVERIFY(box->text().startsWith(QStringLiteral("<p>The helmdeck runs in view-only mode")));
    QCOMPARE(box->standardButtons(), QMessageBox::Ok);
    box->accept();
}

void TestOptimHelmdeckDialog::waitingForPauseBlocksInputAndShowsBoxAfterOneSecond()
{
    makeWindow(true);
    auto model = makeModel(AlgState(2));
    m_window->setModel(model.get());
    m_window->show();
    QElapsedTimer waited;
    waited.start();
    m_window->setWaitingForSimulatorToPause(true);
    const Enabled e = enabled();
    QVERIFY(!e.pauseContinue && !e.simulate && !e.updateDesign && !e.store && !e.recall && !e.options);
    QVERIFY(button("closeButton")->isEnabled());
    QVERIFY(button("helpButton")->isEnabled());
    QVERIFY(m_window->waitBox());
    QVERIFY(!m_window->waitBox()->isVisible());
    QTest::qWait(500);
    if (waited.elapsed() < 950) // a loaded machine may have slept longer
        QVERIFY(!m_window->waitBox()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(m_window->waitBox()->isVisible(), 2000);
    QCOMPARE(m_window->waitBox()->message(), QStringLiteral("Waiting for the simulator to pause."));
    QCOMPARE(m_window->waitBox()->windowTitle(), QStringLiteral("Optimization Helmdeck"));

    applyState(*model, AlgState(3, QStringLiteral("4")));
    m_window->setWaitingForSimulatorToPause(false);
    QVERIFY(button("pauseContinueButton")->isEnabled());
    QVERIFY(button("storeButton")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->waitBox()->isVisible(), 2000);
}

void TestOptimHelmdeckDialog::shortWaitForContinueShowsNoBox()
{
    makeWindow(true);
    auto model = makeModel(AlgState(3));
    m_window->setModel(model.get());
    m_window->show();
    m_window->setWaitingForSimulatorToContinue(true);
    QVERIFY(!button("simulateButton")->isEnabled());
    QCOMPARE(m_window->waitBox()->message(), QStringLiteral("Waiting for the simulator to continue."));
    QTest::qWait(300);
    m_window->setWaitingForSimulatorToContinue(false);
    QTest::qWait(1000);
    QVERIFY(!m_window->waitBox()->isVisible());
    QVERIFY(button("simulateButton")->isEnabled());
}

void TestOptimHelmdeckDialog::waitingForSimulationDisablesSimulateAndAnimates()
{
    makeWindow(true);
    auto model = makeModel(AlgState(3));
    m_window->setModel(model.get());
    QSignalSpy waiting(m_window, &OptimHelmdeckDialog::waitingForSimulationToFinish);
    m_window->setWaitingForSimulatorToSimulate(true);
    QCOMPARE(waiting.count(), 1);
    QVERIFY(!button("simulateButton")->isEnabled());
    QVERIFY(button("storeButton")->isEnabled());
    StatusIconView *icon = m_window->statusPanel()->statusIconView();
    QCOMPARE(icon->movie(), icon->simulatingMovie());

    m_window->setWaitingForSimulatorToSimulate(false);
    QVERIFY(button("simulateButton")->isEnabled());
    QCOMPARE(icon->shownIcon(), int(OptimIconPaused));
}

void TestOptimHelmdeckDialog::editAlgorithmEnabling()
{
    makeWindow(true);
    auto *edit = m_window->findChild<QPushButton *>(QStringLiteral("editAlgorithmButton"));
    QCOMPARE(edit->text(), QStringLiteral("Edit algorithm..."));
    auto model = makeModel(AlgState(3));
    m_window->setModel(model.get());
    QVERIFY(!edit->isHidden());
    QVERIFY(!edit->isEnabled()); // no algorithm editor plugged in

    OptimHelmdeckEditorHooks hooks;
    hooks.editAlgorithm = [](const OptimizationModel &, QWidget *, OptimAlgInput *, const std::function<void(const QString &)> &) { return false; };
    setOptimHelmdeckEditorHooks(hooks);
    applyState(*model, AlgState(3, QStringLiteral("4")));
    QVERIFY(edit->isEnabled());

    m_state->setWaitingFor(OptimHelmdeckControllerState::WaitSimulate);
    QVERIFY(!edit->isEnabled());
    m_state->stopWaiting();
    QVERIFY(edit->isEnabled());
    m_window->preventUserInput(true);
    QVERIFY(!edit->isEnabled());
    m_window->preventUserInput(false);
    QVERIFY(edit->isEnabled());
    applyState(*model, AlgState(2, QStringLiteral("5")));
    QVERIFY(!edit->isEnabled());
}

void TestOptimHelmdeckDialog::editAlgorithmForwardsResultAndHelp()
{
    QString editedFrom;
    OptimHelmdeckEditorHooks hooks;
    hooks.editAlgorithm = [&](const OptimizationModel &shown, QWidget *, OptimAlgInput *edited,
                              const std::function<void(const QString &)> &help) {
        editedFrom = shown.algorithmOutput().iterationText();
        help(QStringLiteral("OPTIM_HELMDECK_EDIT_ALGORITHM"));
        *edited = shown.algorithmInput();
        edited->setAlgorithmType(5);
        edited->setMaxIterations(QStringLiteral("250"));
        return true;
    };
    // Plugged in at start-up, before the window opens.
    setOptimHelmdeckEditorHooks(hooks);
    makeWindow(true);
    auto model = makeModel(AlgState(4, QStringLiteral("7")));
    m_window->setModel(model.get());
    m_window->show();
    QSignalSpy changed(m_window, &OptimHelmdeckDialog::algorithmDefinitionChanged);
    QSignalSpy help(m_window, &OptimHelmdeckDialog::helpRequested);
    QTest::mouseClick(m_window->findChild<QPushButton *>(QStringLiteral("editAlgorithmButton")), Qt::LeftButton);
    QCOMPARE(editedFrom, QStringLiteral("7"));
    QCOMPARE(help.count(), 1);
    QCOMPARE(help.at(0).at(0).toString(), QStringLiteral("OPTIM_HELMDECK_EDIT_ALGORITHM"));
    QCOMPARE(changed.count(), 1);
    const auto algorithm = changed.at(0).at(0).value<OptimAlgInput>();
    QCOMPARE(algorithm.algorithmType(), 5);
    QCOMPARE(algorithm.maxIterations(), QStringLiteral("250"));
}

void TestOptimHelmdeckDialog::sweepEntryTexts_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("shared front dropped") << QStringList{"X[1].Y[0].Opt", "X[1].Y[1].Opt"} << QStringList{"Y[0].Opt", "Y[1].Opt"};
    QTest::newRow("first differs") << QStringList{"Sweep[1].Optim1", "Sweep[2].Optim1"}
                                   << QStringList{"Sweep[1].Optim1", "Sweep[2].Optim1"};
    QTest::newRow("dots inside components stay") << QStringList{"top.sweep[1].opt.x", "top.sweep[2].opt.x"}
                                                 << QStringList{"top.sweep[1].opt.x", "top.sweep[2].opt.x"};
    QTest::newRow("single name keeps its last part") << QStringList{"A[1].B[2].Optim1"} << QStringList{"Optim1"};
    QTest::newRow("plain name") << QStringList{"Optim1"} << QStringList{"Optim1"};
    QTest::newRow("equal names") << QStringList{"A[1].C", "A[1].C"} << QStringList{"C", "C"};
    QTest::newRow("different depths") << QStringList{"A[1].B", "A[1].C[2].D"} << QStringList{"B", "C[2].D"};
}

void TestOptimHelmdeckDialog::sweepEntryTexts()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, texts);
    QCOMPARE(SweepPanel::entryTexts(names), texts);
}

void TestOptimHelmdeckDialog::sweepFollowsNewestAndSelects()
{
    makeWindow(false);
    auto *sweep = m_window->findChild<SweepPanel *>(QStringLiteral("sweepPanel"));
    auto *combo = sweep->findChild<QComboBox *>(QStringLiteral("sweepCombo"));
    auto *status = sweep->findChild<QLabel *>(QStringLiteral("sweepStatusLabel"));
    QCOMPARE(status->text(), QStringLiteral("The simulation is running."));
    QSignalSpy selected(m_window, &OptimHelmdeckDialog::optimizationSelected);

    auto first = makeModel(AlgState(2));
    auto input = sampleModelInput(smallSample());
    input.algorithm().setName(QStringLiteral("Sweep[1].Optim1"));
    first->setModelInput(input);
    m_state->addModel(first.get());
    QCOMPARE(combo->count(), 1);
    QVERIFY(sweep->isHidden());
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.at(0).at(0).value<OptimizationModelObject *>(), first.get());

    auto second = makeModel();
    input.algorithm().setName(QStringLiteral("Sweep[2].Optim1"));
    second->setModelInput(input);
    m_state->addModel(second.get());
    QVERIFY(!sweep->isHidden());
    QCOMPARE(combo->currentIndex(), 1);
    QCOMPARE(combo->itemText(0), QStringLiteral("Sweep[1].Optim1"));
    QCOMPARE(combo->itemText(1), QStringLiteral("Sweep[2].Optim1"));
    QCOMPARE(selected.count(), 2);
    QCOMPARE(selected.at(1).at(0).value<OptimizationModelObject *>(), second.get());
    QVERIFY(!combo->itemIcon(0).isNull()); // running
    QVERIFY(combo->itemIcon(1).isNull());  // status 0: no image
    applyState(*second, AlgState(3));
    QVERIFY(!combo->itemIcon(1).isNull());

    // The user looks at the first one: a new model does not take the view away.
    combo->setCurrentIndex(0);
    QCOMPARE(selected.count(), 3);
    QCOMPARE(selected.at(2).at(0).value<OptimizationModelObject *>(), first.get());
    auto third = makeModel();
    m_state->addModel(third.get());
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(selected.count(), 3);

    m_state->setSimulationFinished();
    QCOMPARE(status->text(), QStringLiteral("The simulation is finished."));
}

void TestOptimHelmdeckDialog::closeIsIgnoredUntilControllerAllows()
{
    makeWindow(true);
    m_window->show();
    QSignalSpy requested(m_window, &OptimHelmdeckDialog::closeRequested);
    QVERIFY(!m_window->close());
    QCOMPARE(requested.count(), 1);
    QVERIFY(m_window->isVisible());
    QTest::mouseClick(button("closeButton"), Qt::LeftButton);
    QCOMPARE(requested.count(), 2);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(m_window);
    QVERIFY(m_window->isVisible());
    QVERIFY(!helmdeckSetting(QStringLiteral("size")).isValid());
}

void TestOptimHelmdeckDialog::closeAllowedSavesGeometryAndDeletes()
{
    makeWindow(true);
    m_window->show();
    m_window->resize(900, 560);
    connect(m_window, &OptimHelmdeckDialog::closeRequested, m_window, &OptimHelmdeckDialog::allowClose);
    QSignalSpy destroyed(m_window, &QObject::destroyed);
    QVERIFY(m_window->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(destroyed.count(), 1);
    QVERIFY(!m_window);
    QCOMPARE(helmdeckSetting(QStringLiteral("size")).toSize(), QSize(900, 560));
    QVERIFY(helmdeckSetting(QStringLiteral("pos")).isValid());
    QVERIFY(!helmdeckSetting(QStringLiteral("splitter1Sizes")).toByteArray().isEmpty());
}

void TestOptimHelmdeckDialog::closeRequestDuringCloseFlowIsNotRepeated()
{
    makeWindow(true);
    m_window->show();
    int flows = 0;
    connect(m_window, &OptimHelmdeckDialog::closeRequested, this, [&] {
        ++flows;
        // The user presses Close again while the controller's question is open.
        m_window->close();
    });
    QVERIFY(!m_window->close());
    QCOMPARE(flows, 1);
    QVERIFY(m_window->isVisible());
}

void TestOptimHelmdeckDialog::windowDeletedDuringCloseFlow()
{
    makeWindow(true);
    m_window->show();
    connect(m_window, &OptimHelmdeckDialog::closeRequested, this, [&] { delete m_window.data(); });
    m_window->close();
    QVERIFY(!m_window);
}

void TestOptimHelmdeckDialog::restoresGeometryFromSettings()
{
    setHelmdeckSetting(QStringLiteral("size"), QSize(640, 420));
    setHelmdeckSetting(QStringLiteral("pos"), QPoint(20, 40));
    makeWindow(true);
    QCOMPARE(m_window->size(), QSize(640, 420));
    QCOMPARE(m_window->pos(), QPoint(20, 40));

    delete m_window.data();
    delete m_state;
    setHelmdeckSetting(QStringLiteral("size"), QSize(5000, 4000));
    makeWindow(true);
    // Bounded to the desktop.
    const QSize desktop = m_window->screen()->availableGeometry().size();
    QVERIFY(m_window->width() <= desktop.width());
    QVERIFY(m_window->height() <= desktop.height());
}

void TestOptimHelmdeckDialog::windowPlacement()
{
    const QRect desktop(0, 0, 1920, 1080);
    WindowPlacement p = restoredWindowPlacement(QSize(800, 500), QPoint(300, 300), desktop);
    QCOMPARE(p.size, QSize(800, 500));
    QCOMPARE(p.pos, QPoint(300, 300));

    p = restoredWindowPlacement(QSize(2500, 1500), QPoint(300, 300), desktop);
    QCOMPARE(p.size, QSize(1920, 1080));

    // Too near the right edge: moved in so the whole window fits.
    p = restoredWindowPlacement(QSize(800, 500), QPoint(1800, 100), desktop);
    QCOMPARE(p.pos, QPoint(1120, 100));
    // Title bar above the top: brought down into the desktop.
    p = restoredWindowPlacement(QSize(800, 500), QPoint(100, -300), desktop);
    QCOMPARE(p.pos, QPoint(100, 0));
    // From a second screen that is gone.
    p = restoredWindowPlacement(QSize(800, 500), QPoint(-1500, 2000), desktop);
    QCOMPARE(p.pos, QPoint(0, 580));
    // Within reach stays put, even close to the edges.
    p = restoredWindowPlacement(QSize(800, 500), QPoint(1700, 850), desktop);
    QCOMPARE(p.pos, QPoint(1700, 850));

    p = restoredWindowPlacement(QSize(), QPoint(300, 300), desktop);
    QCOMPARE(p.size, QSize(800, 500));
}

QTEST_MAIN(TestOptimHelmdeckDialog)
#include "tst_optimhelmdeckdialog.moc"
