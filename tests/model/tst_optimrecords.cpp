#include "model/optimizationmodel.h"
#include "samplemessages.h"

#include <QTest>

namespace {

template <typename Record>
QByteArray textOf(const Record &record)
{
    OptimSerialWriter writer;
    record.serialize(writer);
    return writer.joinedText();
}

// serialize -> deserialize -> serialize: the record reads back equal and
// writes the same bytes again.
template <typename Record>
void checkRoundTrip(const Record &record)
{
    const QByteArray text = textOf(record);
    OptimSerialReader reader(text);
    Record read;
    read.deserialize(reader);
    QVERIFY2(!reader.hasError(), text.left(200).constData());
    QVERIFY(reader.atEnd());
    QVERIFY(read == record);
    QCOMPARE(textOf(read), text);
}

OptimAlgOutput sampleAlgorithmOutput()
{
    OptimAlgOutput a;
    a.setStatus(6);
    a.setSimulationOk(false);
    a.setIsBestError(true);
    a.setStoppingReason(QStringLiteral("Error \"goal\" reached"));
    a.setErrorText(QStringLiteral("0.125"));
    a.setIterationText(QStringLiteral("17"));
    a.setErrorDetail(QStringLiteral("0.1"));
    a.setExtraText(QStringLiteral("extra\\text"));
    a.setMaxIterationsText(QStringLiteral("250"));
    return a;
}

OptimGoalHistory sampleGoalHistory()
{
    OptimGoalHistory history;
    history.values() = QStringList{QStringLiteral("1"), QStringLiteral("0.5")};
    history.setInitialTraces(sampleIteration({1, 2, 3, 1}, 0).goals().at(0).traces());
    history.setTracesBeforeTuning(sampleIteration({1, 1, 4, 1}, 2).goals().at(0).traces());
    return history;
}

} // namespace

class TestOptimRecords : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void inputRecordsRoundTrip();
    void outputRecordsRoundTrip();
    void messagesRoundTrip();
    void modelRoundTrip();

    void limitDefaultsAndSetters();
    void limitBoundTexts_data();
    void limitBoundTexts();
    void rangeOpenBounds();
    void removingIndepVarRenumbersRanges();
    void limitAppliesAtChecksOtherVariablesOnly();
    void variableConstraintSettersClearUnusedParameters();
    void algorithmNamesAndVariableKinds();
    void readingGoalResetsUnserializedFields();
    void emptyModelInputText();
    void messageFixedTexts();
    void simResultNeedsNestedIterationWords();
    void incomingTypeWordsAreRecognised();
    void traceFamilyBounds();
    void statusTexts();
    void metaTypesRegisteredByName();
};

void TestOptimRecords::inputRecordsRoundTrip()
{
    const OptimModelInput input = sampleModelInput({3, 1, 1, 4});
    checkRoundTrip(input);
    checkRoundTrip(input.goals().at(0));
    checkRoundTrip(input.goals().at(0).limits().at(0));
    checkRoundTrip(input.variables().at(2));

    OptimGoalLimitInput twoValues;
    twoValues.setName(QStringLiteral("stop band"));
    twoValues.setOutside(QStringLiteral("-3.5"), QStringLiteral("1e-3"));
    twoValues.setWeight(QStringLiteral("2"));
    twoValues.ranges().append(OptimGoalRange(0, QString(), QStringLiteral("5")));
    twoValues.ranges().append(OptimGoalRange(1, QStringLiteral("-1"), QString()));
    checkRoundTrip(twoValues);

    OptimAlgInput algorithm;
    algorithm.setName(QStringLiteral("Opt"));
    algorithm.setLabel(QStringLiteral("label with \"quotes\""));
    algorithm.setAlgorithmType(12);
    algorithm.setFlag(true);
    algorithm.setFirstList({QStringLiteral("a"), QString()});
    algorithm.setSecondList({QStringLiteral("b c")});
    algorithm.setMaxIterations(QStringLiteral("1000"));
    checkRoundTrip(algorithm);

    OptimVarInput variable;
    variable.setNetlistName(QStringLiteral("C1.C"));
    variable.setOptimizeFlagSet(false);
    variable.setOptimize(false);
    variable.setValue(QStringLiteral("2.2 pF"));
    variable.setDiscrete(QStringLiteral("1"), QStringLiteral("10"), QStringLiteral("0.5"));
    checkRoundTrip(variable);
}

