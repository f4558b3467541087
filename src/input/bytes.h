// Little-endian reads and writes of unaligned bytes, and a fixed-size byte store read by field
// offset.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace dtconv {

inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t LoadI32(const uint8_t* p) { return static_cast<int32_t>(LoadU32(p)); }
inline int16_t LoadI16(const uint8_t* p) { return static_cast<int16_t>(LoadU16(p)); }
inline uint64_t LoadU64(const uint8_t* p) {
  return static_cast<uint64_t>(LoadU32(p)) | (static_cast<uint64_t>(LoadU32(p + 4)) << 32);
}
inline int64_t LoadI64(const uint8_t* p) { return static_cast<int64_t>(LoadU64(p)); }

inline void StoreU16(uint8_t* p, uint16_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap16(v);
  std::memcpy(p, &v, 2);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}

// The stored bytes of one length-prefixed record, after its length word, up to the capacity N.
// Bytes the file did not store keep their defaults (zero unless set before parsing).
template <size_t N>
struct RecordBytes {
  static constexpr size_t kCapacity = N;
  uint8_t b[N] = {};

  uint8_t U8(size_t off) const { return b[off]; }
  uint16_t U16(size_t off) const { return LoadU16(b + off); }
  uint32_t U32(size_t off) const { return LoadU32(b + off); }
  int32_t I32(size_t off) const { return LoadI32(b + off); }
  int64_t I64(size_t off) const { return LoadI64(b + off); }
  void SetU8(size_t off, uint8_t v) { b[off] = v; }
  void SetU16(size_t off, uint16_t v) {
    b[off] = static_cast<uint8_t>(v);
    b[off + 1] = static_cast<uint8_t>(v >> 8);
  }
  void SetU32(size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
  }
};

}  // namespace dtconv
