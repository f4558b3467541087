// The wide signal table: a row per decoded frame, a column per selected signal with its latest
// value.
#include <cstring>

#include "signals/signal_tables.h"

namespace dtconv::signals {

namespace {

constexpr uint32_t kNoPlan = ~uint32_t{0};

// The plan of each selected signal's message.
std::vector<uint32_t> PlanOfSignals(const SignalSelection& selection) {
  std::vector<uint32_t> planOf(selection.signals().size(), kNoPlan);
  const std::vector<MessagePlan>& plans = selection.plans();
  for (size_t c = 0; c < planOf.size(); ++c) {
    for (size_t p = 0; p < plans.size(); ++p) {
      if (&plans[p].message() == selection.signals()[c].message) {
        planOf[c] = static_cast<uint32_t>(p);
        break;
      }
    }
  }
  return planOf;
}

}  // namespace

WideTable::WideTable(CTxtCvtSignals& cv, const SignalSetup& setup, const std::vector<bool>& split)
    : cv_(cv),
      setup_(setup),
      texts_(*cv.texts),
      d_(cv.output->delimiter()),
      quote_(cv.texts->valuesNeedQuotes()),
      room_(*cv.output, 0) {
  std::vector<uint32_t> planOf = PlanOfSignals(setup.selection);
  size_t signals = planOf.size();
  columnOf_.resize(2 * signals);
  signalsOfPlan_.resize(setup.selection.plans().size());
  for (size_t c = 0; c < signals; ++c) {
    if (planOf[c] != kNoPlan) signalsOfPlan_[planOf[c]].push_back(static_cast<uint32_t>(c));
    bool perLine = planOf[c] != kNoPlan && split[planOf[c]];
    columnOf_[2 * c] = static_cast<uint32_t>(titles_.size());
    titles_.push_back(texts_.Title(c, perLine ? 1 : 0));
    if (perLine) titles_.push_back(texts_.Title(c, 2));
    columnOf_[2 * c + 1] = static_cast<uint32_t>(titles_.size() - 1);
  }
  slots_.assign(titles_.size() * kSlot, '\0');
  lengths_.assign(titles_.size(), 0);
  // The runs: a column belongs to the plan of its signal and, where split, to its line.
  std::vector<uint64_t> owner(titles_.size());
  for (size_t c = 0; c < signals; ++c) {
    for (uint32_t line = 0; line < 2; ++line) {
      bool perLine = planOf[c] != kNoPlan && split[planOf[c]];
      owner[columnOf_[2 * c + line]] = uint64_t{planOf[c]} << 1 | (perLine ? line : 0);
    }
  }
  size_t cellRoom = d_.text().size() + kSlot;
  for (uint32_t column = 0; column < titles_.size(); ++column) {
    if (runs_.empty() || owner[column] != owner[runs_.back().first]) {
      size_t at = runs_.empty() ? 0 : runs_.back().at + runs_.back().count * cellRoom;
      runs_.push_back({column, 0, at, 0, true});
    }
    ++runs_.back().count;
    runOf_.push_back(static_cast<uint32_t>(runs_.size() - 1));
  }
  runText_.assign(titles_.size() * cellRoom + TextOutput::kRowSlack, '\0');
  size_t longest =
      kMaxTimeAndLine + d_.text().size() + texts_.longestMessage() +
      titles_.size() * (d_.text().size() + (quote_ ? kMaxValueCell : kMaxSignalValueChars)) +
      ExtraColumns::kMaxCells;
  room_ = RowRoom(*cv.output, longest);
}

void WideTable::WriteTitles() {
  cv_.WriteTimeTitles(cv_.elapsed, cv_.difference);
  cv_.WriteCell("Ch");
  cv_.WriteCell("Message");
  for (const std::string& title : titles_) cv_.WriteCell(title.c_str());
  cv_.extra.WriteTitles(cv_);
  cv_.EndLine();
}

// A frame shorter than its message: the signals that lie past its data have no value now.
void WideTable::ClearPastData(const DecodedFrame& f) {
  const std::vector<SelectedSignal>& selected = setup_.selection.signals();
  for (uint32_t c : signalsOfPlan_[f.plan]) {
    if (selected[c].signal->layout.bytesNeeded > f.frame->count) {
      uint32_t column = columnOf_[2 * c + static_cast<uint32_t>(f.line - 1)];
      lengths_[column] = 0;
      runs_[runOf_[column]].changed = true;
    }
  }
}

// Time cells, Ch, Message, then every column's latest value and the extra columns, each after
// the delimiter.
void WideTable::Rows(const DecodedFrame& f) {
  const std::vector<SelectedSignal>& selected = setup_.selection.signals();
  if (f.frame->count < setup_.selection.plans()[f.plan].message().size) [[unlikely]] {
    ClearPastData(f);
  }
  for (size_t i = 0; i < f.count; ++i) {
    const DecodedValue& v = f.values[i];
    uint32_t column = columnOf_[2 * v.column + static_cast<uint32_t>(f.line - 1)];
    char* slot = slots_.data() + column * kSlot;
    char* end = PutValueCell(slot, *selected[v.column].signal, v.raw, quote_, d_.text());
    lengths_[column] = static_cast<uint8_t>(end - slot);
    runs_[runOf_[column]].changed = true;
  }
  char* p = PutTimeAndLine(room_.Begin(), cv_, f, d_);
  p = text::PutText(d_.Put(p), texts_.Message(f.plan));
  for (Run& run : runs_) {
    if (run.changed) RebuildRun(run);
    p = text::PutText(p, std::string_view(runText_.data() + run.at, run.length));
  }
  room_.End(cv_.extra.Put(p));
}

// The cells of a run's columns, each after the delimiter.
void WideTable::RebuildRun(Run& run) {
  char* start = runText_.data() + run.at;
  char* p = start;
  for (uint32_t column = run.first; column < run.first + run.count; ++column) {
    p = text::PutText(d_.Put(p),
                      std::string_view(slots_.data() + column * kSlot, lengths_[column]));
  }
  run.length = static_cast<size_t>(p - start);
  run.changed = false;
}

}  // namespace dtconv::signals
