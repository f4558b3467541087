#include "can/cvt_candump.h"

#include <cstdint>
#include <string_view>

#include "can/can_frame.h"

namespace dtconv {

namespace {

constexpr AcceptRule kFrameRule{.frames = true};

// Lines longer than this are cut here, as they always were (only a very long interface name makes
// one).
constexpr ptrdiff_t kLineCut = 512;

// "(%010llu.%06llu) " of the time since 1970, as candump writes it (a minus before the seconds
// for a time before 1970, only from a damaged time base).
class TimeText {
 public:
  char* Put(char* p, int64_t micros) {
    bool negative = micros < 0;
    auto magnitude = static_cast<uint64_t>(micros);
    if (negative) magnitude = 0 - magnitude;
    if (negative != negative_) seconds_.Forget();
    negative_ = negative;
    p = seconds_.Put(p, magnitude, [negative](char* t, uint64_t whole) {
      *t++ = '(';
      if (negative) *t++ = '-';
      t = text::PutZeroPadded(t, static_cast<int64_t>(whole), 10);
      *t++ = '.';
      return t;
    });
    *p++ = ')';
    *p++ = ' ';
    return p;
  }

 private:
  bool negative_ = false;
  text::SecondsText seconds_;
};

// "%03X#" or (29-bit) "%08X#" of the identifier, then "#%X" of the CAN FD flags for a CAN FD
// frame, "R%X" of the DLC (1-8) for a remote frame (a bare "R" for DLC 0), then "%02X" of each
// data byte.
char* PutFrame(char* p, const SocketCanFrame& s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  p = text::PutHex(p, s.Identifier(), s.IsExtended() ? 8 : 3);
  *p++ = '#';
  if (s.IsRemote()) [[unlikely]] {
    *p++ = 'R';
    int dlc = s.dlc > 8 ? 8 : s.dlc;
    if (dlc > 0) *p++ = kHex[dlc];
    return p;
  }
  // The flags are put whatever the frame, and kept only for CAN FD: CAN FD and classic frames
  // come in no predictable order, and a branch on them would often be mispredicted.
  p[0] = '#';
  p[1] = kHex[s.fdFlags & 0xF];
  p += s.IsFd() ? 2 : 0;
  return text::PutHexBytes(p, s.data, s.length);
}

// "%08X#%s" of the error frame's identifier word and its eight data bytes. Every recorded error
// status is a bus error, and marking it so (CAN_ERR_BUSERROR, as SocketCAN drivers do) lets log
// readers that look for that class, python-can among them, see an error frame.
char* PutError(char* p, const SocketCanError& e) {
  p = text::PutHex(p, e.idWord | kCanErrBusError, 8);
  *p++ = '#';
  return text::PutHexBytes(p, e.data, 8);
}

char* Cut(char* line, char* end) { return end - line > kLineCut ? line + kLineCut : end; }

// "%s %s" of the time and the interface name, then the frame or error frame: one line.
template <typename Packet, typename PutPacket>
char* PutLine(char* p, TimeText& time, int64_t micros, std::string_view iface, const Packet& packet,
              PutPacket put) {
  char* line = p;
  p = text::PutText(time.Put(p, micros), iface);
  *p++ = ' ';
  return Cut(line, put(p, packet));
}

// The lines of a frame: the frame, when there is one, and its error frame, when there is one.
char* PutFrameLines(char* p, TextOutput& out, TimeText& time, int64_t micros,
                    std::string_view iface, const SocketCanPackets& s) {
  if (s.hasFrame) {
    p = PutLine(p, time, micros, iface, s.frame, PutFrame);
    if (s.hasError) p = out.EndRowLine(p);
  }
  if (s.hasError) p = PutLine(p, time, micros, iface, s.error, PutError);
  return p;
}

}  // namespace

RecordKind CTxtCvtCandump::NextRecord(RecordCursor& cursor) {
  return dtconv::NextRecord(cursor, kFrameRule);
}

RecordKind CTxtCvtCandump::FirstRecord(RecordCursor& cursor) {
  return dtconv::FirstRecord(cursor, kFrameRule);
}

void ConvertCandump(CTxtCvtCandump& cv, const MonitorData& data, ConverterContext& context) {
  cv.Bind(data, context, false, static_cast<TimeStyle>(context.timeStampStyle));
  if (data.recordCount == 0) return;
  TextOutput& out = *cv.output;
  // Interface names beyond the cut are cut with their line.
  std::string_view iface[2] = {context.interfaceNames[0], context.interfaceNames[1]};
  for (std::string_view& name : iface) name = name.substr(0, kLineCut);
  // A line ends in a blank only when it is cut in or just after its interface name; the time
  // before the name takes at most 31 characters, so with shorter names no line ends in a blank.
  out.TrimRows(iface[0].size() + 32 >= kLineCut || iface[1].size() + 32 >= kLineCut);
  // Bit 1: frames of line 1 are kept, bit 2: those of line 2 (the kind is the line number).
  unsigned keepLines = (context.signalLine != 2 ? 2u : 0u) | (context.signalLine != 1 ? 4u : 0u);
  int64_t base =
      CaptureMicroseconds(data.info.TimeBaseSeconds(), data.info.TimeBaseNanoseconds(), 0);
  RecordCursor cursor = cv.StartCursor();
  uint8_t gathered[64];
  SocketCanPackets packets;
  TimeText time;
  for (RecordKind kind = cv.FirstRecord(cursor); kind != kKindEnd && out.result().ok();
       kind = dtconv::NextRecord(cursor, kFrameRule)) {
    if (((keepLines >> kind) & 1) == 0 || !KeepsFrame(context.filter, cursor.Current()) ||
        !ReadSocketCan(cursor, gathered, packets)) {
      continue;
    }
    if (!packets.hasFrame && !packets.hasError) continue;
    auto micros = static_cast<int64_t>(static_cast<uint64_t>(base) + packets.timestamp);
    out.EndRow(PutFrameLines(out.BeginRow(), out, time, micros, iface[kind - 1], packets));
  }
}

}  // namespace dtconv
