#include "analog/thermocouple.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace dtconv {
namespace {

constexpr int kK = 0, kJ = 1, kT = 2, kE = 3, kN = 4, kR = 5, kS = 6, kB = 7;
constexpr double kInf = std::numeric_limits<double>::infinity();

struct RefPoint {
  std::string type;
  double celsius;
  double emf;
};

#ifdef DTCONV_REFERENCE_DIR
constexpr const char* kBuiltInReferenceDir = DTCONV_REFERENCE_DIR;
#else
constexpr const char* kBuiltInReferenceDir = "../shared/reference";  // from the repository root
#endif

// its90_reference_points.csv (type,t_degC,emf_mV) from $DTCONV_REFERENCE_DIR, else from the folder
// the build names. A missing or empty file fails the calling test.
std::vector<RefPoint> LoadReferencePoints() {
  const char* dir = std::getenv("DTCONV_REFERENCE_DIR");
  const std::string path =
      std::string(dir && *dir ? dir : kBuiltInReferenceDir) + "/its90_reference_points.csv";
  std::vector<RefPoint> points;
  std::ifstream in(path);
  if (!in) {
    ADD_FAILURE() << "cannot open " << path << "; set DTCONV_REFERENCE_DIR";
    return points;
  }
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    if (line.empty() || line == "\r") continue;
    std::istringstream row(line);
    std::string type, t, e;
    if (!std::getline(row, type, ',') || !std::getline(row, t, ',') || !std::getline(row, e)) {
      ADD_FAILURE() << "malformed line in " << path << ": " << line;
      continue;
    }
    points.push_back({type, std::stod(t), std::stod(e)});
  }
  if (points.empty()) ADD_FAILURE() << path << " holds no points";
  return points;
}

// One published inverse polynomial: the EMFs the converter hands to it, the temperatures it is
// published for, and its error band exactly as printed.
struct SubRange {
  double topEmf;
  bool topIncluded;  // whether topEmf itself still belongs to this sub-range
  double fromC, toC;
  const char* errLow;
  const char* errHigh;
};

struct TypeCase {
  const char* name;
  int code;
  double minC, maxC;  // output span
  std::vector<SubRange> subs;
};

const std::vector<TypeCase>& Types() {
  // clang-format off
  static const std::vector<TypeCase> kTypes = {
      {"K", kK, -200, 1370, {{0, false, -200, 0, "-0.02", "+0.04"},
                             {20.644, true, 0, 500, "-0.05", "+0.04"},
                             {kInf, true, 500, 1372, "-0.05", "+0.06"}}},
      {"J", kJ, -210, 1200, {{0, false, -210, 0, "-0.05", "+0.03"},
                             {42.919, true, 0, 760, "-0.04", "+0.04"},
                             {kInf, true, 760, 1200, "-0.04", "+0.03"}}},
      {"T", kT, -200, 400, {{0, false, -200, 0, "-0.02", "+0.04"},
                            {kInf, true, 0, 400, "-0.03", "+0.03"}}},
      {"E", kE, -200, 1000, {{0, false, -200, 0, "-0.01", "+0.03"},
                             {kInf, true, 0, 1000, "-0.02", "+0.02"}}},
      {"N", kN, -200, 1300, {{0, false, -200, 0, "-0.02", "+0.03"},
                             {20.613, true, 0, 600, "-0.02", "+0.03"},
                             {kInf, true, 600, 1300, "-0.04", "+0.02"}}},
      {"R", kR, 0, 1760, {{1.923, true, -50, 250, "-0.02", "+0.02"},
                          {11.361, true, 250, 1200, "-0.005", "+0.005"},
                          {19.739, true, 1064, 1664.5, "-0.0005", "+0.001"},
                          {kInf, true, 1664.5, 1768.1, "-0.001", "+0.002"}}},
      {"S", kS, 0, 1760, {{1.874, true, -50, 250, "-0.02", "+0.02"},
                          {10.332, true, 250, 1200, "-0.01", "+0.01"},
                          {17.536, true, 1064, 1664.5, "-0.0002", "+0.0002"},
                          {kInf, true, 1664.5, 1768.1, "-0.002", "+0.002"}}},
      {"B", kB, 400, 1800, {{2.431, true, 250, 700, "-0.02", "+0.03"},
                            {kInf, true, 700, 1820, "-0.01", "+0.02"}}},
  };
  // clang-format on
  return kTypes;
}

