#include "optimdatablock.h"

#include "hostifc/kuvoifc.h"

#include <atomic>

namespace {

std::atomic<unsigned long> g_blockCounter{0};

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
    return sent && kuvo->send(address, wire::KindBlockEnd, e.end);
}
