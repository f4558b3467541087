#include "diff_support.h"

#include <cstring>
#include <memory>
#include <sstream>

#include "test_files.h"

namespace dtconv::test {

std::string FirstDifference(const std::string& expected, const std::string& actual) {
  if (expected == actual) return "";
  size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  size_t start = expected.rfind('\n', at == 0 ? 0 : at - 1);
  start = start == std::string::npos ? 0 : start + 1;
  size_t line = 1;
  for (size_t i = 0; i < start; ++i) line += expected[i] == '\n' ? 1 : 0;
  auto lineAt = [&](const std::string& s) {
    size_t end = s.find('\n', start);
    return Visible(s.substr(start, end == std::string::npos ? std::string::npos : end - start));
  };
  std::ostringstream out;
  out << "first difference at byte " << at << " (line " << line << "; sizes " << expected.size()
      << " expected, " << actual.size() << " actual)\n  expected: " << lineAt(expected)
      << "\n  actual:   " << lineAt(actual);
  return out.str();
}

}  // namespace dtconv::test
