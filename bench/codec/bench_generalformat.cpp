// The record writer's six-digit formatter against std::to_chars (general,
// precision 6): byte for byte over the hard cases and COUNT random doubles,
// then the time each takes per value.
//
//   build/bench/codec/bench_generalformat [COUNT [SEED]]     (COUNT 1e8 by default)
//
// The random doubles come in five kinds, in turn: any bit pattern (NaNs,
// infinities, subnormals, every exponent); log-uniform magnitudes from about
// 1e-15 to 2e12; six-digit decimals m * 10^q (q from -20 to 12) and their
// neighbours a few units in the last place away; the neighbours of decimal
// ties (m + 1/2) * 10^q, where the rounding is hardest; and the neighbours of
// powers of ten and of 9.999995 * 10^q, where the decade changes. All with
// either sign. Exits with 1 on any difference.

#include "model/optimgeneralformat.h"
#include "splitmix.h"

#include <bit>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <vector>

namespace {

// m * 10^q correctly rounded (m exact, |q| <= 22: one rounding).
double decimal(std::int64_t m, int q)
{
    static const double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    return q >= 0 ? double(m) * powers[q] : double(m) / powers[-q];
}

// value moved by units in the last place, with a sign.
double nudged(double value, int ulps, bool negative)
{
    const auto bits = std::bit_cast<std::uint64_t>(value) + std::uint64_t(std::int64_t(ulps));
    return std::bit_cast<double>(bits | (negative ? std::uint64_t(1) << 63 : 0));
}

double parsed(const char *text)
{
    double v = 0;
    std::from_chars(text, text + std::strlen(text), v);
    return v;
}

double randomDouble(SplitMix &rng, std::uint64_t i)
{
    const std::uint64_t r = rng.next();
    const bool negative = r & 1;
    const int ulps = int((r >> 1) % 7) - 3;
    switch (i % 5) {
    case 0:
        return std::bit_cast<double>(r);
    case 1: {  // 2^-50 .. 2^41
        const std::uint64_t exponent = std::uint64_t(1023 - 50) + (r >> 8) % 91;
        return std::bit_cast<double>((rng.next() >> 12) | exponent << 52 | (negative ? std::uint64_t(1) << 63 : 0));
    }
    case 2:
        return nudged(decimal(rng.between(100000, 999999), rng.between(-20, 12) - 5), ulps, negative);
    case 3:  // (2m + 1) / 2 * 10^q = (2m + 1) * 5 * 10^(q-1)
        return nudged(decimal(std::int64_t(2 * rng.between(100000, 999999) + 1) * 5, rng.between(-21, 11) - 6), ulps,
                      negative);
    default:
        return nudged(decimal((r >> 8) & 1 ? 1 : 9999995, rng.between(-22, 22)), ulps, negative);
    }
}

struct Checker
{
    std::uint64_t checked = 0;
    std::uint64_t mismatches = 0;

    void check(double value)
    {
        char expected[64];
        char actual[64];
        const char *expectedEnd = std::to_chars(expected, expected + sizeof expected, value,
                                                std::chars_format::general, 6).ptr;
        const char *actualEnd = optimFormatGeneral6(actual, actual + sizeof actual, value);
        ++checked;
        if (expectedEnd - expected == actualEnd - actual && std::memcmp(expected, actual, size_t(actualEnd - actual)) == 0)
            return;
        if (++mismatches <= 20)
            std::printf("MISMATCH %a (%.17g): to_chars \"%.*s\", formatter \"%.*s\"\n", value, value,
                        int(expectedEnd - expected), expected, int(actualEnd - actual), actual);
    }
};

void checkHardCases(Checker &checker)
{
    constexpr double dmax = std::numeric_limits<double>::max();
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    for (const double v : {0.0, -0.0, inf, -inf, nan, -nan, dmax, std::numeric_limits<double>::min(),
                           std::numeric_limits<double>::denorm_min(), 2.2250738585072009e-308, 999999.5, 999999.4999999999,
                           0.0000999999, 0.00009999995, 0.0001, 1234565.0, 1234575.0, 0.1234565, 2.5e-7, 1e-22, 1e33})
        for (const bool negative : {false, true})
            checker.check(negative ? -v : v);
    // The powers of two where the formatter's quick path begins and ends.
    for (const int p : {-75, -74, -73, 105, 106, 107}) {
        for (int ulps = -3; ulps <= 3; ++ulps) {
            checker.check(nudged(std::ldexp(1.0, p), ulps, false));
            checker.check(nudged(std::ldexp(1.0, p), ulps, true));
        }
    }
    // Powers of ten and the values that round up into them, over every exponent.
    char text[32];
    for (int p = -330; p <= 310; ++p) {
        for (const char *form : {"1e%d", "9.999995e%d", "9.99999e%d", "9.999994999999e%d", "1.000005e%d", "5e%d"}) {
            std::snprintf(text, sizeof text, form, p);
            for (int ulps = -3; ulps <= 3; ++ulps) {
                checker.check(nudged(parsed(text), ulps, false));
                checker.check(nudged(parsed(text), ulps, true));
            }
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

double nsPerValue(const std::vector<double> &values, bool formatter)
{
    std::vector<char> buffer(32 * values.size());
    double best = 1e300;
    for (int rep = 0; rep < 5; ++rep) {
        const double start = threadSeconds();
        char *out = buffer.data();
        char *const end = out + buffer.size();
        for (const double v : values) {
            out = formatter ? optimFormatGeneral6(out, end, v)
                            : std::to_chars(out, end, v, std::chars_format::general, 6).ptr;
            *out++ = ' ';
        }
        best = std::min(best, (threadSeconds() - start) * 1e9 / double(values.size()));
        if (out[-1] != ' ')
            std::abort();
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    const auto [count, seed] = proofArguments(argc, argv);

    Checker checker;
    checkHardCases(checker);
    const std::uint64_t hard = checker.checked;
    SplitMix rng{seed};
    for (std::uint64_t i = 0; i < count; ++i)
        checker.check(randomDouble(rng, i));
    std::printf("checked %" PRIu64 " doubles (%" PRIu64 " hard cases, %" PRIu64 " random, seed %" PRIu64 "): %" PRIu64
                " mismatches\n",
                checker.checked, hard, checker.checked - hard, seed, checker.mismatches);

    // CPU time per value, best of five passes over a million values of a kind.
    std::printf("%-34s %12s %12s\n", "ns per value", "to_chars", "formatter");
    const struct
    {
        const char *name;
        int kind;
    } kinds[] = {{"any bit pattern", 0}, {"log-uniform 1e-15..2e12", 1}, {"six-digit decimals", 2},
                 {"near decimal ties", 3}, {"near decade boundaries", 4}};
    for (const auto &kind : kinds) {
        std::vector<double> values(1 << 20);
        for (double &v : values)
            v = randomDouble(rng, std::uint64_t(kind.kind));
        std::printf("%-34s %12.1f %12.1f\n", kind.name, nsPerValue(values, false), nsPerValue(values, true));
    }
    return checker.mismatches == 0 ? 0 : 1;
}
