// Number texts for the hot paths of the converters, written without printf. Each function gives
// exactly the bytes of the printf conversion named in its comment (C locale), on every platform:
// decimal fractions are rounded here, from the exact binary value, to the nearest and ties to
// even, as the ISO C library does, so no result depends on the C runtime.
//
// Every function writes at `p` and returns the end of what it wrote; none writes a terminating
// NUL. Callers provide room: at most 20 characters for integers plus their padding, and at most
// kMaxFixedChars for a fixed-point number plus its padding.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace dtconv::text {

// A fixed-point text longer than this (a magnitude beyond 10^22 or so, which no converter
// produces) is cut to this length, as the 32-byte pieces of the reports always did.
inline constexpr int kMaxFixedChars = 31;

namespace detail {
// "00" .. "99"
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";
inline constexpr char kHexDigits[] = "0123456789ABCDEF";
// "00" .. "FF"
struct HexPairs {
  char text[512];
  constexpr HexPairs() : text() {
    for (int i = 0; i < 256; ++i) {
      text[2 * i] = kHexDigits[i >> 4];
      text[2 * i + 1] = kHexDigits[i & 0x0F];
    }
  }
};
inline constexpr HexPairs kHexPairs{};
// " 00" .. " FF", four bytes each (the last unused).
struct SpacedHex {
  char text[256][4];
  constexpr SpacedHex() : text() {
    for (int i = 0; i < 256; ++i) {
      text[i][0] = ' ';
      text[i][1] = kHexDigits[i >> 4];
      text[i][2] = kHexDigits[i & 0x0F];
      text[i][3] = ' ';
    }
  }
};
inline constexpr SpacedHex kSpacedHex{};
int DecimalDigits(uint64_t v);
}  // namespace detail

inline char* PutText(char* p, std::string_view s) {
  if (!s.empty()) std::memcpy(p, s.data(), s.size());
  return p + s.size();
}

// "%u" of any unsigned value.
char* PutUnsigned(char* p, uint64_t v);
// "%d" of any signed value.
inline char* PutInt(char* p, int64_t v) {
  if (v < 0) {
    *p++ = '-';
    return PutUnsigned(p, 0 - static_cast<uint64_t>(v));
  }
  return PutUnsigned(p, static_cast<uint64_t>(v));
}
// Exactly N decimal digits of a value below 10^N (leading zeros included).
template <int N>
inline char* PutDigits(char* p, uint64_t v) {
  char* end = p + N;
  char* q = end;
  for (int i = 0; i < N / 2; ++i) {
    q -= 2;
    std::memcpy(q, detail::kDigitPairs + 2 * (v % 100), 2);
    v /= 100;
  }
  if constexpr (N % 2 == 1) *--q = static_cast<char>('0' + v);
  return end;
}

// "%0<width>d": the sign first, then zeros up to `width` characters in all.
char* PutZeroPaddedAny(char* p, int64_t v, int width);
inline char* PutZeroPadded(char* p, int64_t v, int width) {
  switch (width) {
    case 2:
      if (v >= 0 && v < 100) return PutDigits<2>(p, static_cast<uint64_t>(v));
      break;
    case 3:
      if (v >= 0 && v < 1000) return PutDigits<3>(p, static_cast<uint64_t>(v));
      break;
    case 6:
      if (v >= 0 && v < 1000000) return PutDigits<6>(p, static_cast<uint64_t>(v));
      break;
    default:
      break;
  }
  return PutZeroPaddedAny(p, v, width);
}
// "%<width>d": blanks before the number up to `width` characters in all.
char* PutSpacePadded(char* p, int64_t v, int width);
// "%+<width>d": the sign always, blanks before it up to `width` characters in all.
char* PutSignedSpacePadded(char* p, int64_t v, int width);

// Two digits of a value 0..99 ("%02d").
inline char* PutTwoDigits(char* p, unsigned v) {
  std::memcpy(p, detail::kDigitPairs + 2 * v, 2);
  return p + 2;
}

