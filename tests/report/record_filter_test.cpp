// --ids, --from and --to: parsing and what the filter of a capture keeps, from the cases of
// filter_cases.tsv.
#include "input/record_filter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "report/time_window.h"
#include "run_converter.h"

namespace dtconv {
namespace {

struct Case {
  int line;
  std::vector<std::string> cells;
};

std::vector<Case> Cases(const std::string& kind) {
  std::ifstream in(std::string(DTCONV_REPORT_DATA) + "/filter_cases.tsv", std::ios::binary);
  EXPECT_TRUE(in) << "cannot read filter_cases.tsv";
  std::vector<Case> cases;
  std::string text;
  for (int line = 1; std::getline(in, text); ++line) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.empty() || text[0] == '#') continue;
    Case c{line, {}};
    std::istringstream cells(text);
    for (std::string cell; std::getline(cells, cell, '\t');) c.cells.push_back(cell);
    if (text.back() == '\t') c.cells.emplace_back();
    if (c.cells[0] == kind) cases.push_back(c);
  }
  EXPECT_FALSE(cases.empty()) << "no " << kind << " cases";
  return cases;
}

// "error: TEXT": the error must start with TEXT.
void ExpectError(const std::string& expected, bool ok, const std::string& error, int line) {
  EXPECT_FALSE(ok) << "line " << line;
  EXPECT_EQ(error.rfind(expected.substr(7), 0), 0u) << "line " << line << ": " << error;
}

TEST(IdList, Cases) {
  for (const Case& c : Cases("ids")) {
    std::vector<IdRange> ids;
    std::string error;
    bool ok = ParseIdList(c.cells[1], &ids, &error);
    if (c.cells[2].rfind("error: ", 0) == 0) {
      ExpectError(c.cells[2], ok, error, c.line);
      continue;
    }
    ASSERT_TRUE(ok) << "line " << c.line << ": " << error;
    RecordFilter filter;
    filter.SetIds(ids);
    std::istringstream frames(c.cells[2]);
    for (std::string f; frames >> f;) {
      uint32_t id = static_cast<uint32_t>(std::strtoul(f.c_str() + 2, nullptr, 16));
      EXPECT_EQ(filter.KeepsId(id, f[1] == 'x'), f[0] == '+') << "line " << c.line << ": " << f;
    }
  }
}

TEST(TimeBound, Cases) {
  for (const Case& c : Cases("time")) {
    TimeBound bound;
    std::string error;
    bool ok = ParseTimeBound(c.cells[1], &bound, &error);
    if (c.cells[2].rfind("error: ", 0) == 0) {
      ExpectError(c.cells[2], ok, error, c.line);
      continue;
    }
    ASSERT_TRUE(ok) << "line " << c.line << ": " << error;
    std::ostringstream got;
    got << (bound.kind == TimeBound::Kind::kClock ? "clock " : "elapsed ") << bound.micros;
    EXPECT_EQ(got.str(), c.cells[2]) << "line " << c.line;
  }
}

TEST(TimeWindow, Cases) {
  for (const Case& c : Cases("window")) {
#ifdef _WIN32
    // The Windows C runtime applies US summer time rules to any zone with summer time.
    if (c.cells[1].find(',') != std::string::npos) continue;
#endif
    test::SetTimeZone(c.cells[1].c_str());
    RecordSelection selection;
    std::string error;
    for (auto [cell, bound] : {std::pair{3, &selection.from}, {4, &selection.to}}) {
      if (c.cells[cell] != "-") {
        ASSERT_TRUE(ParseTimeBound(c.cells[cell], bound, &error)) << "line " << c.line;
      }
    }
    size_t point = c.cells[2].find('.');
    RecordFilter filter =
        MakeRecordFilter(selection, std::strtoll(c.cells[2].substr(0, point).c_str(), nullptr, 10),
                         std::strtoll(c.cells[2].substr(point + 1).c_str(), nullptr, 10));
    uint64_t from = std::strtoull(c.cells[5].c_str(), nullptr, 10);
    EXPECT_EQ(filter.from(), from) << "line " << c.line;
    EXPECT_TRUE(filter.InWindow(from)) << "line " << c.line;
    if (from > 0) {
      EXPECT_FALSE(filter.InWindow(from - 1)) << "line " << c.line;
    }
    if (c.cells[6] == "end") {
      EXPECT_TRUE(filter.InWindow(uint64_t{1} << 48)) << "line " << c.line;
    } else {
      uint64_t to = std::strtoull(c.cells[6].c_str(), nullptr, 10);
      EXPECT_TRUE(filter.InWindow(to - 1)) << "line " << c.line;
      EXPECT_FALSE(filter.InWindow(to)) << "line " << c.line;
    }
  }
  test::SetTimeZone("UTC");
}

}  // namespace
}  // namespace dtconv
