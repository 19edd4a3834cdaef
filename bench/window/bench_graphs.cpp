// Drawing of the window's graphs on long runs: a history graph of a million
// iterations into a 400 x 120 pixmap (all of it, and the last 25), the
// first parse of such a history, one iteration added to it (parse, scale and
// redraw in full, or on a fixed iteration axis only the new point drawn into
// the cached pixmap), and a goal plot with a 2001-point trace.
//
//   build/bench/window/bench_graphs      (runs headless: offscreen platform)

#include "graphs/goalgraphwidget.h"
#include "graphs/graphwidget.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPixmap>

#include <cmath>

namespace {

const QSize kHistorySize(400, 120);

// A history as the model keeps it: value texts with six significant digits,
// a slowly falling error with noise, a few iterations without a value.
QStringList historyTexts(int count)
{
    QStringList texts;
    texts.reserve(count);
    for (int i = 0; i < count; ++i) {
        if (i % 9973 == 17) {
            texts.append(QString());
            continue;
        }
        const double v = 10.0 / (1.0 + i * 1e-4) + 0.3 * std::sin(i * 0.37);
        texts.append(QString::number(v, 'g', 6));
    }
    return texts;
}

const QStringList &millionTexts()
{
    static const QStringList texts = historyTexts(1000000);
    return texts;
}

void drawHistory(benchmark::State &state, int numPointsShown, bool useAllData)
{
    GraphWidget graph;
    graph.resize(kHistorySize);
    graph.setTitle(QStringLiteral("Error"));
    graph.setSeries(millionTexts());
    graph.setNumPointsShown(numPointsShown);
    graph.setUseAllData(useAllData);
    for (auto _ : state) {
        QPixmap pixmap = graph.renderPixmap(kHistorySize);
        benchmark::DoNotOptimize(pixmap);
    }
    state.counters["points"] = double(graph.pointCount());
}

void BM_DrawHistory1M_All(benchmark::State &state)
{
    drawHistory(state, 0, true);
}
BENCHMARK(BM_DrawHistory1M_All)->Unit(benchmark::kMillisecond);

void BM_DrawHistory1M_Last25(benchmark::State &state)
{
    drawHistory(state, 25, false);
}
BENCHMARK(BM_DrawHistory1M_Last25)->Unit(benchmark::kMillisecond);

void BM_DrawHistory1M_Last25_ScaleAllData(benchmark::State &state)
{
    drawHistory(state, 25, true);
}
BENCHMARK(BM_DrawHistory1M_Last25_ScaleAllData)->Unit(benchmark::kMillisecond);

void BM_DrawHistory1M_Doubles(benchmark::State &state)
{
    QList<double> values;
    values.reserve(1000000);
    for (const QString &t : millionTexts())
        values.append(GraphWidget::parseValue(t).value_or(std::nan("")));
    GraphWidget graph;
    graph.resize(kHistorySize);
    graph.setSeries(values);
    for (auto _ : state) {
        QPixmap pixmap = graph.renderPixmap(kHistorySize);
        benchmark::DoNotOptimize(pixmap);
    }
}
BENCHMARK(BM_DrawHistory1M_Doubles)->Unit(benchmark::kMillisecond);

// The first sight of a long history (a window opened late, or another
// optimization picked): every text is parsed once.
void BM_ParseHistory1M(benchmark::State &state)
{
    for (auto _ : state) {
        GraphWidget graph;
        graph.setSeries(millionTexts());
        benchmark::DoNotOptimize(graph.yMax());
    }
}
BENCHMARK(BM_ParseHistory1M)->Unit(benchmark::kMillisecond);

// The steady state on a long run: one iteration more, then the graph is
// drawn again (new text parsed, scale updated, pixmap redrawn).
void BM_AddIterationAndRedraw1M(benchmark::State &state)
{
    QStringList texts = millionTexts();
    GraphWidget graph;
    graph.resize(kHistorySize);
    graph.setSeries(texts);
    int i = 0;
    for (auto _ : state) {
        texts.append(QString::number(1.0 + (i++ % 100) * 0.01, 'g', 6));
        graph.setSeries(texts);
        QPixmap pixmap = graph.renderPixmap(kHistorySize);
        benchmark::DoNotOptimize(pixmap);
    }
}
BENCHMARK(BM_AddIterationAndRedraw1M)->Unit(benchmark::kMillisecond);

// The same on a fixed iteration axis (the run's last iteration known ahead,
// the new value inside the range shown): only the pixel columns of the new
// point are drawn into the cached pixmap.
void BM_AddIterationCached1M(benchmark::State &state)
{
    QStringList texts = millionTexts();
    GraphWidget graph;
    graph.resize(kHistorySize);
    graph.setNumPointsShown(2000000);
    graph.setSeries(texts);
    graph.cachedPixmap();
    int i = 0;
    for (auto _ : state) {
        texts.append(QString::number(1.0 + (i++ % 100) * 0.01, 'g', 6));
        graph.setSeries(texts);
        benchmark::DoNotOptimize(graph.cachedPixmap());
    }
    state.counters["full redraws"] = double(graph.renderCount());
}
BENCHMARK(BM_AddIterationCached1M)->Unit(benchmark::kMillisecond);

// The painted widget between changes: the cached pixmap is only copied.
void BM_RepaintCached1M(benchmark::State &state)
{
    GraphWidget graph;
    graph.resize(kHistorySize);
    graph.setSeries(millionTexts());
    QPixmap target(kHistorySize);
    graph.render(&target);
    for (auto _ : state) {
        graph.render(&target);
        benchmark::DoNotOptimize(target);
    }
    state.counters["renders"] = double(graph.renderCount());
}
BENCHMARK(BM_RepaintCached1M)->Unit(benchmark::kMicrosecond);

void BM_DrawGoalPlot2001(benchmark::State &state)
{
    OptimGoalInput goal;
    goal.setName(QStringLiteral("Passband"));
    goal.addIndepVar(QStringLiteral("freq"));
    goal.setIndepVarUnit(0, QStringLiteral("GHz"));
    OptimGoalLimitInput limit;
    limit.setName(QStringLiteral("L1"));
    limit.setGreaterThan(QStringLiteral("-1"));
    limit.ranges().append(OptimGoalRange(0, QStringLiteral("0.1"), QStringLiteral("1")));
    goal.limits().append(limit);
    OptimTraceFamily family;
    family.setIndepVar(OptimTraceVar(QStringLiteral("freq"), QStringLiteral("GHz")));
    OptimTrace trace;
    for (int p = 0; p < 2001; ++p) {
        const double f = 1e8 + p * 1e6;
        trace.xValues().values().append(f);
        trace.yValues().values().append(-10 * std::log10(1 + std::pow(f / 1.1e9, 10)));
    }
    family.traces().append(trace);
    GoalGraphWidget plot;
    plot.resize(320, 200);
    plot.setGoal(goal);
    plot.setTraces(family);
    plot.setInitialTraces(OptimTraceFamily());
    for (auto _ : state) {
        QPixmap pixmap = plot.renderPixmap(QSize(320, 200));
        benchmark::DoNotOptimize(pixmap);
    }
}
BENCHMARK(BM_DrawGoalPlot2001)->Unit(benchmark::kMillisecond);

// One iteration in a goal plot of three 2001-point traces (current, next,
// initial): the new current traces over the kept background while the user
// holds a zoomed range, or the whole plot drawn again while the automatic
// range follows the traces.
void goalPlotNewTraces(benchmark::State &state, bool zoomed)
{
    OptimTraceFamily families[3];
    for (int k = 0; k < 3; ++k) {
        families[k].setIndepVar(OptimTraceVar(QStringLiteral("freq"), QStringLiteral("GHz")));
        OptimTrace trace;
        for (int p = 0; p < 2001; ++p) {
            const double f = 1e8 + p * 1e6;
            trace.xValues().values().append(f);
            trace.yValues().values().append(-10 * std::log10(1 + std::pow(f / (1.1e9 + k * 2e7), 10)));
        }
        families[k].traces().append(trace);
    }
    OptimGoalInput goal;
    goal.setName(QStringLiteral("Passband"));
    goal.addIndepVar(QStringLiteral("freq"));
    goal.setIndepVarUnit(0, QStringLiteral("GHz"));
    GoalGraphWidget plot;
    plot.resize(320, 200);
    plot.setGoal(goal);
    plot.setTraces(families[0]);
    plot.setInitialTraces(families[2]);
    if (zoomed)
        plot.zoomAt(QRectF(plot.plotRect()).center(), 0.9, 0.9);
    int i = 0;
    for (auto _ : state) {
        plot.setTraces(families[++i % 2]);
        benchmark::DoNotOptimize(plot.shownPixmap());
    }
    state.counters["backgrounds"] = double(plot.backgroundRenderCount());
}
BENCHMARK_CAPTURE(goalPlotNewTraces, zoomed, true)->Name("BM_GoalPlotNewTraces2001_Zoomed")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(goalPlotNewTraces, automatic, false)->Name("BM_GoalPlotNewTraces2001_AutoRange")->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
