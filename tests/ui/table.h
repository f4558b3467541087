// Case tables of the desktop program's tests (tests/ui/*.txt): one case a line, cells separated by
// "|" and trimmed of blanks; blank lines and lines that start with "#" are skipped. In a cell
// "<tab>" stands for a tab and "c{n}" for the character c written n times (values at a length
// limit).
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace dtconv::test {

using Row = std::vector<std::string>;

inline std::string UiCell(std::string cell) {
  cell = std::regex_replace(cell, std::regex("^ +| *\r?$"), "");
  for (std::smatch m; std::regex_search(cell, m, std::regex(R"((.)\{(\d+)\})"));)
    cell.replace(m.position(), m.length(), std::stoul(m[2]), m.str(1)[0]);
  return std::regex_replace(cell, std::regex("<tab>"), "\t");
}

inline std::vector<Row> ReadUiTable(const std::string& name) {
  std::ifstream in(std::string(DTCONV_UI_TABLES) + "/" + name);
  std::vector<Row> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.find_first_not_of(" \r") == std::string::npos || line[0] == '#') continue;
    Row& row = rows.emplace_back();
    for (size_t start = 0, bar = 0; bar != std::string::npos; start = bar + 1)
      row.push_back(UiCell(line.substr(start, (bar = line.find('|', start)) - start)));
  }
  EXPECT_FALSE(rows.empty()) << name << " is missing or empty";
  return rows;
}

// Runs every row of a table through `apply`, which reads the cells it needs from the row (the
// first names the rule) and returns its results: they must equal the row's last cells. An empty
// result means a rule that `apply` does not know.
inline void RunTable(const std::string& name, Row (*apply)(const Row&)) {
  for (const Row& row : ReadUiTable(name)) {
    Row got = apply(row);
    ASSERT_TRUE(!got.empty() && got.size() < row.size()) << name << ": " << row[0];
    EXPECT_EQ(got, Row(row.end() - static_cast<ptrdiff_t>(got.size()), row.end()))
        << name << ": " << testing::PrintToString(row);
  }
}

}  // namespace dtconv::test
