#include "optimhistoryvalues.h"

#include "optimdecimalread.h"
#include "optimgeneralformat.h"
#include "optimserialization.h"

#include <QDebug>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr double kGap = std::numeric_limits<double>::quiet_NaN();

// Room for any double written by to_chars ("-2.2250738585072014e-308").
using NumberBuffer = std::array<char, 32>;

qsizetype writeShortest(NumberBuffer &buffer, double value)
{
    return std::to_chars(buffer.data(), buffer.data() + buffer.size(), value).ptr - buffer.data();
}

qsizetype writeSixDigits(NumberBuffer &buffer, double value)
{
    return optimFormatGeneral6(buffer.data(), buffer.data() + buffer.size(), value) - buffer.data();
}

bool sameText(const NumberBuffer &buffer, qsizetype size, QStringView text)
{
    if (text.size() != size)
        return false;
    for (qsizetype i = 0; i < size; ++i) {
        if (text.at(i).unicode() != char16_t(uchar(buffer[size_t(i)])))
            return false;
    }
    return true;
}

enum class Reading { Number, Gap, Unread };

// A plain number the way the graphs read one before they try units: the
// text without surrounding white space, ASCII, shorter than 48 characters,
// taken whole by from_chars. NaN and infinities are gaps.
Reading readPlain(QStringView text, double &value)
{
    value = kGap;
    const QStringView trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return Reading::Gap;
    std::array<char, 48> ascii;
    if (trimmed.size() >= qsizetype(ascii.size()))
        return Reading::Unread;
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const char16_t c = trimmed.at(i).unicode();
        if (c >= 128)
            return Reading::Unread;
        ascii[size_t(i)] = char(c);
    }
    const char *end = ascii.data() + trimmed.size();
    double number = 0;
    const auto result = optimReadDecimal(ascii.data(), end, number);
    if (result.ec != std::errc() || result.ptr != end)
        return Reading::Unread;
    if (std::isfinite(number))
        value = number;
    return std::isfinite(number) ? Reading::Number : Reading::Gap;
}

// A number at the start of a history text and which of the two usual ways
// of writing it give its text back.
struct LeadingNumber
{
    double number = 0;
    qsizetype size = 0;      // characters the number takes
    int format = 0;          // 1: to_chars shortest writes it so, else 2: %g
                             // with six significant digits, else 0
};

constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Reads the number at the start of text and decides how it is written from
// its layout alone, without writing the number back: a text of at most 15
// significant digits in the normal range reads as a double whose shortest
// digits are exactly those digits (two texts of 15 digits or fewer lie
// further apart than one double's rounding interval), and with at most six
// digits %g rounds that double back to them. What remains is the layout:
// to_chars writes those digits plainly or with an exponent, whichever is
// shorter (plainly on a tie); %g writes them plainly for decimal exponents
// -4 to 5; both without a plus sign, leading or trailing zeros, a point
// without digits behind it, and with an exponent of at least two digits
// after its sign. Returns false when the text is outside what this decides
// (no digits, an exponent without digits, more than 19 digits, zero written
// other than "0", more than 15 significant digits, beyond 1e±300): the
// caller then converts and compares.
bool readLeadingNumber(const QString &text, LeadingNumber &out)
{
    // The text ends in a NUL, which no loop below takes.
    const char16_t *const begin = reinterpret_cast<const char16_t *>(text.utf16());
    const char16_t *p = begin;
    auto digit = [](char16_t c, unsigned &d) { return (d = unsigned(c) - u'0') <= 9; };
    const bool negative = *p == u'-';
    p += negative ? 1 : 0;

    // The digits before and after the point as one integer.
    quint64 mantissa = 0;
    unsigned d;
    const char16_t *const intBegin = p;
    for (; digit(*p, d); ++p)
        mantissa = mantissa * 10 + d;
    const int intDigits = int(p - intBegin);
    const bool point = *p == u'.';
    p += point ? 1 : 0;
    const char16_t *const fracBegin = p;
    for (; digit(*p, d); ++p)
        mantissa = mantissa * 10 + d;
    const int fracDigits = int(p - fracBegin);
    const int digits = intDigits + fracDigits;
    if (digits == 0 || digits > 19)
        return false;
    // The zeros that lead and trail those digits (mostly none).
    auto digitAt = [&](int i) { return i < intDigits ? intBegin[i] : fracBegin[i - intDigits]; };
    int leadingZeros = 0;
    if (digitAt(0) == u'0') {
        while (leadingZeros < digits && digitAt(leadingZeros) == u'0')
            ++leadingZeros;
    }
    int trailingZeros = 0;
    if (p[-1] == u'0') {
        while (trailingZeros < digits - leadingZeros && digitAt(digits - 1 - trailingZeros) == u'0')
            ++trailingZeros;
    }

    // An exponent counts only with digits; the writers write "e" and a sign.
    int exponent = 0, exponentDigits = 0;
    bool writersExponent = false;
    const bool hasExponent = (*p | 0x20) == u'e';
    if (hasExponent) {
        const char16_t *q = p + 1;
        const bool sign = *q == u'+' || *q == u'-';
        const bool exponentNegative = *q == u'-';
        q += sign ? 1 : 0;
        for (; digit(*q, d); ++q) {
            if (++exponentDigits > 4)
                return false;
            exponent = exponent * 10 + int(d);
        }
        if (exponentDigits == 0)
            return false;
        exponent = exponentNegative ? -exponent : exponent;
        writersExponent = sign && *p == u'e';
        p = q;
    }
    out.size = p - begin;

    if (mantissa == 0) {
        // Zero: both ways write "0" or "-0".
        if (digits != 1 || point || hasExponent)
            return false;
        out.number = negative ? -0.0 : 0.0;
        out.format = 1;
        return true;
    }
    const int n = digits - leadingZeros - trailingZeros;  // significant digits
    const int x = exponent + intDigits - leadingZeros - 1;  // decimal exponent of the first one
    if (n > 15 || x < -300 || x > 300)
        return false;

    // The value: the significant digits are below 2^53 and a power of ten
    // up to 1e22 is exact, so one multiplication or division rounds
    // correctly, as from_chars does; beyond that from_chars itself.
    quint64 significand = mantissa;
    for (int i = 0; i < trailingZeros; ++i)
        significand /= 10;
    const int scale = exponent - fracDigits + trailingZeros;
    if (scale >= 0 && scale <= 22) {
        out.number = double(significand) * kExactPowersOfTen[scale];
    } else if (scale < 0 && scale >= -22) {
        out.number = double(significand) / kExactPowersOfTen[-scale];
    } else {
        // The text without its sign, which is applied below.
        std::array<char, 32> ascii;
        const qsizetype from = negative ? 1 : 0;
        for (qsizetype i = from; i < out.size; ++i)
            ascii[size_t(i - from)] = char(begin[i]);
        std::from_chars(ascii.data(), ascii.data() + (out.size - from), out.number, std::chars_format::general);
    }
    out.number = negative ? -out.number : out.number;

    // The layout as the writers make it, plain or with an exponent, and the
    // one each way of writing chooses.
    const int exponentWidth = x > -100 && x < 100 ? 2 : 3;
    bool plainLayout = false, exponentLayout = false;
    if (!hasExponent) {
        plainLayout = x >= 0 ? leadingZeros == 0 && (!point || (fracDigits > 0 && trailingZeros == 0))
                             : intDigits == 1 && point && trailingZeros == 0;
    } else {
        exponentLayout = writersExponent && exponentDigits == exponentWidth && intDigits == 1 && leadingZeros == 0
            && (n > 1 ? point && fracDigits == n - 1 && trailingZeros == 0 : !point);
    }
    const int plainLength = x >= 0 ? std::max(n, x + 1) + (n > x + 1 ? 1 : 0) : n + 1 - x;
    const int exponentLength = n + (n > 1 ? 1 : 0) + 2 + exponentWidth;
    const bool shortest = plainLength <= exponentLength ? plainLayout : exponentLayout;
    const bool sixDigits = n <= 6 && (x >= -4 && x < 6 ? plainLayout : exponentLayout);
    out.format = shortest ? 1 : sixDigits ? 2 : 0;
    return true;
}

