// The texts of decoded values.
#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "output/text.h"
#include "signals/signals.h"

namespace dtconv::signals {

namespace {

using U128 = unsigned __int128;

constexpr uint64_t kPow19 = 10000000000000000000u;  // the largest power of ten in 64 bits

constexpr U128 Power10(uint32_t n) {
  U128 p = 1;
  for (uint32_t i = 0; i < n; ++i) p *= 10;
  return p;
}

// 10^0 .. 10^38, the divisors of ExactScale::decimals.
constexpr auto kPowers = [] {
  struct Table {
    U128 v[39];
  } t{};
  for (uint32_t i = 0; i < 39; ++i) t.v[i] = Power10(i);
  return t;
}();

char* PutChars(char* p, const char* s) {
  size_t n = std::strlen(s);
  std::memcpy(p, s, n);
  return p + n;
}

// Exactly `digits` digits of v, with leading zeros.
char* PutPadded(char* p, uint64_t v, uint32_t digits) {
  for (uint32_t i = digits; i > 0; --i) {
    p[i - 1] = static_cast<char>('0' + v % 10);
    v /= 10;
  }
  return p + digits;
}

char* PutPadded128(char* p, U128 v, uint32_t digits) {
  if (digits <= 19) return PutPadded(p, static_cast<uint64_t>(v), digits);
  p = PutPadded128(p, v / kPow19, digits - 19);
  return PutPadded(p, static_cast<uint64_t>(v % kPow19), 19);
}

char* PutUnsigned128(char* p, U128 v) {
  if (v <= ~uint64_t{0}) return std::to_chars(p, p + 20, static_cast<uint64_t>(v)).ptr;
  // v < 2^127, so v / 10^19 < 2^64.
  p = std::to_chars(p, p + 20, static_cast<uint64_t>(v / kPow19)).ptr;
  return PutPadded(p, static_cast<uint64_t>(v % kPow19), 19);
}

__int128 ExactValue(const Signal& s, uint64_t raw) {
  __int128 r =
      s.isSigned ? static_cast<__int128>(static_cast<int64_t>(raw)) : static_cast<__int128>(raw);
  return r * s.exact.factor + s.exact.offset;
}

// The usual value: raw × factor + offset fits 64 bits, and its decimals (at most 18) leave a
// fraction below 2^63. False, with nothing written, when it does not.
bool PutDecimal64(char*& p, const Signal& s, uint64_t raw) {
  auto factor = static_cast<int64_t>(s.exact.factor);
  auto offset = static_cast<int64_t>(s.exact.offset);
  uint32_t decimals = s.exact.decimals;
  if (factor != s.exact.factor || offset != s.exact.offset || decimals > 18) return false;
  if (!s.isSigned && raw > static_cast<uint64_t>(INT64_MAX)) return false;
  int64_t v = 0;
  if (__builtin_mul_overflow(static_cast<int64_t>(raw), factor, &v) ||
      __builtin_add_overflow(v, offset, &v)) {
    return false;
  }
  if (decimals == 0) {
    p = text::PutInt(p, v);  // "%lld"
    return true;
  }
  *p = '-';
  p += v < 0 ? 1 : 0;
  uint64_t u = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  auto divisor = static_cast<uint64_t>(kPowers.v[decimals]);
  p = text::PutUnsigned(p, u / divisor);  // "%llu.%0<decimals>llu"
  *p++ = '.';
  p = text::PutZeroPadded(p, static_cast<int64_t>(u % divisor), static_cast<int>(decimals));
  return true;
}

char* PutDecimal(char* p, const Signal& s, uint64_t raw) {
  if (PutDecimal64(p, s, raw)) return p;
  __int128 v = ExactValue(s, raw);
  if (v < 0) *p++ = '-';
  U128 u = v < 0 ? -static_cast<U128>(v) : static_cast<U128>(v);
  uint32_t decimals = s.exact.decimals;
  if (decimals == 0) return PutUnsigned128(p, u);
  if (decimals <= 19 && u <= ~uint64_t{0}) {
    uint64_t divisor = static_cast<uint64_t>(kPowers.v[decimals]);
    uint64_t u64 = static_cast<uint64_t>(u);
    p = std::to_chars(p, p + 20, u64 / divisor).ptr;
    *p++ = '.';
    return PutPadded(p, u64 % divisor, decimals);
  }
  p = PutUnsigned128(p, u / kPowers.v[decimals]);
  *p++ = '.';
  return PutPadded128(p, u % kPowers.v[decimals], decimals);
}

template <typename Float>
char* PutFloat(char* p, Float v) {
  if (std::isnan(v)) return PutChars(p, "nan");
  if (std::isinf(v)) return PutChars(p, v < 0 ? "-inf" : "inf");
  return std::to_chars(p, p + kMaxSignalValueChars, v).ptr;
}

bool Unscaled(const Signal& s) {
  return s.exact.factor == 1 && s.exact.offset == 0 && s.exact.decimals == 0;
}

}  // namespace

char* PutSignalValue(char* p, const Signal& s, uint64_t raw) {
  switch (s.style) {
    case ValueStyle::kUnsigned:
      return text::PutUnsigned(p, raw);  // "%llu"
    case ValueStyle::kSigned:
      return text::PutInt(p, static_cast<int64_t>(raw));  // "%lld"
    case ValueStyle::kDecimal:
      return PutDecimal(p, s, raw);
    case ValueStyle::kFloat32: {
      float f = std::bit_cast<float>(static_cast<uint32_t>(raw));
      if (Unscaled(s)) return PutFloat(p, f);
      return PutFloat(p, static_cast<double>(f) * s.factor + s.offset);
    }
    case ValueStyle::kFloat64: {
      double d = std::bit_cast<double>(raw);
      return PutFloat(p, Unscaled(s) ? d : d * s.factor + s.offset);
    }
  }
  return p;
}

std::string_view ValueTableText(const Signal& s, uint64_t raw) {
  if (s.values.empty() || s.type != ValueType::kInteger) return {};
  auto it = std::lower_bound(s.values.begin(), s.values.end(), raw,
                             [](const ValueText& v, uint64_t r) { return v.raw < r; });
  if (it == s.values.end() || it->raw != raw) return {};
  return it->text;
}

double PhysicalValue(const Signal& s, uint64_t raw) {
  switch (s.style) {
    case ValueStyle::kUnsigned:
      return static_cast<double>(raw);
    case ValueStyle::kSigned:
      return static_cast<double>(static_cast<int64_t>(raw));
    case ValueStyle::kDecimal:
      // One rounding to double, one division by a power of ten (exact up to 10^22).
      return static_cast<double>(ExactValue(s, raw)) /
             static_cast<double>(kPowers.v[s.exact.decimals]);
    case ValueStyle::kFloat32: {
      double f = std::bit_cast<float>(static_cast<uint32_t>(raw));
      return Unscaled(s) ? f : f * s.factor + s.offset;
    }
    case ValueStyle::kFloat64: {
      double d = std::bit_cast<double>(raw);
      return Unscaled(s) ? d : d * s.factor + s.offset;
    }
  }
  return 0;
}

}  // namespace dtconv::signals
