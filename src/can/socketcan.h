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

// The SocketCAN form of an assembled frame. There is a frame for data, remote and CAN FD frames,
// except when no byte is stored and an error status is recorded. There is an error frame for the
// status codes 1-6, after a frame only when it carries data; error frames and unknown frame
// format codes give the error frame alone. The frame's data pointer points into `frame`.
SocketCanPackets ToSocketCan(const CanFrame& frame);

// Microseconds since 1970 of a record timestamp on the capture's time base, in 64-bit arithmetic
// that wraps instead of overflowing (only a damaged time base comes near it).
int64_t CaptureMicroseconds(int64_t baseSeconds, int64_t baseNanoseconds, uint64_t timestamp);

}  // namespace dtconv
