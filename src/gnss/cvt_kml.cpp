#include "gnss/cvt_kml.h"

#include "gnss/gnss_fix.h"

namespace dtconv {

namespace {

// Fixes and lost-data markers, as the GNSS report walks them.
constexpr AcceptRule kGnssRule{.frames = false, .gnss = true, .lostData = true};

constexpr const char* kPreamble[] = {
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
    "<kml xmlns=\"http://www.opengis.net/kml/2.2\">",
    "<Document>",
    "<name>EXB-CA position data</name>",
};

constexpr const char* kStyleMap[] = {
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

// "\t\t%s" of the coordinates of a fix: one row. Inlined into the track's loop, which does
// nothing else per fix.
[[gnu::always_inline]] inline void CoordinateRow(CTxtCvtKML& cv, const MonitorRecord& fix) {
  TextOutput& out = *cv.output;
  char* p = out.BeginRow();
  *p++ = '\t';
  *p++ = '\t';
  out.EndRow(PutKmlCoordinates(p, fix));
}

void PointPlacemark(CTxtCvtKML& cv, const char* name, const MonitorRecord& fix) {
  Line(cv, "<Placemark>");
  Line(cv, name);
  Line(cv, "<styleUrl>#msn_ylw-pushpin</styleUrl>");
  Line(cv, "<Point>");
  Line(cv, "\t<altitudeMode>absolute</altitudeMode>");
  Line(cv, "\t<coordinates>");
  CoordinateRow(cv, fix);
  Line(cv, "\t</coordinates>");
  Line(cv, "</Point>");
  Line(cv, "</Placemark>");
}

}  // namespace

RecordKind CTxtCvtKML::NextRecord(RecordCursor& c) { return dtconv::NextRecord(c, kGnssRule); }
RecordKind CTxtCvtKML::FirstRecord(RecordCursor& c) { return dtconv::FirstRecord(c, kGnssRule); }

void ConvertKml(CTxtCvtKML& cv, const MonitorData& data, ConverterContext& context) {
  cv.Bind(data, context, false, TimeStyle::kFullDate);
  if (data.recordCount == 0) return;
  RecordCursor cursor = cv.StartCursor();
  RecordKind kind = cv.FirstRecord(cursor);
  if (kind == kKindEnd) return;
  for (const char* line : kPreamble) Line(cv, line);
  PushpinStyle(cv, "sh_ylw-pushpin", "1.3");
  PushpinStyle(cv, "sn_ylw-pushpin", "1.1");
  for (const char* line : kStyleMap) Line(cv, line);
  // Every coordinate row ends in a digit: nothing to trim.
  cv.output->TrimRows(false);
  // The path through every fix with a position (in the time window); the first and the last of
  // them are marked.
  const MonitorRecord* first = nullptr;
  const MonitorRecord* last = nullptr;
  for (; kind != kKindEnd && cv.output->result().ok(); kind = NextRecord(cursor, kGnssRule)) {
    const MonitorRecord& fix = cursor.Current();
    if (kind != kKindGnss || !FixPositionValid(FixQuality(fix)) ||
        !context.filter.InWindow(fix.Timestamp())) {
      continue;
    }
    if (first == nullptr) first = &fix;
    last = &fix;
    CoordinateRow(cv, fix);
  }
  Line(cv, "\t</coordinates>");
  Line(cv, "</LineString>");
  Line(cv, "</Placemark>");
  if (first != nullptr) {
    PointPlacemark(cv, "<name>First</name>", *first);
    PointPlacemark(cv, "<name>Last</name>", *last);
  }
  Line(cv, "</Document>");
  Line(cv, "</kml>");
}

}  // namespace dtconv
