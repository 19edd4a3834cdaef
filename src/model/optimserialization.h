#pragma once

// The record text format shared with the simulator: a flat sequence of words
// and quoted strings. Every record is bracketed by "START_<tag>" and
// "END_<tag>", every list by "START_ARRAY_<name> <count>" and
// "END_ARRAY_<name>". The writer collects tokens (so that chunk boundaries can
// fall between them); the reader consumes words from the front of the text
// and carries a sticky error flag: once a read fails, every later read fails
// without consuming anything, so a message either reads whole or is dropped.
//
// Strings travel as Latin-1 bytes. Characters outside Latin-1 cannot be
// carried; the writer replaces each of them by '?', which keeps the token
// grammar intact and leaves Latin-1 text unchanged.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

// Words of the record text are runs of bytes between whitespace: tab to
// carriage return, space and the Latin-1 no-break space. The reader and the
// codec benchmark's floors share this scanner.
namespace optimtext {

inline constexpr std::array<bool, 256> kSpace = [] {
    std::array<bool, 256> space{};
    for (int c = 9; c <= 13; ++c)
        space[c] = true;
    space[32] = space[160] = true;
    return space;
}();

inline bool isSpace(char c)
{
    return kSpace[static_cast<unsigned char>(c)];
}

inline const char *skipSpace(const char *p, const char *end)
{
    while (p != end && isSpace(*p))
        ++p;
    return p;
}

inline const char *skipWord(const char *p, const char *end)
{
    while (p != end && !isSpace(*p))
        ++p;
    return p;
}

} // namespace optimtext

class OptimHistoryValues;
class OptimSerialWriter;
class OptimSerialReader;

class OptimSerializationIFC
{
public:
    explicit OptimSerializationIFC(const char *tag) : m_tag(tag) {}
    OptimSerializationIFC(const OptimSerializationIFC &) = default;
    OptimSerializationIFC &operator=(const OptimSerializationIFC &) = default;
    virtual ~OptimSerializationIFC();

    virtual void serialize(OptimSerialWriter &writer) const = 0;
    virtual void deserialize(OptimSerialReader &reader) = 0;

    const char *tag() const { return m_tag; }

    // Records of one class share their tag; comparing records compares fields.
    bool operator==(const OptimSerializationIFC &) const { return true; }

private:
    const char *m_tag;
};

class OptimSerialWriter
{
    // Token ends grow by resize() and are written in place after it: their
    // allocator leaves a new end uninitialised rather than zeroing it first.
    template<typename T>
    struct EndAllocator
    {
        using value_type = T;
        EndAllocator() = default;
        template<typename U>
        EndAllocator(const EndAllocator<U> &) noexcept {}
        T *allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
        void deallocate(T *p, std::size_t n) noexcept { std::allocator<T>().deallocate(p, n); }
        template<typename U>
        void construct(U *p) noexcept { ::new (static_cast<void *>(p)) U; }
        template<typename U>
        bool operator==(const EndAllocator<U> &) const noexcept { return true; }
    };

public:
    using Ends = std::vector<qsizetype, EndAllocator<qsizetype>>;

    // A writer starts from the room the last writer of its thread left
    // behind, so a long message does not fault in fresh pages every time.
    OptimSerialWriter();
    OptimSerialWriter(const OptimSerialWriter &) = default;
    OptimSerialWriter &operator=(const OptimSerialWriter &) = default;
    ~OptimSerialWriter();

    void writeStart(const char *tag);
    void writeEnd(const char *tag);
    void writeInt(qint64 value);
    void writeDouble(double value);
    void writeBool(bool value);
    void writeString(const QString &value);
    void writeArrayStart(const char *name, qsizetype count);
    void writeArrayEnd(const char *name);
    void writeStringList(const QStringList &values);
    void writeDoubles(const QList<double> &values);
    void writeRecord(const OptimSerializationIFC &record) { record.serialize(*this); }

    // Uniform field writers used by the records' field lists.
    void field(int value) { writeInt(value); }
    void field(long value) { writeInt(value); }
    void field(double value) { writeDouble(value); }
    void field(bool value) { writeBool(value); }
    void field(const QString &value) { writeString(value); }
    void field(const QStringList &value) { writeStringList(value); }
    void field(const QList<double> &value) { writeDoubles(value); }
    void field(const OptimHistoryValues &values);  // as a string list
    void field(const OptimSerializationIFC &record) { writeRecord(record); }