// "%02X" of one byte.
inline char* PutHexByte(char* p, uint8_t v) {
  std::memcpy(p, detail::kHexPairs.text + 2 * v, 2);
  return p + 2;
}
// " %02X" of one byte; the four bytes at `p` may all be written.
inline char* PutSpacedHexByte(char* p, uint8_t v) {
  std::memcpy(p, detail::kSpacedHex.text[v], 4);
  return p + 3;
}
// "%0<width>X" of an unsigned value (more digits when the value needs them).
char* PutHex(char* p, uint32_t v, int width);
// Exactly N hex digits of a value below 16^N ("%0<N>X" of such a value).
template <int N>
inline char* PutHexDigits(char* p, uint32_t v) {
  char* q = p + N;
  for (int i = 0; i < N / 2; ++i) {
    q -= 2;
    std::memcpy(q, detail::kHexPairs.text + 2 * (v & 0xFF), 2);
    v >>= 8;
  }
  if constexpr (N % 2 == 1) *--q = detail::kHexDigits[v & 0x0F];
  return p + N;
}

// "%.<decimals>f", decimals 0..9.
char* PutFixed(char* p, double v, int decimals);

struct FixedStyle {
  int width = 0;       // minimum field width
  bool plus = false;   // '+' flag: a sign on positive values too
  bool zeros = false;  // '0' flag: pad with zeros after the sign instead of blanks before it
};
// "%[+][0]<width>.<decimals>f", decimals 0..9. Infinities and NaN are padded with blanks, as
// the '0' flag does not apply to them.
char* PutFixed(char* p, double v, int decimals, FixedStyle style);

namespace detail {
// PutFixed without the quick paths below: every value rounded from its exact binary value.
char* PutFixedExact(char* p, double v, int decimals, FixedStyle style);

inline constexpr double kPow10Double[10] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};

// 0 .. 999 without leading zeros, in four bytes each: the digits, then their count in the last.
struct SmallNumbers {
  char text[1000][4];
  constexpr SmallNumbers() : text() {
    for (int i = 0; i < 1000; ++i) {
      int n = i < 10 ? 1 : i < 100 ? 2 : 3;
      for (int k = n - 1, v = i; k >= 0; --k, v /= 10) text[i][k] = static_cast<char>('0' + v % 10);
      text[i][3] = static_cast<char>(n);
    }
  }
};
inline constexpr SmallNumbers kSmallNumbers{};

// A value below 2^31 without leading zeros. Below 1000 without a branch on the value; the four
// bytes at `p` may all be written.
inline char* PutSmallUnsigned(char* p, uint32_t v) {
  if (v < 1000) {
    std::memcpy(p, kSmallNumbers.text[v], 4);
    return p + kSmallNumbers.text[v][3];
  }
  return PutUnsigned(p, v);
}

// a × 10^decimals rounded to an integer, to nearest with ties to even, for a finite a >= 0 whose
// double product x is below 2^49 and not within a few units in its last place of a half: the
// exact product lies within half a unit of the computed one, so both round alike (a half itself
// is a double there, so the product cannot cross it; the margin of x × 2^-50 is kept all the
// same). False for NaN, infinities, larger values and near halves (the exact rounding takes
// those): from 2^49 on the margin leaves no room, and NaN and infinities fail the comparison, so
// the test needs no other condition.
//
// The addition of 2^52 rounds the product to an integer in the unit's own rounding (to nearest,
// ties to even; nothing here changes the rounding mode), which then lies in the low bits of the
// sum; the part rounded off, -0.5 .. 0.5, is exact. No conversions and no branch on the value but
// the rare one to the exact rounding: the digits of measured values are as good as random.
inline bool RoundScaledQuick(double x, uint64_t* q) {
  double rounded = (x + 0x1p52) - 0x1p52;
  double rest = x - rounded;
  if (!(std::fabs(rest) < 0.5 - x * 0x1p-50)) return false;
  // Below 2^49 here: the integer converts exactly.
  *q = static_cast<uint64_t>(static_cast<int64_t>(rounded));
  return true;
}
inline bool RoundQuick(double a, int decimals, uint64_t* q) {
  return RoundScaledQuick(a * kPow10Double[decimals], q);
}

