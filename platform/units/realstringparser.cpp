#include "units/realstringparser.h"

#include "units/unitsparser.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMaxDigits = 17;

int clampDigits(int significantDigits)
{
    return std::clamp(significantDigits, 1, kMaxDigits);
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Length of the decimal number at the start of text, 0 when there is none.
// An exponent is taken only when complete, so "1e" leaves "e" behind.
qsizetype scanNumber(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    while (i < n && isAsciiDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == u'.') {
        ++i;
        while (i < n && isAsciiDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        const qsizetype exponentStart = j;
        while (j < n && isAsciiDigit(text[j]))
            ++j;
        if (j > exponentStart)
            i = j;
    }
    return i;
}

// Why a unit text that UnitsParser refused is wrong: a suffix on a unit that
// takes none, leftovers of a broken number, or simply an unknown unit.
RealStringParser::Problem classifyBadUnits(const QString &tail)
{
    const QChar first = tail.front();
    if (isAsciiDigit(first) || first == u'.' || first == u',' || first == u'+' || first == u'-'
        || first == u'e' || first == u'E')
        return RealStringParser::Problem::Malformed;
    if (tail.size() > 1) {
        const UnitsParser prefixOnly(tail.left(1));
        const QString rest = tail.mid(1);
        if (prefixOnly.isAcceptable() && prefixOnly.exponent() != 0
            && UnitsParser::isKnownUnit(rest) && !UnitsParser::isScalableUnit(rest))
            return RealStringParser::Problem::PrefixNotAllowed;
    }
    return RealStringParser::Problem::UnknownUnits;
}

} // namespace

RealStringParser::RealStringParser(const QString &text, const QString &expectedUnits)
{
    parse(text, expectedUnits);
}

bool RealStringParser::parse(const QString &text, const QString &expectedUnits)
{
    m_value = 0.0;
    m_number = 0.0;
    m_units.clear();
    m_baseUnits.clear();
    m_hasOwnUnits = false;

    auto fail = [this](Problem problem) {
        m_value = 0.0;
        m_number = 0.0;
        m_units.clear();
        m_baseUnits.clear();
        m_problem = problem;
        return false;
    };

    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return fail(Problem::Empty);

    const qsizetype numberLength = scanNumber(trimmed);
    if (numberLength == 0)
        return fail(Problem::Malformed);
    const QString tail = trimmed.mid(numberLength).trimmed();

    bool numberOk = false;
    const double number = QStringView(trimmed).left(numberLength).toDouble(&numberOk);
    if (!numberOk || !std::isfinite(number))
        return fail(Problem::OutOfRange);

    const UnitsParser expected(expectedUnits);
    if (!expected.isAcceptable())
        return fail(classifyBadUnits(expected.text()));
    const bool hasExpectation = !expected.text().isEmpty();

    int exponent = 0;
    if (tail.isEmpty()) {
        // A bare number is read in the expected units, prefix included.
        exponent = expected.exponent();
        m_baseUnits = expected.baseUnits();
        m_units = expected.canonicalUnits();
    } else {
        const UnitsParser own(tail);
        if (!own.isAcceptable())
            return fail(classifyBadUnits(own.text()));
        m_hasOwnUnits = true;
        exponent = own.exponent();
        if (own.baseUnits().isEmpty() && !expected.baseUnits().isEmpty()) {
            // A suffix alone ("10n") takes the expected base unit.
            if (!UnitsParser::isScalableUnit(expected.baseUnits()))
                return fail(Problem::PrefixNotAllowed);
            m_baseUnits = expected.baseUnits();
            m_units = own.prefix() + m_baseUnits;
        } else {
            if (hasExpectation && own.baseUnits() != expected.baseUnits())
                return fail(Problem::UnitsMismatch);
            m_baseUnits = own.baseUnits();
            m_units = own.canonicalUnits();
        }
    }

    const double value = UnitsParser::shiftDecimal(number, exponent);
    if (!std::isfinite(value) || (value == 0.0 && number != 0.0))
        return fail(Problem::OutOfRange);

    m_number = number;
    m_value = value;
    m_problem = Problem::None;
    return true;
}

double RealStringParser::toDouble(const QString &text, bool *ok, const QString &expectedUnits)
{
    const RealStringParser parser(text, expectedUnits);
    if (ok)
        *ok = parser.isAcceptable();
    return parser.value();
}

QString RealStringParser::problemText(Problem problem)
{
    switch (problem) {
    case Problem::None: return QString();
    case Problem::Empty: return QStringLiteral("no value");
    case Problem::Malformed: return QStringLiteral("not a number");
    case Problem::UnknownUnits: return QStringLiteral("unknown units");
    case Problem::PrefixNotAllowed: return QStringLiteral("these units take no suffix");
    case Problem::UnitsMismatch: return QStringLiteral("units do not match");
    case Problem::OutOfRange: return QStringLiteral("number out of range");
    }
    return QString();
}

QString RealStringParser::formatNumber(double value, int significantDigits)
{
    if (value == 0.0)
        return QStringLiteral("0");
    return QString::number(value, 'g', clampDigits(significantDigits));
}

QString RealStringParser::Scaled::text() const
{
    return joinNumberAndUnits(number, units);
}

RealStringParser::Scaled RealStringParser::formatScaled(double baseValue, int significantDigits,
                                                        const QString &units)
{
    const int digits = clampDigits(significantDigits);
    // Only the base unit matters: "mH" and "H" both write henries. A unit
    // text outside the table is written verbatim and never scaled.
    const UnitsParser unitsParser(units);
    const QString baseUnits = unitsParser.baseUnits();
    if (!std::isfinite(baseValue) || baseValue == 0.0 || !unitsParser.isScalable())
        return {formatNumber(baseValue, digits), baseUnits};

    // Round first, in decimal: "-1.50000e-09" gives sign, digit string and
    // decimal exponent, so a value that rounds up to the next power of ten
    // lands on the next suffix.
    const QString scientific = QString::number(baseValue, 'e', digits - 1);
    const qsizetype e = scientific.indexOf(u'e');
    if (e < 0)
        return {formatNumber(baseValue, digits), baseUnits};
    const int decimalExponent = QStringView(scientific).mid(e + 1).toInt();
    QString mantissaDigits = scientific.left(e);
    const bool negative = mantissaDigits.startsWith(u'-');
    if (negative)
        mantissaDigits.remove(0, 1);
    mantissaDigits.remove(u'.');

    const int engineeringExponent =
        (decimalExponent >= 0 ? decimalExponent / 3 : -((-decimalExponent + 2) / 3)) * 3;
    if (engineeringExponent < -15 || engineeringExponent > 12)
        return {formatNumber(baseValue, digits), baseUnits};

    const int integerDigits = decimalExponent - engineeringExponent + 1;   // 1, 2 or 3
    while (mantissaDigits.size() < integerDigits)
        mantissaDigits.append(u'0');
    QString fraction = mantissaDigits.mid(integerDigits);
    while (fraction.endsWith(u'0'))
        fraction.chop(1);
    QString number = mantissaDigits.left(integerDigits);
    if (!fraction.isEmpty())
        number += u'.' + fraction;
    if (negative)
        number.prepend(u'-');
    return {number, UnitsParser::prefixForExponent(engineeringExponent) + baseUnits};
}

QString RealStringParser::joinNumberAndUnits(const QString &number, const QString &units)
{
    if (units.isEmpty())
        return number;
    return number + u' ' + units;
}
