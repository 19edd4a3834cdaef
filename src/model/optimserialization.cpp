#include "optimserialization.h"

#include "optimdecimalread.h"
#include "optimgeneralformat.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <initializer_list>
#include <limits>

OptimSerializationIFC::~OptimSerializationIFC() = default;

namespace {

constexpr char kStart[] = "START_";
constexpr char kEnd[] = "END_";
constexpr char kArray[] = "ARRAY_";

// The text and token ends the last writer of this thread left behind,
// emptied but with their capacity. Larger ones are let go.
struct SpareWriterRoom
{
    QByteArray text;
    OptimSerialWriter::Ends ends;
};
thread_local SpareWriterRoom t_spare;
constexpr qsizetype kKeepBytes = qsizetype(16) << 20;

} // namespace

// ---------------------------------------------------------------- writer

OptimSerialWriter::OptimSerialWriter()
    : m_text(std::move(t_spare.text)), m_ends(std::move(t_spare.ends))
{
    t_spare.text = QByteArray();
    t_spare.ends.clear();
    m_text.resize(0);
    m_ends.clear();
}

OptimSerialWriter::~OptimSerialWriter()
{
    // A text handed out by joinedText() is shared and stays with its holder.
    if (m_text.isDetached() && m_text.capacity() <= kKeepBytes
        && m_text.capacity() > t_spare.text.capacity()) {
        m_text.resize(0);
        t_spare.text.swap(m_text);
    }
    if (qsizetype(m_ends.capacity() * sizeof(qsizetype)) <= kKeepBytes
        && m_ends.capacity() > t_spare.ends.capacity()) {
        m_ends.clear();
        t_spare.ends.swap(m_ends);
    }
}

void OptimSerialWriter::writeStart(const char *tag)
{
    m_text.append(kStart).append(tag);
    endToken();
}

void OptimSerialWriter::writeEnd(const char *tag)
{
    m_text.append(kEnd).append(tag);
    endToken();
}

void OptimSerialWriter::reserveMore(qsizetype bytes, qsizetype tokens)
{
    // Room grows geometrically: an exact reserve per token would copy the
    // whole text again and again on a long message.
    const qsizetype wanted = m_text.size() + bytes;
    if (wanted > m_text.capacity())
        m_text.reserve(std::max(wanted, 2 * m_text.capacity()));
    const size_t wantedTokens = m_ends.size() + size_t(tokens);
    if (wantedTokens > m_ends.capacity())
        m_ends.reserve(std::max(wantedTokens, 2 * m_ends.capacity()));
}

void OptimSerialWriter::endToken()
{
    const qsizetype begin = m_ends.empty() ? 0 : m_ends.back();
    if (m_text.size() == begin || m_text.back() != '\n')
        m_text.append(' ');
    else
        m_lineFeedTokens.push_back(tokenCount());
    m_ends.push_back(m_text.size());
}

template<typename Format>
void OptimSerialWriter::appendFormatted(qsizetype maxBytes, Format format)
{
    // Formats straight into the end of the text, which has the room.
    reserveMore(maxBytes + 1, 1);
    const qsizetype size = m_text.size();
    m_text.resize(size + maxBytes);
    char *begin = m_text.data() + size;
    char *end = format(begin, begin + maxBytes);
    m_text.resize(size + (end - begin));
    endToken();
}

void OptimSerialWriter::writeInt(qint64 value)
{
    appendFormatted(24, [value](char *begin, char *end) { return std::to_chars(begin, end, value).ptr; });
}

void OptimSerialWriter::writeDouble(double value)
{
    appendNumbers(&value, 1);
}

void OptimSerialWriter::appendNumbers(const double *values, qsizetype count)
{
    // The classic %g rule with six significant digits, independent of the
    // locale, as to_chars writes it in general format (the formatter writes
    // the same bytes, only quicker). Each number and the space that ends it
    // (a number never ends in a line feed) go straight into the room behind
    // the text, and the sizes are set once for all of them: a resize or a
    // push per number costs more than the loop's own work. Every number gets
    // the formatter's full room and its space, whatever it writes; the
    // formatter's quick path is inlined here.
    constexpr qsizetype kRoom = optimgeneral6::kRoom;  // the formatter may use all of it as scratch
    const qsizetype start = m_text.size();
    reserveMore(count * (kRoom + 1), count);
    m_text.resize(start + count * (kRoom + 1));
    char *const text = m_text.data();
    char *out = text + start;
    const size_t firstEnd = m_ends.size();
    m_ends.resize(firstEnd + size_t(count));
    qsizetype *ends = m_ends.data() + firstEnd;
    for (qsizetype i = 0; i < count; ++i) {
        std::uint64_t bits;  // read as an integer: the formatter works on the bits
        std::memcpy(&bits, values + i, sizeof bits);
        out = optimgeneral6::formatInRoom(out, bits);
        *out++ = ' ';
        ends[i] = out - text;
    }
    m_text.resize(out - text);
}