void TestOptimRecords::outputRecordsRoundTrip()
{
    checkRoundTrip(sampleAlgorithmOutput());
    const OptimIter iter = sampleIteration({2, 2, 5, 2}, 3);
    checkRoundTrip(iter.goals().at(1));
    checkRoundTrip(iter.goals().at(1).traces());
    checkRoundTrip(iter.variables().at(0));
    checkRoundTrip(sampleGoalHistory());

    OptimVarHistory varHistory;
    varHistory.values() = QStringList{QStringLiteral("1n"), QStringLiteral("2n")};
    varHistory.setValueBeforeTuning(QStringLiteral("1.5n"));
    checkRoundTrip(varHistory);

    OptimGoalLimitHistory limitHistory;
    limitHistory.values() = QStringList{QStringLiteral("0.5")};
    checkRoundTrip(limitHistory);

    OptimTraceFamily family;
    family.setIndepVar(OptimTraceVar(QStringLiteral("freq"), QStringLiteral("Hz")));
    family.otherIndepVars().append(OptimTraceVar(QStringLiteral("temp"), QStringLiteral("C")));
    family.setFlag(true);
    family.sweepValues() = OptimTraceValues{25.0, 85.0};
    OptimTrace trace;
    trace.setFlag(true);
    trace.xValues() = OptimTraceValues{1.0, 2.0};
    trace.auxValues() = OptimTraceValues{25.0, 25.0};
    trace.yValues() = OptimTraceValues{-1.5, -2.25};
    family.traces().append(trace);
    checkRoundTrip(family);

    // Trace data keeps six significant digits on the wire.
    OptimTraceValues precise{1.23456789, -9.87654321e-12};
    OptimSerialReader reader(textOf(precise));
    OptimTraceValues read;
    read.deserialize(reader);
    QVERIFY(!reader.hasError());
    QCOMPARE(read.values(), (QList<double>{1.23457, -9.87654e-12}));
}

void TestOptimRecords::messagesRoundTrip()
{
    checkRoundTrip(OptimStatus(3, QStringLiteral("Paused by \"user\"\n")));
    OptimIter iter = sampleIteration({3, 1, 7, 5}, 9);
    iter.setCommandId(42);
    checkRoundTrip(iter);

    OptimIterSimResult result;
    result.iteration() = iter;
    checkRoundTrip(result);

    OptimIterNoProgress noProgress;
    noProgress.setCommandId(7);
    noProgress.algorithm() = sampleAlgorithmOutput();
    checkRoundTrip(noProgress);

    OptimIterCollapsedIterations batch;
    batch.setCommandId(3);
    batch.setEndsWithNoProgress(false);
    batch.setFirstIteration(4);
    batch.algorithm() = iter.algorithm();
    batch.goals() = iter.goals();
    batch.variables() = iter.variables();
    batch.algorithmHistory().values() = QStringList{QStringLiteral("3"), QStringLiteral("2")};
    batch.goalHistories().append(sampleGoalHistory());
    OptimVarHistory varHistory;
    varHistory.values() = QStringList{QStringLiteral("1")};
    batch.variableHistories().append(varHistory);
    checkRoundTrip(batch);

    OptimIterVariableValues values;
    values.setCommandId(11);
    values.setValues({QStringLiteral("1n"), QString(), QStringLiteral("3 pF")});
    checkRoundTrip(values);

    const OptimModelInput input = sampleModelInput({2, 1, 1, 2});
    OptimIterVariableDefinitions varDefs;
    varDefs.setCommandId(12);
    varDefs.variables() = input.variables();
    checkRoundTrip(varDefs);
    OptimIterGoalDefinitions goalDefs;
    goalDefs.setCommandId(13);
    goalDefs.goals() = input.goals();
    checkRoundTrip(goalDefs);
    OptimIterAlgorithmDefinition algDef;
    algDef.setCommandId(14);
    algDef.algorithm() = input.algorithm();
    checkRoundTrip(algDef);
}

