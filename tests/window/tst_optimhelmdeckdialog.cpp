// The helmdeck window: its buttons by state, the waits for the simulator, the
// editor hooks, the sweep list, the close flow, placement; the status views.

#include "state/helmdecksettings.h"
#include "state/optimhelmdeckcontrollerstate.h"
#include "window/goalspanel.h"
#include "window/optimhelmdeckdialog.h"
#include "window/optimicons.h"
#include "window/statuspanel.h"
#include "window/progressview.h"
#include "window/simulationerrorview.h"
#include "window/statusiconview.h"
#include "window/stoppingreasonview.h"
#include "window/sweeppanel.h"
#include "window/tempmessagebox.h"
#include "window/windoweditors.h"
#include "window/windowresources.h"
#include "windowtestsupport.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMovie>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>

Q_DECLARE_METATYPE(OptimAlgInput)

namespace {

QString labelText(QWidget *view, const char *name)
{
    auto *label = view->findChild<QLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QString::fromLatin1(name));
}

QString elapsed(QWidget &view) { return labelText(&view, "elapsedTimeLabel"); }

} // namespace

class TestOptimHelmdeckDialog : public QObject
{
    Q_OBJECT

    IsolatedSettings m_settings;
    OptimHelmdeckControllerState *m_state = nullptr;
    QPointer<OptimHelmdeckDialog> m_window;

