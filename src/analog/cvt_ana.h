// Analog samples to a fixed-column text report (one line per sample) or a CSV table, and the
// analog value cell shared with the CAN and wave converters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "analog/channel_scale.h"
#include "gnss/gnss_fix.h"
#include "input/monitor_data.h"
#include "output/converter_context.h"
#include "output/text.h"
#include "report/cvt_base.h"

namespace dtconv {

// One analog value cell: index 0..7 reads raw[index], 8 and 9 read raw[index-8]; empty cell when
// !state.valuesPresent. Thermocouple channels print degrees C from the sample's reference-junction
// temperature, or "BURNOUT" for an open thermocouple.
void FormatAnalogCell(CTxtCvtBase& cv, const AnalogState& state, int index, const uint32_t* raw,
                      int16_t referenceTemp);

// The longest analog cell: a delimiter and a fixed-point text.
inline constexpr size_t kMaxAnalogCell = 63 + text::kMaxFixedChars;
// The same cell formatted in place at `p`, a BeginAppend area of cv's writer with room for
// kMaxAnalogCell characters; returns its end.
char* PutAnalogCell(char* p, CTxtCvtBase& cv, const AnalogState& state, int index,
                    const uint32_t* raw, int16_t referenceTemp);

class CTxtCvtANA : public CTxtCvtBase {
 public:
  RecordKind NextRecord(RecordCursor& cursor) override;
  RecordKind FirstRecord(RecordCursor& cursor) override;
  const char* Title() const override { return "MONITOR DATA (ANALOG)"; }
  // The title line (text form only), then the analog settings block.
  void WriteSetupBlock() override;

  AnalogState analog;
  bool elapsed = false;  // CSV: the Elapsed(sec.) column
  bool addGnss = false;  // CSV: the eight GNSS columns of the latest fix
  GnssColumnsCache gnssColumns;

  // The records the walk reports: samples, markers, and fixes when the GNSS columns are on.
  AcceptRule Rule() const;
};

// The entry for analog text (type 1) and CSV (type 4) conversions; the result is left in the
// writer's result code.
void ConvertAnalog(CTxtCvtANA& cv, const MonitorData& data, ConverterContext& context);

}  // namespace dtconv
