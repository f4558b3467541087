#include "can/can_frame.h"

#include <cstring>

namespace dtconv {

FrameFormat DecodeFrameFormat(uint8_t code) {
  switch (code) {
    case 1:
      return {FrameClass::Data, 11};
    case 2:
      return {FrameClass::Remote, 11};
    case 3:
      return {FrameClass::Data, 29};
    case 4:
      return {FrameClass::Remote, 29};
    case 5:
    case 21:
    case 37:
      return {FrameClass::Error, 0};
    case 17:
    case 33:
      return {FrameClass::FdData, 11};
    case 19:
    case 35:
      return {FrameClass::FdData, 29};
    default:
      return {FrameClass::Other, 0};
  }
}

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