// Texts of digits as values, the first character in the lowest byte: "00" .. "99" and "000" ..
// "999".
struct DigitTexts {
  uint16_t pairs[100];
  uint32_t threes[1000];
  constexpr DigitTexts() : pairs(), threes() {
    for (int i = 0; i < 100; ++i) {
      pairs[i] = static_cast<uint16_t>(('0' + i / 10) | ('0' + i % 10) << 8);
    }
    for (int i = 0; i < 1000; ++i) {
      threes[i] =
          static_cast<uint32_t>(('0' + i / 100) | ('0' + i / 10 % 10) << 8 | ('0' + i % 10) << 16);
    }
  }
};
inline constexpr DigitTexts kDigitTexts{};
inline uint64_t PairText(uint32_t v) { return kDigitTexts.pairs[v]; }
inline uint64_t ThreeDigitsText(uint32_t v) { return kDigitTexts.threes[v]; }
// The eight digits of a value below 10^8, leading zeros included.
inline uint64_t EightDigitsText(uint32_t v) {
  // Two, three and three digits from the small tables, which stay in the first-level cache.
  uint32_t thousands = v / 1000, low = v - thousands * 1000;
  uint32_t high = thousands / 1000, mid = thousands - high * 1000;
  return PairText(high) | ThreeDigitsText(mid) << 16 | ThreeDigitsText(low) << 40;
}
inline constexpr uint64_t kAsciiZeros = 0x3030303030303030ull;
// How many of the eight digits of an EightDigitsText are leading zeros (of a value not zero).
inline int LeadingZeros(uint64_t digits) { return std::countr_zero(digits ^ kAsciiZeros) >> 3; }

// The number of trailing zero bits of a value known not to be zero (std::countr_zero also
// handles zero, with a test the digit layouts do not need: they always set a stop bit).
inline int TrailingZeros(uint64_t v) { return __builtin_ctzll(v); }

// Stores the eight bytes of v at p, the lowest byte first.
inline void Store8(char* p, uint64_t v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, 8);
  } else {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<char>(v >> (8 * i));
  }
}

// The layout of PutScaledDigits' eight-digit form by decimals count: a bit that stops the count of
// leading zeros at the digit before the point, the digits before the point (8 - decimals), the
// shift that brings the decimals down (any shift below 64 for none), and the characters from
// the point on.
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

// "%.<decimals>f" of a rounded magnitude q below 2^53 (no sign), decimals 0..9; up to 24 bytes at
// `p` may be written.
inline char* PutScaledDigits(char* p, uint64_t q, int decimals) {
  if (q < 100000000 && decimals >= 8) {
    // Below one: "0.", the zeros up to the eight digits, the digits.
    p[0] = '0';
    p[1] = '.';
    p[2] = '0';
    Store8(p + decimals - 6, EightDigitsText(static_cast<uint32_t>(q)));
    return p + 2 + decimals;
  }
  if (q < 100000000) {
    // Eight digits, the leading zeros dropped but one before the point: a store of the digits
    // from the first kept one, then the point and the decimals stored over the digits after the
    // whole part.
    uint64_t digits = EightDigitsText(static_cast<uint32_t>(q));
    const ScaledLayout& layout = kScaledLayouts.layouts[decimals];
    // The leading zeros, at most 7 - decimals of them: a one put in the digit before the point
    // ends the count there (and spares the count of a zero value).
    int zeros = TrailingZeros((digits ^ kAsciiZeros) | layout.stop) >> 3;
    Store8(p, digits >> (8 * zeros));
    char* point = p + layout.whole - zeros;
    // The decimals at the top of `digits`, after the point.
    Store8(point, '.' | (digits >> layout.tailShift) << 8);
    return point + layout.tail;
  }
  // Sixteen digits in two groups of eight, the same way over 128 bits. The high group is not
  // zero here (q >= 10^8).
  auto high = static_cast<uint32_t>(q / 100000000);
  auto low = static_cast<uint32_t>(q % 100000000);
  uint64_t highDigits = EightDigitsText(high);
  uint64_t lowDigits = EightDigitsText(low);
  int zeros = LeadingZeros(highDigits);
  if (zeros > 15 - decimals) zeros = 15 - decimals;
  unsigned __int128 digits = (static_cast<unsigned __int128>(lowDigits) << 64) | highDigits;
  unsigned __int128 kept = digits >> (8 * zeros);
  Store8(p, static_cast<uint64_t>(kept));
  Store8(p + 8, static_cast<uint64_t>(kept >> 64));
  int whole = 16 - decimals - zeros;
  unsigned __int128 tail = '.' | (((digits >> 8) >> (120 - 8 * decimals)) << 8);
  Store8(p + whole, static_cast<uint64_t>(tail));
  if (decimals >= 8) Store8(p + whole + 8, static_cast<uint64_t>(tail >> 64));
  return p + whole + decimals + (decimals != 0 ? 1 : 0);
}

