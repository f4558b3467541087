// Every conversion case of the tables in tests/cases/conversions/: a capture written from its
// recipe, converted by the conversion job with the choices of a dtconv command line, in a time
// zone, must give its result code and leave exactly its golden output (or none) beside the input.
//
// Columns (tab-separated): name, capture, time zone, command-line options (split at blanks;
// 'single quotes' keep blanks in a word; $TESTS/ stands for the path of tests/, as in
// --dbc $TESTS/signals/data/tables.dbc), result, golden.
// capture: recipe statements separated by ';' (`use NAME` for a file of tests/cases/captures/);
// several captures joined by " + " are converted by one job in turn, each with its own golden.
// result: "ok" or the result code in hexadecimal. golden: a file of tests/golden/, "-" for no
// output, "empty" for an empty one, or "=TEXT", the whole output written out (\n, \r and \t
// stand for line ends and tabs); one per capture, joined by " + ".
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "capture_recipe.h"
#include "cli/cli_options.h"
#include "pipeline/conversion_job.h"
#include "robust_support.h"
#include "run_converter.h"
#include "test_files.h"

namespace dtconv {
namespace {

namespace fs = std::filesystem;

struct Case {
  std::string name, capture, tz, options, result, golden;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::vector<std::string> Split(const std::string& s, const std::string& by) {
  std::vector<std::string> parts;
  for (size_t at = 0;;) {
    size_t next = s.find(by, at);
    parts.push_back(s.substr(at, next == std::string::npos ? next : next - at));
    if (next == std::string::npos) return parts;
    at = next + by.size();
  }
}

std::vector<Case> Cases() {
  std::vector<std::string> tables;
  for (const auto& e : fs::directory_iterator(fs::path(DTCONV_CASES_DIR) / "conversions")) {
    tables.push_back("conversions/" + e.path().filename().string());
  }
  std::sort(tables.begin(), tables.end());
  std::vector<Case> cases;
  for (const std::string& table : tables) {
    for (const test::Row& c : test::ReadTable(table)) {
      if (c.size() != 6) throw std::invalid_argument(table + ": not six columns: " + c[0]);
      cases.push_back({c[0], c[1], c[2], c[3], c[4], c[5]});
    }
  }
  return cases;
}

// The windows C runtime reads only zones of a fixed offset from TZ.
bool ZoneKnownHere(const std::string& tz) {
#ifdef _WIN32
  return tz.find('/') == std::string::npos && tz.find(',') == std::string::npos;
#else
  (void)tz;
  return true;
#endif
}

class Conversion : public ::testing::TestWithParam<Case> {
 protected:
  void TearDown() override { test::SetTimeZone("UTC"); }
};

TEST_P(Conversion, GivesItsResultAndGolden) {
  const Case& c = GetParam();
  if (!ZoneKnownHere(c.tz)) GTEST_SKIP() << "time zone " << c.tz << " is not known here";
  test::SetTimeZone(c.tz.c_str());
  test::TempDir dir;
  std::vector<std::string> captures = Split(c.capture, " + "), goldens = Split(c.golden, " + ");
  ASSERT_EQ(captures.size(), goldens.size());
  std::vector<fs::path> inputs;
  std::vector<std::string> args;
  // Options are split at blanks; 'single quotes' keep blanks in a word.
  std::string word, options = c.options;
  for (size_t at; (at = options.find("$TESTS/")) != std::string::npos;) {
    options.replace(at, 6, fs::path(DTCONV_CASES_DIR).parent_path().generic_string());
  }
  bool quoted = false, any = false;
  for (char ch : options + " ") {
    if (ch == '\'') {
      quoted = !quoted;
      any = true;
    } else if (ch == ' ' && !quoted) {
      if (any || !word.empty()) args.push_back(word);
      word.clear();
      any = false;
    } else {
      word += ch;
    }
  }
  for (size_t i = 0; i < captures.size(); ++i) {
    inputs.push_back(dir / ("capture" + std::to_string(i + 1) + ".DT"));
    test::WriteFile(inputs.back(), test::BuildRecipe(captures[i]));
    std::u8string path = inputs.back().u8string();
    args.emplace_back(path.begin(), path.end());
  }
  cli::CliRequest request = cli::ParseCommandLine(args);
  ASSERT_EQ(request.command, cli::Command::kConvert) << request.message;
  CvtSettings settings = BuildCvtSettings(request.options);
  settings.interfaceNames = request.interfaceNames;  // as dtconv's RunConvert does
  settings.selection = request.selection;
  settings.signals = request.signals;

  JobObserver observer;
  Result result = test::RunJob(inputs, settings, DefaultConverterTable(), observer);
  EXPECT_EQ(result.code(), c.result == "ok" ? 0u : std::stoul(c.result, nullptr, 16));

  // Each input's output is its golden; nothing else is left in the folder.
  size_t files = captures.size();
  for (size_t i = 0; i < captures.size(); ++i) {
    fs::path output;
    ASSERT_TRUE(DeriveOutputPath(inputs[i], settings.type, {}, &output).ok());
    SCOPED_TRACE(captures[i]);
    if (goldens[i] == "-") {
      EXPECT_FALSE(fs::exists(output));
      continue;
    }
    ASSERT_TRUE(fs::exists(output));
    ++files;
    std::string bytes = test::ReadFileBytes(output);
    if (goldens[i] == "empty" || goldens[i][0] == '=') {
      EXPECT_EQ(bytes, goldens[i] == "empty" ? "" : test::Unescape(goldens[i].substr(1)));
    } else {
      EXPECT_EQ(test::CompareGolden(goldens[i], bytes), "");
    }
  }
  EXPECT_EQ(static_cast<size_t>(std::distance(fs::directory_iterator(dir.path()), {})), files);
}

INSTANTIATE_TEST_SUITE_P(Table, Conversion, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return test::TestName(info.param.name); });

}  // namespace
}  // namespace dtconv
