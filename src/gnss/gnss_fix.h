// Texts of one GNSS fix, shared by the GNSS report, the KML track and the GNSS columns that the
// CAN and analog CSV tables append to their rows.
#pragma once

#include <string>

#include "input/monitor_record.h"
#include "report/cvt_base.h"

namespace dtconv {

// Fix quality (bits 0-2 of byte 15): 1 time only, 2 GNSS, 3 DGNSS, anything else invalid.
int FixQuality(const MonitorRecord& fix);
bool FixTimeValid(int quality);                     // 1, 2, 3
bool FixPositionValid(int quality);                 // 2, 3
const char* FixQualityText(int quality, bool csv);  // "GNSS" or "G", ...

struct GnssFixTexts {
  char satellites[16];
  char latitude[32];
  char longitude[32];
  char error[32];
  char altitude[32];
};
// N, latitude, longitude, estimated error and altitude of a fix, in text or CSV form, or in the
// decimal degrees of KML.
void FormatGnssFix(const MonitorRecord& fix, bool csv, bool kml, GnssFixTexts* texts);
// The same five texts as cells of cv (PutCellStart before each) in its text or CSV form, written
// at `p`; returns the end. Needs room for 5 * (63 + 31) characters.
char* PutGnssFixCells(char* p, CTxtCvtBase& cv, const MonitorRecord& fix);
inline constexpr size_t kMaxGnssFixCells = 5 * (63 + 31);
// "<longitude>,<latitude>,<altitude>" of a fix in the decimal degrees of KML, written at `p`;
// returns the end. Needs room for 3 * 32 characters.
char* PutKmlCoordinates(char* p, const MonitorRecord& fix);

// The eight GNSS column titles, appended to the current CSV header row.
void AppendGnssTitles(CTxtCvtBase& cv);
// The eight GNSS cells of the given fix (eight empty cells for none), appended to the current CSV
// row without ending it.
void AppendGnssColumns(CTxtCvtBase& cv, const MonitorRecord* fix);

// AppendGnssColumns for rows that repeat one fix until the next: the cells are formatted once per
// fix and copied into every later row that follows a field.
class GnssColumnsCache {
 public:
  void Reset() { valid_ = false; }
  void Append(CTxtCvtBase& cv, const MonitorRecord* fix);

 private:
  bool valid_ = false;
  const MonitorRecord* fix_ = nullptr;
  std::string cells_;
};

}  // namespace dtconv
