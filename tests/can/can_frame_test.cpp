// Frame assembly: which continuation records a frame needs, and where its bytes come from.
#include "can/can_frame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <ostream>
#include <vector>

#include "capture_builder.h"

namespace dtconv {
namespace {

using test::Bytes;
using test::CaptureBuilder;
using test::Counting;
using test::FrameSpec;

Bytes Continuation(uint8_t type, uint8_t seq) {
  Bytes r(32, 0xEE);
  r[0] = type;
  r[1] = seq;
  return r;
}

// Assembles the frame at record 0 of the records the builder holds.
bool Assemble(const CaptureBuilder& b, CanFrame& f) {
  std::vector<MonitorRecord> records(b.records().size());
  for (size_t i = 0; i < records.size(); ++i) {
    std::memcpy(records[i].bytes, b.records()[i].data(), 32);
  }
  RecordCursor c{0, static_cast<uint32_t>(records.size()), records.data()};
  return AssembleFrame(c, f);
}

struct AssemblyCase {
  const char* name;
  size_t stored;                     // bytes the builder writes
  std::optional<uint8_t> countByte;  // head byte 12 override
  std::optional<uint8_t> headContinuations;
  int keepRecords;           // records kept after the head (-1 all)
  std::vector<Bytes> extra;  // records appended after those kept
  bool ok;
  int count;
};

void PrintTo(const AssemblyCase& c, std::ostream* os) { *os << c.name; }

class FrameAssembly : public ::testing::TestWithParam<AssemblyCase> {};

TEST_P(FrameAssembly, GathersOrDrops) {
  const AssemblyCase& p = GetParam();
  FrameSpec spec{.format = 17, .data = Counting(p.stored, 0xA0)};
  spec.storedCount = p.countByte;
  spec.continuationCount = p.headContinuations;
  CaptureBuilder full;
  full.Frame(spec);
  CaptureBuilder b;
  int keep = p.keepRecords < 0 ? static_cast<int>(full.records().size()) : 1 + p.keepRecords;
  for (int i = 0; i < keep; ++i) b.Raw(full.records()[i]);
  for (const Bytes& r : p.extra) b.Raw(r);
  CanFrame f;
  ASSERT_EQ(Assemble(b, f), p.ok);
  if (!p.ok) return;
  ASSERT_EQ(f.count, p.count);
  Bytes expected = Counting(static_cast<size_t>(p.count), 0xA0);
  EXPECT_EQ(Bytes(f.data, f.data + f.count), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameAssembly,
    ::testing::ValuesIn(std::vector<AssemblyCase>{
        {"eight_bytes_need_no_continuation", 8, {}, {}, 0, {Continuation(0x20, 1)}, true, 8},
        {"nine_bytes_use_the_first", 9, {}, {}, -1, {}, true, 9},
        {"thirty_six_bytes_use_the_first_only", 36, {}, {}, -1, {}, true, 36},
        {"sixty_four_bytes_use_both", 64, {}, {}, -1, {}, true, 64},
        {"count_above_64_reads_as_64", 64, 200, {}, -1, {}, true, 64},
        {"first_missing_at_the_end", 20, {}, {}, 0, {}, false, 0},
        {"first_of_another_type", 20, {}, {}, 0, {Continuation(0x01, 1)}, false, 0},
        {"first_is_a_head", 20, {}, {}, 0, {test::HeadRecord(0x00, 1, 5)}, false, 0},
        {"first_with_sequence_2", 20, {}, {}, 0, {Continuation(0x00, 2)}, false, 0},
        // The head's continuation count does not matter below 37 bytes.
        {"head_count_zero_with_20_bytes", 20, {}, 0, -1, {}, true, 20},
        {"head_count_zero_with_40_bytes", 40, {}, 0, -1, {}, false, 0},
        {"second_missing", 40, {}, {}, 1, {}, false, 0},
        {"second_with_sequence_1", 40, {}, {}, 1, {Continuation(0x00, 1)}, false, 0},
        {"second_of_another_type", 40, {}, {}, 1, {Continuation(0x10, 2)}, false, 0},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameAssembly, ReadsTheHeadFields) {
  CaptureBuilder b;
  b.Frame({.line = 2,
           .format = 19,
           .trigger = true,
           .status = 5,
           .fdFlags = 0x60,
           .dlc = 14,
           .id = 0x1ABCDEF0,
           .fc = 0x00654321,
           .data = Counting(4, 0xA0)});
  CanFrame f;
  ASSERT_TRUE(Assemble(b, f));
  EXPECT_EQ(f.kind.frameClass, FrameClass::FdData);
  EXPECT_EQ(f.kind.idBits, 29);
  EXPECT_TRUE(f.trigger);
  EXPECT_EQ(f.status, 5);
  EXPECT_EQ(f.dlc, 14);
  EXPECT_EQ(f.id, 0x1ABCDEF0u);
  EXPECT_EQ(f.fc, 0x00654321u);
  EXPECT_TRUE(f.brs);
  EXPECT_TRUE(f.esi);
}

// BRS and ESI are bits 4 and 5 with 11-bit identifiers, bits 5 and 6 with 29-bit ones, and
// mean nothing in classic frames.
struct FlagCase {
  uint8_t format;
  uint8_t flags;
  bool brs, esi;
};

void PrintTo(const FlagCase& c, std::ostream* os) {
  *os << "format " << int{c.format} << " flags " << int{c.flags};
}

class FdFlags : public ::testing::TestWithParam<FlagCase> {};

TEST_P(FdFlags, SitByIdentifierWidth) {
  CaptureBuilder b;
  b.Frame({.format = GetParam().format, .fdFlags = GetParam().flags});
  CanFrame f;
  ASSERT_TRUE(Assemble(b, f));
  EXPECT_EQ(f.brs, GetParam().brs);
  EXPECT_EQ(f.esi, GetParam().esi);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FdFlags,
    ::testing::Values(FlagCase{17, 0x10, true, false}, FlagCase{33, 0x20, false, true},
                      FlagCase{17, 0x40, false, false}, FlagCase{19, 0x10, false, false},
                      FlagCase{35, 0x20, true, false}, FlagCase{19, 0x40, false, true},
                      FlagCase{1, 0x30, false, false}, FlagCase{3, 0x60, false, false}));

}  // namespace
}  // namespace dtconv
