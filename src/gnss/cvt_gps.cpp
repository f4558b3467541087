#include "gnss/cvt_gps.h"

#include "gnss/gnss_fix.h"
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

// The longest fix row: the time column and eight cells, each with its separator.
constexpr size_t kMaxFixLine = 64 + 3 * (63 + 32) + kMaxGnssFixCells;

void WriteFixLine(CTxtCvtGPS& cv, const MonitorRecord& fix) {
  int q = FixQuality(fix);
  bool timeValid = FixTimeValid(q);
  TextOutput& out = *cv.output;
  char* p = out.BeginAppend(kMaxFixLine);
  p = PutTimeColumn(cv.PutCellStart(p), fix, cv);
  if (cv.csv) p = PutFixDate(cv.PutCellStart(p), fix, timeValid);
  p = PutFixTime(cv.PutCellStart(p), fix, timeValid);
  p = text::PutText(cv.PutCellStart(p), FixQualityText(q, cv.csv));
  if (FixPositionValid(q)) {
    p = PutGnssFixCells(p, cv, fix);
  } else if (cv.csv) {
    for (int i = 0; i < 5; ++i) p = cv.PutCellStart(p);
  }
  out.EndAppend(p);
  cv.EndLine();
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
  while (kind != kKindEnd) {
    if (kind == kKindGnss) {
      WriteFixLine(cv, cursor.Current());
    } else if (kind == kKindLostData && !csv) {
      cv.WriteLostDataLine();
    }
    if (cv.output->result() != 0) break;
    kind = cv.NextRecord(cursor);
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
  while (kind != kKindEnd) {
    const MonitorRecord& rec = cursor.Current();
    if (kind == kKindGnss && FixPositionValid(FixQuality(rec))) {
      CoordinateLine(cv, rec);
      if (first == nullptr) first = &rec;
      last = &rec;
    }
    if (cv.output->result() != 0) break;
    kind = cv.NextRecord(cursor);
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
