// The tuning slider: the value mapping (continuous, discrete, both directions,
// counts that do not fit), values in the variable's unit, placing without
// signals, tooltips, and when a move is handed on as a tuned value.

#include "window/varsliderwidget.h"
#include "windowtestsupport.h"

#include "design/varvalues.h"
#include "model/optiminputrecords.h"
#include "units/realstringparser.h"

#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <climits>
#include <cmath>

namespace {

VarSliderMapping continuous(double lower, double upper)
{
    VarSliderMapping m;
    m.setContinuous(lower, upper);
    return m;
}
VarSliderMapping discrete(double minimum, double maximum, double step)
{
    VarSliderMapping m;
    m.setDiscrete(minimum, maximum, step);
    return m;
}

OptimVarInput rangeVariable(const QString &value = QStringLiteral("10"), const QString &lower = QStringLiteral("1"),
                            const QString &upper = QStringLiteral("100"), const QString &unit = QStringLiteral("nH"))
{
    OptimVarInput v;
    v.setNetlistName(QStringLiteral("L1.L"));
    v.setName(QStringLiteral("L1"));
    v.setValue(value);
    v.setUnit(unit);
    v.setRange(lower, upper);
    return v;
}

// A unitless variable from 0 to upper.
OptimVarInput plainVariable(const QString &value, const QString &upper)
{
    return rangeVariable(value, QStringLiteral("0"), upper, QString());
}

// A slider that writes its value, showing v.
std::unique_ptr<VarSliderWidget> tuningSlider(const OptimVarInput &v)
{
    auto slider = std::make_unique<VarSliderWidget>();
    slider->setUpdatesValue(true);
    slider->setVariable(v);
    return slider;
}

QStringList boundTexts(const OptimVarInput &v)
{
    QString lower;
    QString upper;
    VarValues::boundTexts(v, &lower, &upper);
    return {lower, upper};
}

} // namespace

