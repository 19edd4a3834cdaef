// Simulation and optimization speed of helmdeck-sim on the bundled lowpass.

#include "simoptimization.h"

#include <benchmark/benchmark.h>

namespace {

const SimDesign &lowpass()
{
    static const SimDesign design = [] {
        SimDesign d;
        QString error;
        if (!SimDesign::load(QStringLiteral(SIM_EXAMPLES_DIR "/lowpass.json"), d, &error))
            qFatal("%s", qPrintable(error));
        QString why;
        if (!NgspiceEngine::instance().initialize(&why))
            qFatal("%s", qPrintable(why));
        return d;
    }();
    return design;
}

// One evaluation: netlist, ngspice AC run of 150 points, S-parameters, error.
void BM_EvaluateLowpass(benchmark::State &state)
{
    SimOptimization opt(lowpass(), 0);
    for (auto _ : state) {
        const SimEvaluation e = opt.simulateCurrent();
        benchmark::DoNotOptimize(e.error.total);
    }
}
BENCHMARK(BM_EvaluateLowpass)->Unit(benchmark::kMicrosecond);

// Iterations per second of an algorithm; items = iterations.
void BM_Iterations(benchmark::State &state)
{
    const int code = int(state.range(0));
    qint64 iterations = 0;
    for (auto _ : state) {
        SimOptimization opt(lowpass(), 0);
        OptimAlgInput alg = opt.algorithmInput();
        alg.setAlgorithmType(code);
        alg.setMaxIterations(QStringLiteral("200"));
        opt.setAlgorithm(alg);
        opt.run({});
        iterations += opt.iteration() + 1;
    }
    state.SetItemsProcessed(iterations);
}
BENCHMARK(BM_Iterations)->Arg(1)->Arg(2)->Arg(7)->Arg(12)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