// The usual history text, decided quickly: the whole text a number without
// an exponent, written shortest or with six significant digits, of at most
// 15 significant digits. Its value and way are those readLeadingNumber
// gives; false for every other text (readLeadingNumber and the writers
// then decide).
inline bool readPlainNumber(const QString &text, double &number, bool &shortest)
{
    const char16_t *p = reinterpret_cast<const char16_t *>(text.constData());
    const char16_t *const end = p + text.size();
    const bool negative = p != end && *p == u'-';
    p += negative ? 1 : 0;
    quint64 mantissa = 0;  // unsigned: a long digit run wraps (and is refused below) instead of overflowing
    unsigned d;
    const char16_t *const intBegin = p;
    for (; p != end && (d = unsigned(*p) - u'0') <= 9; ++p)
        mantissa = mantissa * 10 + d;
    const int intDigits = int(p - intBegin);
    if (intDigits == 0)
        return false;
    bool sixDigits;
    if (p == end) {
        // An integer: written plainly unless its exponent form is shorter.
        if (intDigits > 15 || *intBegin == u'0')
            return false;
        int n = intDigits;
        while (intBegin[n - 1] == u'0')
            --n;
        shortest = intDigits <= n + (n > 1 ? 1 : 0) + 4;
        sixDigits = n <= 6 && intDigits <= 6;
        number = double(mantissa);
    } else {
        if (*p != u'.')
            return false;
        const char16_t *const fracBegin = ++p;
        for (; p != end && (d = unsigned(*p) - u'0') <= 9; ++p)
            mantissa = mantissa * 10 + d;
        const int fracDigits = int(p - fracBegin);
        if (p != end || fracDigits == 0 || intDigits + fracDigits > 15 || p[-1] == u'0')
            return false;
        if (*intBegin != u'0') {
            // d.ddd: always shorter than its exponent form.
            shortest = true;
            sixDigits = intDigits + fracDigits <= 6;
        } else {
            // 0.000ddd, decimal exponent -1 - z.
            if (intDigits != 1)
                return false;
            int z = 0;
            while (fracBegin[z] == u'0')
                ++z;
            const int n = fracDigits - z;
            shortest = n + 2 + z <= n + (n > 1 ? 1 : 0) + 4;
            sixDigits = n <= 6 && z <= 3;
        }
        number = double(mantissa) / kExactPowersOfTen[fracDigits];
    }
    number = negative ? -number : number;
    return shortest || sixDigits;
}

// Appending a number to a history is the hot path of applying an
// iteration: with QList's growth inlined it costs half.
[[gnu::flatten]] inline void appendNumber(QList<double> &numbers, double number)
{
    numbers.append(number);
}

bool sameBits(const QList<double> &a, const QList<double> &b)
{
    return a.size() == b.size()
        && (a.isEmpty() || std::memcmp(a.constData(), b.constData(), size_t(a.size()) * sizeof(double)) == 0);
}

} // namespace

OptimHistoryValues::OptimHistoryValues(const QStringList &texts)
{
    *this = texts;
}

OptimHistoryValues &OptimHistoryValues::operator=(const QStringList &texts)
{
    clear();
    reserve(texts.size());
    for (const QString &text : texts)
        append(text);
    return *this;
}

void OptimHistoryValues::append(const QString &text)
{
    double number;
    bool shortest;
    if (readPlainNumber(text, number, shortest)) {
        const Format format = shortest ? Shortest : SixDigits;
        // Most often the same way as the entry before.
        if (!m_runs.isEmpty() && m_runs.constLast().format == format && m_runs.constLast().unit < 0)
            appendNumber(m_numbers, number);
        else
            appendEntry(number, format, -1);
        return;
    }
    appendText(text);
}

