#include "optimhistoryvalues.h"

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
    return std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::general, 6).ptr
        - buffer.data();
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
    const auto result = std::from_chars(ascii.data(), end, number, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != end)
        return Reading::Unread;
    if (std::isfinite(number))
        value = number;
    return std::isfinite(number) ? Reading::Number : Reading::Gap;
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
    if (text.isEmpty()) {
        appendEntry(kGap, EmptyText, -1);
        return;
    }
    // The usual text is a number as to_chars writes it, shortest or with six
    // significant digits, perhaps followed by a unit: keep the number, which
    // of the two ways it was written and the unit.
    std::array<char, 32> ascii;
    qsizetype n = 0;
    for (; n < text.size() && n < qsizetype(ascii.size()) && text.at(n).unicode() < 128; ++n)
        ascii[size_t(n)] = char(text.at(n).unicode());
    double number = 0;
    const auto result = std::from_chars(ascii.data(), ascii.data() + n, number, std::chars_format::general);
    const qsizetype numberSize = result.ptr - ascii.data();
    if (result.ec == std::errc() && std::isfinite(number)) {
        const QStringView numberText = QStringView(text).first(numberSize);
        const QStringView unit = QStringView(text).sliced(numberSize);
        NumberBuffer buffer;
        Format format = Verbatim;
        if (sameText(buffer, writeShortest(buffer, number), numberText))
            format = Shortest;
        else if (sameText(buffer, writeSixDigits(buffer, number), numberText))
            format = SixDigits;
        if (format != Verbatim && unit.isEmpty()) {
            appendEntry(number, format, -1);
            return;
        }
        // A unit of white space alone would be read as part of a plain number.
        const int unitAt = format == Verbatim || unit.trimmed().isEmpty() ? -1 : unitIndex(unit);
        if (unitAt >= 0) {
            appendEntry(number, format, unitAt);
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
