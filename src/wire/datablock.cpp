#include "datablock.h"

#include <charconv>
#include <functional>
#include <utility>

namespace wire {

namespace {

const QByteArray kWord("DATA_BLOCK");

bool allDigits(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// A count of at most nine digits, so that it fits an int.
bool toCount(QByteArrayView text, int &value)
{
    if (!allDigits(text) || text.size() > 9)
        return false;
    value = text.toInt();
    return true;
}

} // namespace

QByteArray kindName(int kind)
{
    switch (kind) {
    case KindRendezvous: return "RENDEZVOUS";
    case KindReply: return "REPLY";
    case KindBlockStart: return "BLOCK_START";
    case KindBlockEnd: return "BLOCK_END";
    case KindPlain: return "PLAIN";
    case KindRefused: return "REFUSED";
    case KindGone: return "GONE";
    default: return QByteArray::number(kind);
    }
}

QByteArray blockName(const QByteArray &name)
{
    return name.startsWith(kWord + ' ') ? name.mid(kWord.size() + 1) : name;
}

Envelope envelope(const QByteArray &blockId, const QByteArray &name, const QList<QByteArray> &chunks,
                  const QByteArray &prefix)
{
    const QByteArray n = blockName(name);
    const QByteArray count = QByteArray::number(chunks.size());
    Envelope e;
    e.start = kWord + ' ' + blockId + ' ' + count + ' ' + n;
    e.end = e.start;
    e.chunks.reserve(chunks.size());
    const QByteArray lead = prefix.isEmpty() ? kWord + ' ' + blockId + ' ' : prefix + ' ' + kWord + ' ' + blockId + ' ';
    const QByteArray tail = '/' + count + ' ' + n + ':';
    // Each chunk message put together in one buffer of its final size.
    for (qsizetype i = 0; i < chunks.size(); ++i) {
        char number[24];
        const qsizetype digits = std::to_chars(number, number + sizeof number, i + 1).ptr - number;
        QByteArray chunk;
        chunk.reserve(lead.size() + digits + tail.size() + chunks.at(i).size());
        chunk.append(lead).append(number, digits).append(tail).append(chunks.at(i));
        e.chunks.append(std::move(chunk));
    }
    return e;
}

QByteArray replyText(const QByteArray &name, bool failed)
{
    return kWord + ' ' + name + (failed ? QByteArray(" FAILED") : QByteArray());
}

bool parseHeader(const QByteArray &text, Header &header, QByteArray *payload)
{
    const qsizetype colon = text.indexOf(':');
    QByteArray head = colon < 0 ? text : text.left(colon);
    if (!head.startsWith(kWord + ' ')) {
        // A prefix in front of a chunk: skip to the envelope's first word.
        const qsizetype at = head.indexOf(' ' + kWord + ' ');
        if (at < 0)
            return false;
        head = head.mid(at + 1);
    }
    const QByteArrayList words = head.simplified().split(' ');
    if (words.size() <= 3 || words.at(0) != kWord || !allDigits(words.at(1)) || words.at(1).size() > 20)
        return false;
    Header h;
    h.blockId = words.at(1);
    const QByteArray &third = words.at(2);
    const qsizetype slash = third.indexOf('/');
    if (slash < 0) {
        if (!toCount(third, h.count) || h.count < 1)
            return false;
    } else {
        if (!toCount(QByteArrayView(third).first(slash), h.index)
            || !toCount(QByteArrayView(third).sliced(slash + 1), h.count))
            return false;
        if (h.index < 1 || h.index > h.count)
            return false;
    }
    h.name = words.mid(3).join(' ');
    header = h;
    if (payload)
        *payload = colon < 0 ? QByteArray() : text.mid(colon + 1);
    return true;
}

QByteArray payloadOf(const QByteArray &text)
{
    const qsizetype colon = text.indexOf(':');
    return colon < 0 ? QByteArray() : text.mid(colon + 1);
}

QByteArrayList nameWords(const QByteArray &name)
{
    return name.simplified().split(' ');
}

Received assemble(const QByteArray &startText, const QList<Message> &rest, int maxChunks, qsizetype maxBytes)
{
    QList<QByteArray> payload;
    Received r = assemble(startText, rest, [&payload](QByteArrayView chunk) { payload.append(chunk.toByteArray()); },
                          maxChunks, maxBytes);
    r.payload = std::move(payload);
    return r;
}

Received assemble(const QByteArray &startText, const QList<Message> &rest,
                  const std::function<void(QByteArrayView)> &take, int maxChunks, qsizetype maxBytes)
{
    Received r;
    if (!parseHeader(startText, r.header) || r.header.index != 0 || r.header.count > maxChunks)
        return r;
    const Header &start = r.header;
    // A chunk as envelope writes it, "DATA_BLOCK <id> <index>/<count> <name>:",
    // says what parseHeader would read from it (the name has no ':' and
    // single spaces, as parseHeader left it): its text is taken after
    // comparing the bytes, without parsing them. Anything else is parsed.
    const QByteArray lead = kWord + ' ' + start.blockId + ' ';
    const QByteArray tail = '/' + QByteArray::number(start.count) + ' ' + start.name + ':';
    qsizetype bytes = 0;
    int chunks = 0;
    bool ended = false;
    for (const Message &message : rest) {
        Header h;
        if (message.kind == KindBlockEnd) {
            ended = parseHeader(message.text, h) && h.index == 0 && h.blockId == start.blockId
                && h.count == start.count && h.name == start.name;
            break;
        }
        if (message.kind != KindPlain)
            return r;
        const QByteArrayView text(message.text);
        char number[16];
        const QByteArrayView index(number, std::to_chars(number, number + sizeof number, chunks + 1).ptr - number);
        QByteArrayView chunk;
        if (chunks < start.count && text.startsWith(lead) && text.sliced(lead.size()).startsWith(index)
            && text.sliced(lead.size() + index.size()).startsWith(tail)) {
            chunk = text.sliced(lead.size() + index.size() + tail.size());
        } else {
            const qsizetype colon = text.indexOf(':');
            if (colon < 0 || !parseHeader(message.text, h) || h.blockId != start.blockId || h.count != start.count
                || h.name != start.name || h.index != chunks + 1)
                return r;
            chunk = text.sliced(colon + 1);
        }
        bytes += chunk.size();
        if (bytes > maxBytes)
            return r;
        ++chunks;
        take(chunk);
    }
    r.whole = ended && chunks == start.count;
    return r;
}

} // namespace wire
