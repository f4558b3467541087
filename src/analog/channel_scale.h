// Analog front ends, channel ranges and calibration: the scaling of every analog channel of a
// capture, the conversion of a raw converter reading into a physical value, and the analog
// settings block at the head of the analog reports.
//
// Front ends by the capture's analog port: 1 the two on-board inputs (BNC or CAN connector),
// 2 the eight-channel high-voltage pod XP-HV, 3 the pod XP-TC (up to eight channels of voltage,
// current or thermocouple input). Any other port has no analog channels.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "input/monitor_data.h"
#include "report/cvt_base.h"

namespace dtconv {

struct ChannelScale {
  static constexpr double kNoBound = std::numeric_limits<double>::infinity();
  // By the side of the reading, [0] for readings of zero and above, [1] for those below: the
  // gain, and the bounds the value is clamped to (only the upper one on the plus side and only
  // the lower one on the minus side).
  double offset = 0;
  double gain[2] = {0, 0};
  double low[2] = {-kNoBound, 0};
  double high[2] = {0, kNoBound};
  bool thermocouple = false;
  int tcType = 0;
  bool burnoutDetect = false, junctionCompensation = false;
  // Positive 1..4: decimals of the text form; negative: CSV form with one decimal more.
  int decimals = 1;
};

struct AnalogState {
  int channelCount = 0;     // 0..8
  ChannelScale scales[10];  // 0..7 sample channels, 8 and 9 wave channels AI1, AI2
};

// Builds the scaling of every channel for the capture; `csv` negates the decimal codes.
void SetupChannelScales(const MonitorData& data, bool csv, AnalogState& state);

// The value of a raw word: volts, millivolts or milliamperes by the range, clamped to the bound of
// the reading's own side. Thermocouple channels give their voltage in millivolts; the temperature
// needs the sample's reference-junction temperature (AnalogRow).
inline double ScaleSample(const ChannelScale& scale, uint32_t rawWord) {
  // The low 24 bits are the reading, sign-extended from bit 23; the sign bit picks the side.
  // The side indexes the gain and bounds rather than choosing them by branches: the sides of a
  // noisy reading come in no predictable order. The bound a side does not have is infinite.
  int32_t raw = static_cast<int32_t>(rawWord << 8) >> 8;
  unsigned side = static_cast<uint32_t>(raw) >> 31;
  double v = (raw + scale.offset) * scale.gain[side];
  double low = v < scale.low[side] ? scale.low[side] : v;
  return low > scale.high[side] ? scale.high[side] : low;
}

// One line of the analog settings: the front end, its sampling period and impedance, then one
// item per channel with its range text and unit (channel items have a unit, the others none).
struct AnalogSetting {
  std::string name;   // "INPUT PORT", "SAMPL.PERIOD", "IMPEDANCE", "CH1".."CH8"
  std::string value;  // in the Unicode form when utf8
  const char* unit = nullptr;
};
std::vector<AnalogSetting> AnalogSettings(const MonitorData& data, const AnalogState& state,
                                          bool utf8);

// The analog settings block (text or CSV form by cv.csv) through cv's writer.
void WriteAnalogSettings(CTxtCvtBase& cv, const AnalogState& state);

}  // namespace dtconv
