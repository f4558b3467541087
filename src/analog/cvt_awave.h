// The fast two-channel analog waveform around a trigger, as a CSV table of the time in seconds
// (negative before the trigger point) and the voltages of the two on-board inputs AI1 and AI2.
#pragma once

#include "analog/channel_scale.h"
#include "input/monitor_data.h"
#include "output/converter_context.h"
#include "report/cvt_base.h"

namespace dtconv {

class CTxtCvtAWave : public CTxtCvtBase {
 public:
  // The waveform is not made of records: there is nothing to walk.
  RecordKind NextRecord(RecordCursor&) override { return kKindEnd; }
  RecordKind FirstRecord(RecordCursor&) override { return kKindEnd; }

  AnalogState analog;
};

// The entry for analog wave conversions (type 6). A capture without a waveform gives an empty
// output; the result is left in the writer's result code.
void ConvertAnalogWave(CTxtCvtAWave& cv, const MonitorData& data, ConverterContext& context);

}  // namespace dtconv
