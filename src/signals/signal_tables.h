// The two signal tables' rows, for the walk of cvt_signals.cpp: each table takes the decoded
// values of one frame at a time and writes its rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "can/can_frame.h"
#include "output/text.h"
#include "output/text_output.h"
#include "signals/cvt_signals.h"
#include "signals/signal_texts.h"

namespace dtconv::signals {

// One decoded frame: where it was recorded and what its selected signals hold.
struct DecodedFrame {
  const MonitorRecord* head;
  int line;  // 1 or 2
  const CanFrame* frame;
  size_t plan;  // index in SignalSelection::plans()
  const DecodedValue* values;
  size_t count;  // at least one
};

// The room a row is built in: the writer's row where the longest row fits one, otherwise a buffer
// of its own whose row goes to the writer as one line (a wide table of many signals).
class RowRoom {
 public:
  RowRoom(TextOutput& out, size_t longestRow) : out_(&out) {
    if (longestRow + TextOutput::kRowSlack > TextOutput::kMaxRow) {
      buffer_.resize(longestRow + TextOutput::kRowSlack);
    }
  }
  char* Begin() { return buffer_.empty() ? out_->BeginRow() : buffer_.data(); }
  void End(char* end) {
    if (buffer_.empty()) {
      out_->EndRow(end);
      return;
    }
    out_->AppendText(std::string_view(buffer_.data(), static_cast<size_t>(end - buffer_.data())));
    out_->FlushLine();
  }

 private:
  TextOutput* out_;
  std::vector<char> buffer_;
};

// The cells of the time columns and the line ("Ch") that begin every row of both tables: the CSV
// time cells of the chosen timestamp style, then the line digit after the delimiter. At most
// kMaxCells characters.
inline char* PutTimeAndLine(char* p, CTxtCvtSignals& cv, const DecodedFrame& f,
                            const text::Delimiter& d) {
  p = cv.times.PutCells(p, *f.head, d, cv.elapsed, cv.difference);
  p = d.Put(p);
  *p++ = static_cast<char>('0' + f.line);
  return p;
}
// Five time cells of up to 20 characters and the line, each after a delimiter.
inline constexpr size_t kMaxTimeAndLine = 6 * (63 + 20);

// A value's cell after the delimiter: its text, quoted where the delimiter may occur in it.
inline char* PutValueCell(char* p, const Signal& s, uint64_t raw, bool quote,
                          std::string_view delimiter) {
  if (!quote) return PutSignalValue(p, s, raw);
  char value[kMaxSignalValueChars + 32];
  char* end = PutSignalValue(value, s, raw);
  return text::PutCsvCell(p, std::string_view(value, static_cast<size_t>(end - value)), delimiter);
}
inline constexpr size_t kMaxValueCell = 2 * kMaxSignalValueChars + 2;

// The wide table: time cells, Ch, Message, one column per selected signal (per line where its
// message is decoded on both lines) with its latest value, then the analog and GNSS columns.
class WideTable {
 public:
  // `split` tells for each plan whether its signals have a column per line.
  WideTable(CTxtCvtSignals& cv, const SignalSetup& setup, const std::vector<bool>& split);
  void WriteTitles();
  void Rows(const DecodedFrame& f);

 private:
  void ClearPastData(const DecodedFrame& f);

  CTxtCvtSignals& cv_;
  const SignalSetup& setup_;
  const SignalTexts& texts_;
  text::Delimiter d_;
  bool quote_;
  // Each selected signal's column on line 1 and on line 2 (the same one unless split).
  std::vector<uint32_t> columnOf_;
  // The selected signals of each plan, for a frame shorter than its message: the cells of those
  // that lie past its data become empty.
  std::vector<std::vector<uint32_t>> signalsOfPlan_;
  std::vector<std::string> titles_;
  // The latest value text of each column (kSlot characters each) and its length; 0 before the
  // first value.
  static constexpr size_t kSlot = kMaxValueCell + 38;
  std::vector<char> slots_;
  std::vector<uint8_t> lengths_;
  // Consecutive columns that the frames of one message on one line change together, with their
  // cells (each after the delimiter) as the rows copy them, rebuilt only after a change: a row
  // copies a few runs instead of every cell.
  struct Run {
    uint32_t first;
    uint32_t count;
    size_t at;  // in runText_
    size_t length;
    bool changed;
  };
  void RebuildRun(Run& run);
  std::vector<Run> runs_;
  std::vector<uint32_t> runOf_;  // of each column
  std::vector<char> runText_;
  RowRoom room_;
};

// The long table: one row per value, time cells, Ch, ID, Message, Signal, Value, Unit, Text.
class LongTable {
 public:
  LongTable(CTxtCvtSignals& cv, const SignalSetup& setup);
  void WriteTitles();
  void Rows(const DecodedFrame& f);

 private:
  char* PutFramePart(char* p, const DecodedFrame& f);

  CTxtCvtSignals& cv_;
  const SignalSetup& setup_;
  const SignalTexts& texts_;
  text::Delimiter d_;
  bool quote_;
  RowRoom room_;
  // The cells every row of a frame begins with, up to its Message cell: built once per frame
  // unless the TimeDiff cell makes each row's own.
  std::vector<char> frame_;
  size_t frameLength_ = 0;
};

}  // namespace dtconv::signals
