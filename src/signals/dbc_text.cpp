#include "signals/dbc_text.h"

#include <cstdint>

#include "platform/unicode.h"

namespace dtconv::signals {

namespace {

// Windows-1252 bytes 0x80..0x9F; the others above 0x7F are the Latin-1 code points.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Length of the UTF-8 sequence at bytes[i], or 0 when it is not well-formed.
size_t Utf8SequenceAt(std::string_view bytes, size_t i) {
  auto b = [&](size_t k) { return static_cast<uint8_t>(bytes[k]); };
  uint8_t lead = b(i);
  if (lead < 0x80) return 1;
  size_t length;
  uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return 0;
  }
  if (i + length > bytes.size() || b(i + 1) < low || b(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

bool IsUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    size_t n = Utf8SequenceAt(bytes, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string DbcTextToUtf8(std::string_view bytes) {
  if (IsUtf8(bytes)) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return std::string(bytes);
  }
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (char c : bytes) {
    auto byte = static_cast<uint8_t>(c);
    if (byte < 0x80) {
      out.push_back(c);
    } else {
      platform::AppendUtf8(byte < 0xA0 ? kCp1252High[byte - 0x80] : char32_t{byte}, &out);
    }
  }
  return out;
}

}  // namespace dtconv::signals