// A printed band limit pushed outwards by half a unit of its last printed digit.
double Widened(const std::string& printed) {
  const std::size_t dot = printed.find('.');
  const int decimals = dot == std::string::npos ? 0 : static_cast<int>(printed.size() - dot - 1);
  const double half = 0.5 * std::pow(10.0, -decimals);
  const double value = std::stod(printed);
  return value < 0 ? value - half : value + half;
}

std::size_t SubRangeIndex(const TypeCase& tc, double emf) {
  std::size_t i = 0;
  while (emf > tc.subs[i].topEmf || (emf == tc.subs[i].topEmf && !tc.subs[i].topIncluded)) ++i;
  return i;
}

TEST(ThermocoupleInverse, ReferencePointsWithinPublishedBands) {
  const std::vector<RefPoint> points = LoadReferencePoints();
  for (const TypeCase& tc : Types()) {
    std::vector<int> checked(tc.subs.size(), 0);
    for (const RefPoint& p : points) {
      if (p.type != tc.name) continue;
      // No inverse is published outside these temperatures (type B has none below 250 C, where
      // its EMF is tiny and not monotonic), so such points have no band to be held to.
      if (p.celsius < tc.subs.front().fromC || p.celsius > tc.subs.back().toC) continue;
      const std::size_t i = SubRangeIndex(tc, p.emf);
      const SubRange& sub = tc.subs[i];
      SCOPED_TRACE(::testing::Message() << tc.name << " " << p.celsius << " C, " << p.emf
                                        << " mV, sub-range " << sub.fromC << ".." << sub.toC);
      // The band only means something for temperatures the chosen polynomial was published for.
      EXPECT_GE(p.celsius, sub.fromC);
      EXPECT_LE(p.celsius, sub.toC);
      const double error = ThermocoupleInverseUnclamped(tc.code, p.emf) - p.celsius;
      EXPECT_GE(error, Widened(sub.errLow));
      EXPECT_LE(error, Widened(sub.errHigh));
      // Through the full conversion the same point lands on the temperature limited to the span.
      const double expected = std::clamp(p.celsius, tc.minC, tc.maxC);
      const double result = ThermocoupleToCelsius(p.emf, tc.code, false, false, 0);
      EXPECT_GE(result - expected, Widened(sub.errLow));
      EXPECT_LE(result - expected, Widened(sub.errHigh));
      ++checked[i];
    }
    for (std::size_t i = 0; i < checked.size(); ++i) {
      EXPECT_GE(checked[i], 2) << "too few reference points for " << tc.name << " sub-range " << i;
    }
  }
}

TEST(ThermocoupleReference, MatchesTableAtTerminalTemperatures) {
  // The compensation polynomials are short fits over the terminal range. Against the full
  // reference functions, every 0.01 C over -20..70 C, the largest deviations are (mV):
  // K 0.00048, J 0.00034, T 0.00046, E 0.00054, N 0.00104 (its offset at 0 C), R 0.000092,
  // S 0.000085. Each tolerance is that figure plus roughly half again.
  const std::map<std::string, double> tolerance = {{"K", 0.0007}, {"J", 0.0005}, {"T", 0.0007},
                                                   {"E", 0.0008}, {"N", 0.0015}, {"R", 0.00015},
                                                   {"S", 0.00015}};
  std::map<std::string, int> checked;
  for (const RefPoint& p : LoadReferencePoints()) {
    // Type B has no table point this low; it is covered by BNearRoomTemperature.
    if (p.celsius < -20 || p.celsius > 70 || p.type == "B") continue;
    const auto& tc = *std::find_if(Types().begin(), Types().end(),
                                   [&](const TypeCase& c) { return p.type == c.name; });
    EXPECT_NEAR(ThermocoupleReferenceMillivolts(tc.code, p.celsius), p.emf, tolerance.at(p.type))
        << p.type << " at " << p.celsius << " C";
    ++checked[p.type];
  }
  for (const auto& [type, unused] : tolerance) {
    EXPECT_GE(checked[type], 4) << "too few reference points for " << type;
  }
}

