// The data-block envelope byte for byte, the header checks and the
// reassembly that the plug-in and the simulator share.

#include "wire/datablock.h"

#include "model/optimitermessages.h"

#include <QTest>

using Parts = QList<wire::Message>;

class TestDataBlock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void envelopes()
    {
        wire::Envelope e = wire::envelope("12", "OPTIM_HELMDECK SIMULATE 5", {" "});
        QCOMPARE(e.start, QByteArray("DATA_BLOCK 12 1 OPTIM_HELMDECK SIMULATE 5"));
        QCOMPARE(e.chunks, QList<QByteArray>{"DATA_BLOCK 12 1/1 OPTIM_HELMDECK SIMULATE 5: "});
        QCOMPARE(e.end, e.start);

        e = wire::envelope("3", "DATA_BLOCK OPTIM_HELMDECK STATUS", {"START_STATUS 2 ", "\"go\" END_STATUS "}, "PRE");
        QCOMPARE(e.start, QByteArray("DATA_BLOCK 3 2 OPTIM_HELMDECK STATUS"));
        QCOMPARE(e.chunks.at(0), QByteArray("PRE DATA_BLOCK 3 1/2 OPTIM_HELMDECK STATUS:START_STATUS 2 "));
        QCOMPARE(e.chunks.at(1), QByteArray("PRE DATA_BLOCK 3 2/2 OPTIM_HELMDECK STATUS:\"go\" END_STATUS "));

        QCOMPARE(wire::replyText("OPTIM_HELMDECK CONTINUE", false), QByteArray("DATA_BLOCK OPTIM_HELMDECK CONTINUE"));
        QCOMPARE(wire::replyText("OPTIM_HELMDECK CONTINUE", true), QByteArray("DATA_BLOCK OPTIM_HELMDECK CONTINUE FAILED"));
        QCOMPARE(wire::payloadOf("DATA_BLOCK 1 1/1 N:a:b"), QByteArray("a:b"));
        QCOMPARE(wire::nameWords("OPTIM_HELMDECK  SIMULATE 5"), (QByteArrayList{"OPTIM_HELMDECK", "SIMULATE", "5"}));
        QCOMPARE(wire::kindName(13), QByteArray("GONE"));
        QCOMPARE(wire::kindName(42), QByteArray("42"));
    }

    void largeRecordIsNumberedChunks()
    {
        OptimStatus status(StatusRunning, QString(12000, QLatin1Char('x')) + QStringLiteral(" ") + QString(100, QLatin1Char('y')));
        OptimSerialWriter writer;
        status.serialize(writer);
        const QList<QByteArray> chunks = writer.chunks(wire::kChunkLimit);
        QCOMPARE(chunks.size(), 3);  // START_STATUS 2 | the long string alone | END_STATUS
        const wire::Envelope e = wire::envelope("40", "OPTIM_HELMDECK STATUS", chunks);
        QList<wire::Message> rest;
        for (const QByteArray &chunk : e.chunks)
            rest.append({wire::KindPlain, chunk});
        rest.append({wire::KindBlockEnd, e.end});
        const wire::Received r = wire::assemble(e.start, rest);
        QVERIFY(r.whole);
        QCOMPARE(r.payload.join(), writer.joinedText());
    }

    void headers_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("payload");
        const QByteArray none;
        QTest::newRow("start") << QByteArray("DATA_BLOCK 5 2 OPTIM_HELMDECK CONTINUE") << true << 0 << 2
                               << QByteArray("OPTIM_HELMDECK CONTINUE") << none;
        QTest::newRow("chunk") << QByteArray("DATA_BLOCK 5 2/2 OPTIM_HELMDECK SIMULATE 3: x:y") << true << 2 << 2
                               << QByteArray("OPTIM_HELMDECK SIMULATE 3") << QByteArray(" x:y");
        QTest::newRow("prefixed chunk") << QByteArray("SIM DATA_BLOCK 5 1/1 OPTIM_HELMDECK X:a") << true << 1 << 1
                                        << QByteArray("OPTIM_HELMDECK X") << QByteArray("a");
        QTest::newRow("three words") << QByteArray("DATA_BLOCK 5 1") << false << 0 << 0 << none << none;
        QTest::newRow("id not digits") << QByteArray("DATA_BLOCK 5a 1 N") << false << 0 << 0 << none << none;
        QTest::newRow("count zero") << QByteArray("DATA_BLOCK 5 0 N") << false << 0 << 0 << none << none;
        QTest::newRow("index zero") << QByteArray("DATA_BLOCK 5 0/1 N:") << false << 0 << 0 << none << none;
        QTest::newRow("index above count") << QByteArray("DATA_BLOCK 5 3/2 N:") << false << 0 << 0 << none << none;
        QTest::newRow("signed count") << QByteArray("DATA_BLOCK 5 +1 N") << false << 0 << 0 << none << none;
        QTest::newRow("count beyond int") << QByteArray("DATA_BLOCK 5 99999999999 N") << false << 0 << 0 << none << none;
        QTest::newRow("empty slash part") << QByteArray("DATA_BLOCK 5 /3 N:x") << false << 0 << 0 << none << none;
        QTest::newRow("other word") << QByteArray("DATA_BLOC 5 1 N") << false << 0 << 0 << none << none;
    }

    void headers()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        QFETCH(int, index);
        QFETCH(int, count);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, payload);
        wire::Header h;
        QByteArray got;
        QCOMPARE(wire::parseHeader(text, h, &got), ok);
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
        QTest::addColumn<Parts>("rest");
        QTest::addColumn<int>("maxBytes");
        QTest::addColumn<bool>("whole");
        const QByteArray end("DATA_BLOCK 9 2 OPTIM_HELMDECK VARIABLE_VALUES");
        const QByteArray c1("DATA_BLOCK 9 1/2 OPTIM_HELMDECK VARIABLE_VALUES:START_VARIABLE_VALUES 4 ");
        const QByteArray c2("DATA_BLOCK 9 2/2 OPTIM_HELMDECK VARIABLE_VALUES:START_ARRAY_STRING 0 END_ARRAY_STRING END_VARIABLE_VALUES ");
        const int any = 1 << 20;
        QTest::newRow("whole") << Parts{{11, c1}, {11, c2}, {10, end}} << any << true;
        QTest::newRow("no end") << Parts{{11, c1}, {11, c2}} << any << false;
        QTest::newRow("missing chunk") << Parts{{11, c1}, {10, end}} << any << false;
        QTest::newRow("out of order") << Parts{{11, c2}, {11, c1}, {10, end}} << any << false;
        QTest::newRow("chunk twice") << Parts{{11, c1}, {11, c1}, {11, c2}, {10, end}} << any << false;
        QTest::newRow("chunk as another kind") << Parts{{11, c1}, {9, c2}, {10, end}} << any << false;
        QTest::newRow("other block's chunk") << Parts{{11, c1}, {11, QByteArray(c2).replace("9 2/2", "8 2/2")}, {10, end}}
                                             << any << false;
        QTest::newRow("other name") << Parts{{11, c1}, {11, QByteArray(c2).replace("_VALUES:", "_VALUEZ:")}, {10, end}}
                                    << any << false;
        QTest::newRow("end of another count") << Parts{{11, c1}, {11, c2}, {10, QByteArray(end).replace(" 2 ", " 3 ")}}
                                              << any << false;
        QTest::newRow("chunk without colon") << Parts{{11, c1}, {11, c2.left(c2.indexOf(':'))}, {10, end}} << any << false;
        QTest::newRow("too many bytes") << Parts{{11, c1}, {11, c2}, {10, end}} << 40 << false;
        // Headers not as the envelope writes them, read all the same.
        QTest::newRow("prefixed chunks") << Parts{{11, "SIM " + c1}, {11, "SIM " + c2}, {10, end}} << any << true;
        QTest::newRow("spaced header") << Parts{{11, QByteArray(c1).replace("9 1/2 ", "9  1/2\t")}, {11, c2}, {10, end}}
                                       << any << true;
        QTest::newRow("index with a leading zero") << Parts{{11, c1}, {11, QByteArray(c2).replace(" 2/2", " 02/2")}, {10, end}}
                                                   << any << true;
        QTest::newRow("index as a longer number") << Parts{{11, QByteArray(c1).replace(" 1/2", " 12/2")}, {11, c2}, {10, end}}
                                                  << any << false;
        QTest::newRow("a chunk past the count") << Parts{{11, c1}, {11, c2}, {11, QByteArray(c2).replace(" 2/2", " 3/2")}, {10, end}}
                                                << any << false;
    }

    void assemble()
    {
        QFETCH(Parts, rest);
        QFETCH(int, maxBytes);
        QFETCH(bool, whole);
        const wire::Received r = wire::assemble("DATA_BLOCK 9 2 OPTIM_HELMDECK VARIABLE_VALUES", rest, 16, maxBytes);
        QCOMPARE(r.header.name, QByteArray("OPTIM_HELMDECK VARIABLE_VALUES"));
        QCOMPARE(r.whole, whole);
        // Each chunk's text after its first ':', in order: what the headers
        // were read from, however they were written.
        QByteArray expected;
        for (const wire::Message &m : rest)
            expected += m.kind == wire::KindPlain ? wire::payloadOf(m.text) : QByteArray();
        if (whole)
            QCOMPARE(r.payload.join(), expected);
        QVERIFY(r.payload.size() <= 2);  // never more chunks than announced
        if (whole) {
            OptimIterVariableValues values;
            OptimSerialReader reader(r.payload);
            values.deserialize(reader);
            QVERIFY(!reader.hasError());
            QCOMPARE(values.commandId(), 4L);
        }
        QVERIFY(!wire::assemble("DATA_BLOCK 9 17 N", {}, 16).whole);
    }
};

QTEST_GUILESS_MAIN(TestDataBlock)
#include "tst_datablock.moc"
