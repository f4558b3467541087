// One CAN or CAN FD frame as recorded, whether a conversion keeps it (--ids, --from, --to), and the
// same frame in the SocketCAN form that the PCAP, pcapng, ASC and candump writers carry. Every CAN
// converter reads its frames through here.
//
// A frame's head record: byte 10 the frame format code, 11 (bit 7) the trigger mark, 12 the
// stored byte count, 13 the status, 14 the BRS and ESI bits, 15 the DLC, 16-19 the identifier,
// 20-23 the check value, 24-31 the first eight data bytes; up to two continuation records hold
// 28 more bytes each.
#pragma once

#include <cstdint>
#include <cstring>

#include "input/monitor_record.h"
#include "input/record_filter.h"

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

// Class and identifier width of a frame format code.
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
  uint32_t fc = 0;   // the check value as recorded
  bool brs = false;  // CAN FD frames only
  bool esi = false;
  int count = 0;  // gathered data bytes, 0-64
  uint8_t data[64] = {};

  bool IsFd() const { return kind.frameClass == FrameClass::FdData; }
  // Data, remote and CAN FD frames carry data and a check value; error frames and unknown
  // formats do not. (A bitwise or, without a branch: the kinds of frame come in no predictable
  // order.)
  bool HasData() const {
    return (kind.frameClass == FrameClass::Data) | (kind.frameClass == FrameClass::Remote) | IsFd();
  }
  // DL: the data length of a CAN FD frame's DLC, the DLC of a classic frame up to 8.
  // Both lengths are found and one kept, without a branch on the kind of frame.
  int DataLength() const {
    int classic = dlc > 8 ? 8 : dlc;
    int fd = FdDataLength(dlc);
    return IsFd() ? fd : classic;
  }
};

namespace detail {
// Copies the data bytes that the continuation records of the frame at the cursor hold, 28 from
// each, after the head record's eight in `data` (64 bytes), as many records as a stored byte count
// of `count` (9-64) needs. Returns false when one is missing or out of order.
inline bool GatherContinuations(const RecordCursor& cursor, int count, uint8_t* data) {
  const MonitorRecord* first = ContinuationOf(cursor, 1);
  if (first == nullptr) return false;
  std::memcpy(data + 8, first->bytes + 4, 28);
  if (count > 36) {
    const MonitorRecord* second = ContinuationOf(cursor, 2);
    if (cursor.Current().Continuation() < 1 || second == nullptr) return false;
    std::memcpy(data + 36, second->bytes + 4, 28);
  }
  return true;
}
}  // namespace detail

// Reads the frame whose head record is at the cursor into `frame`. Returns false when the stored
// byte count needs continuation records that are missing or out of order: such a frame is
// dropped. Only the first `count` data bytes are set (at least eight are written); the rest keep
// what they held.
inline bool AssembleFrame(const RecordCursor& cursor, CanFrame& frame) {
  const uint8_t* b = cursor.Current().bytes;
  frame.format = b[10];
  frame.kind = DecodeFrameFormat(b[10]);
  frame.trigger = (b[11] & 0x80) != 0;
  frame.count = b[12] > 64 ? 64 : b[12];
  frame.status = b[13];
  frame.dlc = b[15];
  frame.id = LoadU32(b + 16);
  frame.fc = LoadU32(b + 20);
  // BRS and ESI sit one bit higher in frames with 29-bit identifiers; only CAN FD frames have
  // them.
  unsigned flags = static_cast<unsigned>(b[14]) >> (frame.kind.idBits == 29 ? 5 : 4);
  // Without a branch (bitwise and): the kinds of frame come in no predictable order.
  frame.brs = frame.IsFd() & ((flags & 1) != 0);
  frame.esi = frame.IsFd() & ((flags & 2) != 0);
  std::memcpy(frame.data, b + 24, 8);
  if (frame.count > 8) [[unlikely]] {
    return detail::GatherContinuations(cursor, frame.count, frame.data);
  }
  return true;
}

// ---- the SocketCAN form

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

namespace detail {
// KeepsFrame where a filter is set: out of the converters' loops, which it would otherwise crowd.
[[gnu::noinline]] inline bool KeepsFilteredFrame(const RecordFilter& filter,
                                                 const MonitorRecord& head) {
  if (!filter.InWindow(head.Timestamp())) return false;
  if (!filter.hasIds()) return true;
  FrameFormat format = DecodeFrameFormat(head.bytes[10]);
  switch (format.frameClass) {
    case FrameClass::Error:
      return true;
    case FrameClass::Other:
      return false;
    default:
      return format.idBits == 29 ? filter.KeepsId(LoadU32(head.bytes + 16) & kCanEffMask, true)
                                 : filter.KeepsId(LoadU32(head.bytes + 16) & kCanSffMask, false);
  }
}
}  // namespace detail

