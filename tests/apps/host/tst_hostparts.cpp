// The host stand-in's parts in-process: reading what the plug-in hands out,
// the design store and back annotation, damaged blocks in the trace, the
// help pages and the console reader. (The test aids, the trace decoder and
// the host window are exercised by every end-to-end test.)

#include "backannotation.h"
#include "consolereader.h"
#include "designstore.h"
#include "helmdeckhost.h"
#include "helpwindow.h"
#include "hosttrace.h"
#include "hostwindow.h"
#include "moxargs.h"

#include "model/optimitermessages.h"
#include "mox/moxinterpreter.h"
#include "wire/datablock.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString copyExample(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("lowpass.json"));
    QFile::remove(path);
    if (!QFile::copy(QStringLiteral(HOST_EXAMPLE_DESIGN), path))
        return QString();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush();
}

// Applies one variable line to design.
bool applyLine(DesignStore &design, const char *line, QString *error = nullptr)
{
    VariableLine v;
    return backannotation::parseVariableLine(QString::fromLatin1(line), v) && design.applyVariable(v, error);
}

// Holds this process's file-size limit at bytes (SIGXFSZ ignored, so a write
// past it fails with EFBIG) until it goes.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_old{};
    void (*m_handler)(int) = nullptr;
};

QJsonObject readJson(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QJsonObject();
    return QJsonDocument::fromJson(f.readAll()).object();
}

// Chunks and end message of a block as receiveDataBlock hands them over.
QList<KuvoMessage> blockMessages(const QByteArray &name, const OptimSerializationIFC &record, qsizetype limit = 5700)
{
    OptimSerialWriter writer;
    record.serialize(writer);
    const QList<QByteArray> chunks = writer.chunks(limit);
    QList<KuvoMessage> messages;
    const QByteArray n = QByteArray::number(chunks.size());
    for (qsizetype i = 0; i < chunks.size(); ++i)
        messages.append({4, wire::KindPlain, "DATA_BLOCK 17 " + QByteArray::number(i + 1) + '/' + n + ' ' + name + ':' + chunks.at(i)});
    messages.append({4, wire::KindBlockEnd, "DATA_BLOCK 17 " + n + ' ' + name});
    return messages;
}

OptimIter sampleIter(const QString &iteration, const QString &error, long commandId)
{
    OptimIter iter;
    iter.setCommandId(commandId);
    iter.algorithm().setStatus(StatusRunning);
    iter.algorithm().setIterationText(iteration);
    iter.algorithm().setErrorText(error);
    return iter;
}

// The Stopband goal as the plug-in hands it out: a stricter rejection from 2 GHz on.
const QString kStopbandList = QStringLiteral(
    "list(\"Stopband\", list(\"Expr\", 1, list(\"\\\"dB(S21)\\\"\")), "
    "list(\"IndepVar\", 1, list(\"\\\"freq\\\"\")), list(\"LimitName\", 1, list(\"\\\"Rejection\\\"\")), "
    "list(\"LimitType\", 1, list(\"\\\"LessThan\\\"\")), list(\"LimitMin\", 1, list(\"-45\")), "
    "list(\"LimitMax\", 1, list(\"\")), list(\"LimitWeight\", 1, list(\"\")), "
    "list(\"Indep1Min\", 1, list(\"2e9\")), list(\"Indep1Max\", 1, list(\"\")), "
    "list(\"SimInstanceName\", 1, list(\"\\\"SP1\\\"\")), list(\"Weight\", 1, list(\"3\")))");

// Registers fake plug-in words in "CmdOp" that hand out the given definitions
// (and goalNetlist for every goal, keeping the list it was asked with).
void registerFakePlugin(MoxInterpreter &mox, const QStringList &variableLines, const QString &goalList, const QString &algorithmList,
                        const QByteArray &goalNetlist = {}, QByteArray *goalAsked = nullptr)
{
    QList<MoxWord> words{
        MoxWord::functionWord("optimHelmdeck_fetchVariable",
                              [&mox, variableLines](const MoxArgs *a) -> MoxValue * {
                                  const auto index = MoxArgReader(&mox, a).integer(0);
                                  if (!index || *index < 0 || *index >= variableLines.size() || variableLines.at(*index).isEmpty())
                                      return nullptr;
                                  return mox.makeString(variableLines.at(*index).toUtf8());
                              }),
        MoxWord::functionWord("optimHelmdeck_fetchGoal",
                              [&mox, goalList](const MoxArgs *a) -> MoxValue * {
                                  const auto index = MoxArgReader(&mox, a).integer(0);
                                  if (!index || *index != 0)
                                      return nullptr;
                                  return mox.evaluate("CmdOp", goalList.toUtf8());
                              }),
        MoxWord::functionWord("optimHelmdeck_fetchAlgorithm",
                              [&mox, algorithmList](const MoxArgs *) -> MoxValue * {
                                  return mox.evaluate("CmdOp", algorithmList.toUtf8());
                              }),
        MoxWord::functionWord("optimHelmdeck_getGoalNetlist",
                              [&mox, goalNetlist, goalAsked](const MoxArgs *a) -> MoxValue * {
                                  MoxValue *list = nullptr;
                                  if (goalAsked && mox.argumentAs(a, 0, mox.parameterListType(), list))
                                      *goalAsked = mox.printed(list);
                                  mox.release(list);
                                  return goalNetlist.isEmpty() ? nullptr : mox.makeString(goalNetlist);
                              }),
    };
    mox.registerVocabulary("CmdOp", words);
}

} // namespace

