// Thermocouple conversion against the ITS-90 reference: every published reference point within
// the published error band of the inverse polynomial that converts it, and the cases of
// tests/cases/analog/thermocouple.tsv (ends and clamps of each type, split points of the
// sub-ranges, burnout, junction compensation, unknown type codes), derived once from the published
// coefficients as that file tells.
#include "analog/thermocouple.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "text_cases.h"

namespace dtconv {
namespace {

// A number of the tables: "inf", "-inf", "x+" for the next double above x, "+x" for x.
double Number(const std::string& s) {
  double v = 0;
  const char* p = s.c_str() + (s[0] == '+' ? 1 : 0);
  std::from_chars(p, s.c_str() + s.size(), v);
  return s.back() == '+' ? std::nextafter(v, INFINITY) : v;
}

TEST(Thermocouple, ReferencePointsWithinPublishedBands) {
  std::vector<test::Row> subs = test::ReadTable("analog/thermocouple_subranges.tsv");
  std::vector<int> checked(subs.size());  // points per sub-range
  std::ifstream in(std::string(DTCONV_REFERENCE_DIR) + "/its90_reference_points.csv");
  std::string line;
  std::getline(in, line);  // type,t_degC,emf_mV
  while (std::getline(in, line)) {
    std::istringstream cells(line);
    std::string type, t, e;
    std::getline(std::getline(std::getline(cells, type, ','), t, ','), e);
    double celsius = Number(t), emf = Number(e);
    // The sub-range that converts the EMF: the first of its type whose top EMF lies above it.
    auto it = std::find_if(subs.begin(), subs.end(), [&](const test::Row& s) {
      return s[0] == type && (emf < Number(s[4]) || (emf == Number(s[4]) && s[5] == "yes"));
    });
    ASSERT_NE(it, subs.end()) << line;
    const test::Row& sub = *it;
    // No inverse is published outside its temperatures (type B has none below 250 C, where its
    // EMF is tiny and not monotonic), so such points have no band to be held to.
    if (celsius < Number(sub[6]) || celsius > Number(sub[7])) continue;
    int code = std::stoi(sub[1]);
    double low = Number(sub[8]), high = Number(sub[9]);
    double error = ThermocoupleInverseUnclamped(code, emf) - celsius;
    EXPECT_TRUE(error >= low && error <= high)
        << line << ": off by " << error << ", " << testing::PrintToString(sub);
    // Through the whole conversion the point lands on its temperature limited to the span.
    error = ThermocoupleToCelsius(emf, code, false, false, 0) -
            std::clamp(celsius, Number(sub[2]), Number(sub[3]));
    EXPECT_TRUE(error >= low && error <= high) << line << ": converts off by " << error;
    ++checked[it - subs.begin()];
  }
  for (size_t i = 0; i < subs.size(); ++i)
    EXPECT_GE(checked[i], 2) << "too few points for " << testing::PrintToString(subs[i]);
}

TEST(Thermocouple, Cases) {
  for (const test::Row& row : test::ReadTable("analog/thermocouple.tsv")) {
    auto code = static_cast<int>(std::stoll(row[1]));
    double input = Number(row[2]), expected = Number(row[4]), tolerance = Number(row[5]);
    const std::string& options = row[3];
    size_t at = options.find('=');
    auto junction =
        static_cast<int16_t>(at == std::string::npos ? 0 : std::stoi(options.substr(at + 1)));
    bool burnout = options.find("burnout") != std::string::npos;
    bool compensation = options.find("junction") != std::string::npos;
    double got = row[0] == "inverse" ? ThermocoupleInverseUnclamped(code, input)
                 : row[0] == "reference"
                     ? ThermocoupleReferenceMillivolts(code, input)
                     : ThermocoupleToCelsius(input, code, burnout, compensation, junction);
    EXPECT_NEAR(got, expected, tolerance) << testing::PrintToString(row);
  }
}

}  // namespace
}  // namespace dtconv
