#include "can/cvt_asc.h"

#include <cstdint>

#include "can/can_frame.h"
#include "report/time_columns.h"

namespace dtconv {

namespace {

constexpr AcceptRule kFrameRule{.frames = true};

// Day of the week of a Gregorian date, 0 for Sunday.
int Weekday(int year, int month, int day) {
  static constexpr int kMonthOffsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) --year;
  return (year + year / 4 - year / 100 + year / 400 + kMonthOffsets[month - 1] + day) % 7;
}

// The capture start as the date lines give it, local time to the millisecond on a 12-hour clock:
// "%s %s %02d %02d:%02d:%02d.%03d %s %d", "Sun Dec 06 09:30:00.123 am 2026". A start that local
// time cannot represent (only a damaged time base) is written as 1970-01-01 00:00:00 so that
// readers still find a date.
void FormatStartDate(const MonitorData& data, char (&text)[64]) {
  static constexpr const char* kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  AbsoluteTime start = RecordTime(0, data.info.TimeBaseSeconds(), data.info.TimeBaseNanoseconds());
  if (start.nanoseconds < 0) {
    start.seconds -= 1;
    start.nanoseconds += 1000000000;
  }
  platform::LocalTime t{};
  if (!RecordLocalTime(start.seconds, &t)) {
    t = platform::LocalTime{1970, 1, 1, 0, 0, 0};
    start.nanoseconds = 0;
  }
  FormatPiece(text, "%s %s %02d %02d:%02d:%02d.%03d %s %d", kDays[Weekday(t.year, t.month, t.day)],
              kMonths[t.month - 1], t.day, t.hour % 12 == 0 ? 12 : t.hour % 12, t.minute, t.second,
              static_cast<int>(start.nanoseconds / 1000000), t.hour < 12 ? "am" : "pm", t.year);
}

void Line(TextOutput& out, const char* text) {
  out.AppendText(text);
  out.FlushLine();
}

// "%4llu.%06llu %c" of the time since the capture's start and the character after it.
char* PutTime(char* p, text::SecondsText& seconds, uint64_t micros, char next) {
  p = seconds.Put(p, micros, [](char* t, uint64_t whole) {
    t = text::PutSpacePadded(t, static_cast<int64_t>(whole), 4);
    *t++ = '.';
    return t;
  });
  *p++ = ' ';
  *p++ = next;
  return p;
}

// The smallest CAN FD DLC whose data length holds `count` bytes.
int FdDlcFor(int count) {
  int dlc = 0;
  while (dlc < 15 && FdDataLength(static_cast<uint8_t>(dlc)) < count) ++dlc;
  return dlc;
}

// A classic frame after the time and channel: "  %-15s Rx   d %X" of the identifier ("%X", and
// "x" for a 29-bit one) and the DLC, then " %02X" of each data byte; "... Rx   r %X" for a remote
// frame. A classic frame has at most eight bytes; the DLC shown is the recorded one when it
// agrees with the bytes shown, otherwise their count, so that readers take exactly these bytes.
char* PutClassicFrame(char* p, const SocketCanFrame& s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  char* id = p + 2;
  p = text::PutHex(text::PutText(p, "  "), s.Identifier(), 1);
  if (s.IsExtended()) *p++ = 'x';
  p = text::PadRight(id, p, 15);
  if (s.IsRemote()) {
    p = text::PutText(p, " Rx   r ");
    *p++ = kHex[s.dlc > 15 ? 15 : s.dlc];
    return p;
  }
  int shown = s.length > 8 ? 8 : s.length;
  bool dlcAgrees = s.dlc <= 15 && (s.dlc > 8 ? 8 : s.dlc) == shown;
  p = text::PutText(p, " Rx   d ");
  *p++ = kHex[dlcAgrees ? s.dlc : shown];
  return text::PutSpacedHexBytes(p, s.data, shown);
}

// A CAN FD frame after the time: "CANFD %3d Rx %10X%c%34s%d %d %x %2d" of the channel, the
// identifier ("x" after a 29-bit one), BRS, ESI, the DLC (the recorded one when it gives the data
// length, otherwise the DLC of the data length) and the data length, then " %02X" of each data
// byte, then " %8d %4d %8X %8X %d %d %d %d" of the message duration and length (not recorded:
// 0), the message flags (FDF 0x1000, BRS 0x2000, ESI 0x4000), the recorded CRC and four bit
// timings (not recorded: 0).
char* PutFdFrame(char* p, int channel, const SocketCanFrame& s) {
  static constexpr char kLowerHex[] = "0123456789abcdef";
  bool brs = (s.fdFlags & kCanFdBrs) != 0;
  bool esi = (s.fdFlags & kCanFdEsi) != 0;
  bool dlcAgrees = s.recordedDlc <= 15 && FdDataLength(s.recordedDlc) == s.length;
  p = text::PutText(p, "ANFD ");
  p = text::PutSpacePadded(p, channel, 3);
  p = text::PutHexField(text::PutText(p, " Rx "), s.Identifier(), 1, 10);
  *p++ = s.IsExtended() ? 'x' : ' ';
  p = text::PutPadRight(p, "", 34);
  *p++ = brs ? '1' : '0';
  *p++ = ' ';
  *p++ = esi ? '1' : '0';
  *p++ = ' ';
  *p++ = kLowerHex[dlcAgrees ? s.recordedDlc : FdDlcFor(s.length)];
  *p++ = ' ';
  p = text::PutSpacePadded(p, s.length, 2);
  p = text::PutSpacedHexBytes(p, s.data, s.length);
  p = text::PutText(p, "        0    0 ");
  p = text::PutHexField(p, 0x1000u | (brs ? 0x2000u : 0) | (esi ? 0x4000u : 0), 1, 8);
  *p++ = ' ';
  p = text::PutHexField(p, s.recordedFc & 0xFFFFFF, 1, 8);
  return text::PutText(p, " 0 0 0 0");
}

// The lines of a frame: the frame, when there is one, and an "ErrorFrame" line wherever the
// SocketCAN form has an error frame.
char* PutFrameLines(char* p, TextOutput& out, text::SecondsText& seconds, int channel,
                    const SocketCanPackets& s) {
  uint64_t t = s.timestamp;
  auto digit = static_cast<char>('0' + channel);
  if (s.hasFrame) {
    if (s.frame.IsFd()) {
      p = PutFdFrame(PutTime(p, seconds, t, 'C'), channel, s.frame);
    } else {
      p = PutClassicFrame(PutTime(p, seconds, t, digit), s.frame);
    }
    if (s.hasError) p = out.EndRowLine(p);
  }
  if (s.hasError) p = text::PutText(PutTime(p, seconds, t, digit), "  ErrorFrame");
  return p;
}

}  // namespace

