#include "can/cvt_pcapng.h"

#include <cstddef>
#include <cstring>
#include <string_view>

#include "can/can_frame.h"

namespace dtconv {

namespace {

constexpr AcceptRule kFrameRule{.frames = true};

constexpr uint32_t kSectionHeaderBlock = 0x0A0D0D0A;
constexpr uint32_t kInterfaceDescriptionBlock = 1;
constexpr uint32_t kEnhancedPacketBlock = 6;
constexpr uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr uint16_t kLinkTypeSocketCan = 227;
constexpr uint32_t kSnapLength = 65535;

constexpr uint16_t kOptEnd = 0;
constexpr uint16_t kOptShbUserAppl = 4;
constexpr uint16_t kOptIfName = 2;
constexpr uint16_t kOptIfDescription = 3;
constexpr uint16_t kOptIfSpeed = 8;
constexpr uint16_t kOptIfTsresol = 9;
constexpr uint8_t kMicrosecondResolution = 6;  // 10^-6 s

// One header block under construction, little-endian. Its size is bounded by the largest block
// written with it: an interface description with two short texts. Packets are built in place.
class Block {
 public:
  explicit Block(uint32_t type) {
    U32(type);
    U32(0);  // total length, set by Finish
  }
  void U8(uint8_t v) { bytes_[size_++] = v; }
  void U16(uint16_t v) {
    for (int i = 0; i < 2; ++i) U8(static_cast<uint8_t>(v >> (8 * i)));
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) U8(static_cast<uint8_t>(v >> (8 * i)));
  }
  void U64(uint64_t v) {
    for (int i = 0; i < 8; ++i) U8(static_cast<uint8_t>(v >> (8 * i)));
  }
  void Bytes(const uint8_t* data, size_t n) {
    for (size_t i = 0; i < n; ++i) U8(data[i]);
  }
  void Pad() {
    while (size_ % 4 != 0) U8(0);
  }
  // An option: code, length, value padded to 32 bits.
  void Option(uint16_t code, const uint8_t* value, size_t n) {
    U16(code);
    U16(static_cast<uint16_t>(n));
    Bytes(value, n);
    Pad();
  }
  void Option(uint16_t code, std::string_view text) {
    Option(code, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }
  void EndOfOptions() {
    U16(kOptEnd);
    U16(0);
  }
  // Appends the trailing length and writes it into the header; the block is then complete.
  void Finish() {
    auto total = static_cast<uint32_t>(size_ + 4);
    U32(total);
    for (int i = 0; i < 4; ++i) bytes_[4 + i] = static_cast<uint8_t>(total >> (8 * i));
  }
  void WriteTo(TextOutput& out) const { out.WriteBytes(bytes_, size_); }

 private:
  uint8_t bytes_[256];
  size_t size_ = 0;
};

void WriteSectionHeader(TextOutput& out) {
  Block b(kSectionHeaderBlock);
  b.U32(kByteOrderMagic);
  b.U16(1);  // version 1.0
  b.U16(0);
  b.U64(~uint64_t{0});  // section length not given
  b.Option(kOptShbUserAppl, "dtconv");
  b.EndOfOptions();
  b.Finish();
  b.WriteTo(out);
}

// The interface of one line: its name, and when the capture recorded the CAN set-up, the
// protocol and bit rates as its description and the nominal bit rate as its speed.
void WriteInterface(TextOutput& out, const MonitorData& data, int line) {
  Block b(kInterfaceDescriptionBlock);
  b.U16(kLinkTypeSocketCan);
  b.U16(0);
  b.U32(kSnapLength);
  b.Option(kOptIfName, line == 1 ? "CH1" : "CH2");
  if (data.recordingKind == 0 || data.recordingKind == 4) {
    CanChannelSetup setup = data.info.CanChannel(line);
    char nominal[32];
    char dataPhase[32];
    char description[128];
    FormatBitRate(static_cast<int32_t>(setup.nominalBitRate), nominal);
    FormatBitRate(static_cast<int32_t>(setup.dataBitRate), dataPhase);
    FormatPiece(description, "CAN/CAN FD (%s), bit rate %s, data bit rate %s",
                setup.nonIso == 1 ? "NON-ISO" : "ISO", nominal, dataPhase);
    b.Option(kOptIfDescription, description);
    if (setup.nominalBitRate != 0) {
      uint8_t speed[8];
      for (int i = 0; i < 8; ++i) {
        speed[i] = static_cast<uint8_t>(static_cast<uint64_t>(setup.nominalBitRate) >> (8 * i));
      }
      b.Option(kOptIfSpeed, speed, sizeof speed);
    }
  }
  b.Option(kOptIfTsresol, &kMicrosecondResolution, 1);
  b.EndOfOptions();
  b.Finish();
  b.WriteTo(out);
}

// An Enhanced Packet Block holding one SocketCAN packet: the block type and length, the
// interface, the timestamp in microseconds (high and low word), the captured and the original
// length, the packet padded with zeros to 32 bits, the length again. Returns the block's end.
template <typename Packet>
uint8_t* PutPacketBlock(uint8_t* p, uint32_t interfaceId, int64_t micros, const Packet& packet) {
  auto units = static_cast<uint64_t>(micros);
  StoreU32(p, kEnhancedPacketBlock);
  StoreU32(p + 8, interfaceId);
  StoreU32(p + 12, static_cast<uint32_t>(units >> 32));
  StoreU32(p + 16, static_cast<uint32_t>(units));
  uint8_t* end = PutSocketCanPacket(p + 28, packet);
  auto length = static_cast<uint32_t>(end - (p + 28));
  StoreU32(p + 20, length);
  StoreU32(p + 24, length);
  std::memset(end, 0, 4);  // the padding, at most three bytes
  auto total = 28 + ((length + 3) & ~3u) + 4;
  StoreU32(p + 4, total);
  StoreU32(p + total - 4, total);
  return p + total;
}

}  // namespace

RecordKind CTxtCvtPcapng::NextRecord(RecordCursor& cursor) {
  return dtconv::NextRecord(cursor, kFrameRule);
}

RecordKind CTxtCvtPcapng::FirstRecord(RecordCursor& cursor) {
  return dtconv::FirstRecord(cursor, kFrameRule);
}

void ConvertPcapng(CTxtCvtPcapng& cv, const MonitorData& data, ConverterContext& context) {
  cv.Bind(data, context, false, static_cast<TimeStyle>(context.timeStampStyle));
  TextOutput& out = *cv.output;
  WriteSectionHeader(out);
  WriteInterface(out, data, 1);
  WriteInterface(out, data, 2);
  if (data.recordCount == 0) return;

  // Bit 1: frames of line 1 are kept, bit 2: those of line 2 (the kind is the line number).
  unsigned keepLines = (context.signalLine != 2 ? 2u : 0u) | (context.signalLine != 1 ? 4u : 0u);
  int64_t base =
      CaptureMicroseconds(data.info.TimeBaseSeconds(), data.info.TimeBaseNanoseconds(), 0);
  RecordCursor cursor = cv.StartCursor();
  uint8_t gathered[64];
  SocketCanPackets packets;
  for (RecordKind kind = dtconv::FirstRecord(cursor, kFrameRule);
       kind != kKindEnd && out.result().ok(); kind = dtconv::NextRecord(cursor, kFrameRule)) {
    if (((keepLines >> kind) & 1) == 0 || !KeepsFrame(context.filter, cursor.Current()) ||
        !ReadSocketCan(cursor, gathered, packets)) {
      continue;
    }
    auto micros = static_cast<int64_t>(static_cast<uint64_t>(base) + packets.timestamp);
    // The interface of line 1 is 0, that of line 2 is 1.
    auto interfaceId = static_cast<uint32_t>(kind) - 1;
    uint8_t* p = out.BeginBytes();
    if (packets.hasFrame) p = PutPacketBlock(p, interfaceId, micros, packets.frame);
    if (packets.hasError) p = PutPacketBlock(p, interfaceId, micros, packets.error);
    out.EndBytes(p);
  }
}

}  // namespace dtconv
