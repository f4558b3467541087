// The texts of a GNSS fix written from its integers (the position cells of the text and CSV forms,
// the KML coordinates) against printf of the scaled doubles, for the fixes of
// tests/cases/text/gnss_fixes.tsv: ties of the altitude in decimal and in binary, every error
// shown, every satellite count, coordinates over their whole range.
#include <gtest/gtest.h>

#include "capture_builder.h"
#include "gnss/gnss_fix.h"
#include "text_cases.h"

namespace dtconv {
namespace {

using test::Sprintf;

std::string Minutes(int32_t v, const char* letters, const char* format) {
  long long magnitude = std::llabs(static_cast<long long>(v));
  return Sprintf(format, letters[v < 0 ? 1 : 0], static_cast<int>(magnitude / 10000000),
                 static_cast<double>(magnitude % 10000000) * 6e-6);
}

// The text form, the CSV form ("|" before each cell) and the KML coordinates of a fix.
void Check(const test::FixSpec& f, const std::string& where) {
  MonitorRecord rec;
  std::memcpy(rec.bytes, test::CaptureBuilder().Fix(f).records()[0].data(), 32);
  double error = (f.errorCm >= 50000 ? 99999 : f.errorCm) * 0.01;
  double altitude = (static_cast<int32_t>(static_cast<uint32_t>(f.altitudeMm) << 8) >> 8) * 0.001;
  std::string position = "|" + Minutes(f.latitude, "NS", "%c%2d %08.5f") + "|" +
                         Minutes(f.longitude, "EW", "%c%3d %08.5f") + "|";
  std::string expected[3] = {
      Sprintf("|%2d", f.satellites) + position + Sprintf("%6.2f|%8.2f", error, altitude),
      Sprintf("|%d", f.satellites) + position + Sprintf("%.2f|%.2f", error, altitude),
      Sprintf("%.7f,%.7f,%.2f", f.longitude * 1e-7, f.latitude * 1e-7, altitude)};
  for (int form = 0; form < 3; ++form) {
    char text[256];
    std::string got(text, form == 2 ? PutKmlCoordinates(text, rec)
                                    : PutFixPosition(text, rec, form == 1, text::Delimiter("|")));
    ASSERT_EQ(got, expected[form]) << where << ", form " << form;
  }
}

TEST(GnssText, FixesMatchPrintf) {
  // Satellites, latitude, longitude, error and altitude, each a value or from:to:step.
  for (const test::Row& row : test::ReadTable("text/gnss_fixes.tsv")) {
    int64_t from[5], to[5], step[5] = {1, 1, 1, 1, 1};
    for (int i = 0; i < 5; ++i) {
      char* end = nullptr;
      from[i] = to[i] = std::strtoll(row[i].c_str(), &end, 10);
      if (*end == ':') to[i] = std::strtoll(end + 1, &end, 10);
      if (*end == ':') step[i] = std::strtoll(end + 1, &end, 10);
    }
    for (int64_t n = from[0]; n <= to[0]; n += step[0])
      for (int64_t lat = from[1]; lat <= to[1]; lat += step[1])
        for (int64_t lon = from[2]; lon <= to[2]; lon += step[2])
          for (int64_t e = from[3]; e <= to[3]; e += step[3])
            for (int64_t a = from[4]; a <= to[4] && !HasFailure(); a += step[4]) {
              Check({.satellites = uint8_t(n),
                     .latitude = int32_t(lat),
                     .longitude = int32_t(lon),
                     .altitudeMm = int32_t(a),
                     .errorCm = uint16_t(e)},
                    row[0]);
            }
  }
}

}  // namespace
}  // namespace dtconv
