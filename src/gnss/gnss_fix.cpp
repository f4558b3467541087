#include "gnss/gnss_fix.h"

#include <cstdlib>

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

namespace {

// The decimal digits of a value below 10000, blanks before them up to `width` characters: "%*d".
char* PutSmall(char* p, uint32_t v, int width) {
  int digits = v < 10 ? 1 : v < 100 ? 2 : v < 1000 ? 3 : 4;
  for (int i = digits; i < width; ++i) *p++ = ' ';
  switch (digits) {
    case 1:
      *p = static_cast<char>('0' + v);
      return p + 1;
    case 2:
      return text::PutTwoDigits(p, v);
    case 3:
      return text::PutDigits<3>(p, v);
    default:
      return text::PutDigits<4>(p, v);
  }
}

// Hemisphere letter, whole degrees and minutes of a coordinate in 1e-7 degree:
// "%c%<width>d %08.5f" of the hemisphere, the whole degrees and (magnitude % 10^7) * 6e-6.
// The minutes in units of 10^-5 are rest * 3 / 5 exactly, whose fraction is a fifth (never a
// half): the double product lies within 10^-13 of that value, so printf's rounding of it is the
// nearest integer, (3 * rest + 2) / 5. Below 60 minutes, "%08.5f" always gives two whole digits.
char* PutDegreesMinutes(char* p, int32_t value, char positive, char negative, int width) {
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  *p++ = value >= 0 ? positive : negative;
  p = PutSmall(p, magnitude / 10000000u, width);
  *p++ = ' ';
  uint32_t minutes = (3 * (magnitude % 10000000u) + 2) / 5;
  p = text::PutTwoDigits(p, minutes / 100000u);
  *p++ = '.';
  return text::PutDigits<5>(p, minutes % 100000u);
}

// "%.7f" of value * 1e-7: the double product is within 10^-13 of the decimal value, which has
// seven decimals, so printf gives exactly its digits (and "-" for every negative value).
char* PutDecimalDegrees(char* p, int32_t value) {
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  *p = '-';
  p += value < 0 ? 1 : 0;
  p = PutSmall(p, magnitude / 10000000u, 0);
  *p++ = '.';
  return text::PutDigits<7>(p, magnitude % 10000000u);
}

// "%<width>.2f" of error * 0.01 (error below 100000): the decimal value itself, as above.
char* PutError(char* p, unsigned error, int width) {
  p = PutSmall(p, error / 100, width - 3);
  *p++ = '.';
  return text::PutTwoDigits(p, error % 100);
}

// "%<width>.2f" of altitude * 0.001 (millimetres, 24-bit). A millimetre count that does not end
// in 5 lies at least 10^-3 from a tie of the rounding to centimetres, far beyond the error of the
// double product, so the result is the nearest centimetre; the counts ending in 5 are ties in
// decimal and take the rounding of the double product itself.
char* PutAltitude(char* p, int32_t altitude, int width) {
  uint32_t magnitude =
      altitude < 0 ? 0u - static_cast<uint32_t>(altitude) : static_cast<uint32_t>(altitude);
  if (magnitude % 10 == 5) {
    return text::PutFixed(p, altitude * 0.001, 2, text::FixedStyle{.width = width});
  }
  uint32_t centimetres = (magnitude + 5) / 10;
  uint32_t whole = centimetres / 100;  // below 8389
  if (altitude < 0) {
    // The sign goes right before the digits, after the blanks.
    int digits = whole < 10 ? 1 : whole < 100 ? 2 : whole < 1000 ? 3 : 4;
    for (int i = digits + 4; i < width; ++i) *p++ = ' ';
    *p++ = '-';
    p = PutSmall(p, whole, 0);
  } else {
    p = PutSmall(p, whole, width - 3);
  }
  *p++ = '.';
  return text::PutTwoDigits(p, centimetres % 100);
}

int32_t Altitude(const uint8_t* b) {
  // Signed 24-bit millimetres.
  return static_cast<int32_t>(static_cast<uint32_t>(b[24] | (b[25] << 8) | (b[26] << 16)) << 8) >>
         8;
}

unsigned ShownError(const uint8_t* b) {
  unsigned error = LoadU16(b + 28);
  return error >= 50000 ? 99999 : error;
}

void Terminate(char* end) { *end = '\0'; }
}  // namespace

void FormatGnssFix(const MonitorRecord& fix, bool csv, bool kml, GnssFixTexts* t) {
  const uint8_t* b = fix.bytes;
  Terminate(csv ? text::PutInt(t->satellites, b[8]) : text::PutSpacePadded(t->satellites, b[8], 2));
  int32_t lat = LoadI32(b + 16);
  int32_t lon = LoadI32(b + 20);
  if (kml) {
    Terminate(PutDecimalDegrees(t->latitude, lat));
    Terminate(PutDecimalDegrees(t->longitude, lon));
  } else {
    Terminate(PutDegreesMinutes(t->latitude, lat, 'N', 'S', 2));
    Terminate(PutDegreesMinutes(t->longitude, lon, 'E', 'W', 3));
  }
  Terminate(PutError(t->error, ShownError(b), csv ? 0 : 6));
  Terminate(PutAltitude(t->altitude, Altitude(b), (!csv && !kml) ? 8 : 0));
}

char* PutGnssFixCells(char* p, CTxtCvtBase& cv, const MonitorRecord& fix) {
  const uint8_t* b = fix.bytes;
  bool csv = cv.csv;
  p = cv.PutCellStart(p);
  p = PutSmall(p, b[8], csv ? 0 : 2);
  p = PutDegreesMinutes(cv.PutCellStart(p), LoadI32(b + 16), 'N', 'S', 2);
  p = PutDegreesMinutes(cv.PutCellStart(p), LoadI32(b + 20), 'E', 'W', 3);
  p = PutError(cv.PutCellStart(p), ShownError(b), csv ? 0 : 6);
  return PutAltitude(cv.PutCellStart(p), Altitude(b), csv ? 0 : 8);
}

char* PutKmlCoordinates(char* p, const MonitorRecord& fix) {
  const uint8_t* b = fix.bytes;
  p = PutDecimalDegrees(p, LoadI32(b + 20));
  *p++ = ',';
  p = PutDecimalDegrees(p, LoadI32(b + 16));
  *p++ = ',';
  return PutAltitude(p, Altitude(b), 0);
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
