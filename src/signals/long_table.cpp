// The long signal table: a row per decoded value.
#include <cstring>

#include "signals/signal_tables.h"

namespace dtconv::signals {

LongTable::LongTable(CTxtCvtSignals& cv, const SignalSetup& setup)
    : cv_(cv),
      setup_(setup),
      texts_(*cv.texts),
      d_(cv.output->delimiter()),
      quote_(cv.texts->valuesNeedQuotes()),
      room_(*cv.output, kMaxTimeAndLine + 7 * d_.text().size() + 8 + texts_.longestMessage() +
                            kMaxValueCell + texts_.longestLongCells()),
      frame_(kMaxTimeAndLine + 3 * d_.text().size() + 8 + texts_.longestMessage() +
             TextOutput::kRowSlack) {}

void LongTable::WriteTitles() {
  cv_.WriteTimeTitles(cv_.elapsed, cv_.difference);
  for (const char* title : {"Ch", "ID", "Message", "Signal", "Value", "Unit", "Text"}) {
    cv_.WriteCell(title);
  }
  cv_.EndLine();
}

// The cells of a frame's rows up to the Signal cell: time cells, Ch, ID ("%03X" or "%08X", as in
// the CAN table) and Message, each after the delimiter, and the delimiter after them.
char* LongTable::PutFramePart(char* p, const DecodedFrame& f) {
  p = PutTimeAndLine(p, cv_, f, d_);
  p = text::PutHex(d_.Put(p), f.frame->id, f.frame->kind.idBits == 29 ? 8 : 3);
  p = text::PutText(d_.Put(p), texts_.Message(f.plan));
  return d_.Put(p);
}

// A row per value: the frame's part (built once for the frame, unless each row has a TimeDiff
// cell of its own), then Signal, Value, Unit and Text, each after the delimiter.
void LongTable::Rows(const DecodedFrame& f) {
  if (!cv_.difference) {
    frameLength_ = static_cast<size_t>(PutFramePart(frame_.data(), f) - frame_.data());
  }
  const std::vector<SelectedSignal>& selected = setup_.selection.signals();
  for (size_t i = 0; i < f.count && cv_.output->result().ok(); ++i) {
    const DecodedValue& v = f.values[i];
    char* p = room_.Begin();
    if (cv_.difference) {
      p = PutFramePart(p, f);
    } else {
      p = text::PutText(p, std::string_view(frame_.data(), frameLength_));
    }
    p = text::PutText(p, texts_.SignalName(v.column));
    p = PutValueCell(d_.Put(p), *selected[v.column].signal, v.raw, quote_, d_.text());
    p = text::PutText(d_.Put(p), texts_.Unit(v.column));
    p = text::PutText(d_.Put(p), texts_.ValueTableCell(v.column, v.raw));
    room_.End(p);
  }
}

}  // namespace dtconv::signals
