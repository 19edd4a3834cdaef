#pragma once

// Reads a unit text such as "kOhm", "mH", "GHz", "dBm" or "%" into an
// engineering prefix (a power of ten) and a base unit.
//
// The unit table is closed: a text is acceptable only when it is empty, a
// known unit, a prefix alone ("m" is milli with no unit), or a prefix
// followed by a known unit that takes prefixes. Known units are matched
// before any prefix is split off, so "dBm" stays a unit, "F" is farad (femto
// is "f"), and "Ohm" is never read as a prefix plus "hm". Matching is case
// sensitive because "m" (milli) and "M" (mega) differ; the only aliases are
// "ohm", "Ω" (U+03A9 and U+2126) for "Ohm", "°" for "deg", and the micro
// signs U+00B5 and U+03BC for the prefix "u". The canonical spellings
// ("Ohm", "deg", "u") are what every accessor returns.
//
// Units that take no prefix ("%", "dB", "dBm", "deg") make any prefixed form
// ("k%", "mdB") not acceptable.

#include <QString>
#include <QStringList>

class UnitsParser
{
public:
    UnitsParser() = default;
    explicit UnitsParser(const QString &unitText);

    // Parses unitText (surrounding blanks ignored) and reports whether it is
    // acceptable. A parser that has not parsed anything holds the empty,
    // acceptable unit.
    bool parse(const QString &unitText);

    bool isAcceptable() const { return m_acceptable; }
    // The text last given to parse, trimmed.
    QString text() const { return m_text; }
    // The canonical prefix ("k", "u", ...), empty for none.
    QString prefix() const;
    // The prefix's power of ten: -3 for "m", 9 for "G", 0 for none.
    int exponent() const { return m_exponent; }
    // The canonical base unit. For a text that is not acceptable this is the
    // trimmed text itself, so normalizing never loses what the host gave.
    QString baseUnits() const;
    // The canonical spelling of the whole unit ("µH" gives "uH"), or the
    // trimmed text when not acceptable.
    QString canonicalUnits() const;
    // Whether the base unit takes engineering prefixes. The empty base unit
    // does ("10n" is a plain number with a prefix); "%", "dB", "dBm" and
    // "deg" do not.
    bool isScalable() const;

    // Converts a value in base units into this unit and back (0.0022 H into
    // "mH" gives 2.2). The decimal point is shifted on the shortest decimal
    // form of the value, so no binary rounding of the power of ten creeps in.
    // Both answer 0 when this unit is not acceptable.
    double fromBase(double baseValue) const;
    double toBase(double valueInUnits) const;

    // Convenience: the base unit of a unit text ("mH" gives "H", "kΩ" gives
    // "Ohm", "dBm" stays "dBm"); an unknown text comes back trimmed.
    static QString baseUnits(const QString &unitText);

    // The canonical names of all known base units, in table order.
    static QStringList knownUnits();
    // Whether baseUnit (canonical or alias) is a known unit, and whether it
    // takes prefixes. The empty unit is known and scalable.
    static bool isKnownUnit(const QString &baseUnit);
    static bool isScalableUnit(const QString &baseUnit);

    // The prefix for a power of ten that is a multiple of 3 from -15 to 12,
    // empty for 0; hasPrefix tells whether such a prefix exists.
    static QString prefixForExponent(int exponent);
    static bool hasPrefixForExponent(int exponent);

    // value * 10^exponent, computed by moving the decimal point of the
    // value's shortest decimal form, then converted back once. Returns
    // infinity or 0 when the result leaves the range of double.
    static double shiftDecimal(double value, int exponent);

private:
    QString m_text;
    QString m_base;
    int m_exponent = 0;
    bool m_acceptable = true;
};
