// Failing outputs and inputs that change under the job: each file gives its result code and
// message, the later files of the job still convert, and nothing already on the disk is damaged.
// Also what must never be lost: an input is never written over (other case, links), a cancelled
// file leaves no partial output, and two writers never share one file.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "capture_builder.h"
#include "pipeline/conversion_job.h"
#include "robust_support.h"
#include "run_converter.h"
#include "test_files.h"

#ifdef __linux__
#include <sys/mount.h>
#endif
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dtconv {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::JobRecord;

constexpr const char* kCannotConvert = "Cannot convert.";
constexpr const char* kCorrupt = "The specified data file is unsupported or corrupt.";

std::string Old() { return "an older output\r\n"; }

void WriteText(const fs::path& p, const std::string& text) {
  test::WriteFile(p, Bytes(text.begin(), text.end()));
}

// A tmpfs mounted for one test, where the machine allows it (Linux, with the right to mount);
// unmounted again at the end. Declare it after the TempDir that holds its mount point.
class Tmpfs {
 public:
  Tmpfs(const fs::path& at, const std::string& options) : at_(at), options_(options) {
    fs::create_directories(at_);
#ifdef __linux__
    mounted_ = ::mount("tmpfs", at_.c_str(), "tmpfs", 0, options_.c_str()) == 0;
#endif
  }
  ~Tmpfs() {
#ifdef __linux__
    if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
#endif
  }
  bool mounted() const { return mounted_; }
  bool MakeReadOnly() {
#ifdef __linux__
    return mounted_ &&
           ::mount(nullptr, at_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, options_.c_str()) == 0;
#else
    return false;
#endif
  }

 private:
  fs::path at_;
  std::string options_;
  bool mounted_ = false;
};

bool RunningAsRoot() {
#ifdef _WIN32
  return false;
#else
  return ::geteuid() == 0;
#endif
}

class FailingOutput : public ::testing::Test {
 protected:
  void SetUp() override { test::SetTimeZone("UTC"); }
  fs::path Capture(const fs::path& path) {
    fs::create_directories(path.parent_path());
    test::BaseCapture().WriteTo(path);
    return path;
  }
  // The report of the base capture, which every good file of these jobs gives.
  void ExpectBaseReport(const fs::path& p) {
    ASSERT_TRUE(fs::exists(p)) << p;
    EXPECT_EQ(test::CompareGolden("robust/base.txt", test::ReadFileBytes(p)), "");
  }
  test::TempDir dir_;
  JobRecord rec_;
};

// --- A full disk ----------------------------------------------------------------------------

struct TypeCase {
  const char* name;
  int32_t type;
};

const TypeCase kEveryType[] = {
    {"can_text", kCvtCanText},       {"analog_text", kCvtAnalogText},
    {"gnss_text", kCvtGnssText},     {"can_csv", kCvtCanCsv},
    {"analog_csv", kCvtAnalogCsv},   {"gnss_csv", kCvtGnssCsv},
    {"analog_wave", kCvtAnalogWave}, {"gnss_kml", kCvtGnssKml},
    {"can_pcap", kCvtCanPcap},       {"can_pcapng", kCvtCanPcapng},
    {"can_asc", kCvtCanAsc},         {"can_candump", kCvtCanCandump},
    {"signals_csv", kCvtSignalsCsv}, {"signals_long", kCvtSignalsLong},
};
static_assert(std::size(kEveryType) == kCvtTypeCount, "every conversion type has its case");

std::string TypeName(const ::testing::TestParamInfo<TypeCase>& info) { return info.param.name; }

class FullDisk : public ::testing::TestWithParam<TypeCase> {};

// Every converter writing to /dev/full: a small output fails when it is closed, a large one
// while it is written; either way the result is the full disk, never success.
TEST_P(FullDisk, EveryConverterReportsIt) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "this machine has no /dev/full";
  test::SetTimeZone("UTC");
  for (int frames : {10, 40000}) {
    test::CaptureBuilder b = test::BigCapture(frames);
    b.waveInfo = test::CaptureBuilder::WaveInfoBytes(1, 0, 1, 3, 0, 2);
    b.waveSamples.assign(static_cast<size_t>(frames) * 2, 0x12345678);
    CvtSettings settings = test::DefaultSettingsFor(GetParam().type);
    test::TempDir dir;
    test::WriteFile(dir / "c.DT", b.Build());
    ConversionSession session;
    ASSERT_EQ(LoadMonitorData(dir / "c.DT", session.data), 0u);
    session.output.SetupOutput(settings.outputBits, settings.delimiter);
    session.context.type = settings.type;
    session.context.timeStampStyle = settings.timeStampStyle;
    session.context.output = &session.output;
    session.context.bannerTime = test::kBannerTime;
    session.signals = settings.signals.get();
    ASSERT_EQ(session.output.OpenOutput("/dev/full"), 0u);
    DefaultConverterTable().entries[static_cast<size_t>(GetParam().type)](session);
    session.output.CloseOutput();
    Result result = session.output.result();
    EXPECT_EQ(result, Result::Output(ENOSPC)) << frames << " frames";
    EXPECT_STREQ(ResultMessage(result), kCannotConvert);
    EXPECT_EQ(ResultReason(result),
              std::string("cannot write the output: ") + std::strerror(ENOSPC));
  }
}

