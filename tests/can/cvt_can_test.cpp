// The CAN text and CSV converter: whole outputs against golden files, for every timestamp style
// and option, and the frames and records that need special handling.
#include "can/cvt_can.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "capture_builder.h"
#include "run_converter.h"
#include "test_files.h"

namespace dtconv {
namespace {

using test::Bytes;
using test::CaptureBuilder;
using test::Counting;
using test::FixSpec;
using test::FrameSpec;

// A head record whose continuation records are left out.
Bytes HeadOnly(const FrameSpec& f) {
  CaptureBuilder b;
  b.Frame(f);
  return b.records()[0];
}

// Both lines with every frame class, status and flag, markers, analog samples and GNSS fixes
// between them, and a frame whose continuation record is missing.
CaptureBuilder Mixed() {
  CaptureBuilder b;
  b.can[1] = {250000, 5000000, 80, 70, true};
  b.Frame({.timestamp = 1000000,
           .format = 1,
           .dlc = 8,
           .id = 0x123,
           .fc = 0x1A2B,
           .data = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}});
  b.Frame({.line = 2,
           .timestamp = 1000250,
           .format = 3,
           .trigger = true,
           .status = 3,
           .dlc = 9,
           .id = 0x18DAF110,
           .fc = 0xBEEF,
           .data = Counting(8, 0xF0)});
  b.Analog({.timestamp = 1000300, .words = {1, 2, 3, 4}});
  b.Frame({.timestamp = 1002000, .format = 2, .dlc = 4, .id = 0x7FF, .fc = 0x0042});
  b.Frame(
      {.line = 2, .timestamp = 1002500, .format = 4, .status = 1, .id = 0x1FFFFFFF, .fc = 0x1234});
  b.Frame({.timestamp = 1010000, .format = 5, .status = 4, .dlc = 3, .id = 0x55, .fc = 0x9999});
  b.Marker(0x81, 1010500);
  b.Fix({.timestamp = 1011000, .satellites = 7, .utc = {2026, 12, 6, 9, 30, 1}});
  b.Frame({.timestamp = 1500000,
           .format = 17,
           .fdFlags = 0x10,
           .dlc = 15,
           .id = 0x0AB,
           .fc = 0x123456,
           .data = Counting(64, 0x40)});
  b.Frame({.line = 2,
           .typeNibble = 3,
           .timestamp = 1500800,
           .format = 35,
           .fdFlags = 0x60,
           .dlc = 9,
           .id = 0x00ABCDEF,
           .fc = 0x0FEDCB,
           .data = Counting(12, 0xA0)});
  b.Frame({.timestamp = 2000000,
           .format = 33,
           .status = 2,
           .fdFlags = 0x20,
           .dlc = 13,
           .id = 0x100,
           .fc = 0x00000A,
           .data = Counting(32, 0x00)});
  b.Marker(0x80, 2100000);
  b.Frame({.line = 2,
           .timestamp = 2250000,
           .format = 19,
           .fdFlags = 0x10,
           .dlc = 14,
           .id = 0x1,
           .fc = 0xABCDEF,
           .data = Counting(48, 0x80)});
  b.Frame({.timestamp = 3000000,
           .format = 9,
           .trigger = true,
           .status = 2,
           .dlc = 8,
           .id = 0x333,
           .fc = 0x4444,
           .data = Counting(8)});
  b.Frame({.line = 2,
           .timestamp = 3000001,
           .format = 1,
           .status = 7,
           .dlc = 2,
           .id = 0xFFFFF800,
           .fc = 0x0102,
           .data = {0xDE, 0xAD}});
  b.Raw(
      HeadOnly({.timestamp = 3500000, .format = 17, .dlc = 11, .id = 0x7E0, .data = Counting(20)}));
  b.Analog({.timestamp = 3500100});
  b.Frame({.timestamp = 3600000,
           .format = 3,
           .status = 5,
           .dlc = 15,
           .id = 0xABC,
           .fc = 0xFFFF,
           .data = Counting(8, 0x10)});
  b.Frame({.line = 2,
           .timestamp = 90061000500,
           .format = 1,
           .status = 6,
           .dlc = 1,
           .id = 0x001,
           .fc = 0x0001,
           .data = {0x5A}});
  b.Frame({.timestamp = 200000000000, .format = 1, .dlc = 0, .id = 0x000});
  return b;
}

// The eight-channel XP-HV pod: frames before the first analog sample and GNSS fix, between them
// and after them, markers, a fix without a position, and a sample whose continuation is missing.
CaptureBuilder AnalogAndGnss() {
  CaptureBuilder b;
  b.analogPort = 2;
  b.analogSetup = Bytes(36, 0);
  for (int ch = 0; ch < 8; ++ch) b.analogSetup[4 + 4 * ch] = static_cast<uint8_t>(ch % 7);
  b.Frame({.timestamp = 100, .format = 1, .dlc = 1, .id = 0x10, .data = {1}});
  b.Marker(0x81, 150);
  b.Analog(
      {.timestamp = 200,
       .referenceTemp = 2512,
       .words = {0x100000, 0xF00000, 0x7FFFFF, 0x800000, 0x000001, 0x080000, 0x040000, 0xFC0000},
       .eightChannels = true});
  b.Frame({.timestamp = 300, .format = 1, .dlc = 1, .id = 0x11, .data = {2}});
  b.Fix({.timestamp = 400,
         .satellites = 9,
         .utc = {2026, 12, 6, 9, 30, 0},
         .quality = 2,
         .latitude = 356812345,
         .longitude = 1397671234,
         .altitudeMm = 40500,
         .errorCm = 250});
  b.Frame({.line = 2, .timestamp = 500, .format = 3, .dlc = 2, .id = 0x1000, .data = {3, 4}});
  b.Marker(0x80, 550);
  // Channels 1-4 change, channels 5-8 cannot be read: the rows keep showing values.
  b.Analog(
      {.timestamp = 600, .words = {0x200000, 0, 0, 0, 0x111111, 0x111111, 0x111111, 0x111111}});
  b.Fix({.timestamp = 700, .satellites = 0, .utc = {2026, 12, 6, 9, 30, 0}, .quality = 1});
  b.Frame({.timestamp = 800,
           .format = 17,
           .fdFlags = 0x30,
           .dlc = 9,
           .id = 0x12,
           .data = Counting(12)});
  return b;
}

// Samples of eight channels need the continuation record and a head that announces it.
CaptureBuilder AnalogContinuation() {
  CaptureBuilder b;
  b.analogPort = 2;
  test::AnalogSpec sample{
      .timestamp = 10, .words = {0x100000, 0, 0, 0, 0x100000, 0, 0, 0x1}, .eightChannels = true};
  CaptureBuilder whole;
  whole.Analog(sample);
  Bytes head = whole.records()[0];
  head[1] = 0x80;  // no continuation announced, though one follows
  b.Raw(head).Raw(whole.records()[1]);
  b.Frame({.timestamp = 20, .format = 1, .dlc = 1, .id = 0x1, .data = {1}});
  sample.timestamp = 30;
  b.Analog(sample);
  b.Frame({.timestamp = 40, .format = 1, .dlc = 1, .id = 0x2, .data = {2}});
  return b;
}

// The two on-board inputs: samples without continuation records.
CaptureBuilder AnalogTwoChannels() {
  CaptureBuilder b;
  b.analogPort = 1;
  b.analogSetup = Bytes(36, 0);
  b.analogSetup[3] = 1;  // AI2 -12V - +12V
  b.Frame({.timestamp = 10, .format = 1, .dlc = 1, .id = 0x1, .data = {1}});
  b.Analog({.timestamp = 20, .words = {0x0004E000, 0xFFFB2000, 0x7FFFFF, 0x7FFFFF}});
  b.Frame({.timestamp = 30, .format = 1, .dlc = 1, .id = 0x2, .data = {2}});
  b.Frame({.timestamp = 40, .format = 1, .dlc = 1, .id = 0x3, .data = {3}});
  return b;
}

// Frames on both lines, CH2 frames between CH1 frames.
CaptureBuilder TwoLines() {
  CaptureBuilder b;
  b.Frame({.line = 1, .timestamp = 1000, .format = 1, .dlc = 1, .id = 0x101, .data = {1}});
  b.Frame({.line = 2, .timestamp = 1500, .format = 1, .dlc = 1, .id = 0x201, .data = {2}});
  b.Frame({.line = 2, .timestamp = 1700, .format = 1, .dlc = 1, .id = 0x202, .data = {3}});
  b.Frame({.line = 1, .timestamp = 2000, .format = 1, .dlc = 1, .id = 0x102, .data = {4}});
  b.Marker(0x81, 2100);
  b.Frame({.line = 2, .timestamp = 2600, .format = 1, .dlc = 1, .id = 0x203, .data = {5}});
  b.Frame({.line = 1, .timestamp = 3000, .format = 1, .dlc = 1, .id = 0x103, .data = {6}});
  return b;
}

CaptureBuilder RecordingKind16() {
  CaptureBuilder b;
  b.recordingKind = 16;
  b.Frame({.timestamp = 5, .format = 1, .dlc = 1, .id = 0x1, .data = {1}});
  return b;
}

CaptureBuilder RecordingKind4() {
  CaptureBuilder b = RecordingKind16();
  b.recordingKind = 4;
  b.can[0] = {1000000, 8000000, 75, 80, true};
  b.can[1] = {125000, 0, 87, 0, false};
  return b;
}

CaptureBuilder Empty() { return CaptureBuilder{}; }

CaptureBuilder OnlyAnalog() {
  CaptureBuilder b;
  b.Analog({.timestamp = 1}).Analog({.timestamp = 2});
  return b;
}

void ConvertWith(CTxtCvtCAN& cv, const Bytes& capture, const CvtSettings& settings,
                 test::RunResult* out) {
  *out = test::RunConverter(
      capture, settings, [&](const MonitorData& d, ConverterContext& c) { ConvertCan(cv, d, c); });
}

std::string Convert(const CaptureBuilder& b, const CvtSettings& settings) {
  CTxtCvtCAN cv;
  test::RunResult r;
  ConvertWith(cv, b.Build(), settings, &r);
  EXPECT_EQ(r.result, 0u);
  return r.bytes;
}

constexpr uint32_t kAll = kOptRelTimeStamp | kOptDiffTimeStamp | kOptAddAnalog | kOptAddGnss;
constexpr uint32_t kUtf8CrLf = kOutUtf8 | kOutCrLf;

struct GoldenCase {
  const char* name;
  std::function<CaptureBuilder()> capture;
  int32_t type;
  int32_t style;
  uint32_t options = 0;
  uint32_t outputBits = kOutCrLf;
  std::u16string delimiter = u",";
  int32_t signalLine = 0;
};

void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.name; }

