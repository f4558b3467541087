// A sample capture whose frames samples/vehicle.dbc decodes, for the signal tables' worked
// example: five seconds of a car pulling away, with the on-board analog inputs and GNSS fixes.
#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>

#include "capture_builder.h"
#include "samples.h"

namespace dtconv::samples {

namespace {

using test::Bytes;
using test::CaptureBuilder;
using test::FrameSpec;

// Puts the low `length` bits of `raw` into a frame as a DBC signal starting at `start`: @1
// (little-endian, `start` its least significant bit) or @0 (big-endian, `start` its most
// significant bit, counting on through the next byte's bit 7).
void Pack(Bytes& data, int start, int length, bool bigEndian, uint64_t raw) {
  int position = start;
  for (int i = 0; i < length; ++i) {
    int bit = bigEndian ? length - 1 - i : i;
    if ((raw >> bit) & 1) {
      data[static_cast<size_t>(position / 8)] |= static_cast<uint8_t>(1u << (position % 8));
    }
    if (!bigEndian) {
      ++position;
    } else {
      position = position % 8 == 0 ? position + 15 : position - 1;
    }
  }
}

uint64_t Scaled(double value, double factor, double offset) {
  return static_cast<uint64_t>(std::llround((value - offset) / factor));
}

void AddFrame(CaptureBuilder& b, int line, uint64_t t, uint32_t id, const Bytes& data,
              bool extended = false) {
  bool fd = data.size() > 8;
  FrameSpec s;
  s.line = line;
  s.typeNibble = static_cast<uint8_t>(line);
  s.timestamp = t;
  s.format = fd ? 17 : extended ? 3 : 1;
  s.fdFlags = fd ? 0x10 : 0;  // BRS
  s.dlc = fd ? 15 : static_cast<uint8_t>(data.size());
  s.id = id;
  s.data = data;
  b.Frame(s);
}

// The engine runs up from idle while the car pulls away; the brake is let go after a second.
void AddVehicleFrames(CaptureBuilder& b, uint32_t ms, uint64_t t) {
  double s = ms / 1000.0;
  double speed = s < 1 ? 0 : 9.5 * (s - 1) * (s - 1) / 4 + 2.1 * (s - 1);  // km/h
  if (ms % 10 == 0) {
    Bytes d(8, 0);
    Pack(d, 0, 16, false, Scaled(820 + 380 * s + 40 * std::sin(s * 7), 0.25, 0));  // rpm
    Pack(d, 16, 8, false, Scaled(84 + s / 2, 1, -40));                             // °C
    Pack(d, 24, 8, false, Scaled(s < 1 ? 0 : 12 + 6 * s, 0.4, 0));                 // %
    Pack(d, 39, 12, true, Scaled(2.1 + 0.3 * s, 0.01, 0));                         // bar
    AddFrame(b, 1, t, 0x100, d);
  }
  if (ms % 20 == 4) {
    Bytes d(8, 0);
    for (int w = 0; w < 4; ++w) {
      Pack(d, 7 + 16 * w, 16, true, Scaled(speed * (1 + 0.002 * w), 0.01, 0));
    }
    AddFrame(b, 1, t + 200, 0x200, d);
  }
  if (ms % 50 == 9) {
    // BrakeStatus on both lines: the chassis bus and its copy on the trailer line.
    Bytes d(4, 0);
    bool pressed = s < 1.2;
    Pack(d, 0, 1, false, pressed ? 1 : 0);
    Pack(d, 8, 16, false, Scaled(pressed ? 35.5 : -0.3, 0.1, 0) & 0xFFFF);
    Pack(d, 24, 8, false, Scaled(60 + 4 * s, 5, -50));
    AddFrame(b, 1, t + 300, 0x300, d);
    if (ms % 100 == 9) AddFrame(b, 2, t + 900, 0x300, d);
  }
  if (ms % 100 == 17) {
    Bytes d(8, 0);
    int gear = s < 1 ? 0 : s < 2.5 ? 1 : 2;
    Pack(d, 0, 4, false, static_cast<uint64_t>(gear) & 0xF);
    Pack(d, 8, 32, false,
         static_cast<uint32_t>(static_cast<int32_t>(gear == 0 ? -12 : 180 - 30 * s)));
    AddFrame(b, 2, t + 100, 0x18FF0300, d, true);
  }
  if (ms % 250 == 33) {
    // The two pages of diagnostics in turn.
    Bytes d(8, 0);
    bool battery = ms % 500 == 33;
    Pack(d, 0, 8, false, battery ? 1 : 2);
    if (battery) {
      Pack(d, 8, 16, false, Scaled(13.8 + 0.05 * std::sin(s), 0.001, 0));
    } else {
      Pack(d, 8, 16, false, Scaled(-3.5 + 0.25 * s, 0.0625, 0) & 0xFFFF);
      Pack(d, 24, 8, false, ms / 1000);
    }
    AddFrame(b, 2, t + 500, 0x400, d);
  }
  if (ms % 20 == 12) {
    Bytes d(64, 0);
    Pack(d, 0, 32, false, std::bit_cast<uint32_t>(static_cast<float>(1.5 * std::sin(s))));
    Pack(d, 32, 32, false, std::bit_cast<uint32_t>(static_cast<float>(0.8 + 0.1 * s)));
    Pack(d, 64, 16, false, Scaled(-12.5 + 5 * std::sin(s * 2), 0.1, 0) & 0xFFFF);
    AddFrame(b, 2, t + 700, 0x500, d);
  }
}

CaptureBuilder Vehicle() {
  CaptureBuilder b;
  b.serial = "CA0042017";
  b.start = {2026, 12, 6, 9, 30, 0};
  b.stop = {2026, 12, 6, 9, 30, 5};
  b.timeBaseSeconds = 1796549400;
  b.timeBaseNanoseconds = 0;
  b.analogPort = 1;
  b.analogSetup = Bytes(36, 0);
  for (uint32_t ms = 0; ms < 5000; ++ms) {
    uint64_t t = static_cast<uint64_t>(ms) * 1000;
    AddVehicleFrames(b, ms, t);
    if (ms % 100 == 50) {  // AI1: the accelerator pedal sensor, AI2 a steady reference
      test::AnalogSpec a;
      a.timestamp = t + 5;
      a.words[0] = static_cast<uint32_t>(std::lround(ms * 200.0)) & 0xFFFFFF;
      a.words[1] = 0x200000;
      b.Analog(a);
    }
    if (ms % 1000 == 500) {
      test::FixSpec f;
      f.timestamp = t + 2;
      f.satellites = 9;
      f.utc = {2026, 12, 6, 9, 30, static_cast<int>(ms / 1000)};
      f.latitude = 356543210 + static_cast<int32_t>(ms * ms / 4000);
      f.longitude = 1397012345;
      f.altitudeMm = 38250;
      f.errorCm = 180;
      b.Fix(f);
    }
  }
  return b;
}

}  // namespace

void WriteSignalSamples(const std::filesystem::path& dir) {
  Vehicle().WriteTo(dir / "vehicle_signals.DT");
}

}  // namespace dtconv::samples
