#include "report/time_window.h"

#include "report/time_columns.h"

namespace dtconv {

namespace {

constexpr int64_t kMicro = 1000000;
constexpr int64_t kNano = 1000000000;
constexpr int64_t kDay = 86400;
// Local time differs from UTC by less than a day, and changes of offset are at most a few hours:
// the search for a clock time starts this far before its first guess.
constexpr int64_t kSearchBack = 3 * 3600;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }

// Days since 1970-01-01 of a Gregorian date.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  int64_t era = FloorDiv(y, 400);
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// A local date and time as seconds of a clock that never changes its offset: local times
// compare as these do.
int64_t Naive(const platform::LocalTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * kDay + t.hour * 3600 + t.minute * 60 + t.second;
}

// The naive local time of an absolute second, or false where local time cannot represent it.
bool NaiveAt(int64_t seconds, int64_t* naive) {
  platform::LocalTime t{};
  if (!RecordLocalTime(seconds, &t)) return false;
  *naive = Naive(t);
  return true;
}

// The first absolute second from which local time has reached `target` (a naive local time),
// searching from `guess`; false where local time cannot represent the seconds searched.
bool FirstSecondAt(int64_t target, int64_t guess, int64_t* found) {
  int64_t at = guess - kSearchBack, naive = 0;
  // Back until local time lies before the target, so that its first occurrence is found.
  for (int i = 0;; ++i) {
    if (!NaiveAt(at, &naive)) return false;
    if (naive < target) break;
    if (i == 8) return false;
    at -= kSearchBack;
  }
  // Forward a minute at a time, then a second at a time within the last minute.
  for (int step : {60, 1}) {
    for (int i = 0; i < 3 * kDay / step; ++i) {
      int64_t next = at + step;
      if (!NaiveAt(next, &naive)) return false;
      if (naive >= target) break;
      at = next;
    }
  }
  *found = at + 1;
  return NaiveAt(*found, &naive) && naive >= target;
}

// The absolute time of a clock time on the start's day (or the next day, for a time of day
// before the start's), as seconds and nanoseconds.
bool ClockInstant(uint64_t clockMicros, int64_t startSeconds, int64_t* seconds, int64_t* nanos) {
  platform::LocalTime start{};
  if (!RecordLocalTime(startSeconds, &start)) return false;
  auto clockSeconds = static_cast<int64_t>(clockMicros / kMicro);
  int64_t startOfDay = start.hour * 3600 + start.minute * 60 + start.second;
  int64_t day = DaysFromCivil(start.year, start.month, start.day) + (clockSeconds < startOfDay);
  int64_t target = day * kDay + clockSeconds;
  int64_t found = 0;
  if (!FirstSecondAt(target, startSeconds + (target - Naive(start)), &found)) return false;
  *seconds = found;
  // Where local time skipped the clock time, the change itself: no fraction after it.
  int64_t naive = 0;
  *nanos = NaiveAt(found, &naive) && naive == target
               ? static_cast<int64_t>(clockMicros % kMicro) * 1000
               : 0;
  return true;
}

}  // namespace

uint64_t BoundTimestamp(const TimeBound& bound, int64_t baseSeconds, int64_t baseNanoseconds) {
  if (bound.kind == TimeBound::Kind::kElapsed) return bound.micros;
  if (bound.kind != TimeBound::Kind::kClock) return 0;
  // The start as whole seconds and the nanoseconds after them.
  int64_t startSeconds = baseSeconds + FloorDiv(baseNanoseconds, kNano);
  int64_t startNanos = baseNanoseconds - FloorDiv(baseNanoseconds, kNano) * kNano;
  int64_t seconds = 0, nanos = 0;
  if (!ClockInstant(bound.micros, startSeconds, &seconds, &nanos)) return RecordFilter::kEnd;
  int64_t after = (seconds - startSeconds) * kNano + nanos - startNanos;
  if (after <= 0) return 0;
  // The first whole microsecond at or after the instant.
  return static_cast<uint64_t>((after + 999) / 1000);
}

RecordFilter MakeRecordFilter(const RecordSelection& selection, int64_t baseSeconds,
                              int64_t baseNanoseconds) {
  RecordFilter filter;
  filter.SetIds(selection.ids);
  uint64_t from = BoundTimestamp(selection.from, baseSeconds, baseNanoseconds);
  uint64_t to = selection.to.given() ? BoundTimestamp(selection.to, baseSeconds, baseNanoseconds)
                                     : RecordFilter::kEnd;
  filter.SetWindow(from, to);
  return filter;
}

}  // namespace dtconv
