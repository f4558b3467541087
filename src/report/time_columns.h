// Every time text of the rows: the fixed-width time column of text reports with its title, and
// the time cells of CSV tables, from the 48-bit microsecond timestamps of the records and the
// capture's time base.
#pragma once

#include <cstdint>
#include <cstring>

#include "input/monitor_record.h"
#include "output/text.h"
#include "platform/platform.h"

namespace dtconv {

// The timestamp styles, as the job record stores them (CvtSettings::timeStampStyle). Any other
// value is written as kElapsedMilliseconds is, with the title "-----TIME-----".
enum class TimeStyle : int32_t {
  kDelta = 0,                // " %05d.%06d " since the previous row
  kMinuteMicroseconds = 1,   // " %02d:%02d.%06d " local minute, second and microseconds
  kClockMilliseconds = 2,    // " %02d:%02d:%02d.%03d " local time to the millisecond
  kDateSeconds = 3,          // "%02d/%02d %02d:%02d:%02d" local month, day and time
  kElapsedMicroseconds = 4,  // " %05d.%06d " since the capture's start
  kElapsedMilliseconds = 5,  // " %08d.%03d " since the capture's start
  kElapsedDays = 6,          // " %03d %02d:%02d:%02d " days and time since the start
  kCsvMicroseconds = 7,      // CSV: date, time and a microsecond cell
  kCsvMilliseconds = 8,      // CSV: date, time and a millisecond cell
  kCsvSeconds = 9,           // CSV: date and time
  kFullDate = 10,            // "%04d/%02d/%02d %02d:%02d:%02d" local date and time
};

// The 14-character title of a text report's time column.
const char* TimeColumnTitle(TimeStyle style);

// The absolute time of a record: seconds since 1970 and nanoseconds within the second. Signed
// 64-bit arithmetic that wraps rather than overflows: only a damaged time base comes near it.
struct AbsoluteTime {
  int64_t seconds;
  int64_t nanoseconds;
};
AbsoluteTime RecordTime(uint64_t timestamp, int64_t baseSeconds, int64_t baseNanoseconds);

// The last second both platforms' 64-bit local time converts: 3000-12-31 23:59:59 UTC.
inline constexpr int64_t kLastLocalSecond = 32535215999;
// Local broken-down time of an absolute time; false when it cannot be represented (before 1970
// or after the year 3000), where the time texts show dashes of the same width.
bool RecordLocalTime(int64_t seconds, platform::LocalTime* out);

// The time texts of one conversion. It keeps the previous row's timestamp (for the differences)
// and the texts of the latest second and minute, so that the local date and time are asked of
// the platform about once a minute of capture and a row formats only its sub-second digits.
class TimeColumns {
 public:
  // Starts a conversion: its style and time base; there is no previous row yet.
  void Reset(TimeStyle style, int64_t baseSeconds, int64_t baseNanoseconds);
  TimeStyle style() const { return style_; }

  // The time column of a text row (14 characters for styles 0 to 6, 19 for style 10). In style 0
  // the previous timestamp becomes this record's.
  char* PutColumn(char* p, const MonitorRecord& record) {
    uint64_t t = record.Timestamp();
    if (InLatestSecond(t) && second_.columnLength != 0) return PutSecondColumn(p, t);
    return PutAnyColumn(p, t);
  }

  // The time cells of a CSV row, each after `d` but the first: Elapsed (" %d.%06d " with its
  // blanks) when `elapsed`, Date ("%04d/%02d/%02d"), Time ("%02d:%02d:%02d"), the microseconds
  // or milliseconds ("%d") in styles 7 and 8, TimeDiff ("%d.%06d", or "--------" without a
  // previous row) when `difference`. The previous timestamp always becomes this record's.
  char* PutCells(char* p, const MonitorRecord& record, const text::Delimiter& d, bool elapsed,
                 bool difference) {
    uint64_t t = record.Timestamp();
    if (!elapsed && !difference && InLatestSecond(t)) return PutSecondCells(p, t, d);
    return PutAnyCells(p, t, d, elapsed, difference);
  }
  // How many cells PutCells puts.
  int CellCount(bool elapsed, bool difference) const;

