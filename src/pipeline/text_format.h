// Number texts for the hot paths of the converters, written without printf. Each function gives
// exactly the bytes of the printf conversion named in its comment (C locale), on every platform:
// decimal fractions are rounded here, from the exact binary value, to the nearest and ties to
// even, as the ISO C library does, so no result depends on the C runtime.
//
// Every function writes at `p` and returns the end of what it wrote; none writes a terminating
// NUL. Callers provide room: at most 20 characters for integers plus their padding, and at most
// kMaxFixedChars for a fixed-point number plus its padding.
#pragma once

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

// "%<width>s" and "%-<width>s" of a text.
char* PutPadLeft(char* p, std::string_view s, int width);
char* PutPadRight(char* p, std::string_view s, int width);

}  // namespace dtconv::text
