// The writer's output buffer: lines built in place and written in blocks give the same bytes as
// writing every line as it ends, for any block size down to one byte, for lines that end exactly
// on a block boundary, for raw bytes between lines (copied or built in place), and for text
// formatted in place near the line's capacity.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "output/text.h"
#include "output/text_output.h"
#include "random_capture.h"
#include "test_files.h"

namespace dtconv {
namespace {

using test::Random;

// One step of a writer's life: a line (text appended in pieces, some formatted in place) or a run
// of raw bytes.
struct Step {
  std::vector<std::string> pieces;
  bool inPlace = false;
  std::string raw;  // raw bytes instead of a line (built in place when inPlace)
};

std::string Plain(const std::vector<Step>& steps, const std::string& eol) {
  std::string out, line;
  for (const Step& s : steps) {
    if (!s.raw.empty()) {
      out += s.raw;
      continue;
    }
    for (const std::string& p : s.pieces) line += p;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + eol;
    line.clear();
  }
  return out;
}

std::string Written(size_t blockSize, const std::vector<Step>& steps) {
  test::TempDir dir;
  TextOutput out(blockSize);
  out.SetupOutput(kOutLf);
  EXPECT_EQ(out.OpenOutput(dir / "o.txt"), 0u);
  for (const Step& s : steps) {
    if (!s.raw.empty()) {
      if (s.inPlace) {
        uint8_t* at = out.BeginBytes();
        std::memcpy(at, s.raw.data(), s.raw.size());
        out.EndBytes(at + s.raw.size());
      } else {
        out.WriteBytes(s.raw.data(), s.raw.size());
      }
      continue;
    }
    if (s.inPlace) {
      // A row built in place.
      char* at = out.BeginRow();
      for (const std::string& p : s.pieces) at = text::PutText(at, p);
      out.EndRow(at);
      continue;
    }
    for (const std::string& p : s.pieces) out.AppendText(p);
    out.FlushLine();
  }
  out.CloseOutput();
  EXPECT_EQ(out.result(), 0u);
  return test::ReadFileBytes(dir / "o.txt");
}

std::vector<Step> RandomSteps(Random& r, int n) {
  std::vector<Step> steps;
  for (int i = 0; i < n; ++i) {
    Step s;
    if (r.OneIn(10)) {
      s.raw.assign(1 + r.Below(40), static_cast<char>('A' + r.Below(26)));
      s.inPlace = r.OneIn(2);
    } else {
      s.inPlace = r.OneIn(2);
      for (uint32_t k = r.Below(5); k > 0; --k) {
        std::string p(r.Below(30), 'x');
        for (char& c : p) c = r.OneIn(4) ? ' ' : static_cast<char>('a' + r.Below(26));
        s.pieces.push_back(p);
      }
    }
    steps.push_back(s);
  }
  return steps;
}

class BlockSize : public ::testing::TestWithParam<size_t> {};

TEST_P(BlockSize, SameBytesAsLineByLine) {
  Random r(GetParam());
  for (int round = 0; round < 20; ++round) {
    std::vector<Step> steps = RandomSteps(r, 200);
    EXPECT_EQ(Written(GetParam(), steps), Plain(steps, "\n")) << "block " << GetParam();
  }
}

INSTANTIATE_TEST_SUITE_P(All, BlockSize,
                         ::testing::Values(1, 2, 3, 7, 16, 64, 1000, 4096,
                                           TextOutput::kDefaultBlockSize));

TEST(OutputBuffer, LinesEndingExactlyOnTheBlockBoundary) {
  // Lines of 15 characters and LF fill a 16-byte block exactly, again and again; then lines one
  // shorter and one longer than the block.
  std::vector<Step> steps;
  for (int i = 0; i < 50; ++i)
    steps.push_back({{std::string(15, static_cast<char>('a' + i % 26))}});
  steps.push_back({{std::string(14, 'y')}});
  steps.push_back({{std::string(16, 'z')}});
  steps.push_back({{std::string(33, 'w')}});
  EXPECT_EQ(Written(16, steps), Plain(steps, "\n"));
}

TEST(OutputBuffer, RawBytesGoBeforeAnUnfinishedLine) {
  test::TempDir dir;
  for (size_t block : {size_t{2}, size_t{8}, TextOutput::kDefaultBlockSize}) {
    TextOutput out(block);
    out.SetupOutput(kOutLf);
    ASSERT_EQ(out.OpenOutput(dir / "o.txt"), 0u);
    out.AppendText("one");
    out.FlushLine();
    out.AppendText("two");
    out.WriteBytes("RAW", 3);
    out.WriteBytes("0123456789", 10);
    out.AppendText(" three");
    out.FlushLine();
    out.CloseOutput();
    EXPECT_EQ(test::ReadFileBytes(dir / "o.txt"), "one\nRAW0123456789two three\n") << block;
  }
}

TEST(OutputBuffer, NothingIsWrittenWhileBelowOneBlock) {
  // The lines wait in the buffer: a file removed under the writer only shows its loss at close.
  test::TempDir dir;
  TextOutput out(64);
  out.SetupOutput(kOutLf);
  ASSERT_EQ(out.OpenOutput(dir / "o.txt"), 0u);
  out.AppendText("short line");
  out.FlushLine();
  EXPECT_EQ(test::ReadFileBytes(dir / "o.txt"), "");
  out.AppendText(std::string(60, 'b'));
  out.FlushLine();
  EXPECT_EQ(test::ReadFileBytes(dir / "o.txt").size(), 11u + 61u);
  out.CloseOutput();
}

TEST(OutputBuffer, BytesBuiltInPlaceAfterACancelAreDropped) {
  // The EndBytes that first sees the cancel still hands its bytes over, as a line is; nothing
  // after it is written.
  test::TempDir dir;
  for (size_t block : {size_t{4}, TextOutput::kDefaultBlockSize}) {
    TextOutput out(block);
    out.SetupOutput(kOutLf);
    ASSERT_EQ(out.OpenOutput(dir / "o.txt"), 0u);
    uint8_t* at = out.BeginBytes();
    std::memcpy(at, "abc", 3);
    out.EndBytes(at + 3);
    at = out.BeginBytes();
    std::memcpy(at, "def", 3);
    out.RequestCancel();
    out.EndBytes(at + 3);
    EXPECT_EQ(out.result(), kResultCancelled);
    at = out.BeginBytes();
    std::memcpy(at, "ghi", 3);
    out.EndBytes(at + 3);
    out.CloseOutput();
    EXPECT_EQ(out.result(), kResultCancelled);
    EXPECT_EQ(test::ReadFileBytes(dir / "o.txt"), "abcdef") << block;
  }
}

#ifndef _WIN32
TEST(OutputBuffer, FullDiskWithTinyBlocksKeepsTheFirstFailure) {
  TextOutput out(3);
  out.SetupOutput(kOutLf);
  ASSERT_EQ(out.OpenOutput("/dev/full"), 0u);
  out.AppendText("abcdef");
  out.FlushLine();
  EXPECT_EQ(out.result(), Result::Output(ENOSPC));
  out.AppendText("more");
  out.FlushLine();
  out.WriteBytes("raw", 3);
  uint8_t* at = out.BeginBytes();
  std::memcpy(at, "xyz", 3);
  out.EndBytes(at + 3);
  out.CloseOutput();
  EXPECT_EQ(out.result(), Result::Output(ENOSPC));
}
#endif

}  // namespace
}  // namespace dtconv
