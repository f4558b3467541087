// One line of a text log (ASC, candump) assembled by hand: fixed digits, upper-case hexadecimal
// and padding without printf, since these writers format every byte of every frame.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "output/text.h"

namespace dtconv {

// Word-at-a-time pieces of the log lines, for lines built in place in the writer's buffer. A
// "text word" holds eight characters, the first in its lowest byte; StoreText puts them in that
// order on any byte order. Callers give room for the whole word even when fewer characters count.
namespace logtext {

inline constexpr uint64_t kBlanks = 0x2020202020202020u;

inline void StoreText(char* p, uint64_t word) {
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  std::memcpy(p, &word, 8);
}

// The first eight characters of a literal as a text word (NULs after a shorter one).
template <size_t N>
constexpr uint64_t TextWord(const char (&s)[N]) {
  uint64_t word = 0;
  for (size_t i = 0; i < 8 && i < N - 1; ++i)
    word |= uint64_t{static_cast<unsigned char>(s[i])} << (8 * i);
  return word;
}

// Bytes 0-3 of `x` (the rest zero) as eight upper-case hexadecimal characters, byte 0 first.
inline uint64_t HexOfBytes(uint64_t x) {
  x = (x | (x << 16)) & 0x0000FFFF0000FFFFu;
  x = (x | (x << 8)) & 0x00FF00FF00FF00FFu;
  // Each byte's high nibble first, its low nibble in the next byte.
  uint64_t n = ((x >> 4) & 0x000F000F000F000Fu) | ((x & 0x000F000F000F000Fu) << 8);
  // '0' + n, and 7 more from 10 up ('A' is '0' + 17).
  uint64_t letters = ((n + 0x0606060606060606u) >> 4) & 0x0101010101010101u;
  return n + 0x3030303030303030u + letters * 7;
}

// The eight hexadecimal digits of `v`, leading zeros included.
inline uint64_t HexDigits8(uint32_t v) {
  uint64_t x = ((v >> 24) & 0xFFu) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) |
               (uint64_t{v & 0xFFu} << 24);
  return HexOfBytes(x);
}

// The number of hexadecimal digits of `v` without leading zeros (1 for 0).
inline int HexDigitCount(uint32_t v) { return v == 0 ? 1 : (std::bit_width(v) + 3) / 4; }

// "%X" of `v` left in the word, blanks after it.
inline uint64_t HexLeft(uint32_t v) {
  int n = HexDigitCount(v);
  uint64_t word = HexDigits8(v) >> (8 * (8 - n));
  return n < 8 ? word | (kBlanks << (8 * n)) : word;
}

// "%8X" of `v`.
inline uint64_t HexRight8(uint32_t v) {
  int blanks = 8 - HexDigitCount(v);
  uint64_t word = HexDigits8(v);
  if (blanks == 0) return word;
  uint64_t mask = ~uint64_t{0} >> (64 - 8 * blanks);
  return (word & ~mask) | (kBlanks & mask);
}

namespace detail {
// "000" .. "999" as text words of three characters.
struct ThreeDigits {
  uint32_t words[1000];
  constexpr ThreeDigits() : words() {
    for (uint32_t i = 0; i < 1000; ++i)
      words[i] = ('0' + i / 100) | ('0' + i / 10 % 10) << 8 | ('0' + i % 10) << 16;
  }
};
inline constexpr ThreeDigits kThreeDigits{};
}  // namespace detail

// The six digits of `v` (below 10^6), zeros first, in bytes 0-5; bytes 6 and 7 zero.
inline uint64_t SixDigits(uint32_t v) {
  uint32_t high = v / 1000;
  return detail::kThreeDigits.words[high] | uint64_t{detail::kThreeDigits.words[v - 1000 * high]}
                                                << 24;
}

// The data bytes in hexadecimal without blanks ("%02X" each). At least eight bytes and whole
// groups of eight are read and written: `data` holds count rounded up to eight bytes, and at
// least eight, and up to 14 characters may be written beyond the end.
inline uint32_t LoadGroup(const uint8_t* data) {
  uint32_t group;
  std::memcpy(&group, data, 4);
  if constexpr (std::endian::native == std::endian::big) group = __builtin_bswap32(group);
  return group;
}
#if defined(__GNUC__)
// Eight bytes at a time in a 16-byte vector (GCC and Clang vector extensions, on any target):
// nibbles interleaved, then '0' + n and 7 more from 10 up.
// The bytes are loaded as one 64-bit word into the vector's low half, not stored into a zeroed
// vector in memory and read back whole, which stalls on the store.
using Vector16 = uint8_t __attribute__((vector_size(16)));
using Vector2x64 = uint64_t __attribute__((vector_size(16)));
// The 16 characters of the eight bytes of `word` (the lowest byte first).
inline Vector16 HexOfWord(uint64_t word) {
  auto bytes = reinterpret_cast<Vector16>(Vector2x64{word, 0});
  Vector16 high = bytes >> 4;
  Vector16 low = bytes & 15;
  Vector16 n =
      __builtin_shufflevector(high, low, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
  Vector16 letters = reinterpret_cast<Vector16>(n > 9) & 7;
  return n + '0' + letters;
}
inline void PutHexOfEight(char* p, const uint8_t* data) {
  uint64_t word;
  std::memcpy(&word, data, 8);
  Vector16 text = HexOfWord(word);
  std::memcpy(p, &text, 16);
}
// "%02X" of the four bytes of `w` (the lowest first) as eight characters, the first in the lowest
// byte of the result.
inline uint64_t HexOfFour(uint32_t w) { return reinterpret_cast<Vector2x64>(HexOfWord(w))[0]; }
#else
inline uint64_t HexOfFour(uint32_t w) { return HexOfBytes(w); }
inline void PutHexOfEight(char* p, const uint8_t* data) {
  StoreText(p, HexOfBytes(LoadGroup(data)));
  StoreText(p + 8, HexOfBytes(LoadGroup(data + 4)));
}
#endif
inline char* PutHexData(char* p, const uint8_t* data, int count) {
  // The first eight bytes (most frames have no more) whatever the count, without a loop.
  PutHexOfEight(p, data);
  for (int i = 8; i < count; i += 8) PutHexOfEight(p + 2 * i, data + i);
  return p + 2 * count;
}

// The data bytes as " %02X" each. At least eight bytes and whole groups of eight are read and
// written: `data` holds count rounded up to eight bytes, and at least eight, and 25 characters
// may be written beyond the end.
inline char* PutSpacedHexData(char* p, const uint8_t* data, int count) {
  // The first eight bytes (a classic frame has no more) whatever the count, without a loop.
  for (int j = 0; j < 8; ++j) std::memcpy(p + 3 * j, text::detail::kSpacedHex.text[data[j]], 4);
  for (int i = 8; i < count; i += 8) {
    for (int j = 0; j < 8; ++j)
      std::memcpy(p + 3 * (i + j), text::detail::kSpacedHex.text[data[i + j]], 4);
  }
  return p + 3 * count;
}

}  // namespace logtext

class LogLine {
 public:
  // The longest line: an ASC CAN FD line with 64 data bytes is about 330 characters.
  static constexpr size_t kCapacity = 512;

