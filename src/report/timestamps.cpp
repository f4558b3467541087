#include "report/timestamps.h"

#include <cstring>

#include "platform/platform.h"

namespace dtconv {

namespace {

constexpr int64_t kMicro = 1000000;
constexpr int64_t kNano = 1000000000;
// The last second both platforms' 64-bit local time converts: 3000-12-31 23:59:59 UTC.
constexpr int64_t kLastLocalSecond = 32535215999;
// Differences of 100 000 s or more are not shown.
constexpr int64_t kMaxDifference = 100000 * kMicro;

// Replaces every digit of a formatted text with a dash: the placeholder of the same width for a
// time that cannot be shown.
void Dashes(char* text) {
  for (char* p = text; *p != '\0'; ++p) {
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
    case 0: return "-----dTIME----";
    case 1: return "-MM:SS.uSEC---";
    case 2: return "-HH:MM:SS.mSEC";
    case 3: return "MM/DD HH:MM:SS";
    case 4:
    case 5: return "-ELAPSED(sec)-";
    case 6: return "DAYS HH:MM:SS-";
    default: return "-----TIME-----";
  }
}

void FormatTimeColumn(const MonitorRecord& record, CTxtCvtBase& cv, char (&text)[64]) {
  auto t = static_cast<int64_t>(record.Timestamp());
  int32_t style = cv.timeStampStyle;
  switch (style) {
    case 0: {
      int64_t d = 0;
      if (Difference(cv, t, &d)) {
        FormatPiece(text, " %05d.%06d ", static_cast<int>(d / kMicro), static_cast<int>(d % kMicro));
      } else {
        std::strcpy(text, "   --------   ");
      }
      return;
    }
    case 4:
      FormatPiece(text, " %05d.%06d ", static_cast<int>((t / kMicro) % 100000),
                  static_cast<int>(t % kMicro));
      return;
    case 6: {
      int64_t s = t / kMicro;
      FormatPiece(text, " %03d %02d:%02d:%02d ", static_cast<int>((s / 86400) % 1000),
                  static_cast<int>((s / 3600) % 24), static_cast<int>((s / 60) % 60),
                  static_cast<int>(s % 60));
      return;
    }
    case 1:
    case 2:
    case 3:
    case 10: {
      AbsoluteTime at = RecordTime(record.Timestamp(), cv.timeBaseSeconds, cv.timeBaseNanoseconds);
      platform::LocalTime lt{};
      bool ok = RecordLocalTime(at.seconds, &lt);
      int f = static_cast<int>(at.nanoseconds);
      if (style == 1) {
        FormatPiece(text, " %02d:%02d.%06d ", lt.minute, lt.second, f / 1000);
      } else if (style == 2) {
        FormatPiece(text, " %02d:%02d:%02d.%03d ", lt.hour, lt.minute, lt.second, f / 1000000);
      } else if (style == 3) {
        FormatPiece(text, "%02d/%02d %02d:%02d:%02d", lt.month, lt.day, lt.hour, lt.minute,
                    lt.second);
      } else {
        FormatPiece(text, "%04d/%02d/%02d %02d:%02d:%02d", lt.year, lt.month, lt.day, lt.hour,
                    lt.minute, lt.second);
      }
      if (!ok) Dashes(text);
      return;
    }
    default:
      FormatPiece(text, " %08d.%03d ", static_cast<int>((t / kMicro) % 100000000),
                  static_cast<int>((t / 1000) % 1000));
      return;
  }
}

void FormatTimeCells(const MonitorRecord& record, CTxtCvtBase& cv, TimeCells* c) {
  auto t = static_cast<int64_t>(record.Timestamp());
  AbsoluteTime at = RecordTime(record.Timestamp(), cv.timeBaseSeconds, cv.timeBaseNanoseconds);
  platform::LocalTime lt{};
  bool ok = RecordLocalTime(at.seconds, &lt);
  FormatPiece(c->date, "%04d/%02d/%02d", lt.year, lt.month, lt.day);
  FormatPiece(c->time, "%02d:%02d:%02d", lt.hour, lt.minute, lt.second);
  int f = static_cast<int>(at.nanoseconds);
  if (cv.timeStampStyle == 7) {
    FormatPiece(c->subSecond, "%d", f / 1000);
  } else if (cv.timeStampStyle == 8) {
    FormatPiece(c->subSecond, "%d", f / 1000000);
  } else {
    c->subSecond[0] = '\0';
  }
  if (!ok) {
    Dashes(c->date);
    Dashes(c->time);
    if (c->subSecond[0] != '\0') std::strcpy(c->subSecond, "-");
  }
  int64_t d = 0;
  if (Difference(cv, t, &d)) {
    FormatPiece(c->difference, "%d.%06d", static_cast<int>(d / kMicro),
                static_cast<int>(d % kMicro));
  } else {
    std::strcpy(c->difference, "--------");
  }
  FormatPiece(c->elapsed, " %d.%06d ", static_cast<int>((t / kMicro) % 100000),
              static_cast<int>(t % kMicro));
}

void FormatFixDateTime(const MonitorRecord& fix, bool valid, char (&date)[32], char (&time)[32]) {
  if (!valid) {
    std::strcpy(date, "--------");
    std::strcpy(time, "--------");
    return;
  }
  const uint8_t* b = fix.bytes;
  FormatPiece(date, "%04d/%02d/%02d", b[14] + 1900, b[13], b[12]);
  FormatPiece(time, "%02d:%02d:%02d", b[11], b[10], b[9]);
}

}  // namespace dtconv
