// CAN and CAN FD frames as a pcapng capture: one interface per line ("CH1" interface 0, "CH2"
// interface 1) in the SocketCAN layout (link type 227) with microsecond timestamps, each frame an
// Enhanced Packet Block on its line's interface, with the error packets of the PCAP writer.
#pragma once

#include "report/cvt_base.h"

namespace dtconv {

class CTxtCvtPcapng : public CTxtCvtBase {
 public:
  RecordKind NextRecord(RecordCursor& cursor) override;
  RecordKind FirstRecord(RecordCursor& cursor) override;
};

// Writes the whole capture as raw bytes through the context's writer: the section header, both
// interfaces (whatever the signal line, so that an interface number always names the same
// line), then the packets of the selected lines in record order. The outcome is the writer's
// result code.
void ConvertPcapng(CTxtCvtPcapng& cv, const MonitorData& data, ConverterContext& context);

}  // namespace dtconv
