#include "gnss/gnss_fix.h"

#include <cstdlib>

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
// Hemisphere letter, whole degrees and minutes of a coordinate in 1e-7 degree.
void DegreesMinutes(int32_t value, char positive, char negative, const char* format, char* text,
                    size_t size) {
  int64_t magnitude = std::llabs(static_cast<int64_t>(value));
  FormatPieceN(text, size, format, value >= 0 ? positive : negative,
               static_cast<int>(magnitude / 10000000),
               static_cast<double>(magnitude % 10000000) * 6e-6);
}
}  // namespace

void FormatGnssFix(const MonitorRecord& fix, bool csv, bool kml, GnssFixTexts* t) {
  const uint8_t* b = fix.bytes;
  FormatPiece(t->satellites, csv ? "%d" : "%2d", b[8]);
  int32_t lat = LoadI32(b + 16);
  int32_t lon = LoadI32(b + 20);
  if (kml) {
    FormatPiece(t->latitude, "%.7f", lat * 1e-7);
    FormatPiece(t->longitude, "%.7f", lon * 1e-7);
  } else {
    DegreesMinutes(lat, 'N', 'S', "%c%2d %08.5f", t->latitude, sizeof t->latitude);
    DegreesMinutes(lon, 'E', 'W', "%c%3d %08.5f", t->longitude, sizeof t->longitude);
  }
  unsigned error = LoadU16(b + 28);
  if (error >= 50000) error = 99999;
  FormatPiece(t->error, csv ? "%.2f" : "%6.2f", error * 0.01);
  // Signed 24-bit millimetres.
  int32_t alt = static_cast<int32_t>(static_cast<uint32_t>(b[24] | (b[25] << 8) | (b[26] << 16)) << 8) >> 8;
  FormatPiece(t->altitude, (!csv && !kml) ? "%8.2f" : "%.2f", alt * 0.001);
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
    for (const char* s : {t.satellites, t.latitude, t.longitude, t.error, t.altitude}) cv.WriteCell(s);
  } else {
    for (int i = 0; i < 5; ++i) cv.WriteCell(nullptr);
  }
}

}  // namespace dtconv
