// A sample capture of both CAN lines, for trying the CAN converters and for the documentation.
#include <cstdint>
#include <filesystem>

#include "capture_builder.h"
#include "samples.h"

namespace dtconv::samples {

namespace {

using test::Bytes;
using test::CaptureBuilder;
using test::FrameSpec;

// Frame format codes of the recorder.
constexpr uint8_t kData11 = 1, kRemote11 = 2, kData29 = 3, kRemote29 = 4, kError = 5;
constexpr uint8_t kFd11 = 17, kFd29 = 19;

// The CAN FD DLC of a payload length (lengths are always one of the FD sizes here).
uint8_t FdDlc(size_t n) {
  static constexpr size_t kSizes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
  for (uint8_t d = 0; d < 16; ++d) {
    if (kSizes[d] >= n) return d;
  }
  return 15;
}

// A plausible check value; the recorder stores whatever was on the bus.
uint32_t CheckValue(uint32_t id, const Bytes& data, bool fd) {
  uint32_t h = 0x1D0F ^ id;
  for (uint8_t b : data) h = (h * 31 + b) & 0x1FFFFF;
  return fd ? h & 0x1FFFFF : h & 0x7FFF;
}

struct Frame {
  int line = 1;
  uint64_t t = 0;
  uint8_t format = kData11;
  uint32_t id = 0;
  Bytes data = {};
  uint8_t status = 0;
  bool trigger = false;
  bool brs = false, esi = false;
  uint8_t dlc = 0xFF;  // 0xFF: from the data
};

void Add(CaptureBuilder& b, const Frame& f) {
  FrameSpec s;
  s.line = f.line;
  s.typeNibble = static_cast<uint8_t>(f.line == 1 ? 0x1 : 0x2);
  s.timestamp = f.t;
  s.format = f.format;
  s.trigger = f.trigger;
  s.status = f.status;
  bool fd = f.format == kFd11 || f.format == kFd29;
  int shift = f.format == kFd29 ? 5 : 4;  // BRS/ESI sit one bit higher with 29-bit identifiers
  s.fdFlags = static_cast<uint8_t>((f.brs ? 1 << shift : 0) | (f.esi ? 2 << shift : 0));
  s.dlc = f.dlc != 0xFF ? f.dlc : fd ? FdDlc(f.data.size()) : static_cast<uint8_t>(f.data.size());
  s.id = f.id;
  s.fc = CheckValue(f.id, f.data, fd);
  s.data = f.data;
  b.Frame(s);
}

Bytes Payload(size_t n, uint32_t seed) {
  Bytes d(n);
  for (size_t i = 0; i < n; ++i)
    d[i] = static_cast<uint8_t>((seed * 13 + i * 7 + (seed >> 3)) & 0xFF);
  return d;
}

// Five seconds of a powertrain bus on CH1 (500 kbit/s, CAN FD data phase 2 Mbit/s) and a
// diagnostic bus on CH2 (non-ISO CAN FD, 250 kbit/s and 4 Mbit/s): periodic classic and CAN FD
// frames with 11- and 29-bit identifiers, diagnostic requests and responses, remote frames, error
// frames of every status, trigger marks, an overrun and a lost-data gap, and the two on-board
// analog inputs every 100 ms and a GNSS fix every second between the frames.
CaptureBuilder TwoLines() {
  CaptureBuilder b;
  b.serial = "CA0042017";
  b.start = {2026, 12, 6, 9, 30, 0};
  b.stop = {2026, 12, 6, 9, 30, 6};
  b.timeBaseSeconds = 1796549400;
  b.timeBaseNanoseconds = 250000000;
  b.can[0] = {500000, 2000000, 80, 75, false};
  b.can[1] = {250000, 4000000, 80, 70, true};
  b.analogPort = 1;
  b.analogSetup = Bytes(36, 0);
  b.analogSetup[2] = 0;  // AI1 -5V - +5V
  b.analogSetup[3] = 1;  // AI2 -12V - +12V

  for (uint32_t ms = 0; ms < 5000; ++ms) {
    uint64_t t = static_cast<uint64_t>(ms) * 1000 + 120;
    if (ms >= 3200 && ms < 3260) continue;  // records lost in this gap
    if (ms == 3260) b.Marker(0x80, t - 100);
    if (ms % 10 == 0) {  // engine speed and torque
      uint16_t rpm = static_cast<uint16_t>(3200 + (ms % 2000));
      Add(b, {.t = t,
              .id = 0x0C9,
              .data = {static_cast<uint8_t>(rpm >> 8), static_cast<uint8_t>(rpm), 0x3C, 0x00, 0x12,
                       static_cast<uint8_t>(ms / 10), 0x00, 0x80}});
    }
    if (ms % 20 == 5) {
      Add(b, {.t = t + 40, .id = 0x1F5, .data = Payload(6, ms)});
    }
    if (ms % 50 == 7) {  // CAN FD status block
      Add(b, {.t = t + 75, .format = kFd11, .id = 0x2A0, .data = Payload(64, ms), .brs = true});
    }
    if (ms % 100 == 13) {  // J1939-style 29-bit message
      Add(b, {.t = t + 10, .format = kData29, .id = 0x18FEF100, .data = Payload(8, ms)});
    }
    if (ms % 250 == 31) {  // diagnostic request and CAN FD response on CH2
      Add(b, {.line = 2, .t = t, .id = 0x7E0, .data = {0x02, 0x10, 0x03, 0, 0, 0, 0, 0}});
      size_t n = ms % 500 == 31 ? 12 : 48;
      Add(b, {.line = 2,
              .t = t + 900,
              .format = kFd29,
              .id = 0x18DAF110,
              .data = Payload(n, ms),
              .brs = true,
              .esi = ms % 1000 == 281});
    }
    if (ms % 400 == 57) {  // remote requests
      Add(b, {.line = 2, .t = t + 300, .format = kRemote11, .id = 0x3FF, .dlc = 4});
      Add(b, {.line = 2, .t = t + 600, .format = kRemote29, .id = 0x1ABCDE0, .dlc = 8});
    }
    if (ms % 100 == 50) {  // analog inputs: slow sawtooths from 2.5 V and from -5 V
      test::AnalogSpec a;
      a.timestamp = t + 5;
      a.words[0] = static_cast<uint32_t>(798720 + (ms % 300) * 1000) & 0xFFFFFF;
      a.words[1] = static_cast<uint32_t>(-1597440 + static_cast<int>(ms % 700) * 900) & 0xFFFFFF;
      b.Analog(a);
    }
    if (ms % 1000 == 500) {
      test::FixSpec f;
      f.timestamp = t + 2;
      f.satellites = static_cast<uint8_t>(8 + ms / 1000);
      f.utc = {2026, 12, 6, 9, 30, static_cast<int>(ms / 1000)};
      f.quality = ms < 1000 ? 1 : 2;
      f.latitude = 356543210 + static_cast<int32_t>(ms) * 9;
      f.longitude = 1397012345 + static_cast<int32_t>(ms) * 11;
      f.altitudeMm = 38250;
      f.errorCm = 240;
      b.Fix(f);
    }
    switch (ms) {  // bus errors and marked frames
      case 700:
        Add(b, {.t = t + 500, .format = kError, .status = 1});
        break;
      case 1234:
        Add(b, {.line = 2, .t = t + 500, .format = kError, .status = 2});
        break;
      case 1600:
        Add(b, {.t = t + 500, .id = 0x0C9, .data = Payload(8, 9), .status = 3, .trigger = true});
        break;
      case 2100:
        Add(b, {.t = t + 500, .format = 21, .status = 4});
        break;
      case 2500:
        Add(b, {.line = 2, .t = t + 500, .format = 37, .status = 5});
        break;
      case 2900:
        Add(b, {.t = t + 500, .format = kError, .status = 6});
        break;
      case 4000:
        b.Marker(0x81, t + 500);
        break;
      case 4321:
        Add(b, {.line = 2,
                .t = t + 500,
                .id = 0x7E8,
                .data = {0x06, 0x50, 0x03, 0x00, 0x32, 0x01, 0xF4, 0xAA},
                .trigger = true});
        break;
      default:
        break;
    }
  }
  return b;
}

}  // namespace

void WriteCanSamples(const std::filesystem::path& dir) {
  TwoLines().WriteTo(dir / "can_two_lines.DT");
}

}  // namespace dtconv::samples
