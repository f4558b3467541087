#include "analog/cvt_ana.h"

#include "report/time_columns.h"

namespace dtconv {

bool ReadSample(const RecordCursor& cursor, int channelCount, AnalogSample* sample) {
  const MonitorRecord& head = cursor.Current();
  sample->referenceTemp = LoadI16(head.bytes + 10);
  sample->low = head.bytes + 16;
  if (channelCount <= 4) return true;
  const MonitorRecord* next = head.Continuation() != 0 ? ContinuationOf(cursor, 1) : nullptr;
  if (next == nullptr) return false;
  sample->high = next->bytes + 4;
  return true;
}

namespace {

void WriteTitles(CTxtCvtANA& cv) {
  char piece[32];
  if (cv.csv) {
    cv.WriteTimeTitles(cv.elapsed, false);
    for (int ch = 0; ch < cv.analog.channelCount; ++ch) {
      FormatPiece(piece, "AI%d", ch + 1);
      cv.WriteCell(piece);
    }
    if (cv.addGnss) AppendGnssTitles(cv);
  } else {
    cv.output->AppendText("-");
    cv.output->AppendText(TimeColumnTitle(cv.times.style()));
    for (int ch = 0; ch < cv.analog.channelCount; ++ch) {
      FormatPiece(piece, "---AI%d--", ch + 1);
      cv.output->AppendText(piece);
    }
  }
  cv.EndLine();
}

// One sample row. Text: " %s" of the time column, then the cells. CSV: the time cells, the
// cells and, when they are on, the GNSS columns of the latest fix.
char* PutSampleRow(char* p, CTxtCvtANA& cv, const MonitorRecord& head, const AnalogRow& row,
                   const AnalogSample& sample, const text::Delimiter& d) {
  if (cv.csv) {
    p = cv.times.PutCells(p, head, d, cv.elapsed, false);
  } else {
    *p++ = ' ';
    p = cv.times.PutColumn(p, head);
  }
  p = row.Put(p, sample);
  if (cv.addGnss) p = cv.gnssColumns.Put(p, cv.lastGnss, d);
  return p;
}

}  // namespace

AcceptRule CTxtCvtANA::Rule() const {
  AcceptRule rule;
  rule.analog = true;
  rule.gnss = addGnss;
  rule.analogOverrun = true;
  rule.lostData = true;
  return rule;
}

RecordKind CTxtCvtANA::NextRecord(RecordCursor& cursor) {
  return dtconv::NextRecord(cursor, Rule());
}

RecordKind CTxtCvtANA::FirstRecord(RecordCursor& cursor) {
  return dtconv::FirstRecord(cursor, Rule());
}

void CTxtCvtANA::WriteSetupBlock() {
  if (!csv) WriteTitleLine();
  WriteAnalogSettings(*this, analog);
}

void ConvertAnalog(CTxtCvtANA& cv, const MonitorData& data, ConverterContext& context) {
  bool csv = context.type == kCvtAnalogCsv;
  cv.Bind(data, context, csv, static_cast<TimeStyle>(context.timeStampStyle));
  cv.elapsed = csv && (context.optionBits & kOptRelTimeStamp) != 0;
  cv.addGnss = csv && (context.optionBits & kOptAddGnss) != 0;
  SetupChannelScales(data, csv, cv.analog);
  cv.gnssColumns.Reset();

  if (csv) {
    cv.WriteHeaderLines();
    cv.WriteSetupBlock();
  } else {
    cv.WriteReportHeader();
  }
  if (data.recordCount == 0) return;
  RecordCursor cursor = cv.StartCursor();
  RecordKind kind = cv.FirstRecord(cursor);
  if (kind == kKindEnd) return;
  WriteTitles(cv);
  TextOutput& out = *cv.output;
  const text::Delimiter d(csv ? std::string_view(out.delimiter()) : std::string_view(" "));
  const AnalogRow row(cv.analog, d);
  // The walk itself rather than the virtual NextRecord: it is inlined into this loop.
  const AcceptRule rule = cv.Rule();
  // Rows only inside the time window; the latest fix before it still shows on its first rows.
  const RecordFilter& filter = context.filter;
  AnalogSample sample;
  for (; kind != kKindEnd && out.result().ok(); kind = dtconv::NextRecord(cursor, rule)) {
    if (kind != kKindGnss && !filter.InWindow(cursor.Current().Timestamp())) continue;
    switch (kind) {
      case kKindAnalog:
        // An eight-channel sample without its continuation record is left out.
        if (ReadSample(cursor, cv.analog.channelCount, &sample)) {
          out.EndRow(PutSampleRow(out.BeginRow(), cv, cursor.Current(), row, sample, d));
        }
        break;
      case kKindOverrun:
        if (!csv) cv.WriteOverrunLine();
        break;
      case kKindLostData:
        if (!csv) cv.WriteLostDataLine();
        break;
      case kKindGnss:
        cv.lastGnss = &cursor.Current();
        break;
      default:
        break;
    }
  }
}

}  // namespace dtconv
