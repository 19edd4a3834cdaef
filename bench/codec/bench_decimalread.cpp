// The record reader's number reader, optimReadDecimal, against
// std::from_chars (general): the same value bits, the same end and the same
// error code (and the value left alone where from_chars leaves it alone)
// over the hard cases and COUNT random texts, then the time each takes per
// text.
//
//   build/bench/codec/bench_decimalread [COUNT [SEED]]     (COUNT 1e8 by default)
//
// The random texts come in five kinds, in turn: "%g" with six significant
// digits (as the simulator writes them) of any bit pattern (every exponent,
// subnormals, inf, nan); the same of log-uniform magnitudes from 1e-15 to
// 1e12; seventeen-digit round-trip texts ("%.17g") of either; the shortest
// round-trip texts; and short garbage made of digits, points, signs,
// exponent marks, letters of inf and nan, spaces, and the bytes next to a
// sign or a digit (")", "/", ":"). Texts of the first
// four kinds sometimes come with an upper-case E or a byte after them.
// Then the record reader's values arrays (OptimSerialReader::readDoubles)
// against from_chars on at least COUNT numbers: the words of the same kinds
// of texts, some with a plus sign before them, joined mostly by single
// spaces but also by tabs, line feeds, two spaces, a no-break space, and
// ended by END_ARRAY_VALUES, by the end of the text right after the last
// number, by a count larger than the numbers given, or by a word that is not
// a number: the same values bit for bit, the same error and the same error
// offset. Exits with 1 on any difference.

#include "model/optimdecimalread.h"
#include "model/optimserialization.h"
#include "splitmix.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace {

double logUniform(SplitMix &rng)
{
    const double exponent = -15.0 + 27.0 * double(rng.next() >> 11) * 0x1p-53;
    const double v = std::pow(10.0, exponent);
    return rng.next() & 1 ? -v : v;
}

// A random text of the given kind into text.
void randomText(SplitMix &rng, std::uint64_t kind, std::string &text)
{
    char buffer[64];
    char *end = buffer;
    const std::uint64_t r = rng.next();
    const double value = r & 2 ? std::bit_cast<double>(rng.next()) : logUniform(rng);
    switch (kind % 5) {
    case 0:
        end = std::to_chars(buffer, buffer + sizeof buffer, std::bit_cast<double>(rng.next()), std::chars_format::general, 6).ptr;
        break;
    case 1:
        end = std::to_chars(buffer, buffer + sizeof buffer, logUniform(rng), std::chars_format::general, 6).ptr;
        break;
    case 2:
        end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 17).ptr;
        break;
    case 3:
        end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
        break;
    default: {
        static const char alphabet[] = "0000111222345678999...---++eeEEinfaINFAx \t):/";
        const int length = int(r % 13);
        for (int i = 0; i < length; ++i)
            *end++ = alphabet[rng.next() % (sizeof alphabet - 1)];
        text.assign(buffer, end);
        return;
    }
    }
    if ((r >> 8) % 8 == 0)
        std::replace(buffer, end, 'e', 'E');
    if ((r >> 12) % 8 == 0)
        *end++ = "e.-+0x "[(r >> 16) % 7];
    text.assign(buffer, end);
}

struct Checker
{
    std::uint64_t checked = 0;
    std::uint64_t mismatches = 0;
    std::uint64_t sentinel = 0x7ff4000000000123;  // a NaN no reader makes

    void check(const std::string &text)
    {
        const char *first = text.data();
        const char *last = first + text.size();
        double expected = std::bit_cast<double>(sentinel);
        double actual = expected;
        const auto e = std::from_chars(first, last, expected, std::chars_format::general);
        const auto a = optimReadDecimal(first, last, actual);
        ++checked;
        if (e.ptr == a.ptr && e.ec == a.ec && std::bit_cast<std::uint64_t>(expected) == std::bit_cast<std::uint64_t>(actual))
            return;
        if (++mismatches <= 20)
            std::printf("MISMATCH \"%s\": from_chars %a end %td ec %d, reader %a end %td ec %d\n", text.c_str(),
                        expected, e.ptr - first, int(e.ec), actual, a.ptr - first, int(a.ec));
    }
};

// What a values array must make of a word (a run of bytes without
// whitespace), by from_chars alone: a plus sign before anything but a sign
// is taken off, and the number must be the whole word.
bool referenceWord(std::string_view word, double &value)
{
    const char *p = word.data();
    const char *const end = p + word.size();
    if (end - p > 1 && *p == '+' && p[1] != '-' && p[1] != '+')
        ++p;
    const auto result = std::from_chars(p, end, value, std::chars_format::general);
    return result.ec == std::errc() && result.ptr == end;
}

