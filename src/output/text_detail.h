// The text toolkit's machinery: digit tables and whole-word stores. Only output/text.h and
// output/text.cpp include this header; converters call the functions of text.h.
//
// A "text word" holds up to eight characters, the first in its lowest byte: Store8 puts them in
// that order on any byte order. The tables hold digit texts as such words, so that a number's
// digits are put with a few loads and one store.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace dtconv::text::detail {

inline void Store8(char* p, uint64_t word) {
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  std::memcpy(p, &word, 8);
}

inline void Store2(char* p, uint64_t word) {
  p[0] = static_cast<char>(word);
  p[1] = static_cast<char>(word >> 8);
}

// Copies n <= 16 bytes with at most four loads and four stores, none outside the n bytes.
inline void CopyShort(char* p, const char* s, size_t n) {
  if (n >= 8) {
    uint64_t a, b;
    std::memcpy(&a, s, 8);
    std::memcpy(&b, s + n - 8, 8);
    std::memcpy(p, &a, 8);
    std::memcpy(p + n - 8, &b, 8);
  } else if (n >= 4) {
    uint32_t a, b;
    std::memcpy(&a, s, 4);
    std::memcpy(&b, s + n - 4, 4);
    std::memcpy(p, &a, 4);
    std::memcpy(p + n - 4, &b, 4);
  } else if (n > 0) {
    p[0] = s[0];
    p[n / 2] = s[n / 2];
    p[n - 1] = s[n - 1];
  }
}

inline constexpr uint64_t kBlanks = 0x2020202020202020ull;
inline constexpr uint64_t kZeros = 0x3030303030303030ull;

// ---- decimal digits

// The digit texts of small values, zeros first. The four-digit texts take 40 KB, which the
// caches keep beside the rows being written.
struct DigitTables {
  uint16_t pairs[100];    // "00" .. "99"
  uint32_t threes[1000];  // "000" .. "999"
  uint32_t fours[10000];  // "0000" .. "9999"
  // 0 .. 999 without leading zeros, and (in the top byte) how many digits that is.
  uint32_t plain[1000];
  constexpr DigitTables() : pairs(), threes(), fours(), plain() {
    for (uint32_t i = 0; i < 100; ++i) {
      pairs[i] = static_cast<uint16_t>(('0' + i / 10) | ('0' + i % 10) << 8);
    }
    for (uint32_t i = 0; i < 1000; ++i) {
      threes[i] = ('0' + i / 100) | ('0' + i / 10 % 10) << 8 | ('0' + i % 10) << 16;
      uint32_t n = i < 10 ? 1 : i < 100 ? 2 : 3;
      plain[i] = (threes[i] >> (8 * (3 - n))) | n << 24;
    }
    for (uint32_t i = 0; i < 10000; ++i) fours[i] = pairs[i / 100] | uint32_t{pairs[i % 100]} << 16;
  }
};
inline constexpr DigitTables kDigits{};

inline uint64_t TwoDigits(uint32_t v) { return kDigits.pairs[v]; }     // v < 100
inline uint64_t ThreeDigits(uint32_t v) { return kDigits.threes[v]; }  // v < 1000
inline uint64_t FourDigits(uint32_t v) { return kDigits.fours[v]; }    // v < 10^4
// The six digits of v < 10^6.
inline uint64_t SixDigits(uint32_t v) {
  uint32_t high = v / 1000;
  return ThreeDigits(high) | ThreeDigits(v - 1000 * high) << 24;
}
// The eight digits of v < 10^8.
inline uint64_t EightDigits(uint32_t v) {
  uint32_t high = v / 10000;
  return FourDigits(high) | FourDigits(v - high * 10000) << 32;
}

// How many of the eight digits of an EightDigits text are leading zeros (8 for 0).
inline int LeadingZeroDigits(uint64_t digits) {
  uint64_t nonZero = digits ^ kZeros;
  return nonZero == 0 ? 8 : std::countr_zero(nonZero) >> 3;
}

