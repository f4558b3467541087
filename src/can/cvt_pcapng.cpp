#include "can/cvt_pcapng.h"

#include <cstddef>
#include <string_view>

#include "can/can_frame.h"
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

// One block under construction, little-endian. Its size is bounded by the largest block written
// here: an interface description with two short texts, or a packet of 8 + 64 bytes.
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
  void Be32(uint32_t v) {
    for (int i = 3; i >= 0; --i) U8(static_cast<uint8_t>(v >> (8 * i)));
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

// An Enhanced Packet Block holding one SocketCAN packet: the 8-byte header and the data.
void WritePacket(TextOutput& out, uint32_t interfaceId, int64_t micros, uint32_t idWord,
                 uint8_t fdFlags, uint8_t byte7, const uint8_t* payload, int count) {
  Block b(kEnhancedPacketBlock);
  auto units = static_cast<uint64_t>(micros);
  b.U32(interfaceId);
  b.U32(static_cast<uint32_t>(units >> 32));
  b.U32(static_cast<uint32_t>(units));
  b.U32(static_cast<uint32_t>(8 + count));
  b.U32(static_cast<uint32_t>(8 + count));
  b.Be32(idWord);
  b.U8(static_cast<uint8_t>(count));
  b.U8(fdFlags);
  b.U8(0);
  b.U8(byte7);
  b.Bytes(payload, static_cast<size_t>(count));
  b.Pad();
  b.Finish();
  b.WriteTo(out);
}

void WriteFrame(CTxtCvtPcapng& cv, const RecordCursor& cursor, uint32_t interfaceId) {
  CanFrame f;
  if (!AssembleFrame(cursor, f)) return;
  int64_t micros =
      CaptureMicroseconds(cv.timeBaseSeconds, cv.timeBaseNanoseconds, cursor.Current().Timestamp());
  SocketCanPackets p = ToSocketCan(f);
  TextOutput& out = *cv.output;
  if (p.hasFrame) {
    const SocketCanFrame& s = p.frame;
    WritePacket(out, interfaceId, micros, s.idWord, s.fdFlags, s.dlc, s.data, s.length);
  }
  if (p.hasError) WritePacket(out, interfaceId, micros, p.error.idWord, 0, 0, p.error.data, 8);
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

  bool keepCh1 = context.signalLine != 2;
  bool keepCh2 = context.signalLine != 1;
  RecordCursor cursor = cv.StartCursor();
  for (RecordKind kind = cv.FirstRecord(cursor); kind != kKindEnd; kind = cv.NextRecord(cursor)) {
    if (kind == kKindCh1Frame && keepCh1) WriteFrame(cv, cursor, 0);
    if (kind == kKindCh2Frame && keepCh2) WriteFrame(cv, cursor, 1);
    if (cv.output->result() != 0) break;
  }
}

}  // namespace dtconv
