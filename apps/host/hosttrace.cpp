#include "hosttrace.h"

#include <cstdio>

void HostTrace::line(const QString &text) const
{
    if (m_enabled) {
        const QByteArray bytes = "trace: " + text.toUtf8() + '\n';
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
    }
    if (m_observer)
        m_observer(text);
}
