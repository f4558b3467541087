#include "analog/channel_scale.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace dtconv {

namespace {

constexpr double kFullCount = 8388608.0;  // the raw reading of a nominal full scale, 2^23

// One range of a front end. `nominal` is the converter input at kFullCount counts (volts), or for
// the on-board inputs the counts per millivolt; `factor` turns volts into the displayed unit.
struct Range {
  const char* text;
  const char* unit;
  double max, min;
  double nominal;
  double factor;
  int decimals;
};

constexpr Range kOnBoard[] = {
    {"-5V - +5V", "V", 5.0, -5.0, 319.488, 1, 4},
    {"-12V - +12V", "V", 12.0, -12.0, 159.744, 1, 3},
    {"-2.5V - +2.5V", "V", 2.5, -2.5, 638.976, 1, 4},
    {"-24V - +24V", "V", 24.0, -24.0, 79.872, 1, 3},
};
constexpr Range kOnBoardUnknown = {"Unknown", "", 5.0, -5.0, 319.488, 1, 4};

constexpr Range kHighVoltage[] = {
    {"-60V - +60V", "V", 60, -60, 72.83636363636363, 1, 3},
    {"-30V - +30V", "V", 30, -30, 36.418181818181814, 1, 3},
    {"-16V - +16V", "V", 16, -16, 18.209090909090907, 1, 3},
    {"-8V - +8V", "V", 8, -8, 9.104545454545454, 1, 4},
    {"-4V - +4V", "V", 4, -4, 4.552272727272727, 1, 4},
    {"-2V - +2V", "V", 2, -2, 2.2761363636363634, 1, 4},
    {"-1V - +1V", "V", 1, -1, 1.1380681818181817, 1, 4},
};
constexpr Range kHighVoltageUnknown = {"Unknown", "", 30, -30, 36.418181818181814, 1, 3};

constexpr int kThermocoupleRange = 6;
constexpr Range kThermo[] = {
    {"-30V - +30V", "V", 30, -30, 30, 1, 3},
    {"-10V - +10V", "V", 10, -10, 10, 1, 3},
    {"-1V - +1V", "V", 1, -1, 1, 1, 4},
    {"-100 - +100mV", "mV", 100, -100, 0.1, 1000, 2},
    {"0mA - 20mA (250ohm)", "mA", 20, 0, 10, 4, 3},
    {"0mA - 20mA (50ohm)", "mA", 20, 0, 10, 20, 3},
    {"Temperature", "degC", 100, -100, 0.1, 1000, 1},  // millivolts, then a temperature
};
constexpr Range kThermoUnknown = {"Unknown", "", 10, -10, 10, 1, 3};

constexpr const char* kThermocoupleTexts[] = {
    "Temperature (Ktype)", "Temperature (Jtype)", "Temperature (Ttype)", "Temperature (Etype)",
    "Temperature (Ntype)", "Temperature (Rtype)", "Temperature (Stype)", "Temperature (Btype)",
};

// Sampling periods of the on-board inputs and XP-HV (fast) and of XP-TC (slow).
constexpr const char* kFastPeriods[] = {"1ms", "2ms", "5ms", "10ms"};
constexpr const char* kFastPeriods15[] = {"4ms",          "500us", "250us(4Ksps)",   "200us",
                                          "125us(8Ksps)", "100us", "62.5us(16Ksps)", "50us",
                                          "20us",         "10us"};
constexpr const char* kSlowPeriods[] = {"1ms",   "2ms",   "5ms",  "10ms",  "20ms", "50ms", "100ms",
                                        "200ms", "500ms", "1sec", "10sec", "1min", "10min"};
constexpr const char* kSlowPeriods28[] = {"2sec", "5sec", "30sec"};
constexpr const char* kPeriods64[] = {"10ms", "100ms", "100ms"};

// Texts shown with their proper symbols in UTF-8 CSV output: ohm sign U+2126, degree Celsius
// U+2103 and micro sign U+00B5.
constexpr const char* kUtf8Forms[][2] = {
    {"1Mohm", "1M\xE2\x84\xA6"},
    {"50ohm", "50\xE2\x84\xA6"},
    {"0mA - 20mA (250ohm)", "0mA - 20mA (250\xE2\x84\xA6)"},
    {"0mA - 20mA (50ohm)", "0mA - 20mA (50\xE2\x84\xA6)"},
    {"degC", "\xE2\x84\x83"},
    {"500us", "500\xC2\xB5s"},
    {"250us(4Ksps)", "250\xC2\xB5s(4Ksps)"},
    {"200us", "200\xC2\xB5s"},
    {"125us(8Ksps)", "125\xC2\xB5s(8Ksps)"},
    {"100us", "100\xC2\xB5s"},
    {"62.5us(16Ksps)", "62.5\xC2\xB5s(16Ksps)"},
    {"50us", "50\xC2\xB5s"},
    {"20us", "20\xC2\xB5s"},
    {"10us", "10\xC2\xB5s"},
};

template <size_t N>
const char* Pick(const char* const (&texts)[N], unsigned index) {
  return index < N ? texts[index] : nullptr;
}

const char* FastPeriod(unsigned code) {
  const char* t = code < 15   ? Pick(kFastPeriods, code)
                  : code < 64 ? Pick(kFastPeriods15, code - 15)
                              : Pick(kPeriods64, code - 64);
  return t ? t : "Unknown";
}

const char* SlowPeriod(unsigned code) {
  const char* t = code < 28   ? Pick(kSlowPeriods, code)
                  : code < 64 ? Pick(kSlowPeriods28, code - 28)
                              : Pick(kPeriods64, code - 64);
  return t ? t : "Unknown";
}

const char* Shown(const char* text, bool utf8) {
  if (utf8) {
    for (const auto& form : kUtf8Forms) {
      if (std::string_view(text) == form[0]) return form[1];
    }
  }
  return text;
}

template <size_t N>
const Range& RangeOf(const Range (&table)[N], const Range& unknown, unsigned code) {
  return code < N ? table[code] : unknown;
}

const Range& OnBoardRange(unsigned code) { return RangeOf(kOnBoard, kOnBoardUnknown, code); }

// The range of sample channel `ch` (0..7) of the capture's front end, or null without one.
const Range* ChannelRange(const DataInfo& info, int ch) {
  const auto& setup = info.analogSetup;
  switch (info.analogPort) {
    case 1:
      return ch < 2 ? &OnBoardRange(setup.U8(2 + ch)) : nullptr;
    case 2:
      return &RangeOf(kHighVoltage, kHighVoltageUnknown, setup.U8(4 + 4 * ch));
    case 3:
      return &RangeOf(kThermo, kThermoUnknown, setup.U8(4 + 8 * ch));
    default:
      return nullptr;
  }
}

// Raw counts per unit of converter input on each side, when the entry holds a usable calibration.
bool CalibratedCounts(const CalibrationEntry& cal, double& plus, double& minus) {
  if (!cal.valid || cal.referenceMicrovolts == 0) return false;
  double reference = cal.referenceMicrovolts;
  plus = static_cast<double>(int64_t{cal.plus} - cal.zero) / reference * 1e6;
  minus = static_cast<double>(int64_t{cal.zero} - cal.minus) / reference * 1e6;
  return plus > 0 && minus > 0;
}

ChannelScale BuildScale(const Range& range, bool onBoard, const CalibrationEntry& cal) {
  ChannelScale s;
  s.high[0] = range.max;
  s.low[1] = range.min;
  s.decimals = range.decimals;
  double plus = 0, minus = 0;
  if (CalibratedCounts(cal, plus, minus)) {
    s.offset = -static_cast<double>(cal.zero);
  } else {
    plus = minus = onBoard ? 1000 * range.nominal : kFullCount / range.nominal;
  }
  s.gain[0] = range.factor / plus;
  s.gain[1] = range.factor / minus;
  return s;
}

// Wave samples count in other units than sample readings, by the sample interval.
double WaveUnitFactor(unsigned intervalCode) {
  switch (intervalCode) {
    case 0:
      return 5;
    case 1:
    case 2:
      return 10;
    case 15:
      return 1;
    case 16:
      return 2;
    default:
      return 12.5;
  }
}

ChannelScale BuildWaveScale(const WaveInfo& wave, int ch) {
  const Range& range = OnBoardRange(wave.RangeCode(ch));
  double w = WaveUnitFactor(wave.IntervalCode());
  ChannelScale s;
  s.high[0] = range.max;
  s.low[1] = range.min;
  s.decimals = -3;
  CalibrationEntry cal = wave.Calibration(ch);
  double plus = 0, minus = 0;
  if (CalibratedCounts(cal, plus, minus)) {
    s.offset = -w * cal.zero / 1000;
    s.gain[0] = 1000 / (w * plus);
    s.gain[1] = 1000 / (w * minus);
  } else {
    s.gain[0] = s.gain[1] = 1 / (w * range.nominal);
  }
  return s;
}

void WriteSetting(CTxtCvtBase& cv, const char* name, const char* value) {
  if (cv.csv) {
    cv.WriteHeaderLine(name, value);
    return;
  }
  char piece[64];
  FormatPiece(piece, "*  %-12s: %-20s *", name, value);
  cv.output->AppendText(piece);
  cv.EndLine();
}

}  // namespace

