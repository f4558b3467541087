// String resources are stored in blocks of 16: string N is entry N mod 16 of block N / 16 + 1,
// and each entry is a 16-bit length followed by that many UTF-16 units, without terminator.
// Portable: works on the block's bytes as the resource section holds them (little-endian).
#pragma once

#include <cstddef>
#include <cstdint>

namespace dtconv::ui {

inline constexpr unsigned StringBlockOf(unsigned id) { return id / 16 + 1; }
inline constexpr unsigned StringEntryOf(unsigned id) { return id % 16; }

// Copies entry `entry` of a string block into `buffer`: at most capacity - 1 units, always
// terminated when capacity is not 0. Returns the number of units copied; 0 for an empty or
// absent entry, or when the block ends before the entry does.
size_t CopyStringFromBlock(const void* block, size_t blockBytes, unsigned entry, char16_t* buffer,
                           size_t capacity);

}  // namespace dtconv::ui
