// One line of a text log (ASC, candump) assembled by hand: fixed digits, upper-case hexadecimal
// and padding without printf, since these writers format every byte of every frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dtconv {

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
    for (char c : s) Char(c);
  }
  void Repeat(char c, size_t n) {
    for (size_t i = 0; i < n; ++i) Char(c);
  }
  // Upper-case hexadecimal with at least `digits` digits (at most 16).
  void Hex(uint64_t v, int digits = 1) {
    char buf[16];
    if (digits > 16) digits = 16;
    int n = 0;
    do {
      buf[n++] = kHexDigits[v & 0xF];
      v >>= 4;
    } while (v != 0 || n < digits);
    while (n > 0) Char(buf[--n]);
  }
  void HexByte(uint8_t b) {
    Char(kHexDigits[b >> 4]);
    Char(kHexDigits[b & 0xF]);
  }
  // Decimal, right-aligned in `width` characters filled with `fill`.
  void Decimal(uint64_t v, int width = 1, char fill = '0') {
    char buf[20];
    int n = 0;
    do {
      buf[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    for (int i = n; i < width; ++i) Char(fill);
    while (n > 0) Char(buf[--n]);
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
