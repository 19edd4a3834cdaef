// Throughput of a 10 MiB data block, sent the way the simulator link sends
// one: a start message (kind 9), 1840 chunks (kind 11) of at most 5700 bytes
// of text, an end message (kind 10), then a wait for the reply (kind 8).
//
//   BM_KuvoDataBlock     host client -> broker -> peer process (KuvoClient,
//                        receiveDataBlock), reply back the same way. Broker
//                        and sending client share this process's thread, as
//                        in the host.
//   BM_DirectSocketFloor the same frames straight over one local socket to a
//                        peer process that parses them and replies, with the
//                        socket I/O the broker and client use (kuvo::Connection):
//                        the floor, what the bytes cost without the broker hop.
//   BM_QLocalSocketFloor the same over a QLocalSocket pair, for comparison.
//
// The peers are this executable started again with --peer kuvo|direct|qlocal PATH.
// Run: build/bench/kuvo/bench_kuvo  (MB/s from bytes_per_second), ideally
// under the build lock so that no compiler shares the two cores.

#include "kuvo/kuvobroker.h"
#include "kuvo/kuvoclient.h"
#include "kuvo/kuvoconnection.h"
#include "kuvo/kuvoframe.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

constexpr qsizetype kBlockBytes = 10 * 1024 * 1024;
constexpr qsizetype kChunkText = 5700;

struct Block
{
    QByteArray header;
    QList<QByteArray> chunks;
    qint64 textBytes = 0;
};

Block makeBlock()
{
    Block block;
    const qsizetype count = (kBlockBytes + kChunkText - 1) / kChunkText;
    block.header = "DATA_BLOCK 1 " + QByteArray::number(count) + " OPTIM_HELMDECK OPTIM_ITER";
    qsizetype left = kBlockBytes;
    for (qsizetype i = 1; i <= count; ++i) {
        QByteArray chunk = "DATA_BLOCK 1 " + QByteArray::number(i) + '/'
                           + QByteArray::number(count) + " OPTIM_HELMDECK OPTIM_ITER:";
        const qsizetype payload = std::min(left, kChunkText - chunk.size());
        chunk += QByteArray(payload, char('a' + i % 26));
        left -= payload;
        block.textBytes += chunk.size();
        block.chunks.append(chunk);
    }
    return block;
}

// Spins the event loop until done() or the deadline.
template <typename Predicate>
bool spin(Predicate done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

// ---- peers (child processes) ---------------------------------------------

int runKuvoPeer(const QString &path)
{
    KuvoClient kuvo;
    kuvo.setTimeout(30000);
    const QByteArray processName = "sim-" + QByteArray::number(QCoreApplication::applicationPid());
    if (!kuvo.connectToBroker(path, "tolvanesim", processName))
        return 2;
    QObject::connect(&kuvo, &KuvoClient::disconnected, [] { QCoreApplication::exit(0); });
    kuvo.setHandler([&kuvo](const KuvoMessage &m) {
        if (m.kind != 9)
            return true;
        QList<KuvoMessage> rest;
        const bool whole = kuvo.receiveDataBlock(m.sender, 1000000, rest);
        const QByteArray name = m.text.split(' ').mid(3).join(' ');
        kuvo.send(m.sender, 8, "DATA_BLOCK " + name + (whole ? "" : " FAILED"));
        return true;
    });
    return QCoreApplication::exec();
}

// Reads frames, keeps the chunks' texts like a receiver keeps a block, and
// answers the end message with the reply. Shared by both floor peers.
struct FloorReceiver
{
    kuvo::FrameReader reader;
    QList<QByteArray> received;

    // Answers the reply to send, if the block ended; false on a broken stream.
    bool take(QByteArray &reply)
    {
        kuvo::FrameView frame;
        kuvo::FrameReader::Result result;
        while ((result = reader.next(frame)) == kuvo::FrameReader::Frame) {
            if (frame.kind == 9) {
                received.clear();
            } else if (frame.kind == 11) {
                received.append(frame.textBytes());
            } else if (frame.kind == 10) {
                const QByteArray name = frame.textBytes().split(' ').mid(3).join(' ');
                reply = kuvo::encodeFrame(8, 0, "DATA_BLOCK " + name);
            }
        }
        reader.compact();
        return result != kuvo::FrameReader::Malformed;
    }
};

int runDirectPeer(const QString &path)
{
    int error = 0;
    const int fd = kuvo::Connection::connectTo(path, &error);
    if (fd < 0)
        return 2;
    kuvo::Connection connection(fd);
    FloorReceiver receiver;
    QObject::connect(&connection, &kuvo::Connection::readable, [&] {
        const bool open = connection.receive(receiver.reader) == kuvo::Connection::Open;
        QByteArray reply;
        if (!receiver.take(reply))
            QCoreApplication::exit(3);
        if (!reply.isEmpty())
            connection.send(reply);
        if (!open)
            QCoreApplication::exit(0);
    });
    return QCoreApplication::exec();
}

int runQLocalPeer(const QString &path)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(5000))
        return 2;
    FloorReceiver receiver;
    QObject::connect(&socket, &QLocalSocket::disconnected, [] { QCoreApplication::exit(0); });
    QObject::connect(&socket, &QLocalSocket::readyRead, [&] {
        receiver.reader.readFrom(&socket);
        QByteArray reply;
        if (!receiver.take(reply))
            QCoreApplication::exit(3);
        if (!reply.isEmpty()) {
            socket.write(reply);
            socket.flush();
        }
    });
    return QCoreApplication::exec();
}