void OptimHistoryValues::appendText(const QString &text)
{
    if (text.isEmpty()) {
        appendEntry(kGap, EmptyText, -1);
        return;
    }
    // The usual text is a number as to_chars writes it, shortest or with six
    // significant digits, perhaps followed by a unit: keep the number, which
    // of the two ways it was written and the unit. Most texts are decided
    // from their layout; the rest are converted and written back.
    LeadingNumber lead;
    bool isNumber = readLeadingNumber(text, lead);
    if (!isNumber) {
        std::array<char, 32> ascii;
        qsizetype n = 0;
        for (; n < text.size() && n < qsizetype(ascii.size()) && text.at(n).unicode() < 128; ++n)
            ascii[size_t(n)] = char(text.at(n).unicode());
        const auto result = optimReadDecimal(ascii.data(), ascii.data() + n, lead.number);
        lead.size = result.ptr - ascii.data();
        isNumber = result.ec == std::errc() && std::isfinite(lead.number);
        if (isNumber) {
            const QStringView numberText = QStringView(text).first(lead.size);
            NumberBuffer buffer;
            lead.format = sameText(buffer, writeShortest(buffer, lead.number), numberText)    ? 1
                : sameText(buffer, writeSixDigits(buffer, lead.number), numberText) ? 2
                                                                                     : 0;
        }
    }
    if (isNumber) {
        const Format format = lead.format == 1 ? Shortest : lead.format == 2 ? SixDigits : Verbatim;
        if (format != Verbatim && lead.size == text.size()) {
            appendEntry(lead.number, format, -1);
            return;
        }
        const QStringView unit = QStringView(text).sliced(lead.size);
        // A unit of white space alone would be read as part of a plain number.
        const int unitAt = format == Verbatim || unit.trimmed().isEmpty() ? -1 : unitIndex(unit);
        if (unitAt >= 0) {
            appendEntry(lead.number, format, unitAt);
            return;
        }
    }
    double plain;
    const bool unread = readPlain(text, plain) == Reading::Unread;
    appendEntry(plain, Verbatim, -1);
    m_verbatim.append({size() - 1, text, unread});
    m_unreadCount += unread ? 1 : 0;
}

int OptimHistoryValues::unitIndex(QStringView unit)
{
    // A history has a handful of units; past that, texts are prose and are
    // better kept verbatim than searched for.
    constexpr qsizetype kMaxUnits = 32;
    for (qsizetype i = m_units.size() - 1; i >= 0; --i) {
        if (m_units.at(i) == unit)
            return int(i);
    }
    if (m_units.size() >= kMaxUnits)
        return -1;
    m_units.append(unit.toString());
    return int(m_units.size() - 1);
}

void OptimHistoryValues::appendEntry(double number, Format format, int unit)
{
    if (m_runs.isEmpty() || m_runs.constLast().format != format || m_runs.constLast().unit != unit)
        m_runs.append({size(), m_parts.size(), unit, format});
    if (unit < 0) {
        m_numbers.append(number);
        return;
    }
    // A number with a unit is not a plain number: a gap for the graphs.
    m_numbers.append(kGap);
    m_parts.append(number);
    ++m_unreadCount;
}

void OptimHistoryValues::append(const OptimHistoryValues &other)
{
    if (&other == this) {
        const OptimHistoryValues copy = other;
        append(copy);
        return;
    }
    QList<int> units;
    for (const QString &unit : other.m_units)
        units.append(unitIndex(unit));
    if (units.contains(-1)) {
        // More units than one history shares: those texts go in verbatim.
        for (qsizetype i = 0; i < other.size(); ++i)
            append(other.at(i));
        return;
    }
    const qsizetype offset = size();
    const qsizetype partOffset = m_parts.size();
    for (const Run &run : other.m_runs) {
        const int unit = run.unit < 0 ? -1 : units.at(run.unit);
        if (m_runs.isEmpty() || m_runs.constLast().format != run.format || m_runs.constLast().unit != unit)
            m_runs.append({run.start + offset, run.partStart + partOffset, unit, run.format});
    }
    m_numbers.append(other.m_numbers);
    m_parts.append(other.m_parts);
    for (const VerbatimText &entry : other.m_verbatim)
        m_verbatim.append({entry.index + offset, entry.text, entry.unread});
    m_unreadCount += other.m_unreadCount;
}