void TestOptimRecords::modelRoundTrip()
{
    OptimizationModel model;
    model.input() = sampleModelInput({2, 1, 3, 2});
    model.output().algorithm() = sampleAlgorithmOutput();
    const OptimIter iter = sampleIteration({2, 1, 3, 2}, 1);
    model.output().goals() = iter.goals();
    model.output().variables() = iter.variables();
    model.history().algorithm().values() = QStringList{QStringLiteral("2"), QStringLiteral("1")};
    model.history().goals().append(sampleGoalHistory());
    checkRoundTrip(model);
    QVERIFY(textOf(model).startsWith("START_OPTIM_MODEL START_OPTIM_MODEL_INPUT START_ALG_INPUT "));
}

void TestOptimRecords::limitDefaultsAndSetters()
{
    const OptimGoalLimitInput fresh;
    QCOMPARE(fresh.limitType(), int(LimitGreaterThan));
    QCOMPARE(fresh.firstValueText(), QStringLiteral("0.0"));
    QCOMPARE(fresh.firstValue(), 0.0);
    QVERIFY(fresh.firstValueValid());
    QVERIFY(!fresh.secondValueValid());

    OptimGoalLimitInput limit;
    limit.setInside(QStringLiteral("1.5"), QStringLiteral("2.5"));
    QCOMPARE(limit.secondValue(), 2.5);
    QVERIFY(limit.secondValueValid());
    limit.setEqualTo(QString());
    QCOMPARE(limit.limitType(), int(LimitEqualTo));
    QVERIFY(!limit.firstValueValid());
    QCOMPARE(limit.firstValue(), 0.0);
    QVERIFY(limit.secondValueText().isEmpty());
    QVERIFY(!limit.secondValueValid());
    QCOMPARE(limit.secondValue(), 0.0);
    QVERIFY(limit.lowerBoundText().isEmpty());
    QVERIFY(limit.upperBoundText().isEmpty());

    limit.setLessThan(QStringLiteral("abc"));
    QVERIFY(!limit.firstValueValid());
    QCOMPARE(limit.firstValueText(), QStringLiteral("abc"));
}

void TestOptimRecords::limitBoundTexts_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("lower");
    QTest::addColumn<QString>("upper");
    QTest::newRow("GreaterThan") << 0 << QStringLiteral("1") << QString();
    QTest::newRow("LessThan") << 1 << QString() << QStringLiteral("1");
    QTest::newRow("EqualTo") << 2 << QStringLiteral("1") << QStringLiteral("1");
    QTest::newRow("Inside") << 3 << QStringLiteral("1") << QStringLiteral("2");
    QTest::newRow("Outside") << 4 << QStringLiteral("1") << QStringLiteral("2");
}

void TestOptimRecords::limitBoundTexts()
{
    QFETCH(int, type);
    QFETCH(QString, lower);
    QFETCH(QString, upper);
    OptimGoalLimitInput limit;
    limit.setLimit(type, QStringLiteral("1"), QStringLiteral("2"));
    QCOMPARE(limit.lowerBoundText(), lower);
    QCOMPARE(limit.upperBoundText(), upper);
    QCOMPARE(optimLimitTypeFromText(optimLimitTypeText(type)), type);
}

void TestOptimRecords::rangeOpenBounds()
{
    const OptimGoalRange open;
    QCOMPARE(open.index(), -1);
    QCOMPARE(open.lowerValue(), -1e300);
    QCOMPARE(open.upperValue(), 1e300);
    QVERIFY(!open.hasLowerBound());
    const OptimGoalRange bad(0, QStringLiteral("x"), QStringLiteral("3"));
    QCOMPARE(bad.lowerValue(), 0.0);
    QCOMPARE(bad.upperValue(), 3.0);
}

