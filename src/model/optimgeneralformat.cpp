#include "optimgeneralformat.h"

#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace {

// Rounding to six significant digits, in integers.
//
// A finite normal |x| is m * 2^(b-52) with m < 2^53. Its decimal exponent E
// (10^E <= |x| < 10^(E+1)) is floor(b * log10 2), which (b * 78913) >> 18
// is for every b here, or one more; comparing |x| with the double nearest
// 10^(E+1) picks e, which is E except within a relative 2^-53 of a power of
// ten. The six digits are the scaled value
// s = |x| * 10^(5-e) = m * 5^k * 2^(b-52+k), k = 5 - e, rounded to an
// integer, half to even; s lies between 1e5 * (1 - 2^-52) and
// 1e6 * (1 + 2^-52).
//
// The factor F is 5^k * 2^g (exact: 5^27 < 2^63) for 0 <= k <= 27, and
// ceil(2^g / 5^-k) for -27 <= k < 0, with g such that 2^63 <= F < 2^64.
// Then M = m * F lies in [2^115, 2^117) and s = M / 2^t with
// t = 52 - b - k + g in 96 .. 100: the high 64 bits of M hold the integer
// part of s and the top 32 to 36 bits of its fraction. Where F is exact,
// so is everything, ties included. Where F is rounded up, M exceeds the
// exact value by less than m < 2^64, so the exact fraction lies below the
// computed one by less than m: a computed fraction at most one half rounds
// down rightly (the exact value is below it; if that borrows from the
// integer part, the exact value lies just under that integer), one at
// least m above one half rounds up rightly, and the rest (a width below
// 2^53 / 2^96 of a unit of s, every exact tie among it) is handed to
// std::to_chars. The high word alone decides unless its fraction bits are
// those of one half.
//
// Rounding up to 1e6 moves to the next decade as 100000. A wrong e beside a
// power of ten needs no care: s is then just under 1e5 or just over 1e6,
// and both round to the power of ten the exact value rounds to.

// The quick path takes estimates kMinExponent <= e < kMaxExponent, so
// 1e-22 <= |x| < 1e32 and -27 <= k <= 27.
constexpr int kMinExponent = -22;
constexpr int kMaxExponent = 32;
constexpr std::ptrdiff_t kRoom = 16;  // "-1.23457e-22" and the fixed-size copies below

__extension__ using Wide = unsigned __int128;

// F and g for k = 5 - e, at k + 27.
struct Scale
{
    std::uint64_t factor = 0;
    int g = 0;
};

constexpr std::array<Scale, 55> kScales = [] {
    std::array<Scale, 55> scales{};
    std::uint64_t power = 1;  // 5^j
    for (int j = 0; j <= 27; ++j) {
        int g = 0;
        while ((power << g) >> 63 == 0)
            ++g;
        scales[size_t(27 + j)] = {power << g, g};
        if (j > 0) {
            // ceil(2^127 / 5^j) (5^j never divides it), then rounded up to
            // 64 bits: exceeds 2^g / 5^j by less than one.
            const Wide q = (Wide(1) << 127) / power + 1;
            int shift = 0;
            while ((q >> shift) >= (Wide(1) << 64))
                ++shift;
            const bool rest = (q & ((Wide(1) << shift) - 1)) != 0;
            scales[size_t(27 - j)] = {std::uint64_t(q >> shift) + (rest ? 1 : 0), 127 - shift};
        }
        power *= 5;
    }
    return scales;
}();

// Every factor keeps its top bit (none rounded up past 64 bits).
constexpr bool normalized()
{
    for (const Scale &scale : kScales) {
        if (scale.factor >> 63 != 1)
            return false;
    }
    return true;
}
static_assert(normalized());

// The double nearest 10^(e+1) for each estimate e the quick path takes.
constexpr double kDecadeEnds[] = {1e-21, 1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11, 1e-10,
                                  1e-9, 1e-8, 1e-7, 1e-6, 1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1e0, 1e1, 1e2, 1e3, 1e4, 1e5,
                                  1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19,
                                  1e20, 1e21, 1e22, 1e23, 1e24, 1e25, 1e26, 1e27, 1e28, 1e29, 1e30, 1e31, 1e32};

// All a value with estimate e needs, at e - kMinExponent: the bits of the
// double nearest 10^(e+1), and F and t + biased exponent for e and e + 1.
struct Estimate
{
    std::uint64_t decadeEnd = 0;
    std::uint64_t factor[2] = {};
    int shift[2] = {};
};

