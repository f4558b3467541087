#include "gnss/gnss_fix.h"

#include <cstring>

#include "gnss/fix_text.h"
#include "pipeline/text_format.h"
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
  // Each piece is formatted in a scratch word with room for the bytes written past its end.
  char piece[48];
  auto copy = [&piece](char* to, const char* end) {
    size_t n = static_cast<size_t>(end - piece);
    std::memcpy(to, piece, n);
    to[n] = '\0';
  };
  copy(t->satellites, PutSmall(piece, b[8], csv ? kPlainSmall : kWidth2Small));
  int32_t lat = LoadI32(b + 16);
  int32_t lon = LoadI32(b + 20);
  if (kml) {
    copy(t->latitude, PutDecimalDegrees(piece, lat));
    copy(t->longitude, PutDecimalDegrees(piece, lon));
  } else {
    copy(t->latitude, PutDegreesMinutes(piece, lat, 'N', 'S', kWidth2Small));
    copy(t->longitude, PutDegreesMinutes(piece, lon, 'E', 'W', kWidth3Small));
  }
  copy(t->error, PutError(piece, ShownError(LoadU16(b + 28)), !csv));
  copy(t->altitude, PutAltitude(piece, Altitude(b), !csv && !kml));
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
  using namespace fix_text;
  const uint8_t* b = fix.bytes;
  p = PutDecimalDegrees(p, LoadI32(b + 20));
  *p++ = ',';
  p = PutDecimalDegrees(p, LoadI32(b + 16));
  *p++ = ',';
  return PutAltitude(p, Altitude(b), false);
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
