// Sample captures of the analog front ends and of the analog waveform, for trying the converters
// and for the documentation.
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "capture_builder.h"

namespace dtconv::samples {

namespace {

using test::AnalogSpec;
using test::Bytes;
using test::Calibration;
using test::CaptureBuilder;

constexpr double kPi = 3.14159265358979323846;

// The 24-bit raw word of a signed count, with the sign bit in bit 23.
uint32_t Raw(double counts) { return static_cast<uint32_t>(std::lround(counts)) & 0xFFFFFF; }

Calibration Cal(int32_t zero, int32_t plusSpan, int32_t minusSpan, int32_t referenceMicrovolts) {
  return Calibration{true, zero, zero + plusSpan, zero - minusSpan, referenceMicrovolts};
}

// `count` samples `period` microseconds apart; `words(k)` gives the raw words of sample k.
template <typename Words>
void AddSamples(CaptureBuilder& b, int count, uint64_t period, uint8_t type, bool eight,
                int16_t referenceTemp, Words words) {
  for (int k = 0; k < count; ++k) {
    AnalogSpec a;
    a.timestamp = static_cast<uint64_t>(k) * period;
    a.type = type;
    a.referenceTemp = referenceTemp;
    a.words = words(k);
    a.eightChannels = eight;
    b.Analog(a);
  }
}

// On-board BNC inputs, 1 Mohm, 1 ms: a 50 Hz sine of 3 V on channel 1 (+-5 V) and a slow ramp
// from -10 V to +10 V on channel 2 (+-12 V), both channels calibrated.
CaptureBuilder OnBoardBnc() {
  CaptureBuilder b;
  b.analogPort = 1;
  b.analogSetup = Bytes(36, 0);
  b.analogSetup[2] = 0;
  b.analogSetup[3] = 1;
  b.analogSetup[16] = 0;
  b.calibration = {Cal(-120, 321000, 318900, 1000000), Cal(85, 160100, 159500, 1000000)};
  AddSamples(b, 40, 1000, 0x30, false, 0, [](int k) {
    std::array<uint32_t, 8> w{};
    double volts = 3.0 * std::sin(2 * kPi * 50 * k / 1000.0);
    w[0] = Raw(-120 + volts * (volts >= 0 ? 321000 : 318900));
    w[1] = Raw(85 + (-10.0 + 0.5 * k) * (k < 20 ? 159500 : 160100));
    return w;
  });
  b.Marker(0x82, 40000);
  return b;
}

// On-board CAN connector, 250 us: a 5 V supply with ripple on channel 1 (+-12 V) and a sensor
// output of 0.5 to 4.5 V on channel 2 (+-5 V); nominal scaling.
CaptureBuilder OnBoardCan() {
  CaptureBuilder b;
  b.analogPort = 1;
  b.analogSetup = Bytes(36, 0);
  b.analogSetup[1] = 1;
  b.analogSetup[2] = 1;
  b.analogSetup[3] = 0;
  b.analogSetup[16] = 17;
  AddSamples(b, 40, 250, 0x30, false, 0, [](int k) {
    std::array<uint32_t, 8> w{};
    w[0] = Raw((5.0 + 0.05 * std::sin(k * 0.7)) * 159744);
    w[1] = Raw((0.5 + 4.0 * (k % 20) / 19.0) * 319488);
    return w;
  });
  return b;
}

// XP-HV, 10 ms: eight channels on the seven ranges and an unknown code, a battery voltage, its
// ripple and a few signals of a vehicle; channel 1 calibrated. One lost-data marker.
CaptureBuilder HighVoltage() {
  CaptureBuilder b;
  b.analogPort = 2;
  b.analogSetup = Bytes(36, 0);
  b.analogSetup[0] = 3;
  const uint8_t ranges[8] = {0, 1, 2, 3, 4, 5, 6, 9};
  for (int i = 0; i < 8; ++i) b.analogSetup[4 + 4 * i] = ranges[i];
  b.calibration = {Cal(40, 115200, 115150, 1000000)};
  const double fullScale[8] = {72.83636363636363,  36.418181818181814, 18.209090909090907,
                               9.104545454545454,  4.552272727272727,  2.2761363636363634,
                               1.1380681818181817, 36.418181818181814};
  AddSamples(b, 30, 10000, 0x31, true, 0, [&](int k) {
    std::array<uint32_t, 8> w{};
    w[0] = Raw(40 + (48.0 + 0.3 * std::sin(k * 0.4)) * 115200);
    for (int ch = 1; ch < 8; ++ch) {
      double volts = fullScale[ch] * 0.8 * std::sin(k * 0.2 + ch);
      w[ch] = Raw(volts * 8388608 / fullScale[ch]);
    }
    return w;
  });
  b.Marker(0x80, 300000);
  return b;
}

// XP-TC, 1 s, six channels: +-10 V, +-100 mV, 4-20 mA loop on 250 ohm, and thermocouples of
// type K (compensated), J (compensated, burnout detection) and T. The type J thermocouple opens
// after the fifth sample. Terminal temperature about 24 degC.
CaptureBuilder Thermocouples() {
  CaptureBuilder b;
  b.analogPort = 3;
  b.analogSetup = Bytes(68, 0);
  b.analogSetup[0] = 6;
  b.analogSetup[1] = 9;
  // range, thermocouple type, burnout detection, junction compensation
  const uint8_t channels[8][4] = {{1, 0, 0, 0}, {3, 0, 0, 0}, {4, 0, 0, 0}, {6, 0, 0, 1},
                                  {6, 1, 1, 1}, {6, 2, 0, 0}, {2, 0, 0, 0}, {2, 0, 0, 0}};
  for (int i = 0; i < 8; ++i) {
    b.analogSetup[4 + 8 * i] = channels[i][0];
    b.analogSetup[8 + 8 * i] = channels[i][1];
    b.analogSetup[9 + 8 * i] = channels[i][2];
    b.analogSetup[10 + 8 * i] = channels[i][3];
  }
  constexpr double kPerVolt10 = 838860.8;     // +-10 V and current ranges: 2^23 / 10 V
  constexpr double kPerMillivolt = 83886.08;  // +-100 mV and thermocouples: 2^23 / 100 mV
  for (int k = 0; k < 10; ++k) {
    AnalogSpec a;
    a.timestamp = static_cast<uint64_t>(k) * 1000000;
    a.type = 0x32;
    a.referenceTemp = static_cast<int16_t>(2400 + 5 * k);
    a.eightChannels = true;
    a.words[0] = Raw(3.3 * kPerVolt10);
    a.words[1] = Raw((12.5 - 0.8 * k) * kPerMillivolt);
    a.words[2] = Raw((4.0 + 1.6 * k) / 4 * kPerVolt10);  // 4..20 mA through 250 ohm
    a.words[3] = Raw((2.0 + 0.25 * k) * kPerMillivolt);  // type K, about 73..129 degC
    a.words[4] = k < 5 ? Raw((1.5 + 0.1 * k) * kPerMillivolt) : 0x7FFFFF;
    a.words[5] = Raw((-0.5 + 0.2 * k) * kPerMillivolt);  // type T, about -13..33 degC
    b.Analog(a);
  }
  return b;
}

// On-board inputs with a captured waveform: a 10 kHz sine of 2.5 V on AI1 (+-5 V, calibrated)
// and a 10 kHz square wave of 5 V on AI2 (+-12 V, nominal), 1 us per sample, 1024 samples before
// the trigger. A wave reading s stands for a sample reading of 1000 * s / 12.5 at this interval.
CaptureBuilder Waveform() {
  CaptureBuilder b = OnBoardBnc();
  Calibration ai1 = Cal(300, 320000, 318900, 1000000);
  b.waveInfo = CaptureBuilder::WaveInfoBytes(1, 0, 1, 4, 2, 1024, ai1, {});
  constexpr double kUnit = 12.5 / 1000;
  for (int k = 0; k < 4096; ++k) {
    double ai1Volts = 2.5 * std::sin(2 * kPi * k / 100.0);
    double ai1Counts = 300 + ai1Volts * (ai1Volts >= 0 ? 320000 : 318900);
    double ai2Volts = (k / 50) % 2 == 0 ? 5.0 : -5.0;
    auto s1 = static_cast<uint16_t>(static_cast<int16_t>(std::lround(ai1Counts * kUnit)));
    auto s2 = static_cast<uint16_t>(static_cast<int16_t>(std::lround(ai2Volts * 159744 * kUnit)));
    b.waveSamples.push_back(s1 | (static_cast<uint32_t>(s2) << 16));
  }
  return b;
}

}  // namespace

void WriteAnalogSamples(const std::filesystem::path& dir) {
  OnBoardBnc().WriteTo(dir / "analog_onboard_bnc.DT");
  OnBoardCan().WriteTo(dir / "analog_onboard_can.DT");
  HighVoltage().WriteTo(dir / "analog_xp_hv.DT");
  Thermocouples().WriteTo(dir / "analog_xp_tc.DT");
  Waveform().WriteTo(dir / "analog_wave.DT");
}

}  // namespace dtconv::samples