// Where SignedFixed7Text puts the point, by the decimals count (1..4): the bytes before it, and
// the point itself in its byte.
struct PointMasks {
  uint64_t head;
  uint64_t point;
};
struct PointMaskTable {
  PointMasks masks[5];
  constexpr PointMasks operator[](int decimals) const { return masks[decimals]; }
  constexpr PointMaskTable() : masks() {
    for (int d = 1; d <= 4; ++d) {
      int shift = 8 * (6 - d);
      masks[d] = {(uint64_t{1} << shift) - 1, uint64_t{'.'} << shift};
    }
  }
};
inline constexpr PointMaskTable kPointMasks{};

// RoundScaledQuick for the products that round below `limit` (at most 10^8: the seven-character
// cells and the eight-digit forms), false for the others: such a product lies within 2^-27 of
// the exact one, so a fixed margin of 2^-26 from a half serves for all of them.
inline bool RoundBelowQuick(double x, double limit, uint64_t* q) {
  double rounded = (x + 0x1p52) - 0x1p52;
  if (!(rounded < limit) || !(std::fabs(x - rounded) < 0.5 - 0x1p-26)) return false;
  *q = static_cast<uint64_t>(static_cast<int64_t>(rounded));
  return true;
}

// The seven characters of a magnitude rounded to `units` below 10^5, with a minus sign when
// `minus` is 1 (a plus sign when 0), in the low bytes (the first in the lowest, the top byte
// zero): the sign, 5 - decimals whole digits (zeros first), the point, the decimals. The sign and
// five digits, then the point put in by moving the decimals up a byte.
inline uint64_t SignedFixed7Units(uint64_t minus, PointMasks m, uint32_t units) {
  uint32_t high = units / 1000;
  uint64_t t = ('+' + 2 * minus) | PairText(high) << 8 | ThreeDigitsText(units - high * 1000) << 24;
  return (t & m.head) | ((t & ~m.head) << 8) | m.point;
}

// The seven characters of PutSignedFixed7's quick path in `*text`; false for the values it
// leaves to the exact rounding. SignedFixed7TextOf takes the scale and point of the decimals count
// already looked up.
inline bool SignedFixed7TextOf(double v, double scale, PointMasks m, uint64_t* text) {
  uint64_t q = 0;
  if (!RoundBelowQuick(std::fabs(v) * scale, 100000, &q)) return false;
  *text = SignedFixed7Units(std::signbit(v) ? 1 : 0, m, static_cast<uint32_t>(q));
  return true;
}
inline bool SignedFixed7Text(double v, int decimals, uint64_t* text) {
  return SignedFixed7TextOf(v, kPow10Double[decimals], kPointMasks[decimals], text);
}

// PutSignedFixed7 and PutPlainFixed for a decimals count already in their range (1..4, 0..9):
// the row loops of the converters check it once per conversion.
inline char* PutSignedFixed7(char* p, double v, int decimals) {
  uint64_t text = 0;
  if (!SignedFixed7Text(v, decimals, &text)) {
    return PutFixedExact(p, v, decimals, FixedStyle{.width = 7, .plus = true, .zeros = true});
  }
  Store8(p, text);
  return p + 7;
}

inline char* PutPlainFixed(char* p, double v, int decimals) {
  uint64_t q = 0;
  if (!RoundQuick(std::fabs(v), decimals, &q)) return PutFixedExact(p, v, decimals, FixedStyle{});
  *p = '-';
  p += std::signbit(v) ? 1 : 0;
  return PutScaledDigits(p, q, decimals);
}
}  // namespace detail

// "%+07.<decimals>f" for the cells of a column whose decimals count (1..4) is set once: a blank
// and the seven characters, as one word when they take the quick path.
class SignedFixed7Column {
 public:
  constexpr SignedFixed7Column() : SignedFixed7Column(1) {}
  explicit constexpr SignedFixed7Column(int decimals)
      : scale_(detail::kPow10Double[decimals]),
        point_(detail::kPointMasks[decimals]),
        decimals_(decimals) {}

