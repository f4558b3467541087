// One CAN or CAN FD frame as recorded: the frame format code decoded into class and identifier
// width, and the data bytes gathered from the head and its continuation records. Shared by the
// text/CSV converter and the PCAP writer.
#pragma once

#include <cstdint>
#include <cstring>

#include "input/monitor_record.h"

namespace dtconv {

enum class FrameClass { Data, Remote, Error, FdData, Other };

struct FrameFormat {
  FrameClass frameClass;
  int idBits;  // 11, 29, or 0 without an identifier
};

namespace detail {
// Class and identifier width of every code; codes not listed are `Other`.
struct FrameFormatTable {
  FrameFormat formats[256];
  constexpr FrameFormatTable() : formats() {
    for (FrameFormat& f : formats) f = {FrameClass::Other, 0};
    formats[1] = {FrameClass::Data, 11};
    formats[2] = {FrameClass::Remote, 11};
    formats[3] = {FrameClass::Data, 29};
    formats[4] = {FrameClass::Remote, 29};
    formats[5] = formats[21] = formats[37] = {FrameClass::Error, 0};
    formats[17] = formats[33] = {FrameClass::FdData, 11};
    formats[19] = formats[35] = {FrameClass::FdData, 29};
  }
};
inline constexpr FrameFormatTable kFrameFormats{};
inline constexpr uint8_t kFdLengths[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
}  // namespace detail

// Class and identifier width of a frame format code (head byte 10).
constexpr FrameFormat DecodeFrameFormat(uint8_t code) {
  return detail::kFrameFormats.formats[code];
}

// Data length of a CAN FD DLC (9 -> 12, ..., 15 -> 64); a DLC above 15 counts as 15.
inline int FdDataLength(uint8_t dlc) { return detail::kFdLengths[dlc > 15 ? 15 : dlc]; }

struct CanFrame {
  uint8_t format = 0;
  FrameFormat kind{FrameClass::Other, 0};
  bool trigger = false;
  uint8_t status = 0;
  uint8_t dlc = 0;
  uint32_t id = 0;
  uint32_t fc = 0;   // bytes 20-23 as recorded
  bool brs = false;  // CAN FD frames only
  bool esi = false;
  int count = 0;  // gathered data bytes, 0-64
  uint8_t data[64] = {};
};

// Reads the frame whose head record is at the cursor. Returns false when the stored byte count
// needs continuation records that are missing or out of order: such a frame is dropped. Only the
// first `count` data bytes are set; the rest keep whatever they held. Inline: every CAN format
// runs it once per frame.
inline bool AssembleFrame(const RecordCursor& cursor, CanFrame& frame) {
  const uint8_t* b = cursor.Current().bytes;
  uint8_t code = b[10];
  frame.format = code;
  frame.kind = DecodeFrameFormat(code);
  frame.trigger = (b[11] & 0x80) != 0;
  int count = b[12] > 64 ? 64 : b[12];
  frame.count = count;
  frame.status = b[13];
  frame.dlc = b[15];
  frame.id = LoadU32(b + 16);
  frame.fc = LoadU32(b + 20);
  // BRS and ESI sit one bit higher in frames with 29-bit identifiers. Bit arithmetic rather than
  // conditions: classic and FD frames come mixed.
  unsigned flags = static_cast<unsigned>(b[14]) >> (frame.kind.idBits == 29 ? 5 : 4);
  unsigned fd = frame.kind.frameClass == FrameClass::FdData ? 1u : 0u;
  frame.brs = (fd & flags) != 0;
  frame.esi = (fd & (flags >> 1)) != 0;

  std::memcpy(frame.data, b + 24, 8);
  if (count > 8) [[unlikely]] {
    const MonitorRecord* first = ContinuationOf(cursor, 1);
    if (first == nullptr) return false;
    std::memcpy(frame.data + 8, first->bytes + 4, 28);
    if (count > 36) {
      const MonitorRecord* second = ContinuationOf(cursor, 2);
      if (cursor.Current().Continuation() < 1 || second == nullptr) return false;
      std::memcpy(frame.data + 36, second->bytes + 4, 28);
    }
  }
  return true;
}

}  // namespace dtconv
