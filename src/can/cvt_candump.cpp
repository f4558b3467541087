#include "can/cvt_candump.h"

#include <cstdint>
#include <cstring>
#include <string_view>

#include "can/can_frame.h"
#include "can/log_line.h"
#include "can/socketcan.h"

namespace dtconv {

namespace {

constexpr AcceptRule kFrameRule{.frames = true};

using logtext::StoreText;

// Lines longer than this are cut here, as they always were (only a very long interface name makes
// one).
constexpr size_t kLineCut = LogLine::kCapacity;
// Room asked of the writer for one line: the cut length and what the word stores of a line write
// past its end.
constexpr size_t kLineRoom = kLineCut + 256;

// "(seconds." of the current second: ten digits at least, a minus for times before 1970 (only
// from a damaged time base). Kept from line to line, redone when a line's time leaves the second.
struct SecondsPrefix {
  bool negative = false;
  uint64_t start = 0;  // microseconds of the second's start, magnitude
  char text[32] = {};
  size_t size = 0;

  SecondsPrefix() { Set(false, 0); }
  void Set(bool minus, uint64_t whole) {
    negative = minus;
    start = whole * 1000000;
    LogLine prefix;
    prefix.Char('(');
    if (minus) prefix.Char('-');
    prefix.Decimal(whole, 10);
    prefix.Char('.');
    size = prefix.View().size();
    std::memcpy(text, prefix.View().data(), size);
  }
};

// "(seconds.microseconds) ", as candump writes it.
char* PutTime(char* p, int64_t micros, SecondsPrefix& seconds) {
  auto magnitude = static_cast<uint64_t>(micros);
  bool negative = micros < 0;
  if (negative) magnitude = 0 - magnitude;
  uint64_t fraction = magnitude - seconds.start;
  if (negative != seconds.negative || fraction >= 1000000) {
    seconds.Set(negative, magnitude / 1000000);
    fraction = magnitude - seconds.start;
  }
  std::memcpy(p, seconds.text, sizeof seconds.text);
  p += seconds.size;
  StoreText(p, logtext::SixDigits(static_cast<uint32_t>(fraction)) | logtext::TextWord(") ") << 48);
  return p + 8;
}

// The interface name of a line and the blank after it, cut where the line would be cut.
struct InterfaceText {
  char text[kLineCut + 1] = {};
  size_t size = 0;

  explicit InterfaceText(std::string_view name) {
    size = name.size() < kLineCut ? name.size() : kLineCut;
    std::memcpy(text, name.data(), size);
    text[size++] = ' ';
  }
  char* Put(char* p) const {
    if (size <= 16) {
      std::memcpy(p, text, 16);
    } else {
      std::memcpy(p, text, size);
    }
    return p + size;
  }
};

// The identifier in three or (29-bit) eight digits and '#'.
char* PutIdentifier(char* p, uint32_t idWord, uint32_t identifier) {
  int digits = (idWord & kCanEffFlag) != 0 ? 8 : 3;
  StoreText(p, logtext::HexDigits8(identifier) >> (64 - 8 * digits));
  p[digits] = '#';
  return p + digits + 1;
}

// "123#...", "18DAF110#..." for a 29-bit identifier; "##" and the flags nibble for CAN FD, "R"
// and the DLC (1-8) for a remote frame.
char* PutFrame(char* p, const SocketCanFrame& s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  p = PutIdentifier(p, s.idWord, s.Identifier());
  if (s.IsFd()) {
    p[0] = '#';
    p[1] = kHex[s.fdFlags & 0xF];
    p += 2;
  } else if (s.IsRemote()) {
    *p++ = 'R';
    int dlc = s.dlc > 8 ? 8 : s.dlc;
    if (dlc > 0) *p++ = kHex[dlc];
    return p;
  }
  return logtext::PutHexData(p, s.data, s.length);
}

// The error frame: its identifier word in eight digits and its eight data bytes. Every recorded
// error status is a bus error, and marking it so (CAN_ERR_BUSERROR, as SocketCAN drivers do)
// lets log readers that look for that class, python-can among them, see an error frame.
char* PutError(char* p, const SocketCanError& e) {
  StoreText(p, logtext::HexDigits8(e.idWord | kCanErrBusError));
  p[8] = '#';
  return logtext::PutHexData(p + 9, e.data, 8);
}

void FinishLine(TextOutput& out, char* line, char* end) {
  if (static_cast<size_t>(end - line) > kLineCut) end = line + kLineCut;
  out.EndAppend(end);
  out.FlushLine();
}

// `f` is the conversion's frame buffer, reused from frame to frame.
void WriteFrame(CTxtCvtCandump& cv, const RecordCursor& cursor, CanFrame& f, uint64_t timeBase,
                const InterfaceText& iface, SecondsPrefix& seconds) {
  if (!AssembleFrame(cursor, f)) return;
  SocketCanPackets p = ToSocketCan(f);
  // CaptureMicroseconds with the time base's part added once for the conversion.
  auto micros = static_cast<int64_t>(timeBase + cursor.Current().Timestamp());
  TextOutput& out = *cv.output;
  if (p.hasFrame) {
    char* line = out.BeginAppend(kLineRoom);
    char* end = iface.Put(PutTime(line, micros, seconds));
    FinishLine(out, line, PutFrame(end, p.frame));
  }
  if (p.hasError) {
    char* line = out.BeginAppend(kLineRoom);
    char* end = iface.Put(PutTime(line, micros, seconds));
    FinishLine(out, line, PutError(end, p.error));
  }
}

}  // namespace

RecordKind CTxtCvtCandump::NextRecord(RecordCursor& cursor) {
  return dtconv::NextRecord(cursor, kFrameRule);
}

RecordKind CTxtCvtCandump::FirstRecord(RecordCursor& cursor) {
  return dtconv::FirstRecord(cursor, kFrameRule);
}

void ConvertCandump(CTxtCvtCandump& cv, const MonitorData& data, ConverterContext& context) {
  cv.Bind(data, context, false, context.timeStampStyle);
  if (data.recordCount == 0) return;
  bool keepCh1 = context.signalLine != 2;
  bool keepCh2 = context.signalLine != 1;
  RecordCursor cursor = cv.StartCursor();
  InterfaceText iface[2] = {InterfaceText(context.interfaceNames[0]),
                            InterfaceText(context.interfaceNames[1])};
  auto timeBase =
      static_cast<uint64_t>(CaptureMicroseconds(cv.timeBaseSeconds, cv.timeBaseNanoseconds, 0));
  SecondsPrefix seconds;
  CanFrame frame;
  for (RecordKind kind = cv.FirstRecord(cursor); kind != kKindEnd; kind = cv.NextRecord(cursor)) {
    if (kind == kKindCh1Frame && keepCh1)
      WriteFrame(cv, cursor, frame, timeBase, iface[0], seconds);
    if (kind == kKindCh2Frame && keepCh2)
      WriteFrame(cv, cursor, frame, timeBase, iface[1], seconds);
    if (cv.output->result() != 0) break;
  }
}

}  // namespace dtconv
