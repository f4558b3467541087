// Writes one of the end-to-end tests' captures: write_capture NAME FILE [COUNT].
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "capture_builder.h"

using dtconv::test::Bytes;
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

using dtconv::test::Counting;

// Frames of every kind on both lines with markers, analog samples and GNSS fixes between them.
// Keep in step with FRAMES in can_logs_test.py.
CaptureBuilder CanFrames() {
  CaptureBuilder b;
  b.timeBaseSeconds = 1796549400;  // 2026-12-06 09:30:00.250 UTC
  b.timeBaseNanoseconds = 250000000;
  b.can[1] = {250000, 5000000, 80, 70, true};
  b.Frame({.timestamp = 1000000, .format = 1, .dlc = 8, .id = 0x123, .data = Counting(8, 1)});
  b.Analog({.timestamp = 1000100});
  b.Frame({.line = 2,
           .timestamp = 1900000,
           .format = 3,
           .dlc = 3,
           .id = 0x18DAF110,
           .data = {0xAA, 0xBB, 0xCC}});
  b.Frame({.timestamp = 2000000, .format = 2, .dlc = 4, .id = 0x7FF});
  b.Marker(0x81, 2000001);
  b.Frame({.line = 2, .timestamp = 2000002, .format = 4, .dlc = 0, .id = 0x1ABCDEF});
  b.Frame({.timestamp = 2500000,
           .format = 17,
           .fdFlags = 0x10,
           .dlc = 15,
           .id = 0x0AB,
           .fc = 0x12345,
           .data = Counting(64, 0x40)});
  b.Fix({.timestamp = 2600000, .satellites = 5, .utc = {2026, 12, 6, 9, 30, 2}});
  b.Frame({.line = 2,
           .timestamp = 3000000,
           .format = 35,
           .fdFlags = 0x60,
           .dlc = 9,
           .id = 0x1234567,
           .data = Counting(12, 0xA0)});
  b.Frame({.timestamp = 3000500,
           .format = 33,
           .fdFlags = 0x20,
           .dlc = 10,
           .id = 0x321,
           .data = Counting(16, 0x10)});
  b.Frame({.line = 2, .timestamp = 3100000, .format = 17, .dlc = 0, .id = 0x0F0});
  b.Frame({.timestamp = 3200000, .format = 1, .dlc = 9, .id = 0x456, .data = Counting(8, 0x30)});
  b.Frame({.timestamp = 4000000,
           .format = 1,
           .status = 3,
           .dlc = 8,
           .id = 0x100,
           .data = Counting(8, 0x20)});
  b.Frame({.timestamp = 4100000, .format = 5, .status = 1});
  b.Frame({.line = 2, .timestamp = 4200000, .format = 21, .status = 2});
  b.Frame({.timestamp = 4300000, .format = 37, .status = 4});
  b.Frame({.timestamp = 4400000, .format = 5, .status = 5});
  b.Frame({.line = 2, .timestamp = 4500000, .format = 5, .status = 6});
  b.Frame({.timestamp = 4600000, .format = 5, .status = 0});  // nothing
  CaptureBuilder fd;
  fd.Frame({.timestamp = 4700000, .format = 17, .dlc = 11, .id = 0x7E0, .data = Counting(20, 0)});
  b.Raw(fd.records()[0]);  // its continuation record is missing: nothing
  b.Marker(0x80, 4800000);
  b.Frame(
      {.line = 2, .timestamp = 5000000, .format = 1, .dlc = 2, .id = 0x5, .data = {0x12, 0x34}});
  b.Frame({.line = 2,
           .timestamp = 12345678901,
           .format = 3,
           .dlc = 1,
           .id = 0x1FFFFFFF,
           .data = {0xFF}});
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

// A capture whose recorder left its identity, clock times and bit rates unrecorded, with a time
// base just before 1970 whose nanoseconds carry past it.
CaptureBuilder Unrecorded() {
  CaptureBuilder b;
  b.model = 0;
  b.firmware = 0;
  b.serial = "";
  b.start = {};
  b.stop = {};
  b.can[0] = {0, 0, 80, 75, false};
  b.can[1].dataBitRate = 0;
  b.timeBaseSeconds = -1;
  b.timeBaseNanoseconds = 1500000000;
  return b;
}

// A capture of a format this program does not read.
CaptureBuilder Rejected() {
  CaptureBuilder b;
  b.formatCode = 30;
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "frames") == 0) {
    Frames(std::strtol(argv[3], nullptr, 10)).WriteTo(argv[2]);
    return 0;
  }
  if (argc == 5 && std::strcmp(argv[1], "time_base") == 0) {
    CaptureBuilder b;
    b.timeBaseSeconds = std::strtoll(argv[3], nullptr, 10);
    b.timeBaseNanoseconds = std::strtoll(argv[4], nullptr, 10);
    b.WriteTo(argv[2]);
    return 0;
  }
  if (argc != 3) {
    std::fprintf(
        stderr,
        "usage: write_capture track|can_frames|unrecorded|rejected FILE | write_capture frames "
        "FILE COUNT\n");
    return 2;
  }
  if (std::strcmp(argv[1], "track") == 0) {
    Track().WriteTo(argv[2]);
    return 0;
  }
  if (std::strcmp(argv[1], "can_frames") == 0) {
    CanFrames().WriteTo(argv[2]);
    return 0;
  }
  if (std::strcmp(argv[1], "unrecorded") == 0) {
    Unrecorded().WriteTo(argv[2]);
    return 0;
  }
  if (std::strcmp(argv[1], "rejected") == 0) {
    Rejected().WriteTo(argv[2]);
    return 0;
  }
  std::fprintf(stderr, "unknown capture %s\n", argv[1]);
  return 2;
}
