#pragma once

// Reads a value text with an engineering suffix and unit ("10n", "10 nH",
// "2.2kOhm", "1.5 GHz", "-3 dB", "1e-9", "100 %") into a number in base
// units, and writes numbers back with a given count of significant digits.
//
// Text form: optional blanks, a decimal number (optional sign, digits with an
// optional '.', optional exponent "e" or "E" with optional sign and digits),
// optional blanks, an optional unit text as UnitsParser reads it (a suffix
// alone, a unit, or a suffix directly followed by a unit, with no blank
// inside), optional blanks. Only '.' is a decimal point; nothing depends on
// the locale.
//
// When expected units are given, a bare number is read in those units,
// prefix included ("2" with "mH" is 0.002 H), and a text that carries a
// suffix or unit of its own is read on its own ("10n" with "H" is 10 nH,
// "10n" with "mH" is also 10 nH); its base unit must then equal the
// expected base unit ("5 V" with "H" is not acceptable). An empty expected
// unit accepts any known unit.
//
// Every failure is reported through isAcceptable() and problem(); nothing
// throws.

#include <QString>

class RealStringParser
{
public:
    enum class Problem {
        None,
        Empty,             // no text, or blanks only
        Malformed,         // not a number followed by units ("abc", "1.2.3", "1e", "-")
        UnknownUnits,      // the unit text, or the expected units, is not in the table ("5 kk")
        PrefixNotAllowed,  // a suffix on a unit that takes none ("5 k%", "5k" with "%")
        UnitsMismatch,     // the text's base unit differs from the expected one
        OutOfRange         // the number does not fit in a double ("1e999", "1e308 T")
    };

    RealStringParser() = default;
    explicit RealStringParser(const QString &text, const QString &expectedUnits = QString());

    // Parses text against expectedUnits and reports whether it is acceptable.
    bool parse(const QString &text, const QString &expectedUnits = QString());

    bool isAcceptable() const { return m_problem == Problem::None; }
    Problem problem() const { return m_problem; }

    // The value in base units with every suffix applied ("2.2kOhm" gives
    // 2200); 0 when not acceptable.
    double value() const { return m_value; }
    // The number as written before any suffix ("2.2kOhm" gives 2.2); for a
    // bare number read in expected units, that number.
    double number() const { return m_number; }
    // The canonical units the number is written in ("kOhm", "n", "uH"; the
    // expected units for a bare number).
    QString units() const { return m_units; }
    // The canonical base unit of the value ("Ohm", "", "H").
    QString baseUnits() const { return m_baseUnits; }
    // Whether the text carried its own suffix or unit.
    bool hasOwnUnits() const { return m_hasOwnUnits; }

    // Convenience for callers that only need the number in base units.
    static double toDouble(const QString &text, bool *ok = nullptr,
                           const QString &expectedUnits = QString());

    // A short English description of a problem, for logs and tooltips.
    static QString problemText(Problem problem);

    // The general number form with significantDigits significant digits
    // (clamped to 1..17), the classic "%g" rule without locale: trailing
    // zeros dropped, exponent form "1e-09" when the decimal exponent is
    // below -4 or at least the digit count. -0 is written "0".
    static QString formatNumber(double value, int significantDigits);

    // A value in base units written with the engineering suffix that puts
    // 1 <= |number| < 1000, rounded to significantDigits first (so 999.9996
    // with 6 digits becomes 1 k). Values below 1e-15 or from 1e15 on keep
    // the general form and the bare base unit. Only the base unit of units
    // counts ("mH" writes henries too). Units that take no suffix ("%",
    // "dB", ...) and unit texts outside the table are written as they are,
    // without a suffix.
    struct Scaled
    {
        QString number;   // "1.5"
        QString units;    // "nH"; may be empty
        // number, a blank, units; just number when units are empty.
        QString text() const;
    };
    static Scaled formatScaled(double baseValue, int significantDigits, const QString &units);

    // Joins a number text and a unit text the way this library writes them:
    // one blank between, none when units are empty ("1.5 nH", "-3 dB", "7").
    static QString joinNumberAndUnits(const QString &number, const QString &units);

private:
    double m_value = 0.0;
    double m_number = 0.0;
    QString m_units;
    QString m_baseUnits;
    bool m_hasOwnUnits = false;
    Problem m_problem = Problem::Empty;
};
