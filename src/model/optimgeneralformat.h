#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Writes value as printf's "%g" writes it in the C locale (six significant
// digits, plainly for decimal exponents -4 to 5, else as "d.ddddde+XX";
// trailing zeros and a bare point dropped): byte for byte what
//   std::to_chars(first, last, value, std::chars_format::general, 6)
// writes, for every double, and returns the end of what it wrote, as that
// call's ptr. Several times quicker than that call for finite values from
// 2^-74 to 2^107 (about 5.3e-23 to 1.6e32), which it rounds in integers,
// inline; everything else, and the rare value too close to a rounding tie
// to decide quickly, it hands to that call, out of line. With 16 bytes of
// room or more it may use them all as scratch; with less it is that call.
inline char *optimFormatGeneral6(char *first, char *last, double value);

namespace optimgeneral6 {

// Rounding to six significant digits, in integers.
//
// A finite normal |x| in the binade [2^b, 2^(b+1)) is m * 2^(b-63) with
// 2^63 <= m < 2^64 (the significand shifted to the top bit). Its decimal
// exponent e is E, that of 2^b, or E + 1: comparing |x| with the double
// nearest 10^(E+1) picks it, rightly except within a relative 2^-53 of a
// power of ten. The six digits are the scaled value s = |x| * 10^(5-e),
// rounded to an integer, half to even; s lies between 1e5 * (1 - 2^-52) and
// 1e6 * (1 + 2^-52).
//
// The factor F for b and e is s * 2^96 / m = 5^k * 2^(b+k+33), k = 5 - e,
// rounded up to an integer where it is not one; F < 2^53 throughout. Then
// M = m * F is s * 2^96: the high 64 bits of M hold the integer part of s
// above their low 32 bits, and the fraction below. Where F is
// exact, so is everything, ties included. Where F is rounded up, M exceeds
// the exact value by less than m < 2^64, so the exact fraction lies below
// the computed one by less than m: a computed fraction at most one half
// rounds down rightly (the exact value is below it; if that borrows from the
// integer part, the exact value lies just under that integer), one at least
// m above one half rounds up rightly, and the rest (a width below 2^64 /
// 2^96 of a unit of s, every exact tie among it) is handed to
// std::to_chars. The high word alone decides unless its fraction bits are
// those of one half.
//
// Rounding up to 1e6 moves to the next decade as 100000. A wrong e beside a
// power of ten needs no care: s is then just under 1e5 or just over 1e6,
// and both round to the power of ten the exact value rounds to.

constexpr std::ptrdiff_t kRoom = 16;  // "-1.23457e-22" and the fixed-size stores below

constexpr int kFirstBinade = -74;
constexpr int kBinadeCount = 181;  // to 2^106

// How a decimal exponent lays out the six digits, first digit in the low
// byte of six. The digits before the point stay, those from the point on
// move up one byte ((six & moved) * 255 adds them once more, shifted), and
// point goes into the byte that frees: the point itself, or for plain
// values below one the last character of the "0.000" before the digits.
// Everything is then cut after the last byte that differs from ends: the
// digits past the point as '0', the point itself, and zero under the last
// digit before the point (never cut, as no character is zero); then comes
// tail, "e+XX" or nothing.
struct alignas(64) Layout
{
    std::uint64_t moved;
    std::uint64_t point;
    std::uint64_t ends;
    std::uint64_t lead;      // the characters of "0.000" before the digits
    std::uint64_t tail;      // its bytes
    std::uint64_t tailSize;  // 4 or 0
    std::uint64_t spread;    // 255, read here so that the compiler multiplies once
};
constexpr int kFirstLayout = -25;
constexpr int kLayoutCount = 61;

// All in one place, reached from one base address. A value in the binade
// [2^b, 2^(b+1)) has the decimal exponent E of 2^b or E + 1; the binade's
// entries are at i = b - kFirstBinade, those of its two choices at 2i and
// 2i + 1, an array for each member so that one index reaches them all.
struct Tables
{
    Layout layouts[kLayoutCount];
    // m of the double nearest 10^(E+1), or ~0 where that lies past the binade.
    std::uint64_t decadeEnds[kBinadeCount];
    std::uint64_t factors[2 * kBinadeCount];        // F
    std::uint64_t layoutOffsets[2 * kBinadeCount];  // where the exponent's layout is in Tables, in bytes
    bool exact[2 * kBinadeCount];                   // F is exact
    // The three digits of 0 <= i < 1000 as the low bytes of an integer,
    // first digit lowest.
    std::uint32_t triples[1000];
};
extern const Tables kTables;

// Values outside the binades above, with too little room, or beside a tie.
[[gnu::cold]] char *formatRest(char *first, char *last, double value);

// Formats the double with these bits into kRoom bytes at first, all of
// which it may use as scratch.
[[gnu::always_inline]] inline char *formatInRoom(char *first, std::uint64_t bits)
{
    __extension__ using Wide = unsigned __int128;
    // The biased exponent: zero, subnormals, infinities and NaNs fall
    // outside the binades too.
    const std::uint64_t biased = bits << 1 >> 53;
    if (std::endian::native != std::endian::little || biased - (1023 + kFirstBinade) >= std::uint64_t(kBinadeCount))
        [[unlikely]]
        return formatRest(first, first + kRoom, std::bit_cast<double>(bits));
    const std::uint64_t binade = biased - (1023 + kFirstBinade);
    const std::uint64_t m = bits << 11 | std::uint64_t(1) << 63;
    const std::uint64_t choice = 2 * binade + (m >= kTables.decadeEnds[binade] ? 1 : 0);
    const Wide scaled = Wide(m) * kTables.factors[choice];
    // s rounded, a fraction of exactly one half's high bits down.
    const auto high = std::uint64_t(scaled >> 64);
    std::uint64_t digits = (high + 0x7fffffff) >> 32;
    if (std::uint32_t(high) == 0x80000000u) [[unlikely]] {
        // Within 2^-32 of a unit of s from the tie: the low word decides.
        const auto low = std::uint64_t(scaled);
        if (kTables.exact[choice])
            digits += low != 0 || (digits & 1) ? 1 : 0;
        else if (low != 0 && low < m)
            return formatRest(first, first + kRoom, std::bit_cast<double>(bits));
        else
            digits += low != 0 ? 1 : 0;
    }
    const char *layoutAt = reinterpret_cast<const char *>(&kTables) + kTables.layoutOffsets[choice];
    if (digits == 1000000) [[unlikely]] {
        digits = 100000;
        layoutAt += sizeof(Layout);
    }
    const Layout *layout = reinterpret_cast<const Layout *>(layoutAt);

    // The six digits as the bytes of one integer, first digit lowest: three
    // and three from a fixed-point fraction. 4294968 is 2^32 / 1000 rounded
    // up, by less than 0.71, so the fraction of digits / 1000 in the low 32
    // bits exceeds the exact one by less than 10^6 * 0.71 / 2^32 < 10^-3,
    // which the exact multiplication by 1000 keeps below one unit of the
    // last digit.
    const std::uint64_t y = std::uint64_t(digits) * 4294968;
    const std::uint64_t six
        = kTables.triples[y >> 32] | std::uint64_t(kTables.triples[((y & 0xffffffff) * 1000) >> 32]) << 24;

    // The sign, "0.000" (for other layouts written over), the digits, the
    // tail: all stored whole, reaching at most 15 bytes past first (kRoom).
    char *out = first;
    *out = '-';
    out += bits >> 63;
    std::memcpy(out, "0.000000", 8);
    out += layout->lead;
    const std::uint64_t text = six + (six & layout->moved) * layout->spread + layout->point;
    std::memcpy(out, &text, 8);
    // Up to the last byte that differs from ends (there always is one).
    out += ((63u ^ unsigned(__builtin_clzll(text ^ layout->ends))) >> 3) + 1;
    std::memcpy(out, &layout->tail, 4);
    return out + layout->tailSize;
}

} // namespace optimgeneral6

[[gnu::always_inline]] inline char *optimFormatGeneral6(char *first, char *last, double value)
{
    if (last - first < optimgeneral6::kRoom) [[unlikely]]
        return optimgeneral6::formatRest(first, last, value);
    return optimgeneral6::formatInRoom(first, std::bit_cast<std::uint64_t>(value));
}
