#include "can/can_frame.h"

#include <cstring>

namespace dtconv {

namespace {

// Class and identifier width of every code; codes not listed are `Other`.
struct FormatTable {
  FrameFormat formats[256];
  constexpr FormatTable() : formats() {
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
constexpr FormatTable kFormats{};

}  // namespace

FrameFormat DecodeFrameFormat(uint8_t code) { return kFormats.formats[code]; }

int FdDataLength(uint8_t dlc) {
  static constexpr int kLengths[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
  return kLengths[dlc > 15 ? 15 : dlc];
}

bool AssembleFrame(const RecordCursor& cursor, CanFrame& frame) {
  const uint8_t* b = cursor.Current().bytes;
  frame.format = b[10];
  frame.kind = DecodeFrameFormat(b[10]);
  frame.trigger = (b[11] & 0x80) != 0;
  frame.count = b[12] > 64 ? 64 : b[12];
  frame.status = b[13];
  frame.dlc = b[15];
  frame.id = LoadU32(b + 16);
  frame.fc = LoadU32(b + 20);
  // BRS and ESI sit one bit higher in frames with 29-bit identifiers.
  int flagShift = frame.kind.idBits == 29 ? 5 : 4;
  bool fd = frame.kind.frameClass == FrameClass::FdData;
  frame.brs = fd && ((b[14] >> flagShift) & 1) != 0;
  frame.esi = fd && ((b[14] >> (flagShift + 1)) & 1) != 0;

  std::memcpy(frame.data, b + 24, 8);
  if (frame.count > 8) {
    const MonitorRecord* first = ContinuationOf(cursor, 1);
    if (first == nullptr) return false;
    std::memcpy(frame.data + 8, first->bytes + 4, 28);
  }
  if (frame.count > 36) {
    const MonitorRecord* second = ContinuationOf(cursor, 2);
    if (cursor.Current().Continuation() < 1 || second == nullptr) return false;
    std::memcpy(frame.data + 36, second->bytes + 4, 28);
  }
  return true;
}

}  // namespace dtconv
