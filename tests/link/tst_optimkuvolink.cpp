#include "fakekuvo.h"
#include "link/optimdatablock.h"
#include "link/optimkuvolink.h"
#include "link/optimsimifc.h"
#include "mox/moxinterpreter.h"
#include "samplemessages.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

constexpr int kSimAddress = 4;
constexpr int kSessionAddress = 2;

// Stands in for the plug-in object: one open helmdeck with one simulator.
class RecordingOwner : public OptimKuvoLinkOwner
{
public:
    OptimSimIFC *simulator = nullptr;
    QList<QByteArray> opened;
    QList<QPair<bool, bool>> openFlags;
    QList<QByteArray> gone;
    int finished = 0;
    QList<bool> replyWaits;
    int silent = 0;
    int late = 0;

    bool openHelmdeckFromBlock(const QByteArray &text, bool multiOpt, bool interactive) override
    {
        opened.append(text);
        openFlags.append({multiOpt, interactive});
        return true;
    }
    OptimSimIFC *currentSimulator() const override { return simulator; }
    void simulatorGone(const QByteArray &id, bool closeWindow) override
    {
        gone.append(id + (closeWindow ? " close" : " keep"));
    }
    void simulationFinished() override { ++finished; }
    void replyWaitChanged(bool waiting) override { replyWaits.append(waiting); }
    void simulatorDoesNotAnswer() override { ++silent; }
    void simulatorAnsweredLate() override { ++late; }
};

QList<QByteArray> chunksOf(const OptimSerializationIFC &record, qsizetype limit = 5700)
{
    OptimSerialWriter writer;
    record.serialize(writer);
    return writer.chunks(limit);
}

} // namespace

class TestOptimKuvoLink : public QObject
{
    Q_OBJECT

    void connectSimulator()
    {
        m_link->onKuvoMessage(kSimAddress, wire::KindRendezvous, "OPTIM_HELMDECK_RENDEZVOUS sim-77");
        QCOMPARE(m_link->simulatorAddress(), kSimAddress);
        m_kuvo->sent.clear();
    }
    // Delivers a whole block from the simulator, one message at a time.
    void deliver(const QByteArray &id, const QByteArray &name, const QList<QByteArray> &chunks)
    {
        m_kuvo->queueBlock(kSimAddress, id, name, chunks);
        m_kuvo->deliverIncoming();
    }

    FakeKuvo *m_kuvo = nullptr;
    RecordingOwner *m_owner = nullptr;
    OptimKuvoLink *m_link = nullptr;
    MoxInterpreter *m_mox = nullptr;
    OptimSimIFC *m_sim = nullptr;
    QStringList m_hostCalls;

private Q_SLOTS:
    void init()
    {
        registerOptimMetaTypes();
        m_kuvo = new FakeKuvo;
        m_owner = new RecordingOwner;
        m_link = new OptimKuvoLink(m_owner);
        m_kuvo->dispatcher = [this](const KuvoMessage &m) { m_link->onKuvoMessage(m.sender, m.kind, m.text); };
        m_kuvo->registered.insert("tolvanesess", kSessionAddress);
        m_kuvo->peerList = {{3, "tolvanesess"}, {kSimAddress, "sim-77"}};
        m_kuvo->names.insert(kSimAddress, {"tolvanesim", "sim-77"});
        m_kuvo->names.insert(3, {"tolvanesess", ""});
        QVERIFY(m_link->attach(m_kuvo));
        m_link->setBlockInactivityTimeout(50);
        m_mox = new MoxInterpreter;
        m_hostCalls.clear();
        auto recordCall = [this](const char *name) {
            return [this, name](const MoxArgs *args) -> MoxValue * {
                QByteArray text;
                MoxValue *arg = nullptr;
                if (m_mox->argumentAs(args, 0, m_mox->stringType(), arg)) {
                    m_mox->readText(arg, text);
                    m_mox->release(arg);
                }
                m_hostCalls << QString::fromLatin1(name) + QLatin1Char(' ') + QString::fromUtf8(text);
                return m_mox->makeTrue();
            };
        };
        QVERIFY(m_mox->registerVocabulary(
            "host", {MoxWord::functionWord("desim_get_current_simulator_id",
                                           [this](const MoxArgs *) { return m_mox->makeString("SIM1"); }),
                     MoxWord::functionWord("desim_stop_and_release_simulator", recordCall("stop")),
                     MoxWord::functionWord("de_post_help", recordCall("help"))}));
        m_sim = new OptimSimIFC(m_link, OptimHostCalls(m_mox), "designs\\top", "SIM1");
        m_owner->simulator = m_sim;
    }

    void cleanup()
    {
        delete m_sim;
        delete m_link;
        delete m_owner;
        delete m_kuvo;
        QCOMPARE(m_mox->liveValues(), 0);
        delete m_mox;
    }

