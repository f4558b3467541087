// Writes one of the end-to-end tests' captures: write_capture NAME FILE [COUNT].
#include <cstdio>
#include <cstdlib>
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

// `count` classic frames of eight bytes, alternating between the lines, 100 us apart.
CaptureBuilder Frames(long count) {
  CaptureBuilder b;
  b.timeBaseSeconds = 1792886400;
  for (long i = 0; i < count; ++i) {
    dtconv::test::FrameSpec f;
    f.line = 1 + static_cast<int>(i % 2);
    f.timestamp = static_cast<uint64_t>(i) * 100;
    f.dlc = 8;
    f.id = static_cast<uint32_t>(0x100 + i % 0x400);
    f.data = {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 2, 3, 4, 5, 6, 7};
    b.Frame(f);
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "frames") == 0) {
    Frames(std::strtol(argv[3], nullptr, 10)).WriteTo(argv[2]);
    return 0;
  }
  if (argc != 3) {
    std::fprintf(stderr, "usage: write_capture track FILE | write_capture frames FILE COUNT\n");
    return 2;
  }
  if (std::strcmp(argv[1], "track") == 0) {
    Track().WriteTo(argv[2]);
    return 0;
  }
  std::fprintf(stderr, "unknown capture %s\n", argv[1]);
  return 2;
}
