// The number texts of the text toolkit against the C library's printf: the cases of
// tests/cases/text/numbers.tsv (a printf format, a value, and for NaN and the infinities the text
// glibc writes), then random values of every kind through each format of the table. A fixed-point
// format also goes through the column writers that serve it, and no writer may store past the
// 32 bytes of room the toolkit claims.
//
// The texts of a GNSS fix written from its integers (the position cells of the text and CSV forms,
// the KML coordinates) against printf of the scaled doubles, for the fixes of
// tests/cases/text/gnss_fixes.tsv: ties of the altitude in decimal and in binary, every error
// shown, every satellite count, coordinates over their whole range.
#include <bit>
#include <set>

#include "gnss/gnss_fix.h"
#include "output/text.h"
#include "text_cases.h"

namespace dtconv {
namespace {

// A conversion "%[+][0][width][.decimals][ll]<d, u, X or f>".
struct Format {
  std::string text;
  bool plus = false, zeros = false, wide = false;
  int width = 0, decimals = 0;
  explicit Format(const std::string& f) : text(f), wide(f.find("ll") != std::string::npos) {
    char* p = text.data() + 1;
    for (; *p == '+' || *p == '0'; ++p) (*p == '+' ? plus : zeros) = true;
    width = static_cast<int>(std::strtol(p, &p, 10));
    if (*p == '.') decimals = static_cast<int>(std::strtol(p + 1, &p, 10));
  }
  bool Plain() const { return !plus && !zeros && width == 0; }  // "%.<d>f"
  bool Signed7() const { return plus && zeros && width == 7 && decimals >= 1 && decimals <= 4; }
};

// printf's text, cut to 31 characters as the report pieces always were (text::kMaxFixedChars);
// integers of 32 bits unless the format is wide.
std::string Printf(const Format& f, double v) { return test::Sprintf<32>(f.text.c_str(), v); }
std::string Printf(const Format& f, int64_t v) {
  if (f.wide) return test::Sprintf<32>(f.text.c_str(), static_cast<long long>(v));
  if (f.text.back() == 'd') return test::Sprintf<32>(f.text.c_str(), static_cast<int>(v));
  return test::Sprintf<32>(f.text.c_str(), static_cast<unsigned>(v));
}

// What `put` writes at the start of a buffer, with a note when it stored past its room.
template <typename Put>
std::string Written(Put put) {
  static const std::string unwritten(112, '#');
  char b[112];
  std::memcpy(b, unwritten.data(), sizeof b);
  char* end = put(b);
  bool past = std::memcmp(end + 32, unwritten.data(), b + sizeof b - end - 32) != 0;
  return std::string(b, end) + (past ? " (and past its room)" : "");
}

// Every toolkit text of `v` in format `f`; the seven-character cells come after a blank.
std::vector<std::string> Texts(const Format& f, double v) {
  int d = f.decimals;
  std::vector<std::string> t = {Written([&](char* p) {
    return text::PutFixed(p, v, d, {f.width, f.plus, f.zeros});
  })};
  if (f.Plain()) t.push_back(Written([&](char* p) { return text::PlainFixedColumn(d).Put(p, v); }));
  if (f.Signed7()) {
    std::string cell =
        Written([&](char* p) { return text::SignedFixed7Column(d).PutAfterBlank(p, v); });
    t.push_back((cell[0] == ' ' ? "" : "(no blank)") + cell.substr(1));
  }
  return t;
}
std::vector<std::string> Texts(const Format& f, int64_t v) {
  auto u = static_cast<uint32_t>(v);
  char c = f.text.back();
  std::vector<std::string> t;
  auto put = [&t](auto writer) { t.push_back(Written(writer)); };
  if (c == 'X') put([&](char* p) { return text::PutHex(p, u, f.width); });
  if (c == 'u') put([&](char* p) { return text::PutUnsigned(p, f.wide ? uint64_t(v) : u); });
  if (c == 'u' && !f.wide) put([&](char* p) { return text::PutSmallUnsigned(p, u); });
  if (c == 'd' && f.plus) put([&](char* p) { return text::PutSignedSpacePadded(p, v, f.width); });
  if (c == 'd' && f.zeros) put([&](char* p) { return text::PutZeroPadded(p, v, f.width); });
  if (c == 'd' && !f.plus && !f.zeros && f.width > 0)
    put([&](char* p) { return text::PutSpacePadded(p, v, f.width); });
  if (c == 'd' && !f.plus && !f.zeros && f.width == 0)
    put([&](char* p) { return text::PutInt(p, v); });
  if (f.text == "%02d" && u < 100) put([&](char* p) { return text::PutTwoDigits(p, u); });
  return t;
}

template <typename T>
bool Check(const Format& f, T v, const std::string& expected, const std::string& where) {
  for (const std::string& got : Texts(f, v)) {
    if (got != expected)
      ADD_FAILURE() << where << ": " << f.text << " of " << testing::PrintToString(v)
                    << ": expected \"" << expected << "\", got \"" << got << "\"";
    if (got != expected) return false;
  }
  return true;
}

// A value of every kind a fixed-point text meets, for a format of `decimals` digits.
double RandomValue(test::Random& r, int decimals) {
  double sign = r.Below(2) != 0 ? -1.0 : 1.0, unit = std::pow(10.0, -decimals);
  double any = std::floor(static_cast<double>(r.Bits()) / 4096);  // below 2^52
  switch (r.Below(6)) {
    case 0:  // any bit pattern: every exponent, subnormals, infinities
      return std::bit_cast<double>(r.Next());
    case 1:  // an exact binary tie at `decimals` digits or finer: an odd multiple of 2^-(d+1)
      return sign * std::ldexp(any * 2 + 1, -(decimals + 1) - static_cast<int>(r.Below(3)));
    case 2:  // a decimal half, or a neighbour of it
      return std::nextafter(sign * (any + 0.5) * unit, r.Below(3) * 1e300 - 1e300);
    case 3:  // in units of the last decimal: around a power of ten, or 2^31 .. 2^54
      return sign * unit *
             ((r.Below(2) ? std::pow(10.0, r.Below(17)) : std::ldexp(1, 31 + r.Below(24))) +
              r.Below(8191) * 0.5 - 2048);
    case 4:  // decimal fractions, which binary never holds exactly, up to 1e25
      return sign * any / std::pow(10.0, static_cast<int>(r.Below(27)) - 10);
    default:  // analog readings: a signed 24-bit count times a gain
      return (static_cast<int32_t>(static_cast<uint32_t>(r.Next()) << 8) >> 8) /
             (1.0 + r.Below(99999));
  }
}

// Each row's value, then (once for each format) random values of every kind.
TEST(NumberText, MatchPrintf) {
  std::set<std::string> swept;
  test::Random r(19);
  for (const test::Row& row : test::ReadTable("text/numbers.tsv")) {
    Format f(row[0]);
    bool fixed = f.text.back() == 'f';
    double v = 0;
    std::from_chars(row[1].data(), row[1].data() + row[1].size(), v);
    auto n = static_cast<int64_t>(std::strtoull(row[1].c_str() + (row[1][0] == '-'), nullptr, 0));
    n = row[1][0] == '-' ? int64_t(0 - uint64_t(n)) : n;
    // NaN and the infinities as glibc writes them: the Windows C runtime drops a NaN's sign.
    bool ok = fixed ? Check(f, v, row.size() > 2 ? row[2] : Printf(f, v), row[1])
                    : Check(f, n, Printf(f, n), row[1]);
    for (int i = swept.insert(row[0]).second ? 0 : 20000; i < 20000 && ok; ++i) {
      v = RandomValue(r, f.decimals);
      n = static_cast<int64_t>(r.Below(2) != 0 ? 0 - r.Bits() : r.Bits());
      n = f.wide ? n : static_cast<int32_t>(n);  // small magnitudes as often as large ones
      ok = fixed ? std::isnan(v) || Check(f, v, Printf(f, v), "random")
                 : Check(f, n, Printf(f, n), "random");
    }
  }
}

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
