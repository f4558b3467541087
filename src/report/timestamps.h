// Every time text of the reports: the 14-character time column of text rows with its title, the
// CSV time cells, and the UTC date and time of a GNSS fix.
//
// Timestamp styles: 0 difference to the previous row, 1 local time to the microsecond, 2 to the
// millisecond, 3 local date and time to the second, 4 elapsed microseconds, 5 elapsed
// milliseconds, 6 elapsed days and time, 7/8/9 CSV with a microsecond / millisecond / no
// sub-second cell, 10 full local date and time.
#pragma once

#include <cstdint>
#include <cstring>

#include "input/monitor_record.h"
#include "output/text.h"
#include "output/text_output.h"
#include "platform/platform.h"
#include "report/cvt_base.h"

namespace dtconv {

const char* TimeColumnTitle(int32_t style);

// The time column of a text row (14 characters for styles 0 to 6). Updates the previous
// timestamp in style 0.
void FormatTimeColumn(const MonitorRecord& record, CTxtCvtBase& cv, char (&text)[64]);
// PutTimeColumn for every style and every record.
char* PutAnyTimeColumn(char* p, const MonitorRecord& record, CTxtCvtBase& cv);

struct TimeCells {
  char date[32];
  char time[32];
  char subSecond[32];  // empty for styles without a sub-second cell
  char difference[32];
  char elapsed[32];
};
// Every CSV time cell at once; always updates the previous timestamp.
void FormatTimeCells(const MonitorRecord& record, CTxtCvtBase& cv, TimeCells* cells);
inline constexpr size_t kMaxTimeCells = 5 * (63 + 31);
// PutTimeCells for every case: the Elapsed and TimeDiff cells, and a record outside the second
// of the previous row.
char* PutAnyTimeCells(char* p, const MonitorRecord& record, CTxtCvtBase& cv, bool elapsed,
                      bool difference);

namespace detail {
// v / 1000 of any 32-bit value, as a multiplication: the compiler may emit a division
// instruction for a block it deems rarely run, and this one runs once per row.
inline uint32_t Thousandths(uint32_t v) {
  return static_cast<uint32_t>((uint64_t{v} * 274877907u) >> 38);
}
// "%u" of a value below 10^6.
inline char* PutBelowMillion(char* p, uint32_t v) {
  if (v < 1000) return text::PutSmallUnsigned(p, v);
  uint32_t high = Thousandths(v);
  p = text::PutSmallUnsigned(p, high);
  return text::PutDigits<3>(p, v - high * 1000);
}
}  // namespace detail

// FormatTimeColumn's text written at `p` (room for 63 characters); returns its end. The usual
// row of style 2 (milliseconds), in the second of the row before it, copies that second's time
// text and adds its milliseconds here; everything else goes through PutAnyTimeColumn.
inline char* PutTimeColumn(char* p, const MonitorRecord& record, CTxtCvtBase& cv) {
  uint64_t timestamp = record.Timestamp();
  const SecondTexts& s = cv.localTimes.second;
  if (cv.timeStampStyle != 2 || !s.shown ||
      !s.Covers(timestamp, cv.timeBaseSeconds, cv.timeBaseNanoseconds)) {
    return PutAnyTimeColumn(p, record, cv);
  }
  // " HH:MM:SS.mmm ": the second's time text as the CSV cells keep it (the hour and minute and
  // "%02d" of the second), then the milliseconds from the microseconds into the second.
  *p = ' ';
  std::memcpy(p + 1, s.time, sizeof s.time);
  p += 1 + s.timeLength;
  auto us = static_cast<uint32_t>(s.firstMicro + (timestamp - s.first));
  text::detail::Store8(
      p, '.' | text::detail::ThreeDigitsText(detail::Thousandths(us)) << 8 | uint64_t{' '} << 32);
  return p + 5;
}

// The time cells of a CSV row written at `p` as cells of cv (PutCellStart): Elapsed when
// `elapsed`, Date, Time, the sub-second cell in styles 7 and 8, TimeDiff when `difference`.
// Always updates the previous timestamp. Needs room for kMaxTimeCells characters. The usual
// row, in the second of the row before it, copies that second's date and time texts and adds
// its sub-second digits here; everything else goes through PutAnyTimeCells. `delimiter` is the
// writer's (a CellDelimiter or CharDelimiter).
template <typename Delimiter>
inline char* PutTimeCells(char* p, const MonitorRecord& record, CTxtCvtBase& cv, bool elapsed,
                          bool difference, const Delimiter& delimiter) {
  uint64_t timestamp = record.Timestamp();
  const SecondTexts& s = cv.localTimes.second;
  if (elapsed || difference || !s.Covers(timestamp, cv.timeBaseSeconds, cv.timeBaseNanoseconds)) {
    return PutAnyTimeCells(p, record, cv, elapsed, difference);
  }
  p = cv.PutCellStart(p);
  std::memcpy(p, s.date, sizeof s.date);
  p += s.dateLength;
  // A field is on the line now: the other cells follow the delimiter.
  p = delimiter.Put(p);
  std::memcpy(p, s.time, sizeof s.time);
  p += s.timeLength;
  if (cv.timeStampStyle == 7 || cv.timeStampStyle == 8) {
    p = delimiter.Put(p);
    if (!s.shown) {
      *p++ = '-';
    } else {
      auto us = static_cast<uint32_t>(s.firstMicro + (timestamp - s.first));
      if (cv.timeStampStyle == 7) {
        p = detail::PutBelowMillion(p, us);
      } else {
        p = text::PutSmallUnsigned(p, detail::Thousandths(us));
      }
    }
  }
  cv.previousTimestamp = static_cast<int64_t>(timestamp);
  return p;
}

// UTC date and time of a GNSS fix as received, or "--------" twice when not valid.
void FormatFixDateTime(const MonitorRecord& fix, bool valid, char (&date)[32], char (&time)[32]);
// The same two texts written at `p` (room for 10 characters); each returns its end.
char* PutFixDate(char* p, const MonitorRecord& fix, bool valid);
char* PutFixTime(char* p, const MonitorRecord& fix, bool valid);

// The absolute time of a record: seconds since 1970 and nanoseconds within the second.
struct AbsoluteTime {
  int64_t seconds;
  int64_t nanoseconds;
};
AbsoluteTime RecordTime(uint64_t timestamp, int64_t baseSeconds, int64_t baseNanoseconds);

// Local broken-down time of an absolute time; false when it cannot be represented (before 1970
// or after the year 3000), in which case the texts show dashes of the same width. The converters
// go through their LocalTimeCache, which gives the same answers.
bool RecordLocalTime(int64_t seconds, platform::LocalTime* out);

}  // namespace dtconv
