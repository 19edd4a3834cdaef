// Frame bytes and the frame reader.

#include "kuvo/kuvoframe.h"

#include <QTest>

using namespace kuvo;

class TestKuvoFrame : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void encodesMessageFrameByteForByte()
    {
        const QByteArray frame = encodeFrame(11, 5, "abc");
        const QByteArray expected("\x00\x00\x00\x0b"   // N = 8 + 3
                                  "\x00\x00\x00\x0b"   // kind 11
                                  "\x00\x00\x00\x05"   // addr 5
                                  "abc",
                                  15);
        QCOMPARE(frame, expected);
    }

    void encodesNegativeKindAndAddressBigEndian()
    {
        const QByteArray frame = encodeFrame(kPeers, -1, QByteArray());
        const QByteArray expected("\x00\x00\x00\x08"
                                  "\xff\xff\xff\xfd"
                                  "\xff\xff\xff\xff",
                                  12);
        QCOMPARE(frame, expected);

        const QByteArray big = encodeFrame(0x01020304, 0x0a0b0c0d, "x");
        QCOMPARE(big.mid(4, 8), QByteArray("\x01\x02\x03\x04\x0a\x0b\x0c\x0d", 8));
    }

    void readsFramesFedOneByteAtATime()
    {
        QByteArray stream = encodeFrame(kRegister, 0, "tolvanesim sim-1")
                            + encodeFrame(11, 3, QByteArray("a\0b", 3))
                            + encodeFrame(10, 7, QByteArray());
        FrameReader reader;
        QList<std::tuple<int, int, QByteArray>> got;
        FrameView view;
        for (char c : stream) {
            reader.append(QByteArrayView(&c, 1));
            FrameReader::Result r;
            while ((r = reader.next(view)) == FrameReader::Frame)
                got.append({view.kind, view.addr, view.textBytes()});
            QCOMPARE(r, FrameReader::NeedMore);
            reader.compact();
        }
        QCOMPARE(got.size(), 3);
        QCOMPARE(got[0], std::make_tuple(-1, 0, QByteArray("tolvanesim sim-1")));
        QCOMPARE(got[1], std::make_tuple(11, 3, QByteArray("a\0b", 3)));
        QCOMPARE(got[2], std::make_tuple(10, 7, QByteArray()));
        QCOMPARE(reader.buffered(), 0);
    }

    void lengthBoundaries_data()
    {
        QTest::addColumn<quint32>("length");
        QTest::addColumn<int>("expected");
        QTest::newRow("0") << 0u << int(FrameReader::Malformed);
        QTest::newRow("4") << 4u << int(FrameReader::Malformed);
        QTest::newRow("7") << 7u << int(FrameReader::Malformed);
        QTest::newRow("8") << 8u << int(FrameReader::Frame);
        QTest::newRow("64MiB") << kMaxFrameLength << int(FrameReader::NeedMore);
        QTest::newRow("64MiB+1") << kMaxFrameLength + 1 << int(FrameReader::Malformed);
        QTest::newRow("u32max") << 0xffffffffu << int(FrameReader::Malformed);
    }

    void lengthBoundaries()
    {
        QFETCH(quint32, length);
        QFETCH(int, expected);
        QByteArray bytes(4, Qt::Uninitialized);
        bytes[0] = char(length >> 24);
        bytes[1] = char(length >> 16);
        bytes[2] = char(length >> 8);
        bytes[3] = char(length);
        bytes += QByteArray(8, '\0');  // kind 0, addr 0
        FrameReader reader;
        reader.append(bytes);
        FrameView view;
        QCOMPARE(int(reader.next(view)), expected);
    }

    void malformedStaysMalformed()
    {
        FrameReader reader;
        reader.append(QByteArray("\x00\x00\x00\x03", 4));
        FrameView view;
        QCOMPARE(reader.next(view), FrameReader::Malformed);
        reader.append(encodeFrame(11, 1, "ok"));
        QCOMPARE(reader.next(view), FrameReader::Malformed);
        reader.clear();
        reader.append(encodeFrame(11, 1, "ok"));
        QCOMPARE(reader.next(view), FrameReader::Frame);
    }

    void setAddrRewritesTheBufferedFrame()
    {
        FrameReader reader;
        reader.append(encodeFrame(11, 99, "payload"));
        FrameView view;
        QCOMPARE(reader.next(view), FrameReader::Frame);
        view.setAddr(7);
        QCOMPARE(QByteArray(view.frame, view.frameSize), encodeFrame(11, 7, "payload"));
    }

    void splitsAndJoinsNames()
    {
        QByteArray name, second;
        splitNames("tolvanesim sim-4242", name, second);
        QCOMPARE(name, QByteArray("tolvanesim"));
        QCOMPARE(second, QByteArray("sim-4242"));
        splitNames("tolvane", name, second);
        QCOMPARE(name, QByteArray("tolvane"));
        QVERIFY(second.isEmpty());
        splitNames("a b c", name, second);
        QCOMPARE(second, QByteArray("b c"));
        QCOMPARE(joinNames("tolvanesim", "sim-1"), QByteArray("tolvanesim sim-1"));
        QCOMPARE(joinNames("tolvane", QByteArray()), QByteArray("tolvane"));
    }
};

QTEST_GUILESS_MAIN(TestKuvoFrame)
#include "tst_kuvoframe.moc"