void TestOptimRecords::removingIndepVarRenumbersRanges()
{
    OptimGoalInput goal;
    for (const char *name : {"freq", "temp", "vdd"})
        goal.addIndepVar(QString::fromLatin1(name));
    goal.setIndepVarUnit(2, QStringLiteral("V"));
    OptimGoalLimitInput limit;
    for (int i = 0; i < 3; ++i)
        limit.ranges().append(OptimGoalRange(i, QString::number(i), QString()));
    goal.limits().append(limit);
    goal.limits().append(limit);

    goal.removeIndepVar(0);
    QCOMPARE(goal.indepVarNames(), (QStringList{QStringLiteral("temp"), QStringLiteral("vdd")}));
    QCOMPARE(goal.indepVarUnits(), (QStringList{QString(), QStringLiteral("V")}));
    for (const OptimGoalLimitInput &l : goal.limits()) {
        QCOMPARE(l.ranges().count(), 2);
        QCOMPARE(l.ranges().at(0).index(), 0);
        QCOMPARE(l.ranges().at(0).lowerBound(), QStringLiteral("1"));
        QCOMPARE(l.ranges().at(1).index(), 1);
        QCOMPARE(l.ranges().at(1).lowerBound(), QStringLiteral("2"));
    }
    QVERIFY(goal.limits().at(0).rangeForIndex(1).has_value());
    QVERIFY(!goal.limits().at(0).rangeForIndex(2).has_value());
}

void TestOptimRecords::limitAppliesAtChecksOtherVariablesOnly()
{
    OptimGoalInput goal;
    goal.addIndepVar(QStringLiteral("temp"));
    goal.addIndepVar(QStringLiteral("freq"));
    OptimGoalLimitInput limit;
    limit.ranges().append(OptimGoalRange(0, QStringLiteral("0"), QStringLiteral("50")));   // temp
    limit.ranges().append(OptimGoalRange(1, QStringLiteral("1"), QStringLiteral("2")));    // freq: swept axis
    goal.limits().append(limit);

    OptimTraceFamily family;
    family.otherIndepVars().append(OptimTraceVar(QStringLiteral("temp"), QString()));
    family.otherIndepVars().append(OptimTraceVar(QStringLiteral("freq"), QString()));

    QVERIFY(goal.limitAppliesAt(0, family, {25.0, 100.0}));   // freq outside its range is ignored
    QVERIFY(!goal.limitAppliesAt(0, family, {85.0, 1.5}));
    QVERIFY(goal.limitAppliesAt(0, family, {50.0, 1.5}));     // bounds are inclusive
    // Missing data is skipped rather than read past the end.
    QVERIFY(goal.limitAppliesAt(0, family, {}));
    OptimTraceFamily other;
    other.otherIndepVars().append(OptimTraceVar(QStringLiteral("vdd"), QString()));
    QVERIFY(goal.limitAppliesAt(0, other, {1000.0}));
    QVERIFY(goal.limitAppliesAt(5, family, {85.0, 1.5}));
}

void TestOptimRecords::variableConstraintSettersClearUnusedParameters()
{
    OptimVarInput variable;
    variable.setDiscrete(QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("0.25"));
    variable.setRange(QStringLiteral("3"), QStringLiteral("4"));
    QCOMPARE(variable.constraintType(), int(ConstraintRange));
    QCOMPARE(variable.param2(), QStringLiteral("4"));
    QVERIFY(variable.param3().isEmpty());
    variable.setUnconstrained(QStringLiteral("5"));
    QCOMPARE(variable.param1(), QStringLiteral("5"));
    QVERIFY(variable.param2().isEmpty());
    variable.setPercentage(QStringLiteral("10"), QStringLiteral("5"));
    QCOMPARE(variable.constraintType(), int(ConstraintPercentage));
    QVERIFY(variable.displayName().isEmpty());
    variable.setNetlistName(QStringLiteral("R1.R"));
    QCOMPARE(variable.displayName(), QStringLiteral("R1.R"));
}

