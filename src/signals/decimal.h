// Decimal numbers as a database writes them, kept exactly: the factor and offset of a signal
// define how many decimals its values carry, and values are computed from the raw integer in
// 128-bit integers rather than through a double.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "signals/dbc.h"

namespace dtconv::signals {

// The most significant digits a factor or offset may have, and the most decimals a value may
// carry: 10^38 is the largest power of ten below 2^127, so a mantissa and the divisor of its
// decimals both fit a signed 128-bit integer.
inline constexpr uint32_t kMaxDecimalDigits = 38;

// ±mantissa / 10^decimals, with `decimals` as written (0.50 has two, 2.5E-3 four, 1E+2 none).
struct DecimalNumber {
  bool negative = false;
  unsigned __int128 mantissa = 0;
  uint32_t decimals = 0;
  double value = 0;  // the nearest double
};

// 10^n for n in 0..38.
unsigned __int128 Pow10(uint32_t n);

// Parses [+|-]digits[.digits][(e|E)[+|-]digits] with at least one digit before the exponent.
// Returns false with *why set (what is wrong, for a message) when the text is not such a number
// or does not fit kMaxDecimalDigits.
bool ParseDecimal(std::string_view text, DecimalNumber* out, std::string* why);

// Brings factor and offset to common decimals for a signal of `length` bits: integers (whatever
// their decimals as written) give decimals 0. Returns false with *why set when raw × factor +
// offset could leave a signed 128-bit integer for some raw value of that length.
bool MakeExactScale(const DecimalNumber& factor, const DecimalNumber& offset, uint32_t length,
                    ExactScale* out, std::string* why);

}  // namespace dtconv::signals