TEST(ThermocoupleReference, BNearRoomTemperature) {
  // Full reference function values; the B curve dips below zero between 0 and about 42 C.
  const struct {
    double celsius, emf;
  } kPoints[] = {{-20, 0.007303}, {0, 0.0}, {21, -0.002585}, {42, -0.000032}, {70, 0.011254}};
  for (const auto& p : kPoints) {
    EXPECT_NEAR(ThermocoupleReferenceMillivolts(kB, p.celsius), p.emf, 0.00001) << p.celsius;
  }
}

struct Case {
  int code;
  double millivolts;
  double expected;
  double tolerance;  // 0: exact
};

void ExpectConversions(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const double result = ThermocoupleToCelsius(c.millivolts, c.code, false, false, 0);
    if (c.tolerance == 0) {
      EXPECT_EQ(result, c.expected) << "type " << c.code << " at " << c.millivolts << " mV";
    } else {
      EXPECT_NEAR(result, c.expected, c.tolerance)
          << "type " << c.code << " at " << c.millivolts << " mV";
    }
  }
}

TEST(ThermocoupleToCelsius, EndsOfEachType) {
  // Exactly at, just outside and just inside each end. Inside values are the true temperatures of
  // those EMFs; R, S and B fall past their span there and come back as the span limit.
  ExpectConversions({
      {kK, -5.891, -200, 0}, {kK, -5.892, -200, 0}, {kK, -5.890, -199.908, 0.05},
      {kK, 54.886, 1370, 0}, {kK, 54.887, 1370, 0}, {kK, 54.885, 1370, 0},
      {kJ, -8.095, -210, 0}, {kJ, -8.096, -210, 0}, {kJ, -8.094, -209.928, 0.05},
      {kJ, 69.553, 1200, 0}, {kJ, 69.554, 1200, 0}, {kJ, 69.552, 1199.979, 0.05},
      {kT, -5.603, -200, 0}, {kT, -5.604, -200, 0}, {kT, -5.602, -199.939, 0.05},
      {kT, 20.872, 400, 0},  {kT, 20.873, 400, 0},  {kT, 20.871, 399.984, 0.05},
      {kE, -8.825, -200, 0}, {kE, -8.826, -200, 0}, {kE, -8.824, -199.977, 0.05},
      {kE, 76.373, 1000, 0}, {kE, 76.374, 1000, 0}, {kE, 76.372, 999.989, 0.05},
      {kN, -3.990, -200, 0}, {kN, -3.991, -200, 0}, {kN, -3.989, -199.862, 0.05},
      {kN, 47.513, 1300, 0}, {kN, 47.514, 1300, 0}, {kN, 47.512, 1299.979, 0.05},
      {kR, -0.226, 0, 0},    {kR, -0.227, 0, 0},    {kR, -0.225, 0, 0},
      {kR, 21.103, 1760, 0}, {kR, 21.104, 1760, 0}, {kR, 21.102, 1760, 0},
      {kS, -0.235, 0, 0},    {kS, -0.236, 0, 0},    {kS, -0.234, 0, 0},
      {kS, 18.693, 1760, 0}, {kS, 18.694, 1760, 0}, {kS, 18.692, 1760, 0},
      {kB, 0.291, 400, 0},   {kB, 0.290, 400, 0},   {kB, 0.292, 400, 0},
      {kB, 13.82, 1800, 0},  {kB, 13.821, 1800, 0}, {kB, 13.819, 1800, 0},
      {kK, -kInf, -200, 0},  {kK, kInf, 1370, 0},   {kB, -kInf, 400, 0},
      {kB, kInf, 1800, 0},
  });
}

