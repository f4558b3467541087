// The conversion job over a list of files, with a converter that lists the records: the cases of
// tests/cases/pipeline/jobs.tsv and the output names of tests/cases/pipeline/output_names.tsv.
#include "pipeline/conversion_job.h"

#include <gtest/gtest.h>

#include <sstream>

#include "robust_support.h"
#include "test_files.h"

namespace dtconv {
namespace {

namespace fs = std::filesystem;
using Row = std::vector<std::string>;

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

struct Recorder : JobObserver {
  std::string event;
  std::atomic<bool> stop{false};
  std::ostringstream log;
  void OnProgress(int p) override { log << p << ' '; }
  void OnFileStart(const fs::path&, const fs::path&) override {
    if (event == "stop on start") stop = true;
  }
  void OnFileDone(const fs::path&, const fs::path&, Result r) override {
    log << r << ' ';
    if (event == "stop after first") stop = true;
  }
  void OnDone(Result r) override { log << "done " << r; }
};

class Job : public ::testing::TestWithParam<Row> {};

TEST_P(Job, ReportsEachFileAndLeavesItsOutputs) {
  const Row& c = GetParam();  // name, setup, inputs, type, event, outdir, log, after, output
  test::TempDir dir;
  ASSERT_TRUE(c[1] == "-" || test::MakeEntries(dir.path(), c[1]));
  std::vector<fs::path> inputs;
  std::istringstream names(c[2] == "-" ? "" : c[2]);
  for (std::string name; names >> name;) inputs.push_back(dir / name);
  ConverterTable table;
  if (c[4] != "no converters") table.entries.fill(ListRecords);
  CvtSettings settings{.type = std::stoi(c[3]), .outputBits = 1};
  Recorder rec;
  rec.event = c[4];
  rec.stop = c[4] == "stop before";
  Result result =
      test::RunJob(inputs, settings, table, rec, c[5] == "-" ? fs::path() : dir / c[5], &rec.stop);
  rec.log << " returns " << result;
  EXPECT_EQ(rec.log.str(), c[6]);
  std::string after;
  for (const std::string& entry : test::DescribeFolder(dir.path())) {
    std::string name = entry.substr(0, entry.find(": "));
    after += (after.empty() ? "" : " ") + name;
    if (c[8] != "-" && !name.ends_with(".DT") && fs::is_regular_file(dir / name)) {
      EXPECT_EQ(test::ReadFileBytes(dir / name), test::Unescape(c[8])) << name;
    }
  }
  EXPECT_EQ(after, c[7] == "-" ? "" : c[7]);
}

INSTANTIATE_TEST_SUITE_P(Table, Job, ::testing::ValuesIn(test::ReadTable("pipeline/jobs.tsv")),
                         test::kRowName);

class OutputName : public ::testing::TestWithParam<Row> {};

TEST_P(OutputName, ReplacesThePartFromTheLastPeriod) {
  const Row& c = GetParam();  // name, input, type, output
  std::string input = c[1];
  if (input[0] == '@') input.replace(0, 1, 5000, 'n');
  fs::path out;
  Result result = DeriveOutputPath(fs::path("dir") / input, std::stoi(c[2]), {}, &out);
  std::ostringstream got;
  if (result.ok()) {
    got << out.generic_string().substr(4);
  } else {
    got << result;
  }
  EXPECT_EQ(got.str(), c[3]);
}

INSTANTIATE_TEST_SUITE_P(Table, OutputName,
                         ::testing::ValuesIn(test::ReadTable("pipeline/output_names.tsv")),
                         test::kRowName);

}  // namespace
}  // namespace dtconv
