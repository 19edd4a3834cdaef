// The graph primitives: history graph rules (tick step, auto-scale), value
// texts that are not numbers, incremental parsing, drawing of long
// histories, the goal plot ranges and limit descriptions, the bar graph's
// selection and the colour sets.

#include "window/bargraph.h"
#include "window/colorset.h"
#include "window/goalgraphwidget.h"
#include "window/graphwidget.h"
#include "windowtestsupport.h"

#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(GoalPlotRange)

class TestGraphs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void tickStep_data();
    void tickStep();
    void autoScaleWindow_data();
    void autoScaleWindow();
    void autoScaleKeepsFixedBoundsAndEmptyRange();
    void parseValue_data();
    void parseValue();
    void unparsableTextsAreGaps();
    void gapsNeverDrawAtZero();
    void doublesWithNaN();
    void widgetScaleFollowsRecord();
    void incrementalParsing();
    void denseHistoryKeepsSpikes();
    void pixmapIsCachedUntilSomethingChanges();
    void tooltipNamesIterationAndValue();
    void mouseSignals();
    void highlightFillsBackground();
    void shownWindow();

    void goalPlotRange_data();
    void goalPlotRange();
    void goalPlotRangeFallsBack();
    void limitExtentReadsRangesInUnits();
    void traceExtentSkipsNonFinite();
    void limitConditions_data();
    void limitConditions();
    void limitDescriptionText();
    void limitDescriptionEscapes();
    void goalGraphSelectedLimit();
    void goalGraphDrawsLimitLine();

    void barGraphSelection();
    void colorSets();

private:
    IsolatedSettings *m_settings = nullptr;
};

void TestGraphs::initTestCase()
{
    m_settings = new IsolatedSettings;
    QVERIFY(m_settings->isValid());
}

// ---------------------------------------------------------------- rules

void TestGraphs::tickStep_data()
{
    QTest::addColumn<int>("numPointsShown");
    QTest::addColumn<int>("pointCount");
    QTest::addColumn<int>("step");
    QTest::newRow("no points") << 0 << 0 << 0;
    QTest::newRow("6 points") << 0 << 6 << 0;
    QTest::newRow("7 points") << 0 << 7 << 5;
    QTest::newRow("10 points") << 0 << 10 << 5;
    QTest::newRow("25 points") << 0 << 25 << 5;
    QTest::newRow("79 points") << 0 << 79 << 10;
    QTest::newRow("100 points") << 0 << 100 << 10;
    QTest::newRow("500 points") << 0 << 500 << 50;
    QTest::newRow("shown 10 of 1000") << 10 << 1000 << 5;
    QTest::newRow("shown 6 of 1000") << 6 << 1000 << 0;
    QTest::newRow("shown 100 of 3") << 100 << 3 << 10;
    QTest::newRow("80001 points") << 0 << 80001 << 10000;
    QTest::newRow("400000 points: step over 10000") << 0 << 400000 << 0;
}

void TestGraphs::tickStep()
{
    QFETCH(int, numPointsShown);
    QFETCH(int, pointCount);
    QFETCH(int, step);
    QCOMPARE(GraphWidget::iterationTickStep(numPointsShown, pointCount), step);
}

void TestGraphs::autoScaleWindow_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<int>("numPointsShown");
    QTest::addColumn<bool>("useAllData");
    QTest::addColumn<double>("yMin");
    QTest::addColumn<double>("yMax");
    QTest::newRow("last 10 of 3 scans all 3") << QList<double>{4, -2, 7} << 10 << false << -2.0 << 7.0;
    QTest::newRow("old spike outside the window, shown data")
        << QList<double>{100, 1, 2, 3, 4} << 3 << false << 2.0 << 4.0;
    QTest::newRow("old spike with all data") << QList<double>{100, 1, 2, 3, 4} << 3 << true << 1.0 << 100.0;
    QTest::newRow("0 shows all") << QList<double>{100, 1, 2} << 0 << false << 1.0 << 100.0;
    QTest::newRow("NaN skipped")
        << QList<double>{std::numeric_limits<double>::quiet_NaN(), 5, std::numeric_limits<double>::infinity(), 6}
        << 0 << true << 5.0 << 6.0;
}

