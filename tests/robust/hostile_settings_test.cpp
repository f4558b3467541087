// Hostile settings files: what LoadSettings makes of files that are not what the desktop program
// writes. Each case gives its result code and the choices loaded, compared whole as the settings
// file SaveSettings writes for them; nothing may hang or read without end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "capture_builder.h"
#include "pipeline/settings_file.h"
#include "platform/profile.h"
#include "robust_support.h"
#include "test_files.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace dtconv {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

void WriteText(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

// The choices of a settings file without any key: the defaults, in the current folder.
CvtOptions Defaults() {
  CvtOptions o;
  o.folder = platform::CurrentDirectory();
  return o;
}

// The settings file SaveSettings writes for `options`, as bytes.
std::string Saved(const CvtOptions& options, const fs::path& dir, const std::string& name) {
  fs::path p = dir / name;
  EXPECT_EQ(SaveSettings(p, options), 0u);
  return test::ReadFileBytes(p);
}

struct SettingsCase {
  const char* name;
  // Makes the settings file at the path; returns false when this system cannot.
  std::function<bool(const fs::path&)> make;
  uint32_t result;
  std::function<void(CvtOptions&)> expected;  // applied to the defaults
};

std::string Repeat(char c, size_t n) { return std::string(n, c); }

std::vector<SettingsCase> Cases() {
  auto none = [](CvtOptions&) {};
  return {
      {"missing", [](const fs::path&) { return true; }, 0x80070002, none},
      {"empty",
       [](const fs::path& p) {
         WriteText(p, "");
         return true;
       },
       0, none},
      {"a capture file",
       [](const fs::path& p) {
         test::BaseCapture().WriteTo(p);
         return true;
       },
       0, none},
      {"byte order mark of UTF-16 and one odd byte",
       [](const fs::path& p) {
         WriteText(p, "\xFF\xFE[\0x"s);
         return true;
       },
       0, none},
      {"byte order mark of UTF-8 only",
       [](const fs::path& p) {
         WriteText(p, "\xEF\xBB\xBF");
         return true;
       },
       0, none},
      {"a delimiter line of one mebibyte",
       [](const fs::path& p) {
         WriteText(p, "[outputParams]\r\ncsvDelimit=" + Repeat('x', 1 << 20) + "\r\n");
         return true;
       },
       0, [](CvtOptions& o) { o.csvDelimit = std::u16string(15, u'x'); }},
      {"a section name of one mebibyte",
       [](const fs::path& p) {
         WriteText(p, "[" + Repeat('s', 1 << 20) + "]\r\ntargetData=GPS\r\n");
         return true;
       },
       0, none},
      {"values in quotes and blanks",
       [](const fs::path& p) {
         WriteText(
             p, "[cvtParams]\r\n  targetData =  \"Wave\"  \r\n[outputParams]\r\nlineFeed='LF'\r\n");
         return true;
       },
       0,
       [](CvtOptions& o) {
         o.targetData = kTargetWave;
         o.outputType = kOutputCsv;
         o.lineFeed = 1;
       }},
      {"a folder",
       [](const fs::path& p) {
         fs::create_directory(p);
         return true;
       },
       0x80070005, none},
#ifndef _WIN32
      {"a named pipe", [](const fs::path& p) { return ::mkfifo(p.c_str(), 0644) == 0; }, 0x80070032,
       none},
      {"a device without end",
       [](const fs::path& p) {
         std::error_code ec;
         fs::create_symlink("/dev/zero", p, ec);
         return !ec && fs::exists("/dev/zero");
       },
       0x80070032, none},
#endif
  };
}

class HostileSettings : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(HostileSettings, GivesItsResultAndChoices) {
  test::TempDir dir;
  fs::path file = dir / "dtconv_exbca.ini";
  if (!GetParam().make(file)) GTEST_SKIP() << "this system cannot make that file";
  CvtOptions loaded;
  EXPECT_EQ(LoadSettings(file, loaded), GetParam().result);
  CvtOptions expected = Defaults();
  GetParam().expected(expected);
  EXPECT_EQ(Saved(loaded, dir.path(), "loaded.ini"), Saved(expected, dir.path(), "expected.ini"));
}

INSTANTIATE_TEST_SUITE_P(All, HostileSettings, ::testing::ValuesIn(Cases()), [](const auto& info) {
  std::string n = info.param.name;
  for (char& ch : n) {
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return n;
});

#ifndef _WIN32
// Whatever lies under the temporary names beside the settings file (a link to another file, a
// file another program is writing) is left alone: the save goes through a new file of its own.
TEST(HostileSettings, SaveNeverWritesThroughWhatLiesBesideTheFile) {
  test::TempDir dir;
  fs::path file = dir / "dtconv_exbca.ini";
  fs::path victim = dir / "victim.txt";
  WriteText(victim, "keep me");
  fs::create_symlink(victim, dir / "dtconv_exbca.ini.dtconv-tmp");
  WriteText(dir / "dtconv_exbca.ini.1.dtconv-tmp", "someone else's");
  CvtOptions saved = Defaults();
  saved.canCsvAddGnss = true;
  ASSERT_EQ(SaveSettings(file, saved), 0u);
  EXPECT_EQ(test::ReadFileBytes(victim), "keep me");
  EXPECT_EQ(test::ReadFileBytes(dir / "dtconv_exbca.ini.1.dtconv-tmp"), "someone else's");
  EXPECT_FALSE(fs::exists(dir / "dtconv_exbca.ini.2.dtconv-tmp"));
  CvtOptions loaded;
  ASSERT_EQ(LoadSettings(file, loaded), 0u);
  EXPECT_EQ(loaded, saved);
}
#endif

}  // namespace
}  // namespace dtconv
