#pragma once

// One outgoing data block and its transmission over KUVO: start, chunks and
// end (the envelope texts come from wire/datablock.h). The receiver's reply
// arrives later through normal dispatch; OptimKuvoLink takes it there.

#include <QByteArray>
#include <QByteArrayList>
#include <QList>

#include "wire/datablock.h"

class KuvoIFC;

class OptimDataBlock
{
public:
    static constexpr qsizetype kChunkLimit = wire::kChunkLimit;

    // A new outgoing block with the next process-wide block id.
    OptimDataBlock();

    const QByteArray &blockId() const { return m_blockId; }
    const QByteArray &prefix() const { return m_prefix; }
    void setPrefix(const QByteArray &prefix) { m_prefix = prefix; }
    const QByteArray &name() const { return m_name; }
    const QByteArrayList &nameWords() const { return m_nameWords; }
    // A name that begins with "DATA_BLOCK " loses that first word.
    void setName(const QByteArray &name);
    const QList<QByteArray> &chunks() const { return m_chunks; }
    void setChunks(const QList<QByteArray> &chunks) { m_chunks = chunks; }

    wire::Envelope envelope() const { return wire::envelope(m_blockId, m_name, m_chunks, m_prefix); }

    // Sends start, chunks and end to address and returns at once, without
    // waiting for the reply: true when every send succeeded.
    bool transmit(KuvoIFC *kuvo, int address) const;
    // The receiver's reply to this block, as it reads when the block arrived whole.
    QByteArray replyText() const { return wire::replyText(m_name, false); }

private:
    QByteArray m_blockId;
    QByteArray m_prefix;
    QByteArray m_name;
    QByteArrayList m_nameWords;
    QList<QByteArray> m_chunks;
};
