#include "output/text.h"

#include <bit>
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

// a × 10^D rounded to an integer, to nearest with ties to even, computed from the exact binary
// value of a (finite, not negative). False when the result does not fit 64 bits.
template <int D>
bool ScaleAndRound(double a, uint64_t* q) {
  uint64_t bits;
  std::memcpy(&bits, &a, sizeof bits);
  auto biased = static_cast<int>(bits >> 52);
  if (biased == 0) {
    // Zero and subnormals: far below one half even after scaling by 10^9.
    *q = 0;
    return true;
  }
  uint64_t m = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  int e = biased - 1075;
  // a = m × 2^e exactly, m below 2^53; m × 10^9 stays below 2^83.
  unsigned __int128 scaled = static_cast<unsigned __int128>(m) * kPow10[D];
  if (e >= 0) {
    if (e >= 64) return false;
    unsigned __int128 whole = scaled << e;
    if ((whole >> 64) != 0 || (whole >> e) != scaled) return false;
    *q = static_cast<uint64_t>(whole);
    return true;
  }
  int shift = -e;
  if (shift < 64) {
    // Magnitudes from 2^-11 up: the part shifted out fits the low 64 bits.
    unsigned __int128 whole = scaled >> shift;
    if ((whole >> 64) != 0 || static_cast<uint64_t>(whole) == UINT64_MAX) return false;
    uint64_t rest = static_cast<uint64_t>(scaled) & ((uint64_t{1} << shift) - 1);
    uint64_t half = uint64_t{1} << (shift - 1);
    auto result = static_cast<uint64_t>(whole);
    result += static_cast<uint64_t>(rest > half) | (static_cast<uint64_t>(rest == half) & result);
    *q = result;
    return true;
  }
  if (shift >= 100) {
    // scaled < 2^83 <= 2^(shift-1): less than one half, rounds to zero.
    *q = 0;
    return true;
  }
  auto whole = static_cast<uint64_t>(scaled >> shift);  // below 2^19
  unsigned __int128 rest = scaled - (static_cast<unsigned __int128>(whole) << shift);
  unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
  if (rest > half || (rest == half && (whole & 1) != 0)) ++whole;
  *q = whole;
  return true;
}

// The same rounding from the double product a × 10^D when that product is below 2^53 and not
// within a few units in its last place of a half: the exact product lies within half a unit of
// the computed one, so both round alike. False for the values that need ScaleAndRound.
template <int D>
bool RoundProduct(double a, uint64_t* q) {
  double x = a * static_cast<double>(kPow10[D]);
  if (!(x < 9007199254740992.0)) return false;  // 2^53; also false for NaN
  auto whole = static_cast<uint64_t>(x);
  double fraction = x - static_cast<double>(whole);  // exact
  double margin = x * 0x1p-50;
  if (fraction > 0.5 + margin) {
    *q = whole + 1;
  } else if (fraction < 0.5 - margin) {
    *q = whole;
  } else {
    return false;
  }
  return true;
}

// The fixed-point text of a finite value whose scaled magnitude fits 64 bits; false otherwise.
template <int D>
bool PutFixedFast(char*& out, double v, FixedStyle style) {
  uint64_t q = 0;
  double a = std::fabs(v);
  if (!RoundProduct<D>(a, &q) && !ScaleAndRound<D>(a, &q)) return false;
  uint64_t whole = q / kPow10[D];
  uint64_t fraction = q % kPow10[D];
  char sign = std::signbit(v) ? '-' : style.plus ? '+' : '\0';
  int wholeDigits = detail::DecimalDigits(whole);
  int length = (sign != '\0' ? 1 : 0) + wholeDigits + (D > 0 ? D + 1 : 0);
  int pad = style.width - length;
  char* p = out;
  if (!style.zeros) p = Fill(p, ' ', pad);
  if (sign != '\0') *p++ = sign;
  if (style.zeros) p = Fill(p, '0', pad);
  PutDigitsBackward(p + wholeDigits, whole, wholeDigits);
  p += wholeDigits;
  if constexpr (D > 0) {
    *p++ = '.';
    PutDigitsBackward(p + D, fraction, D);
    p += D;
  }
  out = p;
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
  // log10 from the bit length (1233 / 4096 is just above log10 2), then one correction.
  // Zero has one digit, as one has.
  uint64_t w = v | 1;
  int t = (std::bit_width(w) * 1233) >> 12;
  return t + (t < 20 && w >= kPow10[t] ? 1 : 0);
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

char* PutZeroPaddedAny(char* p, int64_t v, int width) {
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
  int digits = v == 0 ? 1 : (std::bit_width(v) + 3) / 4;
  int n = digits < width ? width : digits;
  int i = n;
  while (i >= 2) {
    i -= 2;
    std::memcpy(p + i, detail::kHexPairs.text + 2 * (v & 0xFF), 2);
    v >>= 8;
  }
  if (i == 1) p[0] = detail::kHexDigits[v & 0x0F];
  return p + n;
}

char* PutFixed(char* p, double v, int decimals) { return PutFixed(p, v, decimals, FixedStyle{}); }

char* PutFixed(char* p, double v, int decimals, FixedStyle style) {
  if (style.width == 7 && style.plus && style.zeros && decimals >= 1 && decimals <= 4) {
    return PutSignedFixed7(p, v, decimals);
  }
  if (style.width == 0 && !style.plus && !style.zeros && decimals >= 0 && decimals <= 9) {
    return PutPlainFixed(p, v, decimals);
  }
  return detail::PutFixedExact(p, v, decimals, style);
}

char* detail::PutFixedExact(char* p, double v, int decimals, FixedStyle style) {
  if (std::isfinite(v)) {
    bool done = false;
    switch (decimals) {
      case 0:
        done = PutFixedFast<0>(p, v, style);
        break;
      case 1:
        done = PutFixedFast<1>(p, v, style);
        break;
      case 2:
        done = PutFixedFast<2>(p, v, style);
        break;
      case 3:
        done = PutFixedFast<3>(p, v, style);
        break;
      case 4:
        done = PutFixedFast<4>(p, v, style);
        break;
      case 5:
        done = PutFixedFast<5>(p, v, style);
        break;
      case 6:
        done = PutFixedFast<6>(p, v, style);
        break;
      case 7:
        done = PutFixedFast<7>(p, v, style);
        break;
      case 8:
        done = PutFixedFast<8>(p, v, style);
        break;
      case 9:
        done = PutFixedFast<9>(p, v, style);
        break;
      default:
        break;
    }
    if (done) return p;
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
