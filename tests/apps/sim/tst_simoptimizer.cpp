// The algorithms against the helmdeck's list, the variables' search
// intervals and unit-cube mapping, iteration counting, and real
// optimizations of the bundled lowpass examples. (The messages built from a
// run are checked where the helmdeck applies them: tst_simprocess.)

#include "simoptimization.h"
#include "exampledesign.h"

#include "model/optiminputrecords.h"

#include <QTest>

Q_DECLARE_METATYPE(OptimVarInput)

namespace {

OptimVarInput variable(int type, const QString &value, const QString &p1 = {}, const QString &p2 = {},
                       const QString &p3 = {}, const QString &unit = QStringLiteral("F"))
{
    OptimVarInput v;
    v.setNetlistName(QStringLiteral("X"));
    v.setValue(value);
    v.setUnit(unit);
    v.setConstraint(type, p1, p2, p3);
    return v;
}

bool setAlgorithm(SimOptimization &opt, int code, const QString &maxIterations = {})
{
    OptimAlgInput alg = opt.algorithmInput();
    alg.setAlgorithmType(code);
    if (!maxIterations.isEmpty())
        alg.setMaxIterations(maxIterations);
    return opt.setAlgorithm(alg);
}

// Runs until iteration n has been reported, then stops the run.
SimOutcome runTo(SimOptimization &opt, int n)
{
    return opt.run([&](const SimProblem::Report &r) {
        if (r.iteration == n)
            opt.requestStop(SimStop::Interrupted);
    });
}

}  // namespace