TEST(ThermocoupleToCelsius, ClampsToSpan) {
  // Pairs straddling each limit of the span; expected values are the true temperatures. K tops
  // out at 1370 C although its inverse reaches 1372 C.
  ExpectConversions({
      {kK, 54.80, 1369.453, 0.07},
      {kK, 54.85, 1370, 0},
      {kR, 0.001, 0.189, 0.025},
      {kR, -0.001, 0, 0},
      {kR, -0.1, 0, 0},
      {kR, 20.95, 1755.788, 0.01},
      {kR, 21.05, 1760, 0},
      {kS, 0.001, 0.185, 0.025},
      {kS, -0.1, 0, 0},
      {kS, 18.60, 1759.118, 0.01},
      {kS, 18.66, 1760, 0},
      {kB, 0.5, 400, 0},
      {kB, 0.78, 400, 0},
      {kB, 0.79, 400.853, 0.035},
      {kB, 1.0, 449.56, 0.005},
      {kB, 13.5, 1792.053, 0.025},
      {kB, 13.7, 1800, 0},
  });
  // Below 0 mV type R is still on its lowest polynomial (about -20 C here) before the clamp.
  EXPECT_NEAR(ThermocoupleInverseUnclamped(kR, -0.1), -19.994, 0.025);
}

TEST(ThermocoupleInverse, SplitPointsPickTheirSubRange) {
  // Both neighbouring polynomials evaluated at each split, to 1e-9 C. They differ by at least
  // 0.8 mC there, so the value shows which one was used; the tight tolerance also catches a
  // mistyped coefficient. The split EMF itself belongs to the lower sub-range, the next double
  // above it to the upper one.
  const struct {
    int code;
    double split, lower, upper;
  } kSplits[] = {
      {kK, 20.644, 499.980489555, 499.947372969},   {kJ, 42.919, 760.043104013, 759.975605468},
      {kN, 20.613, 599.983593943, 599.995386197},   {kR, 1.923, 249.949781471, 249.958528030},
      {kR, 11.361, 1063.975034119, 1063.977360767}, {kR, 19.739, 1664.512595027, 1664.513428103},
      {kS, 1.874, 250.056371438, 250.054489980},    {kS, 10.332, 1063.989532625, 1063.992386343},
      {kS, 17.536, 1664.503489941, 1664.504789519}, {kB, 2.431, 700.040439097, 700.067142119},
  };
  constexpr double kTol = 5e-9;
  for (const auto& s : kSplits) {
    SCOPED_TRACE(::testing::Message() << "type " << s.code << " at " << s.split << " mV");
    const double above = std::nextafter(s.split, kInf);
    EXPECT_NEAR(ThermocoupleInverseUnclamped(s.code, s.split), s.lower, kTol);
    EXPECT_NEAR(ThermocoupleInverseUnclamped(s.code, above), s.upper, kTol);
    EXPECT_NEAR(ThermocoupleToCelsius(s.split, s.code, false, false, 0), s.lower, kTol);
    EXPECT_NEAR(ThermocoupleToCelsius(above, s.code, false, false, 0), s.upper, kTol);
  }
  // At 0 mV the polynomials on both sides give 0 exactly.
  for (int code : {kK, kJ, kT, kE, kN, kR, kS}) {
    EXPECT_EQ(ThermocoupleToCelsius(0.0, code, false, false, 0), 0.0) << code;
    EXPECT_EQ(ThermocoupleToCelsius(-0.0, code, false, false, 0), 0.0) << code;
  }
}

TEST(ThermocoupleToCelsius, Burnout) {
  const double justAbove = std::nextafter(82.0, kInf);
  for (const TypeCase& tc : Types()) {
    const int code = tc.code;
    SCOPED_TRACE(tc.name);
    const double top = ThermocoupleToCelsius(kInf, code, false, false, 0);
    EXPECT_EQ(ThermocoupleToCelsius(82.5, code, true, false, 0), kThermocoupleBurnout);
    EXPECT_EQ(ThermocoupleToCelsius(justAbove, code, true, false, 0), kThermocoupleBurnout);
    EXPECT_EQ(ThermocoupleToCelsius(kInf, code, true, false, 0), kThermocoupleBurnout);
    EXPECT_EQ(ThermocoupleToCelsius(82.0, code, true, false, 0), top);
    EXPECT_EQ(ThermocoupleToCelsius(82.5, code, false, false, 0), top);
    EXPECT_EQ(ThermocoupleToCelsius(1000.0, code, false, false, 0), top);
    EXPECT_EQ(ThermocoupleToCelsius(-100.0, code, true, false, 0),
              ThermocoupleToCelsius(-kInf, code, false, false, 0));
  }
  EXPECT_EQ(ThermocoupleToCelsius(82.5, kK, false, false, 0), 1370);
  // The test is on the measured voltage, before the reference junction is added.
  EXPECT_EQ(ThermocoupleToCelsius(81.9, kK, true, true, 7000), 1370);
  EXPECT_EQ(ThermocoupleToCelsius(82.5, kK, true, true, -2000), kThermocoupleBurnout);
}

