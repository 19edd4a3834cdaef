// S-parameters from real ngspice runs of circuits whose answer is known in
// closed form, goal expressions, and the engine's recovery after a bad netlist.

#include "ngspiceengine.h"
#include "simcircuit.h"

#include <QTest>

#include <cmath>
#include <numbers>

namespace {

SimDesign twoPort(const QString &circuit, double z1 = 50, double z2 = 50)
{
    const QByteArray json = QStringLiteral(R"j({
      "circuit": [%1],
      "analysis": {"sweep": "dec", "start": "1 MHz", "stop": "1 GHz", "points": 2,
                   "ports": [{"node": "in", "z0": %2}, {"node": "out", "z0": %3}]},
      "variables": [{"netlistName": "RX", "value": "1"}],
      "goals": [{"name": "G", "expression": "dB(S21)", "limits": [{"type": "EqualTo", "value": 0}]}],
      "algorithm": {"type": 2, "maxIterations": 1}
    })j").arg(circuit).arg(z1).arg(z2).toUtf8();
    SimDesign d;
    QString error;
    if (!SimDesign::fromJson(json, d, &error))
        qFatal("%s", qPrintable(error));
    return d;
}

QList<SimExpression> parsed(const QStringList &texts)
{
    QList<SimExpression> list;
    for (const QString &t : texts) {
        SimExpression e;
        if (!SimExpression::parse(t, e))
            qFatal("bad expression %s", qPrintable(t));
        list.append(e);
    }
    return list;
}

bool near(std::complex<double> a, std::complex<double> b, double tolerance = 1e-6)
{
    return std::abs(a - b) <= tolerance;
}

}  // namespace

