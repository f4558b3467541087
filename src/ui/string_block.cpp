#include "ui/string_block.h"

namespace dtconv::ui {

namespace {
uint16_t UnitAt(const uint8_t* bytes, size_t unit) {
  return static_cast<uint16_t>(bytes[2 * unit] | (bytes[2 * unit + 1] << 8));
}
}  // namespace

size_t CopyStringFromBlock(const void* block, size_t blockBytes, unsigned entry, char16_t* buffer,
                           size_t capacity) {
  if (capacity == 0) return 0;
  buffer[0] = u'\0';
  if (block == nullptr || entry >= 16) return 0;
  const auto* bytes = static_cast<const uint8_t*>(block);
  size_t units = blockBytes / 2;
  size_t at = 0;
  // Every length word is checked against what remains of the block before it is trusted.
  for (unsigned i = 0; i < entry; ++i) {
    if (at >= units) return 0;
    size_t length = UnitAt(bytes, at);
    if (length > units - at - 1) return 0;
    at += 1 + length;
  }
  if (at >= units) return 0;
  size_t length = UnitAt(bytes, at);
  if (length > units - at - 1) return 0;
  size_t n = length < capacity - 1 ? length : capacity - 1;
  for (size_t i = 0; i < n; ++i) buffer[i] = static_cast<char16_t>(UnitAt(bytes, at + 1 + i));
  buffer[n] = u'\0';
  return n;
}

}  // namespace dtconv::ui
