#pragma once

#include <array>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include <QtGlobal>

// Reads a number at [first, last) exactly as
//   std::from_chars(first, last, value, std::chars_format::general)
// does: the same value bit for bit, the same end, the same error, value left
// alone where that call leaves it alone, for every input. Quicker than
// that call for the numbers the record text is full of: an
// optional minus, at most nineteen digits with or without a point, an
// optional exponent, whose value is an exact integer scaled by a power of
// ten no larger than 1e22 ("-1.23457e-05", "-37.2459", "1e+06"). The
// shortest of them are read here, inline; the rest out of line, and what
// is not of that shape by that call itself (optimdecimalread.cpp says why
// the results are the same).
inline std::from_chars_result optimReadDecimal(const char *first, const char *last, double &value);

// Reads a number of the record text's most common shapes at p together with
// the single space that ends it, and returns where that space ends; nullptr,
// with value left alone, for anything else, which the caller reads with
// optimReadDecimal instead. The shapes: an optional minus, then one to six
// digits with or without a point among them ("-37.2459", "42"), or "0.",
// zeros and then one to seven digits ("-0.0123457"); then
// optionally an exponent of a sign and exactly two digits ("1.01e+08",
// "1e-05"). Every byte of it is found from a few eight-byte loads, without
// a loop. Reads up to kSpacedDecimalWindow bytes at p, which the caller
// must have.
inline const char *optimReadSpacedDecimal(const char *p, double &value);
inline constexpr std::ptrdiff_t kSpacedDecimalWindow = 32;

// The out-of-line part of optimReadDecimal: any text.
std::from_chars_result optimReadDecimalGeneral(const char *first, const char *last, double &value);

// Each double operation must round to double once (see the .cpp).
#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
#error "optimReadDecimal needs double operations evaluated in double precision"
#endif

