// The host's session role with a real bus: pause relay to the simulator with
// the named id, analysis-done on a normal exit, the kill notification, and
// the simulator processes themselves (stand-in programs, shell scripts).

#include "hostsession.h"
#include "hosttrace.h"

#include "kuvo/kuvobroker.h"
#include "kuvo/kuvoclient.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kWaitMs = 10000;

QString script(const QTemporaryDir &dir, const QString &name, const QByteArray &body)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QString();
    f.write("#!/bin/sh\n" + body + '\n');
    f.close();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace

class TestHostSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_path = m_dir->filePath(QStringLiteral("kuvo"));
        m_broker = std::make_unique<KuvoBroker>();
        QVERIFY(m_broker->listen(m_path));
        m_plugin = std::make_unique<KuvoClient>();
        m_plugin->setTimeout(kWaitMs);
        QVERIFY(m_plugin->connectToBroker(m_path, "tolvane"));
        m_lines.clear();
        m_trace = std::make_unique<HostTrace>();
        m_trace->setObserver([this](const QString &line) { m_lines.append(line); });
        m_session = std::make_unique<HostSession>(m_trace.get());
        QString error;
        QVERIFY2(m_session->connectToBus(m_path, m_plugin->address(), &error), qPrintable(error));
        QCOMPARE(m_session->client()->name(), QByteArray("tolvanesess"));
    }

    void cleanup()
    {
        m_session.reset();
        m_plugin.reset();
        m_broker.reset();
        m_trace.reset();
        m_dir.reset();
    }

    void pauseIsRelayedToTheSimulatorWithThatId()
    {
        m_session->setSimulatorProgram(script(*m_dir, QStringLiteral("sim.sh"), "exec sleep 30"));
        QString error;
        QCOMPARE(m_session->startSimulator(QStringLiteral("design.json"), &error), QByteArray("SIM1"));
        QTRY_COMPARE_WITH_TIMEOUT(m_session->simulator("SIM1").state, HostSession::SimState::Running, kWaitMs);
        QCOMPARE(m_session->currentSimulatorId(), QByteArray("SIM1"));
        QVERIFY(m_session->simulator("SIM1").pid > 0);

        // The simulator's bus client under the name the session gave it.
        KuvoClient simulator;
        simulator.setTimeout(kWaitMs);
        QVERIFY(simulator.connectToBroker(m_path, "tolvanesim", "sim-1"));

        int session = -1;
        QVERIFY(m_plugin->lookup("tolvanesess", session));
        QCOMPARE(session, m_session->client()->address());
        QVERIFY(m_plugin->send(session, 11, "OPTIM_HELMDECK_PAUSE SIM1"));
        KuvoMessage relayed;
        QVERIFY(simulator.waitForMessage(relayed));
        QCOMPARE(relayed.kind, 11);
        QCOMPARE(relayed.text, QByteArray("OPTIM_HELMDECK_PAUSE SIM1"));
        QCOMPARE(relayed.sender, session);
        QVERIFY(traceHas(QStringLiteral("session: pause SIM1 relayed to %1").arg(simulator.address())));

        // A pause for a simulator the session did not start goes nowhere.
        QVERIFY(m_plugin->send(session, 11, "OPTIM_HELMDECK_PAUSE SIM7"));
        QTRY_VERIFY2_WITH_TIMEOUT(traceHas(QStringLiteral("session: pause for SIM7: no such simulator running")),
                                  qPrintable(m_lines.join(QLatin1Char('\n'))), kWaitMs);
        // A pause without an id means the current simulator.
        QVERIFY(m_plugin->send(session, 11, "OPTIM_HELMDECK_PAUSE"));
        QVERIFY(simulator.waitForMessage(relayed));
        QCOMPARE(relayed.text, QByteArray("OPTIM_HELMDECK_PAUSE"));
        // Anything else is ignored.
        QVERIFY(m_plugin->send(session, 11, "SOMETHING ELSE"));
        QTRY_VERIFY_WITH_TIMEOUT(traceHas(QStringLiteral("session: ignored message 11 from %1").arg(m_plugin->address())), kWaitMs);
        QCOMPARE(simulator.pendingMessages(), 0);
    }

    void stopAndReleaseNotifiesThenKills()
    {
        m_session->setSimulatorProgram(script(*m_dir, QStringLiteral("sim.sh"), "exec sleep 30"));
        QString error;
        QCOMPARE(m_session->startSimulator(QStringLiteral("design.json"), &error), QByteArray("SIM1"));
        QTRY_COMPARE_WITH_TIMEOUT(m_session->simulator("SIM1").state, HostSession::SimState::Running, kWaitMs);
        QSignalSpy changed(m_session.get(), &HostSession::simulatorStateChanged);

        QVERIFY(m_session->stopAndRelease("SIM1"));
        // Released at once: no longer current, not stopped twice.
        QVERIFY(m_session->currentSimulatorId().isEmpty());
        QVERIFY(!m_session->stopAndRelease("SIM1"));
        const KuvoMessage notice = nextForPlugin();
        QCOMPARE(notice.kind, 11);
        QCOMPARE(notice.text, QByteArray("NOTIFY OPTIM_HELMDECK_SIMULATOR_BEING_KILLED SIM1"));
        QCOMPARE(notice.sender, m_session->client()->address());
        QTRY_COMPARE_WITH_TIMEOUT(m_session->simulator("SIM1").state, HostSession::SimState::Killed, kWaitMs);
        QCOMPARE(HostSession::stateText(m_session->simulator("SIM1")), QStringLiteral("killed"));
        QVERIFY(changed.count() >= 1);
        QVERIFY(!m_session->stopAndRelease("SIM9"));

        // No analysis-done follows the kill: the next notification is the next simulator's.
        m_session->setSimulatorProgram(script(*m_dir, QStringLiteral("quick.sh"), "exit 0"));
        QCOMPARE(m_session->startSimulator(QStringLiteral("design.json"), &error), QByteArray("SIM2"));
        QCOMPARE(nextForPlugin().text, QByteArray("NOTIFY SESS ANALYZE_DONE SIM2"));
    }

    void normalExitSendsAnalyzeDoneCrashDoesNot()
    {
        QString error;
        m_session->setSimulatorProgram(script(*m_dir, QStringLiteral("exit3.sh"), "exit 3"));
        QCOMPARE(m_session->startSimulator(QStringLiteral("design.json"), &error), QByteArray("SIM1"));
        const KuvoMessage done = nextForPlugin();
        QCOMPARE(done.kind, 11);
        QCOMPARE(done.text, QByteArray("NOTIFY SESS ANALYZE_DONE SIM1"));
        QCOMPARE(m_session->simulator("SIM1").state, HostSession::SimState::Exited);
        QCOMPARE(HostSession::stateText(m_session->simulator("SIM1")), QStringLiteral("exited 3"));
        QVERIFY(m_session->currentSimulatorId().isEmpty());

        m_session->setSimulatorProgram(script(*m_dir, QStringLiteral("crash.sh"), "kill -9 $$"));
        QCOMPARE(m_session->startSimulator(QStringLiteral("design.json"), &error), QByteArray("SIM2"));
        QTRY_COMPARE_WITH_TIMEOUT(m_session->simulator("SIM2").state, HostSession::SimState::Crashed, kWaitMs);
        QVERIFY(traceHas(QStringLiteral("session: SIM2 crashed")));

        m_session->setSimulatorProgram(script(*m_dir, QStringLiteral("ok.sh"), "exit 0"));
        QCOMPARE(m_session->startSimulator(QStringLiteral("design.json"), &error), QByteArray("SIM3"));
        QCOMPARE(nextForPlugin().text, QByteArray("NOTIFY SESS ANALYZE_DONE SIM3"));
        QCOMPARE(m_session->simulatorIds(), (QList<QByteArray>{"SIM1", "SIM2", "SIM3"}));
    }

    void simulatorGetsItsArgumentsAndItsOutputIsPassedOn()
    {
        const QString argsFile = m_dir->filePath(QStringLiteral("args.txt"));
        m_session->setSimulatorProgram(script(*m_dir, QStringLiteral("args.sh"),
                                              "for a in \"$@\"; do echo \"$a\" >> '" + argsFile.toUtf8() + "'; done\n"
                                              "echo first line\nprintf 'no line break'\nexit 0"));
        m_session->setExtraArguments({QStringLiteral("--max-rate"), QStringLiteral("20")});
        QList<QString> output;
        connect(m_session.get(), &HostSession::simulatorOutput, this, [&output](const QByteArray &id, const QString &line) {
            if (id == "SIM1")
                output.append(line);
        });
        QString error;
        QCOMPARE(m_session->startSimulator(QStringLiteral("the design.json"), &error), QByteArray("SIM1"));
        QCOMPARE(nextForPlugin().text, QByteArray("NOTIFY SESS ANALYZE_DONE SIM1"));
        QCOMPARE(output, (QList<QString>{QStringLiteral("first line"), QStringLiteral("no line break")}));
        QFile f(argsFile);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                 (QStringList{QStringLiteral("--design"), QStringLiteral("the design.json"), QStringLiteral("--kuvo"), m_path,
                              QStringLiteral("--id"), QStringLiteral("SIM1"), QStringLiteral("--name"), QStringLiteral("sim-1"),
                              QStringLiteral("--max-rate"), QStringLiteral("20")}));
    }

    void missingProgramFailsCleanly()
    {
        QString error;
        m_session->setSimulatorProgram(m_dir->filePath(QStringLiteral("missing")));
        QVERIFY(m_session->startSimulator(QStringLiteral("design.json"), &error).isEmpty());
        QVERIFY(error.contains(QLatin1String("not found")));
        QFile plain(m_dir->filePath(QStringLiteral("plain.txt")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        m_session->setSimulatorProgram(plain.fileName());
        error.clear();
        QVERIFY(m_session->startSimulator(QStringLiteral("design.json"), &error).isEmpty());
        QVERIFY(!error.isEmpty());
        QVERIFY(m_session->simulatorIds().isEmpty());
        QVERIFY(m_session->currentSimulatorId().isEmpty());
        QVERIFY(!m_session->hasSimulator("SIM1"));
        QCOMPARE(HostSession::stateText(m_session->simulator("SIM1")), QStringLiteral("unknown"));
    }

    void stopAllEndsEverySimulatorQuietly()
    {
        QString error;
        m_session->setSimulatorProgram(script(*m_dir, QStringLiteral("sim.sh"), "exec sleep 30"));
        QCOMPARE(m_session->startSimulator(QStringLiteral("a.json"), &error), QByteArray("SIM1"));
        QCOMPARE(m_session->startSimulator(QStringLiteral("b.json"), &error), QByteArray("SIM2"));
        QTRY_COMPARE_WITH_TIMEOUT(m_session->simulator("SIM2").state, HostSession::SimState::Running, kWaitMs);
        // The newest running simulator is the current one.
        QCOMPARE(m_session->currentSimulatorId(), QByteArray("SIM2"));
        m_session->stopAll(false, kWaitMs);
        QVERIFY(m_session->waitUntilAllEnded(0));
        QCOMPARE(m_session->simulator("SIM1").state, HostSession::SimState::Killed);
        QCOMPARE(m_session->simulator("SIM2").state, HostSession::SimState::Killed);
        m_session->setSimulatorProgram(script(*m_dir, QStringLiteral("ok.sh"), "exit 0"));
        QCOMPARE(m_session->startSimulator(QStringLiteral("c.json"), &error), QByteArray("SIM3"));
        QCOMPARE(nextForPlugin().text, QByteArray("NOTIFY SESS ANALYZE_DONE SIM3"));
    }

private:
    // The next message for the plug-in's client, kind 13 departures skipped.
    KuvoMessage nextForPlugin()
    {
        KuvoMessage message;
        while (m_plugin->waitForMessage(message)) {
            if (message.kind != 13)
                return message;
        }
        return KuvoMessage();
    }
    bool traceHas(const QString &line) const { return m_lines.contains(line); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<KuvoBroker> m_broker;
    std::unique_ptr<KuvoClient> m_plugin;
    std::unique_ptr<HostTrace> m_trace;
    std::unique_ptr<HostSession> m_session;
    QStringList m_lines;
    QString m_path;
};

QTEST_GUILESS_MAIN(TestHostSession)
#include "tst_hostsession.moc"