void TestGraphs::autoScaleWindow()
{
    QFETCH(QList<double>, values);
    QFETCH(int, numPointsShown);
    QFETCH(bool, useAllData);
    QFETCH(double, yMin);
    QFETCH(double, yMax);
    double lo = -99, hi = 99;
    QVERIFY(GraphWidget::autoScale(values, numPointsShown, useAllData, false, false, lo, hi));
    QCOMPARE(lo, yMin);
    QCOMPARE(hi, yMax);

    // The widget follows the same rule over its texts.
    GraphWidget graph;
    QStringList texts;
    for (double v : values)
        texts << QString::number(v);
    graph.setSeries(texts);
    graph.setNumPointsShown(numPointsShown);
    graph.setUseAllData(useAllData);
    QCOMPARE(graph.yMin(), lo);
    QCOMPARE(graph.yMax(), hi);
}

void TestGraphs::autoScaleKeepsFixedBoundsAndEmptyRange()
{
    double lo = -1, hi = 1;
    QVERIFY(GraphWidget::autoScale({3, 9}, 0, true, true, false, lo, hi));
    QCOMPARE(lo, -1.0);
    QCOMPARE(hi, 9.0);
    lo = -1;
    hi = 1;
    QVERIFY(!GraphWidget::autoScale({3, 9}, 0, true, true, true, lo, hi));
    QCOMPARE(lo, -1.0);
    QCOMPARE(hi, 1.0);
    // Nothing to scan: the range is left as it was.
    QVERIFY(!GraphWidget::autoScale({}, 0, true, false, false, lo, hi));
    QVERIFY(!GraphWidget::autoScale({std::nan("")}, 0, true, false, false, lo, hi));
    QCOMPARE(lo, -1.0);
    QCOMPARE(hi, 1.0);

    GraphWidget graph;
    graph.setSeries(QStringList{QStringLiteral("2"), QStringLiteral("8")});
    QCOMPARE(graph.yMax(), 8.0);
    graph.setSeries(QStringList{QString(), QStringLiteral("x")});
    // Only gaps now: the range stays at the last one found.
    QCOMPARE(graph.yMin(), 2.0);
    QCOMPARE(graph.yMax(), 8.0);
    graph.setYMaxFixed(true, 50);
    graph.setSeries(QStringList{QStringLiteral("1"), QStringLiteral("70")});
    QCOMPARE(graph.yMin(), 1.0);
    QCOMPARE(graph.yMax(), 50.0);
    graph.setYMaxFixed(false);
    QCOMPARE(graph.yMax(), 70.0);
    graph.setFixedYRange(-5, 5);
    QCOMPARE(graph.yMin(), -5.0);
    QCOMPARE(graph.yMax(), 5.0);
}

void TestGraphs::parseValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::newRow("plain") << "0.25" << true << 0.25;
    QTest::newRow("blanks") << "  -3.5e-3 " << true << -3.5e-3;
    QTest::newRow("plus sign") << "+2" << true << 2.0;
    QTest::newRow("suffix") << "10n" << true << 10e-9;
    QTest::newRow("unit") << "10 nH" << true << 10e-9;
    QTest::newRow("GHz") << "1.5GHz" << true << 1.5e9;
    QTest::newRow("dB") << "-3 dB" << true << -3.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blank") << "   " << false << 0.0;
    QTest::newRow("word") << "abc" << false << 0.0;
    QTest::newRow("nan") << "nan" << false << 0.0;
    QTest::newRow("inf") << "inf" << false << 0.0;
    QTest::newRow("overflow") << "1e999" << false << 0.0;
    QTest::newRow("two points") << "1.2.3" << false << 0.0;
}

void TestGraphs::parseValue()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(double, value);
    const std::optional<double> v = GraphWidget::parseValue(text);
    QCOMPARE(v.has_value(), ok);
    if (ok)
        QCOMPARE(*v, value);
}

void TestGraphs::unparsableTextsAreGaps()
{
    GraphWidget graph;
    graph.setSeries(QStringList{"4", "abc", "", "nan", "2", "inf", "3", "  "});
    QCOMPARE(graph.pointCount(), 8);
    QCOMPARE(graph.yMin(), 2.0);
    QCOMPARE(graph.yMax(), 4.0);
    for (int i : {1, 2, 3, 5, 7}) {
        QVERIFY2(!graph.valueAt(i).has_value(), qPrintable(QString::number(i)));
        QVERIFY(graph.valueTextAt(i).isEmpty());
    }
    QCOMPARE(graph.valueAt(4), std::optional<double>(2.0));
    QCOMPARE(graph.valueTextAt(6), QStringLiteral("3"));
}

