// Writes one of the end-to-end tests' captures: write_capture NAME FILE.
#include <cstdio>
#include <cstring>
#include <string>

#include "capture_builder.h"

using dtconv::test::CaptureBuilder;
using dtconv::test::FixSpec;

namespace {

// Five fixes one second apart: invalid, time only, then three usable ones whose coordinates
// the test knows: latitude 35.6543210 + k * 0.001, longitude 139.7012345 - k * 0.002,
// altitude 12.345 + k metres, for k = 0, 1, 2.
CaptureBuilder Track() {
  CaptureBuilder b;
  b.timeBaseSeconds = 1792886400;  // 2026-10-25 00:00:00 UTC, summer time ends in Europe at 01:00
  b.timeBaseNanoseconds = 999999000;
  for (int s = 0; s < 5; ++s) {
    FixSpec f;
    f.timestamp = static_cast<uint64_t>(s) * 1800000000ull + 1;  // every half hour
    f.quality = s == 0 ? 0 : s == 1 ? 1 : 2;
    int k = s - 2;
    f.latitude = 356543210 + k * 10000;
    f.longitude = 1397012345 - k * 20000;
    f.altitudeMm = 12345 + k * 1000;
    f.satellites = 9;
    f.errorCm = 150;
    f.utc = {2026, 10, 25, s / 2, (s % 2) * 30, 1};
    b.Fix(f);
  }
  b.Marker(0x80, 9000000000ull);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: write_capture track FILE\n");
    return 2;
  }
  if (std::strcmp(argv[1], "track") == 0) {
    Track().WriteTo(argv[2]);
    return 0;
  }
  std::fprintf(stderr, "unknown capture %s\n", argv[1]);
  return 2;
}
