#pragma once

// Helpers shared by the KUVO tests: a unique socket path per test and a raw
// peer that speaks frames directly, without KuvoClient.

#include "kuvo/kuvoframe.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QDir>
#include <QList>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>

// Upper limit of the waits for what must come: generous, so that a loaded
// machine or a sanitizer build does not make them fail.
constexpr int kArrivalMs = 30000;
// Longer than CTest lets a test run: a wait bounded by this that ends by its
// timeout instead of by the event it has to notice makes the test fail.
constexpr int kNeverMs = 600000;

// Like QTest::qWaitFor, without its pauses between checks: for bulk transfers.
template <typename Predicate>
bool spinUntil(Predicate predicate, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!predicate()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

struct RawFrame
{
    int kind = 0;
    int addr = 0;
    QByteArray text;
};

// A socket path inside a private temporary directory.
class SocketPath
{
public:
    QString path() const { return m_dir.filePath(QStringLiteral("kuvo.sock")); }

private:
    QTemporaryDir m_dir;
};

// Speaks KUVO frames over a plain QLocalSocket. All waits spin the event
// loop, so a broker in the same thread keeps working.
class RawPeer
{
public:
    bool connectTo(const QString &path)
    {
        socket.connectToServer(path);
        return QTest::qWaitFor([this] { return socket.state() == QLocalSocket::ConnectedState; },
                               kArrivalMs);
    }

    void writeBytes(const QByteArray &bytes)
    {
        socket.write(bytes);
        socket.flush();
    }

    void sendFrame(int kind, int addr, const QByteArray &text)
    {
        writeBytes(kuvo::encodeFrame(kind, addr, text));
    }

    // Reads what arrived; false once the stream turned out malformed.
    bool pump()
    {
        reader.readFrom(&socket);
        kuvo::FrameView view;
        for (;;) {
            const auto result = reader.next(view);
            if (result == kuvo::FrameReader::NeedMore)
                return true;
            if (result == kuvo::FrameReader::Malformed)
                return false;
            frames.append(RawFrame{view.kind, view.addr, view.textBytes()});
        }
    }

    bool next(RawFrame &frame, int timeoutMs = kArrivalMs)
    {
        if (!QTest::qWaitFor([this] { pump(); return !frames.isEmpty(); }, timeoutMs))
            return false;
        frame = frames.takeFirst();
        return true;
    }

    // Registers and answers the address the broker gave, or -1.
    int registerAs(const QByteArray &names)
    {
        sendFrame(kuvo::kRegister, 0, names);
        RawFrame answer;
        if (!next(answer) || answer.kind != kuvo::kRegister)
            return -1;
        return answer.addr;
    }

    // True when nothing arrived for this peer: it asks the broker something
    // (PEERS, or a stranger registers as registerAs) and the answer is the
    // first and only frame. The broker answers after whatever it had sent to
    // this connection before, so no waiting for a silence is needed.
    bool staysQuiet(const QByteArray &registerAs = {})
    {
        const int kind = registerAs.isEmpty() ? kuvo::kPeers : kuvo::kRegister;
        sendFrame(kind, 0, registerAs);
        RawFrame answer;
        return next(answer) && answer.kind == kind && frames.isEmpty();
    }

    bool waitClosed(int timeoutMs = kArrivalMs)
    {
        return QTest::qWaitFor(
            [this] { return socket.state() == QLocalSocket::UnconnectedState; }, timeoutMs);
    }

    QLocalSocket socket;
    kuvo::FrameReader reader;
    QList<RawFrame> frames;
};

inline QByteArray beU32(quint32 v)
{
    QByteArray b(4, Qt::Uninitialized);
    b[0] = char(v >> 24);
    b[1] = char(v >> 16);
    b[2] = char(v >> 8);
    b[3] = char(v);
    return b;
}
