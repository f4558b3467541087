// Thermocouple conversion against the ITS-90 reference: every published reference point within
// the published error band of the inverse polynomial that converts it, and the cases of
// tests/cases/analog/thermocouple.tsv (ends and clamps of each type, split points of the
// sub-ranges, burnout, junction compensation, unknown type codes), derived once from the published
// coefficients as that file tells.
//
// Channel scaling: what a raw reading means for every front end and range, with and without a
// usable calibration, and for the wave channels, as the cases of
// tests/cases/analog/channel_scale.tsv give it: the channel count, the value, and the cells of the
// text report and the CSV table (decimals, rounding, thermocouple temperatures, burnout).
#include <fstream>

#include "analog/analog_row.h"
#include "analog/channel_scale.h"
#include "analog/thermocouple.h"
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
    const std::string& o = row[3];  // burnout, junction=<junction temperature>
    size_t at = o.find('=');
    auto junction = static_cast<int16_t>(at == o.npos ? 0 : std::stoi(o.substr(at + 1)));
    double got = row[0] == "inverse" ? ThermocoupleInverseUnclamped(code, input)
                 : row[0] == "reference"
                     ? ThermocoupleReferenceMillivolts(code, input)
                     : ThermocoupleToCelsius(input, code, o.find("burnout") != o.npos,
                                             o.find("junction") != o.npos, junction);
    EXPECT_NEAR(got, expected, tolerance) << testing::PrintToString(row);
  }
}

// The capture a set-up text describes (see the case file) and the sample's junction temperature.
MonitorData Capture(const std::string& setup, int16_t* reference) {
  test::CaptureBuilder b;
  test::Calibration waveCal[2];
  std::istringstream in(setup);
  for (std::string item; in >> item;) {
    std::string key = item.substr(0, item.find('='));
    int v[5] = {0, 0, 0, 0, 1};  // up to five numbers after "=", ":" between them
    std::sscanf(item.c_str() + key.size(), "=%d:%d:%d:%d:%d", &v[0], &v[1], &v[2], &v[3], &v[4]);
    size_t at = std::isdigit(static_cast<unsigned char>(key.back())) ? key.back() - '0' : 0;
    test::Calibration cal{v[4] != 0, v[0], v[1], v[2], v[3]};
    if (key == "port") b.analogSetup = test::Bytes(v[0] == 3 ? 68 : 36, 0);
    if (key == "port") b.analogPort = static_cast<uint8_t>(v[0]);
    if (key == "count") b.analogSetup[0] = static_cast<uint8_t>(v[0]);
    if (key.starts_with("range"))
      b.analogSetup[b.analogPort == 1   ? 2 + at
                    : b.analogPort == 2 ? 4 + 4 * at
                                        : 4 + 8 * at] = static_cast<uint8_t>(v[0]);
    for (size_t i = 0; key.starts_with("tc") && i < 3; ++i)
      b.analogSetup[8 + 8 * at + i] = static_cast<uint8_t>(v[i]);
    if (key.starts_with("cal")) b.calibration.resize(std::max(b.calibration.size(), at + 1));
    if (key.starts_with("cal")) b.calibration[at] = cal;
    if (key.starts_with("wcal")) waveCal[at] = cal;
    if (key == "wave")
      b.waveInfo = test::CaptureBuilder::WaveInfoBytes(uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]),
                                                       uint8_t(v[3]), 0, 0, waveCal[0], waveCal[1]);
    if (key == "wave" && setup.find("nosamples") == std::string::npos) b.waveSamples = {0};
    if (key == "ref") *reference = static_cast<int16_t>(v[0]);
  }
  return test::ParseCapture(b);
}

// The cell of channel `ch` in a row whose other channels read 0 (a wave channel in the place of
// channel 1), without its blank or delimiter.
std::string Cell(AnalogState state, int ch, uint32_t raw, int16_t reference) {
  if (ch >= 8) state.scales[0] = state.scales[ch], state.channelCount = 1, ch = 0;
  uint8_t words[32] = {};
  StoreU32(words + 4 * ch, raw);
  char row[AnalogRow::kMaxCells + 64];
  std::istringstream cells(std::string(
      row, AnalogRow(state, text::Delimiter(";")).Put(row, {words, words + 16, reference})));
  std::string cell;
  for (int i = 0; i <= ch + 1; ++i)
    std::getline(cells, cell, state.scales[0].decimals < 0 ? ';' : ' ');
  return cell;
}

// Exactly, or within the tolerance after "~"; anything for "-".
bool Matches(const std::string& got, const std::string& expected) {
  if (expected == "-") return true;
  size_t tilde = expected.find('~');
  if (tilde == std::string::npos) return got == expected;
  return std::fabs(std::atof(got.c_str()) - std::atof(expected.c_str())) <=
         std::atof(expected.c_str() + tilde + 1);
}

TEST(ChannelScale, Cases) {
  // set-up, channel, raw word, channel count, value, text cell, CSV cell
  for (const test::Row& row : test::ReadTable("analog/channel_scale.tsv")) {
    SCOPED_TRACE(testing::PrintToString(row));
    int16_t reference = 0;
    MonitorData data = Capture(row[0], &reference);
    int ch = std::stoi(row[1]);
    auto raw = static_cast<uint32_t>(std::stoll(row[2], nullptr, 0));
    AnalogState text, csv;
    SetupChannelScales(data, false, text);
    SetupChannelScales(data, true, csv);
    EXPECT_EQ(text.channelCount, std::stoi(row[3]));
    EXPECT_EQ(csv.channelCount, std::stoi(row[3]));
    double expected = std::atof(row[4].c_str());
    EXPECT_NEAR(ScaleSample(csv.scales[ch], raw), expected,
                1e-12 * std::max(1.0, std::fabs(expected)));
    EXPECT_PRED2(Matches, Cell(text, ch, raw, reference), row[5]);
    EXPECT_PRED2(Matches, Cell(csv, ch, raw, reference), row[6]);
  }
}

}  // namespace
}  // namespace dtconv
