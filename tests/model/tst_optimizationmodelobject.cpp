#include "model/optimizationmodelobject.h"
#include "samplemessages.h"

#include <QTest>

namespace {

// Records every signal of a model object in emission order, e.g. "A", "G0", "V1", "V<3" (variables 0 to 2), "g2" (goal added).
class SignalLog : public QObject
{
public:
    explicit SignalLog(OptimizationModelObject *model)
    {
        connect(model, &OptimizationModelObject::algorithmChanged, this, [this] { log << QStringLiteral("A"); });
        connect(model, &OptimizationModelObject::goalChanged, this, [this](int k) { log << QStringLiteral("G%1").arg(k); });
        connect(model, &OptimizationModelObject::variableChanged, this, [this](int k) { log << QStringLiteral("V%1").arg(k); });
        connect(model, &OptimizationModelObject::variablesChanged, this, [this](int n) { log << QStringLiteral("V<%1").arg(n); });
        connect(model, &OptimizationModelObject::goalAdded, this, [this](int k) { log << QStringLiteral("g%1").arg(k); });
        connect(model, &OptimizationModelObject::variableAdded, this, [this](int k) { log << QStringLiteral("v%1").arg(k); });
    }
    QStringList take() { return std::exchange(log, {}); }
    QStringList log;
};

OptimIter iterationWithError(int n, const QString &error, const SampleSize &size = {2, 1, 3, 2})
{
    OptimIter iter = sampleIteration(size, n);
    iter.algorithm().setIsBestError(false);
    iter.algorithm().setErrorText(error);
    return iter;
}

// A model object opened with sample definitions of the given size, logging its signals.
struct Model : OptimizationModelObject
{
    explicit Model(const SampleSize &size) { setModelInput(sampleModelInput(size)); }
    SignalLog log{this};
};

QStringList varHistory(const OptimizationModelObject &m, int k) { return m.model().variableHistory(k).values().toStringList(); }

} // namespace

