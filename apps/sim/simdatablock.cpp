#include "simdatablock.h"

#include <QPair>

namespace simblock {

namespace {

const QByteArray kWord("DATA_BLOCK");

bool allDigits(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// A count of digits that fits an int.
bool toCount(const QByteArray &text, int &value)
{
    if (!allDigits(text) || text.size() > 9)
        return false;
    value = text.toInt();
    return true;
}

}  // namespace

Envelope envelope(const QByteArray &blockId, const QByteArray &name, const QList<QByteArray> &chunks,
                  const QByteArray &prefix)
{
    QByteArray n = name;
    if (n.startsWith(kWord + ' '))
        n = n.mid(kWord.size() + 1);
    const QByteArray count = QByteArray::number(chunks.size());
    Envelope e;
    e.start = kWord + ' ' + blockId + ' ' + count + ' ' + n;
    e.end = e.start;
    for (qsizetype i = 0; i < chunks.size(); ++i) {
        QByteArray text;
        if (!prefix.isEmpty())
            text = prefix + ' ';
        text += kWord + ' ' + blockId + ' ' + QByteArray::number(i + 1) + '/' + count + ' ' + n + ':' + chunks.at(i);
        e.chunks.append(text);
    }
    return e;
}

QByteArray replyText(const QByteArray &name, bool whole)
{
    return kWord + ' ' + name + (whole ? QByteArray() : QByteArray(" FAILED"));
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
    const QList<QByteArray> words = head.simplified().split(' ');
    if (words.size() <= 3 || words.at(0) != kWord || !allDigits(words.at(1)))
        return false;
    Header h;
    h.blockId = words.at(1);
    const QByteArray &third = words.at(2);
    const qsizetype slash = third.indexOf('/');
    if (slash < 0) {
        if (!toCount(third, h.count) || h.count < 1)
            return false;
    } else {
        if (!toCount(third.left(slash), h.index) || !toCount(third.mid(slash + 1), h.count))
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

Received assemble(const QByteArray &startText, const QList<QPair<int, QByteArray>> &rest)
{
    Received r;
    Header start;
    if (!parseHeader(startText, start) || start.index != 0)
        return r;
    r.name = start.name;
    bool inOrder = true;
    bool ended = false;
    for (const auto &message : rest) {
        if (ended)
            break;
        Header h;
        QByteArray payload;
        if (message.first == kEndKind) {
            ended = parseHeader(message.second, h) && h.index == 0 && h.blockId == start.blockId
                    && h.count == start.count;
            if (!ended)
                inOrder = false;
            break;
        }
        if (message.first != kChunkKind || !parseHeader(message.second, h, &payload) || h.blockId != start.blockId
            || h.count != start.count || h.index != r.payload.size() + 1) {
            inOrder = false;
            continue;
        }
        r.payload.append(payload);
    }
    r.whole = inOrder && ended && r.payload.size() == start.count;
    return r;
}

QList<QByteArray> nameWords(const QByteArray &name)
{
    return name.simplified().split(' ');
}

}  // namespace simblock
