#include "test_files.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

#ifndef DTCONV_GOLDEN_DIR
#define DTCONV_GOLDEN_DIR "tests/golden"
#endif

namespace dtconv::test {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto name = "dtconv-test-" + std::to_string(rd()) + "-" + std::to_string(counter++);
    if (std::filesystem::create_directory(base / name)) {
      path_ = base / name;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
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
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

namespace {
std::vector<std::string> Lines(const std::string& s) {
  std::vector<std::string> lines;
  std::string cur;
  for (char c : s) {
    cur += c;
    if (c == '\n') {
      lines.push_back(cur);
      cur.clear();
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}
}  // namespace

std::string CompareGolden(const std::string& name, const std::string& actual) {
  std::filesystem::path dir = DTCONV_GOLDEN_DIR;
  if (const char* env = std::getenv("DTCONV_GOLDEN_DIR")) dir = env;
  std::filesystem::path file = dir / name;
  const char* update = std::getenv("DTCONV_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    // CI compares; a golden file is only ever rewritten on purpose, on a developer's machine.
    if (std::getenv("CI") != nullptr) return "DTCONV_UPDATE_GOLDEN is refused when CI is set";
    std::filesystem::create_directories(file.parent_path());
    std::ofstream f(file, std::ios::binary | std::ios::trunc);
    f << actual;
    return {};
  }
  std::string expected;
  try {
    expected = ReadFileBytes(file);
  } catch (const std::exception&) {
    return "golden file missing: " + file.string() + " (DTCONV_UPDATE_GOLDEN=1 writes it)";
  }
  if (expected == actual) return {};
  auto e = Lines(expected), a = Lines(actual);
  std::ostringstream diff;
  diff << "output differs from " << file.string() << " (" << expected.size() << " bytes expected, "
       << actual.size() << " written)\n";
  size_t i = 0;
  while (i < e.size() && i < a.size() && e[i] == a[i]) ++i;
  diff << "first difference at line " << i + 1 << ":\n";
  for (size_t k = i; k < i + 4 && k < std::max(e.size(), a.size()); ++k) {
    if (k < e.size()) diff << "-" << Visible(e[k]);
    if (k < a.size()) diff << "+" << Visible(a[k]);
    if (diff.str().back() != '\n') diff << "\n";
  }
  return diff.str();
}

}  // namespace dtconv::test
