// The pieces of a GNSS fix's texts, built as whole 8-byte words: the digits of a number come from
// a table of four-digit texts, and each piece is stored with one 8-byte write. Every function
// writes at `p` and returns the end of its text; each may write up to 8 (the quality text 16)
// bytes past that end, so callers reserve that much room after every piece.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace dtconv::fix_text {

// The 8 bytes of `w` at `p`, the lowest byte first.
inline void Store8(char* p, uint64_t w) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &w, 8);
  } else {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<char>(w >> (8 * i));
  }
}

// "%04u" of every value below 10^4, four characters each, the first in the lowest byte (40 KB,
// which stays in the caches next to the rows being written).
struct FourDigitTexts {
  uint32_t text[10000];
  constexpr FourDigitTexts() : text() {
    for (uint32_t v = 0; v < 10000; ++v) {
      text[v] = (('0' + v / 1000) | ('0' + v / 100 % 10) << 8 | ('0' + v / 10 % 10) << 16 |
                 ('0' + v % 10) << 24);
    }
  }
};
inline constexpr FourDigitTexts kFourDigits{};
inline uint64_t FourDigits(uint32_t v) { return kFourDigits.text[v]; }

// "%*u" of the values 0..255 at one field width: up to 4 characters and the length.
struct SmallNumberTexts {
  struct Entry {
    char text[4];
    uint32_t length;
  };
  std::array<Entry, 256> entries{};
  constexpr explicit SmallNumberTexts(int width) {
    for (int v = 0; v < 256; ++v) {
      Entry& e = entries[static_cast<size_t>(v)];
      int digits = v < 10 ? 1 : v < 100 ? 2 : 3;
      int blanks = width > digits ? width - digits : 0;
      int n = 0;
      for (int i = 0; i < blanks; ++i) e.text[n++] = ' ';
      for (int d = digits - 1, div = d == 2 ? 100 : d == 1 ? 10 : 1; d >= 0; --d, div /= 10) {
        e.text[n++] = static_cast<char>('0' + v / div % 10);
      }
      e.length = static_cast<uint32_t>(n);
    }
  }
};
inline constexpr SmallNumberTexts kPlainSmall{0};
inline constexpr SmallNumberTexts kWidth2Small{2};
inline constexpr SmallNumberTexts kWidth3Small{3};

// A value 0..255 from one of the tables above.
inline char* PutSmall(char* p, uint32_t v, const SmallNumberTexts& texts) {
  const SmallNumberTexts::Entry& e = texts.entries[v & 0xFF];
  std::memcpy(p, e.text, 4);
  return p + e.length;
}

