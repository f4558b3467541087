// What a job must never lose: the cases of tests/cases/robust/failing_file.tsv (a file that fails,
// or whose output would land on its input, fails alone and leaves everything else as it was);
// every converter on a full disk and cancelled; and the two races of a job, a cancel from another
// thread while a block is being written and two writers of one output, each forced to happen.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>
#include <utility>

#include "capture_recipe.h"
#include "cli/cli_options.h"
#include "pipeline/conversion_job.h"
#include "robust_support.h"
#include "run_converter.h"
#include "test_files.h"

#ifdef __linux__
#include <sys/mount.h>
#endif
#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dtconv {
namespace {

namespace fs = std::filesystem;
using Row = std::vector<std::string>;
using namespace std::chrono_literals;

struct FileResults : JobObserver {
  std::vector<Result> files;
  void OnFileDone(const fs::path&, const fs::path&, Result r) override { files.push_back(r); }
};

Result Code(const std::string& cell) {
  return Result(cell == "ok" ? 0u : static_cast<uint32_t>(std::stoul(cell, nullptr, 16)));
}

// --- A file that fails alone ------------------------------------------------------------------

// The folder of the current case and what to do to it while its second file is converted.
fs::path g_dir;
std::string g_whileConverted;
int g_converted = 0;

void ConvertWhileChanging(ConversionSession& s) {
  if (++g_converted == 2 && g_whileConverted != "-") {
    EXPECT_TRUE(test::MakeEntries(g_dir, g_whileConverted));
  }
  DefaultConverterTable().entries[kCvtCanText](s);
}

class FailingFile : public ::testing::TestWithParam<Row> {};

TEST_P(FailingFile, FailsAloneAndLeavesWhatWasThere) {
  Row c = GetParam();  // name, input, setup, while, result, reason, changed, windows
#ifdef _WIN32
  if (c[7].rfind("skip", 0) == 0) GTEST_SKIP() << c[7];
  if (c[7] != "=") {
    c[4] = c[7].substr(0, c[7].find(' '));
    c[6] = c[7].substr(c[7].find(' ') + 1);
  }
#endif
  test::SetTimeZone("UTC");
  test::TempDir dir;
  for (const std::string& name : {std::string("a.DT"), c[1], std::string("c.DT")}) {
    test::WriteFile(dir / name, test::BuildRecipe("use base"));
  }
  if (c[2] != "-" && !test::MakeEntries(dir.path(), c[2])) GTEST_SKIP() << "cannot make " << c[2];
  std::vector<std::string> before = test::DescribeFolder(dir.path());
  g_dir = dir.path();
  g_whileConverted = c[3];
  g_converted = 0;
  ConverterTable table = DefaultConverterTable();
  table.entries[kCvtCanText] = ConvertWhileChanging;
  FileResults rec;

  EXPECT_EQ(test::RunJob({dir / "a.DT", dir / c[1], dir / "c.DT"},
                         test::SettingsFor(kCvtCanText, 2), table, rec),
            kResultOk);

  EXPECT_EQ(rec.files, (std::vector<Result>{kResultOk, Code(c[4]), kResultOk}));
  if (c[5] != "-") {
    EXPECT_EQ(ResultReason(Code(c[4])), c[5]);
  }
  std::vector<std::string> after = test::DescribeFolder(dir.path()), changed;
  std::set_symmetric_difference(before.begin(), before.end(), after.begin(), after.end(),
                                std::back_inserter(changed));
  std::string names;
  for (const std::string& entry : changed) {
    std::string name = entry.substr(0, entry.find(": "));
    if (names.find(name) != std::string::npos) continue;
    names += (names.empty() ? "" : " ") + name;
    if (name.ends_with(".txt") && fs::exists(dir / name)) {
      EXPECT_EQ(test::CompareGolden("robust/base.txt", test::ReadFileBytes(dir / name)), "");
    }
  }
  EXPECT_EQ(names, c[6]);
}

INSTANTIATE_TEST_SUITE_P(Table, FailingFile,
                         ::testing::ValuesIn(test::ReadTable("robust/failing_file.tsv")),
                         test::kRowName);

// --- Every converter ----------------------------------------------------------------------------

// Captures with lines for every converter, a small one and one large enough that most converters
// write blocks while they convert.
constexpr const char* kWave = "; set wave 1 0 1 3 0 2; set waveSamples 0,0x7FFF8000,0x40000C00,5";

CvtSettings SettingsOf(const std::string& options) {
  std::vector<std::string> args;
  std::istringstream words(options + " a.DT");
  for (std::string w; words >> w;) {
    if (w.rfind("SAMPLES/", 0) == 0) w = std::string(DTCONV_SAMPLES_DIR) + w.substr(7);
    args.push_back(w);
  }
  cli::CliRequest request = cli::ParseCommandLine(args);
  EXPECT_EQ(request.command, cli::Command::kConvert) << request.message;
  CvtSettings settings = BuildCvtSettings(request.options);
  settings.signals = request.signals;
  return settings;
}

class EveryConverter : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    settings_ = SettingsOf(GetParam()[1]);
    test::WriteFile(dir_ / "small.DT", test::BuildRecipe(std::string("random 3 60 c") + kWave));
    test::WriteFile(dir_ / "large.DT", test::BuildRecipe(std::string("random 5 30000 c") + kWave));
  }
  // Writes an older output of each input into `folder`.
  void WriteOlderOutputs(const fs::path& folder) {
    for (const char* input : {"small.DT", "large.DT"}) {
      fs::path out;
      ASSERT_EQ(DeriveOutputPath(dir_ / input, settings_.type, folder, &out), 0u);
      std::ofstream(out, std::ios::binary) << "an older output\r\n";
    }
  }
  test::TempDir dir_;
  CvtSettings settings_;
};

