// The record walk: which records each acceptance rule reports, in which order.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "capture_builder.h"
#include "input/monitor_record.h"

namespace dtconv {
namespace {

using test::Bytes;

struct Walked {
  std::vector<int> kinds;
  std::vector<uint32_t> indices;
};

Walked Walk(const std::vector<Bytes>& recs, const AcceptRule& rule) {
  std::vector<MonitorRecord> records(recs.size());
  for (size_t i = 0; i < recs.size(); ++i) std::memcpy(records[i].bytes, recs[i].data(), 32);
  RecordCursor c{0, static_cast<uint32_t>(records.size()), records.data()};
  Walked w;
  for (RecordKind k = FirstRecord(c, rule); k != kKindEnd; k = NextRecord(c, rule)) {
    w.kinds.push_back(k);
    w.indices.push_back(c.index);
  }
  EXPECT_EQ(c.index, c.count);
  return w;
}

Bytes Continuation(uint8_t type, uint8_t seq) {
  Bytes r(32, 0);
  r[0] = type;
  r[1] = seq;
  return r;
}

const AcceptRule kCan{true, false, false, true, false, true};
const AcceptRule kCanAll{true, true, true, true, false, true};
const AcceptRule kAnalog{false, false, true, false, true, true};
const AcceptRule kGnss{false, true, false, false, false, true};

struct WalkCase {
  const char* name;
  std::vector<Bytes> records;
  AcceptRule rule;
  std::vector<int> kinds;
  std::vector<uint32_t> indices;
};

std::vector<WalkCase> Cases() {
  using test::HeadRecord;
  return {
      {"empty", {}, kCan, {}, {}},
      {"all continuations", {Continuation(0x01, 1), Continuation(0x11, 2)}, kCan, {}, {}},
      {"first record a continuation",
       {Continuation(0x01, 1), HeadRecord(0x12, 0, 5)},
       kCan,
       {2},
       {1}},
      {"type 0x33 passed over by every rule",
       {HeadRecord(0x33, 0, 1), HeadRecord(0x30, 0, 2)},
       kAnalog,
       {8},
       {1}},
      {"CAN overrun and analog overrun",
       {HeadRecord(0x81, 0, 1), HeadRecord(0x82, 0, 2), HeadRecord(0x80, 0, 3)},
       kCan,
       {5, 6},
       {0, 2}},
      {"analog takes its own overrun only",
       {HeadRecord(0x81, 0, 1), HeadRecord(0x82, 0, 2)},
       kAnalog,
       {5},
       {1}},
      {"GNSS passed over without its option",
       {HeadRecord(0x25, 0, 1), HeadRecord(0x31, 1, 2), Continuation(0x31, 1)},
       kAnalog,
       {8},
       {1}},
      {"CAN with both options",
       {HeadRecord(0x0F, 0, 1), HeadRecord(0x1F, 0, 1), HeadRecord(0x2F, 0, 1),
        HeadRecord(0x32, 0, 1), HeadRecord(0x83, 0, 1)},
       kCanAll,
       {1, 2, 9, 8},
       {0, 1, 2, 3}},
      {"GNSS walk skips frames and overruns",
       {HeadRecord(0x01, 0, 1), HeadRecord(0x20, 0, 2), HeadRecord(0x81, 0, 3),
        HeadRecord(0x80, 0, 4)},
       kGnss,
       {9, 6},
       {1, 3}},
      {"frame continuations are skipped",
       {HeadRecord(0x01, 2, 1), Continuation(0x01, 1), Continuation(0x01, 2),
        HeadRecord(0x11, 0, 2)},
       kCan,
       {1, 2},
       {0, 3}},
  };
}

class WalkCaseTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(WalkCaseTest, ReportsTheAcceptedHeads) {
  Walked w = Walk(GetParam().records, GetParam().rule);
  EXPECT_EQ(w.kinds, GetParam().kinds);
  EXPECT_EQ(w.indices, GetParam().indices);
}

INSTANTIATE_TEST_SUITE_P(All, WalkCaseTest, ::testing::ValuesIn(Cases()), [](const auto& info) {
  std::string n = info.param.name;
  for (char& c : n)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return n;
});

// A converter that reads each sample with its continuation passes over the continuation; the walk
// still reports its progress at every checkpoint, though it no longer stops on their exact
// indices (here every head sits at an odd index, every continuation at an even one).
TEST(RecordWalk, PassingOverContinuationsKeepsReportingProgress) {
  const uint32_t samples = 2 * kCheckpointStride;
  std::vector<MonitorRecord> records(1 + 2 * samples);
  std::memcpy(records[0].bytes, test::HeadRecord(kRecordLostData, 0, 0).data(), 32);
  for (uint32_t i = 0; i < samples; ++i) {
    std::memcpy(records[1 + 2 * i].bytes, test::HeadRecord(0x30, 1, i).data(), 32);
    std::memcpy(records[2 + 2 * i].bytes, Continuation(0x30, 1).data(), 32);
  }
  std::atomic<uint32_t> walked{0};
  RecordCursor c{0, static_cast<uint32_t>(records.size()), records.data()};
  c.walked = &walked;
  uint32_t heads = 0;
  for (RecordKind k = FirstRecord(c, kAnalog); k != kKindEnd; k = NextRecord(c, kAnalog)) {
    if (k != kKindAnalog) continue;
    ++heads;
    ASSERT_NE(ContinuationOf(c, 1), nullptr);
    PassContinuations(c, 1);
  }
  EXPECT_EQ(heads, samples);
  EXPECT_EQ(c.index, c.count);
  // The last checkpoint, 4 * 65536, was passed one record late.
  EXPECT_EQ(walked.load(), 2 * samples + 1);
}

TEST(MonitorRecord, FortyEightBitTimestamp) {
  Bytes r = test::HeadRecord(0x01, 0, 0xFFFFFFFFFFFFull);
  MonitorRecord rec;
  std::memcpy(rec.bytes, r.data(), 32);
  EXPECT_EQ(rec.Timestamp(), (1ull << 48) - 1);
  rec.bytes[2] = 0x34;
  rec.bytes[3] = 0x12;
  rec.bytes[4] = 1;
  rec.bytes[5] = rec.bytes[6] = rec.bytes[7] = 0;
  EXPECT_EQ(rec.Timestamp(), 0x11234u);
}

TEST(MonitorRecord, ContinuationChecksTypeFlagAndSequence) {
  std::vector<MonitorRecord> recs(4);
  auto set = [&](int i, const Bytes& b) { std::memcpy(recs[i].bytes, b.data(), 32); };
  set(0, test::HeadRecord(0x01, 2, 0));
  set(1, Continuation(0x01, 1));
  set(2, Continuation(0x02, 2));  // wrong type
  set(3, Continuation(0x01, 2));
  RecordCursor c{0, 4, recs.data()};
  EXPECT_NE(ContinuationOf(c, 1), nullptr);
  EXPECT_EQ(ContinuationOf(c, 2), nullptr);
  c.index = 1;
  c.count = 3;
  EXPECT_EQ(ContinuationOf(c, 3), nullptr);  // past the end
}

}  // namespace
}  // namespace dtconv
