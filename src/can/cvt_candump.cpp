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

// "(seconds.microseconds) " with ten digits of seconds, as candump writes it. The text up to the
// point is kept in `seconds` for the next lines of the same second.
void AppendTime(LogLine& line, int64_t micros, SecondsText& seconds) {
  auto magnitude = static_cast<uint64_t>(micros);
  bool negative = micros < 0;  // only from a damaged time base
  if (negative) magnitude = 0 - magnitude;
  uint64_t whole = magnitude / 1000000;
  // Seconds stay far below 2^63 (10^19 microseconds), so the sign fits the key's top bit.
  uint64_t key = whole | (negative ? uint64_t{1} << 63 : 0);
  if (key != seconds.key) {
    LogLine prefix;
    prefix.Char('(');
    if (negative) prefix.Char('-');
    prefix.Decimal(whole, 10);
    prefix.Char('.');
    seconds.size = prefix.View().size();
    std::memcpy(seconds.text, prefix.View().data(), seconds.size);
    seconds.key = key;
  }
  line.Text(std::string_view(seconds.text, seconds.size));
  line.Digits<6>(magnitude % 1000000);
  line.Text(") ");
}

void AppendData(LogLine& line, const uint8_t* data, int count) { line.HexBytes(data, count, '\0'); }

// "123#...", "18DAF110#..." for a 29-bit identifier; "##" and the flags nibble for CAN FD, "R"
// and the DLC (1-8) for a remote frame.
void AppendFrame(LogLine& line, const SocketCanFrame& s) {
  line.Hex(s.Identifier(), s.IsExtended() ? 8 : 3);
  line.Char('#');
  if (s.IsFd()) {
    line.Char('#');
    line.Hex(s.fdFlags & 0xF);
  } else if (s.IsRemote()) {
    line.Char('R');
    int dlc = s.dlc > 8 ? 8 : s.dlc;
    if (dlc > 0) line.Hex(static_cast<uint64_t>(dlc));
    return;
  }
  AppendData(line, s.data, s.length);
}

// The error frame: its identifier word in eight digits and its eight data bytes. Every recorded
// error status is a bus error, and marking it so (CAN_ERR_BUSERROR, as SocketCAN drivers do)
// lets log readers that look for that class, python-can among them, see an error frame.
void AppendError(LogLine& line, const SocketCanError& e) {
  line.Hex(e.idWord | kCanErrBusError, 8);
  line.Char('#');
  AppendData(line, e.data, 8);
}

void WriteFrame(CTxtCvtCandump& cv, const RecordCursor& cursor, std::string_view iface,
                SecondsText& seconds) {
  CanFrame f;
  if (!AssembleFrame(cursor, f)) return;
  SocketCanPackets p = ToSocketCan(f);
  int64_t micros =
      CaptureMicroseconds(cv.timeBaseSeconds, cv.timeBaseNanoseconds, cursor.Current().Timestamp());
  TextOutput& out = *cv.output;
  LogLine line;
  if (p.hasFrame) {
    AppendTime(line, micros, seconds);
    line.Text(iface);
    line.Char(' ');
    AppendFrame(line, p.frame);
    out.AppendText(line.View());
    out.FlushLine();
  }
  if (p.hasError) {
    line.Clear();
    AppendTime(line, micros, seconds);
    line.Text(iface);
    line.Char(' ');
    AppendError(line, p.error);
    out.AppendText(line.View());
    out.FlushLine();
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
  SecondsText seconds;
  for (RecordKind kind = cv.FirstRecord(cursor); kind != kKindEnd; kind = cv.NextRecord(cursor)) {
    if (kind == kKindCh1Frame && keepCh1)
      WriteFrame(cv, cursor, context.interfaceNames[0], seconds);
    if (kind == kKindCh2Frame && keepCh2)
      WriteFrame(cv, cursor, context.interfaceNames[1], seconds);
    if (cv.output->result() != 0) break;
  }
}

}  // namespace dtconv
