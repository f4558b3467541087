#include "gnss/cvt_gps.h"

#include <cstring>
#include <string_view>

#include "gnss/gnss_fix.h"
#include "output/coordinate_text.h"
#include "output/text.h"
#include "pipeline/cvt_settings.h"
#include "report/timestamps.h"

namespace dtconv {

namespace {

// Fixes and lost-data markers; overruns are not reported here.
constexpr AcceptRule kGnssRule{.frames = false, .gnss = true, .lostData = true};

void WriteTitle(CTxtCvtGPS& cv) {
  if (cv.csv) {
    for (const char* t : {"Timestamp", "UTC Date", "UTC Time", "Quality", "N", "Lattitude",
                          "Longitude", "Estimated Error[m]", "Altitude[m]"}) {
      cv.WriteCell(t);
    }
  } else {
    char piece[256];
    FormatPiece(piece, "-%s----UTC---Q--N---LATITUDE-----LONGITUDE---ERR[m]--ALT[m]-",
                TimeColumnTitle(3));
    cv.output->AppendText(piece);
  }
  cv.EndLine();
}

// The longest fix row: the time column and eight cells, each with its separator, and the bytes
// the pieces may write past its end.
constexpr size_t kMaxFixLine = 64 + 3 * (63 + 32) + kMaxGnssFixCells + 16;
// Rows are formatted in batches of up to this many bytes, one writer line that holds whole rows
// with their line ends (the writer ends the last), so the writer's per-line work is done once per
// batch. The bytes are those of one writer line per row: each row's trailing blanks are trimmed
// here before its line end, as the writer trims the last.
constexpr size_t kBatchRoom = TextOutput::kMaxAppend;

// The cells before the quality of a fix row: the time column, then the UTC date (CSV only) and
// time, each after its separator. Both change about once a second: each is formatted when it
// changes and copied into the rows after. The time column of the styles this converter uses (3
// and 10, to the second) depends on nothing but the record's absolute second; with any other
// style it is formatted for every row.
class LeadingCells {
 public:
  explicit LeadingCells(CTxtCvtGPS& cv)
      : cv_(cv),
        separator_(cv.csv ? std::string_view(cv.output->delimiter()) : std::string_view(" ")),
        byRecordSecond_(cv.timeStampStyle == 3 || cv.timeStampStyle == 10),
        // With a time base of whole seconds and 0 to 999 999 999 ns, the absolute second of
        // timestamp t is the base's seconds plus (t * 1000 + ns) / 10^9, t below 2^48.
        plainBase_(cv.timeBaseNanoseconds >= 0 && cv.timeBaseNanoseconds < 1000000000) {}

  // The cells at `p` (room for their length and kQuickCopy); returns their end.
  char* Put(char* p, const MonitorRecord& fix, bool timeValid) {
    uint64_t second = RecordSecond(fix);
    if (!byRecordSecond_ || !haveTime_ || second != second_) {
      cv_.fieldOnLine = false;
      timeLength_ = static_cast<size_t>(PutTimeColumn(cv_.PutCellStart(time_), fix, cv_) - time_);
      haveTime_ = true;
      second_ = second;
    }
    // Bytes 9-14 (seconds to year) and whether they are shown.
    uint64_t utc = ((LoadU64(fix.bytes + 8) >> 8) & 0xFFFFFFFFFFFFull) |
                   (static_cast<uint64_t>(timeValid) << 48);
    if (!haveUtc_ || utc != utc_) {
      char* c = utcText_;
      if (cv_.csv) c = PutFixDate(PutSeparator(c), fix, timeValid);
      c = PutFixTime(PutSeparator(c), fix, timeValid);
      utcLength_ = static_cast<size_t>(c - utcText_);
      haveUtc_ = true;
      utc_ = utc;
    }
    p = Copy(p, time_, timeLength_);
    return Copy(p, utcText_, utcLength_);
  }

 private:
  static constexpr size_t kQuickCopy = 64;