    void rendezvous_data()
    {
        QTest::addColumn<int>("before");   // 0 no simulator, 1 sim-77 connected, 2 sim-77 connected and gone
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("connectSucceeds");
        QTest::addColumn<int>("replyKind");
        QTest::addColumn<QByteArray>("simulator");  // the link's simulator afterwards, "" when none
        const QByteArray sim77("OPTIM_HELMDECK_RENDEZVOUS sim-77"), sim99("OPTIM_HELMDECK_RENDEZVOUS sim-99");
        QTest::newRow("accepted") << 0 << sim77 << true << int(wire::KindReply) << QByteArray("sim-77");
        QTest::newRow("one word") << 0 << QByteArray("OPTIM_HELMDECK_RENDEZVOUS ") << true << int(wire::KindRefused) << QByteArray();
        QTest::newRow("three words") << 0 << QByteArray("OPTIM_HELMDECK_RENDEZVOUS sim-77 extra") << true << int(wire::KindRefused) << QByteArray();
        QTest::newRow("unknown peer") << 0 << QByteArray("OPTIM_HELMDECK_RENDEZVOUS sim-78") << true << int(wire::KindRefused) << QByteArray();
        QTest::newRow("connect fails") << 0 << sim77 << false << int(wire::KindRefused) << QByteArray();
        // An open helmdeck's simulator is not taken over by another one.
        QTest::newRow("takeover refused") << 1 << sim99 << true << int(wire::KindRefused) << QByteArray("sim-77");
        QTest::newRow("same simulator again") << 1 << sim77 << true << int(wire::KindReply) << QByteArray("sim-77");
        QTest::newRow("after the first left") << 2 << sim99 << true << int(wire::KindReply) << QByteArray("sim-99");
    }

    void rendezvous()
    {
        QFETCH(int, before);
        QFETCH(QByteArray, text);
        QFETCH(bool, connectSucceeds);
        QFETCH(int, replyKind);
        QFETCH(QByteArray, simulator);
        m_kuvo->peerList.append({6, "sim-99"});
        if (before > 0)
            connectSimulator();
        if (before > 1)
            m_link->onKuvoMessage(kSimAddress, wire::KindGone, "");
        m_kuvo->sent.clear();
        m_kuvo->connectSucceeds = connectSucceeds;
        m_link->onKuvoMessage(9, wire::KindRendezvous, text);
        QCOMPARE(m_kuvo->sent, (QList<SentMessage>{{9, replyKind, text}}));
        QCOMPARE(m_link->simulatorAddress(), simulator.isEmpty() ? -1 : simulator == "sim-77" ? kSimAddress : 6);
        QCOMPARE(m_link->simulatorName(), simulator);
    }

    void receivesIterationAcrossChunks()
    {
        connectSimulator();
        const OptimIter iter = sampleIteration({4, 2, 301, 6}, 3);
        const QList<QByteArray> chunks = chunksOf(iter);
        QVERIFY(chunks.size() > 3);
        QSignalSpy spy(m_sim, qOverload<OptimIter>(&OptimSimIFC::modelChanged));
        deliver("41", "OPTIM_HELMDECK OPTIM_ITER", chunks);
        QCOMPARE(m_kuvo->sent, (QList<SentMessage>{{kSimAddress, wire::KindReply, "DATA_BLOCK OPTIM_HELMDECK OPTIM_ITER"}}));
        QCOMPARE(spy.count(), 1);
        QVERIFY(spy.at(0).at(0).value<OptimIter>() == iter);
        QVERIFY(m_kuvo->incoming.isEmpty());
        // The next block, its chunks padded after a NUL as a C sender may
        // leave them: each chunk's text ends at its NUL.
        QList<QByteArray> padded = chunks;
        for (QByteArray &chunk : padded)
            chunk.append(QByteArray("\0END_OPTIM_ITER junk", 20));
        deliver("42", "OPTIM_HELMDECK OPTIM_ITER", padded);
        QCOMPARE(spy.count(), 2);
        QVERIFY(spy.at(1).at(0).value<OptimIter>() == iter);
    }

