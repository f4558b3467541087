// The desktop program's command line: every rule of the option and argument syntax, through the
// one parsing entry.
#include "ui/startup_args.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/unicode.h"

namespace dtconv::ui {
namespace {

std::string Show(const StartupValues& v) {
  auto u8 = [](const std::u16string& s) { return platform::Utf16ToUtf8(s); };
  std::string out = "settings=";
  out += v.settingsPath ? "[" + u8(*v.settingsPath) + "]" : "(default)";
  out += " folder=[" + u8(v.startFolder) + "] title=[" + u8(v.titleSuffix) + "]";
  out += " language=" + std::to_string(v.uiLanguage) + (v.languageChosen ? " chosen" : " none");
  out += v.noLimit ? " nolimit" : "";
  return out;
}

struct Case {
  const char* name;
  std::u16string line;
  StartupValues expected;
};

StartupValues Folder(std::u16string f) {
  StartupValues v;
  v.startFolder = std::move(f);
  return v;
}
StartupValues Settings(std::u16string s) {
  StartupValues v;
  v.settingsPath = std::move(s);
  return v;
}
StartupValues Title(std::u16string t) {
  StartupValues v;
  v.titleSuffix = std::move(t);
  return v;
}
StartupValues Language(uint16_t id) {
  StartupValues v;
  v.uiLanguage = id;
  v.languageChosen = true;
  return v;
}
StartupValues NoLimit() {
  StartupValues v;
  v.noLimit = true;
  return v;
}

const std::u16string k259(259, u'a');
const std::u16string k260(260, u'a');
const std::u16string k63(63, u't');
const std::u16string k64(64, u't');

TEST(StartupArgs, EveryRuleOfTheCommandLine) {
  const Case cases[] = {
      {"empty command line", u"", {}},
      {"program path alone", u"dtconv_exbca.exe", {}},
      {"quoted program path with a blank is not the folder",
       u"\"C:\\Program Files\\dtconv_exbca.exe\"",
       {}},
      {"quoted program path, then a folder", u"\"C:\\Program Files\\x.exe\" D:\\logs",
       Folder(u"D:\\logs")},
      {"unquoted program path, then a folder", u"C:\\x.exe D:\\logs", Folder(u"D:\\logs")},
      {"program path without its closing quote swallows the line",
       u"\"C:\\a b\\x.exe -x D:\\logs",
       {}},
      {"argument right after the program path's closing quote", u"\"C:\\x.exe\"D:\\logs",
       Folder(u"D:\\logs")},
      {"tabs are blanks", u"x.exe\t-x\tD:\\logs",
       [] {
         auto v = Folder(u"D:\\logs");
         v.noLimit = true;
         return v;
       }()},
      {"quoted folder with a blank loses its quotes", u"x.exe \"D:\\my logs\"",
       Folder(u"D:\\my logs")},
      {"of two folders the later wins", u"x.exe D:\\one D:\\two", Folder(u"D:\\two")},
      {"folder of 259 characters is taken", u"x.exe " + k259, Folder(k259)},
      {"folder of 260 characters is ignored and keeps the earlier one", u"x.exe D:\\one " + k260,
       Folder(u"D:\\one")},
      {"folder in quotes counts its quotes", u"x.exe \"" + std::u16string(258, u'a') + u"\"",
       Folder(u"")},
      {"folder without its closing quote keeps the quote", u"x.exe \"D:\\a b",
       Folder(u"\"D:\\a b")},
      {"text after a quoted folder is the next argument", u"x.exe \"D:\\a b\"c", Folder(u"c")},
      {"folder in Japanese", u"x.exe D:\\データ", Folder(u"D:\\データ")},
      {"-l1041", u"x.exe -l1041", Language(1041)},
      {"-l without digits chooses language 0", u"x.exe -l", Language(0)},
      {"-l keeps the low 16 bits", u"x.exe -l70000", Language(4464)},
      {"-l with a number beyond 32 bits keeps its low 16 bits", u"x.exe -l99999999999",
       Language(59391)},
      {"-l stops at the first non-digit and skips the rest of its token", u"x.exe -l1041abc",
       Language(1041)},
      {"-l with a blank before the digits", u"x.exe -l 1041",
       [] {
         auto v = Language(0);
         v.startFolder = u"1041";
         return v;
       }()},
      {"later -l wins", u"x.exe -l1041 -l1033", Language(1033)},
      {"-s path", u"x.exe -sD:\\my.ini", Settings(u"D:\\my.ini")},
      {"-s quoted path with a blank", u"x.exe -s\"D:\\my dir\\my.ini\"",
       Settings(u"D:\\my dir\\my.ini")},
      {"-s quoted value ends at its closing quote, the rest of the token is skipped",
       u"x.exe -s\"D:\\a b.ini\"tail", Settings(u"D:\\a b.ini")},
      {"-s of 259 characters", u"x.exe -s" + k259, Settings(k259)},
      {"-s of 260 characters is ignored", u"x.exe -s" + k260, {}},
      {"-s without a value is ignored", u"x.exe -s", {}},
      {"-s of two quotes is ignored", u"x.exe -s\"\"", {}},
      {"later -s wins", u"x.exe -sa.ini -sb.ini", Settings(u"b.ini")},
      {"-t text", u"x.exe -tBench 1",
       [] {
         auto v = Title(u"Bench");
         v.startFolder = u"1";
         return v;
       }()},
      {"-t quoted with a blank is taken whole without quotes", u"x.exe -t\"Bench 1\"",
       Title(u"Bench 1")},
      {"a second -t is ignored", u"x.exe -tfirst -tsecond", Title(u"first")},
      {"-t of 63 characters", u"x.exe -t" + k63, Title(k63)},
      {"-t of 64 characters is ignored", u"x.exe -t" + k64, {}},
      {"-t quoted of 64 characters with its quotes is ignored",
       u"x.exe -t\"" + std::u16string(62, u't') + u"\"",
       {}},
      {"-t quoted of 63 characters with its quotes",
       u"x.exe -t\"" + std::u16string(61, u't') + u"\"", Title(std::u16string(61, u't'))},
      {"-t quoted without its closing quote is ignored", u"x.exe -t\"Bench 1", {}},
      {"-t of a lone quote is ignored", u"x.exe -t\"", {}},
      {"-t of two quotes leaves the suffix empty for a later -t", u"x.exe -t\"\" -tlater",
       Title(u"later")},
      {"an ignored -t leaves room for a later one", u"x.exe -t" + k64 + u" -tshort",
       Title(u"short")},
      {"-t in Japanese", u"x.exe -t試験", Title(u"試験")},
      {"-x", u"x.exe -x", NoLimit()},
      {"-x skips the rest of its token", u"x.exe -xD:\\logs", NoLimit()},
      {"-x followed by a quoted part skips it, and the text after is an argument",
       u"x.exe -x\"a b\"c",
       [] {
         auto v = NoLimit();
         v.startFolder = u"c";
         return v;
       }()},
      {"unknown option and its token do nothing", u"x.exe -qD:\\logs", {}},
      {"option letters are case-sensitive", u"x.exe -X -L1041", {}},
      {"a lone dash names no option", u"x.exe - D:\\logs", Folder(u"D:\\logs")},
      {"a dash at the end", u"x.exe -", {}},
      {"everything together",
       u"\"C:\\p q\\x.exe\" -l1041 -s\"C:\\s t\\u.ini\" -t\"Run 2\" -x D:\\in",
       [] {
         StartupValues v;
         v.uiLanguage = 1041;
         v.languageChosen = true;
         v.settingsPath = u"C:\\s t\\u.ini";
         v.titleSuffix = u"Run 2";
         v.noLimit = true;
         v.startFolder = u"D:\\in";
         return v;
       }()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Show(ParseStartupCommandLine(c.line)), Show(c.expected)) << c.name;
  }
}

TEST(StartupArgs, UnquoteValue) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"", u""},   {u"abc", u"abc"},     {u"\"abc\"", u"abc"}, {u"\"\"", u""},
      {u"\"", u""}, {u"\"abc", u"\"abc"}, {u"abc\"", u"abc\""}, {u"\"a\"b\"", u"a\"b"},
  };
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(UnquoteValue(in), out) << platform::Utf16ToUtf8(in);
  }
}

}  // namespace
}  // namespace dtconv::ui
