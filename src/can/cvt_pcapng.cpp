#include "can/cvt_pcapng.h"

#include <bit>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "can/capture_packet.h"
#include "can/log_line.h"
#include "can/socketcan.h"

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
    FormatBitRate(static_cast<int32_t>(setup.nominalBitRate), nominal);
    FormatBitRate(static_cast<int32_t>(setup.dataBitRate), dataPhase);
    LogLine description;
    description.Text(setup.nonIso == 1 ? "CAN/CAN FD (NON-ISO), bit rate "
                                       : "CAN/CAN FD (ISO), bit rate ");
    description.Text(nominal);
    description.Text(", data bit rate ");
    description.Text(dataPhase);
    b.Option(kOptIfDescription, description.View());
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

void StoreLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
// Two little-endian 32-bit words in one 64-bit store: whole words from registers, which the
// processor forwards to later loads, where byte stores gathered into vectors are not.
void StoreLe32Pair(uint8_t* p, uint32_t low, uint32_t high) {
  uint64_t v = low | static_cast<uint64_t>(high) << 32;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, 8);
  } else {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
  }
}

constexpr size_t kHead = 28 + 8;  // block header, packet fields and the SocketCAN header
// The most one block takes (with the four bytes of zeros written past the data), and the room of
// a batch of blocks built in the writer's buffer.
constexpr size_t kMaxBlock = kHead + 64 + 4 + 4;
constexpr size_t kBatchRoom = TextOutput::kMaxAppend;

// An Enhanced Packet Block holding one SocketCAN packet: the 8-byte header and the data, built in
// place at `p` (with room for kMaxBlock bytes). `payload` holds 8 readable bytes, or 64 when
// `count` is above 8. Returns the block's end.
uint8_t* PutPacket(uint8_t* p, uint32_t interfaceId, int64_t micros, uint32_t idWord,
                   uint8_t fdFlags, uint8_t byte7, const uint8_t* payload, int count) {
  auto padded = static_cast<size_t>((count + 3) & ~3);
  auto total = static_cast<uint32_t>(kHead + padded + 4);
  auto units = static_cast<uint64_t>(micros);
  auto length = static_cast<uint32_t>(8 + count);
  // The identifier word is big-endian: its bytes in reverse order as a little-endian word.
  uint32_t idBytes =
      (idWord >> 24) | ((idWord >> 8) & 0xFF00) | ((idWord << 8) & 0xFF0000) | (idWord << 24);
  StoreLe32Pair(p, kEnhancedPacketBlock, total);
  StoreLe32Pair(p + 8, interfaceId, static_cast<uint32_t>(units >> 32));
  StoreLe32Pair(p + 16, static_cast<uint32_t>(units), length);
  StoreLe32Pair(p + 24, length, idBytes);
  StoreLe32(p + 32, static_cast<uint32_t>(count) | static_cast<uint32_t>(fdFlags) << 8 |
                        static_cast<uint32_t>(byte7) << 24);
  // Fixed-size copies; what lies past `count` is zeroed up to the padding, then the trailing
  // length goes after it.
  if (count <= 8) {
    std::memcpy(p + kHead, payload, 8);
  } else {
    std::memcpy(p + kHead, payload, 64);
  }
  std::memset(p + kHead + count, 0, 4);
  StoreLe32(p + kHead + padded, total);
  return p + total;
}

// The blocks of the frame at the cursor (up to two) at `out`; returns their end. `f` is the
// conversion's frame buffer, reused from frame to frame (only frames of more than 8 bytes need
// it). `base` is the capture's time base in microseconds (CaptureMicroseconds).
uint8_t* PutFramePackets(uint8_t* out, uint64_t base, const RecordCursor& cursor,
                         uint32_t interfaceId, CanFrame& f) {
  CapturePackets p;
  if (!ReadCapturePackets(cursor, f, p)) return out;
  // Microseconds since 1970, in 64-bit arithmetic that wraps instead of overflowing.
  auto micros = static_cast<int64_t>(base + cursor.Current().Timestamp());
  if (p.hasFrame) {
    out = PutPacket(out, interfaceId, micros, p.idWord, p.fdFlags, p.byte7, p.payload, p.count);
  }
  if (p.hasError) out = PutPacket(out, interfaceId, micros, p.errorIdWord, 0, 0, p.errorData, 8);
  return out;
}

}  // namespace

RecordKind CTxtCvtPcapng::NextRecord(RecordCursor& cursor) {
  return dtconv::NextRecord(cursor, kFrameRule);
}

RecordKind CTxtCvtPcapng::FirstRecord(RecordCursor& cursor) {
  return dtconv::FirstRecord(cursor, kFrameRule);
}

void ConvertPcapng(CTxtCvtPcapng& cv, const MonitorData& data, ConverterContext& context) {
  cv.Bind(data, context, false, context.timeStampStyle);
  WriteSectionHeader(*cv.output);
  WriteInterface(*cv.output, data, 1);
  WriteInterface(*cv.output, data, 2);
  if (data.recordCount == 0) return;

  // Bit 1: frames of line 1 are kept, bit 2: those of line 2 (the kind is the line number).
  unsigned keepLines = (context.signalLine != 2 ? 2u : 0u) | (context.signalLine != 1 ? 4u : 0u);
  RecordCursor cursor = cv.StartCursor();
  CanFrame frame;
  TextOutput& out = *cv.output;
  auto base =
      static_cast<uint64_t>(CaptureMicroseconds(cv.timeBaseSeconds, cv.timeBaseNanoseconds, 0));
  // The walk itself rather than the virtual NextRecord: it is inlined into this loop. Blocks go
  // into the writer's buffer a batch at a time, each batch ended while a further frame's two
  // blocks still fit.
  RecordKind kind = dtconv::FirstRecord(cursor, kFrameRule);
  while (kind != kKindEnd && out.result().ok()) {
    uint8_t* start = out.BeginBytes(kBatchRoom);
    uint8_t* last = start + kBatchRoom - 2 * kMaxBlock;
    uint8_t* p = start;
    do {
      // The interface of line 1 is 0, that of line 2 is 1.
      if ((keepLines >> kind) & 1) {
        p = PutFramePackets(p, base, cursor, static_cast<uint32_t>(kind) - 1, frame);
      }
      kind = dtconv::NextRecord(cursor, kFrameRule);
    } while (kind != kKindEnd && p <= last);
    out.EndBytes(p);
  }
}

}  // namespace dtconv
