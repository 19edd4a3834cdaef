#include "state/optimhelmdeckcontrollerstate.h"
#include "isolatedsettings.h"
#include "state/helmdecksettings.h"

#include <QSettings>
#include <QTest>

#include <memory>

using State = OptimHelmdeckControllerState;
using L = QStringList;

namespace {

// A state that logs every signal in emission order ("pause(true)", "noLongerWaiting", ...)
// and tells how many connections its noLongerWaiting() has.
class LoggedState : public State
{
public:
    LoggedState() : State(false, true)
    {
        const auto on = [this](const char *name) {
            return [this, name](bool b) { log << QString::fromLatin1(name) + (b ? "(true)" : "(false)"); };
        };
        const auto bare = [this](const char *name) { return [this, name] { log << QLatin1String(name); }; };
        const auto num = [this](const char *name) {
            return [this, name](int n) { log << QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(n); };
        };
        connect(this, &State::modelAdded, this, [this](OptimizationModelObject *m) { log << "modelAdded(" + m->objectName() + ")"; });
        connect(this, &State::noLongerWaiting, this, bare("noLongerWaiting"));
        connect(this, &State::waitStateChanged, this, bare("waitStateChanged"));
        connect(this, &State::changeWaitingForSimulatorToContinue, this, on("continue"));
        connect(this, &State::changeWaitingForSimulatorToPause, this, on("pause"));
        connect(this, &State::changeWaitingForSimulatorToSimulate, this, on("simulate"));
        connect(this, &State::tuningStateChanged, this, on("tuning"));
        connect(this, &State::staleDataChanged, this, on("stale"));
        connect(this, &State::numIterationsToDisplayChanged, this, num("numIters"));
        connect(this, &State::yAutoScaleUsingAllDataChanged, this, on("yAutoScale"));
        connect(this, &State::simulationFinished, this, bare("simulationFinished"));
        connect(this, &State::goalXAxisScalingChanged, this, num("goalXAxis"));
    }
    L take() { return std::exchange(log, {}); }
    int noLongerWaitingListeners() const { return receivers(SIGNAL(noLongerWaiting())); }
    L log;
};

// A model object that tells how many connections its algorithmChanged() has.
class ProbeModel : public OptimizationModelObject
{
public:
    using OptimizationModelObject::OptimizationModelObject;
    int algorithmListeners() const { return receivers(SIGNAL(algorithmChanged())); }
};

void reachIteration(OptimizationModelObject *model, int n)
{
    OptimIter iter;
    iter.algorithm().setStatus(2);
    iter.algorithm().setIterationText(QString::number(n));
    model->applyIteration(iter);
}

// A model whose algorithm may reach maxIterations, at iteration (when >= 0).
ProbeModel *makeModel(QObject *parent, const QString &name, const QString &maxIterations, int iteration = -1)
{
    auto *model = new ProbeModel(parent);
    model->setObjectName(name);
    OptimModelInput input;
    OptimAlgInput algorithm;
    algorithm.setName(name);
    algorithm.setMaxIterations(maxIterations);
    input.setAlgorithm(algorithm);
    model->setModelInput(input);
    if (iteration >= 0)
        reachIteration(model, iteration);
    return model;
}

} // namespace

class TestOptimHelmdeckControllerState : public QObject
{
    Q_OBJECT
    IsolatedSettings m_config;

private Q_SLOTS:
    void initTestCase()
    {
        // Every settings location points into a temporary directory, so no test touches the user's settings.
        QVERIFY(m_config.isValid());
        QSettings settings(QStringLiteral("Brannoc"), QStringLiteral("ZEB"));
        QVERIFY2(settings.fileName().startsWith(m_config.path() + '/'), qPrintable(settings.fileName()));
    }

    void init() { IsolatedSettings::clear(); }

