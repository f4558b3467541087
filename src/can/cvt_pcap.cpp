#include "can/cvt_pcap.h"

#include <bit>
#include <cstddef>
#include <cstring>

#include "can/capture_packet.h"

namespace dtconv {

namespace {

constexpr AcceptRule kFrameRule{.frames = true};

void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLe32(uint8_t* p, uint32_t v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, 4);
  } else {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
  }
}
// Two little-endian 32-bit words in one 64-bit store.
void PutLe32Pair(uint8_t* p, uint32_t low, uint32_t high) {
  uint64_t v = low | static_cast<uint64_t>(high) << 32;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, 8);
  } else {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
  }
}

// Seconds in the low half, microseconds in the high half: the first eight bytes of the record
// header, kept in one register.
using PacketTime = uint64_t;
constexpr PacketTime MakePacketTime(uint32_t seconds, uint32_t microseconds) {
  return seconds | static_cast<uint64_t>(microseconds) << 32;
}

// The most one packet takes: the record header, the SocketCAN header and 64 data bytes.
constexpr size_t kMaxPacket = 16 + 8 + 64;
// Packets are built in batches of up to this many bytes in the writer's buffer.
constexpr size_t kBatchRoom = TextOutput::kMaxAppend;

// One packet, built in place at `p` (with room for kMaxPacket bytes): the little-endian pcap
// record header, then the SocketCAN frame with its big-endian identifier word. `payload` holds 8
// readable bytes, or 64 when `count` is above 8. Returns the packet's end. Inline into the walk
// for the frame packets.
[[gnu::always_inline]] inline uint8_t* PutPacket(uint8_t* p, PacketTime t, uint32_t idWord,
                                                 uint8_t fdFlags, uint8_t byte7,
                                                 const uint8_t* payload, int count) {
  // Whole 64-bit stores from registers, which later loads of the same bytes can be forwarded
  // from (the compiler gathers byte stores into vectors through memory otherwise).
  auto length = static_cast<uint32_t>(8 + count);
  PutLe32Pair(p, static_cast<uint32_t>(t), static_cast<uint32_t>(t >> 32));
  PutLe32Pair(p + 8, length, length);
  PutLe32Pair(p + 16, __builtin_bswap32(idWord),
              static_cast<uint32_t>(count) | static_cast<uint32_t>(fdFlags) << 8 |
                  static_cast<uint32_t>(byte7) << 24);
  // Fixed-size copies: the payload holds 8 bytes at least (64 when more are counted), and the
  // room asked for takes all 64; bytes past `count` are overwritten by the next packet.
  if (count <= 8) {
    std::memcpy(p + 24, payload, 8);
  } else {
    std::memcpy(p + 24, payload, 64);
  }
  return p + 24 + count;
}

// Seconds and microseconds of the packets since 1970, from the record timestamps: microseconds
// in 64-bit arithmetic that wraps instead of overflowing, split once per second.
class PacketClock {
 public:
  explicit PacketClock(const CTxtCvtBase& cv)
      : base_(static_cast<uint64_t>(cv.timeBaseNanoseconds / 1000) +
              static_cast<uint64_t>(cv.timeBaseSeconds) * 1000000u) {}

  PacketTime At(uint64_t timestamp) {
    uint64_t t = base_ + timestamp;
    if (valid_ && t - secondStart_ < 1000000) {
      return MakePacketTime(seconds_, static_cast<uint32_t>(t - secondStart_));
    }
    auto signedT = static_cast<int64_t>(t);
    PacketTime time = MakePacketTime(static_cast<uint32_t>(signedT / 1000000),
                                     static_cast<uint32_t>(signedT % 1000000));
    // Later records of the same second take the same seconds; a negative time (a damaged time
    // base) is split each time.
    valid_ = signedT >= 0 && signedT < (int64_t{1} << 62);
    secondStart_ = t - t % 1000000;
    seconds_ = static_cast<uint32_t>(time);
    return time;
  }

 private:
  uint64_t base_;
  bool valid_ = false;
  uint64_t secondStart_ = 0;
  uint32_t seconds_ = 0;
};

// The error frame packet, rare: kept out of the walk's loop.
[[gnu::noinline]] uint8_t* PutErrorPacket(uint8_t* out, PacketTime t, const CapturePackets& p) {
  return PutPacket(out, t, p.errorIdWord, 0, 0, p.errorData, 8);
}

// The packets of the frame at the cursor (up to two) at `out`; returns their end. `f` is the
// conversion's frame buffer, reused from frame to frame (only frames of more than 8 bytes need
// it).
uint8_t* PutFramePackets(uint8_t* out, PacketClock& clock, const RecordCursor& cursor,
                         CanFrame& f) {
  CapturePackets p;
  if (!ReadCapturePackets(cursor, f, p)) return out;
  PacketTime time = clock.At(cursor.Current().Timestamp());
  if (p.hasFrame) out = PutPacket(out, time, p.idWord, p.fdFlags, p.byte7, p.payload, p.count);
  if (p.hasError) [[unlikely]]
    out = PutErrorPacket(out, time, p);
  return out;
}

}  // namespace

RecordKind CTxtCvtPcap::NextRecord(RecordCursor& cursor) {
  return dtconv::NextRecord(cursor, kFrameRule);
}

RecordKind CTxtCvtPcap::FirstRecord(RecordCursor& cursor) {
  return dtconv::FirstRecord(cursor, kFrameRule);
}

void ConvertPcap(CTxtCvtPcap& cv, const MonitorData& data, ConverterContext& context) {
  cv.Bind(data, context, false, context.timeStampStyle);
  uint8_t header[24];
  PutLe32(header, 0xA1B2C3D4);  // microsecond timestamps
  PutLe16(header + 4, 2);       // version 2.4
  PutLe16(header + 6, 4);
  PutLe32(header + 8, 0);       // time zone correction
  PutLe32(header + 12, 0);      // timestamp accuracy
  PutLe32(header + 16, 65535);  // snapshot length
  PutLe32(header + 20, 227);    // LINKTYPE_CAN_SOCKETCAN
  cv.output->WriteBytes(header, sizeof header);
  if (data.recordCount == 0) return;

  // Bit 1: frames of line 1 are kept, bit 2: those of line 2 (the kind is the line number).
  unsigned keepLines = (context.signalLine != 2 ? 2u : 0u) | (context.signalLine != 1 ? 4u : 0u);
  RecordCursor cursor = cv.StartCursor();
  CanFrame frame;
  PacketClock clock(cv);
  TextOutput& out = *cv.output;
  // The walk itself rather than the virtual NextRecord: it is inlined into this loop. Packets go
  // into the writer's buffer a batch at a time, each batch ended while a further frame's two
  // packets still fit.
  RecordKind kind = dtconv::FirstRecord(cursor, kFrameRule);
  while (kind != kKindEnd && out.result().ok()) {
    uint8_t* start = out.BeginBytes(kBatchRoom);
    uint8_t* last = start + kBatchRoom - 2 * kMaxPacket;
    uint8_t* p = start;
    do {
      if ((keepLines >> kind) & 1) p = PutFramePackets(p, clock, cursor, frame);
      kind = dtconv::NextRecord(cursor, kFrameRule);
    } while (kind != kKindEnd && p <= last);
    out.EndBytes(p);
  }
}

}  // namespace dtconv