void OptimSerialWriter::writeBool(bool value)
{
    m_text.append(value ? "YES" : "NO");
    endToken();
}

void OptimSerialWriter::writeString(const QString &value)
{
    reserveMore(2 * value.size() + 2, 1);
    m_text.append('"');
    for (const QChar ch : value) {
        const char16_t u = ch.unicode();
        const char byte = u < 256 ? char(u) : '?';
        if (byte == '\\' || byte == '"')
            m_text.append('\\');
        m_text.append(byte);
    }
    m_text.append('"');
    endToken();
}

void OptimSerialWriter::writeArrayStart(const char *name, qsizetype count)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, qint64(count));
    m_text.append(kStart).append(kArray).append(name).append(' ').append(buffer, result.ptr - buffer);
    endToken();
}

void OptimSerialWriter::writeArrayEnd(const char *name)
{
    m_text.append(kEnd).append(kArray).append(name);
    endToken();
}

void OptimSerialWriter::writeStringList(const QStringList &values)
{
    writeArrayStart("STRING", values.size());
    for (const QString &value : values)
        writeString(value);
    writeArrayEnd("STRING");
}

void OptimSerialWriter::writeDoubles(const QList<double> &values)
{
    writeArrayStart("VALUES", values.size());
    appendNumbers(values.constData(), values.size());
    writeArrayEnd("VALUES");
}

QByteArrayView OptimSerialWriter::token(qsizetype i) const
{
    // The token without the space endToken put behind it (a token that ends
    // in a line feed has none).
    const qsizetype begin = i == 0 ? 0 : m_ends[size_t(i - 1)];
    qsizetype end = m_ends[size_t(i)];
    if (end > begin && m_text.at(end - 1) == ' ')
        --end;
    return QByteArrayView(m_text.constData() + begin, end - begin);
}

QList<QByteArray> OptimSerialWriter::tokens() const
{
    QList<QByteArray> result;
    result.reserve(tokenCount());
    for (qsizetype i = 0; i < tokenCount(); ++i)
        result.append(token(i).toByteArray());
    return result;
}

QByteArray OptimSerialWriter::joinedText() const
{
    // Kept joined as it is written. A short text in the room a long one
    // left behind is copied out rather than holding all that room.
    if (m_text.isEmpty())
        return QByteArray();
    if (m_text.capacity() > 2 * m_text.size() + 4096)
        return QByteArray(m_text.constData(), m_text.size());
    return m_text;
}

QList<QByteArray> OptimSerialWriter::chunks(qsizetype limit) const
{
    // A token costs its size plus one: the bytes up to its end with its
    // space, and one more for a token that ends in a line feed and has no
    // space. Each chunk takes as many tokens as fit: the last token whose end
    // lies within the limit, found by a binary search over the ends, then
    // back from there while the line feeds in between push the cost over.
    QList<QByteArray> result;
    result.reserve(m_text.size() / std::max<qsizetype>(limit, 1) + 1);
    const auto ends = m_ends.cbegin();
    auto lineFeed = m_lineFeedTokens.cbegin();  // the first line-feed token at or after i
    qsizetype i = 0;
    const qsizetype n = tokenCount();
    while (i < n) {
        const qsizetype begin = i == 0 ? 0 : m_ends[size_t(i - 1)];
        // Clamped so that a huge limit cannot overflow.
        const qsizetype bound = begin + std::clamp<qsizetype>(limit, 0, m_text.size());
        qsizetype last = std::upper_bound(ends + i, m_ends.cend(), bound) - ends;
        lineFeed = std::lower_bound(lineFeed, m_lineFeedTokens.cend(), i);
        auto lineFeedEnd = std::lower_bound(lineFeed, m_lineFeedTokens.cend(), last);
        while (last > i && m_ends[size_t(last - 1)] - begin + (lineFeedEnd - lineFeed) > limit) {
            --last;
            if (lineFeedEnd != lineFeed && *(lineFeedEnd - 1) == last)
                --lineFeedEnd;
        }
        if (last == i)  // a single token longer than the limit goes alone
            last = i + 1;
        // The tokens i..last-1 with their spaces lie back to back in the text.
        result.append(m_text.sliced(begin, m_ends[size_t(last - 1)] - begin));
        i = last;
    }
    return result;
}

// ---------------------------------------------------------------- reader

OptimSerialReader::OptimSerialReader(const QByteArray &text)
    : m_buffer(text)
{
}

