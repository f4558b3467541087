// From the dtconv command line (over a settings file) to the job record: the cases of
// tests/cases/cli/command_lines.tsv, and what --help must mention (tests/cases/cli/help.txt). Usage
// errors are the interop tests' (tests/interop/usage_errors.txt).
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "platform/unicode.h"
#include "robust_support.h"
#include "test_files.h"

namespace dtconv::cli {
namespace {

using Row = std::vector<std::string>;

class CommandLine : public ::testing::TestWithParam<Row> {};

TEST_P(CommandLine, GivesItsJobRecord) {
  std::vector<std::string> args;
  std::istringstream words(GetParam()[1] == "-" ? "" : GetParam()[1]);
  for (std::string w; words >> w;) {
    if (w == "SETTINGS") w = std::string(DTCONV_CASES_DIR) + "/settings/analog_csv.ini";
    if (w.starts_with("SAMPLES/")) w = std::string(DTCONV_SAMPLES_DIR) + w.substr(7);
    args.push_back(w == "''" ? "" : w);
  }
  args.push_back("a.DT");
  CliRequest request = ParseCommandLine(args);
  ASSERT_EQ(request.command, Command::kConvert) << request.message;
  EXPECT_TRUE(request.warnings.empty());
  CvtSettings s = BuildCvtSettings(request.options);
  char record[64];
  std::snprintf(record, sizeof record, "%d %d %d 0x%X 0x%X ", s.type, s.signalLine,
                s.timeStampStyle, s.optionBits, s.outputBits);
  EXPECT_EQ(record + platform::Utf16ToUtf8(s.delimiter), test::Unescape(GetParam()[2]));
}

INSTANTIATE_TEST_SUITE_P(Table, CommandLine,
                         ::testing::ValuesIn(test::ReadTable("cli/command_lines.tsv")),
                         test::kRowName);

TEST(CommandLine, HelpMentionsEveryOptionWithItsDefault) {
  CliRequest request = ParseCommandLine({"--help"});
  ASSERT_EQ(request.exitCode, 0);
  std::istringstream lines(test::ReadFileBytes(std::string(DTCONV_CASES_DIR) + "/cli/help.txt"));
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("#")) {
      EXPECT_NE(request.message.find(line), std::string::npos) << line;
    }
  }
}

}  // namespace
}  // namespace dtconv::cli
