// Writes the sample captures that `make demo` converts. Every capture is built with the same
// capture builder the tests use, so the samples are reproducible byte for byte.
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "capture_builder.h"
#include "samples.h"

namespace dtconv::samples {

namespace {

// A GNSS drive of about four minutes around a loop, one fix a second, with a lost-data gap, a
// cold start (invalid, then time only) and a stretch of differential fixes.
void WriteGnssDrive(const std::filesystem::path& dir) {
  test::CaptureBuilder b;
  b.serial = "CA0042017";
  b.start = {2026, 12, 6, 9, 30, 0};
  b.stop = {2026, 12, 6, 9, 34, 10};
  b.timeBaseSeconds = 1796549400;
  b.timeBaseNanoseconds = 125000000;
  for (int s = 0; s < 250; ++s) {
    test::FixSpec f;
    f.timestamp = static_cast<uint64_t>(s) * 1000000 + 4000;
    f.utc = {2026, 12, 6, 9, 30 + s / 60, s % 60};
    f.quality = s < 3 ? 0 : s < 6 ? 1 : (s >= 120 && s < 180) ? 3 : 2;
    double a = s * 0.025;
    f.latitude = static_cast<int32_t>(356543210 + 40000 * std::sin(a));
    f.longitude = static_cast<int32_t>(1397012345 + 52000 * (1 - std::cos(a)));
    f.altitudeMm = 38000 + static_cast<int32_t>(2500 * std::sin(a / 2));
    f.errorCm = static_cast<uint16_t>(f.quality == 3 ? 80 : 250 + (s % 7) * 10);
    f.satellites = static_cast<uint8_t>(f.quality >= 2 ? 8 + s % 5 : 0);
    if (s == 200) {
      b.Marker(0x80, f.timestamp - 500000);
      continue;  // the fix of this second was lost
    }
    b.Fix(f);
  }
  b.WriteTo(dir / "gnss_drive.DT");
}

}  // namespace
}  // namespace dtconv::samples

int main(int argc, char** argv) {
  std::filesystem::path dir = argc > 1 ? argv[1] : "samples";
  std::filesystem::create_directories(dir);
  dtconv::samples::WriteGnssDrive(dir);
  dtconv::samples::WriteAnalogSamples(dir);
  dtconv::samples::WriteCanSamples(dir);
  dtconv::samples::WriteSignalSamples(dir);
  std::printf("samples written to %s\n", dir.string().c_str());
  return 0;
}