OptimSerialReader::OptimSerialReader(const QList<QByteArray> &blocks)
{
    qsizetype total = 0;
    for (const QByteArray &block : blocks)
        total += block.size();
    m_buffer.reserve(total);
    for (const QByteArray &block : blocks) {
        const qsizetype nul = block.indexOf('\0');
        m_buffer.append(nul < 0 ? QByteArrayView(block) : QByteArrayView(block).first(nul));
    }
}

QByteArrayView OptimSerialReader::remaining() const
{
    return QByteArrayView(m_buffer).sliced(m_pos);
}

bool OptimSerialReader::atEnd() const
{
    Word word;
    return !nextWord(word);
}

bool OptimSerialReader::nextWord(Word &word) const
{
    const char *data = m_buffer.constData();
    const char *end = data + m_buffer.size();
    const char *begin = optimtext::skipSpace(data + m_pos, end);
    if (begin == end)
        return false;
    const char *stop = optimtext::skipWord(begin, end);
    word.text = QByteArrayView(begin, stop - begin);
    word.next = optimtext::skipSpace(stop, end) - data;
    return true;
}

bool OptimSerialReader::fail()
{
    if (!m_error)
        m_errorPos = m_pos;
    m_error = true;
    return false;
}

bool OptimSerialReader::readKeyword(const char *a, const char *b, const char *c)
{
    if (m_error)
        return false;
    // Matched in place, part by part: the word must end where c does.
    const char *data = m_buffer.constData();
    const char *end = data + m_buffer.size();
    const char *const word = optimtext::skipSpace(data + m_pos, end);
    const char *p = word;
    for (const char *part : {a, b, c}) {
        for (; *part; ++part, ++p) {
            if (p == end || *p != *part)
                return fail();
        }
    }
    if (p == word || (p != end && !optimtext::isSpace(*p)))
        return fail();
    m_pos = optimtext::skipSpace(p, end) - data;
    return true;
}

bool OptimSerialReader::readStart(const char *tag)
{
    return readKeyword(kStart, tag);
}

bool OptimSerialReader::readEnd(const char *tag)
{
    return readKeyword(kEnd, tag);
}

namespace {

// Converts the word at p (whitespace before it skipped), which must be a
// number as a whole, and returns where the next word begins; nullptr when
// the word is not a number. The number is read straight from the text: it
// ends at whitespace, so it is the whole word exactly when whitespace or the
// end follows it. A leading plus sign is accepted as the C library's number
// readers do; from_chars itself takes only a minus. Doubles are read as
// from_chars reads them, by optimReadDecimal, which is quicker on the
// record text's short numbers.
std::from_chars_result readNumber(const char *p, const char *end, int &value)
{
    return std::from_chars(p, end, value, 10);
}

Q_ALWAYS_INLINE std::from_chars_result readNumber(const char *p, const char *end, double &value)
{
    return optimReadDecimal(p, end, value);
}

template <typename T>
Q_ALWAYS_INLINE const char *readNumberWord(const char *p, const char *end, T &value)
{
    p = optimtext::skipSpace(p, end);
    if (end - p > 1 && *p == '+' && !optimtext::isSpace(p[1]) && p[1] != '-' && p[1] != '+')
        ++p;
    const auto result = readNumber(p, end, value);
    if (result.ec != std::errc() || (result.ptr != end && !optimtext::isSpace(*result.ptr)))
        return nullptr;
    return optimtext::skipSpace(result.ptr, end);
}

// The general way for one number of readDoubles: the word behind the
// whitespace at p, whose start goes to word. Out of line, so that it takes
// no registers from the quick loop.
Q_NEVER_INLINE const char *readDoubleWord(const char *p, const char *end, const char *&word, double &value)
{
    word = optimtext::skipSpace(p, end);
    return readNumberWord(word, end, value);
}

} // namespace

int OptimSerialReader::readInt()
{
    if (m_error)
        return 0;
    const char *data = m_buffer.constData();
    int value = 0;
    const char *next = readNumberWord(data + m_pos, data + m_buffer.size(), value);
    if (!next)
        return fail(), 0;
    m_pos = next - data;
    return value;
}

double OptimSerialReader::readDouble()
{
    if (m_error)
        return 0.0;
    const char *data = m_buffer.constData();
    double value = 0.0;
    const char *next = readNumberWord(data + m_pos, data + m_buffer.size(), value);
    if (!next)
        return fail(), 0.0;
    m_pos = next - data;
    return value;
}

bool OptimSerialReader::readBool()
{
    if (m_error)
        return false;
    Word word;
    if (!nextWord(word))
        return fail();
    bool value;
    if (word.text == "YES")
        value = true;
    else if (word.text == "NO")
        value = false;
    else
        return fail();
    m_pos = word.next;
    return value;
}

