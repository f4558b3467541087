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

using logtext::StoreText;
using logtext::TextWord;

// Room asked of the writer for one line: the longest, a CAN FD line with 64 data bytes and a
// 20-digit time, is about 330 characters, and the word stores of a line write past its end.
constexpr size_t kLineRoom = 512;

// The seconds of the time column and its point, "%4llu.", of the current second. Kept from line
// to line, redone when a line's time leaves the second.
struct SecondsPrefix {
  uint64_t start = 0;  // microseconds of the second's start
  char text[32] = {};
  size_t size = 0;

  SecondsPrefix() { Set(0); }
  void Set(uint64_t whole) {
    start = whole * 1000000;
    LogLine prefix;
    prefix.Decimal(whole, 4, ' ');
    prefix.Char('.');
    size = prefix.View().size();
    std::memcpy(text, prefix.View().data(), size);
  }
};

// The time column and the blank after it, then the character `next`: eight characters after the
// point in all.
char* PutTime(char* p, uint64_t micros, SecondsPrefix& seconds, uint64_t next) {
  uint64_t fraction = micros - seconds.start;
  if (fraction >= 1000000) {
    seconds.Set(micros / 1000000);
    fraction = micros - seconds.start;
  }
  std::memcpy(p, seconds.text, sizeof seconds.text);
  p += seconds.size;
  StoreText(p,
            logtext::SixDigits(static_cast<uint32_t>(fraction)) | TextWord(" ") << 48 | next << 56);
  return p + 8;
}

// The smallest CAN FD DLC whose data length holds `count` bytes.
int FdDlcFor(int count) {
  int dlc = 0;
  while (dlc < 15 && FdDataLength(static_cast<uint8_t>(dlc)) < count) ++dlc;
  return dlc;
}

// "1  123             Rx   d 8 11 22 33 44 55 66 77 88" or "... Rx   r 4" after the time; the
// channel digit is already written. A classic frame has at most eight bytes; the DLC shown is the
// recorded one when it agrees with the bytes shown, otherwise their count, so that readers take
// exactly these bytes.
char* PutClassicFrame(char* p, const SocketCanFrame& s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  // Two blanks, the identifier and "x" for a 29-bit identifier padded to 15, " Rx   ".
  uint32_t id = s.Identifier();
  int digits = logtext::HexDigitCount(id);
  StoreText(p, logtext::kBlanks);
  StoreText(p + 8, logtext::kBlanks);
  StoreText(p + 16, logtext::kBlanks);
  StoreText(p + 2, logtext::HexLeft(id));
  p[2 + digits] = s.IsExtended() ? 'x' : ' ';
  if (s.IsRemote()) {
    StoreText(p + 17, TextWord(" Rx   r "));
    p[25] = kHex[s.dlc > 15 ? 15 : s.dlc];
    return p + 26;
  }
  int shown = s.length > 8 ? 8 : s.length;
  bool dlcAgrees = s.dlc <= 15 && (s.dlc > 8 ? 8 : s.dlc) == shown;
  StoreText(p + 17, TextWord(" Rx   d "));
  p[25] = kHex[dlcAgrees ? s.dlc : shown];
  return logtext::PutSpacedHexData(p + 26, s.data, shown);
}

// "CANFD   1 Rx         123x<name column> 1 0 f 64 <data> <duration> <bits> <flags> <crc> ...":
// BRS, ESI, the DLC (the recorded one when it gives the data length, otherwise the DLC of the
// data length), the data length and the data, then message duration and length (not recorded:
// 0), the message flags, the recorded CRC and four bit-timing words (not recorded: 0). `p` is
// after "CANFD " and `channel` the channel's digit.
char* PutFdFrame(char* p, char channel, const SocketCanFrame& s, uint32_t crc,
                 uint8_t recordedDlc) {
  static constexpr char kLowerHex[] = "0123456789abcdef";
  // "  1 Rx " and the identifier with "x" or a blank, right-aligned in 11, then 34 blanks.
  StoreText(p, TextWord("  1 Rx "));
  p[2] = channel;
  StoreText(p + 7, logtext::kBlanks);
  StoreText(p + 9, logtext::HexRight8(s.Identifier()));
  p[17] = s.IsExtended() ? 'x' : ' ';
  for (int i = 0; i < 40; i += 8) StoreText(p + 18 + i, logtext::kBlanks);
  p += 18 + 34;
  bool brs = (s.fdFlags & kCanFdBrs) != 0;
  bool esi = (s.fdFlags & kCanFdEsi) != 0;
  bool dlcAgrees = recordedDlc <= 15 && FdDataLength(recordedDlc) == s.length;
  int dlc = dlcAgrees ? recordedDlc : FdDlcFor(s.length);
  // "B E D LL": the data length is at most 64, two characters.
  uint64_t length = s.length < 10
                        ? uint64_t{' '} | uint64_t(s.length + '0') << 8
                        : uint64_t(s.length / 10 + '0') | uint64_t(s.length % 10 + '0') << 8;
  StoreText(p, TextWord("0 0 ") | uint64_t{' '} << 40 | uint64_t{brs} | uint64_t{esi} << 16 |
                   uint64_t{static_cast<unsigned char>(kLowerHex[dlc])} << 32 | length << 48);
  p = logtext::PutSpacedHexData(p + 8, s.data, s.length);
  // Duration and length, the message flags in "%8X" (FDF 0x1000, BRS 0x2000, ESI 0x4000), the CRC
  // in "%8X" and the bit timings.
  StoreText(p, TextWord("        "));
  StoreText(p + 8, TextWord("0    0  "));
  StoreText(p + 16,
            TextWord("   1000 ") | uint64_t{brs ? 2u : 0u} << 24 | uint64_t{esi ? 4u : 0u} << 24);
  StoreText(p + 24, logtext::HexRight8(crc));
  StoreText(p + 32, TextWord(" 0 0 0 0"));
  return p + 40;
}

