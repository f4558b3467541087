// Analog text report and CSV table: whole outputs of every front end against golden files, and
// the row shape of every CSV table.
#include "analog/cvt_ana.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "analog/analog_row.h"
#include "analog/thermocouple.h"
#include "capture_builder.h"
#include "run_converter.h"
#include "test_files.h"

namespace dtconv {
namespace {

using test::AnalogSpec;
using test::Bytes;
using test::Calibration;
using test::CaptureBuilder;

// A 24-bit raw word of a signed count.
uint32_t Raw(int32_t counts) { return static_cast<uint32_t>(counts) & 0xFFFFFF; }

AnalogSpec Sample(uint64_t t, std::vector<uint32_t> words, int16_t referenceTemp = 0,
                  uint8_t type = 0x30) {
  AnalogSpec a;
  a.timestamp = t;
  a.type = type;
  a.referenceTemp = referenceTemp;
  for (size_t i = 0; i < words.size(); ++i) a.words[i] = words[i];
  a.eightChannels = words.size() > 4;
  return a;
}

Calibration Cal(int32_t zero, int32_t plus, int32_t minus, int32_t reference) {
  Calibration c;
  c.valid = true;
  c.zero = zero;
  c.plus = plus;
  c.minus = minus;
  c.referenceMicrovolts = reference;
  return c;
}

test::FixSpec Fix(uint64_t t) {
  test::FixSpec f;
  f.timestamp = t;
  f.satellites = 9;
  f.utc = {2026, 12, 6, 9, 30, 1};
  f.latitude = 356543210;
  f.longitude = 1397012345;
  f.altitudeMm = 12345;
  f.errorCm = 250;
  return f;
}

// On-board BNC inputs, nominal scaling: channel 1 on +-5 V, channel 2 on +-12 V, 1 Mohm, 500 us.
// Readings: 1.2345 V and -3.5 V; both beyond their range; zero and a raw -1 with a set upper byte;
// -1 V and +10 V. Overrun and lost-data markers, a CAN overrun, a frame and a GNSS fix between.
CaptureBuilder OnBoardBnc() {
  CaptureBuilder b;
  b.analogPort = 1;
  b.analogSetup = Bytes(36, 0);
  b.analogSetup[2] = 0;
  b.analogSetup[3] = 1;
  b.analogSetup[4] = 0;
  b.analogSetup[16] = 16;
  b.Analog(Sample(0, {Raw(394408), Raw(-559104)}));
  b.Analog(Sample(500, {0x7FFFFF, 0x800000}));
  b.Marker(kRecordAnalogOverrun, 750);
  b.Analog(Sample(1000, {0, 0x12FFFFFF}, 0, 0x31));
  b.Marker(kRecordLostData, 1250);
  b.Marker(kRecordCanOverrun, 1300);
  test::FrameSpec frame;
  frame.timestamp = 1350;
  frame.dlc = 2;
  frame.data = {1, 2};
  b.Frame(frame);
  b.Fix(Fix(1400));
  b.Analog(Sample(1001500, {Raw(-319488), Raw(1597440)}, 0, 0x32));
  return b;
}

// On-board CAN connector, calibrated: channel 1 on +-2.5 V with 650 000 / 645 000 counts per volt
// around a zero of 1000; channel 2 on +-24 V whose calibration has plus equal to zero (nominal).
CaptureBuilder OnBoardCan() {
  CaptureBuilder b;
  b.analogPort = 1;
  b.analogSetup = Bytes(36, 0);
  b.analogSetup[1] = 1;
  b.analogSetup[2] = 2;
  b.analogSetup[3] = 3;
  b.analogSetup[4] = 1;
  b.analogSetup[16] = 3;
  b.calibration = {Cal(1000, 1301000, -1289000, 2000000), Cal(500, 500, -100000, 1000000)};
  b.Analog(Sample(20000, {Raw(651000), Raw(798720)}));
  b.Analog(Sample(30000, {Raw(-644000), Raw(-798720)}));
  b.Analog(Sample(530000, {Raw(3000000), Raw(1000)}));
  return b;
}

// XP-HV, 10 us: eight channels on every range and an unknown code, channel 1 calibrated at
// 100 000 counts per volt. Half scale on every channel; then samples whose continuation is
// missing, has the wrong sequence number or lies beyond the last record, which give no line.
CaptureBuilder HighVoltage() {
  CaptureBuilder b;
  b.analogPort = 2;
  b.analogSetup = Bytes(36, 0);
  b.analogSetup[0] = 24;
  for (int i = 0; i < 8; ++i) b.analogSetup[4 + 4 * i] = static_cast<uint8_t>(i);
  b.calibration = {Cal(0, 100000, -100000, 1000000)};
  std::vector<uint32_t> half(8, Raw(4194304)), minusHalf(8, Raw(-4194304));
  b.Analog(Sample(1000000, half));
  AnalogSpec noContinuation = Sample(2000000, minusHalf);
  noContinuation.eightChannels = false;
  b.Analog(noContinuation);
  b.Raw(test::HeadRecord(0x30, 1, 3000000));
  Bytes wrongSequence(32, 0);
  wrongSequence[0] = 0x30;
  wrongSequence[1] = 2;
  b.Raw(wrongSequence);
  b.Analog(Sample(4000000, minusHalf));
  b.Raw(test::HeadRecord(0x30, 1, 5000000));
  return b;
}

// XP-TC, 1 s, six channels in use: +-10 V, +-100 mV, 0-20 mA (250 ohm) calibrated with its zero
// at 5000, type K with compensation, type J with burnout detection, type code 9 (as K) without
// compensation or burnout detection. Reference junction at 25.00 degC, then -10.00 degC.
CaptureBuilder Thermo() {
  CaptureBuilder b;
  b.analogPort = 3;
  b.analogSetup = Bytes(68, 0);
  b.analogSetup[0] = 6;
  b.analogSetup[1] = 9;
  const uint8_t channels[8][4] = {{1, 0, 0, 0}, {3, 0, 0, 0}, {4, 0, 0, 0}, {6, 0, 0, 1},
                                  {6, 1, 1, 0}, {6, 9, 0, 0}, {5, 0, 0, 0}, {2, 0, 0, 0}};
  for (int i = 0; i < 8; ++i) {
    b.analogSetup[4 + 8 * i] = channels[i][0];
    b.analogSetup[8 + 8 * i] = channels[i][1];
    b.analogSetup[9 + 8 * i] = channels[i][2];
    b.analogSetup[10 + 8 * i] = channels[i][3];
  }
  b.calibration = {{}, {}, Cal(5000, 843861, -833861, 1000000)};
  // 4.096 mV (K at 100 degC), 5.269 mV (J at 100 degC), open thermocouple, 82.5 mV.
  uint32_t k100 = Raw(343597), j100 = Raw(441996), open = 0x7FFFFF, mv82 = Raw(6920602);
  b.Analog(Sample(0, {Raw(4194304), Raw(4194304), Raw(2102152), k100, open, k100, 0, 0}, 2500));
  b.Analog(Sample(1000000, {Raw(-4194304), Raw(-838861), Raw(4000), 0, j100, mv82, 0, 0}, 2500));
  b.Analog(Sample(2000000, {0x800000, 0x800000, Raw(-2000), Raw(-100), 0, 0, 0, 0}, -1000));
  return b;
}

// XP-TC whose channel count byte says 9: eight channels (+-1 V) at most.
CaptureBuilder ThermoCount(uint8_t count) {
  CaptureBuilder b;
  b.analogPort = 3;
  b.analogSetup = Bytes(68, 0);
  b.analogSetup[0] = count;
  b.analogSetup[1] = 77;
  for (int i = 0; i < 8; ++i) b.analogSetup[4 + 8 * i] = 2;
  std::vector<uint32_t> words;
  for (int i = 0; i < 8; ++i) words.push_back(Raw(838861 * (i + 1) / 10));
  if (count <= 4) words.resize(4);
  b.Analog(Sample(0, words));
  return b;
}

// No analog front end: samples give rows of their time only.
CaptureBuilder NoFrontEnd() {
  CaptureBuilder b;
  b.analogPort = 0;
  b.Analog(Sample(0, {1, 2}));
  b.Analog(Sample(250000, {3, 4}));
  return b;
}

CaptureBuilder OnlyMarkers() {
  CaptureBuilder b = OnBoardBnc();
  CaptureBuilder m;
  m.analogPort = b.analogPort;
  m.analogSetup = b.analogSetup;
  m.Marker(kRecordAnalogOverrun, 10).Marker(kRecordLostData, 20).Marker(kRecordCanOverrun, 30);
  return m;
}

CaptureBuilder NothingReportable() {
  CaptureBuilder b = OnlyMarkers();
  CaptureBuilder n;
  n.analogPort = b.analogPort;
  n.analogSetup = b.analogSetup;
  n.Marker(kRecordCanOverrun, 30);
  n.Fix(Fix(40));
  return n;
}

CaptureBuilder NoRecords() {
  CaptureBuilder b = OnBoardCan();
  CaptureBuilder n;
  n.analogPort = b.analogPort;
  n.analogSetup = b.analogSetup;
  n.model = 0x12001;
  return n;
}

constexpr uint32_t kAnsi = 3, kUtf8 = 0x57, kUtf8Bom = 0x5F, kLf = 1;

struct GoldenCase {
  const char* golden;
  std::function<CaptureBuilder()> capture;
  int32_t type;
  int32_t style;
  uint32_t options;
  uint32_t bits;
  std::u16string delimiter;
};

std::string Convert(const GoldenCase& c) {
  test::SetTimeZone("UTC");
  auto r = test::RunConverter(c.capture().Build(),
                              test::SettingsFor(c.type, c.style, c.options, c.bits, c.delimiter),
                              [](const MonitorData& d, ConverterContext& ctx) {
                                CTxtCvtANA cv;
                                ConvertAnalog(cv, d, ctx);
                              });
  EXPECT_EQ(r.result, 0u);
  return r.bytes;
}

std::vector<std::string> SplitLines(const std::string& text, const std::string& eol) {
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = text.find(eol, at)) != std::string::npos; at = end + eol.size()) {
    lines.push_back(text.substr(at, end - at));
  }
  EXPECT_EQ(at, text.size()) << "the last line has no line end";
  return lines;
}