bool isWordSpace(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 9 && u <= 13) || u == ' ' || u == 0xA0;
}

struct ArrayChecker
{
    std::uint64_t numbers = 0;
    std::uint64_t arrays = 0;
    std::uint64_t mismatches = 0;
    SplitMix rng{1};
    std::vector<std::string> words;  // the valid words of the array being built
    std::vector<double> expected;

    // Takes the words of text: a number joins the array, anything else ends
    // it as the word the reader must stop at.
    void add(const std::string &text)
    {
        for (size_t i = 0; i < text.size();) {
            if (isWordSpace(text[i])) {
                ++i;
                continue;
            }
            size_t j = i;
            while (j < text.size() && !isWordSpace(text[j]))
                ++j;
            std::string word = text.substr(i, j - i);
            i = j;
            if (word[0] != '+' && word[0] != '-' && rng.next() % 16 == 0)
                word.insert(word.begin(), '+');
            double value = 0;
            if (!referenceWord(word, value)) {
                if (rng.next() % 8 == 0)  // most are dropped, for longer arrays
                    check(&word);
                continue;
            }
            words.push_back(std::move(word));
            expected.push_back(value);
            if (words.size() >= 1 + rng.next() % 400)
                check(nullptr);
        }
    }

    const char *separator()
    {
        static const char *const others[] = {"\t", "\n", "  ", "\xa0", " \n", "\r", "\t "};
        const std::uint64_t r = rng.next();
        return r % 8 ? " " : others[(r >> 8) % std::size(others)];
    }

    // Reads the array built so far, ended by bad (a word that is not a
    // number) or, without one, in one of three ways, and compares.
    void check(const std::string *bad)
    {
        const int ending = bad ? 3 : int(rng.next() % 3);
        std::string text = "START_ARRAY_VALUES " + std::to_string(words.size() + (ending >= 2));
        for (const std::string &word : words)
            text.append(separator()).append(word);
        qsizetype errorOffset = -1;
        if (ending == 0) {
            text.append(separator()).append("END_ARRAY_VALUES");
        } else if (ending >= 2) {
            text.append(separator());
            errorOffset = qsizetype(text.size());
            text.append(bad ? *bad : std::string("END_ARRAY_VALUES"));
        }
        if (rng.next() % 2) {
            text.append(separator());
            if (ending == 0 && rng.next() % 4 == 0)
                text.append("x");  // a word behind the array is left alone
        }
        if (ending == 1)
            errorOffset = qsizetype(text.size());  // no end tag: the whole text read

        OptimSerialReader reader(QByteArray(text.data(), qsizetype(text.size())));
        QList<double> values{0.5};
        reader.readDoubles(values);
        ++arrays;
        numbers += expected.size();
        bool same = reader.errorOffset() == errorOffset && values.size() == qsizetype(expected.size()) + 1
                    && values[0] == 0.5;
        for (size_t i = 0; same && i < expected.size(); ++i)
            same = std::bit_cast<std::uint64_t>(values[qsizetype(i) + 1]) == std::bit_cast<std::uint64_t>(expected[i]);
        if (!same && ++mismatches <= 20)
            std::printf("ARRAY MISMATCH \"%s\": error offset %lld (expected %lld), %lld values (expected %zu)\n",
                        text.c_str(), static_cast<long long>(reader.errorOffset()), static_cast<long long>(errorOffset),
                        static_cast<long long>(values.size() - 1), expected.size());
        words.clear();
        expected.clear();
    }
};

void checkHardCases(Checker &checker)
{
    for (const char *text :
         {"", "-", ".", "-.", "+", "+1", "1e", "1e+", "1e-", "1E5", "1e5x", "1.e5", "1.", ".5", "-.5", "00012", "-0",
          "0", "0.0", "-0.0e-999", "0e400", "1e-400", "1e400", "-1e400", "1e308", "1.7976931348623157e308",
          "1.7976931348623159e308", "4.9e-324", "2.4703282292062327e-324", "2.4703282292062328e-324",
          "2.2250738585072009e-308", "2.2250738585072014e-308", "9007199254740992", "9007199254740993",
          "9007199254740994", "9007199254740995", "18446744073709551615", "18446744073709551616",
          "99999999999999999999", "0.00000000000000000001", "1e22", "1e23", "9e22", "9007199254740993e22",
          "1000000000000000e22", "1000000000000000e23", "8.98846567431158e307", "1e-22", "1e-23", "123456789012345e-22",
          "0.1", "0.2", "0.3", "1.5", "1e+06", "-1.23457e-05", "0.0123457", "1.23456789", "12345678.9", "0x1p3", "0X10",
          "inf", "-inf", "INF", "infinity", "nan", "-nan", "NaN", "nan(123)", "in", "e5", "-e5", " 1", "1 ", "1,5",
          "1e0000000000000000000000001", "1e99999999999999999999", "1e-99999999999999999999", "12345678", "123456789"})
        checker.check(text);
    // Every power of ten with a few mantissas, each with a byte after it.
    char text[48];
    for (int p = -345; p <= 330; ++p) {
        for (const char *form : {"1e%d", "9.99999e%d", "4.5e%d", "123456789012345e%d", "9007199254740993e%d"}) {
            const int n = std::snprintf(text, sizeof text, form, p);
            checker.check(std::string(text, size_t(n)));
            checker.check(std::string(text, size_t(n)) + "x");
        }
    }
}

