// The netlist design reader: statements to JSON fields, malformed statements
// to placed messages, the statements' byte spans, and messages of the JSON
// reader placed in the file.

#include "designfile/netlistdesign.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

namespace {

// A small complete design; rows replace one of its lines (0-based, the title
// is line 0) by their own text, which may hold several lines.
const QStringList kBase{
    QStringLiteral("Test design"),
    QStringLiteral("R1 in out {C1}"),
    QStringLiteral("C1 = 5 pF opt { 0.2 pF to 10 pF }"),
    QStringLiteral("OptimGoal:G Expr=\"dB(S21)\" SpecLimitLine[1]=\"G_L\""),
    QStringLiteral("SpecLimitLine:\"G_L\" Type=\"LessThan\" Max=-3"),
    QStringLiteral("OptimAlgorithm:Optim1 OptimType=\"qzVMO\" ErrorForm=\"L2\" MaxIters=100"),
    QStringLiteral("Analysis:SP1 Type=\"ac\" Start=1 MHz Stop=1 GHz Points=10 Port[1]=\"in\" Port[2]=\"out\""),
};

QByteArray file(int line, const QString &text)
{
    QStringList lines = kBase;
    if (line >= 0)
        lines[line] = text;
    return lines.join(u'\n').toUtf8() + '\n';
}

// The JSON value at "key/index/key..." of root, compact.
QByteArray at(const QJsonObject &root, const QString &path)
{
    QJsonValue v = root;
    for (const QString &part : path.split(u'/')) {
        bool isIndex = false;
        const int k = part.toInt(&isIndex);
        v = isIndex ? v.toArray().at(k) : v.toObject().value(part);
    }
    return v.isArray() ? QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact)
         : v.isObject() ? QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact)
                        : QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
}

}  // namespace

