#include "optimdatablock.h"

#include "host/kuvoifc.h"

#include <QDeadlineTimer>

#include <atomic>

namespace {

std::atomic<unsigned long> g_blockCounter{0};

bool isDigits(QByteArrayView text, qsizetype maxLength = 9)  // 9 keeps a number within int
{
    if (text.isEmpty() || text.size() > maxLength)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// A reply that never comes must not hold the GUI thread forever, even when
// other messages keep arriving.
constexpr int kReplyDeadlineMs = 60000;

} // namespace

OptimDataBlock::OptimDataBlock()
    : m_blockId(QByteArray::number(quint64(++g_blockCounter)))
{
}

void OptimDataBlock::setName(const QByteArray &name)
{
    m_name = name.startsWith("DATA_BLOCK ") ? name.mid(11) : name;
    m_nameWords = m_name.simplified().split(' ');
}

QByteArray OptimDataBlock::headerText() const
{
    return "DATA_BLOCK " + m_blockId + ' ' + QByteArray::number(m_chunks.size()) + ' ' + m_name;
}

QByteArray OptimDataBlock::chunkText(qsizetype i) const
{
    QByteArray text;
    if (!m_prefix.isEmpty())
        text = m_prefix + ' ';
    text += "DATA_BLOCK " + m_blockId + ' ' + QByteArray::number(i + 1) + '/' + QByteArray::number(m_chunks.size())
        + ' ' + m_name + ':' + m_chunks.at(i);
    return text;
}

bool OptimDataBlock::transmit(KuvoIFC *kuvo, int address) const
{
    if (!kuvo || address < 0)
        return false;
    const QByteArray header = headerText();
    bool sent = kuvo->send(address, KindStart, header);
    for (qsizetype i = 0; sent && i < m_chunks.size(); ++i)
        sent = kuvo->send(address, KindChunk, chunkText(i));
    sent = sent && kuvo->send(address, KindEnd, header);
    if (!sent)
        return false;

    const QDeadlineTimer deadline(kReplyDeadlineMs);
    KuvoMessage message;
    while (!deadline.hasExpired()) {
        if (!kuvo->waitForMessage(message))
            return false;
        switch (message.kind) {
        case 0: case 3: case 6: case 12:
            return false;
        case 13:
            // The receiver went away: no reply will come. Others leaving is
            // news for normal dispatch, and the wait goes on.
            if (message.sender == address) {
                kuvo->dispatch(message);
                return false;
            }
            if (!kuvo->dispatch(message))
                return false;
            break;
        case KindReply:
            if (message.sender == address)
                return !message.text.contains("FAILED");
            if (!kuvo->dispatch(message))
                return false;
            break;
        default:
            if (!kuvo->dispatch(message))
                return false;
            break;
        }
    }
    return false;
}

bool OptimDataBlock::parseHeader(const QByteArray &text, Header &header)
{
    const qsizetype colon = text.indexOf(':');
    const QByteArray head = colon < 0 ? text : text.left(colon);
    const QByteArrayList words = head.simplified().split(' ');
    if (words.size() <= 3 || words.at(0) != "DATA_BLOCK" || !isDigits(words.at(1), 20))
        return false;
    const QByteArray &third = words.at(2);
    const qsizetype slash = third.indexOf('/');
    Header h;
    h.blockId = words.at(1);
    if (slash < 0) {
        if (!isDigits(third))
            return false;
        h.count = third.toInt();
        if (h.count < 1)
            return false;
    } else {
        const QByteArrayView index = QByteArrayView(third).first(slash);
        const QByteArrayView count = QByteArrayView(third).sliced(slash + 1);
        if (!isDigits(index) || !isDigits(count))
            return false;
        h.index = index.toByteArray().toInt();
        h.count = count.toByteArray().toInt();
        if (h.index < 1 || h.index > h.count)
            return false;
    }
    h.name = words.mid(3).join(' ');
    header = h;
    return true;
}

QByteArray OptimDataBlock::payloadOf(const QByteArray &text)
{
    const qsizetype colon = text.indexOf(':');
    return colon < 0 ? QByteArray() : text.mid(colon + 1);
}

QByteArray OptimDataBlock::replyText(const QByteArray &name, bool failed)
{
    return "DATA_BLOCK " + name + (failed ? " FAILED" : "");
}
