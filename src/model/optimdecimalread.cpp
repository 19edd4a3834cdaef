#include "optimdecimalread.h"

#include <cstdint>
#include <iterator>

// Why the quick path is exact: a text of at most nineteen digits is an
// integer M < 10^19 < 2^64 times 10^s, read without overflow; when M <= 2^53
// it converts to a double exactly, and so does 10^k for k up to 22
// (5^22 < 2^53). The value M * 10^s for 0 <= s <= 22, or M / 10^-s for
// -22 <= s < 0, is then one IEEE multiplication or division of two exact
// operands, which rounds the exact result once, to nearest with ties to
// even (the default rounding mode, which the program never changes): the
// correctly rounded value from_chars returns. For s > 22 where
// M * 10^(s - 22) is still an integer <= 2^53, one multiplication of it by
// 1e22 is again the only rounding. The sign is applied afterwards, exactly.
// This holds only where each operation rounds to double once: SSE2
// arithmetic does; x87 extended intermediates would round twice, hence the
// check in the header. Contracting into a fused multiply-add needs an
// addition, and there is none here.

using namespace optimdecimal;

namespace {

constexpr std::uint64_t kIntegerPowersOfTen[] = {1,          10,          100,          1000,          10000,
                                                 100000,     1000000,     10000000,     100000000,     1000000000,
                                                 10000000000, 100000000000, 1000000000000, 10000000000000,
                                                 100000000000000, 1000000000000000};
constexpr int kMaxDigits = 19;
constexpr std::uint64_t kMaxExactInteger = std::uint64_t(1) << 53;

// Appends the digits at p to mantissa and returns where they end, eight
// bytes at a time while that many remain. Wraps on more than nineteen
// digits.
inline const char *readDigits(const char *p, const char *last, std::uint64_t &mantissa)
{
    if constexpr (std::endian::native == std::endian::little) {
        while (last - p >= 8) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            const std::uint64_t other = nonDigits(w);
            if (other == 0) {
                mantissa = mantissa * 100000000 + leadingDigits(w, 8);
                p += 8;
                continue;
            }
            const int n = std::countr_zero(other) >> 3;
            if (n > 0)
                mantissa = mantissa * kIntegerPowersOfTen[n] + leadingDigits(w, n);
            return p + n;
        }
    }
    for (unsigned d; p != last && (d = digitOf(*p)) < 10; ++p)
        mantissa = mantissa * 10 + d;
    return p;
}

} // namespace

std::from_chars_result optimReadDecimalGeneral(const char *first, const char *last, double &value)
{
    // Only texts of the shape -?D+(.D+)?([eE][+-]?D+)? are read here; an
    // empty integer part or fraction, a lone exponent mark, inf, nan and
    // whatever else from_chars makes of them are its own business.
    const char *p = first;
    const bool negative = p != last && *p == '-';
    p += negative;
    const char *const integerBegin = p;
    std::uint64_t mantissa = 0;
    p = readDigits(p, last, mantissa);
    if (p == integerBegin)
        return std::from_chars(first, last, value, std::chars_format::general);
    std::ptrdiff_t digits = p - integerBegin;
    std::ptrdiff_t scale = 0;
    if (p != last && *p == '.') {
        const char *const fractionBegin = ++p;
        p = readDigits(p, last, mantissa);
        if (p == fractionBegin)
            return std::from_chars(first, last, value, std::chars_format::general);
        digits += p - fractionBegin;
        scale = -(p - fractionBegin);
    }
    if (!readExponent(p, last, scale) || digits > kMaxDigits || mantissa > kMaxExactInteger || scale < -kMaxExactPower)
        return std::from_chars(first, last, value, std::chars_format::general);

    double result;
    if (scale < 0) {
        result = double(mantissa) / kPowersOfTen[-scale];
    } else if (scale <= kMaxExactPower) {
        result = double(mantissa) * kPowersOfTen[scale];
    } else if (scale - kMaxExactPower < std::ssize(kIntegerPowersOfTen)
               && mantissa <= kMaxExactInteger / kIntegerPowersOfTen[scale - kMaxExactPower]) {
        result = double(mantissa * kIntegerPowersOfTen[scale - kMaxExactPower]) * kPowersOfTen[kMaxExactPower];
    } else {
        return std::from_chars(first, last, value, std::chars_format::general);
    }
    value = negative ? -result : result;
    return {p, std::errc()};
}