 private:
  // A local time converted by the platform, with the texts every second of its minute shares.
  struct Clock {
    platform::LocalTime time;  // the second included
    char date[16];             // "%04d/%02d/%02d"
    char hourMinute[8];        // "%02d:%02d"
  };
  // The texts of the second the latest row lay in: records with timestamps in [first,
  // first + span) lie in it, `first` lies firstMicro whole microseconds into it.
  struct Second {
    bool valid = false;
    uint64_t first = 0;
    uint64_t span = 0;
    uint32_t firstMicro = 0;
    bool shown = false;  // false: the time cannot be represented, the texts are dashes
    char date[16] = {};  // "%04d/%02d/%02d"
    int dateLength = 0;
    char time[16] = {};  // "%02d:%02d:%02d"
    int timeLength = 0;
    char column[32] = {};  // the text column up to its sub-second digits
    int columnLength = 0;
  };

  // The local time of `seconds` since 1970, or null when it cannot be represented. The platform
  // converts a minute's first and last second; when both agree on the minute, every second of
  // it is derived from the first (zones with second offsets, leap seconds and changes of offset
  // inside the minute have each second converted on its own).
  const Clock* ClockOf(int64_t seconds);
  const Second* SecondOf(uint64_t timestamp);
  char* PutAnyColumn(char* p, uint64_t timestamp);
  char* PutLocalColumn(char* p, uint64_t timestamp);
  char* PutAnyCells(char* p, uint64_t timestamp, const text::Delimiter& d, bool elapsed,
                    bool difference);
  char* PutExactCells(char* p, uint64_t timestamp, const text::Delimiter& d);

  // The usual row lies in the second of the row before it, whose texts are kept: it writes them
  // and its own sub-second digits.
  bool InLatestSecond(uint64_t t) const {
    return second_.valid && second_.shown && t - second_.first < second_.span;
  }
  uint32_t MicrosecondsInSecond(uint64_t t) const {
    return static_cast<uint32_t>(second_.firstMicro + (t - second_.first));
  }
  char* PutSecondColumn(char* p, uint64_t t) const {
    std::memcpy(p, second_.column, sizeof second_.column);
    p += second_.columnLength;
    if (style_ == TimeStyle::kMinuteMicroseconds) {  // ".%06d "
      p = text::PutDigits<6>(p, MicrosecondsInSecond(t));
      *p++ = ' ';
    } else if (style_ == TimeStyle::kClockMilliseconds) {  // ".%03d "
      p = text::PutDigits<3>(p, text::detail::Thousandths(MicrosecondsInSecond(t)));
      *p++ = ' ';
    }
    return p;
  }
  char* PutSecondCells(char* p, uint64_t t, const text::Delimiter& d) {
    std::memcpy(p, second_.date, sizeof second_.date);
    p = d.Put(p + second_.dateLength);
    std::memcpy(p, second_.time, sizeof second_.time);
    p += second_.timeLength;
    if (style_ == TimeStyle::kCsvMicroseconds) {
      p = text::PutUnsigned(d.Put(p), MicrosecondsInSecond(t));
    } else if (style_ == TimeStyle::kCsvMilliseconds) {
      p = text::PutSmallUnsigned(d.Put(p), text::detail::Thousandths(MicrosecondsInSecond(t)));
    }
    previous_ = static_cast<int64_t>(t);
    return p;
  }
  // The difference to the previous row in microseconds; false when there is none (the first
  // row, 100 000 s and more, or a row recorded before the previous one). The previous timestamp
  // always becomes this one.
  bool Difference(uint64_t timestamp, int64_t* d);

  TimeStyle style_ = TimeStyle::kDelta;
  int64_t baseSeconds_ = 0;
  int64_t baseNanoseconds_ = 0;
  int64_t previous_ = -1;
  Second second_;
  Clock clock_{};
  bool clockValid_ = false;
  int64_t clockFirst_ = 0;  // the UTC seconds the clock covers
  int64_t clockLast_ = 0;
  int clockFirstSecond_ = 0;  // its local second at clockFirst_
};

}  // namespace dtconv
