#include "case_table.h"

#include <gtest/gtest.h>

#include <charconv>
#include <fstream>
#include <sstream>

namespace dtconv::signals::test {

std::string DataPath(std::string_view name) {
  return std::string(DTCONV_SIGNALS_DATA) + "/" + std::string(name);
}

std::vector<TableRow> ReadTable(const std::string& path) {
  std::vector<TableRow> rows;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path;
    return rows;
  }
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    TableRow row{number, {}};
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) row.cells.push_back(cell);
    rows.push_back(std::move(row));
  }
  return rows;
}

bool ParseFrameBytes(std::string_view text, std::vector<uint8_t>* bytes) {
  bytes->clear();
  if (text == "-") return true;
  std::istringstream in{std::string(text)};
  for (std::string token; in >> token;) {
    unsigned value = 0, count = 1;
    size_t star = token.find('*');
    std::string_view hex = std::string_view(token).substr(0, star);
    auto r = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
    if (hex.size() != 2 || r.ptr != hex.data() + hex.size()) return false;
    if (star != std::string::npos) {
      std::string_view n = std::string_view(token).substr(star + 1);
      auto c = std::from_chars(n.data(), n.data() + n.size(), count);
      if (n.empty() || c.ptr != n.data() + n.size()) return false;
    }
    bytes->insert(bytes->end(), count, static_cast<uint8_t>(value));
  }
  return !bytes->empty();
}

}  // namespace dtconv::signals::test