// v / 1000 of any 32-bit value as a multiplication (the compiler may emit a division for code it
// deems rarely run, and the time columns run this once per row).
inline uint32_t Thousandths(uint32_t v) {
  return static_cast<uint32_t>((uint64_t{v} * 274877907u) >> 38);
}

// The number of decimal digits of v (1 for 0).
int DecimalDigits(uint64_t v);

// The general cases of the text functions of the same names, out of line.
char* PutPadRightAny(char* p, std::string_view s, int width);
char* PutSpacePaddedAny(char* p, int64_t v, int width);
char* PutZeroPaddedAny(char* p, int64_t v, int width);

// ---- hexadecimal digits

// The 16 upper-case hexadecimal characters of the eight bytes of `word` (its lowest byte first),
// in a 16-byte vector (GCC and Clang vector extensions, on any target): nibbles interleaved, then
// '0' + n and 7 more from 10 up.
using Vector16 = uint8_t __attribute__((vector_size(16)));
using Vector2x64 = uint64_t __attribute__((vector_size(16)));
inline Vector16 HexOfWord(uint64_t word) {
  auto bytes = reinterpret_cast<Vector16>(Vector2x64{word, 0});
  Vector16 high = bytes >> 4;
  Vector16 low = bytes & 15;
  Vector16 n =
      __builtin_shufflevector(high, low, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
  Vector16 letters = reinterpret_cast<Vector16>(n > 9) & 7;
  return n + '0' + letters;
}
inline uint64_t LoadWord(const uint8_t* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, 8);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}
// The eight hexadecimal digits of v, most significant first, as a text word.
inline uint64_t EightHexDigits(uint32_t v) {
  return reinterpret_cast<Vector2x64>(HexOfWord(__builtin_bswap32(v)))[0];
}
// The number of hexadecimal digits of v (1 for 0).
inline int HexDigitCount(uint32_t v) { return (std::bit_width(v | 1) + 3) >> 2; }

// " %02X" of every byte value, four bytes each (the last a blank).
struct SpacedHexTable {
  uint32_t words[256];
  constexpr SpacedHexTable() : words() {
    constexpr char kHex[] = "0123456789ABCDEF";
    for (uint32_t v = 0; v < 256; ++v) {
      words[v] = uint32_t{' '} | uint32_t(kHex[v >> 4]) << 8 | uint32_t(kHex[v & 15]) << 16 |
                 uint32_t{' '} << 24;
    }
  }
};
inline constexpr SpacedHexTable kSpacedHex{};

// ---- fixed-point numbers

inline constexpr double kPow10Double[10] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};

// x rounded to an integer, to nearest with ties to even, for a product x = a * 10^decimals of a
// finite a >= 0 that rounds below `limit` (at most 10^8): false for the others and for products
// within 2^-26 of a half. The double product lies within 2^-27 of the exact one there, so both
// round alike outside that margin.
//
// The addition of 2^52 rounds the product to an integer in the unit's own rounding (to nearest,
// ties to even; nothing here changes the rounding mode), which then lies in the low bits of the
// sum; the part rounded off, -0.5 .. 0.5, is exact. NaN and infinities fail the comparisons.
inline bool RoundBelow(double x, double limit, uint64_t* q) {
  double rounded = (x + 0x1p52) - 0x1p52;
  if (!(rounded < limit) || !(std::fabs(x - rounded) < 0.5 - 0x1p-26)) return false;
  *q = static_cast<uint64_t>(static_cast<int64_t>(rounded));
  return true;
}

// The same for products below 2^49 with a margin of x * 2^-50 from a half (from 2^49 on the
// margin leaves no room).
inline bool RoundScaled(double x, uint64_t* q) {
  double rounded = (x + 0x1p52) - 0x1p52;
  double rest = x - rounded;
  if (!(std::fabs(rest) < 0.5 - x * 0x1p-50)) return false;
  *q = static_cast<uint64_t>(static_cast<int64_t>(rounded));
  return true;
}

