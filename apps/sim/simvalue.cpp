#include "simvalue.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace simvalue {

namespace {

const QStringList &scalableUnits()
{
    static const QStringList units{"Hz", "S", "F", "H", "V", "A", "W", "s", "J", "Ohm"};
    return units;
}

const QStringList &fixedUnits()
{
    static const QStringList units{"dB", "dBm", "deg", "%"};
    return units;
}

// Power of ten of a suffix character, or false.
bool suffixPower(QChar c, int &power)
{
    switch (c.unicode()) {
    case 'f': power = -15; return true;
    case 'p': power = -12; return true;
    case 'n': power = -9; return true;
    case 'u': case 0x00B5: case 0x03BC: power = -6; return true;
    case 'm': power = -3; return true;
    case 'k': power = 3; return true;
    case 'M': power = 6; return true;
    case 'G': power = 9; return true;
    case 'T': power = 12; return true;
    default: return false;
    }
}

QString canonicalUnit(const QString &unit)
{
    if (unit == QLatin1String("ohm") || unit == QString(QChar(0x03A9)) || unit == QString(QChar(0x2126)))
        return QStringLiteral("Ohm");
    if (unit == QString(QChar(0x00B0)))
        return QStringLiteral("deg");
    return unit;
}

struct UnitText
{
    int power = 0;
    QString base;  // empty: a bare suffix or nothing
};

// Splits a unit text into suffix power and base unit; false when it is not
// acceptable (unknown unit, suffix on a unit that takes none).
bool splitUnit(const QString &text, UnitText &out)
{
    out = UnitText();
    const QString unit = canonicalUnit(text);
    if (unit.isEmpty())
        return true;
    if (scalableUnits().contains(unit) || fixedUnits().contains(unit)) {
        out.base = unit;
        return true;
    }
    int power = 0;
    if (!suffixPower(unit.at(0), power))
        return false;
    const QString rest = canonicalUnit(unit.mid(1));
    if (rest.isEmpty() || scalableUnits().contains(rest)) {
        out.power = power;
        out.base = rest;
        return true;
    }
    return false;
}

// Length of the number at the front of text (sign, digits, point, complete
// exponent), 0 when there is none.
qsizetype numberLength(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
    qsizetype digits = 0;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-'))
            ++j;
        qsizetype expDigits = 0;
        while (j < n && text[j].isDigit() && text[j].unicode() < 128) {
            ++j;
            ++expDigits;
        }
        if (expDigits > 0)
            i = j;
        else
            return 0;  // "1e" is malformed, not 1 with the unit "e"
    }
    return i;
}

// The number written in text times 10^power, by moving the decimal point
// through the text rather than multiplying: 2.2k then equals 2200 exactly.
double shifted(const QString &text, int power, bool *ok)
{
    QString mantissa = text;
    int exponent = 0;
    const qsizetype e = text.indexOf(QRegularExpression(QStringLiteral("[eE]")));
    if (e >= 0) {
        mantissa = text.left(e);
        exponent = text.mid(e + 1).toInt();
    }
    return (mantissa + QLatin1Char('e') + QString::number(exponent + power)).toDouble(ok);
}

}  // namespace

QString baseUnit(const QString &unit)
{
    UnitText split;
    if (!splitUnit(unit.trimmed(), split))
        return unit.trimmed();
    return split.base;
}

bool parse(const QString &text, const QString &expectedUnit, double &value)
{
    const QString trimmed = text.trimmed();
    const qsizetype len = numberLength(trimmed);
    if (len == 0)
        return false;
    bool ok = false;
    const double number = trimmed.left(len).toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return false;
    const QString unitText = trimmed.mid(len).trimmed();
    if (unitText.contains(QLatin1Char(' ')))
        return false;

    UnitText expected;
    if (!splitUnit(expectedUnit.trimmed(), expected))
        return false;
    UnitText given;
    if (!splitUnit(unitText, given))
        return false;

    int power = 0;
    if (unitText.isEmpty()) {
        power = expected.power;
    } else {
        power = given.power;
        if (!given.base.isEmpty() && !expected.base.isEmpty() && given.base != expected.base)
            return false;
    }
    const double scaled = power == 0 ? number : shifted(trimmed.left(len), power, &ok);
    if (!ok || !std::isfinite(scaled))
        return false;
    value = scaled;
    return true;
}

double parseOr(const QString &text, const QString &expectedUnit, double fallback)
{
    double v = 0;
    return parse(text, expectedUnit, v) ? v : fallback;
}

QString plain(double value, int digits)
{
    if (value == 0)
        return QStringLiteral("0");
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
    return QString::fromLatin1(buffer);
}

QString format(double value, const QString &unit, int digits)
{
    UnitText split;
    const bool known = splitUnit(unit.trimmed(), split);
    const QString base = known ? split.base : unit.trimmed();
    const bool scalable = known && !base.isEmpty() && scalableUnits().contains(base);
    if (!scalable || value == 0 || !std::isfinite(value)) {
        const QString number = plain(value, digits);
        return base.isEmpty() ? number : number + QLatin1Char(' ') + base;
    }
    // Round first, so that 999.9996 with six digits becomes 1 k, not 1000.
    const double rounded = QString::number(value, 'g', digits).toDouble();
    const double magnitude = std::fabs(rounded);
    if (magnitude < 1e-15 || magnitude >= 1e15)
        return plain(rounded, digits) + QLatin1Char(' ') + base;
    int power = int(std::floor(std::log10(magnitude) / 3.0)) * 3;
    power = std::clamp(power, -15, 12);
    const double mantissa = shifted(QString::number(rounded, 'g', 17), -power, nullptr);
    static const char *const suffixes[] = {"f", "p", "n", "u", "m", "", "k", "M", "G", "T"};
    const QString suffix = QString::fromLatin1(suffixes[(power + 15) / 3]);
    return plain(mantissa, digits) + QLatin1Char(' ') + suffix + base;
}

}  // namespace simvalue
