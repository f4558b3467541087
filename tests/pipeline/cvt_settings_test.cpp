// From the user's choices to the job record.
#include "pipeline/cvt_settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>

namespace dtconv {
namespace {

struct BuildCase {
  const char* name;
  std::function<void(CvtOptions&)> choose;
  int32_t type, signalLine, style;
  uint32_t optionBits, outputBits;
  std::u16string delimiter;
};

CvtOptions AllOn() {
  CvtOptions o;
  o.canTxtSignalLine = 1;
  o.canCsvSignalLine = 2;
  o.canTxtRelTimeStamp = o.canCsvRelTimeStamp = o.anaTxtRelTimeStamp = o.anaCsvRelTimeStamp = true;
  o.canCsvDiffTimeStamp = o.canCsvAddAnalog = o.canCsvAddGnss = o.anaCsvAddGnss = true;
  return o;
}

std::vector<BuildCase> Cases() {
  auto t = [](int target, int format) {
    return [=](CvtOptions& o) {
      o.targetData = target;
      o.outputType = format;
    };
  };
  auto with = [](std::function<void(CvtOptions&)> a, std::function<void(CvtOptions&)> b) {
    return [=](CvtOptions& o) {
      a(o);
      b(o);
    };
  };
  return {
      {"can text defaults", t(0, 0), 0, 0, 2, 0, 3, u","},
      {"can text us", with(t(0, 0), [](CvtOptions& o) { o.canTxtTimeStamp = 0; }), 0, 0, 1, 0, 3,
       u","},
      {"can text s relative",
       with(t(0, 0),
            [](CvtOptions& o) {
              o.canTxtTimeStamp = 2;
              o.canTxtRelTimeStamp = true;
            }),
       0, 0, 6, 0, 3, u","},
      {"can text delta ignores relative",
       with(t(0, 0),
            [](CvtOptions& o) {
              o.canTxtTimeStamp = 3;
              o.canTxtRelTimeStamp = true;
            }),
       0, 0, 0, 0, 3, u","},
      {"can text kml format falls to text", t(0, 2), 0, 0, 2, 0, 3, u","},
      {"signals csv takes the can csv choices",
       with(t(4, 1),
            [](CvtOptions& o) {
              o = AllOn();
              o.targetData = 4;
              o.outputType = 1;
            }),
       12, 2, 8, 15, 3, u","},
      {"signals long", t(4, 7), 13, 0, 8, 0, 3, u","},
      {"can csv all options",
       with(t(0, 1),
            [](CvtOptions& o) {
              o = AllOn();
              o.outputType = 1;
            }),
       3, 2, 8, 15, 3, u","},
      {"can csv us", with(t(0, 1), [](CvtOptions& o) { o.canCsvTimeStamp = 0; }), 3, 0, 7, 0, 3,
       u","},
      {"can csv s", with(t(0, 1), [](CvtOptions& o) { o.canCsvTimeStamp = 2; }), 3, 0, 9, 0, 3,
       u","},
      {"can pcap takes the text signal line",
       with(t(0, 3),
            [](CvtOptions& o) {
              o = AllOn();
              o.outputType = 3;
            }),
       8, 1, 0, 0, 3, u","},
      {"analog text relative ms",
       with(t(1, 0),
            [](CvtOptions& o) {
              o = AllOn();
              o.targetData = 1;
            }),
       1, 0, 5, 0, 3, u","},
      {"analog csv options",
       with(t(1, 1),
            [](CvtOptions& o) {
              o = AllOn();
              o.targetData = 1;
              o.outputType = 1;
            }),
       4, 0, 8, 9, 3, u","},
      {"analog pcap falls to text", t(1, 3), 1, 0, 2, 0, 3, u","},
      {"gnss text",
       with(t(2, 0),
            [](CvtOptions& o) {
              o = AllOn();
              o.targetData = 2;
            }),
       2, 0, 3, 0, 3, u","},
      {"gnss csv", t(2, 1), 5, 0, 10, 0, 3, u","},
      {"gnss kml", t(2, 2), 7, 0, 0, 0, 3, u","},
      {"wave", t(3, 0), 6, 0, 0, 0, 3, u","},
      {"additional utf8 lf tab",
       with(t(0, 1),
            [](CvtOptions& o) {
              o.additional = true;
              o.outCode = 1;
              o.lineFeed = 1;
              o.csvDelimit = u"\\t";
            }),
       3, 0, 8, 0, 0x55, u"\t"},
      {"additional bom cr semicolon tab",
       with(t(1, 1),
            [](CvtOptions& o) {
              o.additional = true;
              o.outCode = 2;
              o.lineFeed = 2;
              o.csvDelimit = u";\\t";
            }),
       4, 0, 8, 0, 0x5E, u";\t"},
      {"additional ansi crlf escapes",
       with(t(2, 1),
            [](CvtOptions& o) {
              o.additional = true;
              o.csvDelimit = u"\\\\a\\x\\";
            }),
       5, 0, 10, 0, 3, u"\\a"},
      {"additional off keeps comma",
       with(t(0, 1),
            [](CvtOptions& o) {
              o.outCode = 2;
              o.lineFeed = 1;
              o.csvDelimit = u"\\t";
            }),
       3, 0, 8, 0, 3, u","},
      {"pcap ignores additional",
       with(t(0, 3),
            [](CvtOptions& o) {
              o.additional = true;
              o.outCode = 2;
              o.lineFeed = 1;
              o.csvDelimit = u";";
            }),
       8, 0, 0, 0, 3, u","},
      {"can pcapng takes the text signal line and no output options",
       with(t(0, 4),
            [](CvtOptions& o) {
              o = AllOn();
              o.outputType = 4;
              o.additional = true;
              o.outCode = 2;
              o.lineFeed = 1;
            }),
       9, 1, 0, 0, 3, u","},
      {"can asc crlf by default", t(0, 5), 10, 0, 0, 0, 3, u","},
      {"can asc takes the line end but never utf8 or a bom",
       with(t(0, 5),
            [](CvtOptions& o) {
              o = AllOn();
              o.outputType = 5;
              o.additional = true;
              o.outCode = 2;
              o.lineFeed = 1;
              o.csvDelimit = u";";
            }),
       10, 1, 0, 0, 1, u","},
      {"can asc cr",
       with(t(0, 5),
            [](CvtOptions& o) {
              o.additional = true;
              o.lineFeed = 2;
            }),
       10, 0, 0, 0, 2, u","},
      {"can candump always lf",
       with(t(0, 6),
            [](CvtOptions& o) {
              o.canTxtSignalLine = 2;
              o.additional = true;
              o.outCode = 1;
              o.lineFeed = 0;
            }),
       11, 2, 0, 0, 1, u","},
      {"analog candump falls to text", t(1, 6), 1, 0, 2, 0, 3, u","},
      {"kml takes encoding but not the delimiter",
       with(t(2, 2),
            [](CvtOptions& o) {
              o.additional = true;
              o.outCode = 2;
              o.lineFeed = 1;
              o.csvDelimit = u";";
            }),
       7, 0, 0, 0, 0x5D, u","},
  };
}

class Build : public ::testing::TestWithParam<BuildCase> {};

TEST_P(Build, FillsTheJobRecord) {
  CvtOptions o;
  GetParam().choose(o);
  CvtSettings s = BuildCvtSettings(o);
  EXPECT_EQ(s.type, GetParam().type);
  EXPECT_EQ(s.signalLine, GetParam().signalLine);
  EXPECT_EQ(s.timeStampStyle, GetParam().style);
  EXPECT_EQ(s.optionBits, GetParam().optionBits);
  EXPECT_EQ(s.outputBits, GetParam().outputBits);
  EXPECT_EQ(s.delimiter, GetParam().delimiter);
  EXPECT_TRUE(s.outputPath.empty());
}

INSTANTIATE_TEST_SUITE_P(All, Build, ::testing::ValuesIn(Cases()), [](const auto& info) {
  std::string n = info.param.name;
  for (char& c : n)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return n;
});

TEST(CvtType, Extensions) {
  const char* expected[] = {
      ".txt", ".txt",  ".txt",    ".csv", ".csv", ".csv",         ".csv",
      ".kml", ".pcap", ".pcapng", ".asc", ".log", ".signals.csv", ".signals-long.csv"};
  static_assert(std::size(expected) == kCvtTypeCount);
  for (int t = 0; t < kCvtTypeCount; ++t) EXPECT_STREQ(CvtTypeExtension(t), expected[t]) << t;
  EXPECT_STREQ(CvtTypeExtension(kCvtTypeCount), ".txt");
  EXPECT_STREQ(CvtTypeExtension(-1), ".txt");
}

}  // namespace
}  // namespace dtconv
