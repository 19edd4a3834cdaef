// Two real processes on the bus: this test (broker and "tolvane") and
// kuvo_echo_peer, a simulator stand-in.

#include "kuvo/kuvobroker.h"
#include "kuvo/kuvoclient.h"
#include "kuvotestsupport.h"

#include <QCryptographicHash>
#include <QProcess>

#include <memory>

class TestKuvoProcess : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SocketPath> m_path;
    std::unique_ptr<KuvoBroker> m_broker;
    std::unique_ptr<KuvoClient> m_host;
    std::unique_ptr<QProcess> m_peer;

    bool startPeer(const QStringList &extra)
    {
        m_peer = std::make_unique<QProcess>();
        m_peer->setProcessChannelMode(QProcess::SeparateChannels);
        m_peer->start(QStringLiteral(KUVO_ECHO_PEER), QStringList{m_path->path()} + extra);
        if (!m_peer->waitForStarted(5000))
            return false;
        // Its READY line comes once it is registered; keep the event loop running meanwhile.
        return QTest::qWaitFor([this] { return m_peer->canReadLine(); }, 10000)
               && m_peer->readLine().startsWith("READY ");
    }

    // The next message, with the client's bounded wait.
    bool next(KuvoMessage &m) { return m_host->waitForMessage(m); }

    bool waitForPeerExit()
    {
        return QTest::qWaitFor([this] { return m_peer->state() == QProcess::NotRunning; }, 10000);
    }

private Q_SLOTS:
    void init()
    {
        m_path = std::make_unique<SocketPath>();
        m_broker = std::make_unique<KuvoBroker>();
        QVERIFY(m_broker->listen(m_path->path()));
        m_host = std::make_unique<KuvoClient>();
        m_host->setTimeout(10000);
        QVERIFY(m_host->connectToBroker(m_path->path(), "tolvane"));
    }

    void cleanup()
    {
        if (m_peer && m_peer->state() != QProcess::NotRunning) {
            m_peer->kill();
            m_peer->waitForFinished(5000);
        }
        m_peer.reset();
        m_host.reset();
        m_broker.reset();
        m_path.reset();
    }

    void rendezvousBlockAndDeparture()
    {
        QVERIFY(startPeer({QStringLiteral("--rendezvous")}));
        const QByteArray processName = "sim-" + QByteArray::number(m_peer->processId());

        // The rendezvous, as the plug-in handles it.
        KuvoMessage m;
        QVERIFY(next(m));
        QCOMPARE(m.kind, 7);
        QCOMPARE(m.text, "OPTIM_HELMDECK_RENDEZVOUS " + processName);
        const int simAddr = m.sender;
        KuvoPeer found;
        for (const KuvoPeer &p : m_host->peers()) {
            if (p.processName == processName)
                found = p;
        }
        QCOMPARE(found.address, simAddr);
        int connected = -1;
        QVERIFY(m_host->connectPeer(found, connected));
        QCOMPARE(connected, simAddr);
        QVERIFY(m_host->send(simAddr, 8, m.text));
        QVERIFY(QTest::qWaitFor([this] { return m_peer->canReadLine(); }, 10000));
        QCOMPARE(m_peer->readLine().trimmed(), "ACK " + m.text);

        // A data block of three chunks; the peer counts and hashes what it got.
        QList<QByteArray> chunks;
        QCryptographicHash md5(QCryptographicHash::Md5);
        for (int i = 1; i <= 3; ++i) {
            QByteArray chunk = "DATA_BLOCK 5 " + QByteArray::number(i) + "/3 OPTIM_HELMDECK TEST:";
            chunk += QByteArray(5700 - chunk.size(), char('a' + i));
            chunks.append(chunk);
            md5.addData(chunk);
        }
        const QByteArray header("DATA_BLOCK 5 3 OPTIM_HELMDECK TEST");
        QVERIFY(m_host->send(simAddr, 9, header));
        for (const QByteArray &c : chunks)
            QVERIFY(m_host->send(simAddr, 11, c));
        QVERIFY(m_host->send(simAddr, 10, header));
        QVERIFY(next(m));
        QCOMPARE(m.kind, 11);
        QCOMPARE(m.text, "STATS 3 17100 " + md5.result().toHex());
        QVERIFY(next(m));
        QCOMPARE(m.kind, 8);
        QCOMPARE(m.text, QByteArray("DATA_BLOCK OPTIM_HELMDECK TEST"));
        QCOMPARE(m.sender, simAddr);

        // An echo.
        QVERIFY(m_host->send(simAddr, 5, QByteArray("bytes\0with zero", 15)));
        QVERIFY(next(m));
        QCOMPARE(m.kind, 5);
        QCOMPARE(m.text, QByteArray("bytes\0with zero", 15));

        // The simulator dies: kind 13 from it, and its names are still known.
        m_peer->kill();
        QVERIFY(waitForPeerExit());
        QVERIFY(next(m));
        QCOMPARE(m.kind, 13);
        QCOMPARE(m.sender, simAddr);
        QByteArray name, second;
        QVERIFY(m_host->nameOf(simAddr, name, second));
        QCOMPARE(name, QByteArray("tolvanesim"));
        QCOMPARE(second, processName);
        QVERIFY(!m_host->connectPeer(found, connected));
    }

    void peerThatQuitsIsAnnounced()
    {
        QVERIFY(startPeer({}));
        const QByteArray processName = "sim-" + QByteArray::number(m_peer->processId());
        int simAddr = -1;
        QVERIFY(m_host->lookup("tolvanesim", simAddr));
        QVERIFY(m_host->send(simAddr, 11, "QUIT"));
        // The broker lives in this process: keep the event loop running.
        QVERIFY(waitForPeerExit());
        QCOMPARE(m_peer->exitCode(), 0);
        KuvoMessage m;
        QVERIFY(next(m));
        QCOMPARE(m.kind, 13);
        QCOMPARE(m.sender, simAddr);
        QCOMPARE(m.text, "tolvanesim " + processName);
    }

    void peerLeavesWhenBrokerCloses()
    {
        QVERIFY(startPeer({}));
        m_broker->close();
        QVERIFY(waitForPeerExit());
        QCOMPARE(m_peer->exitCode(), 1);
    }
};

QTEST_GUILESS_MAIN(TestKuvoProcess)
#include "tst_kuvoprocess.moc"
