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
#include "window/optimhelmdeckdialog.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QIcon>

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

} // namespace

BENCHMARK(update)->Unit(benchmark::kMillisecond);
BENCHMARK(updateAndRender)->Name("update_and_render")->Unit(benchmark::kMillisecond);

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
