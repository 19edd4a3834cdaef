#include "optimgeneralformat.h"

#include <array>
#include <charconv>
#include <cstddef>

// The tables of the quick path, which is inline in the header with the
// argument for its rounding, built at compile time; and the out-of-line rest.

namespace optimgeneral6 {
namespace {

__extension__ using Wide = unsigned __int128;

constexpr Wide kFactorEnd = Wide(1) << 53;

// The double nearest 10^(E+1) for each E of a binade: 10^-22 to 10^32.
constexpr int kFirstDecadeEnd = -22;
constexpr double kDecadeEnds[] = {1e-22, 1e-21, 1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12,
                                  1e-11, 1e-10, 1e-9,  1e-8,  1e-7,  1e-6,  1e-5,  1e-4,  1e-3,  1e-2,  1e-1,
                                  1e0,   1e1,   1e2,   1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,
                                  1e11,  1e12,  1e13,  1e14,  1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21,
                                  1e22,  1e23,  1e24,  1e25,  1e26,  1e27,  1e28,  1e29,  1e30,  1e31,  1e32};

constexpr Wide power(Wide base, int n)
{
    Wide result = 1;
    while (n-- > 0)
        result *= base;
    return result;
}

// The decimal exponent of 2^b: the largest E with 10^E <= 2^b.
constexpr int decimalExponent(int b)
{
    if (b >= 0) {
        int e = 0;
        while (power(10, e + 1) <= power(2, b))
            ++e;
        return e;
    }
    int n = 0;  // the least n with 10^n >= 2^-b
    while (power(10, n) < power(2, -b))
        ++n;
    return -n;
}

// The significand of a double shifted to the top bit, as the quick path takes it.
constexpr std::uint64_t significand(double value)
{
    return std::bit_cast<std::uint64_t>(value) << 11 | std::uint64_t(1) << 63;
}

// F = 5^k * 2^(b+k+33), k = 5 - e, rounded up; whether it is exact.
struct Factor
{
    std::uint64_t value = 0;
    bool exact = false;
};

constexpr Factor factor(int b, int e)
{
    const int k = 5 - e;
    const int shift = b + k + 33;
    Wide f = 0;
    bool exact = true;
    if (k >= 0 && shift >= 0) {
        f = power(5, k) << shift;
    } else if (k >= 0) {
        const Wide p = power(5, k);
        f = p >> -shift;
        exact = (f << -shift) == p;
        f += exact ? 0 : 1;
    } else {
        // 5^-k never divides a power of two.
        f = (Wide(1) << shift) / power(5, -k) + 1;
        exact = false;
    }
    if (f >= kFactorEnd)
        throw "a factor too large";  // not a constant expression: stops the build
    return {std::uint64_t(f), exact};
}

// What the binades need: the decimal exponent E of each, and the Tables
// entries for it.
struct Binade
{
    int exponent = 0;
    std::uint64_t decadeEnd = 0;
    Factor factors[2];
};

constexpr std::array<Binade, kBinadeCount> kBinadeTable = [] {
    std::array<Binade, kBinadeCount> binades{};
    for (int i = 0; i < kBinadeCount; ++i) {
        const int b = kFirstBinade + i;
        const int e = decimalExponent(b);
        const double decadeEnd = kDecadeEnds[e + 1 - kFirstDecadeEnd];
        // The end of the decade lies in the binade or past it.
        const bool inside = std::bit_cast<std::uint64_t>(decadeEnd) >> 52 == std::uint64_t(1023 + b);
        binades[size_t(i)] = {e, inside ? significand(decadeEnd) : ~std::uint64_t(0), {factor(b, e), factor(b, e + 1)}};
    }
    return binades;
}();

// Every binade's decade lies where the quick path expects it: 10^E <= 2^b,
// and the double nearest 10^(E+1) not below the binade.
constexpr bool decadesInPlace()
{
    for (int i = 0; i < kBinadeCount; ++i) {
        const int b = kFirstBinade + i;
        const Binade &binade = kBinadeTable[size_t(i)];
        if (binade.exponent + 1 < kFirstDecadeEnd)
            return false;
        const double decadeEnd = kDecadeEnds[binade.exponent + 1 - kFirstDecadeEnd];
        if (std::bit_cast<std::uint64_t>(decadeEnd) >> 52 < std::uint64_t(1023 + b))
            return false;
    }
    return true;
}
static_assert(decadesInPlace());

// Every exponent a binade's values can have, rounding up to the next decade
// included, has a layout.
static_assert(kBinadeTable.front().exponent >= kFirstLayout);
static_assert(kBinadeTable.back().exponent + 2 < kFirstLayout + kLayoutCount);

// p is the number of digits before the point, 0 for plain values below one.
constexpr Layout layout(int exponent)
{
    const bool plain = exponent >= -4 && exponent < 6;
    const int p = !plain ? 1 : exponent >= 0 ? exponent + 1 : 0;
    Layout layout{};
    layout.moved = ~std::uint64_t(0) << 8 * p;
    layout.spread = 255;
    const std::uint64_t point = exponent >= -1 || !plain ? '.' : '0';
    layout.point = point << 8 * p;
    layout.ends = layout.point;
    for (int i = p + 1; i < 7; ++i)
        layout.ends |= std::uint64_t('0') << 8 * i;
    if (plain && exponent < 0)
        layout.lead = std::uint64_t(-exponent);
    if (!plain) {
        const int magnitude = exponent < 0 ? -exponent : exponent;
        layout.tail = std::uint64_t('e') | std::uint64_t(exponent < 0 ? '-' : '+') << 8
                      | std::uint64_t('0' + magnitude / 10) << 16 | std::uint64_t('0' + magnitude % 10) << 24;
        layout.tailSize = 4;
    }
    return layout;
}

constexpr std::array<Layout, kLayoutCount> kLayoutTable = [] {
    std::array<Layout, kLayoutCount> layouts{};
    for (int i = 0; i < kLayoutCount; ++i)
        layouts[size_t(i)] = layout(kFirstLayout + i);
    return layouts;
}();

constexpr std::array<std::uint32_t, 1000> kDigitTripleTable = [] {
    std::array<std::uint32_t, 1000> triples{};
    for (int i = 0; i < 1000; ++i)
        triples[size_t(i)] = std::uint32_t('0' + i / 100) | std::uint32_t('0' + i / 10 % 10) << 8
                             | std::uint32_t('0' + i % 10) << 16;
    return triples;
}();

constexpr Tables makeTables()
{
    Tables tables{};
    for (int i = 0; i < kLayoutCount; ++i)
        tables.layouts[i] = kLayoutTable[size_t(i)];
    for (int i = 0; i < kBinadeCount; ++i) {
        const Binade &binade = kBinadeTable[size_t(i)];
        tables.decadeEnds[i] = binade.decadeEnd;
        for (int next = 0; next < 2; ++next) {
            tables.factors[2 * i + next] = binade.factors[next].value;
            tables.exact[2 * i + next] = binade.factors[next].exact;
            tables.layoutOffsets[2 * i + next]
                = std::uint64_t(binade.exponent + next - kFirstLayout) * sizeof(Layout);  // layouts come first
        }
    }
    for (int i = 0; i < 1000; ++i)
        tables.triples[i] = kDigitTripleTable[size_t(i)];
    return tables;
}
static_assert(offsetof(Tables, layouts) == 0);

char *fallback(char *first, char *last, double value)
{
    return std::to_chars(first, last, value, std::chars_format::general, 6).ptr;
}

} // namespace

constinit const Tables kTables = makeTables();

char *formatRest(char *first, char *last, double value)
{
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    if ((bits << 1) != 0 || last - first < 2)  // all but zero
        return fallback(first, last, value);
    char *out = first;
    if (bits >> 63)
        *out++ = '-';
    *out++ = '0';
    return out;
}

} // namespace optimgeneral6
