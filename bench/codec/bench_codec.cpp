// Decoding and encoding of iteration messages, each against a floor: for
// decoding, scanning the words and converting the numeric ones, and
// converting the same number texts, cut out beforehand, with from_chars
// alone; for encoding, writing the same numbers with the record writer's
// formatter into one buffer. Compare times as ratios within one run.
// And the cost of applying long runs of iterations to the model, with the
// resident memory the histories take per iteration.
//
//   build/bench/codec/bench_codec

#include "model/optimgeneralformat.h"
#include "model/optimizationmodelobject.h"
#include "model/optimserialization.h"
#include "samplemessages.h"

#include <benchmark/benchmark.h>

#include <charconv>
#include <fstream>
#include <malloc.h>
#include <vector>
#include <sys/resource.h>
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

long minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// With the page faults per message: fresh pages cost more than the writing.
void encode(benchmark::State &state, const SampleSize &size)
{
    const OptimIter iter = sampleIteration(size, 7);
    qsizetype bytes = 0;
    const long faultsBefore = minorFaults();
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
    state.counters["page_faults"] = double(minorFaults() - faultsBefore) / double(state.iterations());
}

// Calls f(begin, end) for every word of text that starts like a number, with
// the reader's word scanner.
template <typename F>
inline void forEachNumberWord(const QByteArray &text, F f)
{
    const char *p = text.constData();
    const char *const end = p + text.size();
    while ((p = optimtext::skipSpace(p, end)) != end) {
        const char *begin = p;
        p = optimtext::skipWord(p, end);
        if (std::isdigit(uchar(*begin)) || *begin == '-')
            f(begin, p);
    }
}

// The numbers of the encoded text, in order.
std::vector<double> numbersOf(const QByteArray &text)
{
    std::vector<double> numbers;
    forEachNumberWord(text, [&numbers](const char *begin, const char *end) {
        double v = 0;
        if (std::from_chars(begin, end, v).ptr == end)
            numbers.push_back(v);
    });
    return numbers;
}

// The floor of encoding: the message's numbers written with the record
// writer's formatter (%g with six significant digits, as the record text has
// them, as std::to_chars writes them; bench_generalformat times both), each
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
            out = optimFormatGeneral6(out, end, v);
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
        double sum = 0;
        forEachNumberWord(text, [&sum](const char *begin, const char *end) {
            double v = 0;
            std::from_chars(begin, end, v);
            sum += v;
        });
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
}

