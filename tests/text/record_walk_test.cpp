// The record walk: which records each acceptance rule reports, in which order, and which
// continuation records each head finds (the cases of tests/cases/text/record_walk.tsv), and its
// progress reports.

#include <atomic>

#include "input/monitor_record.h"
#include "text_cases.h"

namespace dtconv {
namespace {

// "h01" a head of type 0x01, "h01+2" one with two continuations, "c01.2" continuation 2 of 0x01.
std::vector<MonitorRecord> Records(const std::string& text) {
  std::vector<MonitorRecord> records;
  std::istringstream in(text);
  for (std::string r; in >> r && r != "-";) {
    auto type = static_cast<uint8_t>(std::stoul(r.substr(1, 2), nullptr, 16));
    auto n = static_cast<uint8_t>(r.size() > 4 ? std::stoul(r.substr(4)) : 0);
    test::Bytes bytes = test::HeadRecord(type, n, 0);
    bytes[1] = r[0] == 'h' ? bytes[1] : n;  // a continuation: no head flag, its sequence number
    records.emplace_back();
    std::memcpy(records.back().bytes, bytes.data(), 32);
  }
  return records;
}

TEST(RecordWalk, ReportsTheAcceptedHeads) {
  for (const test::Row& row : test::ReadTable("text/record_walk.tsv")) {
    std::string flags = " " + row[0] + " ";
    auto has = [&](const char* flag) {
      return flags.find(std::string(" ") + flag + " ") != std::string::npos;
    };
    AcceptRule rule{has("frames"),     has("gnss"),          has("analog"),
                    has("canOverrun"), has("analogOverrun"), has("lostData")};
    std::vector<MonitorRecord> records = Records(row[1]);
    RecordCursor c{0, static_cast<uint32_t>(records.size()), records.data()};
    std::string walked;
    for (RecordKind k = FirstRecord(c, rule); k != kKindEnd; k = NextRecord(c, rule)) {
      walked += " " + std::to_string(k) + "@" + std::to_string(c.index);
      for (int s = 1; s <= c.Current().Continuation(); ++s)
        walked += (ContinuationOf(c, uint8_t(s)) ? "+" : "-") + std::to_string(s);
    }
    EXPECT_EQ(walked.empty() ? "-" : walked.substr(1), row[2]) << row[1];
    EXPECT_EQ(c.index, c.count) << row[1];
  }
}

// A converter that reads each sample with its continuation passes over the continuation; the walk
// still reports its progress at every checkpoint, though it no longer stops on their exact
// indices (here every head sits at an odd index, every continuation at an even one).
TEST(RecordWalk, PassingOverContinuationsKeepsReportingProgress) {
  std::string text = "h80";
  for (uint32_t i = 0; i < 2 * kCheckpointStride; ++i) text += " h30+1 c30.1";
  std::vector<MonitorRecord> records = Records(text);
  std::atomic<uint32_t> walked{0};
  RecordCursor c{0, static_cast<uint32_t>(records.size()), records.data(), &walked};
  const AcceptRule analog{.analog = true, .analogOverrun = true, .lostData = true};
  uint32_t heads = 0;
  for (RecordKind k = FirstRecord(c, analog); k != kKindEnd; k = NextRecord(c, analog)) {
    if (k != kKindAnalog) continue;
    ++heads;
    ASSERT_NE(ContinuationOf(c, 1), nullptr);
    PassContinuations(c, 1);
  }
  EXPECT_EQ(heads, 2 * kCheckpointStride);
  EXPECT_EQ(c.index, c.count);
  // The last checkpoint, 4 * 65536, was passed one record late.
  EXPECT_EQ(walked.load(), 4 * kCheckpointStride + 1);
}

}  // namespace
}  // namespace dtconv
