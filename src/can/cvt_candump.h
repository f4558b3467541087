// CAN and CAN FD frames as a SocketCAN candump log, the form canplayer replays:
// "(1796549401.000250) can0 123#1122334455667788", "##" and the CAN FD flags nibble for CAN FD
// frames, "R" for remote frames and a CAN_ERR frame wherever the PCAP writer writes an error
// packet. Each line's interface name says its line (CH1, CH2); timestamps are seconds since 1970
// with six decimals.
#pragma once

#include "report/cvt_base.h"

namespace dtconv {

class CTxtCvtCandump final : public CTxtCvtBase {
 public:
  RecordKind NextRecord(RecordCursor& cursor) override;
  RecordKind FirstRecord(RecordCursor& cursor) override;
};

// Writes the whole log through the context's writer, one line per frame, with the interface
// names of the context; the outcome is the writer's result code.
void ConvertCandump(CTxtCvtCandump& cv, const MonitorData& data, ConverterContext& context);

}  // namespace dtconv
