// Analog samples to a fixed-column text report (one line per sample) or a CSV table.
#pragma once

#include "analog/analog_row.h"
#include "analog/channel_scale.h"
#include "gnss/gnss_fix.h"
#include "input/monitor_data.h"
#include "output/converter_context.h"
#include "report/cvt_base.h"

namespace dtconv {

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
  GnssColumns gnssColumns;

  // The records the walk reports: samples, markers, and fixes when the GNSS columns are on.
  AcceptRule Rule() const;
};

// The entry for analog text (type 1) and CSV (type 4) conversions; the result is left in the
// writer's result code.
void ConvertAnalog(CTxtCvtANA& cv, const MonitorData& data, ConverterContext& context);

// The sample whose head record is at the cursor: its words and junction temperature in the head,
// channels 5-8 in the continuation record. False for a sample of more than four channels without
// its continuation record (`high` is then left as it was).
bool ReadSample(const RecordCursor& cursor, int channelCount, AnalogSample* sample);

}  // namespace dtconv