// Whether a conversion keeps the frame whose head record is `head`: it lies in the filter's time
// window and, when identifiers are listed, its identifier (11 or 29 bits) is listed. Error frames
// carry no identifier and are always kept; frames of an unknown format are left out by a list.
// Asked before the frame is assembled, of the head record alone.
inline bool KeepsFrame(const RecordFilter& filter, const MonitorRecord& head) {
  return !filter.active() || detail::KeepsFilteredFrame(filter, head);
}

struct SocketCanFrame {
  uint32_t idWord = 0;  // identifier with kCanEffFlag and kCanRtrFlag
  uint8_t fdFlags = 0;  // kCanFdFrame with BRS and ESI for CAN FD frames, 0 for classic frames
  uint8_t dlc = 0;      // classic frames: the DLC as recorded; CAN FD frames: 0
  int length = 0;       // data bytes, the frame's gathered count (0-64)
  const uint8_t* data = nullptr;  // the frame's gathered bytes (8 readable, 64 above 8 bytes)
  // As recorded, for the logs that show them: the DLC of every frame and the check value.
  uint8_t recordedDlc = 0;
  uint32_t recordedFc = 0;

  bool IsFd() const { return fdFlags != 0; }
  bool IsRemote() const { return (idWord & kCanRtrFlag) != 0; }
  bool IsExtended() const { return (idWord & kCanEffFlag) != 0; }
  uint32_t Identifier() const { return idWord & (IsExtended() ? kCanEffMask : kCanSffMask); }
};

struct SocketCanError {
  uint32_t idWord = 0;  // kCanErrFlag with the error class
  uint8_t data[8] = {};
};

// What one recorded frame gives, in this order: the frame, then the error frame; both at the
// frame's record time.
struct SocketCanPackets {
  uint64_t timestamp = 0;  // the head record's
  bool hasFrame = false;
  SocketCanFrame frame;
  bool hasError = false;
  SocketCanError error;
};

namespace detail {
// The error class of each recorded status code 1-6: the identifier word, and data bytes 2
// (protocol error type) and 3 (protocol error location).
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
// The error frame of a recorded status code 1-6; other codes give none.
inline bool ErrorFrameOf(uint8_t status, SocketCanError* error) {
  if (status < 1 || status > 6) return false;
  const ErrorClass& e = kErrorClasses[status - 1];
  *error = SocketCanError{};
  error->idWord = e.idWord;
  error->data[2] = e.type;
  error->data[3] = e.location;
  return true;
}

// What a frame format code gives the SocketCAN form: a frame or none (error frames and unknown
// codes give none), the mask of its identifier and the flags of its identifier word; for a CAN FD
// frame its flags byte without BRS and ESI, where those sit in byte 14 (one bit higher with a
// 29-bit identifier) and the mask that keeps them, and for a classic frame the mask that keeps its
// DLC (CAN FD frames carry none). The masks spare the row a branch on the kind of frame, which
// comes in no predictable order.
struct SocketCanForm {
  bool frame = false;
  uint8_t fdFlags = 0;
  uint8_t flagShift = 4;
  uint8_t flagMask = 0;
  uint8_t dlcMask = 0;
  uint32_t idMask = kCanSffMask;
  uint32_t idFlags = 0;
};
struct SocketCanFormTable {
  SocketCanForm forms[256];
  constexpr SocketCanFormTable() : forms() {
    for (int code = 0; code < 256; ++code) {
      FrameFormat k = DecodeFrameFormat(static_cast<uint8_t>(code));
      SocketCanForm& f = forms[code];
      bool fd = k.frameClass == FrameClass::FdData;
      f.frame = k.frameClass == FrameClass::Data || k.frameClass == FrameClass::Remote || fd;
      f.fdFlags = fd ? kCanFdFrame : 0;
      f.flagShift = k.idBits == 29 ? 5 : 4;
      f.flagMask = fd ? kCanFdBrs | kCanFdEsi : 0;
      f.dlcMask = fd ? 0 : 0xFF;
      f.idMask = k.idBits == 29 ? kCanEffMask : kCanSffMask;
      f.idFlags = (k.idBits == 29 ? kCanEffFlag : 0) |
                  (k.frameClass == FrameClass::Remote ? kCanRtrFlag : 0);
    }
  }
};
inline constexpr SocketCanFormTable kSocketCanForms{};
}  // namespace detail