size_t Count(const std::string& line, const std::string& delimiter) {
  size_t n = 0;
  for (size_t at = line.find(delimiter); at != std::string::npos;
       at = line.find(delimiter, at + delimiter.size())) {
    ++n;
  }
  return n;
}

const std::vector<GoldenCase>& Cases() {
  static const std::vector<GoldenCase> cases = {
      {"onboard_bnc.txt", OnBoardBnc, kCvtAnalogText, 2, 0, kAnsi, u","},
      {"onboard_bnc_ansi.csv", OnBoardBnc, kCvtAnalogCsv, 7, 0, kAnsi, u","},
      {"onboard_bnc_utf8.csv", OnBoardBnc, kCvtAnalogCsv, 7, 0, kUtf8, u","},
      {"onboard_bnc_bom_gnss.csv", OnBoardBnc, kCvtAnalogCsv, 8, kOptRelTimeStamp | kOptAddGnss,
       kUtf8Bom, u";"},
      {"onboard_can.txt", OnBoardCan, kCvtAnalogText, 0, 0, kAnsi, u","},
      {"onboard_can.csv", OnBoardCan, kCvtAnalogCsv, 9, 0, kAnsi, u","},
      {"xphv.txt", HighVoltage, kCvtAnalogText, 3, 0, kLf, u","},
      {"xphv_utf8.csv", HighVoltage, kCvtAnalogCsv, 9, 0, kUtf8, u"\t"},
      {"xptc.txt", Thermo, kCvtAnalogText, 4, 0, kAnsi, u","},
      {"xptc_ansi.csv", Thermo, kCvtAnalogCsv, 8, 0, kAnsi, u","},
      {"xptc_utf8.csv", Thermo, kCvtAnalogCsv, 9, kOptRelTimeStamp, kUtf8, u","},
      {"xptc_count9.txt", [] { return ThermoCount(9); }, kCvtAnalogText, 5, 0, kAnsi, u","},
      {"xptc_count9.csv", [] { return ThermoCount(9); }, kCvtAnalogCsv, 9, 0, kAnsi, u","},
      {"xptc_count3.txt", [] { return ThermoCount(3); }, kCvtAnalogText, 6, 0, kAnsi, u","},
      {"no_front_end.txt", NoFrontEnd, kCvtAnalogText, 1, 0, kAnsi, u","},
      {"no_front_end.csv", NoFrontEnd, kCvtAnalogCsv, 7, 0, kAnsi, u","},
      {"only_markers.txt", OnlyMarkers, kCvtAnalogText, 2, 0, kAnsi, u","},
      {"only_markers.csv", OnlyMarkers, kCvtAnalogCsv, 7, 0, kAnsi, u","},
      {"nothing_reportable.txt", NothingReportable, kCvtAnalogText, 2, 0, kAnsi, u","},
      {"only_gnss.csv", NothingReportable, kCvtAnalogCsv, 9, kOptAddGnss, kAnsi, u","},
      {"no_records.txt", NoRecords, kCvtAnalogText, 2, 0, kAnsi, u","},
      {"no_records.csv", NoRecords, kCvtAnalogCsv, 2, 0, kAnsi, u","},
  };
  return cases;
}

