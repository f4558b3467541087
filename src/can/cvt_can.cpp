#include "can/cvt_can.h"

#include <cstring>

#include "analog/cvt_ana.h"
#include "can/can_frame.h"
#include "gnss/gnss_fix.h"
#include "report/timestamps.h"

namespace dtconv {

namespace {

// The texts of the fields between the channel and the data bytes.
struct FieldTexts {
  char id[16];
  char type[16];
  char dl[16];
  char st[16];
};

void FormatFields(const CanFrame& f, FieldTexts& t) {
  t.id[0] = t.type[0] = t.dl[0] = t.st[0] = '\0';
  FrameClass c = f.kind.frameClass;
  if (c == FrameClass::Other) return;
  if (f.kind.idBits == 11) FormatPiece(t.id, "%03X", f.id);
  if (f.kind.idBits == 29) FormatPiece(t.id, "%08X", f.id);
  switch (c) {
    case FrameClass::Data:
      std::strcpy(t.type, "DATA");
      break;
    case FrameClass::Remote:
      std::strcpy(t.type, "REMOTE");
      break;
    case FrameClass::Error:
      std::strcpy(t.type, "ERROR");
      break;
    default:
      FormatPiece(t.type, "FDATA%s%s", f.brs ? "*" : "", f.esi ? "!" : "");
      break;
  }
  if (c == FrameClass::Data || c == FrameClass::Remote) {
    FormatPiece(t.dl, "%d", f.dlc > 8 ? 8 : f.dlc);
  } else if (c == FrameClass::FdData) {
    FormatPiece(t.dl, "%d", FdDataLength(f.dlc));
  }
  static constexpr const char* kStatus[7] = {"G", "A", "F", "C", "F", "E", "F"};
  if (f.status <= 6) std::strcpy(t.st, kStatus[f.status]);
}

bool HasData(const CanFrame& f) {
  FrameClass c = f.kind.frameClass;
  return c == FrameClass::Data || c == FrameClass::Remote || c == FrameClass::FdData;
}

// Bytes shown in the DATA field: none for remote frames.
int ShownBytes(const CanFrame& f) { return f.kind.frameClass == FrameClass::Remote ? 0 : f.count; }

void WriteTextFrame(CTxtCvtCAN& cv, const MonitorRecord& head, int channel, const CanFrame& f) {
  TextOutput& out = *cv.output;
  FieldTexts t;
  FormatFields(f, t);
  char time[64];
  FormatTimeColumn(head, cv, time);
  char piece[160];
  FormatPiece(piece, "%c %s %d %8s %-7s %2s %-2s ", f.trigger ? 'T' : ' ', time, channel, t.id,
              t.type, t.dl, t.st);
  out.AppendText(piece);
  if (HasData(f)) {
    int shown = ShownBytes(f);
    for (int i = 0; i < 8; ++i) {
      if (i < shown) {
        FormatPiece(piece, "%02X", f.data[i]);
        out.AppendText(piece);
      } else {
        out.AppendText("  ");
      }
    }
    if (f.kind.frameClass == FrameClass::FdData) {
      FormatPiece(piece, " %06X", f.fc & 0xFFFFFF);
    } else {
      FormatPiece(piece, "   %04X", f.fc & 0xFFFF);
    }
    out.AppendText(piece);
  }
  cv.EndLine();
  if (f.kind.frameClass != FrameClass::FdData) return;
  for (int offset = 8; offset < f.count; offset += 16) {
    FormatPiece(piece, "                    %+3d:", offset);
    out.AppendText(piece);
    for (int i = 0; i < 16 && offset + i < f.count; ++i) {
      FormatPiece(piece, i % 8 == 0 ? " %02X" : "%02X", f.data[offset + i]);
      out.AppendText(piece);
    }
    cv.EndLine();
  }
}

void WriteCsvFrame(CTxtCvtCAN& cv, const MonitorRecord& head, int channel, const CanFrame& f) {
  TimeCells cells;
  FormatTimeCells(head, cv, &cells);
  if (cv.relTimeStamp) cv.WriteCell(cells.elapsed);
  cv.WriteCell(cells.date);
  cv.WriteCell(cells.time);
  if (cv.timeStampStyle == 7 || cv.timeStampStyle == 8) cv.WriteCell(cells.subSecond);
  if (cv.diffTimeStamp) cv.WriteCell(cells.difference);

  FieldTexts t;
  FormatFields(f, t);
  cv.WriteCell(channel == 1 ? "1" : "2");
  for (const char* s : {t.id, t.type, t.dl, t.st}) cv.WriteCell(s);

  // DATA: every byte preceded by a blank, up to 64 bytes.
  char data[3 * 64 + 1] = "";
  int shown = HasData(f) ? ShownBytes(f) : 0;
  for (int i = 0; i < shown; ++i) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    data[3 * i] = ' ';
    data[3 * i + 1] = kHex[f.data[i] >> 4];
    data[3 * i + 2] = kHex[f.data[i] & 0x0F];
    data[3 * i + 3] = '\0';
  }
  cv.WriteCell(data);

