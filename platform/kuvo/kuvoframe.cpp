#include "kuvoframe.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace kuvo {

void encodeHeader(char *out, int kind, int addr, qsizetype textSize)
{
    qToBigEndian<quint32>(quint32(textSize + 8), out);
    qToBigEndian<qint32>(qint32(kind), out + 4);
    qToBigEndian<qint32>(qint32(addr), out + 8);
}

QByteArray encodeFrame(int kind, int addr, QByteArrayView text)
{
    Q_ASSERT(text.size() <= kMaxTextSize);
    QByteArray frame(kHeaderSize + text.size(), Qt::Uninitialized);
    encodeHeader(frame.data(), kind, addr, text.size());
    if (!text.isEmpty())
        memcpy(frame.data() + kHeaderSize, text.data(), size_t(text.size()));
    return frame;
}

void splitNames(QByteArrayView text, QByteArray &name, QByteArray &secondName)
{
    const qsizetype blank = text.indexOf(' ');
    if (blank < 0) {
        name = text.toByteArray();
        secondName.clear();
    } else {
        name = text.first(blank).toByteArray();
        secondName = text.sliced(blank + 1).toByteArray();
    }
}

QByteArray joinNames(const QByteArray &name, const QByteArray &secondName)
{
    if (secondName.isEmpty())
        return name;
    return name + ' ' + secondName;
}

void FrameView::setAddr(int address)
{
    qToBigEndian<qint32>(qint32(address), frame + 8);
    addr = address;
}

void FrameReader::reserveFor(qsizetype extra)
{
    const qsizetype needed = m_buffer.size() + extra;
    if (needed > m_buffer.capacity())
        m_buffer.reserve(std::max(needed, m_buffer.capacity() * 2));
}

qint64 FrameReader::readFrom(QIODevice *device)
{
    qint64 total = 0;
    qint64 available;
    while ((available = device->bytesAvailable()) > 0) {
        const qsizetype old = m_buffer.size();
        reserveFor(qsizetype(available));
        m_buffer.resize(old + qsizetype(available));
        const qint64 got = device->read(m_buffer.data() + old, available);
        m_buffer.resize(old + std::max<qint64>(got, 0));
        if (got < 0)
            return total > 0 ? total : -1;
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

void FrameReader::append(QByteArrayView bytes)
{
    reserveFor(bytes.size());
    m_buffer.append(bytes.data(), bytes.size());
}

char *FrameReader::beginAppend(qsizetype size)
{
    m_appendBase = m_buffer.size();
    reserveFor(size);
    m_buffer.resize(m_appendBase + size);
    return m_buffer.data() + m_appendBase;
}

void FrameReader::endAppend(qsizetype filled)
{
    m_buffer.resize(m_appendBase + std::max<qsizetype>(filled, 0));
}

FrameReader::Result FrameReader::next(FrameView &frame)
{
    if (m_malformed)
        return Malformed;
    const qsizetype available = m_buffer.size() - m_offset;
    if (available < 4)
        return NeedMore;
    char *start = m_buffer.data() + m_offset;
    const quint32 length = qFromBigEndian<quint32>(start);
    if (length < kMinFrameLength || length > kMaxFrameLength) {
        m_malformed = true;
        return Malformed;
    }
    const qsizetype frameSize = 4 + qsizetype(length);
    if (available < frameSize)
        return NeedMore;
    frame.kind = qFromBigEndian<qint32>(start + 4);
    frame.addr = qFromBigEndian<qint32>(start + 8);
    frame.text = start + kHeaderSize;
    frame.textSize = qsizetype(length) - 8;
    frame.frame = start;
    frame.frameSize = frameSize;
    m_offset += frameSize;
    return Frame;
}

void FrameReader::compact()
{
    if (m_offset == 0)
        return;
    // Only the tail of one incomplete frame is left: it moves to the front,
    // so each byte moves at most once. The buffer keeps the room a read
    // fills (with the slack of its doubling): a stream of large blocks would
    // otherwise grow a new buffer, fault in its pages and copy it while
    // growing, on every read. Only what a huge frame needed is given back.
    // (Removing the front instead would leave its room unusable at the
    // front, and the next read would grow a new buffer all the same.)
    const qsizetype tail = m_buffer.size() - m_offset;
    if (m_buffer.capacity() > 2 * kReadLimit) {
        m_buffer = QByteArray(m_buffer.constData() + m_offset, tail);
    } else {
        std::memmove(m_buffer.data(), m_buffer.constData() + m_offset, size_t(tail));
        m_buffer.resize(tail);
    }
    m_offset = 0;
}

void FrameReader::clear()
{
    m_buffer = QByteArray();
    m_offset = 0;
    m_malformed = false;
}

}  // namespace kuvo
