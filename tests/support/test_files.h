// Temporary folders, whole-file reads and golden-file comparison for tests.
#pragma once

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>

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

// Makes CR, LF and control characters visible, for failure messages.
std::string Visible(const std::string& text);

}  // namespace dtconv::test