void TestOptimRecords::algorithmNamesAndVariableKinds()
{
    QCOMPARE(optimAlgorithmName(5), QStringLiteral("Quasi-Newton"));
    QCOMPARE(optimAlgorithmName(12), QStringLiteral("Simulated Annealing"));
    QVERIFY(optimAlgorithmName(0).isEmpty());
    QVERIFY(optimAlgorithmName(13).isEmpty());
    QList<int> discrete, continuous;
    for (int code = 0; code <= 13; ++code) {
        if (OptimAlgInput::acceptsDiscreteVariables(code))
            discrete.append(code);
        if (OptimAlgInput::acceptsContinuousVariables(code))
            continuous.append(code);
    }
    QCOMPARE(discrete, (QList<int>{1, 3, 8, 10, 11}));
    QCOMPARE(continuous, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12}));
    OptimAlgInput empty;
    QVERIFY(empty.isEmpty());
    empty.setMaxIterations(QStringLiteral("5"));
    QVERIFY(!empty.isEmpty());
}

void TestOptimRecords::readingGoalResetsUnserializedFields()
{
    OptimGoalInput goal = sampleModelInput({1, 1, 1, 0}).goals().at(0);
    const QByteArray text = textOf(goal);
    goal.setItemTypeName(QStringLiteral("other"));
    goal.setInDesign(false);
    goal.setDesignItem(QStringLiteral("Goal1"), QStringLiteral("item"));
    goal.setExtraParameterNames({QStringLiteral("x")});
    OptimSerialReader reader(text);
    goal.deserialize(reader);
    QVERIFY(!reader.hasError());
    QCOMPARE(goal.itemTypeName(), QStringLiteral("zeb_simulation:Goal"));
    QVERIFY(goal.inDesign());
    QVERIFY(goal.designItemName().isEmpty());
    QVERIFY(goal.extraParameterNames().isEmpty());
}

void TestOptimRecords::emptyModelInputText()
{
    QCOMPARE(textOf(OptimModelInput()),
             QByteArray("START_OPTIM_MODEL_INPUT START_ALG_INPUT \"\" \"\" 0 NO START_ARRAY_STRING 0 END_ARRAY_STRING "
                        "START_ARRAY_STRING 0 END_ARRAY_STRING \"\" END_ALG_INPUT START_ARRAY_OPT_GOAL_INPUTS 0 "
                        "END_ARRAY_OPT_GOAL_INPUTS START_ARRAY_OPT_VAR_INPUTS 0 END_ARRAY_OPT_VAR_INPUTS "
                        "END_OPTIM_MODEL_INPUT "));
}

void TestOptimRecords::messageFixedTexts()
{
    QCOMPARE(textOf(OptimIterVariableValues()),
             QByteArray("START_VARIABLE_VALUES -1 START_ARRAY_STRING 0 END_ARRAY_STRING END_VARIABLE_VALUES "));
    QVERIFY(textOf(OptimIter()).startsWith("START_OPTIM_ITER -1 START_ALG_OUTPUT 0 YES NO "));
    QCOMPARE(textOf(OptimStatus(2, QStringLiteral("a \"b\""))), QByteArray("START_STATUS 2 \"a \\\"b\\\"\" END_STATUS "));
    OptimIterCollapsedIterations batch;
    QVERIFY(textOf(batch).startsWith("START_OPTIM_COMPACT_ITERS -1 YES -1 START_ALG_OUTPUT "));
    QCOMPARE(QByteArray(batch.messageType()), QByteArray("OPTIM_COMPACT_ITERS"));
    QCOMPARE(OptimIterGoalDefinitions::typeWord(), QByteArray("GOAL_DEFINITIONS"));
}

