// Temporary folders, whole-file reads and golden-file comparison for tests.
#pragma once

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "platform/result.h"

namespace dtconv {
// Results print as their codes in test failures.
inline std::ostream& operator<<(std::ostream& os, Result r) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", r.code());
  return os << text;
}
}  // namespace dtconv

namespace dtconv::test {

// A fresh folder removed again at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::string ReadFileBytes(const std::filesystem::path& path);

// Compares `actual` with the golden file tests/golden/<name> byte for byte. With
// DTCONV_UPDATE_GOLDEN=1 in the environment the golden file is rewritten instead (read the diff
// before committing it). Returns an empty string on a match, else a readable difference.
std::string CompareGolden(const std::string& name, const std::string& actual);

// The rows of the tab-separated table tests/cases/NAME, each as its cells; blank lines and lines
// starting with '#' are left out.
// The rows of a case table, each as its cells.
using Row = std::vector<std::string>;

std::vector<Row> ReadTable(const std::string& name);
// A test's name from a case's name: letters and digits, '_' for the rest.
std::string TestName(const std::string& text);
inline constexpr auto kRowName = [](const auto& info) { return TestName(info.param[0]); };
// \r, \n, \t, \\ and \xNN spelled out in a table's cell.
std::string Unescape(const std::string& text);

// Makes CR, LF and control characters visible, for failure messages.
std::string Visible(const std::string& text);

}  // namespace dtconv::test
