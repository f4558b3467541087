// The progress line of dtconv on a terminal: the cases of tests/cases/cli/progress.tsv.
#include "cli/progress.h"

#include <gtest/gtest.h>

#include "robust_support.h"

namespace dtconv::cli {
namespace {

using Row = std::vector<std::string>;

class Progress : public ::testing::TestWithParam<Row> {};

TEST_P(Progress, ShowsShareBytesRateTimeLeftAndFiles) {
  const Row& c = GetParam();
  if (c[0] == "duration") {
    EXPECT_EQ(FormatDuration(std::stod(c[1])), c[2]);
  }
  if (c[0] == "bytes") {
    EXPECT_EQ(FormatBytes(std::stod(c[1])), c[2]);
  }
  if (c[0] != "line") return;
  std::string line = FormatProgressLine({std::stoull(c[1]), std::stoull(c[2]), std::stod(c[3]),
                                         std::stoull(c[4]), std::stoull(c[5])});
  EXPECT_LE(line.size(), 79u);
  EXPECT_EQ(line, c[6]);
}

INSTANTIATE_TEST_SUITE_P(Table, Progress, ::testing::ValuesIn(test::ReadTable("cli/progress.tsv")),
                         [](const auto& info) { return "line" + std::to_string(info.index); });

}  // namespace
}  // namespace dtconv::cli
