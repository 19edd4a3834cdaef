// The netlist text ngspice gets, byte for byte.

#include "simdesign.h"
#include "simnetlist.h"
#include "simvariables.h"

#include <QTest>

namespace {

SimDesign design(const QByteArray &json)
{
    SimDesign d;
    QString error;
    if (!SimDesign::fromJson(json, d, &error))
        qFatal("%s", qPrintable(error));
    return d;
}

const QByteArray kTwoPort = R"j({
  "title": "Pi attenuator",
  "circuit": ["R1 in 0 {RSH}", "R2 in out {RSE}", "R3 out 0 {RSH}"],
  "parameters": {"RSH": "96.25 Ohm"},
  "analysis": {"sweep": "dec", "start": "1 MHz", "stop": "1 GHz", "points": 5,
               "ports": [{"node": "in", "z0": 50}, {"node": "out", "z0": 75}]},
  "variables": [{"netlistName": "RSE", "value": "71.15 Ohm", "unit": "Ohm"}],
  "goals": [{"name": "G", "expression": "dB(S21)", "limits": [{"type": "EqualTo", "value": -10}]}],
  "algorithm": {"type": 2, "maxIterations": 10}
})j";

}  // namespace

class TestSimNetlist : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void forwardRun()
    {
        const SimDesign d = design(kTwoPort);
        SimParameterValues values = simnetlist::numericParameters(d.parameters);
        values.append({QStringLiteral("RSE"), 71.15});
        const QStringList expected{
            QStringLiteral("Pi attenuator"),
            QStringLiteral(".param RSH=96.25"),
            QStringLiteral(".param RSE=71.15"),
            QStringLiteral("R1 in 0 {RSH}"),
            QStringLiteral("R2 in out {RSE}"),
            QStringLiteral("R3 out 0 {RSH}"),
            QStringLiteral("* helmdeck-sim test bench: port 1 driven"),
            QStringLiteral("Vhd_drive hd_drive 0 DC 0 AC 2"),
            QStringLiteral("Rhd_port1 hd_drive in 50"),
            QStringLiteral("Rhd_port2 out 0 75"),
            QStringLiteral(".ac dec 5 1000000 1000000000"),
            QStringLiteral(".end"),
        };
        QCOMPARE(simnetlist::build(d, values, 0), expected);
    }

    void reverseRun()
    {
        const SimDesign d = design(kTwoPort);
        const QStringList lines = simnetlist::build(d, {}, 1);
        QCOMPARE(lines.at(1), QStringLiteral("R1 in 0 {RSH}"));
        QCOMPARE(lines.mid(lines.size() - 6, 4),
                 (QStringList{QStringLiteral("* helmdeck-sim test bench: port 2 driven"),
                              QStringLiteral("Vhd_drive hd_drive 0 DC 0 AC 2"),
                              QStringLiteral("Rhd_port1 in 0 50"),
                              QStringLiteral("Rhd_port2 hd_drive out 75")}));
    }

    void numbersArePlain()
    {
        // No engineering suffix reaches ngspice (its "M" would be milli).
        const SimDesign d = design(kTwoPort);
        const QStringList lines = simnetlist::build(
            d, {{QStringLiteral("A"), 4.7e-12}, {QStringLiteral("B"), 2.2e6}, {QStringLiteral("C"), 1.0 / 3.0}}, 0);
        QCOMPARE(lines.at(1), QStringLiteral(".param A=4.7e-12"));
        QCOMPARE(lines.at(2), QStringLiteral(".param B=2200000"));
        QCOMPARE(lines.at(3), QStringLiteral(".param C=0.333333333333"));
    }

    void valueListVariablesGetTheirListValue()
    {
        SimDesign d;
        QVERIFY(SimDesign::load(QStringLiteral(SIM_EXAMPLES_DIR "/lowpass-discrete.json"), d, nullptr));
        SimVariables vars;
        QHash<QString, QStringList> lists;
        for (const OptimVarInput &v : d.input.variables())
            lists.insert(v.netlistName(), v.designValues());
        vars.setValueLists(lists);
        vars.setDefinitions(d.input.variables());
        const QStringList lines = simnetlist::build(d, vars.parameterValues(vars.values()), 0);
        QCOMPARE(lines.mid(1, 5), (QStringList{QStringLiteral(".param C1=4.7e-12"), QStringLiteral(".param L2=3.3e-09"),
                                               QStringLiteral(".param C3=8e-12"), QStringLiteral(".param L4=3.3e-09"),
                                               QStringLiteral(".param C5=4.7e-12")}));
    }

    void onePortAndUntitled()
    {
        const SimDesign d = design(R"j({
          "circuit": ["R1 in 0 {R1}"],
          "analysis": {"start": 1e6, "stop": 2e6, "points": 2, "ports": [{"node": "in"}]},
          "variables": [{"netlistName": "R1", "value": "50"}],
          "goals": [{"name": "G", "expression": "mag(S11)", "limits": [{"type": "LessThan", "value": 0.1}]}],
          "algorithm": {"type": 2, "maxIterations": 1}
        })j");
        const QStringList lines = simnetlist::build(d, {{QStringLiteral("R1"), 50}}, 0);
        QCOMPARE(lines.first(), QStringLiteral("helmdeck-sim circuit"));
        QCOMPARE(lines.mid(3), (QStringList{QStringLiteral("* helmdeck-sim test bench: port 1 driven"),
                                            QStringLiteral("Vhd_drive hd_drive 0 DC 0 AC 2"),
                                            QStringLiteral("Rhd_port1 hd_drive in 50"),
                                            QStringLiteral(".ac lin 2 1000000 2000000"), QStringLiteral(".end")}));
    }
};

QTEST_GUILESS_MAIN(TestSimNetlist)
#include "tst_simnetlist.moc"
