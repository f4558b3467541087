#include "pipeline/text_format.h"

#include <charconv>
#include <cmath>

namespace dtconv::text {

namespace {

constexpr uint64_t kPow10[20] = {1ull,
                                 10ull,
                                 100ull,
                                 1000ull,
                                 10000ull,
                                 100000ull,
                                 1000000ull,
                                 10000000ull,
                                 100000000ull,
                                 1000000000ull,
                                 10000000000ull,
                                 100000000000ull,
                                 1000000000000ull,
                                 10000000000000ull,
                                 100000000000000ull,
                                 1000000000000000ull,
                                 10000000000000000ull,
                                 100000000000000000ull,
                                 1000000000000000000ull,
                                 10000000000000000000ull};

// Writes the `digits` lowest decimal digits of v, most significant first.
void PutDigitsBackward(char* end, uint64_t v, int digits) {
  while (digits >= 2) {
    end -= 2;
    std::memcpy(end, detail::kDigitPairs + 2 * (v % 100), 2);
    v /= 100;
    digits -= 2;
  }
  if (digits == 1) *--end = static_cast<char>('0' + v % 10);
}

char* Fill(char* p, char c, int n) {
  for (int i = 0; i < n; ++i) *p++ = c;
  return p;
}

// a × 10^decimals rounded to an integer, to nearest with ties to even, computed from the exact
// binary value of a (finite, not negative). False when the result does not fit 64 bits.
bool ScaleAndRound(double a, int decimals, uint64_t* q) {
  uint64_t bits;
  std::memcpy(&bits, &a, sizeof bits);
  auto biased = static_cast<int>(bits >> 52);
  uint64_t m = bits & ((uint64_t{1} << 52) - 1);
  int e = -1074;
  if (biased != 0) {
    m |= uint64_t{1} << 52;
    e = biased - 1075;
  }
  // a = m × 2^e exactly, m below 2^53; m × 10^9 stays below 2^83.
  unsigned __int128 scaled = static_cast<unsigned __int128>(m) * kPow10[decimals];
  if (scaled == 0) {
    *q = 0;
    return true;
  }
  if (e >= 0) {
    if (e >= 64) return false;
    unsigned __int128 whole = scaled << e;
    if ((whole >> 64) != 0 || (whole >> e) != scaled) return false;
    *q = static_cast<uint64_t>(whole);
    return true;
  }
  int shift = -e;
  if (shift >= 100) {
    // scaled < 2^83 <= 2^(shift-1): less than one half, rounds to zero.
    *q = 0;
    return true;
  }
  unsigned __int128 whole = scaled >> shift;
  if ((whole >> 64) != 0) return false;
  unsigned __int128 rest = scaled - (whole << shift);
  unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
  auto result = static_cast<uint64_t>(whole);
  if (rest > half || (rest == half && (result & 1) != 0)) {
    if (result == UINT64_MAX) return false;
    ++result;
  }
  *q = result;
  return true;
}

// The body of a fixed-point text (sign and digits, no padding) for values the fast rounding
// cannot take: infinities, NaN and magnitudes of 2^64 / 10^decimals and more.
int SlowBody(double v, int decimals, bool plus, char* body, size_t size, bool* finite) {
  *finite = std::isfinite(v);
  char* p = body;
  if (plus && !std::signbit(v)) *p++ = '+';
  if (!*finite) {
    // The C library's texts: "inf" and "nan", with the sign of the value.
    if (std::signbit(v)) *p++ = '-';
    p = PutText(p, std::isnan(v) ? "nan" : "inf");
    return static_cast<int>(p - body);
  }
  auto r = std::to_chars(p, body + size, v, std::chars_format::fixed, decimals);
  return static_cast<int>(r.ptr - body);
}

}  // namespace

int detail::DecimalDigits(uint64_t v) {
  int n = 1;
  while (n < 20 && v >= kPow10[n]) ++n;
  return n;
}

char* PutUnsigned(char* p, uint64_t v) {
  if (v < 10) {
    *p = static_cast<char>('0' + v);
    return p + 1;
  }
  int n = detail::DecimalDigits(v);
  PutDigitsBackward(p + n, v, n);
  return p + n;
}

char* PutZeroPadded(char* p, int64_t v, int width) {
  uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  int digits = detail::DecimalDigits(magnitude);
  if (v < 0) {
    *p++ = '-';
    --width;
  }
  int n = digits < width ? width : digits;
  PutDigitsBackward(p + n, magnitude, n);
  return p + n;
}

char* PutSpacePadded(char* p, int64_t v, int width) {
  uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  int length = detail::DecimalDigits(magnitude) + (v < 0 ? 1 : 0);
  p = Fill(p, ' ', width - length);
  return PutInt(p, v);
}

char* PutSignedSpacePadded(char* p, int64_t v, int width) {
  uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  p = Fill(p, ' ', width - 1 - detail::DecimalDigits(magnitude));
  *p++ = v < 0 ? '-' : '+';
  return PutUnsigned(p, magnitude);
}

char* PutHex(char* p, uint32_t v, int width) {
  int digits = 1;
  while (digits < 8 && (v >> (4 * digits)) != 0) ++digits;
  int n = digits < width ? width : digits;
  for (int i = n - 1; i >= 0; --i) {
    p[i] = detail::kHexDigits[v & 0x0F];
    v >>= 4;
  }
  return p + n;
}

char* PutFixed(char* p, double v, int decimals) { return PutFixed(p, v, decimals, FixedStyle{}); }

char* PutFixed(char* p, double v, int decimals, FixedStyle style) {
  bool negative = std::signbit(v);
  uint64_t q = 0;
  if (std::isfinite(v) && ScaleAndRound(std::fabs(v), decimals, &q)) {
    uint64_t whole = q / kPow10[decimals];
    uint64_t fraction = q % kPow10[decimals];
    char sign = negative ? '-' : style.plus ? '+' : '\0';
    int wholeDigits = detail::DecimalDigits(whole);
    int length = (sign != '\0' ? 1 : 0) + wholeDigits + (decimals > 0 ? decimals + 1 : 0);
    int pad = style.width - length;
    if (!style.zeros) p = Fill(p, ' ', pad);
    if (sign != '\0') *p++ = sign;
    if (style.zeros) p = Fill(p, '0', pad);
    PutDigitsBackward(p + wholeDigits, whole, wholeDigits);
    p += wholeDigits;
    if (decimals > 0) {
      *p++ = '.';
      PutDigitsBackward(p + decimals, fraction, decimals);
      p += decimals;
    }
    return p;
  }
  // Slow path: build the whole text, then cut it as the report pieces did.
  char body[400];
  bool finite = true;
  int length = SlowBody(v, decimals, style.plus, body, sizeof body, &finite);
  char text[440];
  char* t = text;
  int pad = style.width - length;
  if (style.zeros && finite) {
    int signLength = (body[0] == '-' || body[0] == '+') ? 1 : 0;
    t = PutText(t, std::string_view(body, static_cast<size_t>(signLength)));
    t = Fill(t, '0', pad);
    t = PutText(t, std::string_view(body + signLength, static_cast<size_t>(length - signLength)));
  } else {
    t = Fill(t, ' ', pad);
    t = PutText(t, std::string_view(body, static_cast<size_t>(length)));
  }
  auto n = static_cast<int>(t - text);
  return PutText(
      p, std::string_view(text, static_cast<size_t>(n < kMaxFixedChars ? n : kMaxFixedChars)));
}

char* PutPadLeft(char* p, std::string_view s, int width) {
  p = Fill(p, ' ', width - static_cast<int>(s.size()));
  return PutText(p, s);
}

char* PutPadRight(char* p, std::string_view s, int width) {
  p = PutText(p, s);
  return Fill(p, ' ', width - static_cast<int>(s.size()));
}

}  // namespace dtconv::text
