// The text toolkit: every number, hex, fixed-point, time and coordinate text of the converters'
// rows. Each function gives exactly the bytes of the printf conversion named in its comment (C
// locale), on every platform: decimal fractions are rounded here from the exact binary value, to
// nearest with ties to even, as the ISO C library does, so no output depends on the C runtime.
//
// Every function writes at `p` and returns the end of its text; none writes a terminating NUL.
// Many store whole 8- or 16-byte words, so any of them may write up to 32 bytes past the end it
// returns: callers write into a writer row (TextOutput::BeginRow), which leaves that room, or
// into a buffer with as much to spare.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "output/text_detail.h"

namespace dtconv::text {

// ---- plain text

// "%s"
inline char* PutText(char* p, std::string_view s) {
  size_t n = s.size();
  if (n > 16) {
    std::memcpy(p, s.data(), n);
    return p + n;
  }
  // The short texts of the rows without a call: two overlapping word copies.
  detail::CopyShort(p, s.data(), n);
  return p + n;
}
// "%-<width>s"
inline char* PutPadRight(char* p, std::string_view s, int width) {
  auto n = static_cast<int>(s.size());
  if (n > 16 || width > 48) return detail::PutPadRightAny(p, s, width);
  for (int i = 0; i < width; i += 8) detail::Store8(p + i, detail::kBlanks);
  PutText(p, s);
  return p + (n < width ? width : n);
}
// "%-<width>s" of the text just written at [start, end): blanks after it up to `width` (at most
// 32) characters from `start`.
inline char* PadRight(char* start, char* end, int width) {
  for (int i = 0; i < 32; i += 8) detail::Store8(end + i, detail::kBlanks);
  return end - start < width ? start + width : end;
}

// Whether a CSV cell of this text must be quoted: it holds the delimiter (a non-empty one), a
// double quote, a carriage return or a line feed.
bool NeedsCsvQuotes(std::string_view s, std::string_view delimiter);
// "%s" of a CSV cell: the text as it is, or, where NeedsCsvQuotes, between double quotes with each
// double quote in it doubled (as RFC 4180 quotes a field). Writes at most 2 * size + 2 characters.
char* PutCsvCell(char* p, std::string_view s, std::string_view delimiter);

// The separator between the cells of a CSV row, in the output's character code: the usual
// one-character delimiter is put with one store.
class Delimiter {
 public:
  explicit Delimiter(std::string_view text) : text_(text), first_(text.empty() ? '\0' : text[0]) {}
  char* Put(char* p) const {
    if (text_.size() == 1) {
      *p = first_;
      return p + 1;
    }
    return PutText(p, text_);
  }
  // n cells that are empty: n delimiters.
  char* PutEmpty(char* p, int n) const {
    for (int i = 0; i < n; ++i) p = Put(p);
    return p;
  }
  std::string_view text() const { return text_; }

