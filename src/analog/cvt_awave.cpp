#include "analog/cvt_awave.h"

#include <algorithm>

#include "output/text.h"
#include "report/time_columns.h"

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

}  // namespace

void ConvertAnalogWave(CTxtCvtAWave& cv, const MonitorData& data, ConverterContext& context) {
  cv.Bind(data, context, true, static_cast<TimeStyle>(context.timeStampStyle));
  SetupChannelScales(data, true, cv.analog);
  if (data.samples == nullptr || data.sampleCount == 0 || data.wave.Present() == 0) return;

  uint32_t rows = std::min(data.sampleCount, kMaxWaveRows);
  int64_t pre = PreTriggerCount(data.wave);
  int64_t interval = IntervalNanoseconds(data.wave.IntervalCode());

  cv.WriteCell("Time[s]");
  cv.WriteCell("AI1[V]");
  cv.WriteCell("AI2[V]");
  cv.EndLine();
  const ChannelScale& ai1 = cv.analog.scales[8];
  const ChannelScale& ai2 = cv.analog.scales[9];
  // The voltages in the CSV form of their scales: "%.<1 - decimals>f".
  const text::PlainFixedColumn ai1Cells(1 - ai1.decimals), ai2Cells(1 - ai2.decimals);
  TextOutput& out = *cv.output;
  const text::Delimiter d(out.delimiter());
  for (uint32_t k = 0; k < rows && out.result().ok(); ++k) {
    // "%.9f" of the time in seconds, then the two voltages. Each half of a sample is a signed
    // 16-bit reading; sign-extended it reads like a 24-bit raw word.
    char* p = out.BeginRow();
    p = text::PutFixed(p, static_cast<double>(k - pre) * 1e-9 * static_cast<double>(interval), 9);
    uint32_t sample = data.Sample(k);
    auto low = static_cast<uint32_t>(int32_t{static_cast<int16_t>(sample & 0xFFFF)});
    auto high = static_cast<uint32_t>(int32_t{static_cast<int16_t>(sample >> 16)});
    p = ai1Cells.Put(d.Put(p), ScaleSample(ai1, low));
    out.EndRow(ai2Cells.Put(d.Put(p), ScaleSample(ai2, high)));
  }
}

}  // namespace dtconv