class AnalogGolden : public testing::TestWithParam<GoldenCase> {};

TEST_P(AnalogGolden, WholeOutput) {
  std::string out = Convert(GetParam());
  EXPECT_EQ(test::CompareGolden(std::string("analog/") + GetParam().golden, out), "");
}

INSTANTIATE_TEST_SUITE_P(Reports, AnalogGolden, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<GoldenCase>& i) {
                           std::string name = i.param.golden;
                           for (char& ch : name) {
                             if (ch == '.') ch = '_';
                           }
                           return name;
                         });

// Every CSV data row has as many cells as the title row that follows the settings rows.
TEST(AnalogCsv, RowsHaveTheTitleRowsCellCount) {
  for (const GoldenCase& c : Cases()) {
    if (c.type != kCvtAnalogCsv) continue;
    std::string out = Convert(c);
    std::string eol = (c.bits & 3) == kLf ? "\n" : (c.bits & 3) == 2 ? "\r" : "\r\n";
    std::string delimiter = c.delimiter == u"\t" ? "\t" : c.delimiter == u";" ? ";" : ",";
    std::vector<std::string> lines = SplitLines(out, eol);
    size_t title = 0;
    while (title < lines.size() && lines[title].find("Date(YYYY/MM/DD)") == std::string::npos) {
      ++title;
    }
    if (title == lines.size()) continue;  // nothing reportable: no table
    size_t cells = Count(lines[title], delimiter);
    for (size_t i = title + 1; i < lines.size(); ++i) {
      EXPECT_EQ(Count(lines[i], delimiter), cells) << c.golden << " row " << i + 1;
    }
  }
}

