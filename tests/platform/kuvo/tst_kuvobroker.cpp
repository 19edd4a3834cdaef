// The broker as raw clients see it on the wire.

#include "kuvo/kuvobroker.h"
#include "kuvotestsupport.h"

#include <QFile>
#include <QSignalSpy>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <memory>

using namespace kuvo;

namespace {

// The next frame a peer receives as "kind addr text", or "none".
QByteArray next(RawPeer &peer, int timeoutMs = 3000)
{
    RawFrame f;
    if (!peer.next(f, timeoutMs))
        return "none";
    return QByteArray::number(f.kind) + ' ' + QByteArray::number(f.addr) + ' ' + f.text;
}

QByteArray gone(int addr, const QByteArray &names = {})
{
    return "13 " + QByteArray::number(addr) + ' ' + names;
}

} // namespace

class TestKuvoBroker : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SocketPath> m_path;
    std::unique_ptr<KuvoBroker> m_broker;

    QString path() const { return m_path->path(); }

    std::unique_ptr<RawPeer> registered(const QByteArray &names, int *address = nullptr)
    {
        auto peer = std::make_unique<RawPeer>();
        if (!peer->connectTo(path()))
            return nullptr;
        const int a = peer->registerAs(names);
        if (a < 1)
            return nullptr;
        if (address)
            *address = a;
        return peer;
    }

