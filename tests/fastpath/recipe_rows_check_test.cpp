// THROWAWAY: the rows of the new analog goldens against the plain reference formatter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "capture_recipe.h"
#include "reference_format.h"
#include "run_converter.h"
#include "test_files.h"

namespace dtconv {
namespace {

MonitorData Parse(const test::Bytes& bytes) {
  auto image = std::make_unique<uint8_t[]>(bytes.size());
  std::memcpy(image.get(), bytes.data(), bytes.size());
  MonitorData data;
  ParseMonitorData(std::move(image), bytes.size(), data);
  return data;
}

struct C {
  const char* recipe;
  int32_t type, style;
  const char* golden;
};

TEST(RecipeRowsCheck, GoldenRowsAreTheReferenceRows) {
  test::SetTimeZone("UTC");
  for (const C& c : {C{"analog_halfway", kCvtAnalogText, 2, "analog/halfway_ms.txt"},
                     C{"analog_halfway", kCvtAnalogText, 3, "analog/halfway_s.txt"},
                     C{"analog_halfway", kCvtAnalogCsv, 8, "analog/halfway.csv"},
                     C{"analog_calibrated", kCvtAnalogText, 2, "analog/calibrated.txt"},
                     C{"analog_calibrated", kCvtAnalogCsv, 8, "analog/calibrated.csv"},
                     C{"analog_junction", kCvtAnalogCsv, 9, "analog/xptc_junction.csv"}}) {
    MonitorData data = Parse(test::LoadRecipe(c.recipe));
    CvtSettings s = test::SettingsFor(c.type, c.style, 0, 3, u",");
    std::string rows = ref::AnalogRows(data, s, false, "\r\n", ",");
    std::string golden =
        test::ReadFileBytes(std::string(DTCONV_GOLDEN_DIR) + "/" + c.golden);
    ASSERT_GT(rows.size(), 200u) << c.golden;
    ASSERT_GE(golden.size(), rows.size()) << c.golden;
    std::string head = golden.substr(0, golden.size() - rows.size());
    EXPECT_EQ(golden.substr(head.size()), rows) << c.golden;
    // The part before the rows is the header alone: it ends in a line end and holds no row.
    EXPECT_TRUE(head.ends_with("\r\n")) << c.golden;
    EXPECT_EQ(head.find("2026/12/06,"), std::string::npos) << c.golden;
    EXPECT_EQ(head.find("  09:30:"), std::string::npos) << c.golden;
    std::printf("%s: %zu header bytes, %zu row bytes (%zu lines) equal\n", c.golden, head.size(),
                rows.size(), static_cast<size_t>(std::count(rows.begin(), rows.end(), '\n')));
  }
}

}  // namespace
}  // namespace dtconv