    OptimHelmdeckDialog *makeWindow(bool interactive)
    {
        m_state = new OptimHelmdeckControllerState(false, interactive);
        m_window = new OptimHelmdeckDialog(m_state, QIcon(QStringLiteral(":/icons/smoptimz32")));
        return m_window;
    }
    std::unique_ptr<OptimizationModelObject> windowWith(const AlgState &state)
    {
        makeWindow(true);
        auto model = makeModel(state);
        m_window->setModel(model.get());
        return model;
    }
    QPushButton *button(const char *name) const { return m_window->findChild<QPushButton *>(QString::fromLatin1(name)); }
    // Enabled buttons, one letter each: Pause/continue, Simulate, Update
    // design, sTore, Recall, Options; '-' for a disabled one.
    QString enabled() const
    {
        QString s;
        for (const auto &[name, letter] : {std::pair{"pauseContinueButton", 'P'}, {"simulateButton", 'S'}, {"updateDesignButton", 'U'},
                                           {"storeButton", 'T'}, {"recallButton", 'R'}, {"optionsButton", 'O'}})
            s += button(name)->isEnabled() ? QLatin1Char(letter) : QLatin1Char('-');
        return s;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        qRegisterMetaType<OptimAlgInput>();
        qRegisterMetaType<OptimizationModelObject *>();
        initHelmdeckResources();
    }
    void init()
    {
        IsolatedSettings::clear();
    }
    void cleanup()
    {
        delete m_window.data();
        delete m_state;
        m_state = nullptr;
    }
    void buttonsByStatus_data()
    {
        QTest::addColumn<bool>("interactive");
        QTest::addColumn<int>("status"); // -1: no model
        QTest::addColumn<bool>("simulationOk");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("buttons");
        QTest::newRow("no model") << true << -1 << true << "Pause" << "------";
        QTest::newRow("0 unknown") << true << 0 << true << "Pause" << "P----O";
        QTest::newRow("2 running") << true << 2 << true << "Pause" << "P----O";
        QTest::newRow("3 paused") << true << 3 << true << "Continue" << "PSUTRO";
        QTest::newRow("3 paused, simulation failed") << true << 3 << false << "Continue" << "-SUTRO";
        QTest::newRow("4 finished") << true << 4 << true << "Continue" << "PSUTRO";
        QTest::newRow("5 exited") << true << 5 << true << "Continue" << "--UTRO";
        QTest::newRow("7 killed") << true << 7 << true << "Continue" << "--UTRO";
        QTest::newRow("view-only, no model") << false << -1 << true << "Pause" << "------";
        QTest::newRow("view-only 0") << false << 0 << true << "Pause" << "P-U--O";
        QTest::newRow("view-only 2") << false << 2 << true << "Pause" << "P-U--O";
        QTest::newRow("view-only 3") << false << 3 << true << "Continue" << "PSUTRO";
    }
    void buttonsByStatus()
    {
        QFETCH(bool, interactive);
        QFETCH(int, status);
        QFETCH(bool, simulationOk);
        makeWindow(interactive);
        auto model = makeModel();
        if (status > 0) {
            AlgState state(status);
            state.simulationOk = simulationOk;
            applyState(*model, state);
        }
        if (status >= 0)
            m_window->setModel(model.get());
        QTEST(button("pauseContinueButton")->text().remove(QLatin1Char('&')), "text");
        QTEST(enabled(), "buttons");
        // Every button of the window has a mnemonic, none the same.
        QSet<QKeySequence> mnemonics;
        for (const QAbstractButton *b : m_window->findChildren<QAbstractButton *>()) {
            if (b->text().isEmpty())
                continue;  // the arrows a tab bar scrolls with
            const QKeySequence key = QKeySequence::mnemonic(b->text());
            QVERIFY2(!key.isEmpty() && !mnemonics.contains(key), qPrintable(b->text()));
            mnemonics.insert(key);
        }
        QVERIFY(button("closeButton")->isEnabled() && button("helpButton")->isEnabled());
        // A view-only window never shows its interactive controls, not even
        // before its first model.
        for (const char *name : {"pauseContinueButton", "simulateButton", "editAlgorithmButton"})
            QCOMPARE(button(name)->isHidden(), !interactive);
        QCOMPARE(m_window->findChild<QGroupBox *>(QStringLiteral("statesGroup"))->isHidden(), !interactive);
        QCOMPARE(m_window->findChild<QLabel *>(QStringLiteral("viewOnlyLabel"))->isHidden(), interactive);
    }
    void waitsBlockTheButtons()
    {
        auto model = windowWith(AlgState(3));
        m_state->setWaitingFor(OptimHelmdeckControllerState::WaitContinue);
        QCOMPARE(enabled(), QStringLiteral("-SUTRO"));
        m_state->stopWaiting();
        QCOMPARE(enabled(), QStringLiteral("PSUTRO"));
        // Waiting for the simulator to continue or simulate; the window's
        // own waits come with a box that shows only after a delay.
        QSignalSpy waiting(m_window.data(), &OptimHelmdeckDialog::waitingForSimulationToFinish);
        m_window->setWaitingForSimulatorToSimulate(true);
        QCOMPARE(waiting.count(), 1);
        QCOMPARE(enabled(), QStringLiteral("P-UTRO"));
        StatusIconView *icon = m_window->statusPanel()->statusIconView();
        QCOMPARE(icon->movie(), icon->simulatingMovie());
        m_window->setWaitingForSimulatorToSimulate(false);
        QCOMPARE(icon->shownIcon(), int(OptimIconPaused));
        m_window->show();
        m_window->setWaitingForSimulatorToContinue(true);
        QCOMPARE(enabled(), QStringLiteral("------"));
        QCOMPARE(m_window->waitBox()->message(), QStringLiteral("Waiting for the simulator to continue."));
        QVERIFY(!m_window->waitBox()->isVisible());
        m_window->setWaitingForSimulatorToContinue(false);
        QCOMPARE(enabled(), QStringLiteral("PSUTRO"));
        applyState(*model, AlgState(2, QStringLiteral("4")));
        m_state->setWaitingFor(OptimHelmdeckControllerState::WaitPause);
        QCOMPARE(enabled(), QStringLiteral("-----O"));
        m_state->stopWaiting();
        m_window->setWaitingForSimulatorToPause(true);
        QCOMPARE(enabled(), QStringLiteral("------"));
        QVERIFY(button("closeButton")->isEnabled() && button("helpButton")->isEnabled());
        QCOMPARE(m_window->waitBox()->message(), QStringLiteral("Waiting for the simulator to pause."));
        // No answer within the offer delay: the box says so and offers its choices.
        auto *stop = m_window->waitBox()->findChild<QPushButton *>(QStringLiteral("stopSimulatorButton"));
        auto *keep = m_window->waitBox()->findChild<QPushButton *>(QStringLiteral("keepWaitingButton"));
        QVERIFY(stop && keep && !stop->isVisible());
        m_window->setWaitOfferDelay(20);
        m_window->setWaitingForSimulatorToPause(true);
        QTRY_VERIFY(stop->isVisible() && keep->isVisible());
        QVERIFY(m_window->waitBox()->message().contains(QStringLiteral("The simulator does not answer.")));
        QTest::mouseClick(keep, Qt::LeftButton);
        QVERIFY(!stop->isVisible());
        QCOMPARE(m_window->waitBox()->message(), QStringLiteral("Waiting for the simulator to pause."));
        QSignalSpy stopRequested(m_window.data(), &OptimHelmdeckDialog::stopSimulatorRequested);
        QTRY_VERIFY(stop->isVisible());
        QTest::mouseClick(stop, Qt::LeftButton);
        QCOMPARE(stopRequested.count(), 1);
        QCOMPARE(m_window->waitBox()->message(), QStringLiteral("Stopping the simulator."));
        applyState(*model, AlgState(3, QStringLiteral("4")));
        m_window->setWaitingForSimulatorToPause(false);
        QVERIFY(!stop->isVisibleTo(m_window->waitBox()));
        QCOMPARE(enabled(), QStringLiteral("PSUTRO"));
        // A deleted model leaves nothing to press.
        model.reset();
        QVERIFY(!m_window->model());
        QCOMPARE(enabled(), QStringLiteral("------"));
        QCOMPARE(icon->shownIcon(), -1);
    }
    void buttonsSendTheirRequests()
    {
        auto model = windowWith(AlgState(2));
        m_window->show();
        QPushButton *pauseContinue = button("pauseContinueButton");
        const qint64 pauseIcon = pauseContinue->icon().cacheKey();
        QSignalSpy pause(m_window.data(), &OptimHelmdeckDialog::pauseOptimization);
        QSignalSpy proceed(m_window.data(), &OptimHelmdeckDialog::continueOptimization);
        QTest::mouseClick(pauseContinue, Qt::LeftButton);
        QCOMPARE(pause.count(), 1);
        applyState(*model, AlgState(3, QStringLiteral("4")));
        QVERIFY(!pauseContinue->icon().isNull() && pauseContinue->icon().cacheKey() != pauseIcon);
        // Continuing asks the algorithm-type check first; a warning stops it.
        QString checkedName;
        bool warn = true;
        OptimHelmdeckEditorHooks hooks;
        hooks.algorithmTypeWarning = [&](const OptimModelInput &input, QWidget *) {
            checkedName = input.algorithm().name();
            return warn;
        };
        m_window->setEditorHooks(hooks);
        QTest::mouseClick(pauseContinue, Qt::LeftButton);
        QCOMPARE(checkedName, QStringLiteral("Optim1"));
        QCOMPARE(proceed.count(), 0);
        warn = false;
        QTest::mouseClick(pauseContinue, Qt::LeftButton);
        QCOMPARE(std::pair(proceed.count(), pause.count()), std::pair(qsizetype(1), qsizetype(1)));
        QSignalSpy simulate(m_window.data(), &OptimHelmdeckDialog::simulate);
        QSignalSpy update(m_window.data(), &OptimHelmdeckDialog::updateDesignClicked);
        QSignalSpy store(m_window.data(), &OptimHelmdeckDialog::storeState);
        QSignalSpy recall(m_window.data(), &OptimHelmdeckDialog::recallState);
        QSignalSpy options(m_window.data(), &OptimHelmdeckDialog::optionsClicked);
        QSignalSpy help(m_window.data(), &OptimHelmdeckDialog::helpRequested);
        for (const char *name : {"simulateButton", "updateDesignButton", "storeButton", "recallButton", "optionsButton", "helpButton"})
            QTest::mouseClick(button(name), Qt::LeftButton);
        for (QSignalSpy *spy : {&simulate, &update, &store, &recall, &options})
            QCOMPARE(spy->count(), 1);
        QCOMPARE(calls(help), QStringList{"OPTIM_HELMDECK_DIALOG"});
    }
    void editAlgorithm()
    {
        auto model = windowWith(AlgState(3));
        QPushButton *edit = button("editAlgorithmButton");
        QVERIFY(!edit->isEnabled()); // no algorithm editor plugged in
        QString editedFrom;
        OptimHelmdeckEditorHooks hooks;
        hooks.editAlgorithm = [&](const OptimizationModel &shown, QWidget *, OptimAlgInput *edited,
                                  const std::function<void(const QString &)> &help) {
            editedFrom = shown.algorithmOutput().iterationText();
            help(QStringLiteral("OPTIM_HELMDECK_EDIT_ALGORITHM"));
            *edited = shown.algorithmInput();
            edited->setAlgorithmType(5);
            return true;
        };
        m_window->setEditorHooks(hooks);
        applyState(*model, AlgState(4, QStringLiteral("7")));
        QVERIFY(edit->isEnabled());
        m_state->setWaitingFor(OptimHelmdeckControllerState::WaitSimulate);
        QVERIFY(!edit->isEnabled());
        m_state->stopWaiting();
        m_window->preventUserInput(true);
        QVERIFY(!edit->isEnabled());
        m_window->preventUserInput(false);
        m_window->show();
        QSignalSpy changed(m_window.data(), &OptimHelmdeckDialog::algorithmDefinitionChanged);
        QSignalSpy help(m_window.data(), &OptimHelmdeckDialog::helpRequested);
        QTest::mouseClick(edit, Qt::LeftButton);
        QCOMPARE(editedFrom, QStringLiteral("7"));
        QCOMPARE(calls(help), QStringList{"OPTIM_HELMDECK_EDIT_ALGORITHM"});
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).value<OptimAlgInput>().algorithmType(), 5);
        applyState(*model, AlgState(2, QStringLiteral("8")));
        QVERIFY(!edit->isEnabled());
    }
    void editorLaunchOnceAndWindowGoneMeanwhile()
    {
        auto model = windowWith(AlgState(3));
        QSignalSpy changed(m_window.data(), &OptimHelmdeckDialog::algorithmDefinitionChanged);
        int runs = 0;
        bool buttonWhileOpen = true;
        OptimHelmdeckEditorHooks hooks;
        hooks.editAlgorithm = [&](const OptimizationModel &, QWidget *, OptimAlgInput *, const std::function<void(const QString &)> &help) {
            ++runs;
            buttonWhileOpen = button("editAlgorithmButton")->isEnabled();
            m_window->statusPanel()->showEditAlgorithmDialog();   // a second launch while open is refused
            delete m_window.data();                                // the window goes while the editor is open
            help(QStringLiteral("OPTIM_HELMDECK_EDIT_ALGORITHM"));
            return true;
        };
        m_window->setEditorHooks(hooks);
        m_window->statusPanel()->showEditAlgorithmDialog();
        QCOMPARE(std::tuple(runs, buttonWhileOpen, bool(m_window), changed.count()), std::tuple(1, false, false, qsizetype(0)));
    }
    void sweepEntryTexts_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("shared front dropped") << QStringList{"X[1].Y[0].Opt", "X[1].Y[1].Opt"} << QStringList{"Y[0].Opt", "Y[1].Opt"};
        QTest::newRow("first differs") << QStringList{"Sweep[1].Optim1", "Sweep[2].Optim1"}
                                       << QStringList{"Sweep[1].Optim1", "Sweep[2].Optim1"};
        QTest::newRow("dots inside components stay") << QStringList{"top.sweep[1].opt.x", "top.sweep[2].opt.x"}
                                                     << QStringList{"top.sweep[1].opt.x", "top.sweep[2].opt.x"};
        QTest::newRow("single name keeps its last part") << QStringList{"A[1].B[2].Optim1"} << QStringList{"Optim1"};
        QTest::newRow("equal names") << QStringList{"A[1].C", "A[1].C"} << QStringList{"C", "C"};
        QTest::newRow("different depths") << QStringList{"A[1].B", "A[1].C[2].D"} << QStringList{"B", "C[2].D"};
    }
    void sweepEntryTexts()
    {
        QFETCH(QStringList, names);
        QTEST(SweepPanel::entryTexts(names), "texts");
    }
    void sweepFollowsNewestAndSelects()
    {
        makeWindow(false);
        auto *sweep = m_window->findChild<SweepPanel *>(QStringLiteral("sweepPanel"));
        auto *combo = sweep->findChild<QComboBox *>(QStringLiteral("sweepCombo"));
        auto *status = sweep->findChild<QLabel *>(QStringLiteral("sweepStatusLabel"));
        QSignalSpy selected(m_window.data(), &OptimHelmdeckDialog::optimizationSelected);
        auto selectedModel = [&](int i) { return selected.at(i).at(0).value<OptimizationModelObject *>(); };
        auto first = makeModel(AlgState(2));
        auto input = sampleModelInput(smallSample());
        input.algorithm().setName(QStringLiteral("Sweep[1].Optim1"));
        first->setModelInput(input);
        m_state->addModel(first.get());
        QVERIFY(sweep->isHidden()); // one optimization: no list
        QCOMPARE(selected.count(), 1);
        QCOMPARE(selectedModel(0), first.get());
        auto second = makeModel();
        input.algorithm().setName(QStringLiteral("Sweep[2].Optim1"));
        second->setModelInput(input);
        m_state->addModel(second.get());
        QVERIFY(!sweep->isHidden());
        QCOMPARE(combo->currentIndex(), 1);
        QCOMPARE(combo->itemText(0), QStringLiteral("Sweep[1].Optim1"));
        QCOMPARE(combo->toolTip(), QStringLiteral("Sweep[2].Optim1"));  // the whole name of the case on view
        QCOMPARE(selectedModel(1), second.get());
        QVERIFY(m_window->minimumSizeHint().width() <= 800);  // the sweep list fits the default size
        QVERIFY(!combo->itemIcon(0).isNull()); // running
        QVERIFY(combo->itemIcon(1).isNull());  // status 0: no image
        applyState(*second, AlgState(3));
        QVERIFY(!combo->itemIcon(1).isNull());
        QCOMPARE(status->text(), QStringLiteral("This case is paused."));   // the case on view, not the sweep
        // The user looks at the first one: a new model does not take the view away.
        combo->setCurrentIndex(0);
        QCOMPARE(combo->toolTip(), QStringLiteral("Sweep[1].Optim1"));
        QCOMPARE(selectedModel(2), first.get());
        auto third = makeModel();
        m_state->addModel(third.get());
        QCOMPARE(combo->currentIndex(), 0);
        QCOMPARE(selected.count(), 3);
        QCOMPARE(status->text(), QStringLiteral("The simulation is running."));
        applyState(*first, AlgState(4));
        QCOMPARE(status->text(), QStringLiteral("This case is finished and paused."));
        m_state->setSimulationFinished();
        QCOMPARE(status->text(), QStringLiteral("The simulation is finished."));
    }
    void defaultSizeShowsWholeTexts()
    {
        // At the default size the best error and every page of the goals
        // read whole: no elision, no tab behind scroll arrows.
        auto model = windowWith(AlgState());
        OptimIter iteration = sampleIteration(smallSample(), 3);
        iteration.algorithm().setStatus(2);
        iteration.algorithm().setIsBestError(true);
        iteration.algorithm().setErrorText(QStringLiteral("14.7167 at iteration 12"));
        iteration.algorithm().setErrorDetail(QStringLiteral("14.7167"));
        model->applyIteration(iteration);
        m_window->resize(800, 500);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        auto *goals = m_window->findChild<GoalsPanel *>();
        auto *value = goals->findChild<QLabel *>(QStringLiteral("errorValueLabel"));
        QCOMPARE(value->text(), QStringLiteral("14.7167 at iteration 12"));
        QVERIFY(value->fontMetrics().horizontalAdvance(value->text()) <= value->width());
        const QTabBar *tabs = goals->pages()->tabBar();
        QVERIFY(tabs->sizeHint().width() <= tabs->width());
        QCOMPARE(tabs->tabToolTip(0), QStringLiteral("Goal contributions: Each goal's share of the error"));
    }
    void closeIsIgnoredUntilControllerAllows()
    {
        makeWindow(true);
        m_window->show();
        QSignalSpy requested(m_window.data(), &OptimHelmdeckDialog::closeRequested);
        QVERIFY(!m_window->close());
        QTest::mouseClick(button("closeButton"), Qt::LeftButton);
        QCOMPARE(requested.count(), 2);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(m_window && m_window->isVisible() && !HelmdeckSettings().value(QStringLiteral("size")).isValid());
    }
    void closeAllowedSavesGeometryAndDeletes()
    {
        makeWindow(true);
        m_window->show();
        m_window->resize(900, 560);
        connect(m_window.data(), &OptimHelmdeckDialog::closeRequested, m_window.data(), &OptimHelmdeckDialog::allowClose);
        QVERIFY(m_window->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!m_window);
        QCOMPARE(HelmdeckSettings().value(QStringLiteral("size")).toSize(), QSize(900, 560));
        QVERIFY(HelmdeckSettings().value(QStringLiteral("pos")).isValid());
        QVERIFY(!HelmdeckSettings().value(QStringLiteral("splitter1Sizes")).toByteArray().isEmpty());
    }
    void closeRequestDuringCloseFlowIsNotRepeated()
    {
        makeWindow(true);
        m_window->show();
        int flows = 0;
        connect(m_window.data(), &OptimHelmdeckDialog::closeRequested, this, [&] {
            ++flows;
            m_window->close(); // the user presses Close again while the controller's question is open
        });
        QVERIFY(!m_window->close());
        QCOMPARE(flows, 1);
        QVERIFY(m_window->isVisible());
    }
    void windowDeletedDuringCloseFlow()
    {
        makeWindow(true);
        m_window->show();
        connect(m_window.data(), &OptimHelmdeckDialog::closeRequested, this, [&] { delete m_window.data(); });
        m_window->close();
        QVERIFY(!m_window);
    }
    void panelsShareTheRoom_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QList<int>>("bounds");   // rows, plots wholly in view, row height: at least; pages % of splitter: at most
        QTest::newRow("800x500") << QSize(800, 500) << QList<int>{3, 2, 44, 36};
        QTest::newRow("1600x1000") << QSize(1600, 1000) << QList<int>{3, 2, 100, 20};
    }
    void panelsShareTheRoom()
    {
        QFETCH(QSize, size);
        QFETCH(QList<int>, bounds);
        const auto model = windowWith(AlgState(3));
        m_window->resize(size);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.data()));
        auto inView = [this](const char *pattern) {
            const QList<QWidget *> items = m_window->findChildren<QWidget *>(QRegularExpression(QLatin1String(pattern)));
            return int(std::count_if(items.begin(), items.end(), [](QWidget *w) { return w->visibleRegion() == QRegion(w->rect()); }));
        };
        auto height = [this](const char *name) { return m_window->findChild<QWidget *>(QLatin1String(name))->height(); };
        const QList<int> got{inView("^varHistoryRow\\d$"), inView("^goalGraph\\d$"), height("varHistoryRow0"), 100 * height("goalPages") / height("goalsSplitter")};
        QCOMPARE(QList<int>({std::min(got[0], bounds[0]), std::min(got[1], bounds[1]), std::min(got[2], bounds[2]), std::max(got[3], bounds[3])}), bounds);
    }
    void restoresGeometryFromSettings()
    {
        HelmdeckSettings().setValue(QStringLiteral("size"), QSize(640, 420));
        HelmdeckSettings().setValue(QStringLiteral("pos"), QPoint(20, 40));
        makeWindow(true);
        QCOMPARE(m_window->size(), QSize(640, 420));
        QCOMPARE(m_window->pos(), QPoint(20, 40));
    }
    void windowPlacement_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("pos");
        QTest::addColumn<QSize>("placedSize");
        QTest::addColumn<QPoint>("placedPos");
        QTest::newRow("fits") << QSize(800, 500) << QPoint(300, 300) << QSize(800, 500) << QPoint(300, 300);
        QTest::newRow("larger than the desktop") << QSize(2500, 1500) << QPoint(0, 0) << QSize(1920, 1080) << QPoint(0, 0);
        QTest::newRow("near the right edge") << QSize(800, 500) << QPoint(1800, 100) << QSize(800, 500) << QPoint(1120, 100);
        QTest::newRow("above the top") << QSize(800, 500) << QPoint(100, -300) << QSize(800, 500) << QPoint(100, 0);
        QTest::newRow("on a screen that is gone") << QSize(800, 500) << QPoint(-1500, 2000) << QSize(800, 500) << QPoint(0, 580);
        QTest::newRow("within reach stays") << QSize(800, 500) << QPoint(1700, 850) << QSize(800, 500) << QPoint(1700, 850);
        QTest::newRow("no size") << QSize() << QPoint(300, 300) << QSize(800, 500) << QPoint(300, 300);
    }
    void windowPlacement()
    {
        QFETCH(QSize, size);
        QFETCH(QPoint, pos);
        const WindowPlacement p = restoredWindowPlacement(size, pos, QRect(0, 0, 1920, 1080));
        QTEST(p.size, "placedSize");
        QTEST(p.pos, "placedPos");
    }
    void progress_data()
    {
        QTest::addColumn<QString>("iteration");
        QTest::addColumn<QString>("limit");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("half") << "50" << "100" << 500 << "Iteration 50/100";
        QTest::newRow("past limit is full") << "12" << "10" << 1000 << "Iteration 12/12";
        QTest::newRow("no limit") << "5" << "" << 0 << "Iteration 5";
        QTest::newRow("no iteration") << "" << "10" << 0 << "";
        QTest::newRow("thirds round down") << "1" << "3" << 333 << "Iteration 1/3";
        QTest::newRow("thirds round up") << "2" << "3" << 667 << "Iteration 2/3";
        QTest::newRow("half tenth rounds up") << "1" << "16" << 63 << "Iteration 1/16";
        QTest::newRow("limit 0 after iterations") << "5" << "0" << 1000 << "Iteration 5/5";
        QTest::newRow("limit 0 before iterations") << "0" << "0" << 0 << "Iteration 0/0";
        QTest::newRow("limit not a number") << "5" << "abc" << 0 << "Iteration 5/abc";
        QTest::newRow("limit infinite") << "5" << "inf" << 0 << "Iteration 5/inf";
        QTest::newRow("iteration not a number") << "abc" << "10" << 0 << "Iteration abc/10";
        QTest::newRow("negative iteration") << "-4" << "10" << 0 << "Iteration -4/10";
    }
    void progress()
    {
        QFETCH(QString, iteration);
        QFETCH(QString, limit);
        QTEST(ProgressView::progressValue(iteration, limit), "value");
        QTEST(ProgressView::progressText(iteration, limit), "text");
    }
    void elapsedTimeText_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("59") << qint64(59) << "59s";
        QTest::newRow("60") << qint64(60) << "1m00s";
        QTest::newRow("3599") << qint64(3599) << "59m59s";
        QTest::newRow("3600") << qint64(3600) << "1h00m00s";
        QTest::newRow("36671") << qint64(36671) << "10h11m11s";
        QTest::newRow("negative") << qint64(-5) << "0s";
    }
    void elapsedTimeText()
    {
        QFETCH(qint64, seconds);
        QTEST(ProgressView::elapsedTimeText(seconds), "text");
    }
    void progressViewShowsModel()
    {
        ProgressView view;
        auto *bar = view.findChild<QProgressBar *>(QStringLiteral("progressBar"));
        auto shown = [&] { return std::pair(labelText(&view, "progressTextLabel"), bar->value()); };
        auto model = makeModel(AlgState{2, QStringLiteral("25"), QStringLiteral("100")});
        view.setModel(model.get());
        QCOMPARE(shown(), std::pair(QStringLiteral("Iteration 25/100"), 250));
        // An empty limit from the optimizer falls back to the algorithm's own.
        auto fallback = makeModel(AlgState{2, QStringLiteral("30"), QString()}, 2, QStringLiteral("60"));
        view.setModel(fallback.get());
        QCOMPARE(shown(), std::pair(QStringLiteral("Iteration 30/60"), 500));
        // No signal of a dead model may reach the view; a redraw shows nothing.
        fallback.reset();
        QMetaObject::invokeMethod(&view, "updateView");
        QCOMPARE(shown(), std::pair(QString(), 0));
    }
    void progressFollowsAnEditedLimit()
    {
        ProgressView view;
        auto model = makeModel(AlgState{3, QStringLiteral("12"), QStringLiteral("100")});
        view.setModel(model.get());
        QCOMPARE(labelText(&view, "progressTextLabel"), QStringLiteral("Iteration 12/100"));
        OptimAlgInput algorithm = model->model().algorithmInput();
        algorithm.setMaxIterations(QStringLiteral("40"));
        model->setAlgorithmDefinition(algorithm);
        QCOMPARE(labelText(&view, "progressTextLabel"), QStringLiteral("Iteration 12/40"));
        // The optimizer's word counts again once it sends one.
        applyState(*model, AlgState{3, QStringLiteral("13"), QStringLiteral("50")});
        QCOMPARE(labelText(&view, "progressTextLabel"), QStringLiteral("Iteration 13/50"));
    }
    void elapsedClockRunsOnlyWhileRunning()
    {
        QDateTime now = QDateTime(QDate(2030, 1, 1), QTime(12, 0), Qt::UTC);
        ProgressView view;
        view.setClock([&now] { return now; });
        auto model = makeModel(AlgState{3, QStringLiteral("1")});
        view.setModel(model.get());
        QVERIFY(!view.isClockRunning());
        QCOMPARE(elapsed(view), QStringLiteral("Elapsed time: 0s"));
        applyState(*model, AlgState{2, QStringLiteral("2")});
        QVERIFY(view.isClockRunning());
        now = now.addSecs(65);
        applyState(*model, AlgState{2, QStringLiteral("3")});
        QCOMPARE(elapsed(view), QStringLiteral("Elapsed time: 1m05s"));
        // Paused: the clock stands still and keeps its total.
        applyState(*model, AlgState{3, QStringLiteral("3")});
        now = now.addSecs(600);
        applyState(*model, AlgState{3, QStringLiteral("3")});
        QCOMPARE(elapsed(view), QStringLiteral("Elapsed time: 1m05s"));
        applyState(*model, AlgState{2, QStringLiteral("4")});
        now = now.addSecs(3600);
        applyState(*model, AlgState{2, QStringLiteral("5")});
        QCOMPARE(elapsed(view), QStringLiteral("Elapsed time: 1h01m05s"));
        // Another model on view does not reset the total.
        auto other = makeModel(AlgState{3, QStringLiteral("9")});
        view.setModel(other.get());
        QVERIFY(!view.isClockRunning());
        QCOMPARE(view.elapsedSeconds(), qint64(3665));
    }
    void statusIconByStatus_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("icon");
        QTest::newRow("initializing") << 1 << int(OptimIconOptimizing);
        QTest::newRow("running") << 2 << int(OptimIconOptimizing);
        QTest::newRow("paused") << 3 << int(OptimIconPaused);
        QTest::newRow("finished") << 4 << int(OptimIconFinishedAndPaused);
        QTest::newRow("exited") << 5 << int(OptimIconFinished);
        QTest::newRow("finished, goals not met") << -4 << int(OptimIconFinishedAndPaused);
        QTest::newRow("exited with error") << 6 << int(OptimIconFinishedWithError);
        QTest::newRow("killed") << 7 << int(OptimIconFinishedWithError);
        QTest::newRow("unknown code") << 9 << -1;
    }
    void statusIconByStatus()
    {
        QFETCH(int, status);
        QFETCH(int, icon);
        // The sample's two goals are met; a negative status raises the
        // second goal's limit above its traces.
        auto model = makeModel(AlgState{std::abs(status)});
        if (status < 0) {
            OptimIterGoalDefinitions goals;
            goals.goals() = model->model().input().goals();
            goals.goals()[1].limits()[0].setGreaterThan(QStringLiteral("0"));
            model->setGoalDefinitions(goals);
        }
        StatusIconView view;
        StoppingReasonView reason;
        view.setModel(model.get());
        reason.setModel(model.get());
        QCOMPARE(view.shownIcon(), icon);
        // A finished run tells whether its goals were met, in the tooltip
        // and under the stopping reason.
        const QString verdict = status == 4 || status == 5 ? QStringLiteral("all goals met")
            : status < 0                                   ? QStringLiteral("1 of 2 goals not met")
                                                           : QString();
        QCOMPARE(labelText(&reason, "goalsVerdictLabel"), verdict);
        QCOMPARE(reason.isHidden(), verdict.isEmpty() && (status < 5 || status > 7));
        if (icon == OptimIconOptimizing) {
            QCOMPARE(view.movie(), view.optimizingMovie());
            QCOMPARE(view.optimizingMovie()->state(), QMovie::Running);
        } else {
            QVERIFY(!view.movie());
            QCOMPARE(view.pixmap().isNull(), icon < 0);
        }
        const QString name = icon < 0 ? QString() : optimIconName(static_cast<OptimIcon>(icon));
        QCOMPARE(view.toolTip(), verdict.isEmpty() ? name : name + QStringLiteral(": ") + verdict);
    }
    void statusIconMovies()
    {
        auto model = makeModel(AlgState{2});
        StatusIconView view;
        view.setModel(model.get());
        applyState(*model, AlgState{3});
        QCOMPARE(view.shownIcon(), int(OptimIconPaused));
        QVERIFY(!view.movie());
        QCOMPARE(view.optimizingMovie()->state(), QMovie::Paused);
        view.setShowSimulationIcon(true);
        QCOMPARE(view.movie(), view.simulatingMovie());
        QCOMPARE(view.simulatingMovie()->state(), QMovie::Running);
        // A result arriving while the simulation icon shows keeps it.
        applyState(*model, AlgState{3, QStringLiteral("4")});
        QCOMPARE(view.movie(), view.simulatingMovie());
        view.setShowSimulationIcon(false);
        QCOMPARE(view.shownIcon(), int(OptimIconPaused));
        QCOMPARE(view.simulatingMovie()->state(), QMovie::Paused);
    }
    void algorithmErrorAndStoppingReason()
    {
        auto model = makeModel(AlgState{2});
        SimulationErrorView error;
        StoppingReasonView reason;
        error.setModel(model.get());
        reason.setModel(model.get());
        QVERIFY(error.isHidden() && reason.isHidden());
        OptimIterSimResult failed;
        failed.iteration().algorithm().setSimulationOk(false);
        model->applySimResult(failed);
        QVERIFY(!error.isHidden());
        applyState(*model, AlgState(3, QStringLiteral("4")));
        QVERIFY(error.isHidden());
        model->applyStatus(OptimStatus(3, QStringLiteral("All goals met.")));
        QVERIFY(!reason.isHidden());
        QCOMPARE(labelText(&reason, "stoppingReasonLabel"), QStringLiteral("All goals met."));
        model->applyStatus(OptimStatus(2, QString()));
        QVERIFY(reason.isHidden());
        // An ended optimization without a reason says what happened.
        model->applyStatus(OptimStatus(6, QString()));
        QCOMPARE(labelText(&reason, "stoppingReasonLabel"), QStringLiteral("The simulator ended with an error and gave no reason."));
        QVERIFY(!reason.isHidden());
    }
};

QTEST_MAIN(TestOptimHelmdeckDialog)
#include "tst_optimhelmdeckdialog.moc"
