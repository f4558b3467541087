#include "report/local_time_cache.h"

#include "output/text.h"

namespace dtconv {

namespace {

bool SameMinute(const platform::LocalTime& a, const platform::LocalTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
         a.minute == b.minute;
}

bool Representable(int64_t seconds) { return seconds >= 0 && seconds <= kLastLocalSecond; }

}  // namespace

const LocalClock* LocalTimeCache::Convert(int64_t seconds) {
  valid_ = false;
  if (!Representable(seconds)) return nullptr;
  int64_t minute = seconds - seconds % 60;
  platform::LocalTime first{}, last{};
  if (platform::ToLocalTime(minute, &first) && first.second == 0 &&
      platform::ToLocalTime(minute + 59, &last) && last.second == 59 && SameMinute(first, last)) {
    first_ = minute;
    last_ = minute + 59;
  } else {
    if (!platform::ToLocalTime(seconds, &first)) return nullptr;
    first_ = last_ = seconds;
  }
  clock_.time = first;
  firstSecond_ = first.second;
  char* p = clock_.date;
  p = text::PutZeroPadded(p, first.year, 4);
  *p++ = '/';
  p = text::PutZeroPadded(p, first.month, 2);
  *p++ = '/';
  p = text::PutZeroPadded(p, first.day, 2);
  clock_.dateLength = static_cast<int>(p - clock_.date);
  p = clock_.hourMinute;
  p = text::PutZeroPadded(p, first.hour, 2);
  *p++ = ':';
  p = text::PutZeroPadded(p, first.minute, 2);
  clock_.hourMinuteLength = static_cast<int>(p - clock_.hourMinute);
  valid_ = true;
  return Get(seconds);
}

}  // namespace dtconv