class TestSimCircuit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QString error;
        QVERIFY2(NgspiceEngine::instance().initialize(&error), qPrintable(error));
    }

    // Resistive networks between the ports, RX = 300 Ohm. Series R: S21 =
    // 2 Z0 / (2 Z0 + R); shunt Y: S21 = 2 / (2 + Y Z0); a through from 50 to 75
    // Ohm: S11 = (Z2 - Z1)/(Z1 + Z2). S22 and S12 come from the reverse run,
    // made only when an expression asks for them.
    void knownNetworks_data()
    {
        QTest::addColumn<QString>("circuit");
        QTest::addColumn<double>("z2");
        QTest::addColumn<QList<double>>("s");  // S11, S21[, S22, S12]
        const double through = 2 * std::sqrt(50.0 * 75.0) / 125.0;
        QTest::newRow("series 50 Ohm") << R"j("R1 in out 50")j" << 50.0 << QList<double>{1.0 / 3, 2.0 / 3};
        QTest::newRow("shunt 25 Ohm") << R"j("R1 in 0 25", "Vthrough in out DC 0")j" << 50.0 << QList<double>{-0.5, 0.5};
        QTest::newRow("series then shunt") << R"j("R1 in out 50", "R2 out 0 50")j" << 50.0
                                           << QList<double>{0.2, 0.4, -0.2, 0.4};
        QTest::newRow("50 to 75 Ohm") << R"j("Vthrough in out DC 0")j" << 75.0 << QList<double>{0.2, through, -0.2, through};
        QTest::newRow("parameter") << R"j("R1 in out {RX}")j" << 50.0 << QList<double>{0.75, 0.25};
    }

    void knownNetworks()
    {
        QFETCH(QString, circuit);
        QFETCH(double, z2);
        QFETCH(QList<double>, s);
        const SimDesign d = twoPort(circuit, 50, z2);
        SimCircuit sim(d);
        SimResponse r;
        QString error;
        const bool reverse = s.size() > 2;
        QVERIFY2(sim.simulate({{"RX", 300.0}}, parsed({reverse ? "S12" : "dB(S21)"}), r, &error), qPrintable(error));
        QCOMPARE(sim.simulationCount(), 1);
        QCOMPARE(r.frequency.size(), size_t(7));  // 2 points per decade over three decades
        QCOMPARE(r.frequency.back(), 1e9);
        QCOMPARE(r.s[1][1].empty(), !reverse);
        for (size_t i = 0; i < r.frequency.size(); ++i) {
            QVERIFY(near(r.s[0][0][i], s[0]) && near(r.s[1][0][i], s[1]));
            if (reverse)
                QVERIFY(near(r.s[1][1][i], s[2]) && near(r.s[0][1][i], s[3]));
        }
    }

    void capacitorPhase()
    {
        // A series capacitor: S21 = 2 Z0 / (2 Z0 + 1/(j w C)); at w C 2 Z0 = 1 the phase is +45 degrees.
        const double f = 1.0 / (2 * std::numbers::pi * 1e-9 * 100.0);
        const QByteArray json = QStringLiteral(R"j({
          "circuit": ["C1 in out 1e-09"],
          "analysis": {"start": %1, "stop": %2, "points": 2, "ports": [{"node": "in"}, {"node": "out"}]},
          "variables": [{"netlistName": "RX", "value": "1"}],
          "goals": [{"name": "G", "expression": "phase(S21)", "limits": [{"type": "EqualTo", "value": 45}]}],
          "algorithm": {"type": 2, "maxIterations": 1}
        })j").arg(f, 0, 'g', 17).arg(2 * f, 0, 'g', 17).toUtf8();
        SimDesign d;
        QVERIFY(SimDesign::fromJson(json, d, nullptr));
        SimCircuit sim(d);
        SimResponse r;
        QVERIFY(sim.simulate({}, {}, r, nullptr));
        const QList<SimExpression> e = parsed({"phase(S21)", "dB(S21)"});
        QVERIFY(std::fabs(e[0].apply(r.s[1][0][0]) - 45.0) < 1e-6);
        QVERIFY(std::fabs(e[1].apply(r.s[1][0][0]) + 10 * std::log10(2.0)) < 1e-6);
    }

    void nodeVoltage()
    {
        const SimDesign d = twoPort(R"j("R1 in mid 25", "R2 mid out 25")j");
        SimCircuit circuit(d);
        SimResponse r;
        const QList<SimExpression> e = parsed({"mag(V(mid))"});
        QVERIFY(circuit.simulate({}, e, r, nullptr));
        const auto *v = r.quantity(e.first());
        QVERIFY(v);
        QVERIFY(near((*v)[0], 1.0));  // 2 V across 150 Ohm in all, 75 of them below mid
    }

    void expressions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("canonical");
        QTest::addColumn<double>("value");  // applied to 0.6 + 0.8j
        QTest::newRow("dB") << "dB(S21)" << true << "dB(S21)" << 0.0;
        QTest::newRow("case") << "DB(s11)" << true << "dB(S11)" << 0.0;
        QTest::newRow("mag") << "mag(S22)" << true << "mag(S22)" << 1.0;
        QTest::newRow("bare") << "S12" << true << "mag(S12)" << 1.0;
        QTest::newRow("long form") << "re( S(2, 1) )" << true << "re(S21)" << 0.6;
        QTest::newRow("imag") << "imag(S11)" << true << "im(S11)" << 0.8;
        QTest::newRow("phase") << "phase(S21)" << true << "phase(S21)" << std::atan2(0.8, 0.6) * 180 / std::numbers::pi;
        QTest::newRow("voltage") << "dB(V(Out))" << true << "dB(V(out))" << 0.0;
        QTest::newRow("S31") << "dB(S31)" << false << "" << 0.0;
        QTest::newRow("function") << "gain(S21)" << false << "" << 0.0;
        QTest::newRow("empty") << "" << false << "" << 0.0;
    }

    void expressions()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QString, canonical);
        QFETCH(double, value);
        SimExpression e;
        QString error;
        QCOMPARE(SimExpression::parse(text, e, &error), ok);
        if (!ok) {
            QVERIFY(error.contains(QStringLiteral("unknown expression")));
            return;
        }
        QCOMPARE(e.text(), canonical);
        QVERIFY(std::fabs(e.apply({0.6, 0.8}) - value) < 1e-12);
        if (canonical.startsWith("dB"))
            QCOMPARE(e.apply(0.0), -400.0); // zero is a floor, not minus infinity
    }

    // A netlist ngspice refuses reloads the engine, which then runs the next one; a node
    // that is not in the netlist is an error that names it.
    void recoversAfterABadNetlist()
    {
        NgspiceEngine &engine = NgspiceEngine::instance();
        const qint64 reloads = engine.reloadCount();
        SimAcResult result;
        QString error;
        const QStringList bad{"bad", "V1 a 0 AC 1", "R1 a 0 {UNDEFINED}", ".ac lin 2 1 2", ".end"};
        QVERIFY(!engine.runAc(bad, {"a"}, result, &error));
        QVERIFY2(error.contains("netlist"), qPrintable(error));
        const SimDesign d = twoPort(R"j("R1 in out 50")j"); // the circuit keeps a reference
        SimCircuit circuit(d);
        SimResponse r;
        QVERIFY2(circuit.simulate({}, {}, r, &error), qPrintable(error));
        QVERIFY(near(r.s[1][0][0], 2.0 / 3.0));
        QCOMPARE(engine.reloadCount(), reloads + 1);
        const QStringList netlist{"t", "V1 a 0 AC 1", "R1 a 0 50", ".ac lin 2 1 2", ".end"};
        QVERIFY(!engine.runAc(netlist, {"nosuchnode"}, result, &error));
        QVERIFY2(error.contains("nosuchnode"), qPrintable(error));
        QVERIFY(engine.runAc(netlist, {"a"}, result, &error));
    }
};

QTEST_GUILESS_MAIN(TestSimCircuit)
#include "tst_simcircuit.moc"
