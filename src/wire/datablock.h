#pragma once

// The KUVO message kinds and the data-block envelope: the one place where
// the plug-in, the simulator and the host's trace write and read them.
//
// A block travels as a start message, one plain message per chunk and an end
// message that repeats the start's text:
//
//   start, end  "DATA_BLOCK <id> <n> <name>"                      (kinds 9, 10)
//   chunk i     "[<prefix> ]DATA_BLOCK <id> <i>/<n> <name>:<text>"  (kind 11)
//   reply       "DATA_BLOCK <name>" + " FAILED" when it did not arrive whole (kind 8)
//
// The id is a decimal number unique within the sending process. A header
// (the text before the first ':') is accepted when it has more than three
// words, the first "DATA_BLOCK", the second digits, the third a count n >= 1
// or i/n with 1 <= i <= n; the remaining words are the name.

#include <QByteArray>
#include <QByteArrayView>
#include <QByteArrayList>

#include <functional>
#include <QList>

namespace wire {

enum Kind : int {
    // Kinds without a meaning of their own to the plug-in: each ends a
    // wait for a reply without one.
    KindWaitEnd0 = 0,
    KindWaitEnd3 = 3,
    KindWaitEnd6 = 6,
    KindRendezvous = 7,
    KindReply = 8,
    KindBlockStart = 9,
    KindBlockEnd = 10,
    KindPlain = 11,  // plain text messages, data-block chunks among them
    KindRefused = 12,
    KindGone = 13,   // from the broker: the sender went away or is not there
};

// True for the kinds that end a wait for a reply by themselves (not a
// refusal or a departure, which concern one receiver).
constexpr bool endsEveryWait(int kind)
{
    return kind == KindWaitEnd0 || kind == KindWaitEnd3 || kind == KindWaitEnd6;
}

// "RENDEZVOUS", "REPLY", ... for the kinds above; the number for others.
QByteArray kindName(int kind);

constexpr qsizetype kChunkLimit = 5700;

// The most chunk text a received block may carry. A sender fills its chunks
// up to kChunkLimit, so a start message that announces more chunks than the
// limit holds at that size is refused at once, before anything is buffered.
constexpr qsizetype kMaxBlockBytes = qsizetype(256) << 20;
constexpr int kMaxBlockChunks = int(kMaxBlockBytes / kChunkLimit);

struct Header
{
    QByteArray blockId;
    int index = 0;  // chunk number; 0 for start and end messages
    int count = 0;  // number of chunks
    QByteArray name;
};

struct Envelope
{
    QByteArray start;          // kind 9
    QList<QByteArray> chunks;  // kind 11 each
    QByteArray end;            // kind 10
};

// A name that begins with "DATA_BLOCK " loses that first word.
QByteArray blockName(const QByteArray &name);
Envelope envelope(const QByteArray &blockId, const QByteArray &name, const QList<QByteArray> &chunks,
                  const QByteArray &prefix = QByteArray());
QByteArray replyText(const QByteArray &name, bool failed);

// Parses a start, end or chunk text; a chunk's prefix is skipped. payload,
// when given, gets the text after the first ':' (empty when there is none).
bool parseHeader(const QByteArray &text, Header &header, QByteArray *payload = nullptr);
// The text of a chunk message after its first ':'.
QByteArray payloadOf(const QByteArray &text);
// "OPTIM_HELMDECK SIMULATE 5" -> {"OPTIM_HELMDECK", "SIMULATE", "5"}.
QByteArrayList nameWords(const QByteArray &name);

struct Message
{
    int kind = 0;
    QByteArray text;
};

struct Received
{
    Header header;             // of the start message
    QList<QByteArray> payload;  // the chunk texts in order
    bool whole = false;        // chunks 1..n in order, then the end message, within the limits
};

// Puts a block together from its start text and the messages that followed
// it, in order. Anything out of place (another block's chunk, a chunk twice
// or out of order, an end that does not match, more than maxChunks chunks,
// more than maxBytes of chunk text, a chunk without its ':') leaves the
// block not whole.
Received assemble(const QByteArray &startText, const QList<Message> &rest, int maxChunks = kMaxBlockChunks,
                  qsizetype maxBytes = kMaxBlockBytes);
// The same checks, with each chunk's text handed to take in order, as a view
// into its message (valid while rest is), instead of copied into payload.
// take sees the chunks of a block that turns out not whole too.
Received assemble(const QByteArray &startText, const QList<Message> &rest,
                  const std::function<void(QByteArrayView)> &take, int maxChunks = kMaxBlockChunks,
                  qsizetype maxBytes = kMaxBlockBytes);

} // namespace wire
