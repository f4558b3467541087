// GNSS fixes as a KML 2.2 document: one path through the fixes with a position, and a "First"
// and a "Last" point.
#pragma once

#include "input/monitor_data.h"
#include "output/converter_context.h"
#include "report/cvt_base.h"

namespace dtconv {

class CTxtCvtKML : public CTxtCvtBase {
 public:
  RecordKind NextRecord(RecordCursor& cursor) override;
  RecordKind FirstRecord(RecordCursor& cursor) override;
};

void ConvertKml(CTxtCvtKML& cv, const MonitorData& data, ConverterContext& context);

}  // namespace dtconv