  char fc[16] = "";
  if (f.kind.frameClass == FrameClass::FdData) {
    FormatPiece(fc, " %02X %02X %02X", (f.fc >> 16) & 0xFF, (f.fc >> 8) & 0xFF, f.fc & 0xFF);
  } else if (HasData(f)) {
    FormatPiece(fc, " %02X %02X", (f.fc >> 8) & 0xFF, f.fc & 0xFF);
  }
  cv.WriteCell(fc);
  cv.WriteCell(f.trigger ? "T" : nullptr);
  if (cv.addAnalog) {
    for (int i = 0; i < cv.analog.channelCount; ++i) {
      FormatAnalogCell(cv, cv.analog, i, cv.analog.raw, cv.analog.referenceTemp);
    }
  }
  if (cv.addGnss) AppendGnssColumns(cv, cv.lastGnss);
  cv.EndLine();
}

void WriteFrame(CTxtCvtCAN& cv, const RecordCursor& cursor, int channel) {
  CanFrame f;
  if (!AssembleFrame(cursor, f)) return;
  if (cv.csv) {
    WriteCsvFrame(cv, cursor.Current(), channel, f);
  } else {
    WriteTextFrame(cv, cursor.Current(), channel, f);
  }
}

// The empty time cells of a row without a timestamp.
void WriteEmptyTimeCells(CTxtCvtCAN& cv) {
  int cells = 2 + (cv.relTimeStamp ? 1 : 0) + (cv.diffTimeStamp ? 1 : 0) +
              (cv.timeStampStyle == 7 || cv.timeStampStyle == 8 ? 1 : 0);
  for (int i = 0; i < cells; ++i) cv.WriteCell(nullptr);
}

void WriteCsvMarker(CTxtCvtCAN& cv, const char* text) {
  WriteEmptyTimeCells(cv);
  cv.WriteCell(text);
  for (int i = 0; i < 7; ++i) cv.WriteCell(nullptr);
  if (cv.addAnalog) {
    for (int i = 0; i < cv.analog.channelCount; ++i) cv.WriteCell(nullptr);
  }
  if (cv.addGnss) AppendGnssColumns(cv, nullptr);
  cv.EndLine();
}

void WriteCsvHeader(CTxtCvtCAN& cv) {
  if (cv.relTimeStamp) cv.WriteCell("Elapsed(sec.)");
  cv.WriteCell("Date(YYYY/MM/DD)");
  cv.WriteCell("Time(HH:mm:ss)");
  if (cv.timeStampStyle == 7) cv.WriteCell(cv.output->utf8() ? "Time(\xC2\xB5s)" : "Time(us)");
  if (cv.timeStampStyle == 8) cv.WriteCell("Time(ms)");
  if (cv.diffTimeStamp) cv.WriteCell("TimeDiff(sec.)");
  for (const char* s : {"Ch", "ID", "Type", "DL", "St", "Data", "FC", "Trig"}) cv.WriteCell(s);
  if (cv.addAnalog) {
    char title[16];
    for (int i = 1; i <= cv.analog.channelCount; ++i) {
      FormatPiece(title, "AI%d", i);
      cv.WriteCell(title);
    }
  }
  if (cv.addGnss) AppendGnssTitles(cv);
  cv.EndLine();
}

// Takes the analog sample at the cursor as the latest one. Channels 5-8 come from the continuation
// record; without it the words read so far stay, but the sample counts as present only if an
// earlier one did.
void UpdateAnalog(CTxtCvtCAN& cv, const RecordCursor& cursor) {
  const uint8_t* head = cursor.Current().bytes;
  AnalogState& a = cv.analog;
  a.referenceTemp = static_cast<int16_t>(LoadU16(head + 10));
  for (int i = 0; i < 4; ++i) a.raw[i] = LoadU32(head + 16 + 4 * i);
  if (a.channelCount > 4) {
    const MonitorRecord* next = ContinuationOf(cursor, 1);
    if (cursor.Current().Continuation() < 1 || next == nullptr) return;
    for (int i = 0; i < 4; ++i) a.raw[4 + i] = LoadU32(next->bytes + 4 + 4 * i);
  }
  a.valuesPresent = true;
}

void WriteTextTitle(CTxtCvtCAN& cv) {
  char piece[128];
  FormatPiece(piece, "--%s-CH-----ID--TYPE----DL-ST-DATA---------------FC--",
              TimeColumnTitle(cv.timeStampStyle));
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
  cv.Bind(data, context, csv, context.timeStampStyle);
  uint32_t options = csv ? context.optionBits : 0;
  cv.relTimeStamp = (options & kOptRelTimeStamp) != 0;
  cv.diffTimeStamp = (options & kOptDiffTimeStamp) != 0;
  cv.addAnalog = (options & kOptAddAnalog) != 0;
  cv.addGnss = (options & kOptAddGnss) != 0;
  SetupChannelScales(data, csv, cv.analog);

  if (!csv) cv.WriteReportHeader();
  if (data.recordCount == 0) return;
  bool keepCh1 = context.signalLine != 2;
  bool keepCh2 = context.signalLine != 1;
  RecordCursor cursor = cv.StartCursor();
  RecordKind kind = cv.FirstRecord(cursor);
  if (kind == kKindEnd) return;
  if (csv) {
    WriteCsvHeader(cv);
  } else {
    WriteTextTitle(cv);
  }
  for (; kind != kKindEnd; kind = cv.NextRecord(cursor)) {
    switch (kind) {
      case kKindCh1Frame:
        if (keepCh1) WriteFrame(cv, cursor, 1);
        break;
      case kKindCh2Frame:
        if (keepCh2) WriteFrame(cv, cursor, 2);
        break;
      case kKindOverrun:
        if (csv) {
          WriteCsvMarker(cv, "Overrun");
        } else {
          cv.WriteOverrunLine();
        }
        break;
      case kKindLostData:
        if (csv) {
          WriteCsvMarker(cv, "Lost data");
        } else {
          cv.WriteLostDataLine();
        }
        break;
      case kKindAnalog:
        UpdateAnalog(cv, cursor);
        break;
      case kKindGnss:
        cv.lastGnss = &cursor.Current();
        break;
      default:
        break;
    }
    if (cv.output->result() != 0) break;
  }
}

}  // namespace dtconv