QString OptimSerialReader::readString()
{
    if (m_error)
        return {};
    const char *data = m_buffer.constData();
    const char *end = data + m_buffer.size();
    const char *p = optimtext::skipSpace(data + m_pos, end);
    if (p == end || *p != '"')
        return fail(), QString();
    // Find the closing quote first, then widen once into a string of the
    // right length.
    const char *begin = ++p;
    qsizetype escapes = 0;
    while (p != end && *p != '"') {
        if (*p == '\\') {
            ++escapes;
            if (++p == end)
                break;
        }
        ++p;
    }
    if (p == end)
        return fail(), QString();
    QString value;
    if (escapes == 0) {
        value = p == begin ? QString::fromLatin1(QByteArray()) : QString::fromLatin1(begin, p - begin);
    } else {
        value.resize((p - begin) - escapes);
        QChar *out = value.data();
        for (const char *q = begin; q != p; ++q) {
            if (*q == '\\')
                ++q;
            *out++ = QLatin1Char(*q);
        }
    }
    m_pos = optimtext::skipSpace(p + 1, end) - data;
    return value;
}

bool OptimSerialReader::readArrayStart(const char *name, int &count)
{
    count = 0;
    if (!readKeyword(kStart, kArray, name))
        return false;
    count = readInt();
    return !m_error;
}

bool OptimSerialReader::readArrayEnd(const char *name)
{
    return readKeyword(kEnd, kArray, name);
}

// Array readers reserve by the announced count only as far as the rest of
// the text could hold that many elements (each takes at least minBytes with
// the space behind it): a huge count followed by garbage allocates no more
// than the text is long.
template <typename List>
static void reserveFor(List &target, int count, qsizetype remaining, qsizetype minBytes)
{
    if (count > 0)
        target.reserve(target.size() + std::min<qsizetype>(count, remaining / minBytes + 1));
}

void OptimSerialReader::readStringList(QStringList &target)
{
    int count = 0;
    if (!readArrayStart("STRING", count))
        return;
    reserveFor(target, count, m_buffer.size() - m_pos, 3);
    for (int i = 0; i < count && !m_error; ++i) {
        QString value = readString();
        if (!m_error)
            target.append(value);
    }
    readArrayEnd("STRING");
}

void OptimSerialReader::readDoubles(QList<double> &target)
{
    int count = 0;
    if (!readArrayStart("VALUES", count))
        return;
    if (count <= 0) {
        readArrayEnd("VALUES");
        return;
    }
    // Room for the values is reserved up front, bounded as reserveFor bounds
    // it (a value and the space behind it take at least two bytes). They
    // are read into a chunk, which is appended to the target whenever it is
    // full and at the end: growing the target by resize() would write every
    // element twice, zeros first.
    const qsizetype room = std::min<qsizetype>(count, (m_buffer.size() - m_pos) / 2 + 1);
    target.reserve(target.size() + room);
    QList<double> chunk(std::min<qsizetype>(room, 256));
    double *const chunkBegin = chunk.data();
    double *const chunkEnd = chunkBegin + chunk.size();
    double *out = chunkBegin;
    qsizetype left = count;  // values still to read after those in the chunk
    const char *data = m_buffer.constData();
    const char *end = data + m_buffer.size();
    // p is always at the start of a word or at whitespace: the numbers of
    // the usual shape, each with the single space behind it, are read by
    // optimReadSpacedDecimal in runs as long as every read of the run has
    // its window in the text (a read moves on by at most
    // kSpacedDecimalMaxLength), so that the room is checked once per run;
    // anything else (a number of another shape, a plus sign, other or more
    // whitespace, the text's last bytes) goes the general way, which skips
    // the whitespace first, so that a failed read is placed at its word as
    // before.
    const char *p = data + m_pos;
    const qsizetype quickEnd = m_buffer.size() - kSpacedDecimalWindow;  // the last start with the window's room
    bool failed = false;
    while (left > 0) {
        if (out == chunkEnd) {
            target.append(chunk);
            out = chunkBegin;
        }
        qsizetype run = std::min<qsizetype>(left, chunkEnd - out);
        if (p - data <= quickEnd)
            run = std::min<qsizetype>(run, (quickEnd - (p - data)) / kSpacedDecimalMaxLength + 1);
        else
            run = 0;
        double *const runEnd = out + run;
        double *const runBegin = out;
        while (out != runEnd) {
            const char *next = optimReadSpacedDecimal(p, *out);
            if (!next)
                break;
            ++out;
            p = next;
        }
        left -= out - runBegin;
        if (out == runEnd && run > 0)
            continue;
        double value = 0.0;
        const char *word;
        const char *next = readDoubleWord(p, end, word, value);
        if (!next) {
            p = word;
            failed = true;
            break;
        }
        *out++ = value;
        --left;
        p = next;
    }
    m_pos = optimtext::skipSpace(p, end) - data;
    if (failed)
        fail();
    chunk.resize(out - chunkBegin);
    target.append(chunk);
    readArrayEnd("VALUES");
}
