// CAN and CAN FD frames as a classic PCAP capture in the SocketCAN layout (link type 227), with
// one extra SocketCAN error packet for frames recorded with an error status.
#pragma once

#include "report/cvt_base.h"

namespace dtconv {

class CTxtCvtPcap : public CTxtCvtBase {
 public:
  RecordKind NextRecord(RecordCursor& cursor) override;
  RecordKind FirstRecord(RecordCursor& cursor) override;
};

// Writes the whole capture as raw bytes through the context's writer; the outcome is the
// writer's result code.
void ConvertPcap(CTxtCvtPcap& cv, const MonitorData& data, ConverterContext& context);

}  // namespace dtconv
