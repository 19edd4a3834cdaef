// KuvoClient against a broker in the same process (and against fake brokers).

#include "kuvo/kuvobroker.h"
#include "kuvo/kuvoclient.h"
#include "kuvotestsupport.h"

#include <QLocalServer>
#include <QSignalSpy>
#include <QTimer>

#include <memory>

using namespace kuvo;

namespace {

// Collects what normal dispatch hands over.
struct Recorder
{
    QList<KuvoMessage> seen;
    int depth = 0;
    int maxDepth = 0;

    KuvoClient::Handler handler()
    {
        return [this](const KuvoMessage &m) {
            seen.append(m);
            return true;
        };
    }
};

// The next n messages as "kind:text,...", or "none" where none came.
QByteArray next(KuvoClient &c, int n = 1)
{
    QByteArrayList out;
    for (KuvoMessage m; n-- > 0;)
        out.append(c.waitForMessage(m) ? QByteArray::number(m.kind) + ':' + m.text : "none");
    return out.join(',');
}

QByteArray texts(const QList<KuvoMessage> &messages)
{
    QByteArrayList list;
    for (const KuvoMessage &m : messages)
        list.append(QByteArray::number(m.kind) + ':' + m.text);
    return list.join(',');
}

}  // namespace

class TestKuvoClient : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SocketPath> m_path;
    std::unique_ptr<KuvoBroker> m_broker;

    QString path() const { return m_path->path(); }

    std::unique_ptr<KuvoClient> client(const QByteArray &name, const QByteArray &second = {},
                                       int timeoutMs = kArrivalMs)
    {
        auto c = std::make_unique<KuvoClient>();
        c->setTimeout(timeoutMs);
        if (!c->connectToBroker(path(), name, second))
            return nullptr;
        return c;
    }

    // The usual pair: the host and one simulator.
    std::unique_ptr<KuvoClient> host, sim;
    std::unique_ptr<SocketPath> m_fakePath;  // a fake broker's, see fakeBroker()
    std::unique_ptr<QLocalServer> m_fake;
    bool connectPair(const QByteArray &second, int hostTimeoutMs = kArrivalMs)
    {
        host = client("tolvane", {}, hostTimeoutMs);
        sim = client("tolvanesim", second);
        return host && sim;
    }

