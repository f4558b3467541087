// --ids, --from and --to: parsing and what the filter of a capture keeps, from the cases of
// tests/cases/report/filter_cases.tsv.
#include "input/record_filter.h"

#include <gtest/gtest.h>

#include <sstream>

#include "report/time_window.h"
#include "robust_support.h"
#include "run_converter.h"

namespace dtconv {
namespace {

using Row = std::vector<std::string>;

class Filter : public ::testing::TestWithParam<Row> {};

TEST_P(Filter, ParsesAndKeeps) {
  const Row& c = GetParam();  // kind, text, then what the kind tells
  std::string error;
  if (c[0] != "window") {
    std::vector<IdRange> ids;
    TimeBound bound;
    bool ok =
        c[0] == "ids" ? ParseIdList(c[1], &ids, &error) : ParseTimeBound(c[1], &bound, &error);
    if (c[2].starts_with("error: ")) {
      EXPECT_FALSE(ok);
      EXPECT_TRUE(error.starts_with(c[2].substr(7))) << error;
      return;
    }
    ASSERT_TRUE(ok) << error;
    std::ostringstream got;
    if (c[0] == "time") {
      got << (bound.kind == TimeBound::Kind::kClock ? "clock " : "elapsed ") << bound.micros;
    }
    RecordFilter filter;
    filter.SetIds(ids);
    std::istringstream frames(c[0] == "ids" ? c[2] : "");
    for (std::string f; frames >> f;) {
      uint32_t id = static_cast<uint32_t>(std::stoul(f.substr(2), nullptr, 16));
      got << (filter.KeepsId(id, f[1] == 'x') ? '+' : '-') << f.substr(1) << ' ';
    }
    std::string expected = c[0] == "ids" ? c[2] + " " : c[2];
    EXPECT_EQ(got.str(), expected);
    return;
  }
#ifdef _WIN32
  // The Windows C runtime applies US summer time rules to any zone with summer time.
  if (c[1].find(',') != std::string::npos) GTEST_SKIP() << "US summer time rules only";
#endif
  test::SetTimeZone(c[1].c_str());
  RecordSelection selection;
  for (auto [cell, bound] : {std::pair{3, &selection.from}, {4, &selection.to}}) {
    ASSERT_TRUE(c[cell] == "-" || ParseTimeBound(c[cell], bound, &error)) << error;
  }
  size_t point = c[2].find('.');
  RecordFilter filter = MakeRecordFilter(selection, std::stoll(c[2].substr(0, point)),
                                         std::stoll(c[2].substr(point + 1)));
  test::SetTimeZone("UTC");
  uint64_t from = std::stoull(c[5]), to = c[6] == "end" ? uint64_t{1} << 48 : std::stoull(c[6]);
  EXPECT_EQ(filter.from(), from);
  EXPECT_TRUE(from == 0 || !filter.InWindow(from - 1));
  EXPECT_TRUE(filter.InWindow(from));
  EXPECT_TRUE(filter.InWindow(to - 1));
  EXPECT_EQ(filter.InWindow(to), c[6] == "end");
}

INSTANTIATE_TEST_SUITE_P(Table, Filter,
                         ::testing::ValuesIn(test::ReadTable("report/filter_cases.tsv")),
                         [](const auto& info) { return "line" + std::to_string(info.index); });

}  // namespace
}  // namespace dtconv