// Counts pixels of a pure colour in a row band of an image.
static int countColour(const QImage &image, const QColor &colour, int y0, int y1, int x0 = 0, int x1 = -1)
{
    if (x1 < 0)
        x1 = image.width() - 1;
    int n = 0;
    for (int y = std::max(0, y0); y <= std::min(image.height() - 1, y1); ++y) {
        for (int x = std::max(0, x0); x <= std::min(image.width() - 1, x1); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) < 40 && std::abs(c.green() - colour.green()) < 40
                && std::abs(c.blue() - colour.blue()) < 40)
                ++n;
        }
    }
    return n;
}

void TestGraphs::gapsNeverDrawAtZero()
{
    // Values 10 and 12 around a text that is not a number, on a fixed range
    // that holds 0: nothing of the series may appear on the zero line.
    GraphWidget graph;
    graph.resize(240, 120);
    graph.setSeriesColor(0, QColor(255, 0, 0));
    graph.setSeries(QStringList{"10", "oops", "12", "", "11"});
    graph.setFixedYRange(-10, 20);
    const QImage image = graph.renderPixmap(graph.size()).toImage();
    const QRect plot = graph.plotRectFor(graph.size());
    const double top = plot.top() + 2.5, height = plot.height() - 5.0;
    const int zeroY = int(std::round(top + (20.0 - 0.0) * height / 30.0));
    const int tenY = int(std::round(top + (20.0 - 10.0) * height / 30.0));
    QCOMPARE(countColour(image, Qt::red, zeroY - 3, zeroY + 3, plot.left(), plot.right()), 0);
    QVERIFY(countColour(image, Qt::red, tenY - 4, tenY + 4, plot.left(), plot.right()) > 0);
    // NaN as text is a gap as well: the whole series lies between 10 and 12.
    QCOMPARE(countColour(image, Qt::red, tenY + 6, plot.bottom(), plot.left(), plot.right()), 0);
}

void TestGraphs::doublesWithNaN()
{
    GraphWidget graph;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    graph.setSeries(QList<double>{1, nan, 3, std::numeric_limits<double>::infinity()});
    QCOMPARE(graph.pointCount(), 4);
    QVERIFY(!graph.valueAt(1));
    QVERIFY(!graph.valueAt(3));
    QCOMPARE(graph.yMin(), 1.0);
    QCOMPARE(graph.yMax(), 3.0);
    // Appending keeps the parsed prefix and adds the new values.
    graph.setSeries(QList<double>{1, nan, 3, std::numeric_limits<double>::infinity(), -4});
    QCOMPARE(graph.yMin(), -4.0);
    // A changed value in front is taken, not ignored.
    graph.setSeries(QList<double>{9, nan, 3, std::numeric_limits<double>::infinity(), -4});
    QCOMPARE(graph.valueAt(0), std::optional<double>(9.0));
    QCOMPARE(graph.yMax(), 9.0);
}

void TestGraphs::widgetScaleFollowsRecord()
{
    GraphWidget graph;
    QStringList texts;
    texts << "50";
    for (int i = 0; i < 30; ++i)
        texts << QString::number(i % 3);
    graph.setSeries(texts);
    graph.setNumPointsShown(10);
    graph.setUseAllData(false);
    QCOMPARE(graph.yMax(), 2.0);
    graph.setUseAllData(true);
    QCOMPARE(graph.yMax(), 50.0);
    QCOMPARE(graph.yMin(), 0.0);
}

void TestGraphs::incrementalParsing()
{
    GraphWidget graph;
    QStringList history;
    for (int i = 0; i < 1000; ++i)
        history << QString::number(i);
    graph.setSeries(history);
    QCOMPARE(graph.yMax(), 999.0);

    history << "5000";
    graph.setSeries(history);
    QCOMPARE(graph.pointCount(), 1001);
    QCOMPARE(graph.valueAt(1000), std::optional<double>(5000.0));

    // An iteration dropped and recorded again with another value.
    history.removeLast();
    history << "-7";
    graph.setSeries(history);
    QCOMPARE(graph.pointCount(), 1001);
    QCOMPARE(graph.valueAt(1000), std::optional<double>(-7.0));
    QCOMPARE(graph.yMin(), -7.0);
    QCOMPARE(graph.yMax(), 999.0);

    // Shorter: the lost tail goes, the scale with it.
    history = history.mid(0, 500);
    graph.setSeries(history);
    QCOMPARE(graph.pointCount(), 500);
    QCOMPARE(graph.yMax(), 499.0);
    QCOMPARE(graph.yMin(), 0.0);

    // A different history of the same length (another model) is read anew.
    QStringList other;
    for (int i = 0; i < 500; ++i)
        other << QString::number(-i);
    graph.setSeries(other);
    QCOMPARE(graph.valueAt(0), std::optional<double>(0.0));
    QCOMPARE(graph.valueAt(499), std::optional<double>(-499.0));
    QCOMPARE(graph.yMax(), 0.0);

    // Texts made from the same characters but as new strings still match.
    QStringList copy;
    for (const QString &t : other)
        copy << QString(t.constData(), t.size());
    copy << "1";
    graph.setSeries(copy);
    QCOMPARE(graph.pointCount(), 501);
    QCOMPARE(graph.yMax(), 1.0);

    graph.clearSeries();
    QCOMPARE(graph.pointCount(), 0);
}