void TestOptimRecords::simResultNeedsNestedIterationWords()
{
    OptimIterSimResult result;
    result.iteration() = sampleIteration({1, 1, 2, 1}, 1);
    QByteArray text = textOf(result);
    QVERIFY(text.startsWith("START_SIM_RESULT START_OPTIM_ITER "));
    QVERIFY(text.endsWith("END_OPTIM_ITER END_SIM_RESULT "));

    QByteArray broken = text;
    broken.replace("END_OPTIM_ITER", "END_OPTIM_ITEM");
    OptimIterSimResult target;
    OptimSerialReader reader(broken);
    target.deserialize(reader);
    QVERIFY(reader.hasError());
    QCOMPARE(target, OptimIterSimResult());

    QByteArray truncated = text.left(text.size() / 2);
    OptimSerialReader truncatedReader(truncated);
    target.deserialize(truncatedReader);
    QVERIFY(truncatedReader.hasError());
    QCOMPARE(target, OptimIterSimResult());
}

void TestOptimRecords::incomingTypeWordsAreRecognised()
{
    QCOMPARE(optimIncomingType("OPTIM_ITER"), OptimIncomingType::Iter);
    QCOMPARE(optimIncomingType("OPTIM_NO_PROGRESS"), OptimIncomingType::NoProgress);
    QCOMPARE(optimIncomingType("OPTIM_COMPACT_ITERS"), OptimIncomingType::CollapsedIterations);
    QCOMPARE(optimIncomingType("SIM_RESULT"), OptimIncomingType::SimResult);
    QCOMPARE(optimIncomingType("STATUS"), OptimIncomingType::Status);
    QCOMPARE(optimIncomingType("VARIABLE_VALUES"), OptimIncomingType::None);
    QCOMPARE(optimIncomingType("optim_iter"), OptimIncomingType::None);
}

void TestOptimRecords::traceFamilyBounds()
{
    OptimTraceFamily family;
    QCOMPARE(family.minPoint(), QPointF());
    QCOMPARE(family.maxPoint(), QPointF());
    OptimTrace a;
    a.xValues() = OptimTraceValues{1.0, 3.0};
    a.yValues() = OptimTraceValues{-2.0, 5.0};
    OptimTrace b;
    b.xValues() = OptimTraceValues{0.5, 2.0, 9.0};
    b.yValues() = OptimTraceValues{1.0, 7.0};  // shorter: the third x has no y
    family.traces().append(a);
    family.traces().append(b);
    QCOMPARE(family.minPoint(), QPointF(0.5, -2.0));
    QCOMPARE(family.maxPoint(), QPointF(3.0, 7.0));
    // Changing the traces recomputes the bounds.
    family.traces().removeAt(1);
    QCOMPARE(family.maxPoint(), QPointF(3.0, 5.0));
    QVERIFY(!family.isEmpty());
}

void TestOptimRecords::statusTexts()
{
    QCOMPARE(optimStatusText(0), QStringLiteral("UNKNOWN"));
    QCOMPARE(optimStatusText(6), QStringLiteral("EXITED_WITH_ERROR"));
    QCOMPARE(optimStatusText(7), QStringLiteral("KILLED"));
    QVERIFY(optimStatusText(8).isEmpty());
    QVERIFY(optimStatusText(-1).isEmpty());
}

void TestOptimRecords::metaTypesRegisteredByName()
{
    registerOptimMetaTypes();
    registerOptimMetaTypes();
    for (const char *name : {"OptimStatus", "OptimIter", "OptimIterSimResult", "OptimIterNoProgress",
                             "OptimIterVariableValues", "OptimIterVariableDefinitions", "OptimIterGoalDefinitions",
                             "OptimIterAlgorithmDefinition", "OptimizationModel", "OptimModelHistory",
                             "OptimModelOutput", "OptimModelInput"})
        QVERIFY2(QMetaType::fromName(name).isValid(), name);
    QVERIFY(!QMetaType::fromName("OptimIterCollapsedIterations").isValid());
}

QTEST_APPLESS_MAIN(TestOptimRecords)
#include "tst_optimrecords.moc"
