// What a conversion keeps of a capture when the user narrows it down: the CAN identifiers to keep
// (--ids) and a time window (--from, --to). The user's choice (RecordSelection) is parsed once per
// run; the filter of one capture (RecordFilter) is settled from it when the capture is loaded, as
// the clock times depend on the capture's start, and the converters ask it one question per record
// or frame.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dtconv {

// One entry of an identifier list: identifiers low..high of the frame formats it names.
struct IdRange {
  uint32_t low = 0;
  uint32_t high = 0;
  bool standard = true;  // 11-bit identifiers
  bool extended = true;  // 29-bit identifiers

  bool operator==(const IdRange&) const = default;
};

// One end of the time window as the user gives it: seconds from the capture's start ("12.5"), or
// a clock time of day in the zone of the time columns ("09:31:00", "09:31", "09:31:00.250").
struct TimeBound {
  enum class Kind : uint8_t { kNone, kElapsed, kClock };
  Kind kind = Kind::kNone;
  uint64_t micros = 0;  // kElapsed: since the capture's start; kClock: since midnight

  bool given() const { return kind != Kind::kNone; }
  bool operator==(const TimeBound&) const = default;
};

// The user's choice of records, as the job record carries it. Empty: everything is kept.
struct RecordSelection {
  std::vector<IdRange> ids;  // empty: every identifier
  TimeBound from;            // the first instant kept
  TimeBound to;              // the first instant no longer kept

  bool any() const { return !ids.empty() || from.given() || to.given(); }
  bool operator==(const RecordSelection&) const = default;
};

// Parses an identifier list: entries separated by commas, each a hexadecimal identifier ("0x"
// optional, as the outputs write identifiers without it) or a range "low-high", optionally
// prefixed "s:" (11-bit frames only) or "x:" (29-bit frames only). Returns false with *error set
// for anything else, for an identifier beyond 29 bits (11 bits after "s:") and for a range whose
// end lies below its start.
bool ParseIdList(std::string_view text, std::vector<IdRange>* ids, std::string* error);

// Parses one end of the time window: seconds with up to six decimals, or a clock time HH:MM or
// HH:MM:SS with up to six decimals. Returns false with *error set for anything else.
bool ParseTimeBound(std::string_view text, TimeBound* bound, std::string* error);

// The filter of one capture: which frame identifiers are listed, and the window of record
// timestamps [from, to) in microseconds since the capture's start. The default keeps everything.
class RecordFilter {
 public:
  static constexpr uint64_t kEnd = ~uint64_t{0};

  void SetIds(const std::vector<IdRange>& ids);
  void SetWindow(uint64_t from, uint64_t to) {
    from_ = from;
    span_ = to > from ? to - from : 0;
    active_ = hasIds_ || from_ != 0 || span_ != kEnd;
  }

  // Whether a record with this timestamp lies in the window (one subtraction and comparison: a
  // timestamp before `from` wraps round to beyond the span).
  bool InWindow(uint64_t timestamp) const { return timestamp - from_ < span_; }
  // Whether an identifier list was given; without one every identifier is kept.
  bool hasIds() const { return hasIds_; }
  // Whether `id` of a frame of this format is listed.
  bool KeepsId(uint32_t id, bool extended) const;
  // Whether anything is left out at all: without a filter, the converters ask nothing more.
  bool active() const { return active_; }
  uint64_t from() const { return from_; }
  uint64_t to() const { return span_ == kEnd ? kEnd : from_ + span_; }

 private:
  uint64_t from_ = 0;
  uint64_t span_ = kEnd;
  bool hasIds_ = false;
  bool active_ = false;
  uint64_t standard_[2048 / 64] = {};  // one bit per 11-bit identifier
  std::vector<IdRange> extended_;      // sorted, merged ranges of 29-bit identifiers
};

}  // namespace dtconv
