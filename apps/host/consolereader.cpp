#include "consolereader.h"

#include <QSocketNotifier>

#include <cerrno>
#include <utility>
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
        m_inputEnded = true;
    } else {
        m_pending.append(buffer, n);
    }
    reportNextLine();
}

void ConsoleReader::reportNextLine()
{
    QByteArray line;
    const qsizetype newline = m_pending.indexOf('\n');
    if (newline >= 0) {
        line = m_pending.left(newline);
        m_pending.remove(0, newline + 1);
        if (line.endsWith('\r'))
            line.chop(1);
    } else if (m_pending.size() > kMaxLine || (m_inputEnded && !m_pending.isEmpty())) {
        line = std::exchange(m_pending, QByteArray());
    } else {
        if (m_inputEnded && !m_atEnd) {
            m_atEnd = true;
            Q_EMIT finished();
        }
        return;
    }
    // The next line is queued before this one is reported: its handler may
    // run a nested event loop, inside which the next line then comes.
    QMetaObject::invokeMethod(this, &ConsoleReader::reportNextLine, Qt::QueuedConnection);
    Q_EMIT lineRead(line);
}
