#pragma once

// A value with engineering units as the user typed it, together with the
// units it is to be shown in.
//
// The text and its units are read by RealStringParser ("2.2k" with "Ohm",
// "1 mH" with "H", "50" with "Ohm"). The desired units say how the value is
// written back: without scaling, in exactly the desired units ("mH" writes
// 0.0022 H as 2.2 mH, 1 H as 1000 mH); with scaling allowed, with the
// engineering suffix that suits the value's size on the desired base unit
// (1.5e-9 H as 1.5 nH). Empty desired units mean the value's base unit.
// Desired units whose base unit differs from the value's make the value not
// acceptable, since it cannot be written in them.
//
// Written form: the number, one blank, the suffix and unit ("1.5 nH",
// "-3 dB", "10 n"); just the number when there is no suffix and no unit.
//
// A value that is not acceptable answers 0 and empty texts; nothing throws.
// RealString is a plain copyable value.

#include "units/realstringparser.h"

#include <QString>

class RealString
{
public:
    enum State { Acceptable, NotAcceptable };

    RealString();
    // text: the value as typed; units: the units a bare number is read in
    // and that a unit in the text must share its base unit with.
    explicit RealString(const QString &text, const QString &units = QString());

    void setText(const QString &text);
    QString text() const { return m_text; }
    void setUnits(const QString &units);
    QString units() const { return m_units; }
    void setDesiredUnits(const QString &desiredUnits);
    QString desiredUnits() const { return m_desiredUnits; }
    // Off by default: the value is written in exactly the desired units.
    void setAllowScaling(bool allow);
    bool isScalingAllowed() const { return m_allowScaling; }

    State state() const { return m_problem == RealStringParser::Problem::None ? Acceptable : NotAcceptable; }
    bool isAcceptable() const { return state() == Acceptable; }
    RealStringParser::Problem problem() const { return m_problem; }

    // The value in base units ("2.2k" with "Ohm" gives 2200), 0 when not
    // acceptable.
    double value() const;
    // The canonical base unit ("Ohm", "H", "%", ""); empty when not acceptable.
    QString baseUnits() const;

    // The number in the desired (possibly scaled) units with the given count
    // of significant digits, and the units that go with it. The suffix chosen
    // by scaling depends on the rounding ("999.9996" with 6 digits is 1 k), so
    // ask scaledUnits with the same count as scaledValue.
    QString scaledValue(int significantDigits) const;
    QString scaledUnits(int significantDigits = 6) const;
    QString scaledValueWithUnits(int significantDigits) const;

    // The value in base units without suffix ("0.001" for 1 mH), and the
    // same followed by the base unit ("0.001 H").
    QString unscaledValue(int significantDigits) const;
    QString unscaledValueWithUnits(int significantDigits) const;

private:
    void update();
    RealStringParser::Scaled written(int significantDigits) const;

    QString m_text;
    QString m_units;
    QString m_desiredUnits;
    bool m_allowScaling = false;

    RealStringParser m_parser;
    RealStringParser::Problem m_problem = RealStringParser::Problem::Empty;
};