constexpr std::array<Estimate, kMaxExponent - kMinExponent> kEstimates = [] {
    std::array<Estimate, kMaxExponent - kMinExponent> estimates{};
    for (int i = 0; i < kMaxExponent - kMinExponent; ++i) {
        Estimate &estimate = estimates[size_t(i)];
        estimate.decadeEnd = std::bit_cast<std::uint64_t>(kDecadeEnds[i]);
        for (int up = 0; up < 2; ++up) {
            const int e = kMinExponent + i + up;
            const int k = 5 - e;
            const Scale scale = kScales[size_t(27 + k)];
            estimate.factor[up] = scale.factor;
            estimate.shift[up] = 52 + 1023 - k + scale.g - 64;  // t + biased, t on the high word
        }
    }
    return estimates;
}();

constexpr char kDigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                               "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                               "8081828384858687888990919293949596979899";

// The two digits of 0 <= i < 100, first digit in the low byte.
std::uint64_t pair(std::uint32_t i)
{
    std::uint16_t p;
    std::memcpy(&p, kDigitPairs + 2 * i, 2);
    return p;
}

void store8(char *out, std::uint64_t bytes)
{
    std::memcpy(out, &bytes, 8);
}

char *fallback(char *first, char *last, double value)
{
    return std::to_chars(first, last, value, std::chars_format::general, 6).ptr;
}

} // namespace

char *optimFormatGeneral6(char *first, char *last, double value)
{
    if (std::endian::native != std::endian::little || last - first < kRoom)
        return fallback(first, last, value);
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    const int biased = int(bits >> 52) & 0x7ff;
    if (biased == 0 || biased == 0x7ff) {
        if ((bits << 1) != 0)  // subnormal, infinite or NaN
            return fallback(first, last, value);
        char *out = first;
        if (bits >> 63)
            *out++ = '-';
        *out++ = '0';
        return out;
    }
    const int below = ((biased - 1023) * 78913) >> 18;  // floor((biased - 1023) * log10 2)
    if (below < kMinExponent || below >= kMaxExponent)
        return fallback(first, last, value);
    // Positive doubles order as their bit patterns do.
    const Estimate &estimate = kEstimates[size_t(below - kMinExponent)];
    const int next = (bits & ~(std::uint64_t(1) << 63)) >= estimate.decadeEnd ? 1 : 0;
    const int e = below + next;

    const std::uint64_t m = (bits & ((std::uint64_t(1) << 52) - 1)) | std::uint64_t(1) << 52;
    const Wide scaled = Wide(m) * estimate.factor[next];
    const auto high = std::uint64_t(scaled >> 64);
    const int t = estimate.shift[next] - biased;  // 32 .. 36
    const std::uint64_t half = std::uint64_t(1) << (t - 1);
    // s rounded, a fraction of exactly one half's high bits down.
    auto digits = std::uint32_t((high + half - 1) >> t);
    if ((high & ((std::uint64_t(1) << t) - 1)) == half) {
        // Within 2^-32 of a unit of s from the tie: the low word decides.
        const auto low = std::uint64_t(scaled);
        if (e <= 5)
            digits += low != 0 || (digits & 1) ? 1 : 0;
        else if (low != 0 && low < m)
            return fallback(first, last, value);
        else
            digits += low != 0 ? 1 : 0;
    }
    int exponent = e;
    if (digits == 1000000) {
        digits = 100000;
        ++exponent;
    }

    // The six digits as the bytes of one integer, first digit lowest, and
    // how many remain without trailing zeros (the first is never zero).
    const std::uint64_t six = pair(digits / 10000) | pair(digits / 100 % 100) << 16 | pair(digits % 100) << 32;
    const int count = (std::bit_width(six ^ 0x303030303030u) + 7) >> 3;

    // Each layout is put together in a register and stored whole; the
    // stores reach at most 15 bytes past first (kRoom).
    char *out = first;
    *out = '-';
    out += bits >> 63;
    if (exponent >= 0 && exponent < 6) {
        const int before = 8 * (exponent + 1);  // bits of the digits before the point
        store8(out, (six & ((std::uint64_t(1) << before) - 1)) | std::uint64_t('.') << before
                        | (six >> before) << (before + 8));
        out += count > exponent + 1 ? count + 1 : exponent + 1;
    } else if (exponent < 0 && exponent >= -4) {
        std::memcpy(out, "0.000000", 8);
        out += 1 - exponent;
        store8(out, six);
        out += count;
    } else {
        store8(out, (six & 0xff) | std::uint64_t('.') << 8 | (six >> 8) << 16);
        out += count > 1 ? count + 1 : 1;
        const int absExponent = exponent < 0 ? -exponent : exponent;  // 5 .. 32
        const std::uint32_t twoDigits = std::uint32_t(pair(std::uint32_t(absExponent)));
        const std::uint32_t tail = 'e' | std::uint32_t(exponent < 0 ? '-' : '+') << 8 | twoDigits << 16;
        std::memcpy(out, &tail, 4);
        out += 4;
    }
    return out;
}
