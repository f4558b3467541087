// The signal tables through the conversion job: whole outputs against golden files.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "capture_builder.h"
#include "case_table.h"
#include "platform/platform.h"
#include "platform/unicode.h"
#include "run_converter.h"
#include "signals/cvt_signals.h"
#include "test_files.h"

namespace dtconv::signals {
namespace {

using dtconv::test::Bytes;
using dtconv::test::CaptureBuilder;
using dtconv::test::Counting;
using dtconv::test::FrameSpec;

// A float's bytes, little-endian.
Bytes Le32(uint32_t bits) {
  return {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
          static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
}

// Hybrid (29-bit 0x18FF50E5) of a page, its byte 1 and its Current (an IEEE single).
FrameSpec Hybrid(int line, uint64_t t, uint8_t page, uint8_t cell, uint32_t current) {
  Bytes d = {page, cell, 0x0E, 0x00};
  for (uint8_t b : Le32(current)) d.push_back(b);
  return {.line = line, .timestamp = t, .format = 3, .dlc = 8, .id = 0x18FF50E5, .data = d};
}

// Frames of data/tables.dbc (both lines) and data/trailer.dbc (CH2): Engine on both lines and in
// a short frame, Hybrid's multiplexed pages (one on CH2), two messages named BrakeStatus, frames
// no database knows, a remote and an error frame, analog samples and fixes between them.
CaptureBuilder Capture() {
  CaptureBuilder b;
  b.analogPort = 1;
  b.analogSetup = Bytes(36, 0);
  auto engine = [&](int line, uint64_t t, Bytes data, uint8_t format = 1) {
    uint8_t dlc = static_cast<uint8_t>(format == 17 ? 9 : data.size());
    b.Frame(
        {.line = line, .timestamp = t, .format = format, .dlc = dlc, .id = 0x123, .data = data});
  };
  b.Analog({.timestamp = 500, .words = {0x0004E000, 0xFFFB2000}});
  b.Fix({.timestamp = 600,
         .satellites = 7,
         .utc = {2026, 12, 6, 9, 30, 0},
         .latitude = 356812345,
         .longitude = 1397671234,
         .altitudeMm = 40500,
         .errorCm = 250});
  engine(1, 1000, {0x10, 0x27, 0x7B, 0x01, 0x03, 0xE8, 0x18, 0xFC});
  engine(2, 2000, {0x00, 0x00, 0xD8, 0x02, 0x00, 0x00, 0x00, 0x00});
  b.Frame(Hybrid(1, 2500, 1, 0x10, 0x41480000));  // 12.5 A
  engine(1, 3000, {0x20, 0x03, 0x50, 0x03});      // short: no Pressure, no Flow
  b.Frame({.line = 2, .timestamp = 3500, .format = 1, .dlc = 2, .id = 0x310, .data = {0x01, 0x20}});
  b.Frame(Hybrid(1, 4000, 2, 0xF6, 0xBDCCCCCD));  // -0.1 A
  b.Frame({.timestamp = 4500, .format = 1, .dlc = 1, .id = 0x311, .data = {0x55}});
  b.Frame({.timestamp = 5000, .format = 1, .dlc = 8, .id = 0x7FF, .data = Bytes(8, 0xFF)});
  b.Frame({.timestamp = 5200, .format = 2, .dlc = 8, .id = 0x123});
  b.Frame({.timestamp = 5400, .format = 5, .status = 4});
  b.Analog({.timestamp = 5600, .words = {0x7FFFFF, 0x800000}});
  b.Fix({.timestamp = 5800, .satellites = 8, .utc = {2026, 12, 6, 9, 30, 1}, .quality = 1});
  engine(1, 6000, {0xFF, 0xFF, 0x00, 0x04, 0xFF, 0xFF, 0xFF, 0x7F});
  b.Frame(Hybrid(2, 6500, 3, 0x00, 0x7FC00000));  // page 3 selects no cell; Current NaN
  engine(1, 7000, {0x01, 0x00, 0x28, 0x05, 0x00, 0x01, 0x01, 0x00});
  b.Frame({.line = 2, .timestamp = 7500, .format = 1, .dlc = 1, .id = 0x320, .data = {0x0B}});
  engine(1, 8000, {0x02, 0x00, 0x29, 0x07, 0x00, 0x02, 0x00, 0x80});
  engine(1, 8500, Counting(12, 0x30), 17);  // CAN FD, longer than the message
  return b;
}

std::shared_ptr<const SignalSetup> Setup(const std::string& list) {
  auto setup = std::make_shared<SignalSetup>();
  std::string error;
  EXPECT_TRUE(setup->databases.Load(test::DataPath("tables.dbc"), kBothLines, &error)) << error;
  EXPECT_TRUE(setup->databases.Load(test::DataPath("trailer.dbc"), kLine2, &error)) << error;
  EXPECT_TRUE(setup->selection.Select(setup->databases, list, &error)) << error;
  return setup;
}

struct Case {
  const char* name;  // the golden file in tests/golden/signals/
  int32_t type;
  int32_t style;
  uint32_t options = 0;
  uint32_t outputBits = kOutUtf8 | kOutCrLf;
  std::u16string delimiter = u",";
  int32_t line = 0;
  const char* signals = "";
  const char* ids = "";
  const char* from = "";
  const char* to = "";
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

CvtSettings SettingsOf(const Case& c) {
  CvtSettings s =
      dtconv::test::SettingsFor(c.type, c.style, c.options, c.outputBits, c.delimiter, c.line);
  std::string error;
  bool ok = (*c.ids == '\0' || ParseIdList(c.ids, &s.selection.ids, &error)) &&
            (*c.from == '\0' || ParseTimeBound(c.from, &s.selection.from, &error)) &&
            (*c.to == '\0' || ParseTimeBound(c.to, &s.selection.to, &error));
  EXPECT_TRUE(ok) << error;
  s.signals = Setup(c.signals);
  return s;
}

std::string Convert(const CvtSettings& s) {
  dtconv::test::RunResult r = dtconv::test::RunConversion(Capture().Build(), s);
  EXPECT_EQ(r.result, 0u);
  return r.bytes;
}

class Tables : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override { dtconv::test::SetTimeZone("UTC"); }
};

TEST_P(Tables, MatchWholeOutput) {
  const Case& c = GetParam();
  EXPECT_EQ(dtconv::test::CompareGolden(std::string("signals/") + c.name, Convert(SettingsOf(c))),
            "");
}

constexpr uint32_t kExtras = kOptAddAnalog | kOptAddGnss;
constexpr uint32_t kTimes = kOptRelTimeStamp | kOptDiffTimeStamp;

const Case kWideExtras = {"wide_extras.csv",   kCvtSignalsCsv, 9, kExtras | kTimes,
                          kOutUtf8 | kOutCrLf, u",",           0, "Engine.*,Cell*,Pedal"};

INSTANTIATE_TEST_SUITE_P(All, Tables,
                         ::testing::ValuesIn(std::vector<Case>{
                             {"wide_all.csv", kCvtSignalsCsv, 7},
                             kWideExtras,
                             {"wide_ch1_ids_window.csv", kCvtSignalsCsv, 8, kOptDiffTimeStamp,
                              kOutUtf8 | kOutLf, u";", 1, "", "0x123,x:0x18FF50E5", "0.002",
                              "09:30:00.008"},
                             {"long_all.csv", kCvtSignalsLong, 7, kOptDiffTimeStamp | kExtras},
                             {"long_point_delimiter.csv", kCvtSignalsLong, 9, 0,
                              kOutUtf8 | kOutCrLf, u".", 0, "Speed,Current,Mode,Hybrid.Page"},
                             {"long_ids_window.csv", kCvtSignalsLong, 8, kOptRelTimeStamp,
                              kOutUtf8 | kOutCrLf, u"\t", 0, "", "0x100-0x3FF", "0.0045", "0.0075"},
                         }),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& ch : name) ch = ch == '.' ? '_' : ch;
                           return name;
                         });

// The system's code page: the UTF-8 table with every database text (and nothing else) as the
// platform narrows it.
TEST(Tables, AnsiOutputIsTheUtf8OutputInTheCodePage) {
  dtconv::test::SetTimeZone("UTC");
  Case ansi = kWideExtras;
  ansi.outputBits = kOutCrLf;
  std::string utf8 = Convert(SettingsOf(kWideExtras));
  EXPECT_EQ(Convert(SettingsOf(ansi)), platform::NarrowText(platform::Utf8ToUtf16(utf8), false));
  EXPECT_NE(utf8.find("Engine.Temp[\xC2\xB0"
                      "C]"),
            std::string::npos);
}

}  // namespace
}  // namespace dtconv::signals
