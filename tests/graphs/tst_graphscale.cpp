// The graphs' scale rules: the iteration-axis tick step, the vertical
// auto-scale (and the history graph following it), value texts, the goal
// plot range.

#include "graphs/graphscale.h"
#include "graphs/graphwidget.h"

#include <QTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(GoalPlotRange)

class TestGraphScale : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tickStep_data();
    void tickStep();
    void autoScaleWindow_data();
    void autoScaleWindow();
    void autoScaleKeepsFixedBoundsAndEmptyRange();
    void logTicks_data();
    void logTicks();
    void logScaleGapsAtZeroAndBelow();
    void parseValue_data();
    void parseValue();
    void goalPlotRange_data();
    void goalPlotRange();
    void goalPlotRangeFallsBack();
};

void TestGraphScale::tickStep_data()
{
    QTest::addColumn<int>("numPointsShown");
    QTest::addColumn<int>("pointCount");
    QTest::addColumn<int>("step");
    QTest::newRow("no points") << 0 << 0 << 0;
    QTest::newRow("7 points") << 0 << 7 << 5;
    QTest::newRow("10 points") << 0 << 10 << 5;
    QTest::newRow("79 points") << 0 << 79 << 10;
    QTest::newRow("500 points") << 0 << 500 << 50;
    QTest::newRow("shown 10 of 1000") << 10 << 1000 << 5;
    QTest::newRow("shown 6 of 1000") << 6 << 1000 << 0;
    QTest::newRow("shown 100 of 3") << 100 << 3 << 10;
    QTest::newRow("80001 points") << 0 << 80001 << 10000;
    QTest::newRow("400000 points: step over 10000") << 0 << 400000 << 0;
}

void TestGraphScale::tickStep()
{
    QFETCH(int, numPointsShown);
    QFETCH(int, pointCount);
    QFETCH(int, step);
    QCOMPARE(GraphScale::iterationTickStep(numPointsShown, pointCount), step);
}

void TestGraphScale::autoScaleWindow_data()
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

void TestGraphScale::autoScaleWindow()
{
    QFETCH(QList<double>, values);
    QFETCH(int, numPointsShown);
    QFETCH(bool, useAllData);
    QFETCH(double, yMin);
    QFETCH(double, yMax);
    double lo = -99, hi = 99;
    QVERIFY(GraphScale::autoScale(values, numPointsShown, useAllData, false, false, lo, hi));
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

void TestGraphScale::autoScaleKeepsFixedBoundsAndEmptyRange()
{
    double lo = -1, hi = 1;
    QVERIFY(GraphScale::autoScale({3, 9}, 0, true, true, false, lo, hi));
    QCOMPARE(lo, -1.0);
    QCOMPARE(hi, 9.0);
    lo = -1;
    hi = 1;
    QVERIFY(!GraphScale::autoScale({3, 9}, 0, true, true, true, lo, hi));
    QCOMPARE(lo, -1.0);
    QCOMPARE(hi, 1.0);
    // Nothing to scan: the range is left as it was.
    QVERIFY(!GraphScale::autoScale({}, 0, true, false, false, lo, hi));
    QVERIFY(!GraphScale::autoScale({std::nan("")}, 0, true, false, false, lo, hi));
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

void TestGraphScale::logTicks_data()
{
    QTest::addColumn<double>("minPositive");
    QTest::addColumn<double>("maxPositive");
    QTest::addColumn<int>("maxTicks");
    QTest::addColumn<QList<double>>("ticks");
    QTest::newRow("demo run, 511 to 0.01") << 0.01 << 511.0 << 8 << QList<double>{0.01, 0.1, 1, 10, 100};
    QTest::newRow("twelve decades, every fifth") << 1e-6 << 1e6 << 4 << QList<double>{1e-5, 1, 1e5};
    QTest::newRow("one decade inside") << 3.0 << 30.0 << 8 << QList<double>{5, 10, 20};
    QTest::newRow("sub-decade") << 2.0 << 8.0 << 8 << QList<double>{2, 5};
    QTest::newRow("between 1-2-5 ticks: the ends") << 2.1 << 2.2 << 8 << QList<double>{2.1, 2.2};
    QTest::newRow("flat: half a decade each way") << 4.0 << 4.0 << 8 << QList<double>{2, 5, 10};
    QTest::newRow("nothing positive: 0.1 to 10") << 0.0 << -3.0 << 8 << QList<double>{0.1, 1, 10};
}

void TestGraphScale::logTicks()
{
    QFETCH(double, minPositive);
    QFETCH(double, maxPositive);
    QFETCH(int, maxTicks);
    QFETCH(QList<double>, ticks);
    const auto [lo, hi] = GraphScale::logRange(minPositive, maxPositive);
    const std::vector<double> got = GraphScale::logTicks(lo, hi, maxTicks);
    QCOMPARE(qsizetype(got.size()), ticks.size());
    for (qsizetype i = 0; i < ticks.size(); ++i)
        QVERIFY2(std::abs(got[size_t(i)] / ticks[i] - 1) < 1e-12, qPrintable(QString::number(got[size_t(i)])));
}

// Log scale: zero and negatives are gaps, never -inf or NaN in range or picture.
void TestGraphScale::logScaleGapsAtZeroAndBelow()
{
    for (int repeat : {1, 4000}) {
        GraphWidget graph;
        graph.resize(240, 120);
        graph.setSeriesColor(0, QColor(Qt::red));
        graph.setLogScale(true);
        QList<double> values;
        for (int i = 0; i < repeat; ++i)
            values << 0 << -3 << 100 << 0.01 << 5;
        graph.setSeries(values);
        QVERIFY(std::abs(graph.yMin() / 0.01 - 1) < 1e-12 && std::abs(graph.yMax() / 100 - 1) < 1e-12);
        QCOMPARE(graph.valueTextAt(1), QStringLiteral("-3"));
        const QImage image = graph.renderPixmap(graph.size()).toImage();
        const QRect plot = graph.plotRectFor(graph.size());
        auto red = [&](int y0, int y1) {
            int n = 0;
            for (int y = y0; y <= y1; ++y)
                for (int x = plot.left(); x <= plot.right(); ++x)
                    n += image.pixelColor(x, y) == QColor(Qt::red);
            return n;
        };
        QVERIFY(red(plot.top(), plot.bottom() - 2) > 0);
        QCOMPARE(red(plot.bottom() - 1, plot.bottom()), 0);
    }
}

void TestGraphScale::parseValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::newRow("plain") << "0.25" << true << 0.25;
    QTest::newRow("suffix") << "10n" << true << 10e-9;
    QTest::newRow("unit") << "10 nH" << true << 10e-9;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("word") << "abc" << false << 0.0;
    QTest::newRow("nan") << "nan" << false << 0.0;
    QTest::newRow("inf") << "inf" << false << 0.0;
    QTest::newRow("overflow") << "1e999" << false << 0.0;
    QTest::newRow("two points") << "1.2.3" << false << 0.0;
}

void TestGraphScale::parseValue()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(double, value);
    const std::optional<double> v = GraphScale::parseValue(text);
    QCOMPARE(v.has_value(), ok);
    if (ok)
        QCOMPARE(*v, value);
}

