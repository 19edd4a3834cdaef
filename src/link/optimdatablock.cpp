#include "optimdatablock.h"

#include "hostifc/kuvoifc.h"

#include <QDeadlineTimer>

#include <atomic>

namespace {

std::atomic<unsigned long> g_blockCounter{0};

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
    m_name = wire::blockName(name);
    m_nameWords = m_name.simplified().split(' ');
}

bool OptimDataBlock::transmit(KuvoIFC *kuvo, int address) const
{
    if (!kuvo || address < 0)
        return false;
    const wire::Envelope e = envelope();
    bool sent = kuvo->send(address, wire::KindBlockStart, e.start);
    for (qsizetype i = 0; sent && i < e.chunks.size(); ++i)
        sent = kuvo->send(address, wire::KindPlain, e.chunks.at(i));
    sent = sent && kuvo->send(address, wire::KindBlockEnd, e.end);
    if (!sent)
        return false;

    const QDeadlineTimer deadline(kReplyDeadlineMs);
    KuvoMessage message;
    while (!deadline.hasExpired()) {
        if (!kuvo->waitForMessage(message))
            return false;
        switch (message.kind) {
        case 0: case 3: case 6: case wire::KindRefused:
            return false;
        case wire::KindGone:
            // The receiver went away: no reply will come. Others leaving is
            // news for normal dispatch, and the wait goes on.
            if (message.sender == address) {
                kuvo->dispatch(message);
                return false;
            }
            if (!kuvo->dispatch(message))
                return false;
            break;
        case wire::KindReply:
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
