// Inputs the loader refuses before reading a capture: sizes it never allocates for (just over
// 1 GiB, and 4 GiB and more; sparse files, so they take no room).
#include <gtest/gtest.h>

#include "capture_recipe.h"
#include "input/monitor_data.h"
#include "test_files.h"

#ifdef __linux__
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace dtconv {
namespace {

namespace fs = std::filesystem;

class OversizedCapture : public ::testing::TestWithParam<uint64_t> {};

TEST_P(OversizedCapture, IsRejectedWithoutBeingRead) {
  test::TempDir dir;
  fs::path input = dir / "huge.DT";
  test::WriteFile(input, test::BuildRecipe("use base"));
  std::error_code ec;
  fs::resize_file(input, GetParam(), ec);
  if (ec) GTEST_SKIP() << "no sparse file of " << GetParam() << " bytes here: " << ec.message();
#ifdef __linux__
  // Any read of the file would queue an access event.
  int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, input.c_str(), IN_ACCESS), 0);
#endif
  MonitorData data;
  EXPECT_EQ(LoadMonitorData(input, data), kResultInvalidData);
#ifdef __linux__
  alignas(inotify_event) char events[4096];
  EXPECT_LT(read(watch, events, sizeof events), 0) << "the oversized capture was read";
  close(watch);
#endif
}

INSTANTIATE_TEST_SUITE_P(Sizes, OversizedCapture,
                         ::testing::Values(0x40000001ull, 0x100000000ull, 0x100000010ull));

}  // namespace
}  // namespace dtconv
