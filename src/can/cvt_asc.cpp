#include "can/cvt_asc.h"

#include <cstdint>
#include <cstring>

#include "can/can_frame.h"
#include "can/log_line.h"
#include "can/socketcan.h"
#include "report/timestamps.h"

namespace dtconv {

namespace {

constexpr AcceptRule kFrameRule{.frames = true};

// Message flags of a CANFD line.
constexpr uint32_t kAscFlagFdf = 0x1000;
constexpr uint32_t kAscFlagBrs = 0x2000;
constexpr uint32_t kAscFlagEsi = 0x4000;

constexpr char kLowerHex[] = "0123456789abcdef";

// Day of the week of a Gregorian date, 0 for Sunday.
int Weekday(int year, int month, int day) {
  static constexpr int kMonthOffsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) --year;
  return (year + year / 4 - year / 100 + year / 400 + kMonthOffsets[month - 1] + day) % 7;
}

// The capture start in the form of the date lines, local time to the millisecond on a 12-hour
// clock: "Sun Dec 06 09:30:00.123 am 2026". A start that local time cannot represent (only a
// damaged time base) is written as 1970-01-01 00:00:00 so that readers still find a date.
void AppendStartDate(LogLine& line, int64_t baseSeconds, int64_t baseNanoseconds) {
  static constexpr const char* kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  AbsoluteTime start = RecordTime(0, baseSeconds, baseNanoseconds);
  if (start.nanoseconds < 0) {
    start.seconds -= 1;
    start.nanoseconds += 1000000000;
  }
  platform::LocalTime t{};
  if (!RecordLocalTime(start.seconds, &t)) {
    t = platform::LocalTime{1970, 1, 1, 0, 0, 0};
    start.nanoseconds = 0;
  }
  line.Text(kDays[Weekday(t.year, t.month, t.day)]);
  line.Char(' ');
  line.Text(kMonths[t.month - 1]);
  line.Char(' ');
  line.Decimal(static_cast<uint64_t>(t.day), 2);
  line.Char(' ');
  line.Decimal(static_cast<uint64_t>(t.hour % 12 == 0 ? 12 : t.hour % 12), 2);
  line.Char(':');
  line.Decimal(static_cast<uint64_t>(t.minute), 2);
  line.Char(':');
  line.Decimal(static_cast<uint64_t>(t.second), 2);
  line.Char('.');
  line.Decimal(static_cast<uint64_t>(start.nanoseconds / 1000000), 3);
  line.Text(t.hour < 12 ? " am " : " pm ");
  line.Decimal(static_cast<uint64_t>(t.year));
}

void Flush(TextOutput& out, const LogLine& line) {
  out.AppendText(line.View());
  out.FlushLine();
}

// The time column of an event: seconds since the capture start, at least four digits wide.
void AppendTime(LogLine& line, uint64_t micros) {
  line.Decimal(micros / 1000000, 4, ' ');
  line.Char('.');
  line.Digits<6>(micros % 1000000);
  line.Char(' ');
}

// The same, with the text up to the point kept in `seconds` for the next lines of that second.
void AppendTime(LogLine& line, uint64_t micros, SecondsText& seconds) {
  uint64_t whole = micros / 1000000;
  if (whole != seconds.key) {
    LogLine prefix;
    prefix.Decimal(whole, 4, ' ');
    prefix.Char('.');
    seconds.size = prefix.View().size();
    std::memcpy(seconds.text, prefix.View().data(), seconds.size);
    seconds.key = whole;
  }
  line.Text(std::string_view(seconds.text, seconds.size));
  line.Digits<6>(micros % 1000000);
  line.Char(' ');
}

// The identifier in hexadecimal and "x" for a 29-bit identifier, a blank otherwise.
void AppendIdentifier(LogLine& id, const SocketCanFrame& s) {
  id.Hex(s.Identifier());
  id.Char(s.IsExtended() ? 'x' : ' ');
}

// The smallest CAN FD DLC whose data length holds `count` bytes.
int FdDlcFor(int count) {
  int dlc = 0;
  while (dlc < 15 && FdDataLength(static_cast<uint8_t>(dlc)) < count) ++dlc;
  return dlc;
}

// "1  123             Rx   d 8 11 22 33 44 55 66 77 88" or "... Rx   r 4". A classic frame has
// at most eight bytes; the DLC shown is the recorded one when it agrees with the bytes shown,
// otherwise their count, so that readers take exactly these bytes.
void AppendClassicFrame(LogLine& line, int channel, const SocketCanFrame& s) {
  line.Decimal(static_cast<uint64_t>(channel));
  line.Text("  ");
  LogLine id;
  AppendIdentifier(id, s);
  line.Padded(id.View(), 15);
  line.Text(" Rx   ");
  if (s.IsRemote()) {
    line.Text("r ");
    line.Hex(s.dlc > 15 ? 15 : s.dlc);
    return;
  }
  int shown = s.length > 8 ? 8 : s.length;
  bool dlcAgrees = s.dlc <= 15 && (s.dlc > 8 ? 8 : s.dlc) == shown;
  line.Text("d ");
  line.Hex(dlcAgrees ? s.dlc : static_cast<uint8_t>(shown));
  line.HexBytes(s.data, shown, ' ');
}

// "CANFD   1 Rx         123x<name column> 1 0 f 64 <data> <duration> <bits> <flags> <crc> ...":
// BRS, ESI, the DLC (the recorded one when it gives the data length, otherwise the DLC of the
// data length), the data length and the data, then message duration and length (not recorded:
// 0), the message flags, the recorded CRC and four bit-timing words (not recorded: 0).
void AppendFdFrame(LogLine& line, int channel, const SocketCanFrame& s, uint32_t crc,
                   uint8_t recordedDlc) {
  line.Text("CANFD ");
  line.Decimal(static_cast<uint64_t>(channel), 3, ' ');
  line.Text(" Rx ");
  LogLine id;
  AppendIdentifier(id, s);
  if (id.View().size() < 11) line.Repeat(' ', 11 - id.View().size());
  line.Text(id.View());
  line.Repeat(' ', 34);
  bool brs = (s.fdFlags & kCanFdBrs) != 0;
  bool esi = (s.fdFlags & kCanFdEsi) != 0;
  line.Char(brs ? '1' : '0');
  line.Char(' ');
  line.Char(esi ? '1' : '0');
  line.Char(' ');
  bool dlcAgrees = recordedDlc <= 15 && FdDataLength(recordedDlc) == s.length;
  line.Char(kLowerHex[dlcAgrees ? recordedDlc : FdDlcFor(s.length)]);
  line.Char(' ');
  line.Decimal(static_cast<uint64_t>(s.length), 2, ' ');
  line.HexBytes(s.data, s.length, ' ');
  uint32_t flags = kAscFlagFdf | (brs ? kAscFlagBrs : 0) | (esi ? kAscFlagEsi : 0);
  line.Text("        0    0 ");
  LogLine hex;
  hex.Hex(flags);
  line.Repeat(' ', 8 - hex.View().size());
  line.Text(hex.View());
  line.Char(' ');
  hex.Clear();
  hex.Hex(crc);
  line.Repeat(' ', 8 - hex.View().size());
  line.Text(hex.View());
  line.Text(" 0 0 0 0");
}

void WriteFrame(CTxtCvtAsc& cv, const RecordCursor& cursor, int channel, SecondsText& seconds) {
  CanFrame f;
  if (!AssembleFrame(cursor, f)) return;
  SocketCanPackets p = ToSocketCan(f);
  uint64_t t = cursor.Current().Timestamp();
  TextOutput& out = *cv.output;
  LogLine line;
  if (p.hasFrame) {
    AppendTime(line, t, seconds);
    if (p.frame.IsFd()) {
      AppendFdFrame(line, channel, p.frame, f.fc & 0xFFFFFF, f.dlc);
    } else {
      AppendClassicFrame(line, channel, p.frame);
    }
    Flush(out, line);
  }
  if (p.hasError) {
    line.Clear();
    AppendTime(line, t, seconds);
    line.Decimal(static_cast<uint64_t>(channel));
    line.Text("  ErrorFrame");
    Flush(out, line);
  }
}

}  // namespace