void TestGraphs::denseHistoryKeepsSpikes()
{
    // 200000 points in 400 pixels: one spike at 100 among values 0..1 must
    // still reach the top of the plot, and a dip the bottom.
    QList<double> values;
    values.reserve(200000);
    for (int i = 0; i < 200000; ++i)
        values.append((i % 7) / 7.0);
    values[123457] = 100;
    values[45678] = -100;
    GraphWidget graph;
    graph.resize(400, 120);
    graph.setSeriesColor(0, QColor(255, 0, 0));
    graph.setSeries(values);
    QCOMPARE(graph.yMax(), 100.0);
    QCOMPARE(graph.yMin(), -100.0);
    const QImage image = graph.renderPixmap(graph.size()).toImage();
    const QRect plot = graph.plotRectFor(graph.size());
    QVERIFY(countColour(image, Qt::red, plot.top() + 1, plot.top() + 5, plot.left(), plot.right()) > 0);
    QVERIFY(countColour(image, Qt::red, plot.bottom() - 5, plot.bottom() - 1, plot.left(), plot.right()) > 0);
    // The spike is where its iteration is: about 62 % across.
    const int spikeX = plot.left() + int(0.617 * plot.width());
    QVERIFY(countColour(image, Qt::red, plot.top() + 1, plot.top() + 5, spikeX - 4, spikeX + 4) > 0);
}

void TestGraphs::pixmapIsCachedUntilSomethingChanges()
{
    GraphWidget graph;
    graph.resize(200, 100);
    graph.setSeries(QStringList{"1", "2", "3"});
    // The first grab polishes the widget (style and palette arrive), which
    // may draw once more; from then on only changes draw.
    graph.grab();
    graph.grab();
    const int first = graph.renderCount();
    QVERIFY(first >= 1);
    graph.grab();
    QCOMPARE(graph.renderCount(), first);
    // New data: drawn again, once.
    graph.setSeries(QStringList{"1", "2", "3", "4"});
    graph.grab();
    graph.grab();
    const int second = graph.renderCount();
    QCOMPARE(second, first + 1);
    graph.setNumPointsShown(2);
    graph.grab();
    QCOMPARE(graph.renderCount(), second + 1);
    graph.setSelectedSeries(0);
    graph.grab();
    QCOMPARE(graph.renderCount(), second + 2);
    graph.grab();
    QCOMPARE(graph.renderCount(), second + 2);
}

void TestGraphs::tooltipNamesIterationAndValue()
{
    GraphWidget graph;
    graph.resize(300, 120);
    graph.setTitle(QStringLiteral("Error"));
    graph.setSeries(QStringList{"1.5", "bad", "0.25"});
    const QRect plot = graph.plotRect();
    const double left = plot.left() + 2.5, width = plot.width() - 5.0;
    auto at = [&](int index) { return QPoint(int(std::round(left + index * width / 2)), plot.center().y()); };
    QCOMPARE(graph.indexAt(at(2)), 2);
    QCOMPARE(graph.toolTipTextAt(at(2)), QStringLiteral("Iteration 2\nError: 0.25"));
    QCOMPARE(graph.toolTipTextAt(at(1)), QStringLiteral("Iteration 1\nError: no value"));
    QVERIFY(graph.toolTipTextAt(QPoint(1, 1)).isEmpty());
    graph.setFirstIterationNumber(1);
    QVERIFY(graph.toolTipTextAt(at(0)).startsWith(QStringLiteral("Iteration 1\n")));
    graph.setStale(true);
    QVERIFY(graph.toolTipTextAt(at(0)).endsWith(QStringLiteral("(results are stale)")));

    // Units: a value read from "10 nH" is written back with its suffix.
    GraphWidget units;
    units.resize(300, 120);
    units.setValueUnits(QStringLiteral("H"));
    units.setSeries(QStringList{"10 nH"});
    QCOMPARE(units.valueTextAt(0), QStringLiteral("10 nH"));
}

