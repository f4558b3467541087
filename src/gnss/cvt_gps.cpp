#include "gnss/cvt_gps.h"

#include "gnss/gnss_fix.h"
#include "report/time_columns.h"

namespace dtconv {

namespace {

// Fixes and lost-data markers; overruns are not reported here.
constexpr AcceptRule kGnssRule{.frames = false, .gnss = true, .lostData = true};

void WriteTitle(CTxtCvtGPS& cv) {
  if (cv.csv) {
    cv.WriteCell("Timestamp");
    AppendGnssTitles(cv);
  } else {
    char piece[256];
    FormatPiece(piece, "-%s----UTC---Q--N---LATITUDE-----LONGITUDE---ERR[m]--ALT[m]-",
                TimeColumnTitle(TimeStyle::kDateSeconds));
    cv.output->AppendText(piece);
  }
  cv.EndLine();
}

// The UTC cells of a fix row, each after the separator: the date (CSV only) and the time. They
// change once a second of fixes, so the text of the latest is kept.
class UtcCells {
 public:
  UtcCells(bool date, const text::Delimiter& d) : date_(date), d_(d) {}

  char* Put(char* p, const MonitorRecord& fix, bool valid) {
    // Bytes 9-14 (second to year) and whether they are shown.
    uint64_t key = ((LoadU64(fix.bytes + 8) >> 8) & 0xFFFFFFFFFFFFull) | uint64_t{valid} << 48;
    if (length_ == 0 || key != key_) {
      char* c = text_;
      if (date_) c = PutFixDate(d_.Put(c), fix, valid);
      c = PutFixTime(d_.Put(c), fix, valid);
      length_ = static_cast<size_t>(c - text_);
      key_ = key;
    }
    return text::PutText(p, std::string_view(text_, length_));
  }

 private:
  bool date_;
  const text::Delimiter& d_;
  uint64_t key_ = 0;
  char text_[2 * (63 + 10) + 32] = {};
  size_t length_ = 0;
};

// One fix row. Text: " %s %s %s" of the time column, the UTC time and the quality letter, then
// the position cells after blanks. CSV: the record's local date and time, the UTC date and time,
// the quality and the position cells (empty without a position), after the delimiter `d`.
char* PutFixRow(char* p, CTxtCvtGPS& cv, UtcCells& utc, const MonitorRecord& fix,
                const text::Delimiter& d) {
  int q = FixQuality(fix);
  if (!cv.csv) *p++ = ' ';
  p = cv.times.PutColumn(p, fix);
  p = utc.Put(p, fix, FixTimeValid(q));
  p = text::PutText(d.Put(p), FixQualityText(q, cv.csv));
  if (FixPositionValid(q)) return PutFixPosition(p, fix, cv.csv, d);
  return cv.csv ? d.PutEmpty(p, 5) : p;
}

}  // namespace

RecordKind CTxtCvtGPS::NextRecord(RecordCursor& c) { return dtconv::NextRecord(c, kGnssRule); }
RecordKind CTxtCvtGPS::FirstRecord(RecordCursor& c) { return dtconv::FirstRecord(c, kGnssRule); }

void ConvertGnss(CTxtCvtGPS& cv, const MonitorData& data, ConverterContext& context) {
  bool csv = context.type == kCvtGnssCsv;
  cv.Bind(data, context, csv, csv ? TimeStyle::kFullDate : TimeStyle::kDateSeconds);
  if (!csv) cv.WriteReportHeader();
  if (data.recordCount == 0) return;
  RecordCursor cursor = cv.StartCursor();
  RecordKind kind = cv.FirstRecord(cursor);
  if (kind == kKindEnd) return;
  WriteTitle(cv);
  TextOutput& out = *cv.output;
  const text::Delimiter d(csv ? std::string_view(out.delimiter()) : std::string_view(" "));
  UtcCells utc(csv, d);
  const RecordFilter& filter = context.filter;
  for (; kind != kKindEnd && out.result().ok(); kind = NextRecord(cursor, kGnssRule)) {
    if (!filter.InWindow(cursor.Current().Timestamp())) continue;
    if (kind == kKindGnss) {
      out.EndRow(PutFixRow(out.BeginRow(), cv, utc, cursor.Current(), d));
    } else if (kind == kKindLostData && !csv) {
      cv.WriteLostDataLine();
    }
  }
}

}  // namespace dtconv
