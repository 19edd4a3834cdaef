// S-parameters, operating points, sweeps, transients and noise from real
// ngspice runs of circuits whose answer is known in closed form, goal
// expressions, and the engine's recovery after a bad netlist.

#include "ngspiceengine.h"
#include "simcircuit.h"
#include "simerror.h"

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

// What goals with these expressions over the design's first analysis ask for.
QList<SimProbe> probes(const SimDesign &d, const QStringList &texts)
{
    OptimItemList<OptimGoalInput> goals;
    for (const QString &t : texts) {
        OptimGoalInput g;
        g.setName(t);
        g.setExpression(t);
        goals.append(g);
    }
    return SimErrorFunction(goals, d.analyses, SimErrorForm::LeastSquares).probes();
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
        const QStringList names{"re(S11)", "re(S21)", "re(S22)", "re(S12)"};
        QVERIFY2(sim.simulate({{"RX", 300.0}}, probes(d, names.mid(0, s.size())), r, &error), qPrintable(error));
        QCOMPARE(sim.simulationCount(), 1);
        QCOMPARE(NgspiceEngine::instance().runCount() > 0, true);
        for (qsizetype k = 0; k < s.size(); ++k) {
            const SimTrace &t = r.traces[size_t(k)];
            QVERIFY(t.ok && !t.scalar);
            QCOMPARE(t.x.size(), size_t(7));  // 2 points per decade over three decades
            QCOMPARE(t.x.back(), 1e9);
            for (const double y : t.y)
                QVERIFY2(near(y, s.at(k)), qPrintable(names.at(k)));
        }
        QCOMPARE(reverse, s.size() == 4);
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
        QVERIFY(sim.simulate({}, probes(d, {"phase(S21)", "dB(S21)"}), r, nullptr));
        QVERIFY(std::fabs(r.traces[0].y[0] - 45.0) < 1e-6);
        QVERIFY(std::fabs(r.traces[1].y[0] + 10 * std::log10(2.0)) < 1e-6);
    }

    void nodeVoltage()
    {
        const SimDesign d = twoPort(R"j("R1 in mid 25", "R2 mid out 25")j");
        SimCircuit circuit(d);
        SimResponse r;
        // The bench form and ngspice's own expression over the same run.
        QVERIFY(circuit.simulate({}, probes(d, {"mag(V(mid))", "v(mid)/v(out)"}), r, nullptr));
        QVERIFY(near(r.traces[0].y[0], 1.0));  // 2 V across 150 Ohm in all, 75 of them below mid
        QVERIFY(near(r.traces[1].y[0], 1.5));
    }

    // Closed forms through the analyses and ngspice's own expressions and
    // measurements (RC = 1 ms, fc = 1/(2 pi RC) = 159.155 Hz at 1 uF and 1 kOhm).
    void closedForms_data()
    {
        QTest::addColumn<QString>("circuit");
        QTest::addColumn<QString>("analysis");
        QTest::addColumn<QString>("expression");
        QTest::addColumn<double>("expected");  // NaN: no value
        QTest::addColumn<double>("tolerance");  // relative; for no value: whether ngspice refused the expression
        const QString rc = R"j("V1 in 0 DC 0 AC 1 PULSE(0 1 0 1n 1n 1 2)", "R1 in out 1k", "C1 out 0 1u")j";
        const QString divider = R"j("V1 in 0 DC 10", "R1 in out 3k", "R2 out 0 1k")j";
        const QString tran = R"j({"type": "tran", "step": "2 us", "stop": "3 ms"})j";
        const QString ac = R"j({"type": "ac", "sweep": "dec", "start": 1, "stop": "1 MHz", "points": 100})j";
        const double nan = std::nan("");
        QTest::newRow("RC step at t = RC") << rc << tran << "meas FIND v(out) AT=1m" << 1 - std::exp(-1.0) << 0.005;
        QTest::newRow("RC 10-90 rise") << rc << tran << "meas TRIG v(out) VAL=0.1 RISE=1 TARG v(out) VAL=0.9 RISE=1"
                                       << 1e-3 * std::log(9.0) << 0.005;
        QTest::newRow("divider node") << divider << R"j({"type": "op"})j" << "v(out)" << 2.5 << 1e-9;
        QTest::newRow("divider bias current") << divider << R"j({"type": "op"})j" << "-i(v1)" << 2.5e-3 << 1e-9;
        QTest::newRow("divider power") << divider << R"j({"type": "op"})j" << "-v(in)*i(v1)" << 25e-3 << 1e-9;
        QTest::newRow("divider dc slope") << divider << R"j({"type": "dc", "source": "V1", "start": 0, "stop": 5, "step": 1})j"
                                          << "deriv(v(out))" << 0.25 << 1e-9;
        QTest::newRow("RC -3 dB bandwidth") << rc << ac << "meas WHEN vdb(out)=-3.0103" << 1e3 / (2 * std::numbers::pi) << 0.01;
        QTest::newRow("resistor noise") << R"j("V1 in 0 DC 0 AC 1", "R1 in out 10k")j"
                                        << R"j({"type": "noise", "output": "out", "source": "V1", "start": 1, "stop": "1 MHz", "points": 2})j"
                                        << "onoise_spectrum" << std::sqrt(4 * 1.380649e-23 * 300.15 * 10e3) << 0.01;
        QTest::newRow("event never happens") << rc << tran << "meas WHEN v(out)=5" << nan << 0.0;
        QTest::newRow("unknown function") << rc << tran << "foo(v(out))" << nan << 1.0;
        QTest::newRow("unknown vector") << rc << R"j({"type": "op"})j" << "i(vnone)" << nan << 1.0;
    }

    void closedForms()
    {
        QFETCH(QString, circuit);
        QFETCH(QString, analysis);
        QFETCH(QString, expression);
        QFETCH(double, expected);
        QFETCH(double, tolerance);
        const QByteArray json = QStringLiteral(R"j({"circuit": [%1], "analysis": %2, "variables": [{"netlistName": "RX", "value": "1"}],
          "goals": [{"name": "G", "expression": "v(out)", "limits": [{"type": "EqualTo", "value": 0}]}],
          "algorithm": {"type": 2, "maxIterations": 1}})j").arg(circuit, analysis).toUtf8();
        SimDesign d;
        QString error;
        QVERIFY2(SimDesign::fromJson(json, d, &error), qPrintable(error));
        SimCircuit sim(d);
        SimResponse r;
        QVERIFY2(sim.simulate({}, probes(d, {expression}), r, &error), qPrintable(error));
        const SimTrace &t = r.traces[0];
        if (std::isnan(expected)) {
            QVERIFY(!t.ok && t.y.empty());
            QVERIFY2(t.problem.startsWith("ngspice: "), qPrintable(t.problem));
            QCOMPARE(t.rejected, tolerance > 0);
            return;
        }
        QVERIFY2(t.ok, qPrintable(t.problem));
        QCOMPARE(t.scalar, d.analyses.at(0).type == SimAnalysis::Op || expression.startsWith("meas"));
        QVERIFY(t.scalar ? t.x.empty() : t.x.size() == t.y.size());
        for (const double y : t.y)
            QVERIFY2(std::fabs(y - expected) <= tolerance * std::fabs(expected), qPrintable(QString::number(y, 'g', 10)));
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

    // A netlist ngspice refuses reloads the engine, which then runs the next
    // one; the message names the user's own line, not the simulator's netlist.
    void recoversAfterABadNetlist()
    {
        NgspiceEngine &engine = NgspiceEngine::instance();
        const qint64 reloads = engine.reloadCount();
        SimDesign bad = twoPort(R"j("R1 in out {c1x}")j");
        bad.circuitPlaces = QStringList{"lowpass.cir:12"};
        SimCircuit badCircuit(bad);
        SimResponse r;
        QString error;
        QVERIFY(!badCircuit.simulate({}, probes(bad, {"dB(S21)"}), r, &error));
        QCOMPARE(error, QStringLiteral("ngspice did not accept the netlist: lowpass.cir:12: undefined parameter c1x; "
                                       "cannot compute substitute"));
        const SimDesign d = twoPort(R"j("R1 in out 50")j"); // the circuit keeps a reference
        SimCircuit circuit(d);
        QVERIFY2(circuit.simulate({}, probes(d, {"re(S21)"}), r, &error), qPrintable(error));
        QVERIFY(near(r.traces[0].y[0], 2.0 / 3.0));
        QCOMPARE(engine.reloadCount(), reloads + 1);
        // A simulation ngspice gives up on (it answers without an error code) fails with its words.
        SimDesign loop = twoPort(R"j("V1 a 0 1", "V2 a 0 2", "R1 in out 50")j");
        loop.analyses[0].type = SimAnalysis::Op;
        QVERIFY(!SimCircuit(loop).simulate({}, probes(loop, {"v(a)"}), r, &error));
        QVERIFY2(error.startsWith("the ngspice analysis SP1 produced no result: singular matrix"), qPrintable(error));
    }

    void placedMessages()
    {
        const QStringList places{"title", "parameter C1", "circuit[0]"};
        QCOMPARE(SimCircuit::placedMessages({"Netlist line no. 3:", "Undefined parameter [c1x]", "Netlist line no. 9:",
                                             "Error: unknown subckt", "Error: ngspice.dll cannot recover and awaits to be detached"},
                                            places),
                 QStringLiteral("circuit[0]: undefined parameter c1x; netlist line 9: unknown subckt"));
    }
};

QTEST_GUILESS_MAIN(TestSimCircuit)
#include "tst_simcircuit.moc"
