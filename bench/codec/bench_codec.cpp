// Decoding and encoding of iteration messages, each against a floor: for
// decoding, scanning the words and converting the numeric ones; for
// encoding, writing the same numbers with std::to_chars into one buffer.
// And the cost of applying long runs of iterations to the model, with the
// resident memory the histories take per iteration.
//
//   build/bench/codec/bench_codec

#include "model/optimizationmodelobject.h"
#include "samplemessages.h"

#include <benchmark/benchmark.h>

#include <charconv>
#include <fstream>
#include <vector>
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

// The numbers of the encoded text, in order.
std::vector<double> numbersOf(const QByteArray &text)
{
    std::vector<double> numbers;
    const char *p = text.constData();
    const char *end = p + text.size();
    while (p < end) {
        while (p < end && isSpace(uchar(*p)))
            ++p;
        const char *begin = p;
        while (p < end && !isSpace(uchar(*p)))
            ++p;
        double v = 0;
        if (begin < p && (std::isdigit(uchar(*begin)) || *begin == '-') && std::from_chars(begin, p, v).ptr == p)
            numbers.push_back(v);
    }
    return numbers;
}

// The floor of encoding: the message's numbers written with std::to_chars
// (%g with six significant digits, as the record text has them), each
// followed by a space, into one buffer reserved once.
void encodeFloor(benchmark::State &state, const SampleSize &size)
{
    const QByteArray text = encoded(size);
    const std::vector<double> numbers = numbersOf(text);
    std::vector<char> buffer(numbers.size() * 32);
    size_t used = 0;
    for (auto _ : state) {
        char *out = buffer.data();
        char *const end = out + buffer.size();
        for (double v : numbers) {
            out = std::to_chars(out, end, v, std::chars_format::general, 6).ptr;
            *out++ = ' ';
        }
        used = size_t(out - buffer.data());
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
    state.counters["numbers"] = double(numbers.size());
    state.counters["number_bytes"] = double(used);
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
// time per message, and what the histories cost in resident memory. Run it
// alone (--benchmark_filter=applyIterations) for the memory figure: heap the
// benchmarks before it freed is reused without growing the resident size.
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
BENCHMARK_CAPTURE(encodeFloor, large_iter, kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, small_iter, kSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(scanFloor, small_iter, kSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(encode, small_iter, kSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(encodeFloor, small_iter, kSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK(decodeScaled)->Arg(2001)->Arg(20010)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK(applyIterations)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