void TestGraphs::mouseSignals()
{
    GraphWidget graph;
    graph.resize(200, 100);
    graph.show();
    QVERIFY(QTest::qWaitForWindowExposed(&graph));
    QSignalSpy right(&graph, &GraphWidget::rightMouseClick);
    QSignalSpy left(&graph, &GraphWidget::clicked);
    QTest::mousePress(&graph, Qt::RightButton, {}, QPoint(50, 40));
    QCOMPARE(right.count(), 1);
    QCOMPARE(right.at(0).at(0).toPoint(), graph.mapToGlobal(QPoint(50, 40)));
    QCOMPARE(left.count(), 0);
    QTest::mousePress(&graph, Qt::LeftButton, {}, QPoint(50, 40));
    QCOMPARE(left.count(), 1);
    QCOMPARE(right.count(), 1);
}

void TestGraphs::highlightFillsBackground()
{
    GraphWidget graph;
    graph.resize(200, 80);
    graph.setSeries(QStringList{"1", "2"});
    QImage image = graph.renderPixmap(graph.size()).toImage();
    QVERIFY(image.pixelColor(1, 1) != GraphWidget::selectionHighlightColor());
    graph.setHighlighted(true);
    image = graph.renderPixmap(graph.size()).toImage();
    QCOMPARE(image.pixelColor(1, 1), QColor(200, 225, 255));
    QCOMPARE(image.pixelColor(199, 79), QColor(200, 225, 255));
}

void TestGraphs::shownWindow()
{
    GraphWidget graph;
    QStringList texts;
    for (int i = 0; i < 40; ++i)
        texts << QString::number(i);
    graph.setSeries(texts);
    QCOMPARE(graph.firstShownIndex(), 0);
    QCOMPARE(graph.shownCount(), 40);
    graph.setNumPointsShown(25);
    QCOMPARE(graph.firstShownIndex(), 15);
    QCOMPARE(graph.shownCount(), 25);
    graph.setNumPointsShown(101);
    QCOMPARE(graph.firstShownIndex(), 0);
    QCOMPARE(graph.shownCount(), 40);
    // Two series of different lengths: the window follows the longer one.
    graph.setSeries(QStringList{"1"}, 1);
    QCOMPARE(graph.seriesCount(), 2);
    graph.setNumPointsShown(10);
    QCOMPARE(graph.firstShownIndex(), 30);
}

// ------------------------------------------------------------ goal plots

void TestGraphs::goalPlotRange_data()
{
    QTest::addColumn<int>("scaling");
    QTest::addColumn<GoalPlotRange>("expected");
    // Limits: x 0..10, y 0..10. Trace: x 5..20, y -10..5.
    QTest::newRow("fit to limit lines") << 0 << GoalPlotRange{0, 10, -0.5, 10.5};
    QTest::newRow("fit to trace") << 1 << GoalPlotRange{5, 20, -10.75, 5.75};
    QTest::newRow("fit to both") << 2 << GoalPlotRange{0, 20, -11, 11};
}

void TestGraphs::goalPlotRange()
{
    QFETCH(int, scaling);
    QFETCH(GoalPlotRange, expected);
    const GoalPlotRange limits{0, 10, 0, 10};
    const GoalPlotRange trace{5, 20, -10, 5};
    const std::optional<GoalPlotRange> r = GoalGraphWidget::goalPlotRange(scaling, limits, trace);
    QVERIFY(r);
    QCOMPARE(r->xMin, expected.xMin);
    QCOMPARE(r->xMax, expected.xMax);
    QVERIFY(qFuzzyCompare(r->yMin, expected.yMin));
    QVERIFY(qFuzzyCompare(r->yMax, expected.yMax));
    // The plotted height is 1.1 times the data height.
    const double dataHeight = scaling == 0 ? 10 : scaling == 1 ? 15 : 20;
    QVERIFY(qFuzzyCompare(r->yMax - r->yMin, 1.1 * dataHeight));
}