 private:
  std::string_view text_;
  char first_;
};

// ---- integers

// "%u"
char* PutUnsigned(char* p, uint64_t v);
// "%d"
inline char* PutInt(char* p, int64_t v) {
  *p = '-';
  p += v < 0 ? 1 : 0;
  return PutUnsigned(p, v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v));
}
// "%u" of a value below 2^32, quickest below 1000.
inline char* PutSmallUnsigned(char* p, uint32_t v) {
  if (v >= 1000) return PutUnsigned(p, v);
  uint32_t text = detail::kDigits.plain[v];
  detail::Store8(p, text & 0xFFFFFF);
  return p + (text >> 24);
}
// "%0<N>u" of a value below 10^N: exactly N digits.
template <int N>
inline char* PutDigits(char* p, uint64_t v) {
  static_assert(N >= 1 && N <= 8);
  uint64_t word = detail::EightDigits(static_cast<uint32_t>(v));
  detail::Store8(p, word >> (8 * (8 - N)));
  return p + N;
}
// "%0<width>d": the sign first, then zeros up to `width` characters in all.
inline char* PutZeroPadded(char* p, int64_t v, int width) {
  if (v >= 0 && v < 1000 && width >= 1 && width <= 3) {
    // Three digits, of which the `width` last, or more when the value needs them.
    int n = v >= 100 ? 3 : v >= 10 && width < 2 ? 2 : width;
    detail::Store8(p, detail::ThreeDigits(static_cast<uint32_t>(v)) >> (8 * (3 - n)));
    return p + n;
  }
  if (v >= 0 && v < 10000 && width == 4) {
    detail::Store8(p, detail::FourDigits(static_cast<uint32_t>(v)));
    return p + 4;
  }
  if (v < 0 || v >= 100000000 || width < 1 || width > 8)
    return detail::PutZeroPaddedAny(p, v, width);
  uint64_t digits = detail::EightDigits(static_cast<uint32_t>(v));
  // All eight digits, or more than `width` when the value needs them.
  int n = detail::LeadingZeroDigits(digits);
  n = 8 - n > width ? 8 - n : width;
  detail::Store8(p, digits >> (8 * (8 - n)));
  return p + n;
}
// "%02d" of a value 0..99.
inline char* PutTwoDigits(char* p, uint32_t v) {
  detail::Store2(p, detail::TwoDigits(v));
  return p + 2;
}
// "%<width>d": blanks before the number up to `width` characters in all.
inline char* PutSpacePadded(char* p, int64_t v, int width) {
  if (v < 0 || v >= 100000000 || width > 8) return detail::PutSpacePaddedAny(p, v, width);
  uint64_t text = 0;
  int n = 0;
  if (v < 1000) {
    uint32_t plain = detail::kDigits.plain[v];
    text = plain & 0xFFFFFF;
    n = static_cast<int>(plain >> 24);
  } else {
    // The eight digits without their leading zeros (a value from 1000 on has four at least).
    uint64_t digits = detail::EightDigits(static_cast<uint32_t>(v));
    n = 8 - detail::LeadingZeroDigits(digits);
    text = digits >> (8 * (8 - n));
  }
  detail::Store8(p, detail::kBlanks);
  char* start = n < width ? p + width - n : p;
  detail::Store8(start, text);
  return start + n;
}
// "%+<width>d": the sign always, blanks before it up to `width` characters in all.
char* PutSignedSpacePadded(char* p, int64_t v, int width);

// ---- hexadecimal

// "%0<width>X" of a value (more digits when it needs them), width at most 8.
inline char* PutHex(char* p, uint32_t v, int width) {
  int n = detail::HexDigitCount(v);
  n = n > width ? n : width;
  detail::Store8(p, detail::EightHexDigits(v) >> (8 * (8 - n)));
  return p + n;
}
// "%<width>s" of "%0<digits>X" of a value: the digits right-aligned in a field of `width`
// (at most 16) characters; digits 0 shows no digits, only the blanks.
inline char* PutHexField(char* p, uint32_t v, int digits, int width) {
  int n = digits == 0 ? 0 : detail::HexDigitCount(v);
  n = n > digits ? n : digits;
  detail::Store8(p, detail::kBlanks);
  detail::Store8(p + 8, detail::kBlanks);
  char* start = n < width ? p + width - n : p;
  if (n != 0) detail::Store8(start, detail::EightHexDigits(v) >> (8 * (8 - n)));
  return start + n;
}
// "%02X" of each of `n` bytes (0..64), no blanks. The bytes are read eight at a time: the data
// must hold n rounded up to eight bytes, and at least eight.
inline char* PutHexBytes(char* p, const uint8_t* bytes, int n) {
  detail::Vector16 first = detail::HexOfWord(detail::LoadWord(bytes));
  std::memcpy(p, &first, 16);  // the usual frame has no more than these eight
  for (int i = 8; i < n; i += 8) {
    detail::Vector16 text = detail::HexOfWord(detail::LoadWord(bytes + i));
    std::memcpy(p + 2 * i, &text, 16);
  }
  return p + 2 * n;
}
// " %02X" of each of `n` bytes (0..64). As PutHexBytes, the bytes are read eight at a time.
inline char* PutSpacedHexBytes(char* p, const uint8_t* bytes, int n) {
  // Whole groups of eight, as PutHexBytes: the loop runs once per group, not once per byte.
  for (int i = 0; i < 8; ++i) std::memcpy(p + 3 * i, &detail::kSpacedHex.words[bytes[i]], 4);
  for (int group = 8; group < n; group += 8) {
    for (int i = group; i < group + 8; ++i) {
      std::memcpy(p + 3 * i, &detail::kSpacedHex.words[bytes[i]], 4);
    }
  }
  return p + 3 * n;
}

// ---- fixed-point numbers

// A fixed-point text longer than this (a magnitude beyond 10^22 or so, which no converter
// produces) is cut to this length, as the 32-byte pieces of the reports always were.
inline constexpr int kMaxFixedChars = 31;

