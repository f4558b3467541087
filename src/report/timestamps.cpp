#include "report/timestamps.h"

#include <cstring>

#include "output/text.h"
#include "platform/platform.h"

namespace dtconv {

namespace {

constexpr int64_t kMicro = 1000000;
constexpr int64_t kNano = 1000000000;
// Differences of 100 000 s or more are not shown.
constexpr int64_t kMaxDifference = 100000 * kMicro;

// Replaces every digit of a formatted text with a dash: the placeholder of the same width for a
// time that cannot be shown.
void Dashes(char* from, char* to) {
  for (char* p = from; p < to; ++p) {
    if (*p >= '0' && *p <= '9') *p = '-';
  }
}

// The difference to the previous row in microseconds; false when there is none: the first row,
// 100 000 s and more, or a row recorded before the previous one (a negative difference has no
// readable text in these formats). The previous timestamp always becomes this one.
bool Difference(CTxtCvtBase& cv, int64_t t, int64_t* d) {
  bool has = false;
  if (cv.previousTimestamp != -1) {
    *d = t - cv.previousTimestamp;
    has = *d >= 0 && *d < kMaxDifference;
  }
  cv.previousTimestamp = t;
  return has;
}

// "%02d"
char* Put2(char* p, int v) {
  return v >= 0 && v <= 99 ? text::PutTwoDigits(p, static_cast<unsigned>(v))
                           : text::PutZeroPadded(p, v, 2);
}

// "<whole>.<micro>" of a microsecond count: "%0<width>d.%06d" (width 0: "%d").
char* PutSecondsMicro(char* p, int whole, int micro, int width) {
  p = width > 0 ? text::PutZeroPadded(p, whole, width) : text::PutInt(p, whole);
  *p++ = '.';
  return text::PutZeroPadded(p, micro, 6);
}

// The date or hour-and-minute text of a clock. Copies the whole fixed-size field (the caller's
// room always allows it) and moves on by the text's length.
template <size_t N>
char* PutClockText(char* p, const char (&text)[N], int length) {
  std::memcpy(p, text, N);
  return p + length;
}

// The time of day of styles 1, 2, 3 and 10 from a local clock, f nanoseconds into the second.
char* PutLocalColumn(char* p, int32_t style, const LocalClock& c, int f) {
  const platform::LocalTime& lt = c.time;
  switch (style) {
    case 1:
      *p++ = ' ';
      p = Put2(p, lt.minute);
      *p++ = ':';
      p = Put2(p, lt.second);
      *p++ = '.';
      p = text::PutZeroPadded(p, f / 1000, 6);
      *p++ = ' ';
      return p;
    case 2:
      *p++ = ' ';
      p = PutClockText(p, c.hourMinute, c.hourMinuteLength);
      *p++ = ':';
      p = Put2(p, lt.second);
      *p++ = '.';
      p = text::PutZeroPadded(p, f / 1000000, 3);
      *p++ = ' ';
      return p;
    case 3:
      p = Put2(p, lt.month);
      *p++ = '/';
      p = Put2(p, lt.day);
      *p++ = ' ';
      break;
    default:
      p = PutClockText(p, c.date, c.dateLength);
      *p++ = ' ';
      break;
  }
  p = PutClockText(p, c.hourMinute, c.hourMinuteLength);
  *p++ = ':';
  return Put2(p, lt.second);
}

// The clock of a time that cannot be shown: every field zero, later turned into dashes.
LocalClock ZeroClock() {
  LocalClock c{};
  std::memcpy(c.date, "0000/00/00", 10);
  c.dateLength = 10;
  std::memcpy(c.hourMinute, "00:00", 5);
  c.hourMinuteLength = 5;
  return c;
}

}  // namespace

AbsoluteTime RecordTime(uint64_t timestamp, int64_t baseSeconds, int64_t baseNanoseconds) {
  auto t = static_cast<int64_t>(timestamp);
  int64_t s = t / kMicro;
  int64_t u = t % kMicro;
  // Unsigned 64-bit wrap-around keeps hostile time bases defined; real ones never come close.
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

const char* TimeColumnTitle(int32_t style) {
  switch (style) {
    case 0:
      return "-----dTIME----";
    case 1:
      return "-MM:SS.uSEC---";
    case 2:
      return "-HH:MM:SS.mSEC";
    case 3:
      return "MM/DD HH:MM:SS";
    case 4:
    case 5:
      return "-ELAPSED(sec)-";
    case 6:
      return "DAYS HH:MM:SS-";
    default:
      return "-----TIME-----";
  }
}

namespace {
const SecondTexts* SecondOf(CTxtCvtBase& cv, uint64_t timestamp);
}  // namespace

char* PutAnyTimeColumn(char* p, const MonitorRecord& record, CTxtCvtBase& cv) {
  auto t = static_cast<int64_t>(record.Timestamp());
  int32_t style = cv.timeStampStyle;
  if (style == 2) {
    // " HH:MM:SS.mmm ": the second's time text as the CSV cells keep it (the hour and minute and
    // "%02d" of the second), then the milliseconds from the microseconds into the second.
    const SecondTexts* s = SecondOf(cv, record.Timestamp());
    if (s != nullptr && s->shown) {
      *p = ' ';
      std::memcpy(p + 1, s->time, sizeof s->time);
      p += 1 + s->timeLength;
      auto us = static_cast<uint32_t>(s->firstMicro + (record.Timestamp() - s->first));
      text::detail::Store8(p, '.' | text::detail::ThreeDigitsText(detail::Thousandths(us)) << 8 |
                                  uint64_t{' '} << 32);
      return p + 5;
    }
  }
  switch (style) {
    case 0: {
      int64_t d = 0;
      if (!Difference(cv, t, &d)) return text::PutText(p, "   --------   ");
      *p++ = ' ';
      p = PutSecondsMicro(p, static_cast<int>(d / kMicro), static_cast<int>(d % kMicro), 5);
      *p++ = ' ';
      return p;
    }
    case 4:
      *p++ = ' ';
      p = PutSecondsMicro(p, static_cast<int>((t / kMicro) % 100000), static_cast<int>(t % kMicro),
                          5);
      *p++ = ' ';
      return p;
    case 6: {
      int64_t s = t / kMicro;
      *p++ = ' ';
      p = text::PutZeroPadded(p, (s / 86400) % 1000, 3);
      *p++ = ' ';
      p = Put2(p, static_cast<int>((s / 3600) % 24));
      *p++ = ':';
      p = Put2(p, static_cast<int>((s / 60) % 60));
      *p++ = ':';
      p = Put2(p, static_cast<int>(s % 60));
      *p++ = ' ';
      return p;
    }
    case 1:
    case 2:
    case 3:
    case 10: {
      AbsoluteTime at = RecordTime(record.Timestamp(), cv.timeBaseSeconds, cv.timeBaseNanoseconds);
      int f = static_cast<int>(at.nanoseconds);
      if (const LocalClock* c = cv.localTimes.Get(at.seconds)) {
        return PutLocalColumn(p, style, *c, f);
      }
      char* start = p;
      p = PutLocalColumn(p, style, ZeroClock(), f);
      Dashes(start, p);
      return p;
    }
    default:
      *p++ = ' ';
      p = text::PutZeroPadded(p, (t / kMicro) % 100000000, 8);
      *p++ = '.';
      p = text::PutZeroPadded(p, (t / 1000) % 1000, 3);
      *p++ = ' ';
      return p;
  }
}

void FormatTimeColumn(const MonitorRecord& record, CTxtCvtBase& cv, char (&text)[64]) {
  *PutTimeColumn(text, record, cv) = '\0';
}

namespace {

// PutTimeCells for any time base: every cell computed from the record's absolute time.
char* PutTimeCellsExact(char* p, const MonitorRecord& record, CTxtCvtBase& cv, bool elapsed,
                        bool difference) {
  auto t = static_cast<int64_t>(record.Timestamp());
  if (elapsed) {
    p = cv.PutCellStart(p);
    *p++ = ' ';
    p = PutSecondsMicro(p, static_cast<int>((t / kMicro) % 100000), static_cast<int>(t % kMicro),
                        0);
    *p++ = ' ';
  }
  AbsoluteTime at = RecordTime(record.Timestamp(), cv.timeBaseSeconds, cv.timeBaseNanoseconds);
  const LocalClock* c = cv.localTimes.Get(at.seconds);
  p = cv.PutCellStart(p);
  if (c != nullptr) {
    p = PutClockText(p, c->date, c->dateLength);
  } else {
    p = text::PutText(p, "----/--/--");
  }
  p = cv.PutCellStart(p);
  if (c != nullptr) {
    p = PutClockText(p, c->hourMinute, c->hourMinuteLength);
    *p++ = ':';
    p = Put2(p, c->time.second);
  } else {
    p = text::PutText(p, "--:--:--");
  }
  if (cv.timeStampStyle == 7 || cv.timeStampStyle == 8) {
    p = cv.PutCellStart(p);
    int f = static_cast<int>(at.nanoseconds);
    if (c == nullptr) {
      *p++ = '-';
    } else {
      int sub = cv.timeStampStyle == 7 ? f / 1000 : f / 1000000;
      p = sub >= 0 ? text::PutSmallUnsigned(p, static_cast<uint32_t>(sub)) : text::PutInt(p, sub);
    }
  }
  int64_t d = 0;
  bool has = Difference(cv, t, &d);
  if (difference) {
    p = cv.PutCellStart(p);
    if (has) {
      p = PutSecondsMicro(p, static_cast<int>(d / kMicro), static_cast<int>(d % kMicro), 0);
    } else {
      p = text::PutText(p, "--------");
    }
  }
  return p;
}

// The texts of the second that `timestamp` lies in, from the cache or made anew; null when the
// time base's nanoseconds lie outside one second, where a record's nanoseconds are no longer
// its microseconds times 1000 plus a constant.
const SecondTexts* SecondOf(CTxtCvtBase& cv, uint64_t timestamp) {
  SecondTexts& s = cv.localTimes.second;
  if (s.Covers(timestamp, cv.timeBaseSeconds, cv.timeBaseNanoseconds)) return &s;
  if (cv.timeBaseNanoseconds < 0 || cv.timeBaseNanoseconds >= kNano) return nullptr;
  AbsoluteTime at = RecordTime(timestamp, cv.timeBaseSeconds, cv.timeBaseNanoseconds);
  const LocalClock* c = cv.localTimes.Get(at.seconds);
  s.valid = true;
  s.baseSeconds = cv.timeBaseSeconds;
  s.baseNanoseconds = cv.timeBaseNanoseconds;
  s.first = timestamp;
  // Each microsecond later adds 1000 ns, so a record's whole microseconds into the second are
  // these plus its distance from `first`.
  s.firstMicro = static_cast<uint32_t>(at.nanoseconds / 1000);
  // The later records of the second: each microsecond adds 1000 ns until the second is full.
  s.span = static_cast<uint64_t>((kNano - at.nanoseconds + 999) / 1000);
  s.shown = c != nullptr;
  if (c != nullptr) {
    std::memcpy(s.date, c->date, sizeof c->date);
    s.dateLength = c->dateLength;
    char* p = PutClockText(s.time, c->hourMinute, c->hourMinuteLength);
    *p++ = ':';
    s.timeLength = static_cast<int>(Put2(p, c->time.second) - s.time);
  } else {
    std::memcpy(s.date, "----/--/--", 10);
    s.dateLength = 10;
    std::memcpy(s.time, "--:--:--", 8);
    s.timeLength = 8;
  }
  return &s;
}

}  // namespace

char* PutAnyTimeCells(char* p, const MonitorRecord& record, CTxtCvtBase& cv, bool elapsed,
                      bool difference) {
  uint64_t timestamp = record.Timestamp();
  const SecondTexts* s = SecondOf(cv, timestamp);
  if (s == nullptr) return PutTimeCellsExact(p, record, cv, elapsed, difference);
  auto t = static_cast<int64_t>(timestamp);
  if (elapsed) {
    p = cv.PutCellStart(p);
    *p++ = ' ';
    p = PutSecondsMicro(p, static_cast<int>((t / kMicro) % 100000), static_cast<int>(t % kMicro),
                        0);
    *p++ = ' ';
  }
  p = cv.PutCellStart(p);
  std::memcpy(p, s->date, sizeof s->date);
  p += s->dateLength;
  p = cv.PutCellStart(p);
  std::memcpy(p, s->time, sizeof s->time);
  p += s->timeLength;
  if (cv.timeStampStyle == 7 || cv.timeStampStyle == 8) {
    p = cv.PutCellStart(p);
    if (!s->shown) {
      *p++ = '-';
    } else {
      auto us = static_cast<uint32_t>(s->firstMicro + (timestamp - s->first));
      if (cv.timeStampStyle == 7) {
        p = detail::PutBelowMillion(p, us);
      } else {
        p = text::PutSmallUnsigned(p, detail::Thousandths(us));
      }
    }
  }
  int64_t d = 0;
  bool has = Difference(cv, t, &d);
  if (difference) {
    p = cv.PutCellStart(p);
    if (has) {
      p = PutSecondsMicro(p, static_cast<int>(d / kMicro), static_cast<int>(d % kMicro), 0);
    } else {
      p = text::PutText(p, "--------");
    }
  }
  return p;
}

void FormatTimeCells(const MonitorRecord& record, CTxtCvtBase& cv, TimeCells* c) {
  auto t = static_cast<int64_t>(record.Timestamp());
  AbsoluteTime at = RecordTime(record.Timestamp(), cv.timeBaseSeconds, cv.timeBaseNanoseconds);
  const LocalClock* clock = cv.localTimes.Get(at.seconds);
  if (clock != nullptr) {
    char* p = text::PutText(c->date,
                            std::string_view(clock->date, static_cast<size_t>(clock->dateLength)));
    *p = '\0';
    p = text::PutText(
        c->time, std::string_view(clock->hourMinute, static_cast<size_t>(clock->hourMinuteLength)));
    *p++ = ':';
    *Put2(p, clock->time.second) = '\0';
  } else {
    std::strcpy(c->date, "----/--/--");
    std::strcpy(c->time, "--:--:--");
  }
  int f = static_cast<int>(at.nanoseconds);
  if (cv.timeStampStyle == 7 || cv.timeStampStyle == 8) {
    if (clock == nullptr) {
      std::strcpy(c->subSecond, "-");
    } else {
      *text::PutInt(c->subSecond, cv.timeStampStyle == 7 ? f / 1000 : f / 1000000) = '\0';
    }
  } else {
    c->subSecond[0] = '\0';
  }
  int64_t d = 0;
  if (Difference(cv, t, &d)) {
    *PutSecondsMicro(c->difference, static_cast<int>(d / kMicro), static_cast<int>(d % kMicro), 0) =
        '\0';
  } else {
    std::strcpy(c->difference, "--------");
  }
  char* p = c->elapsed;
  *p++ = ' ';
  p = PutSecondsMicro(p, static_cast<int>((t / kMicro) % 100000), static_cast<int>(t % kMicro), 0);
  *p++ = ' ';
  *p = '\0';
}

char* PutFixDate(char* p, const MonitorRecord& fix, bool valid) {
  if (!valid) return text::PutText(p, "--------");
  const uint8_t* b = fix.bytes;
  p = text::PutDigits<4>(p, b[14] + 1900u);
  *p++ = '/';
  p = Put2(p, b[13]);
  *p++ = '/';
  return Put2(p, b[12]);
}

char* PutFixTime(char* p, const MonitorRecord& fix, bool valid) {
  if (!valid) return text::PutText(p, "--------");
  const uint8_t* b = fix.bytes;
  p = Put2(p, b[11]);
  *p++ = ':';
  p = Put2(p, b[10]);
  *p++ = ':';
  return Put2(p, b[9]);
}

void FormatFixDateTime(const MonitorRecord& fix, bool valid, char (&date)[32], char (&time)[32]) {
  *PutFixDate(date, fix, valid) = '\0';
  *PutFixTime(time, fix, valid) = '\0';
}

}  // namespace dtconv
