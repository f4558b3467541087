// The line writer: trimming, line ends, byte order mark, delimiter and the first failure.
#include "output/text_output.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "input/monitor_data.h"
#include "test_files.h"

namespace dtconv {
namespace {

struct DelimiterCase {
  std::u16string wide;
  uint32_t bits;
  std::string narrow;
};

class Delimiter : public ::testing::TestWithParam<DelimiterCase> {};

TEST_P(Delimiter, IsTranscodedIntoTheOutputCode) {
  TextOutput out;
  out.SetupOutput(GetParam().bits, GetParam().wide);
  EXPECT_EQ(out.delimiter(), GetParam().narrow);
}

INSTANTIATE_TEST_SUITE_P(
    All, Delimiter,
    ::testing::Values(DelimiterCase{u"\t", 0x07, "\t"}, DelimiterCase{u";\t", 0x03, ";\t"},
                      DelimiterCase{u" | ", 0x03, " | "},
                      DelimiterCase{u"\u00B5", 0x07, "\xC2\xB5"},
                      DelimiterCase{u"\u2126", 0x07, "\xE2\x84\xA6"},
                      // The test runs in the C locale (ASCII): what it cannot show becomes "?".
                      DelimiterCase{u"\u2126;", 0x03, "?;"},
                      DelimiterCase{u"0123456789ABCDEFGH", 0x03, "0123456789ABCDE"}));

TEST(TextOutput, LongLineIsCutAtCapacityMinusOne) {
  test::TempDir dir;
  TextOutput out;
  out.SetupOutput(1);
  ASSERT_EQ(out.OpenOutput(dir / "o.txt"), 0u);
  std::string big(TextOutput::kLineCapacity + 10, 'x');
  out.AppendText(big);
  out.AppendText("more");
  EXPECT_EQ(out.length(), TextOutput::kLineCapacity - 1);
  out.FlushLine();
  out.CloseOutput();
  EXPECT_EQ(test::ReadFileBytes(dir / "o.txt").size(),
            static_cast<size_t>(TextOutput::kLineCapacity - 1 + 1));
}

TEST(TextOutput, CancelWritesTheLineThenStops) {
  test::TempDir dir;
  TextOutput out;
  out.SetupOutput(1);
  ASSERT_EQ(out.OpenOutput(dir / "o.txt"), 0u);
  out.AppendText("one");
  out.FlushLine();
  out.RequestCancel();
  out.AppendText("two");
  out.FlushLine();
  out.AppendText("three");
  out.FlushLine();
  out.CloseOutput();
  EXPECT_EQ(out.result(), kResultCancelled);
  EXPECT_EQ(test::ReadFileBytes(dir / "o.txt"), "one\ntwo\n");
  // Opening the next file clears both the flag and the result.
  ASSERT_EQ(out.OpenOutput(dir / "p.txt"), 0u);
  out.AppendText("four");
  out.FlushLine();
  out.CloseOutput();
  EXPECT_EQ(out.result(), 0u);
}

TEST(TextOutput, FormatPieceRoundsTiesLikeTheIsoLibrary) {
  char piece[64];
  FormatPiece(piece, "%.2f|%.0f|%.0f|%.1f|%+07.1lf", 0.125, 2.5, 3.5, 0.25, -0.05);
  EXPECT_STREQ(piece, "0.12|2|4|0.2|-0000.1");
  char small[16];
  EXPECT_EQ(FormatPiece(small, "%s", "0123456789abcdefXYZ"), 19);
  EXPECT_STREQ(small, "0123456789abcde");
}

#ifndef _WIN32
// The room a large output has the file system set aside ahead of its blocks is given back on
// closing: the file keeps exactly its bytes and no more space than they need.
TEST(TextOutput, LargeOutputLeavesNoRoomReservedPastItsEnd) {
  test::TempDir dir;
  auto allocated = [](const std::filesystem::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0);
    return static_cast<uint64_t>(st.st_blocks) * 512;
  };
  TextOutput out;
  out.SetupOutput(1);  // LF
  ASSERT_EQ(out.OpenOutput(dir / "o.txt"), 0u);
  std::string expected;
  std::string line(99, 'x');
  bool reservedAhead = false;
  for (int i = 0; i < 60000; ++i) {
    line[i % 99] = static_cast<char>('a' + i % 26);
    out.AppendText(line);
    out.FlushLine();
    expected += line + "\n";
    if (i % 5000 == 4999) {
      reservedAhead = reservedAhead || allocated(dir / "o.txt") >= uint64_t{8} << 20;
    }
  }
  out.CloseOutput();
  ASSERT_EQ(out.result(), 0u);
  EXPECT_EQ(test::ReadFileBytes(dir / "o.txt"), expected);
  EXPECT_LT(allocated(dir / "o.txt"), expected.size() + (uint64_t{256} << 10));
  if (!reservedAhead) GTEST_SKIP() << "this file system sets no room aside ahead of writes";
}

#endif

}  // namespace
}  // namespace dtconv
