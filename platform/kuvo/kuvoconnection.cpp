#include "kuvoconnection.h"

#include "kuvoframe.h"

#include <QFile>
#include <QMetaObject>
#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kuvo {

namespace {

constexpr int kMaxIov = 64;

bool wouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK;
}

}  // namespace

Connection::Connection(int descriptor, QObject *parent)
    : QObject(parent)
    , m_fd(descriptor)
{
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags >= 0 && !(flags & O_NONBLOCK))
        ::fcntl(m_fd, F_SETFL, flags | O_NONBLOCK);
    ::fcntl(m_fd, F_SETFD, FD_CLOEXEC);
    m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &Connection::readable);
    m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &Connection::onWritable);
}

Connection::~Connection()
{
    close();
}

int Connection::connectTo(const QString &path, int *error)
{
    const QByteArray native = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (native.isEmpty() || size_t(native.size()) >= sizeof(address.sun_path)) {
        *error = ENAMETOOLONG;
        return -1;
    }
    memcpy(address.sun_path, native.constData(), size_t(native.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    int result;
    do {
        result = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address));
    } while (result < 0 && errno == EINTR);
    if (result == 0) {
        *error = 0;
        return fd;
    }
    *error = errno;
    ::close(fd);
    return -1;
}

Connection::ReadResult Connection::receive(FrameReader &reader, qsizetype limit)
{
    if (m_fd < 0)
        return Closed;
    qsizetype total = 0;
    while (total < limit) {
        int available = 0;
        if (::ioctl(m_fd, FIONREAD, &available) < 0)
            available = 0;
        // With nothing announced, a small read tells end of stream from a spurious wake-up.
        const qsizetype want = std::min<qsizetype>(std::max(available, 4096), limit - total);
        char *space = reader.beginAppend(want);
        ssize_t got;
        do {
            got = ::recv(m_fd, space, size_t(want), MSG_DONTWAIT);
        } while (got < 0 && errno == EINTR);
        const int error = errno;
        reader.endAppend(got > 0 ? qsizetype(got) : 0);
        if (got > 0) {
            total += got;
            if (got < want)
                break;  // drained
            continue;
        }
        if (got == 0 || !wouldBlock(error)) {
            // The other end has gone, or the socket failed.
            m_readNotifier->setEnabled(false);
            return Closed;
        }
        break;
    }
    return m_failed ? Closed : Open;
}

bool Connection::send(QByteArrayView head, const QByteArray &body)
{
    if (m_fd < 0 || m_failed)
        return false;
    qsizetype sent = 0;
    if (m_out.empty()) {
        // Nothing waits, so writing past the queue keeps the order.
        iovec parts[2] = {
            {const_cast<char *>(head.data()), size_t(head.size())},
            {const_cast<char *>(body.constData()), size_t(body.size())},
        };
        msghdr message{};
        message.msg_iov = parts;
        message.msg_iovlen = body.isEmpty() ? 1 : 2;
        ssize_t result;
        do {
            result = ::sendmsg(m_fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        } while (result < 0 && errno == EINTR);
        if (result < 0 && !wouldBlock(errno)) {
            fail();
            return false;
        }
        sent = std::max<qsizetype>(result, 0);
    }
    if (sent < head.size()) {
        const QByteArrayView rest = head.sliced(sent);
        m_out.push_back(Chunk{rest.toByteArray(), 0});
        m_outBytes += rest.size();
        sent = 0;
    } else {
        sent -= head.size();
    }
    if (sent < body.size()) {
        m_out.push_back(Chunk{body, sent});
        m_outBytes += body.size() - sent;
    }
    if (!m_out.empty())
        m_writeNotifier->setEnabled(true);
    return true;
}

void Connection::onWritable()
{
    while (!m_out.empty() && m_fd >= 0) {
        iovec parts[kMaxIov];
        int count = 0;
        for (auto it = m_out.begin(); it != m_out.end() && count < kMaxIov; ++it, ++count) {
            parts[count].iov_base = const_cast<char *>(it->data.constData()) + it->offset;
            parts[count].iov_len = size_t(it->data.size() - it->offset);
        }
        msghdr message{};
        message.msg_iov = parts;
        message.msg_iovlen = size_t(count);
        ssize_t result;
        do {
            result = ::sendmsg(m_fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        } while (result < 0 && errno == EINTR);
        if (result < 0) {
            if (!wouldBlock(errno))
                fail();
            break;
        }
        qsizetype done = result;
        m_outBytes -= done;
        while (done > 0) {
            Chunk &front = m_out.front();
            const qsizetype left = front.data.size() - front.offset;
            if (done < left) {
                front.offset += done;
                break;
            }
            done -= left;
            m_out.pop_front();
        }
        if (result == 0)
            break;
    }
    if (m_out.empty() && m_writeNotifier)
        m_writeNotifier->setEnabled(false);
    Q_EMIT bytesWritten();
}

void Connection::fail()
{
    if (m_failed)
        return;
    m_failed = true;
    m_out.clear();
    m_outBytes = 0;
    m_writeNotifier->setEnabled(false);
    // The reader learns of it through receive(); tell it from the event loop.
    QMetaObject::invokeMethod(this, &Connection::readable, Qt::QueuedConnection);
}

void Connection::close()
{
    if (m_fd < 0)
        return;
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    ::close(m_fd);
    m_fd = -1;
    m_out.clear();
    m_outBytes = 0;
}

}  // namespace kuvo