class TestOptimizationModelObject : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void iterationAppliesAllTargetsInSignalOrder()
    {
        Model m({2, 1, 3, 2});
        const OptimIter iter = iterationWithError(0, QStringLiteral("5"));
        // The goals of one iteration end with one goalsChanged, after the last goalChanged.
        QObject::connect(&m, &OptimizationModelObject::goalChanged, &m.log, [&m] { m.log.log << (m.isChangingGoals() ? "+" : "-"); });
        QObject::connect(&m, &OptimizationModelObject::goalsChanged, &m.log, [&m] { m.log.log << "S"; });
        m.applyIteration(iter);
        QCOMPARE(m.log.take(), (QStringList{"A", "G0", "+", "G1", "+", "S", "V<2"}));
        QCOMPARE(m.model().algorithmHistory().values(), QStringList{"5"});
        QCOMPARE(m.model().variable(1).value(), iter.variables().at(1).value());   // input target
        QCOMPARE(m.model().variableOutput(1).value(), iter.variables().at(1).value());
        QCOMPARE(varHistory(m, 1), QStringList{iter.variables().at(1).value()});
        QCOMPARE(m.model().goalOutput(0), iter.goals().at(0));
        QCOMPARE(m.model().goalHistory(0).values(), QStringList{iter.goals().at(0).valueText()});
        QCOMPARE(m.model().goalHistory(0).initialTraces(), iter.goals().at(0).traces());
        // Initial traces stay those of the first iteration.
        const OptimIter next = iterationWithError(1, QStringLiteral("4"));
        m.applyIteration(next);
        QCOMPARE(m.model().goalHistory(0).initialTraces(), iter.goals().at(0).traces());
        QCOMPARE(m.model().goalOutput(0).traces(), next.goals().at(0).traces());
    }

    void repeatedIterationReplacesLastEntries()
    {
        Model m({2, 1, 3, 2});
        m.applyIteration(iterationWithError(0, QStringLiteral("9")));
        m.applyIteration(iterationWithError(1, QStringLiteral("7")));
        OptimIter again = iterationWithError(1, QStringLiteral("6"));
        again.variables()[0].setValue(QStringLiteral("33"));
        m.applyIteration(again);
        QCOMPARE(m.model().algorithmHistory().values(), (QStringList{"9", "6"}));
        QCOMPARE(varHistory(m, 0).size(), 2);
        QCOMPARE(varHistory(m, 0).last(), QStringLiteral("33"));
        QCOMPARE(m.model().goalHistory(1).values().size(), 2);
    }

    void bestErrorUsesErrorDetailAndMaxIterationsGoIntoInput()
    {
        Model m({1, 1, 2, 1});
        OptimIter iter = iterationWithError(0, QStringLiteral("5"));
        iter.algorithm().setIsBestError(true);
        iter.algorithm().setErrorDetail(QStringLiteral("4.5"));
        iter.algorithm().setMaxIterationsText(QStringLiteral("250"));
        m.applyIteration(iter);
        QCOMPARE(m.model().algorithmHistory().values(), QStringList{"4.5"});
        QCOMPARE(m.model().algorithmInput().maxIterations(), QStringLiteral("250"));
        iter.algorithm().setMaxIterationsText(QString());
        m.applyIteration(iter);
        QCOMPARE(m.model().algorithmInput().maxIterations(), QStringLiteral("250"));
    }

    void simResultKeepsDefinitionsAndReplacesCurrentIteration()
    {
        Model m({2, 1, 3, 2});
        m.applyIteration(iterationWithError(0, QStringLiteral("9")));
        m.applyIteration(iterationWithError(1, QStringLiteral("8")));
        m.setVariableValue(QStringLiteral("L1.L"), QStringLiteral("77"), OptimizationModelObject::TargetInput);
        OptimIterSimResult result;
        result.iteration() = iterationWithError(1, QStringLiteral("3"));
        result.iteration().variables()[0].setValue(QStringLiteral("78"));
        m.log.take();
        m.applySimResult(result);
        QCOMPARE(m.log.take(), (QStringList{"A", "G0", "G1", "V<2"}));
        QCOMPARE(m.model().algorithmHistory().values(), (QStringList{"9", "3"}));
        QCOMPARE(m.model().variable(0).value(), QStringLiteral("77"));       // definition untouched
        QCOMPARE(m.model().variableOutput(0).value(), QStringLiteral("78"));
        QCOMPARE(varHistory(m, 0).last(), QStringLiteral("78"));
        QCOMPARE(varHistory(m, 0).size(), 2);
        // A result for another iteration appends.
        result.iteration().algorithm().setIterationText(QStringLiteral("5"));
        m.applySimResult(result);
        QCOMPARE(m.model().algorithmHistory().values().size(), 3);
    }

    void failedSimResultChangesOnlyFlag()
    {
        Model m({2, 1, 3, 2});
        m.applyIteration(iterationWithError(0, QStringLiteral("9")));
        const OptimizationModel before = m.model();
        OptimIterSimResult result;
        result.iteration() = iterationWithError(0, QStringLiteral("1"));
        result.iteration().algorithm().setSimulationOk(false);
        m.log.take();
        m.applySimResult(result);
        QCOMPARE(m.log.take(), QStringList{"A"});
        QVERIFY(!m.model().algorithmOutput().simulationOk());
        OptimizationModel expected = before;
        expected.output().algorithm().setSimulationOk(false);
        QVERIFY(m.model() == expected);
    }

    void noProgressRepeatsLastValues()
    {
        Model m({2, 1, 3, 2});
        const OptimIter first = iterationWithError(0, QStringLiteral("9"));
        m.applyIteration(first);
        OptimIterNoProgress noProgress;
        noProgress.algorithm() = first.algorithm();
        noProgress.algorithm().setIterationText(QStringLiteral("1"));
        noProgress.algorithm().setErrorText(QStringLiteral("9"));
        m.log.take();
        m.applyNoProgress(noProgress);
        QCOMPARE(m.log.take(), (QStringList{"A", "G0", "G1", "V<2"}));
        QCOMPARE(m.model().algorithmHistory().values(), (QStringList{"9", "9"}));
        QCOMPARE(m.model().goalHistory(1).values().size(), 2);
        QCOMPARE(m.model().goalHistory(1).values().at(1), first.goals().at(1).valueText());
        QCOMPARE(varHistory(m, 1), (QStringList{first.variables().at(1).value(), first.variables().at(1).value()}));
    }

    void collapsedBatchPadsHistories()
    {
        Model m({1, 1, 2, 1});
        for (int i = 0; i <= 3; ++i)
            m.applyIteration(iterationWithError(i, QStringLiteral("e%1").arg(i)));
        QCOMPARE(m.model().algorithmHistory().values().size(), 4);
        OptimIterCollapsedIterations batch;
        batch.setFirstIteration(3);
        batch.algorithm() = iterationWithError(10, QStringLiteral("e10"), {1, 1, 2, 1}).algorithm();
        batch.algorithmHistory().values() = QStringList{"b1", "b2", "b3", "b4"};
        OptimGoalHistory goalHistory;
        goalHistory.values() = QStringList{"g1", "g2"};
        batch.goalHistories().append(goalHistory);
        // No variable histories in the batch: variables are padded for the whole gap.
        batch.setEndsWithNoProgress(true);
        m.applyCollapsedIterations(batch);
        const QStringList alg = m.model().algorithmHistory().values().toStringList();
        QCOMPARE(alg, (QStringList{"e0", "e1", "e2", "e2", "e2", "e2", "b1", "b2", "b3", "b4", "e10"}));
        const QStringList goal = m.model().goalHistory(0).values().toStringList();
        QCOMPARE(goal.size(), 11);
        // Entry 3 dropped, then five copies of entry 2 (10 - 3 - 2 entries missing),
        // the batch's two entries, and the no-progress repeat of iteration 10.
        for (int i = 3; i <= 7; ++i)
            QCOMPARE(goal.at(i), goal.at(2));
        QCOMPARE(goal.mid(8, 2), (QStringList{"g1", "g2"}));
        QCOMPARE(goal.at(10), m.model().goalOutput(0).valueText());
        QCOMPARE(varHistory(m, 0).size(), 11);
        QCOMPARE(m.model().algorithmOutput().iterationText(), QStringLiteral("10"));
    }

    void collapsedBatchEndingInIteration()
    {
        Model m({1, 1, 2, 1});
        m.applyIteration(iterationWithError(0, QStringLiteral("e0")));
        OptimIterCollapsedIterations batch;
        const OptimIter last = iterationWithError(3, QStringLiteral("e3"), {1, 1, 2, 1});
        batch.setFirstIteration(1);
        batch.setEndsWithNoProgress(false);
        batch.algorithm() = last.algorithm();
        batch.goals() = last.goals();
        batch.variables() = last.variables();
        batch.algorithmHistory().values() = QStringList{"e1", "e2"};
        m.log.take();
        m.applyCollapsedIterations(batch);
        QCOMPARE(m.log.take(), (QStringList{"A", "G0", "V<1"}));
        QCOMPARE(m.model().algorithmHistory().values(), (QStringList{"e0", "e1", "e2", "e3"}));
        QCOMPARE(m.model().variableOutput(0).value(), last.variables().at(0).value());
        QCOMPARE(m.model().goalOutput(0), last.goals().at(0));
    }

    void terminalStatusIsNeverLeft()
    {
        OptimizationModelObject m;
        SignalLog log(&m);
        m.setStatus(StatusRunning);
        m.setStatus(StatusRunning);
        QCOMPARE(log.take(), QStringList{"A"});
        m.applyStatus(OptimStatus(StatusKilled, QStringLiteral("killed")));
        QCOMPARE(log.take(), (QStringList{"A", "A"}));
        m.applyStatus(OptimStatus(StatusRunning, QStringLiteral("later reason")));
        QCOMPARE(log.take(), QStringList{"A"});
        QCOMPARE(m.model().algorithmOutput().status(), int(StatusKilled));
        QCOMPARE(m.model().algorithmOutput().stoppingReason(), QStringLiteral("later reason"));
        // An iteration carrying another status keeps the terminal one.
        m.setModelInput(sampleModelInput({1, 1, 2, 1}));
        m.applyIteration(iterationWithError(0, QStringLiteral("1"), {1, 1, 2, 1}));
        QCOMPARE(m.model().algorithmOutput().status(), int(StatusKilled));
    }

    void replaceInputSignalsOnlyDifferences()
    {
        OptimizationModelObject m;
        const OptimModelInput input = sampleModelInput({3, 1, 1, 3});
        m.setModelInput(input);
        SignalLog log(&m);
        m.replaceModelInput(input);
        QVERIFY(log.take().isEmpty());
        OptimModelInput changed = input;
        changed.goals()[1].setWeight(QStringLiteral("5"));
        changed.variables()[2].setValue(QStringLiteral("1"));
        changed.algorithm().setMaxIterations(QStringLiteral("7"));
        m.replaceModelInput(changed);
        QCOMPARE(log.take(), (QStringList{"A", "G1", "V2"}));
        QCOMPARE(m.model().input(), changed);
        OptimIterGoalDefinitions goalDefs;
        goalDefs.goals() = changed.goals();
        goalDefs.goals()[0].setExpression(QStringLiteral("dB(S22)"));
        m.setGoalDefinitions(goalDefs);
        QCOMPARE(log.take(), QStringList{"G0"});
        OptimIterAlgorithmDefinition algDef;
        algDef.algorithm() = changed.algorithm();
        m.setAlgorithmDefinition(algDef);
        QVERIFY(log.take().isEmpty());
    }

    // Opening and appending extend outputs and histories to match; opening is silent.
    void definitionsExtendOutputsAndHistories()
    {
        OptimizationModelObject m;
        SignalLog log(&m);
        QVERIFY(m.model().isEmpty());
        m.setModelInput(sampleModelInput({1, 1, 1, 1}));
        QVERIFY(log.log.isEmpty() && !m.model().isEmpty());
        QCOMPARE(m.model().goalOutput(0).limitOutputs().count(), 1);
        OptimGoalInput goal = sampleModelInput({1, 1, 1, 0}).goals().at(0);
        goal.limits().append(OptimGoalLimitInput());
        m.appendGoal(goal);
        OptimVarInput variable;
        variable.setValue(QStringLiteral("3p"));
        m.appendVariable(variable);
        QCOMPARE(log.take(), (QStringList{"g1", "v1"}));
        QCOMPARE(m.model().goalOutput(1).limitOutputs().count(), 2);
        QCOMPARE(m.model().output().goals().count(), 2);
        QCOMPARE(m.model().history().goals().count(), 2);
        QCOMPARE(m.model().variableOutput(0).value(), QStringLiteral("10"));
        QCOMPARE(m.model().variableOutput(1).value(), QStringLiteral("3p"));
        QCOMPARE(m.model().history().variables().count(), 2);
    }

    // Values by position skip empty texts and extra ones; by netlist name an unknown name is ignored.
    void variableValuesByPositionAndName()
    {
        Model m({0, 1, 1, 3});
        m.applyVariableValues({QStringLiteral("1"), QString(), QStringLiteral("3"), QStringLiteral("extra")},
                              OptimizationModelObject::TargetAll);
        QCOMPARE(m.log.take(), (QStringList{"V0", "V2"}));
        QVERIFY(varHistory(m, 1).isEmpty());
        QCOMPARE(m.model().variableValues(), (QStringList{"1", "11", "3"}));
        m.setVariableValue("L3.L", "4.7", OptimizationModelObject::TargetInput | OptimizationModelObject::TargetOutput);
        m.setVariableValue("nope", "1", OptimizationModelObject::TargetAll);
        QCOMPARE(m.log.take(), QStringList{"V2"});
        QCOMPARE(m.model().variable(2).value(), QStringLiteral("4.7"));
        QCOMPARE(m.model().variableOutput(2).value(), QStringLiteral("4.7"));
        QCOMPARE(varHistory(m, 2), QStringList{"3"});
    }

    void tuningRememberForgetRestore()
    {
        Model m({2, 1, 3, 2});
        const OptimIter iter = iterationWithError(0, QStringLiteral("1"));
        m.applyIteration(iter);
        m.log.take();
        m.rememberValuesBeforeTuning();
        QCOMPARE(m.log.take(), (QStringList{"G0", "G1"}));
        QCOMPARE(m.model().goalHistory(1).tracesBeforeTuning(), iter.goals().at(1).traces());
        QCOMPARE(m.model().variableHistory(0).valueBeforeTuning(), iter.variables().at(0).value());
        m.setVariableValue(QStringLiteral("L1.L"), QStringLiteral("99"), OptimizationModelObject::TargetInput);
        m.log.take();
        m.restoreValuesBeforeTuning();
        QCOMPARE(m.log.take(), (QStringList{"V0", "V1"}));
        QCOMPARE(m.model().variable(0).value(), iter.variables().at(0).value());
        m.forgetValuesBeforeTuning();
        QCOMPARE(m.log.take(), (QStringList{"G0", "G1"}));
        QVERIFY(m.model().goalHistory(0).tracesBeforeTuning().isEmpty());
        QVERIFY(m.model().variableHistory(1).valueBeforeTuning().isEmpty());
        // Restoring after forgetting writes the empty text, as remembered.
        m.restoreValuesBeforeTuning();
        QVERIFY(m.model().variable(0).value().isEmpty());
    }

    void mismatchedListsTouchOnlyCommonIndices()
    {
        Model m({2, 1, 3, 2});
        m.applyIteration(iterationWithError(0, QStringLiteral("1"), {5, 1, 3, 7}));
        QCOMPARE(m.log.take(), (QStringList{"A", "G0", "G1", "V<2"}));
        m.applyIteration(iterationWithError(1, QStringLiteral("1"), {1, 1, 3, 0}));
        QCOMPARE(m.log.take(), (QStringList{"A", "G0"}));
        // Histories may then differ in length; the model stays usable.
        QCOMPARE(m.model().goalHistory(1).values().size(), 1);
        // An empty value leaves its variable as it was; all empty: no signal.
        OptimIter iter = iterationWithError(2, QStringLiteral("1"), {0, 1, 3, 2});
        iter.variables()[0].setValue(QString());
        m.applyIteration(iter);
        QCOMPARE(m.log.take(), (QStringList{"A", "V<2"}));
        QCOMPARE(varHistory(m, 0).size(), 1);
        QCOMPARE(varHistory(m, 1).size(), 2);
        QCOMPARE(m.model().variableOutput(1).value(), iter.variables().at(1).value());
        iter.variables()[1].setValue(QString());
        m.applyIteration(iter);
        QCOMPARE(m.log.take(), QStringList{"A"});
    }
};

QTEST_MAIN(TestOptimizationModelObject)
#include "tst_optimizationmodelobject.moc"