struct FixedStyle {
  int width = 0;       // minimum field width
  bool plus = false;   // '+' flag: a sign on positive values too
  bool zeros = false;  // '0' flag: pad with zeros after the sign instead of blanks before it
};
// "%[+][0]<width>.<decimals>f", decimals 0..9. Infinities and NaN are padded with blanks, as the
// '0' flag does not apply to them.
char* PutFixed(char* p, double v, int decimals, FixedStyle style = {});

// "%.<decimals>f" for the cells of a column whose decimals count (0..9) is set once.
class PlainFixedColumn {
 public:
  constexpr PlainFixedColumn() : PlainFixedColumn(0) {}
  explicit constexpr PlainFixedColumn(int decimals)
      : scale_(detail::kPow10Double[decimals]),
        // The eight-digit layout serves counts up to 7; larger ones always take PutFixed.
        limit_(decimals <= 7 ? 1e8 : 0),
        layout_(detail::kScaledLayouts.layouts[decimals <= 7 ? decimals : 0]),
        decimals_(decimals) {}

  char* Put(char* p, double v) const {
    uint64_t q = 0;
    if (!detail::RoundBelow(std::fabs(v) * scale_, limit_, &q)) [[unlikely]] {
      return PutFixed(p, v, decimals_);
    }
    return PutRounded(p, std::signbit(v) ? 1 : 0, detail::EightDigits(static_cast<uint32_t>(q)));
  }
  // The same for a value whose magnitude a caller has already rounded (RoundBelow of its
  // magnitude times scale(), below limit()) to units given as their EightDigits; `minus` is 1
  // for a negative value, 0 for the others.
  char* PutRounded(char* p, uint64_t minus, uint64_t digits) const {
    *p = '-';
    return detail::PutEightDigitsScaled(p + minus, digits, layout_);
  }
  double scale() const { return scale_; }
  double limit() const { return limit_; }

 private:
  double scale_;
  double limit_;
  detail::ScaledLayout layout_;
  int decimals_;
};

// "%+07.<decimals>f" for the cells of a column whose decimals count (1..4) is set once, each
// after a blank: the blank and the usual seven characters are one word store.
class SignedFixed7Column {
 public:
  constexpr SignedFixed7Column() : SignedFixed7Column(1) {}
  explicit constexpr SignedFixed7Column(int decimals)
      : scale_(detail::kPow10Double[decimals]),
        point_(detail::kPointMasks.masks[decimals]),
        decimals_(decimals) {}

  // " " and the cell.
  char* PutAfterBlank(char* p, double v) const {
    uint64_t q = 0;
    if (!detail::RoundBelow(std::fabs(v) * scale_, limit(), &q)) [[unlikely]] {
      *p = ' ';
      return PutFixed(p + 1, v, decimals_, FixedStyle{.width = 7, .plus = true, .zeros = true});
    }
    return PutRoundedAfterBlank(p, std::signbit(v) ? 1 : 0, static_cast<uint32_t>(q));
  }
  // The same for a value whose magnitude a caller has already rounded (RoundBelow of its
  // magnitude times scale(), below limit()) to `units`; `minus` is 1 for a negative value.
  char* PutRoundedAfterBlank(char* p, uint64_t minus, uint32_t units) const {
    detail::Store8(p, ' ' | detail::SignedFixed7Word(minus, point_, units) << 8);
    return p + 8;
  }
  double scale() const { return scale_; }
  static constexpr double limit() { return 100000; }

 private:
  double scale_;
  detail::PointMask point_;
  int decimals_;
};

// ---- times

// "%04d/%02d/%02d"
inline char* PutDate(char* p, int year, int month, int day) {
  p = PutZeroPadded(p, year, 4);
  *p++ = '/';
  p = PutZeroPadded(p, month, 2);
  *p++ = '/';
  return PutZeroPadded(p, day, 2);
}
// "%02d:%02d:%02d"
inline char* PutClock(char* p, int hour, int minute, int second) {
  p = PutZeroPadded(p, hour, 2);
  *p++ = ':';
  p = PutZeroPadded(p, minute, 2);
  *p++ = ':';
  return PutZeroPadded(p, second, 2);
}
// "%0<width>d.%06d" of a count of microseconds split into whole seconds and the rest ("%d.%06d"
// for width 0).
char* PutSecondsMicro(char* p, int64_t whole, int64_t micro, int width);

