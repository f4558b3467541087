// The settings file, read and written through the platform's profile functions (the real
// private-profile functions in the Windows build): the cases of tests/cases/settings/load.tsv,
// whose header tells its columns, then what a save must never do.
#include "pipeline/settings_file.h"

#include <gtest/gtest.h>

#include "platform/profile.h"
#include "platform/unicode.h"
#include "robust_support.h"
#include "test_files.h"

namespace dtconv {
namespace {

namespace fs = std::filesystem;
using Row = std::vector<std::string>;
using Choices = std::vector<std::pair<std::string, std::string>>;

#define FIELD(f) \
  { #f, std::to_string(o.f) }
Choices Describe(const CvtOptions& o) {
  return {{"folder", o.folder == platform::CurrentDirectory() ? "(current folder)"
                                                              : platform::Utf16ToUtf8(o.folder)},
          FIELD(fileFilter),
          FIELD(targetData),
          FIELD(outputType),
          FIELD(canTxtSignalLine),
          FIELD(canCsvSignalLine),
          FIELD(canTxtTimeStamp),
          FIELD(canCsvTimeStamp),
          FIELD(anaTxtTimeStamp),
          FIELD(anaCsvTimeStamp),
          FIELD(canTxtRelTimeStamp),
          FIELD(canCsvRelTimeStamp),
          FIELD(anaTxtRelTimeStamp),
          FIELD(anaCsvRelTimeStamp),
          FIELD(canCsvDiffTimeStamp),
          FIELD(canCsvAddAnalog),
          FIELD(canCsvAddGnss),
          FIELD(anaCsvAddGnss),
          FIELD(additional),
          FIELD(outCode),
          FIELD(lineFeed),
          {"csvDelimit", platform::Utf16ToUtf8(o.csvDelimit)}};
}
#undef FIELD

std::string Text(const Choices& choices) {
  std::string text;
  for (const auto& [key, value] : choices) text += key + "=" + value + "\n";
  return text;
}

// Without its empty lines, which only the POSIX build writes between the sections.
std::string WithoutEmptyLines(std::string bytes) {
  for (const std::string& blank : {std::string("\r\n\r\n"), std::string("\r\0\n\0\r\0\n\0", 8)}) {
    for (size_t at; (at = bytes.find(blank)) != std::string::npos;) {
      bytes.erase(at, blank.size() / 2);
    }
  }
  return bytes;
}

class Load : public ::testing::TestWithParam<Row> {};

TEST_P(Load, GivesTheStoredChoicesAndSavesThemBack) {
  const Row& c = GetParam();
  test::TempDir dir;
  fs::path file = dir / "s.ini";
  if (c[1] != "-" && !test::MakeEntries(dir.path(), c[1])) GTEST_SKIP() << "cannot make " << c[1];
  Choices expected = Describe(CvtOptions{.folder = platform::CurrentDirectory()});
  expected.emplace_back("notes", "");
  std::vector<std::string> goldens;
  for (size_t i = 3; i < c.size(); ++i) {
    std::string key = c[i].substr(0, c[i].find('='));
    auto at =
        std::find_if(expected.begin(), expected.end(), [&](auto& e) { return e.first == key; });
    if (at == expected.end()) {
      goldens.push_back(c[i]);
    } else {
      at->second = c[i].substr(key.size() + 1);
    }
  }
  CvtOptions loaded{.targetData = kTargetWave, .csvDelimit = u"stale"};
  std::vector<std::string> notes;
  Result result;
  ASSERT_TRUE(
      test::FinishesInTime([&] { result = LoadSettings(file, loaded, &notes); }, dir.path()));
  EXPECT_EQ(result.code(), c[2] == "ok" ? 0u : std::stoul(c[2], nullptr, 16));
  Choices actual = Describe(loaded);
  actual.emplace_back("notes", "");
  for (const std::string& note : notes)
    actual.back().second += (note == notes[0] ? "" : " ; ") + note;
  EXPECT_EQ(Text(actual), Text(expected));

  ASSERT_EQ(SaveSettings(dir / "saved.ini", loaded), 0u);
  std::string saved = test::ReadFileBytes(dir / "saved.ini");
  EXPECT_EQ(saved.substr(0, 2), "\xFF\xFE");
  CvtOptions again;
  EXPECT_EQ(LoadSettings(dir / "saved.ini", again), 0u);
  EXPECT_EQ(Text(Describe(again)), Text(Describe(loaded)));
  for (const std::string& golden : goldens) {
    if (golden.starts_with("resaved=")) {
      ASSERT_EQ(SaveSettings(file, loaded), 0u);
      saved = test::ReadFileBytes(file);
    }
    EXPECT_EQ(test::CompareGolden(golden.substr(golden.find('=') + 1), WithoutEmptyLines(saved)),
              "");
  }
}

INSTANTIATE_TEST_SUITE_P(Table, Load, ::testing::ValuesIn(test::ReadTable("settings/load.tsv")),
                         test::kRowName);

TEST(SaveSettings, AFileInAMissingFolderFailsAndWritesNothing) {
  test::TempDir dir;
  EXPECT_NE(SaveSettings(dir / "no" / "s.ini", CvtOptions{}), 0u);
  EXPECT_FALSE(fs::exists(dir / "no"));
}

// What lies under the temporary names beside the settings file (a link to another file, a file
// another program is writing) is left alone: the save goes through a new file of its own.
TEST(SaveSettings, NeverWritesThroughWhatLiesBesideTheFile) {
  test::TempDir dir;
  if (!test::MakeEntries(dir.path(),
                         "victim.txt text keep me; s.ini.dtconv-tmp link victim.txt; "
                         "s.ini.1.dtconv-tmp text someone else's")) {
    GTEST_SKIP() << "links need privileges on Windows";
  }
  std::vector<std::string> before = test::DescribeFolder(dir.path());
  ASSERT_EQ(SaveSettings(dir / "s.ini", CvtOptions{}), 0u);
  std::vector<std::string> after = test::DescribeFolder(dir.path());
  std::erase_if(after, [](const std::string& e) { return e.starts_with("s.ini: "); });
  EXPECT_EQ(after, before);
}

TEST(SettingsPath, ReplacesTheProgramsExtension) {
  EXPECT_EQ(DefaultSettingsPath("C:/tools/dtconv_exbca.exe"),
            fs::path("C:/tools/dtconv_exbca.ini"));
}

}  // namespace
}  // namespace dtconv
