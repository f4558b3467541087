// The texts of one GNSS fix, shared by the GNSS report, the KML track and the GNSS columns that
// the CAN and analog CSV tables append to their rows.
//
// A fix record: bytes 8 satellites, 9-14 the UTC second, minute, hour, day, month and year - 1900,
// 15 (bits 0-2) the fix quality, 16 latitude and 20 longitude in signed 1e-7 degree, 24 altitude
// in signed 24-bit millimetres, 28 the estimated error in centimetres.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "input/bytes.h"
#include "input/monitor_record.h"
#include "output/text.h"
#include "report/cvt_base.h"

namespace dtconv {

// Fix quality: 1 time only, 2 GNSS, 3 DGNSS, anything else invalid.
inline int FixQuality(const MonitorRecord& fix) { return fix.bytes[15] & 0x07; }
inline bool FixTimeValid(int quality) { return quality >= 1 && quality <= 3; }
inline bool FixPositionValid(int quality) { return quality == 2 || quality == 3; }
// "GNSS" or "G", "TIME ONLY" or "T", "DGNSS" or "S", "INVALID" or "I" (CSV or text).
inline std::string_view FixQualityText(int quality, bool csv) {
  static constexpr std::string_view kTexts[2][4] = {{"I", "T", "G", "S"},
                                                    {"INVALID", "TIME ONLY", "GNSS", "DGNSS"}};
  return kTexts[csv ? 1 : 0][FixTimeValid(quality) ? quality : 0];
}

// The UTC date "%04d/%02d/%02d" and time "%02d:%02d:%02d" of a fix as received, or "--------"
// when its time is not valid.
char* PutFixDate(char* p, const MonitorRecord& fix, bool valid);
char* PutFixTime(char* p, const MonitorRecord& fix, bool valid);

// The five position cells of a fix, each after the separator `d`: satellites ("%2u" in text,
// "%u" in CSV), latitude "%c%2d %08.5f", longitude "%c%3d %08.5f", the estimated error in metres
// ("%6.2f" in text, "%.2f" in CSV; 999.99 from 500 m on) and the altitude ("%8.2f" or "%.2f").
char* PutFixPosition(char* p, const MonitorRecord& fix, bool csv, const text::Delimiter& d);

// The altitude of a fix in millimetres (signed 24 bits).
inline int32_t FixAltitude(const MonitorRecord& fix) {
  const uint8_t* b = fix.bytes;
  return static_cast<int32_t>(static_cast<uint32_t>(b[24] | (b[25] << 8) | (b[26] << 16)) << 8) >>
         8;
}

// "%.7f,%.7f,%.2f" of longitude, latitude and altitude: the coordinates of KML. Inline, as the
// KML track writes nothing else per fix.
inline char* PutKmlCoordinates(char* p, const MonitorRecord& fix) {
  p = text::PutDecimalDegrees(p, LoadI32(fix.bytes + 20));
  *p++ = ',';
  p = text::PutDecimalDegrees(p, LoadI32(fix.bytes + 16));
  *p++ = ',';
  return text::PutMillimetres(p, FixAltitude(fix), 0);
}

// The titles of the eight GNSS columns, as cells of the current CSV header row.
void AppendGnssTitles(CTxtCvtBase& cv);

// The eight GNSS cells of CAN and analog CSV rows (UTC date and time, quality and position of
// the latest fix), each after the delimiter: empty before the first fix and without a position.
// Every row repeats the latest fix until the next, so its cells are formatted once per fix.
class GnssColumns {
 public:
  void Reset() { fix_ = nullptr; }
  char* Put(char* p, const MonitorRecord* fix, const text::Delimiter& d);

 private:
  // Eight cells of at most 15 characters, each after a delimiter of at most 63.
  static constexpr size_t kMaxCells = 8 * (63 + 16);
  const MonitorRecord* fix_ = nullptr;
  char cells_[kMaxCells + 64] = {};
  size_t length_ = 0;
};

}  // namespace dtconv
