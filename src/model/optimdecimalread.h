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
// optimReadDecimal instead. The shapes: an optional minus, then up to
// seven bytes of digits and at most one point, a digit first ("-37.2459",
// "42", "12."), or "0.", zeros and then one to seven digits
// ("-0.0123457"); then
// optionally an exponent of a sign and exactly two digits ("1.01e+08",
// "1e-05"). Every byte of it is found from a few eight-byte loads, without
// a loop. Reads up to kSpacedDecimalWindow bytes at p, which the caller
// must have, and returns at most kSpacedDecimalMaxLength bytes behind p.
inline const char *optimReadSpacedDecimal(const char *p, double &value);
inline constexpr std::ptrdiff_t kSpacedDecimalWindow = 32;
inline constexpr std::ptrdiff_t kSpacedDecimalMaxLength = 22;  // "-0.0000000" "1234567" "e+00 "

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

// Eight digit values, one a byte, the lowest byte the most significant
// digit, as a number. Neighbouring digits are combined into pairs (in
// bytes 0, 2, 4, 6, each below 100), neighbouring pairs into fours (in the
// low sixteen bits of each half: one product adds the lower pair to the
// upper one times 100 in bits 16 to 31 and 48 to 63 of each, without a
// carry into the other), and the two fours into the number.
Q_ALWAYS_INLINE std::uint32_t digitValuesNumber(std::uint64_t v)
{
    v = v * 10 + (v >> 8);
    v = ((v & 0x00FF00FF00FF00FF) * (1 + (100 << 16))) >> 16;
    return std::uint32_t(std::uint16_t(v)) * 10000 + std::uint32_t(v >> 32);
}