// The lines of the frame at the cursor, each with its line end. `f` is the conversion's frame
// buffer for frames of more than 8 bytes, reused from frame to frame.
char* PutFrameLines(char* p, const RecordCursor& cursor, CanFrame& f, int channel,
                    SecondsPrefix& seconds, const LineEnd& eol) {
  SocketCanPackets s;
  if (!ReadSocketCan(cursor, f, s)) return p;
  const uint8_t* b = cursor.Current().bytes;
  uint64_t t = cursor.Current().Timestamp();
  auto digit = static_cast<char>('0' + channel);
  if (s.hasFrame) {
    if (s.frame.IsFd()) {
      p = PutTime(p, t, seconds, TextWord("C"));
      StoreText(p, TextWord("ANFD "));
      // The recorded CRC and DLC, as AssembleFrame reads them (bytes 20-23 and 15).
      p = PutFdFrame(p + 5, digit, s.frame, LoadU32(b + 20) & 0xFFFFFF, b[15]);
    } else {
      p = PutClassicFrame(PutTime(p, t, seconds, static_cast<unsigned char>(digit)), s.frame);
    }
    p = eol.Put(p);
  }
  if (s.hasError) {
    p = PutTime(p, t, seconds, static_cast<unsigned char>(digit));
    StoreText(p, TextWord("  ErrorF"));
    StoreText(p + 8, TextWord("rame"));
    p = eol.Put(p + 12);
  }
  return p;
}

// The most the lines of one frame take (a CAN FD line of 64 bytes and an error line), with the
// bytes their stores write past their end.
constexpr size_t kMaxFrameLines = 2 * kLineRoom;
// Lines are formatted in batches of up to this many bytes, one writer line that holds whole lines
// with their line ends (the writer ends the last), so the writer's per-line work is done once per
// batch. No frame line ends in a blank, so the writer's trimming of the last changes nothing.
constexpr size_t kBatchRoom = TextOutput::kMaxAppend;

struct BatchState {
  unsigned keep = 0;  // bit 1: CH1 frames, bit 2: CH2 frames
  LineEnd eol;
  SecondsPrefix seconds;
  CanFrame frame;
};

// The lines of the frames from the one at the cursor (of kind `kind`) on, as many as one batch
// holds; returns the kind of the record after the last.
RecordKind WriteBatch(TextOutput& out, RecordCursor& cursor, RecordKind kind, BatchState& state) {
  char* start = out.BeginAppend(kBatchRoom);
  char* last = start + kBatchRoom - kMaxFrameLines;  // where a further frame's lines still fit
  char* p = start;
  do {
    if (((state.keep >> kind) & 1) != 0)
      p = PutFrameLines(p, cursor, state.frame, kind, state.seconds, state.eol);
    kind = NextRecord(cursor, kFrameRule);
  } while (kind != kKindEnd && p <= last);
  if (p != start) {
    out.EndAppend(p - state.eol.length);
    out.FlushLine();
  }
  return kind;
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
    BatchState state{.keep = (keepCh1 ? 2u : 0u) | (keepCh2 ? 4u : 0u),
                     .eol = LineEnd(out.eol()),
                     .seconds = {},
                     .frame = {}};
    RecordKind kind = cv.FirstRecord(cursor);
    while (kind != kKindEnd && out.result().ok()) kind = WriteBatch(out, cursor, kind, state);
    if (out.result().failed()) return;
  }
  line.Clear();
  line.Text("End TriggerBlock");
  Flush(out, line);
}

}  // namespace dtconv
