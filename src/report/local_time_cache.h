// Local date and time of record times, asked of the platform about once per minute of capture
// instead of once per record. Records come in time order, and within one UTC minute the local
// time moves on second by second unless the zone changes its offset inside that minute. So the
// platform converts the minute's first and last second; when the offset is a whole number of
// minutes and both agree, every second of the minute is derived from the first. Otherwise (zones
// with second offsets, leap seconds, a change inside the minute) each second is converted on its
// own.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace dtconv {

// The last second both platforms' 64-bit local time converts: 3000-12-31 23:59:59 UTC.
inline constexpr int64_t kLastLocalSecond = 32535215999;

// One converted time with the texts that every second of its minute shares.
struct LocalClock {
  platform::LocalTime time;  // broken-down local time, the second included
  char date[16];             // "%04d/%02d/%02d" of year, month, day
  int dateLength;
  char hourMinute[8];  // "%02d:%02d" of hour, minute
  int hourMinuteLength;
};

// The date and time cells that every record of one second shares, kept by the CSV writers so
// that a row formats only its sub-second digits. Records with timestamps in [first, first + span)
// lie in the second; `first` lies firstMicro whole microseconds into it. Valid only for the time
// base it was made with.
struct SecondTexts {
  bool valid = false;
  int64_t baseSeconds = 0;
  int64_t baseNanoseconds = 0;
  uint64_t first = 0;
  uint64_t span = 0;
  uint32_t firstMicro = 0;
  bool shown = false;  // false: the time cannot be represented and the cells show dashes
  char date[16] = {};  // "%04d/%02d/%02d" or dashes
  int dateLength = 0;
  char time[16] = {};  // "%02d:%02d:%02d" or dashes
  int timeLength = 0;

  bool Covers(uint64_t timestamp, int64_t seconds, int64_t nanoseconds) const {
    return valid && timestamp - first < span && baseSeconds == seconds &&
           baseNanoseconds == nanoseconds;
  }
};

class LocalTimeCache {
 public:
  // Forgets the cached minute (the time zone may have changed between conversions).
  void Reset() {
    valid_ = false;
    second.valid = false;
  }

  // The second of the latest CSV row or text time column (filled and used by PutTimeCells and
  // PutTimeColumn).
  SecondTexts second;

  // The local time of `seconds` since 1970-01-01 00:00:00 UTC, or null when it cannot be
  // represented (before 1970, after the year 3000, or refused by the platform).
  const LocalClock* Get(int64_t seconds) {
    if (valid_ && seconds >= first_ && seconds <= last_) {
      clock_.time.second = firstSecond_ + static_cast<int>(seconds - first_);
      return &clock_;
    }
    return Convert(seconds);
  }

 private:
  const LocalClock* Convert(int64_t seconds);

  bool valid_ = false;
  int64_t first_ = 0;  // the UTC seconds the cached entry covers
  int64_t last_ = 0;
  int firstSecond_ = 0;  // local second field at first_
  LocalClock clock_{};
};

}  // namespace dtconv
