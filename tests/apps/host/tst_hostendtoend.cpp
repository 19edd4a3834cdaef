// helmdeck-host, the plug-in and helmdeck-sim as real processes, headless:
// what an engineer does with the helmdeck, read back from the host's trace
// and through the host's console.

#include "hostprocess.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

#include <csignal>

namespace {

const QRegularExpression kIterLine(QStringLiteral("^(?:iter|noprogress iter|compact first -?\\d+ iter) (\\S+) error (\\S+) command (-?\\d+)$"));

QRegularExpression exact(const QString &text)
{
    return QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(text) + QLatin1Char('$'));
}

QRegularExpression startsWith(const QString &text)
{
    return QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(text));
}

// The errors of the iterations the plug-in received, in order.
QList<double> iterationErrors(const QStringList &trace)
{
    QList<double> errors;
    for (const QString &line : trace) {
        const QRegularExpressionMatch m = kIterLine.match(line);
        if (m.hasMatch())
            errors.append(m.captured(2).toDouble());
    }
    return errors;
}

struct RunResult
{
    int exitCode = -2;
    QByteArray out;
    QByteArray err;
};

RunResult runHost(const QTemporaryDir &dir, const QStringList &arguments, int timeoutMs = 60000)
{
    QProcess p;
    p.setProcessEnvironment(HostProcess::environment(dir));
    p.start(QStringLiteral(HOST_PATH), HostProcess::commonArguments(dir) + arguments);
    RunResult r;
    if (!p.waitForStarted(10000))
        return r;
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// Optimizes to the end and answers Update Design's item dialog with all
// three items checked (the default). When the host cannot write files, the
// failed copy of the stored states has been told once by then: it is answered.
void optimizeAndUpdateDesign(HostProcess &host, bool fromCloseQuestion, bool statesCopyFails = false)
{
    QCOMPARE(host.eval("host_optimize()"), QByteArray("\"SIM1\""));
    QVERIFY(host.waitForTrace(startsWith(QStringLiteral("status 4 FINISHED")), 0, 60000) >= 0);
    if (statesCopyFails) {
        QVERIFY(host.evalUntil("ui_modal()", "\"savedStatesProblemBox\""));
        QCOMPARE(host.eval("ui_click(\"OK\")"), QByteArray("TRUE"));
    }
    if (fromCloseQuestion) {
        QCOMPARE(host.eval("ui_close_helmdeck()"), QByteArray("TRUE"));
        QVERIFY(host.evalUntil("ui_modal()", "\"optionsDialog\""));
        QCOMPARE(host.eval("ui_click(\"option0\")"), QByteArray("TRUE"));   // "Update the Design"
    } else {
        QVERIFY(host.evalUntil("ui_click(\"updateDesignButton\")", "TRUE"));
    }
    QVERIFY(host.evalUntil("ui_modal()", "\"updateItemsDialog\""));
    QCOMPARE(host.eval("ui_click(\"OK\")"), QByteArray("TRUE"));
}

// Starts the host on design with the simulator held to 5 iterations a second
// and optimizes: the index of the first iteration's trace line, or -1.
int startRunning(HostProcess &host, const QString &design)
{
    if (!host.start({design, QStringLiteral("--sim-arg=--max-rate=5")}) || host.eval("host_optimize()") != "\"SIM1\"")
        return -1;
    return host.waitForTrace(kIterLine);
}

} // namespace

class TestHostEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_design = m_dir->filePath(QStringLiteral("design.json"));
        QVERIFY(QFile::copy(QStringLiteral(HOST_EXAMPLE_DESIGN), m_design));
        QVERIFY(QFile::setPermissions(m_design, QFile::ReadOwner | QFile::WriteOwner));
    }

    void initTestCase()
    {
        // Every test needs the plug-in; one that does not load fails here, at once.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const RunResult r = runHost(dir, {QStringLiteral("--eval"), QStringLiteral("optimHelmdeck_pluginLoaded")}, 30000);
        QVERIFY2(r.exitCode == 0 && r.out == "1\n", r.err.constData());
    }

    void evalExitCodes_data()
    {
        QTest::addColumn<bool>("withDesign");
        QTest::addColumn<QString>("expression");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");  // standard output, or what standard error must hold
        QTest::newRow("plug-in word") << false << "optimHelmdeck_valueWithUnits(\"0.0022\",\"H\")" << 0 << QByteArray("\"2.2 mH\"\n");
        QTest::newRow("parameter of the design")
            << true << "deopthelmdeck_fetch_parameter_information(desim_getDesimCurrFgndTopDesignName(), \"l2\", FALSE)" << 0
            << QByteArray("list(1, \"L2\", \"H\", list())\n");
        QTest::newRow("goal of the design")
            << true << "deopthelmdeck_fetch_component_information(desim_getDesimCurrFgndTopDesignName(), \"Stopband\", \"zeb_simulation:Goal\") "
            << 0 << QByteArray("list(1)\n");
        QTest::newRow("no simulator") << false << "desim_get_current_simulator_id()" << 0 << QByteArray("\"\"\n");
        QTest::newRow("syntax error") << false << "optimHelmdeck_valueWithUnits(\"1\"," << 1 << QByteArray("error: position");
        QTest::newRow("unknown word") << false << "no_such_word()" << 1 << QByteArray("unknown function");
    }

    void evalExitCodes()
    {
        QFETCH(bool, withDesign);
        QFETCH(QString, expression);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QStringList arguments{QStringLiteral("--eval"), expression};
        if (withDesign)
            arguments.prepend(m_design);
        const RunResult r = runHost(*m_dir, arguments);
        QCOMPARE(r.exitCode, exitCode);
        if (exitCode == 0)
            QCOMPARE(r.out, out);
        else
            QVERIFY2(r.out.isEmpty() && r.err.contains(out), r.err.constData());
    }

    void unreadableDesignExitsTwo()
    {
        QFile bad(m_dir->filePath(QStringLiteral("bad.json")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("{ not json");
        bad.close();
        const RunResult r = runHost(*m_dir, {bad.fileName(), QStringLiteral("--eval"), QStringLiteral("1")});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("not JSON"), r.err.constData());
    }

    void consoleAnswersInOrder()
    {
        HostProcess host(*m_dir);
        QVERIFY(host.start({}));
        // Blank lines and comments give no result line; errors give one.
        host.process().write("\n# a comment\n");
        QCOMPARE(host.eval("list(1, \"a\")"), QByteArray("list(1, \"a\")"));
        QVERIFY(host.eval("list(").startsWith("error: position"));
        QCOMPARE(host.eval("desim_getDesimCurrFgndTopDesignName()"), QByteArray("\"\""));
        QCOMPARE(host.eval("host_simulators()"), QByteArray("list()"));
        // Started without a design, the host shows no window.
        QCOMPARE(host.eval("ui_exists(\"helmdeckHostWindow\")"), QByteArray("FALSE"));
        QCOMPARE(host.finish(), 0);
    }

    void secondHostOnTheSameBusIsRefused()
    {
        HostProcess first(*m_dir);
        QVERIFY(first.start({}));
        QCOMPARE(first.eval("1"), QByteArray("1"));
        const RunResult second = runHost(*m_dir, {QStringLiteral("--console")}, 20000);
        QCOMPARE(second.exitCode, 2);
        QVERIFY2(second.err.contains("cannot run the KUVO broker"), second.err.constData());
        // The first host is not disturbed.
        QCOMPARE(first.eval("2"), QByteArray("2"));
        QCOMPARE(first.finish(), 0);
    }

    void optimizationRunsToFinishedWithFallingError()
    {
        HostProcess host(*m_dir);
        // One iteration per block: the simulator is held to 20 iterations a second.
        QVERIFY(host.start({m_design, QStringLiteral("--sim-arg=--max-rate=20")}));
        QCOMPARE(host.eval("host_optimize()"), QByteArray("\"SIM1\""));
        QVERIFY(host.waitForTrace(exact(QStringLiteral("block OPTIM_HELMDECK OPEN_HELMDECK SINGLE_OPT INTERACTIVE"))) >= 0);
        QVERIFY(host.waitForTrace(startsWith(QStringLiteral("status 1 INITIALIZING"))) >= 0);
        const int finished = host.waitForTrace(startsWith(QStringLiteral("status 4 FINISHED")), 0, 60000);
        QVERIFY(finished >= 0);
        const QList<double> errors = iterationErrors(host.traceLines().mid(0, finished));
        QVERIFY2(errors.size() >= 3, qPrintable(host.traceLines().join(QLatin1Char('\n'))));
        QVERIFY2(errors.last() < errors.first(), qPrintable(QStringLiteral("first %1 last %2").arg(errors.first()).arg(errors.last())));
        // The error shown is the best so far: it never rises.
        for (qsizetype i = 1; i < errors.size(); ++i)
            QVERIFY(errors.at(i) <= errors.at(i - 1));
        QCOMPARE(host.eval("desim_get_current_simulator_id()"), QByteArray("\"SIM1\""));
        // The finished icon's tooltip goes on with the goals' verdict.
        QCOMPARE(host.eval("ui_property(\"statusIconView\", \"toolTip\")"),
                 QByteArray("\"Finished and paused: all goals met\""));
        QCOMPARE(host.eval("ui_text(\"pauseContinueButton\")"), QByteArray("\"Continue\""));
        QCOMPARE(host.finish(), 0);
    }

    void pauseThenContinue()
    {
        HostProcess host(*m_dir);
        QVERIFY(startRunning(host, m_design) >= 0);
        QVERIFY(host.evalUntil("ui_text(\"pauseContinueButton\")", "\"Pause\""));
        QCOMPARE(host.eval("ui_click(\"pauseContinueButton\")"), QByteArray("TRUE"));
        // The pause goes to the session role, which relays it to the simulator.
        const int relayed = host.waitForTrace(exact(QStringLiteral("session: pause SIM1 relayed to 3")));
        QVERIFY(relayed >= 0);
        QVERIFY(host.waitForTrace(startsWith(QStringLiteral("send 11 to 2: OPTIM_HELMDECK_PAUSE SIM1"))) >= 0);
        const int paused = host.waitForTrace(startsWith(QStringLiteral("status 3 PAUSED")), relayed);
        QVERIFY(paused >= 0);
        QVERIFY(host.evalUntil("ui_text(\"pauseContinueButton\")", "\"Continue\""));
        QCOMPARE(host.eval("ui_property(\"statusIconView\", \"toolTip\")"), QByteArray("\"Paused\""));
        const qsizetype iterationsBefore = iterationErrors(host.traceLines()).size();
        QVERIFY(host.evalUntil("ui_click(\"pauseContinueButton\")", "TRUE"));
        QVERIFY(host.waitForTrace(exact(QStringLiteral("send block OPTIM_HELMDECK CONTINUE to 3")), paused) >= 0);
        const int running = host.waitForTrace(startsWith(QStringLiteral("status 2 RUNNING")), paused);
        QVERIFY(running >= 0);
        QVERIFY(host.waitForTrace(startsWith(QStringLiteral("status 4 FINISHED")), running, 60000) >= 0);
        QVERIFY2(iterationErrors(host.traceLines()).size() > iterationsBefore, "no iteration after continuing");
        QCOMPARE(host.finish(), 0);
    }

    void helpButtonShowsThePage()
    {
        HostProcess host(*m_dir);
        QVERIFY(host.start({m_design}));
        QCOMPARE(host.eval("host_help_topic()"), QByteArray("NULL"));
        QCOMPARE(host.eval("host_optimize()"), QByteArray("\"SIM1\""));
        QVERIFY(host.waitForTrace(startsWith(QStringLiteral("status 4 FINISHED")), 0, 60000) >= 0);
        QVERIFY(host.evalUntil("ui_click(\"helpButton\")", "TRUE"));
        QVERIFY(host.waitForTrace(exact(QStringLiteral("help OPTIM_HELMDECK_DIALOG"))) >= 0);
        QCOMPARE(host.eval("host_help_topic()"), QByteArray("\"OPTIM_HELMDECK_DIALOG\""));
        QCOMPARE(host.eval("ui_property(\"hostHelpWindow\", \"windowTitle\")"), QByteArray("\"Helmdeck Help - The helmdeck window\""));
        // A topic without a page shows the contents.
        QCOMPARE(host.eval("de_post_help(\"NO_SUCH_TOPIC\")"), QByteArray("TRUE"));
        QVERIFY(host.waitForTrace(exact(QStringLiteral("help NO_SUCH_TOPIC (no page)"))) >= 0);
        QCOMPARE(host.finish(), 0);
    }

    void closingTheWindowFinishesTheSimulation()
    {
        HostProcess host(*m_dir);
        QVERIFY(host.start({m_design}));
        QCOMPARE(host.eval("host_optimize()"), QByteArray("\"SIM1\""));
        const int finished = host.waitForTrace(startsWith(QStringLiteral("status 4 FINISHED")), 0, 60000);
        QVERIFY(finished >= 0);
        QCOMPARE(host.eval("ui_exists(\"optimHelmdeckDialog\")"), QByteArray("TRUE"));
        // The window's close offers to update the design first; decline.
        QCOMPARE(host.eval("ui_close_helmdeck()"), QByteArray("TRUE"));
        QVERIFY(host.evalUntil("ui_modal()", "\"optionsDialog\""));
        QCOMPARE(host.eval("ui_click(\"option1\")"), QByteArray("TRUE"));
        const int finish = host.waitForTrace(exact(QStringLiteral("send block OPTIM_HELMDECK FINISH_SIMULATION to 3")), finished);
        QVERIFY(finish >= 0);
        QVERIFY(host.waitForTrace(startsWith(QStringLiteral("status 5 EXITED")), finish) >= 0);
        QVERIFY(host.waitForTrace(exact(QStringLiteral("session: SIM1 exited with code 0")), finish) >= 0);
        // The session role reports the analysis done to the plug-in.
        QVERIFY(host.waitForTrace(exact(QStringLiteral("message 11 from 2: NOTIFY SESS ANALYZE_DONE SIM1")), finish) >= 0);
        QVERIFY(host.evalUntil("ui_exists(\"optimHelmdeckDialog\")", "FALSE"));
        QCOMPARE(host.eval("host_simulator_state(\"SIM1\")"), QByteArray("\"exited 0\""));
        QCOMPARE(host.eval("desim_get_current_simulator_id()"), QByteArray("\"\""));
        QCOMPARE(host.finish(), 0);
    }

    void stopAndReleaseLeavesWindowKilled()
    {
        HostProcess host(*m_dir);
        const int first = startRunning(host, m_design);
        QVERIFY(first >= 0);
        QCOMPARE(host.eval("desim_stop_and_release_simulator()"), QByteArray("TRUE"));
        QVERIFY(host.waitForTrace(exact(QStringLiteral("message 11 from 2: NOTIFY OPTIM_HELMDECK_SIMULATOR_BEING_KILLED SIM1")), first) >= 0);
        QVERIFY(host.waitForTrace(exact(QStringLiteral("session: SIM1 stopped by the host")), first) >= 0);
        QVERIFY(host.evalUntil("ui_property(\"statusIconView\", \"toolTip\")", "\"Finished with error\""));
        QCOMPARE(host.eval("ui_exists(\"optimHelmdeckDialog\")"), QByteArray("TRUE"));
        QCOMPARE(host.eval("host_simulator_state(\"SIM1\")"), QByteArray("\"killed\""));
        QCOMPARE(host.eval("desim_stop_and_release_simulator()"), QByteArray("FALSE"));
        // Nothing came from the simulator after it was killed, and no analysis-done.
        for (const QString &line : host.traceLines().mid(first)) {
            QVERIFY2(!line.startsWith(QLatin1String("status ")), qPrintable(line));
            QVERIFY2(!line.contains(QLatin1String("ANALYZE_DONE")), qPrintable(line));
        }
        QCOMPARE(host.finish(), 0);
    }

    void killedSimulatorProcessLeavesWindowKilled()
    {
        HostProcess host(*m_dir);
        const int first = startRunning(host, m_design);
        QVERIFY(first >= 0);
        bool ok = false;
        const qint64 pid = host.eval("host_simulator_pid(\"SIM1\")").toLongLong(&ok);
        QVERIFY(ok && pid > 0);
        QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
        // The broker announces the departure; the session sends nothing.
        QVERIFY(host.waitForTrace(exact(QStringLiteral("message 13 from 3: tolvanesim sim-1")), first) >= 0);
        QVERIFY(host.waitForTrace(exact(QStringLiteral("session: SIM1 crashed")), first) >= 0);
        QVERIFY(host.evalUntil("ui_property(\"statusIconView\", \"toolTip\")", "\"Finished with error\""));
        QCOMPARE(host.eval("ui_exists(\"optimHelmdeckDialog\")"), QByteArray("TRUE"));
        QCOMPARE(host.eval("ui_text(\"pauseContinueButton\")"), QByteArray("\"Continue\""));
        QCOMPARE(host.eval("ui_property(\"pauseContinueButton\", \"enabled\")"), QByteArray("\"false\""));
        QCOMPARE(host.eval("desim_get_current_simulator_id()"), QByteArray("\"\""));
        for (const QString &line : host.traceLines())
            QVERIFY2(!line.contains(QLatin1String("ANALYZE_DONE")), qPrintable(line));
        QCOMPARE(host.finish(), 0);
    }

    void releasingTheSimulatorDisconnectsIt()
    {
        HostProcess host(*m_dir);
        const int first = startRunning(host, m_design);
        QVERIFY(first >= 0);
        // The helmdeck is told the simulator is being closed and disconnects it;
        // the simulator then ends by itself.
        QCOMPARE(host.eval("host_release_simulator()"), QByteArray("TRUE"));
        QVERIFY(host.waitForTrace(exact(QStringLiteral("send 11 to 3: OPTIM_HELMDECK_DISCONNECT")), first) >= 0);
        QVERIFY(host.waitForTrace(exact(QStringLiteral("session: SIM1 exited with code 0")), first) >= 0);
        QCOMPARE(host.eval("host_simulator_state(\"SIM1\")"), QByteArray("\"exited 0\""));
        QVERIFY(host.evalUntil("ui_property(\"statusIconView\", \"toolTip\")", "\"Finished with error\""));
        QCOMPARE(host.eval("ui_exists(\"optimHelmdeckDialog\")"), QByteArray("TRUE"));
        QCOMPARE(host.eval("host_release_simulator()"), QByteArray("FALSE"));
        QCOMPARE(host.finish(), 0);
    }

    void updateDesignWritesTheDesign()
    {
        HostProcess host(*m_dir);
        QVERIFY(host.start({m_design}));
        optimizeAndUpdateDesign(host, false);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(host.waitForTrace(exact(QStringLiteral("back annotation: wrote 5 variable(s), 3 goal(s), the algorithm; design saved")))
                >= 0);
        // The optimized value of C1 is now the design's.
        const QByteArray line = host.eval("optimHelmdeck_fetchVariable(0)");
        const QByteArray value = host.eval("host_design_value(\"C1\")");
        QVERIFY2(value != "\"5 pF\"" && line == "\"C1 = " + value.mid(1, value.size() - 2) + " opt { 0.2 pF to 10 pF }\"",
                 (line + " / " + value).constData());
        // The design is up to date: the window closes without a design question.
        QCOMPARE(host.eval("ui_close_helmdeck()"), QByteArray("TRUE"));
        QVERIFY(host.evalUntil("ui_exists(\"optimHelmdeckDialog\")", "FALSE"));
        QCOMPARE(host.finish(), 0);
        QFile saved(m_design);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray text = saved.readAll();
        const QJsonObject root = QJsonDocument::fromJson(text).object();
        // The file keeps its text: only the variables' lines changed ("800 MHz"
        // stays, keys keep their order).
        QFile example(QStringLiteral(HOST_EXAMPLE_DESIGN));
        QVERIFY(example.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = text.split('\n');
        const QList<QByteArray> exampleLines = example.readAll().split('\n');
        QCOMPARE(lines.size(), exampleLines.size());
        for (qsizetype i = 0; i < lines.size(); ++i)
            QVERIFY2(lines.at(i) == exampleLines.at(i) || lines.at(i).contains("\"netlistName\""), lines.at(i).constData());
        QCOMPARE(root["variables"][0]["value"].toString().toUtf8(), value.mid(1, value.size() - 2));
        QVERIFY(root["goals"].toArray().size() == 3 && root["algorithm"]["type"].toInt() == 2);
        // What back annotation does not touch is written back as it was.
        QFile original(QStringLiteral(HOST_EXAMPLE_DESIGN));
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QJsonObject before = QJsonDocument::fromJson(original.readAll()).object();
        for (const char *key : {"circuit", "analysis", "format", "title"})
            QCOMPARE(root.value(QLatin1String(key)), before.value(QLatin1String(key)));
        // The simulator still reads the design.
        QProcess sim;
        sim.start(QStringLiteral(SIM_PATH), {QStringLiteral("--design"), m_design, QStringLiteral("--netlist")});
        QVERIFY(sim.waitForFinished(20000));
        QCOMPARE(sim.exitCode(), 0);
    }

    void sweepUpdateWritesTheShownOptimizationsEntry()
    {
        const QString design = m_dir->filePath(QStringLiteral("sweep.json"));
        QVERIFY(QFile::copy(QStringLiteral(HOST_EXAMPLE_DESIGN).replace(QLatin1String("lowpass.json"), QLatin1String("lowpass-sweep.json")), design));
        QVERIFY(QFile::setPermissions(design, QFile::ReadOwner | QFile::WriteOwner));
        const auto read = [&design] {
            QFile f(design);
            return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
        };
        const QJsonObject before = read();
        HostProcess host(*m_dir);
        QVERIFY(host.start({design}));
        QCOMPARE(host.eval("host_optimize()"), QByteArray("\"SIM1\""));
        const int first = host.waitForTrace(startsWith(QStringLiteral("status 4 FINISHED")), 0, 60000);
        QVERIFY(first >= 0 && host.waitForTrace(startsWith(QStringLiteral("status 4 FINISHED")), first + 1, 60000) >= 0);
        QVERIFY(host.evalUntil("ui_click(\"updateDesignButton\")", "TRUE"));
        QVERIFY(host.evalUntil("ui_modal()", "\"updateItemsDialog\""));
        // The dialog names the optimization written; its algorithm goes into its entry.
        const QByteArray which = host.eval("ui_text(\"updateOptimizationLabel\")");
        const int entry = which.contains("Parasitic") && which.contains("(With 1 pF at the output)") ? 1
            : which.contains("Nominal") && which.contains("(As drawn)") ? 0 : -1;
        QVERIFY2(entry >= 0, which.constData());
        QCOMPARE(host.eval("ui_click(\"OK\")"), QByteArray("TRUE"));
        QVERIFY(host.waitForTrace(startsWith(QStringLiteral("back annotation: wrote 5 variable(s), 3 goal(s), the algorithm; design saved"))) >= 0);
        QCOMPARE(host.finish(), 0);
        const QJsonObject after = read();
        QCOMPARE(after.value(QStringLiteral("algorithm")), before.value(QStringLiteral("algorithm")));
        const QJsonObject written = after["sweep"][entry]["algorithm"].toObject();
        const QJsonObject nominal{{QStringLiteral("type"), 2}, {QStringLiteral("maxIterations"), 100}};
        QCOMPARE(written, entry == 1 ? before["sweep"][1]["algorithm"].toObject() : nominal);
    }

    void refusedUpdateIsToldAndAskedAgain()
    {
        // A host whose files may not grow past 1 KiB: the design (2 KiB) cannot
        // be written, as on a full disk. The host lives on and keeps the file.
        HostProcess host(*m_dir);
        host.process().setChildProcessModifier([] {
            const rlimit limit{1024, 1024};
            setrlimit(RLIMIT_FSIZE, &limit);
        });
        QVERIFY(host.start({m_design}));
        const QByteArray before = [this] {
            QFile f(m_design);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        const QByteArray value = host.eval("host_design_value(\"C1\")");
        optimizeAndUpdateDesign(host, true, true);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(host.evalUntil("ui_modal()", "\"designNotUpdatedMessage\""));
        QVERIFY(host.waitForTrace(QRegularExpression(QStringLiteral("^back annotation: .*File too large$"))) >= 0);
        QCOMPARE(host.eval("ui_click(\"OK\")"), QByteArray("TRUE"));
        // The host holds what the file holds.
        QCOMPARE(host.eval("host_design_value(\"C1\")"), value);
        // The window stays open, and the next close asks again.
        QVERIFY(host.evalUntil("ui_modal()", "NULL"));
        QCOMPARE(host.eval("ui_exists(\"optimHelmdeckDialog\")"), QByteArray("TRUE"));
        QCOMPARE(host.eval("ui_close_helmdeck()"), QByteArray("TRUE"));
        QVERIFY(host.evalUntil("ui_modal()", "\"optionsDialog\""));
        QCOMPARE(host.eval("ui_click(\"option1\")"), QByteArray("TRUE"));   // "Don't Update the Design"
        QVERIFY(host.evalUntil("ui_exists(\"optimHelmdeckDialog\")", "FALSE"));
        QCOMPARE(host.finish(), 0);
        QFile after(m_design);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), before);
    }

    void discreteVariablesShowPartValues()
    {
        QFile in(QStringLiteral(HOST_EXAMPLE_DESIGN).replace(QLatin1String("lowpass.json"), QLatin1String("lowpass-discrete.json")));
        QVERIFY(in.open(QIODevice::ReadOnly));
        QJsonObject design = QJsonDocument::fromJson(in.readAll()).object();
        QJsonArray variables = design.value(QStringLiteral("variables")).toArray();
        QJsonObject c1 = variables.at(0).toObject();
        c1.insert(QStringLiteral("name"), QStringLiteral("Cin"));
        variables.replace(0, c1);
        design.insert(QStringLiteral("variables"), variables);
        QFile out(m_dir->filePath(QStringLiteral("discrete.json")));
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(QJsonDocument(design).toJson()) > 0);
        out.close();
        HostProcess host(*m_dir);
        QVERIFY(startRunning(host, out.fileName()) >= 0);
        // The simulator names no variable: the name and the part values are the host's answer.
        QCOMPARE(host.eval("ui_text(\"varSliderName\")"), QByteArray("\"Cin\""));
        // C1's slider shows a listed part value ("8.2 pF", not "8 F"); its line keeps the position.
        const QByteArray shown = host.eval("ui_text(\"varSliderValue\")");
        QVERIFY2(QRegularExpression(QStringLiteral("^\"\\d+(\\.\\d)? pF\"$")).match(QString::fromUtf8(shown)).hasMatch(), shown.constData());
        const QByteArray line = host.eval("optimHelmdeck_fetchVariable(0)");
        QVERIFY2(line.startsWith("\"C1 = ") && line.endsWith(" opt { discrete 0 to 13 by 1 }\""), line.constData());
        QCOMPARE(host.finish(), 0);
    }

    void withoutPluginTheRendezvousIsRefused()
    {
        HostProcess host(*m_dir);
        QVERIFY(host.start({m_design}, m_dir->filePath(QStringLiteral("missing.so"))));
        QCOMPARE(host.eval("optimHelmdeck_pluginLoaded"), QByteArray("NULL"));
        QVERIFY(host.errorLines().join(QLatin1Char('\n')).contains(QLatin1String("the plug-in could not be loaded")));
        QCOMPARE(host.eval("host_optimize()"), QByteArray("\"SIM1\""));
        // The simulator is told no at once and gives up (exit status 3: no host).
        QVERIFY(host.waitForTrace(exact(QStringLiteral("session: SIM1 exited with code 3")), 0, 30000) >= 0);
        QCOMPARE(host.finish(), 0);
    }

    void screenshotAfterIterations()
    {
        const QString png = m_dir->filePath(QStringLiteral("shot.png"));
        const RunResult r = runHost(*m_dir, {m_design, QStringLiteral("--optimize"), QStringLiteral("--trace"),
                                          QStringLiteral("--sim-arg=--max-rate=20"), QStringLiteral("--screenshot"), png,
                                          QStringLiteral("--quit-after-iterations"), QStringLiteral("3")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.contains("trace: screenshot " + png.toUtf8() + " of \"Optimization Helmdeck\""), r.err.constData());
        const QImage image(png);
        QVERIFY(!image.isNull());
        QVERIFY(image.width() > 300 && image.height() > 200);
        // The simulation was ended with the host.
        QVERIFY(r.err.contains("trace: quit 0"));
    }
private:
    // Each test's directory and its copy of the example design.
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_design;
};

QTEST_GUILESS_MAIN(TestHostEndToEnd)
#include "tst_hostendtoend.moc"