void SetupChannelScales(const MonitorData& data, bool csv, AnalogState& state) {
  state = AnalogState{};
  const DataInfo& info = data.info;
  switch (info.analogPort) {
    case 1:
      state.channelCount = 2;
      break;
    case 2:
      state.channelCount = 8;
      break;
    case 3:
      state.channelCount = std::min<int>(info.analogSetup.U8(0), 8);
      break;
    default:
      break;
  }
  if (info.analogPort >= 1 && info.analogPort <= 3) {
    // XP-TC builds all eight channel slots whatever its channel count.
    int built = info.analogPort == 1 ? 2 : 8;
    for (int ch = 0; ch < built; ++ch) {
      ChannelScale& s = state.scales[ch];
      s = BuildScale(*ChannelRange(info, ch), info.analogPort == 1, info.Calibration(ch));
      const uint8_t* entry = info.analogSetup.b + 4 + 8 * ch;
      if (info.analogPort == 3 && entry[0] == kThermocoupleRange) {
        s.thermocouple = true;
        s.tcType = entry[4];
        s.burnoutDetect = entry[5] != 0;
        s.junctionCompensation = entry[6] != 0;
      }
    }
  }
  for (int ch = 0; ch < 8; ++ch) {
    int& d = state.scales[ch].decimals;
    d = std::clamp(d, 1, 4);
    if (csv) d = -d;
  }
  if (data.samples != nullptr && data.sampleCount > 0 && data.wave.Present() != 0) {
    state.scales[8] = BuildWaveScale(data.wave, 0);
    state.scales[9] = BuildWaveScale(data.wave, 1);
  }
}

