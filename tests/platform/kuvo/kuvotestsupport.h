#pragma once

// Helpers shared by the KUVO tests: a unique socket path per test and a raw
// peer that speaks frames directly, without KuvoClient.

#include "kuvo/kuvoframe.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QDir>
#include <QElapsedTimer>
#include <QList>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>

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
                               3000);
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

    bool next(RawFrame &frame, int timeoutMs = 3000)
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

    // True when nothing arrives within the given time.
    bool staysQuiet(int ms = 150)
    {
        QTest::qWait(ms);
        pump();
        return frames.isEmpty();
    }

    bool waitClosed(int timeoutMs = 3000)
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