// A disk with no room left: a small output fails when it is closed, a large one while it is
// written; either way the file's result is the full disk, and the older outputs stay whole.
TEST_P(EveryConverter, FullDiskFailsTheFileAndKeepsTheOlderOutput) {
#ifndef __linux__
  GTEST_SKIP() << "needs a small tmpfs mounted for the test (Linux)";
#else
  fs::path full = dir_ / "full";
  fs::create_directory(full);
  if (::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  }
  struct Unmount {
    fs::path at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{full};
  WriteOlderOutputs(full);
  {
    std::ofstream filler(full / "filler", std::ios::binary);
    std::string block(4096, 'f');
    while (filler.write(block.data(), block.size())) {
    }
  }
  std::vector<std::string> before = test::DescribeFolder(full);
  FileResults rec;

  test::RunJob({dir_ / "small.DT", dir_ / "large.DT"}, settings_, DefaultConverterTable(), rec,
               full);

  EXPECT_EQ(rec.files, (std::vector<Result>{Result::Output(ENOSPC), Result::Output(ENOSPC)}));
  EXPECT_EQ(ResultReason(Result::Output(ENOSPC)),
            std::string("cannot write the output: ") + std::strerror(ENOSPC));
  EXPECT_EQ(test::DescribeFolder(full), before);
#endif
}

// Converter entries that request the cancel before they convert, as a stop pressed while the
// first line is written would.
template <int kType>
void CancelThenConvert(ConversionSession& s) {
  s.output.RequestCancel();
  DefaultConverterTable().entries[kType](s);
}
template <size_t... kTypes>
ConverterTable CancellingTable(std::index_sequence<kTypes...>) {
  return ConverterTable{{CancelThenConvert<static_cast<int>(kTypes)>...}};
}

TEST_P(EveryConverter, CancelledFileLeavesNoPartialOutput) {
  WriteOlderOutputs(dir_.path());
  std::vector<std::string> before = test::DescribeFolder(dir_.path());
  FileResults rec;
  test::RunJob({dir_ / "large.DT"}, settings_,
               CancellingTable(std::make_index_sequence<kCvtTypeCount>()), rec);
  EXPECT_EQ(rec.files, std::vector<Result>{kResultCancelled});
  EXPECT_EQ(test::DescribeFolder(dir_.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Table, EveryConverter,
                         ::testing::ValuesIn(test::ReadTable("robust/converters.tsv")),
                         test::kRowName);

// --- Races
// ----------------------------------------------------------------------------------------

// A cancel from another thread while a block is being written: the writer is held inside its
// first block write by a named pipe the test reads no further, the cancel is sent, and the pipe
// is then drained. The output stops at a line end, short of the whole report.
TEST(Races, CancelFromAnotherThreadWhileWriting) {
#ifdef _WIN32
  GTEST_SKIP() << "holds the writer in a write to a named pipe, which Windows files lack";
#else
  test::SetTimeZone("UTC");
  test::TempDir dir;
  test::Bytes capture = test::BuildRecipe("random 5 60000 c");
  CvtSettings settings = test::SettingsFor(kCvtCanText, 2);
  std::string whole = test::RunConversion(capture, settings).bytes;
  ASSERT_GT(whole.size(), 2 * TextOutput::kDefaultBlockSize);
  test::WriteFile(dir / "c.DT", capture);
  fs::path pipe = dir / "out";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
  int keep = ::open(pipe.c_str(), O_RDWR);  // lets the writer open at once; no end of file
  ASSERT_GE(keep, 0);

  ConversionSession session;
  ASSERT_EQ(LoadMonitorData(dir / "c.DT", session.data), 0u);
  session.output.SetupOutput(settings.outputBits, settings.delimiter);
  session.context.type = settings.type;
  session.context.timeStampStyle = settings.timeStampStyle;
  session.context.output = &session.output;
  session.context.bannerTime = test::kBannerTime;
  std::thread writer([&] {
    if (session.output.OpenOutput(pipe).ok()) DefaultConverterTable().entries[kCvtCanText](session);
    session.output.CloseOutput();
  });
  std::string got;
  auto readSome = [&](int fd) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 60000) != 1) return false;
    char chunk[65536];
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n > 0) got.append(chunk, static_cast<size_t>(n));
    return n > 0;
  };
  // The first bytes of a block larger than the pipe: the writer is now inside that write.
  EXPECT_TRUE(readSome(keep));
  session.output.RequestCancel();
  int drain = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ::close(keep);
  while (readSome(drain)) {
  }
  ::close(drain);
  writer.join();

  EXPECT_EQ(session.output.result(), kResultCancelled);
  EXPECT_LT(got.size(), whole.size());
  EXPECT_TRUE(got.ends_with("\r\n"));
  EXPECT_EQ(got, whole.substr(0, got.size()));