RecordKind CTxtCvtAsc::NextRecord(RecordCursor& cursor) {
  return dtconv::NextRecord(cursor, kFrameRule);
}

RecordKind CTxtCvtAsc::FirstRecord(RecordCursor& cursor) {
  return dtconv::FirstRecord(cursor, kFrameRule);
}

void ConvertAsc(CTxtCvtAsc& cv, const MonitorData& data, ConverterContext& context) {
  cv.Bind(data, context, false, static_cast<TimeStyle>(context.timeStampStyle));
  TextOutput& out = *cv.output;
  char date[64], line[96];
  FormatStartDate(data, date);
  FormatPiece(line, "date %s", date);
  Line(out, line);
  Line(out, "base hex  timestamps absolute");
  Line(out, "internal events logged");
  FormatPiece(line, "Begin Triggerblock %s", date);
  Line(out, line);
  Line(out, "   0.000000 Start of measurement");

  if (data.recordCount != 0) {
    // No frame line ends in a blank.
    out.TrimRows(false);
    // Bit 1: frames of line 1 are kept, bit 2: those of line 2 (the kind is the line number).
    unsigned keepLines = (context.signalLine != 2 ? 2u : 0u) | (context.signalLine != 1 ? 4u : 0u);
    RecordCursor cursor = cv.StartCursor();
    uint8_t gathered[64];
    SocketCanPackets packets;
    text::SecondsText seconds;
    for (RecordKind kind = cv.FirstRecord(cursor); kind != kKindEnd && out.result().ok();
         kind = dtconv::NextRecord(cursor, kFrameRule)) {
      if (((keepLines >> kind) & 1) == 0 || !KeepsFrame(context.filter, cursor.Current()) ||
          !ReadSocketCan(cursor, gathered, packets)) {
        continue;
      }
      if (!packets.hasFrame && !packets.hasError) continue;
      out.EndRow(PutFrameLines(out.BeginRow(), out, seconds, kind, packets));
    }
    if (out.result().failed()) return;
  }
  Line(out, "End TriggerBlock");
}

}  // namespace dtconv
