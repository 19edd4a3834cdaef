#pragma once

// One end of a KUVO stream: a connected local stream socket descriptor,
// owned and driven directly rather than through QLocalSocket.
//
// Reads go from the kernel straight into a FrameReader's buffer, one copy.
// Writes go straight to the kernel while nothing is waiting; what the kernel
// does not take waits in a queue of byte arrays shared with the caller (no
// copy of a message text) and leaves when the socket becomes writable again.
// So a block of many frames crosses a hop with as few copies as the kernel
// allows, which matters when the broker shares a thread with a busy client.

#include "kuvoframe.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <deque>

class QSocketNotifier;

namespace kuvo {

class Connection : public QObject
{
    Q_OBJECT

public:
    // Takes ownership of a connected stream socket descriptor.
    explicit Connection(int descriptor, QObject *parent = nullptr);
    ~Connection() override;

    // Connects a new non-blocking socket to path. Answers the descriptor, or
    // -1 with error set (EAGAIN: the listener's backlog is full, try again).
    static int connectTo(const QString &path, int *error);

    bool isOpen() const { return m_fd >= 0 && !m_failed; }

    enum ReadResult { Open, Closed };
    // Appends what the kernel holds (at most limit bytes) to reader. Closed
    // when the other end has gone (what it sent before is appended first) or
    // the socket failed.
    ReadResult receive(FrameReader &reader, qsizetype limit = kReadLimit);

    // Queues head followed by body. A head that has to wait is copied; a body
    // that has to wait is kept by reference (implicit sharing). False once
    // the connection has failed or is closed.
    bool send(QByteArrayView head, const QByteArray &body = QByteArray());
    qint64 bytesToWrite() const { return m_outBytes; }

    // Stops at once; what is still queued is dropped.
    void close();

Q_SIGNALS:
    // The socket has something to read, or the other end went away: call receive().
    void readable();
    // Queued bytes went to the kernel.
    void bytesWritten();

private:
    struct Chunk
    {
        QByteArray data;
        qsizetype offset = 0;
    };

    void onWritable();
    void fail();

    int m_fd = -1;
    bool m_failed = false;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    std::deque<Chunk> m_out;
    qint64 m_outBytes = 0;
};

}  // namespace kuvo