#endif
}

// Two jobs writing one output path from different captures, held so that both temporary files
// are open before either writes, and the second writes only once the first has moved its output
// into place: each writes its own file, and the output is the whole report of the second.
std::mutex g_mutex;
std::condition_variable g_changed;
int g_arrived = 0;
bool g_firstDone = false;
uint64_t g_secondSize = 0;

void ConvertInTurn(ConversionSession& s) {
  std::unique_lock lock(g_mutex);
  int me = g_arrived++;
  g_changed.notify_all();
  bool ok = g_changed.wait_for(lock, 30s, [] { return g_arrived == 2; });
  if (ok && me == 1) {
    ok = g_changed.wait_for(lock, 30s, [] { return g_firstDone; });
    g_secondSize = s.data.image.size();
  }
  lock.unlock();
  if (!ok) return s.output.Fail(kResultWorkerFailed);
  DefaultConverterTable().entries[kCvtCanText](s);
}

struct FirstDone : JobObserver {
  void OnFileDone(const fs::path&, const fs::path&, Result) override {
    std::lock_guard lock(g_mutex);
    g_firstDone = true;
    g_changed.notify_all();
  }
};

TEST(Races, TwoWritersOfOneOutputNeverMix) {
  test::TempDir dir;
  std::string reports[2];
  fs::path inputs[2] = {dir / "a" / "cap.DT", dir / "b" / "cap.DT"};
  for (int i = 0; i < 2; ++i) {
    fs::create_directories(inputs[i].parent_path());
    test::WriteFile(inputs[i], test::BuildRecipe("random " + std::to_string(i + 1) + " 3000 c"));
    FileResults alone;
    ASSERT_EQ(test::RunJob({inputs[i]}, test::SettingsFor(kCvtCanText, 2), DefaultConverterTable(),
                           alone),
              0u);
    reports[i] = test::ReadFileBytes(inputs[i].parent_path() / "cap.txt");
  }
  ASSERT_NE(reports[0], reports[1]);
  fs::create_directory(dir / "out");
  ConverterTable table = DefaultConverterTable();
  table.entries[kCvtCanText] = ConvertInTurn;
  Result results[2];
  FirstDone observers[2];
  std::thread jobs[2];
  for (int i = 0; i < 2; ++i) {
    jobs[i] = std::thread([&, i] {
      results[i] = test::RunJob({inputs[i]}, test::SettingsFor(kCvtCanText, 2), table, observers[i],
                                dir / "out");
    });
  }
  for (std::thread& job : jobs) job.join();

  EXPECT_EQ(results[0], 0u);
  EXPECT_EQ(results[1], 0u);
  EXPECT_EQ(test::ReadFileBytes(dir / "out" / "cap.txt"),
            reports[g_secondSize == fs::file_size(inputs[0]) ? 0 : 1]);
  EXPECT_EQ(test::DescribeFolder(dir / "out").size(), 1u);
}

}  // namespace
}  // namespace dtconv