// ---- the benchmark side ---------------------------------------------------

// Hands the descriptors it accepts to whoever asks.
class DescriptorServer : public QLocalServer
{
public:
    QList<int> accepted;

protected:
    void incomingConnection(quintptr descriptor) override { accepted.append(int(descriptor)); }
};

struct Setup
{
    QTemporaryDir dir;
    Block block;

    KuvoBroker broker;
    KuvoClient host;
    QProcess kuvoPeer;
    int peerAddress = -1;

    DescriptorServer directServer;
    QProcess directPeer;
    std::unique_ptr<kuvo::Connection> direct;
    kuvo::FrameReader directReader;

    QLocalServer rawServer;
    QProcess rawPeer;
    QLocalSocket *raw = nullptr;
    kuvo::FrameReader rawReader;

    bool start()
    {
        block = makeBlock();
        const QString exe = QCoreApplication::applicationFilePath();

        const QString busPath = dir.filePath(QStringLiteral("bus.sock"));
        if (!broker.listen(busPath) || !host.connectToBroker(busPath, "tolvane"))
            return false;
        host.setTimeout(30000);
        kuvoPeer.setProcessChannelMode(QProcess::ForwardedChannels);
        kuvoPeer.start(exe, {QStringLiteral("--peer"), QStringLiteral("kuvo"), busPath});
        if (!kuvoPeer.waitForStarted(5000)
            || !spin([this] { return broker.clientCount() == 2; }, 10000)
            || !host.lookup("tolvanesim", peerAddress))
            return false;

        const QString directPath = dir.filePath(QStringLiteral("direct.sock"));
        if (!directServer.listen(directPath))
            return false;
        directPeer.setProcessChannelMode(QProcess::ForwardedChannels);
        directPeer.start(exe, {QStringLiteral("--peer"), QStringLiteral("direct"), directPath});
        if (!directPeer.waitForStarted(5000)
            || !spin([this] { return !directServer.accepted.isEmpty(); }, 10000))
            return false;
        direct = std::make_unique<kuvo::Connection>(directServer.accepted.takeFirst());

        const QString rawPath = dir.filePath(QStringLiteral("raw.sock"));
        if (!rawServer.listen(rawPath))
            return false;
        rawPeer.setProcessChannelMode(QProcess::ForwardedChannels);
        rawPeer.start(exe, {QStringLiteral("--peer"), QStringLiteral("qlocal"), rawPath});
        if (!rawPeer.waitForStarted(5000)
            || !spin([this] { return rawServer.hasPendingConnections(); }, 10000))
            return false;
        raw = rawServer.nextPendingConnection();
        return true;
    }

