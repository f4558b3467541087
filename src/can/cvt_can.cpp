#include "can/cvt_can.h"

#include <cstring>
#include <string_view>

#include "can/can_frame.h"
#include "report/time_columns.h"

namespace dtconv {

namespace {

// TYPE: the frame's class, and for CAN FD frames BRS ("*") and ESI ("!"). One table read: the
// kinds of frame come in no predictable order.
std::string_view TypeText(const CanFrame& f) {
  static constexpr std::string_view kTypes[5][4] = {
      {"DATA", "DATA", "DATA", "DATA"},
      {"REMOTE", "REMOTE", "REMOTE", "REMOTE"},
      {"ERROR", "ERROR", "ERROR", "ERROR"},
      {"FDATA", "FDATA*", "FDATA!", "FDATA*!"},
      {"", "", "", ""},
  };
  return kTypes[static_cast<int>(f.kind.frameClass)][(f.brs ? 1 : 0) + (f.esi ? 2 : 0)];
}

// ST: the letter of a recorded status 0 to 6, none for the others.
std::string_view StatusText(const CanFrame& f) {
  static constexpr char kLetters[] = "GAFCFEF";
  return f.status <= 6 ? std::string_view(kLetters + f.status, 1) : std::string_view();
}

// The digits of ID: "%08X" of a 29-bit frame's recorded word, "%03X" of an 11-bit frame's, none
// without an identifier (a digit per four bits, rounded up).
int IdDigits(const CanFrame& f) { return (f.kind.idBits + 3) / 4; }

// A frame's line in the text report: "%c %s %d %8s %-7s %2s %-2s " of the trigger mark, the time
// column, the line, ID, TYPE, DL and ST (all blank for an unknown frame format), then for frames
// with data "%-16s" of "%02X" of each of up to eight data bytes and the check value: " %06X" of a
// CAN FD frame's, "   %04X" of a classic frame's.
char* PutTextFrame(char* p, CTxtCvtCAN& cv, const MonitorRecord& head, int channel,
                   const CanFrame& f) {
  *p++ = f.trigger ? 'T' : ' ';
  *p++ = ' ';
  p = cv.times.PutColumn(p, head);
  *p++ = ' ';
  *p++ = static_cast<char>('0' + channel);
  *p++ = ' ';
  if (f.kind.frameClass == FrameClass::Other) {
    p = text::PutPadRight(p, "", 22);
  } else {
    p = text::PutHexField(p, f.id, IdDigits(f), 8);
    *p++ = ' ';
    p = text::PutPadRight(p, TypeText(f), 7);
    *p++ = ' ';
    p = f.kind.frameClass == FrameClass::Error ? text::PutText(p, "  ")
                                               : text::PutSpacePadded(p, f.DataLength(), 2);
    *p++ = ' ';
    p = text::PutPadRight(p, StatusText(f), 2);
  }
  *p++ = ' ';
  if (!f.HasData()) return p;
  int shown = f.kind.frameClass == FrameClass::Remote ? 0 : f.count < 8 ? f.count : 8;
  char* data = p;
  p = text::PadRight(data, text::PutHexBytes(data, f.data, shown), 16);
  if (f.IsFd()) {
    *p++ = ' ';
    return text::PutHex(p, f.fc & 0xFFFFFF, 6);
  }
  p = text::PutText(p, "   ");
  return text::PutHex(p, f.fc & 0xFFFF, 4);
}

// The continuation lines of a CAN FD frame of more than eight bytes, each after the line before
// it: "%+23d:" of the offset of its first byte, then " %s" of "%02X" of each of up to eight bytes,
// twice.
char* PutContinuationLines(char* p, TextOutput& out, const CanFrame& f) {
  for (int offset = 8; offset < f.count; offset += 16) {
    p = out.EndRowLine(p);
    int n = f.count - offset < 16 ? f.count - offset : 16;
    p = text::PutSignedSpacePadded(p, offset, 23);
    *p++ = ':';
    *p++ = ' ';
    p = text::PutHexBytes(p, f.data + offset, n < 8 ? n : 8);
    if (n > 8) {
      *p++ = ' ';
      p = text::PutHexBytes(p, f.data + offset + 8, n - 8);
    }
  }
  return p;
}

// A frame's row in the CSV table: the time cells, then Ch, ID ("%03X" or "%08X"), Type, DL
// ("%d"), St, Data (" %02X" of each byte), FC (" %02X" of each byte of the check value, three of
// a CAN FD frame's, two of a classic frame's) and Trig, each after the delimiter, then the
// analog and GNSS columns when they are on.
char* PutCsvFrame(char* p, CTxtCvtCAN& cv, const MonitorRecord& head, int channel,
                  const CanFrame& f, const text::Delimiter& d) {
  p = cv.times.PutCells(p, head, d, cv.relTimeStamp, cv.diffTimeStamp);
  p = d.Put(p);
  *p++ = static_cast<char>('0' + channel);
  p = d.Put(p);
  if (f.kind.frameClass == FrameClass::Other) {
    p = d.PutEmpty(p, 3);  // an unknown frame format shows no field
  } else {
    if (IdDigits(f) != 0) p = text::PutHex(p, f.id, IdDigits(f));
    p = text::PutText(d.Put(p), TypeText(f));
    p = d.Put(p);
    if (f.kind.frameClass != FrameClass::Error) p = text::PutSmallUnsigned(p, f.DataLength());
    p = text::PutText(d.Put(p), StatusText(f));
  }
  bool dataBytes = f.IsFd() | (f.kind.frameClass == FrameClass::Data);  // without a branch
  p = text::PutSpacedHexBytes(d.Put(p), f.data, dataBytes ? f.count : 0);
  p = d.Put(p);
  if (f.HasData()) {
    // The check value's bytes, highest first.
    uint8_t check[8] = {};
    int n = f.IsFd() ? 3 : 2;
    for (int i = 0; i < n; ++i) check[i] = static_cast<uint8_t>(f.fc >> (8 * (n - 1 - i)));
    p = text::PutSpacedHexBytes(p, check, n);
  }
  p = d.Put(p);
  if (f.trigger) *p++ = 'T';
  return cv.extra.Put(p);
}

void WriteCsvMarker(CTxtCvtCAN& cv, const char* text) {
  for (int i = cv.times.CellCount(cv.relTimeStamp, cv.diffTimeStamp); i > 0; --i) {
    cv.WriteCell(nullptr);
  }
  cv.WriteCell(text);
  for (int i = 7 + cv.extra.CellCount(); i > 0; --i) cv.WriteCell(nullptr);
  cv.EndLine();
}

void WriteCsvHeader(CTxtCvtCAN& cv) {
  cv.WriteTimeTitles(cv.relTimeStamp, cv.diffTimeStamp);
  for (const char* s : {"Ch", "ID", "Type", "DL", "St", "Data", "FC", "Trig"}) cv.WriteCell(s);
  cv.extra.WriteTitles(cv);
  cv.EndLine();
}

void WriteTextTitle(CTxtCvtCAN& cv) {
  char piece[128];
  FormatPiece(piece, "--%s-CH-----ID--TYPE----DL-ST-DATA---------------FC--",
              TimeColumnTitle(cv.times.style()));
  cv.output->AppendText(piece);
  cv.EndLine();
}

AcceptRule RuleOf(const CTxtCvtCAN& cv) {
  AcceptRule rule;
  rule.frames = true;
  rule.gnss = cv.addGnss;
  rule.analog = cv.addAnalog;
  rule.canOverrun = true;
  rule.lostData = true;
  return rule;
}

}  // namespace

RecordKind CTxtCvtCAN::NextRecord(RecordCursor& cursor) {
  return dtconv::NextRecord(cursor, RuleOf(*this));
}

RecordKind CTxtCvtCAN::FirstRecord(RecordCursor& cursor) {
  return dtconv::FirstRecord(cursor, RuleOf(*this));
}

void CTxtCvtCAN::WriteSetupBlock() {
  WriteTitleLine();
  if (data->recordingKind != 0 && data->recordingKind != 4) return;
  for (int line = 1; line <= 2; ++line) {
    CanChannelSetup setup = data->info.CanChannel(line);
    char piece[64], rate[32];
    FormatPiece(piece, "*  CH%d PROTOCOL: CAN/CAN FD%-10s *", line,
                setup.nonIso == 1 ? "(NON-ISO)" : "(ISO)");
    output->AppendText(piece);
    EndLine();
    FormatBitRate(static_cast<int32_t>(setup.nominalBitRate), rate);
    FormatPiece(piece, "*      BAUDRATE: %-20s *", rate);
    output->AppendText(piece);
    EndLine();
    FormatBitRate(static_cast<int32_t>(setup.dataBitRate), rate);
    FormatPiece(piece, "*      BAUDRATE(DATA): %-14s *", rate);
    output->AppendText(piece);
    EndLine();
  }
}

void ConvertCan(CTxtCvtCAN& cv, const MonitorData& data, ConverterContext& context) {
  bool csv = context.type == kCvtCanCsv;
  cv.Bind(data, context, csv, static_cast<TimeStyle>(context.timeStampStyle));
  uint32_t options = csv ? context.optionBits : 0;
  cv.relTimeStamp = (options & kOptRelTimeStamp) != 0;
  cv.diffTimeStamp = (options & kOptDiffTimeStamp) != 0;
  cv.addAnalog = (options & kOptAddAnalog) != 0;
  cv.addGnss = (options & kOptAddGnss) != 0;
  TextOutput& out = *cv.output;
  const text::Delimiter d(out.delimiter());
  cv.extra.Reset(data, cv.addAnalog, cv.addGnss, d);

  if (!csv) cv.WriteReportHeader();
  if (data.recordCount == 0) return;
  RecordCursor cursor = cv.StartCursor();
  RecordKind kind = cv.FirstRecord(cursor);
  if (kind == kKindEnd) return;
  if (csv) {
    WriteCsvHeader(cv);
  } else {
    WriteTextTitle(cv);
  }
  // The walk itself rather than the virtual NextRecord: it is inlined into this loop.
  const AcceptRule rule = RuleOf(cv);
  // Bit 1: frames of line 1 are kept, bit 2: those of line 2 (the kind is the line number).
  unsigned keepLines = (context.signalLine != 2 ? 2u : 0u) | (context.signalLine != 1 ? 4u : 0u);
  const RecordFilter& filter = context.filter;
  CanFrame frame;
  for (; kind != kKindEnd && out.result().ok(); kind = dtconv::NextRecord(cursor, rule)) {
    switch (kind) {
      case kKindCh1Frame:
      case kKindCh2Frame: {
        if (((keepLines >> kind) & 1) == 0 || !KeepsFrame(filter, cursor.Current()) ||
            !AssembleFrame(cursor, frame)) {
          break;
        }
        char* p = out.BeginRow();
        if (csv) {
          p = PutCsvFrame(p, cv, cursor.Current(), kind, frame, d);
        } else {
          p = PutTextFrame(p, cv, cursor.Current(), kind, frame);
          if (frame.IsFd()) p = PutContinuationLines(p, out, frame);
        }
        out.EndRow(p);
        break;
      }
      case kKindOverrun:
        if (!filter.InWindow(cursor.Current().Timestamp())) break;
        if (csv) {
          WriteCsvMarker(cv, "Overrun");
        } else {
          cv.WriteOverrunLine();
        }
        break;
      case kKindLostData:
        if (!filter.InWindow(cursor.Current().Timestamp())) break;
        if (csv) {
          WriteCsvMarker(cv, "Lost data");
        } else {
          cv.WriteLostDataLine();
        }
        break;
      case kKindAnalog:
        cv.extra.TakeAnalog(cursor);
        break;
      case kKindGnss:
        cv.extra.TakeGnss(cursor.Current());
        break;
      default:
        break;
    }
  }
}

}  // namespace dtconv