// An independent floor for decoding: the message's number texts, cut out
// beforehand, converted with std::from_chars alone; no word scanner of the
// reader's. decode over this floor is the reader's cost beyond converting
// its numbers.
void fromCharsFloor(benchmark::State &state, const SampleSize &size)
{
    const QByteArray text = encoded(size);
    std::vector<std::pair<const char *, const char *>> words;
    forEachNumberWord(text, [&words](const char *begin, const char *end) { words.emplace_back(begin, end); });
    for (auto _ : state) {
        double sum = 0;
        for (const auto &[begin, end] : words) {
            double v = 0;
            std::from_chars(begin, end, v);
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
    state.counters["numbers"] = double(words.size());
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

// Heap in use, from the allocator (small blocks and mapped large ones):
// unlike the resident size it does not depend on what was freed before.
long heapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return long(info.uordblks + info.hblkhd);
}

// Gives the iteration the texts of iteration i, each a heap block of its own
// as after decoding a message (distinct), or only the iteration number new
// (the sixteen samples' texts shared over the run).
void setIterationTexts(OptimIter &iter, int i, bool distinct)
{
    iter.algorithm().setIterationText(QString::number(i));
    if (!distinct)
        return;
    iter.algorithm().setErrorText(QString::number(10.0 / (i + 1), 'g', 6));
    iter.algorithm().setErrorDetail(QString::number(9.0 / (i + 1), 'g', 6));
    for (qsizetype g = 0; g < iter.goals().count(); ++g)
        iter.goals()[g].setValueText(QString::number(1.0 / (i + g + 1), 'g', 6));
    // Half the variables carry a unit, as component values do.
    for (qsizetype v = 0; v < iter.variables().count(); ++v) {
        iter.variables()[v].setValue(v % 2 ? QString::number(1.0 + v * 0.1 + i * 0.001, 'g', 6) + QStringLiteral(" nH")
                                           : QString::number(10.0 + v + i * 0.01, 'g', 6));
    }
}

// Applying 10,000 iterations of 20 goals and 100 variables to one model: the
// time per message, and what the histories cost in resident memory and in
// heap. Run it alone (--benchmark_filter=applyIterations) for the resident
// figure: heap the benchmarks before it freed is reused without growing the
// resident size. The second argument gives every iteration texts of its own
// (1, as in a real run) or repeats sixteen iterations' texts (0). For
// comparison, text_lists_heap_bytes_per_iteration is the heap the same texts
// take held in one string list per history.
void applyIterations(benchmark::State &state)
{
    const SampleSize size{20, 3, 201, 100};
    const int count = int(state.range(0));
    const bool distinct = state.range(1) != 0;
    QList<OptimIter> iterations;
    for (int i = 0; i < 16; ++i)
        iterations.append(sampleIteration(size, i));
    double residentPerIteration = 0;
    double heapPerIteration = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto *model = new OptimizationModelObject;
        model->setModelInput(sampleModelInput(size));
        const long residentBefore = residentBytes();
        const long heapBefore = heapBytes();
        state.ResumeTiming();
        for (int i = 0; i < count; ++i) {
            OptimIter &iter = iterations[i % iterations.size()];
            state.PauseTiming();
            setIterationTexts(iter, i, distinct);
            state.ResumeTiming();
            model->applyIteration(iter);
        }
        state.PauseTiming();
        residentPerIteration = double(residentBytes() - residentBefore) / count;
        heapPerIteration = double(heapBytes() - heapBefore) / count;
        delete model;
        state.ResumeTiming();
    }

    // The texts the model recorded, held as string lists.
    QList<QStringList> lists(1 + size.goals + size.variables);
    const long listsBefore = heapBytes();
    for (int i = 0; i < count; ++i) {
        OptimIter &iter = iterations[i % iterations.size()];
        setIterationTexts(iter, i, distinct);
        const OptimAlgOutput &algorithm = iter.algorithm();
        lists[0].append(algorithm.isBestError() ? algorithm.errorDetail() : algorithm.errorText());
        for (qsizetype g = 0; g < iter.goals().count(); ++g)
            lists[1 + g].append(iter.goals().at(g).valueText());
        for (qsizetype v = 0; v < iter.variables().count(); ++v)
            lists[1 + size.goals + v].append(iter.variables().at(v).value());
    }
    const double listsPerIteration = double(heapBytes() - listsBefore) / count;

    // Time per applied message, in seconds (shown with an SI prefix).
    state.counters["per_message"] =
        benchmark::Counter(double(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["history_bytes_per_iteration"] = residentPerIteration;
    state.counters["history_heap_bytes_per_iteration"] = heapPerIteration;
    state.counters["text_lists_heap_bytes_per_iteration"] = listsPerIteration;
}

// Applying one more iteration to a model that already holds 10,000: 20 goals
// of one trace and 100 variables, as the window's update benchmark has them,
// but the model alone (no views connected). For instructions per message,
// collect only applyNextMessage:
//   valgrind --tool=callgrind --toggle-collect='*applyNextMessage*'
//       build/bench/codec/bench_codec --benchmark_filter=applyToLongRun
// and divide the instructions by the benchmark's fixed 2000 iterations.
struct LongRun
{
    static constexpr SampleSize kSize{20, 1, 201, 100};
    OptimizationModelObject model;
    QList<OptimIter> iterations;
    int next = 0;

    LongRun()
    {
        model.setModelInput(sampleModelInput(kSize));
        for (int i = 0; i < 8; ++i)
            iterations.append(sampleIteration(kSize, i));
    }
    OptimIter &nextMessage()
    {
        OptimIter &iter = iterations[next % iterations.size()];
        iter.algorithm().setIterationText(QString::number(next));
        ++next;
        return iter;
    }
};

[[gnu::noinline]] void applyNextMessage(LongRun &run, const OptimIter &iter)
{
    run.model.applyIteration(iter);
}

void applyToLongRun(benchmark::State &state)
{
    LongRun run;
    while (run.next < 10000)
        run.model.applyIteration(run.nextMessage());
    for (auto _ : state) {
        const OptimIter &iter = run.nextMessage();
        applyNextMessage(run, iter);
    }
    state.counters["history"] = double(run.model.model().history().algorithm().values().size());
}

} // namespace

BENCHMARK_CAPTURE(decode, large_iter, kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scanFloor, large_iter, kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(fromCharsFloor, large_iter, kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encode, large_iter, kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeFloor, large_iter, kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode, small_iter, kSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(scanFloor, small_iter, kSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(fromCharsFloor, small_iter, kSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(encode, small_iter, kSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(encodeFloor, small_iter, kSmall)->Unit(benchmark::kMicrosecond);
BENCHMARK(decodeScaled)->Arg(2001)->Arg(20010)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK(applyToLongRun)->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(applyIterations)->Args({10000, 1})->Args({10000, 0})->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
