// Writes a PCAP file for the tshark check: "frames" converts a capture with every kind of frame,
// markers, analog samples and GNSS fixes between them; "empty" a capture without records.
#include <cstdio>
#include <cstring>
#include <fstream>

#include "can/cvt_pcap.h"
#include "capture_builder.h"
#include "run_converter.h"

namespace {

using dtconv::test::Bytes;
using dtconv::test::CaptureBuilder;

using dtconv::test::Counting;

// Keep in step with the expectations of pcap_tshark_test.py.
CaptureBuilder Frames() {
  CaptureBuilder b;
  b.timeBaseNanoseconds = 123456789;
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
  b.Frame({.timestamp = 4600000, .format = 5, .status = 0});  // no packet
  CaptureBuilder fd;
  fd.Frame({.timestamp = 4700000, .format = 17, .dlc = 11, .id = 0x7E0, .data = Counting(20, 0)});
  b.Raw(fd.records()[0]);  // its continuation record is missing: no packet
  b.Marker(0x80, 4800000);
  b.Frame(
      {.line = 2, .timestamp = 5000000, .format = 1, .dlc = 2, .id = 0x5, .data = {0x12, 0x34}});
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "frames") != 0 && std::strcmp(argv[1], "empty") != 0)) {
    std::fprintf(stderr, "usage: write_pcap_helper frames|empty OUTPUT\n");
    return 2;
  }
  CaptureBuilder b = std::strcmp(argv[1], "frames") == 0 ? Frames() : CaptureBuilder{};
  auto r =
      dtconv::test::RunConverter(b.Build(), dtconv::test::SettingsFor(dtconv::kCvtCanPcap),
                                 [](const dtconv::MonitorData& d, dtconv::ConverterContext& c) {
                                   dtconv::CTxtCvtPcap cv;
                                   dtconv::ConvertPcap(cv, d, c);
                                 });
  if (r.result != 0) {
    std::fprintf(stderr, "conversion failed: 0x%08X\n", r.result.code());
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(r.bytes.data(), static_cast<std::streamsize>(r.bytes.size()));
  return out ? 0 : 1;
}
