// The progress line of dtconv on a terminal.
#include "cli/progress.h"

#include <gtest/gtest.h>

namespace dtconv::cli {
namespace {

struct LineCase {
  ProgressState state;
  const char* line;
};

TEST(ProgressLine, ShowsShareBytesRateTimeLeftAndFiles) {
  const LineCase cases[] = {
      {{0, 1'100'000'000, 0.0, 0, 10}, "  0% [................] 0 B/1.1 GB 0/10 files"},
      {{0, 1'100'000'000, 2.0, 0, 10}, "  0% [................] 0 B/1.1 GB 0/10 files"},
      {{512'000'000, 1'100'000'000, 0.1, 3, 10},
       " 46% [#######.........] 512.0 MB/1.1 GB 3/10 files"},
      {{550'000'000, 1'100'000'000, 2.0, 5, 10},
       " 50% [########........] 550.0 MB/1.1 GB 275.0 MB/s 0:02 left 5/10 files"},
      {{1'100'000'000, 1'100'000'000, 4.0, 10, 10},
       "100% [################] 1.1 GB/1.1 GB 275.0 MB/s 0:00 left 10/10 files"},
      {{999, 2'000, 3600.0, 0, 1},
       " 49% [#######.........] 999 B/2.0 kB 0 B/s 1:00:07 left 0/1 files"},
      // Files without bytes (all empty or unreadable) count by files.
      {{0, 0, 0.0, 1, 4}, " 25% [####............] 0 B/0 B 1/4 files"},
      // More done than the total (a file grew) never goes past the end.
      {{3'000, 2'000, 1.0, 1, 1},
       "100% [################] 3.0 kB/2.0 kB 3.0 kB/s 0:00 left 1/1 files"},
  };
  for (const LineCase& c : cases) {
    EXPECT_EQ(FormatProgressLine(c.state), c.line);
  }
}

TEST(ProgressLine, NeverWiderThanATerminalLine) {
  ProgressState s{999'999'999'999'999, 999'999'999'999'999'999, 0.5, 123456, 999999};
  EXPECT_LE(FormatProgressLine(s).size(), 79u);
}

TEST(ProgressLine, DurationsAndSizes) {
  EXPECT_EQ(FormatDuration(0), "0:00");
  EXPECT_EQ(FormatDuration(7.4), "0:07");
  EXPECT_EQ(FormatDuration(750), "12:30");
  EXPECT_EQ(FormatDuration(3723), "1:02:03");
  EXPECT_EQ(FormatDuration(-5), "0:00");
  EXPECT_EQ(FormatBytes(812), "812 B");
  EXPECT_EQ(FormatBytes(1500), "1.5 kB");
  EXPECT_EQ(FormatBytes(512e6), "512.0 MB");
  EXPECT_EQ(FormatBytes(1.1e9), "1.1 GB");
  EXPECT_EQ(FormatBytes(2.5e12), "2.5 TB");
  EXPECT_EQ(FormatBytes(2.5e15), "2500.0 TB");
}

}  // namespace
}  // namespace dtconv::cli