class TestNetlistDesign : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void statements_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("json");
        const QByteArray var = "{'constraint':{'params':%1,'type':%2},'name':'C1','netlistName':'C1','optimize':%3,'unit':'%4','value':'%5'}";
        const auto variable = [&](const char *params, int type, bool opt, const char *unit, const char *value) {
            return QString::fromLatin1(var).arg(QLatin1String(params)).arg(type).arg(opt ? "true" : "false", unit, value).toLatin1();
        };
        QTest::newRow("range") << 2 << "C1 = 5 pF opt { 0.2 pF to 10 pF }" << "variables/0" << variable("['0.2 pF','10 pF']", 1, true, "F", "5 pF");
        QTest::newRow("tight") << 2 << "C1=5 pF opt {0.2 pF to 10 pF}" << "variables/0" << variable("['0.2 pF','10 pF']", 1, true, "F", "5 pF");
        QTest::newRow("unconst, suffix only") << 2 << "C1 = 5p noopt { unconst }" << "variables/0" << variable("[]", 0, false, "", "5p");
        QTest::newRow("discrete") << 2 << "C1 = 50 Ohm opt { discrete 10 Ohm to 90 Ohm by 5 Ohm }" << "variables/0"
                                  << variable("['10 Ohm','90 Ohm','5 Ohm']", 2, true, "Ohm", "50 Ohm");
        QTest::newRow("delta") << 2 << "C1 = 5 pF opt { +/- 1 pF }" << "variables/0" << variable("['','1 pF']", 3, true, "F", "5 pF");
        QTest::newRow("percent") << 2 << "C1 = 5 pF opt { +/- 10 % }" << "variables/0" << variable("['','10']", 4, true, "F", "5 pF");
        QTest::newRow("goal continued") << 3 << "OptimGoal:G Expr=\"dB(S21)\" SimInstanceName=\"SP1\" Weight=2 \\\nIndepVar[1]=\"freq\" \\\nSpecLimitLine[1]=\"G_L\""
                                        << "goals/0"
                                        << QByteArray("{'expression':'dB(S21)','indepVar':'freq','limits':[{'name':'L','type':'LessThan','value':'-3'}],'name':'G','simInstanceName':'SP1','weight':'2'}");
        QTest::newRow("limit range") << 4 << "SpecLimitLine:\"G_L\" Type=\"GreaterThan\" Min=-0.5 Weight=1 \\\n  IndepVar[1]=\"freq\" IndepMin[1]=10 MHz IndepMax[1]=800 MHz"
                                     << "goals/0/limits/0"
                                     << QByteArray("{'name':'L','range':['10 MHz','800 MHz'],'type':'GreaterThan','value':'-0.5','weight':'1'}");
        QTest::newRow("limit inside, open end") << 4 << "SpecLimitLine:\"G_L\" Type=\"Inside\" Min=-3 Max=3 IndepVar[1]=\"freq\" IndepMax[1]=1 GHz"
                                                << "goals/0/limits/0" << QByteArray("{'name':'L','range':[null,'1 GHz'],'type':'Inside','values':['-3','3']}");
        QTest::newRow("algorithm") << 5 << "OptimAlgorithm:Run2 OptimType=\"DFP\" ErrorForm=\"L2\" MaxIters=50" << "algorithm"
                                   << QByteArray("{'maxIterations':'50','name':'Run2','type':5}");
        QTest::newRow("analysis") << 6 << "Analysis:A1 Type=\"ac\" Sweep=\"dec\" Start=1 MHz Stop=1 GHz Points=10 Port[1]=\"in\" Z0[1]=75 Ohm" << "analysis"
                                  << QByteArray("{'name':'A1','points':'10','ports':[{'node':'in','z0':'75 Ohm'}],'start':'1 MHz','stop':'1 GHz','sweep':'dec','type':'ac'}");
        QTest::newRow("circuit up to .end") << 1 << "* comment\nR1 in out {C1} ; note\n+ tc=0\n.END\nR9 a b 1\n\n.ends" << "circuit"
                                            << QByteArray("['* comment','R1 in out {C1} ; note','+ tc=0']");
        QTest::newRow("title looks like a statement") << 0 << "C1 = 5 pF opt" << "title" << QByteArray("['C1 = 5 pF opt']");
    }

    void statements()
    {
        QFETCH(int, line);
        QFETCH(QString, text);
        QFETCH(QString, path);
        QFETCH(QByteArray, json);
        NetlistDesign d;
        QString error;
        QVERIFY2(NetlistDesign::read(file(line, text), QStringLiteral("t.cir"), d, &error), qPrintable(error));
        QCOMPARE(at(d.root, path), json.replace('\'', '"'));  // the table writes JSON's quotes as '
    }

    void malformed_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown keyword") << 3 << "OptimGoals:G Expr=\"dB(S21)\""
                                         << "t.cir:4: unknown statement OptimGoals:; expected OptimGoal:, SpecLimitLine:, OptimAlgorithm:, Analysis: or a variable (NAME = VALUE opt { CLAUSE } (or noopt))";
        QTest::newRow("unbalanced quotes") << 3 << "OptimGoal:G Expr=\"dB(S21) SpecLimitLine[1]=\"G_L\"" << "t.cir:4: unbalanced quotes in Expr; expected Expr=\"TEXT\"";
        QTest::newRow("quote unopened") << 3 << "OptimGoal:G Expr=dB(S21)\" SpecLimitLine[1]=\"G_L\""
                                        << "t.cir:4: unbalanced quotes in Expr; expected Expr=\"TEXT\" or a value without quotes";
        QTest::newRow("unbalanced name") << 4 << "SpecLimitLine:\"G_L Type=\"LessThan\" Max=-3" << "t.cir:5: unbalanced quotes in SpecLimitLine:; expected SpecLimitLine:\"TEXT\"";
        QTest::newRow("control character") << 2 << "C1 = 5 pF opt { unconst }\r\r" << "t.cir:3: a control character (U+000D) in the statement; expected printable text";
        QTest::newRow("+ after a statement") << 6 << "Analysis:SP1 Type=\"ac\"\n* ports:\n+ Port[1]=\"in\""
                                             << "t.cir:9: a + line after a helmdeck statement; expected \\ at the end of the statement's line to continue it";
        QTest::newRow("cut off") << 6 << "Analysis:SP1 Type=\"ac\" \\" << "t.cir:7: the statement is cut off: its last line ends with \\; expected a continuation line";
        QTest::newRow("no braces") << 2 << "C1 = 5 pF opt" << "t.cir:3: variable C1 without { CLAUSE }; expected NAME = VALUE opt { CLAUSE } (or noopt)";
        QTest::newRow("no opt") << 2 << "C1 = 5 pF { unconst }" << "t.cir:3: variable C1 without opt or noopt; expected NAME = VALUE opt { CLAUSE } (or noopt)";
        QTest::newRow("unknown clause") << 2 << "C1 = 5 pF opt { 1 pF - 9 pF }"
                                        << "t.cir:3: unknown clause \"1 pF - 9 pF\"; expected unconst, MIN to MAX, discrete MIN to MAX by STEP, +/- DELTA or +/- PCT %";
        QTest::newRow("no value") << 2 << "C1 = five opt { unconst }" << "t.cir:3: \"five\" is not a value; expected a number with an optional suffix and unit (\"5 pF\", \"10n\")";
        QTest::newRow("text after clause") << 2 << "C1 = 5 pF opt { unconst } ; x" << "t.cir:3: \"; x\" after }; expected nothing after the clause";
        QTest::newRow("item without =") << 3 << "OptimGoal:G Expr=\"dB(S21)\" Weight SpecLimitLine[1]=\"G_L\"" << "t.cir:4: \"Weight\" is no item; expected KEY=VALUE";
        QTest::newRow("empty value") << 3 << "OptimGoal:G Expr=\"dB(S21)\" Weight= SpecLimitLine[1]=\"G_L\"" << "t.cir:4: Weight has no value; expected Weight=VALUE";
        QTest::newRow("twice") << 5 << "OptimAlgorithm:A OptimType=\"DFP\" OptimType=\"DFP\"" << "t.cir:6: OptimType is given twice; expected it once";
        QTest::newRow("unknown item, continued") << 3 << "OptimGoal:G Expr=\"dB(S21)\" \\\nFoo=1 SpecLimitLine[1]=\"G_L\""
                                                 << "t.cir:5: unknown item Foo; expected Expr, SimInstanceName, Weight, IndepVar[1] or SpecLimitLine[i]";
        QTest::newRow("no name") << 5 << "OptimAlgorithm: OptimType=\"DFP\"" << "t.cir:6: OptimAlgorithm: without a name; expected OptimAlgorithm:NAME";
        QTest::newRow("unknown algorithm") << 5 << "OptimAlgorithm:A OptimType=\"DFP\" ErrorForm=\"MM\" MaxIters=5"
                                           << "t.cir:6: OptimType=\"DFP\" ErrorForm=\"MM\" is no algorithm; expected one of random/L2, qzVMO/L2, random/MML1, "
                                              "qzVMO/MML1, DFP/L2, qzSeqLP/seqLP, HaldMadson/MM, random/negL2, hybrid/L2, exhaustive/L2, sga/L2, simulated_annealing/L2";
        QTest::newRow("limit of no goal") << 3 << "OptimGoal:G Expr=\"dB(S21)\" SpecLimitLine[1]=\"G_X\""
                                          << "t.cir:4: SpecLimitLine[1]=\"G_X\" names no SpecLimitLine statement; expected SpecLimitLine:\"G_X\" Type=... in the file";
        QTest::newRow("limit type") << 4 << "SpecLimitLine:\"G_L\" Type=\"Below\" Max=-3"
                                    << "t.cir:5: limit type \"Below\" is unknown; expected Type=\"GreaterThan\", \"LessThan\", \"EqualTo\", \"Inside\" or \"Outside\"";
        QTest::newRow("port gap") << 6 << "Analysis:SP1 Start=1 Stop=2 Points=3 Port[2]=\"out\"" << "t.cir:7: Port[1] is missing; expected Port[1] to Port[n], each with its Z0[n] if any";
        QTest::newRow(".param of a variable") << 1 << "R1 in out {C1}\n.param X=1 c1=2p" << "t.cir:3: C1 is a variable (line 4) and a .param";
        QTest::newRow("no algorithm") << 5 << "* none" << "t.cir: no OptimAlgorithm statement; expected OptimAlgorithm:NAME OptimType=\"qzVMO\" ErrorForm=\"L2\" MaxIters=100";
    }

    void malformed()
    {
        QFETCH(int, line);
        QFETCH(QString, text);
        QFETCH(QString, error);
        NetlistDesign d;
        QString why;
        QVERIFY(!NetlistDesign::read(file(line, text), QStringLiteral("t.cir"), d, &why));
        QCOMPARE(why, error);
        QVERIFY(d.statements.isEmpty());  // the design given is left as it was
    }

    void spans_data()
    {
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<QByteArray>("prefix");
        QTest::newRow("LF") << QByteArray("\n") << QByteArray();
        QTest::newRow("CRLF") << QByteArray("\r\n") << QByteArray();
        QTest::newRow("byte-order mark, CRLF") << QByteArray("\r\n") << QByteArray("\xEF\xBB\xBF");
    }

    void spans()
    {
        QFETCH(QByteArray, lineEnd);
        QFETCH(QByteArray, prefix);
        const QByteArray goal = "OptimGoal:G Expr=\"dB(S21)\" \\" + lineEnd + "  SpecLimitLine[1]=\"G_L\"";
        const QByteArray text = prefix + "T" + lineEnd + "R1 in out {C1}" + lineEnd + "  C1 = 5 pF opt { unconst }  " + lineEnd + goal + lineEnd
                              + kBase.mid(4).join(QString::fromLatin1(lineEnd)).toUtf8();  // no line end after the last line
        NetlistDesign d;
        QString error;
        QVERIFY2(NetlistDesign::read(text, QStringLiteral("t.cir"), d, &error), qPrintable(error));
        QCOMPARE(d.lineEnd, lineEnd);
        QCOMPARE(d.root.value(QStringLiteral("title")).toString(), QStringLiteral("T"));
        QCOMPARE(d.circuitLines, QList<int>{2});
        const QList<QByteArray> expected{"C1 = 5 pF opt { unconst }  ", goal, kBase.at(4).toUtf8(), kBase.at(5).toUtf8(), kBase.at(6).toUtf8()};
        QCOMPARE(d.statements.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i)
            QCOMPARE(text.mid(d.statements.at(i).begin, d.statements.at(i).end - d.statements.at(i).begin), expected.at(i));
        QCOMPARE(d.statements.at(1).line, 4);
        QCOMPARE(d.statements.at(2).kind, NetlistStatement::SpecLimit);
        QCOMPARE(d.statements.at(2).name, QStringLiteral("G_L"));
        QCOMPARE(d.statements.at(2).goal, 1);
        QCOMPARE(d.statements.at(2).line, 6);
    }

    void placed_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expected");
        QTest::newRow("variable") << "variables[0].constraint.params[1]: \"x\" is not a value" << "t.cir:3: \"x\" is not a value";
        QTest::newRow("limit") << "goals[0].limits[0].range[0]: bad" << "t.cir:5: bad";
        QTest::newRow("goal") << "goals[0].expression: bad" << "t.cir:4: bad";
        QTest::newRow("analysis") << "analysis.ports[0].z0: must be positive" << "t.cir:7: must be positive";
        QTest::newRow("circuit") << "circuit[0]: .control is not allowed" << "t.cir:2: .control is not allowed";
        QTest::newRow("unknown path") << "goals[3].name: missing" << "t.cir: goals[3].name: missing";
        QTest::newRow("no path") << "invalid design" << "t.cir: invalid design";
    }

    void placed()
    {
        QFETCH(QString, message);
        QFETCH(QString, expected);
        NetlistDesign d;
        QVERIFY(NetlistDesign::read(file(-1, {}), QStringLiteral("t.cir"), d, nullptr));
        QCOMPARE(d.placed(message), expected);
    }
};

QTEST_GUILESS_MAIN(TestNetlistDesign)
#include "tst_netlistdesign.moc"
