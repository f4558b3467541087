#include "signals/decimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace dtconv::signals {

namespace {

using U128 = unsigned __int128;

// The largest value a signed 128-bit integer holds.
constexpr U128 kMaxInt128 = ~U128{0} >> 1;

// An exponent beyond this is refused before it is applied: with at most 38 significant digits no
// number that fits the exact arithmetic has a larger one, and the bound keeps the reading of a
// long run of exponent digits from overflowing.
constexpr int64_t kMaxExponent = 100000;

uint32_t BitWidth(U128 v) {
  uint32_t bits = 0;
  while (v != 0) {
    v >>= 1;
    ++bits;
  }
  return bits;
}

// *m × 10^k, when the product stays a signed 128-bit integer.
bool ScaleUp(U128* m, uint32_t k) {
  if (*m == 0 || k == 0) return true;
  if (k > kMaxDecimalDigits || *m > kMaxInt128 / Pow10(k)) return false;
  *m *= Pow10(k);
  return true;
}

// The digits of the exponent after e/E, with their sign; false when there are none.
bool ReadExponent(std::string_view text, size_t* i, int64_t* exponent) {
  bool negative = false;
  if (*i < text.size() && (text[*i] == '+' || text[*i] == '-')) negative = text[(*i)++] == '-';
  size_t first = *i;
  int64_t e = 0;
  for (; *i < text.size() && text[*i] >= '0' && text[*i] <= '9'; ++*i) {
    e = std::min<int64_t>(e * 10 + (text[*i] - '0'), kMaxExponent + 1);
  }
  *exponent = negative ? -e : e;
  return *i > first;
}

}  // namespace

U128 Pow10(uint32_t n) {
  U128 p = 1;
  for (uint32_t i = 0; i < n; ++i) p *= 10;
  return p;
}

bool ParseDecimal(std::string_view text, DecimalNumber* out, std::string* why) {
  DecimalNumber n;
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) n.negative = text[i++] == '-';
  bool point = false, digits = false;
  int64_t fraction = 0;
  uint32_t significant = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    digits = true;
    if (point && fraction <= kMaxExponent) ++fraction;
    if (n.mantissa == 0 && c == '0') continue;
    if (++significant > kMaxDecimalDigits) {
      *why = "a number of at most 38 significant digits";
      return false;
    }
    n.mantissa = n.mantissa * 10 + static_cast<unsigned>(c - '0');
  }
  int64_t exponent = 0;
  bool exponentOk = true;
  if (digits && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    exponentOk = ReadExponent(text, &i, &exponent);
  }
  if (!digits || !exponentOk || i != text.size()) {
    *why = "a decimal number";
    return false;
  }
  int64_t decimals = fraction - exponent;
  if (decimals < 0) {
    if (-decimals > kMaxDecimalDigits || !ScaleUp(&n.mantissa, static_cast<uint32_t>(-decimals))) {
      *why = "a number below 10^38";
      return false;
    }
    decimals = 0;
  }
  if (decimals > kMaxDecimalDigits) {
    *why = "a number of at most 38 decimals";
    return false;
  }
  n.decimals = static_cast<uint32_t>(decimals);
  std::string_view unsigned_text = text.substr(text[0] == '+' ? 1 : 0);
  auto [end, ec] =
      std::from_chars(unsigned_text.data(), unsigned_text.data() + unsigned_text.size(), n.value);
  if (ec != std::errc() || end != unsigned_text.data() + unsigned_text.size()) {
    // from_chars may refuse forms such as "5." that the grammar above accepts.
    n.value = static_cast<double>(n.mantissa) / std::pow(10.0, static_cast<double>(n.decimals));
    if (n.negative) n.value = -n.value;
  }
  *out = n;
  return true;
}

bool MakeExactScale(const DecimalNumber& factor, const DecimalNumber& offset, uint32_t length,
                    ExactScale* out, std::string* why) {
  U128 fm = factor.mantissa, om = offset.mantissa;
  uint32_t fd = factor.decimals, od = offset.decimals;
  if (fm % Pow10(fd) == 0 && om % Pow10(od) == 0) {
    fm /= Pow10(fd);
    om /= Pow10(od);
    fd = od = 0;
  }
  uint32_t decimals = std::max(fd, od);
  if (!ScaleUp(&fm, decimals - fd) || !ScaleUp(&om, decimals - od)) {
    *why = "factor and offset that need at most 38 digits at their common decimals";
    return false;
  }
  // |raw| < 2^length, so |raw × factor| < 2^(length + bits of factor); with both terms below
  // 2^126 their sum stays below 2^127.
  if (length + BitWidth(fm) > 126 || BitWidth(om) > 126) {
    *why = "factor and offset whose exact products with the raw values fit 127 bits";
    return false;
  }
  out->factor = factor.negative ? -static_cast<__int128>(fm) : static_cast<__int128>(fm);
  out->offset = offset.negative ? -static_cast<__int128>(om) : static_cast<__int128>(om);
  out->decimals = static_cast<uint8_t>(decimals);
  return true;
}

}  // namespace dtconv::signals
