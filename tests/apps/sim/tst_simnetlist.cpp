// What of the netlist text ngspice could misread: numbers without suffixes,
// list variables as their list values. (Every simulation test runs the rest.)

#include "simdesign.h"
#include "simnetlist.h"
#include "simvariables.h"

#include <QTest>

namespace {

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
    void numbersArePlain()
    {
        // No engineering suffix reaches ngspice (its "M" would be milli).
        SimDesign d;
        QVERIFY(SimDesign::fromJson(kTwoPort, d, nullptr));
        const QStringList lines = simnetlist::build(d, {{"A", 4.7e-12}, {"B", 2.2e6}, {"C", 1.0 / 3.0}}, d.analyses.at(0));
        QCOMPARE(lines.mid(1, 3), (QStringList{".param A=4.7e-12", ".param B=2200000", ".param C=0.333333333333"}));
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
        const QStringList lines = simnetlist::build(d, vars.parameterValues(vars.values()), d.analyses.at(0));
        QCOMPARE(lines.mid(1, 5), (QStringList{".param C1=4.7e-12", ".param L2=3.3e-09", ".param C3=8e-12", ".param L4=3.3e-09",
                                               ".param C5=4.7e-12"}));
    }
};

QTEST_GUILESS_MAIN(TestSimNetlist)
#include "tst_simnetlist.moc"
