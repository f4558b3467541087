#include "analog/cvt_awave.h"

#include <algorithm>

#include "analog/cvt_ana.h"

namespace dtconv {

namespace {

constexpr uint32_t kMaxWaveRows = 32768;

// Time between two wave samples in nanoseconds.
int64_t IntervalNanoseconds(unsigned code) {
  constexpr int64_t kIntervals[] = {50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000, 50000};
  if (code < std::size(kIntervals)) return kIntervals[code];
  return code == 15 ? 10 : code == 16 ? 20 : 1000;
}

// Samples recorded before the trigger point.
int64_t PreTriggerCount(const WaveInfo& wave) {
  int32_t stored = wave.PreTriggerCount();
  if (stored >= 0) return stored;
  switch (wave.PreTriggerMode()) {
    case 0:
      return 31744;
    case 2:
      return 1024;
    default:
      return 16384;
  }
}

// Whether PutAnalogCell writes the channel's cells as "%.<1 - decimals>f".
bool PlainCsvDecimals(const ChannelScale& scale) {
  return scale.decimals >= -4 && scale.decimals <= -1;
}

}  // namespace

void ConvertAnalogWave(CTxtCvtAWave& cv, const MonitorData& data, ConverterContext& context) {
  cv.Bind(data, context, true, context.timeStampStyle);
  SetupChannelScales(data, true, cv.analog);
  if (data.samples == nullptr || data.sampleCount == 0 || data.wave.Present() == 0) return;

  uint32_t rows = std::min(data.sampleCount, kMaxWaveRows);
  int64_t pre = PreTriggerCount(data.wave);
  int64_t interval = IntervalNanoseconds(data.wave.IntervalCode());

  cv.WriteCell("Time[s]");
  cv.WriteCell("AI1[V]");
  cv.WriteCell("AI2[V]");
  cv.EndLine();
  cv.analog.valuesPresent = true;
  const ChannelScale& ai1 = cv.analog.scales[8];
  const ChannelScale& ai2 = cv.analog.scales[9];
  const std::string& delimiter = cv.output->delimiter();
  // The voltage cells are plain "%.<d>f" texts (CSV decimals, no thermocouple on these inputs):
  // with a one-character delimiter each row is written by the loop below with nothing decided
  // per row, otherwise cell by cell.
  bool plain = delimiter.size() == 1 && PlainCsvDecimals(ai1) && PlainCsvDecimals(ai2);
  for (uint32_t k = 0; k < rows && cv.output->result().ok(); ++k) {
    // One row in place: "%.9f" of the time in seconds, then the two voltage cells.
    TextOutput& out = *cv.output;
    char* p = cv.PutCellStart(out.BeginAppend(3 * kMaxAnalogCell));
    p = text::PutPlainFixed(p, static_cast<double>(k - pre) * 1e-9 * static_cast<double>(interval),
                            9);
    // Each half is a signed 16-bit reading; sign-extended it reads like a 24-bit raw word.
    uint32_t sample = data.Sample(k);
    uint32_t raw[2] = {static_cast<uint32_t>(int32_t{static_cast<int16_t>(sample & 0xFFFF)}),
                       static_cast<uint32_t>(int32_t{static_cast<int16_t>(sample >> 16)})};
    if (plain) {
      *p = delimiter[0];
      p = text::detail::PutPlainFixed(p + 1, ScaleSample(ai1, raw[0]), 1 - ai1.decimals);
      *p = delimiter[0];
      p = text::detail::PutPlainFixed(p + 1, ScaleSample(ai2, raw[1]), 1 - ai2.decimals);
    } else {
      p = PutAnalogCell(p, cv, cv.analog, 8, raw, 0);
      p = PutAnalogCell(p, cv, cv.analog, 9, raw, 0);
    }
    out.EndAppend(p);
    cv.EndLine();
  }
}

}  // namespace dtconv
