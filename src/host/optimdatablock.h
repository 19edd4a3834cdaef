#pragma once

// The envelope of a data block on KUVO. A block is announced with a start
// message (kind 9) "DATA_BLOCK <id> <n> <name>", carried in n chunk
// messages (kind 11) "DATA_BLOCK <id> <i>/<n> <name>:<chunk text>" and
// closed with an end message (kind 10) repeating the start text. The
// receiver answers (kind 8) "DATA_BLOCK <name>", with " FAILED" appended
// when the block did not arrive whole.

#include <QByteArray>
#include <QByteArrayList>
#include <QList>

class KuvoIFC;
struct KuvoMessage;

class OptimDataBlock
{
public:
    enum Kind { KindReply = 8, KindStart = 9, KindEnd = 10, KindChunk = 11 };
    static constexpr qsizetype kChunkLimit = 5700;

    // What an envelope header says.
    struct Header
    {
        QByteArray blockId;
        int index = 0;   // chunk number, 0 for start and end messages
        int count = 0;   // number of chunks
        QByteArray name;
    };

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
    void appendChunk(const QByteArray &chunk) { m_chunks.append(chunk); }
    void setChunks(const QList<QByteArray> &chunks) { m_chunks = chunks; }

    QByteArray headerText() const;
    QByteArray chunkText(qsizetype i) const;

    // Sends start, chunks and end to address, then waits for the reply,
    // handing every other message to normal dispatch meanwhile. True when
    // every send succeeded and a reply came that does not say FAILED.
    bool transmit(KuvoIFC *kuvo, int address) const;

    // Parses an envelope text (the part before the first ':'); chunk
    // headers carry i/n, start and end headers a plain n >= 1.
    static bool parseHeader(const QByteArray &text, Header &header);
    // The text of a chunk message after its first ':'.
    static QByteArray payloadOf(const QByteArray &text);
    static QByteArray replyText(const QByteArray &name, bool failed);

private:
    QByteArray m_blockId;
    QByteArray m_prefix;
    QByteArray m_name;
    QByteArrayList m_nameWords;
    QList<QByteArray> m_chunks;
};