// How "%.<d>f" lays out the eight digits of a rounded value below 10^8 (its EightDigits), d 0..7:
// a bit that stops the count of leading zeros at the digit before the point, the digits before
// the point, the shift that brings the decimals down (any shift below 64 for none), and the
// characters from the point on.
struct ScaledLayout {
  uint64_t stop;
  ptrdiff_t whole;
  int tailShift;
  ptrdiff_t tail;
};
struct ScaledLayoutTable {
  ScaledLayout layouts[8];
  constexpr ScaledLayoutTable() : layouts() {
    for (int d = 0; d < 8; ++d) {
      layouts[d] = {uint64_t{1} << (8 * (7 - d)), 8 - d, d != 0 ? 64 - 8 * d : 63,
                    d + (d != 0 ? 1 : 0)};
    }
  }
};
inline constexpr ScaledLayoutTable kScaledLayouts{};

// "%.<d>f" of a rounded magnitude given as its EightDigits, in the layout of its decimals count;
// nine bytes at `p` may be written.
inline char* PutEightDigitsScaled(char* p, uint64_t digits, const ScaledLayout& layout) {
  // The leading zeros in bits (a multiple of eight): a one put in the digit before the point
  // ends the count there, and spares the count of a zero value.
  int zeroBits = std::countr_zero((digits ^ kZeros) | layout.stop) & ~7;
  Store8(p, digits >> zeroBits);
  char* point = p + layout.whole - (zeroBits >> 3);
  *point = '.';
  Store8(point + 1, digits >> layout.tailShift);
  return point + layout.tail;
}

// Where "%+07.<d>f" puts the point, by the decimals count d (1..4): the bytes before it, and the
// point itself in its byte.
struct PointMask {
  uint64_t head;
  uint64_t point;
};
struct PointMaskTable {
  PointMask masks[5];
  constexpr PointMaskTable() : masks() {
    for (int d = 1; d <= 4; ++d) {
      int shift = 8 * (6 - d);
      masks[d] = {(uint64_t{1} << shift) - 1, uint64_t{'.'} << shift};
    }
  }
};
inline constexpr PointMaskTable kPointMasks{};

// The seven characters of "%+07.<d>f" of a magnitude rounded to `units` below 10^5, with a minus
// sign when `minus` is 1 (a plus sign when 0): the sign and five digits, then the point put in
// by moving the decimals up a byte.
inline uint64_t SignedFixed7Word(uint64_t minus, PointMask m, uint32_t units) {
  uint32_t high = units / 1000;
  uint64_t t = ('+' + 2 * minus) | TwoDigits(high) << 8 | ThreeDigits(units - high * 1000) << 24;
  return (t & m.head) | ((t & ~m.head) << 8) | m.point;
}

// ---- coordinates

inline uint32_t Magnitude(int32_t v) {
  return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

// A text of up to eight characters in one word, right-aligned in `width` blanks.
inline char* PutWordPadded(char* p, uint64_t text, int length, int width) {
  if (length < width) {
    Store8(p, kBlanks);
    p += width - length;
  }
  Store8(p, text);
  return p + length;
}

// "%d.%02d" of a whole count below 10^4 and hundredths, as one word; `length` is set.
inline uint64_t HundredthsWord(uint32_t whole, uint32_t hundredths, int* length) {
  uint64_t digits = FourDigits(whole);
  int n = 4;
  if (whole < 1000) {
    uint32_t plain = kDigits.plain[whole];
    digits = plain & 0xFFFFFF;
    n = static_cast<int>(plain >> 24);
  }
  *length = n + 3;
  return digits | uint64_t{'.'} << (8 * n) | TwoDigits(hundredths) << (8 * (n + 1));
}

// Whether printf's "%.2f" of millimetres * 0.001 rounds a magnitude ending in 5 (a tie in decimal)
// up (text.cpp).
bool TieRoundsUp(uint32_t millimetres);

}  // namespace dtconv::text::detail
