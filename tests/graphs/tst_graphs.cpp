// The graph primitives: value texts that are not numbers, incremental parsing,
// long histories, goal plot extents and limit descriptions, bar selection.

#include "graphs/bargraph.h"
#include "graphs/goalgraphwidget.h"
#include "graphs/graphaxes.h"
#include "graphs/graphwidget.h"
#include "model/optimhistoryvalues.h"
#include "../window/windowtestsupport.h"

#include <QClipboard>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <limits>

Q_DECLARE_METATYPE(GoalPlotRange)

namespace {

// Counts pixels of a pure colour in a row band of an image.
int countColour(const QImage &image, const QColor &colour, int y0, int y1, int x0 = 0, int x1 = -1)
{
    if (x1 < 0)
        x1 = image.width() - 1;
    int n = 0;
    for (int y = std::max(0, y0); y <= std::min(image.height() - 1, y1); ++y) {
        for (int x = std::max(0, x0); x <= std::min(image.width() - 1, x1); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += std::abs(c.red() - colour.red()) < 40 && std::abs(c.green() - colour.green()) < 40 && std::abs(c.blue() - colour.blue()) < 40;
        }
    }
    return n;
}

OptimTraceFamily family(const QList<double> &x, const QList<double> &y)
{
    OptimTraceFamily f;
    f.setIndepVar(OptimTraceVar(QStringLiteral("freq"), QStringLiteral("GHz")));
    OptimTrace t;
    t.xValues().values() = x;
    t.yValues().values() = y;
    f.traces().append(t);
    return f;
}

OptimGoalInput goalWithLimit(int type, const QString &first, const QString &second = {}, const QString &lower = {},
                             const QString &upper = {}, const QString &var = QStringLiteral("freq"), const QString &units = QStringLiteral("GHz"))
{
    OptimGoalInput goal;
    goal.setName(QStringLiteral("G1"));
    goal.addIndepVar(var);
    goal.setIndepVarUnit(0, units);
    OptimGoalLimitInput limit;
    limit.setName(QStringLiteral("L1"));
    limit.setLimit(type, first, second);
    limit.setWeight(QStringLiteral("2"));
    if (!lower.isEmpty() || !upper.isEmpty())
        limit.ranges().append(OptimGoalRange(0, lower, upper));
    goal.limits().append(limit);
    return goal;
}

// The contrast (as in WCAG) between the darkest opaque pixel in rect and white.
double darkestContrast(const QImage &image, const QRect &rect)
{
    auto channel = [](int v) { const double c = v / 255.0; return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    double lowest = 1;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 200) // text drawn on the transparent margin keeps its colour
                lowest = std::min(lowest, 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue()));
        }
    }
    return 1.05 / (lowest + 0.05);
}
// The rows of text in the left margin of a history graph: runs of rows with a dark pixel there.
int marginTextRows(const GraphWidget &graph)
{
    const QImage image = graph.renderPixmap(graph.size()).toImage();
    int runs = 0;
    bool inRun = false;
    for (int y = 0; y < image.height(); ++y) {
        bool dark = false;
        for (int x = 0; x < graph.plotRect().left() - 1; ++x)
            dark |= image.pixelColor(x, y).alpha() > 100 && image.pixelColor(x, y).lightness() < 100;
        runs += dark && !inRun;
        inRun = dark;
    }
    return runs;
}