  // " " and the cell; eight bytes at `p` are written.
  char* PutAfterBlank(char* p, double v) const {
    uint64_t cell = 0;
    if (!detail::SignedFixed7TextOf(v, scale_, point_, &cell)) [[unlikely]] {
      *p = ' ';
      return detail::PutSignedFixed7(p + 1, v, decimals_);
    }
    detail::Store8(p, ' ' | cell << 8);
    return p + 8;
  }
  // The same for a value whose magnitude a caller has already rounded: to `units` times
  // 10^-decimals, below limit(), by the quick rounding of its magnitude times scale(); `minus` is
  // 1 for a negative value, 0 for the others.
  char* PutUnitsAfterBlank(char* p, uint64_t minus, uint32_t units) const {
    detail::Store8(p, ' ' | detail::SignedFixed7Units(minus, point_, units) << 8);
    return p + 8;
  }
  double scale() const { return scale_; }
  static constexpr double limit() { return 100000; }

 private:
  double scale_;
  detail::PointMasks point_;
  int decimals_;
};

// "%.<decimals>f" for the cells of a column whose decimals count (0..9) is set once: what the
// count decides is looked up when the column is set up, not for every value.
class PlainFixedColumn {
 public:
  constexpr PlainFixedColumn() : PlainFixedColumn(0) {}
  explicit constexpr PlainFixedColumn(int decimals)
      : scale_(detail::kPow10Double[decimals]),
        // The eight-digit form serves counts up to 7; the others always take PutPlainFixed's
        // way.
        limit_(decimals <= 7 ? 1e8 : 0),
        layout_(detail::kScaledLayouts.layouts[decimals <= 7 ? decimals : 0]),
        decimals_(decimals) {}

  char* Put(char* p, double v) const {
    uint64_t q = 0;
    if (!detail::RoundBelowQuick(std::fabs(v) * scale_, limit_, &q)) [[unlikely]] {
      return detail::PutPlainFixed(p, v, decimals_);
    }
    return PutDigits(p, std::signbit(v) ? 1 : 0, detail::EightDigitsText(static_cast<uint32_t>(q)));
  }
  // The same for a value whose magnitude a caller has already rounded, by the quick rounding of
  // its magnitude times scale(), to units below limit(): their EightDigitsText. `minus` is 1 for
  // a negative value, 0 for the others.
  char* PutDigits(char* p, uint64_t minus, uint64_t digits) const {
    *p = '-';
    p += minus;
    // PutScaledDigits' eight-digit form.
    // The count of leading zeros in bits, a multiple of eight.
    int zeroBits = detail::TrailingZeros((digits ^ detail::kAsciiZeros) | layout_.stop) & ~7;
    detail::Store8(p, digits >> zeroBits);
    char* point = p + layout_.whole - (zeroBits >> 3);
    *point = '.';
    detail::Store8(point + 1, digits >> layout_.tailShift);
    return point + layout_.tail;
  }
  double scale() const { return scale_; }
  double limit() const { return limit_; }

 private:
  double scale_;
  double limit_;
  detail::ScaledLayout layout_;
  int decimals_;
};

// "%u" of a value below 2^31; the four bytes at `p` may all be written.
inline char* PutSmallUnsigned(char* p, uint32_t v) { return detail::PutSmallUnsigned(p, v); }

// "%+07.<decimals>f", decimals 1..4 (any other count is taken as 1): the text analog cells.
// The same bytes as PutFixed; quicker for the magnitudes below 10^(5 - decimals). The eight bytes
// at `p` may all be written.
inline char* PutSignedFixed7(char* p, double v, int decimals) {
  return detail::PutSignedFixed7(p, v, decimals >= 1 && decimals <= 4 ? decimals : 1);
}

// "%.<decimals>f", decimals 0..9 (any other count is taken as 0). The same bytes as PutFixed;
// quicker for the magnitudes whose scaled value is below 2^49 or so. Up to 25 bytes at `p` may be
// written.
inline char* PutPlainFixed(char* p, double v, int decimals) {
  return detail::PutPlainFixed(p, v, decimals >= 0 && decimals <= 9 ? decimals : 0);
}

// "%<width>s" and "%-<width>s" of a text.
char* PutPadLeft(char* p, std::string_view s, int width);
char* PutPadRight(char* p, std::string_view s, int width);

}  // namespace dtconv::text