    void setWaitingForSignalOrder_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<L>("expected");
        QTest::newRow("none->pause") << 0 << 1 << L{"pause(true)", "waitStateChanged"};
        QTest::newRow("none->continue") << 0 << 2 << L{"continue(true)", "waitStateChanged"};
        QTest::newRow("none->simulate") << 0 << 3 << L{"simulate(true)", "waitStateChanged"};
        QTest::newRow("pause->simulate") << 1 << 3 << L{"pause(false)", "simulate(true)", "waitStateChanged"};
        QTest::newRow("simulate->pause") << 3 << 1 << L{"simulate(false)", "pause(true)", "waitStateChanged"};
        QTest::newRow("continue->pause") << 2 << 1 << L{"continue(false)", "pause(true)", "waitStateChanged"};
        QTest::newRow("pause->none") << 1 << 0 << L{"pause(false)", "noLongerWaiting", "waitStateChanged"};
        QTest::newRow("continue->none") << 2 << 0 << L{"continue(false)", "noLongerWaiting", "waitStateChanged"};
        QTest::newRow("simulate->none") << 3 << 0 << L{"simulate(false)", "noLongerWaiting", "waitStateChanged"};
    }

    void setWaitingForSignalOrder()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(L, expected);
        LoggedState state;
        state.setWaitingFor(from);
        state.take();
        state.setWaitingFor(to);
        QCOMPARE(state.take(), expected);
        QCOMPARE(state.waitingFor(), to);
    }

    void setWaitingForCurrentKindAndStopWaiting()
    {
        LoggedState state;
        state.setWaitingFor(0);
        state.stopWaiting();
        QCOMPARE(state.take(), L());
        for (int kind : {1, 2, 3}) {
            state.setWaitingFor(kind);
            state.take();
            state.setWaitingFor(kind);
            QCOMPARE(state.take(), L());
        }
        state.setWaitingFor(7); // unknown kinds are not taken
        state.setWaitingFor(-1);
        QCOMPARE(state.take(), L());
        QCOMPARE(state.waitingFor(), 3);
        state.stopWaiting();
        state.stopWaiting();
        QCOMPARE(state.take(), L({"simulate(false)", "noLongerWaiting", "waitStateChanged"}));
        QCOMPARE(state.waitingFor(), 0);
    }

    void answerReceivedEndsMatchingWait_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("ends");
        QTest::newRow("nothing, paused") << 0 << 3 << false;
        QTest::newRow("pause, still running") << 1 << 2 << false;
        QTest::newRow("pause, paused") << 1 << 3 << true;
        QTest::newRow("pause, unknown") << 1 << 0 << true;
        QTest::newRow("pause, killed") << 1 << 7 << true;
        QTest::newRow("continue, paused") << 2 << 3 << false;
        QTest::newRow("continue, finished") << 2 << 4 << false;
        QTest::newRow("continue, running") << 2 << 2 << true;
        QTest::newRow("simulate, running") << 3 << 2 << true;
        QTest::newRow("simulate, paused") << 3 << 3 << true;
    }

    void answerReceivedEndsMatchingWait()
    {
        QFETCH(int, kind);
        QFETCH(int, status);
        QFETCH(bool, ends);
        const QString name = L{"", "pause", "continue", "simulate"}.at(kind);
        LoggedState state;
        state.setWaitingFor(kind);
        state.take();
        state.answerReceived(status);
        QCOMPARE(state.take(), (ends ? L({name + "(false)", "noLongerWaiting", "waitStateChanged"}) : L()));
        QCOMPARE(state.waitingFor(), ends ? 0 : kind);
    }

    void turnOnTuningByWaitKind_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("turnsOn");
        QTest::newRow("waiting for nothing") << 0 << true;
        QTest::newRow("waiting for simulate") << 3 << true;
        QTest::newRow("waiting for continue") << 2 << false;
        QTest::newRow("waiting for pause") << 1 << false;
    }

    void turnOnTuningByWaitKind()
    {
        QFETCH(int, kind);
        QFETCH(bool, turnsOn);
        LoggedState state;
        state.setWaitingFor(kind);
        state.take();
        state.turnOnTuning();
        state.turnOnTuning();
        QCOMPARE(state.inTuning(), turnsOn);
        QCOMPARE(state.take(), turnsOn ? L{"tuning(true)"} : L());
        if (kind == State::WaitContinue) {
            state.answerReceived(2); // the end of a continue wait does not turn tuning on
            QCOMPARE(state.take(), L({"continue(false)", "noLongerWaiting", "waitStateChanged"}));
        }
        state.turnOffTuning();
        state.turnOffTuning();
        QCOMPARE(state.take(), turnsOn ? L{"tuning(false)"} : L());
        QVERIFY(!state.inTuning());
    }

    // Tuning asked while a pause is pending turns on once that wait ends, also through a change
    // to a simulate wait; turning it off withdraws the request. Steps: "waitN", "answerN",
    // "on", "off", "stop", and "#N": N deferred turn-ons are connected.
    void deferredTuning_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<L>("expected");
        QTest::addColumn<bool>("tuning");
        const L pause{"pause(true)", "waitStateChanged", "pause(false)"};
        QTest::newRow("behind pause, used up") << "wait1 on on #1 answer2 answer3 #0 off wait3 answer3 wait1 stop"
            << pause + L{"noLongerWaiting", "tuning(true)", "waitStateChanged", "tuning(false)", "simulate(true)", "waitStateChanged",
                         "simulate(false)", "noLongerWaiting", "waitStateChanged"} + pause + L{"noLongerWaiting", "waitStateChanged"}
            << false;
        QTest::newRow("survives a simulate wait") << "wait1 on wait3 answer2 #0"
            << pause + L{"simulate(true)", "waitStateChanged", "simulate(false)", "noLongerWaiting", "tuning(true)", "waitStateChanged"}
            << true;
        QTest::newRow("withdrawn, then asked again") << "wait1 on wait2 off answer2 #0 wait1 on stop"
            << pause + L{"continue(true)", "waitStateChanged", "continue(false)", "noLongerWaiting", "waitStateChanged"} + pause
                   + L{"noLongerWaiting", "tuning(true)", "waitStateChanged"}
            << true;
    }

    void deferredTuning()
    {
        QFETCH(QString, script);
        LoggedState state;
        const int listeners = state.noLongerWaitingListeners();
        for (const QString &step : script.split(' ')) {
            if (step.startsWith("wait"))
                state.setWaitingFor(step.mid(4).toInt());
            else if (step.startsWith("answer"))
                state.answerReceived(step.mid(6).toInt());
            else if (step.startsWith('#'))
                QCOMPARE(state.noLongerWaitingListeners(), listeners + step.mid(1).toInt());
            else
                step == "on" ? state.turnOnTuning() : step == "off" ? state.turnOffTuning() : state.stopWaiting();
        }
        QTEST(state.take(), "expected");
        QTEST(state.inTuning(), "tuning");
    }

    void changeFlagsMarkStaleOnce_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow("values") << 0;
        QTest::newRow("algorithm") << 1;
        QTest::newRow("goals") << 2;
        QTest::newRow("variables") << 3;
    }

    void changeFlagsMarkStaleOnce()
    {
        QFETCH(int, which);
        static constexpr void (State::*setters[])(bool) = {&State::setValuesChanged, &State::setAlgorithmChanged,
                                                           &State::setGoalsChanged, &State::setVariablesChanged};
        static constexpr bool (State::*getters[])() const = {&State::valuesChanged, &State::algorithmChanged,
                                                             &State::goalsChanged, &State::variablesChanged};
        LoggedState state;
        const auto setter = setters[which];
        const auto set = [&state, setter](bool b) { (state.*setter)(b); };
        state.setDesignUpdated(true);
        set(false);
        QVERIFY(state.designUpdated() && !state.dataStale());
        set(true);
        QVERIFY((state.*getters[which])() && !state.designUpdated() && state.dataStale());
        state.setDesignUpdated(true);
        set(true); // already stale: stored, designUpdated cleared, no signal
        QVERIFY(!state.designUpdated());
        set(false);
        QVERIFY(!(state.*getters[which])() && state.dataStale());
        QCOMPARE(state.take(), L{"stale(true)"});
        // A change clears a failed simulation and keeps its stale mark.
        state.clearStale();
        state.setLastSimulationFailed(true);
        set(true);
        QVERIFY(!state.lastSimulationFailed());
        QCOMPARE(state.take(), L({"stale(false)", "stale(true)"}));
        QVERIFY(!state.isStaleTimerActive());
    }

    void resultForOlderCommandLeavesDataStale()
    {
        LoggedState state;
        const long first = state.nextCommandId();
        state.setValuesChanged(true);
        state.setValuesChanged(false); // the controller sent them
        const long second = state.nextCommandId();
        state.resultReceived(first, true);
        QCOMPARE(state.lastResultCommandId(), first);
        QVERIFY(state.dataStale() && state.canSimulate());
        state.resultReceived(second, true);
        QCOMPARE(state.lastResultCommandId(), second);
        QVERIFY(!state.dataStale() && !state.canSimulate());
        state.resultReceived(second, true); // fresh stays fresh and silent
        QCOMPARE(state.take(), L({"stale(true)", "stale(false)"}));
    }

    void resultWithPendingChangeStaysStale()
    {
        LoggedState state;
        const long id = state.nextCommandId();
        state.setGoalsChanged(true);
        state.setAlgorithmChanged(true);
        state.setGoalsChanged(false);
        state.resultReceived(id, true); // the algorithm change is still pending
        QVERIFY(state.dataStale());
        state.setAlgorithmChanged(false);
        state.resultReceived(id, true);
        QCOMPARE(state.take(), L({"stale(true)", "stale(false)"}));
    }

    void failedSimulationMarksStale()
    {
        LoggedState state;
        const long id = state.nextCommandId();
        state.resultReceived(id, false);
        QVERIFY(state.dataStale() && state.lastSimulationFailed() && !state.canSimulate());
        QCOMPARE(state.lastResultCommandId(), -1L); // a failed result does not count
        state.resultReceived(id, false);
        state.resultReceived(id, true);
        QVERIFY(!state.lastSimulationFailed() && !state.dataStale());
        QCOMPARE(state.lastResultCommandId(), id);
        QCOMPARE(state.take(), L({"stale(true)", "stale(false)"}));
        state.setLastSimulationFailed(false);
        state.setLastSimulationFailed(true);
        state.setLastSimulationFailed(true);
        state.setLastSimulationFailed(false);
        QVERIFY(!state.lastSimulationFailed() && state.dataStale()); // clearing the flag keeps the data stale
        QCOMPARE(state.take(), L{"stale(true)"});
    }

    void clearStaleAndCanSimulate()
    {
        LoggedState state;
        state.clearStale();
        state.setVariablesChanged(true);
        QVERIFY(state.canSimulate());
        state.setWaitingFor(State::WaitSimulate);
        QVERIFY(!state.canSimulate());
        state.stopWaiting();
        QVERIFY(state.canSimulate());
        state.clearStale();
        state.clearStale();
        QVERIFY(!state.dataStale() && !state.canSimulate());
        QVERIFY(state.variablesChanged()); // only the stale mark is cleared
        QCOMPARE(state.take(), L({"stale(true)", "simulate(true)", "waitStateChanged", "simulate(false)",
                                  "noLongerWaiting", "waitStateChanged", "stale(false)"}));
    }

    void setStale_data()
    {
        QTest::addColumn<bool>("tuning");
        QTest::addColumn<bool>("startTimer");
        QTest::newRow("tuning, timer asked") << true << true;
        QTest::newRow("tuning, no timer asked") << true << false;
        QTest::newRow("not tuning, timer asked") << false << true;
        QTest::newRow("not tuning, no timer asked") << false << false;
    }

    void setStale()
    {
        QFETCH(bool, tuning);
        QFETCH(bool, startTimer);
        const bool timerRuns = tuning && startTimer;
        LoggedState state;
        if (tuning)
            state.turnOnTuning();
        state.take();
        state.setStale(false, startTimer);
        QCOMPARE(state.take(), L());
        state.setStale(true, startTimer);
        state.setStale(true, startTimer);
        QVERIFY(state.dataStale());
        QCOMPARE(state.isStaleTimerActive(), timerRuns);
        QCOMPARE(state.take(), timerRuns ? L() : L{"stale(true)"});
        state.setStale(false, startTimer);
        QVERIFY(!state.dataStale() && !state.isStaleTimerActive());
        QCOMPARE(state.take(), L{"stale(false)"});
    }

    void staleTimerDelaysSignalWhileTuning()
    {
        LoggedState state;
        state.turnOnTuning();
        state.take();
        state.setValuesChanged(true);
        state.setValuesChanged(true);
        QVERIFY(state.dataStale() && state.isStaleTimerActive());
        QCOMPARE(state.take(), L()); // the signal waits for the timer
        // The timer's timeout is what delivers it (driven here without waiting).
        QVERIFY(QMetaObject::invokeMethod(state.findChild<QTimer *>(), "timeout", Qt::DirectConnection));
        QCOMPARE(state.take(), L{"stale(true)"});
        // Fresh again before the timer fires: the stop drops the signal.
        state.clearStale();
        QVERIFY(!state.isStaleTimerActive());
        QVERIFY(QMetaObject::invokeMethod(&state, "staleTimerSlot", Qt::DirectConnection));
        QCOMPARE(state.take(), L{"stale(false)"});
        // A result for the latest command stops the timer too.
        state.setValuesChanged(true);
        state.setValuesChanged(false);
        state.resultReceived(state.nextCommandId(), true);
        QVERIFY(!state.isStaleTimerActive() && !state.dataStale());
        QCOMPARE(state.take(), L{"stale(false)"});
        // Not tuning: at once, no timer.
        state.turnOffTuning();
        state.setGoalsChanged(true);
        QVERIFY(!state.isStaleTimerActive());
        QCOMPARE(state.take(), L({"tuning(false)", "stale(true)"}));
    }

    void modelsAreGuardedAndAnnounced()
    {
        LoggedState state;
        QObject owner;
        OptimizationModelObject *a = makeModel(&owner, "A", "10");
        OptimizationModelObject *b = makeModel(&owner, "B", "10");
        OptimizationModelObject *c = makeModel(&owner, "C", "10");
        state.addModel(a);
        state.addModel(nullptr);
        state.addModel(b);
        state.addModel(c);
        QCOMPARE(state.take(), L({"modelAdded(A)", "modelAdded(B)", "modelAdded(C)"}));
        QCOMPARE(state.models(), QList<OptimizationModelObject *>({a, b, c}));
        state.setViewModel(b);
        QCOMPARE(state.viewModel(), b);
        delete b;
        QCOMPARE(state.models(), QList<OptimizationModelObject *>({a, c}));
        QVERIFY(!state.viewModel());
    }

    void viewModelDrivesIterationCount()
    {
        LoggedState state;
        QObject owner;
        ProbeModel *model = makeModel(&owner, "A", "100");
        state.setViewModel(model);
        QCOMPARE(state.numIterations(), 100);
        QCOMPARE(state.iterationsToDisplay(), 101);
        reachIteration(model, 120); // continued past the limit
        QCOMPARE(state.numIterations(), 120);
        reachIteration(model, 50); // the larger of the two counts
        model->setStatus(3);       // the algorithm changed, the count did not
        QCOMPARE(state.numIterations(), 100);
        QCOMPARE(state.take(), L({"numIters(101)", "numIters(121)", "numIters(101)"}));
        OptimAlgInput algorithm = model->model().algorithmInput();
        algorithm.setMaxIterations(QStringLiteral("lots")); // no number counts as 0
        model->setAlgorithmDefinition(algorithm);
        QCOMPARE(state.numIterations(), 50);
        reachIteration(model, 0);
        QCOMPARE(state.take(), L({"numIters(51)", "numIters(1)"}));
        state.setNumItersToDisplay(1); // another setting than "all": the count changes silently
        reachIteration(model, 30);
        QCOMPARE(state.numIterations(), 30);
        QCOMPARE(state.iterationsToDisplay(), 10);
        state.setNumItersToDisplay(0);
        QCOMPARE(state.take(), L({"numIters(10)", "numIters(31)"}));
    }

    void viewModelSwitchDisconnectsPrevious()
    {
        LoggedState state;
        QObject owner;
        ProbeModel *a = makeModel(&owner, "A", "100");
        ProbeModel *b = makeModel(&owner, "B", "20", 5);
        state.setViewModel(a);
        QCOMPARE(a->algorithmListeners(), 1);
        state.setViewModel(b);
        QCOMPARE(a->algorithmListeners(), 0);
        reachIteration(a, 300); // no longer shown
        QCOMPARE(state.numIterations(), 20);
        state.setViewModel(b); // the same model again: still one connection
        QCOMPARE(b->algorithmListeners(), 1);
        reachIteration(b, 40);
        QCOMPARE(state.take(), L({"numIters(101)", "numIters(21)", "numIters(41)"}));
        state.setViewModel(nullptr); // no view model: the count stays
        QCOMPARE(b->algorithmListeners(), 0);
        reachIteration(b, 60);
        QCOMPARE(state.numIterations(), 40);
        QCOMPARE(state.take(), L());
    }

    void displaySettingsSignalOnChange()
    {
        LoggedState state;
        QObject owner;
        state.setViewModel(makeModel(&owner, "A", "40"));
        state.take();
        state.setNumItersToDisplay(0);
        state.setNumItersToDisplay(2);
        QCOMPARE(state.iterationsToDisplay(), 25);
        state.setNumItersToDisplay(2);
        state.setNumItersToDisplay(1);
        state.setNumItersToDisplay(0);
        state.setNumItersToDisplay(5);
        QCOMPARE(state.numItersToDisplay(), 5);
        QCOMPARE(state.iterationsToDisplay(), 0);
        QCOMPARE(state.take(), L({"numIters(25)", "numIters(10)", "numIters(41)", "numIters(0)"}));
        state.setYAxisAutoscaleUsingAllData(true);
        state.setGoalXAxisScaling(2);
        state.setYAxisAutoscaleUsingAllData(false);
        state.setGoalXAxisScaling(0);
        state.setGoalXAxisScaling(0);
        state.setYAxisAutoscaleUsingAllData(false);
        state.setGoalXAxisScaling(1);
        state.setYAxisAutoscaleUsingAllData(true);
        QCOMPARE(state.take(), L({"yAutoScale(false)", "goalXAxis(0)", "goalXAxis(1)", "yAutoScale(true)"}));
        QVERIFY(state.yAxisAutoscaleUsingAllData());
        QCOMPARE(state.goalXAxisScaling(), 1);
    }

    void persistenceRejectsOutOfRange_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("5") << QVariant(5) << false;
        QTest::newRow("3") << QVariant(3) << false;
        QTest::newRow("-1") << QVariant(-1) << false;
        QTest::newRow("not a number") << QVariant(QStringLiteral("many")) << false;
        QTest::newRow("0") << QVariant(0) << true;
        QTest::newRow("1") << QVariant(1) << true;
        QTest::newRow("2") << QVariant(2) << true;
    }

    void persistenceRejectsOutOfRange()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, accepted);
        HelmdeckSettings().setValue("numItersToDisplay", stored);
        HelmdeckSettings().setValue("goalXAxisScaling", stored);
        State state(false, true);
        QCOMPARE(state.numItersToDisplay(), accepted ? stored.toInt() : 0);
        QCOMPARE(state.goalXAxisScaling(), accepted ? stored.toInt() : 2);
    }

    void persistenceWrittenAtDestruction()
    {
        auto state = std::make_unique<State>(false, true);
        state->setNumItersToDisplay(1);
        state->setYAxisAutoscaleUsingAllData(false);
        state->setGoalXAxisScaling(0);
        QVERIFY(!HelmdeckSettings().contains("numItersToDisplay")); // not before destruction
        state.reset();
        HelmdeckSettings settings;
        QCOMPARE(settings.value("numItersToDisplay").toInt(), 1);
        QCOMPARE(settings.value("yAxisAutoscaleUsingAllData").toBool(), false);
        QCOMPARE(settings.value("goalXAxisScaling").toInt(), 0);
        State next(false, true); // the next helmdeck starts with them
        QCOMPARE(next.numItersToDisplay(), 1);
        QVERIFY(!next.yAxisAutoscaleUsingAllData());
        QCOMPARE(next.goalXAxisScaling(), 0);
    }
};

QTEST_GUILESS_MAIN(TestOptimHelmdeckControllerState)
#include "tst_optimhelmdeckcontrollerstate.moc"