QList<double> yRange(const GraphWidget &graph) { return {graph.yMin(), graph.yMax()}; }
QList<double> box(const GoalPlotRange &r) { return {r.xMin, r.xMax, r.yMin, r.yMax}; }
// Whether two values of a plot agree to a millionth of the range shown.
bool sameValue(const std::optional<QPointF> &a, const QPointF &b, const GoalPlotRange &r)
{
    return a && std::abs(a->x() - b.x()) < 1e-6 * (r.xMax - r.xMin) && std::abs(a->y() - b.y()) < 1e-6 * (r.yMax - r.yMin);
}
void sendMouse(QWidget *w, QEvent::Type type, const QPointF &pos)
{
    QMouseEvent event(type, pos, w->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

} // namespace

class TestGraphs : public QObject
{
    Q_OBJECT

    IsolatedSettings m_settings;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_settings.isValid()); }


    void unparsableTextsAreGaps()
    {
        GraphWidget graph;
        graph.setSeries(QStringList{"4", "abc", "", "nan", "2", "inf", "3", "  "});
        QCOMPARE(graph.pointCount(), 8);
        QCOMPARE(yRange(graph), QList<double>({2.0, 4.0}));
        for (int i : {1, 2, 3, 5, 7}) {
            QVERIFY2(!graph.valueAt(i).has_value(), qPrintable(QString::number(i)));
            QVERIFY(graph.valueTextAt(i).isEmpty());
        }
        QCOMPARE(graph.valueAt(4), std::optional<double>(2.0));
        QCOMPARE(graph.valueTextAt(6), QStringLiteral("3"));
    }
    void gapsNeverDrawAtZero()
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
    void historyTextsWithUnits()
    {
        // A history with units is read through its texts, on from the part
        // already read; a replaced last entry is read again.
        GraphWidget graph;
        OptimHistoryValues history(QStringList{"10 nH", "abc", "12"});
        graph.setSeries(history);
        QCOMPARE(QList<std::optional<double>>({graph.valueAt(0), graph.valueAt(1), graph.valueAt(2)}),
                 QList<std::optional<double>>({1e-8, std::nullopt, 12.0}));
        history.removeLast();
        history << QStringLiteral("2 pF") << QStringLiteral("3");
        graph.setSeries(history);
        QCOMPARE(QList<std::optional<double>>({graph.valueAt(2), graph.valueAt(3)}), QList<std::optional<double>>({2e-12, 3.0}));
        QCOMPARE(graph.pointCount(), 4);
    }
    void doublesWithNaN()
    {
        GraphWidget graph;
        const double nan = std::numeric_limits<double>::quiet_NaN();
        graph.setSeries(QList<double>{1, nan, 3, std::numeric_limits<double>::infinity()});
        QCOMPARE(graph.pointCount(), 4);
        QVERIFY(!graph.valueAt(1) && !graph.valueAt(3));
        QCOMPARE(yRange(graph), QList<double>({1.0, 3.0}));
        // Appending keeps the parsed prefix and adds the new values.
        graph.setSeries(QList<double>{1, nan, 3, std::numeric_limits<double>::infinity(), -4});
        QCOMPARE(graph.yMin(), -4.0);
        // A changed value in front is taken, not ignored.
        graph.setSeries(QList<double>{9, nan, 3, std::numeric_limits<double>::infinity(), -4});
        QCOMPARE(graph.valueAt(0), std::optional<double>(9.0));
        QCOMPARE(graph.yMax(), 9.0);
        // Shorter, its last value replaced: the lost tail goes.
        graph.setSeries(QList<double>{9, nan, 5});
        QCOMPARE(graph.pointCount(), 3);
        QCOMPARE(yRange(graph), QList<double>({5.0, 9.0}));
    }
    void appendedPointsDrawLikeFullRedraw_data()
    {
        QTest::addColumn<int>("shown");
        QTest::addColumn<bool>("log");
        QTest::addColumn<int>("gapEvery");
        QTest::addColumn<int>("points");
        QTest::newRow("show all") << 0 << false << 0 << 30;
        QTest::newRow("axis follows the run") << -1 << false << 0 << 1040;
        QTest::newRow("last 25") << 25 << false << 0 << 40;
        QTest::newRow("log scale") << 60 << true << 0 << 50;
        QTest::newRow("gaps") << 60 << false << 5 << 50;
        QTest::newRow("dense with gaps") << 1200 << false << 13 << 1000;
        QTest::newRow("show all, axis grows in steps from 1000") << 0 << false << 7 << 1040;
    }
    void appendedPointsDrawLikeFullRedraw()
    {
        QFETCH(int, shown);
        QFETCH(bool, log);
        QFETCH(int, gapEvery);
        QFETCH(int, points);
        GraphWidget graph;
        graph.resize(240, 110);
        graph.setNumPointsShown(shown);
        graph.setLogScale(log);
        QList<double> values{0.01, 100}; // the range: the values appended stay inside it
        graph.setSeries(values);
        graph.setSeries(QList<double>{50}, 1);
        graph.cachedPixmap();
        const int redraws = graph.renderCount();
        for (int i = 0; i < points; ++i) {
            values.append(gapEvery && i % gapEvery == 3 ? std::nan("") : 1 + 40 * (1 + std::sin(i * 0.7)));
            graph.setSeries(values);
            if (shown < 0)
                graph.setNumPointsShown(int(values.size()), true);
            const QImage shownImage = graph.cachedPixmap().toImage();
            QCOMPARE(shownImage, graph.renderPixmap(graph.size()).toImage());
        }
        // No full redraw while the first shown point stays the same.
        if (shown <= 0 || shown > points + 2)
            QCOMPARE(graph.renderCount(), redraws + points);
    }
    // Grid lines are filled where that lights the pixels a one-pixel line
    // would: the same image as drawLine gives, in every painter state.
    void gridLinesLightTheLinesPixels_data()
    {
        QTest::addColumn<bool>("antialiased");
        QTest::addColumn<QTransform>("transform");
        QTest::addColumn<QPen>("pen");
        const QColor grid(0, 0, 0, 28);
        QTest::newRow("plain") << false << QTransform() << QPen(grid);
        QTest::newRow("moved by whole pixels") << false << QTransform::fromTranslate(3, 7) << QPen(grid);
        QTest::newRow("moved by half a pixel") << false << QTransform::fromTranslate(0.5, 0.5) << QPen(grid);
        QTest::newRow("antialiased") << true << QTransform() << QPen(grid);
        QTest::newRow("scaled twice") << false << QTransform::fromScale(2, 2) << QPen(grid);
        QTest::newRow("cosmetic pen") << false << QTransform() << QPen(grid, 0);
        QTest::newRow("flat cap") << false << QTransform() << QPen(grid, 1, Qt::SolidLine, Qt::FlatCap);
        QTest::newRow("half a pixel wide") << false << QTransform() << QPen(grid, 0.5);
    }
    void gridLinesLightTheLinesPixels()
    {
        QFETCH(bool, antialiased);
        QFETCH(QTransform, transform);
        QFETCH(QPen, pen);
        const QRect plot(20, 4, 260, 140);
        const QColor grid = pen.color();
        const std::vector<GraphAxes::ValueTick> ticks{{4, QString()}, {57.4, QString()}, {143, QString()}};
        QImage shown(640, 320, QImage::Format_ARGB32_Premultiplied);
        QImage expected = shown;
        for (QImage *image : {&shown, &expected}) {
            image->fill(Qt::white);
            QPainter painter(image);
            painter.setRenderHint(QPainter::Antialiasing, antialiased);
            painter.setTransform(transform);
            painter.setPen(pen);
            if (image == &shown) {
                GraphAxes::drawVerticalGridLine(painter, plot, 100.3);
                GraphAxes::drawValueTicks(painter, QFontMetrics(QFont()), plot, 150, ticks, grid, Qt::black, false);
                continue;
            }
            painter.drawLine(QPointF(100.5, plot.top()), QPointF(100.5, plot.bottom()));
            painter.setPen(grid);
            for (const GraphAxes::ValueTick &t : ticks)
                painter.drawLine(QPointF(plot.left(), std::round(t.y) + 0.5), QPointF(plot.right(), std::round(t.y) + 0.5));
        }
        QVERIFY(shown != QImage(640, 320, QImage::Format_ARGB32_Premultiplied));
        QCOMPARE(shown, expected);
    }
    void valueAxisLabels()
    {
        // An empty graph has no scale to label; a small one labels a round
        // value between its ends, inside the margin.
        GraphWidget graph;
        const QFontMetrics fm(GraphAxes::labelFont(graph.font()));
        graph.resize(240, fm.height() * 7 / 2 + 19); // room for a label between the ends, not for three at nice steps
        graph.setValueUnits(QStringLiteral("F"));
        QCOMPARE(marginTextRows(graph), 0);
        graph.setSeries(QList<double>{0.001, 100, 98.987});
        QVERIFY(marginTextRows(graph) >= 3);
        // A narrow graph keeps room for its widest label.
        graph.resize(120, 64);
        graph.setValueUnits(QStringLiteral("Ohm"));
        graph.setSeries(QList<double>{98987, 99200});
        const int widest = fm.horizontalAdvance(graph.formatValue(98987, 4));
        QVERIFY2(widest + 4 > graph.width() / 2 && graph.plotRect().left() >= widest + 4, qPrintable(QString::number(widest)));
    }
    void captionsAreReadable()
    {
        GoalGraphWidget plot;
        plot.resize(320, 200);
        OptimGoalInput goal = goalWithLimit(LimitLessThan, "-20");
        goal.setExpression(QStringLiteral("dB(S21)"));
        plot.setGoal(goal);
        plot.setTraces(family({1e9, 2e9}, {0, -10}));
        plot.setValueText(QStringLiteral("0"));
        const QImage image = plot.renderPixmap(plot.size()).toImage();
        const QRect r = plot.plotRectFor(plot.size());
        const QFontMetrics fm(GraphAxes::labelFont(plot.font()));
        QFont boldFont = plot.font();
        boldFont.setBold(true);
        const QFontMetrics bold(boldFont);
        // The value axis title along the left edge, the swept variable's name
        // right of its labels, the result beside the goal's name.
        for (const QRect &caption : {QRect(0, r.top(), fm.height() - 2, r.height()),
                                     QRect(plot.width() - fm.horizontalAdvance("freq") - 4, r.bottom() + 3, fm.horizontalAdvance("freq"), fm.height()),
                                     QRect(12 + bold.horizontalAdvance("G1"), 1, fm.horizontalAdvance("error 0"), bold.height())}) {
            const double contrast = darkestContrast(image, caption);
            QVERIFY2(contrast >= 4.5, qPrintable(QString::number(contrast)));
        }
        // In a small plot the legend gives way to the whole result.
        plot.setValueText(QStringLiteral("0.123456"));
        plot.setStale(true);
        QCOMPARE(plot.headerDetailFor(QSize(200, 120)), QStringLiteral("error 0.123456 (stale)"));
    }
    void incrementalParsing()
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
        QCOMPARE(yRange(graph), QList<double>({-7.0, 999.0}));
        // Shorter: the lost tail goes, the scale with it.
        history = history.mid(0, 500);
        graph.setSeries(history);
        QCOMPARE(graph.pointCount(), 500);
        QCOMPARE(yRange(graph), QList<double>({0.0, 499.0}));
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
    void denseHistoryKeepsSpikes()
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
        QCOMPARE(yRange(graph), QList<double>({-100.0, 100.0}));
        const QImage image = graph.renderPixmap(graph.size()).toImage();
        const QRect plot = graph.plotRectFor(graph.size());
        QVERIFY(countColour(image, Qt::red, plot.top() + 1, plot.top() + 5, plot.left(), plot.right()) > 0);
        QVERIFY(countColour(image, Qt::red, plot.bottom() - 5, plot.bottom() - 1, plot.left(), plot.right()) > 0);
        // The spike is where its iteration is: about 62 % across.
        const int spikeX = plot.left() + int(0.617 * plot.width());
        QVERIFY(countColour(image, Qt::red, plot.top() + 1, plot.top() + 5, spikeX - 4, spikeX + 4) > 0);
    }
    void tooltipNamesIterationAndValue()
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
    void shownWindow()
    {
        GraphWidget graph;
        QStringList texts;
        for (int i = 0; i < 40; ++i)
            texts << QString::number(i);
        graph.setSeries(texts);
        QCOMPARE(QList<int>({graph.firstShownIndex(), graph.shownCount()}), QList<int>({0, 40}));
        graph.setNumPointsShown(25);
        QCOMPARE(QList<int>({graph.firstShownIndex(), graph.shownCount()}), QList<int>({15, 25}));
        graph.setNumPointsShown(101);
        QCOMPARE(QList<int>({graph.firstShownIndex(), graph.shownCount()}), QList<int>({0, 40}));
        // Two series of different lengths: the window follows the longer one.
        graph.setSeries(QStringList{"1"}, 1);
        QCOMPARE(graph.seriesCount(), 2);
        graph.setNumPointsShown(10);
        QCOMPARE(graph.firstShownIndex(), 30);
    }

    void limitExtentReadsRangesInUnits()
    {
        // A bare range bound is read in the variable's units (GHz), so it meets
        // the traces' abscissae in hertz.
        const OptimTraceFamily traces = family({1e8, 2e9, 3e9}, {0, -10, -30});
        const OptimGoalInput goal = goalWithLimit(LimitInside, "-3", "-1", "0.5", "1.5");
        const auto extent = GoalGraphWidget::limitExtent(goal, traces);
        QVERIFY(extent);
        QCOMPARE(box(*extent), QList<double>({0.5e9, 1.5e9, -3.0, -1.0}));
        // An open upper end reaches to the trace's extent; a bound with its own
        // unit is read on its own.
        const OptimGoalInput open = goalWithLimit(LimitLessThan, "-20", QString(), "2000 MHz", QString());
        const auto openExtent = GoalGraphWidget::limitExtent(open, traces);
        QCOMPARE(QList<double>({openExtent->xMin, openExtent->xMax}), QList<double>({2e9, 3e9}));
        QCOMPARE(GoalGraphWidget::limitXSpan(open, 0, traces).first, 2e9);
        QVERIFY(std::isinf(GoalGraphWidget::limitXSpan(open, 0, traces).second));
        // Without a range and without traces: a unit span, the value as height.
        const OptimGoalInput bare = goalWithLimit(LimitGreaterThan, "4");
        const auto bareExtent = GoalGraphWidget::limitExtent(bare, OptimTraceFamily());
        QCOMPARE(box(*bareExtent), QList<double>({0, 1, 4, 4}));
        // A limit whose value is not a number adds nothing.
        const OptimGoalInput bad = goalWithLimit(LimitGreaterThan, "abc");
        QVERIFY(!GoalGraphWidget::limitExtent(bad, traces));
        // Scaling 0 fits x to the limit lines; y still holds the trace there (-7.37 at 1.5 GHz).
        GoalGraphWidget plot;
        plot.setGoal(goal);
        plot.setTraces(traces);
        plot.setXAxisScaling(GoalGraphWidget::FitToLimitLines);
        QCOMPARE(QList<double>({plot.plotRange()->xMin, plot.plotRange()->xMax}), QList<double>({0.5e9, 1.5e9}));
        QVERIFY(plot.plotRange()->yMin < -10.0 / 1.9 * 1.4 && plot.plotRange()->yMax > -1);
        plot.setXAxisScaling(GoalGraphWidget::FitToTrace);
        QCOMPARE(plot.plotRange()->xMax, 3e9);
        QVERIFY(qFuzzyCompare(plot.plotRange()->yMin, -31.5));
        plot.setXAxisScaling(GoalGraphWidget::FitToTraceAndLimitLines);
        QCOMPARE(plot.plotRange()->xMin, 1e8);
        QVERIFY(qFuzzyCompare(plot.plotRange()->yMax, 1.5));
        // New traces are measured anew, not taken for the old ones.
        plot.setXAxisScaling(GoalGraphWidget::FitToTrace);
        plot.setTraces(family({1e8, 2e9, 6e9}, {0, -10, -60}));
        QCOMPARE(plot.plotRange()->xMax, 6e9);
    }
    void traceExtentSkipsNonFinite()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const auto extent = GoalGraphWidget::traceExtent(family({1, 2, nan, 4}, {5, nan, 100, -1}));
        QVERIFY(extent);
        QCOMPARE(box(*extent), QList<double>({1.0, 4.0, -1.0, 5.0}));
        QVERIFY(!GoalGraphWidget::traceExtent(OptimTraceFamily()) && !GoalGraphWidget::traceExtent(family({nan}, {1})));
    }
    void limitDescriptionText()
    {
        OptimGoalInput goal = goalWithLimit(LimitGreaterThan, "-1", QString(), "0.1", "1");
        OptimGoalLimitInput second;
        second.setOutside(QStringLiteral("-3"), QStringLiteral("3"));
        second.ranges().append(OptimGoalRange(0, QString(), QStringLiteral("2")));
        goal.limits().append(second);
        QCOMPARE(GoalGraphWidget::limitDescription(goal),
                 QStringLiteral("<b>G1</b>"
                                "<br>&nbsp;&nbsp;&nbsp;&nbsp;<b>L1:</b>&nbsp;response&nbsp;&gt;&nbsp;-1,&nbsp;100&nbsp;MHz&nbsp;&lt;&nbsp;freq"
                                "&nbsp;&lt;&nbsp;1&nbsp;GHz,&nbsp;Weight&nbsp;=&nbsp;2"
                                "<br>&nbsp;&nbsp;&nbsp;&nbsp;<b>Limit&nbsp;2:</b>&nbsp;response&nbsp;&lt;&nbsp;-3&nbsp;OR&nbsp;&nbsp;"
                                "response&nbsp;&gt;&nbsp;3,&nbsp;freq&nbsp;&lt;&nbsp;2&nbsp;GHz"));
        // Every blank is replaced: none is left in the finished text.
        QVERIFY(!GoalGraphWidget::limitDescription(goal).contains(QLatin1Char(' ')));
        GoalGraphWidget plot;
        plot.resize(300, 200);
        goal.setExpression(QStringLiteral("dB(S21)"));
        plot.setGoal(goal);
        QVERIFY(plot.toolTipTextAt(QPoint(2, 2)).contains(GoalGraphWidget::limitDescription(goal)));
        QCOMPARE(plot.valueAxisCaption(), QStringLiteral("dB(S21)"));
    }
    void sweptAxisUnits_data()
    {
        QTest::addColumn<QString>("var");
        QTest::addColumn<QString>("stated"); // the goal's unit for it
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("upper");
        QTest::addColumn<QString>("units");
        QTest::addColumn<QString>("range"); // as the limit description writes it
        QTest::newRow("frequency") << "freq" << "" << "1e8" << "1e9" << "Hz" << "100 MHz < freq < 1 GHz";
        QTest::newRow("time") << "time" << "" << "0.002" << "0.01" << "s" << "2 ms < time < 10 ms";
        QTest::newRow("voltage source") << "v1" << "" << "0.5" << "2" << "V" << "500 mV < v1 < 2 V";
        QTest::newRow("current source") << "Ibias" << "" << "0.001" << "0.002" << "A" << "1 mA < Ibias < 2 mA";
        QTest::newRow("other") << "temp" << "" << "20" << "80" << "" << "20 < temp < 80";
        QTest::newRow("stated unit wins") << "v1" << "mV" << "500" << "" << "mV" << "500 mV < v1,";
    }
    void sweptAxisUnits()
    {
        QFETCH(QString, var);
        QFETCH(QString, stated);
        QFETCH(QString, lower);
        QFETCH(QString, upper);
        QFETCH(QString, range);
        const OptimGoalInput goal = goalWithLimit(LimitGreaterThan, "0", QString(), lower, upper, var, stated);
        GoalGraphWidget plot;
        plot.resize(300, 200);
        plot.setGoal(goal);
        OptimTraceFamily traces = family({0.0015, 0.005}, {1, 2});
        traces.setIndepVar(OptimTraceVar(var, QString()));
        plot.setTraces(traces);
        QTEST(plot.sweptAxisUnits(), "units");
        QVERIFY2(GoalGraphWidget::limitDescription(goal).contains(QString(range).replace(' ', "&nbsp;").replace('<', "&lt;")),
                 qPrintable(GoalGraphWidget::limitDescription(goal)));
        QVERIFY(!plot.isScalar());
    }
    void scalarGoalShowsValueAgainstLimit()
    {
        // An operating-point value: no independent variable, one value per trace.
        OptimGoalInput goal = goalWithLimit(LimitLessThan, "0.012");
        goal.removeIndepVar(0);
        goal.setExpression(QStringLiteral("I(VDD)"));
        OptimTraceFamily traces = family({0}, {0.0105});
        traces.setIndepVar(OptimTraceVar());
        GoalGraphWidget plot;
        plot.resize(320, 200);
        plot.setColor(QColor(0, 0, 255));
        plot.setGoal(goal);
        QVERIFY(plot.isScalar() && plot.plotRange()); // before a value: the limit alone
        plot.setTraces(traces);
        QVERIFY(plot.isScalar());
        QCOMPARE(plot.legendEntries().first(), QStringLiteral("value"));
        // The value axis runs along x over the value and the limit, 10 % more each side.
        const GoalPlotRange range = *plot.plotRange();
        QVERIFY(qFuzzyCompare(range.xMin, 0.01035) && qFuzzyCompare(range.xMax, 0.01215) && range.yMin == 0 && range.yMax == 1);
        const QString tip = plot.toolTipTextAt(QPoint(5, 5));
        QVERIFY2(tip.contains("I(VDD) = <b>0.0105</b>") && tip.contains("met (margin 0.0015)")
                     && tip.contains("response&nbsp;&lt;&nbsp;0.012"), qPrintable(tip));
        // The limit a line across the plot at 0.012, the value a marker in the goal's colour at 0.0105.
        const QImage image = plot.renderPixmap(plot.size()).toImage();
        const QRect r = plot.plotRectFor(plot.size());
        auto xOf = [&](double v) { return int(std::round(r.left() + 1 + (v - 0.01035) * (r.width() - 2) / 0.0018)); };
        QVERIFY(countColour(image, QColor(165, 25, 25), r.top() + 5, r.top() + 10, xOf(0.012) - 2, xOf(0.012) + 2) > 8);
        QVERIFY(countColour(image, QColor(0, 0, 255), r.center().y() - 3, r.center().y() + 3, xOf(0.0105) - 3, xOf(0.0105) + 3) > 10);
        QCOMPARE(countColour(image, QColor(0, 0, 255), r.top(), r.bottom(), xOf(0.0115), xOf(0.0119)), 0);
        // Beside a result the legend still names the hollow initial marker.
        goal.setName(QStringLiteral("SupplyCurrent"));
        plot.setGoal(goal);
        plot.setInitialTraces(family({0}, {0.0118}));
        plot.setValueText(QStringLiteral("0"));
        QCOMPARE(plot.legendEntries(), QStringList({"value", "limit", "initial"}));
        QCOMPARE(plot.legendEntriesShown(QSize(280, 200)), 3);
        // A long expression is shortened to a third of the width, whole in the tooltip.
        const QString longName = QStringLiteral("meas tran RiseTime TRIG v(out) VAL=0.1 RISE=1 TARG v(out) VAL=0.9 RISE=1 ").repeated(2);
        goal.setExpression(longName);
        plot.setGoal(goal);
        const QFontMetrics fm(GraphAxes::labelFont(plot.font()));
        QVERIFY(plot.sweptAxisCaption() != longName && fm.horizontalAdvance(plot.sweptAxisCaption()) <= plot.width() / 3);
        QVERIFY(plot.toolTipTextAt(QPoint(5, 5)).contains(longName.trimmed().toHtmlEscaped()));
        // A value without an abscissa reads the same; two values in one trace are a curve.
        traces.traces()[0].xValues().values().clear();
        QCOMPARE(GoalGraphWidget::scalarValues(goal, traces), std::optional(std::vector<double>{0.0105}));
        traces.traces()[0].yValues().values().append(0.011);
        QVERIFY(!GoalGraphWidget::scalarValues(goal, traces) && !GoalGraphWidget::isScalarGoal(goal, traces));
    }
    void limitDescriptionEscapes()
    {
        OptimGoalInput goal = goalWithLimit(LimitLessThan, "1<2");
        goal.setName(QStringLiteral("a&b"));
        const QString text = GoalGraphWidget::limitDescription(goal);
        QVERIFY(text.startsWith(QStringLiteral("<b>a&amp;b</b>")));
        QVERIFY(text.contains(QStringLiteral("response&nbsp;&lt;&nbsp;1&lt;2")));
    }
    void frequencySweepByDecadesIsLogScaled()
    {
        // 10 Hz to 100 kHz at ten points a decade: log10 spaced evenly; a
        // linear 10 MHz to 3 GHz sweep is not.
        QList<double> decades, linear, y;
        for (int i = 0; i <= 40; ++i) {
            decades << 10 * std::pow(10.0, i / 10.0);
            linear << 1e7 + i * (3e9 - 1e7) / 40;
            y << -i;
        }
        GoalGraphWidget plot;
        plot.resize(400, 200);
        plot.setGoal(goalWithLimit(LimitLessThan, "-20", QString(), "10", "100", "freq", "Hz"));
        plot.setTraces(family(decades, y));
        QVERIFY(plot.sweptAxisIsLog());
        // A pixel column reads back its frequency; the geometric middle 1 kHz lies in the middle.
        const QRect r = plot.plotRect();
        const double mid = plot.valueAt(QPointF(r.left() + 1 + (r.width() - 2) / 2.0, r.center().y()))->x();
        QVERIFY2(mid > 0.9 * std::sqrt(plot.plotRange()->xMin * plot.plotRange()->xMax) && mid < 1.1 * std::sqrt(plot.plotRange()->xMin * plot.plotRange()->xMax), qPrintable(QString::number(mid)));
        // Zooming keeps the range positive.
        plot.zoomAt(QPointF(r.left() + 5, r.center().y()), 4.0, 1.0);
        QVERIFY(plot.shownRange()->xMin > 0);
        plot.setTraces(family(linear, y));
        QVERIFY(!plot.sweptAxisIsLog());
    }
    void goalGraphDrawsLimitLine()
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
        // Far more points than pixel columns: the ends, a one-point spike and
        // a one-point dip all still drawn.
        QList<double> xs, ys;
        for (int i = 0; i <= 4000; ++i) {
            xs.append(1e9 + i * 0.75e6);
            ys.append(i == 0 || i == 2500 ? -40 : i == 1500 || i == 4000 ? 0 : -10);
        }
        plot.setTraces(family(xs, ys));
        const QImage dense = plot.renderPixmap(plot.size()).toImage();
        auto yOf = [&](double v) { return int(std::round(pt + (range.yMax - v) * ph / (range.yMax - range.yMin))); };
        for (const auto &[at, v] : {std::pair{1e9, -40.0}, {2.125e9, 0.0}, {2.875e9, -40.0}, {4e9, 0.0}})
            QVERIFY2(countColour(dense, QColor(0, 0, 255), yOf(v) - 2, yOf(v) + 2, xOf(at) - 2, xOf(at) + 2) > 0, qPrintable(QString::number(at)));
    }
    void goalPlotZoomAndPan_data()
    {
        QTest::addColumn<int>("delta"); // of the wheel, in eighths of a degree
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QList<double>>("spanRatios"); // swept, value axis
        QTest::newRow("in") << 120 << 0 << QList<double>{0.8, 0.8};
        QTest::newRow("out") << -240 << 0 << QList<double>{1.5625, 1.5625};
        QTest::newRow("shift: swept axis") << 120 << int(Qt::ShiftModifier) << QList<double>{0.8, 1.0};
        QTest::newRow("ctrl: value axis") << 120 << int(Qt::ControlModifier) << QList<double>{1.0, 0.8};
    }
    void goalPlotZoomAndPan()
    {
        QFETCH(int, delta);
        QFETCH(int, modifiers);
        QFETCH(QList<double>, spanRatios);
        GoalGraphWidget plot;
        plot.resize(320, 200);
        plot.setGoal(goalWithLimit(LimitLessThan, "-20", QString(), "2", "3"));
        plot.setTraces(family({1e9, 2e9, 3e9, 4e9}, {0, -10, -30, -40}));
        const GoalPlotRange before = *plot.shownRange();
        const QPointF at = QRectF(plot.plotRect()).center() + QPointF(40, 25);
        const QPointF value = *plot.valueAt(at);
        QWheelEvent wheel(at, plot.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::KeyboardModifiers(modifiers), Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&plot, &wheel);
        const GoalPlotRange zoomed = *plot.shownRange();
        QVERIFY(qFuzzyCompare((zoomed.xMax - zoomed.xMin) / (before.xMax - before.xMin), spanRatios[0]));
        QVERIFY(qFuzzyCompare((zoomed.yMax - zoomed.yMin) / (before.yMax - before.yMin), spanRatios[1]));
        QVERIFY(sameValue(plot.valueAt(at), value, zoomed));
        // A new iteration keeps the zoom; a drag pans it, the grabbed values under the cursor.
        plot.setTraces(family({1e9, 2e9, 3e9, 4e9}, {5, -10, -30, -60}));
        QCOMPARE(box(*plot.shownRange()), box(zoomed));
        sendMouse(&plot, QEvent::MouseButtonPress, at);
        sendMouse(&plot, QEvent::MouseMove, at + QPointF(30, 20));
        sendMouse(&plot, QEvent::MouseButtonRelease, at + QPointF(30, 20));
        QVERIFY(plot.shownRange()->xMin < zoomed.xMin && plot.shownRange()->yMin > zoomed.yMin);
        QVERIFY(sameValue(plot.valueAt(at + QPointF(30, 20)), value, zoomed));
        QVERIFY(plot.imageMenu()->actions().at(3)->isEnabled());
        sendMouse(&plot, QEvent::MouseButtonDblClick, at);
        QVERIFY(!plot.isZoomed());
        QCOMPARE(box(*plot.shownRange()), box(*plot.plotRange()));
    }
    void goalPlotBackgroundLayer_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<int>("backgrounds"); // made again for it (else the range was kept)
        QTest::addColumn<QList<double>>("ys"); // of new traces
        QTest::newRow("new traces, same range") << 0 << 0 << QList<double>{0, -20, -5, -40};
        QTest::newRow("new result") << 1 << 0 << QList<double>{};
        QTest::newRow("zoom") << 2 << 1 << QList<double>{};
        QTest::newRow("new initial traces") << 4 << 1 << QList<double>{};
        QTest::newRow("traces move a little: range held") << 0 << 0 << QList<double>{-1, -10, -30, -39};
        QTest::newRow("traces grow beyond it: new range") << 0 << 1 << QList<double>{5, -10, -30, -40};
        QTest::newRow("traces shrink below 85 %: new range") << 0 << 1 << QList<double>{-5, -10, -30, -35};
        QTest::newRow("zoom and back: held range dropped") << 3 << 1 << QList<double>{-1, -10, -30, -39};
        QTest::newRow("initial traces hidden and back: the layer before") << 5 << 1 << QList<double>{};
        QTest::newRow("a long result moves the legend, a short one leaves it") << 6 << 1 << QList<double>{};
        QTest::newRow("after a run of changes, results alternating in width: legend and layer stay") << 7 << 4 << QList<double>{};
    }
    void goalPlotBackgroundLayer()
    {
        QFETCH(int, change);
        QFETCH(int, backgrounds);
        QFETCH(QList<double>, ys);
        GoalGraphWidget plot;
        plot.resize(320, 200);
        plot.setGoal(goalWithLimit(LimitLessThan, "-20", QString(), "2", "3"));
        plot.setTraces(family({1e9, 2e9, 3e9, 4e9}, {0, -10, -30, -40}));
        plot.setInitialTraces(family({1e9, 2e9, 3e9, 4e9}, {-5, -15, -25, -35}));
        plot.shownPixmap(); // drawn in one go
        plot.setValueText(QStringLiteral("0.5"));
        plot.shownPixmap(); // the same background: kept from now on
        const int before = plot.backgroundRenderCount();
        if (!ys.isEmpty())
            plot.setTraces(family({1e9, 2e9, 3e9, 4e9}, ys));
        if (change == 1)
            plot.setValueText(QStringLiteral("0.25"));
        else if (change == 6)
            plot.setValueText(QStringLiteral("0.1234567890123456789012345"));
        if (change == 6)
            QVERIFY(plot.legendEntriesShown(plot.size()) < plot.legendEntries().size());
        else if (change == 2 || change == 3)
            plot.zoomAt(QRectF(plot.plotRect()).center(), 0.8, 0.8);
        else if (change == 4)
            plot.setInitialTraces(family({1e9, 2e9, 3e9, 4e9}, {-1, -11, -21, -31}));
        if (change == 5) { // traces that match the initial ones hide them, then they show again
            plot.setTraces(family({1e9, 2e9, 3e9, 4e9}, {-5, -15, -25, -35}));
            QCOMPARE(plot.shownPixmap().toImage(), plot.renderPixmap(plot.size()).toImage());
            plot.setTraces(family({1e9, 2e9, 3e9, 4e9}, {0, -10, -30, -40}));
        }
        if (change == 3)
            plot.resetZoom();
        if (change == 7) { // two zoom steps and back, then results alternating in width
            for (const double f : {0.8, 0.8, 0.0}) {
                f > 0 ? plot.zoomAt(QRectF(plot.plotRect()).center(), f, f) : plot.resetZoom();
                plot.shownPixmap();
            }
            for (const char *text : {"0.1234567890123456789012345", "0.5", "0.1234567890123456789012345", "0.5"}) {
                plot.setValueText(QString::fromLatin1(text));
                QCOMPARE(plot.shownPixmap().toImage(), plot.renderPixmap(plot.size()).toImage());
            }
        }
        QCOMPARE(plot.shownPixmap().toImage(), plot.renderPixmap(plot.size()).toImage());
        QCOMPARE(plot.backgroundRenderCount() - before, backgrounds);
        // The next result over the same background copies the layer.
        plot.setValueText(QStringLiteral("0.125"));
        QCOMPARE(plot.shownPixmap().toImage(), plot.renderPixmap(plot.size()).toImage());
        QCOMPARE(plot.backgroundRenderCount() - before, backgrounds);
        // A narrower result leaves the legend as the longest one left it.
        if (change >= 6)
            QVERIFY(plot.legendEntriesShown(plot.size()) < plot.legendEntries().size());
        const GoalPlotRange now = *plot.plotRange(), computed = *GraphScale::goalPlotRange(2,
            GoalGraphWidget::limitExtent(plot.goal(), plot.traces()), GoalGraphWidget::traceExtent(plot.traces()));
        QVERIFY(backgrounds ? now == computed : now.yMin <= computed.yMin && computed.yMax <= now.yMax && now.xMin == computed.xMin);
    }
    void goalPlotImageMenu()
    {
        GoalGraphWidget plot;
        const QList<QAction *> actions = plot.imageMenu()->actions();
        QCOMPARE(QStringList({actions[0]->text(), actions[1]->text(), actions[3]->text()}), QStringList({"Copy Image", "Save Image...", "Reset Zoom"}));
        QVERIFY(!actions[1]->isEnabled() && !actions[3]->isEnabled()); // nobody to save it, nothing to reset
        QSignalSpy save(&plot, &GoalGraphWidget::saveImageRequested);
        QVERIFY(plot.imageMenu()->actions().at(1)->isEnabled());
        actions[1]->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(save.count(), 1);
        actions[0]->trigger();
        QCOMPARE(QGuiApplication::clipboard()->image().size(), plot.grab().toImage().size());
    }

    void barGraphSelection()
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
        QCOMPARE(calls(byIndex), QStringList{"1"});
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
        // A full bar shortens so its whole value and share fit beside it.
        graph.resize(250, 40);
        graph.bar(0)->setLabel(QStringLiteral("Gain flatness"));
        graph.bar(0)->setValue(1, QStringLiteral("0.870749  (79 %)"));
        QTRY_COMPARE(graph.bar(0)->width(), 246);
        QCOMPARE(graph.bar(0)->shownValueText(), QStringLiteral("0.870749  (79 %)"));
        QCOMPARE(graph.bar(0)->toolTip(), QStringLiteral("Gain flatness\n0.870749  (79 %)"));
    }
};

QTEST_MAIN(TestGraphs)
#include "tst_graphs.moc"