private Q_SLOTS:
    void init()
    {
        m_path = std::make_unique<SocketPath>();
        m_broker = std::make_unique<KuvoBroker>();
        QVERIFY(m_broker->listen(path()));
    }

    void cleanup()
    {
        host.reset();
        sim.reset();
        m_fake.reset();
        m_fakePath.reset();
        m_broker.reset();
        m_path.reset();
    }

    void registerWaitIsBounded()
    {
        // A server that accepts and never answers.
        SocketPath silentPath;
        QLocalServer silent;
        QVERIFY(silent.listen(silentPath.path()));
        KuvoClient c;
        c.setTimeout(300);
        QVERIFY(!c.connectToBroker(silentPath.path(), "tolvane"));
        QVERIFY(!c.isConnected());
    }

    // LOOKUP and PEERS on the wire are the broker test's; here what the
    // client makes of them: no answer is -1 untouched, PEERS leaves the
    // client itself out and names a peer by its second name.
    void lookupNameOfAndPeers()
    {
        host = client("tolvane");
        auto sess = client("tolvanesess");
        sim = client("tolvanesim", "sim-77");
        QVERIFY(host && sess && sim);
        int address = -5;
        QVERIFY(sim->lookup("tolvane", address));
        QCOMPARE(address, host->address());
        address = -5;
        QVERIFY(!host->lookup("nobody", address));
        QCOMPARE(address, -5);
        QByteArray name, second;
        QVERIFY(host->nameOf(sim->address(), name, second));
        QCOMPARE(name + ' ' + second, QByteArray("tolvanesim sim-77"));
        QVERIFY(!host->nameOf(999, name, second));
        const QList<KuvoPeer> peers = host->peers();
        QCOMPARE(peers.size(), 2);
        QCOMPARE(peers[0].processName, QByteArray("tolvanesess"));
        QCOMPARE(peers[1].address, sim->address());
        QCOMPARE(peers[1].processName, QByteArray("sim-77"));
    }

    void connectPeerChecksThePeerIsThere()
    {
        QVERIFY(connectPair("sim-5"));
        const QList<KuvoPeer> peers = host->peers();
        QCOMPARE(peers.size(), 1);
        int address = -1;
        QVERIFY(host->connectPeer(peers[0], address));
        QCOMPARE(address, sim->address());
        QVERIFY(!host->connectPeer(KuvoPeer{sim->address(), "sim-other"}, address));
        sim.reset();
        QCOMPARE(next(*host), QByteArray("13:tolvanesim sim-5"));
        QVERIFY(!host->connectPeer(peers[0], address));
    }

    void handlerIsNeverCalledFromInsideSendOrAWait()
    {
        QVERIFY(connectPair("sim-1"));
        Recorder rec;
        host->setHandler(rec.handler());
        QVERIFY(sim->send(host->address(), 11, "queued"));
        // Control requests wait; the message arrives during one of them and
        // must stay queued rather than be dispatched from inside the wait.
        int address = 0;
        for (int i = 0; i < 50 && host->pendingMessages() == 0; ++i)
            QVERIFY(host->lookup("tolvanesim", address));
        QCOMPARE(host->pendingMessages(), 1);
        QVERIFY(rec.seen.isEmpty());
        QVERIFY(host->send(sim->address(), 11, "out"));
        QVERIFY(host->send(host->address(), 11, "to myself"));
        QVERIFY(rec.seen.isEmpty());
        QTRY_COMPARE(rec.seen.size(), 2);
        QCOMPARE(texts(rec.seen), QByteArray("11:queued,11:to myself"));
    }

    void sendRefusesControlKindsAndOversize()
    {
        host = client("tolvane");
        QVERIFY(host);
        QVERIFY(!host->send(host->address(), kRegister, "x"));
        QVERIFY(!host->send(host->address(), -2, "x"));
        QVERIFY(!host->send(host->address(), 11, QByteArray(kMaxTextSize + 1, 'x')));
        QVERIFY(host->isConnected());
    }

    void waitForMessageTakesMessagesBeforeNormalDispatch()
    {
        QVERIFY(connectPair("sim-1"));
        Recorder rec;
        host->setHandler(rec.handler());
        sim->send(host->address(), 11, "a");
        sim->send(host->address(), 8, "b");
        sim->send(host->address(), 11, "c");
        KuvoMessage m;
        QVERIFY(host->waitForMessage(m));
        QCOMPARE(m.sender, sim->address());
        QCOMPARE(m.text, QByteArray("a"));
        QCOMPARE(next(*host), QByteArray("8:b"));
        QVERIFY(rec.seen.isEmpty());
        // What the waiter left goes to normal dispatch afterwards.
        QTRY_COMPARE(rec.seen.size(), 1);
        QCOMPARE(rec.seen[0].text, QByteArray("c"));
    }

    void waitEndsWhenBrokerGoes()
    {
        host = client("tolvane", {}, kNeverMs);
        QVERIFY(host);
        QSignalSpy spy(host.get(), &KuvoClient::disconnected);
        QTimer::singleShot(100, this, [this] { m_broker->close(); });
        KuvoMessage m;
        QVERIFY(!host->waitForMessage(m));
        QVERIFY(!host->isConnected());
        QVERIFY(!host->send(1, 11, "x"));
        int address = 0;
        QVERIFY(!host->lookup("tolvane", address));
        QTRY_COMPARE(spy.size(), 1);
    }

    void handlerMayWaitInsideDispatch()
    {
        // host waits for a reply (kind 8); meanwhile sim sends a request that
        // host's handler answers by asking sim something and waiting itself.
        QVERIFY(connectPair("sim-1"));
        QList<QByteArray> log;
        host->setHandler([this, &log](const KuvoMessage &m) {
            log.append("handler:" + m.text);
            if (m.text == "question") {
                host->send(sim->address(), 11, "what?");
                KuvoMessage inner;
                // The nested wait takes the next message, whatever it is.
                if (!host->waitForMessage(inner))
                    return false;
                log.append("inner:" + inner.text);
            }
            return true;
        });
        sim->setHandler([this](const KuvoMessage &m) {
            if (m.text == "what?") {
                sim->send(host->address(), 5, "answer");
                sim->send(host->address(), 8, "DATA_BLOCK OPTIM_HELMDECK STATUS");
            }
            return true;
        });
        sim->send(host->address(), 11, "question");
        // The outer wait of a block send.
        KuvoMessage m;
        while (host->waitForMessage(m) && m.kind != 8 && host->dispatch(m)) {}
        QCOMPARE(m.kind, 8);
        QCOMPARE(m.text, QByteArray("DATA_BLOCK OPTIM_HELMDECK STATUS"));
        QCOMPARE(log, (QList<QByteArray>{"handler:question", "inner:answer"}));
    }

    void normalDispatchIsNotReentrant()
    {
        QVERIFY(connectPair("sim-1"));
        Recorder rec;
        host->setHandler([this, &rec](const KuvoMessage &m) {
            ++rec.depth;
            rec.maxDepth = std::max(rec.maxDepth, rec.depth);
            rec.seen.append(m);
            // An event loop of the handler's own, till the next message is
            // queued (one that never comes fails the count below), and once
            // more for a dispatch that must not come.
            static_cast<void>(QTest::qWaitFor([this, &rec] { return host->pendingMessages() > 0 || rec.seen.size() == 5; },
                                              kArrivalMs));
            QCoreApplication::processEvents();
            --rec.depth;
            return true;
        });
        for (int i = 0; i < 5; ++i)
            sim->send(host->address(), 11, QByteArray::number(i));
        QTRY_COMPARE(rec.seen.size(), 5);
        QCOMPARE(rec.maxDepth, 1);
        QCOMPARE(texts(rec.seen), QByteArray("11:0,11:1,11:2,11:3,11:4"));
    }

    void receiveDataBlockLeavesOtherSendersQueued_data()
    {
        QTest::addColumn<bool>("alreadyQueued");
        QTest::newRow("already queued") << true;
        QTest::newRow("arriving during the wait") << false;
    }

    void receiveDataBlockLeavesOtherSendersQueued()
    {
        QFETCH(bool, alreadyQueued);
        QVERIFY(connectPair("sim-1"));
        host->setBlockInactivityTimeout(kArrivalMs);
        auto other = client("tolvanesess");
        QVERIFY(other);
        const int h = host->address();
        sim->send(h, 9, "DATA_BLOCK 1 2 OPTIM_HELMDECK STATUS");
        KuvoMessage start;
        QVERIFY(host->waitForMessage(start));
        QCOMPARE(start.kind, 9);
        auto rest_of_block = [&] {
            other->send(h, 11, "x1");
            sim->send(h, 11, "DATA_BLOCK 1 1/2 OPTIM_HELMDECK STATUS:a");
            other->send(h, 11, "x2");
            sim->send(h, 11, "DATA_BLOCK 1 2/2 OPTIM_HELMDECK STATUS:b");
            sim->send(h, 10, "DATA_BLOCK 1 2 OPTIM_HELMDECK STATUS");
            sim->send(h, 9, "DATA_BLOCK 2 1 OPTIM_HELMDECK SIM_RESULT");  // next block
            other->send(h, 11, "x3");
        };
        if (alreadyQueued) {
            rest_of_block();
            QTRY_COMPARE(host->pendingMessages(), 7);
        } else {
            QTimer::singleShot(50, this, rest_of_block);
        }
        QList<KuvoMessage> rest;
        QVERIFY(host->receiveDataBlock(sim->address(), 100, rest));
        QCOMPARE(texts(rest), QByteArray("11:DATA_BLOCK 1 1/2 OPTIM_HELMDECK STATUS:a,"
                                         "11:DATA_BLOCK 1 2/2 OPTIM_HELMDECK STATUS:b,"
                                         "10:DATA_BLOCK 1 2 OPTIM_HELMDECK STATUS"));
        for (const KuvoMessage &m : std::as_const(rest))
            QCOMPARE(m.sender, sim->address());
        // Others' messages in their order, and the sender's next block after the end.
        QTRY_COMPARE(host->pendingMessages(), 4);
        QList<KuvoMessage> fromOther, fromSim;
        KuvoMessage m;
        while (host->pendingMessages() > 0 && host->waitForMessage(m))
            (m.sender == sim->address() ? fromSim : fromOther).append(m);
        QCOMPARE(texts(fromOther), QByteArray("11:x1,11:x2,11:x3"));
        QCOMPARE(texts(fromSim), QByteArray("9:DATA_BLOCK 2 1 OPTIM_HELMDECK SIM_RESULT"));
    }

    void receiveDataBlockFailsWhenSenderGoes()
    {
        QVERIFY(connectPair("sim-31", kNeverMs));
        host->setBlockInactivityTimeout(kNeverMs);
        const int simAddr = sim->address();
        Recorder rec;
        host->setHandler(rec.handler());
        sim->send(host->address(), 11, "chunk 1");
        sim->send(host->address(), 11, "chunk 2");
        QTimer::singleShot(50, this, [this] { sim.reset(); });
        QList<KuvoMessage> rest;
        QVERIFY(!host->receiveDataBlock(simAddr, 100, rest));
        QCOMPARE(texts(rest), QByteArray("11:chunk 1,11:chunk 2"));
        // The kind 13 is still there for normal dispatch.
        QTRY_COMPARE(rec.seen.size(), 1);
        QCOMPARE(rec.seen[0].kind, kPeerGone);
        QCOMPARE(rec.seen[0].sender, simAddr);
        // Asking again for a departed sender answers at once.
        QVERIFY(!host->receiveDataBlock(simAddr, 100, rest));
        QVERIFY(rest.isEmpty());
    }

    void receiveDataBlockStopsAfterMaxMessages()
    {
        QVERIFY(connectPair("sim-1"));
        for (int i = 1; i <= 5; ++i)
            sim->send(host->address(), 11, "c" + QByteArray::number(i));
        sim->send(host->address(), 10, "end");
        QList<KuvoMessage> rest;
        QVERIFY(!host->receiveDataBlock(sim->address(), 3, rest));
        QCOMPARE(texts(rest), QByteArray("11:c1,11:c2,11:c3"));
        QCOMPARE(next(*host), QByteArray("11:c4"));  // the one too many stays queued
        // Exactly maxMessages including the end is fine.
        sim->send(host->address(), 11, "d1");
        sim->send(host->address(), 10, "end2");
        QCOMPARE(next(*host, 2), QByteArray("11:c5,10:end"));
        QVERIFY(host->receiveDataBlock(sim->address(), 2, rest));
        QCOMPARE(texts(rest), QByteArray("11:d1,10:end2"));
    }

    // A block that stops coming in ends after the inactivity pause, long
    // before the 30 s timeout (a stray start froze input that long); one
    // that keeps coming slowly completes.
    void receiveDataBlockGivesUpWithoutProgress()
    {
        QVERIFY(connectPair("sim-1", kNeverMs));
        host->setBlockInactivityTimeout(1000);
        int sent = 0;
        QTimer slow;
        connect(&slow, &QTimer::timeout, this, [&] { sim->send(host->address(), ++sent < 5 ? 11 : 10, "slow"); });
        slow.start(50);
        QList<KuvoMessage> rest;
        QVERIFY(host->receiveDataBlock(sim->address(), 10, rest));
        QCOMPARE(rest.size(), 5);
        slow.stop();
        sim->send(host->address(), 11, "only chunk");
        QVERIFY(!host->receiveDataBlock(sim->address(), 10, rest));
        QCOMPARE(texts(rest), QByteArray("11:only chunk"));
        // A late end no longer belongs to the block: it is queued.
        sim->send(host->address(), 10, "late end");
        QCOMPARE(next(*host), QByteArray("10:late end"));
    }

    void departedPeerIsAnnouncedAndNamed()
    {
        QVERIFY(connectPair("sim-4242"));
        const QByteArray simAddr = QByteArray::number(sim->address());
        QByteArrayList gone;
        // The handler asks for the name while the kind 13 is being handled,
        // the way the plug-in does; the peer has already left the bus.
        host->setHandler([&](const KuvoMessage &m) {
            QByteArray name, second;
            if (m.kind == kPeerGone && host->nameOf(m.sender, name, second))
                gone.append(QByteArray::number(m.sender) + ' ' + m.text + " named " + name + '|' + second);
            return true;
        });
        QCOMPARE(host->peers().size(), 1);  // as the rendezvous does: the names come from there
        sim.reset();
        QTRY_COMPARE(gone.size(), 1);
        QCOMPARE(gone[0], simAddr + " tolvanesim sim-4242 named tolvanesim|sim-4242");
        QVERIFY(host->peers().isEmpty());
    }

    void malformedFrameFromBrokerDropsTheConnection_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("length 3") << beU32(3) + QByteArray(3, '\0');
        QTest::newRow("length 64MiB+1") << beU32(kMaxFrameLength + 1) + QByteArray(8, '\0');
        QTest::newRow("unasked control answer") << encodeFrame(kPeers, 0, "1 x\n");
    }

    // A fake broker for the host: answers the registration and sends "fine"
    // from 2; then the test has it misbehave through the returned socket.
    QLocalSocket *fakeBroker(int timeoutMs)
    {
        m_fakePath = std::make_unique<SocketPath>();
        m_fake = std::make_unique<QLocalServer>();
        host = std::make_unique<KuvoClient>();
        host->setTimeout(timeoutMs);
        QLocalSocket *server = nullptr;
        if (!m_fake->listen(m_fakePath->path()))
            return nullptr;
        connect(m_fake.get(), &QLocalServer::newConnection, this, [this, &server] {
            server = m_fake->nextPendingConnection();
            QObject::connect(server, &QLocalSocket::readyRead, server, [s = server] {
                if (s->bytesAvailable() >= 12 + 7) {
                    s->readAll();
                    s->write(encodeFrame(kRegister, 1, "tolvane"));
                    s->write(encodeFrame(11, 2, "fine"));
                }
            });
        });
        return host->connectToBroker(m_fakePath->path(), "tolvane") ? server : nullptr;
    }

    // Even a kind 13 that did come through: its text does not name the peer.
    void departureTextIsNotTakenAsName()
    {
        QLocalSocket *server = fakeBroker(kArrivalMs);
        QVERIFY(server);
        KuvoClient &c = *host;
        server->write(encodeFrame(kPeerGone, 2, "tolvanesim sim-1"));
        QCOMPARE(next(c, 2), QByteArray("11:fine,13:tolvanesim sim-1"));
        c.setTimeout(300);
        QByteArray name, second;
        QVERIFY(!c.nameOf(2, name, second));  // the fake broker does not answer PEERS
    }

    void malformedFrameFromBrokerDropsTheConnection()
    {
        QFETCH(QByteArray, bytes);
        QLocalSocket *server = fakeBroker(kNeverMs);
        QVERIFY(server);
        KuvoClient &c = *host;
        QSignalSpy spy(&c, &KuvoClient::disconnected);
        server->write(bytes + encodeFrame(11, 2, "never seen"));
        server->flush();
        QCOMPARE(next(c), QByteArray("11:fine"));
        QCOMPARE(next(c), QByteArray("none"));
        QVERIFY(!c.isConnected());
        QTRY_COMPARE(spy.size(), 1);
        QTRY_COMPARE(server->state(), QLocalSocket::UnconnectedState);
    }

    void disconnectDeliversWhatWasSent()
    {
        QVERIFY(connectPair("sim-1"));
        const QByteArray big(3 * 1024 * 1024, 'q');  // more than the socket takes at once
        QVERIFY(sim->send(host->address(), 11, big));
        QVERIFY(sim->send(host->address(), 10, "end"));
        sim->disconnectFromBroker();
        QVERIFY(!sim->isConnected());
        QCOMPARE(next(*host), "11:" + big);
        QCOMPARE(next(*host, 2), QByteArray("10:end,13:tolvanesim sim-1"));
    }
};

QTEST_GUILESS_MAIN(TestKuvoClient)
#include "tst_kuvoclient.moc"
