#include "gnss/gnss_fix.h"

#include "input/bytes.h"

namespace dtconv {

namespace {

// The estimated error as it is shown: centimetres, 99999 from 50000 on.
uint32_t ShownError(uint32_t stored) { return stored >= 50000 ? 99999 : stored; }

// PutFixPosition with its field widths known to the compiler, which then drops the padding code
// that a width does not need.
template <bool kCsv>
char* PutPosition(char* p, const MonitorRecord& fix, const text::Delimiter& d) {
  const uint8_t* b = fix.bytes;
  p = text::PutSpacePadded(d.Put(p), b[8], kCsv ? 0 : 2);
  p = text::PutDegreesMinutes(d.Put(p), LoadI32(b + 16), 'N', 'S', 2);
  p = text::PutDegreesMinutes(d.Put(p), LoadI32(b + 20), 'E', 'W', 3);
  p = text::PutCentimetres(d.Put(p), ShownError(LoadU16(b + 28)), kCsv ? 0 : 6);
  return text::PutMillimetres(d.Put(p), FixAltitude(fix), kCsv ? 0 : 8);
}

}  // namespace

char* PutFixDate(char* p, const MonitorRecord& fix, bool valid) {
  if (!valid) return text::PutText(p, "--------");
  const uint8_t* b = fix.bytes;
  return text::PutDate(p, b[14] + 1900, b[13], b[12]);
}

char* PutFixTime(char* p, const MonitorRecord& fix, bool valid) {
  if (!valid) return text::PutText(p, "--------");
  const uint8_t* b = fix.bytes;
  return text::PutClock(p, b[11], b[10], b[9]);
}

char* PutFixPosition(char* p, const MonitorRecord& fix, bool csv, const text::Delimiter& d) {
  return csv ? PutPosition<true>(p, fix, d) : PutPosition<false>(p, fix, d);
}

void AppendGnssTitles(CTxtCvtBase& cv) {
  for (const char* title : {"UTC Date", "UTC Time", "Quality", "N", "Lattitude", "Longitude",
                            "Estimated Error[m]", "Altitude[m]"}) {
    cv.WriteCell(title);
  }
}

char* GnssColumns::Put(char* p, const MonitorRecord* fix, const text::Delimiter& d) {
  if (fix == nullptr) return d.PutEmpty(p, 8);
  if (fix != fix_) {
    int q = FixQuality(*fix);
    char* c = PutFixDate(d.Put(cells_), *fix, FixTimeValid(q));
    c = PutFixTime(d.Put(c), *fix, FixTimeValid(q));
    c = text::PutText(d.Put(c), FixQualityText(q, true));
    c = FixPositionValid(q) ? PutFixPosition(c, *fix, true, d) : d.PutEmpty(c, 5);
    length_ = static_cast<size_t>(c - cells_);
    fix_ = fix;
  }
  return text::PutText(p, std::string_view(cells_, length_));
}

}  // namespace dtconv