    qsizetype tokenCount() const { return qsizetype(m_ends.size()); }
    QByteArrayView token(qsizetype i) const;
    QList<QByteArray> tokens() const;

    // The tokens in order, each followed by one space unless it ends in a
    // line feed.
    QByteArray joinedText() const;

    // The joined text cut between tokens into chunks of at most limit bytes;
    // a single token longer than limit - 1 forms a chunk of its own.
    QList<QByteArray> chunks(qsizetype limit) const;

private:
    // Ends the token written since the last end: the text is kept joined,
    // each token followed by one space unless it ends in a line feed.
    void endToken();
    // Room for bytes more text and tokens more tokens.
    void reserveMore(qsizetype bytes, qsizetype tokens);
    // A token of at most maxBytes that format(begin, end) writes in place,
    // returning where it stopped.
    template<typename Format>
    void appendFormatted(qsizetype maxBytes, Format format);
    // count numbers, each a token.
    void appendNumbers(const double *values, qsizetype count);

    QByteArray m_text;            // the joined text
    Ends m_ends;  // where each token and its space end in m_text
    std::vector<qsizetype> m_lineFeedTokens;  // the tokens that end in a line feed, in order
};

class OptimSerialReader
{
public:
    OptimSerialReader() = default;
    explicit OptimSerialReader(const QByteArray &text);
    // One message's data blocks in order; each is taken up to its first NUL.
    explicit OptimSerialReader(const QList<QByteArray> &blocks);

    bool hasError() const { return m_error; }
    void setError() { fail(); }
    // Where the first failed read began, counted in bytes of the whole text;
    // -1 while there is no error.
    qsizetype errorOffset() const { return m_error ? m_errorPos : -1; }

    // What has not been consumed yet.
    QByteArrayView remaining() const;
    bool atEnd() const;

    bool readStart(const char *tag);
    bool readEnd(const char *tag);
    int readInt();
    long readLong() { return readInt(); }
    double readDouble();
    bool readBool();
    QString readString();
    bool readArrayStart(const char *name, int &count);
    bool readArrayEnd(const char *name);
    void readStringList(QStringList &target);
    void readDoubles(QList<double> &target);
    void readRecord(OptimSerializationIFC &record) { record.deserialize(*this); }

    void field(int &value) { value = readInt(); }
    void field(long &value) { value = readLong(); }
    void field(double &value) { value = readDouble(); }
    void field(bool &value) { value = readBool(); }
    void field(QString &value) { value = readString(); }
    void field(QStringList &value) { readStringList(value); }
    void field(QList<double> &value) { readDoubles(value); }
    void field(OptimHistoryValues &values);
    void field(OptimSerializationIFC &record) { readRecord(record); }

private:
    struct Word
    {
        QByteArrayView text;
        qsizetype next = 0;  // position after the word and the whitespace behind it
    };
    bool nextWord(Word &word) const;
    // Reads the word a + b + c.
    bool readKeyword(const char *a, const char *b, const char *c = "");
    bool fail();

    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qsizetype m_errorPos = -1;
    bool m_error = false;
};

// The record pattern: start word, the class's fields in order, end word. A
// read fills a default-constructed temporary and assigns it to the target
// only when the end word was read, so a failed read leaves the target as it
// was and fields that are not serialized return to their defaults.
template <typename Record>
void optimWriteRecord(const Record &record, OptimSerialWriter &writer)
{
    writer.writeStart(record.tag());
    Record::fields(record, writer);
    writer.writeEnd(record.tag());
}

template <typename Record>
void optimReadRecord(Record &target, OptimSerialReader &reader)
{
    Record temporary;
    if (!reader.readStart(target.tag()))
        return;
    Record::fields(temporary, reader);
    if (reader.readEnd(target.tag()))
        target = std::move(temporary);
}

// Declares serialize/deserialize for a record whose fields are listed by a
// static template function fields(self, io). The definitions live in one
// source file per header (OPTIM_RECORD_SERIALIZATION_DEFINE), so the field
// walks and each record's vtable are compiled once, not in every includer.
#define OPTIM_RECORD_SERIALIZATION(Class)                \
    void serialize(OptimSerialWriter &writer) const override; \
    void deserialize(OptimSerialReader &reader) override;

#define OPTIM_RECORD_SERIALIZATION_DEFINE(Class)                                                        \
    void Class::serialize(OptimSerialWriter &writer) const { optimWriteRecord(*this, writer); } \
    void Class::deserialize(OptimSerialReader &reader) { optimReadRecord(*this, reader); }