void OptimHistoryValues::removeLast()
{
    if (isEmpty())
        return;
    const Run &run = m_runs.constLast();
    if (run.format == Verbatim) {
        m_unreadCount -= m_verbatim.constLast().unread ? 1 : 0;
        m_verbatim.removeLast();
    } else if (run.unit >= 0) {
        m_parts.removeLast();
        --m_unreadCount;
    }
    m_numbers.removeLast();
    if (run.start == size())
        m_runs.removeLast();
}

void OptimHistoryValues::clear()
{
    *this = OptimHistoryValues();
}

void OptimHistoryValues::reserve(qsizetype n)
{
    m_numbers.reserve(n);
}

const OptimHistoryValues::Run &OptimHistoryValues::runAt(qsizetype i) const
{
    // The last run holding i: the one before the first that starts after it.
    const auto after = std::upper_bound(m_runs.cbegin(), m_runs.cend(), i,
                                        [](qsizetype index, const Run &run) { return index < run.start; });
    Q_ASSERT(after != m_runs.cbegin());
    return *std::prev(after);
}

const QString &OptimHistoryValues::verbatimAt(qsizetype i) const
{
    const auto it = std::lower_bound(m_verbatim.cbegin(), m_verbatim.cend(), i,
                                     [](const VerbatimText &entry, qsizetype index) { return entry.index < index; });
    Q_ASSERT(it != m_verbatim.cend() && it->index == i);
    return it->text;
}

QString OptimHistoryValues::at(qsizetype i) const
{
    Q_ASSERT(i >= 0 && i < size());
    const Run &run = runAt(i);
    if (run.format == EmptyText)
        return QString();
    if (run.format == Verbatim)
        return verbatimAt(i);
    const double number = run.unit < 0 ? m_numbers.at(i) : m_parts.at(run.partStart + (i - run.start));
    NumberBuffer buffer;
    const qsizetype size = run.format == Shortest ? writeShortest(buffer, number) : writeSixDigits(buffer, number);
    QString text = QString::fromLatin1(buffer.data(), size);
    if (run.unit >= 0)
        text += m_units.at(run.unit);
    return text;
}

QStringList OptimHistoryValues::toStringList() const
{
    QStringList texts;
    texts.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        texts.append(at(i));
    return texts;
}

bool operator==(const OptimHistoryValues &a, const OptimHistoryValues &b)
{
    // A text has exactly one encoding (up to where its unit sits in the
    // table of units), so equal texts are equal encodings.
    auto unitOf = [](const OptimHistoryValues &values, const OptimHistoryValues::Run &run) {
        return run.unit < 0 ? QString() : values.m_units.at(run.unit);
    };
    const bool sameRuns = std::equal(a.m_runs.cbegin(), a.m_runs.cend(), b.m_runs.cbegin(), b.m_runs.cend(),
                                     [&](const OptimHistoryValues::Run &x, const OptimHistoryValues::Run &y) {
                                         return x.start == y.start && x.partStart == y.partStart && x.format == y.format
                                             && (x.unit < 0) == (y.unit < 0) && unitOf(a, x) == unitOf(b, y);
                                     });
    return sameRuns && sameBits(a.m_numbers, b.m_numbers) && sameBits(a.m_parts, b.m_parts)
        && a.m_verbatim == b.m_verbatim;
}

bool operator==(const OptimHistoryValues &a, const QStringList &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a.at(i) != b.at(i))
            return false;
    }
    return true;
}

QDebug operator<<(QDebug debug, const OptimHistoryValues &values)
{
    return debug << values.toStringList();
}

// ---------------------------------------------------------------- record text

// The same words as a string list: the record text does not know how the
// model keeps a history.
void OptimSerialWriter::field(const OptimHistoryValues &values)
{
    writeArrayStart("STRING", values.size());
    for (qsizetype i = 0; i < values.size(); ++i)
        writeString(values.at(i));
    writeArrayEnd("STRING");
}

void OptimSerialReader::field(OptimHistoryValues &values)
{
    int count = 0;
    if (!readArrayStart("STRING", count))
        return;
    // Never reserved by the announced count (see readStringList).
    for (int i = 0; i < count && !hasError(); ++i) {
        const QString text = readString();
        if (!hasError())
            values.append(text);
    }
    readArrayEnd("STRING");
}
