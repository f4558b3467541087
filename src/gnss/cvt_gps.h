// GNSS fixes to a text report (one line per fix) or a CSV table.
#pragma once

#include "input/monitor_data.h"
#include "output/converter_context.h"
#include "report/cvt_base.h"

namespace dtconv {

class CTxtCvtGPS : public CTxtCvtBase {
 public:
  RecordKind NextRecord(RecordCursor& cursor) override;
  RecordKind FirstRecord(RecordCursor& cursor) override;
  const char* Title() const override { return "MONITOR DATA (GPS)"; }
};

// Converts every fix of the capture; the outcome is the writer's result.
void ConvertGnss(CTxtCvtGPS& cv, const MonitorData& data, ConverterContext& context);

}  // namespace dtconv
