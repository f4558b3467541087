// The case tables of the text tests (tab-separated files under tests/cases), snprintf into a
// string, and a fixed-seed generator for their random sweeps.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace dtconv::test {

struct CaseRow {
  std::string where;  // file:line, for failure messages
  std::vector<std::string> cells;
  const std::string& operator[](size_t i) const { return cells[i]; }
};

// The rows of tests/cases/<name>: one a line, cells split at tabs; blank lines and lines that
// start with '#' are skipped. A missing file, an empty one or a short row fails the test.
inline std::vector<CaseRow> ReadCases(const std::string& name, size_t columns) {
  std::vector<CaseRow> rows;
  std::ifstream in(std::string(DTCONV_CASES_DIR) + "/" + name);
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    CaseRow row{name + ":" + std::to_string(n), {}};
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) row.cells.push_back(cell);
    if (row.cells.size() < columns) ADD_FAILURE() << row.where << ": fewer than " << columns;
    if (row.cells.size() >= columns) rows.push_back(row);
  }
  if (rows.empty()) ADD_FAILURE() << "no cases in " << name;
  return rows;
}

// snprintf into a string of at most `size` - 1 characters.
template <size_t size = 128, typename... Values>
std::string Sprintf(const char* format, Values... values) {
  char text[size];
  std::snprintf(text, size, format, values...);
  return text;
}

// SplitMix64: the same values on every platform and every run.
struct Random {
  uint64_t state;
  explicit Random(uint64_t seed) : state(seed) {}
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint64_t Below(uint64_t n) { return Next() % n; }
};

}  // namespace dtconv::test