// The CPU time of this thread: the machine may be shared.
double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// Nanoseconds per text, best of nine passes, the two readers' passes
// interleaved so that both see the same machine. The texts stand in one
// buffer, a space after each, and each is read up to the buffer's end, as
// the record reader reads them.
void timeTexts(const char *name, const std::vector<std::string> &texts)
{
    std::string joined;
    std::vector<size_t> starts;
    for (const std::string &text : texts) {
        starts.push_back(joined.size());
        joined += text;
        joined += ' ';
    }
    const char *const last = joined.data() + joined.size();
    double best[2] = {1e300, 1e300};
    for (int rep = 0; rep < 9; ++rep) {
        for (int reader = 0; reader < 2; ++reader) {
            double sum = 0;
            const double start = threadSeconds();
            for (const size_t at : starts) {
                double v = 0;
                if (reader)
                    optimReadDecimal(joined.data() + at, last, v);
                else
                    std::from_chars(joined.data() + at, last, v, std::chars_format::general);
                sum += v;
            }
            best[reader] = std::min(best[reader], (threadSeconds() - start) * 1e9 / double(starts.size()));
            if (std::isnan(sum) && sum == 0)
                std::abort();
        }
    }
    std::printf("%-34s %12.1f %12.1f\n", name, best[0], best[1]);
}

} // namespace

int main(int argc, char **argv)
{
    const auto [count, seed] = proofArguments(argc, argv);

    Checker checker;
    checkHardCases(checker);
    const std::uint64_t hard = checker.checked;
    SplitMix rng{seed};
    std::string text;
    for (std::uint64_t i = 0; i < count; ++i) {
        randomText(rng, i, text);
        checker.check(text);
    }
    std::printf("checked %" PRIu64 " texts (%" PRIu64 " hard cases, %" PRIu64 " random, seed %" PRIu64 "): %" PRIu64
                " mismatches\n",
                checker.checked, hard, checker.checked - hard, seed, checker.mismatches);

    ArrayChecker arrays;
    arrays.rng.state = seed ^ 0x5eed;
    for (const char *text : {"1e+06 -0.0123457 -37.2459 1.01e+08 0 -0 42 0.5 1e-05 9.99999e+22 1e+23 1e-22 1e-23",
                             "1234567 123456 1.23456 12.3456 123456. 0.000000012 0.00000000123 -0.0000001",
                             "+1 +1.5 ++1 +-1 1e+1 1e+100 1E+05 1e+0x 1..2 1.2.3 0. .5 -.5 1.e5 0x10 inf nan 1,5",
                             "12. -1234567 1234567. 12345678 1.e-05 -0.e+05 123456.e+02 1e)05 1e/05 1e+0: 1e-?9 1e*05 9e+99"})
        arrays.add(text);
    arrays.check(nullptr);
    for (std::uint64_t i = 0; arrays.numbers < count; ++i) {
        randomText(rng, i, text);
        arrays.add(text);
    }
    arrays.check(nullptr);
    std::printf("checked %" PRIu64 " numbers in %" PRIu64 " values arrays: %" PRIu64 " mismatches\n", arrays.numbers,
                arrays.arrays, arrays.mismatches);

    std::printf("%-34s %12s %12s\n", "ns per text", "from_chars", "reader");
    const char *const names[] = {"%g six digits, any bit pattern", "%g six digits, 1e-15..1e12", "%.17g",
                                 "shortest round trip", "short garbage"};
    for (std::uint64_t kind = 0; kind < 5; ++kind) {
        std::vector<std::string> texts(1 << 20);
        for (std::string &t : texts)
            randomText(rng, kind, t);
        timeTexts(names[kind], texts);
    }
    return checker.mismatches == 0 && arrays.mismatches == 0 ? 0 : 1;
}
