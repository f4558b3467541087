// Number texts for the hot paths of the converters, written without printf. Each function gives
// exactly the bytes of the printf conversion named in its comment (C locale), on every platform:
// decimal fractions are rounded here, from the exact binary value, to the nearest and ties to
// even, as the ISO C library does, so no result depends on the C runtime.
//
// Every function writes at `p` and returns the end of what it wrote; none writes a terminating
// NUL. Callers provide room: at most 20 characters for integers plus their padding, and at most
// kMaxFixedChars for a fixed-point number plus its padding.
#pragma once

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
inline constexpr uint32_t kPow10U32[10] = {1,      10,      100,      1000,      10000,
                                           100000, 1000000, 10000000, 100000000, 1000000000};

// a × 10^D rounded to an integer, to nearest with ties to even, for a finite a >= 0 whose double
// product a × 10^D is below 2^31 and not within a few units in its last place of a half: the
// exact product lies within half a unit of the computed one, so both round alike. False for NaN,
// larger values and near halves (PutFixed's exact rounding takes those).
template <int D>
inline bool RoundSmall(double a, uint32_t* q) {
  double x = a * kPow10Double[D];
  if (!(x < 2147483648.0)) return false;
  auto whole = static_cast<uint32_t>(x);
  double fraction = x - static_cast<double>(whole);  // exact
  double margin = x * 0x1p-50;
  // Without branches on the value: the digits of measured values are as good as random.
  bool up = fraction > 0.5 + margin;
  bool down = fraction < 0.5 - margin;
  *q = whole + static_cast<uint32_t>(up);
  return up | down;
}

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

// A value below 2^31 without leading zeros. Below 1000 (the whole part of most measured values)
// without a branch on the value; the four bytes at `p` may all be written.
inline char* PutSmallUnsigned(char* p, uint32_t v) {
  if (v < 1000) {
    std::memcpy(p, kSmallNumbers.text[v], 4);
    return p + kSmallNumbers.text[v][3];
  }
  return PutUnsigned(p, v);
}

template <int D>
inline char* PutSignedFixed7(char* p, double v) {
  uint32_t q = 0;
  if (!RoundSmall<D>(std::fabs(v), &q) || q >= 100000) {
    return PutFixedExact(p, v, D, FixedStyle{.width = 7, .plus = true, .zeros = true});
  }
  // Below 10^5 units, seven characters: the sign, 5 - D whole digits (zeros first), the point,
  // D decimals.
  *p = std::signbit(v) ? '-' : '+';
  p = PutDigits<5 - D>(p + 1, q / kPow10U32[D]);
  *p = '.';
  return PutDigits<D>(p + 1, q % kPow10U32[D]);
}

template <int D>
inline char* PutPlainFixed(char* p, double v) {
  uint32_t q = 0;
  if (!RoundSmall<D>(std::fabs(v), &q)) return PutFixedExact(p, v, D, FixedStyle{});
  *p = '-';
  p += std::signbit(v) ? 1 : 0;
  if constexpr (D == 0) {
    return PutSmallUnsigned(p, q);
  } else {
    p = PutSmallUnsigned(p, q / kPow10U32[D]);
    *p = '.';
    return PutDigits<D>(p + 1, q % kPow10U32[D]);
  }
}
}  // namespace detail

// "%u" of a value below 2^31; the four bytes at `p` may all be written.
inline char* PutSmallUnsigned(char* p, uint32_t v) { return detail::PutSmallUnsigned(p, v); }

// "%+07.<decimals>f", decimals 1..4 (any other count is taken as 1): the text analog cells.
// The same bytes as PutFixed; quicker for the magnitudes below 10^(5 - decimals).
inline char* PutSignedFixed7(char* p, double v, int decimals) {
  switch (decimals) {
    case 2:
      return detail::PutSignedFixed7<2>(p, v);
    case 3:
      return detail::PutSignedFixed7<3>(p, v);
    case 4:
      return detail::PutSignedFixed7<4>(p, v);
    default:
      return detail::PutSignedFixed7<1>(p, v);
  }
}

// "%.<decimals>f", decimals 0..9 (any other count is taken as 0). The same bytes as PutFixed;
// quicker for the magnitudes whose scaled value is below 2^31.
inline char* PutPlainFixed(char* p, double v, int decimals) {
  switch (decimals) {
    case 1:
      return detail::PutPlainFixed<1>(p, v);
    case 2:
      return detail::PutPlainFixed<2>(p, v);
    case 3:
      return detail::PutPlainFixed<3>(p, v);
    case 4:
      return detail::PutPlainFixed<4>(p, v);
    case 5:
      return detail::PutPlainFixed<5>(p, v);
    case 6:
      return detail::PutPlainFixed<6>(p, v);
    case 7:
      return detail::PutPlainFixed<7>(p, v);
    case 8:
      return detail::PutPlainFixed<8>(p, v);
    case 9:
      return detail::PutPlainFixed<9>(p, v);
    default:
      return detail::PutPlainFixed<0>(p, v);
  }
}

// "%<width>s" and "%-<width>s" of a text.
char* PutPadLeft(char* p, std::string_view s, int width);
char* PutPadRight(char* p, std::string_view s, int width);

}  // namespace dtconv::text
