// --ids, --from and --to through the conversion job: whole outputs of every kind of converter
// against golden files.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "capture_builder.h"
#include "run_converter.h"
#include "test_files.h"

namespace dtconv {
namespace {

using test::CaptureBuilder;
using test::Counting;

// Both lines; an analog sample and a fix before the window (1.5 s to 3 s) and after its start;
// listed frames, a listed frame's neighbours, a trigger mark on a frame not listed, error frames,
// a frame of unknown format and markers inside and outside the window.
CaptureBuilder Capture() {
  CaptureBuilder b;
  b.analogPort = 1;
  b.analogSetup = test::Bytes(36, 0);
  b.Analog({.timestamp = 500000, .words = {0x0004E000, 0xFFFB2000}});
  b.Fix({.timestamp = 600000,
         .satellites = 7,
         .utc = {2026, 12, 6, 9, 30, 0},
         .latitude = 356812345,
         .longitude = 1397671234,
         .altitudeMm = 40500,
         .errorCm = 250});
  b.Frame({.timestamp = 1000000, .format = 1, .dlc = 2, .id = 0x100, .data = {1, 2}});
  b.Marker(0x81, 1200000);
  b.Frame({.timestamp = 1500000, .format = 1, .dlc = 8, .id = 0x123, .data = Counting(8, 0x10)});
  b.Frame({.line = 2,
           .timestamp = 1600000,
           .format = 3,
           .trigger = true,
           .dlc = 3,
           .id = 0x18DAF110,
           .data = {0xAA, 0xBB, 0xCC}});
  b.Frame({.timestamp = 1700000, .format = 1, .trigger = true, .dlc = 1, .id = 0x7E8, .data = {9}});
  b.Frame({.timestamp = 1800000, .format = 5, .status = 4});
  b.Frame({.line = 2, .timestamp = 1850000, .format = 3, .dlc = 1, .id = 0x123, .data = {7}});
  b.Marker(0x81, 1900000);
  b.Frame({.line = 2, .timestamp = 2000000, .format = 9, .dlc = 1, .id = 0x124, .data = {5}});
  b.Frame({.line = 2,
           .timestamp = 2100000,
           .format = 17,
           .fdFlags = 0x10,
           .dlc = 9,
           .id = 0x1FF,
           .data = Counting(12, 0x40)});
  b.Analog({.timestamp = 2200000, .words = {0x7FFFFF, 0x800000}});
  b.Fix({.timestamp = 2300000, .satellites = 8, .utc = {2026, 12, 6, 9, 30, 2}, .quality = 1});
  b.Marker(0x80, 2400000);
  b.Frame({.timestamp = 2500000, .format = 1, .status = 2, .dlc = 1, .id = 0x200, .data = {3}});
  b.Frame({.timestamp = 3000000, .format = 1, .dlc = 1, .id = 0x123, .data = {4}});
  b.Marker(0x81, 3100000);
  return b;
}

struct Case {
  const char* name;  // the golden file in tests/golden/selection/
  int32_t type;
  int32_t style;
  uint32_t options;
  const char* ids;
  const char* from;
  const char* to;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Selection : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override { test::SetTimeZone("UTC"); }
};

TEST_P(Selection, MatchesWholeOutput) {
  const Case& c = GetParam();
  CvtSettings s = test::SettingsFor(c.type, c.style, c.options);
  std::string error;
  ASSERT_TRUE(ParseIdList(c.ids, &s.selection.ids, &error) || *c.ids == '\0') << error;
  for (auto [text, bound] : {std::pair{c.from, &s.selection.from}, {c.to, &s.selection.to}}) {
    if (*text != '\0') {
      ASSERT_TRUE(ParseTimeBound(text, bound, &error)) << error;
    }
  }
  test::RunResult r = test::RunConversion(Capture().Build(), s);
  EXPECT_EQ(r.result, 0u);
  EXPECT_EQ(test::CompareGolden(std::string("selection/") + c.name, r.bytes), "");
}

constexpr uint32_t kExtras = kOptAddAnalog | kOptAddGnss;
constexpr uint32_t kAll = kExtras | kOptRelTimeStamp | kOptDiffTimeStamp;

INSTANTIATE_TEST_SUITE_P(
    All, Selection,
    ::testing::ValuesIn(std::vector<Case>{
        {"can_ids.csv", kCvtCanCsv, 8, kExtras, "0x100-0x1FF,x:0x18DAF110", "", ""},
        {"can_window.csv", kCvtCanCsv, 7, kAll, "", "1.5", "3"},
        {"can_window_ids.csv", kCvtCanCsv, 9, kOptDiffTimeStamp, "s:123,200", "09:30:01.6", ""},
        {"can_window_delta.txt", kCvtCanText, 0, 0, "", "1.5", "09:30:03"},
        {"can_ids.log", kCvtCanCandump, 0, 0, "0x123,0x1FF", "", "2.2"},
        {"can_ids.asc", kCvtCanAsc, 0, 0, "x:0-0x1FFFFFFF", "1", ""},
        {"analog_window.csv", kCvtAnalogCsv, 9, kOptAddGnss, "0x7E8", "2", ""},
        {"analog_window.txt", kCvtAnalogText, 2, 0, "", "", "1"},
        {"gnss_window.csv", kCvtGnssCsv, 10, 0, "", "1", ""},
        {"gnss_window.kml", kCvtGnssKml, 0, 0, "", "", "09:30:01"},
    }),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& ch : name) ch = ch == '.' ? '_' : ch;
      return name;
    });

}  // namespace
}  // namespace dtconv