void TestGraphs::goalPlotRangeFallsBack()
{
    const GoalPlotRange trace{1, 2, 3, 5};
    const auto fromTrace = GoalGraphWidget::goalPlotRange(0, std::nullopt, trace);
    QVERIFY(fromTrace);
    QCOMPARE(fromTrace->xMin, 1.0);
    QVERIFY(qFuzzyCompare(fromTrace->yMax, 5.1));
    QVERIFY(!GoalGraphWidget::goalPlotRange(2, std::nullopt, std::nullopt));
    // A flat range opens by 5 % of its value, or by 0.5 at zero.
    const auto flat = GoalGraphWidget::goalPlotRange(1, std::nullopt, GoalPlotRange{0, 1, -20, -20});
    QVERIFY(qFuzzyCompare(flat->yMin, -21.0));
    QVERIFY(qFuzzyCompare(flat->yMax, -19.0));
    const auto zero = GoalGraphWidget::goalPlotRange(1, std::nullopt, GoalPlotRange{0, 1, 0, 0});
    QCOMPARE(zero->yMin, -0.5);
    QCOMPARE(zero->yMax, 0.5);
}

static OptimTraceFamily family(const QList<double> &x, const QList<double> &y)
{
    OptimTraceFamily f;
    f.setIndepVar(OptimTraceVar(QStringLiteral("freq"), QStringLiteral("GHz")));
    OptimTrace t;
    t.xValues().values() = x;
    t.yValues().values() = y;
    f.traces().append(t);
    return f;
}

static OptimGoalInput goalWithLimit(int type, const QString &first, const QString &second, const QString &lower,
                                    const QString &upper)
{
    OptimGoalInput goal;
    goal.setName(QStringLiteral("G1"));
    goal.addIndepVar(QStringLiteral("freq"));
    goal.setIndepVarUnit(0, QStringLiteral("GHz"));
    OptimGoalLimitInput limit;
    limit.setName(QStringLiteral("L1"));
    limit.setLimit(type, first, second);
    limit.setWeight(QStringLiteral("2"));
    if (!lower.isEmpty() || !upper.isEmpty())
        limit.ranges().append(OptimGoalRange(0, lower, upper));
    goal.limits().append(limit);
    return goal;
}

void TestGraphs::limitExtentReadsRangesInUnits()
{
    // A bare range bound is read in the variable's units (GHz), so it meets
    // the traces' abscissae in hertz.
    const OptimTraceFamily traces = family({1e8, 2e9, 3e9}, {0, -10, -30});
    const OptimGoalInput goal = goalWithLimit(LimitInside, "-3", "-1", "0.5", "1.5");
    const auto extent = GoalGraphWidget::limitExtent(goal, traces);
    QVERIFY(extent);
    QCOMPARE(extent->xMin, 0.5e9);
    QCOMPARE(extent->xMax, 1.5e9);
    QCOMPARE(extent->yMin, -3.0);
    QCOMPARE(extent->yMax, -1.0);

    // An open upper end reaches to the trace's extent; a bound with its own
    // unit is read on its own.
    const OptimGoalInput open = goalWithLimit(LimitLessThan, "-20", QString(), "2000 MHz", QString());
    const auto openExtent = GoalGraphWidget::limitExtent(open, traces);
    QCOMPARE(openExtent->xMin, 2e9);
    QCOMPARE(openExtent->xMax, 3e9);
    QCOMPARE(GoalGraphWidget::limitXSpan(open, 0, traces).first, 2e9);
    QVERIFY(std::isinf(GoalGraphWidget::limitXSpan(open, 0, traces).second));

    // Without a range and without traces: a unit span, the value as height.
    const OptimGoalInput bare = goalWithLimit(LimitGreaterThan, "4", QString(), QString(), QString());
    const auto bareExtent = GoalGraphWidget::limitExtent(bare, OptimTraceFamily());
    QCOMPARE(bareExtent->yMin, 4.0);
    QCOMPARE(bareExtent->yMax, 4.0);
    QCOMPARE(bareExtent->xMin, 0.0);
    QCOMPARE(bareExtent->xMax, 1.0);

    // A limit whose value is not a number adds nothing.
    const OptimGoalInput bad = goalWithLimit(LimitGreaterThan, "abc", QString(), QString(), QString());
    QVERIFY(!GoalGraphWidget::limitExtent(bad, traces));

    // The widget puts it together (scaling 0: the limit lines).
    GoalGraphWidget plot;
    plot.setGoal(goal);
    plot.setTraces(traces);
    plot.setXAxisScaling(GoalGraphWidget::FitToLimitLines);
    QCOMPARE(plot.plotRange()->xMin, 0.5e9);
    QVERIFY(qFuzzyCompare(plot.plotRange()->yMin, -3.1));
    plot.setXAxisScaling(GoalGraphWidget::FitToTrace);
    QCOMPARE(plot.plotRange()->xMax, 3e9);
    QVERIFY(qFuzzyCompare(plot.plotRange()->yMin, -31.5));
    plot.setXAxisScaling(GoalGraphWidget::FitToTraceAndLimitLines);
    QCOMPARE(plot.plotRange()->xMin, 1e8);
    QVERIFY(qFuzzyCompare(plot.plotRange()->yMax, 1.5));
}

