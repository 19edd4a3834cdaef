// The error function on traces made up for the test: violations of every
// limit type, ranges, weights, the three error forms and their goal shares.

#include "simerror.h"

#include <QTest>

#include <cmath>

namespace {

// A response whose S21 in dB is given per frequency point.
SimResponse response(const QList<double> &freqs, const QList<double> &s21dB)
{
    SimResponse r;
    for (qsizetype i = 0; i < freqs.size(); ++i) {
        r.frequency.push_back(freqs.at(i));
        r.s[1][0].push_back(std::pow(10.0, s21dB.at(i) / 20.0));
        r.s[0][0].push_back(0.1);  // -20 dB
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
        const SimResponse r = response({1e9, 2e9, 3e9, 4e9}, {-1, -2, -3, -4});
        // Passband up to 2.5 GHz > -1.5 dB: violations 0, 0.5 -> mean square 0.125, limit weight 2.
        // Stopband from 3 GHz (open above) < -3.5 dB: violations 0.5, 0 -> 0.125. S11 is -20 dB everywhere; < -10 is met.
        const OptimItemList<OptimGoalInput> goals{goal("dB(S21)", {limit(LimitGreaterThan, "-1.5", {}, "0", "2.5e9", "2")}, "3"),
                                                  goal("dB(S21)", {limit(LimitLessThan, "-3.5", {}, "3e9")}),
                                                  goal("dB(S11)", {limit(LimitLessThan, "-10")})};
        const SimErrorFunction f(goals, "SP1", SimErrorForm::LeastSquares);
        QVERIFY(f.problems().isEmpty());
        const SimErrorResult e = f.evaluate(r);
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
        const SimResponse r = response({1e9, 2e9}, {-2, -4});
        const OptimItemList<OptimGoalInput> goals{goal("dB(S21)", {limit(LimitGreaterThan, "-1")}),     // 1, 3
                                                  goal("dB(S21)", {limit(LimitLessThan, "-3")}, "2")};  // 1, 0
        const SimErrorResult mm = SimErrorFunction(goals, "SP1", SimErrorForm::Minimax).evaluate(r);
        QVERIFY(close(mm.total, 3.0));
        QVERIFY(close(mm.goals.at(0).contribution, 3.0));
        QVERIFY(close(mm.goals.at(1).contribution, 2.0));
        const SimErrorResult p = SimErrorFunction(goals, "SP1", SimErrorForm::LeastPth).evaluate(r);
        const double s0 = (1.0 + 81.0) / 2;  // mean of v^4
        const double s1 = 2 * (1.0 + 0.0) / 2;
        QVERIFY(close(p.total, std::pow(s0 + s1, 0.25)));
        QVERIFY(close(p.goals.at(0).contribution + p.goals.at(1).contribution, p.total));
        QVERIFY(close(p.goals.at(0).value, std::pow(s0, 0.25)));
        // Met goals give zero in every form; an empty weight counts as 1, a negative one as 0.
        const OptimItemList<OptimGoalInput> met{goal("dB(S21)", {limit(LimitInside, "-1", "0")})};
        for (SimErrorForm form : {SimErrorForm::LeastSquares, SimErrorForm::Minimax, SimErrorForm::LeastPth})
            QCOMPARE(SimErrorFunction(met, "SP1", form).evaluate(response({1e9, 2e9}, {-0.1, -0.2})).total, 0.0);
        const OptimItemList<OptimGoalInput> weighted{goal("dB(S21)", {limit(LimitGreaterThan, "-1")}, QString()),
                                                     goal("dB(S21)", {limit(LimitGreaterThan, "-1")}, "-4")};
        const SimErrorResult e = SimErrorFunction(weighted, "SP1", SimErrorForm::LeastSquares).evaluate(response({1e9}, {-2}));
        QVERIFY(close(e.goals.at(0).contribution, 1.0));
        QVERIFY(close(e.goals.at(1).contribution, 0.0));
    }

    void invalidGoalsAreReportedNotCounted()
    {
        const SimResponse r = response({1e9}, {-2});
        OptimGoalInput other = goal("dB(S21)", {limit(LimitGreaterThan, "-1")});
        other.setSimInstanceName("HB1");
        const OptimItemList<OptimGoalInput> goals{goal("gain(S21)", {limit(LimitGreaterThan, "-1")}), other,
                                                  goal("dB(S22)", {limit(LimitGreaterThan, "-1")})};  // S22 not simulated here
        const SimErrorFunction f(goals, "SP1", SimErrorForm::LeastSquares);
        QCOMPARE(f.problems().size(), 2);
        QVERIFY(f.problems().at(1).contains(QStringLiteral("unknown analysis \"HB1\"")));
        const SimErrorResult e = f.evaluate(r);
        QCOMPARE(e.total, 0.0);
        for (const SimGoalResult &g : e.goals) {
            QVERIFY(!g.valid);
            QVERIFY(!g.problem.isEmpty());
            QCOMPARE(g.limitWorst.size(), 1);
        }
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
        QTest::newRow("range above the sweep") << sweep << "5e9" << "6e9" << "outside the sweep" << "";
        QTest::newRow("range below the sweep") << sweep << "1e6" << "2e6" << "outside the sweep" << "";
        QTest::newRow("range between two points") << sweep << "1.2e9" << "1.8e9" << "" << "no simulated point";
        QTest::newRow("no points at all") << QList<double>{} << "" << "" << "" << "dB(S21) was not simulated";
    }

    void goalsThatSeeNoData()
    {
        QFETCH(QList<double>, freqs);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, definitionProblem);
        QFETCH(QString, evaluationProblem);
        const SimErrorFunction f({goal("dB(S21)", {limit(LimitGreaterThan, "-100", {}, from, to)})}, "SP1", SimErrorForm::LeastSquares, 1e9, 3e9);
        QCOMPARE(f.validGoalCount(), definitionProblem.isEmpty() ? 1 : 0);
        QCOMPARE(f.problems().join(QString()).contains(definitionProblem), true);
        QCOMPARE(f.problems().isEmpty(), definitionProblem.isEmpty());
        const SimErrorResult e = f.evaluate(response(freqs, QList<double>(freqs.size(), -1.0)));
        QCOMPARE(e.problems.isEmpty(), evaluationProblem.isEmpty());
        QVERIFY(e.problems.join(QString()).contains(evaluationProblem));
        QVERIFY(!e.goals.at(0).valid);
    }
};

QTEST_GUILESS_MAIN(TestSimError)
#include "tst_simerror.moc"
