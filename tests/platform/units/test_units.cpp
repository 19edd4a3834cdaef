// Values with engineering units: unit texts, value texts, writing with
// significant digits and scaling, as the plug-in's editors and MOX word use
// them.

#include "units/realstring.h"
#include "units/realstringparser.h"
#include "units/unitsparser.h"

#include <QTest>

#include <cmath>

using Problem = RealStringParser::Problem;

class TestUnits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A null canonical text marks a unit text that is not acceptable; its
    // base units are then the trimmed text itself.
    void unitText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("exponent");
        QTest::addColumn<QString>("canonical");
        QTest::addColumn<QString>("base");
        QTest::newRow("empty") << "" << 0 << "" << "";
        QTest::newRow("farad not femto") << "F" << 0 << "F" << "F";
        QTest::newRow("femtofarad") << "fF" << -15 << "fF" << "F";
        QTest::newRow("hertz not henry") << "Hz" << 0 << "Hz" << "Hz";
        QTest::newRow("megahertz") << " MHz " << 6 << "MHz" << "Hz";
        QTest::newRow("kilohm alias") << "k\u03A9" << 3 << "kOhm" << "Ohm";
        QTest::newRow("micro sign") << "\u00B5F" << -6 << "uF" << "F";
        QTest::newRow("dBm is a unit") << "dBm" << 0 << "dBm" << "dBm";
        QTest::newRow("degree sign") << "\u00B0" << 0 << "deg" << "deg";
        QTest::newRow("percent") << "%" << 0 << "%" << "%";
        for (const char *bad : {"kk", "mm", "O", "hm", "Ohms", "k%", "mdB", "kdBm", "k Ohm", "HZ", "khz", "K"})
            QTest::newRow(bad) << QString::fromUtf8(bad) << 0 << QString() << QString::fromUtf8(bad);
    }
    void unitText()
    {
        QFETCH(QString, text);
        QFETCH(int, exponent);
        QFETCH(QString, canonical);
        QFETCH(QString, base);
        const UnitsParser parser(text);
        QCOMPARE(parser.isAcceptable(), !canonical.isNull());
        QCOMPARE(parser.exponent(), exponent);
        QCOMPARE(UnitsParser::baseUnits(text), base);
        if (parser.isAcceptable()) {
            QCOMPARE(parser.canonicalUnits(), canonical);
            QCOMPARE(parser.prefix() + base, canonical);
            QCOMPARE(parser.isScalable(), !QStringList({"%", "dB", "dBm", "deg"}).contains(base));
        } else {
            QCOMPARE(parser.fromBase(5.0), 0.0);
        }
    }

    void shiftDecimalLeavesRange()
    {
        QVERIFY(std::isinf(UnitsParser::shiftDecimal(1e300, 12)));
        QVERIFY(UnitsParser::shiftDecimal(-1e300, 12) < 0);
        QCOMPARE(UnitsParser::shiftDecimal(1e-300, -30), 0.0);
        QVERIFY(std::isnan(UnitsParser::shiftDecimal(std::nan(""), 3)));
    }

    void parseGood_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("units");
        QTest::addColumn<bool>("own");
        QTest::newRow("suffix only") << "10n" << "" << 1e-8 << "n" << true;
        QTest::newRow("suffix and unit") << "10 nH" << "" << 1e-8 << "nH" << true;
        QTest::newRow("milli not mega") << "2 mHz" << "" << 0.002 << "mHz" << true;
        QTest::newRow("exponent and suffix") << "+1E+3 k" << "" << 1e6 << "k" << true;
        QTest::newRow("micro sign") << "47\u00B5F" << "" << 4.7e-5 << "uF" << true;
        QTest::newRow("leading dot") << " .5 V " << "" << 0.5 << "V" << true;
        QTest::newRow("H in mH") << "2.2 mH" << "" << 0.0022 << "mH" << true;
        QTest::newRow("F in pF") << "4.7 pF" << "" << 4.7e-12 << "pF" << true;
        QTest::newRow("bare in prefixed units") << "2" << "mH" << 0.002 << "mH" << false;
        QTest::newRow("suffix takes expected base") << "10n" << "H" << 1e-8 << "nH" << true;
        QTest::newRow("own suffix wins") << "10n" << "mH" << 1e-8 << "nH" << true;
        QTest::newRow("bare percent") << "1e2" << "%" << 100.0 << "%" << false;
    }
    void parseGood()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QFETCH(double, value);
        QFETCH(QString, units);
        QFETCH(bool, own);
        const RealStringParser parser(text, expected);
        QCOMPARE(parser.problem(), Problem::None);
        // The same double as the plain decimal text, both ways: a suffix moves
        // the point, no binary power of ten multiplies in.
        QVERIFY2(parser.value() == value, qPrintable(QString::number(parser.value(), 'g', 17)));
        QVERIFY(UnitsParser(units).fromBase(value) == parser.number());
        QCOMPARE(parser.units(), units);
        QCOMPARE(parser.baseUnits(), UnitsParser::baseUnits(units));
        QCOMPARE(parser.hasOwnUnits(), own);
        QVERIFY(UnitsParser(units).toBase(parser.number()) == value);
        bool ok = false;
        QVERIFY(RealStringParser::toDouble(text, &ok, expected) == value && ok);
    }

    void parseBad_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<Problem>("problem");
        QTest::newRow("empty") << "" << "" << Problem::Empty;
        QTest::newRow("word") << "abc" << "" << Problem::Malformed;
        QTest::newRow("two points") << "1.2.3" << "" << Problem::Malformed;
        QTest::newRow("decimal comma") << "1,5" << "" << Problem::Malformed;
        QTest::newRow("double suffix") << "5 kk" << "" << Problem::UnknownUnits;
        QTest::newRow("unknown expected") << "5" << "xyz" << Problem::UnknownUnits;
        QTest::newRow("kilo percent") << "5 k%" << "" << Problem::PrefixNotAllowed;
        QTest::newRow("suffix on percent") << "5k" << "%" << Problem::PrefixNotAllowed;
        QTest::newRow("volt for henry") << "5 V" << "H" << Problem::UnitsMismatch;
        QTest::newRow("overflow") << "1e999" << "" << Problem::OutOfRange;
        QTest::newRow("suffix overflows") << "1e308 T" << "" << Problem::OutOfRange;
        QTest::newRow("suffix underflows") << "1e-320 f" << "" << Problem::OutOfRange;
    }
    void parseBad()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QFETCH(Problem, problem);
        RealStringParser parser(text, expected);
        QCOMPARE(parser.problem(), problem);
        QVERIFY(!parser.isAcceptable() && !RealStringParser::problemText(problem).isEmpty());
        QVERIFY(parser.value() == 0.0 && parser.units().isEmpty());
        bool ok = true;
        RealStringParser::toDouble(text, &ok, expected);
        QVERIFY(!ok);
        // A parser reused after a failure reads a good text normally.
        QVERIFY(parser.parse(QStringLiteral("4 mA")) && parser.value() == 0.004);
    }

    // Units that take no suffix show the general form.
    void formatScaled_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("units");
        QTest::addColumn<QString>("text");
        QTest::newRow("nano") << 1.5e-9 << 6 << "H" << "1.5 nH";
        QTest::newRow("mega, six digits") << 123456789.0 << 6 << "Hz" << "123.457 MHz";
        QTest::newRow("zero") << 0.0 << 6 << "H" << "0 H";
        QTest::newRow("rounds up to next suffix") << 999.9996 << 6 << "H" << "1 kH";
        QTest::newRow("stays below") << 999.9994 << 6 << "H" << "999.999 H";
        QTest::newRow("one digit pads") << 150.0 << 1 << "H" << "200 H";
        QTest::newRow("unitless") << 0.5 << 6 << "" << "500 m";
        QTest::newRow("prefixed units use base") << 1.5e-9 << 6 << "mH" << "1.5 nH";
        QTest::newRow("unknown verbatim") << 3000.0 << 6 << "mil" << "3000 mil";
        QTest::newRow("below femto") << 1e-18 << 6 << "H" << "1e-18 H";
        QTest::newRow("rounds past tera") << 999.9999e12 << 6 << "H" << "1e+15 H";
        QTest::newRow("general small") << -1.23456e-5 << 3 << "dB" << "-1.23e-05 dB";
        QTest::newRow("general digits clamp") << 3.14159 << 0 << "deg" << "3 deg";
        QTest::newRow("general negative zero") << -0.0 << 6 << "%" << "0 %";
    }
    void formatScaled()
    {
        QFETCH(double, value);
        QFETCH(int, digits);
        QFETCH(QString, units);
        QFETCH(QString, text);
        const RealStringParser::Scaled scaled = RealStringParser::formatScaled(value, digits, units);
        QCOMPARE(scaled.text(), text);
        QCOMPARE(RealStringParser::joinNumberAndUnits(scaled.number, scaled.units), text);
        if (!UnitsParser(units).isScalable())
            QCOMPARE(scaled.number, RealStringParser::formatNumber(value, digits));
    }

    void roundTrip_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("units");
        for (const char *units : {"H", "", "dBm"}) {
            for (double value : {1.5e-9, 0.1, 1.0 / 3.0, 123456.789, 1e-15, 9.99e14, -7.77e-7, 6.02e23})
                QTest::addRow("%g %s", value, units) << value << QString::fromUtf8(units);
        }
    }
    void roundTrip()
    {
        QFETCH(double, value);
        QFETCH(QString, units);
        // 17 digits identify every double: writing and reading gives it back.
        const QString full = RealStringParser::formatScaled(value, 17, units).text();
        const RealStringParser exact(full, units);
        QVERIFY2(exact.value() == value && exact.baseUnits() == units, qPrintable(full));
        // With 6 digits the value comes back rounded as the general form rounds.
        const QString six = RealStringParser::formatScaled(value, 6, units).text();
        const double rounded = RealStringParser::formatNumber(value, 6).toDouble();
        QVERIFY2(RealStringParser(six, units).value() == rounded, qPrintable(six));
    }

    void valueWithUnits_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("units");
        QTest::addColumn<QString>("written");   // null: not acceptable
        QTest::newRow("base to milli") << "0.001" << "H" << "1 mH";
        QTest::newRow("bare in mH") << "2" << "mH" << "2 mH";
        QTest::newRow("scales up") << "1000" << "mH" << "1 H";
        QTest::newRow("not a number") << "abc" << "H" << QString();
        QTest::newRow("wrong unit") << "5 V" << "H" << QString();
    }
    void valueWithUnits()
    {
        QFETCH(QString, value);
        QFETCH(QString, units);
        QFETCH(QString, written);
        // The MOX word's sequence: value and units, desired units, scaling on.
        RealString real(value, units);
        real.setDesiredUnits(units);
        real.setAllowScaling(true);
        QCOMPARE(real.state(), written.isNull() ? RealString::NotAcceptable : RealString::Acceptable);
        QCOMPARE(real.scaledValueWithUnits(6), written);
        if (written.isNull())
            QVERIFY(real.value() == 0.0 && real.scaledValue(6).isEmpty() && real.unscaledValue(6).isEmpty());
    }

    void editorSplitAndStore()
    {
        // Showing: 0.001 H splits into number "1" and unit "mH".
        RealString shown(QStringLiteral("0.001"), QStringLiteral("H"));
        shown.setAllowScaling(true);
        QCOMPARE(shown.scaledValue(6) + u'|' + shown.scaledUnits(), QStringLiteral("1|mH"));
        // Storing: cells "2.5" and "mH" are kept in base units without unit text.
        const RealString edited(QStringLiteral("2.5"), QStringLiteral("mH"));
        QCOMPARE(edited.unscaledValue(6), QStringLiteral("0.0025"));
        QCOMPARE(edited.unscaledValueWithUnits(6), QStringLiteral("0.0025 H"));
        // Refilling from the stored text shows what was typed.
        shown.setText(edited.unscaledValue(6));
        QCOMPARE(shown.scaledValue(6) + u'|' + shown.scaledUnits(), QStringLiteral("2.5|mH"));
        // The suffix follows the rounding of the same digit count.
        shown.setText(QStringLiteral("999.9996"));
        QCOMPARE(shown.scaledValue(6) + u'|' + shown.scaledUnits(6), QStringLiteral("1|kH"));
        QCOMPARE(shown.scaledValue(7) + u'|' + shown.scaledUnits(7), QStringLiteral("999.9996|H"));
    }

    void desiredUnits()
    {
        RealString real(QStringLiteral("1 H"));
        real.setDesiredUnits(QStringLiteral("mH"));
        QCOMPARE(real.scaledValueWithUnits(6), QStringLiteral("1000 mH"));   // scaling is off by default
        real.setAllowScaling(true);
        QCOMPARE(real.scaledValueWithUnits(6), QStringLiteral("1 H"));
        real.setDesiredUnits(QStringLiteral("Hz"));
        QCOMPARE(real.problem(), Problem::UnitsMismatch);
        QVERIFY(real.scaledValueWithUnits(6).isEmpty());
        real.setDesiredUnits(QStringLiteral("k%"));
        QCOMPARE(real.problem(), Problem::PrefixNotAllowed);
        real.setDesiredUnits(QString());
        QCOMPARE(real.scaledValueWithUnits(6), QStringLiteral("1 H"));
        RealString kilohm(QStringLiteral("2200"), QStringLiteral("Ohm"));
        QCOMPARE(kilohm.scaledValueWithUnits(6), QStringLiteral("2200 Ohm"));
        kilohm.setDesiredUnits(QStringLiteral("k\u03A9"));
        QCOMPARE(kilohm.scaledValueWithUnits(6), QStringLiteral("2.2 kOhm"));
    }
};

QTEST_GUILESS_MAIN(TestUnits)
#include "test_units.moc"
