#include "can/cvt_pcap.h"

#include <cstdint>

#include "can/can_frame.h"

namespace dtconv {

namespace {

constexpr AcceptRule kFrameRule{.frames = true};

constexpr uint32_t kPcapMagic = 0xA1B2C3D4;  // microsecond timestamps
constexpr uint32_t kSnapLength = 65535;
constexpr uint32_t kLinkTypeSocketCan = 227;

// The time of a record header: seconds and microseconds since 1970. The seconds change once a
// second of capture, so the division is done then; a time before 1970 (only from a damaged time
// base) is divided each time.
class PacketClock {
 public:
  void Put(uint8_t* p, int64_t micros) {
    if (!valid_ || micros < second_ || micros - second_ >= 1000000) {
      StoreU32(p, static_cast<uint32_t>(micros / 1000000));
      StoreU32(p + 4, static_cast<uint32_t>(micros % 1000000));
      valid_ = micros >= 0;
      second_ = micros - micros % 1000000;
      seconds_ = static_cast<uint32_t>(micros / 1000000);
      return;
    }
    StoreU32(p, seconds_);
    StoreU32(p + 4, static_cast<uint32_t>(micros - second_));
  }

 private:
  bool valid_ = false;
  int64_t second_ = 0;  // microseconds at the start of the latest second
  uint32_t seconds_ = 0;
};

// One record: the little-endian record header (seconds and microseconds since 1970, the captured
// and the original length), then the SocketCAN packet.
template <typename Packet>
uint8_t* PutRecord(uint8_t* p, PacketClock& clock, int64_t micros, const Packet& packet) {
  uint8_t* start = p;
  clock.Put(p, micros);
  uint8_t* end = PutSocketCanPacket(p + 16, packet);
  auto length = static_cast<uint32_t>(end - start - 16);
  StoreU32(p + 8, length);
  StoreU32(p + 12, length);
  return end;
}

}  // namespace

RecordKind CTxtCvtPcap::NextRecord(RecordCursor& cursor) {
  return dtconv::NextRecord(cursor, kFrameRule);
}

RecordKind CTxtCvtPcap::FirstRecord(RecordCursor& cursor) {
  return dtconv::FirstRecord(cursor, kFrameRule);
}

void ConvertPcap(CTxtCvtPcap& cv, const MonitorData& data, ConverterContext& context) {
  cv.Bind(data, context, false, static_cast<TimeStyle>(context.timeStampStyle));
  TextOutput& out = *cv.output;
  uint8_t header[24];
  StoreU32(header, kPcapMagic);
  StoreU16(header + 4, 2);  // version 2.4
  StoreU16(header + 6, 4);
  StoreU32(header + 8, 0);   // time zone correction
  StoreU32(header + 12, 0);  // timestamp accuracy
  StoreU32(header + 16, kSnapLength);
  StoreU32(header + 20, kLinkTypeSocketCan);
  out.WriteBytes(header, sizeof header);
  if (data.recordCount == 0) return;

  // Bit 1: frames of line 1 are kept, bit 2: those of line 2 (the kind is the line number).
  unsigned keepLines = (context.signalLine != 2 ? 2u : 0u) | (context.signalLine != 1 ? 4u : 0u);
  int64_t base =
      CaptureMicroseconds(data.info.TimeBaseSeconds(), data.info.TimeBaseNanoseconds(), 0);
  RecordCursor cursor = cv.StartCursor();
  uint8_t gathered[64];
  SocketCanPackets packets;
  PacketClock clock;
  for (RecordKind kind = dtconv::FirstRecord(cursor, kFrameRule);
       kind != kKindEnd && out.result().ok(); kind = dtconv::NextRecord(cursor, kFrameRule)) {
    if (((keepLines >> kind) & 1) == 0 || !KeepsFrame(context.filter, cursor.Current()) ||
        !ReadSocketCan(cursor, gathered, packets)) {
      continue;
    }
    auto micros = static_cast<int64_t>(static_cast<uint64_t>(base) + packets.timestamp);
    uint8_t* p = out.BeginBytes();
    if (packets.hasFrame) p = PutRecord(p, clock, micros, packets.frame);
    if (packets.hasError) p = PutRecord(p, clock, micros, packets.error);
    out.EndBytes(p);
  }
}

}  // namespace dtconv
