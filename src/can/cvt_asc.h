// CAN and CAN FD frames as a Vector ASC log: the "date" and "base hex  timestamps absolute"
// header, one trigger block with every frame of the selected lines on channel 1 (CH1) or 2 (CH2),
// classic frames as "Rx d" and "Rx r" lines, CAN FD frames as "CANFD" lines with BRS, ESI, DLC and
// data length, and an "ErrorFrame" line wherever the PCAP writer writes an error packet.
// Timestamps are seconds since the capture start with six decimals; the date lines give the
// capture start in local time.
#pragma once

#include "report/cvt_base.h"

namespace dtconv {

class CTxtCvtAsc final : public CTxtCvtBase {
 public:
  RecordKind NextRecord(RecordCursor& cursor) override;
  RecordKind FirstRecord(RecordCursor& cursor) override;
};

// Writes the whole log through the context's writer, one line at a time; the outcome is the
// writer's result code.
void ConvertAsc(CTxtCvtAsc& cv, const MonitorData& data, ConverterContext& context);

}  // namespace dtconv
