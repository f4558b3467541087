#include "report/time_columns.h"

#include <cstring>

namespace dtconv {

namespace {

constexpr int64_t kMicro = 1000000;
constexpr int64_t kNano = 1000000000;
// Differences of 100 000 s or more are not shown.
constexpr int64_t kMaxDifference = 100000 * kMicro;

bool SameMinute(const platform::LocalTime& a, const platform::LocalTime& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
         a.minute == b.minute;
}

// Replaces every digit of a text with a dash: the placeholder of the same width for a time that
// cannot be shown.
void Dashes(char* from, char* to) {
  for (char* p = from; p < to; ++p) {
    if (*p >= '0' && *p <= '9') *p = '-';
  }
}

// The time column of the local-time styles 1, 2, 3 and 10 from a broken-down local time, f
// nanoseconds into its second.
char* PutLocalText(char* p, TimeStyle style, const platform::LocalTime& t, int64_t f) {
  using text::PutZeroPadded;
  switch (style) {
    case TimeStyle::kMinuteMicroseconds:  // " %02d:%02d.%06d "
      *p++ = ' ';
      p = PutZeroPadded(p, t.minute, 2);
      *p++ = ':';
      p = PutZeroPadded(p, t.second, 2);
      *p++ = '.';
      p = PutZeroPadded(p, f / 1000, 6);
      *p++ = ' ';
      return p;
    case TimeStyle::kClockMilliseconds:  // " %02d:%02d:%02d.%03d "
      *p++ = ' ';
      p = text::PutClock(p, t.hour, t.minute, t.second);
      *p++ = '.';
      p = PutZeroPadded(p, f / 1000000, 3);
      *p++ = ' ';
      return p;
    case TimeStyle::kDateSeconds:  // "%02d/%02d %02d:%02d:%02d"
      p = PutZeroPadded(p, t.month, 2);
      *p++ = '/';
      p = PutZeroPadded(p, t.day, 2);
      *p++ = ' ';
      return text::PutClock(p, t.hour, t.minute, t.second);
    default:  // "%04d/%02d/%02d %02d:%02d:%02d"
      p = text::PutDate(p, t.year, t.month, t.day);
      *p++ = ' ';
      return text::PutClock(p, t.hour, t.minute, t.second);
  }
}

}  // namespace

AbsoluteTime RecordTime(uint64_t timestamp, int64_t baseSeconds, int64_t baseNanoseconds) {
  auto t = static_cast<int64_t>(timestamp);
  int64_t s = t / kMicro;
  int64_t u = t % kMicro;
  auto n = static_cast<int64_t>(static_cast<uint64_t>(u * 1000) +
                                static_cast<uint64_t>(baseNanoseconds));
  int64_t carry = n / kNano;
  int64_t f = n % kNano;
  auto T = static_cast<int64_t>(static_cast<uint64_t>(baseSeconds) + static_cast<uint64_t>(s) +
                                static_cast<uint64_t>(carry));
  return {T, f};
}

bool RecordLocalTime(int64_t seconds, platform::LocalTime* out) {
  if (seconds < 0 || seconds > kLastLocalSecond) return false;
  return platform::ToLocalTime(seconds, out);
}

const char* TimeColumnTitle(TimeStyle style) {
  switch (style) {
    case TimeStyle::kDelta:
      return "-----dTIME----";
    case TimeStyle::kMinuteMicroseconds:
      return "-MM:SS.uSEC---";
    case TimeStyle::kClockMilliseconds:
      return "-HH:MM:SS.mSEC";
    case TimeStyle::kDateSeconds:
      return "MM/DD HH:MM:SS";
    case TimeStyle::kElapsedMicroseconds:
    case TimeStyle::kElapsedMilliseconds:
      return "-ELAPSED(sec)-";
    case TimeStyle::kElapsedDays:
      return "DAYS HH:MM:SS-";
    default:
      return "-----TIME-----";
  }
}

void TimeColumns::Reset(TimeStyle style, int64_t baseSeconds, int64_t baseNanoseconds) {
  style_ = style;
  baseSeconds_ = baseSeconds;
  baseNanoseconds_ = baseNanoseconds;
  previous_ = -1;
  second_.valid = false;
  // The zone may have changed since the last conversion.
  clockValid_ = false;
}

const TimeColumns::Clock* TimeColumns::ClockOf(int64_t seconds) {
  if (clockValid_ && seconds >= clockFirst_ && seconds <= clockLast_) {
    clock_.time.second = clockFirstSecond_ + static_cast<int>(seconds - clockFirst_);
    return &clock_;
  }
  clockValid_ = false;
  if (seconds < 0 || seconds > kLastLocalSecond) return nullptr;
  int64_t minute = seconds - seconds % 60;
  platform::LocalTime first{}, last{};
  if (platform::ToLocalTime(minute, &first) && first.second == 0 &&
      platform::ToLocalTime(minute + 59, &last) && last.second == 59 && SameMinute(first, last)) {
    clockFirst_ = minute;
    clockLast_ = minute + 59;
  } else {
    if (!platform::ToLocalTime(seconds, &first)) return nullptr;
    clockFirst_ = clockLast_ = seconds;
  }
  clock_.time = first;
  clockFirstSecond_ = first.second;
  *text::PutDate(clock_.date, first.year, first.month, first.day) = '\0';
  char* p = text::PutZeroPadded(clock_.hourMinute, first.hour, 2);
  *p++ = ':';
  *text::PutZeroPadded(p, first.minute, 2) = '\0';
  clockValid_ = true;
  return ClockOf(seconds);
}

const TimeColumns::Second* TimeColumns::SecondOf(uint64_t timestamp) {
  Second& s = second_;
  if (s.valid && timestamp - s.first < s.span) return &s;
  // Only with a time base of 0 to 999 999 999 ns is a record's time within its second its
  // microseconds times 1000 plus a constant; other bases take every time on its own.
  if (baseNanoseconds_ < 0 || baseNanoseconds_ >= kNano) return nullptr;
  AbsoluteTime at = RecordTime(timestamp, baseSeconds_, baseNanoseconds_);
  const Clock* c = ClockOf(at.seconds);
  s.valid = true;
  s.first = timestamp;
  s.firstMicro = static_cast<uint32_t>(at.nanoseconds / 1000);
  // The later records of the second: each microsecond adds 1000 ns until the second is full.
  s.span = static_cast<uint64_t>((kNano - at.nanoseconds + 999) / 1000);
  s.shown = c != nullptr;
  if (c == nullptr) {
    s.dateLength = static_cast<int>(text::PutText(s.date, "----/--/--") - s.date);
    s.timeLength = static_cast<int>(text::PutText(s.time, "--:--:--") - s.time);
    return &s;
  }
  const platform::LocalTime& t = c->time;
  s.dateLength = static_cast<int>(text::PutText(s.date, c->date) - s.date);
  char* p = text::PutText(s.time, c->hourMinute);
  *p++ = ':';
  s.timeLength = static_cast<int>(text::PutZeroPadded(p, t.second, 2) - s.time);
  // The column up to its sub-second digits, with the point before them.
  p = s.column;
  switch (style_) {
    case TimeStyle::kMinuteMicroseconds:
    case TimeStyle::kClockMilliseconds:
      p = PutLocalText(p, style_, t, 0);
      p -= style_ == TimeStyle::kMinuteMicroseconds ? 7 : 4;  // back to after the point
      break;
    case TimeStyle::kDateSeconds:
    case TimeStyle::kFullDate:
      p = PutLocalText(p, style_, t, 0);
      break;
    default:
      break;
  }
  s.columnLength = static_cast<int>(p - s.column);
  return &s;
}

bool TimeColumns::Difference(uint64_t timestamp, int64_t* d) {
  bool has = false;
  auto t = static_cast<int64_t>(timestamp);
  if (previous_ != -1) {
    *d = t - previous_;
    has = *d >= 0 && *d < kMaxDifference;
  }
  previous_ = t;
  return has;
}

char* TimeColumns::PutAnyColumn(char* p, uint64_t t) {
  auto micros = static_cast<int64_t>(t);
  switch (style_) {
    case TimeStyle::kDelta: {  // " %05d.%06d "
      int64_t d = 0;
      if (!Difference(t, &d)) return text::PutText(p, "   --------   ");
      *p++ = ' ';
      p = text::PutSecondsMicro(p, d / kMicro, d % kMicro, 5);
      *p++ = ' ';
      return p;
    }
    case TimeStyle::kElapsedMicroseconds:  // " %05d.%06d "
      *p++ = ' ';
      p = text::PutSecondsMicro(p, (micros / kMicro) % 100000, micros % kMicro, 5);
      *p++ = ' ';
      return p;
    case TimeStyle::kElapsedDays: {  // " %03d %02d:%02d:%02d "
      int64_t s = micros / kMicro;
      *p++ = ' ';
      p = text::PutZeroPadded(p, (s / 86400) % 1000, 3);
      *p++ = ' ';
      p = text::PutClock(p, static_cast<int>((s / 3600) % 24), static_cast<int>((s / 60) % 60),
                         static_cast<int>(s % 60));
      *p++ = ' ';
      return p;
    }
    case TimeStyle::kMinuteMicroseconds:
    case TimeStyle::kClockMilliseconds:
    case TimeStyle::kDateSeconds:
    case TimeStyle::kFullDate:
      return PutLocalColumn(p, t);
    default:  // " %08d.%03d "
      *p++ = ' ';
      p = text::PutZeroPadded(p, (micros / kMicro) % 100000000, 8);
      *p++ = '.';
      p = text::PutZeroPadded(p, (micros / 1000) % 1000, 3);
      *p++ = ' ';
      return p;
  }
}

char* TimeColumns::PutLocalColumn(char* p, uint64_t timestamp) {
  const Second* s = SecondOf(timestamp);
  if (s != nullptr && s->shown) return PutSecondColumn(p, timestamp);
  AbsoluteTime at = RecordTime(timestamp, baseSeconds_, baseNanoseconds_);
  if (const Clock* c = ClockOf(at.seconds)) {
    return PutLocalText(p, style_, c->time, at.nanoseconds);
  }
  char* start = p;
  p = PutLocalText(p, style_, platform::LocalTime{}, at.nanoseconds);
  Dashes(start, p);
  return p;
}

int TimeColumns::CellCount(bool elapsed, bool difference) const {
  bool subSecond = style_ == TimeStyle::kCsvMicroseconds || style_ == TimeStyle::kCsvMilliseconds;
  return 2 + (elapsed ? 1 : 0) + (difference ? 1 : 0) + (subSecond ? 1 : 0);
}

char* TimeColumns::PutAnyCells(char* p, uint64_t t, const text::Delimiter& d, bool elapsed,
                               bool difference) {
  if (elapsed) {  // " %d.%06d "
    auto micros = static_cast<int64_t>(t);
    *p++ = ' ';
    p = text::PutSecondsMicro(p, (micros / kMicro) % 100000, micros % kMicro, 0);
    *p++ = ' ';
    p = d.Put(p);
  }
  if (const Second* s = SecondOf(t)) {
    // The second's date and time texts, then the sub-second digits.
    std::memcpy(p, s->date, sizeof s->date);
    p = d.Put(p + s->dateLength);
    std::memcpy(p, s->time, sizeof s->time);
    p += s->timeLength;
    if (style_ == TimeStyle::kCsvMicroseconds || style_ == TimeStyle::kCsvMilliseconds) {
      p = d.Put(p);
      auto us = static_cast<uint32_t>(s->firstMicro + (t - s->first));
      if (!s->shown) {
        *p++ = '-';
      } else if (style_ == TimeStyle::kCsvMicroseconds) {
        p = text::PutUnsigned(p, us);
      } else {
        p = text::PutSmallUnsigned(p, text::detail::Thousandths(us));
      }
    }
  } else {
    p = PutExactCells(p, t, d);
  }
  int64_t diff = 0;
  bool has = Difference(t, &diff);
  if (difference) {
    p = d.Put(p);
    p = has ? text::PutSecondsMicro(p, diff / kMicro, diff % kMicro, 0)
            : text::PutText(p, "--------");
  }
  return p;
}

char* TimeColumns::PutExactCells(char* p, uint64_t timestamp, const text::Delimiter& d) {
  AbsoluteTime at = RecordTime(timestamp, baseSeconds_, baseNanoseconds_);
  const Clock* c = ClockOf(at.seconds);
  if (c != nullptr) {
    p = text::PutText(p, c->date);
    p = d.Put(p);
    p = text::PutText(p, c->hourMinute);
    *p++ = ':';
    p = text::PutZeroPadded(p, c->time.second, 2);
  } else {
    p = text::PutText(p, "----/--/--");
    p = d.Put(p);
    p = text::PutText(p, "--:--:--");
  }
  if (style_ == TimeStyle::kCsvMicroseconds || style_ == TimeStyle::kCsvMilliseconds) {
    p = d.Put(p);
    int64_t f = at.nanoseconds;
    if (c == nullptr) {
      *p++ = '-';
    } else {
      p = text::PutInt(p, style_ == TimeStyle::kCsvMicroseconds ? f / 1000 : f / 1000000);
    }
  }
  return p;
}

}  // namespace dtconv