void TestGraphs::traceExtentSkipsNonFinite()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const auto extent = GoalGraphWidget::traceExtent(family({1, 2, nan, 4}, {5, nan, 100, -1}));
    QVERIFY(extent);
    QCOMPARE(extent->xMin, 1.0);
    QCOMPARE(extent->xMax, 4.0);
    QCOMPARE(extent->yMin, -1.0);
    QCOMPARE(extent->yMax, 5.0);
    QVERIFY(!GoalGraphWidget::traceExtent(OptimTraceFamily()));
    QVERIFY(!GoalGraphWidget::traceExtent(family({nan}, {1})));
}

void TestGraphs::limitConditions_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::newRow("GreaterThan") << int(LimitGreaterThan) << "response &gt; -1";
    QTest::newRow("LessThan") << int(LimitLessThan) << "response &lt; -1";
    QTest::newRow("EqualTo") << int(LimitEqualTo) << "response = -1";
    QTest::newRow("Inside") << int(LimitInside) << "-1 &lt; response &lt; 2 dB";
    QTest::newRow("Outside") << int(LimitOutside) << "response &lt; -1 OR  response &gt; 2 dB";
}

void TestGraphs::limitConditions()
{
    QFETCH(int, type);
    QFETCH(QString, text);
    OptimGoalLimitInput limit;
    limit.setLimit(type, QStringLiteral("-1"), QStringLiteral("2 dB"));
    QCOMPARE(GoalGraphWidget::limitConditionText(limit), text);
}

void TestGraphs::limitDescriptionText()
{
    OptimGoalInput goal = goalWithLimit(LimitGreaterThan, "-1", QString(), "0.1", "1");
    OptimGoalLimitInput second;
    second.setOutside(QStringLiteral("-3"), QStringLiteral("3"));
    second.ranges().append(OptimGoalRange(0, QString(), QStringLiteral("2")));
    goal.limits().append(second);
    QCOMPARE(GoalGraphWidget::limitDescription(goal),
             QStringLiteral("<b>G1</b>"
                            "<br>&nbsp;&nbsp;&nbsp;&nbsp;<b>L1:</b>&nbsp;response&nbsp;&gt;&nbsp;-1,&nbsp;0.1&nbsp;&lt;&nbsp;freq"
                            "&nbsp;&lt;&nbsp;1,&nbsp;Weight&nbsp;=&nbsp;2"
                            "<br>&nbsp;&nbsp;&nbsp;&nbsp;<b>Limit&nbsp;2:</b>&nbsp;response&nbsp;&lt;&nbsp;-3&nbsp;OR&nbsp;&nbsp;"
                            "response&nbsp;&gt;&nbsp;3,&nbsp;freq&nbsp;&lt;&nbsp;2"));
    // Every blank is replaced: none is left in the finished text.
    QVERIFY(!GoalGraphWidget::limitDescription(goal).contains(QLatin1Char(' ')));

    GoalGraphWidget plot;
    plot.resize(300, 200);
    plot.setGoal(goal);
    QVERIFY(plot.toolTipTextAt(QPoint(2, 2)).contains(GoalGraphWidget::limitDescription(goal)));
}

void TestGraphs::limitDescriptionEscapes()
{
    OptimGoalInput goal = goalWithLimit(LimitLessThan, "1<2", QString(), QString(), QString());
    goal.setName(QStringLiteral("a&b"));
    const QString text = GoalGraphWidget::limitDescription(goal);
    QVERIFY(text.startsWith(QStringLiteral("<b>a&amp;b</b>")));
    QVERIFY(text.contains(QStringLiteral("response&nbsp;&lt;&nbsp;1&lt;2")));
}

void TestGraphs::goalGraphSelectedLimit()
{
    GoalGraphWidget plot;
    plot.setGoal(goalWithLimit(LimitGreaterThan, "-1", QString(), QString(), QString()));
    plot.setSelectedLimit(0);
    QCOMPARE(plot.selectedLimit(), 0);
    plot.setSelectedLimit(3);
    QCOMPARE(plot.selectedLimit(), -1);
}