std::vector<AnalogSetting> AnalogSettings(const MonitorData& data, const AnalogState& state,
                                          bool utf8) {
  std::vector<AnalogSetting> items;
  const DataInfo& info = data.info;
  const auto& setup = info.analogSetup;
  bool bnc = setup.U8(1) != 1;
  switch (info.analogPort) {
    case 1:
      items.push_back({"INPUT PORT", bnc ? "ON-BOARD BNC" : "ON-BOARD CAN"});
      items.push_back({"SAMPL.PERIOD", Shown(FastPeriod(setup.U8(16)), utf8)});
      if (bnc) {
        uint8_t impedance = setup.U8(4);
        const char* text = impedance == 0 ? "1Mohm" : impedance == 1 ? "50ohm" : "Unknown";
        items.push_back({"IMPEDANCE", Shown(text, utf8)});
      }
      break;
    case 2:
      items.push_back({"INPUT PORT", "EXT.POD XP-HV"});
      items.push_back({"SAMPL.PERIOD", Shown(FastPeriod(setup.U8(0)), utf8)});
      break;
    case 3:
      items.push_back({"INPUT PORT", "EXT.POD XP-TC"});
      items.push_back({"SAMPL.PERIOD", SlowPeriod(setup.U8(1))});
      break;
    default:
      return items;
  }
  for (int ch = 0; ch < state.channelCount && ch < 8; ++ch) {
    const Range* range = ChannelRange(info, ch);
    if (range == nullptr) break;
    const char* text = range->text;
    if (info.analogPort == 3 && setup.U8(4 + 8 * ch) == kThermocoupleRange) {
      text = Pick(kThermocoupleTexts, setup.U8(8 + 8 * ch));
      if (text == nullptr) text = "Temperature";
    }
    items.push_back({"CH" + std::to_string(ch + 1), text, Shown(range->unit, utf8)});
  }
  return items;
}

void WriteAnalogSettings(CTxtCvtBase& cv, const AnalogState& state) {
  const MonitorData& data = *cv.data;
  if (data.recordingKind != 0 && data.recordingKind != 4 && data.recordingKind != 16) return;
  bool utf8 = cv.csv && cv.output->utf8();
  std::vector<AnalogSetting> items = AnalogSettings(data, state, utf8);
  if (items.empty()) return;
  bool titled = false;
  for (size_t i = 0; i <= items.size(); ++i) {
    // The CSV form titles the channel items, even when there are none.
    if (cv.csv && !titled && (i == items.size() || items[i].unit != nullptr)) {
      WriteSetting(cv, "AI CHANNEL", "UNIT");
      titled = true;
    }
    if (i == items.size()) break;
    const AnalogSetting& item = items[i];
    if (item.unit == nullptr) {
      WriteSetting(cv, item.name.c_str(), item.value.c_str());
      continue;
    }
    char name[16], value[64];
    if (cv.csv) {
      FormatPiece(name, "%s", item.name.c_str());
      FormatPiece(value, "%s,%s", Shown(item.value.c_str(), utf8), item.unit);
    } else {
      FormatPiece(name, "%s RANGE", item.name.c_str());
      FormatPiece(value, "%s", item.value.c_str());
    }
    WriteSetting(cv, name, value);
  }
}

}  // namespace dtconv
