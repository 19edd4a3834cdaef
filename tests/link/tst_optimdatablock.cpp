#include "fakekuvo.h"
#include "link/optimdatablock.h"

#include <QTest>

class TestOptimDataBlock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void blockIdsAreProcessWideAndIncreasing();
    void transmitSendsStartChunksEndAndReturns();
};

void TestOptimDataBlock::blockIdsAreProcessWideAndIncreasing()
{
    OptimDataBlock a, b;
    QCOMPARE(b.blockId().toULongLong(), a.blockId().toULongLong() + 1);
}

void TestOptimDataBlock::transmitSendsStartChunksEndAndReturns()
{
    FakeKuvo kuvo;
    OptimDataBlock block;
    block.setName("N");
    block.setChunks({"a ", "b "});
    // No reply yet: the send does not wait for one.
    QVERIFY(block.transmit(&kuvo, 5));
    QCOMPARE(kuvo.waits, 0);
    const QByteArray id = block.blockId();
    QCOMPARE(kuvo.sent, (QList<SentMessage>{{5, wire::KindBlockStart, "DATA_BLOCK " + id + " 2 N"},
                                            {5, wire::KindPlain, "DATA_BLOCK " + id + " 1/2 N:a "},
                                            {5, wire::KindPlain, "DATA_BLOCK " + id + " 2/2 N:b "},
                                            {5, wire::KindBlockEnd, "DATA_BLOCK " + id + " 2 N"}}));
    QCOMPARE(block.replyText(), QByteArray("DATA_BLOCK N"));
    FakeKuvo broken;
    broken.failSends = true;
    QVERIFY(!block.transmit(&broken, 5));
    QVERIFY(!block.transmit(&kuvo, -1));
}

QTEST_APPLESS_MAIN(TestOptimDataBlock)
#include "tst_optimdatablock.moc"
