// Channel scaling: what a raw reading means for every front end and range, with and without a
// usable calibration, and the wave channels.
#include "analog/channel_scale.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "capture_builder.h"

namespace dtconv {
namespace {

using test::Bytes;
using test::Calibration;
using test::CaptureBuilder;

MonitorData Load(const CaptureBuilder& b) {
  Bytes bytes = b.Build();
  auto image = std::make_unique<uint8_t[]>(bytes.size());
  std::memcpy(image.get(), bytes.data(), bytes.size());
  MonitorData d;
  EXPECT_EQ(ParseMonitorData(std::move(image), bytes.size(), d), 0u);
  return d;
}

// A 24-bit raw word of a signed count.
uint32_t Raw(int32_t counts) { return static_cast<uint32_t>(counts) & 0xFFFFFF; }

Calibration Cal(int32_t zero, int32_t plus, int32_t minus, int32_t reference, bool valid = true) {
  Calibration c;
  c.valid = valid;
  c.zero = zero;
  c.plus = plus;
  c.minus = minus;
  c.referenceMicrovolts = reference;
  return c;
}

CaptureBuilder OnBoard(uint8_t range1, uint8_t range2, std::vector<Calibration> cal = {}) {
  CaptureBuilder b;
  b.analogPort = 1;
  b.analogSetup = Bytes(36, 0);
  b.analogSetup[2] = range1;
  b.analogSetup[3] = range2;
  b.calibration = std::move(cal);
  return b;
}

CaptureBuilder HighVoltage(std::vector<uint8_t> ranges) {
  CaptureBuilder b;
  b.analogPort = 2;
  b.analogSetup = Bytes(36, 0);
  for (size_t i = 0; i < ranges.size(); ++i) b.analogSetup[4 + 4 * i] = ranges[i];
  return b;
}

struct TcChannel {
  uint8_t range = 0, type = 0, burnout = 0, compensation = 0;
};
CaptureBuilder Thermo(uint8_t count, std::vector<TcChannel> channels,
                      std::vector<Calibration> cal = {}) {
  CaptureBuilder b;
  b.analogPort = 3;
  b.analogSetup = Bytes(68, 0);
  b.analogSetup[0] = count;
  for (size_t i = 0; i < channels.size(); ++i) {
    b.analogSetup[4 + 8 * i] = channels[i].range;
    b.analogSetup[8 + 8 * i] = channels[i].type;
    b.analogSetup[9 + 8 * i] = channels[i].burnout;
    b.analogSetup[10 + 8 * i] = channels[i].compensation;
  }
  b.calibration = std::move(cal);
  return b;
}

// A calibration of one volt per 650 000 counts above zero and 645 000 below, zero at 1000.
const Calibration kOneVolt = Cal(1000, 1301000, -1289000, 2000000);

struct ScaleCase {
  const char* name;
  std::function<CaptureBuilder()> capture;
  int channel;
  uint32_t raw;
  double expected;
};

class ScaleTest : public testing::TestWithParam<ScaleCase> {};

TEST_P(ScaleTest, Value) {
  const ScaleCase& c = GetParam();
  MonitorData d = Load(c.capture());
  AnalogState state;
  SetupChannelScales(d, false, state);
  EXPECT_NEAR(ScaleSample(state.scales[c.channel], c.raw), c.expected, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, ScaleTest,
    testing::Values(
        ScaleCase{"OnBoard5V", [] { return OnBoard(0, 1); }, 0, Raw(394408), 394408 / 319488.0},
        ScaleCase{"OnBoard12VNegative", [] { return OnBoard(0, 1); }, 1, Raw(-559104), -3.5},
        ScaleCase{"OnBoard2V5", [] { return OnBoard(2, 3); }, 0, Raw(638976), 1.0},
        ScaleCase{"OnBoard24V", [] { return OnBoard(2, 3); }, 1, Raw(-798720), -10.0},
        ScaleCase{"OnBoardUnknownIs5V", [] { return OnBoard(7, 0); }, 0, Raw(319488), 1.0},
        ScaleCase{"OnBoardClampAbove", [] { return OnBoard(0, 1); }, 0, 0x7FFFFF, 5.0},
        ScaleCase{"MostNegativeTakesMinSide", [] { return OnBoard(0, 1); }, 1, 0x800000, -12.0},
        ScaleCase{"UpperByteIgnored", [] { return OnBoard(0, 1); }, 0, 0xA5000000 | 319488, 1.0},
        ScaleCase{"UpperByteIgnoredNegative", [] { return OnBoard(0, 1); }, 0, 0x00FB1000,
                  -0x4F000 / 319488.0},
        ScaleCase{"HV60", [] { return HighVoltage({0}); }, 0, Raw(4194304), 72.83636363636363 / 2},
        ScaleCase{"HV1",
                  [] {
                    return HighVoltage({0, 0, 0, 0, 0, 0, 0, 6});
                  },
                  7, Raw(-4194304), -1.1380681818181817 / 2},
        ScaleCase{"HVUnknownIs30", [] { return HighVoltage({9}); }, 0, Raw(4194304),
                  36.418181818181814 / 2},
        ScaleCase{"HVClampBelow", [] { return HighVoltage({3}); }, 0, 0x800000, -8.0},
        ScaleCase{"TC30V", [] { return Thermo(1, {{0}}); }, 0, Raw(4194304), 15.0},
        ScaleCase{"TC1V", [] { return Thermo(1, {{2}}); }, 0, Raw(-838861), -838861 / 8388608.0},
        ScaleCase{"TCMillivolts", [] { return Thermo(1, {{3}}); }, 0, Raw(4194304), 50.0},
        ScaleCase{"TC250Ohm", [] { return Thermo(1, {{4}}); }, 0, Raw(2097152), 10.0},
        ScaleCase{"TC50Ohm", [] { return Thermo(1, {{5}}); }, 0, Raw(419430),
                  419430 * 20 / 838860.8},
        ScaleCase{"TCCurrentNegativeIsZero", [] { return Thermo(1, {{4}}); }, 0, Raw(-5), 0.0},
        ScaleCase{"TCUnknownIs10V", [] { return Thermo(1, {{7}}); }, 0, Raw(4194304), 5.0},
        ScaleCase{"TCThermocoupleMillivolts",
                  [] {
                    return Thermo(1, {{6, 0, 0, 0}});
                  },
                  0, 0x7FFFFF, 8388607 / 83886.08},
        ScaleCase{"TCChannel8BuiltWhateverTheCount",
                  [] {
                    return Thermo(1, {{}, {}, {}, {}, {}, {}, {}, {3}});
                  },
                  7, Raw(4194304), 50.0}),
    [](const testing::TestParamInfo<ScaleCase>& i) { return std::string(i.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Calibrations, ScaleTest,
    testing::Values(
        ScaleCase{"PlusSide", [] { return OnBoard(0, 0, {kOneVolt}); }, 0, Raw(651000), 1.0},
        ScaleCase{"MinusSide", [] { return OnBoard(0, 0, {kOneVolt}); }, 0, Raw(-644000), -1.0},
        ScaleCase{"SecondEntryForSecondChannel",
                  [] {
                    return OnBoard(0, 0, {{}, kOneVolt});
                  },
                  1, Raw(651000), 1.0},
        ScaleCase{"ClampedToRange", [] { return OnBoard(2, 0, {kOneVolt}); }, 0, Raw(3000000), 2.5},
        // The side follows the raw sign, not the sign after the zero offset: no bound applies.
        ScaleCase{"BelowZeroOnPlusSide",
                  [] { return Thermo(1, {{4}}, {Cal(5000, 843861, -833861, 1000000)}); }, 0,
                  Raw(4000), -1000 * 4 / 838861.0},
        ScaleCase{"NegativeReadingClampedAtZero",
                  [] { return Thermo(1, {{4}}, {Cal(5000, 843861, -833861, 1000000)}); }, 0,
                  Raw(-2000), 0.0},
        ScaleCase{"PlusEqualsZeroFallsBackBothSides",
                  [] { return OnBoard(0, 0, {Cal(1000, 1000, -1289000, 2000000)}); }, 0,
                  Raw(-319488), -1.0},
        ScaleCase{"MinusAboveZeroFallsBack",
                  [] { return OnBoard(0, 0, {Cal(1000, 1301000, 2000, 2000000)}); }, 0, Raw(319488),
                  1.0},
        ScaleCase{"ReferenceZeroFallsBack",
                  [] { return OnBoard(0, 0, {Cal(1000, 1301000, -1289000, 0)}); }, 0, Raw(319488),
                  1.0},
        ScaleCase{"NegativeReferenceFallsBack",
                  [] { return OnBoard(0, 0, {Cal(1000, 1301000, -1289000, -2000000)}); }, 0,
                  Raw(319488), 1.0},
        ScaleCase{"NotValidFallsBack",
                  [] { return OnBoard(0, 0, {Cal(1000, 1301000, -1289000, 2000000, false)}); }, 0,
                  Raw(319488), 1.0},
        ScaleCase{"HVCalibrated",
                  [] {
                    CaptureBuilder b = HighVoltage({0, 0, 0});
                    b.calibration = {{}, {}, Cal(0, 100000, -100000, 1000000)};
                    return b;
                  },
                  2, Raw(4000000), 40.0},
        ScaleCase{"TCMillivoltsCalibrated",
                  [] { return Thermo(1, {{3}}, {Cal(-200, 99800, -100200, 1000000)}); }, 0,
                  Raw(4800), 50.0}),
    [](const testing::TestParamInfo<ScaleCase>& i) { return std::string(i.param.name); });

TEST(ChannelCount, ByFrontEnd) {
  struct Case {
    std::function<CaptureBuilder()> capture;
    int count;
  };
  for (const Case& c : std::vector<Case>{
           {[] { return OnBoard(0, 0); }, 2},
           {[] { return HighVoltage({}); }, 8},
           {[] { return Thermo(3, {}); }, 3},
           {[] { return Thermo(0, {}); }, 0},
           {[] { return Thermo(8, {}); }, 8},
           {[] { return Thermo(9, {}); }, 8},
           {[] { return Thermo(255, {}); }, 8},
           {[] { return CaptureBuilder(); }, 0},
           {[] {
              CaptureBuilder b = OnBoard(0, 0);
              b.analogPort = 4;
              return b;
            },
            0},
       }) {
    MonitorData d = Load(c.capture());
    AnalogState state;
    SetupChannelScales(d, false, state);
    EXPECT_EQ(state.channelCount, c.count) << "port " << int(d.info.analogPort);
  }
}

TEST(Decimals, TextAndCsvCodes) {
  MonitorData onBoard = Load(OnBoard(0, 1));
  MonitorData hv = Load(HighVoltage({0, 1, 2, 3, 4, 5, 6, 9}));
  MonitorData tc = Load(Thermo(8, {{0}, {1}, {2}, {3}, {4}, {5}, {6}, {8}}));
  AnalogState text, csv;
  SetupChannelScales(onBoard, false, text);
  SetupChannelScales(onBoard, true, csv);
  EXPECT_EQ(text.scales[0].decimals, 4);
  EXPECT_EQ(text.scales[1].decimals, 3);
  EXPECT_EQ(csv.scales[0].decimals, -4);
  EXPECT_EQ(csv.scales[1].decimals, -3);
  const int hvDecimals[8] = {3, 3, 3, 4, 4, 4, 4, 3};
  const int tcDecimals[8] = {3, 3, 4, 2, 3, 3, 1, 3};
  SetupChannelScales(hv, false, text);
  SetupChannelScales(hv, true, csv);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(text.scales[i].decimals, hvDecimals[i]) << "XP-HV channel " << i + 1;
    EXPECT_EQ(csv.scales[i].decimals, -hvDecimals[i]) << "XP-HV channel " << i + 1;
  }
  SetupChannelScales(tc, false, text);
  SetupChannelScales(tc, true, csv);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(text.scales[i].decimals, tcDecimals[i]) << "XP-TC channel " << i + 1;
    EXPECT_EQ(csv.scales[i].decimals, -tcDecimals[i]) << "XP-TC channel " << i + 1;
  }
}

TEST(Setup, ThermocoupleFieldsOnlyOnTemperatureRange) {
  MonitorData d = Load(Thermo(2, {{6, 5, 1, 1}, {3, 5, 1, 1}}));
  AnalogState state;
  SetupChannelScales(d, false, state);
  EXPECT_TRUE(state.scales[0].thermocouple);
  EXPECT_EQ(state.scales[0].tcType, 5);
  EXPECT_TRUE(state.scales[0].burnoutDetect);
  EXPECT_TRUE(state.scales[0].junctionCompensation);
  EXPECT_FALSE(state.scales[1].thermocouple);
  EXPECT_FALSE(state.scales[1].burnoutDetect);
}

// Wave channels: a wave reading s reads like a sample reading of 1000 * s / w, w by the interval.
struct WaveCase {
  const char* name;
  uint8_t range, interval;
  Calibration cal;
  int16_t reading;
  double expected;
};

class WaveScaleTest : public testing::TestWithParam<WaveCase> {};

TEST_P(WaveScaleTest, Value) {
  const WaveCase& c = GetParam();
  CaptureBuilder b;
  b.waveInfo = CaptureBuilder::WaveInfoBytes(1, 2, c.range, c.interval, 0, 0, {}, c.cal);
  b.waveSamples = {0};
  AnalogState state;
  SetupChannelScales(Load(b), true, state);
  const ChannelScale& ai2 = state.scales[9];
  EXPECT_EQ(ai2.decimals, -3);
  auto raw = static_cast<uint32_t>(int32_t{c.reading});
  EXPECT_NEAR(ScaleSample(ai2, raw), c.expected, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Wave, WaveScaleTest,
    testing::Values(
        WaveCase{"Interval1us", 0, 4, {}, -100, -100 / (12.5 * 319.488)},
        WaveCase{"Interval50ns", 0, 0, {}, 100, 100 / (5 * 319.488)},
        WaveCase{"Interval100ns", 0, 1, {}, 100, 100 / (10 * 319.488)},
        WaveCase{"Interval200ns", 1, 2, {}, 100, 100 / (10 * 159.744)},
        WaveCase{"Interval10ns", 0, 15, {}, 100, 100 / (1 * 319.488)},
        WaveCase{"Interval20ns", 3, 16, {}, 100, 100 / (2 * 79.872)},
        WaveCase{"OtherInterval", 2, 9, {}, 100, 100 / (12.5 * 638.976)},
        WaveCase{"ClampedAbove", 0, 15, {}, 32767, 5.0},
        WaveCase{"ClampedBelow", 2, 15, {}, -32768, -2.5},
        WaveCase{"Calibrated", 0, 4, kOneVolt, 8125, (1000 * 8125 / 12.5 - 1000) / 650000},
        WaveCase{"CalibratedMinus", 0, 4, kOneVolt, -8050, (1000 * -8050 / 12.5 - 1000) / 645000},
        WaveCase{"BrokenCalibrationNominal", 0, 4, Cal(1000, 1000, 0, 2000000), 100,
                 100 / (12.5 * 319.488)}),
    [](const testing::TestParamInfo<WaveCase>& i) { return std::string(i.param.name); });

TEST(Setup, WaveChannelsNeedSamplesAndThePresentByte) {
  for (bool present : {false, true}) {
    for (bool samples : {false, true}) {
      CaptureBuilder b;
      b.waveInfo = CaptureBuilder::WaveInfoBytes(present ? 1 : 0, 0, 0, 4, 0, 0);
      if (samples) b.waveSamples = {0};
      AnalogState state;
      SetupChannelScales(Load(b), true, state);
      EXPECT_EQ(state.scales[8].gain[0] != 0, present && samples) << present << samples;
    }
  }
}

}  // namespace
}  // namespace dtconv
