// The data-block envelope, byte for byte, as the simulator writes it, and
// the checks it applies to what it receives.

#include "simdatablock.h"
#include "simsession.h"

#include "model/optimitermessages.h"

#include <QTest>

using simblock::Envelope;

class TestSimDataBlock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commandBlock()
    {
        const Envelope e = simblock::envelope("12", "OPTIM_HELMDECK SIMULATE 5", {" "});
        QCOMPARE(e.start, QByteArray("DATA_BLOCK 12 1 OPTIM_HELMDECK SIMULATE 5"));
        QCOMPARE(e.chunks, QList<QByteArray>{"DATA_BLOCK 12 1/1 OPTIM_HELMDECK SIMULATE 5: "});
        QCOMPARE(e.end, e.start);
    }

    void messageBlockInChunks()
    {
        const Envelope e = simblock::envelope("3", "OPTIM_HELMDECK STATUS", {"START_STATUS 2 ", "\"go\" END_STATUS "});
        QCOMPARE(e.start, QByteArray("DATA_BLOCK 3 2 OPTIM_HELMDECK STATUS"));
        QCOMPARE(e.chunks.at(0), QByteArray("DATA_BLOCK 3 1/2 OPTIM_HELMDECK STATUS:START_STATUS 2 "));
        QCOMPARE(e.chunks.at(1), QByteArray("DATA_BLOCK 3 2/2 OPTIM_HELMDECK STATUS:\"go\" END_STATUS "));
    }

    void prefixAndDataBlockName()
    {
        const Envelope e = simblock::envelope("7", "DATA_BLOCK OPTIM_HELMDECK X", {"a "}, "PRE");
        QCOMPARE(e.start, QByteArray("DATA_BLOCK 7 1 OPTIM_HELMDECK X"));
        QCOMPARE(e.chunks.at(0), QByteArray("PRE DATA_BLOCK 7 1/1 OPTIM_HELMDECK X:a "));
    }

    void replies()
    {
        QCOMPARE(simblock::replyText("OPTIM_HELMDECK CONTINUE", true), QByteArray("DATA_BLOCK OPTIM_HELMDECK CONTINUE"));
        QCOMPARE(simblock::replyText("OPTIM_HELMDECK CONTINUE", false),
                 QByteArray("DATA_BLOCK OPTIM_HELMDECK CONTINUE FAILED"));
    }

    void openBlockNames()
    {
        QCOMPARE(SimSession::openBlockName(false, true), QByteArray("OPTIM_HELMDECK OPEN_HELMDECK SINGLE_OPT INTERACTIVE"));
        QCOMPARE(SimSession::openBlockName(true, true), QByteArray("OPTIM_HELMDECK OPEN_HELMDECK MULTI_OPT INTERACTIVE"));
        QCOMPARE(SimSession::openBlockName(true, false), QByteArray("OPTIM_HELMDECK OPEN_HELMDECK MULTI_OPT"));
        QCOMPARE(SimSession::openBlockName(false, false), QByteArray("OPTIM_HELMDECK OPEN_HELMDECK"));
    }

    void largeRecordIsNumberedChunks()
    {
        OptimStatus status(StatusRunning, QString(12000, QLatin1Char('x')) + QStringLiteral(" ") + QString(100, QLatin1Char('y')));
        OptimSerialWriter writer;
        status.serialize(writer);
        const QList<QByteArray> chunks = writer.chunks(simblock::kChunkLimit);
        QCOMPARE(chunks.size(), 3);  // START_STATUS 2 | the long string alone | END_STATUS
        const Envelope e = simblock::envelope("40", "OPTIM_HELMDECK STATUS", chunks);
        QCOMPARE(e.start, QByteArray("DATA_BLOCK 40 3 OPTIM_HELMDECK STATUS"));
        QByteArray joined;
        for (int i = 0; i < 3; ++i) {
            const QByteArray head = "DATA_BLOCK 40 " + QByteArray::number(i + 1) + "/3 OPTIM_HELMDECK STATUS:";
            QVERIFY(e.chunks.at(i).startsWith(head));
            joined += e.chunks.at(i).mid(head.size());
        }
        QCOMPARE(joined, writer.joinedText());
    }

    void headers_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("start") << QByteArray("DATA_BLOCK 5 2 OPTIM_HELMDECK CONTINUE") << true << 0 << 2
                               << QByteArray("OPTIM_HELMDECK CONTINUE") << QByteArray();
        QTest::newRow("chunk") << QByteArray("DATA_BLOCK 5 2/2 OPTIM_HELMDECK SIMULATE 3: x:y") << true << 2 << 2
                               << QByteArray("OPTIM_HELMDECK SIMULATE 3") << QByteArray(" x:y");
        QTest::newRow("prefixed chunk") << QByteArray("SIM DATA_BLOCK 5 1/1 OPTIM_HELMDECK X:a") << true << 1 << 1
                                        << QByteArray("OPTIM_HELMDECK X") << QByteArray("a");
        QTest::newRow("three words") << QByteArray("DATA_BLOCK 5 1") << false << 0 << 0 << QByteArray() << QByteArray();
        QTest::newRow("id not digits") << QByteArray("DATA_BLOCK 5a 1 N") << false << 0 << 0 << QByteArray() << QByteArray();
        QTest::newRow("count zero") << QByteArray("DATA_BLOCK 5 0 N") << false << 0 << 0 << QByteArray() << QByteArray();
        QTest::newRow("index zero") << QByteArray("DATA_BLOCK 5 0/1 N:") << false << 0 << 0 << QByteArray() << QByteArray();
        QTest::newRow("index above count") << QByteArray("DATA_BLOCK 5 3/2 N:") << false << 0 << 0 << QByteArray() << QByteArray();
        QTest::newRow("signed count") << QByteArray("DATA_BLOCK 5 +1 N") << false << 0 << 0 << QByteArray() << QByteArray();
        QTest::newRow("other word") << QByteArray("DATA_BLOC 5 1 N") << false << 0 << 0 << QByteArray() << QByteArray();
    }

    void headers()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        QFETCH(int, index);
        QFETCH(int, count);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, payload);
        simblock::Header h;
        QByteArray got;
        QCOMPARE(simblock::parseHeader(text, h, &got), ok);
        if (!ok)
            return;
        QCOMPARE(h.blockId, QByteArray("5"));
        QCOMPARE(h.index, index);
        QCOMPARE(h.count, count);
        QCOMPARE(h.name, name);
        QCOMPARE(got, payload);
    }

    void assemble_data()
    {
        using Parts = QList<QPair<int, QByteArray>>;
        QTest::addColumn<Parts>("rest");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<int>("chunks");
        const QByteArray end("DATA_BLOCK 9 2 OPTIM_HELMDECK VARIABLE_VALUES");
        const QByteArray c1("DATA_BLOCK 9 1/2 OPTIM_HELMDECK VARIABLE_VALUES:START_VARIABLE_VALUES 4 ");
        const QByteArray c2("DATA_BLOCK 9 2/2 OPTIM_HELMDECK VARIABLE_VALUES:START_ARRAY_STRING 0 END_ARRAY_STRING END_VARIABLE_VALUES ");
        QTest::newRow("whole") << Parts{{11, c1}, {11, c2}, {10, end}} << true << 2;
        QTest::newRow("no end") << Parts{{11, c1}, {11, c2}} << false << 2;
        QTest::newRow("missing chunk") << Parts{{11, c1}, {10, end}} << false << 1;
        QTest::newRow("out of order") << Parts{{11, c2}, {11, c1}, {10, end}} << false << 1;
        QTest::newRow("other block's chunk") << Parts{{11, c1}, {11, QByteArray(c2).replace("9 2/2", "8 2/2")}, {10, end}}
                                             << false << 1;
        QTest::newRow("end of another count") << Parts{{11, c1}, {11, c2}, {10, QByteArray(end).replace(" 2 ", " 3 ")}}
                                              << false << 2;
    }

    void assemble()
    {
        using Parts = QList<QPair<int, QByteArray>>;
        QFETCH(Parts, rest);
        QFETCH(bool, whole);
        QFETCH(int, chunks);
        const simblock::Received r = simblock::assemble("DATA_BLOCK 9 2 OPTIM_HELMDECK VARIABLE_VALUES", rest);
        QCOMPARE(r.name, QByteArray("OPTIM_HELMDECK VARIABLE_VALUES"));
        QCOMPARE(r.whole, whole);
        QCOMPARE(r.payload.size(), chunks);
        if (whole) {
            OptimIterVariableValues values;
            OptimSerialReader reader(r.payload);
            values.deserialize(reader);
            QVERIFY(!reader.hasError());
            QCOMPARE(values.commandId(), 4L);
        }
    }

    void nameWords()
    {
        QCOMPARE(simblock::nameWords("OPTIM_HELMDECK  SIMULATE 5"),
                 (QList<QByteArray>{"OPTIM_HELMDECK", "SIMULATE", "5"}));
    }
};

QTEST_GUILESS_MAIN(TestSimDataBlock)
#include "tst_simdatablock.moc"
