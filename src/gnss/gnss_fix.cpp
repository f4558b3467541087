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
    case 1: return csv ? "TIME ONLY" : "T";
    case 2: return csv ? "GNSS" : "G";
    case 3: return csv ? "DGNSS" : "S";
    default: return csv ? "INVALID" : "I";
  }
}

namespace {
// Hemisphere letter, whole degrees and minutes of a coordinate in 1e-7 degree:
// "%c%<width>d %08.5f".
void DegreesMinutes(int32_t value, char positive, char negative, int width, char* text) {
  int64_t magnitude = std::llabs(static_cast<int64_t>(value));
  char* p = text;
  *p++ = value >= 0 ? positive : negative;
  p = text::PutSpacePadded(p, magnitude / 10000000, width);
  *p++ = ' ';
  p = text::PutFixed(p, static_cast<double>(magnitude % 10000000) * 6e-6, 5,
                     text::FixedStyle{.width = 8, .zeros = true});
  *p = '\0';
}

void Terminate(char* end) { *end = '\0'; }
}  // namespace

void FormatGnssFix(const MonitorRecord& fix, bool csv, bool kml, GnssFixTexts* t) {
  const uint8_t* b = fix.bytes;
  Terminate(csv ? text::PutInt(t->satellites, b[8]) : text::PutSpacePadded(t->satellites, b[8], 2));
  int32_t lat = LoadI32(b + 16);
  int32_t lon = LoadI32(b + 20);
  if (kml) {
    Terminate(text::PutFixed(t->latitude, lat * 1e-7, 7));
    Terminate(text::PutFixed(t->longitude, lon * 1e-7, 7));
  } else {
    DegreesMinutes(lat, 'N', 'S', 2, t->latitude);
    DegreesMinutes(lon, 'E', 'W', 3, t->longitude);
  }
  unsigned error = LoadU16(b + 28);
  if (error >= 50000) error = 99999;
  Terminate(text::PutFixed(t->error, error * 0.01, 2, text::FixedStyle{.width = csv ? 0 : 6}));
  // Signed 24-bit millimetres.
  int32_t alt =
      static_cast<int32_t>(static_cast<uint32_t>(b[24] | (b[25] << 8) | (b[26] << 16)) << 8) >> 8;
  Terminate(text::PutFixed(t->altitude, alt * 0.001, 2,
                           text::FixedStyle{.width = (!csv && !kml) ? 8 : 0}));
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
