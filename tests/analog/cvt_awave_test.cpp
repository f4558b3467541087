// Analog waveform CSV: whole outputs against golden files, the time axis by interval and
// pre-trigger settings, the row limit, and captures without a waveform.
#include "analog/cvt_awave.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "capture_builder.h"
#include "run_converter.h"
#include "test_files.h"

namespace dtconv {
namespace {

using test::Calibration;
using test::CaptureBuilder;

uint32_t Wave(int16_t ai1, int16_t ai2) {
  return static_cast<uint16_t>(ai1) | (static_cast<uint32_t>(static_cast<uint16_t>(ai2)) << 16);
}

std::string Convert(const CaptureBuilder& b, uint32_t bits = 3, std::u16string delimiter = u",") {
  auto r = test::RunConverter(b.Build(), test::SettingsFor(kCvtAnalogWave, 0, 0, bits, delimiter),
                              [](const MonitorData& d, ConverterContext& ctx) {
                                CTxtCvtAWave cv;
                                ConvertAnalogWave(cv, d, ctx);
                              });
  EXPECT_EQ(r.result, 0u);
  return r.bytes;
}

std::vector<std::string> Lines(const std::string& text, const std::string& eol = "\r\n") {
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t end; (end = text.find(eol, at)) != std::string::npos; at = end + eol.size()) {
    lines.push_back(text.substr(at, end - at));
  }
  EXPECT_EQ(at, text.size());
  return lines;
}

// AI1 on +-5 V, AI2 on +-12 V, 1 us per sample, two samples before the trigger; nominal scaling.
// Readings: -100 counts (-0.0250 V), both ends of the 16-bit range (clamped), small values.
CaptureBuilder Nominal() {
  CaptureBuilder b;
  b.analogPort = 1;
  b.waveInfo = CaptureBuilder::WaveInfoBytes(1, 0, 1, 4, 0, 2);
  b.waveSamples = {Wave(-100, 1000), Wave(32767, -32768), Wave(-32768, 32767),
                   Wave(0, 0),       Wave(1, -1),         Wave(3994, -19968)};
  return b;
}

// AI1 calibrated at 650 000 / 645 000 counts per volt around 1000, AI2 with a calibration whose
// minus reading lies above its zero (nominal). 50 ns per sample; the stored pre-trigger count is
// negative and mode 2 gives 1024 samples.
CaptureBuilder Calibrated() {
  Calibration ai1{true, 1000, 1301000, -1289000, 2000000};
  Calibration ai2{true, 0, 100000, 50, 1000000};
  CaptureBuilder b;
  b.waveInfo = CaptureBuilder::WaveInfoBytes(1, 2, 3, 0, 2, -1, ai1, ai2);
  b.waveSamples = {Wave(3255, 3994), Wave(-3220, -3994), Wave(5, 0), Wave(32767, -32768)};
  return b;
}

TEST(AnalogWaveGolden, Nominal) {
  EXPECT_EQ(test::CompareGolden("analog/wave_nominal.csv", Convert(Nominal())), "");
}

TEST(AnalogWaveGolden, CalibratedUtf8BomSemicolon) {
  EXPECT_EQ(test::CompareGolden("analog/wave_calibrated.csv", Convert(Calibrated(), 0x5F, u";")),
            "");
}

TEST(AnalogWave, FortyThousandSamplesGive32768Rows) {
  CaptureBuilder b;
  b.waveInfo = CaptureBuilder::WaveInfoBytes(1, 0, 0, 4, 0, 1024);
  for (int k = 0; k < 40000; ++k) b.waveSamples.push_back(Wave(static_cast<int16_t>(k % 1000), 0));
  std::vector<std::string> lines = Lines(Convert(b));
  ASSERT_EQ(lines.size(), 1u + 32768u);
  EXPECT_EQ(lines[0], "Time[s],AI1[V],AI2[V]");
  EXPECT_EQ(lines[1], "-0.001024000,0.0000,0.0000");
  EXPECT_EQ(lines[1 + 1024], "0.000000000,0.0060,0.0000");  // 24 / (12.5 * 319.488)
  EXPECT_EQ(lines[32768], "0.031743000,0.1921,0.0000");     // 767 / (12.5 * 319.488)
}

// The first row's time is -p * t: interval t by code, pre-trigger count p stored or by mode.
struct TimeCase {
  uint8_t interval, mode;
  int32_t stored;
  const char* firstTime;
};

TEST(AnalogWave, FirstRowTime) {
  for (const TimeCase& c : std::vector<TimeCase>{
           {4, 0, 1024, "-0.001024000"},
           {4, 2, -1, "-0.001024000"},
           {4, 0, -1, "-0.031744000"},
           {4, 1, -1, "-0.016384000"},
           {4, 7, -5, "-0.016384000"},
           {0, 0, 1, "-0.000000050"},
           {1, 0, 1, "-0.000000100"},
           {2, 0, 1, "-0.000000200"},
           {3, 0, 1, "-0.000000500"},
           {5, 0, 1, "-0.000002000"},
           {6, 0, 1, "-0.000005000"},
           {7, 0, 1, "-0.000010000"},
           {8, 0, 1, "-0.000020000"},
           {9, 0, 1, "-0.000050000"},
           {15, 0, 1, "-0.000000010"},
           {16, 0, 1, "-0.000000020"},
           {10, 0, 1, "-0.000001000"},
           {9, 0, 0, "0.000000000"},
           {9, 0, 2147483647, "-107374.182350000"},
       }) {
    CaptureBuilder b;
    b.waveInfo = CaptureBuilder::WaveInfoBytes(1, 0, 0, c.interval, c.mode, c.stored);
    b.waveSamples = {0};
    std::vector<std::string> lines = Lines(Convert(b));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].substr(0, lines[1].find(',')), c.firstTime)
        << "interval " << int(c.interval) << " mode " << int(c.mode) << " stored " << c.stored;
  }
}

// No waveform: no title and no rows, only the byte order mark when one is configured.
TEST(AnalogWave, NoWaveformWritesNothing) {
  struct Case {
    const char* name;
    std::function<void(CaptureBuilder&)> edit;
  };
  for (const Case& c : std::vector<Case>{
           {"no wave chunks", [](CaptureBuilder& b) { b.waveInfo.reset(); }},
           {"present byte zero",
            [](CaptureBuilder& b) {
              b.waveInfo = CaptureBuilder::WaveInfoBytes(0, 0, 0, 4, 0, 0);
            }},
           {"no samples", [](CaptureBuilder& b) { b.waveSamples.clear(); }},
       }) {
    CaptureBuilder b = Nominal();
    c.edit(b);
    EXPECT_EQ(Convert(b), "") << c.name;
    EXPECT_EQ(Convert(b, 0x5F), "\xEF\xBB\xBF") << c.name;
  }
}

}  // namespace
}  // namespace dtconv
