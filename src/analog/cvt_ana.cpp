#include "analog/cvt_ana.h"

#include "analog/thermocouple.h"
#include "gnss/gnss_fix.h"
#include "report/timestamps.h"

namespace dtconv {

namespace {

// Added to the sample's reference-junction temperature per channel 1..8, hundredths of a degree:
// the terminals lie at different distances from the board's temperature sensor.
constexpr int16_t kJunctionCorrection[8] = {35, 30, 25, 20, 15, 10, 5, 0};

}  // namespace

char* PutAnalogCell(char* p, CTxtCvtBase& cv, const AnalogState& state, int index,
                    const uint32_t* raw, int16_t referenceTemp) {
  p = cv.PutCellStart(p);
  if (!state.valuesPresent) return p;
  const ChannelScale& scale = state.scales[index];
  double v = ScaleSample(scale, raw[index < 8 ? index : index - 8]);
  if (scale.thermocouple && index < 8) {
    auto reference = static_cast<int16_t>(referenceTemp + kJunctionCorrection[index]);
    v = ThermocoupleToCelsius(v, scale.tcType, scale.burnoutDetect, scale.junctionCompensation,
                              reference);
    if (v > 9999) return text::PutText(p, "BURNOUT");
  }
  // Text: "%+07.<d>f", sign and zero fill in seven characters; CSV: "%.<d+1>f", plain, with one
  // decimal more.
  int d = scale.decimals;
  if (d >= -4 && d <= -1) return text::PutPlainFixed(p, v, 1 - d);
  return text::PutSignedFixed7(p, v, d >= 1 && d <= 4 ? d : 1);
}

namespace {

// Reads the raw words of the sample under the cursor into the converter's state. An eight-channel
// sample needs its continuation record; without it the sample is not usable.
[[gnu::always_inline]] inline bool TakeSample(CTxtCvtANA& cv, const RecordCursor& cursor) {
  const MonitorRecord& head = cursor.Current();
  cv.analog.referenceTemp = LoadI16(head.bytes + 10);
  for (int i = 0; i < 4; ++i) cv.analog.raw[i] = LoadU32(head.bytes + 16 + 4 * i);
  if (cv.analog.channelCount <= 4) return true;
  const MonitorRecord* next = head.Continuation() != 0 ? ContinuationOf(cursor, 1) : nullptr;
  if (next == nullptr) return false;
  for (int i = 0; i < 4; ++i) cv.analog.raw[4 + i] = LoadU32(next->bytes + 4 + 4 * i);
  return true;
}

void WriteTitles(CTxtCvtANA& cv) {
  char piece[32];
  if (cv.csv) {
    if (cv.elapsed) cv.WriteCell("Elapsed(sec.)");
    cv.WriteCell("Date(YYYY/MM/DD)");
    cv.WriteCell("Time(HH:mm:ss)");
    if (cv.timeStampStyle == 7) cv.WriteCell(cv.output->utf8() ? "Time(\xC2\xB5s)" : "Time(us)");
    if (cv.timeStampStyle == 8) cv.WriteCell("Time(ms)");
    for (int ch = 0; ch < cv.analog.channelCount; ++ch) {
      FormatPiece(piece, "AI%d", ch + 1);
      cv.WriteCell(piece);
    }
    if (cv.addGnss) AppendGnssTitles(cv);
  } else {
    cv.output->AppendText("-");
    cv.output->AppendText(TimeColumnTitle(cv.timeStampStyle));
    for (int ch = 0; ch < cv.analog.channelCount; ++ch) {
      FormatPiece(piece, "---AI%d--", ch + 1);
      cv.output->AppendText(piece);
    }
  }
  cv.EndLine();
}

// Whether every channel is a plain scaled reading (no thermocouple): the cells of such rows are
// written by one loop with nothing decided per cell.
bool PlainChannels(const AnalogState& state) {
  for (int ch = 0; ch < state.channelCount; ++ch) {
    if (state.scales[ch].thermocouple) return false;
  }
  return true;
}

// The decimals of every channel's cells: "%.<d>f" in CSV, "%+07.<d>f" in text (PutAnalogCell's
// choice, made once).
struct CellDecimals {
  int count[8];
  text::PlainFixedColumn columns[8];        // CSV: "%.<count>f"
  text::SignedFixed7Column textColumns[8];  // text: "%+07.<count>f"
};
CellDecimals CellDecimalsOf(const AnalogState& state) {
  CellDecimals cells{};
  for (int ch = 0; ch < 8; ++ch) {
    int d = state.scales[ch].decimals;
    cells.count[ch] = d >= -4 && d <= -1 ? 1 - d : d >= 1 && d <= 4 ? d : 1;
    cells.columns[ch] = text::PlainFixedColumn(cells.count[ch]);
    cells.textColumns[ch] = text::SignedFixed7Column(cells.count[ch]);
  }
  return cells;
}

// The cells of a row of plain channels after the time cells: each after its separator, "%.<d>f"
// in CSV, "%+07.<d>f" in text. `kCount` channels, or a.channelCount when 0: the usual eight are
// unrolled, with every channel's scaling and decimals at a fixed place.
template <int kCount>
char* PutPlainCsvCells(char* p, const AnalogState& a, const CellDecimals& cells, char separator) {
  int count = kCount != 0 ? kCount : a.channelCount;
#pragma GCC unroll 8
  for (int ch = 0; ch < count; ++ch) {
    *p = separator;
    p = cells.columns[ch].Put(p + 1, ScaleSample(a.scales[ch], a.raw[ch]));
  }
  return p;
}

template <int kCount>
char* PutPlainTextCells(char* p, const AnalogState& a, const CellDecimals& cells) {
  int count = kCount != 0 ? kCount : a.channelCount;
  // The usual cell is a blank and seven characters: one eight-byte store.
#pragma GCC unroll 8
  for (int ch = 0; ch < count; ++ch) {
    p = cells.textColumns[ch].PutAfterBlank(p, ScaleSample(a.scales[ch], a.raw[ch]));
  }
  return p;
}

// The longest sample row: the time cells, the column of the text form, and eight cells.
constexpr size_t kMaxSampleRow = kMaxTimeCells + 64 + 8 * kMaxAnalogCell;

// The cells of the sample row at the cursor at `p` (room for kMaxSampleRow characters), without
// a line end; returns their end, or `p` when the sample is not usable.
char* PutSampleCells(char* p, CTxtCvtANA& cv, const RecordCursor& cursor, bool plainChannels,
                     const CellDecimals& cells) {
  if (!TakeSample(cv, cursor)) return p;
  const MonitorRecord& head = cursor.Current();
  TextOutput& out = *cv.output;
  if (cv.csv) {
    p = PutTimeCells(p, head, cv, cv.elapsed, false);
  } else {
    p = PutTimeColumn(cv.PutCellStart(p), head, cv);
  }
  AnalogState& a = cv.analog;
  a.valuesPresent = true;
  // After the time cells every cell starts with the same separator: a blank in text, the
  // delimiter in CSV.
  const std::string& delimiter = out.delimiter();
  bool plainCsv = cv.csv && plainChannels && delimiter.size() == 1;
  bool plainText = !cv.csv && plainChannels;
  // Each cell text goes straight after its separator; the decimals every channel keeps (and which
  // PutAnalogCell checks per cell) are in `cells`.
  if (plainCsv) {
    p = a.channelCount == 8 ? PutPlainCsvCells<8>(p, a, cells, delimiter[0])
                            : PutPlainCsvCells<0>(p, a, cells, delimiter[0]);
  } else if (plainText) {
    p = a.channelCount == 8 ? PutPlainTextCells<8>(p, a, cells) : PutPlainTextCells<0>(p, a, cells);
  } else {
    for (int ch = 0; ch < a.channelCount; ++ch) {
      p = PutAnalogCell(p, cv, a, ch, a.raw, a.referenceTemp);
    }
  }
  return p;
}

// One sample row with the GNSS columns after its cells.
void WriteSampleLine(CTxtCvtANA& cv, const RecordCursor& cursor, bool plainChannels,
                     const CellDecimals& cells) {
  TextOutput& out = *cv.output;
  char* start = out.BeginAppend(kMaxSampleRow);
  char* p = PutSampleCells(start, cv, cursor, plainChannels, cells);
  if (p == start) return;
  out.EndAppend(p);
  if (cv.csv && cv.addGnss) cv.gnssColumns.Append(cv, cv.lastGnss);
  cv.EndLine();
}

// Rows are built a batch at a time in the writer's line when nothing but their cells goes on
// them.
constexpr size_t kBatchRoom = TextOutput::kMaxAppend;

// The rows of the samples from the one at the cursor on, as many as one batch holds and up to the
// next record that is not a sample, each trimmed of trailing blanks (as the writer trims every
// line) and ended; returns the kind of the record after the last.
RecordKind WriteSampleRows(CTxtCvtANA& cv, RecordCursor& cursor, bool plainChannels,
                           const CellDecimals& cells, const LineEnd& eol, const AcceptRule& rule) {
  TextOutput& out = *cv.output;
  char* start = out.BeginAppend(kBatchRoom);
  char* last = start + kBatchRoom - kMaxSampleRow - 2;  // where a further row still fits
  char* p = start;
  RecordKind kind = kKindAnalog;
  do {
    char* row = p;
    p = PutSampleCells(p, cv, cursor, plainChannels, cells);
    cv.fieldOnLine = false;
    if (p != row) {
      while (p > row && p[-1] == ' ') --p;
      p = eol.Put(p);
    }
    kind = dtconv::NextRecord(cursor, rule);
  } while (kind == kKindAnalog && p <= last);
  if (p != start) {
    // The writer ends the last row.
    out.EndAppend(p - eol.length);
    cv.EndLine();
  }
  return kind;
}

}  // namespace

void FormatAnalogCell(CTxtCvtBase& cv, const AnalogState& state, int index, const uint32_t* raw,
                      int16_t referenceTemp) {
  TextOutput& out = *cv.output;
  out.EndAppend(
      PutAnalogCell(out.BeginAppend(kMaxAnalogCell), cv, state, index, raw, referenceTemp));
}

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
  cv.Bind(data, context, csv, context.timeStampStyle);
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
  bool plainChannels = PlainChannels(cv.analog);
  CellDecimals cells = CellDecimalsOf(cv.analog);
  if (!(csv && cv.addGnss)) {
    // Rows of nothing but their cells go a batch at a time, the marker lines one by one.
    LineEnd eol(cv.output->eol());
    AcceptRule rule = cv.Rule();
    while (kind != kKindEnd && cv.output->result() == 0) {
      if (kind == kKindAnalog) {
        kind = WriteSampleRows(cv, cursor, plainChannels, cells, eol, rule);
        continue;
      }
      if (kind == kKindOverrun && !csv) cv.WriteOverrunLine();
      if (kind == kKindLostData && !csv) cv.WriteLostDataLine();
      kind = dtconv::NextRecord(cursor, rule);
    }
    return;
  }
  for (; kind != kKindEnd; kind = cv.NextRecord(cursor)) {
    switch (kind) {
      case kKindOverrun:
        if (!csv) cv.WriteOverrunLine();
        break;
      case kKindLostData:
        if (!csv) cv.WriteLostDataLine();
        break;
      case kKindAnalog:
        WriteSampleLine(cv, cursor, plainChannels, cells);
        break;
      case kKindGnss:
        cv.lastGnss = &cursor.Current();
        break;
      default:
        break;
    }
    if (cv.output->result() != 0) return;
  }
}

}  // namespace dtconv
