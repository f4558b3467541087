#include "gnss/gnss_fix.h"

#include "output/coordinate_text.h"
#include "output/text.h"
#include "report/timestamps.h"

namespace dtconv {

int FixQuality(const MonitorRecord& fix) { return fix.bytes[15] & 0x07; }
bool FixTimeValid(int q) { return q >= 1 && q <= 3; }
bool FixPositionValid(int q) { return q == 2 || q == 3; }

const char* FixQualityText(int q, bool csv) {
  switch (q) {
    case 1:
      return csv ? "TIME ONLY" : "T";
    case 2:
      return csv ? "GNSS" : "G";
    case 3:
      return csv ? "DGNSS" : "S";
    default:
      return csv ? "INVALID" : "I";
  }
}

void FormatGnssFix(const MonitorRecord& fix, bool csv, bool kml, GnssFixTexts* t) {
  using namespace fix_text;
  const uint8_t* b = fix.bytes;
  // Every field has room for its longest text and the bytes the pieces write past its end.
  *PutSmall(t->satellites, b[8], csv ? kPlainSmall : kWidth2Small) = '\0';
  int32_t lat = LoadI32(b + 16);
  int32_t lon = LoadI32(b + 20);
  if (kml) {
    *PutDecimalDegrees(t->latitude, lat) = '\0';
    *PutDecimalDegrees(t->longitude, lon) = '\0';
  } else {
    *PutDegreesMinutes(t->latitude, lat, 'N', 'S', kWidth2Small) = '\0';
    *PutDegreesMinutes(t->longitude, lon, 'E', 'W', kWidth3Small) = '\0';
  }
  *PutError(t->error, ShownError(LoadU16(b + 28)), !csv) = '\0';
  *PutAltitude(t->altitude, Altitude(b), !csv && !kml) = '\0';
}

char* PutGnssFixCells(char* p, CTxtCvtBase& cv, const MonitorRecord& fix) {
  using namespace fix_text;
  const uint8_t* b = fix.bytes;
  bool csv = cv.csv;
  p = PutSmall(cv.PutCellStart(p), b[8], csv ? kPlainSmall : kWidth2Small);
  p = PutDegreesMinutes(cv.PutCellStart(p), LoadI32(b + 16), 'N', 'S', kWidth2Small);
  p = PutDegreesMinutes(cv.PutCellStart(p), LoadI32(b + 20), 'E', 'W', kWidth3Small);
  p = PutError(cv.PutCellStart(p), ShownError(LoadU16(b + 28)), !csv);
  return PutAltitude(cv.PutCellStart(p), Altitude(b), !csv);
}

char* PutKmlCoordinates(char* p, const MonitorRecord& fix) {
  const uint8_t* b = fix.bytes;
  return fix_text::PutKmlCoordinates(p, LoadI32(b + 20), LoadI32(b + 16), fix_text::Altitude(b));
}

void AppendGnssTitles(CTxtCvtBase& cv) {
  for (const char* title : {"UTC Date", "UTC Time", "Quality", "N", "Lattitude", "Longitude",
                            "Estimated Error[m]", "Altitude[m]"}) {
    cv.WriteCell(title);
  }
}

void AppendGnssColumns(CTxtCvtBase& cv, const MonitorRecord* fix) {
  if (fix == nullptr) {
    for (int i = 0; i < 8; ++i) cv.WriteCell(nullptr);
    return;
  }
  int q = FixQuality(*fix);
  char date[32], time[32];
  FormatFixDateTime(*fix, FixTimeValid(q), date, time);
  cv.WriteCell(date);
  cv.WriteCell(time);
  cv.WriteCell(FixQualityText(q, true));
  if (FixPositionValid(q)) {
    GnssFixTexts t;
    FormatGnssFix(*fix, true, false, &t);
    for (const char* s : {t.satellites, t.latitude, t.longitude, t.error, t.altitude})
      cv.WriteCell(s);
  } else {
    for (int i = 0; i < 5; ++i) cv.WriteCell(nullptr);
  }
}

void GnssColumnsCache::Append(CTxtCvtBase& cv, const MonitorRecord* fix) {
  TextOutput& out = *cv.output;
  if (valid_ && fix == fix_ && cv.fieldOnLine) {
    out.AppendText(cells_);
    return;
  }
  size_t mark = static_cast<size_t>(out.length());
  bool before = cv.fieldOnLine;
  AppendGnssColumns(cv, fix);
  // Kept only when it is what every later row gets: after a field, and not cut by the capacity.
  valid_ = before && out.length() < TextOutput::kLineCapacity - 1;
  if (valid_) {
    fix_ = fix;
    cells_.assign(out.line().substr(mark));
  }
}

}  // namespace dtconv
