// The data files of the signal tests: tab-separated tables and frame bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dtconv::signals::test {

// tests/signals/data/<name>.
std::string DataPath(std::string_view name);

struct TableRow {
  int line;  // in the file, for failure messages
  std::vector<std::string> cells;
};

// The rows of a tab-separated file; lines that are empty or begin with '#' are left out. A file
// that cannot be read gives no rows and a test failure.
std::vector<TableRow> ReadTable(const std::string& path);

// Hex bytes separated by blanks, "XX*N" for N bytes XX, "-" for none. False for anything else.
bool ParseFrameBytes(std::string_view text, std::vector<uint8_t>* bytes);

}  // namespace dtconv::signals::test
