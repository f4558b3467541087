// The conversion job over a list of files, with a small test converter in the table.
#include "pipeline/conversion_job.h"

#include <gtest/gtest.h>

#include <deque>

#include "capture_builder.h"
#include "test_files.h"

namespace dtconv {
namespace {

namespace fs = std::filesystem;

// Writes one line per record: its type and timestamp.
void ListRecords(ConversionSession& s) {
  for (uint32_t i = 0; i < s.data.recordCount && s.output.result().ok(); ++i) {
    char piece[64];
    FormatPiece(piece, "%02X %llu", s.data.records[i].Type(),
                static_cast<unsigned long long>(s.data.records[i].Timestamp()));
    s.output.AppendText(piece);
    s.output.FlushLine();
  }
}

ConverterTable TestTable() {
  ConverterTable t;
  for (auto& e : t.entries) e = ListRecords;
  return t;
}

class ListSource : public InputSource {
 public:
  explicit ListSource(std::deque<fs::path> paths) : paths_(std::move(paths)) {}
  bool Next(fs::path* p) override {
    if (paths_.empty()) return false;
    *p = paths_.front();
    paths_.pop_front();
    return true;
  }

 private:
  std::deque<fs::path> paths_;
};

struct Recorder : JobObserver {
  std::vector<int> positions;
  std::vector<Result> fileResults;
  Result done{0xFFFFFFFF};
  std::atomic<bool>* stopAfterFirst = nullptr;
  std::atomic<bool>* stopOnStart = nullptr;
  void OnProgress(int p) override { positions.push_back(p); }
  void OnFileStart(const fs::path&, const fs::path&) override {
    if (stopOnStart) stopOnStart->store(true);
  }
  void OnFileDone(const fs::path&, const fs::path&, Result r) override {
    fileResults.push_back(r);
    if (stopAfterFirst) stopAfterFirst->store(true);
  }
  void OnDone(Result r) override { done = r; }
};

class Job : public ::testing::Test {
 protected:
  fs::path Good(const std::string& name, uint64_t t = 7) {
    test::CaptureBuilder b;
    b.Marker(0x80, t);
    b.WriteTo(dir_ / name);
    return dir_ / name;
  }
  fs::path Corrupt(const std::string& name) {
    test::WriteFile(dir_ / name, {'n', 'o', 't', ' ', 'a', ' ', 'c', 'a', 'p', 't', 'u', 'r', 'e',
                                  '!', '!', '!', '!'});
    return dir_ / name;
  }
  Result Run(std::deque<fs::path> inputs, int32_t type = 0, JobOptions options = {}) {
    ListSource source(std::move(inputs));
    CvtSettings settings;
    settings.type = type;
    settings.outputBits = 1;
    settings.delimiter = u",";
    return ConversionJob(session_, settings, source, rec_, stop_, TestTable(), options);
  }
  test::TempDir dir_;
  ConversionSession session_;
  Recorder rec_;
  std::atomic<bool> stop_{false};
};

TEST_F(Job, NoFiles) {
  EXPECT_EQ(Run({}), 0u);
  EXPECT_EQ(rec_.positions, (std::vector<int>{0}));
  EXPECT_EQ(rec_.done, 0u);
}

TEST_F(Job, StopBeforeStart) {
  stop_ = true;
  EXPECT_EQ(Run({Good("a.DT")}), 0u);
  EXPECT_EQ(rec_.positions, (std::vector<int>{0}));
  EXPECT_FALSE(fs::exists(dir_ / "a.txt"));
}

TEST_F(Job, OnlyLastCorrupt) {
  EXPECT_EQ(Run({Good("a.DT"), Good("b.DT"), Corrupt("c.DT")}), kResultInvalidData);
  EXPECT_EQ(rec_.positions, (std::vector<int>{1, 3, 5}));
  EXPECT_EQ(rec_.done, kResultInvalidData);
}

TEST_F(Job, StopTakesEffectAfterTheCurrentFile) {
  rec_.stopAfterFirst = &stop_;
  EXPECT_EQ(Run({Corrupt("a.DT"), Good("b.DT"), Good("c.DT")}), kResultInvalidData);
  EXPECT_EQ(rec_.positions, (std::vector<int>{1}));
  EXPECT_FALSE(fs::exists(dir_ / "b.txt"));
}

TEST_F(Job, StopBeforeTheOutputIsOpenStillCancelsThatFile) {
  // A stop can arrive while the file loads, before its output opens (which clears the writer's
  // cancel flag): the file must still stop, without an output.
  rec_.stopOnStart = &stop_;
  EXPECT_EQ(Run({Good("a.DT"), Good("b.DT")}), kResultCancelled);
  EXPECT_EQ(rec_.fileResults, (std::vector<Result>{kResultCancelled}));
  EXPECT_FALSE(fs::exists(dir_ / "a.txt"));
  EXPECT_FALSE(fs::exists(dir_ / "b.txt"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 2);
}

struct ExtensionCase {
  const char* input;
  int32_t type;
  const char* output;
};

class Extension : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(Extension, ReplacesThePartFromTheLastPeriod) {
  fs::path out;
  ASSERT_EQ(DeriveOutputPath(fs::path("dir") / GetParam().input, GetParam().type, {}, &out), 0u);
  EXPECT_EQ(out, fs::path("dir") / GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    All, Extension,
    ::testing::Values(ExtensionCase{"#A001.DT", 8, "#A001.pcap"},
                      ExtensionCase{"name.with.dots.DT", 3, "name.with.dots.csv"},
                      ExtensionCase{"plain", 7, "plain.kml"}, ExtensionCase{"x.DT", 0, "x.txt"},
                      ExtensionCase{"x.DT", 1, "x.txt"}, ExtensionCase{"x.DT", 2, "x.txt"},
                      ExtensionCase{"x.DT", 4, "x.csv"}, ExtensionCase{"x.DT", 5, "x.csv"},
                      ExtensionCase{"x.DT", 6, "x.csv"}, ExtensionCase{"x.DT", 42, "x.txt"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(Job, OutputFolderOption) {
  fs::create_directory(dir_ / "out");
  EXPECT_EQ(Run({Good("a.DT")}, 8, {dir_ / "out"}), 0u);
  EXPECT_TRUE(fs::exists(dir_ / "out" / "a.pcap"));
  EXPECT_FALSE(fs::exists(dir_ / "a.pcap"));
}

TEST_F(Job, PathTooLongIsRefused) {
  fs::path out;
  std::string longName(5000, 'n');
  EXPECT_EQ(DeriveOutputPath(dir_ / (longName + ".DT"), 0, {}, &out), kResultPathTooLong);
}

TEST_F(Job, ReplacesAnOlderOutputWhenComplete) {
  fs::path in = Good("a.DT", 99);
  test::WriteFile(dir_ / "a.txt", {'o', 'l', 'd'});
  EXPECT_EQ(Run({in}), 0u);
  EXPECT_EQ(test::ReadFileBytes(dir_ / "a.txt"), "80 99\n");
  EXPECT_FALSE(fs::exists(dir_ / "a.txt.dtconv-part"));
}

TEST_F(Job, UnsupportedTypeInTheTable) {
  ListSource source({Good("a.DT")});
  CvtSettings settings;
  settings.type = 8;
  EXPECT_EQ(ConversionJob(session_, settings, source, rec_, stop_, ConverterTable{}),
            kResultNotSupported);
}

}  // namespace
}  // namespace dtconv