    void everyIncomingTypeReachesItsSignal()
    {
        connectSimulator();
        QSignalSpy status(m_sim, qOverload<OptimStatus>(&OptimSimIFC::modelChanged));
        QSignalSpy result(m_sim, qOverload<OptimIterSimResult>(&OptimSimIFC::modelChanged));
        QSignalSpy noProgress(m_sim, qOverload<OptimIterNoProgress>(&OptimSimIFC::modelChanged));
        int collapsed = 0;
        connect(m_sim, qOverload<OptimIterCollapsedIterations>(&OptimSimIFC::modelChanged), this,
                [&](const OptimIterCollapsedIterations &b) { collapsed += b.firstIteration(); });
        auto send = [&](const QByteArray &type, const OptimSerializationIFC &record) {
            deliver("7", "OPTIM_HELMDECK " + type, chunksOf(record));
        };
        send("STATUS", OptimStatus(3, QStringLiteral("paused")));
        OptimIterSimResult simResult;
        simResult.iteration().setCommandId(5);
        send("SIM_RESULT", simResult);
        send("OPTIM_NO_PROGRESS", OptimIterNoProgress());
        OptimIterCollapsedIterations batch;
        batch.setFirstIteration(9);
        send("OPTIM_COMPACT_ITERS", batch);
        send("VARIABLE_VALUES", OptimIterVariableValues());  // not an incoming type: ignored after the reply
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.at(0).at(0).value<OptimStatus>().message(), QStringLiteral("paused"));
        QCOMPARE(result.count(), 1);
        QCOMPARE(result.at(0).at(0).value<OptimIterSimResult>().iteration().commandId(), 5L);
        QCOMPARE(noProgress.count(), 1);
        QCOMPARE(collapsed, 9);
        QCOMPARE(m_kuvo->sent.size(), 5);
        QCOMPARE(m_kuvo->sent.last().text, QByteArray("DATA_BLOCK OPTIM_HELMDECK VARIABLE_VALUES"));
        // Without an open helmdeck nothing is emitted, but the block is still acknowledged.
        m_owner->simulator = nullptr;
        send("STATUS", OptimStatus(2, QString()));
        QCOMPARE(status.count(), 1);
        QCOMPARE(m_kuvo->sent.size(), 6);
    }

    void malformedPayloadIsAcknowledgedButDropped()
    {
        connectSimulator();
        QSignalSpy spy(m_sim, qOverload<OptimStatus>(&OptimSimIFC::modelChanged));
        QByteArray text = chunksOf(OptimStatus(2, QStringLiteral("x"))).join();
        text.replace("END_STATUS", "END_STATUX");
        deliver("8", "OPTIM_HELMDECK STATUS", {text});
        QCOMPARE(m_kuvo->sent, (QList<SentMessage>{{kSimAddress, wire::KindReply, "DATA_BLOCK OPTIM_HELMDECK STATUS"}}));
        QCOMPARE(spy.count(), 0);
    }

    void brokenBlocksAreRefused_data()
    {
        // Chunk-level faults are the assembler's (tst_datablock); here: the refusal and recovery.
        QTest::addColumn<QList<KuvoMessage>>("messages");
        QTest::addColumn<bool>("waits");  // failed once nothing more came for a while
        const QByteArray name = "OPTIM_HELMDECK STATUS";
        const QByteArray text = chunksOf(OptimStatus(2, QStringLiteral("x"))).join();
        auto chunk = [&](const char *id, const QByteArray &pos) {
            return KuvoMessage{kSimAddress, wire::KindPlain, "DATA_BLOCK " + QByteArray(id) + ' ' + pos + ' ' + name + ':' + text};
        };
        const KuvoMessage start{kSimAddress, wire::KindBlockStart, "DATA_BLOCK 5 2 " + name};
        const KuvoMessage end{kSimAddress, wire::KindBlockEnd, "DATA_BLOCK 5 2 " + name};
        QTest::newRow("out of order") << QList<KuvoMessage>{start, chunk("5", "2/2"), chunk("5", "1/2"), end} << false;
        QTest::newRow("never ends") << QList<KuvoMessage>{start, chunk("5", "1/2"), chunk("5", "2/2")} << true;
        QTest::newRow("stray start") << QList<KuvoMessage>{{kSimAddress, wire::KindBlockStart, "DATA_BLOCK 1 1 " + name}} << true;
        QTest::newRow("huge count") << QList<KuvoMessage>{{kSimAddress, wire::KindBlockStart, "DATA_BLOCK 5 999999999 " + name}} << false;
        QTest::newRow("bad count") << QList<KuvoMessage>{{kSimAddress, wire::KindBlockStart, "DATA_BLOCK 5 x " + name}} << false;
        // More chunks than the size limit holds: refused at once, nothing of it buffered.
        const QByteArray over = QByteArray::number(wire::kMaxBlockChunks + 1);
        QTest::newRow("over the size limit")
            << QList<KuvoMessage>{{kSimAddress, wire::KindBlockStart, "DATA_BLOCK 5 " + over + ' ' + name}, chunk("5", "1/" + over)} << false;
        QTest::newRow("end of another block")
            << QList<KuvoMessage>{start, chunk("5", "1/2"), chunk("5", "2/2"), {kSimAddress, wire::KindBlockEnd, "DATA_BLOCK 6 2 " + name}} << false;
        QTest::newRow("sender gone") << QList<KuvoMessage>{start, chunk("5", "1/2"), {kSimAddress, wire::KindGone, ""}} << false;
    }

    void brokenBlocksAreRefused()
    {
        QFETCH(QList<KuvoMessage>, messages);
        QFETCH(bool, waits);
        connectSimulator();
        QSignalSpy spy(m_sim, qOverload<OptimStatus>(&OptimSimIFC::modelChanged));
        m_kuvo->incoming = messages;
        m_kuvo->deliverIncoming();
        // Nothing waits for the rest of a block: a timer posted now runs first.
        qsizetype sentMeanwhile = -1;
        QTimer::singleShot(0, [&] { sentMeanwhile = m_kuvo->sent.size(); });
        QTRY_COMPARE(m_kuvo->sent, (QList<SentMessage>{{kSimAddress, wire::KindReply, "DATA_BLOCK OPTIM_HELMDECK STATUS FAILED"}}));
        QTRY_COMPARE(sentMeanwhile, waits ? 0 : 1);
        QCOMPARE(spy.count(), 0);
        // The link keeps working: the next good block goes through (from the
        // simulator, which makes the rendezvous again when it had left).
        if (m_link->simulatorAddress() < 0)
            connectSimulator();
        deliver("9", "OPTIM_HELMDECK STATUS", chunksOf(OptimStatus(3, QString())));
        QCOMPARE(spy.count(), 1);
    }

    void droppedBlockFreesItsBuffer()
    {
        connectSimulator();
        m_link->onKuvoMessage(kSimAddress, wire::KindBlockStart, "DATA_BLOCK 5 2 OPTIM_HELMDECK STATUS");
        m_link->onKuvoMessage(kSimAddress, wire::KindPlain, "DATA_BLOCK 5 1/2 OPTIM_HELMDECK STATUS:x");
        QVERIFY(m_link->bufferedCapacity(kSimAddress) > 0);
        // A new start fails the pending block: its buffer goes, it is not kept for the next.
        m_link->onKuvoMessage(kSimAddress, wire::KindBlockStart, "DATA_BLOCK 6 2 OPTIM_HELMDECK STATUS");
        QCOMPARE(m_link->bufferedCapacity(kSimAddress), 0);
        QCOMPARE(m_kuvo->sent, (QList<SentMessage>{{kSimAddress, wire::KindReply, "DATA_BLOCK OPTIM_HELMDECK STATUS FAILED"}}));
    }

    void blocksInterleaveAndRestart()
    {
        connectSimulator();
        QSignalSpy status(m_sim, qOverload<OptimStatus>(&OptimSimIFC::modelChanged));
        QSignalSpy result(m_sim, qOverload<OptimIterSimResult>(&OptimSimIFC::modelChanged));
        // A new start fails the pending block; another peer's block (refused at
        // its start, its chunks and end ignored) and a notification come in between.
        m_kuvo->incoming = {{kSimAddress, wire::KindBlockStart, "DATA_BLOCK 2 1 OPTIM_HELMDECK STATUS"}};
        m_kuvo->queueBlock(kSimAddress, "3", "OPTIM_HELMDECK STATUS", chunksOf(OptimStatus(3, QStringLiteral("b"))));
        m_kuvo->queueBlock(6, "3", "OPTIM_HELMDECK SIM_RESULT", chunksOf(OptimIterSimResult()));
        for (int i = 0; i < 3; ++i)
            m_kuvo->incoming.move(4 + i, 2 * i + 2);
        m_kuvo->incoming.insert(3, {kSessionAddress, wire::KindPlain, "NOTIFY SESS ANALYZE_DONE SIM1 0"});
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^refused from peer 6: data block \"OPTIM_HELMDECK SIM_RESULT\": not from the connected simulator$")));
        m_kuvo->deliverIncoming();
        QCOMPARE(m_kuvo->sent, (QList<SentMessage>{{kSimAddress, wire::KindReply, "DATA_BLOCK OPTIM_HELMDECK STATUS FAILED"},
                                                   {6, wire::KindReply, "DATA_BLOCK OPTIM_HELMDECK SIM_RESULT FAILED"},
                                                   {kSimAddress, wire::KindReply, "DATA_BLOCK OPTIM_HELMDECK STATUS"}}));
        QCOMPARE(m_owner->finished, 1);
        QCOMPARE(status.at(0).at(0).value<OptimStatus>().message(), QStringLiteral("b"));
        QCOMPARE(status.count() + 2 * result.count(), 1);
    }

    void onlyTheRendezvousedSimulatorIsHeard()
    {
        const auto expectRefusal = [](int peer) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^refused from peer %1: ").arg(peer)));
        };
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        QSignalSpy iters(m_sim, qOverload<OptimIter>(&OptimSimIFC::modelChanged));
        const QList<QByteArray> iter = chunksOf(sampleIteration({1, 1, 3, 1}, 0));
        const QByteArrayList refused{"DATA_BLOCK OPTIM_HELMDECK OPTIM_ITER FAILED"};
        auto from = [&](int peer, const QByteArray &name = "OPTIM_HELMDECK OPTIM_ITER") {
            m_kuvo->sent.clear();
            m_kuvo->queueBlock(peer, "5", name, iter);
            m_kuvo->deliverIncoming();
            QByteArrayList replies;
            for (const SentMessage &m : std::as_const(m_kuvo->sent))
                replies << QByteArray::number(m.address) + ' ' + m.text;
            return replies;
        };
        // Before any rendezvous nobody is heard.
        expectRefusal(kSimAddress);
        QCOMPARE(from(kSimAddress), QByteArrayList{"4 " + refused.first()});
        connectSimulator();
        // Another peer: refused at every block, logged once, nothing emitted or opened.
        expectRefusal(6);
        QCOMPARE(from(6), QByteArrayList{"6 " + refused.first()});
        QCOMPARE(from(6, "OPTIM_HELMDECK OPEN_HELMDECK INTERACTIVE"), QByteArrayList{"6 DATA_BLOCK OPTIM_HELMDECK OPEN_HELMDECK INTERACTIVE FAILED"});
        QVERIFY(m_owner->opened.isEmpty());
        QCOMPARE(iters.count(), 0);
        QCOMPARE(from(kSimAddress), QByteArrayList{"4 DATA_BLOCK OPTIM_HELMDECK OPTIM_ITER"});
        QCOMPARE(iters.count(), 1);
        // The peer leaves; one at its address later is logged anew.
        m_link->onKuvoMessage(6, wire::KindGone, "");
        expectRefusal(6);
        QCOMPARE(from(6), QByteArrayList{"6 " + refused.first()});
        // The simulator leaves and sim-99 at 6 makes the rendezvous: now 6 is heard, 4 is not.
        m_link->onKuvoMessage(kSimAddress, wire::KindGone, "");
        m_kuvo->peerList.append({6, "sim-99"});
        m_link->onKuvoMessage(6, wire::KindRendezvous, "OPTIM_HELMDECK_RENDEZVOUS sim-99");
        QCOMPARE(from(6), QByteArrayList{"6 DATA_BLOCK OPTIM_HELMDECK OPTIM_ITER"});
        expectRefusal(kSimAddress);
        QCOMPARE(from(kSimAddress), QByteArrayList{"4 " + refused.first()});
        QCOMPARE(iters.count(), 2);
    }

    void foreignBlocksAreIgnoredWithoutReply()
    {
        connectSimulator();
        m_link->onKuvoMessage(kSimAddress, wire::KindBlockStart, "DATA_BLOCK 5 1 OTHER_TOOL STATUS");
        m_link->onKuvoMessage(kSimAddress, wire::KindBlockStart, "DATA_BLOCK 5 1 OPTIM_HELMDECK");
        m_link->onKuvoMessage(kSimAddress, wire::KindBlockStart, "DATA BLOCK 5 1 OPTIM_HELMDECK STATUS");
        QVERIFY(m_kuvo->sent.isEmpty());
    }

    void openHelmdeckFlags_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("multiOpt");
        QTest::addColumn<bool>("interactive");
        QTest::newRow("plain") << QByteArray("OPTIM_HELMDECK OPEN_HELMDECK") << false << false;
        QTest::newRow("both") << QByteArray("OPTIM_HELMDECK OPEN_HELMDECK MULTI_OPT INTERACTIVE") << true << true;
        QTest::newRow("multi only") << QByteArray("OPTIM_HELMDECK OPEN_HELMDECK MULTI_OPT") << true << false;
        QTest::newRow("interactive only") << QByteArray("OPTIM_HELMDECK OPEN_HELMDECK INTERACTIVE") << false << true;
    }

    void openHelmdeckFlags()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, multiOpt);
        QFETCH(bool, interactive);
        connectSimulator();
        const QList<QByteArray> chunks = chunksOf(sampleModelInput({2, 1, 1, 2}), 300);
        deliver("1", name, chunks);
        QCOMPARE(m_owner->opened.size(), 1);
        QCOMPARE(m_owner->opened.first(), chunks.join());
        QCOMPARE(m_owner->openFlags.first(), qMakePair(multiOpt, interactive));
        QCOMPARE(m_kuvo->sent.first().text, "DATA_BLOCK " + name);
    }

    void notifications()
    {
        connectSimulator();
        m_link->onKuvoMessage(kSessionAddress, wire::KindPlain, "NOTIFY OPTIM_HELMDECK_SIMULATOR_BEING_KILLED OTHER");
        m_link->onKuvoMessage(kSessionAddress, wire::KindPlain, "NOTIFY OPTIM_HELMDECK_SIMULATOR_BEING_KILLED SIM1 extra");
        QVERIFY(m_owner->gone.isEmpty());
        m_link->onKuvoMessage(kSessionAddress, wire::KindPlain, "NOTIFY OPTIM_HELMDECK_SIMULATOR_BEING_KILLED SIM1");
        QCOMPARE(m_owner->gone, QList<QByteArray>{"SIM1 keep"});
        m_link->onKuvoMessage(kSessionAddress, wire::KindPlain, "NOTIFY SESS ANALYZE_DONE OTHER");
        m_link->onKuvoMessage(kSessionAddress, wire::KindPlain, "NOTIFY SESS ANALYZE_DONE x SIM1");
        m_link->onKuvoMessage(kSessionAddress, wire::KindPlain, "NOTIFY SESS ANALYZE_DONE ");
        QCOMPARE(m_owner->finished, 0);
        QVERIFY(m_sim->isConnected());
        m_link->onKuvoMessage(kSessionAddress, wire::KindPlain, "NOTIFY SESS ANALYZE_DONE SIM1 0");
        QCOMPARE(m_owner->finished, 1);
        QVERIFY(!m_sim->isConnected());
        QVERIFY(m_kuvo->sent.isEmpty());
    }

    void notificationsOnlyFromTheSession()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        connectSimulator();
        // Another peer's notifications are dropped, logged once.
        QTest::ignoreMessage(QtWarningMsg, "refused from peer 4: message of kind 11 \"NOTIFY SESS ANALYZE_DONE SIM1\": not from the session");
        m_link->onKuvoMessage(kSimAddress, wire::KindPlain, "NOTIFY SESS ANALYZE_DONE SIM1");
        m_link->onKuvoMessage(kSimAddress, wire::KindPlain, "NOTIFY OPTIM_HELMDECK_SIMULATOR_BEING_KILLED SIM1");
        QCOMPARE(m_owner->finished, 0);
        QVERIFY(m_owner->gone.isEmpty());
        // The session leaves and joins again at 5. Nothing is looked up in the
        // handler: the lookup from the event loop hands on what the new address
        // sent meanwhile and drops what the old one did.
        m_link->onKuvoMessage(kSessionAddress, wire::KindGone, "");
        m_kuvo->registered.insert("tolvanesess", 5);
        const int lookups = m_kuvo->lookups;
        m_link->onKuvoMessage(kSessionAddress, wire::KindPlain, "NOTIFY OPTIM_HELMDECK_SIMULATOR_BEING_KILLED SIM1");
        m_link->onKuvoMessage(5, wire::KindPlain, "NOTIFY SESS ANALYZE_DONE SIM1 0");
        QCOMPARE(m_kuvo->lookups, lookups);
        QCOMPARE(m_owner->finished, 0);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^refused from peer 2: .*not from the session$")));
        QTRY_COMPARE(m_owner->finished, 1);
        QCOMPARE(m_kuvo->lookups, lookups + 1);
        QCOMPARE(m_link->sessionAddress(), 5);
        QVERIFY(m_owner->gone.isEmpty());
    }

    void simulatorLeaving()
    {
        connectSimulator();
        m_link->onKuvoMessage(3, wire::KindGone, "");   // the session process, not the simulator
        QCOMPARE(m_link->simulatorAddress(), kSimAddress);
        QVERIFY(m_owner->gone.isEmpty());
        m_link->onKuvoMessage(kSimAddress, wire::KindGone, "");
        QCOMPARE(m_link->simulatorAddress(), -1);
        QCOMPARE(m_owner->gone, QList<QByteArray>{"SIM1 keep"});
        // Without a name, the address decides.
        connectSimulator();
        m_kuvo->names.clear();
        m_link->onKuvoMessage(kSimAddress + 1, wire::KindGone, "");
        QCOMPARE(m_link->simulatorAddress(), kSimAddress);
        m_link->onKuvoMessage(kSimAddress, wire::KindGone, "");
        QCOMPARE(m_link->simulatorAddress(), -1);
        QCOMPARE(m_owner->gone.size(), 2);
    }

    void commandBlocksAndPlainMessages()
    {
        // Disconnecting with no simulator sends nothing and succeeds.
        m_sim->disconnectSimulatorSlot();
        QVERIFY(m_sim->lastSendSucceeded());
        QVERIFY(m_kuvo->sent.isEmpty());
        connectSimulator();
        m_kuvo->onSend = [this](const SentMessage &m) {
            if (m.kind == wire::KindBlockEnd)
                m_kuvo->incoming.append({kSimAddress, wire::KindReply, "DATA_BLOCK " + m.text.split(' ').mid(3).join(' ')});
        };
        m_sim->simulateSlot(42);
        m_kuvo->deliverIncoming();
        QVERIFY(m_sim->lastSendSucceeded());
        const QByteArray id = m_kuvo->sent.value(0).text.split(' ').value(1);
        QCOMPARE(m_kuvo->sent, (QList<SentMessage>{{kSimAddress, wire::KindBlockStart, "DATA_BLOCK " + id + " 1 OPTIM_HELMDECK SIMULATE 42"},
                                                   {kSimAddress, wire::KindPlain, "DATA_BLOCK " + id + " 1/1 OPTIM_HELMDECK SIMULATE 42: "},
                                                   {kSimAddress, wire::KindBlockEnd, "DATA_BLOCK " + id + " 1 OPTIM_HELMDECK SIMULATE 42"}}));
        m_kuvo->sent.clear();
        m_sim->continueOptimizationSlot();
        m_sim->finishSimulationSlot();
        m_kuvo->deliverIncoming();
        QCOMPARE(m_link->pendingReplies(), 0);
        QCOMPARE(m_kuvo->sent.at(0).text.split(' ').mid(3).join(' '), QByteArray("OPTIM_HELMDECK CONTINUE"));
        QCOMPARE(m_kuvo->sent.at(3).text.split(' ').mid(3).join(' '), QByteArray("OPTIM_HELMDECK FINISH_SIMULATION"));
        m_kuvo->sent.clear();
        m_sim->pauseOptimizationSlot();
        m_sim->disconnectSimulatorSlot();
        QCOMPARE(m_kuvo->sent, (QList<SentMessage>{{kSessionAddress, wire::KindPlain, "OPTIM_HELMDECK_PAUSE SIM1"},
                                                   {kSimAddress, wire::KindPlain, "OPTIM_HELMDECK_DISCONNECT"}}));
        // No session process: the pause cannot go anywhere and reports failure.
        m_kuvo->registered.clear();
        m_kuvo->sent.clear();
        m_sim->pauseOptimizationSlot();
        QVERIFY(!m_sim->lastSendSucceeded());
        QVERIFY(m_kuvo->sent.isEmpty());
    }

    // The send returns at once; the reply, brought later by normal dispatch, is its answer.
    void sendDoesNotWaitForTheReply()
    {
        connectSimulator();
        bool timerRan = false;
        QTimer::singleShot(0, [&timerRan] { timerRan = true; });
        m_sim->simulateSlot(7);
        QVERIFY(!timerRan);   // no nested wait ran the event loop
        QCOMPARE(m_kuvo->waits, 0);
        QCOMPARE(m_kuvo->sent.size(), 3);
        QVERIFY(!m_sim->lastSendSucceeded());   // not known yet
        QCOMPARE(m_owner->replyWaits, QList<bool>{true});
        QTRY_VERIFY(timerRan);
        m_kuvo->incoming.append({kSimAddress, wire::KindReply, "DATA_BLOCK OPTIM_HELMDECK SIMULATE 7"});
        m_kuvo->deliverIncoming();
        QVERIFY(m_sim->lastSendSucceeded());
        QCOMPARE(m_owner->replyWaits, (QList<bool>{true, false}));
        // No reply: the deadline fails the send, the owner hears the
        // simulator has not answered, and a late reply is news of it.
        m_link->setReplyDeadline(20);
        m_sim->continueOptimizationSlot();
        QTRY_COMPARE(m_owner->silent, 1);
        QVERIFY(!m_sim->lastSendSucceeded());
        QCOMPARE(m_owner->replyWaits, (QList<bool>{true, false, true, false}));
        m_kuvo->incoming.append({kSimAddress, wire::KindReply, "DATA_BLOCK OPTIM_HELMDECK CONTINUE"});
        m_kuvo->deliverIncoming();
        QCOMPARE(m_owner->late, 1);
        QVERIFY(!m_sim->lastSendSucceeded());
        // A simulator that spoke during the wait is not silent.
        m_sim->finishSimulationSlot();
        m_link->onKuvoMessage(kSimAddress, wire::KindPlain, "NOTIFY X");
        QTRY_COMPARE(m_link->pendingReplies(), 0);
        QCOMPARE(m_owner->silent, 1);
    }

    void replyOutcomes_data()
    {
        QTest::addColumn<QList<KuvoMessage>>("answers");
        QTest::addColumn<bool>("ok");
        const QByteArray reply("DATA_BLOCK OPTIM_HELMDECK CONTINUE");
        QTest::newRow("reply") << QList<KuvoMessage>{{kSimAddress, wire::KindReply, reply}} << true;
        QTest::newRow("failed reply") << QList<KuvoMessage>{{kSimAddress, wire::KindReply, reply + " FAILED"}} << false;
        QTest::newRow("receiver gone") << QList<KuvoMessage>{{kSimAddress, wire::KindGone, ""}} << false;
        QTest::newRow("refused") << QList<KuvoMessage>{{kSimAddress, wire::KindRefused, ""}} << false;
        QTest::newRow("kind 0 ends the wait") << QList<KuvoMessage>{{kSimAddress, wire::KindWaitEnd0, ""}, {kSimAddress, wire::KindReply, reply}} << false;
        QTest::newRow("kind 3 from the session") << QList<KuvoMessage>{{kSessionAddress, wire::KindWaitEnd3, ""}, {kSimAddress, wire::KindReply, reply}} << false;
        QTest::newRow("kind 6 from someone else") << QList<KuvoMessage>{{9, wire::KindWaitEnd6, ""}, {kSimAddress, wire::KindReply, reply}} << true;
        QTest::newRow("another peer leaving") << QList<KuvoMessage>{{3, wire::KindGone, ""}, {kSimAddress, wire::KindReply, reply}} << true;
        QTest::newRow("reply from someone else") << QList<KuvoMessage>{{9, wire::KindReply, reply + " FAILED"}, {kSimAddress, wire::KindReply, reply}} << true;
        QTest::newRow("reply naming no block") << QList<KuvoMessage>{{kSimAddress, wire::KindReply, "DATA_BLOCK"}} << true;
    }

    void replyOutcomes()
    {
        QFETCH(QList<KuvoMessage>, answers);
        QFETCH(bool, ok);
        connectSimulator();
        m_sim->continueOptimizationSlot();
        m_kuvo->incoming = answers;
        m_kuvo->deliverIncoming();
        QCOMPARE(m_sim->lastSendSucceeded(), ok);
        QCOMPARE(m_link->pendingReplies(), 0);
        QCOMPARE(m_owner->replyWaits, (QList<bool>{true, false}));
        QCOMPARE(m_owner->silent + m_owner->late, 0);
    }

    void largeMessageIsChunked()
    {
        connectSimulator();
        m_kuvo->onSend = [this](const SentMessage &m) {
            if (m.kind == wire::KindBlockEnd)
                m_kuvo->incoming.append({kSimAddress, wire::KindReply, "DATA_BLOCK OPTIM_HELMDECK VAR_DEFINITIONS"});
        };
        OptimIterVariableDefinitions defs;
        defs.variables() = sampleModelInput({0, 1, 1, 200}).variables();
        OptimVarInput longOne;
        longOne.setValue(QString(7000, QLatin1Char('v')));   // one word longer than a chunk
        defs.variables().append(longOne);
        m_sim->changeVariableDefinitionsSlot(defs);
        m_kuvo->deliverIncoming();
        QVERIFY(m_sim->lastSendSucceeded());
        const QList<SentMessage> &sent = m_kuvo->sent;
        const int n = sent.size() - 2;
        QVERIFY(n > 3);
        QByteArray joined;
        for (int i = 1; i <= n; ++i) {
            wire::Header header;
            QVERIFY(wire::parseHeader(sent.at(i).text, header));
            QCOMPARE(header.index, i);
            QCOMPARE(header.count, n);
            const QByteArray payload = wire::payloadOf(sent.at(i).text);
            QVERIFY(payload.size() <= 5700 || payload.size() == 7003);
            joined += payload;
        }
        OptimSerialWriter writer;
        defs.serialize(writer);
        QCOMPARE(joined, writer.joinedText());
    }

    void blockReceivedWhileSendIsPending()
    {
        connectSimulator();
        QSignalSpy spy(m_sim, qOverload<OptimIter>(&OptimSimIFC::modelChanged));
        const OptimIter iter = sampleIteration({2, 1, 51, 3}, 1);
        m_kuvo->onSend = [&](const SentMessage &m) {
            if (m.kind != wire::KindBlockEnd)
                return;
            // An iteration arrives before the acknowledgement of our command.
            m_kuvo->queueBlock(kSimAddress, "77", "OPTIM_HELMDECK OPTIM_ITER", chunksOf(iter, 500));
            m_kuvo->incoming.append({kSimAddress, wire::KindReply, "DATA_BLOCK OPTIM_HELMDECK CONTINUE"});
            m_kuvo->onSend = nullptr;
        };
        m_sim->continueOptimizationSlot();
        m_kuvo->deliverIncoming();
        QVERIFY(m_sim->lastSendSucceeded());
        QCOMPARE(spy.count(), 1);
        QVERIFY(spy.at(0).at(0).value<OptimIter>() == iter);
        QCOMPARE(m_kuvo->sent.last(), (SentMessage{kSimAddress, wire::KindReply, "DATA_BLOCK OPTIM_HELMDECK OPTIM_ITER"}));
    }

    void hostCallsReleaseEveryValue()
    {
        QVERIFY(m_sim->isSimulatorCurrent());
        m_sim->displayHelp(QStringLiteral("OPTIM_HELMDECK_EDIT_\"GOALS\""));
        m_sim->killSimulatorSlot();
        QCOMPARE(m_hostCalls, (QStringList{"help OPTIM_HELMDECK_EDIT_\"GOALS\"", "stop "}));
        QCOMPARE(m_sim->designName(), QByteArray("designs/top"));
        // Another simulator becomes current: this one is no longer, for good.
        m_mox->registerVocabulary("host", {MoxWord::functionWord("desim_get_current_simulator_id",
                                                                 [this](const MoxArgs *) { return m_mox->makeString("SIM2"); })});
        QVERIFY(!m_sim->isSimulatorCurrent());
        m_sim->killSimulatorSlot();
        QCOMPARE(m_hostCalls.size(), 2);
        QCOMPARE(OptimHostCalls::quoted("a\"b\\"), QByteArray("\"a\\\"b\\\\\""));
    }
};

QTEST_MAIN(TestOptimKuvoLink)
#include "tst_optimkuvolink.moc"
