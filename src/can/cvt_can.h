// CAN and CAN FD frames as a fixed-column text report (one line per frame, continuation lines
// for long CAN FD frames) or a CSV table, optionally with analog and GNSS columns.
#pragma once

#include <cstddef>

#include "can/extra_columns.h"
#include "report/cvt_base.h"

namespace dtconv {

class CTxtCvtCAN : public CTxtCvtBase {
 public:
  RecordKind NextRecord(RecordCursor& cursor) override;
  RecordKind FirstRecord(RecordCursor& cursor) override;
  const char* Title() const override { return "MONITOR DATA (FRAME)"; }
  // Title line, then protocol and bit rates of both lines (recording kinds 0 and 4 only).
  void WriteSetupBlock() override;

  // Option flags (CSV only).
  bool relTimeStamp = false;
  bool diffTimeStamp = false;
  bool addAnalog = false;
  bool addGnss = false;
  // The analog and GNSS columns of CSV rows.
  ExtraColumns extra;
};

// Converts every frame of the capture; the outcome is the writer's result code.
void ConvertCan(CTxtCvtCAN& cv, const MonitorData& data, ConverterContext& context);

}  // namespace dtconv