// The cells of one sample in both forms, each after its separator.
TEST(AnalogRow, CellForms) {
  MonitorData d = test::ParseCapture(OnBoardBnc());
  uint8_t words[32] = {};
  StoreU32(words, Raw(394408));
  StoreU32(words + 4, Raw(-559104));
  for (bool csv : {false, true}) {
    AnalogState state;
    SetupChannelScales(d, csv, state);
    AnalogRow row(state, text::Delimiter(csv ? "," : " "));
    char cells[256];
    EXPECT_EQ(std::string(cells, row.Put(cells, {words, words + 16, 0})),
              csv ? ",1.23450,-3.5000" : " +1.2345 -03.500");
  }
}

// Rows of eight plain channels go through the vector kernel: the same bytes as the scalar row,
// for random readings and for readings whose values lie exactly halfway between two texts (the
// -1V - +1V range reads 2^-23 V a count: 2^18 counts are 0.03125 V, halfway at the text's four
// decimals, 2^17 counts halfway at the CSV's five).
TEST(AnalogRow, VectorAndScalarRowsAgree) {
  CaptureBuilder b;
  b.analogPort = 2;
  b.analogSetup = Bytes(36, 0);
  for (int ch = 0; ch < 8; ++ch) b.analogSetup[4 + 4 * ch] = static_cast<uint8_t>(ch % 7);
  b.calibration = std::vector<Calibration>(8);
  b.calibration[3] = Cal(-1200, 8300000, -8400000, 1000000);
  b.Marker(0x80, 0);
  MonitorData d = test::ParseCapture(b);
  uint64_t state = 12345;
  auto next = [&] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state >> 32);
  };
  for (bool csv : {false, true}) {
    AnalogState scales;
    SetupChannelScales(d, csv, scales);
    text::Delimiter delimiter(csv ? ";" : " ");
    AnalogRow vector(scales, delimiter, true), scalar(scales, delimiter, false);
    for (int i = 0; i < 20000; ++i) {
      uint8_t words[32];
      for (int ch = 0; ch < 8; ++ch) {
        uint32_t word = next();
        if (i % 4 == 1) word = (word & 1) != 0 ? 1u << 18 : 1u << 17;
        if (i % 4 == 2) word = (0u - (1u << (17 + (word & 1)))) & 0xFFFFFF;
        StoreU32(words + 4 * ch, word);
      }
      char a[512], s[512];
      AnalogSample sample{words, words + 16, 0};
      ASSERT_EQ(std::string(a, vector.Put(a, sample)), std::string(s, scalar.Put(s, sample)))
          << "csv " << csv << " row " << i;
    }
  }
}