void TestGraphScale::goalPlotRange_data()
{
    QTest::addColumn<int>("scaling");
    QTest::addColumn<GoalPlotRange>("expected");
    // Limits: x 0..10, y 0..10. Trace: x 5..20, y -10..5.
    QTest::newRow("fit to limit lines") << 0 << GoalPlotRange{0, 10, -0.5, 10.5};
    QTest::newRow("fit to trace") << 1 << GoalPlotRange{5, 20, -10.75, 5.75};
    QTest::newRow("fit to both") << 2 << GoalPlotRange{0, 20, -11, 11};
}

void TestGraphScale::goalPlotRange()
{
    QFETCH(int, scaling);
    QFETCH(GoalPlotRange, expected);
    const GoalPlotRange limits{0, 10, 0, 10};
    const GoalPlotRange trace{5, 20, -10, 5};
    const std::optional<GoalPlotRange> r = GraphScale::goalPlotRange(scaling, limits, trace);
    QVERIFY(r);
    QCOMPARE(r->xMin, expected.xMin);
    QCOMPARE(r->xMax, expected.xMax);
    QVERIFY(qFuzzyCompare(r->yMin, expected.yMin));
    QVERIFY(qFuzzyCompare(r->yMax, expected.yMax));
    // The plotted height is 1.1 times the data height.
    const double dataHeight = scaling == 0 ? 10 : scaling == 1 ? 15 : 20;
    QVERIFY(qFuzzyCompare(r->yMax - r->yMin, 1.1 * dataHeight));
}

void TestGraphScale::goalPlotRangeFallsBack()
{
    const GoalPlotRange trace{1, 2, 3, 5};
    const auto fromTrace = GraphScale::goalPlotRange(0, std::nullopt, trace);
    QVERIFY(fromTrace);
    QCOMPARE(fromTrace->xMin, 1.0);
    QVERIFY(qFuzzyCompare(fromTrace->yMax, 5.1));
    QVERIFY(!GraphScale::goalPlotRange(2, std::nullopt, std::nullopt));
    // A flat range opens by 5 % of its value, or by 0.5 at zero.
    const auto flat = GraphScale::goalPlotRange(1, std::nullopt, GoalPlotRange{0, 1, -20, -20});
    QVERIFY(qFuzzyCompare(flat->yMin, -21.0));
    QVERIFY(qFuzzyCompare(flat->yMax, -19.0));
    const auto zero = GraphScale::goalPlotRange(1, std::nullopt, GoalPlotRange{0, 1, 0, 0});
    QCOMPARE(zero->yMin, -0.5);
    QCOMPARE(zero->yMax, 0.5);
}

QTEST_MAIN(TestGraphScale)
#include "tst_graphscale.moc"