// The SocketCAN form of the frame whose head record is at the cursor, read straight from its
// records. There is a frame for data, remote and CAN FD frames, except when no byte is stored and
// an error status is recorded. There is an error frame for the status codes 1-6 (each its error
// class, and the protocol error type and location in data bytes 2 and 3), after a frame only when
// that carries data; error frames and unknown frame format codes give the error frame alone.
//
// Returns false, as AssembleFrame does, for a frame whose continuation records are missing: it is
// dropped. Otherwise the cursor is moved onto the frame's last continuation record, so that the
// walk goes on after them. The frame's data points into the head record for up to eight bytes,
// otherwise into `gathered`, which the caller keeps from frame to frame.
inline bool ReadSocketCan(RecordCursor& cursor, uint8_t (&gathered)[64], SocketCanPackets& p) {
  const MonitorRecord& head = cursor.Current();
  const uint8_t* b = head.bytes;
  int count = b[12] > 64 ? 64 : b[12];
  const uint8_t* data = b + 24;
  if (count > 8) [[unlikely]] {
    std::memcpy(gathered, data, 8);
    if (!detail::GatherContinuations(cursor, count, gathered)) return false;
    data = gathered;
    PassContinuations(cursor, count > 36 ? 2 : 1);  // `head` still refers to the head record
  }
  // Every field is read before the packets are written: a byte store could otherwise be taken to
  // change the record, and each field read again after it.
  const detail::SocketCanForm& form = detail::kSocketCanForms.forms[b[10]];
  uint8_t status = b[13];
  uint8_t flags = b[14];
  uint8_t dlc = b[15];
  uint32_t id = LoadU32(b + 16);
  uint32_t fc = LoadU32(b + 20);
  uint64_t timestamp = head.Timestamp();
  bool hasFrame = form.frame && !(count == 0 && status != 0);
  p.timestamp = timestamp;
  p.hasFrame = hasFrame;
  // The status first: most frames have none.
  p.hasError = detail::ErrorFrameOf(status, &p.error) && (!hasFrame || count > 0);
  SocketCanFrame& f = p.frame;
  f.idWord = form.idFlags | (id & form.idMask);
  f.fdFlags = static_cast<uint8_t>(form.fdFlags | ((flags >> form.flagShift) & form.flagMask));
  f.dlc = dlc & form.dlcMask;
  f.length = count;
  f.data = data;
  f.recordedDlc = dlc;
  f.recordedFc = fc;
  return true;
}

// A packet of the link type LINKTYPE_CAN_SOCKETCAN that PCAP and pcapng carry: the identifier word
// (big-endian), the data length, the CAN FD flags, a reserved byte and the DLC of a classic frame
// (0 for CAN FD), then the data bytes. The data holds 8 readable bytes, 64 when the length is
// above 8, and that much may be written; returns the packet's end.
inline uint8_t* PutSocketCanPacket(uint8_t* p, uint32_t idWord, uint8_t fdFlags, uint8_t dlc,
                                   const uint8_t* data, int length) {
  StoreU32(p, __builtin_bswap32(idWord));
  p[4] = static_cast<uint8_t>(length);
  p[5] = fdFlags;
  p[6] = 0;
  p[7] = dlc;
  // Fixed-size copies, whatever the length.
  if (length <= 8) {
    std::memcpy(p + 8, data, 8);
  } else {
    std::memcpy(p + 8, data, 64);
  }
  return p + 8 + length;
}
inline uint8_t* PutSocketCanPacket(uint8_t* p, const SocketCanFrame& f) {
  return PutSocketCanPacket(p, f.idWord, f.fdFlags, f.dlc, f.data, f.length);
}
inline uint8_t* PutSocketCanPacket(uint8_t* p, const SocketCanError& e) {
  return PutSocketCanPacket(p, e.idWord, 0, 0, e.data, 8);
}

// Microseconds since 1970 of a record timestamp on the capture's time base, in 64-bit arithmetic
// that wraps instead of overflowing (only a damaged time base comes near it).
inline int64_t CaptureMicroseconds(int64_t baseSeconds, int64_t baseNanoseconds,
                                   uint64_t timestamp) {
  return static_cast<int64_t>(static_cast<uint64_t>(baseNanoseconds / 1000) +
                              static_cast<uint64_t>(baseSeconds) * 1000000u + timestamp);
}

}  // namespace dtconv
