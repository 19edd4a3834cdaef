// The design file: the bundled examples read into the records the helmdeck
// gets, and every kind of mistake is refused with a message that names the
// place.

#include "simdesign.h"
#include "simnetlist.h"
#include "exampledesign.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A minimal valid design to break in one place per test row.
QJsonObject minimal()
{
    return QJsonDocument::fromJson(R"j({
      "circuit": ["R1 in out {R1}"],
      "analysis": {"start": "1 MHz", "stop": "10 MHz", "points": 3,
                   "ports": [{"node": "in", "z0": 50}, {"node": "out"}]},
      "variables": [{"netlistName": "R1", "value": "50 Ohm", "unit": "Ohm",
                     "constraint": {"type": 1, "params": ["10 Ohm", "100 Ohm"]}}],
      "goals": [{"name": "G1", "expression": "dB(S21)",
                 "limits": [{"type": "GreaterThan", "value": -1}]}],
      "algorithm": {"type": 2, "maxIterations": 10}
    })j").object();
}

}  // namespace

class TestSimDesign : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lowpass()
    {
        const SimDesign d = loadExampleDesign("lowpass.json");
        QCOMPARE(d.analyses.size(), 1);
        QCOMPARE(d.analyses.at(0).points, 150);
        QVERIFY(!d.isMultiOpt());
        const OptimModelInput m = d.modelInput(0);
        const OptimVarInput &c1 = m.variables().at(0);
        QCOMPARE(c1.unit(), QStringLiteral("F"));
        QVERIFY(c1.optimize() && c1.optimizeFlagSet());
        const OptimGoalInput &pass = m.goals().at(0);
        QCOMPARE(pass.simInstanceName(), QStringLiteral("SP1"));
        QCOMPARE(pass.indepVarNames(), QStringList{QStringLiteral("freq")});
        const OptimGoalLimitInput &limit = pass.limits().at(0);
        QVERIFY(limit.firstValueValid());
        // Range bounds travel as plain numbers in Hz: the helmdeck parses them as doubles.
        QCOMPARE(limit.ranges().at(0).lowerBound(), QStringLiteral("10000000"));
        QCOMPARE(limit.ranges().at(0).upperBound(), QStringLiteral("800000000"));
    }

    // Goals take their analysis' independent variable; ranges are read in its unit.
    void analyses()
    {
        SimDesign d;
        QString error;
        QVERIFY2(SimDesign::fromJson(R"j({"circuit": ["R1 in out {R1}"],
          "analyses": [{"name": "TR", "type": "tran", "step": "1 us", "stop": "2 ms"}, {"name": "OP", "type": "op"},
                       {"name": "DC", "type": "dc", "source": "Vin", "start": 0, "stop": "5 V", "step": "0.1 V"}],
          "variables": [{"netlistName": "R1", "value": "50"}],
          "goals": [{"name": "T", "expression": "v(out)", "limits": [{"type": "LessThan", "value": 1, "range": ["1 ms", null]}]},
                    {"name": "I", "expression": "i(vdd)", "simInstanceName": "op", "limits": [{"type": "LessThan", "value": 1}]},
                    {"name": "M", "expression": "meas MAX v(out)", "simInstanceName": "TR", "limits": [{"type": "LessThan", "value": 1}]},
                    {"name": "D", "expression": "deriv(v(out))", "simInstanceName": "DC", "limits": [{"type": "LessThan", "value": 1, "range": ["2 V", "3 V"]}]}],
          "algorithm": {"type": 2, "maxIterations": 1}})j", d, &error), qPrintable(error));
        const auto &goals = d.input.goals();
        QCOMPARE(d.analyses.size(), 3);
        QCOMPARE(simnetlist::analysisLine(d.analyses.at(0)), QStringLiteral(".tran 1e-06 0.002"));
        QCOMPARE(simnetlist::analysisLine(d.analyses.at(2)), QStringLiteral(".dc Vin 0 5 0.1"));
        QCOMPARE(goals.at(0).simInstanceName(), QStringLiteral("TR"));  // the first analysis
        QCOMPARE(goals.at(0).indepVarNames(), QStringList{QStringLiteral("time")});
        QCOMPARE(goals.at(0).indepVarUnits(), QStringList{QStringLiteral("s")});
        QCOMPARE(goals.at(0).limits().at(0).ranges().at(0).lowerBound(), QStringLiteral("0.001"));
        QCOMPARE(goals.at(1).simInstanceName(), QStringLiteral("OP"));
        QVERIFY(goals.at(1).indepVarNames().isEmpty() && goals.at(2).indepVarNames().isEmpty());  // scalars
        QCOMPARE(goals.at(3).indepVarNames(), QStringList{QStringLiteral("vin")});
        QCOMPARE(goals.at(3).limits().at(0).ranges().at(0).upperBound(), QStringLiteral("3"));
    }

    void discreteValueLists()
    {
        const SimDesign d = loadExampleDesign("lowpass-discrete.json");
        const OptimVarInput &c1 = d.input.variables().at(0);
        QCOMPARE(c1.constraintType(), 2);
        QCOMPARE(c1.value(), QStringLiteral("8"));  // a position in the list
        QCOMPARE(c1.designValues().size(), 14);
        QCOMPARE(c1.designValues().at(8), QStringLiteral("4.7 pF"));
        const OptimVarInput &c3 = d.input.variables().at(2);
        QVERIFY(c3.designValues().isEmpty());
        QCOMPARE(c3.param3(), QStringLiteral("0.5 pF"));
        QCOMPARE(d.input.algorithm().algorithmType(), 10);
    }

    // The optimizations' names and algorithms reach the helmdeck in the process test.
    void sweep()
    {
        const SimDesign d = loadExampleDesign("lowpass-sweep.json");
        QCOMPARE(d.optimizationCount(), 2);
        QCOMPARE(d.modelInput(1).algorithm().maxIterations(), QStringLiteral("80"));
        QCOMPARE(d.parametersFor(0), (SimParameters{{QStringLiteral("CPAR"), QStringLiteral("0.01 pF")}}));
        QCOMPARE(d.parametersFor(1), (SimParameters{{QStringLiteral("CPAR"), QStringLiteral("1 pF")}}));
    }

    void refused_data()
    {
        QTest::addColumn<QString>("path");  // "a.b" or "a[0].b"; an empty value deletes
        QTest::addColumn<QString>("json");  // the replacement, as JSON text
        QTest::addColumn<QString>("message");
        QTest::newRow("valid") << "" << "" << "";
        QTest::newRow("no circuit") << "circuit" << "[]" << "circuit: missing or empty";
        QTest::newRow(".end in circuit") << "circuit" << R"j(["R1 in out {R1}", ".end"])j" << "circuit[1]: .end is not allowed";
        QTest::newRow(".control in an entry") << "circuit" << R"j(["R1 in out {R1}\n.control\nshell id\n.endc"])j"
                                              << "circuit[0]: an entry is one line";
        QTest::newRow(".control in the text") << "circuit" << R"j("R1 in out {R1}\r\n  .CONTROL")j" << "circuit[1]: .control";
        QTest::newRow(".include") << "circuit" << R"j([".include /etc/shadow"])j" << "circuit[0]: .include is not allowed";
        QTest::newRow(".lib") << "circuit" << R"j([" .lib /etc/models.lib tt"])j" << "circuit[0]: .lib is not allowed";
        QTest::newRow("another analysis") << "circuit" << R"j([".tran 1n 1u"])j" << "circuit[0]: .tran";
        QTest::newRow("code model") << "circuit" << R"j(["a1 %v(in) filesrc"])j" << "circuit[0]: XSPICE";
        QTest::newRow("+.control") << "circuit" << R"j(["R1 in out", "+.control"])j" << "circuit[1]: .control is not allowed";
        QTest::newRow("continued after a comment") << "circuit" << R"j(["R1 in out", "* value:", "+ {R1}", "+.5k"])j" << "";
        QTest::newRow("allowed dot-commands") << "circuit" << R"j(["R1 in out {R1}", ".param k=2", ".model d1 d", ".option temp=30"])j" << "";
        QTest::newRow("bad sweep kind") << "analysis.sweep" << R"j("log")j" << "analysis.sweep: expected lin, dec or oct";
        QTest::newRow("stop below start") << "analysis.stop" << R"j("0.5 MHz")j" << "analysis: needs 0 < start < stop";
        QTest::newRow("three ports") << "analysis.ports"
                                     << R"j([{"node": "a"}, {"node": "b"}, {"node": "c"}])j"
                                     << "analysis.ports: expected one or two ports";
        QTest::newRow("ground port") << "analysis.ports" << R"j([{"node": "0"}])j" << "analysis.ports[0].node";
        QTest::newRow("dotted netlist name") << "variables[0].netlistName" << R"j("R1.R")j"
                                             << "variables[0].netlistName: \"R1.R\" is not a parameter name";
        QTest::newRow("value not a value") << "variables[0].value" << R"j("fifty")j" << "variables[0].value";
        QTest::newRow("wrong unit") << "variables[0].value" << R"j("5 nH")j" << "variables[0].value";
        QTest::newRow("constraint code") << "variables[0].constraint" << R"j({"type": 7})j"
                                         << "variables[0].constraint.type: expected 0 to 4";
        QTest::newRow("zero step") << "variables[0].constraint"
                                   << R"j({"type": 2, "params": ["10 Ohm", "100 Ohm", "0"]})j"
                                   << "variables[0].constraint.params[2]: the step is zero";
        QTest::newRow("list position") << "variables[0]"
                                       << R"j({"netlistName": "R1", "value": "3", "unit": "Ohm", "values": ["10", "22"],
                                             "constraint": {"type": 2, "params": ["0", "1", "1"]}})j"
                                       << "variables[0].value: \"3\" is not a position";
        QTest::newRow("list needs type 2") << "variables[0]"
                                           << R"j({"netlistName": "R1", "value": "0", "unit": "Ohm", "values": ["10"]})j"
                                           << "a value list needs constraint type 2";
        QTest::newRow("backquote in expression") << "goals[0].expression" << R"j("db(`id`)")j"
                                                 << "goals[0].expression: a backquote";
        QTest::newRow("command after an expression") << "goals[0].expression" << R"j("v(out); shell id")j"
                                                     << "goals[0].expression: a semicolon";
        QTest::newRow("redirection in a meas") << "goals[0].expression" << R"j("meas MAX v(out) > /tmp/x")j"
                                               << "goals[0].expression: > is not allowed (compare with gt";
        QTest::newRow("S21 with one port") << "analysis.ports" << R"j([{"node": "in"}])j"
                                           << "goals[0].expression: dB(S21) needs an ac analysis with 2 port(s) (SP1 has 1)";
        QTest::newRow("S21 over op") << "analysis" << R"j({"type": "op"})j"
                                     << "goals[0].expression: dB(S21) needs an ac analysis with 2 port(s) (SP1 has 0)";
        QTest::newRow("analysis type") << "analysis.type" << R"j("sp")j" << "analysis.type: expected ac, op, dc, tran or noise";
        QTest::newRow("both forms") << "analyses" << R"j([{"type": "op"}])j" << "analyses: give \"analysis\" or \"analyses\"";
        QTest::newRow("tran step") << "analysis" << R"j({"type": "tran", "step": 0, "stop": "1 ms"})j"
                                   << "analysis.step: expected 0 < step <= stop - start";
        QTest::newRow("dc of a capacitor") << "analysis" << R"j({"type": "dc", "source": "C1", "start": 0, "stop": 1, "step": 0.1})j"
                                           << "analysis.source: expected a voltage or current source, a resistor or temp";
        QTest::newRow("noise output") << "analysis" << R"j({"type": "noise", "source": "V1", "start": 1, "stop": 2, "points": 2})j"
                                      << "analysis.output: expected a node name";
        QTest::newRow("unknown analysis") << "goals[0].simInstanceName" << R"j("TR1")j"
                                          << "goals[0].simInstanceName: no analysis \"TR1\" (the design has SP1)";
        QTest::newRow("meas over ac") << "goals[0].expression" << R"j("meas MAX onoise_spectrum")j" << "";
        QTest::newRow("bare meas") << "goals[0].expression" << R"j("meas ")j" << "goals[0].expression: meas needs the rest";
        QTest::newRow("range on a measurement") << "goals[0]"
            << R"j({"name": "T", "expression": "meas MAX v(out)", "limits": [{"type": "LessThan", "value": 1, "range": [1, 2]}]})j"
            << "goals[0].limits[0].range: a scalar goal has no independent variable";
        QTest::newRow("limit type") << "goals[0].limits" << R"j([{"type": "Above", "value": 1}])j"
                                    << "goals[0].limits[0].type";
        QTest::newRow("inside needs two") << "goals[0].limits" << R"j([{"type": "Inside", "value": 1}])j"
                                          << "goals[0].limits[0]: Inside needs 2 value(s)";
        QTest::newRow("limit with unit") << "goals[0].limits" << R"j([{"type": "LessThan", "value": "3 dB"}])j"
                                         << "is not a plain number";
        QTest::newRow("algorithm code") << "algorithm.type" << "13" << "algorithm.type: expected 1 to 12";
        QTest::newRow("negative iterations") << "algorithm.maxIterations" << "-1" << "algorithm.maxIterations";
        QTest::newRow("sweep not a list") << "sweep" << "[]" << "sweep: expected a list";
        QTest::newRow("parameter name") << "parameters" << R"j({"2x": "1"})j" << "parameters: \"2x\" is not a parameter name";
        QTest::newRow("sweep overrides a variable") << "sweep" << R"j([{"name": "A", "parameters": {"r1": "5"}}])j"
                                                    << "sweep[0].parameters: \"r1\" is a variable";
        QTest::newRow("duplicate name") << "parameters" << R"j({"r1": "1"})j" << "variables[0].netlistName: \"R1\" is used twice";
        QTest::newRow("start above max") << "variables[0].value" << R"j("500 Ohm")j"
                                         << "variables[0].value: \"500 Ohm\" is outside \"10 Ohm\" to \"100 Ohm\"";
        QTest::newRow("min above max") << "variables[0].constraint" << R"j({"type": 1, "params": ["100 Ohm", "10 Ohm"]})j"
                                       << "variables[0].constraint: the minimum \"100 Ohm\" is above the maximum";
        QTest::newRow("limit NaN") << "goals[0].limits" << R"j([{"type": "LessThan", "value": "NaN"}])j"
                                   << "goals[0].limits[0]: \"NaN\" is not a finite number";
        QTest::newRow("quote in goal name") << "goals[0].name" << "\"G\\\"1\"" << "goals[0].name: a quote";
        QTest::newRow("line feed in goal name") << "goals[0].name" << "\"G\\n1\"" << "goals[0].name: a line break";
        QTest::newRow("title with line break") << "title" << "\"Low\\r\\npass\"" << "title: a line break";
        QTest::newRow("title with quote") << "title" << "\"5\\\" lowpass\"" << "";
    }

    void refused()
    {
        QFETCH(QString, path);
        QFETCH(QString, json);
        QFETCH(QString, message);
        QJsonObject root = minimal();
        if (!path.isEmpty())
            root = replaced(root, path.split(QLatin1Char('.')), QJsonDocument::fromJson("[" + json.toUtf8() + "]").array().at(0));
        SimDesign d;
        QString error;
        const bool ok = SimDesign::fromJson(QJsonDocument(root).toJson(), d, &error);
        if (message.isEmpty()) {
            QVERIFY2(ok, qPrintable(error));
        } else {
            QVERIFY(!ok);
            QVERIFY2(error.contains(message), qPrintable(error));
        }
    }

    // A netlist design reads through the netlist reader; messages name the file's lines.
    void netlist_data()
    {
        QTest::addColumn<QByteArray>("line");  // replaces line 3 of lowpass.cir (a comment)
        QTest::addColumn<QString>("message");
        QTest::newRow("valid") << QByteArray("* nothing") << "";
        QTest::newRow("+.control") << QByteArray("+.control") << "d.cir:3: .control is not allowed";
        QTest::newRow("out of range") << QByteArray("C1 = 50 pF opt { 0.2 pF to 10 pF }") << "d.cir:3: \"50 pF\" is outside";
        QTest::newRow("statement") << QByteArray("C1 = 5 pF { unconst }") << "d.cir:3: variable C1 without opt or noopt";
    }

    void netlist()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, message);
        QFile example(QStringLiteral(SIM_EXAMPLES_DIR "/lowpass.cir"));
        QVERIFY(example.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = example.readAll().split('\n');
        lines[2] = line;
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("d.cir")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(lines.join('\n')) > 0);
        file.close();
        SimDesign d;
        QString error;
        const bool ok = SimDesign::load(file.fileName(), d, &error);
        QVERIFY2(ok ? message.isEmpty() : !message.isEmpty() && error.startsWith(message), qPrintable(error));
        QStringList places;  // comments are circuit lines too; line 4 is blank, line 11 .end
        for (int n : {2, 3, 5, 6, 7, 8, 9, 10})
            places.append(QStringLiteral("d.cir:%1").arg(n));
        if (ok)
            QCOMPARE(d.circuitPlaces, places);
    }

    void notJson()
    {
        SimDesign d;
        QString error;
        QVERIFY(!SimDesign::fromJson("{ nope", d, &error));
        QVERIFY(error.startsWith(QStringLiteral("not JSON")));
        // A UTF-8 byte-order mark in front is taken.
        QVERIFY2(SimDesign::fromJson("\xEF\xBB\xBF" + QJsonDocument(minimal()).toJson(), d, &error), qPrintable(error));
        QVERIFY(!SimDesign::load(QStringLiteral("/nonexistent/design.json"), d, &error));
        QVERIFY(error.contains(QStringLiteral("cannot read")));
    }

private:
    // Replaces the value at a path like "variables[0].netlistName".
    static QJsonObject replaced(QJsonObject object, QStringList path, const QJsonValue &value)
    {
        QString key = path.takeFirst();
        int index = -1;
        if (key.endsWith(QLatin1Char(']'))) {
            const qsizetype open = key.indexOf(QLatin1Char('['));
            index = key.mid(open + 1, key.size() - open - 2).toInt();
            key = key.left(open);
        }
        if (index < 0) {
            object.insert(key, path.isEmpty() ? value : QJsonValue(replaced(object.value(key).toObject(), path, value)));
            return object;
        }
        QJsonArray array = object.value(key).toArray();
        array.replace(index, path.isEmpty() ? value : QJsonValue(replaced(array.at(index).toObject(), path, value)));
        object.insert(key, array);
        return object;
    }
};

QTEST_GUILESS_MAIN(TestSimDesign)
#include "tst_simdesign.moc"
