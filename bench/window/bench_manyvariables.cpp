// Opening a design of many variables and one iteration of it, at 1,000 to
// 10,000 variables, so the growth with the number of variables shows.
//
//   QT_QPA_PLATFORM=offscreen build/bench/window/bench_manyvariables [--benchmark_filter=/2000]
//
// "open/N": the helmdeck's questions about every variable answered by the
// host from its open design (the parameter information of each, through
// MOX), then the window built with the model and shown, until its event
// loop is idle; answers_ms is the part the host's answers took.
// "iteration/N": one iteration of N variables applied to the
// shown window's model, until every panel has taken it.

#include "design/optimdesigninformation.h"
#include "helmdeckhost.h"
#include "model/optimizationmodelobject.h"
#include "samplemessages.h"
#include "state/optimhelmdeckcontrollerstate.h"
#include "window/optimhelmdeckdialog.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QIcon>
#include <QTemporaryDir>

#include <memory>

namespace {

SampleSize sizeOf(int variables)
{
    return SampleSize{5, 1, 51, variables};
}

// A design file whose variables are the sample model's (netlist names
// "L1.L" on), each with a display name, unit and design value list.
bool writeDesign(const QString &path, int variables)
{
    QByteArray text = "{\"title\": \"many variables\", \"variables\": [\n";
    for (int v = 1; v <= variables; ++v) {
        const QByteArray n = QByteArray::number(v);
        text += "{\"netlistName\": \"L" + n + ".L\", \"name\": \"L" + n + "\", \"value\": \"" + QByteArray::number(9 + v)
            + " nH\", \"unit\": \"nH\", \"values\": [\"1 nH\", \"10 nH\"], \"constraint\": {\"type\": 1, \"params\": "
              "[\"1 nH\", \"100 nH\"]}}"
            + (v < variables ? ",\n" : "\n");
    }
    text += "]}\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush();
}

// The host with the design open and a shown window of the design's model.
struct Opened
{
    QTemporaryDir dir;
    HelmdeckHost host{HostOptions{}};
    OptimHelmdeckControllerState state{false, true};
    OptimizationModelObject model;
    std::unique_ptr<OptimHelmdeckDialog> dialog;
    bool ok = false;

    explicit Opened(int variables)
    {
        const QString path = dir.filePath(QStringLiteral("many.json"));
        QString error;
        ok = writeDesign(path, variables) && host.openDesign(path, &error);
    }

    // Answers the milliseconds the host's answers took.
    qint64 open(int variables)
    {
        OptimModelInput input = sampleModelInput(sizeOf(variables));
        for (OptimVarInput &variable : input.variables())
            variable.setName(QString());
        QElapsedTimer answers;
        answers.start();
        OptimDesignInformation(OptimHostCalls(host.mox()), host.design()->designName().toUtf8())
            .synchronizeVariables(input.variables());
        const qint64 answered = answers.elapsed();
        model.setModelInput(input);
        state.addModel(&model);
        state.setViewModel(&model);
        dialog = std::make_unique<OptimHelmdeckDialog>(&state, QIcon());
        dialog->resize(1200, 800);
        dialog->setModel(&model);
        dialog->show();
        QCoreApplication::processEvents();
        return answered;
    }
};

void open(benchmark::State &state)
{
    const int variables = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto opened = std::make_unique<Opened>(variables);
        if (!opened->ok) {
            state.SkipWithError("the design does not open");
            return;
        }
        state.ResumeTiming();
        state.counters["answers_ms"] = double(opened->open(variables));
        state.PauseTiming();
        const bool named = opened->model.model().input().variables().last().name()
            == QStringLiteral("L%1").arg(variables);
        opened.reset();
        state.ResumeTiming();
        if (!named) {
            state.SkipWithError("the host did not answer for every variable");
            return;
        }
    }
}

void iteration(benchmark::State &state)
{
    const int variables = int(state.range(0));
    Opened opened(variables);
    if (!opened.ok) {
        state.SkipWithError("the design does not open");
        return;
    }
    opened.open(variables);
    QList<OptimIter> iterations;
    for (int i = 0; i < 4; ++i)
        iterations.append(sampleIteration(sizeOf(variables), i));
    int next = 0;
    for (auto _ : state) {
        OptimIter &iter = iterations[next % iterations.size()];
        iter.algorithm().setIterationText(QString::number(next++));
        opened.model.applyIteration(iter);
        QCoreApplication::processEvents();
    }
}

} // namespace

BENCHMARK(open)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(iteration)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(10000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
