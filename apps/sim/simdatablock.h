#pragma once

// The data-block envelope as the simulator writes and reads it.
//
// A block travels as a start message (kind 9), one message per chunk
// (kind 11) and an end message (kind 10) with the start's text:
//
//   start, end  "DATA_BLOCK <id> <n> <name>"
//   chunk i     "[<prefix> ]DATA_BLOCK <id> <i>/<n> <name>:<chunk text>"
//   reply       "DATA_BLOCK <name>" + " FAILED" when it was not received whole (kind 8)
//
// The id is a decimal number unique within the sending process. A received
// header (the text before its first ':') is accepted when it has more than
// three words, the first "DATA_BLOCK", the second digits only, the third a
// count n >= 1 of digits or i/n with 1 <= i <= n; the remaining words are the
// name. Message blocks carry a record's serialized words cut into chunks of
// at most 5700 bytes (OptimSerialWriter::chunks); command blocks carry one
// chunk of a single blank.

#include <QByteArray>
#include <QList>
#include <QPair>

namespace simblock {

constexpr int kChunkLimit = 5700;

constexpr int kStartKind = 9;
constexpr int kChunkKind = 11;
constexpr int kEndKind = 10;
constexpr int kReplyKind = 8;

struct Envelope
{
    QByteArray start;          // kind 9
    QList<QByteArray> chunks;  // kind 11 each
    QByteArray end;            // kind 10
};

// A name that begins with "DATA_BLOCK " loses that first word.
Envelope envelope(const QByteArray &blockId, const QByteArray &name, const QList<QByteArray> &chunks,
                  const QByteArray &prefix = QByteArray());
QByteArray replyText(const QByteArray &name, bool whole);

struct Header
{
    QByteArray blockId;
    int index = 0;  // 0 for start and end, i for chunk i
    int count = 0;
    QByteArray name;
};

// Parses a start, end or chunk text (a chunk's prefix is skipped); payload,
// when given, gets the text after the first ':' (empty when there is none).
bool parseHeader(const QByteArray &text, Header &header, QByteArray *payload = nullptr);

struct Received
{
    QByteArray name;
    QList<QByteArray> payload;  // the chunk texts in order
    bool whole = false;         // every chunk 1..n in order, and the end message
};

// Takes a block apart from its start text and the messages that followed
// (kinds and texts as KUVO delivered them).
Received assemble(const QByteArray &startText, const QList<QPair<int, QByteArray>> &rest);

// The name's words: "OPTIM_HELMDECK SIMULATE 5" -> {"OPTIM_HELMDECK", "SIMULATE", "5"}.
QList<QByteArray> nameWords(const QByteArray &name);

}  // namespace simblock
