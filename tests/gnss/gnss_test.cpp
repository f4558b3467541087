// GNSS report, CSV table and KML track: whole outputs against golden files.
#include <gtest/gtest.h>

#include "capture_builder.h"
#include "gnss/cvt_gps.h"
#include "gnss/cvt_kml.h"
#include "gnss/gnss_fix.h"
#include "run_converter.h"
#include "test_files.h"

namespace dtconv {
namespace {

using test::CaptureBuilder;
using test::FixSpec;

// A short drive: fixes of every quality, a lost-data marker, and the coordinates and values whose
// texts are worth pinning (southern and western hemispheres, error caps, negative altitude).
CaptureBuilder Drive() {
  CaptureBuilder b;
  b.timeBaseNanoseconds = 250000000;
  auto fix = [&](uint64_t t, uint8_t q, int32_t lat, int32_t lon, int32_t alt, uint16_t err,
                 uint8_t sats, int second) {
    FixSpec f;
    f.timestamp = t;
    f.quality = q;
    f.latitude = lat;
    f.longitude = lon;
    f.altitudeMm = alt;
    f.errorCm = err;
    f.satellites = sats;
    f.utc = {2026, 12, 6, 9, 30, second};
    b.Fix(f);
  };
  fix(0, 0, 0, 0, 0, 0, 0, 0);                                   // invalid
  fix(1000000, 1, 0, 0, 0, 0, 3, 1);                             // time only
  fix(2000000, 2, 356543210, 1397012345, 12345, 1234, 9, 2);     // GNSS
  b.Marker(0x81, 2500000);                                       // CAN overrun: not reported
  fix(3000000, 3, 356543999, 1397013000, -200, 60000, 12, 3);    // DGNSS, error capped
  b.Marker(0x80, 3500000);                                       // lost data
  fix(4000000, 2, -123456789, -1234567, 8388607, 49999, 10, 4);  // south-west, top altitude
  fix(5000000, 0x0E, 0, 0, 0, 0, 0, 5);                          // quality 6: invalid
  fix(6000000, 3, 356544100, 1397014000, -8388608, 0, 11, 6);    // lowest altitude
  return b;
}

std::string Gnss(const CaptureBuilder& b, int32_t type, uint32_t bits = 3,
                 std::u16string delimiter = u",") {
  test::SetTimeZone("UTC");
  auto r = test::RunConverter(b.Build(), test::SettingsFor(type, 0, 0, bits, delimiter),
                              [](const MonitorData& d, ConverterContext& c) {
                                if (c.type == kCvtGnssKml) {
                                  CTxtCvtKML cv;
                                  ConvertKml(cv, d, c);
                                } else {
                                  CTxtCvtGPS cv;
                                  ConvertGnss(cv, d, c);
                                }
                              });
  EXPECT_EQ(r.result, 0u);
  return r.bytes;
}

struct GoldenCase {
  const char* golden;
  std::function<CaptureBuilder()> capture;
  int32_t type;
  uint32_t bits;
  std::u16string delimiter;
};

CaptureBuilder Empty() { return CaptureBuilder(); }
CaptureBuilder OnlyMarkers() {
  CaptureBuilder b;
  b.Marker(0x80, 10).Marker(0x81, 20).Marker(0x80, 30);
  return b;
}
CaptureBuilder UnknownModel() {
  CaptureBuilder b = Drive();
  b.model = 0x12011;
  b.serial = "ABCDEFGHIJKLMNOPQ";
  b.start = {};
  return b;
}
CaptureBuilder OneFix() {
  CaptureBuilder b;
  FixSpec f;
  f.quality = 2;
  f.latitude = 356543210;
  f.longitude = 1397012345;
  f.altitudeMm = 12345;
  b.Fix(f);
  return b;
}
CaptureBuilder TimeOnly() {
  CaptureBuilder b;
  FixSpec f;
  f.quality = 1;
  b.Fix(f);
  f.timestamp = 1000000;
  b.Fix(f);
  return b;
}
CaptureBuilder OnlyOverrun() {
  CaptureBuilder b;
  b.Marker(0x81, 1);
  return b;
}

class Golden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, WholeOutput) {
  const GoldenCase& c = GetParam();
  std::string diff = test::CompareGolden(c.golden, Gnss(c.capture(), c.type, c.bits, c.delimiter));
  EXPECT_TRUE(diff.empty()) << diff;
}

INSTANTIATE_TEST_SUITE_P(
    All, Golden,
    ::testing::Values(GoldenCase{"gnss/drive.txt", Drive, kCvtGnssText, 3, u","},
                      GoldenCase{"gnss/drive_lf.txt", Drive, kCvtGnssText, 1, u","},
                      GoldenCase{"gnss/drive_cr.txt", Drive, kCvtGnssText, 2, u","},
                      GoldenCase{"gnss/drive.csv", Drive, kCvtGnssCsv, 3, u","},
                      GoldenCase{"gnss/drive_utf8_bom_tab.csv", Drive, kCvtGnssCsv, 0x5D, u"\t"},
                      GoldenCase{"gnss/drive_utf8.csv", Drive, kCvtGnssCsv, 0x55, u";"},
                      GoldenCase{"gnss/drive.kml", Drive, kCvtGnssKml, 3, u","},
                      GoldenCase{"gnss/drive_lf.kml", Drive, kCvtGnssKml, 0x5D, u","},
                      GoldenCase{"gnss/unknown_model.txt", UnknownModel, kCvtGnssText, 3, u","},
                      GoldenCase{"gnss/empty.txt", Empty, kCvtGnssText, 3, u","},
                      GoldenCase{"gnss/only_overrun.txt", OnlyOverrun, kCvtGnssText, 3, u","},
                      GoldenCase{"gnss/only_markers.txt", OnlyMarkers, kCvtGnssText, 3, u","},
                      GoldenCase{"gnss/only_markers.csv", OnlyMarkers, kCvtGnssCsv, 3, u","},
                      GoldenCase{"gnss/only_markers.kml", OnlyMarkers, kCvtGnssKml, 3, u","},
                      GoldenCase{"gnss/one_fix.kml", OneFix, kCvtGnssKml, 3, u","},
                      GoldenCase{"gnss/time_only.kml", TimeOnly, kCvtGnssKml, 3, u","}),
    [](const auto& info) {
      std::string n = info.param.golden;
      for (char& ch : n)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

TEST(Gnss, EmptyCaptureGivesEmptyCsvAndKml) {
  EXPECT_EQ(Gnss(Empty(), kCvtGnssCsv), "");
  EXPECT_EQ(Gnss(Empty(), kCvtGnssKml), "");
  EXPECT_EQ(Gnss(OnlyOverrun(), kCvtGnssKml), "");
  EXPECT_EQ(Gnss(Empty(), kCvtGnssKml, 0x5D), "\xEF\xBB\xBF");
}

struct FixTextCase {
  int32_t lat, lon, alt;
  uint16_t err;
  bool csv, kml;
  const char* expected;  // N|lat|lon|err|alt
};

class FixTexts : public ::testing::TestWithParam<FixTextCase> {};

TEST_P(FixTexts, Format) {
  const FixTextCase& c = GetParam();
  FixSpec f;
  f.latitude = c.lat;
  f.longitude = c.lon;
  f.altitudeMm = c.alt;
  f.errorCm = c.err;
  f.satellites = 7;
  CaptureBuilder b;
  b.Fix(f);
  MonitorRecord rec;
  std::memcpy(rec.bytes, b.records()[0].data(), 32);
  char text[256];
  std::string got =
      c.kml ? std::string(text, PutKmlCoordinates(text, rec))
            : std::string(text + 1, PutFixPosition(text, rec, c.csv, text::Delimiter("|")));
  EXPECT_EQ(got, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    All, FixTexts,
    ::testing::Values(FixTextCase{356543210, 1397012345, 12345, 1234, false, false,
                                  " 7|N35 39.25926|E139 42.07407| 12.34|   12.35"},
                      FixTextCase{356543210, 1397012345, 12345, 1234, true, false,
                                  "7|N35 39.25926|E139 42.07407|12.34|12.35"},
                      FixTextCase{356543210, 1397012345, 12345, 1234, false, true,
                                  "139.7012345,35.6543210,12.35"},
                      FixTextCase{-123456789, -5, -200, 60000, true, false,
                                  "7|S12 20.74073|W  0 00.00003|999.99|-0.20"},
                      FixTextCase{-123456789, 0, -200, 50000, false, true,
                                  "0.0000000,-12.3456789,-0.20"},
                      FixTextCase{0, 0, 0, 49999, false, false,
                                  " 7|N 0 00.00000|E  0 00.00000|499.99|    0.00"}));

}  // namespace
}  // namespace dtconv
