// From the dtconv command line (and a settings file) to the user's choices.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "test_files.h"

namespace dtconv::cli {
namespace {

namespace fs = std::filesystem;

// A settings file as the desktop program saves it, with every choice off its default.
const char* kSaved =
    "[cvtSettings]\r\nfolder=C:\\logs\r\nfileFilter=*.DT\r\n"
    "[cvtParams]\r\ntargetData=Analog\r\noutputType=Csv\r\n"
    "[canTxtCvtParams]\r\nsignalLine=CH2 only\r\ntimeStamp=Delta\r\nrelTimeStamp=True\r\n"
    "[canCsvCvtParams]\r\nsignalLine=CH1 only\r\ntimeStamp=uSec\r\nrelTimeStamp=True\r\n"
    "diffTimeStamp=True\r\naddAnalog=True\r\naddGNSS=True\r\n"
    "[anaTxtCvtParams]\r\ntimeStamp=Sec\r\nrelTimeStamp=False\r\n"
    "[anaCsvCvtParams]\r\ntimeStamp=uSec\r\nrelTimeStamp=True\r\naddGNSS=True\r\n"
    "[outputParams]\r\nadditional=True\r\noutCode=UTF-8\r\nlineFeed=LF\r\ncsvDelimit=;\r\n";

CvtOptions SavedOptions() {
  CvtOptions o;
  o.folder = u"C:\\logs";
  o.targetData = kTargetAnalog;
  o.outputType = kOutputCsv;
  o.canTxtSignalLine = 2;
  o.canTxtTimeStamp = kStampDelta;
  o.canTxtRelTimeStamp = true;
  o.canCsvSignalLine = 1;
  o.canCsvTimeStamp = kStampMicro;
  o.canCsvRelTimeStamp = o.canCsvDiffTimeStamp = o.canCsvAddAnalog = o.canCsvAddGnss = true;
  o.anaTxtTimeStamp = kStampSec;
  o.anaCsvTimeStamp = kStampMicro;
  o.anaCsvRelTimeStamp = o.anaCsvAddGnss = true;
  o.additional = true;
  o.outCode = 1;
  o.lineFeed = 1;
  o.csvDelimit = u";";
  return o;
}

struct ParseCase {
  const char* name;
  std::vector<std::string> args;  // "SETTINGS" stands for the saved settings file
  bool useSaved;                  // start the expectation from the saved choices
  std::function<void(CvtOptions&)> expect;
};

std::vector<ParseCase> Cases() {
  return {
      {"defaults", {"a.DT"}, false, [](CvtOptions&) {}},
      {"every option",
       {"-t", "can", "-f", "csv", "--line", "ch1", "--timestamp", "us", "--elapsed", "--diff",
        "--add-analog", "--add-gnss", "--encoding", "utf8-bom", "--eol", "cr", "--delimiter", "\\t",
        "a.DT"},
       false,
       [](CvtOptions& o) {
         o.outputType = kOutputCsv;
         o.canTxtSignalLine = o.canCsvSignalLine = 1;
         o.canTxtTimeStamp = o.canCsvTimeStamp = o.anaTxtTimeStamp = o.anaCsvTimeStamp = 0;
         o.canTxtRelTimeStamp = o.canCsvRelTimeStamp = o.anaTxtRelTimeStamp = true;
         o.anaCsvRelTimeStamp = o.canCsvDiffTimeStamp = o.canCsvAddAnalog = true;
         o.canCsvAddGnss = o.anaCsvAddGnss = true;
         o.additional = true;
         o.outCode = 2;
         o.lineFeed = 2;
         o.csvDelimit = u"\\t";
       }},
      {"delta only changes the CAN text stamp",
       {"--timestamp", "delta", "a.DT"},
       false,
       [](CvtOptions& o) { o.canTxtTimeStamp = kStampDelta; }},
      {"wave takes csv",
       {"-t", "wave", "a.DT"},
       false,
       [](CvtOptions& o) {
         o.targetData = kTargetWave;
         o.outputType = kOutputCsv;
       }},
      {"one output parameter switches them on with defaults",
       {"--eol", "lf", "a.DT"},
       false,
       [](CvtOptions& o) {
         o.additional = true;
         o.lineFeed = 1;
       }},
      {"empty delimiter",
       {"-f", "csv", "--delimiter", "", "a.DT"},
       false,
       [](CvtOptions& o) {
         o.outputType = kOutputCsv;
         o.additional = true;
         o.csvDelimit = u"";
       }},
      {"can log formats take the line",
       {"-f", "asc", "--line", "ch2", "a.DT"},
       false,
       [](CvtOptions& o) {
         o.outputType = kOutputAsc;
         o.canTxtSignalLine = o.canCsvSignalLine = 2;
       }},
      {"settings alone", {"--settings", "SETTINGS", "a.DT"}, true, [](CvtOptions&) {}},
      {"settings with a can log format",
       {"--settings", "SETTINGS", "-t", "can", "-f", "candump", "a.DT"},
       true,
       [](CvtOptions& o) {
         o.targetData = kTargetCan;
         o.outputType = kOutputCandump;
       }},
      {"settings with another target keeps an offered format",
       {"--settings", "SETTINGS", "-t", "gnss", "a.DT"},
       true,
       [](CvtOptions& o) { o.targetData = kTargetGnss; }},
      {"settings with target and format given",
       {"--settings", "SETTINGS", "-t", "can", "-f", "pcap", "a.DT"},
       true,
       [](CvtOptions& o) {
         o.targetData = kTargetCan;
         o.outputType = kOutputPcap;
       }},
      {"settings with the format only",
       {"--settings", "SETTINGS", "-f", "text", "a.DT"},
       true,
       [](CvtOptions& o) { o.outputType = kOutputText; }},
      {"settings switched off again",
       {"--settings", "SETTINGS", "--no-elapsed", "--no-diff", "--no-add-analog", "--no-add-gnss",
        "a.DT"},
       true,
       [](CvtOptions& o) {
         o.canTxtRelTimeStamp = o.canCsvRelTimeStamp = o.anaCsvRelTimeStamp = false;
         o.canCsvDiffTimeStamp = o.canCsvAddAnalog = o.canCsvAddGnss = o.anaCsvAddGnss = false;
       }},
      {"settings keep their other output parameters",
       {"--settings", "SETTINGS", "--encoding", "ansi", "a.DT"},
       true,
       [](CvtOptions& o) { o.outCode = 0; }},
      {"settings line and stamp overridden",
       {"--settings", "SETTINGS", "--line", "both", "--timestamp", "ms", "a.DT"},
       true,
       [](CvtOptions& o) {
         o.canTxtSignalLine = o.canCsvSignalLine = 0;
         o.canTxtTimeStamp = o.canCsvTimeStamp = o.anaTxtTimeStamp = o.anaCsvTimeStamp = 1;
       }},
  };
}

class ParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, GivesTheChoices) {
  test::TempDir dir;
  fs::path settings = dir / "dtconv_exbca.ini";
  std::ofstream(settings, std::ios::binary) << kSaved;
  std::vector<std::string> args = GetParam().args;
  for (std::string& a : args) {
    if (a == "SETTINGS") a = settings.string();
  }
  CliRequest req = ParseCommandLine(args);
  ASSERT_EQ(req.command, Command::kConvert) << req.message;
  CvtOptions expected = GetParam().useSaved ? SavedOptions() : CvtOptions{};
  GetParam().expect(expected);
  expected.folder = req.options.folder;  // the folder plays no part in the command line
  EXPECT_TRUE(req.options == expected);
  EXPECT_EQ(BuildCvtSettings(req.options).type, BuildCvtSettings(expected).type);
  EXPECT_TRUE(req.warnings.empty());
}

INSTANTIATE_TEST_SUITE_P(Options, ParseTest, testing::ValuesIn(Cases()), [](const auto& info) {
  std::string n = info.param.name;
  for (char& c : n) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return n;
});

struct UsageCase {
  std::vector<std::string> args;
  const char* says;
};

TEST(ParseCommandLine, UsageErrorsExplainThemselves) {
  test::TempDir dir;
  std::string missing = (dir / "missing.ini").string();
  const UsageCase cases[] = {
      {{"-t", "analog", "-f", "kml", "a.DT"},
       "--target analog has no format kml; it has text, csv"},
      {{"-t", "wave", "-f", "text", "a.DT"}, "it has csv"},
      {{"-t", "gnss", "-f", "pcapng", "a.DT"}, "it has text, csv, kml"},
      {{"-f", "candump", "--iface-names", "can0", "a.DT"}, "--iface-names takes two"},
      {{"-f", "candump", "--iface-names", "can0,can 1", "a.DT"}, "--iface-names takes two"},
      {{"-f", "csv", "--timestamp", "delta", "a.DT"}, "--timestamp delta is only for"},
      {{"--delimiter", "0123456789abcdef", "a.DT"}, "at most 15 characters"},
      {{"--diff", "--no-diff", "a.DT"}, "--diff and --no-diff contradict"},
      {{"--settings", missing, "a.DT"}, "cannot read the settings file"},
      {{"--line", "ch3", "a.DT"}, "--line"},
      {{"-j", "0", "a.DT"}, "--jobs"},
      {{}, "PATH"},
  };
  for (const UsageCase& c : cases) {
    CliRequest req = ParseCommandLine(c.args);
    EXPECT_EQ(req.command, Command::kExit) << c.says;
    EXPECT_EQ(req.exitCode, 2) << c.says;
    EXPECT_NE(req.message.find(c.says), std::string::npos) << req.message;
  }
}

TEST(ParseCommandLine, InterfaceNamesOfCandumpLogs) {
  EXPECT_EQ(ParseCommandLine({"-f", "candump", "a.DT"}).interfaceNames,
            (std::array<std::string, 2>{"can0", "can1"}));
  CliRequest req = ParseCommandLine({"-f", "candump", "--iface-names", "vcan0,slcan_1.x", "a.DT"});
  ASSERT_EQ(req.command, Command::kConvert) << req.message;
  EXPECT_EQ(req.interfaceNames, (std::array<std::string, 2>{"vcan0", "slcan_1.x"}));
}

TEST(ParseCommandLine, InfoWithoutAPathListsTheFormats) {
  CliRequest req = ParseCommandLine({"info", "--json"});
  EXPECT_EQ(req.command, Command::kInfo) << req.message;
  EXPECT_TRUE(req.paths.empty());
  std::vector<std::string> can;
  for (const ConversionFormat& f : ConversionFormats()) {
    if (f.target == "can") can.push_back(f.format + f.extension);
  }
  EXPECT_EQ(can, (std::vector<std::string>{"text.txt", "csv.csv", "pcap.pcap", "pcapng.pcapng",
                                           "asc.asc", "candump.log"}));
}

TEST(ParseCommandLine, WarnsOfSettingsItDoesNotUnderstand) {
  test::TempDir dir;
  fs::path settings = dir / "s.ini";
  std::ofstream(settings, std::ios::binary) << "[cvtParams]\r\noutputType=csv\r\n";
  CliRequest req = ParseCommandLine({"--settings", settings.string(), "a.DT"});
  ASSERT_EQ(req.command, Command::kConvert);
  ASSERT_EQ(req.warnings.size(), 1u);
  EXPECT_NE(req.warnings[0].find("cvtParams/outputType=csv"), std::string::npos);
  EXPECT_EQ(req.options.outputType, kOutputText);
}

// The selection of records and the signal tables' databases travel beside the user's choices.
TEST(ParseCommandLine, SelectionAndSignals) {
  CliRequest req = ParseCommandLine(
      {"-t", "signals", "-f", "long", "--dbc", std::string(DTCONV_SAMPLES_DIR) + "/vehicle.dbc",
       "--signals", "Wheel*", "--ids", "x:0x100", "--from", "09:31", "--to", "600", "a.DT"});
  ASSERT_EQ(req.command, Command::kConvert) << req.message;
  EXPECT_EQ(BuildCvtSettings(req.options).type, kCvtSignalsLong);
  EXPECT_EQ(req.selection.ids, (std::vector<IdRange>{{0x100, 0x100, false, true}}));
  EXPECT_EQ(req.selection.from, (TimeBound{TimeBound::Kind::kClock, 34260000000}));
  EXPECT_EQ(req.selection.to, (TimeBound{TimeBound::Kind::kElapsed, 600000000}));
  ASSERT_NE(req.signals, nullptr);
  EXPECT_EQ(req.signals->selection.signals().size(), 4u);
  EXPECT_EQ(req.paths, std::vector<std::string>{"a.DT"});
}

TEST(ParseCommandLine, HelpShowsEveryOptionWithItsDefault) {
  CliRequest req = ParseCommandLine({"--help"});
  ASSERT_EQ(req.command, Command::kExit);
  EXPECT_EQ(req.exitCode, 0);
  for (const char* text : {"--settings FILE",
                           "--target TARGET",
                           "[default: can]",
                           "--format FORMAT",
                           "[default: text; wave, signals: csv]",
                           "--dbc [ch1=|ch2=]FILE",
                           "--signals LIST",
                           "--ids LIST",
                           "--from TIME",
                           "--to TIME",
                           "dtconv -t signals",
                           "shortest text that reads back",
                           "[default: both]",
                           "[default: ms]",
                           "[default: ansi]",
                           "[default: crlf]",
                           "[default: ,]",
                           "[default: one per core]",
                           "--no-add-gnss",
                           "dtconv -t analog",
                           "dtconv -t gnss -f kml",
                           "dtconv -t wave",
                           "-f pcap",
                           "-f pcapng",
                           "-f asc",
                           "-f candump",
                           "--iface-names CH1,CH2",
                           "[default: can0,can1]"}) {
    EXPECT_NE(req.message.find(text), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace dtconv::cli