void TestGraphs::goalGraphDrawsLimitLine()
{
    // A LessThan limit at -20 over 2..3 GHz: its dark line is drawn at the
    // height of -20, over that span only.
    GoalGraphWidget plot;
    plot.resize(320, 200);
    plot.setColor(QColor(0, 0, 255));
    plot.setGoal(goalWithLimit(LimitLessThan, "-20", QString(), "2", "3"));
    plot.setTraces(family({1e9, 2e9, 3e9, 4e9}, {0, -10, -30, -40}));
    plot.setXAxisScaling(GoalGraphWidget::FitToTrace);
    const QImage image = plot.renderPixmap(plot.size()).toImage();
    const QRect r = plot.plotRectFor(plot.size());
    const GoalPlotRange range = *plot.plotRange();
    const double pl = r.left() + 1, pw = r.width() - 2, pt = r.top() + 1, ph = r.height() - 2;
    auto xOf = [&](double x) { return int(std::round(pl + (x - range.xMin) * pw / (range.xMax - range.xMin))); };
    const int y = int(std::round(pt + (range.yMax + 20) * ph / (range.yMax - range.yMin)));
    const QColor limit(165, 25, 25);
    const int inside = countColour(image, limit, y - 2, y + 2, xOf(2.2e9), xOf(2.8e9));
    QVERIFY2(inside > 20, qPrintable(QString::number(inside)));
    QCOMPARE(countColour(image, limit, y - 2, y + 2, xOf(1.1e9), xOf(1.8e9)), 0);
    // The trace in its colour.
    QVERIFY(countColour(image, QColor(0, 0, 255), r.top(), r.bottom(), r.left(), r.right()) > 20);
}

// ------------------------------------------------------- bars and colours

void TestGraphs::barGraphSelection()
{
    BarGraph graph;
    graph.resize(300, 120);
    for (const char *name : {"A", "B", "C"})
        graph.addBar(QString::fromLatin1(name))->setValue(0.5, QStringLiteral("1"));
    graph.show();
    QVERIFY(QTest::qWaitForWindowExposed(&graph));
    QCOMPARE(graph.barCount(), 3);
    QSignalSpy byIndex(&graph, qOverload<int>(&BarGraph::barSelected));
    QSignalSpy byItem(&graph, qOverload<QWidget *>(&BarGraph::barSelected));
    QSignalSpy deselected(graph.bar(1), &BarGraphBar::deselected);

    QTest::mouseClick(graph.bar(1), Qt::LeftButton, {}, QPoint(10, 5));
    QCOMPARE(byIndex.count(), 1);
    QCOMPARE(byIndex.at(0).at(0).toInt(), 1);
    QCOMPARE(byItem.count(), 1);
    QCOMPARE(byItem.at(0).at(0).value<QWidget *>(), static_cast<QWidget *>(graph.bar(1)));
    QCOMPARE(graph.selectedBar(), 1);

    // Programmatic selection moves the mark without barSelected.
    graph.setBarSelected(2);
    QCOMPARE(graph.selectedBar(), 2);
    QVERIFY(!graph.bar(1)->isSelected());
    QCOMPARE(deselected.count(), 1);
    QCOMPARE(byIndex.count(), 1);

    QTest::mouseClick(graph.bar(0), Qt::LeftButton, {}, QPoint(10, 5));
    QCOMPARE(graph.selectedBar(), 0);
    QVERIFY(!graph.bar(2)->isSelected());
    QCOMPARE(byIndex.count(), 2);

    graph.clearSelection();
    QCOMPARE(graph.selectedBar(), -1);
    graph.setBarCount(1);
    QCOMPARE(graph.barCount(), 1);
    graph.bar(0)->setValue(7, QStringLiteral("x"));
    QCOMPARE(graph.bar(0)->fraction(), 1.0);
}

void TestGraphs::colorSets()
{
    for (ColorSet::Kind kind : {ColorSet::GoalColors, ColorSet::VarColors}) {
        const ColorSet set(kind);
        QVERIFY(set.count() >= 8);
        for (int i = 0; i < set.count(); ++i) {
            for (int j = i + 1; j < set.count(); ++j)
                QVERIFY(set.color(i) != set.color(j));
            // The companion is lighter.
            QVERIFY(set.secondColor(i).lightness() > set.color(i).lightness());
        }
        QCOMPARE(set.color(set.count()), set.color(0));
        QCOMPARE(set.color(-3), set.color(0));
    }
    QVERIFY(ColorSet(ColorSet::GoalColors).color(0) != ColorSet(ColorSet::VarColors).color(0));
}

QTEST_MAIN(TestGraphs)
#include "tst_graphs.moc"
