// The texts of a GNSS fix written from its integers (degrees and minutes, decimal degrees,
// estimated error, altitude) against the printf conversions of the scaled doubles, over millions
// of random fixes in every form, and over many altitudes that are ties in decimal.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "diff_support.h"
#include "gnss/gnss_fix.h"
#include "reference_format.h"

namespace dtconv {
namespace {

using test::Random;

// A fix record with the given position, error and altitude; other bytes random.
MonitorRecord Fix(Random& r, int32_t lat, int32_t lon, uint16_t error, int32_t altitude) {
  MonitorRecord rec;
  for (uint8_t& b : rec.bytes) b = static_cast<uint8_t>(r.Next());
  std::memcpy(rec.bytes + 16, &lat, 4);
  std::memcpy(rec.bytes + 20, &lon, 4);
  auto a = static_cast<uint32_t>(altitude);
  rec.bytes[24] = static_cast<uint8_t>(a);
  rec.bytes[25] = static_cast<uint8_t>(a >> 8);
  rec.bytes[26] = static_cast<uint8_t>(a >> 16);
  std::memcpy(rec.bytes + 28, &error, 2);
  return rec;
}

// Both forms of the position cells and the KML coordinates of one fix; false (and a failure)
// when any differs.
bool Same(const MonitorRecord& rec) {
  for (int form = 0; form < 3; ++form) {
    bool csv = form == 1, kml = form == 2;
    ref::GnssTexts t = ref::GnssFix(rec, csv, kml);
    char text[256];
    std::string got, expected;
    if (kml) {
      got.assign(text, PutKmlCoordinates(text, rec));
      expected = t.longitude + "," + t.latitude + "," + t.altitude;
    } else {
      got.assign(text, PutFixPosition(text, rec, csv, text::Delimiter("|")));
      expected = "|" + t.satellites + "|" + t.latitude + "|" + t.longitude + "|" + t.error + "|" +
                 t.altitude;
    }
    if (got != expected) {
      ADD_FAILURE() << "form " << form << ": expected \"" << expected << "\", got \"" << got
                    << "\"";
      return false;
    }
  }
  return true;
}

// A coordinate or altitude of a random magnitude: small ones (near zero, near a whole degree)
// as often as large ones.
int32_t Signed(Random& r, int bits) {
  auto v = static_cast<int32_t>(r.Next() >> (64 - bits));  // bits wide, may be negative
  int shift = static_cast<int>(r.Below(static_cast<uint32_t>(bits)));
  return v >> shift;
}

TEST(GnssText, RandomFixesMatchPrintf) {
  Random r(21);
  int failures = 0;
  for (int64_t i = 0; i < test::DiffCount(1000000) && failures < 5; ++i) {
    auto error = static_cast<uint16_t>(r.OneIn(4) ? r.Below(65536) : r.Below(50001));
    int32_t altitude = Signed(r, 24);
    if (r.OneIn(4)) altitude = altitude / 10 * 10 + 5;  // a decimal tie
    if (!Same(Fix(r, Signed(r, 32), Signed(r, 32), error, altitude))) ++failures;
  }
}

TEST(GnssText, TieAltitudesMatchPrintf) {
  Random r(22);
  int failures = 0;
  // Every fifth 24-bit altitude ending in 5 millimetres, fewer under sanitizers.
  int32_t step = 50 * static_cast<int32_t>(4000000 / test::DiffCount(4000000));
  for (int32_t a = -8388605; a <= 8388605 && failures < 5; a += step) {
    if (!Same(Fix(r, 0, 0, 0, a))) ++failures;
  }
}

// Altitudes whose double product can be the decimal tie itself (multiples of 125 mm ending in
// 5, where the tie is a binary fraction): printf rounds those to an even centimetre.
TEST(GnssText, BinaryTieAltitudesMatchPrintf) {
  Random r(24);
  int failures = 0;
  int32_t step = 250 * static_cast<int32_t>(2000000 / test::DiffCount(2000000));
  for (int32_t a = -8388375; a <= 8388375 && failures < 5; a += step) {
    if (!Same(Fix(r, 0, 0, 0, a))) ++failures;
  }
}

// Every altitude near zero and at both ends of the 24-bit range, and every shown error.
TEST(GnssText, AltitudeEndsAndEveryError) {
  Random r(25);
  int failures = 0;
  for (int32_t a : {-8388608, -8388607, -8388605, -8388600, 8388600, 8388605, 8388607}) {
    if (!Same(Fix(r, 0, 0, 0, a))) ++failures;
  }
  for (int32_t a = -1000; a <= 1000 && failures < 5; ++a) {
    if (!Same(Fix(r, 0, 0, 0, a))) ++failures;
  }
  auto stride = static_cast<uint32_t>(65536 / test::DiffCount(65536));
  for (uint32_t e = 0; e <= 65535 && failures < 5; e += stride) {
    if (!Same(Fix(r, 0, 0, static_cast<uint16_t>(e), 0))) ++failures;
  }
  EXPECT_EQ(failures, 0);
}

// Every satellite count a fix can hold.
TEST(GnssText, EverySatelliteCount) {
  Random r(26);
  for (int n = 0; n < 256; ++n) {
    MonitorRecord rec = Fix(r, 356543210, -1397012345, 1234, -12345);
    rec.bytes[8] = static_cast<uint8_t>(n);
    EXPECT_TRUE(Same(rec)) << n;
  }
}

TEST(GnssText, ExtremeCoordinates) {
  Random r(23);
  for (int32_t v : {INT32_MIN, INT32_MIN + 1, -10000000, -9999999, -1, 0, 1, 9999999, 10000000,
                    99999999, 100000000, INT32_MAX}) {
    EXPECT_TRUE(Same(Fix(r, v, v, 49999, v / 256)));
  }
}

}  // namespace
}  // namespace dtconv
