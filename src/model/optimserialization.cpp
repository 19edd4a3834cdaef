#include "optimserialization.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

OptimSerializationIFC::~OptimSerializationIFC() = default;

namespace {

// Whitespace between words: tab to carriage return, space and the Latin-1
// no-break space.
inline bool isSpaceByte(unsigned char c)
{
    return (c >= 9 && c <= 13) || c == 32 || c == 160;
}

constexpr char kStart[] = "START_";
constexpr char kEnd[] = "END_";
constexpr char kArray[] = "ARRAY_";

} // namespace

// ---------------------------------------------------------------- writer

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
    // The classic %g rule with six significant digits, independent of the
    // locale: to_chars in general format is specified as printf's %g.
    appendFormatted(32, [value](char *begin, char *end) {
        return std::to_chars(begin, end, value, std::chars_format::general, 6).ptr;
    });
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
    // Room for the typical number ("-1.23457e-05" and a little) up front.
    reserveMore(32 + 14 * values.size(), 2 + values.size());
    writeArrayStart("VALUES", values.size());
    for (double value : values)
        writeDouble(value);
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
    return m_text;  // kept joined as it is written
}

QList<QByteArray> OptimSerialWriter::chunks(qsizetype limit) const
{
    QList<QByteArray> result;
    qsizetype i = 0;
    const qsizetype n = tokenCount();
    while (i < n) {
        qsizetype total = 0;
        qsizetype last = i;
        while (last < n && total < limit) {
            const qsizetype cost = token(last).size() + 1;
            if (total + cost > limit)
                break;
            total += cost;
            ++last;
        }
        if (last == i)  // a single token longer than the limit goes alone
            last = i + 1;
        // The tokens i..last-1 with their spaces lie back to back in the text.
        const qsizetype begin = i == 0 ? 0 : m_ends[size_t(i - 1)];
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
    const qsizetype size = m_buffer.size();
    qsizetype p = m_pos;
    while (p < size && isSpaceByte(uchar(data[p])))
        ++p;
    if (p == size)
        return false;
    const qsizetype begin = p;
    while (p < size && !isSpaceByte(uchar(data[p])))
        ++p;
    word.text = QByteArrayView(data + begin, p - begin);
    while (p < size && isSpaceByte(uchar(data[p])))
        ++p;
    word.next = p;
    return true;
}

bool OptimSerialReader::fail()
{
    if (!m_error)
        m_errorPos = m_pos;
    m_error = true;
    return false;
}

bool OptimSerialReader::readKeyword(const char *prefix, const char *name)
{
    if (m_error)
        return false;
    Word word;
    if (!nextWord(word))
        return fail();
    const QByteArrayView p(prefix);
    const QByteArrayView n(name);
    if (word.text.size() != p.size() + n.size() || !word.text.startsWith(p)
        || word.text.sliced(p.size()) != n)
        return fail();
    m_pos = word.next;
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

// A leading plus sign is accepted as the C library's number readers do;
// from_chars itself takes only a minus.
QByteArrayView withoutPlus(QByteArrayView text)
{
    if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+')
        return text.sliced(1);
    return text;
}

} // namespace

int OptimSerialReader::readInt()
{
    if (m_error)
        return 0;
    Word word;
    if (!nextWord(word))
        return fail(), 0;
    const QByteArrayView text = withoutPlus(word.text);
    int value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        return fail(), 0;
    m_pos = word.next;
    return value;
}

double OptimSerialReader::readDouble()
{
    if (m_error)
        return 0.0;
    Word word;
    if (!nextWord(word))
        return fail(), 0.0;
    const QByteArrayView text = withoutPlus(word.text);
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value,
                                        std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        return fail(), 0.0;
    m_pos = word.next;
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
    const qsizetype size = m_buffer.size();
    qsizetype p = m_pos;
    if (p >= size)
        return fail(), QString();
    while (p < size && isSpaceByte(uchar(data[p])))
        ++p;
    if (p >= size || data[p] != '"')
        return fail(), QString();
    ++p;
    // Collect the bytes first (escapes removed), then widen once.
    QByteArray bytes;
    for (;;) {
        if (p >= size)
            return fail(), QString();
        char c = data[p];
        if (c == '"')
            break;
        if (c == '\\') {
            ++p;
            if (p >= size)
                return fail(), QString();
            c = data[p];
        }
        bytes.append(c);
        ++p;
    }
    ++p;  // the closing quote
    while (p < size && isSpaceByte(uchar(data[p])))
        ++p;
    m_pos = p;
    return QString::fromLatin1(bytes);
}

bool OptimSerialReader::readArrayStart(const char *name, int &count)
{
    count = 0;
    if (m_error)
        return false;
    const QByteArray tag = QByteArray(kArray) + name;
    if (!readKeyword(kStart, tag.constData()))
        return false;
    count = readInt();
    return !m_error;
}

bool OptimSerialReader::readArrayEnd(const char *name)
{
    if (m_error)
        return false;
    const QByteArray tag = QByteArray(kArray) + name;
    return readKeyword(kEnd, tag.constData());
}

// Array readers never reserve by the announced count: a huge count followed
// by garbage stops at the first failing element, having allocated only for
// what was actually read.
void OptimSerialReader::readStringList(QStringList &target)
{
    int count = 0;
    if (!readArrayStart("STRING", count))
        return;
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
    for (int i = 0; i < count && !m_error; ++i) {
        const double value = readDouble();
        if (!m_error)
            target.append(value);
    }
    readArrayEnd("VALUES");
}
