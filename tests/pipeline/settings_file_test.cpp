// The settings file: every key, spelling, default and normalisation, read and written through
// the platform's profile functions (the real private-profile functions in the Windows build).
#include "pipeline/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/unicode.h"
#include "test_files.h"

namespace dtconv {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::string U8(std::u16string_view s) { return platform::Utf16ToUtf8(s); }

// Every field, one per line, so a failed comparison shows which one differs.
std::string Describe(const CvtOptions& o) {
  std::string s;
  auto add = [&](const char* name, const std::string& value) {
    s += std::string(name) + "=" + value + "\n";
  };
  auto num = [&](const char* name, int64_t v) { add(name, std::to_string(v)); };
  add("folder", U8(o.folder));
  num("fileFilter", o.fileFilter);
  num("targetData", o.targetData);
  num("outputType", o.outputType);
  num("canTxtSignalLine", o.canTxtSignalLine);
  num("canCsvSignalLine", o.canCsvSignalLine);
  num("canTxtTimeStamp", o.canTxtTimeStamp);
  num("canCsvTimeStamp", o.canCsvTimeStamp);
  num("anaTxtTimeStamp", o.anaTxtTimeStamp);
  num("anaCsvTimeStamp", o.anaCsvTimeStamp);
  num("canTxtRelTimeStamp", o.canTxtRelTimeStamp);
  num("canCsvRelTimeStamp", o.canCsvRelTimeStamp);
  num("anaTxtRelTimeStamp", o.anaTxtRelTimeStamp);
  num("anaCsvRelTimeStamp", o.anaCsvRelTimeStamp);
  num("canCsvDiffTimeStamp", o.canCsvDiffTimeStamp);
  num("canCsvAddAnalog", o.canCsvAddAnalog);
  num("canCsvAddGnss", o.canCsvAddGnss);
  num("anaCsvAddGnss", o.anaCsvAddGnss);
  num("additional", o.additional);
  num("outCode", o.outCode);
  num("lineFeed", o.lineFeed);
  add("csvDelimit", test::Visible(U8(o.csvDelimit)));
  return s;
}

void WriteText(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// What a load of a file without the key gives: the defaults, in the current folder.
CvtOptions Defaults() {
  CvtOptions o;
  o.folder = fs::current_path().u16string();
  return o;
}

struct LoadCase {
  const char* name;
  std::string ini;  // UTF-8, written as a plain file
  std::function<void(CvtOptions&)> expect;
};

std::vector<LoadCase> LoadCases() {
  return {
      {"empty file gives every default", "", [](CvtOptions&) {}},
      {"folder as stored", "[cvtSettings]\r\nfolder=D:\\logs\\2026\r\n",
       [](CvtOptions& o) { o.folder = u"D:\\logs\\2026"; }},
      {"file filter autosaved", "[cvtSettings]\r\nfileFilter=#*.DT\r\n",
       [](CvtOptions& o) { o.fileFilter = 1; }},
      {"file filter unknown", "[cvtSettings]\r\nfileFilter=*.dt\r\n", [](CvtOptions&) {}},
      {"target analog", "[cvtParams]\r\ntargetData=Analog\r\noutputType=Csv\r\n",
       [](CvtOptions& o) {
         o.targetData = 1;
         o.outputType = 1;
       }},
      {"target gnss kml", "[cvtParams]\r\ntargetData=GPS\r\noutputType=Kml\r\n",
       [](CvtOptions& o) {
         o.targetData = 2;
         o.outputType = 2;
       }},
      {"can pcap", "[cvtParams]\r\ntargetData=Can\r\noutputType=Pcap\r\n",
       [](CvtOptions& o) { o.outputType = 3; }},
      {"wave with text becomes csv", "[cvtParams]\r\ntargetData=Wave\r\noutputType=Text\r\n",
       [](CvtOptions& o) {
         o.targetData = 3;
         o.outputType = 1;
       }},
      {"wave with pcap becomes csv", "[cvtParams]\r\ntargetData=Wave\r\noutputType=Pcap\r\n",
       [](CvtOptions& o) {
         o.targetData = 3;
         o.outputType = 1;
       }},
      {"can kml becomes text", "[cvtParams]\r\ntargetData=Can\r\noutputType=Kml\r\n",
       [](CvtOptions&) {}},
      {"analog kml becomes text", "[cvtParams]\r\ntargetData=Analog\r\noutputType=Kml\r\n",
       [](CvtOptions& o) { o.targetData = 1; }},
      {"analog pcap becomes text", "[cvtParams]\r\ntargetData=Analog\r\noutputType=Pcap\r\n",
       [](CvtOptions& o) { o.targetData = 1; }},
      {"gnss pcap becomes text", "[cvtParams]\r\ntargetData=GPS\r\noutputType=Pcap\r\n",
       [](CvtOptions& o) { o.targetData = 2; }},
      {"lower-case csv is not a spelling", "[cvtParams]\r\noutputType=csv\r\n", [](CvtOptions&) {}},
      {"unknown target is CAN", "[cvtParams]\r\ntargetData=GNSS\r\noutputType=Csv\r\n",
       [](CvtOptions& o) { o.outputType = 1; }},
      {"signal lines",
       "[canTxtCvtParams]\r\nsignalLine=CH1 only\r\n[canCsvCvtParams]\r\nsignalLine=CH2 only\r\n",
       [](CvtOptions& o) {
         o.canTxtSignalLine = 1;
         o.canCsvSignalLine = 2;
       }},
      {"signal line all", "[canTxtCvtParams]\r\nsignalLine=All\r\n", [](CvtOptions&) {}},
      {"signal line misspelt", "[canTxtCvtParams]\r\nsignalLine=CH1\r\n", [](CvtOptions&) {}},
      {"time stamps",
       "[canTxtCvtParams]\r\ntimeStamp=Delta\r\n[canCsvCvtParams]\r\ntimeStamp=uSec\r\n"
       "[anaTxtCvtParams]\r\ntimeStamp=Sec\r\n[anaCsvCvtParams]\r\ntimeStamp=mSec\r\n",
       [](CvtOptions& o) {
         o.canTxtTimeStamp = 3;
         o.canCsvTimeStamp = 0;
         o.anaTxtTimeStamp = 2;
       }},
      {"delta only for CAN text", "[canCsvCvtParams]\r\ntimeStamp=Delta\r\n", [](CvtOptions&) {}},
      {"time stamp in wrong case", "[canTxtCvtParams]\r\ntimeStamp=usec\r\n", [](CvtOptions&) {}},
      {"every flag true",
       "[canTxtCvtParams]\r\nrelTimeStamp=True\r\n[canCsvCvtParams]\r\nrelTimeStamp=True\r\n"
       "diffTimeStamp=True\r\naddAnalog=True\r\naddGNSS=True\r\n[anaTxtCvtParams]\r\n"
       "relTimeStamp=True\r\n[anaCsvCvtParams]\r\nrelTimeStamp=True\r\naddGNSS=True\r\n"
       "[outputParams]\r\nadditional=True\r\n",
       [](CvtOptions& o) {
         o.canTxtRelTimeStamp = o.canCsvRelTimeStamp = o.anaTxtRelTimeStamp = true;
         o.anaCsvRelTimeStamp = o.canCsvDiffTimeStamp = o.canCsvAddAnalog = true;
         o.canCsvAddGnss = o.anaCsvAddGnss = o.additional = true;
       }},
      {"only True is true",
       "[canCsvCvtParams]\r\nrelTimeStamp=true\r\ndiffTimeStamp=TRUE\r\naddAnalog=1\r\n"
       "addGNSS=yes\r\n",
       [](CvtOptions&) {}},
      {"output parameters",
       "[outputParams]\r\nadditional=True\r\noutCode=UTF-8 BOM\r\nlineFeed=LF\r\n"
       "csvDelimit=;\\t\r\n",
       [](CvtOptions& o) {
         o.additional = true;
         o.outCode = 2;
         o.lineFeed = 1;
         o.csvDelimit = u";\\t";
       }},
      {"utf-8 and CR", "[outputParams]\r\noutCode=UTF-8\r\nlineFeed=CR\r\n",
       [](CvtOptions& o) {
         o.outCode = 1;
         o.lineFeed = 2;
       }},
      {"unknown code and line end", "[outputParams]\r\noutCode=UTF8\r\nlineFeed=crlf\r\n",
       [](CvtOptions&) {}},
      {"delimiter keeps 15 characters", "[outputParams]\r\ncsvDelimit=0123456789abcdefgh\r\n",
       [](CvtOptions& o) { o.csvDelimit = u"0123456789abcde"; }},
      {"folder keeps 259 characters",
       "[cvtSettings]\r\nfolder=C:\\" + std::string(300, 'x') + "\r\n",
       [](CvtOptions& o) { o.folder = u"C:\\" + std::u16string(256, u'x'); }},
      {"names match without case", "[CVTPARAMS]\r\nTargetdata=GPS\r\nOUTPUTTYPE=Csv\r\n",
       [](CvtOptions& o) {
         o.targetData = 2;
         o.outputType = 1;
       }},
      {"values are trimmed and lose quotes",
       "[cvtParams]\r\ntargetData =  Analog  \r\noutputType=\"Csv\"\r\n",
       [](CvtOptions& o) {
         o.targetData = 1;
         o.outputType = 1;
       }},
      {"LF line ends and comments",
       "; saved by hand\n[cvtParams]\ntargetData=GPS\n[other]\nkey=value\n",
       [](CvtOptions& o) { o.targetData = 2; }},
      {"values in the wrong section are ignored", "[cvtParams]\r\nsignalLine=CH1 only\r\n",
       [](CvtOptions&) {}},
  };
}

class LoadSettingsTest : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadSettingsTest, GivesTheStoredChoiceOrTheDefault) {
  TempDir dir;
  WriteText(dir / "dtconv_exbca.ini", GetParam().ini);
  CvtOptions expected = Defaults();
  GetParam().expect(expected);
  CvtOptions loaded;
  loaded.csvDelimit = u"stale";
  loaded.additional = true;
  EXPECT_EQ(LoadSettings(dir / "dtconv_exbca.ini", loaded), 0u);
  EXPECT_EQ(Describe(loaded), Describe(expected));
}

INSTANTIATE_TEST_SUITE_P(Keys, LoadSettingsTest, testing::ValuesIn(LoadCases()),
                         [](const auto& info) {
                           std::string n = info.param.name;
                           for (char& c : n) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return n;
                         });

TEST(LoadSettings, MissingFileGivesDefaultsAndSaysSo) {
  TempDir dir;
  CvtOptions loaded;
  loaded.targetData = kTargetGnss;
  EXPECT_EQ(LoadSettings(dir / "none.ini", loaded), 0x80070002u);
  EXPECT_EQ(Describe(loaded), Describe(Defaults()));
}

TEST(LoadSettings, ListsTheValuesItDidNotUnderstand) {
  TempDir dir;
  WriteText(dir / "s.ini",
            "[cvtParams]\r\ntargetData=Can\r\noutputType=csv\r\n[outputParams]\r\n"
            "additional=yes\r\n");
  CvtOptions loaded;
  std::vector<std::string> notes;
  LoadSettings(dir / "s.ini", loaded, &notes);
  EXPECT_EQ(notes,
            (std::vector<std::string>{"cvtParams/outputType=csv", "outputParams/additional=yes"}));
}

TEST(LoadSettings, DelimiterReachesTheJobRecordOnlyWithAdditional) {
  TempDir dir;
  WriteText(dir / "s.ini",
            "[cvtParams]\r\noutputType=Csv\r\n[outputParams]\r\ncsvDelimit=;\\t\r\n");
  CvtOptions loaded;
  LoadSettings(dir / "s.ini", loaded);
  EXPECT_EQ(BuildCvtSettings(loaded).delimiter, u",");
  loaded.additional = true;
  EXPECT_EQ(BuildCvtSettings(loaded).delimiter, u";\t");
}

// Choices that differ from the defaults in every field.
CvtOptions Unusual() {
  CvtOptions o;
  o.folder = u"C:\\\u8a08\u6e2c\\\u30c7\u30fc\u30bf \U0001F697 \u00e9";
  o.fileFilter = 1;
  o.targetData = kTargetGnss;
  o.outputType = kOutputKml;
  o.canTxtSignalLine = 2;
  o.canCsvSignalLine = 1;
  o.canTxtTimeStamp = kStampDelta;
  o.canCsvTimeStamp = kStampSec;
  o.anaTxtTimeStamp = kStampMicro;
  o.anaCsvTimeStamp = kStampSec;
  o.canTxtRelTimeStamp = o.anaCsvRelTimeStamp = o.canCsvAddAnalog = o.additional = true;
  o.outCode = 2;
  o.lineFeed = 2;
  o.csvDelimit = u"\\t|\\\\";
  return o;
}

TEST(SaveSettings, WhatIsSavedLoadsBackUnchanged) {
  TempDir dir;
  for (const CvtOptions& saved : {Unusual(), Defaults()}) {
    fs::path file = dir / "round.ini";
    fs::remove(file);
    ASSERT_EQ(SaveSettings(file, saved), 0u);
    CvtOptions loaded;
    EXPECT_EQ(LoadSettings(file, loaded), 0u);
    EXPECT_EQ(Describe(loaded), Describe(saved));
  }
}

TEST(SaveSettings, ANewFileIsUtf16WithByteOrderMark) {
  TempDir dir;
  CvtOptions o = Unusual();
  o.folder = u"C:\\\u8a08\u6e2c";
  ASSERT_EQ(SaveSettings(dir / "new.ini", o), 0u);
  std::string bytes = test::ReadFileBytes(dir / "new.ini");
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  // Decoded, the text holds every key with its written spelling.
  std::u16string text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  std::string utf8 = U8(text);
  for (const char* line : {"[cvtSettings]\r\n",     "folder=C:\\\xe8\xa8\x88\xe6\xb8\xac\r\n",
                           "fileFilter=#*.DT\r\n",  "[cvtParams]\r\n",
                           "targetData=GPS\r\n",    "outputType=Kml\r\n",
                           "[canTxtCvtParams]\r\n", "signalLine=CH2 only\r\n",
                           "timeStamp=Delta\r\n",   "relTimeStamp=True\r\n",
                           "[canCsvCvtParams]\r\n", "signalLine=CH1 only\r\n",
                           "timeStamp=Sec\r\n",     "diffTimeStamp=False\r\n",
                           "addAnalog=True\r\n",    "addGNSS=False\r\n",
                           "[anaTxtCvtParams]\r\n", "timeStamp=uSec\r\n",
                           "[anaCsvCvtParams]\r\n", "[outputParams]\r\n",
                           "additional=True\r\n",   "outCode=UTF-8 BOM\r\n",
                           "lineFeed=CR\r\n",       "csvDelimit=\\t|\\\\\r\n"}) {
    EXPECT_NE(utf8.find(line), std::string::npos) << line << " missing in\n" << utf8;
  }
}

TEST(SaveSettings, WaveLoadedFromTextIsSavedAsCsv) {
  TempDir dir;
  WriteText(dir / "s.ini", "[cvtParams]\r\ntargetData=Wave\r\noutputType=Text\r\n");
  CvtOptions o;
  LoadSettings(dir / "s.ini", o);
  ASSERT_EQ(SaveSettings(dir / "s.ini", o), 0u);
  std::string bytes = test::ReadFileBytes(dir / "s.ini");
  EXPECT_NE(bytes.find("outputType=Csv"), std::string::npos) << test::Visible(bytes);
  EXPECT_EQ(bytes.find("outputType=Text"), std::string::npos) << test::Visible(bytes);
}

TEST(SaveSettings, KeepsOtherSectionsOfAnExistingFile) {
  TempDir dir;
  WriteText(dir / "s.ini", "[window]\r\nleft=10\r\n[cvtParams]\r\ntargetData=Analog\r\n");
  CvtOptions o;
  LoadSettings(dir / "s.ini", o);
  o.targetData = kTargetCan;
  ASSERT_EQ(SaveSettings(dir / "s.ini", o), 0u);
  std::string bytes = test::ReadFileBytes(dir / "s.ini");
  // An existing plain file stays plain when its text allows.
  EXPECT_NE(bytes.find("[window]\r\nleft=10\r\n"), std::string::npos) << test::Visible(bytes);
  EXPECT_NE(bytes.find("targetData=Can\r\n"), std::string::npos) << test::Visible(bytes);
}

TEST(SaveSettings, AFileInAMissingFolderFailsAndWritesNothing) {
  TempDir dir;
  EXPECT_NE(SaveSettings(dir / "no" / "such" / "s.ini", Unusual()), 0u);
  EXPECT_FALSE(fs::exists(dir / "no"));
}

TEST(SettingsPath, ReplacesTheProgramsExtension) {
  EXPECT_EQ(DefaultSettingsPath("C:/tools/dtconv_exbca.exe"),
            fs::path("C:/tools/dtconv_exbca.ini"));
  EXPECT_EQ(DefaultSettingsPath("/opt/dtconv/dtconv"), fs::path("/opt/dtconv/dtconv.ini"));
}

}  // namespace
}  // namespace dtconv
