// A recorded frame in the SocketCAN form that the pcapng and candump log writers carry: the CAN
// or CAN FD frame itself and the error frame that a recorded error status adds. The choices are
// those of the PCAP writer, so every capture format shows the same frames and error frames.
#pragma once

#include <cstdint>

#include "can/can_frame.h"

namespace dtconv {

// Flags of the SocketCAN identifier word and of the CAN FD flags byte.
inline constexpr uint32_t kCanEffFlag = 0x80000000;
inline constexpr uint32_t kCanRtrFlag = 0x40000000;
inline constexpr uint32_t kCanErrFlag = 0x20000000;
inline constexpr uint32_t kCanSffMask = 0x000007FF;
inline constexpr uint32_t kCanEffMask = 0x1FFFFFFF;
inline constexpr uint8_t kCanFdBrs = 0x01;
inline constexpr uint8_t kCanFdEsi = 0x02;
inline constexpr uint8_t kCanFdFrame = 0x04;
// Error classes in the identifier word of an error frame.
inline constexpr uint32_t kCanErrProt = 0x00000008;
inline constexpr uint32_t kCanErrAck = 0x00000020;
inline constexpr uint32_t kCanErrBusError = 0x00000080;

struct SocketCanFrame {
  uint32_t idWord = 0;  // identifier with kCanEffFlag and kCanRtrFlag
  uint8_t fdFlags = 0;  // kCanFdFrame with BRS and ESI for CAN FD frames, 0 for classic frames
  uint8_t dlc = 0;      // classic frames: the DLC as recorded; CAN FD frames: 0
  int length = 0;       // data bytes, the frame's gathered count (0-64)
  const uint8_t* data = nullptr;  // the frame's gathered bytes

