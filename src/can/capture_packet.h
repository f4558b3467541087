// The SocketCAN packets of a recorded frame as the PCAP and pcapng writers build them in place:
// the same frames and error frames as ToSocketCan, read straight from the head record for frames
// of up to 8 bytes, with the identifier word's flags from a table by frame format code.
#pragma once

#include <cstdint>

#include "can/can_frame.h"
#include "can/socketcan.h"
#include "input/monitor_record.h"

namespace dtconv {

struct CapturePackets {
  // The frame, when there is one.
  bool hasFrame = false;
  uint32_t idWord = 0;
  uint8_t fdFlags = 0;
  uint8_t byte7 = 0;  // the DLC of a classic frame, 0 for CAN FD
  int count = 0;
  const uint8_t* payload = nullptr;  // 8 readable bytes, or 64 when count is above 8
  // The error frame after it (or alone), when the status gives one.
  bool hasError = false;
  uint32_t errorIdWord = 0;
  uint8_t errorData[8] = {};
};

// The packets of the frame whose head record is at the cursor; false when the frame is dropped
// (AssembleFrame's rule). `f` holds the data bytes of frames of more than 8 bytes.
inline bool ReadCapturePackets(const RecordCursor& cursor, CanFrame& f, CapturePackets& p) {
  const uint8_t* b = cursor.Current().bytes;
  int count = b[12] > 64 ? 64 : b[12];
  p.payload = b + 24;
  if (count > 8) [[unlikely]] {
    if (!AssembleFrame(cursor, f)) return false;
    p.payload = f.data;
  }
  p.count = count;
  uint8_t status = b[13];
  const detail::SocketCanForm& form = detail::kSocketCanForms.forms[b[10]];
  p.hasFrame = form.frame && !(count == 0 && status != 0);
  if (p.hasFrame) {
    p.idWord = form.flags | (LoadU32(b + 16) & form.idMask);
    // BRS and ESI are the SocketCAN flag bits 0 and 1. A mask rather than a branch: classic and
    // CAN FD frames come mixed.
    static_assert(kCanFdBrs == 1 && kCanFdEsi == 2);
    unsigned fdMask = form.fd ? 0xFFu : 0u;
    p.fdFlags = static_cast<uint8_t>((kCanFdFrame | ((b[14] >> form.flagShift) & 3)) & fdMask);
    p.byte7 = static_cast<uint8_t>(b[15] & ~fdMask);
  }
  // After a frame only when it carries data; alone otherwise.
  p.hasError = status >= 1 && status <= 6 && (!p.hasFrame || count > 0);
  if (p.hasError) [[unlikely]] {
    const detail::ErrorClass& e = detail::kErrorClasses[status - 1];
    p.errorIdWord = e.idWord;
    for (uint8_t& byte : p.errorData) byte = 0;
    p.errorData[2] = e.type;
    p.errorData[3] = e.location;
  }
  return true;
}

}  // namespace dtconv