// "%s%06llu" of a time in microseconds, where "%s" is the text of its whole seconds (with what
// goes before them) and the rest the microseconds into the second, for the rows of a log: rows
// come in time order, so that text is kept with its second and made anew only when a row leaves
// the second.
class SecondsText {
 public:
  // The seconds' text of `micros` (kept, or made by `make(char* text, uint64_t seconds)`, which
  // returns its end; at most 32 characters), then the six digits.
  template <typename Make>
  char* Put(char* p, uint64_t micros, Make make) {
    uint64_t micro = micros - start_;
    if (micro >= 1000000 || length_ == 0) {
      uint64_t whole = micros / 1000000;
      length_ = static_cast<size_t>(make(text_, whole) - text_);
      start_ = whole * 1000000;
      micro = micros - start_;
    }
    std::memcpy(p, text_, sizeof text_);  // whole words, whatever the text's length
    return PutDigits<6>(p + length_, micro);
  }
  // The next time makes its text anew (for a caller whose text depends on more than the second).
  void Forget() { length_ = 0; }

 private:
  uint64_t start_ = 0;  // the kept second's start
  char text_[32] = {};
  size_t length_ = 0;  // 0: nothing kept
};

// ---- coordinates: GNSS positions in 1e-7 degree, errors in centimetres, altitudes in mm

// "%c%<width>d %08.5f" of the hemisphere letter (`positive` or `negative` by the sign), the
// whole degrees and the minutes, (magnitude % 10^7) * 6e-6, of a coordinate.
inline char* PutDegreesMinutes(char* p, int32_t value, char positive, char negative, int width) {
  // The minutes in units of 10^-5 are rest * 3 / 5 exactly, whose fraction is a fifth (never a
  // half): the double product (magnitude % 10^7) * 6e-6 lies within 10^-13 of that value, so
  // printf's rounding of it is the nearest integer, (3 * rest + 2) / 5. Below 60 minutes,
  // "%08.5f" always gives two whole digits.
  uint32_t magnitude = detail::Magnitude(value);
  *p++ = value >= 0 ? positive : negative;
  p = PutSpacePadded(p, magnitude / 10000000u, width);
  *p++ = ' ';
  uint32_t minutes = (3 * (magnitude % 10000000u) + 2) / 5;  // below 6 000 000
  // "0MMm" and "mmmm" become "MM.mmmmm".
  uint32_t high = minutes / 10000;
  uint64_t whole = detail::FourDigits(high) >> 8;
  detail::Store8(p, (whole & 0xFFFF) | uint64_t{'.'} << 16 | (whole >> 16) << 24 |
                        detail::FourDigits(minutes - high * 10000) << 32);
  return p + 8;
}
// "%.7f" of value * 1e-7: decimal degrees. The double product is within 10^-13 of the decimal
// value, which has seven decimals, so printf gives exactly its digits (and "-" for every
// negative value).
inline char* PutDecimalDegrees(char* p, int32_t value) {
  uint32_t magnitude = detail::Magnitude(value);
  *p = '-';
  p += value < 0 ? 1 : 0;
  p = PutSmallUnsigned(p, magnitude / 10000000u);
  *p++ = '.';
  return PutDigits<7>(p, magnitude % 10000000u);
}
// "%<width>.2f" of centimetres * 0.01 (width 0: "%.2f"), at most 99999 centimetres: the
// decimal value itself, as for the degrees.
inline char* PutCentimetres(char* p, uint32_t centimetres, int width) {
  int length = 0;
  uint64_t text = detail::HundredthsWord(centimetres / 100, centimetres % 100, &length);
  return detail::PutWordPadded(p, text, length, width);
}
// "%<width>.2f" of millimetres * 0.001 (width 0: "%.2f"), a signed 24-bit count. A count that
// does not end in 5 lies at least 10^-3 from a tie of the rounding to centimetres, far beyond
// the error of the double product, so the result is the nearest centimetre; the counts ending in
// 5 take the rounding of the double product.
inline char* PutMillimetres(char* p, int32_t millimetres, int width) {
  uint32_t magnitude = detail::Magnitude(millimetres);
  uint32_t centimetres = magnitude / 10;
  uint32_t rest = magnitude % 10;
  centimetres += rest > 5 || (rest == 5 && detail::TieRoundsUp(magnitude)) ? 1 : 0;
  int length = 0;
  uint64_t text = detail::HundredthsWord(centimetres / 100, centimetres % 100, &length);
  if (millimetres < 0) {
    text = '-' | text << 8;
    ++length;
  }
  return detail::PutWordPadded(p, text, length, width);
}

}  // namespace dtconv::text
