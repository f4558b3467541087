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

// `f` is the conversion's frame buffer, reused from frame to frame. One writer line per line, cut
// where lines are cut: for interface names too long for the batches below.
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

// ---- lines in batches

// What a frame format code gives a line, as ToSocketCan decides it: a frame or none (error frames
// and unknown codes give the error frame alone), its identifier's digits and mask, a remote frame,
// a CAN FD frame and where its BRS and ESI bits sit.
struct LineForm {
  uint32_t idMask = 0;
  bool frame = false;
  bool remote = false;
  uint8_t fdExtra = 0;  // 2 for the "#" and flags nibble of a CAN FD frame
  uint8_t digits = 3;
  uint8_t flagShift = 4;
};
struct LineForms {
  LineForm forms[256];
  constexpr LineForms() : forms() {
    for (int code = 0; code < 256; ++code) {
      FrameFormat k = DecodeFrameFormat(static_cast<uint8_t>(code));
      LineForm& f = forms[code];
      f.frame = k.frameClass == FrameClass::Data || k.frameClass == FrameClass::Remote ||
                k.frameClass == FrameClass::FdData;
      f.remote = k.frameClass == FrameClass::Remote;
      f.fdExtra = k.frameClass == FrameClass::FdData ? 2 : 0;
      f.idMask = k.idBits == 29 ? kCanEffMask : kCanSffMask;
      f.digits = k.idBits == 29 ? 8 : 3;
      f.flagShift = k.idBits == 29 ? 5 : 4;
    }
  }
};
constexpr LineForms kLineForms{};

// The 28 data bytes of a continuation record in hexadecimal (56 characters), eight bytes at a
// time; the last group overlaps the one before so that nothing past the record is read.
void PutContinuationHex(char* p, const MonitorRecord& r) {
  logtext::PutHexOfEight(p, r.bytes + 4);
  logtext::PutHexOfEight(p + 16, r.bytes + 12);
  logtext::PutHexOfEight(p + 32, r.bytes + 20);
  logtext::PutHexOfEight(p + 40, r.bytes + 24);
}

// Interface names up to this long (with the blank after) go into the batches: their lines stay
// far below the cut, so no line is ever cut there.
constexpr size_t kBatchName = 16;
// The most the lines of one frame take, with the bytes their stores write past their end.
constexpr size_t kMaxFrameLines = 512;
// Lines are formatted in batches of up to this many bytes, one writer line that holds whole lines
// with their line ends (the writer ends the last), so the writer's per-line work is done once per
// batch. No line of a batch ends in a blank, so the writer's trimming of the last changes nothing.
constexpr size_t kBatchRoom = TextOutput::kMaxAppend;

struct BatchState {
  uint64_t timeBase = 0;
  unsigned keep = 0;  // bit 1: CH1 frames, bit 2: CH2 frames
  const InterfaceText* iface = nullptr;
  LineEnd eol;
  SecondsPrefix seconds;
};

// The lines of the frame whose head record is at the cursor, each with its line end: read straight
// from the records (AssembleFrame's rule for dropped frames, ToSocketCan's lines).
char* PutFrameLines(char* p, const RecordCursor& cursor, const InterfaceText& iface,
                    BatchState& state) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const uint8_t* b = cursor.Current().bytes;
  int count = b[12] > 64 ? 64 : b[12];
  const MonitorRecord* first = nullptr;
  const MonitorRecord* second = nullptr;
  if (count > 8) {
    first = ContinuationOf(cursor, 1);
    if (first == nullptr) return p;
    if (count > 36) {
      second = ContinuationOf(cursor, 2);
      if (cursor.Current().Continuation() < 1 || second == nullptr) return p;
    }
  }
  uint8_t status = b[13];
  const LineForm& form = kLineForms.forms[b[10]];
  bool hasFrame = form.frame && !(count == 0 && status != 0);
  bool hasError = static_cast<unsigned>(status - 1) < 6 && (!hasFrame || count > 0);
  auto micros = static_cast<int64_t>(state.timeBase + cursor.Current().Timestamp());
  if (hasFrame) {
    p = iface.Put(PutTime(p, micros, state.seconds));
    int digits = form.digits;
    StoreText(p, logtext::HexDigits8(LoadU32(b + 16) & form.idMask) >> (64 - 8 * digits));
    p[digits] = '#';
    p += digits + 1;
    if (form.remote) [[unlikely]] {
      int dlc = b[15] > 8 ? 8 : b[15];
      p[0] = 'R';
      p[1] = kHex[dlc];
      p += dlc > 0 ? 2 : 1;
    } else {
      // A CAN FD frame's "#" and flags nibble (FDF, BRS, ESI); a classic frame's data is written
      // over them.
      unsigned flags = kCanFdFrame | ((b[14] >> form.flagShift) & 3);
      p[0] = '#';
      p[1] = kHex[flags];
      p += form.fdExtra;
      logtext::PutHexOfEight(p, b + 24);
      if (first != nullptr) [[unlikely]] {
        PutContinuationHex(p + 16, *first);
        if (second != nullptr) PutContinuationHex(p + 72, *second);
      }
      p += 2 * count;
    }
    p = state.eol.Put(p);
  }
  if (hasError) [[unlikely]] {
    SocketCanError error;
    detail::SocketCanErrorFor(status, &error);
    p = state.eol.Put(PutError(iface.Put(PutTime(p, micros, state.seconds)), error));
  }
  return p;
}

// The lines of the frames from the one at the cursor (of kind `kind`) on, as many as one batch
// holds; returns the kind of the record after the last.
RecordKind WriteBatch(TextOutput& out, RecordCursor& cursor, RecordKind kind, BatchState& state) {
  char* start = out.BeginAppend(kBatchRoom);
  char* last = start + kBatchRoom - kMaxFrameLines;  // where a further frame's lines still fit
  char* p = start;
  do {
    if (((state.keep >> kind) & 1) != 0) p = PutFrameLines(p, cursor, state.iface[kind - 1], state);
    kind = NextRecord(cursor, kFrameRule);
  } while (kind != kKindEnd && p <= last);
  if (p != start) {
    out.EndAppend(p - state.eol.length);
    out.FlushLine();
  }
  return kind;
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
  TextOutput& out = *cv.output;
  if (iface[0].size <= kBatchName && iface[1].size <= kBatchName) {
    BatchState state{.timeBase = timeBase,
                     .keep = (keepCh1 ? 2u : 0u) | (keepCh2 ? 4u : 0u),
                     .iface = iface,
                     .eol = LineEnd(out.eol()),
                     .seconds = {}};
    RecordKind kind = cv.FirstRecord(cursor);
    while (kind != kKindEnd && out.result().ok()) kind = WriteBatch(out, cursor, kind, state);
    return;
  }
  SecondsPrefix seconds;
  CanFrame frame;
  for (RecordKind kind = cv.FirstRecord(cursor); kind != kKindEnd; kind = cv.NextRecord(cursor)) {
    if (kind == kKindCh1Frame && keepCh1)
      WriteFrame(cv, cursor, frame, timeBase, iface[0], seconds);
    if (kind == kKindCh2Frame && keepCh2)
      WriteFrame(cv, cursor, frame, timeBase, iface[1], seconds);
    if (out.result().failed()) break;
  }
}

}  // namespace dtconv