namespace optimdecimal {

inline constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                          1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr int kMaxExactPower = 22;

// The byte in every byte of a word. Unsigned throughout: a signed product
// would overflow for bytes of 0x80 and above.
constexpr std::uint64_t bytes(unsigned char byte)
{
    return std::uint64_t(0x0101010101010101) * std::uint64_t(byte);
}

inline unsigned digitOf(char c)
{
    return unsigned(static_cast<unsigned char>(c)) - unsigned('0');
}

// A byte other than zero for every byte of w that is not a digit: the
// digit bytes are those whose high nibble is 3 and whose low nibble plus 6
// does not reach 16. The first of them is countr_zero(...) / 8.
Q_ALWAYS_INLINE std::uint64_t nonDigits(std::uint64_t w)
{
    return ((w & bytes(0xF0)) ^ bytes(0x30)) | (((w & bytes(0x0F)) + bytes(0x06)) & bytes(0x10));
}

// The n (1 to 8) digits in the lowest bytes of w, the lowest the most
// significant, as a number. Subtracting '0' borrows only out of bytes below
// it, which lie above the digits and are shifted out. Then neighbouring
// digits are combined into pairs (in bytes 0, 2, 4, 6), and the upper
// halves of the two products add up to byte 0's pair times 10^6, byte 2's
// times 10^4, byte 4's times 100 and byte 6's; the lower halves stay below
// 2^32 and carry nothing into them.
Q_ALWAYS_INLINE std::uint64_t leadingDigits(std::uint64_t w, int n)
{
    std::uint64_t v = (w - bytes('0')) << (64 - 8 * n);
    v = v * 10 + (v >> 8);
    constexpr std::uint64_t pairs = 0x000000FF000000FF;
    v = ((v & pairs) * (100 + (std::uint64_t(1000000) << 32)) + ((v >> 16) & pairs) * (1 + (std::uint64_t(10000) << 32)))
        >> 32;
    return std::uint32_t(v);
}

// The digits and point of a short mantissa ("37.2459", "1.001", "42") from
// the eight bytes at p, without a loop: the digits before the point, the
// point taken out and the bytes behind it moved down, the digits after it.
// False, with nothing read, unless the mantissa is one or more digits,
// optionally a point and one or more digits, ending within those bytes.
// A mantissa "0." followed by digits is read from the eight bytes behind
// the point's leading zeros instead.
Q_ALWAYS_INLINE bool readShortMantissa(const char *&p, const char *last, std::uint64_t &mantissa, int &scale)
{
    if constexpr (std::endian::native == std::endian::little) {
        if (last - p < 8)
            return false;
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        if ((w & 0xFFFF) == ('0' | '.' << 8)) {
            const char *const fraction = p + 2;
            if (last - fraction < 8)
                return false;
            std::memcpy(&w, fraction, 8);
            const int zeros = std::countr_zero(w ^ bytes('0')) >> 3;
            const char *const significant = fraction + zeros;
            if (zeros == 8 || last - significant < 8)
                return false;
            std::memcpy(&w, significant, 8);
            const int n = std::countr_zero(nonDigits(w)) >> 3;
            if (n == 0 || n == 8)
                return false;
            mantissa = leadingDigits(w, n);
            scale = -(zeros + n);
            p = significant + n;
            return true;
        }
        const int integerDigits = std::countr_zero(nonDigits(w)) >> 3;
        if (integerDigits == 0 || integerDigits == 8)
            return false;
        if (p[integerDigits] != '.') {
            mantissa = leadingDigits(w, integerDigits);
            scale = 0;
            p += integerDigits;
            return true;
        }
        if (integerDigits == 7)
            return false;
        const int shift = 8 * integerDigits;
        const std::uint64_t joined = (w & ((std::uint64_t(1) << shift) - 1)) | (w >> (shift + 8) << shift);
        const int n = std::countr_zero(nonDigits(joined)) >> 3;  // its top byte is 0: at most 7
        if (n == integerDigits || n == 7)
            return false;
        mantissa = leadingDigits(joined, n);
        scale = integerDigits - n;
        p += n + 1;
        return true;
    }
    return false;
}

// Adds the exponent at p ("e-05", "E7"), if there is one, to scale and
// moves p past it; false when an exponent mark has no digits behind it. An
// exponent beyond 100000 counts as 100000.
Q_ALWAYS_INLINE bool readExponent(const char *&p, const char *last, std::ptrdiff_t &scale)
{
    if (p == last || (*p | 0x20) != 'e')
        return true;
    const char *q = p + 1;
    const bool negative = q != last && *q == '-';
    q += q != last && (*q == '-' || *q == '+');
    if (q == last || digitOf(*q) >= 10)
        return false;
    std::ptrdiff_t exponent = 0;
    for (unsigned d; q != last && (d = digitOf(*q)) < 10; ++q) {
        if (exponent < 100000)
            exponent = exponent * 10 + d;
    }
    scale += negative ? -exponent : exponent;
    p = q;
    return true;
}

// The powers of ten of kPowersOfTen, positive and negative: a product or
// quotient with the negative one is the negated product or quotient, -0
// for a mantissa of 0, as the rounding to nearest is symmetric.
inline constexpr auto kSignedPowersOfTen = [] {
    std::array<std::array<double, kMaxExactPower + 1>, 2> powers{};
    for (int k = 0; k <= kMaxExactPower; ++k) {
        powers[0][k] = kPowersOfTen[k];
        powers[1][k] = -kPowersOfTen[k];
    }
    return powers;
}();

// The high bit of every byte of w that is not a digit, and no other bit:
// x = w ^ '0' turns digits into 0 to 9, and a byte of x is 10 or more
// exactly when its high bit is set or its low seven bits plus 0x76 reach
// 0x80 (at most 0xF5: nothing carries into the next byte).
Q_ALWAYS_INLINE std::uint64_t nonDigitMarks(std::uint64_t w)
{
    const std::uint64_t x = w ^ bytes('0');
    return (((x & bytes(0x7F)) + bytes(0x76)) | x) & bytes(0x80);
}

} // namespace optimdecimal

Q_ALWAYS_INLINE std::from_chars_result optimReadDecimal(const char *first, const char *last, double &value)
{
    using namespace optimdecimal;
    const char *p = first;
    const bool negative = p != last && *p == '-';
    p += negative;
    std::uint64_t mantissa;
    int fractionScale;
    if (!readShortMantissa(p, last, mantissa, fractionScale))
        return optimReadDecimalGeneral(first, last, value);
    std::ptrdiff_t scale = fractionScale;
    if (!readExponent(p, last, scale) || scale > kMaxExactPower)
        return optimReadDecimalGeneral(first, last, value);
    if (scale < -kMaxExactPower)
        return std::from_chars(first, last, value, std::chars_format::general);
    // At most eight digits: the mantissa is an exact double. It is
    // multiplied by 10^scale or divided by 10^-scale, and by 1 the other way,
    // which is exact: one rounding either way, without a branch on the sign
    // of scale, nor on the text's, which is or'ed into the non-negative
    // result.
    const std::ptrdiff_t up = scale < 0 ? 0 : scale;
    const std::ptrdiff_t down = scale < 0 ? -scale : 0;
    const double result = double(mantissa) * kPowersOfTen[up] / kPowersOfTen[down];
    value = std::bit_cast<double>(std::bit_cast<std::uint64_t>(result) | std::uint64_t(negative) << 63);
    return {p, std::errc()};
}

