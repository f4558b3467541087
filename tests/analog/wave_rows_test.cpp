// The waveform table stops at 32768 rows however many samples a capture holds: a limit no golden
// of the conversion table shows without 32768 rows of output.
#include <gtest/gtest.h>

#include <algorithm>

#include "analog/cvt_awave.h"
#include "capture_builder.h"
#include "run_converter.h"
#include "test_files.h"

namespace dtconv {
namespace {

TEST(AnalogWave, FortyThousandSamplesGive32768Rows) {
  test::CaptureBuilder b;
  b.waveInfo = test::CaptureBuilder::WaveInfoBytes(1, 0, 0, 4, 0, 1024);
  for (uint32_t k = 0; k < 40000; ++k) b.waveSamples.push_back(k % 1000);
  test::RunResult r = test::RunConverter(b.Build(), test::SettingsFor(kCvtAnalogWave, 0, 0, kOutLf),
                                         [](const MonitorData& d, ConverterContext& c) {
                                           CTxtCvtAWave cv;
                                           ConvertAnalogWave(cv, d, c);
                                         });
  EXPECT_EQ(r.result, 0u);
  EXPECT_EQ(std::count(r.bytes.begin(), r.bytes.end(), '\n'), 1 + 32768);
  // The last row is sample 32767 (767 counts), 31.743 ms after the trigger.
  EXPECT_TRUE(r.bytes.ends_with("\n0.031743000,0.1921,0.0000\n"))
      << r.bytes.substr(r.bytes.size() - 40);
}

}  // namespace
}  // namespace dtconv
