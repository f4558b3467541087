// The writer: lines built in place and written in blocks give the same bytes as writing every line
// as it ends, for any block size down to one byte and for raw bytes between lines; the cases of
// tests/cases/output/writer.tsv (cancels, failures, blocks) and delimiters.tsv; rounding; and the
// room a large output has set aside.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "output/text.h"
#include "output/text_output.h"
#include "platform/unicode.h"
#include "random_capture.h"
#include "robust_support.h"
#include "test_files.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace dtconv {
namespace {

using Row = std::vector<std::string>;

// A random writer's life: lines (text appended in pieces, or a row built in place) and runs of raw
// bytes (copied or built in place), written with `block`; and the bytes it must give.
std::pair<std::string, std::string> RandomWrite(test::Random& r, size_t block) {
  test::TempDir dir;
  TextOutput out(block);
  out.SetupOutput(kOutLf);
  EXPECT_EQ(out.OpenOutput(dir / "o.txt"), 0u);
  std::string expected;
  for (int i = 0; i < 200; ++i) {
    bool inPlace = r.OneIn(2);
    if (r.OneIn(10)) {
      std::string raw(1 + r.Below(40), static_cast<char>('A' + r.Below(26)));
      expected += raw;
      if (!inPlace) {
        out.WriteBytes(raw.data(), raw.size());
        continue;
      }
      uint8_t* at = out.BeginBytes();
      std::memcpy(at, raw.data(), raw.size());
      out.EndBytes(at + raw.size());
      continue;
    }
    std::string line;
    char* at = inPlace ? out.BeginRow() : nullptr;
    for (uint32_t k = r.Below(5); k > 0; --k) {
      std::string p(r.Below(30), 'x');
      for (char& c : p) c = r.OneIn(4) ? ' ' : static_cast<char>('a' + r.Below(26));
      line += p;
      if (inPlace) at = text::PutText(at, p);
      if (!inPlace) out.AppendText(p);
    }
    inPlace ? out.EndRow(at) : out.FlushLine();
    expected += line.erase(line.find_last_not_of(' ') + 1) + "\n";
  }
  out.CloseOutput();
  EXPECT_EQ(out.result(), 0u);
  return {test::ReadFileBytes(dir / "o.txt"), expected};
}

class BlockSize : public ::testing::TestWithParam<size_t> {};

TEST_P(BlockSize, SameBytesAsLineByLine) {
  test::Random r(GetParam());
  for (int round = 0; round < 20; ++round) {
    auto [written, expected] = RandomWrite(r, GetParam());
    ASSERT_EQ(written, expected) << "round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(All, BlockSize,
                         ::testing::Values(1, 2, 3, 7, 16, 64, 1000, 4096,
                                           TextOutput::kDefaultBlockSize));

class Writer : public ::testing::TestWithParam<Row> {};

TEST_P(Writer, WritesWhatItWasGiven) {
  const Row& c = GetParam();  // name, block, output, ops, result, bytes
#ifdef _WIN32
  if (c[2] != "-") GTEST_SKIP() << "no " << c[2] << " on Windows";
#endif
  test::TempDir dir;
  std::filesystem::path path = c[2] == "-" ? dir / "o.txt" : std::filesystem::path(c[2]);
  TextOutput out(std::stoul(c[1]) == 0 ? TextOutput::kDefaultBlockSize : std::stoul(c[1]));
  out.SetupOutput(kOutLf);
  ASSERT_EQ(out.OpenOutput(path), 0u);
  uint8_t* at = nullptr;
  std::string arg;
  auto text = [](const Result& r) { return (std::ostringstream() << r).str(); };
  std::istringstream ops(c[3]);
  for (std::string op; std::getline(ops, op, ';');) {
    SCOPED_TRACE(op);
    std::string name = op.substr(0, op.find(' '));
    arg = op.size() > name.size() ? test::Unescape(op.substr(name.size() + 1)) : "";
    if (name == "text") out.AppendText(arg);
    if (name == "fill") out.AppendText(std::string(std::stoul(arg), 'x'));
    if (name == "line") out.FlushLine();
    if (name == "raw") out.WriteBytes(arg.data(), arg.size());
    if (name == "begin") at = out.BeginBytes() + arg.size();
    if (name == "begin") std::memcpy(at - arg.size(), arg.data(), arg.size());
    if (name == "end") out.EndBytes(at);
    if (name == "cancel") out.RequestCancel();
    if (name == "close") out.CloseOutput();
    if (name == "reopen") {
      ASSERT_EQ(out.OpenOutput(path), 0u);
    }
    if (name == "size") {
      EXPECT_EQ(std::filesystem::file_size(path), std::stoul(arg));
    }
    if (name == "file") {
      EXPECT_EQ(test::ReadFileBytes(path), arg);
    }
    if (name == "result") {
      EXPECT_EQ(text(out.result()), arg);
    }
  }
  out.CloseOutput();
  EXPECT_EQ(text(out.result()), c[4]);
  EXPECT_TRUE(c[5] == "-" || test::ReadFileBytes(path) == test::Unescape(c[5]));
}

INSTANTIATE_TEST_SUITE_P(Table, Writer, ::testing::ValuesIn(test::ReadTable("output/writer.tsv")),
                         test::kRowName);

class Delimiter : public ::testing::TestWithParam<Row> {};

TEST_P(Delimiter, IsTranscodedIntoTheOutputCode) {
  TextOutput out;
  out.SetupOutput(std::stoul(GetParam()[2]), platform::Utf8ToUtf16(test::Unescape(GetParam()[1])));
  EXPECT_EQ(out.delimiter(), test::Unescape(GetParam()[3]));
}

INSTANTIATE_TEST_SUITE_P(Table, Delimiter,
                         ::testing::ValuesIn(test::ReadTable("output/delimiters.tsv")),
                         test::kRowName);

TEST(FormatPiece, RoundsTiesLikeTheIsoLibraryAndCutsToItsBuffer) {
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
TEST(Writer, LargeOutputLeavesNoRoomReservedPastItsEnd) {
  test::TempDir dir;
  auto allocated = [&] {
    struct stat st {};
    EXPECT_EQ(::stat((dir / "o.txt").c_str(), &st), 0);
    return static_cast<uint64_t>(st.st_blocks) * 512;
  };
  TextOutput out;
  out.SetupOutput(kOutLf);
  ASSERT_EQ(out.OpenOutput(dir / "o.txt"), 0u);
  std::string expected, line(99, 'x');
  bool reservedAhead = false;
  for (int i = 0; i < 60000; ++i) {
    line[i % 99] = static_cast<char>('a' + i % 26);
    out.AppendText(line);
    out.FlushLine();
    expected += line + "\n";
    if (i % 5000 == 4999) reservedAhead = reservedAhead || allocated() >= uint64_t{8} << 20;
  }
  out.CloseOutput();
  ASSERT_EQ(out.result(), 0u);
  EXPECT_EQ(test::ReadFileBytes(dir / "o.txt"), expected);
  EXPECT_LT(allocated(), expected.size() + (uint64_t{256} << 10));
  if (!reservedAhead) GTEST_SKIP() << "this file system sets no room aside ahead of writes";
}
#endif

}  // namespace
}  // namespace dtconv