Q_ALWAYS_INLINE const char *optimReadSpacedDecimal(const char *p, double &value)
{
    // Exact for the same reason as optimReadDecimal: at most seven digits
    // make an integer below 10^7, an exact double, and only scales whose
    // power of ten, at most 10^22, is exact too are let through, so the
    // one multiplication or division is the only rounding. The text read
    // is all of what from_chars would read: it ends in a space, which
    // continues no number. Every byte read is checked against the shapes
    // above before anything is stored.
    using namespace optimdecimal;
    if constexpr (std::endian::native == std::endian::little) {
        const bool negative = *p == '-';
        const char *const s = p + negative;
        std::uint64_t w;
        std::memcpy(&w, s, 8);
        std::uint64_t mantissa;
        int scale;
        const char *q;  // behind the mantissa
        // Each search for the first byte that is not a digit (or not a
        // zero) sees byte 7 of its word marked as well, so it never
        // searches an empty mask; where it stops at that mark, q ends up at
        // byte 7, whose real value the check behind the mantissa then
        // reads: a digit there fails it.
        constexpr std::uint64_t kLastMark = std::uint64_t(0x80) << 56;
        if ((w & 0xFFFF) == ('0' | '.' << 8)) {
            // "0.", zeros, digits: the digits are read from behind the
            // zeros. At most seven are skipped, which keeps the loads within
            // the window; an eighth is then read as the mantissa's leading
            // digit, which leaves its value alone.
            const char *const fraction = s + 2;
            std::memcpy(&w, fraction, 8);
            const int zeros = std::countr_zero((w ^ bytes('0')) | kLastMark) >> 3;
            std::memcpy(&w, fraction + zeros, 8);
            const int n = std::countr_zero(nonDigitMarks(w) | kLastMark) >> 3;
            if (n == 0)
                return nullptr;
            mantissa = leadingDigits(w, n);
            scale = -(zeros + n);
            q = fraction + zeros + n;
        } else {
            std::uint64_t other = nonDigitMarks(w) | kLastMark;
            const int integerDigits = std::countr_zero(other) >> 3;
            if (unsigned(integerDigits - 1) >= 6)
                return nullptr;
            const int shift = 8 * integerDigits;
            if (((w >> shift) & 0xFF) == '.') {
                // The digits behind the point run to the next byte that is
                // not a digit; the point is taken out and the bytes behind
                // it moved down.
                other &= other - 1;  // the point's mark cleared
                const int end = std::countr_zero(other) >> 3;
                if (end == integerDigits + 1)
                    return nullptr;
                const std::uint64_t low = (std::uint64_t(1) << shift) - 1;
                const std::uint64_t joined = (w & low) | ((w >> 8) & ~low);
                mantissa = leadingDigits(joined, end - 1);
                scale = integerDigits + 1 - end;
                q = s + end;
            } else {
                mantissa = leadingDigits(w, integerDigits);
                scale = 0;
                q = s + integerDigits;
            }
        }
        // q is at the first byte that is not a digit: a space, or "e", a
        // sign, two digits and a space.
        std::uint64_t tail;
        std::memcpy(&tail, q, 8);
        if ((tail & 0xFF) != ' ') {
            const std::uint32_t head = std::uint32_t(tail);
            const std::uint32_t frame = head & 0xFFFF;
            const std::uint32_t nonDigit = ((head & 0xF0F00000) ^ 0x30300000) | (((head & 0x0F0F0000) + 0x06060000) & 0x10100000);
            if ((frame != ('e' | '+' << 8) && frame != ('e' | '-' << 8)) || nonDigit != 0 || q[4] != ' ')
                return nullptr;
            const int exponent = int((head >> 16) & 0xF) * 10 + int(head >> 24 & 0xF);
            scale += frame == ('e' | '-' << 8) ? -exponent : exponent;
            q += 4;
        }
        if (unsigned(scale + kMaxExactPower) > unsigned(2 * kMaxExactPower))
            return nullptr;
        const auto &powers = kSignedPowersOfTen[negative];
        value = scale < 0 ? double(mantissa) / powers[-scale] : double(mantissa) * powers[scale];
        return q + 1;
    }
    return nullptr;
}
