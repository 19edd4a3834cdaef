#pragma once

// Writes value as printf's "%g" writes it in the C locale (six significant
// digits, plainly for decimal exponents -4 to 5, else as "d.ddddde+XX";
// trailing zeros and a bare point dropped): byte for byte what
//   std::to_chars(first, last, value, std::chars_format::general, 6)
// writes, for every double, and returns the end of what it wrote, as that
// call's ptr. Several times quicker than that call for finite values from
// 1e-22 to 1e32, which it rounds in integers; everything else, and the
// rare value too close to a rounding tie to decide quickly, it hands to
// that call. With 16 bytes of room or more it may use them all as scratch;
// with less it is that call.
char *optimFormatGeneral6(char *first, char *last, double value);
