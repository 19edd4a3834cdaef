// Value texts with engineering suffixes and units, as the design file and
// the helmdeck write them.

#include "simvalue.h"

#include <QTest>

class TestSimValue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("value");
        QTest::newRow("suffix and unit") << "10 nH" << "H" << true << 10e-9;
        QTest::newRow("no blank") << "2.2kOhm" << "Ohm" << true << 2200.0;
        QTest::newRow("bare number in base unit") << "1e-9" << "H" << true << 1e-9;
        QTest::newRow("bare number in scaled unit") << "2" << "mH" << true << 0.002;
        QTest::newRow("own suffix wins") << "10n" << "mH" << true << 10e-9;
        QTest::newRow("micro sign") << QString::fromUtf8("47\u00b5F") << "F" << true << 47e-6;
        QTest::newRow("percent") << "5 %" << "" << true << 5.0;
        QTest::newRow("ohm alias") << "50 ohm" << "Ohm" << true << 50.0;
        QTest::newRow("suffix moves the point") << "2.2k" << "" << true << 2200.0;
        QTest::newRow("exponent and suffix") << "4.7e1 p" << "" << true << 47e-12;
        QTest::newRow("no binary power of ten") << "0.1n" << "" << true << 1e-10; // 0.1 * 1e-9 is not 1e-10
        QTest::newRow("unit mismatch") << "5 V" << "H" << false << 0.0;
        QTest::newRow("unknown unit") << "5 kk" << "" << false << 0.0;
        QTest::newRow("meg is not a suffix") << "1meg" << "" << false << 0.0;
        QTest::newRow("empty") << "  " << "" << false << 0.0;
        QTest::newRow("malformed") << "1.2.3" << "" << false << 0.0;
        QTest::newRow("dangling exponent") << "1e" << "" << false << 0.0;
        QTest::newRow("blank inside unit") << "5 k Ohm" << "Ohm" << false << 0.0;
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QString, unit);
        QFETCH(bool, ok);
        QFETCH(double, value);
        double got = -1;
        QCOMPARE(simvalue::parse(text, unit, got), ok);
        // The same double as the plain decimal text: a suffix moves the point, exactly.
        if (ok)
            QVERIFY2(got == value, qPrintable(QString::number(got, 'g', 17)));
    }

    void format_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("text");
        QTest::newRow("scaled unit given") << 1.5e-9 << "nH" << "1.5 nH";
        QTest::newRow("pico") << 4.86727e-12 << "F" << "4.86727 pF";
        QTest::newRow("rounds up into next suffix") << 999.9996 << "H" << "1 kH";
        QTest::newRow("zero") << 0.0 << "F" << "0 F";
        QTest::newRow("negative") << -2e-3 << "V" << "-2 mV";
        QTest::newRow("no suffix for dB") << -3.5 << "dB" << "-3.5 dB";
        QTest::newRow("no unit") << 1e-8 << "" << "1e-08";
        QTest::newRow("six digits") << 1.23456789e-9 << "H" << "1.23457 nH";
    }

    void format()
    {
        QFETCH(double, value);
        QFETCH(QString, unit);
        QFETCH(QString, text);
        QCOMPARE(simvalue::format(value, unit), text);
    }

    void formatReadsBack()
    {
        for (double v : {3.3e-12, 12e-9, 0.1, 47e3, 6.78443e-9}) {
            double back = 0;
            QVERIFY(simvalue::parse(simvalue::format(v, QStringLiteral("F")), QStringLiteral("F"), back));
            QVERIFY2(qAbs(back - v) <= 1e-6 * qAbs(v), qPrintable(simvalue::format(v, QStringLiteral("F"))));
        }
    }
};

QTEST_GUILESS_MAIN(TestSimValue)
#include "tst_simvalue.moc"