// Thermocouple cells use the sample's reference-junction temperature plus a correction per
// channel (0.35 degC on channel 1 down to 0 on channel 8), summed in 16 bits.
TEST(FormatAnalogCell, JunctionCorrectionPerChannel) {
  const int16_t corrections[8] = {35, 30, 25, 20, 15, 10, 5, 0};
  for (int16_t reference : {int16_t{2500}, int16_t{-4000}, int16_t{32767}}) {
    CaptureBuilder b;
    b.analogPort = 3;
    b.analogSetup = Bytes(68, 0);
    b.analogSetup[0] = 8;
    for (int i = 0; i < 8; ++i) {
      b.analogSetup[4 + 8 * i] = 6;  // type K, compensated
      b.analogSetup[10 + 8 * i] = 1;
    }
    b.Analog(Sample(0, std::vector<uint32_t>(8, Raw(83886)), reference));  // 1 mV
    std::string row = Convert({"", [&] { return b; }, kCvtAnalogCsv, 9, 0, kAnsi, u","});
    row = row.substr(row.rfind("2026/12/06,09:30:00,"));
    std::string expected = "2026/12/06,09:30:00";
    for (int i = 0; i < 8; ++i) {
      auto sum = static_cast<int16_t>(reference + corrections[i]);
      char cell[32];
      std::snprintf(cell, sizeof cell, ",%.2f",
                    ThermocoupleToCelsius(83886 / 83886.08, 0, false, true, sum));
      expected += cell;
    }
    EXPECT_EQ(row, expected + "\r\n") << "reference " << reference;
  }
}

}  // namespace
}  // namespace dtconv