  bool IsFd() const { return fdFlags != 0; }
  bool IsRemote() const { return (idWord & kCanRtrFlag) != 0; }
  bool IsExtended() const { return (idWord & kCanEffFlag) != 0; }
  uint32_t Identifier() const { return idWord & (IsExtended() ? kCanEffMask : kCanSffMask); }
};

struct SocketCanError {
  uint32_t idWord = 0;  // kCanErrFlag with the error class
  uint8_t data[8] = {};
};

// What one recorded frame gives, in this order: the frame, then the error frame.
struct SocketCanPackets {
  bool hasFrame = false;
  SocketCanFrame frame;
  bool hasError = false;
  SocketCanError error;
};

namespace detail {

// The error class of each recorded status code 1-6: the identifier word, and data bytes 2 (protocol
// error type) and 3 (protocol error location).
struct ErrorClass {
  uint32_t idWord;
  uint8_t type;
  uint8_t location;
};
inline constexpr ErrorClass kErrorClasses[6] = {
    {kCanErrFlag | kCanErrAck, 0x00, 0x00},   // 1 acknowledgement error
    {kCanErrFlag | kCanErrProt, 0x02, 0x18},  // 2 form error at the CRC delimiter
    {kCanErrFlag | kCanErrProt, 0x00, 0x08},  // 3 CRC sequence
    {kCanErrFlag | kCanErrProt, 0x04, 0x00},  // 4 bit stuffing error
    {kCanErrFlag | kCanErrProt, 0x40, 0x00},  // 5 active error announcement
    {kCanErrFlag | kCanErrProt, 0x02, 0x1B},  // 6 form error at the ACK delimiter
};

// The error frame of a recorded status code 1-6: its error class and the protocol error type and
// location in data bytes 2 and 3. Other codes give none.
inline bool SocketCanErrorFor(uint8_t status, SocketCanError* error) {
  if (status < 1 || status > 6) return false;
  const ErrorClass& e = kErrorClasses[status - 1];
  *error = SocketCanError{};
  error->idWord = e.idWord;
  error->data[2] = e.type;
  error->data[3] = e.location;
  return true;
}

}  // namespace detail

// The SocketCAN form of an assembled frame. There is a frame for data, remote and CAN FD frames,
// except when no byte is stored and an error status is recorded. There is an error frame for the
// status codes 1-6, after a frame only when it carries data; error frames and unknown frame
// format codes give the error frame alone. The frame's data pointer points into `frame`. Inline,
// since the log writers call it for every frame and use only part of what it gives.
inline SocketCanPackets ToSocketCan(const CanFrame& f) {
  SocketCanPackets p;
  if (f.count == 0 && f.status != 0) {
    p.hasError = detail::SocketCanErrorFor(f.status, &p.error);
    return p;
  }
  uint32_t idWord = f.kind.idBits == 29 ? kCanEffFlag | (f.id & kCanEffMask) : f.id & kCanSffMask;
  switch (f.kind.frameClass) {
    case FrameClass::Data:
      break;
    case FrameClass::Remote:
      idWord |= kCanRtrFlag;
      break;
    case FrameClass::FdData:
      p.frame.fdFlags =
          static_cast<uint8_t>(kCanFdFrame | (f.brs ? kCanFdBrs : 0) | (f.esi ? kCanFdEsi : 0));
      break;
    default:
      p.hasError = detail::SocketCanErrorFor(f.status, &p.error);
      return p;
  }
  p.hasFrame = true;
  p.frame.idWord = idWord;
  p.frame.dlc = p.frame.fdFlags == 0 ? f.dlc : 0;
  p.frame.length = f.count;
  p.frame.data = f.data;
  if (f.count > 0) p.hasError = detail::SocketCanErrorFor(f.status, &p.error);
  return p;
}

namespace detail {
// What a frame format code gives, as ToSocketCan decides it: the identifier word's flags and mask,
// a frame or none (error frames and unknown codes give the error frame alone), a CAN FD frame and
// where its BRS and ESI bits sit.
struct SocketCanForm {
  uint32_t flags = 0;
  uint32_t idMask = 0;
  bool frame = false;
  bool fd = false;
  uint8_t flagShift = 4;
};
struct SocketCanForms {
  SocketCanForm forms[256];
  constexpr SocketCanForms() : forms() {
    for (int code = 0; code < 256; ++code) {
      FrameFormat k = DecodeFrameFormat(static_cast<uint8_t>(code));
      SocketCanForm& f = forms[code];
      f.frame = k.frameClass == FrameClass::Data || k.frameClass == FrameClass::Remote ||
                k.frameClass == FrameClass::FdData;
      f.fd = k.frameClass == FrameClass::FdData;
      f.flags = (k.idBits == 29 ? kCanEffFlag : 0) |
                (k.frameClass == FrameClass::Remote ? kCanRtrFlag : 0);
      f.idMask = k.idBits == 29 ? kCanEffMask : kCanSffMask;
      f.flagShift = k.idBits == 29 ? 5 : 4;
    }
  }
};
inline constexpr SocketCanForms kSocketCanForms{};
}  // namespace detail

// AssembleFrame and ToSocketCan of the frame whose head record is at the cursor in one: false when
// the frame is dropped. A frame of up to 8 bytes is read straight from the head record, its data
// pointer pointing there (8 readable bytes); a longer one is assembled in `f`. Only the packets
// given are set.
inline bool ReadSocketCan(const RecordCursor& cursor, CanFrame& f, SocketCanPackets& p) {
  const uint8_t* b = cursor.Current().bytes;
  if (b[12] > 8) [[unlikely]] {
    if (!AssembleFrame(cursor, f)) return false;
    p = ToSocketCan(f);
    return true;
  }
  int count = b[12];
  uint8_t status = b[13];
  const detail::SocketCanForm& form = detail::kSocketCanForms.forms[b[10]];
  p.hasFrame = form.frame && !(count == 0 && status != 0);
  p.frame.idWord = form.flags | (LoadU32(b + 16) & form.idMask);
  p.frame.fdFlags =
      form.fd ? static_cast<uint8_t>(kCanFdFrame | ((b[14] >> form.flagShift) & 3)) : 0;
  p.frame.dlc = form.fd ? 0 : b[15];
  p.frame.length = count;
  p.frame.data = b + 24;
  p.hasError = static_cast<unsigned>(status - 1) < 6 && (!p.hasFrame || count > 0);
  if (p.hasError) [[unlikely]]
    detail::SocketCanErrorFor(status, &p.error);
  return true;
}

// Microseconds since 1970 of a record timestamp on the capture's time base, in 64-bit arithmetic
// that wraps instead of overflowing (only a damaged time base comes near it).
inline int64_t CaptureMicroseconds(int64_t baseSeconds, int64_t baseNanoseconds,
                                   uint64_t timestamp) {
  return static_cast<int64_t>(static_cast<uint64_t>(baseNanoseconds / 1000) +
                              static_cast<uint64_t>(baseSeconds) * 1000000u + timestamp);
}

}  // namespace dtconv
