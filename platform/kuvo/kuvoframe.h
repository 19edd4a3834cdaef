#pragma once

// Framing of the KUVO stand-in, shared by broker and client.
//
// Every frame, in both directions:
//   u32 big-endian  N     number of bytes that follow, 8 <= N <= 64 MiB
//   i32 big-endian  kind  negative: broker control; otherwise a KUVO message
//   i32 big-endian  addr  client -> broker: destination; broker -> client: sender
//   N-8 bytes       text
// A length outside the range means the peer is broken: the connection is dropped.

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

class QIODevice;

namespace kuvo {

constexpr quint32 kMinFrameLength = 8;
constexpr quint32 kMaxFrameLength = 64u * 1024u * 1024u;
constexpr qsizetype kHeaderSize = 12;  // length, kind, addr
constexpr qsizetype kMaxTextSize = qsizetype(kMaxFrameLength) - 8;
// The most one read from a socket appends to a reader at a time.
constexpr qsizetype kReadLimit = 4 * 1024 * 1024;

// Broker control kinds. The broker answers each with the same kind.
constexpr int kRegister = -1;  // text "name" or "name secondName"; answer addr = own address
constexpr int kLookup = -2;    // text "name"; answer addr = first client of that name, or -1
constexpr int kPeers = -3;     // empty text; answer text "address name[ secondName]\n" per client

// Message kinds the stand-in itself gives a meaning to.
constexpr int kBlockEnd = 10;  // end of a data block
constexpr int kPeerGone = 13;  // sent by the broker: a peer went away (or never existed)

// The whole frame as bytes on the wire. text must not exceed kMaxTextSize.
QByteArray encodeFrame(int kind, int addr, QByteArrayView text);
// Only the 12 header bytes, for writing the text separately.
void encodeHeader(char *out, int kind, int addr, qsizetype textSize);

// Splits "name[ secondName]" at its first blank.
void splitNames(QByteArrayView text, QByteArray &name, QByteArray &secondName);
QByteArray joinNames(const QByteArray &name, const QByteArray &secondName);

// One complete frame inside a FrameReader's buffer. The pointers stay valid
// until the next call to FrameReader::readFrom or FrameReader::compact.
struct FrameView
{
    int kind = 0;
    int addr = 0;
    const char *text = nullptr;
    qsizetype textSize = 0;
    char *frame = nullptr;     // the frame's first byte (its length field)
    qsizetype frameSize = 0;   // 4 + N

    QByteArray textBytes() const { return QByteArray(text, textSize); }
    // Rewrites the addr field inside the buffer (the broker substitutes the sender).
    void setAddr(int address);
};

// Collects bytes from a stream and cuts complete frames out of them. Bytes are
// appended at the end of one buffer and frames are read from a moving offset;
// the consumed front is dropped by compact() only, so every byte is copied a
// bounded number of times however the stream is split.
class FrameReader
{
public:
    enum Result { Frame, NeedMore, Malformed };

    // Appends what the device has available. Answers the number of bytes read,
    // -1 when the device failed.
    qint64 readFrom(QIODevice *device);
    // Appends bytes (tests, and callers that read themselves).
    void append(QByteArrayView bytes);
    // Room for up to size bytes at the end, to be filled by the caller;
    // endAppend says how many it filled.
    char *beginAppend(qsizetype size);
    void endAppend(qsizetype filled);

    // The next complete frame, NeedMore, or Malformed (length out of range;
    // the reader stays malformed from then on).
    Result next(FrameView &frame);

    // Drops the bytes of the frames handed out so far. The buffer keeps the
    // room reads need (up to twice kReadLimit) for the next read.
    void compact();
    qsizetype capacity() const { return m_buffer.capacity(); }

    qsizetype buffered() const { return m_buffer.size() - m_offset; }
    void clear();

private:
    void reserveFor(qsizetype extra);

    QByteArray m_buffer;
    qsizetype m_offset = 0;
    qsizetype m_appendBase = 0;
    bool m_malformed = false;
};

}  // namespace kuvo