class CanGolden : public ::testing::TestWithParam<GoldenCase> {
 protected:
  void SetUp() override { test::SetTimeZone("UTC"); }
};

TEST_P(CanGolden, MatchesWholeOutput) {
  const GoldenCase& p = GetParam();
  std::string out = Convert(p.capture(), test::SettingsFor(p.type, p.style, p.options, p.outputBits,
                                                           p.delimiter, p.signalLine));
  EXPECT_EQ(test::CompareGolden(std::string("can/") + p.name + ".txt", out), "");
}

INSTANTIATE_TEST_SUITE_P(Text, CanGolden,
                         ::testing::ValuesIn(std::vector<GoldenCase>{
                             {"text_style0", Mixed, kCvtCanText, 0},
                             {"text_style1", Mixed, kCvtCanText, 1},
                             {"text_style2", Mixed, kCvtCanText, 2},
                             {"text_style3", Mixed, kCvtCanText, 3},
                             {"text_style4", Mixed, kCvtCanText, 4},
                             {"text_style5", Mixed, kCvtCanText, 5},
                             {"text_style6", Mixed, kCvtCanText, 6},
                             {"text_ch1_only_style0", TwoLines, kCvtCanText, 0, 0, kOutCrLf, u",",
                              1},
                             {"text_ch2_only_style0", TwoLines, kCvtCanText, 0, 0, kOutLf, u",", 2},
                             {"text_recording_kind16", RecordingKind16, kCvtCanText, 2},
                             {"text_recording_kind4", RecordingKind4, kCvtCanText, 2},
                             {"text_empty", Empty, kCvtCanText, 2},
                             {"text_only_analog", OnlyAnalog, kCvtCanText, 2},
                         }),
                         [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Csv, CanGolden,
    ::testing::ValuesIn(std::vector<GoldenCase>{
        {"csv_style7", Mixed, kCvtCanCsv, 7},
        {"csv_style8", Mixed, kCvtCanCsv, 8},
        {"csv_style9", Mixed, kCvtCanCsv, 9},
        {"csv_style7_utf8_elapsed_diff", Mixed, kCvtCanCsv, 7, kOptRelTimeStamp | kOptDiffTimeStamp,
         kUtf8CrLf},
        {"csv_style9_diff_tab_lf", Mixed, kCvtCanCsv, 9, kOptDiffTimeStamp, kOutLf, u"\t"},
        {"csv_style8_gnss", Mixed, kCvtCanCsv, 8, kOptAddGnss},
        {"csv_style8_analog_gnss", AnalogAndGnss, kCvtCanCsv, 8, kOptAddAnalog | kOptAddGnss},
        {"csv_style7_all_options", AnalogAndGnss, kCvtCanCsv, 7, kAll, kUtf8CrLf},
        {"csv_style9_analog", AnalogAndGnss, kCvtCanCsv, 9, kOptAddAnalog},
        {"csv_style9_analog_continuation", AnalogContinuation, kCvtCanCsv, 9, kOptAddAnalog},
        {"csv_style9_analog_two_channels", AnalogTwoChannels, kCvtCanCsv, 9, kOptAddAnalog},
        {"csv_ch1_only_diff", TwoLines, kCvtCanCsv, 9, kOptDiffTimeStamp, kOutCrLf, u",", 1},
        {"csv_ch2_only_diff", TwoLines, kCvtCanCsv, 8, kOptDiffTimeStamp, kOutCrLf, u";", 2},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CanCsv, EmptyCaptureAndPassedOverRecordsWriteNothing) {
  EXPECT_EQ(Convert(Empty(), test::SettingsFor(kCvtCanCsv, 7, kAll)), "");
  EXPECT_EQ(Convert(OnlyAnalog(), test::SettingsFor(kCvtCanCsv, 7)), "");
}

// Option bits mean nothing in text reports.
TEST(CanText, IgnoresTheCsvOptions) {
  test::SetTimeZone("UTC");
  EXPECT_EQ(Convert(AnalogAndGnss(), test::SettingsFor(kCvtCanText, 2, kAll)),
            Convert(AnalogAndGnss(), test::SettingsFor(kCvtCanText, 2)));
}

// One converter object serves every file of a job: nothing of an earlier file shows.
TEST(CanCsv, EachFileStartsAfresh) {
  test::SetTimeZone("UTC");
  CvtSettings settings = test::SettingsFor(kCvtCanCsv, 7, kAll);
  CaptureBuilder second;
  second.analogPort = 2;
  second.Frame({.timestamp = 50, .format = 1, .dlc = 1, .id = 0x1, .data = {1}});
  CTxtCvtCAN cv;
  test::RunResult first, reused;
  ConvertWith(cv, AnalogAndGnss().Build(), settings, &first);
  ConvertWith(cv, second.Build(), settings, &reused);
  EXPECT_EQ(reused.bytes, Convert(second, settings));
  EXPECT_NE(reused.bytes.find("--------"), std::string::npos);  // no difference yet
}

}  // namespace
}  // namespace dtconv