class TestHostParts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void variableLinesOfEveryConstraint_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("optimize");
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("params");
        QTest::newRow("min/max") << "R1.R = 50 Ohm opt { 10 Ohm to 100 Ohm }" << "R1.R" << "50 Ohm" << true << 1 << QStringList{"10 Ohm", "100 Ohm", ""};
        QTest::newRow("percent noopt") << "R1.R = 50 Ohm noopt { +/- 5 % }" << "R1.R" << "50 Ohm" << false << 4 << QStringList{"", "5", ""};
        QTest::newRow("unconstrained") << "R1.R = 50 Ohm opt { unconst }" << "R1.R" << "50 Ohm" << true << 0 << QStringList{"", "", ""};
        QTest::newRow("discrete") << "R1.R = 50 Ohm opt { discrete 10 Ohm to 100 Ohm by 10 Ohm }" << "R1.R" << "50 Ohm" << true << 2 << QStringList{"10 Ohm", "100 Ohm", "10 Ohm"};
        QTest::newRow("delta") << "L2 = 4 nH opt { +/- 1 nH }" << "L2" << "4 nH" << true << 3 << QStringList{"", "1 nH", ""};
        QTest::newRow("empty value") << "C1 =  opt { unconst }" << "C1" << "" << true << 0 << QStringList{"", "", ""};
        QTest::newRow("value list position") << "C1 = 2 opt { discrete 0 to 4 by 1 }" << "C1" << "2" << true << 2 << QStringList{"0", "4", "1"};
    }

    void variableLinesOfEveryConstraint()
    {
        QFETCH(QString, line);
        VariableLine v;
        QVERIFY(backannotation::parseVariableLine(line, v));
        QTEST(v.netlistName, "name");
        QTEST(v.value, "value");
        QTEST(v.optimize, "optimize");
        QTEST(v.constraintType, "type");
        QTEST(v.params, "params");
    }

    void malformedVariableLinesAreRefused_data()
    {
        QTest::addColumn<QString>("line");
        QTest::newRow("empty") << "";
        QTest::newRow("no equals") << "R1 50 opt { unconst }";
        QTest::newRow("no keyword") << "R1 = 50 { unconst }";
        QTest::newRow("other keyword") << "R1 = 50 maybe { unconst }";
        QTest::newRow("no braces") << "R1 = 50 opt unconst";
        QTest::newRow("unknown clause") << "R1 = 50 opt { anything }";
        QTest::newRow("discrete without step") << "R1 = 50 opt { discrete 1 to 2 }";
        QTest::newRow("name with blank") << "R 1 = 50 opt { unconst }";
    }

    void malformedVariableLinesAreRefused()
    {
        QFETCH(QString, line);
        VariableLine v;
        v.netlistName = QStringLiteral("untouched");
        QVERIFY(!backannotation::parseVariableLine(line, v));
        QCOMPARE(v.netlistName, QStringLiteral("untouched"));
    }

    void parameterListsReadInBothForms()
    {
        MoxInterpreter mox;
        const int live = mox.liveValues();
        // The form the plug-in hands out: the name first, values quoted.
        MoxValue *out = mox.evaluate("CmdOp", "list(\"g1\", list(\"Expr\", 1, list(\"\\\"dB(S21)\\\"\")), "
                                              "list(\"LimitMin\", 2, list(\"-1\", \"\")), list(\"Min\", 0, list()), "
                                              "list(\"Broken\", \"x\", list(\"1\")))");
        QVERIFY(out);
        QString name;
        ParameterMap map;
        QVERIFY(backannotation::readParameterList(&mox, out, name, map));
        QCOMPARE(name, QStringLiteral("g1"));
        QCOMPARE(map.value(QStringLiteral("Expr")), QStringList{QStringLiteral("dB(S21)")});
        QCOMPARE(map.value(QStringLiteral("LimitMin")), (QStringList{QStringLiteral("-1"), QString()}));
        QVERIFY(map.contains(QStringLiteral("Min")));
        QVERIFY(map.value(QStringLiteral("Min")).isEmpty());
        QVERIFY(!map.contains(QStringLiteral("Broken")));
        mox.release(out);
        // The form a host hands out: list(count, name) first.
        MoxValue *in = mox.evaluate("CmdOp", "list(list(1, \"g2\"), list(\"Weight\", 1, list(\"2\")))");
        QVERIFY(backannotation::readParameterList(&mox, in, name, map));
        QCOMPARE(name, QStringLiteral("g2"));
        QCOMPARE(map.value(QStringLiteral("Weight")), QStringList{QStringLiteral("2")});
        mox.release(in);
        // Not a parameter list.
        MoxValue *text = mox.makeString("x");
        QVERIFY(!backannotation::readParameterList(&mox, text, name, map));
        mox.release(text);
        MoxValue *empty = mox.evaluate("CmdOp", "list()");
        QVERIFY(!backannotation::readParameterList(&mox, empty, name, map));
        mox.release(empty);
        QCOMPARE(mox.liveValues(), live);
        QCOMPARE(mox.misuseCount(), 0);
    }

    void goalParameterListRoundTrip()
    {
        const GoalLimitDefinition inside{QStringLiteral("IL"), QStringLiteral("Inside"), QStringLiteral("-1"), QStringLiteral("0"),
                                         QStringLiteral("2"), {{QStringLiteral("1e7"), QString()}}};
        const GoalLimitDefinition less{QStringLiteral("Ripple"), QStringLiteral("LessThan"), QStringLiteral("-40"), {}, {}, {{QString(), QStringLiteral("3e9")}}};
        const GoalDefinition goal{QStringLiteral("Passband"), QStringLiteral("dB(S21)"), QStringLiteral("SP1"), QStringLiteral("1"),
                                  {QStringLiteral("freq")}, {inside, less}, {}};
        MoxInterpreter mox;
        const int live = mox.liveValues();
        MoxValue *list = backannotation::goalParameterList(&mox, goal);
        const QByteArray printed = mox.printed(list);
        // The input form: list(count, name) first; texts the plug-in quotes are quoted.
        QVERIFY2(printed.startsWith("list(list(11, \"Passband\"), list(\"Expr\", 1, list(\"\\\"dB(S21)\\\"\"))"), printed.constData());
        QVERIFY2(printed.contains("list(\"LimitType\", 2, list(\"\\\"Inside\\\"\", \"\\\"LessThan\\\"\"))"), printed.constData());
        QVERIFY2(printed.contains("list(\"Indep1Max\", 2, list(\"\", \"3e9\"))"), printed.constData());
        QString name;
        ParameterMap map;
        QVERIFY(backannotation::readParameterList(&mox, list, name, map));
        mox.release(list);
        QCOMPARE(mox.liveValues(), live);
        const GoalDefinition back = backannotation::goalFromParameters(name, map);
        QVERIFY(back.name == goal.name && back.expression == goal.expression && back.indepVars == goal.indepVars);
        QCOMPARE(back.simInstanceName, goal.simInstanceName);
        QCOMPARE(back.limits.size(), 2);
        QVERIFY(back.limits.at(0).type == inside.type && back.limits.at(0).max == inside.max && back.limits.at(0).weight == inside.weight);
        QCOMPARE(back.limits.at(0).ranges, inside.ranges);
        QCOMPARE(back.limits.at(1).ranges, less.ranges);
    }

    // The goal editor gets each goal's independent variable from its analysis
    // when the design leaves it out; a scalar goal has none and keeps none.
    void goalDefinitionTakesTheAnalysisVariable_data()
    {
        QTest::addColumn<QString>("goal");
        QTest::addColumn<QString>("analysis");
        QTest::addColumn<QStringList>("indepVars");
        QTest::newRow("tran trace") << "Settling" << "TR1" << QStringList{QStringLiteral("time")};
        QTest::newRow("meas") << "Peak" << "TR1" << QStringList();
        QTest::newRow("op") << "Bias" << "OP" << QStringList();
        QTest::newRow("dc sweep") << "Transfer" << "DC1" << QStringList{QStringLiteral("vin")};
        QTest::newRow("first analysis, ac") << "Gain" << "AC1" << QStringList{QStringLiteral("freq")};
    }

    void goalDefinitionTakesTheAnalysisVariable()
    {
        QFETCH(QString, goal);
        QFETCH(QString, analysis);
        QFETCH(QStringList, indepVars);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("d.json"));
        const QByteArray text = R"json({"circuit": ["R1 in out 1k"], "analyses": [
            {"name": "AC1", "type": "ac", "start": 1, "stop": 10, "points": 5}, {"name": "TR1", "type": "tran"},
            {"name": "OP", "type": "op"}, {"name": "DC1", "type": "dc", "source": "Vin"}], "goals": [
            {"name": "Settling", "expression": "v(out)", "simInstanceName": "tr1", "limits": []},
            {"name": "Peak", "expression": " MEAS max v(out)", "simInstanceName": "TR1", "limits": []},
            {"name": "Bias", "expression": "i(vcc)", "simInstanceName": "OP", "limits": []},
            {"name": "Transfer", "expression": "v(out)", "simInstanceName": "DC1", "limits": []},
            {"name": "Gain", "expression": "vdb(out)", "limits": []}]})json";
        QVERIFY(writeBytes(path, text));
        DesignStore store;
        QString error;
        QVERIFY2(store.load(path, &error), qPrintable(error));
        GoalDefinition definition;
        QVERIFY(store.goalDefinition(goal, definition));
        QCOMPARE(definition.indepVars, indepVars);
        QCOMPARE(definition.simInstanceName.toUpper(), analysis);
        // Written back as the editor hands it over, the goal stays as the simulator takes it.
        QVERIFY2(store.applyGoal(definition, &error), qPrintable(error));
        GoalDefinition again;
        QVERIFY(store.goalDefinition(goal, again));
        QCOMPARE(again.indepVars, indepVars);
        for (const QJsonValue &g : store.goals()) {
            if (g.toObject().value(QLatin1String("name")).toString() == goal)
                QCOMPARE(g.toObject().contains(QLatin1String("indepVar")), !indepVars.isEmpty());
        }
    }

    void designLoadErrors()
    {
        QTemporaryDir dir;
        DesignStore design;
        QString error;
        QVERIFY(!design.load(dir.filePath(QStringLiteral("missing.json")), &error));
        QVERIFY(error.contains(QLatin1String("cannot read")));
        const auto write = [&](const char *name, const QByteArray &text) {
            QFile f(dir.filePath(QLatin1String(name)));
            f.open(QIODevice::WriteOnly);
            f.write(text);
            return f.fileName();
        };
        QVERIFY(!design.load(write("a.json", "{ \"variables\": "), &error));
        QVERIFY(error.contains(QLatin1String("not JSON")));
        QVERIFY(!design.load(write("b.json", "[1, 2]"), &error));
        QVERIFY(error.contains(QLatin1String("JSON object")));
        QVERIFY(!design.load(write("c.json", "{\"variables\": 3}"), &error));
        QVERIFY(error.contains(QLatin1String("\"variables\" must be a list")));
        QVERIFY(!design.load(write("d.json", "{\"algorithm\": []}"), &error));
        QVERIFY(!design.isOpen());
        QVERIFY(design.designName().isEmpty());
        // A minimal object is a design without items.
        QVERIFY(design.load(write("e.json", "{}"), &error));
        QVERIFY(design.isOpen());
        QCOMPARE(design.title(), QStringLiteral("e.json"));
        QVERIFY(!design.parameterInformation(QStringLiteral("X")).found);
    }

    void constraintCentreIsKept()
    {
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("d.json")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("{\"variables\": ["
                "{\"netlistName\": \"L4\", \"value\": \"3 nH\", \"constraint\": {\"type\": 3, \"params\": [\"3 nH\", \"1 nH\"]}},"
                "{\"netlistName\": \"C1\", \"value\": \"5 pF\", \"constraint\": {\"type\": 0, \"params\": [\"4 pF\"]}},"
                "{\"netlistName\": \"C2\", \"value\": \"5 pF\", \"constraint\": {\"type\": 4, \"params\": [\"5 pF\", \"10\"]}}]}");
        f.close();
        DesignStore design;
        QString error;
        QVERIFY(design.load(f.fileName(), &error));
        const auto apply = [&](const char *line) {
            VariableLine v;
            return backannotation::parseVariableLine(QString::fromLatin1(line), v) && design.applyVariable(v, &error);
        };
        QVERIFY(apply("L4 = 3.3 nH opt { +/- 2 nH }"));
        QVERIFY(apply("C1 = 6 pF opt { unconst }"));
        QVERIFY(apply("C2 = 6 pF noopt { 1 pF to 9 pF }"));
        const QJsonArray vars = design.variables();
        const auto params = [&](int i) { return vars.at(i).toObject().value(QStringLiteral("constraint")).toObject().value(QStringLiteral("params")).toArray(); };
        QCOMPARE(params(0), (QJsonArray{QStringLiteral("3 nH"), QStringLiteral("2 nH")}));
        QCOMPARE(params(1), (QJsonArray{QStringLiteral("4 pF")}));
        // Another type: nothing of the old constraint stays.
        QCOMPARE(params(2), (QJsonArray{QStringLiteral("1 pF"), QStringLiteral("9 pF")}));
        QCOMPARE(vars.at(2).toObject().value(QStringLiteral("optimize")).toBool(true), false);
    }

    // The index by netlist name follows every change of the design's variables.
    void variableIndexFollowsTheDesign()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("d.json"));
        const auto design = [](const char *vars) { return "{\"variables\": [" + QByteArray(vars) + "]}"; };
        QVERIFY(writeBytes(path, design("{\"netlistName\": \"L4\", \"value\": \"3 nH\"},"
                                        "{\"netlistName\": \"C1\", \"value\": \"5 pF\"},"
                                        "{\"netlistName\": \"c1\", \"value\": \"7 pF\"}")));
        DesignStore store;
        QString error;
        QVERIFY(store.load(path, &error));
        QCOMPARE(store.variableValue(QStringLiteral("c1")), QStringLiteral("5 pF"));
        QVERIFY(applyLine(store, "L4 = 4 nH opt { unconst }"));
        QCOMPARE(store.variableValue(QStringLiteral("l4")), QStringLiteral("4 nH"));
        // Another program renames C1, removes L4 and adds C9 in front.
        QVERIFY(writeBytes(path, design("{\"netlistName\": \"C9\", \"value\": \"1 pF\"},"
                                        "{\"netlistName\": \"C7\", \"value\": \"5 pF\"}")));
        QVERIFY(!store.save(&error));
        QCOMPARE(store.variableValue(QStringLiteral("C7")), QStringLiteral("5 pF"));
        QCOMPARE(store.variableValue(QStringLiteral("C9")), QStringLiteral("1 pF"));
        QVERIFY(!store.parameterInformation(QStringLiteral("L4")).found);
        QVERIFY(!store.parameterInformation(QStringLiteral("C1")).found);
        QVERIFY(!applyLine(store, "C1 = 9 pF opt { unconst }", &error));
        QVERIFY(store.load(path, &error));
        QVERIFY(applyLine(store, "C7 = 6 pF opt { unconst }"));
        QCOMPARE(store.variables().at(1).toObject().value(QStringLiteral("value")).toString(), QStringLiteral("6 pF"));
        store.close();
        QCOMPARE(store.variableValue(QStringLiteral("C7")), QString());
    }

    void backAnnotationWritesAndSaves()
    {
        QTemporaryDir dir;
        const QString path = copyExample(dir);
        DesignStore design;
        QString error;
        QVERIFY(design.load(path, &error));
        MoxInterpreter mox;
        registerFakePlugin(mox,
                           {QStringLiteral("C1 = 1.8 pF opt { 0.2 pF to 10 pF }"), QString(),
                            QStringLiteral("C3 = 3.3 pF opt { discrete 1 pF to 10 pF by 0.1 pF }"), QStringLiteral("garbage"),
                            QStringLiteral("X9 = 1 opt { unconst }")},
                           kStopbandList,
                           QStringLiteral("list(\"Optim1\", list(\"OptimType\", 1, list(\"random\")), list(\"ErrorForm\", 1, "
                                          "list(\"MML1\")), list(\"MaxIters\", 1, list(\"40\")))"));
        const int live = mox.liveValues();
        const BackAnnotationRequest request{design.designName(), true, 5, true, 2, true};
        const BackAnnotationResult result = backAnnotate(&mox, &design, request);
        QVERIFY(result.ok && result.saved && result.algorithmWritten);
        QCOMPARE(result.variablesWritten, 2);
        QCOMPARE(result.goalsWritten, 1);
        // The unreadable line and the variable the design lacks are reported.
        QCOMPARE(result.problems.size(), 2);
        QVERIFY(result.summary().startsWith(QLatin1String("wrote 2 variable(s), 1 goal(s), the algorithm; design saved")));
        QCOMPARE(mox.liveValues(), live);
        QCOMPARE(mox.misuseCount(), 0);
        const QJsonObject root = readJson(path);
        const QJsonArray vars = root.value(QStringLiteral("variables")).toArray();
        QCOMPARE(vars.at(0).toObject().value(QStringLiteral("value")).toString(), QStringLiteral("1.8 pF"));
        // The variable the plug-in handed out no line for keeps its value.
        QCOMPARE(vars.at(1).toObject().value(QStringLiteral("value")),
                 readJson(QStringLiteral(HOST_EXAMPLE_DESIGN)).value(QStringLiteral("variables")).toArray().at(1).toObject().value(QStringLiteral("value")));
        QCOMPARE(vars.at(2).toObject().value(QStringLiteral("constraint")).toObject().value(QStringLiteral("params")).toArray().size(), 3);
        const QJsonObject stopband = root.value(QStringLiteral("goals")).toArray().at(1).toObject();
        QCOMPARE(stopband.value(QStringLiteral("weight")).toDouble(), 3.0);
        const QJsonObject limit = stopband.value(QStringLiteral("limits")).toArray().at(0).toObject();
        QCOMPARE(limit.value(QStringLiteral("value")).toDouble(), -45.0);
        // 2e9 is the file's "2 GHz": kept as written; the open end replaces "3 GHz".
        QCOMPARE(limit.value(QStringLiteral("range")).toArray(), (QJsonArray{QStringLiteral("2 GHz"), QJsonValue()}));
        QCOMPARE(root.value(QStringLiteral("algorithm")).toObject().value(QStringLiteral("type")).toInt(), 3);
        QCOMPARE(root.value(QStringLiteral("algorithm")).toObject().value(QStringLiteral("maxIterations")).toInt(), 40);
    }

    void failedWritesKeepTheFile_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("told");  // a part of the error
        QTest::newRow("full: nothing can be written") << 0 << QStringLiteral("File too large");
        QTest::newRow("short write") << 1 << QStringLiteral("File too large");
        QTest::newRow("a directory") << 2 << QStringLiteral("is a directory");
        QTest::newRow("missing folder") << 3 << QStringLiteral("folder does not exist");
        QTest::newRow("changed by another program") << 4
            << QStringLiteral("The design file was changed by another program since it was opened.");
        // Reading keeps a repeated key's last copy; the text cannot be edited.
        QTest::newRow("a repeated key") << 5 << QStringLiteral("could not be edited in place");
    }

    void failedWritesKeepTheFile()
    {
        QFETCH(int, fault);
        QFETCH(QString, told);
        QTemporaryDir dir;
        const QString path = copyExample(dir);
        if (fault == 5)
            QVERIFY(writeBytes(path, readBytes(path).replace("\"C1\", \"name\"", "\"C1\", \"value\": \"1 pF\", \"name\"")));
        DesignStore design;
        QString error;
        QVERIFY(design.load(path, &error));
        QSignalSpy changed(&design, &DesignStore::changed);
        QVERIFY(applyLine(design, "C1 = 9 pF opt { 0.2 pF to 10 pF }"));
        QCOMPARE(design.variableValue(QStringLiteral("C1")), QStringLiteral("9 pF"));
        QString where = path;
        if (fault == 2) {
            QVERIFY(QFile::remove(path) && QDir().mkdir(path));
        } else if (fault == 3) {
            QVERIFY(QDir().rename(dir.path(), dir.path() + QStringLiteral(".gone")));
            where = dir.path() + QStringLiteral(".gone/lowpass.json");
        } else if (fault == 4) {
            // Another program sets C1 too (and retitles the design).
            QByteArray other = readBytes(path);
            other.replace("\"5 pF\"", "\"6 pF\"").replace("cutoff near", "cut off near");
            QVERIFY(writeBytes(path, other));
        }
        const QByteArray before = readBytes(where);
        bool saved = true;
        {
            const FileSizeLimit limit(fault == 0 ? 0 : fault == 1 ? 100 : RLIM_INFINITY);
            saved = design.save(&error);
        }
        const QByteArray after = readBytes(where);
        if (fault == 3)
            QVERIFY(QDir().rename(where.section(QLatin1Char('/'), 0, -2), dir.path()));
        QVERIFY(!saved);
        QVERIFY2(error.contains(told), qPrintable(error));
        QCOMPARE(after, before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), fault == 2 ? 0 : 1);
        // The host holds what the file holds, and says so.
        QCOMPARE(design.variableValue(QStringLiteral("C1")), QString::fromLatin1(fault == 4 ? "6 pF" : "5 pF"));
        QCOMPARE(changed.size(), 2);
    }

    void updatesKeepTheFilesText_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("other");     // another program's edit before the save: "from|to"
        QTest::addColumn<QByteArray>("expected");
        const QByteArray file = "{ \"title\": \"T\",\n  \"variables\": [\n"
                                "    { \"value\": \"5 pF\", \"netlistName\": \"C1\",\n"
                                "      \"constraint\": { \"type\": 1, \"params\": [\"0.2 pF\", \"10 pF\"] } }\n  ],\n"
                                "  \"circuit\": [\"C1 in 0 {C1}\"] }\n";
        const auto with = [&](const char *from, const char *to) { return QByteArray(file).replace(from, to); };
        QTest::newRow("changed value in the file's unit") << file << QByteArray("C1 = 8e-12 opt { 0.2 pF to 10 pF }")
            << QByteArray() << with("\"5 pF\"", "\"8 pF\"");
        QTest::newRow("same quantities stay as written") << file << QByteArray("C1 = 5e-12 opt { 2e-13 to 10 pF }")
            << QByteArray() << file;
        QTest::newRow("bounds and a new member") << file << QByteArray("C1 = 5 pF noopt { 0.1 pF to 1.2e-11 }")
            << QByteArray() << with("[\"0.2 pF\", \"10 pF\"] }", "[\"0.1 pF\", \"12 pF\"] }, \"optimize\": false");
        QTest::newRow("merged with another program's edits") << file << QByteArray("C1 = 8 pF opt { 0.2 pF to 10 pF }")
            << QByteArray("\"T\"|\"New title\"")
            << with("\"5 pF\"", "\"8 pF\"").replace("\"T\"", "\"New title\"");
        QTest::newRow("merged with a circuit line added") << file << QByteArray("C1 = 8 pF opt { 0.2 pF to 10 pF }")
            << QByteArray("{C1}\"]|{C1}\", \"R1 in 0 50\"]")
            << with("\"5 pF\"", "\"8 pF\"").replace("{C1}\"]", "{C1}\", \"R1 in 0 50\"]");
        const QByteArray bare = QByteArray(file).replace("{ \"type\": 1, \"params\": [\"0.2 pF\", \"10 pF\"] }", "{}");
        QTest::newRow("members added to an empty object") << bare << QByteArray("C1 = 5 pF opt { 0.2 pF to 10 pF }")
            << QByteArray() << QByteArray(bare).replace("{}", "{\"params\": [\"0.2 pF\",\"10 pF\"], \"type\": 1}");
        QTest::newRow("the last two members removed") << with("\"10 pF\"] }", "\"10 pF\"], \"note\": \"x\" }")
            << QByteArray("C1 = 5 pF opt { unconst }") << QByteArray() << with("\"type\": 1, \"params\": [\"0.2 pF\", \"10 pF\"] }", "\"type\": 0 }");
    }

    void updatesKeepTheFilesText()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, other);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("d.json"));
        QVERIFY(writeBytes(path, text));
        DesignStore design;
        QString error;
        QVERIFY(design.load(path, &error));
        QVERIFY(applyLine(design, line.constData(), &error));
        if (!other.isEmpty())
            QVERIFY(writeBytes(path, QByteArray(text).replace(other.split('|').at(0), other.split('|').at(1))));
        QVERIFY2(design.save(&error), qPrintable(error));
        QCOMPARE(readBytes(path), expected);
        QCOMPARE(design.root(), QJsonDocument::fromJson(expected).object());
    }

    void netlistUpdatesReplaceOnlyTheChangedStatements_data()
    {
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<QByteArray>("other");  // another program's edit before the save: "from|to"
        QTest::addColumn<QString>("refused");   // a part of the error; empty: saved
        QTest::newRow("LF") << QByteArray("\n") << QByteArray() << QString();
        QTest::newRow("CRLF") << QByteArray("\r\n") << QByteArray() << QString();
        QTest::newRow("merged with an element line changed") << QByteArray("\n") << QByteArray("C5 out 0 {C5}|C5 out 0 {C5} ; x") << QString();
        QTest::newRow("a replaced statement changed") << QByteArray("\r\n") << QByteArray("C1 = 5 pF|C1 = 6 pF")
            << QStringLiteral("The design file was changed by another program since it was opened.");
        QTest::newRow("the write fails") << QByteArray("\n") << QByteArray() << QStringLiteral("File too large");
    }

    void netlistUpdatesReplaceOnlyTheChangedStatements()
    {
        QFETCH(QByteArray, lineEnd);
        QFETCH(QByteArray, other);
        QFETCH(QString, refused);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("lowpass.cir"));
        const QByteArray original = readBytes(QStringLiteral(HOST_NETLIST_DESIGN)).replace("\n", lineEnd);
        QVERIFY(original.contains("C5 out 0 {C5}") && writeBytes(path, original));
        DesignStore design;
        QString error;
        QVERIFY2(design.load(path, &error) && design.isNetlist(), qPrintable(error));
        if (!other.isEmpty())
            QVERIFY(writeBytes(path, QByteArray(original).replace(other.split('|').at(0), other.split('|').at(1))));
        const QByteArray before = readBytes(path);
        // C1 changed, L2 as it is (written otherwise), Stopband and the algorithm changed.
        const QByteArray stopband = "OptimGoal:Stopband Expr=\"dB(S21)\" SimInstanceName=\"SP1\" Weight=3 \\\nIndepVar[1]=\"freq\" \\\n"
                                    "SpecLimitLine[1]=\"Stopband_Rejection\" \nSpecLimitLine:\"Stopband_Rejection\" Type=\"LessThan\" Min=-45 \\\n"
                                    "IndepVar[1]=\"freq\" IndepMin[1]=2e9 \n";
        MoxInterpreter mox;
        QByteArray goalAsked;
        registerFakePlugin(mox, {QStringLiteral("C1 = 1.8 pF opt { 0.2 pF to 10 pF }"), QStringLiteral("L2 = 3e-9 opt { 1 nH to 30 nH }")},
                           kStopbandList, QStringLiteral("list(\"Optim1\", list(\"OptimType\", 1, list(\"qzVMO\")), "
                                                         "list(\"ErrorForm\", 1, list(\"L2\")), list(\"MaxIters\", 1, list(\"40\")))"),
                           stopband, &goalAsked);
        BackAnnotationResult result;
        {
            const FileSizeLimit limit(refused == QLatin1String("File too large") ? 0 : RLIM_INFINITY);
            result = backAnnotate(&mox, &design, {design.designName(), true, 2, true, 1, true});
        }
        // The goal's text is asked for with the goal in the host's list form.
        QVERIFY2(goalAsked.startsWith("list(list(") && goalAsked.contains(", \"Stopband\"), list("), goalAsked.constData());
        const QByteArray after = readBytes(path);
        QVERIFY2(result.saved == refused.isEmpty() && result.summary().contains(refused), qPrintable(result.summary()));
        if (!refused.isEmpty()) {
            QCOMPARE(after, before);
            QCOMPARE(design.variableValue(QStringLiteral("C1")), QString::fromLatin1(other.isEmpty() ? "5 pF" : "6 pF"));
            return;
        }
        QCOMPARE(design.variableValue(QStringLiteral("C1")), QStringLiteral("1.8 pF"));
        // Line by line: only the lines of the replaced statements differ, and
        // they hold what was handed out.
        const QList<QByteArray> was = before.split('\n');
        const QList<QByteArray> is = after.split('\n');
        QMap<int, QByteArray> expected;
        const auto expect = [&](const QByteArray &prefix, const QByteArray &text) {
            int line = int(std::find_if(was.begin(), was.end(), [&](const QByteArray &l) { return l.startsWith(prefix); }) - was.begin());
            for (const QByteArray &t : text.split('\n'))
                expected.insert(line++, t + lineEnd.chopped(1));
        };
        expect("C1 = ", "C1 = 1.8 pF opt { 0.2 pF to 10 pF }");
        expect("OptimGoal:Stopband", stopband.chopped(1));  // the goal and, on the lines after it, its limit
        expect("OptimAlgorithm:", "OptimAlgorithm:Optim1 OptimType=\"qzVMO\" ErrorForm=\"L2\" MaxIters=40");
        QCOMPARE(expected.size(), 7);
        QCOMPARE(is.size(), was.size());
        for (int i = 0; i < was.size(); ++i)
            QCOMPARE(is.at(i), expected.value(i, was.at(i)));
    }

    void netlistParamLinesAreFixedParameters()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.sp"));
        QVERIFY(writeBytes(path, readBytes(QStringLiteral(HOST_NETLIST_DESIGN))
                                     .replace("C5 out 0 {C5}\n", "C5 out 0 {C5}\n.param RS=50 ; source\n.PARAM CP = {2*RS} \n+ LP=3n\n")));
        DesignStore design;
        QString error;
        QVERIFY2(design.load(path, &error), qPrintable(error));
        for (const auto &[name, value] : {std::pair{"rs", "50"}, {"CP", "{2*RS}"}, {"LP", "3n"}, {"C1", "5 pF"}}) {
            QVERIFY2(design.parameterInformation(QLatin1String(name)).found, name);
            QCOMPARE(design.variableValue(QLatin1String(name)), QLatin1String(value));
        }
        QVERIFY(!design.parameterInformation(QStringLiteral("source")).found);
    }

    void sweepAlgorithmGoesToItsEntry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("entry");  // -1: the design's own algorithm
        QTest::newRow("second entry") << QStringLiteral("Parasitic") << 1;
        QTest::newRow("first entry") << QStringLiteral("Nominal") << 0;
        QTest::newRow("the design's") << QStringLiteral("Optim1") << -1;
    }

    void sweepAlgorithmGoesToItsEntry()
    {
        QFETCH(QString, name);
        QFETCH(int, entry);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sweep.json"));
        QVERIFY(QFile::copy(QStringLiteral(HOST_EXAMPLE_DESIGN).replace(QLatin1String("lowpass.json"), QLatin1String("lowpass-sweep.json")), path));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        const QJsonObject before = readJson(path);
        DesignStore design;
        QString error;
        QVERIFY(design.load(path, &error));
        AlgorithmDefinition algorithm;
        algorithm.name = name;
        algorithm.type = 7;
        algorithm.maxIterations = QStringLiteral("60");
        QVERIFY(design.applyAlgorithm(algorithm, &error) && design.save(&error));
        const QJsonObject after = readJson(path);
        const QJsonObject written{{QStringLiteral("type"), 7}, {QStringLiteral("maxIterations"), 60}};
        const auto sweepAlgorithm = [](const QJsonObject &root, int k) {
            return root.value(QStringLiteral("sweep")).toArray().at(k).toObject().value(QStringLiteral("algorithm")).toObject();
        };
        for (int k = 0; k < 2; ++k)
            QCOMPARE(sweepAlgorithm(after, k), k == entry ? written : sweepAlgorithm(before, k));
        QJsonObject base = before.value(QStringLiteral("algorithm")).toObject();
        if (entry < 0)
            base = QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("type"), 7}, {QStringLiteral("maxIterations"), 60}};
        QCOMPARE(after.value(QStringLiteral("algorithm")).toObject(), base);
    }

    void backAnnotationForAnotherDesignWritesNothing()
    {
        QTemporaryDir dir;
        const QString path = copyExample(dir);
        const QByteArray before = [&] {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        DesignStore design;
        QString error;
        QVERIFY(design.load(path, &error));
        MoxInterpreter mox;
        registerFakePlugin(mox, {QStringLiteral("C1 = 9 pF opt { unconst }")}, QStringLiteral("NULL"), QStringLiteral("NULL"));
        BackAnnotationRequest request{QStringLiteral("/elsewhere/other.json"), true, 1};
        BackAnnotationResult result = backAnnotate(&mox, &design, request);
        QVERIFY(!result.ok);
        QVERIFY(!result.saved);
        // Nothing chosen: nothing asked, nothing saved, and that is fine.
        request.designName = design.designName();
        request.variables = false;
        result = backAnnotate(&mox, &design, request);
        QVERIFY(result.ok);
        QVERIFY(!result.saved);
        // The plug-in hands out nothing: reported, nothing saved.
        request.algorithm = true;
        result = backAnnotate(&mox, &design, request);
        QVERIFY(!result.saved);
        QCOMPARE(result.problems, QStringList{QStringLiteral("the plug-in handed out no algorithm")});
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        DesignStore closed;
        QVERIFY(!backAnnotate(&mox, &closed, request).ok);
    }

    void damagedBlocksAreReportedNotDecoded()
    {
        TracedBlock block;
        QVERIFY(!tracing::assembleBlock({}, block));
        const QList<KuvoMessage> good = blockMessages("OPTIM_HELMDECK OPTIM_ITER", sampleIter("1", "1", 1));
        QList<KuvoMessage> noEnd = good;
        noEnd.removeLast();
        QList<KuvoMessage> badChunk = good;
        badChunk[0].text = "DATA_BLOCK 17 1/1 OPTIM_HELMDECK OPTIM_ITER"; // no payload separator
        QList<KuvoMessage> badEnd = good;
        badEnd.last().text = "NOT A HEADER";
        QVERIFY(!tracing::assembleBlock(noEnd, block));
        QVERIFY(!tracing::assembleBlock(badChunk, block));
        QVERIFY(!tracing::assembleBlock(badEnd, block));
        // A payload that does not read as the record its name says.
        QVERIFY(tracing::assembleBlock(blockMessages("OPTIM_HELMDECK OPTIM_ITER", OptimStatus(2, QString())), block));
        QVERIFY(!block.readCleanly);
        // Text for one line: breaks escaped, long texts cut.
        QCOMPARE(tracing::printable("a\nb\\c"), QStringLiteral("a\\nb\\\\c"));
        QVERIFY(tracing::printable(QByteArray(500, 'x')).size() < 200);
    }

    void oversizedBlocksAreNotKept()
    {
        TracingKuvo kuvo(nullptr, nullptr);
        int observed = 0;
        kuvo.setBlockObserver([&observed](const TracedBlock &) { ++observed; });
        const QByteArray over = QByteArray::number(wire::kMaxBlockChunks + 1);
        // Announced over the size limit: none of it is kept.
        kuvo.noteDelivered({7, wire::KindBlockStart, "DATA_BLOCK 5 " + over + " OPTIM_HELMDECK STATUS"});
        kuvo.noteDelivered({7, wire::KindPlain, "DATA_BLOCK 5 1/" + over + " OPTIM_HELMDECK STATUS:x"});
        QCOMPARE(kuvo.keptCapacity(7), 0);
        // Within it, kept until the block is over, then let go.
        kuvo.noteDelivered({7, wire::KindBlockStart, "DATA_BLOCK 6 2 OPTIM_HELMDECK STATUS"});
        kuvo.noteDelivered({7, wire::KindPlain, "DATA_BLOCK 6 1/2 OPTIM_HELMDECK STATUS:x"});
        QVERIFY(kuvo.keptCapacity(7) > 0);
        kuvo.noteDelivered({7, wire::KindBlockEnd, "DATA_BLOCK 6 2 OPTIM_HELMDECK STATUS"});
        QCOMPARE(kuvo.keptCapacity(7), 0);
        QCOMPARE(observed, 0);
    }

    void everyHelmdeckTopicHasAPage()
    {
        // Every topic the helmdeck window, its editors and dialogs ask for.
        const QStringList topics = QStringLiteral("OPTIM_HELMDECK_DIALOG OPTIM_HELMDECK_OPTIONS OPTIM_HELMDECK_EDIT_ALGORITHM OPTIM_HELMDECK_EDIT_GOALS "
                                                  "OPTIM_HELMDECK_EDIT_VARIABLES OPTIM_HELMDECK_STORE_STATE OPTIM_HELMDECK_RECALL_STATE").split(QLatin1Char(' '));
        for (const QString &topic : topics)
            QVERIFY2(HelpWindow::hasPage(topic), qPrintable(topic));
        for (const QString &topic : HelpWindow::topics())
            QVERIFY2(topics.contains(topic) || topic == QLatin1String("HELMDECK_HOST"), qPrintable(topic));
        QVERIFY(!HelpWindow::hasPage(QStringLiteral("../index")));
        QVERIFY(!HelpWindow::hasPage(QString()));
        // Pages link to each other; every link leads to a page.
        QStringList pages = HelpWindow::topics();
        pages.append(QStringLiteral("index"));
        for (const QString &topic : std::as_const(pages)) {
            QFile page(QStringLiteral(":/helmdeck-help/%1.html").arg(topic));
            QVERIFY(page.open(QIODevice::ReadOnly));
            const QString html = QString::fromUtf8(page.readAll());
            const QRegularExpression link(QStringLiteral("href=\"([^\"]+)\\.html\""));
            for (auto it = link.globalMatch(html); it.hasNext();) {
                const QString target = it.next().captured(1);
                QVERIFY2(target == QLatin1String("index") || HelpWindow::hasPage(target), qPrintable(topic + QLatin1String(" -> ") + target));
            }
        }
    }

    void consoleReaderSplitsLines()
    {
        int fds[2];
        QCOMPARE(::pipe(fds), 0);
        ConsoleReader reader(fds[0]);
        QList<QByteArray> lines;
        // The first line's handler waits in a nested event loop (as for a
        // modal dialog it opened) for the line after it.
        connect(&reader, &ConsoleReader::lineRead, this, [&lines](const QByteArray &l) {
            lines.append(l);
            if (l == "first")
                QTRY_COMPARE(lines.size(), 2);
        });
        QSignalSpy finished(&reader, &ConsoleReader::finished);
        const QByteArray input("first\nsecond\r\nthi");
        QCOMPARE(::write(fds[1], input.constData(), size_t(input.size())), ssize_t(input.size()));
        QTRY_COMPARE(lines.size(), 2);
        QCOMPARE(lines, (QList<QByteArray>{"first", "second"}));
        QCOMPARE(::write(fds[1], "rd", 2), ssize_t(2));
        ::close(fds[1]);
        // The last line without a line break still counts, then the end.
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(lines, (QList<QByteArray>{"first", "second", "third"}));
        QVERIFY(reader.isAtEnd());
        ::close(fds[0]);
    }

    void hostWordsWithoutAndWithADesign()
    {
        HelmdeckHost host{HostOptions()};
        MoxInterpreter *mox = host.mox();
        mox->registerVocabulary("test", {MoxWord::functionWord("two_lines", [mox](const MoxArgs *) {
                                    return mox->makeString("two\nlines\r");
                                })});
        const int live = mox->liveValues();
        const auto eval = [&host](const QByteArray &text) {
            bool ok = false;
            QString error;
            const QByteArray out = host.evaluateLine(text, &ok, &error);
            return ok ? out : "error: " + error.toUtf8();
        };
        // One result, one line.
        QCOMPARE(eval("two_lines()"), QByteArray("\"two\\nlines\\r\""));
        QVERIFY(eval("two_lines(").startsWith("error: position"));
        QCOMPARE(eval("desim_getDesimCurrFgndTopDesignName()"), QByteArray("\"\""));
        QCOMPARE(eval("deopthelmdeck_fetch_parameter_information(\"x\", \"C1\", FALSE)"), QByteArray("list(0, \"\", \"\", list())"));
        QCOMPARE(eval("deopthelmdeck_fetch_component_information(\"x\", \"Passband\", \"zeb_simulation:Goal\") "), QByteArray("list(0)"));
        QCOMPARE(eval("deopthelmdeck_back_annotation( \"x\", TRUE, 1, FALSE, FALSE, 0, FALSE, FALSE, 1, FALSE )"), QByteArray("FALSE"));
        QCOMPARE(eval("deopthelmdeck_back_annotation(\"x\")"), QByteArray("FALSE"));
        QCOMPARE(eval("host_optimize()"), QByteArray("FALSE"));
        QCOMPARE(eval("de_post_help(1)"), QByteArray("FALSE"));
        QTemporaryDir dir;
        const QString path = copyExample(dir);
        QString error;
        QVERIFY(host.openDesign(path, &error));
        const QByteArray name = QFileInfo(path).absoluteFilePath().toUtf8();
        QCOMPARE(eval("deopthelmdeck_fetch_parameter_information(\"other\", \"C1\", FALSE)"), QByteArray("list(0, \"\", \"\", list())"));
        QCOMPARE(eval("deopthelmdeck_fetch_component_information(\"" + name + "\", \"Passband\", \"zeb_simulation:DataBasedLoadPull\")"),
                 QByteArray("list(0)"));
        // No plug-in words: nothing is written, and that is not a failure.
        QCOMPARE(eval("deopthelmdeck_back_annotation( \"" + name + "\", TRUE, 5, FALSE, TRUE, 3, FALSE, FALSE, 1, FALSE )"), QByteArray("TRUE"));
        QCOMPARE(mox->liveValues(), live);
        QCOMPARE(mox->misuseCount(), 0);
    }

    void longTitleIsShownAsOnePlainLine()
    {
        QTemporaryDir dir;
        const QString path = copyExample(dir);
        QJsonObject root = readJson(path);
        root.insert(QStringLiteral("title"), QStringLiteral("<b>a\nb</b>") + QString(1000000, u'x'));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(QJsonDocument(root).toJson()) > 0);
        f.close();
        HelmdeckHost host{HostOptions()};
        QString error;
        QVERIFY2(host.openDesign(path, &error), qPrintable(error));
        HostWindow window(&host);
        window.show();
        const auto *label = window.findChild<QLabel *>(QStringLiteral("designLabel"));
        QVERIFY(label);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        // One line for the title, cut to the label's width; the label does not widen the window.
        const QStringList lines = label->text().split(u'\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).startsWith(QLatin1String("<b>a b</b>x")) && lines.at(0).endsWith(QChar(0x2026)));
        QVERIFY(label->fontMetrics().horizontalAdvance(lines.at(0)) <= label->width());
        QVERIFY(window.minimumSizeHint().width() < 1000);
        QVERIFY(label->toolTip().size() < 1000);
    }

    void designChangesRefreshTheWindowOncePerTurn()
    {
        QTemporaryDir dir;
        HelmdeckHost host{HostOptions()};
        QString error;
        QVERIFY2(host.openDesign(copyExample(dir), &error), qPrintable(error));
        HostWindow window(&host);
        auto *table = window.findChild<QTableWidget *>(QStringLiteral("variablesTable"));
        QVERIFY(table && table->rowCount() > 1);
        // Every refresh sets every cell of the table anew.
        QSignalSpy cellsSet(table->model(), &QAbstractItemModel::dataChanged);
        VariableLine variable;
        variable.netlistName = table->item(1, 0)->text();
        for (int i = 1; i <= 20; ++i) {
            variable.value = QStringLiteral("%1 pF").arg(i);
            QVERIFY2(host.design()->applyVariable(variable, &error), qPrintable(error));
        }
        QTRY_COMPARE(table->item(1, 2)->text(), QStringLiteral("20 pF"));
        QCOMPARE(cellsSet.count(), table->rowCount() * table->columnCount());
    }

    void timeoutEndsTheHostWhateverItsLoopDoes()
    {
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            HelmdeckHost::armTimeoutWatchdog(1);
            for (;;)
                pause();  // held up: no event loop runs
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), int(HelmdeckHost::ExitTimedOut));
    }

    void watchedRunIsPacedToBeFollowed()
    {
        // A watched lowpass run (22 iterations) lasts long enough to press Pause.
        HostOptions options;
        const QStringList watched = options.simulatorArgumentsFor(false);
        QCOMPARE(watched.size(), 1);
        QVERIFY(watched.at(0).startsWith(QLatin1String("--max-rate=")));
        const double rate = watched.at(0).mid(11).toDouble();
        QVERIFY(rate > 0 && 22 / rate >= 25 && 22 / rate <= 40);
        QVERIFY(options.simulatorArgumentsFor(true).isEmpty());
        options.fullSpeed = true;
        QVERIFY(options.simulatorArgumentsFor(false).isEmpty());
        options.fullSpeed = false;
        options.simulatorArguments = {QStringLiteral("--max-rate=9")};
        QCOMPARE(options.simulatorArgumentsFor(false), options.simulatorArguments);
    }

    void closeCallbackIsKeptAndCalled()
    {
        HelmdeckHost host{HostOptions()};
        MoxInterpreter *mox = host.mox();
        QList<QPair<bool, bool>> calls;
        bool answer = true;
        mox->registerVocabulary("test", {MoxWord::functionWord("fake_close", [mox, &calls, &answer](const MoxArgs *a) {
                                    MoxArgReader r(mox, a);
                                    calls.append({r.flag(0).value_or(false), r.flag(1).value_or(false)});
                                    return moxvalues::boolean(mox, answer);
                                })});
        const int live = mox->liveValues();
        // Without a callback there is nothing to ask.
        QVERIFY(host.runCloseCallback(false, true));
        bool ok = false;
        QString error;
        QCOMPARE(host.evaluateLine("de_register_close_addon_callback(\"fake_close\")", &ok, &error), QByteArray("FALSE"));
        QCOMPARE(host.evaluateLine("de_register_close_addon_callback(fake_close)", &ok, &error), QByteArray("TRUE"));
        QVERIFY(host.runCloseCallback(false, true));
        QCOMPARE(calls, (QList<QPair<bool, bool>>{{false, true}}));
        answer = false;
        QVERIFY(!host.runCloseCallback(true, false));
        QCOMPARE(calls.last(), (QPair<bool, bool>{true, false}));
        // Registering again replaces the callback; only the kept one is out.
        QCOMPARE(host.evaluateLine("de_register_close_addon_callback(fake_close)", &ok, &error), QByteArray("TRUE"));
        QCOMPARE(mox->liveValues(), live + 1);
        QCOMPARE(mox->misuseCount(), 0);
        // Quitting asks; a refusal keeps the host when the user may be asked.
        QVERIFY(!host.quit(0, true));
        QCOMPARE(calls.size(), 3);
    }
};

QTEST_MAIN(TestHostParts)
#include "tst_hostparts.moc"
