#include "consolereader.h"

#include <QSocketNotifier>

#include <cerrno>
#include <unistd.h>

namespace {

// A line longer than this is cut: the console takes expressions, not data.
constexpr qsizetype kMaxLine = 1024 * 1024;

} // namespace

ConsoleReader::ConsoleReader(int descriptor, QObject *parent)
    : QObject(parent)
    , m_descriptor(descriptor)
    , m_notifier(new QSocketNotifier(descriptor, QSocketNotifier::Read, this))
{
    connect(m_notifier, &QSocketNotifier::activated, this, &ConsoleReader::readAvailable);
}

void ConsoleReader::readAvailable()
{
    char buffer[4096];
    const ssize_t n = ::read(m_descriptor, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        m_notifier->setEnabled(false);
        m_atEnd = true;
        if (!m_pending.isEmpty()) {
            const QByteArray last = m_pending;
            m_pending.clear();
            Q_EMIT lineRead(last);
        }
        Q_EMIT finished();
        return;
    }
    m_pending.append(buffer, n);
    qsizetype newline;
    while ((newline = m_pending.indexOf('\n')) >= 0) {
        QByteArray line = m_pending.left(newline);
        m_pending.remove(0, newline + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        Q_EMIT lineRead(line);
    }
    if (m_pending.size() > kMaxLine) {
        const QByteArray line = m_pending;
        m_pending.clear();
        Q_EMIT lineRead(line);
    }
}