inline uint32_t Magnitude(int32_t v) {
  return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

// Hemisphere letter, whole degrees and minutes of a coordinate in 1e-7 degree:
// "%c%<width>d %08.5f" of the hemisphere, the whole degrees and (magnitude % 10^7) * 6e-6.
// The minutes in units of 10^-5 are rest * 3 / 5 exactly, whose fraction is a fifth (never a
// half): the double product lies within 10^-13 of that value, so printf's rounding of it is the
// nearest integer, (3 * rest + 2) / 5. Below 60 minutes, "%08.5f" always gives two whole digits.
// The whole degrees are at most 214.
inline char* PutDegreesMinutes(char* p, int32_t value, char positive, char negative,
                               const SmallNumberTexts& degreeTexts) {
  uint32_t magnitude = Magnitude(value);
  *p++ = value >= 0 ? positive : negative;
  p = PutSmall(p, magnitude / 10000000u, degreeTexts);
  *p = ' ';
  uint32_t minutes = (3 * (magnitude % 10000000u) + 2) / 5;  // below 6 000 000
  // "0MMm" and "mmmm" become "MM.mmmmm".
  uint64_t high = FourDigits(minutes / 10000);
  Store8(p + 1, ((high >> 8) & 0xFFFF) | (uint64_t{'.'} << 16) | ((high >> 24) << 24) |
                    (FourDigits(minutes % 10000) << 32));
  return p + 9;
}

// "%.7f" of value * 1e-7: the double product is within 10^-13 of the decimal value, which has
// seven decimals, so printf gives exactly its digits (and "-" for every negative value).
inline char* PutDecimalDegrees(char* p, int32_t value) {
  uint32_t magnitude = Magnitude(value);
  *p = '-';
  p += value < 0 ? 1 : 0;
  p = PutSmall(p, magnitude / 10000000u, kPlainSmall);
  // "0ddd" and "dddd" of the seven decimals become ".ddddddd".
  uint32_t decimals = magnitude % 10000000u;
  Store8(p, (FourDigits(decimals / 10000) - ('0' - '.')) | (FourDigits(decimals % 10000) << 32));
  return p + 8;
}

// The estimated error as it is shown: centimetres, 99999 from 50000 on.
inline uint32_t ShownError(uint32_t stored) { return stored >= 50000 ? 99999 : stored; }

// "%6.2f" (padded) or "%.2f" of error * 0.01, error at most 99999: the decimal value itself, as
// above. Padded, the text is always six characters.
inline char* PutError(char* p, uint32_t error, bool padded) {
  uint32_t whole = error / 100;
  uint32_t leading = (whole < 10 ? 1u : 0u) + (whole < 100 ? 1u : 0u);  // zeros before the whole
  // "0DDD" and "00dd" become "DDD.dd", its leading zeros then blanks or dropped.
  uint64_t t =
      (FourDigits(whole) >> 8) | (uint64_t{'.'} << 24) | ((FourDigits(error % 100) >> 16) << 32);
  if (padded) {
    Store8(p, t - (0x1010ull & ((uint64_t{1} << (8 * leading)) - 1)));  // '0' - ' ' is 0x10
    return p + 6;
  }
  Store8(p, t >> (8 * leading));
  return p + 6 - leading;
}

// Signed 24-bit millimetres.
inline int32_t Altitude(const uint8_t* b) {
  return static_cast<int32_t>(static_cast<uint32_t>(b[24] | (b[25] << 8) | (b[26] << 16)) << 8) >>
         8;
}

// Whether printf's "%.2f" of altitude * 0.001 rounds a magnitude of `millimetres` ending in 5
// (a tie in decimal) up. printf rounds the exact binary value of the double product: up when it
// lies above m / 1000, down below it, and to an even centimetre when it is exactly m / 1000 (which
// happens where m / 1000 is a binary fraction, m a multiple of 125). With the product
// mant * 2^-s (53-bit mant, s from 39 to 60 in this range), its side of m / 1000 is that of
// mant * 1000 against m * 2^s, compared without overflow as mant * 1000 (below 2^63) shifted.
inline bool TieRoundsUp(uint32_t millimetres) {
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

// "%8.2f" (padded) or "%.2f" of altitude * 0.001, altitude in signed 24-bit millimetres. A
// millimetre count that does not end in 5 lies at least 10^-3 from a tie of the rounding to
// centimetres, far beyond the error of the double product, so the result is the nearest
// centimetre; the counts ending in 5 take the rounding of the double product (TieRoundsUp).
// Padded, the text is always eight characters ("-8388.61" is the longest).
inline char* PutAltitude(char* p, int32_t altitude, bool padded) {
  uint32_t magnitude = Magnitude(altitude);
  uint32_t centimetres = magnitude / 10;
  uint32_t rest = magnitude % 10;
  centimetres += rest > 5 || (rest == 5 && TieRoundsUp(magnitude)) ? 1 : 0;  // at most 838861
  uint32_t whole = centimetres / 100;
  // Characters before the first digit of the whole number in an 8-character field: 1 to 4.
  uint32_t lead =
      4 - (whole >= 10 ? 1u : 0u) - (whole >= 100 ? 1u : 0u) - (whole >= 1000 ? 1u : 0u);
  // "WWWW" and "00ff" become "0WWWW.ff"; the lead characters become blanks, the last one the
  // sign.
  uint64_t t = '0' | (FourDigits(whole) << 8) | (uint64_t{'.'} << 40) |
               ((FourDigits(centimetres % 100) >> 16) << 48);
  t -= 0x10101010ull & ((uint64_t{1} << (8 * lead)) - 1);
  uint32_t negative = altitude < 0 ? 1 : 0;
  t += static_cast<uint64_t>(negative) * (uint64_t{'-' - ' '} << (8 * (lead - 1)));
  if (padded) {
    Store8(p, t);
    return p + 8;
  }
  uint32_t skip = lead - negative;
  Store8(p, t >> (8 * skip));
  return p + 8 - skip;
}

// "<longitude>,<latitude>,<altitude>" in the decimal degrees and metres of KML.
inline char* PutKmlCoordinates(char* p, int32_t longitude, int32_t latitude, int32_t altitude) {
  p = PutDecimalDegrees(p, longitude);
  *p++ = ',';
  p = PutDecimalDegrees(p, latitude);
  *p++ = ',';
  return PutAltitude(p, altitude, false);
}

// Fix quality (bits 0-2 of byte 15) texts, 16 bytes each, and their lengths.
struct QualityTexts {
  char text[8][16];
  uint32_t length[8];
};
inline constexpr QualityTexts kQualityText{{"I", "T", "G", "S", "I", "I", "I", "I"},
                                           {1, 1, 1, 1, 1, 1, 1, 1}};
inline constexpr QualityTexts kQualityCsv{
    {"INVALID", "TIME ONLY", "GNSS", "DGNSS", "INVALID", "INVALID", "INVALID", "INVALID"},
    {7, 9, 4, 5, 7, 7, 7, 7}};

inline char* PutQuality(char* p, int quality, const QualityTexts& texts) {
  std::memcpy(p, texts.text[quality & 7], 16);
  return p + texts.length[quality & 7];
}

}  // namespace dtconv::fix_text