INSTANTIATE_TEST_SUITE_P(All, FullDisk, ::testing::ValuesIn(kEveryType), TypeName);

// A disk that fills up during the second of three files: that file fails and leaves nothing, the
// older output of its name stays whole, and the third file converts once the space is free again.
TEST_F(FailingOutput, DiskFullInTheMiddleOfAJob) {
  if (!RunningAsRoot()) GTEST_SKIP() << "mounting a small tmpfs needs root; /dev/full covers it";
  Tmpfs small(dir_ / "small", "size=256k");
  if (!small.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here; /dev/full covers a full disk";
  fs::path a = Capture(dir_ / "in" / "a.DT");
  fs::path b = dir_ / "in" / "b.DT";
  test::BigCapture(6000).WriteTo(b);  // a report of about 420 KiB
  fs::path c = Capture(dir_ / "in" / "c.DT");
  WriteText(dir_ / "small" / "b.txt", Old());

  Result r = test::RunJob({a, b, c}, kCvtCanText, rec_, {dir_ / "small"});

  EXPECT_EQ(rec_.fileResults, (std::vector<Result>{kResultOk, Result::Output(ENOSPC), kResultOk}));
  EXPECT_EQ(rec_.positions, (std::vector<int>{1, 3, 5, 6}));
  EXPECT_EQ(r, 0u);
  EXPECT_EQ(ResultReason(rec_.fileResults[1]),
            std::string("cannot write the output: ") + std::strerror(ENOSPC));
  ExpectBaseReport(dir_ / "small" / "a.txt");
  EXPECT_EQ(test::ReadFileBytes(dir_ / "small" / "b.txt"), Old());
  ExpectBaseReport(dir_ / "small" / "c.txt");
  EXPECT_EQ(test::FolderNames(dir_ / "small"),
            (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
}

// --- Outputs that cannot be written -----------------------------------------------------------

TEST_F(FailingOutput, OutputPathThatIsAFolder) {
  fs::path a = Capture(dir_ / "a.DT");
  fs::path b = Capture(dir_ / "b.DT");
  fs::path c = Capture(dir_ / "c.DT");
  fs::create_directory(dir_ / "b.txt");
  WriteText(dir_ / "b.txt" / "keep.txt", Old());

  Result r = test::RunJob({a, b, c}, kCvtCanText, rec_);

  const Result expected = Result::Output(EISDIR);
  EXPECT_EQ(rec_.fileResults, (std::vector<Result>{kResultOk, expected, kResultOk}));
  EXPECT_EQ(r, 0u);
  EXPECT_STREQ(ResultMessage(expected), kCannotConvert);
  ExpectBaseReport(dir_ / "a.txt");
  ExpectBaseReport(dir_ / "c.txt");
  ASSERT_TRUE(fs::is_directory(dir_ / "b.txt"));
  EXPECT_EQ(test::FolderNames(dir_ / "b.txt"), (std::vector<std::string>{"keep.txt"}));
  EXPECT_EQ(test::ReadFileBytes(dir_ / "b.txt" / "keep.txt"), Old());
  EXPECT_EQ(test::FolderNames(dir_.path()),
            (std::vector<std::string>{"a.DT", "a.txt", "b.DT", "b.txt", "c.DT", "c.txt"}));
}

// The second input lies in a folder where nothing can be written; its output beside it fails,
// the older output there is untouched, and the third file converts.
TEST_F(FailingOutput, ReadOnlyFolder) {
#ifdef _WIN32
  GTEST_SKIP() << "the read-only attribute of a Windows folder does not stop new files in it";
#else
  fs::path ro = dir_ / "ro";
  fs::path a = Capture(dir_ / "a.DT");
  fs::path c = Capture(dir_ / "c.DT");
  std::unique_ptr<Tmpfs> mount;
  Result expected;
  if (RunningAsRoot()) {
    // Root ignores permission bits: a read-only mount is what stops it.
    mount = std::make_unique<Tmpfs>(ro, "size=1m");
    if (!mount->mounted()) {
      GTEST_SKIP() << "running as root, which ignores permission bits, and cannot mount a "
                      "read-only tmpfs here";
    }
  }
  fs::path b = Capture(ro / "b.DT");
  WriteText(ro / "b.txt", Old());
  if (mount) {
    ASSERT_TRUE(mount->MakeReadOnly());
    expected = Result::Output(EROFS);
  } else {
    fs::permissions(ro, fs::perms::owner_read | fs::perms::owner_exec);
    expected = Result::Output(EACCES);
  }

  Result r = test::RunJob({a, b, c}, kCvtCanText, rec_);

  EXPECT_EQ(rec_.fileResults, (std::vector<Result>{kResultOk, expected, kResultOk}));
  EXPECT_EQ(r, 0u);
  EXPECT_STREQ(ResultMessage(expected), kCannotConvert);
  EXPECT_EQ(ResultReason(expected), std::string("cannot write the output: ") +
                                        std::strerror(static_cast<int>(expected.detail())));
  ExpectBaseReport(dir_ / "a.txt");
  ExpectBaseReport(dir_ / "c.txt");
  EXPECT_EQ(test::ReadFileBytes(ro / "b.txt"), Old());
  EXPECT_EQ(test::FolderNames(ro), (std::vector<std::string>{"b.DT", "b.txt"}));
  if (!mount) fs::permissions(ro, fs::perms::owner_all);
#endif
}

// --- Inputs that change between listing and loading -------------------------------------------

struct InputChange {
  const char* name;
  std::function<void(const fs::path&)> change;
  Result result;
  const char* message;
  std::string reason;
  bool posixOnly = false;
};

std::vector<InputChange> InputChanges() {
  return {
      {"removed", [](const fs::path& p) { fs::remove(p); }, Result(0x80070002), kCannotConvert,
       "file not found"},
      {"replaced_by_a_folder",
       [](const fs::path& p) {
         fs::remove(p);
         fs::create_directory(p);
       },
       Result(0x80070005), kCannotConvert, "access denied"},
      {"replaced_by_a_dangling_link",
       [](const fs::path& p) {
         fs::remove(p);
         fs::create_symlink(p.parent_path() / "gone.DT", p);
       },
       Result(0x80070002), kCannotConvert, "file not found", true},
#ifndef _WIN32
      {"replaced_by_a_named_pipe",
       [](const fs::path& p) {
         fs::remove(p);
         ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0);
       },
       kResultNotSupported, kCorrupt, "not supported", true},
#endif
      {"cut_to_ten_bytes", [](const fs::path& p) { fs::resize_file(p, 10); }, kResultInvalidData,
       kCorrupt, "not a valid capture file"},
      {"emptied", [](const fs::path& p) { fs::resize_file(p, 0); }, kResultInvalidData, kCorrupt,
       "not a valid capture file"},
  };
}

class InputChangesUnderTheJob : public FailingOutput,
                                public ::testing::WithParamInterface<InputChange> {};

TEST_P(InputChangesUnderTheJob, FailsThatFileOnly) {
#ifdef _WIN32
  if (GetParam().posixOnly) GTEST_SKIP() << "links need privileges on Windows";
#endif
  fs::path a = Capture(dir_ / "a.DT");
  fs::path b = Capture(dir_ / "b.DT");
  fs::path c = Capture(dir_ / "c.DT");
  WriteText(dir_ / "b.txt", Old());
  auto beforeEach = [&](const fs::path& p) {
    if (p == b) GetParam().change(p);
  };

  Result r = test::RunJob({a, b, c}, kCvtCanText, rec_, {}, DefaultConverterTable(), beforeEach);

  EXPECT_EQ(rec_.fileResults, (std::vector<Result>{kResultOk, GetParam().result, kResultOk}));
  EXPECT_EQ(rec_.positions, (std::vector<int>{1, 3, 5, 6}));
  EXPECT_EQ(r, 0u);
  EXPECT_STREQ(ResultMessage(GetParam().result), GetParam().message);
  EXPECT_EQ(ResultReason(GetParam().result), GetParam().reason);
  ExpectBaseReport(dir_ / "a.txt");
  ExpectBaseReport(dir_ / "c.txt");
  EXPECT_EQ(test::ReadFileBytes(dir_ / "b.txt"), Old());
}

INSTANTIATE_TEST_SUITE_P(All, InputChangesUnderTheJob, ::testing::ValuesIn(InputChanges()),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Inputs cut short while they are converted ------------------------------------------------

// The input the cutting converter cuts short, and how many bytes it keeps (or, when negative, how
// many it takes off the end); set by the tests that use it.
fs::path g_inputToCut;
int64_t g_cutTo = 8192;

// Cuts a large input short, as another program copying over it would, then converts.
void CutThenConvert(ConversionSession& s) {
  if (s.data.image.size() > (64u << 10)) {
    std::error_code ec;
    uint64_t keep = g_cutTo >= 0 ? static_cast<uint64_t>(g_cutTo)
                                 : s.data.image.size() - static_cast<uint64_t>(-g_cutTo);
    fs::resize_file(g_inputToCut, keep, ec);
  }
  DefaultConverterTable().entries[kCvtCanText](s);
}

// A mapped capture cut short under the conversion: the read past its new end must not end the
// batch (a bus error on POSIX); the file fails, leaves no output, and the next one converts. On
// Windows the mapping keeps the file from being cut at all.
TEST_F(FailingOutput, InputCutShortWhileConverted) {
  fs::path a = Capture(dir_ / "a.DT");
  fs::path b = dir_ / "b.DT";
  test::BigCapture(6000).WriteTo(b);
  fs::path c = Capture(dir_ / "c.DT");
  WriteText(dir_ / "b.txt", Old());
  g_inputToCut = b;
  g_cutTo = 8192;
  ConverterTable table = DefaultConverterTable();
  table.entries[kCvtCanText] = CutThenConvert;

  Result r = test::RunJob({a, b, c}, kCvtCanText, rec_, {}, table);

  EXPECT_EQ(r, 0u);
  ExpectBaseReport(dir_ / "a.txt");
  ExpectBaseReport(dir_ / "c.txt");
#ifdef _WIN32
  EXPECT_EQ(rec_.fileResults, (std::vector<Result>{kResultOk, kResultOk, kResultOk}));
#else
  EXPECT_EQ(rec_.fileResults, (std::vector<Result>{kResultOk, kResultInputCut, kResultOk}));
  EXPECT_STREQ(ResultMessage(kResultInputCut), kCannotConvert);
  EXPECT_EQ(ResultReason(kResultInputCut), "the file ended early while it was read");
  EXPECT_EQ(test::ReadFileBytes(dir_ / "b.txt"), Old());
  EXPECT_EQ(test::FolderNames(dir_.path()),
            (std::vector<std::string>{"a.DT", "a.txt", "b.DT", "b.txt", "c.DT", "c.txt"}));
#endif
}

#ifndef _WIN32
// Cut by one record, inside the last page of the mapping: no read faults (the missing bytes read
// as zeros), yet the file is no longer the one being converted, and must not pass as complete.
TEST_F(FailingOutput, InputCutByLessThanAPageWhileConverted) {
  fs::path b = dir_ / "b.DT";
  test::BigCapture(6000).WriteTo(b);
  WriteText(dir_ / "b.txt", Old());
  g_inputToCut = b;
  g_cutTo = -32;
  ConverterTable table = DefaultConverterTable();
  table.entries[kCvtCanText] = CutThenConvert;

  EXPECT_EQ(test::RunJob({b}, kCvtCanText, rec_, {}, table), kResultInputCut);
  EXPECT_EQ(test::ReadFileBytes(dir_ / "b.txt"), Old());
  EXPECT_EQ(test::FolderNames(dir_.path()), (std::vector<std::string>{"b.DT", "b.txt"}));
}
#endif

// --- Nothing lost: the input ------------------------------------------------------------------

struct InputGuard {
  const char* name;
  const char* input;  // file name of the capture
  // Prepares the folder before the job; returns false when this system cannot.
  std::function<bool(const fs::path& dir)> prepare;
  Result result;       // on this platform
  const char* report;  // the output that must hold the report afterwards, or null
};

bool TryLink(const std::function<void()>& make) {
  try {
    make();
    return true;
  } catch (const fs::filesystem_error&) {
    return false;
  }
}

std::vector<InputGuard> InputGuards() {
  return {
      {"output_name_is_a_symbolic_link_to_the_input", "a.DT",
       [](const fs::path& d) { return TryLink([&] { fs::create_symlink("a.DT", d / "a.txt"); }); },
       kResultOutputIsInput, nullptr},
      {"output_name_is_a_hard_link_to_the_input", "a.DT",
       [](const fs::path& d) {
         return TryLink([&] { fs::create_hard_link(d / "a.DT", d / "a.txt"); });
       },
       kResultOutputIsInput, nullptr},
#ifdef _WIN32
      // The names differ only in case: one file where names ignore case.
      {"output_name_differs_from_the_input_only_in_case", "a.TXT",
       [](const fs::path&) { return true; }, kResultOutputIsInput, nullptr},
#else
      {"output_name_differs_from_the_input_only_in_case", "a.TXT",
       [](const fs::path&) { return true; }, kResultOk, "a.txt"},
#endif
      {"temporary_name_is_a_symbolic_link_to_the_input", "a.DT",
       [](const fs::path& d) {
         return TryLink([&] { fs::create_symlink(d / "a.DT", d / "a.txt.dtconv-part"); });
       },
       kResultOk, "a.txt"},
      {"output_name_is_a_link_to_a_file_elsewhere", "a.DT",
       [](const fs::path& d) {
         fs::create_directory(d / "elsewhere");
         WriteText(d / "elsewhere" / "precious.txt", Old());
         return TryLink([&] { fs::create_symlink(d / "elsewhere" / "precious.txt", d / "a.txt"); });
       },
       kResultOk, "a.txt"},
  };
}

class InputNeverReplaced : public FailingOutput,
                           public ::testing::WithParamInterface<InputGuard> {};

TEST_P(InputNeverReplaced, ByItsOutput) {
  const InputGuard& g = GetParam();
  fs::path in = Capture(dir_ / g.input);
  std::string before = test::ReadFileBytes(in);
  if (!g.prepare(dir_.path())) GTEST_SKIP() << "this system cannot make that link";
  std::vector<std::string> namesBefore = test::FolderNames(dir_.path());

  EXPECT_EQ(test::RunJob({in}, kCvtCanText, rec_), g.result);

  EXPECT_EQ(test::ReadFileBytes(in), before);
  if (fs::exists(dir_ / "elsewhere")) {
    EXPECT_EQ(test::ReadFileBytes(dir_ / "elsewhere" / "precious.txt"), Old());
  }
  if (g.report != nullptr) {
    EXPECT_FALSE(fs::is_symlink(dir_ / g.report));
    ExpectBaseReport(dir_ / g.report);
  } else {
    EXPECT_STREQ(ResultMessage(g.result), kCannotConvert);
    EXPECT_EQ(ResultReason(g.result), "the output would overwrite the input");
    EXPECT_EQ(test::FolderNames(dir_.path()), namesBefore);
  }
}

INSTANTIATE_TEST_SUITE_P(All, InputNeverReplaced, ::testing::ValuesIn(InputGuards()),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Nothing lost: cancelled files ------------------------------------------------------------

// A converter table whose entries request the cancel before they convert, as a stop pressed while
// the first line is written would.
template <int kType>
void CancelThenConvert(ConversionSession& s) {
  s.output.RequestCancel();
  DefaultConverterTable().entries[kType](s);
}

template <size_t... kTypes>
ConverterTable CancellingTable(std::index_sequence<kTypes...>) {
  ConverterTable t;
  t.entries = {CancelThenConvert<static_cast<int>(kTypes)>...};
  return t;
}

ConverterTable CancellingTable() {
  return CancellingTable(std::make_index_sequence<kCvtTypeCount>());
}

class CancelledFile : public FailingOutput, public ::testing::WithParamInterface<TypeCase> {};

TEST_P(CancelledFile, LeavesNoPartialOutput) {
  // Frames, analog samples, fixes and a waveform: every conversion type has lines to write.
  fs::path in = dir_ / "a.DT";
  test::CaptureBuilder b = test::BigCapture(300);
  b.waveInfo = test::CaptureBuilder::WaveInfoBytes(1, 0, 1, 3, 0, 2);
  b.waveSamples.assign(300, 0x12345678);
  b.WriteTo(in);
  fs::path out;
  ASSERT_EQ(DeriveOutputPath(in, GetParam().type, {}, &out), 0u);
  WriteText(out, Old());

  EXPECT_EQ(test::RunJob({in}, GetParam().type, rec_, {}, CancellingTable()), kResultCancelled);

  EXPECT_STREQ(ResultMessage(kResultCancelled), "");
  EXPECT_EQ(test::ReadFileBytes(out), Old());
  EXPECT_EQ(test::FolderNames(dir_.path()),
            (std::vector<std::string>{"a.DT", out.filename().string()}));
}

INSTANTIATE_TEST_SUITE_P(All, CancelledFile, ::testing::ValuesIn(kEveryType), TypeName);

// A cancel from another thread while a large report is being written, as the desktop program's
// stop button sends it: the file stops at its next line and nothing of it remains.
class CancelWhenWritten : public JobObserver {
 public:
  explicit CancelWhenWritten(TextOutput* out) : out_(out) {}
  ~CancelWhenWritten() override {
    if (watcher_.joinable()) watcher_.join();
  }
  void OnFileStart(const fs::path&, const fs::path& output) override {
    fs::path part = output;
    part += ".dtconv-part";
    watcher_ = std::thread([this, part] {
      // Waits until a first megabyte has reached the temporary file.
      std::error_code ec;
      while (!done_.load()) {
        if (fs::exists(part, ec) && fs::file_size(part, ec) >= (1u << 20)) {
          out_->RequestCancel();
          return;
        }
        std::this_thread::yield();
      }
    });
  }
  void OnFileDone(const fs::path&, const fs::path&, Result r) override {
    done_ = true;
    if (watcher_.joinable()) watcher_.join();
    result = r;
  }
  Result result;

 private:
  TextOutput* out_;
  std::atomic<bool> done_{false};
  std::thread watcher_;
};

TEST_F(FailingOutput, CancelFromAnotherThreadWhileWriting) {
  fs::path in = dir_ / "big.DT";
  test::BigCapture(150000).WriteTo(in);  // a report of about 10 MiB
  ConversionSession session;
  session.context.bannerTime = test::kBannerTime;
  test::ListSource source({in});
  CancelWhenWritten observer(&session.output);
  std::atomic<bool> stop{false};
  EXPECT_EQ(ConversionJob(session, test::DefaultSettingsFor(kCvtCanText), source, observer, stop,
                          DefaultConverterTable()),
            kResultCancelled);
  EXPECT_EQ(observer.result, kResultCancelled);
  EXPECT_EQ(test::FolderNames(dir_.path()), (std::vector<std::string>{"big.DT"}));
}

// --- Nothing lost: one writer per file ---------------------------------------------------------

// A temporary file of the same output already exists (another program converting the same
// capture, or what an interrupted run left): it is not touched, the output is written under a
// free name and moved into place.
TEST_F(FailingOutput, AnotherWritersTemporaryFileIsLeftAlone) {
  fs::path in = Capture(dir_ / "a.DT");
  WriteText(dir_ / "a.txt.dtconv-part", "another writer's lines\r\n");

  EXPECT_EQ(test::RunJob({in}, kCvtCanText, rec_), 0u);

  ExpectBaseReport(dir_ / "a.txt");
  EXPECT_EQ(test::ReadFileBytes(dir_ / "a.txt.dtconv-part"), "another writer's lines\r\n");
  EXPECT_EQ(test::FolderNames(dir_.path()),
            (std::vector<std::string>{"a.DT", "a.txt", "a.txt.dtconv-part"}));
}

TEST_F(FailingOutput, EveryTemporaryNameTakenFailsWithoutWriting) {
  fs::path in = Capture(dir_ / "a.DT");
  WriteText(dir_ / "a.txt", Old());
  WriteText(dir_ / "a.txt.dtconv-part", "busy");
  for (int n = 1; n < 100; ++n) {
    WriteText(dir_ / ("a.txt." + std::to_string(n) + ".dtconv-part"), "busy");
  }
  std::vector<std::string> namesBefore = test::FolderNames(dir_.path());

  Result r = test::RunJob({in}, kCvtCanText, rec_);

  EXPECT_EQ(r, Result::Output(EEXIST));
  EXPECT_STREQ(ResultMessage(r), kCannotConvert);
  EXPECT_EQ(test::ReadFileBytes(dir_ / "a.txt"), Old());
  EXPECT_EQ(test::ReadFileBytes(dir_ / "a.txt.57.dtconv-part"), "busy");
  EXPECT_EQ(test::FolderNames(dir_.path()), namesBefore);
}

// Two jobs at once writing one output path from different captures (two programs, or two
// workers given the same output folder): each writes its own file, and the output is always one
// whole report, never a mixture.
TEST_F(FailingOutput, TwoWritersOfOneOutputNeverMix) {
  fs::path inA = dir_ / "a" / "cap.DT";
  fs::path inB = dir_ / "b" / "cap.DT";
  fs::create_directories(inA.parent_path());
  fs::create_directories(inB.parent_path());
  test::BigCapture(3000, 1).WriteTo(inA);
  test::BigCapture(4500, 2).WriteTo(inB);
  // What each capture gives when converted alone.
  JobRecord alone;
  ASSERT_EQ(test::RunJob({inA, inB}, kCvtCanText, alone), 0u);
  std::string reportA = test::ReadFileBytes(dir_ / "a" / "cap.txt");
  std::string reportB = test::ReadFileBytes(dir_ / "b" / "cap.txt");
  ASSERT_NE(reportA, reportB);

  fs::path out = dir_ / "out";
  fs::create_directory(out);
  for (int round = 0; round < 8; ++round) {
    JobRecord recA, recB;
    Result resultA{1}, resultB{1};
    std::thread ta([&] { resultA = test::RunJob({inA}, kCvtCanText, recA, {out}); });
    std::thread tb([&] { resultB = test::RunJob({inB}, kCvtCanText, recB, {out}); });
    ta.join();
    tb.join();
    EXPECT_EQ(resultA, 0u) << "round " << round;
    EXPECT_EQ(resultB, 0u) << "round " << round;
    std::string got = test::ReadFileBytes(out / "cap.txt");
    EXPECT_TRUE(got == reportA || got == reportB)
        << "round " << round << ": " << got.size() << " bytes, neither report";
    EXPECT_EQ(test::FolderNames(out), (std::vector<std::string>{"cap.txt"}));
  }
}

}  // namespace
}  // namespace dtconv
