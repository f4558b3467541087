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
    detail::Store2(end, detail::TwoDigits(static_cast<uint32_t>(v % 100)));
    v /= 100;
    digits -= 2;
  }
  if (digits == 1) *--end = static_cast<char>('0' + v % 10);
}

char* Fill(char* p, char c, int n) {
  if (n <= 0) return p;
  if (n > 32) {
    std::memset(p, c, static_cast<size_t>(n));
    return p + n;
  }
  // The usual padding with a few word stores; the text that follows overwrites what is past it.
  uint64_t word = uint64_t{static_cast<unsigned char>(c)} * 0x0101010101010101ull;
  for (int i = 0; i < n; i += 8) detail::Store8(p + i, word);
  return p + n;
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

// "%.<decimals>f" of a magnitude q below 2^53 already rounded to units of 10^-decimals (no
// sign), decimals 0..9.
char* PutScaledDigits(char* p, uint64_t q, int decimals) {
  if (q < 100000000 && decimals <= 7) {
    return detail::PutEightDigitsScaled(p, detail::EightDigits(static_cast<uint32_t>(q)),
                                        detail::kScaledLayouts.layouts[decimals]);
  }
  char digits[20];
  int n = detail::DecimalDigits(q);
  int length = n > decimals ? n : decimals + 1;  // at least one digit before the point
  PutDigitsBackward(digits + length, q, length);
  p = PutText(p, std::string_view(digits, static_cast<size_t>(length - decimals)));
  if (decimals == 0) return p;
  *p++ = '.';
  return PutText(p, std::string_view(digits + length - decimals, static_cast<size_t>(decimals)));
}

// PutFixed without the quick paths: every value rounded from its exact binary value.
char* PutFixedExact(char* p, double v, int decimals, FixedStyle style) {
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

}  // namespace

int detail::DecimalDigits(uint64_t v) {
  // log10 from the bit length (1233 / 4096 is just above log10 2), then one correction.
  // Zero has one digit, as one has.
  uint64_t w = v | 1;
  int t = (std::bit_width(w) * 1233) >> 12;
  return t + (t < 20 && w >= kPow10[t] ? 1 : 0);
}

char* PutUnsigned(char* p, uint64_t v) {
  if (v < 1000) return PutSmallUnsigned(p, static_cast<uint32_t>(v));
  int n = detail::DecimalDigits(v);
  PutDigitsBackward(p + n, v, n);
  return p + n;
}

char* detail::PutZeroPaddedAny(char* p, int64_t v, int width) {
  if (v >= 0 && v < 10000000000000000 && width <= 16) {
    // Sixteen digits as two words, of which the `width` last, or more when the value needs them.
    auto high = static_cast<uint32_t>(v / 100000000);
    uint64_t words[2] = {EightDigits(high), EightDigits(static_cast<uint32_t>(v % 100000000))};
    char digits[16];
    std::memcpy(digits, words, 16);
    int significant =
        16 - (high != 0 ? LeadingZeroDigits(words[0]) : 8 + LeadingZeroDigits(words[1]));
    if (significant == 0) significant = 1;  // zero has one digit
    int n = significant > width ? significant : width;
    CopyShort(p, digits + 16 - n, static_cast<size_t>(n));
    return p + n;
  }
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

char* detail::PutSpacePaddedAny(char* p, int64_t v, int width) {
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

char* detail::PutPadRightAny(char* p, std::string_view s, int width) {
  p = PutText(p, s);
  return Fill(p, ' ', width - static_cast<int>(s.size()));
}

char* PutFixed(char* p, double v, int decimals, FixedStyle style) {
  uint64_t q = 0;
  double a = std::fabs(v);
  if (style.width == 0 && !style.plus && !style.zeros && decimals >= 0 && decimals <= 9 &&
      detail::RoundScaled(a * detail::kPow10Double[decimals], &q)) {
    *p = '-';
    p += std::signbit(v) ? 1 : 0;
    return PutScaledDigits(p, q, decimals);
  }
  if (style.width == 7 && style.plus && style.zeros && decimals >= 1 && decimals <= 4 &&
      detail::RoundBelow(a * detail::kPow10Double[decimals], 100000, &q)) {
    detail::Store8(
        p, detail::SignedFixed7Word(std::signbit(v) ? 1 : 0, detail::kPointMasks.masks[decimals],
                                    static_cast<uint32_t>(q)));
    return p + 7;
  }
  return PutFixedExact(p, v, decimals, style);
}

bool NeedsCsvQuotes(std::string_view s, std::string_view delimiter) {
  if (s.find_first_of("\"\r\n") != std::string_view::npos) return true;
  return !delimiter.empty() && s.find(delimiter) != std::string_view::npos;
}

char* PutCsvCell(char* p, std::string_view s, std::string_view delimiter) {
  if (!NeedsCsvQuotes(s, delimiter)) {
    std::memcpy(p, s.data(), s.size());
    return p + s.size();
  }
  *p++ = '"';
  for (char c : s) {
    if (c == '"') *p++ = '"';
    *p++ = c;
  }
  *p++ = '"';
  return p;
}

char* PutSecondsMicro(char* p, int64_t whole, int64_t micro, int width) {
  p = width > 0 ? PutZeroPadded(p, whole, width) : PutInt(p, whole);
  *p++ = '.';
  return PutZeroPadded(p, micro, 6);
}

// Whether printf's "%.2f" of millimetres * 0.001 rounds a magnitude ending in 5 (a tie in
// decimal) up. printf rounds the exact binary value of the double product: up when it lies
// above m / 1000, down below it, and to an even centimetre when it is exactly m / 1000 (which
// happens where m / 1000 is a binary fraction, m a multiple of 125). With the product
// mant * 2^-s (53-bit mant, s from 39 to 60 in this range), its side of m / 1000 is that of
// mant * 1000 against m * 2^s, compared without overflow as mant * 1000 (below 2^63) shifted.
bool detail::TieRoundsUp(uint32_t millimetres) {
  double product = static_cast<double>(millimetres) * 0.001;
  auto bits = std::bit_cast<uint64_t>(product);
  uint64_t mant = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  int s = 1075 - static_cast<int>(bits >> 52);
  uint64_t scaled = mant * 1000;
  uint64_t whole = scaled >> s;
  if (whole != millimetres) return whole > millimetres;
  if ((scaled & ((uint64_t{1} << s) - 1)) != 0) return true;
  return (millimetres / 10) % 2 == 1;
}

}  // namespace dtconv::text