private Q_SLOTS:
    void init()
    {
        m_path = std::make_unique<SocketPath>();
        m_broker = std::make_unique<KuvoBroker>();
        QVERIFY2(m_broker->listen(path()), qPrintable(m_broker->errorString()));
    }

    void cleanup()
    {
        m_broker.reset();
        m_path.reset();
    }

    void registerAnswerIsExactBytes()
    {
        QSignalSpy registeredSpy(m_broker.get(), &KuvoBroker::clientRegistered);
        RawPeer peer;
        QVERIFY(peer.connectTo(path()));
        peer.writeBytes(QByteArray("\x00\x00\x00\x0f\xff\xff\xff\xff\x00\x00\x00\x00tolvane", 19));
        QVERIFY(QTest::qWaitFor([&] { return peer.socket.bytesAvailable() >= 19; }, 3000));
        QCOMPARE(peer.socket.readAll(),
                 QByteArray("\x00\x00\x00\x0f\xff\xff\xff\xff\x00\x00\x00\x01tolvane", 19));
        QCOMPARE(m_broker->clientCount(), 1);
        QTRY_COMPARE(registeredSpy.size(), 1);
        QCOMPARE(registeredSpy.at(0).mid(0, 2), (QVariantList{1, QByteArray("tolvane")}));
    }

    // Addresses count up and are never reused; LOOKUP finds the first client
    // of a first name; PEERS lists everybody in order of arrival.
    void registryAnswers()
    {
        int host = 0, sim1 = 0, sim2 = 0, gone1 = 0;
        auto h = registered("tolvane", &host);
        auto g = registered("one", &gone1);
        auto s1 = registered("tolvanesim sim-1", &sim1);
        auto s2 = registered("tolvanesim sim-2", &sim2);
        QVERIFY(h && g && s1 && s2);
        QCOMPARE((QList<int>{host, gone1, sim1, sim2}), (QList<int>{1, 2, 3, 4}));
        const auto lookup = [&](const QByteArray &name) {
            h->sendFrame(kLookup, 0, name);
            return next(*h);
        };
        QCOMPARE(lookup("tolvanesim"), QByteArray("-2 3 tolvanesim"));
        QCOMPARE(lookup("tolvanesess"), QByteArray("-2 -1 tolvanesess"));
        QCOMPARE(lookup("sim-2"), QByteArray("-2 -1 sim-2"));  // second names are not looked up
        s2->sendFrame(kPeers, 0, QByteArray());
        QCOMPARE(next(*s2), QByteArray("-3 0 1 tolvane\n2 one\n3 tolvanesim sim-1\n4 tolvanesim sim-2\n"));
        g.reset();
        s1.reset();
        QCOMPARE(next(*h), gone(2, "one"));
        QCOMPARE(next(*h), gone(3, "tolvanesim sim-1"));
        QCOMPARE(lookup("tolvanesim"), QByteArray("-2 4 tolvanesim"));  // now the first of that name
        int fifth = 0;
        QVERIFY(registered("three", &fifth));
        QCOMPARE(fifth, 5);
    }

    void routesWithSenderAddressPutIn()
    {
        int a = 0, b = 0;
        auto pa = registered("tolvane", &a);
        auto pb = registered("tolvanesim sim-1", &b);
        QVERIFY(pa && pb);
        const QByteArray text("DATA_BLOCK 1 1/1 OPTIM_HELMDECK STATUS:\0x", 42);
        pa->sendFrame(11, b, text);
        QVERIFY(QTest::qWaitFor([&] { return pb->socket.bytesAvailable() >= 12 + text.size(); }));
        // Byte for byte: same frame, addr now the sender's.
        QCOMPARE(pb->socket.readAll(), encodeFrame(11, a, text));
        // Kind 0 and kinds above 13 are messages too; a client's forged
        // departure (kind 13 is the broker's) goes nowhere.
        pb->sendFrame(0, a, "zero");
        pb->sendFrame(1000, a, "big");
        pb->sendFrame(kPeerGone, a, "tolvanesim sim-1");
        pb->sendFrame(11, a, "after");
        QCOMPARE(next(*pa), QByteArray("0 2 zero"));
        QCOMPARE(next(*pa), QByteArray("1000 2 big"));
        QCOMPARE(next(*pa), QByteArray("11 2 after"));
        QVERIFY(pb->staysQuiet());
    }

    // Strangers (connections not registered yet) get little: a bounded number
    // at once, a deadline to register, and no more bytes than a REGISTER needs.
    void strangersAreBounded_data()
    {
        QTest::addColumn<QByteArray>("bytes");  // what the stranger sends
        QTest::addColumn<bool>("dropped");
        QTest::newRow("64 MiB frame") << beU32(kMaxFrameLength) + beU32(quint32(kRegister)) + QByteArray(70000, 'x') << true;
        QTest::newRow("5000-byte name") << encodeFrame(kRegister, 0, QByteArray(5000, 'n')) << true;
        QTest::newRow("silence") << QByteArray() << true;
        QTest::newRow("register and a big message at once")
            << encodeFrame(kRegister, 0, "tolvanesim sim-2") + encodeFrame(11, 1, QByteArray(1 << 20, 'm')) << false;
    }

    void strangersAreBounded()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, dropped);
        m_broker->setRegistrationLimits(2, 1000);
        auto pa = registered("tolvane");
        QVERIFY(pa);
        RawPeer stranger, second, third;
        QVERIFY(stranger.connectTo(path()) && second.connectTo(path()));
        stranger.writeBytes(bytes);
        if (dropped) {
            QVERIFY(stranger.waitClosed());
        } else {
            QCOMPARE(next(stranger), QByteArray("-1 2 tolvanesim sim-2"));
            QCOMPARE(next(*pa).size(), 5 + (1 << 20));
        }
        QVERIFY(second.waitClosed());  // the deadline passed
        if (!dropped)
            QVERIFY(stranger.staysQuiet());  // registered in time, it was not dropped
        // Two strangers at most: the third waits in vain.
        m_broker->setRegistrationLimits(2, 60000);
        RawPeer s1, s2;
        QVERIFY(s1.connectTo(path()) && s2.connectTo(path()));
        QTRY_COMPARE(m_broker->unregisteredCount(), 2);
        QVERIFY(third.connectTo(path()));
        QVERIFY(third.waitClosed());
        QVERIFY(s1.registerAs("late") > 0);
    }

    void unknownDestinationIsAnsweredWithKind13()
    {
        int a = 0;
        auto pa = registered("tolvane", &a);
        auto pb = registered("other");
        QVERIFY(pa && pb);
        pa->sendFrame(11, 99, "hello");
        QCOMPARE(next(*pa), gone(99));
        pa->sendFrame(9, -5, "x");
        QCOMPARE(next(*pa), gone(-5));
        QVERIFY(pb->staysQuiet());  // nobody else hears about it
    }

    // What a client sent before leaving arrives first; then everybody
    // registered (nobody else) hears of the departure, with its names.
    void departureIsAnnouncedAfterWhatWasSent()
    {
        int a = 0, b = 0, c = 0;
        auto pa = registered("tolvane", &a);
        auto pb = registered("tolvanesim sim-4242", &b);
        auto pc = registered("tolvanesess", &c);
        QVERIFY(pa && pb && pc);
        RawPeer unregistered;
        QVERIFY(unregistered.connectTo(path()));
        QSignalSpy goneSpy(m_broker.get(), &KuvoBroker::clientGone);
        for (int i = 0; i < 50; ++i)
            pb->socket.write(encodeFrame(11, a, QByteArray::number(i)));
        pb->socket.disconnectFromServer();  // writes what is buffered, then closes
        for (int i = 0; i < 50; ++i)
            QCOMPARE(next(*pa), "11 2 " + QByteArray::number(i));
        QCOMPARE(next(*pa), gone(b, "tolvanesim sim-4242"));
        QCOMPARE(next(*pc), gone(b, "tolvanesim sim-4242"));
        QCOMPARE(goneSpy.size(), 1);
        QCOMPARE(goneSpy.at(0).at(0).toInt(), b);
        QCOMPARE(m_broker->clientCount(), 2);
        QVERIFY(unregistered.staysQuiet("late"));
    }

    void badFrameDropsTheConnection_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("registerFirst");
        QTest::newRow("length 64MiB+1") << beU32(kMaxFrameLength + 1) + QByteArray(8, '\0') << true;
        QTest::newRow("length 0xffffffff") << beU32(0xffffffffu) << true;
        QTest::newRow("length 7") << beU32(7) + QByteArray(7, '\0') << true;
        QTest::newRow("length 4") << beU32(4) + QByteArray(4, '\0') << true;
        QTest::newRow("length 0") << beU32(0) << true;
        QTest::newRow("second register") << encodeFrame(kRegister, 0, "again") << true;
        QTest::newRow("unknown control kind") << encodeFrame(-7, 0, QByteArray()) << true;
        QTest::newRow("message before register") << encodeFrame(11, 1, "hi") << false;
        QTest::newRow("lookup before register") << encodeFrame(kLookup, 0, "tolvane") << false;
        QTest::newRow("empty name") << encodeFrame(kRegister, 0, QByteArray()) << false;
        QTest::newRow("blank first") << encodeFrame(kRegister, 0, " sim-1") << false;
        QTest::newRow("line break in name") << encodeFrame(kRegister, 0, "a\nb") << false;
        QTest::newRow("oversize before register") << beU32(kMaxFrameLength + 1) << false;
    }

    void badFrameDropsTheConnection()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, registerFirst);
        int a = 0, bad = 0;
        auto pa = registered("tolvane", &a);
        QVERIFY(pa);
        RawPeer offender;
        QVERIFY(offender.connectTo(path()));
        if (registerFirst) {
            bad = offender.registerAs("tolvanesim sim-bad");
            QVERIFY(bad > 0);
        }
        offender.writeBytes(bytes);
        QVERIFY(offender.waitClosed());
        if (registerFirst)
            QCOMPARE(next(*pa), gone(bad, "tolvanesim sim-bad"));
        else
            QVERIFY(pa->staysQuiet());
        QCOMPARE(m_broker->clientCount(), 1);
        // The broker carries on for everybody else.
        int c = 0;
        auto pc = registered("tolvanesess", &c);
        QVERIFY(pc);
        pc->sendFrame(11, a, "still here");
        QCOMPARE(next(*pa), "11 " + QByteArray::number(c) + " still here");
    }

    void maximumLengthIsAccepted()
    {
        auto pa = registered("tolvane");
        QVERIFY(pa);
        // A header announcing exactly 64 MiB: the broker waits for the rest
        // and routes it, a message to nobody (address 0).
        pa->writeBytes(beU32(kMaxFrameLength) + QByteArray(8, '\0'));
        pa->writeBytes(QByteArray(kMaxTextSize, 'm'));
        QVERIFY(spinUntil([&] { pa->pump(); return !pa->frames.isEmpty(); }, kArrivalMs));
        QCOMPARE(pa->frames.first().kind, kPeerGone);
        QCOMPARE(pa->frames.first().addr, 0);
        QCOMPARE(pa->socket.state(), QLocalSocket::ConnectedState);
    }

    void framesSplitAnywhereAreReassembled()
    {
        int a = 0;
        auto pa = registered("tolvane", &a);
        QVERIFY(pa);
        RawPeer pb;
        QVERIFY(pb.connectTo(path()));
        QByteArray stream = encodeFrame(kRegister, 0, "tolvanesim sim-9");
        for (int i = 0; i < 20; ++i)
            stream += encodeFrame(11, a, QByteArray(i * 37, char('a' + i)));
        // One byte per write, with the event loop running in between.
        for (char c : stream) {
            pb.writeBytes(QByteArray(1, c));
            QCoreApplication::processEvents();
        }
        QCOMPARE(next(pb), QByteArray("-1 2 tolvanesim sim-9"));
        for (int i = 0; i < 20; ++i)
            QCOMPARE(next(*pa), "11 2 " + QByteArray(i * 37, char('a' + i)));
    }

    // A reader keeps the room of a large read for the next one, whether the
    // read ended between frames or inside one, and gives back what a frame
    // beyond the read limit needed.
    void readerKeepsReadRoomAndGivesBackHugeFrames()
    {
        kuvo::FrameReader reader;
        kuvo::FrameView frame;
        const QByteArray chunk = encodeFrame(11, 1, QByteArray(100000, 'c'));
        QByteArray stream;
        while (stream.size() < 5 * kuvo::kReadLimit)
            stream += chunk;
        // Reads of the read limit, as a socket gives them, which end inside
        // a frame.
        const qsizetype read = kuvo::kReadLimit;
        QList<const char *> starts;
        int frames = 0;
        for (qsizetype at = 0; at + read <= stream.size(); at += read) {
            std::memcpy(reader.beginAppend(read), stream.constData() + at, size_t(read));
            reader.endAppend(read);
            for (bool first = true; reader.next(frame) == kuvo::FrameReader::Frame; first = false) {
                QCOMPARE(frame.textSize, 100000);
                ++frames;
                if (first)
                    starts.append(frame.frame);
            }
            reader.compact();
            QVERIFY(reader.capacity() >= read);
        }
        QCOMPARE(frames, int(5 * read / chunk.size()));
        // After the first read every read's frames start at the front of
        // the same buffer: no new buffer was grown.
        QCOMPARE(starts.size(), 5);
        for (int i = 2; i < starts.size(); ++i)
            QCOMPARE(starts.at(i), starts.at(1));

        kuvo::FrameReader huge;
        huge.append(encodeFrame(11, 1, QByteArray(2 * kuvo::kReadLimit + 1, 'h')) + chunk.left(100));
        QCOMPARE(huge.next(frame), kuvo::FrameReader::Frame);
        QCOMPARE(frame.textSize, 2 * kuvo::kReadLimit + 1);
        huge.compact();
        QCOMPARE(huge.buffered(), 100);
        QVERIFY(huge.capacity() < 1024);
    }

    void largeTransferArrivesIntact()
    {
        int a = 0, b = 0;
        auto pa = registered("tolvane", &a);
        auto pb = registered("tolvanesim sim-1", &b);
        QVERIFY(pa && pb);
        QByteArrayList expected, got;
        QByteArray all;
        for (int i = 0; i <= 1900; ++i) {
            QByteArray text(5700, char('A' + i % 50));
            text.replace(0, 8, QByteArray::number(i).rightJustified(8, '0'));
            expected.append(i < 1900 ? text : QByteArray(12 * 1024 * 1024, 'x'));  // and one big frame
            all += encodeFrame(11, a, expected.last());
        }
        pb->writeBytes(all);
        QVERIFY(spinUntil([&] {
            for (pa->pump(); !pa->frames.isEmpty(); pa->frames.removeFirst())
                got.append(pa->frames.first().addr == b ? pa->frames.first().text : "wrong sender");
            return got.size() >= expected.size();
        }, 20000));
        QCOMPARE(got, expected);
    }

    void clientThatStopsReadingIsDropped()
    {
        m_broker->setMaxUnreadBytes(1024 * 1024);
        int a = 0, b = 0;
        auto pa = registered("tolvane", &a);
        auto pb = registered("tolvanesim sim-stuck", &b);
        QVERIFY(pa && pb);
        // pb stops reading (Qt's own buffering too); the kernel holds some, the broker the rest.
        pb->socket.setReadBufferSize(4096);
        const QByteArray frame = encodeFrame(11, b, QByteArray(5700, 's'));
        for (int i = 0; i < 1500; ++i)
            pa->socket.write(frame);
        pa->socket.flush();
        QCOMPARE(next(*pa, 10000), gone(b, "tolvanesim sim-stuck"));
        QCOMPARE(m_broker->clientCount(), 1);
        // Reading again, pb finds its connection closed after what had reached it.
        pb->socket.setReadBufferSize(0);
        QVERIFY(spinUntil([&] {
            pb->socket.readAll();
            return pb->socket.state() == QLocalSocket::UnconnectedState;
        }, 10000));
    }

    void socketFileIsOwnerOnly()
    {
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(path()).constData(), &st) == 0);
        QVERIFY(S_ISSOCK(st.st_mode));
        QCOMPARE(st.st_mode & 0077, 0u);
        QCOMPARE(st.st_mode & 0600, 0600u);
    }

    void staleSocketFileIsReplaced()
    {
        m_broker.reset();
        QVERIFY(!QFile::exists(path()));  // close removes it
        // A socket file nobody listens on, as a crashed broker leaves behind.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(path());
        QVERIFY(size_t(native.size()) < sizeof(addr.sun_path));
        memcpy(addr.sun_path, native.constData(), size_t(native.size()));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)), 0);
        ::close(fd);
        QVERIFY(QFile::exists(path()));
        m_broker = std::make_unique<KuvoBroker>();
        QVERIFY2(m_broker->listen(path()), qPrintable(m_broker->errorString()));
        QVERIFY(registered("tolvane"));
    }

    void liveBrokerIsNotTakenOver()
    {
        auto pa = registered("tolvane");
        QVERIFY(pa);
        KuvoBroker second;
        QVERIFY(!second.listen(path()));
        // The first broker still serves, on the same file.
        QVERIFY(registered("tolvanesim sim-1"));
    }

    void slotMayCloseTheBroker()
    {
        auto pa = registered("tolvane");
        auto pb = registered("tolvanesim sim-1");
        QVERIFY(pa && pb);
        connect(m_broker.get(), &KuvoBroker::clientGone, m_broker.get(),
                [this] { m_broker->close(); });
        pb->socket.disconnectFromServer();
        QVERIFY(pa->waitClosed());
        QVERIFY(!m_broker->isListening());
    }
};

QTEST_GUILESS_MAIN(TestKuvoBroker)
#include "tst_kuvobroker.moc"
