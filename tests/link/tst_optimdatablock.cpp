#include "fakekuvo.h"
#include "link/optimdatablock.h"

#include <QTest>

class TestOptimDataBlock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void blockIdsAreProcessWideAndIncreasing();
    void transmitSendsStartChunksEndThenWaits();
    void transmitOutcomes_data();
    void transmitOutcomes();
    void transmitDispatchesOtherMessagesWhileWaiting();
};

void TestOptimDataBlock::blockIdsAreProcessWideAndIncreasing()
{
    OptimDataBlock a, b;
    QCOMPARE(b.blockId().toULongLong(), a.blockId().toULongLong() + 1);
}

void TestOptimDataBlock::transmitSendsStartChunksEndThenWaits()
{
    FakeKuvo kuvo;
    kuvo.onSend = [&](const SentMessage &m) {
        if (m.kind == 10)
            kuvo.incoming.append({5, 8, "DATA_BLOCK N"});
    };
    OptimDataBlock block;
    block.setName("N");
    block.setChunks({"a ", "b "});
    QVERIFY(block.transmit(&kuvo, 5));
    const QByteArray id = block.blockId();
    QCOMPARE(kuvo.sent, (QList<SentMessage>{{5, 9, "DATA_BLOCK " + id + " 2 N"},
                                            {5, 11, "DATA_BLOCK " + id + " 1/2 N:a "},
                                            {5, 11, "DATA_BLOCK " + id + " 2/2 N:b "},
                                            {5, 10, "DATA_BLOCK " + id + " 2 N"}}));
}

void TestOptimDataBlock::transmitOutcomes_data()
{
    QTest::addColumn<QList<KuvoMessage>>("answers");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("dispatchedCount");
    QTest::newRow("reply") << QList<KuvoMessage>{{5, 8, "DATA_BLOCK N"}} << true << 0;
    QTest::newRow("failed reply") << QList<KuvoMessage>{{5, 8, "DATA_BLOCK N FAILED"}} << false << 0;
    QTest::newRow("no reply") << QList<KuvoMessage>{} << false << 0;
    QTest::newRow("receiver gone") << QList<KuvoMessage>{{5, 13, ""}} << false << 1;
    QTest::newRow("refused") << QList<KuvoMessage>{{5, 12, ""}} << false << 0;
    QTest::newRow("kind 0 ends the wait") << QList<KuvoMessage>{{5, 0, ""}, {5, 8, "DATA_BLOCK N"}} << false << 0;
    QTest::newRow("another peer leaving") << QList<KuvoMessage>{{9, 13, ""}, {5, 8, "DATA_BLOCK N"}} << true << 1;
    QTest::newRow("reply from someone else") << QList<KuvoMessage>{{9, 8, "DATA_BLOCK N"}, {5, 8, "DATA_BLOCK N"}} << true << 1;
}

void TestOptimDataBlock::transmitOutcomes()
{
    QFETCH(QList<KuvoMessage>, answers);
    QFETCH(bool, ok);
    QFETCH(int, dispatchedCount);
    FakeKuvo kuvo;
    kuvo.incoming = answers;
    OptimDataBlock block;
    block.setName("N");
    block.setChunks({" "});
    QCOMPARE(block.transmit(&kuvo, 5), ok);
    QCOMPARE(kuvo.dispatched.size(), dispatchedCount);

    FakeKuvo broken;
    broken.failSends = true;
    broken.incoming = {{5, 8, "DATA_BLOCK N"}};
    QVERIFY(!block.transmit(&broken, 5));
    QVERIFY(!block.transmit(&kuvo, -1));
}

void TestOptimDataBlock::transmitDispatchesOtherMessagesWhileWaiting()
{
    FakeKuvo kuvo;
    kuvo.incoming = {{5, 11, "NOTIFY X"}, {7, 9, "DATA_BLOCK 3 1 OPTIM_HELMDECK STATUS"}, {5, 8, "DATA_BLOCK N"}};
    OptimDataBlock block;
    block.setName("N");
    block.setChunks({" "});
    QVERIFY(block.transmit(&kuvo, 5));
    QCOMPARE(kuvo.dispatched.size(), 2);
    QCOMPARE(kuvo.dispatched.at(0).text, QByteArray("NOTIFY X"));
    QCOMPARE(kuvo.dispatched.at(1).kind, 9);

    // A dispatcher that answers false ends the wait.
    class FalseDispatch : public FakeKuvo
    {
    public:
        bool dispatch(const KuvoMessage &) override { return false; }
    } falseDispatch;
    falseDispatch.incoming = {{5, 11, "x"}, {5, 8, "DATA_BLOCK N"}};
    QVERIFY(!block.transmit(&falseDispatch, 5));
}

QTEST_APPLESS_MAIN(TestOptimDataBlock)
#include "tst_optimdatablock.moc"