  uint64_t RecordSecond(const MonitorRecord& fix) const {
    if (!byRecordSecond_) return 0;
    if (plainBase_) {
      return (fix.Timestamp() * 1000 + static_cast<uint64_t>(cv_.timeBaseNanoseconds)) /
             1000000000u;
    }
    return static_cast<uint64_t>(
        RecordTime(fix.Timestamp(), cv_.timeBaseSeconds, cv_.timeBaseNanoseconds).seconds);
  }
  char* PutSeparator(char* p) const { return text::PutText(p, separator_); }
  static char* Copy(char* p, const char* text, size_t length) {
    if (length <= kQuickCopy) {
      std::memcpy(p, text, kQuickCopy);
    } else {
      std::memcpy(p, text, length);
    }
    return p + length;
  }

  CTxtCvtGPS& cv_;
  std::string_view separator_;
  bool byRecordSecond_;
  bool plainBase_;
  bool haveTime_ = false;
  bool haveUtc_ = false;
  uint64_t second_ = 0;
  uint64_t utc_ = 0;
  size_t timeLength_ = 0;
  size_t utcLength_ = 0;
  // The time column after its blank; the date and time, each after a separator of up to 63
  // characters; both with room for the quick copy.
  char time_[64 + kQuickCopy] = {};
  char utcText_[2 * (63 + 10) + kQuickCopy] = {};
};

// The separator before every cell after the time column: the blank of a text row, or the CSV
// delimiter, one character (kOneChar) or any other length. Kept in locals of the row loop so that
// the stores of the row do not make the compiler read it again.
template <bool kOneChar>
struct Separator {
  char one;
  std::string_view text;
  char* Put(char* p) const {
    if constexpr (kOneChar) {
      *p = one;
      return p + 1;
    } else {
      return text::PutText(p, text);
    }
  }
};

// The rows of the fixes from the one at the cursor on, as many as one batch holds; returns the
// kind of the record after the last.
template <bool kCsv, bool kOneChar>
RecordKind WriteFixRows(CTxtCvtGPS& cv, LeadingCells& leading, RecordCursor& cursor,
                        const LineEnd& eol) {
  using namespace fix_text;
  const std::string_view text = kCsv ? std::string_view(cv.output->delimiter()) : " ";
  const Separator<kOneChar> separator{text.empty() ? ' ' : text[0], text};
  const QualityTexts& quality = kCsv ? kQualityCsv : kQualityText;
  const SmallNumberTexts& satellites = kCsv ? kPlainSmall : kWidth2Small;
  // Only CSV rows of fixes without a position can end in blanks: in delimiters that end in one.
  const bool trim = kCsv && !text.empty() && text.back() == ' ';
  TextOutput& out = *cv.output;
  char* start = out.BeginAppend(kBatchRoom);
  char* last = start + kBatchRoom - kMaxFixLine - 2;  // where a further row still fits
  char* row = start;
  char* p = start;
  RecordKind kind;
  for (;;) {
    const uint8_t* b = cursor.Current().bytes;
    int q = b[15] & 0x07;
    p = leading.Put(p, cursor.Current(), q >= 1 && q <= 3);
    p = PutQuality(separator.Put(p), q, quality);
    if (q == 2 || q == 3) {
      p = PutSmall(separator.Put(p), b[8], satellites);
      p = PutDegreesMinutes(separator.Put(p), LoadI32(b + 16), 'N', 'S', kWidth2Small);
      p = PutDegreesMinutes(separator.Put(p), LoadI32(b + 20), 'E', 'W', kWidth3Small);
      p = PutError(separator.Put(p), ShownError(LoadU16(b + 28)), !kCsv);
      p = PutAltitude(separator.Put(p), Altitude(b), !kCsv);
    } else if (kCsv) {
      for (int i = 0; i < 5; ++i) p = separator.Put(p);
    }
    kind = NextRecord(cursor, kGnssRule);
    if (kind != kKindGnss || p > last) break;
    if (trim) {
      while (p > row && p[-1] == ' ') --p;
    }
    row = eol.Put(p);
    p = row;
  }
  out.EndAppend(p);
  cv.EndLine();
  return kind;
}

using WriteRows = RecordKind (*)(CTxtCvtGPS&, LeadingCells&, RecordCursor&, const LineEnd&);

WriteRows RowWriter(const CTxtCvtGPS& cv) {
  if (!cv.csv) return WriteFixRows<false, true>;
  return cv.output->delimiter().size() == 1 ? WriteFixRows<true, true> : WriteFixRows<true, false>;
}

}  // namespace

RecordKind CTxtCvtGPS::NextRecord(RecordCursor& c) { return dtconv::NextRecord(c, kGnssRule); }
RecordKind CTxtCvtGPS::FirstRecord(RecordCursor& c) { return dtconv::FirstRecord(c, kGnssRule); }
RecordKind CTxtCvtKML::NextRecord(RecordCursor& c) { return dtconv::NextRecord(c, kGnssRule); }
RecordKind CTxtCvtKML::FirstRecord(RecordCursor& c) { return dtconv::FirstRecord(c, kGnssRule); }

void ConvertGnss(CTxtCvtGPS& cv, const MonitorData& data, ConverterContext& context) {
  bool csv = context.type == kCvtGnssCsv;
  cv.Bind(data, context, csv, csv ? 10 : 3);
  if (!csv) cv.WriteReportHeader();
  if (data.recordCount == 0) return;
  RecordCursor cursor = cv.StartCursor();
  RecordKind kind = cv.FirstRecord(cursor);
  if (kind == kKindEnd) return;
  WriteTitle(cv);
  LeadingCells leading(cv);
  WriteRows writeRows = RowWriter(cv);
  LineEnd eol(cv.output->eol());
  while (kind != kKindEnd) {
    if (kind == kKindGnss) {
      kind = writeRows(cv, leading, cursor, eol);
    } else {
      if (kind == kKindLostData && !csv) cv.WriteLostDataLine();
      kind = NextRecord(cursor, kGnssRule);
    }
    if (cv.output->result().failed()) break;
  }
}

namespace {

constexpr const char* kKmlPreamble[] = {
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
    "<kml xmlns=\"http://www.opengis.net/kml/2.2\">",
    "<Document>",
    "<name>EXB-CA position data</name>",
};

constexpr const char* kKmlStyleMap[] = {
    "<StyleMap id=\"msn_ylw-pushpin\">",
    "\t<Pair>",
    "\t\t<key>normal</key>",
    "\t\t<styleUrl>#sn_ylw-pushpin</styleUrl>",
    "\t</Pair>",
    "\t<Pair>",
    "\t\t<key>highlight</key>",
    "\t\t<styleUrl>#sh_ylw-pushpin</styleUrl>",
    "\t</Pair>",
    "</StyleMap>",
    // One writer line with a bare LF inside, whatever line end is configured.
    "<Placemark>\n<name>Path</name>",
    "<styleUrl>#msn_ylw-pushpin</styleUrl>",
    "<LineString>",
    "\t<tessellate>1</tessellate>",
    "\t<altitudeMode>absolute</altitudeMode>",
    "\t<coordinates>",
};

void Line(CTxtCvtKML& cv, const char* text) {
  cv.output->AppendText(text);
  cv.EndLine();
}

// The pushpin style; the highlighted and the normal style differ only in the icon's scale.
void PushpinStyle(CTxtCvtKML& cv, const char* id, const char* scale) {
  char piece[64];
  FormatPiece(piece, "<Style id=\"%s\">", id);
  Line(cv, piece);
  Line(cv, "\t<IconStyle>");
  FormatPiece(piece, "\t\t<scale>%s</scale>", scale);
  Line(cv, piece);
  Line(cv,
       "\t\t<Icon><href>http://maps.google.com/mapfiles/kml/pushpin/ylw-pushpin.png</href></Icon>");
  Line(cv, "\t\t<hotSpot x=\"20\" y=\"2\" xunits=\"pixels\" yunits=\"pixels\"/>");
  Line(cv, "\t</IconStyle>");
  Line(cv, "\t<LineStyle>");
  Line(cv, "\t\t<color>ff0000ff</color>");
  Line(cv, "\t\t<width>2</width>");
  Line(cv, "\t</LineStyle>");
  Line(cv, "</Style>");
}

void CoordinateLine(CTxtCvtKML& cv, const MonitorRecord& fix) {
  // "\t\t%s,%s,%s" of longitude, latitude and altitude.
  TextOutput& out = *cv.output;
  char* p = out.BeginAppend(2 + 3 * 32);
  *p++ = '\t';
  *p++ = '\t';
  out.EndAppend(PutKmlCoordinates(p, fix));
  cv.EndLine();
}

// FixPositionValid(FixQuality(fix)), inline.
bool HasPosition(const MonitorRecord& fix) {
  int q = fix.bytes[15] & 0x07;
  return q == 2 || q == 3;
}

// The path's coordinate lines of the fixes with a position from the one at the cursor (which has
// one) on, as many as one batch holds (see kBatchRoom); `last` becomes the last of them. Returns
// the kind of the record after the batch.
RecordKind WriteCoordinateLines(CTxtCvtKML& cv, RecordCursor& cursor, const LineEnd& eol,
                                const MonitorRecord** last) {
  constexpr size_t kMaxLine = 2 + 3 * 32;
  TextOutput& out = *cv.output;
  char* start = out.BeginAppend(kBatchRoom);
  char* end = start + kBatchRoom - kMaxLine - 2;  // where a further line still fits
  const MonitorRecord* fix = &cursor.Current();
  char* p = start;
  for (;;) {
    *p++ = '\t';
    *p++ = '\t';
    const uint8_t* b = fix->bytes;
    p = fix_text::PutKmlCoordinates(p, LoadI32(b + 20), LoadI32(b + 16), fix_text::Altitude(b));
    *last = fix;
    RecordKind kind = NextRecord(cursor, kGnssRule);
    while (kind != kKindEnd && (kind != kKindGnss || !HasPosition(cursor.Current()))) {
      kind = NextRecord(cursor, kGnssRule);
    }
    if (kind == kKindEnd || p > end) {
      out.EndAppend(p);
      cv.EndLine();
      return kind;
    }
    fix = &cursor.Current();
    p = eol.Put(p);
  }
}

void PointPlacemark(CTxtCvtKML& cv, const char* name, const MonitorRecord& fix) {
  Line(cv, "<Placemark>");
  Line(cv, name);
  Line(cv, "<styleUrl>#msn_ylw-pushpin</styleUrl>");
  Line(cv, "<Point>");
  Line(cv, "\t<altitudeMode>absolute</altitudeMode>");
  Line(cv, "\t<coordinates>");
  CoordinateLine(cv, fix);
  Line(cv, "\t</coordinates>");
  Line(cv, "</Point>");
  Line(cv, "</Placemark>");
}

}  // namespace

void ConvertKml(CTxtCvtKML& cv, const MonitorData& data, ConverterContext& context) {
  cv.Bind(data, context, false, 10);
  if (data.recordCount == 0) return;
  RecordCursor cursor = cv.StartCursor();
  RecordKind kind = cv.FirstRecord(cursor);
  if (kind == kKindEnd) return;
  for (const char* line : kKmlPreamble) Line(cv, line);
  PushpinStyle(cv, "sh_ylw-pushpin", "1.3");
  PushpinStyle(cv, "sn_ylw-pushpin", "1.1");
  for (const char* line : kKmlStyleMap) Line(cv, line);
  const MonitorRecord* first = nullptr;
  const MonitorRecord* last = nullptr;
  LineEnd eol(cv.output->eol());
  while (kind != kKindEnd) {
    const MonitorRecord& rec = cursor.Current();
    if (kind == kKindGnss && HasPosition(rec)) {
      if (first == nullptr) first = &rec;
      kind = WriteCoordinateLines(cv, cursor, eol, &last);
      if (cv.output->result().failed()) break;
    } else {
      kind = NextRecord(cursor, kGnssRule);
    }
  }
  Line(cv, "\t</coordinates>");
  Line(cv, "</LineString>");
  Line(cv, "</Placemark>");
  if (first != nullptr && last != nullptr) {
    PointPlacemark(cv, "<name>First</name>", *first);
    PointPlacemark(cv, "<name>Last</name>", *last);
  }
  Line(cv, "</Document>");
  Line(cv, "</kml>");
}

}  // namespace dtconv
