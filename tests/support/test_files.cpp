#include "test_files.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#ifndef DTCONV_GOLDEN_DIR
#define DTCONV_GOLDEN_DIR "tests/golden"
#endif

namespace dtconv::test {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device rd;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    auto path = std::filesystem::temp_directory_path() /
                ("dtconv-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
    if (std::filesystem::create_directory(path)) path_ = path;
  }
  if (path_.empty()) throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string Visible(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    if (c >= 0x20)
      out += static_cast<char>(c);
    else
      out += c == '\r' ? "\\r" : c == '\n' ? "\\n\n" : c == '\t' ? "\\t" : hex;
  }
  return out;
}

std::string CompareGolden(const std::string& name, const std::string& actual) {
  const char* dir = std::getenv("DTCONV_GOLDEN_DIR");
  std::filesystem::path file = std::filesystem::path(dir ? dir : DTCONV_GOLDEN_DIR) / name;
  const char* update = std::getenv("DTCONV_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    // CI compares; a golden file is only ever rewritten on purpose, on a developer's machine.
    if (std::getenv("CI") != nullptr) return "DTCONV_UPDATE_GOLDEN is refused when CI is set";
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << actual;
    return {};
  }
  std::string expected;
  try {
    expected = ReadFileBytes(file);
  } catch (const std::exception&) {
    return "golden file missing: " + file.string() + " (DTCONV_UPDATE_GOLDEN=1 writes it)";
  }
  if (expected == actual) return {};
  // The lines from the first that differs on.
  size_t at = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end()).first -
              expected.begin();
  size_t from = at == 0 ? 0 : expected.rfind('\n', at - 1) + 1;  // npos + 1 is 0
  auto lines = [&](const std::string& s) {
    size_t end = from;
    for (int n = 0; n < 4 && end < s.size(); ++n) end = std::min(s.find('\n', end), s.size()) + 1;
    return Visible(s.substr(from, end - from));
  };
  return "output differs from " + file.string() + " (" + std::to_string(expected.size()) +
         " bytes expected, " + std::to_string(actual.size()) +
         " written)\nfirst difference at line " +
         std::to_string(std::count(expected.begin(), expected.begin() + from, '\n') + 1) + ":\n-" +
         lines(expected) + "\n+" + lines(actual) + "\n";
}

std::vector<Row> ReadTable(const std::string& name) {
  std::vector<Row> rows;
  std::istringstream in(ReadFileBytes(std::filesystem::path(DTCONV_CASES_DIR) / name));
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    rows.emplace_back();
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) rows.back().push_back(cell);
  }
  if (rows.empty()) throw std::runtime_error(name + ": a case table without rows");
  return rows;
}

std::string TestName(const std::string& text) {
  std::string name = text;
  for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      c = text[++i];
      if (c == 'x') {
        c = static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        c = c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
      }
    }
    out += c;
  }
  return out;
}

}  // namespace dtconv::test