class TestVarSlider : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_settings.isValid()); }
    void continuousHundredPositionsLastIsExact()
    {
        const VarSliderMapping m = continuous(0, 10);
        QVERIFY(m.ok && !m.discrete);
        QCOMPARE(m.count, 100);
        QCOMPARE(m.valueAt(0), 0.0);
        QCOMPARE(m.valueAt(99), 10.0);
        QCOMPARE(m.valueAt(50), 10.0 * 50 / 99);
        // An awkward range still ends exactly at its upper bound.
        const VarSliderMapping odd = continuous(0.1, 0.7);
        QCOMPARE(QList<double>({odd.valueAt(99), odd.valueAt(1000)}), QList<double>({0.7, 0.7}));
    }
    void mappingsThatCannotWorkAreNotOk()
    {
        VarSliderMapping m;
        m.setContinuous(std::nullopt, 10.0);
        QVERIFY(!m.ok);
        QCOMPARE(std::pair(m.valueAt(5), m.positionOf(5.0)), std::pair(0.0, -1));
        m.setContinuous(0.0, std::nan(""));
        QVERIFY(!m.ok);
        // A span the doubles cannot hold would make every value infinite.
        m.setContinuous(-1e308, 1e308);
        QVERIFY(!m.ok);
        QCOMPARE(continuous(0, 10).positionOf(std::nan("")), -1);
        m.setDiscrete(0.0, 10.0, std::nullopt);
        QVERIFY(!m.ok);
        const VarSliderMapping zero = discrete(0, 10, 0);
        QVERIFY(!zero.ok);
        QCOMPARE(std::pair(zero.valueAt(5), zero.positionOf(5)), std::pair(0.0, -1));
        // The largest count the slider can hold; one more does not fit, and
        // neither does a tiny step over a wide range.
        const VarSliderMapping largest = discrete(0, 2147483646.0, 1);
        QVERIFY(largest.ok);
        QCOMPARE(largest.count, INT_MAX);
        QCOMPARE(largest.valueAt(INT_MAX - 1), 2147483646.0);
        QVERIFY(!discrete(0, 2147483647.0, 1).ok);
        const VarSliderMapping tiny = discrete(0, 1e12, 1e-6);
        QVERIFY(!tiny.ok);
        QCOMPARE(tiny.count, 0);
        QVERIFY(!discrete(0, 1, 1e-320).ok);
        VarSliderWidget slider;
        OptimVarInput v = rangeVariable(QStringLiteral("1"));
        v.setDiscrete(QStringLiteral("0"), QStringLiteral("1T"), QStringLiteral("1f"));
        slider.setVariable(v);
        QVERIFY(!slider.mapping().ok);
        QCOMPARE(slider.maximum(), 0);
    }
    void discreteCountUsesStepMagnitude_data()
    {
        QTest::addColumn<double>("minimum");
        QTest::addColumn<double>("maximum");
        QTest::addColumn<double>("step");
        QTest::addColumn<int>("count");
        QTest::addColumn<double>("appliedStep");
        QTest::addColumn<double>("atOne");
        QTest::newRow("ascending") << 1.0 << 2.0 << 0.25 << 5 << 0.25 << 1.25;
        QTest::newRow("descending with a positive step") << 2.0 << 1.0 << 0.25 << 5 << -0.25 << 1.75;
        QTest::newRow("descending with a negative step") << 2.0 << 1.0 << -0.25 << 5 << -0.25 << 1.75;
        QTest::newRow("ascending with a negative step") << 1.0 << 2.0 << -0.25 << 5 << 0.25 << 1.25;
        QTest::newRow("from 10 down to 0 by -1") << 10.0 << 0.0 << -1.0 << 11 << -1.0 << 9.0;
    }
    void discreteCountUsesStepMagnitude()
    {
        QFETCH(double, minimum);
        QFETCH(double, maximum);
        QFETCH(double, step);
        QFETCH(int, count);
        const VarSliderMapping m = discrete(minimum, maximum, step);
        QVERIFY(m.ok && m.discrete);
        QCOMPARE(m.count, count);
        QTEST(m.step, "appliedStep");
        QTEST(m.valueAt(1), "atOne");
        QCOMPARE(m.valueAt(0), minimum);
        QCOMPARE(m.valueAt(count - 1), maximum);
    }
    void positionsOfValues_data()
    {
        QTest::addColumn<double>("minimum");
        QTest::addColumn<double>("maximum");
        QTest::addColumn<double>("step"); // 0: continuous
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("position");
        QTest::newRow("continuous, below the lower bound") << 0.0 << 10.0 << 0.0 << -5.0 << 0;
        QTest::newRow("continuous, above the upper bound") << 0.0 << 10.0 << 0.0 << 1e9 << 99;
        QTest::newRow("continuous, middle rounds half up") << 0.0 << 99.0 << 0.0 << 49.5 << 50;
        QTest::newRow("continuous, middle rounds down") << 0.0 << 99.0 << 0.0 << 49.4 << 49;
        QTest::newRow("continuous, descending, below the second bound") << 10.0 << 0.0 << 0.0 << -1.0 << 99;
        QTest::newRow("continuous, descending, above the first bound") << 10.0 << 0.0 << 0.0 << 12.0 << 0;
        QTest::newRow("continuous, descending, middle") << 99.0 << 0.0 << 0.0 << 89.0 << 10;
        QTest::newRow("continuous, negative range") << -3.0 << -1.0 << 0.0 << -2.0 << 50;
        QTest::newRow("below the minimum") << 0.0 << 1.0 << 0.3 << -7.0 << 0;
        QTest::newRow("above the maximum") << 0.0 << 1.0 << 0.3 << 3.0 << 4;
        QTest::newRow("on the grid") << 0.0 << 1.0 << 0.3 << 0.6 << 2;
        QTest::newRow("nearer the lower neighbour") << 0.0 << 1.0 << 0.3 << 0.44 << 1;
        QTest::newRow("nearer the upper neighbour") << 0.0 << 1.0 << 0.3 << 0.46 << 2;
        QTest::newRow("between the last two") << 0.0 << 1.0 << 0.3 << 0.96 << 4;
        QTest::newRow("descending, beyond the start") << 2.0 << 1.0 << 0.25 << 2.5 << 0;
        QTest::newRow("descending, beyond the end") << 2.0 << 1.0 << 0.25 << 0.0 << 4;
        QTest::newRow("descending, between") << 2.0 << 1.0 << 0.25 << 1.3 << 3;
    }
    void positionsOfValues()
    {
        QFETCH(double, minimum);
        QFETCH(double, maximum);
        QFETCH(double, step);
        QFETCH(double, value);
        QTEST((step == 0 ? continuous(minimum, maximum) : discrete(minimum, maximum, step)).positionOf(value), "position");
    }
    void everyPositionRoundTrips()
    {
        for (const auto &m : {discrete(0, 1, 0.3), discrete(2, 1, 0.25), discrete(-5, 5, 0.1), discrete(1e-9, 1e-8, 1e-10),
                              continuous(0, 10), continuous(10, 0), continuous(1e-12, 1e-11), continuous(-50, 50)}) {
            for (int i = 0; i < m.count; ++i)
                QVERIFY2(m.positionOf(m.valueAt(i)) == i, qPrintable(QStringLiteral("position %1 of %2").arg(i).arg(m.step, 0, 'g', 17)));
        }
        // A large grid: the bisection finds every probed position.
        const VarSliderMapping large = discrete(0, 1e6, 1);
        QCOMPARE(large.count, 1000001);
        for (int i : {0, 1, 2, 499999, 500000, 999999, 1000000})
            QCOMPARE(large.positionOf(large.valueAt(i)), i);
    }
    void singlePositionGivesMinimum()
    {
        const VarSliderMapping m = discrete(3, 3, 1);
        QVERIFY(m.ok);
        QCOMPARE(m.count, 1);
        QCOMPARE(QList<double>({m.valueAt(0), m.valueAt(5)}), QList<double>({3, 3}));
        QCOMPARE(m.positionOf(17), 0);
    }
    void valuesReadInTheVariablesUnit()
    {
        QCOMPARE(VarValues::number(QStringLiteral("0.015 uH"), QStringLiteral("nH")), std::optional<double>(15.0));
        QCOMPARE(VarValues::number(QStringLiteral("5p"), QStringLiteral("F")), std::optional<double>(5e-12));
        QVERIFY(!VarValues::number(QStringLiteral("5 pF"), QStringLiteral("nH")));
        // A unit outside the table: bare numbers only.
        QCOMPARE(VarValues::number(QStringLiteral("12"), QStringLiteral("mils")), std::optional<double>(12.0));
        QVERIFY(!VarValues::number(QStringLiteral("12 H"), QStringLiteral("mils")));
        QCOMPARE(VarValues::withUnits(QStringLiteral("5e-12"), QStringLiteral("F")), QStringLiteral("5 pF"));
        QCOMPARE(VarValues::withUnits(QStringLiteral("12"), QStringLiteral("mils")), QStringLiteral("12 mils"));
        QCOMPARE(VarValues::withUnits(QStringLiteral("oops"), QStringLiteral("nH")), QStringLiteral("oops"));
        // Plain numbers take a shortcut past the units parser; it reads them as the parser does.
        QCOMPARE(VarValues::withUnits(QStringLiteral(" 4.7 "), QStringLiteral("nH")), VarValues::withUnits(QStringLiteral("4.7 nH"), QStringLiteral("nH")));
        QCOMPARE(VarValues::number(QStringLiteral("-2.5e3"), QStringLiteral("nH")), VarValues::number(QStringLiteral("-2.5e3 nH"), QStringLiteral("nH")));
        QVERIFY(!VarValues::number(QStringLiteral("1e400"), QStringLiteral("nH")));
    }
    void valueAcceptance_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("acceptable");
        QTest::newRow("bare number") << "12" << true;
        QTest::newRow("own unit") << "1.5 nH" << true;
        QTest::newRow("other prefix") << "0.02u" << true;
        QTest::newRow("wrong unit") << "5 pF" << false;
        QTest::newRow("not a number") << "abc" << false;
        QTest::newRow("two points") << "1.2.3" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("blanks") << "   " << false;
        QTest::newRow("comma") << "1,5" << false;
        // Bounded 1 nH to 100 nH: typed values outside are refused, naming the range.
        QTest::newRow("at the bound") << "0.1u" << true;
        QTest::newRow("above") << "150n" << false;
        QTest::newRow("below, other prefix") << "-3p" << false;
    }
    void valueAcceptance()
    {
        QFETCH(QString, text);
        QString problem;
        QTEST(VarValues::isAcceptable(rangeVariable(), text, &problem), "acceptable");
        QTEST(problem.isEmpty(), "acceptable");
        QFETCH(bool, acceptable);
        const bool reads = VarValues::number(text, QStringLiteral("nH")).has_value();
        if (reads && !acceptable)
            QCOMPARE(problem, QStringLiteral("Outside the allowed range 1 nH to 100 nH"));
        OptimVarInput free = rangeVariable();
        free.setUnconstrained(QStringLiteral("10"));
        QCOMPARE(VarValues::isAcceptable(free, text), reads);
        OptimVarInput listed = rangeVariable();
        listed.setUnit(QStringLiteral("F"));
        listed.setDiscrete(QStringLiteral("0"), QStringLiteral("2"), QStringLiteral("1"));
        listed.setDesignValues({QStringLiteral("1 pF"), QStringLiteral("1.5 pF"), QStringLiteral("2.2 pF")});
        QList<bool> accepted;
        for (const char *t : {"1", "1.5 pF", "3", "-1", "1.6 pF"})
            accepted << VarValues::isAcceptable(listed, QString::fromLatin1(t));
        QCOMPARE(accepted, QList<bool>({true, true, false, false, false}));
    }
    void derivedBoundsOfDeviationAndPercentage()
    {
        OptimVarInput v = rangeVariable();
        v.setDeviation(QStringLiteral("10"), QStringLiteral("-2"));
        QCOMPARE(boundTexts(v), QStringList({"8", "12"}));
        v.setPercentage(QStringLiteral("10"), QStringLiteral("5"));
        QCOMPARE(boundTexts(v), QStringList({"9.5", "10.5"}));
        v.setPercentage(QStringLiteral("3.333333"), QStringLiteral("10"));
        QCOMPARE(boundTexts(v), QStringList({"3", "3.66667"}));
        v.setPercentage(QStringLiteral("-10"), QStringLiteral("10"));
        QCOMPARE(boundTexts(v), QStringList({"-11", "-9"}));   // lower bound first
        v.setDeviation(QString(), QStringLiteral("2"));
        QCOMPARE(boundTexts(v), QStringList({"", ""}));
        v.setUnconstrained(QStringLiteral("10"));
        QCOMPARE(boundTexts(v), QStringList({"", ""}));
    }
    void placingBlocksSignals()
    {
        VarSliderWidget slider;
        slider.setUpdatesValue(true);
        QSignalSpy moved(&slider, &QAbstractSlider::valueChanged);
        QSignalSpy tuned(&slider, &VarSliderWidget::tuneValueChanged);
        slider.setVariable(rangeVariable(QStringLiteral("10")));
        QCOMPARE(slider.value(), 9);   // 99 * (10 - 1) / 99
        slider.setValueText(QStringLiteral("100"));
        QCOMPARE(slider.value(), 99);
        slider.setValueText(QStringLiteral("0.5"));
        QCOMPARE(slider.value(), 0);
        QCOMPARE(moved.count() + tuned.count(), 0);
        QCOMPARE(slider.valueText(), QStringLiteral("0.5"));
    }
    void unreadableValueNeverMovesTheSlider()
    {
        auto slider = tuningSlider(rangeVariable(QStringLiteral("50")));
        const int before = slider->value();
        QCOMPARE(before, 49);
        QSignalSpy tuned(slider.get(), &VarSliderWidget::tuneValueChanged);
        for (const char *bad : {"abc", "1e999", "5 pF", "  ", "nan", "inf"}) {
            slider->setValueText(QString::fromLatin1(bad));
            QCOMPARE(slider->value(), before);
        }
        QCOMPARE(tuned.count(), 0);
        // A range that does not read leaves the slider where it is as well.
        slider->setValueText(QStringLiteral("20"));
        const int placed = slider->value();
        slider->setContinuousRange(QStringLiteral("x"), QStringLiteral("100"));
        QVERIFY(!slider->mapping().ok);
        slider->setValueText(QStringLiteral("90"));
        QVERIFY(slider->value() <= slider->maximum());
        QCOMPARE(slider->value(), qMin(placed, slider->maximum()));
    }
    void toolTipExactText()
    {
        VarSliderWidget slider;
        slider.setVariable(rangeVariable(QStringLiteral("10")));
        QCOMPARE(slider.toolTipText(),
                 QStringLiteral("<b>L1&nbsp;=&nbsp;10&nbsp;nH</b><br>&nbsp;&nbsp;&nbsp;&nbsp;Max&nbsp;=&nbsp;100&nbsp;nH"
                                "<br>&nbsp;&nbsp;&nbsp;&nbsp;Min&nbsp;=&nbsp;1&nbsp;nH"));
        // The tooltip follows the value.
        slider.setValueText(QStringLiteral("1500 pH"));
        QVERIFY(slider.toolTipText().startsWith(QStringLiteral("<b>L1&nbsp;=&nbsp;1.5&nbsp;nH</b>")));
        // Empty texts are left out; the name is escaped.
        OptimVarInput v = rangeVariable(QStringLiteral("10"));
        v.setName(QStringLiteral("R<1>"));
        v.setRange(QString(), QStringLiteral("100"));
        slider.setVariable(v);
        QCOMPARE(slider.toolTipText(),
                 QStringLiteral("<b>R&lt;1&gt;&nbsp;=&nbsp;10&nbsp;nH</b><br>&nbsp;&nbsp;&nbsp;&nbsp;Max&nbsp;=&nbsp;100&nbsp;nH"));
    }
    void unitsConvertOnTheWayOut()
    {
        // Bounds in picofarads, unit farad: the written value is in farads, so
        // the simulator reading a bare number in F gets the same capacitance.
        auto slider = tuningSlider(rangeVariable(QStringLiteral("5 pF"), QStringLiteral("1p"), QStringLiteral("10p"), QStringLiteral("F")));
        QCOMPARE(slider->mapping().minimum, 1e-12);
        QCOMPARE(slider->mapping().maximum, 1e-11);
        QCOMPARE(slider->value(), 44);   // round(99 * 4 / 9)
        QSignalSpy tuned(slider.get(), &VarSliderWidget::tuneValueChanged);
        slider->setValue(99);
        QCOMPARE(slider->valueText(), QStringLiteral("1e-11"));
        QCOMPARE(slider->displayValue(), QStringLiteral("10 pF"));
        QCOMPARE(calls(tuned), QStringList{"L1.L=1e-11"});
        QCOMPARE(VarValues::number(slider->valueText(), QStringLiteral("F")), std::optional<double>(1e-11));
    }
    void moveWritesValueOnlyWithUpdateFlag()
    {
        VarSliderWidget slider;
        slider.setVariable(plainVariable(QStringLiteral("0"), QStringLiteral("10")));
        QSignalSpy tuned(&slider, &VarSliderWidget::tuneValueChanged);
        slider.setValue(50);
        QCOMPARE(slider.valueText(), QStringLiteral("0"));
        QCOMPARE(tuned.count(), 0);
        slider.setUpdatesValue(true);
        slider.setValue(51);
        QCOMPARE(slider.valueText(), RealStringParser::formatNumber(10.0 * 51 / 99, 6));
        slider.setValue(50);
        QCOMPARE(slider.valueText(), QStringLiteral("5.05051"));
        QCOMPARE(calls(tuned).last(), QStringLiteral("L1.L=5.05051"));
        QCOMPARE(tuned.count(), 2);
        QVERIFY(slider.toolTipText().contains(QStringLiteral("5.05051")));
        // Clearing the flag disconnects the slider again.
        slider.setUpdatesValue(false);
        slider.setValue(99);
        QCOMPARE(slider.valueText(), QStringLiteral("5.05051"));
        QCOMPARE(tuned.count(), 2);
    }
    void dragTunesOnReleaseOrWhileMoving()
    {
        for (bool whileMoving : {false, true}) {
            auto slider = tuningSlider(plainVariable(QStringLiteral("0"), QStringLiteral("99")));
            slider->setTuneWhileMoving(whileMoving);
            QSignalSpy tuned(slider.get(), &VarSliderWidget::tuneValueChanged);
            slider->setSliderDown(true);
            slider->setValue(10);
            slider->setValue(20);
            slider->setValue(30);
            QCOMPARE(tuned.count(), whileMoving ? 3 : 0);
            slider->setSliderDown(false);
        QCOMPARE(tuned.count(), whileMoving ? 3 : 1);
            QCOMPARE(tuned.last().at(1).toString(), QStringLiteral("30"));
            // Dragged away and back to where it started: no change to tune.
            slider->setSliderDown(true);
            slider->setValue(40);
            slider->setValue(30);
            slider->setSliderDown(false);
            QCOMPARE(tuned.count(), whileMoving ? 5 : 1);
            // A key press is a finished change: tuned at once in either mode.
            slider->setFocus();
            QTest::keyClick(slider.get(), Qt::Key_Right);
            QCOMPARE(slider->valueText(), QStringLiteral("31"));
            QCOMPARE(tuned.last().at(1).toString(), QStringLiteral("31"));
        }
    }
    void valueFromOutsideWaitsForTheDragToEnd()
    {
        auto slider = tuningSlider(plainVariable(QStringLiteral("20"), QStringLiteral("99")));
        // Nothing moved by the user: the held value is taken at the release.
        slider->setSliderDown(true);
        slider->setValueText(QStringLiteral("70"));
        QCOMPARE(slider->value(), 20);
        QCOMPARE(slider->valueText(), QStringLiteral("20"));
        slider->setSliderDown(false);
        QCOMPARE(slider->value(), 70);
        QCOMPARE(slider->valueText(), QStringLiteral("70"));
        // The user moved it: the user's value wins.
        QSignalSpy tuned(slider.get(), &VarSliderWidget::tuneValueChanged);
        slider->setSliderDown(true);
        slider->setValue(40);
        slider->setValueText(QStringLiteral("5"));
        slider->setSliderDown(false);
        QCOMPARE(slider->value(), 40);
        QCOMPARE(slider->valueText(), QStringLiteral("40"));
        QCOMPARE(tuned.count(), 1);
    }
    void valueListSliderWorksOnPositions()
    {
        OptimVarInput v = rangeVariable(QStringLiteral("1"), QString(), QString(), QStringLiteral("F"));
        v.setDiscrete(QStringLiteral("0"), QStringLiteral("3"), QStringLiteral("1"));
        v.setDesignValues({QStringLiteral("1 pF"), QStringLiteral("1.5 pF"), QStringLiteral("2.2 pF"), QStringLiteral("3.3 pF")});
        auto slider = tuningSlider(v);
        QVERIFY(slider->mapping().ok);
        QCOMPARE(slider->maximum(), 3);
        QCOMPARE(slider->value(), 1);
        QVERIFY(slider->toolTipText().contains(QStringLiteral("Max&nbsp;=&nbsp;3.3&nbsp;pF")));
        slider->setValueText(QStringLiteral("2.2 pF"));
        QCOMPARE(slider->value(), 2);
        QSignalSpy tuned(slider.get(), &VarSliderWidget::tuneValueChanged);
        slider->setValue(3);
        QCOMPARE(tuned.last().at(1).toString(), QStringLiteral("3"));
        QCOMPARE(slider->displayValue(), QStringLiteral("3.3 pF"));
    }
    void unconstrainedVariableHasNoMapping()
    {
        OptimVarInput v = rangeVariable(QStringLiteral("10"));
        v.setUnconstrained(QStringLiteral("10"));
        auto slider = tuningSlider(v);
        QVERIFY(!slider->mapping().ok);
        QSignalSpy tuned(slider.get(), &VarSliderWidget::tuneValueChanged);
        slider->setValue(50);
        QCOMPARE(tuned.count(), 0);
        QCOMPARE(slider->valueText(), QStringLiteral("10"));
    }
    void wheelWithoutFocusDoesNotTune()
    {
        auto slider = tuningSlider(plainVariable(QStringLiteral("20"), QStringLiteral("99")));
        QSignalSpy tuned(slider.get(), &VarSliderWidget::tuneValueChanged);
        const QPointF at(slider->width() / 2.0, slider->height() / 2.0);
        QWheelEvent wheel(at, slider->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QCoreApplication::sendEvent(slider.get(), &wheel);
        QVERIFY(!wheel.isAccepted());
        QCOMPARE(slider->value(), 20);
        QCOMPARE(tuned.count(), 0);
    }

private:
    IsolatedSettings m_settings;
};

QTEST_MAIN(TestVarSlider)
#include "tst_varslider.moc"