    void stop()
    {
        host.disconnectFromBroker();
        broker.close();
        if (raw)
            raw->abort();
        direct.reset();
        for (QProcess *p : {&kuvoPeer, &directPeer, &rawPeer}) {
            if (p->state() != QProcess::NotRunning && !p->waitForFinished(5000))
                p->kill();
            p->waitForFinished(5000);
        }
    }
};

Setup *g_setup = nullptr;

void BM_KuvoDataBlock(benchmark::State &state)
{
    Setup &s = *g_setup;
    const int to = s.peerAddress;
    for (auto _ : state) {
        bool ok = s.host.send(to, 9, s.block.header);
        for (const QByteArray &chunk : std::as_const(s.block.chunks))
            ok = s.host.send(to, 11, chunk) && ok;
        ok = s.host.send(to, 10, s.block.header) && ok;
        KuvoMessage reply;
        bool replied = false;
        while (ok && s.host.waitForMessage(reply)) {
            if (reply.kind == 8) {
                replied = !reply.text.contains("FAILED");
                break;
            }
        }
        if (!replied) {
            state.SkipWithError("no reply to the data block");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * s.block.textBytes);
    state.counters["frames"] = double(s.block.chunks.size() + 2);
}

void BM_DirectSocketFloor(benchmark::State &state)
{
    Setup &s = *g_setup;
    char header[kuvo::kHeaderSize];
    for (auto _ : state) {
        kuvo::Connection &c = *s.direct;
        c.send(kuvo::encodeFrame(9, 0, s.block.header));
        for (const QByteArray &chunk : std::as_const(s.block.chunks)) {
            kuvo::encodeHeader(header, 11, 0, chunk.size());
            c.send(QByteArrayView(header, kuvo::kHeaderSize), chunk);
        }
        c.send(kuvo::encodeFrame(10, 0, s.block.header));
        bool replied = false;
        QMetaObject::Connection watch =
            QObject::connect(&c, &kuvo::Connection::readable, [&] {
                c.receive(s.directReader);
                kuvo::FrameView frame;
                while (s.directReader.next(frame) == kuvo::FrameReader::Frame)
                    replied = replied || frame.kind == 8;
                s.directReader.compact();
            });
        spin([&] { return replied; }, 30000);
        QObject::disconnect(watch);
        if (!replied) {
            state.SkipWithError("no reply from the direct peer");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * s.block.textBytes);
    state.counters["frames"] = double(s.block.chunks.size() + 2);
}

void BM_QLocalSocketFloor(benchmark::State &state)
{
    Setup &s = *g_setup;
    char header[kuvo::kHeaderSize];
    for (auto _ : state) {
        s.raw->write(kuvo::encodeFrame(9, 0, s.block.header));
        for (const QByteArray &chunk : std::as_const(s.block.chunks)) {
            kuvo::encodeHeader(header, 11, 0, chunk.size());
            s.raw->write(header, kuvo::kHeaderSize);
            s.raw->write(chunk);
            s.raw->flush();
        }
        s.raw->write(kuvo::encodeFrame(10, 0, s.block.header));
        s.raw->flush();
        bool replied = false;
        spin([&] {
            s.rawReader.readFrom(s.raw);
            kuvo::FrameView frame;
            while (s.rawReader.next(frame) == kuvo::FrameReader::Frame)
                replied = replied || frame.kind == 8;
            s.rawReader.compact();
            return replied;
        }, 30000);
        if (!replied) {
            state.SkipWithError("no reply from the QLocalSocket peer");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * s.block.textBytes);
    state.counters["frames"] = double(s.block.chunks.size() + 2);
}

BENCHMARK(BM_KuvoDataBlock)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_DirectSocketFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_QLocalSocketFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc >= 4 && qstrcmp(argv[1], "--peer") == 0) {
        const QString path = QString::fromLocal8Bit(argv[3]);
        if (qstrcmp(argv[2], "direct") == 0)
            return runDirectPeer(path);
        if (qstrcmp(argv[2], "qlocal") == 0)
            return runQLocalPeer(path);
        return runKuvoPeer(path);
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Setup setup;
    if (!setup.start()) {
        std::fprintf(stderr, "bench_kuvo: cannot set up broker and peers\n");
        setup.stop();
        return 1;
    }
    g_setup = &setup;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_setup = nullptr;
    setup.stop();
    return 0;
}
