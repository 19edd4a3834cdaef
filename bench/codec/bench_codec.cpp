// Decoding and encoding of iteration messages, against a floor that only
// scans the words and converts the numeric ones; and the cost of applying
// long runs of iterations to the model.
//
//   build/bench/codec/bench_codec

#include "model/optimizationmodelobject.h"
#include "samplemessages.h"

#include <benchmark/benchmark.h>

#include <charconv>
#include <fstream>
#include <unistd.h>

namespace {

const SampleSize kLarge{20, 3, 2001, 100};
const SampleSize kSmall{5, 1, 51, 10};

QByteArray encoded(const SampleSize &size)
{
    OptimSerialWriter writer;
    sampleIteration(size, 7).serialize(writer);
    return writer.joinedText();
}

void decode(benchmark::State &state, const SampleSize &size)
{
    const QByteArray text = encoded(size);
    for (auto _ : state) {
        OptimSerialReader reader(text);
        OptimIter iter;
        iter.deserialize(reader);
        if (reader.hasError())
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(iter);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
    state.counters["bytes"] = double(text.size());
}

void encode(benchmark::State &state, const SampleSize &size)
{
    const OptimIter iter = sampleIteration(size, 7);
    qsizetype bytes = 0;
    for (auto _ : state) {
        OptimSerialWriter writer;
        iter.serialize(writer);
        const QList<QByteArray> chunks = writer.chunks(5700);
        bytes = 0;
        for (const QByteArray &chunk : chunks)
            bytes += chunk.size();
        benchmark::DoNotOptimize(chunks);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
}

inline bool isSpace(unsigned char c)
{
    return (c >= 9 && c <= 13) || c == 32 || c == 160;
}

// The floor: find every word and convert those that start like a number.
void scanFloor(benchmark::State &state, const SampleSize &size)
{
    const QByteArray text = encoded(size);
    for (auto _ : state) {
        const char *p = text.constData();
        const char *end = p + text.size();
        double sum = 0;
        while (p < end) {
            while (p < end && isSpace(uchar(*p)))
                ++p;
            const char *begin = p;
            while (p < end && !isSpace(uchar(*p)))
                ++p;
            if (begin < p && (std::isdigit(uchar(*begin)) || *begin == '-')) {
                double v = 0;
                std::from_chars(begin, p, v);
                sum += v;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
}

// Decoding ten times the data (ten times the trace points) should take about
// ten times as long.
void decodeScaled(benchmark::State &state)
{
    SampleSize size{20, 3, int(state.range(0)), 100};
    decode(state, size);
    state.SetComplexityN(state.range(0));
}

long residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// Applying 10,000 iterations of 20 goals and 100 variables to one model: the
// time per message, and what the histories cost in resident memory.
void applyIterations(benchmark::State &state)
{
    const SampleSize size{20, 3, 201, 100};
    const int count = int(state.range(0));
    QList<OptimIter> iterations;
    for (int i = 0; i < 16; ++i)
        iterations.append(sampleIteration(size, i));
    double memoryPerIteration = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto *model = new OptimizationModelObject;
        model->setModelInput(sampleModelInput(size));
        const long before = residentBytes();
        state.ResumeTiming();
        for (int i = 0; i < count; ++i) {
            OptimIter &iter = iterations[i % iterations.size()];
            iter.algorithm().setIterationText(QString::number(i));
            model->applyIteration(iter);
        }
        state.PauseTiming();
        memoryPerIteration = double(residentBytes() - before) / count;
        delete model;
        state.ResumeTiming();
    }
    // Time per applied message, in seconds (shown with an SI prefix).
    state.counters["per_message"] =
        benchmark::Counter(double(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["history_bytes_per_iteration"] = memoryPerIteration;
}

} // namespace

BENCHMARK_CAPTURE(decode, large_iter, kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scanFloor, large_iter, kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encode, large_iter, kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, small_iter, kSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(scanFloor, small_iter, kSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(encode, small_iter, kSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK(decodeScaled)->Arg(2001)->Arg(20010)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK(applyIterations)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
