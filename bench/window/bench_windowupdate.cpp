// The helmdeck window's update for one new iteration on a long run: 20 goals
// and 100 variables with 10,000 iterations of history already shown.
//
//   QT_QPA_PLATFORM=offscreen build/bench/window/bench_windowupdate
//
// "update" applies the iteration to the model and runs the event loop, so
// every panel takes the change; "update_and_render" then also renders the
// whole window (QWidget::grab), an upper bound for what a repaint costs.

#include "state/optimhelmdeckcontrollerstate.h"
#include "model/optimizationmodelobject.h"
#include "samplemessages.h"
#include "window/historycsv.h"
#include "window/goalspanel.h"
#include "window/iterationtable.h"
#include "window/optimhelmdeckdialog.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryFile>
#include <QIcon>
#include <QTabWidget>

namespace {

const SampleSize kSize{20, 1, 201, 100};
constexpr int kHistory = 10000;

struct Window
{
    OptimHelmdeckControllerState state{false, true};
    OptimizationModelObject model;
    OptimHelmdeckDialog *dialog = nullptr;
    QList<OptimIter> iterations;
    int next = 0;

    Window()
    {
        model.setModelInput(sampleModelInput(kSize));
        for (int i = 0; i < 8; ++i)
            iterations.append(sampleIteration(kSize, i));
        for (; next < kHistory; ++next)
            applyNext();
        state.addModel(&model);
        state.setViewModel(&model);
        dialog = new OptimHelmdeckDialog(&state, QIcon());
        dialog->resize(1200, 800);
        dialog->setModel(&model);
        dialog->show();
        QCoreApplication::processEvents();
        dialog->grab();
    }
    ~Window() { delete dialog; }

    void applyNext()
    {
        OptimIter &iter = iterations[next % iterations.size()];
        iter.algorithm().setIterationText(QString::number(next));
        model.applyIteration(iter);
        ++next;
    }
};

Window *g_window = nullptr;

void update(benchmark::State &state)
{
    for (auto _ : state) {
        g_window->applyNext();
        QCoreApplication::processEvents();
    }
}

void updateAndRender(benchmark::State &state)
{
    for (auto _ : state) {
        g_window->applyNext();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(g_window->dialog->grab());
    }
}

// "update_with_iteration_table": "update" with the variables panel showing
// the iteration table, sorted by error, so every iteration inserts a row at
// its sorted place.
void updateWithIterationTable(benchmark::State &state)
{
    auto *table = g_window->dialog->findChild<IterationTableView *>();
    auto *tabs = table ? qobject_cast<QTabWidget *>(table->parentWidget()->parentWidget()) : nullptr;
    if (!tabs) {
        state.SkipWithError("no iteration table");
        return;
    }
    tabs->setCurrentWidget(table);
    table->sortByColumn(1, Qt::AscendingOrder);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        g_window->applyNext();
        QCoreApplication::processEvents();
    }
    state.counters["rows"] = table->model()->rowCount();
}

// "update_and_render_error_history[_log]": "update_and_render" with the
// goals panel showing the error history, on a linear and on a log scale
// (the goal error histories follow the same scale).
void updateAndRenderErrorHistory(benchmark::State &state, bool log)
{
    auto *panel = g_window->dialog->findChild<GoalsPanel *>();
    auto *pages = g_window->dialog->findChild<QTabWidget *>(QStringLiteral("goalPages"));
    if (!panel || !pages) {
        state.SkipWithError("no goals panel");
        return;
    }
    pages->setCurrentIndex(1);
    panel->setHistoryLogScale(log);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        g_window->applyNext();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(g_window->dialog->grab());
    }
    panel->setHistoryLogScale(false);
    pages->setCurrentIndex(0);
}

// "export_history_csv": the CSV export of 100,000 iterations of 20 goals
// and 100 variables (the texts of the sample iterations) into a file.
void exportHistoryCsv(benchmark::State &state)
{
    OptimizationModel model;
    model.input() = sampleModelInput(kSize);
    OptimModelHistory &history = model.history();
    for (qsizetype k = 0; k < model.goalCount(); ++k)
        history.goals().append(OptimGoalHistory());
    for (qsizetype k = 0; k < model.variableCount(); ++k)
        history.variables().append(OptimVarHistory());
    for (int i = 0; i < 100000; ++i) {
        const OptimIter &iter = g_window->iterations.at(i % g_window->iterations.size());
        history.algorithm().values().append(iter.algorithm().errorText() + QString::number(i % 97));
        for (qsizetype k = 0; k < model.goalCount(); ++k)
            history.goals()[k].values().append(iter.goals().at(k).valueText());
        for (qsizetype k = 0; k < model.variableCount(); ++k)
            history.variables()[k].values().append(iter.variables().at(k).value());
    }
    qint64 bytes = 0;
    for (auto _ : state) {
        QTemporaryFile file;
        file.open();
        HistoryCsv::write(model, &file);
        bytes = file.size();
    }
    state.counters["MB"] = double(bytes) / 1e6;
}

} // namespace

BENCHMARK(updateWithIterationTable)->Name("update_with_iteration_table")->Unit(benchmark::kMillisecond);
BENCHMARK(exportHistoryCsv)->Name("export_history_csv")->Unit(benchmark::kMillisecond);
BENCHMARK(update)->Unit(benchmark::kMillisecond);
BENCHMARK(updateAndRender)->Name("update_and_render")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(updateAndRenderErrorHistory, linear, false)->Name("update_and_render_error_history")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(updateAndRenderErrorHistory, log, true)->Name("update_and_render_error_history_log")->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    g_window = new Window;
    benchmark::RunSpecifiedBenchmarks();
    delete g_window;
    benchmark::Shutdown();
    return 0;
}
