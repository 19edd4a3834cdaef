// The host's session role with a real bus, where the end-to-end test cannot
// reach: pauses for unknown or no ids, and programs that cannot be started.
// (Relay, kill notice, analysis-done and crashes run end to end.)

#include "hostsession.h"
#include "hosttrace.h"

#include "kuvo/kuvobroker.h"
#include "kuvo/kuvoclient.h"
#include "wire/datablock.h"

#include <QFile>
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
        // The simulator's bus client under the name the session gave it.
        KuvoClient simulator;
        simulator.setTimeout(kWaitMs);
        QVERIFY(simulator.connectToBroker(m_path, "tolvanesim", "sim-1"));
        int session = -1;
        QVERIFY(m_plugin->lookup("tolvanesess", session));
        QCOMPARE(session, m_session->client()->address());
        QVERIFY(m_plugin->send(session, wire::KindPlain, "OPTIM_HELMDECK_PAUSE SIM1"));
        KuvoMessage relayed;
        QVERIFY(simulator.waitForMessage(relayed));
        QCOMPARE(relayed.kind, int(wire::KindPlain));
        QCOMPARE(relayed.text, QByteArray("OPTIM_HELMDECK_PAUSE SIM1"));
        QCOMPARE(relayed.sender, session);
        // A pause for a simulator the session did not start goes nowhere.
        QVERIFY(m_plugin->send(session, wire::KindPlain, "OPTIM_HELMDECK_PAUSE SIM7"));
        QTRY_VERIFY2_WITH_TIMEOUT(traceHas(QStringLiteral("session: pause for SIM7: no such simulator running")),
                                  qPrintable(m_lines.join(QLatin1Char('\n'))), kWaitMs);
        // A pause without an id means the current simulator.
        QVERIFY(m_plugin->send(session, wire::KindPlain, "OPTIM_HELMDECK_PAUSE"));
        QVERIFY(simulator.waitForMessage(relayed));
        QCOMPARE(relayed.text, QByteArray("OPTIM_HELMDECK_PAUSE"));
        // Anything else is ignored.
        QVERIFY(m_plugin->send(session, wire::KindPlain, "SOMETHING ELSE"));
        QTRY_VERIFY_WITH_TIMEOUT(traceHas(QStringLiteral("session: ignored message 11 from %1").arg(m_plugin->address())), kWaitMs);
        QCOMPARE(simulator.pendingMessages(), 0);
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
    }

private:
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