TEST(ThermocoupleToCelsius, UnknownTypeCodesConvertAsK) {
  EXPECT_NEAR(ThermocoupleToCelsius(1.000242, 9, false, false, 0), 25.0, 0.05);
  for (int code : {8, 9, 13, -1, 100, INT_MAX, INT_MIN}) {
    for (double mv : {-6.0, -3.0, 0.0, 1.0, 12.5, 20.644, 30.0, 54.85, 60.0, 82.5}) {
      for (bool burnout : {false, true}) {
        EXPECT_EQ(ThermocoupleToCelsius(mv, code, burnout, true, 2535),
                  ThermocoupleToCelsius(mv, kK, burnout, true, 2535))
            << code << " " << mv;
      }
      EXPECT_EQ(ThermocoupleInverseUnclamped(code, mv), ThermocoupleInverseUnclamped(kK, mv));
    }
    EXPECT_EQ(ThermocoupleReferenceMillivolts(code, 25.35),
              ThermocoupleReferenceMillivolts(kK, 25.35));
  }
}

TEST(ThermocoupleToCelsius, JunctionCompensation) {
  // Expected values are true temperatures. The tolerance covers the compensation fit (at most
  // 0.00104 mV, about 0.04 C on type N) plus the inverse error (at most 0.035 C).
  constexpr double kTol = 0.08;
  const struct {
    int code;
    double atZeroMv, atOneMv;  // with the reference junction at 25.35 C
  } kCases[] = {
      {kK, 25.35, 49.790}, {kJ, 25.35, 44.503},  {kT, 25.35, 49.311},  {kE, 25.35, 41.550},
      {kN, 25.35, 61.743}, {kR, 25.35, 162.219}, {kS, 25.35, 164.319}, {kB, 400, 449.008},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.code);
    // 2535 is 25.00 C plus a 0.35 C correction, summed by the caller.
    EXPECT_NEAR(ThermocoupleToCelsius(0.0, c.code, false, true, 2535), c.atZeroMv, kTol);
    EXPECT_NEAR(ThermocoupleToCelsius(1.0, c.code, false, true, 2535), c.atOneMv, kTol);
    EXPECT_NEAR(ThermocoupleToCelsius(1.0, c.code, true, true, 2535), c.atOneMv, kTol);
    // Without compensation the reference temperature is ignored.
    EXPECT_EQ(ThermocoupleToCelsius(1.0, c.code, false, false, 2535),
              ThermocoupleToCelsius(1.0, c.code, false, false, 0));
  }
  // A junction at -20 C: types whose span goes below 0 C read it, R and S stop at 0.
  for (int code : {kK, kJ, kT, kE, kN}) {
    EXPECT_NEAR(ThermocoupleToCelsius(0.0, code, false, true, -2000), -20.0, kTol) << code;
  }
  EXPECT_EQ(ThermocoupleToCelsius(0.0, kR, false, true, -2000), 0);
  EXPECT_EQ(ThermocoupleToCelsius(0.0, kS, false, true, -2000), 0);
  // Compensation can push the EMF over an end.
  EXPECT_EQ(ThermocoupleToCelsius(54.0, kK, false, true, 2535), 1370);
  EXPECT_LT(ThermocoupleToCelsius(54.0, kK, false, false, 2535), 1370);
  EXPECT_EQ(ThermocoupleToCelsius(-5.2, kK, false, true, -2000), -200);
  EXPECT_GT(ThermocoupleToCelsius(-5.2, kK, false, false, -2000), -200);
}

}  // namespace
}  // namespace dtconv