  void Clear() { size_ = 0; }
  std::string_view View() const { return {text_, size_}; }

  void Char(char c) {
    if (size_ < kCapacity) text_[size_++] = c;
  }
  void Text(std::string_view s) {
    if (s.size() <= kCapacity - size_) {
      if (!s.empty()) std::memcpy(text_ + size_, s.data(), s.size());
      size_ += s.size();
      return;
    }
    for (char c : s) Char(c);
  }
  void Repeat(char c, size_t n) {
    if (n <= kCapacity - size_) {
      std::memset(text_ + size_, c, n);
      size_ += n;
      return;
    }
    for (size_t i = 0; i < n; ++i) Char(c);
  }
  // Upper-case hexadecimal with at least `digits` digits (at most 16).
  void Hex(uint64_t v, int digits = 1) {
    if (digits > 16) digits = 16;
    int n = v == 0 ? 1 : (std::bit_width(v) + 3) / 4;
    if (n < digits) n = digits;
    char buf[16];
    for (int i = n - 1; i >= 0; --i, v >>= 4) buf[i] = kHexDigits[v & 0xF];
    Text(std::string_view(buf, static_cast<size_t>(n)));
  }
  void HexByte(uint8_t b) {
    if (size_ + 2 <= kCapacity) {
      std::memcpy(text_ + size_, text::detail::kHexPairs.text + 2 * b, 2);
      size_ += 2;
      return;
    }
    Char(kHexDigits[b >> 4]);
    Char(kHexDigits[b & 0xF]);
  }
  // The bytes in hexadecimal, each after `blank` when it is not NUL.
  void HexBytes(const uint8_t* data, int count, char blank) {
    size_t each = blank != '\0' ? 3 : 2;
    if (count > 0 && each * static_cast<size_t>(count) <= kCapacity - size_) {
      char* p = text_ + size_;
      for (int i = 0; i < count; ++i) {
        if (blank != '\0') *p++ = blank;
        std::memcpy(p, text::detail::kHexPairs.text + 2 * data[i], 2);
        p += 2;
      }
      size_ = static_cast<size_t>(p - text_);
      return;
    }
    for (int i = 0; i < count; ++i) {
      if (blank != '\0') Char(blank);
      HexByte(data[i]);
    }
  }
  // Decimal, right-aligned in `width` characters filled with `fill`.
  void Decimal(uint64_t v, int width = 1, char fill = '0') {
    int n = text::detail::DecimalDigits(v);
    if (n < width) Repeat(fill, static_cast<size_t>(width - n));
    if (static_cast<size_t>(n) <= kCapacity - size_) {
      size_ = static_cast<size_t>(text::PutUnsigned(text_ + size_, v) - text_);
      return;
    }
    char buf[20];
    text::PutUnsigned(buf, v);
    Text(std::string_view(buf, static_cast<size_t>(n)));
  }
  // Exactly N decimal digits of a value below 10^N, zeros first.
  template <int N>
  void Digits(uint64_t v) {
    if (static_cast<size_t>(N) <= kCapacity - size_) {
      text::PutDigits<N>(text_ + size_, v);
      size_ += N;
      return;
    }
    Decimal(v, N);
  }
  // Left-aligned text padded with blanks to `width` characters (never cut).
  void Padded(std::string_view s, size_t width) {
    Text(s);
    if (s.size() < width) Repeat(' ', width - s.size());
  }

 private:
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  char text_[kCapacity];
  size_t size_ = 0;
};

}  // namespace dtconv