// The n (1 to 8) digits in the lowest bytes of w, the lowest the most
// significant, as a number. Subtracting '0' borrows only out of bytes below
// it, which lie above the digits and are shifted out, leaving zeros ahead
// of the digits.
Q_ALWAYS_INLINE std::uint64_t leadingDigits(std::uint64_t w, int n)
{
    return digitValuesNumber((w - bytes('0')) << (64 - 8 * n));
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

// The factors that scale a quick mantissa by 10^s, -22 <= s <= 22, at
// code = 2 * (s + 22) + negative: it is multiplied by up[code] (10^s, or 1
// for s < 0, negated for a negative number) and divided by down[code]
// (10^-s, or 1 for s >= 0). One of the two is exact, so the other is the
// only rounding, without a branch on the sign of s; a product or quotient
// with a negated factor is the negated one, -0 for a mantissa of 0, as the
// rounding to nearest is symmetric.
struct QuickScales
{
    static constexpr int kCodes = 2 * (2 * kMaxExactPower + 1);
    std::array<double, kCodes> up{};
    std::array<double, kCodes> down{};
};
inline constexpr QuickScales kQuickScales = [] {
    QuickScales scales;
    for (int code = 0; code < QuickScales::kCodes; ++code) {
        const int s = code / 2 - kMaxExactPower;
        scales.up[code] = (s < 0 ? 1.0 : kPowersOfTen[s]) * (code % 2 ? -1.0 : 1.0);
        scales.down[code] = s < 0 ? kPowersOfTen[-s] : 1.0;
    }
    return scales;
}();

// The exponent behind a quick mantissa, "e", a sign, two digits and a
// space, is checked against "e+00 " by y = its eight bytes ^ "e+00 ": once
// y & kExponentFrame is 0, bytes 0 and 4 are 0, byte 1 is 0 ('+'), 6 ('-')
// or 2 or 4 (the other two bytes that pass), bytes 2 and 3 are below 16,
// and one product gathers them into ten bits: byte 3 into bits 24 to 27,
// byte 2 into 28 to 31, byte 1 into 32 and 33; the other partial products
// stay below bit 24 without a carry into it, or start at bit 36. At that
// index kExponentCodes holds what the exponent adds to the code of
// kQuickScales, twice its value; for a byte that is no sign or no digit,
// and for exponents no code can take, a value that puts every code out of
// range (codes are 16 to 45 before the exponent).
inline constexpr std::uint64_t kExponentText = 'e' | '+' << 8 | '0' << 16 | std::uint64_t('0') << 24 | std::uint64_t(' ') << 32;
inline constexpr std::uint64_t kExponentFrame = 0xFFF0F0F9FF;
inline constexpr std::uint64_t kExponentGather = 1 + (1 << 12) + (1 << 23);
inline constexpr auto kExponentCodes = [] {
    std::array<std::int8_t, 1024> codes{};
    for (int i = 0; i < 1024; ++i) {
        const int sign = i >> 8, tens = (i >> 4) & 15, units = i & 15;
        const int exponent = (sign == 3 ? -1 : 1) * (10 * tens + units);
        const bool valid = (sign == 0 || sign == 3) && tens < 10 && units < 10 && exponent > -60 && exponent < 60;
        codes[i] = std::int8_t(valid ? 2 * exponent : 127);
    }
    return codes;
}();

// The high bit of every byte of x = w ^ '0' (digits turned into 0 to 9)
// that is not a digit's, and no other bit, as far as the first byte that
// is neither a digit nor a point (0x1E in x): a byte of x is 10 or more
// exactly when its high bit is set or it plus 0x76 reaches 0x80. The sum
// carries into the next byte only out of a byte of 0x8A or more, which is
// marked itself, so only marks behind such a byte may be wrong.
Q_ALWAYS_INLINE std::uint64_t nonDigitMarks(std::uint64_t x)
{
    return ((x + bytes(0x76)) | x) & bytes(0x80);
}

// The index of the byte of the lowest mark of marks, which is not 0.
Q_ALWAYS_INLINE std::size_t firstMarkedByte(std::uint64_t marks)
{
    return static_cast<unsigned>(std::countr_zero(marks)) >> 3;
}

Q_ALWAYS_INLINE std::uint64_t load8(const char *p)
{
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
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
    // one multiplication or division by it (kQuickScales) is the only
    // rounding. The text read is all of what from_chars would read: it
    // ends in a space, which continues no number. Every byte read is
    // checked against the shapes above before anything is stored.
    using namespace optimdecimal;
    if constexpr (std::endian::native == std::endian::little) {
        const std::size_t negative = *p == '-';
        const char *s = p + negative;
        // Digits become their values 0 to 9.
        std::uint64_t x = load8(s) ^ bytes('0');
        // Each search for the first byte that is not a digit (or not a
        // zero) sees byte 7 of its word marked as well, so it never
        // searches an empty mask; where it stops at that mark, the mantissa
        // ends at byte 7, whose real value the check behind the mantissa
        // then reads: a digit or a point there fails it.
        constexpr std::uint64_t kLastMark = std::uint64_t(0x80) << 56;
        std::size_t end;  // where the mantissa ends in x, 1 to 7
        // The power of ten s and the sign as a code of kQuickScales,
        // 2 * (s + 22) + negative.
        std::ptrdiff_t code = 2 * kMaxExactPower + std::ptrdiff_t(negative);
        if ((x & 0xFFFF) == ('.' ^ '0') << 8) {
            // "0.", zeros, digits: the digits are read from behind the
            // zeros. At most seven are skipped, which keeps the loads within
            // the window; an eighth is then read as the mantissa's leading
            // digit, which leaves its value alone.
            const std::size_t zeros = firstMarkedByte((load8(s + 2) ^ bytes('0')) | kLastMark);
            s += 2 + zeros;
            x = load8(s) ^ bytes('0');
            end = firstMarkedByte(nonDigitMarks(x) | kLastMark);
            if (end == 0)
                return nullptr;
            code -= std::ptrdiff_t(2 * (zeros + end));
        } else {
            const std::uint64_t marks = nonDigitMarks(x) | kLastMark;
            if (marks & 0x80)
                return nullptr;  // no digit first
            const std::size_t integerDigits = firstMarkedByte(marks);
            end = integerDigits;
            if (s[integerDigits] == '.') {
                // The digits behind the point, if any ("1." is 1 to
                // from_chars too), run to the next mark. The point is taken
                // out by moving the bytes up to it one byte up, over it:
                // byte 0 becomes a leading zero.
                const std::uint64_t below = marks - 1;  // the bits under the point's mark
                end = firstMarkedByte((marks & below) | kLastMark);
                x ^= (x ^ (x << 8)) & (marks ^ below);
                code -= std::ptrdiff_t(2 * (end - integerDigits - 1));
            }
        }
        // The mantissa's bytes at the top of the word, the rest shifted out.
        // (A shift by 64 - 8 * end, written modulo 64 as the shift takes it.)
        const std::uint32_t mantissa = digitValuesNumber(x << ((0 - 8 * end) & 63));
        // s + end is at the first byte that is not a digit: a space, or
        // "e", a sign, two digits and a space (kExponentCodes).
        const char *q = s + end;
        if (*q != ' ') {
            const std::uint64_t y = load8(q) ^ kExponentText;
            if (y & kExponentFrame)
                return nullptr;
            code += kExponentCodes[(y * kExponentGather >> 24) & 1023];
            q += 4;
        }
        if (std::size_t(code) >= std::size_t(QuickScales::kCodes))
            return nullptr;
        value = double(mantissa) * kQuickScales.up[code] / kQuickScales.down[code];
        return q + 1;
    }
    return nullptr;
}
