#include "fakekuvo.h"
#include "host/optimdatablock.h"

#include <QTest>

class TestOptimDataBlock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsesHeaders_data();
    void parsesHeaders();
    void buildsEnvelopeTexts();
    void blockIdsAreProcessWideAndIncreasing();
    void transmitSendsStartChunksEndThenWaits();
    void transmitOutcomes_data();
    void transmitOutcomes();
    void transmitDispatchesOtherMessagesWhileWaiting();
};

void TestOptimDataBlock::parsesHeaders_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("start") << QByteArray("DATA_BLOCK 12 3 OPTIM_HELMDECK OPTIM_ITER") << true << 0 << 3 << QByteArray("OPTIM_HELMDECK OPTIM_ITER");
    QTest::newRow("chunk") << QByteArray("DATA_BLOCK 12 2/3 OPTIM_HELMDECK OPTIM_ITER:START_X 1: 2") << true << 2 << 3 << QByteArray("OPTIM_HELMDECK OPTIM_ITER");
    QTest::newRow("last chunk") << QByteArray("DATA_BLOCK 1 3/3 N:") << true << 3 << 3 << QByteArray("N");
    QTest::newRow("three words only") << QByteArray("DATA_BLOCK 12 3") << false << 0 << 0 << QByteArray();
    QTest::newRow("wrong first word") << QByteArray("DATA_BLOCKS 12 3 N") << false << 0 << 0 << QByteArray();
    QTest::newRow("letters in id") << QByteArray("DATA_BLOCK 1a 3 N") << false << 0 << 0 << QByteArray();
    QTest::newRow("zero count") << QByteArray("DATA_BLOCK 1 0 N") << false << 0 << 0 << QByteArray();
    QTest::newRow("index zero") << QByteArray("DATA_BLOCK 1 0/3 N:x") << false << 0 << 0 << QByteArray();
    QTest::newRow("index beyond count") << QByteArray("DATA_BLOCK 1 4/3 N:x") << false << 0 << 0 << QByteArray();
    QTest::newRow("signed count") << QByteArray("DATA_BLOCK 1 -3 N") << false << 0 << 0 << QByteArray();
    QTest::newRow("count beyond int") << QByteArray("DATA_BLOCK 1 99999999999 N") << false << 0 << 0 << QByteArray();
    QTest::newRow("empty slash part") << QByteArray("DATA_BLOCK 1 /3 N:x") << false << 0 << 0 << QByteArray();
}

void TestOptimDataBlock::parsesHeaders()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(QByteArray, name);
    OptimDataBlock::Header header;
    QCOMPARE(OptimDataBlock::parseHeader(text, header), ok);
    if (ok) {
        QCOMPARE(header.index, index);
        QCOMPARE(header.count, count);
        QCOMPARE(header.name, name);
    }
}

void TestOptimDataBlock::buildsEnvelopeTexts()
{
    OptimDataBlock block;
    block.setName("DATA_BLOCK OPTIM_HELMDECK VARIABLE_VALUES");
    QCOMPARE(block.name(), QByteArray("OPTIM_HELMDECK VARIABLE_VALUES"));
    QCOMPARE(block.nameWords(), (QByteArrayList{"OPTIM_HELMDECK", "VARIABLE_VALUES"}));
    block.setChunks({"START_A ", "END_A "});
    const QByteArray id = block.blockId();
    QCOMPARE(block.headerText(), "DATA_BLOCK " + id + " 2 OPTIM_HELMDECK VARIABLE_VALUES");
    QCOMPARE(block.chunkText(1), "DATA_BLOCK " + id + " 2/2 OPTIM_HELMDECK VARIABLE_VALUES:END_A ");
    block.setPrefix("PRE");
    QCOMPARE(block.chunkText(0), "PRE DATA_BLOCK " + id + " 1/2 OPTIM_HELMDECK VARIABLE_VALUES:START_A ");
    QCOMPARE(OptimDataBlock::payloadOf("DATA_BLOCK 1 1/1 N:a:b"), QByteArray("a:b"));
    QCOMPARE(OptimDataBlock::replyText("OPTIM_HELMDECK X", true), QByteArray("DATA_BLOCK OPTIM_HELMDECK X FAILED"));
}

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
