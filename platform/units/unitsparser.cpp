#include "units/unitsparser.h"

#include <QHash>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <system_error>

namespace {

struct UnitEntry
{
    const char16_t *name;   // canonical spelling
    bool scalable;          // takes engineering prefixes
};

// The known base units. Order is the order knownUnits() reports.
constexpr std::array<UnitEntry, 14> kUnits{{
    {u"Hz", true},
    {u"Ohm", true},
    {u"S", true},
    {u"F", true},
    {u"H", true},
    {u"V", true},
    {u"A", true},
    {u"W", true},
    {u"s", true},
    {u"J", true},
    {u"dB", false},
    {u"dBm", false},
    {u"deg", false},
    {u"%", false},
}};

struct Alias
{
    const char16_t *alias;
    const char16_t *canonical;
};

constexpr std::array<Alias, 4> kAliases{{
    {u"ohm", u"Ohm"},
    {u"\u03A9", u"Ohm"},   // Greek capital omega
    {u"\u2126", u"Ohm"},   // ohm sign
    {u"\u00B0", u"deg"},   // degree sign
}};

struct KnownUnit
{
    QString canonical;
    bool scalable = false;
};

// Every spelling of a known unit (names and aliases), looked up by hash:
// values are parsed for every iteration a window shows, so this stays off
// the profile.
const QHash<QString, KnownUnit> &unitTable()
{
    static const QHash<QString, KnownUnit> table = [] {
        QHash<QString, KnownUnit> t;
        for (const UnitEntry &entry : kUnits) {
            const QString name = QString::fromUtf16(entry.name);
            t.insert(name, KnownUnit{name, entry.scalable});
        }
        for (const Alias &alias : kAliases) {
            const QString spelling = QString::fromUtf16(alias.alias);
            if (!t.contains(spelling))
                t.insert(spelling, t.value(QString::fromUtf16(alias.canonical)));
        }
        return t;
    }();
    return table;
}

// Returns the canonical spelling of a known unit, or a null QString.
QString canonicalUnit(QStringView text)
{
    const auto &table = unitTable();
    const auto it = table.constFind(text.toString());
    return it == table.cend() ? QString() : it->canonical;
}

bool prefixExponent(QChar c, int &exponent)
{
    switch (c.unicode()) {
    case u'f': exponent = -15; return true;
    case u'p': exponent = -12; return true;
    case u'n': exponent = -9; return true;
    case u'u':
    case 0x00B5:   // micro sign
    case 0x03BC:   // Greek small mu
        exponent = -6;
        return true;
    case u'm': exponent = -3; return true;
    case u'k': exponent = 3; return true;
    case u'M': exponent = 6; return true;
    case u'G': exponent = 9; return true;
    case u'T': exponent = 12; return true;
    default: return false;
    }
}

} // namespace

UnitsParser::UnitsParser(const QString &unitText)
{
    parse(unitText);
}

bool UnitsParser::parse(const QString &unitText)
{
    m_text = unitText.trimmed();
    m_base.clear();
    m_exponent = 0;
    m_acceptable = false;

    if (m_text.isEmpty()) {
        m_acceptable = true;
        return true;
    }
    // A whole known unit wins over any prefix split: "dBm", "F", "s", "Ohm".
    const QString whole = canonicalUnit(m_text);
    if (!whole.isNull()) {
        m_base = whole;
        m_acceptable = true;
        return true;
    }
    int exponent = 0;
    if (!prefixExponent(m_text.front(), exponent))
        return false;
    const QStringView rest = QStringView(m_text).mid(1);
    if (rest.isEmpty()) {
        m_exponent = exponent;
        m_acceptable = true;
        return true;
    }
    const QString base = canonicalUnit(rest);
    if (base.isNull() || !isScalableUnit(base))
        return false;
    m_base = base;
    m_exponent = exponent;
    m_acceptable = true;
    return true;
}

QString UnitsParser::prefix() const
{
    return m_acceptable ? prefixForExponent(m_exponent) : QString();
}

QString UnitsParser::baseUnits() const
{
    return m_acceptable ? m_base : m_text;
}

QString UnitsParser::canonicalUnits() const
{
    return m_acceptable ? prefixForExponent(m_exponent) + m_base : m_text;
}

bool UnitsParser::isScalable() const
{
    return m_acceptable && isScalableUnit(m_base);
}

double UnitsParser::fromBase(double baseValue) const
{
    return m_acceptable ? shiftDecimal(baseValue, -m_exponent) : 0.0;
}

double UnitsParser::toBase(double valueInUnits) const
{
    return m_acceptable ? shiftDecimal(valueInUnits, m_exponent) : 0.0;
}

QString UnitsParser::baseUnits(const QString &unitText)
{
    return UnitsParser(unitText).baseUnits();
}

QStringList UnitsParser::knownUnits()
{
    QStringList names;
    for (const UnitEntry &entry : kUnits)
        names.append(QString::fromUtf16(entry.name));
    return names;
}

bool UnitsParser::isKnownUnit(const QString &baseUnit)
{
    return baseUnit.isEmpty() || !canonicalUnit(baseUnit).isNull();
}

bool UnitsParser::isScalableUnit(const QString &baseUnit)
{
    if (baseUnit.isEmpty())
        return true;
    const auto &known = unitTable();
    const auto it = known.constFind(baseUnit);
    return it != known.cend() && it->scalable;
}

QString UnitsParser::prefixForExponent(int exponent)
{
    switch (exponent) {
    case -15: return QStringLiteral("f");
    case -12: return QStringLiteral("p");
    case -9: return QStringLiteral("n");
    case -6: return QStringLiteral("u");
    case -3: return QStringLiteral("m");
    case 3: return QStringLiteral("k");
    case 6: return QStringLiteral("M");
    case 9: return QStringLiteral("G");
    case 12: return QStringLiteral("T");
    default: return QString();
    }
}

bool UnitsParser::hasPrefixForExponent(int exponent)
{
    return exponent == 0 || !prefixForExponent(exponent).isEmpty();
}

double UnitsParser::shiftDecimal(double value, int exponent)
{
    if (exponent == 0 || value == 0.0 || !std::isfinite(value))
        return value;
    // Shortest decimal form that reads back as the same double, in
    // scientific notation: "2.2e-03". Moving its exponent and reading it
    // once gives the double nearest to the shifted decimal number.
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value,
                                       std::chars_format::scientific);
    if (written.ec != std::errc())
        return value * std::pow(10.0, exponent);
    const std::string text(buffer, written.ptr);
    const std::size_t e = text.find('e');
    if (e == std::string::npos)
        return value * std::pow(10.0, exponent);
    const long oldExponent = std::strtol(text.c_str() + e + 1, nullptr, 10);
    const std::string shifted = text.substr(0, e) + 'e' + std::to_string(oldExponent + exponent);
    double result = 0.0;
    const auto read = std::from_chars(shifted.data(), shifted.data() + shifted.size(), result);
    if (read.ec == std::errc::result_out_of_range)
        return (oldExponent + exponent > 0) ? std::copysign(HUGE_VAL, value) : std::copysign(0.0, value);
    return result;
}