RecordKind CTxtCvtAsc::NextRecord(RecordCursor& cursor) {
  return dtconv::NextRecord(cursor, kFrameRule);
}

RecordKind CTxtCvtAsc::FirstRecord(RecordCursor& cursor) {
  return dtconv::FirstRecord(cursor, kFrameRule);
}

void ConvertAsc(CTxtCvtAsc& cv, const MonitorData& data, ConverterContext& context) {
  cv.Bind(data, context, false, context.timeStampStyle);
  TextOutput& out = *cv.output;
  LogLine date;
  AppendStartDate(date, cv.timeBaseSeconds, cv.timeBaseNanoseconds);
  LogLine line;
  line.Text("date ");
  line.Text(date.View());
  Flush(out, line);
  line.Clear();
  line.Text("base hex  timestamps absolute");
  Flush(out, line);
  line.Clear();
  line.Text("internal events logged");
  Flush(out, line);
  line.Clear();
  line.Text("Begin Triggerblock ");
  line.Text(date.View());
  Flush(out, line);
  line.Clear();
  AppendTime(line, 0);
  line.Text("Start of measurement");
  Flush(out, line);

  if (data.recordCount != 0) {
    bool keepCh1 = context.signalLine != 2;
    bool keepCh2 = context.signalLine != 1;
    RecordCursor cursor = cv.StartCursor();
    SecondsText seconds;
    for (RecordKind kind = cv.FirstRecord(cursor); kind != kKindEnd; kind = cv.NextRecord(cursor)) {
      if (kind == kKindCh1Frame && keepCh1) WriteFrame(cv, cursor, 1, seconds);
      if (kind == kKindCh2Frame && keepCh2) WriteFrame(cv, cursor, 2, seconds);
      if (out.result() != 0) return;
    }
  }
  line.Clear();
  line.Text("End TriggerBlock");
  Flush(out, line);
}

}  // namespace dtconv