class TestSimOptimizer : public QObject
{
    Q_OBJECT
    const SimDesign m_lowpass = loadExampleDesign("lowpass.json");

private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(NgspiceEngine::instance().initialize(&error), qPrintable(error));
    }

    // The simulator's algorithms agree with what the helmdeck shows and allows.
    void algorithmTable()
    {
        for (int code = 1; code <= 12; ++code) {
            const SimAlgorithmInfo info = simAlgorithmInfo(code);
            QCOMPARE(info.code, code);
            QCOMPARE(info.name, optimAlgorithmName(code));
            QCOMPARE(info.discrete, OptimAlgInput::acceptsDiscreteVariables(code));
            QCOMPARE(info.continuous, OptimAlgInput::acceptsContinuousVariables(code));
        }
        QCOMPARE(int(simAlgorithmInfo(3).form), 1);  // minimax
        QCOMPARE(int(simAlgorithmInfo(6).form), 2);  // least p-th
    }

    void intervals_data()
    {
        QTest::addColumn<OptimVarInput>("var");
        QTest::addColumn<double>("lower");
        QTest::addColumn<double>("upper");
        QTest::addColumn<int>("gridSize");
        QTest::newRow("unconstrained") << variable(0, "2 pF") << 0.2e-12 << 20e-12 << 0;
        QTest::newRow("unconstrained reference") << variable(0, "2 pF", "4 pF") << 0.4e-12 << 40e-12 << 0;
        QTest::newRow("unconstrained negative") << variable(0, "-2", {}, {}, {}, {}) << -20.0 << -0.2 << 0;
        QTest::newRow("unconstrained zero") << variable(0, "0", {}, {}, {}, {}) << -1.0 << 1.0 << 0;
        QTest::newRow("min max") << variable(1, "2 pF", "1 pF", "3p") << 1e-12 << 3e-12 << 0;
        QTest::newRow("min max swapped") << variable(1, "2 pF", "3 pF", "1 pF") << 1e-12 << 3e-12 << 0;
        QTest::newRow("discrete") << variable(2, "2 pF", "1 pF", "3 pF", "0.5 pF") << 1e-12 << 3e-12 << 5;
        QTest::newRow("discrete downwards") << variable(2, "2 pF", "3 pF", "1 pF", "-0.5 pF") << 1e-12 << 3e-12 << 5;
        QTest::newRow("plus minus") << variable(3, "2 pF", "", "0.5 pF") << 1.5e-12 << 2.5e-12 << 0;
        QTest::newRow("plus minus centre") << variable(3, "2 pF", "4 pF", "0.5 pF") << 3.5e-12 << 4.5e-12 << 0;
        QTest::newRow("percent") << variable(4, "2 pF", "", "10") << 1.8e-12 << 2.2e-12 << 0;
    }

    void intervals()
    {
        QFETCH(OptimVarInput, var);
        QFETCH(double, lower);
        QFETCH(double, upper);
        QFETCH(int, gridSize);
        SimVariables vars;
        QStringList problems;
        vars.setDefinitions(OptimItemList<OptimVarInput>{var}, &problems);
        QVERIFY(problems.isEmpty());
        QVERIFY(qFuzzyCompare(vars.lower(0), lower));
        QVERIFY(qFuzzyCompare(vars.upper(0), upper));
        QCOMPARE(vars.grid(0).size(), gridSize);
    }

    void valueListsAndTexts()
    {
        SimVariables vars;
        vars.setValueLists({{QStringLiteral("X"), {QStringLiteral("1 pF"), QStringLiteral("2.2 pF"), QStringLiteral("4.7 pF")}}});
        vars.setDefinitions(OptimItemList<OptimVarInput>{variable(2, "1", "0", "2", "1")});
        QVERIFY(vars.hasValueList(0));
        QCOMPARE(vars.values().at(0), 1.0);
        QCOMPARE(vars.physical(0, 1.0), 2.2e-12);
        QCOMPARE(vars.valueText(0, 2.0), QStringLiteral("2"));
        QCOMPARE(vars.grid(0), (QList<double>{0, 1, 2}));
        QVERIFY(vars.setValueText(0, QStringLiteral("2")));
        QCOMPARE(vars.values().at(0), 2.0);
        QVERIFY(vars.setValueText(0, QStringLiteral("1 pF")));  // the list's own text
        QCOMPARE(vars.values().at(0), 0.0);
        QVERIFY(!vars.setValueText(0, QStringLiteral("3")));
        QVERIFY(!vars.setValueText(0, QStringLiteral("3.3 pF")));
        QCOMPARE(vars.values().at(0), 0.0);
    }

    void unitCube()
    {
        SimVariables vars;
        OptimVarInput off = variable(1, "5 pF", "1 pF", "9 pF");
        off.setOptimize(false);
        vars.setDefinitions(OptimItemList<OptimVarInput>{variable(1, "2 pF", "1 pF", "3 pF"), variable(2, "2 pF", "1 pF", "3 pF", "0.5 pF"),
                                                         off, variable(1, "7 pF", "7 pF", "7 pF")});  // the last: an empty interval, no axis
        const SimSpace both(vars, true, true);
        QCOMPARE(both.dimension(), 2);
        QCOMPARE(both.gridSize(0), 0);
        QCOMPARE(both.gridSize(1), 5);
        const std::vector<double> x = both.encode(vars.values());
        QCOMPARE(x.size(), size_t(2));
        QVERIFY(qFuzzyCompare(x[0], 0.5));
        QCOMPARE(x[1], 0.5);  // grid point 2 of 0..4
        const QList<double> back = both.decode({1.0, 0.3}, vars.values());
        QVERIFY(qFuzzyCompare(back.at(0), 3e-12));
        QCOMPARE(back.at(1), 1.5e-12);  // 0.3 of 4 steps rounds to step 1: exactly the grid value
        QCOMPARE(back.at(2), 5e-12);    // not optimized: unchanged
        QCOMPARE(both.snap({0.2, 0.3}), (std::vector<double>{0.2, 0.25}));
        QCOMPARE(SimSpace(vars, true, false).dimension(), 1);
        QCOMPARE(SimSpace(vars, false, true).variable(0), 1);
    }

    void everyAlgorithmImproves_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("file");
        for (int code : {1, 3, 4, 5, 6, 7, 8, 9, 12})
            QTest::newRow(qPrintable(QString::number(code))) << code << "lowpass.json";
        QTest::newRow("10 discrete") << 10 << "lowpass-discrete.json";
        QTest::newRow("11 discrete") << 11 << "lowpass-discrete.json";
        QTest::newRow("1 discrete") << 1 << "lowpass-discrete.json";
        QTest::newRow("5 bandpass netlist") << 5 << "bandpass.cir";
    }

    void everyAlgorithmImproves()
    {
        QFETCH(int, code);
        QFETCH(QString, file);
        const SimDesign d = loadExampleDesign(file.toLatin1().constData());
        SimOptimization opt(d, 0);
        setAlgorithm(opt, code, QStringLiteral("60"));
        double first = -1;
        int found = 0;
        const SimOutcome outcome = opt.run([&](const SimProblem::Report &r) {
            if (r.iteration == 0)
                first = r.evaluation->total();
            found = r.improved ? r.iteration : found;
        });
        // The shown error says where the best was found; the detail, kept in the history, is the number.
        const OptimAlgOutput shown = opt.algorithmOutput(StatusRunning, QString());
        QCOMPARE(shown.errorText(), QStringLiteral("%1 at iteration %2").arg(shown.errorDetail()).arg(found));
        QCOMPARE(shown.errorDetail(), SimOptimization::number(opt.best().total()));
        QVERIFY(outcome.stop != SimStop::Failed);
        QVERIFY(opt.iteration() <= 60);
        QVERIFY2(opt.best().total() < 0.5 * first,
                 qPrintable(QStringLiteral("%1: %2 -> %3").arg(code).arg(first).arg(opt.best().total())));
    }

    // The netlist form of a design is the same design: the same run, error for error.
    void netlistRunsLikeJson_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("lowpass ac") << "lowpass";
        QTest::newRow("rlc-step tran, meas") << "rlc-step";
    }

    void netlistRunsLikeJson()
    {
        QFETCH(QString, name);
        QList<QList<double>> errors(2);
        for (int k = 0; k < 2; ++k) {
            const SimDesign d = loadExampleDesign(qPrintable(name + (k == 0 ? ".cir" : ".json")));
            SimOptimization opt(d, 0);
            opt.run([&](const SimProblem::Report &r) { errors[k].append(r.evaluation->total()); });
        }
        QVERIFY(errors.at(0).size() > 5);
        QCOMPARE(errors.at(0), errors.at(1));
    }

    // The bundled examples of other analyses meet their goals from their start
    // values; a measurement goes to the helmdeck as a scalar: one y value, no x,
    // an unnamed independent variable; a trace over time as time/s.
    void examplesMeetTheirGoals_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("scalarGoal");
        QTest::addColumn<int>("traceGoal");
        QTest::addColumn<QString>("indepVar");
        QTest::newRow("rlc-step") << "rlc-step.json" << 0 << 2 << "time s";
        QTest::newRow("rc-noise") << "rc-noise.json" << 0 << 1 << "freq Hz";
        QTest::newRow("amplifier") << "amplifier.json" << 0 << 1 << "freq Hz";  // with a model file
    }

    void examplesMeetTheirGoals()
    {
        QFETCH(QString, file);
        QFETCH(int, scalarGoal);
        QFETCH(int, traceGoal);
        QFETCH(QString, indepVar);
        const SimDesign d = loadExampleDesign(file.toLatin1().constData());
        SimOptimization opt(d, 0);
        QVERIFY2(opt.problems().isEmpty(), qPrintable(opt.problems().join("; ")));
        const SimOutcome outcome = opt.run({});
        QVERIFY2(outcome.stop == SimStop::GoalsMet, qPrintable(outcome.message));
        const OptimGoalOutput scalar = opt.goalOutput(scalarGoal, opt.best());
        QCOMPARE(scalar.traces().indepVar(), OptimTraceVar());
        QCOMPARE(scalar.traces().traceCount(), 1);
        QVERIFY(scalar.traces().trace(0).xValues().values().isEmpty());
        QCOMPARE(scalar.traces().trace(0).yValues().values().size(), 1);
        const OptimGoalOutput trace = opt.goalOutput(traceGoal, opt.best());
        const OptimTraceVar &x = trace.traces().indepVar();
        QCOMPARE(x.name() + QLatin1Char(' ') + x.text(), indepVar);
        QVERIFY(trace.traces().trace(0).xValues().values().size() > 10);
        QCOMPARE(trace.traces().trace(0).xValues().values().size(), trace.traces().trace(0).yValues().values().size());
    }

    void discreteStaysOnTheGrid()
    {
        const SimDesign d = loadExampleDesign("lowpass-discrete.json");
        SimOptimization opt(d, 0);
        opt.run([&](const SimProblem::Report &r) {
            const QStringList texts = opt.variableValueTexts(*r.evaluation);
            for (int k : {0, 1, 3, 4}) {
                bool ok = false;
                texts.at(k).toInt(&ok);
                QVERIFY2(ok, qPrintable(texts.at(k)));  // list variables travel as positions
            }
            const double c3 = r.evaluation->values.at(2) / 0.5e-12;
            QVERIFY(qAbs(c3 - qRound(c3)) < 1e-6);  // on the 0.5 pF grid
        });
        QVERIFY(opt.iteration() > 0);
    }

    void stopAndRestartKeepCounting()
    {
        SimOptimization opt(m_lowpass, 0);
        QCOMPARE(int(runTo(opt, 5).stop), int(SimStop::Interrupted));
        QCOMPARE(opt.iteration(), 5);
        const double best = opt.best().total();
        int next = -1;
        opt.run([&](const SimProblem::Report &r) {
            if (next < 0)
                next = r.iteration;
            opt.requestStop(SimStop::Interrupted);
        });
        QCOMPARE(next, 6);  // the best point is not counted again at the restart
        QVERIFY(opt.best().total() <= best);
    }

    // New variable definitions of another count arriving mid-run (a bus
    // client or the variable editor): the run ends at once, nothing more is
    // simulated in the old space, and the next run works in the new one.
    void definitionChangeMidRun_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("code");
        for (int count : {0, 1, 4}) {
            QTest::addRow("%d variables, gradient", count) << count << 2;
            QTest::addRow("%d variables, genetic", count) << count << 11;
        }
    }

    void definitionChangeMidRun()
    {
        QFETCH(int, count);
        QFETCH(int, code);
        SimOptimization opt(m_lowpass, 0);
        setAlgorithm(opt, code);
        OptimItemList<OptimVarInput> fewer;
        for (int k = 0; k < count; ++k)
            fewer.append(opt.variables().definitions().at(k));
        qint64 simulations = -1;
        const SimOutcome first = opt.run([&](const SimProblem::Report &r) {
            if (r.iteration == 2 && simulations < 0) {
                QVERIFY(opt.setVariableDefinitions(fewer));
                simulations = opt.simulationCount();
            }
        });
        QCOMPARE(int(first.stop), int(SimStop::Interrupted));
        QCOMPARE(opt.simulationCount(), simulations);
        opt.run([&](const SimProblem::Report &r) {
            QCOMPARE(r.evaluation->values.size(), count);
            QVERIFY(r.evaluation->ok);
            if (r.iteration >= 5)
                opt.requestStop(SimStop::Interrupted);
        });
        QCOMPARE(opt.modelInput().variables().size(), count);
    }

    // Goal definitions of which none can be evaluated (an expression ngspice
    // refuses when the goals are set, a range beyond the 3 GHz sweep): the run
    // does not start.
    void noValidGoalDoesNotStart_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("checks");  // simulations that judged the expressions
        QTest::newRow("unknown expression") << "gain(S21)" << "1e9" << "goal \"Passband\": ngspice: no such function as gain, or gain(S21) is not available." << 1;
        QTest::newRow("range beyond the sweep") << "dB(S21)" << "5e9" << "outside SP1" << 0;
        QTest::newRow("no goal") << "" << "" << "no goal to optimize" << 0;
    }

    void noValidGoalDoesNotStart()
    {
        QFETCH(QString, expression);
        QFETCH(QString, from);
        QFETCH(QString, reason);
        QFETCH(int, checks);
        SimOptimization opt(m_lowpass, 0);
        OptimItemList<OptimGoalInput> goals;
        if (!expression.isEmpty()) {
            OptimGoalInput g = opt.modelInput().goals().at(0);
            g.setExpression(expression);
            OptimGoalLimitInput l = g.limits().at(0);
            l.setRanges(OptimItemList<OptimGoalRange>{OptimGoalRange(0, from, QStringLiteral("6e9"))});
            g.limits().replace(0, l);
            goals.append(g);
        }
        QVERIFY(opt.setGoalDefinitions(goals));
        const SimOutcome outcome = opt.run({});
        QCOMPARE(int(outcome.stop), int(SimStop::Refused));
        QVERIFY2(outcome.message.contains(reason), qPrintable(outcome.message));
        if (checks)  // reported with the definitions, before any run
            QVERIFY(opt.problems().join(QString()).contains(reason));
        QCOMPARE(opt.simulationCount(), checks);
    }

    void valuesFromTheHelmdeckRestartFromThere()
    {
        SimOptimization opt(m_lowpass, 0);
        runTo(opt, 3);
        QStringList rejected;
        QVERIFY(opt.setVariableValues({QStringLiteral("2.5 pF"), QString(), QStringLiteral("nonsense")}, &rejected));
        QCOMPARE(rejected, QStringList{QStringLiteral("C3 = \"nonsense\"")});
        QVERIFY(!opt.hasBest());
        QCOMPARE(opt.variables().values().at(0), 2.5e-12);
        const SimEvaluation now = opt.simulateCurrent();
        QVERIFY(now.ok);
        QCOMPARE(now.values.at(0), 2.5e-12);
        bool firstImproved = false;
        opt.run([&](const SimProblem::Report &r) {
            firstImproved = r.improved;
            QCOMPARE(r.iteration, 4);
            QCOMPARE(r.evaluation->values.at(0), 2.5e-12);
            opt.requestStop(SimStop::Interrupted);
        });
        QVERIFY(firstImproved);
    }

    void iterationLimitIsExact()
    {
        SimOptimization opt(m_lowpass, 0);
        setAlgorithm(opt, 1, "17");
        const SimOutcome outcome = opt.run({});
        QCOMPARE(int(outcome.stop), int(SimStop::IterationLimit));
        QCOMPARE(opt.iteration(), 17);
        QVERIFY(opt.limitReached());
        QVERIFY(setAlgorithm(opt, 1, "20"));
        QVERIFY(opt.hasBest());  // the same error form: the best point stands
        opt.run({});
        QCOMPARE(opt.iteration(), 20);
    }
};

QTEST_GUILESS_MAIN(TestSimOptimizer)
#include "tst_simoptimizer.moc"
