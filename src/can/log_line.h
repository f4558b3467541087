// One line of a text log (ASC, candump) assembled by hand: fixed digits, upper-case hexadecimal
// and padding without printf, since these writers format every byte of every frame.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "pipeline/text_format.h"

namespace dtconv {

class LogLine;

// The part of a time text before its microseconds, formatted once per second of capture and
// copied into every line of that second.
struct SecondsText {
  uint64_t key = UINT64_MAX;
  char text[32];
  size_t size = 0;
};

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
