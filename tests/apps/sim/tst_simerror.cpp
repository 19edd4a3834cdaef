// The error function on traces made up for the test: violations of every
// limit type, ranges, weights, the three error forms and their goal shares.

#include "simerror.h"

#include <QTest>

#include <cmath>

namespace {

// An ac analysis SP1 with two ports from start to stop, and an operating point OP.
QList<SimAnalysis> analyses(double start = 1e6, double stop = 1e10)
{
    SimAnalysis sp;
    sp.start = start;
    sp.stop = stop;
    sp.points = 10;
    sp.ports = {SimPort{"in", 50}, SimPort{"out", 50}};
    SimAnalysis op;
    op.type = SimAnalysis::Op;
    op.name = "OP";
    return {sp, op};
}

// The traces the circuit hands out for the goals: S21 in dB as given per
// frequency, S11 at -20 dB (no frequency: no data).
SimResponse response(const OptimItemList<OptimGoalInput> &goals, const QList<double> &freqs, const QList<double> &s21dB)
{
    SimResponse r;
    for (const OptimGoalInput &g : goals) {
        SimTrace t;
        t.ok = !freqs.isEmpty();
        t.problem = t.ok ? QString() : g.expression() + " produced no data";
        for (qsizetype i = 0; i < freqs.size(); ++i) {
            t.x.push_back(freqs.at(i));
            t.y.push_back(g.expression().contains("S21") ? s21dB.at(i) : -20.0);
        }
        r.traces.push_back(t);
    }
    return r;
}

OptimGoalLimitInput limit(int type, const QString &a, const QString &b = QString(), const QString &from = QString(),
                          const QString &to = QString(), const QString &weight = QString())
{
    OptimGoalLimitInput l;
    l.setLimit(type, a, b);
    l.setWeight(weight);
    if (!from.isEmpty() || !to.isEmpty())
        l.setRanges(OptimItemList<OptimGoalRange>{OptimGoalRange(0, from, to)});
    return l;
}

OptimGoalInput goal(const QString &expression, const QList<OptimGoalLimitInput> &limits, const QString &weight = QString())
{
    OptimGoalInput g;
    g.setName(expression);
    g.setExpression(expression);
    g.setSimInstanceName("SP1");
    g.setWeight(weight);
    g.addIndepVar(QStringLiteral("freq"));
    for (const auto &l : limits)
        g.limits().append(l);
    return g;
}

bool close(double a, double b)
{
    return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

}  // namespace

class TestSimError : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void violation_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<double>("y");
        QTest::addColumn<double>("expected");
        // GreaterThan -1, LessThan -30, EqualTo 0, Inside [-3, -1], Outside (-3, -1) (second value first on purpose)
        QTest::newRow("greater met") << 0 << -0.5 << 0.0;
        QTest::newRow("greater missed") << 0 << -3.0 << 2.0;
        QTest::newRow("less met") << 1 << -35.0 << 0.0;
        QTest::newRow("less missed") << 1 << -20.0 << 10.0;
        QTest::newRow("equal above") << 2 << 0.5 << 0.5;
        QTest::newRow("equal below") << 2 << -0.25 << 0.25;
        QTest::newRow("inside met") << 3 << -2.0 << 0.0;
        QTest::newRow("inside below") << 3 << -5.0 << 2.0;
        QTest::newRow("inside above") << 3 << 0.0 << 1.0;
        QTest::newRow("outside met") << 4 << -4.0 << 0.0;
        QTest::newRow("outside near low edge") << 4 << -2.5 << 0.5;
        QTest::newRow("outside near high edge") << 4 << -1.2 << 0.2;
    }

    void violation()
    {
        QFETCH(int, type);
        QFETCH(double, y);
        QFETCH(double, expected);
        const char *first[] = {"-1", "-30", "0", "-1", "-1"};
        QVERIFY(close(SimErrorFunction::violation(limit(type, first[type], type >= 3 ? "-3" : ""), y), expected));
    }

    void leastSquaresWithRangesAndWeights()
    {
        // Points at 1, 2, 3, 4 GHz with S21 of -1, -2, -3, -4 dB.
        const QList<double> freqs{1e9, 2e9, 3e9, 4e9};
        // Passband up to 2.5 GHz > -1.5 dB: violations 0, 0.5 -> mean square 0.125, limit weight 2.
        // Stopband from 3 GHz (open above) < -3.5 dB: violations 0.5, 0 -> 0.125. S11 is -20 dB everywhere; < -10 is met.
        const OptimItemList<OptimGoalInput> goals{goal("dB(S21)", {limit(LimitGreaterThan, "-1.5", {}, "0", "2.5e9", "2")}, "3"),
                                                  goal("dB(S21)", {limit(LimitLessThan, "-3.5", {}, "3e9")}),
                                                  goal("dB(S11)", {limit(LimitLessThan, "-10")})};
        const SimErrorFunction f(goals, analyses(), SimErrorForm::LeastSquares);
        QVERIFY(f.problems().isEmpty());
        const SimErrorResult e = f.evaluate(response(goals, freqs, {-1, -2, -3, -4}));
        QCOMPARE(e.goals.size(), 3);
        QVERIFY(close(e.goals.at(0).value, 2 * 0.125));
        QVERIFY(close(e.goals.at(0).contribution, 3 * 2 * 0.125));
        QVERIFY(close(e.goals.at(1).contribution, 0.125));
        QVERIFY(close(e.goals.at(2).contribution, 0.0));
        QVERIFY(close(e.total, 0.75 + 0.125));
        QVERIFY(close(e.goals.at(0).limitWorst.at(0), 0.5));
        QVERIFY(close(e.goals.at(1).limitWorst.at(0), 0.5));
        QCOMPARE(e.goals.at(0).x, (QList<double>{1e9, 2e9, 3e9, 4e9}));
        QVERIFY(close(e.goals.at(0).y.at(2), -3.0));
        // Residuals: every point in range, weighted by goal and limit weight.
        QCOMPARE(e.residuals.size(), size_t(2 + 2 + 4));
        QVERIFY(close(e.residuals[1], 3 * 2 * 0.5));
        QVERIFY(close(e.residuals[2], 0.5));
    }

    void minimaxAndLeastPth()
    {
        const OptimItemList<OptimGoalInput> goals{goal("dB(S21)", {limit(LimitGreaterThan, "-1")}),     // 1, 3
                                                  goal("dB(S21)", {limit(LimitLessThan, "-3")}, "2")};  // 1, 0
        const SimResponse r = response(goals, {1e9, 2e9}, {-2, -4});
        const SimErrorResult mm = SimErrorFunction(goals, analyses(), SimErrorForm::Minimax).evaluate(r);
        QVERIFY(close(mm.total, 3.0));
        QVERIFY(close(mm.goals.at(0).contribution, 3.0));
        QVERIFY(close(mm.goals.at(1).contribution, 2.0));
        const SimErrorResult p = SimErrorFunction(goals, analyses(), SimErrorForm::LeastPth).evaluate(r);
        const double s0 = (1.0 + 81.0) / 2;  // mean of v^4
        const double s1 = 2 * (1.0 + 0.0) / 2;
        QVERIFY(close(p.total, std::pow(s0 + s1, 0.25)));
        QVERIFY(close(p.goals.at(0).contribution + p.goals.at(1).contribution, p.total));
        QVERIFY(close(p.goals.at(0).value, std::pow(s0, 0.25)));
        // Met goals give zero in every form; an empty weight counts as 1, a negative one as 0.
        const OptimItemList<OptimGoalInput> met{goal("dB(S21)", {limit(LimitInside, "-1", "0")})};
        for (SimErrorForm form : {SimErrorForm::LeastSquares, SimErrorForm::Minimax, SimErrorForm::LeastPth})
            QCOMPARE(SimErrorFunction(met, analyses(), form).evaluate(response(met, {1e9, 2e9}, {-0.1, -0.2})).total, 0.0);
        const OptimItemList<OptimGoalInput> weighted{goal("dB(S21)", {limit(LimitGreaterThan, "-1")}, QString()),
                                                     goal("dB(S21)", {limit(LimitGreaterThan, "-1")}, "-4")};
        const SimErrorResult e = SimErrorFunction(weighted, analyses(), SimErrorForm::LeastSquares).evaluate(response(weighted, {1e9}, {-2}));
        QVERIFY(close(e.goals.at(0).contribution, 1.0));
        QVERIFY(close(e.goals.at(1).contribution, 0.0));
    }

    void invalidGoalsAreReportedNotCounted()
    {
        OptimGoalInput other = goal("dB(S21)", {limit(LimitGreaterThan, "-1")});
        other.setSimInstanceName("HB1");
        OptimGoalInput scalarRange = goal("i(vdd)", {limit(LimitGreaterThan, "-1", {}, "0", "1")});
        scalarRange.setSimInstanceName("OP");
        OptimItemList<OptimGoalInput> goals{goal("db(`x`)", {limit(LimitGreaterThan, "-1")}), other, scalarRange};
        SimErrorFunction f(goals, analyses(), SimErrorForm::LeastSquares);
        QCOMPARE(f.problems().size(), 3);
        QVERIFY(f.problems().at(1).contains(QStringLiteral("unknown analysis \"HB1\" (the design has SP1, OP)")));
        QVERIFY(f.problems().at(2).contains(QStringLiteral("the goal is a scalar")));
        // ngspice refusing an expression at the check makes its goal invalid too.
        goals.append(goal("vdb(nosuch)", {limit(LimitGreaterThan, "-1")}));
        f = SimErrorFunction(goals, analyses(), SimErrorForm::LeastSquares);
        QVERIFY(f.needsCheck());
        f.reject(3, "ngspice: no such vector");
        QCOMPARE(f.validGoalCount(), 0);
        QVERIFY(!f.needsCheck());
        const SimErrorResult e = f.evaluate(response(goals, {1e9}, {-2}));
        QCOMPARE(e.total, 0.0);
        for (const SimGoalResult &g : e.goals) {
            QVERIFY(!g.valid);
            QVERIFY(!g.problem.isEmpty());
            QCOMPARE(g.limitWorst.size(), 1);
        }
    }

    // A scalar goal is one point without an independent variable; one without a value is never met.
    void scalarGoals()
    {
        OptimGoalInput bias = goal("-i(vdd)", {limit(LimitEqualTo, "0.005")});
        bias.setSimInstanceName("OP");
        const OptimItemList<OptimGoalInput> goals{bias};
        const SimErrorFunction f(goals, analyses(), SimErrorForm::LeastSquares);
        QVERIFY(f.problems().isEmpty());
        SimResponse r;
        r.traces.resize(1);
        r.traces[0].ok = r.traces[0].scalar = true;
        r.traces[0].y = {0.004};
        const SimErrorResult e = f.evaluate(r);
        QVERIFY(e.goals.at(0).valid && e.goals.at(0).scalar && e.goals.at(0).x.isEmpty());
        QVERIFY(e.goals.at(0).indepVar.isEmpty());
        QCOMPARE(e.goals.at(0).y, QList<double>{0.004});
        QVERIFY(close(e.total, 1e-6));
        r.traces[0] = SimTrace();
        r.traces[0].problem = "ngspice: out of interval";
        const SimErrorResult none = f.evaluate(r);
        QCOMPARE(none.problems, QStringList{"goal \"-i(vdd)\": ngspice: out of interval"});
        QVERIFY(!none.goals.at(0).valid);
    }

    // A goal that sees no data is never "met": a range outside the sweep
    // makes it invalid up front, no simulated point in range fails the evaluation.
    void goalsThatSeeNoData_data()
    {
        QTest::addColumn<QList<double>>("freqs");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("definitionProblem");
        QTest::addColumn<QString>("evaluationProblem");
        const QList<double> sweep{1e9, 2e9, 3e9};
        QTest::newRow("range above the sweep") << sweep << "5e9" << "6e9" << "outside SP1 (1e+09 to 3e+09 Hz)" << "";
        QTest::newRow("range below the sweep") << sweep << "1e6" << "2e6" << "outside SP1" << "";
        QTest::newRow("range between two points") << sweep << "1.2e9" << "1.8e9" << "" << "no simulated point";
        QTest::newRow("no points at all") << QList<double>{} << "" << "" << "" << "dB(S21) produced no data";
    }

    void goalsThatSeeNoData()
    {
        QFETCH(QList<double>, freqs);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, definitionProblem);
        QFETCH(QString, evaluationProblem);
        const OptimItemList<OptimGoalInput> goals{goal("dB(S21)", {limit(LimitGreaterThan, "-100", {}, from, to)})};
        const SimErrorFunction f(goals, analyses(1e9, 3e9), SimErrorForm::LeastSquares);
        QCOMPARE(f.validGoalCount(), definitionProblem.isEmpty() ? 1 : 0);
        QCOMPARE(f.problems().join(QString()).contains(definitionProblem), true);
        QCOMPARE(f.problems().isEmpty(), definitionProblem.isEmpty());
        const SimErrorResult e = f.evaluate(response(goals, freqs, QList<double>(freqs.size(), -1.0)));
        QCOMPARE(e.problems.isEmpty(), evaluationProblem.isEmpty());
        QVERIFY(e.problems.join(QString()).contains(evaluationProblem));
        QVERIFY(!e.goals.at(0).valid);
    }
};

QTEST_GUILESS_MAIN(TestSimError)
#include "tst_simerror.moc"
