// The analog and GNSS columns at the end of CAN CSV rows, which the signal tables' rows carry too:
// the latest analog sample (AI1..AIn) and the latest GNSS fix (eight cells), each formatted once
// for all the rows that repeat it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "analog/analog_row.h"
#include "analog/channel_scale.h"
#include "gnss/gnss_fix.h"
#include "input/monitor_data.h"
#include "input/monitor_record.h"
#include "output/text.h"
#include "report/cvt_base.h"

namespace dtconv {

class ExtraColumns {
 public:
  // Settles the columns of one file: which are on, the channel scaling of its capture and the
  // delimiter before each cell (which must outlive the conversion); no sample or fix yet.
  void Reset(const MonitorData& data, bool addAnalog, bool addGnss, const text::Delimiter& d);

  bool analog() const { return addAnalog_; }
  bool gnss() const { return addGnss_; }
  int channelCount() const { return state_.channelCount; }
  // The records the columns need from the walk: analog samples and fixes, when they are on.
  void AddToRule(AcceptRule& rule) const {
    rule.analog = addAnalog_;
    rule.gnss = addGnss_;
  }

  // Takes the sample whose head record is at the cursor. An eight-channel sample without its
  // continuation record leaves the words of channels 5-8 as they were, and counts as present only
  // if an earlier one did.
  void TakeAnalog(const RecordCursor& cursor);
  void TakeGnss(const MonitorRecord& fix) { fix_ = &fix; }

  // The cells of the columns that are on, each after the delimiter: empty before the first whole
  // sample and the first fix.
  char* Put(char* p) {
    if (addAnalog_) p = PutAnalog(p);
    if (addGnss_) p = gnss_.Put(p, fix_, d_);
    return p;
  }
  // Their titles ("AI1".., then the GNSS titles), as cells of the current header row.
  void WriteTitles(CTxtCvtBase& cv) const;
  // The most characters Put writes, with delimiters of up to 63 characters.
  static constexpr size_t kMaxCells = AnalogRow::kMaxCells + 8 * (63 + 16);
  // How many cells Put writes.
  int CellCount() const { return (addAnalog_ ? state_.channelCount : 0) + (addGnss_ ? 8 : 0); }

 private:
  char* PutAnalog(char* p);

  bool addAnalog_ = false;
  bool addGnss_ = false;
  text::Delimiter d_{","};
  AnalogState state_;
  std::optional<AnalogRow> row_;  // refers to state_
  // The latest sample: the raw words of channels 1-4 and 5-8, and the junction temperature.
  uint8_t words_[32] = {};
  int16_t referenceTemp_ = 0;
  bool present_ = false;  // a whole sample has been read
  char cells_[AnalogRow::kMaxCells + 64] = {};
  size_t length_ = 0;  // of cells_; 0: to be formatted
  GnssColumns gnss_;
  const MonitorRecord* fix_ = nullptr;
};

}  // namespace dtconv
