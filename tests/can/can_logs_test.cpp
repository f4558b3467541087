// The pcapng, Vector ASC and candump log writers: whole outputs against golden files, the pcapng
// block structure and interfaces, and the date and time texts of the logs.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "can/cvt_asc.h"
#include "can/cvt_candump.h"
#include "can/cvt_pcapng.h"
#include "capture_builder.h"
#include "run_converter.h"
#include "test_files.h"

namespace dtconv {
namespace {

using test::Bytes;
using test::CaptureBuilder;
using test::Counting;
using test::FrameSpec;

// A head record whose continuation records are left out.
Bytes HeadOnly(const FrameSpec& f) {
  CaptureBuilder b;
  b.Frame(f);
  return b.records()[0];
}

// Both lines with every frame class, status and CAN FD flag, DLCs that do and do not agree with
// the stored bytes, markers, analog samples and GNSS fixes between the frames, and a frame whose
// continuation record is missing.
CaptureBuilder EveryKind() {
  CaptureBuilder b;
  b.timeBaseNanoseconds = 123456789;
  b.can[1] = {250000, 5000000, 80, 70, true};
  b.Frame({.timestamp = 1000000, .format = 1, .dlc = 8, .id = 0x123, .data = Counting(8, 0x11)});
  b.Frame({.line = 2,
           .timestamp = 1000250,
           .format = 3,
           .trigger = true,
           .status = 3,
           .dlc = 9,
           .id = 0x18DAF110,
           .data = Counting(8, 0xF0)});
  b.Analog({.timestamp = 1000300, .words = {1, 2, 3, 4}});
  b.Frame({.timestamp = 1002000, .format = 2, .dlc = 4, .id = 0x7FF});
  b.Frame({.line = 2, .timestamp = 1002500, .format = 4, .status = 1, .id = 0x1FFFFFFF});
  b.Frame({.timestamp = 1010000, .format = 5, .status = 4, .dlc = 3, .id = 0x55});
  b.Marker(0x81, 1010500);
  b.Fix({.timestamp = 1011000, .satellites = 7, .utc = {2026, 12, 6, 9, 30, 1}});
  b.Frame({.timestamp = 1500000,
           .format = 17,
           .fdFlags = 0x10,
           .dlc = 15,
           .id = 0x0AB,
           .fc = 0x123456,
           .data = Counting(64, 0x40)});
  b.Frame({.line = 2,
           .typeNibble = 3,
           .timestamp = 1500800,
           .format = 35,
           .fdFlags = 0x60,
           .dlc = 9,
           .id = 0x00ABCDEF,
           .fc = 0x0FEDCB,
           .data = Counting(12, 0xA0)});
  b.Frame({.timestamp = 2000000,
           .format = 33,
           .status = 2,
           .fdFlags = 0x20,
           .dlc = 13,
           .id = 0x100,
           .fc = 0x00000A,
           .data = Counting(32, 0x00)});
  b.Marker(0x80, 2100000);
  // The recorded DLC 15 says 64 bytes, 20 are stored: the DLC of 20 bytes is shown.
  b.Frame({.line = 2,
           .timestamp = 2250000,
           .format = 19,
           .fdFlags = 0x10,
           .dlc = 15,
           .id = 0x1,
           .fc = 0xABCDEF,
           .data = Counting(20, 0x80)});
  b.Frame({.line = 2, .timestamp = 2250001, .format = 17, .dlc = 0, .id = 0x2});
  b.Frame({.timestamp = 3000000, .format = 9, .status = 2, .dlc = 8, .data = Counting(8)});
  b.Frame({.line = 2,
           .timestamp = 3000001,
           .format = 1,
           .status = 7,
           .dlc = 2,
           .id = 0xFFFFF800,
           .data = {0xDE, 0xAD}});
  // The recorded DLC 8 says 8 bytes, 3 are stored.
  b.Frame({.timestamp = 3000002, .format = 1, .dlc = 8, .id = 0x3, .data = {1, 2, 3}});
  b.Frame({.timestamp = 3000003, .format = 2, .status = 5, .dlc = 3, .id = 0x4});
  b.Frame({.timestamp = 3000004, .format = 5, .status = 0});
  b.Raw(
      HeadOnly({.timestamp = 3500000, .format = 17, .dlc = 11, .id = 0x7E0, .data = Counting(20)}));
  b.Analog({.timestamp = 3500100});
  b.Frame({.timestamp = 3600000,
           .format = 3,
           .status = 5,
           .dlc = 15,
           .id = 0xABC,
           .data = Counting(8, 0x10)});
  b.Frame({.line = 2,
           .timestamp = 90061000500,
           .format = 1,
           .status = 6,
           .dlc = 1,
           .id = 0x001,
           .data = {0x5A}});
  b.Frame({.timestamp = 200000000000, .format = 1, .dlc = 0, .id = 0x000});
  return b;
}

CaptureBuilder OneFrameKind16() {
  CaptureBuilder b;
  b.recordingKind = 16;
  b.Frame({.line = 2, .timestamp = 5, .format = 1, .dlc = 1, .id = 0x42, .data = {0x99}});
  return b;
}

struct LogRun {
  int32_t type = kCvtCanPcapng;
  int32_t signalLine = 0;
  uint32_t outputBits = kOutCrLf;
  std::array<std::string, 2> names{"can0", "can1"};
};

std::string Convert(const CaptureBuilder& b, const LogRun& run) {
  auto r = test::RunConverter(
      b.Build(), test::SettingsFor(run.type, 0, 0, run.outputBits, u",", run.signalLine),
      [&](const MonitorData& d, ConverterContext& c) {
        c.interfaceNames = run.names;
        if (run.type == kCvtCanPcapng) {
          CTxtCvtPcapng cv;
          ConvertPcapng(cv, d, c);
        } else if (run.type == kCvtCanAsc) {
          CTxtCvtAsc cv;
          ConvertAsc(cv, d, c);
        } else {
          CTxtCvtCandump cv;
          ConvertCandump(cv, d, c);
        }
      });
  EXPECT_EQ(r.result, 0u);
  return r.bytes;
}

struct GoldenCase {
  const char* name;  // golden file under can/
  std::function<CaptureBuilder()> capture;
  LogRun run;
};

void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.name; }

class CanLogGolden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(CanLogGolden, MatchesWholeOutput) {
  // The ASC date lines are local time: one hour east of UTC (a POSIX rule, which the Windows C
  // runtime reads the same way).
  test::SetTimeZone("CET-1");
  const GoldenCase& c = GetParam();
  std::string out = Convert(c.capture(), c.run);
  EXPECT_EQ(test::CompareGolden(std::string("can/") + c.name, out), "");
  test::SetTimeZone("UTC0");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CanLogGolden,
    ::testing::ValuesIn(std::vector<GoldenCase>{
        {"pcapng_both_lines.pcapng", EveryKind, {}},
        {"pcapng_ch2_only.pcapng", EveryKind, {.signalLine = 2}},
        {"pcapng_empty.pcapng", [] { return CaptureBuilder{}; }, {}},
        {"pcapng_recording_kind16.pcapng", OneFrameKind16, {}},
        {"asc_both_lines.asc", EveryKind, {.type = kCvtCanAsc}},
        {"asc_ch1_only_lf.asc",
         EveryKind,
         {.type = kCvtCanAsc, .signalLine = 1, .outputBits = kOutLf}},
        {"asc_empty.asc", [] { return CaptureBuilder{}; }, {.type = kCvtCanAsc}},
        {"candump_both_lines.log", EveryKind, {.type = kCvtCanCandump, .outputBits = kOutLf}},
        {"candump_ch2_only_vcan.log",
         EveryKind,
         {.type = kCvtCanCandump,
          .signalLine = 2,
          .outputBits = kOutLf,
          .names = {"vcan0", "vcan1"}}},
    }),
    [](const auto& info) {
      std::string n = info.param.name;
      for (char& ch : n) {
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return n;
    });

TEST(CandumpLog, EmptyCaptureWritesNothing) {
  EXPECT_EQ(Convert(CaptureBuilder{}, {.type = kCvtCanCandump, .outputBits = kOutLf}), "");
}

// The blocks of a pcapng file, checked for consistent lengths at both ends.
struct PcapngBlock {
  uint32_t type;
  std::string body;  // between the leading length and the trailing length
};

uint32_t Le32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(s[at + static_cast<size_t>(i)]);
  return v;
}

std::vector<PcapngBlock> Blocks(const std::string& file) {
  std::vector<PcapngBlock> blocks;
  size_t at = 0;
  while (at < file.size()) {
    if (file.size() - at < 12) {
      ADD_FAILURE() << "a block of less than 12 bytes at " << at;
      break;
    }
    uint32_t length = Le32(file, at + 4);
    if (length % 4 != 0 || length < 12 || length > file.size() - at) {
      ADD_FAILURE() << "block length " << length << " at " << at;
      break;
    }
    EXPECT_EQ(Le32(file, at + length - 4), length) << "trailing length of the block at " << at;
    blocks.push_back({Le32(file, at), file.substr(at + 8, length - 12)});
    at += length;
  }
  return blocks;
}

// Interface, timestamp and SocketCAN identifier word of each packet.
struct Packet {
  uint32_t interfaceId;
  uint64_t micros;
  uint32_t idWord;
  bool operator==(const Packet&) const = default;
};

void PrintTo(const Packet& p, std::ostream* os) {
  *os << "{if " << p.interfaceId << ", " << p.micros << " us, id word 0x" << std::hex << p.idWord
      << std::dec << "}";
}

std::vector<Packet> Packets(const std::string& file) {
  std::vector<PcapngBlock> blocks = Blocks(file);
  std::vector<Packet> packets;
  EXPECT_GE(blocks.size(), 3u);
  for (size_t i = 0; i < blocks.size(); ++i) {
    const PcapngBlock& b = blocks[i];
    uint32_t expectedType = i == 0 ? 0x0A0D0D0A : i < 3 ? 1 : 6;
    EXPECT_EQ(b.type, expectedType) << "block " << i;
    if (b.type != 6) continue;
    uint32_t captured = Le32(b.body, 12);
    EXPECT_EQ(Le32(b.body, 16), captured);
    EXPECT_EQ(b.body.size(), 20 + (captured + 3) / 4 * 4);
    uint32_t idWord = 0;
    for (int k = 0; k < 4; ++k) idWord = idWord << 8 | static_cast<uint8_t>(b.body[20 + k]);
    packets.push_back(
        {Le32(b.body, 0), static_cast<uint64_t>(Le32(b.body, 4)) << 32 | Le32(b.body, 8), idWord});
  }
  return packets;
}

struct LineCase {
  int32_t signalLine;
  std::vector<Packet> packets;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << "signal line " << c.signalLine; }

class PcapngLines : public ::testing::TestWithParam<LineCase> {};

constexpr uint64_t kBaseMicros = 1796549400ull * 1000000;

TEST_P(PcapngLines, PutEachFrameOnItsLinesInterface) {
  CaptureBuilder b;
  b.Frame({.line = 1, .timestamp = 1, .format = 1, .id = 0x101});
  b.Frame(
      {.line = 2, .timestamp = 2, .format = 3, .status = 1, .dlc = 1, .id = 0x202, .data = {7}});
  b.Frame({.line = 1, .typeNibble = 5, .timestamp = 3, .format = 5, .status = 4});
  b.Frame({.line = 2, .typeNibble = 0xF, .timestamp = 4, .format = 1, .id = 0x204});
  EXPECT_EQ(Packets(Convert(b, {.signalLine = GetParam().signalLine})), GetParam().packets);
}

const Packet kCh1Frame{0, kBaseMicros + 1, 0x101};
const Packet kCh2Frame{1, kBaseMicros + 2, 0x80000202};
const Packet kCh2AckError{1, kBaseMicros + 2, 0x20000020};
const Packet kCh1StuffError{0, kBaseMicros + 3, 0x20000008};
const Packet kCh2LastFrame{1, kBaseMicros + 4, 0x204};

INSTANTIATE_TEST_SUITE_P(
    Cases, PcapngLines,
    ::testing::Values(
        LineCase{0, {kCh1Frame, kCh2Frame, kCh2AckError, kCh1StuffError, kCh2LastFrame}},
        LineCase{1, {kCh1Frame, kCh1StuffError}},
        LineCase{2, {kCh2Frame, kCh2AckError, kCh2LastFrame}},
        LineCase{3, {kCh1Frame, kCh2Frame, kCh2AckError, kCh1StuffError, kCh2LastFrame}}));

TEST(PcapngWriter, KeepsTimestampsBeyond32BitSeconds) {
  CaptureBuilder b;
  b.timeBaseSeconds = 5000000000;  // in the year 2128
  b.timeBaseNanoseconds = 999999999;
  b.Frame({.timestamp = 0xFFFFFFFFFFFFull, .format = 1, .id = 0x1});
  std::vector<Packet> packets = Packets(Convert(b, {}));
  EXPECT_EQ(packets,
            (std::vector<Packet>{{0, 5000000000ull * 1000000 + 999999 + 0xFFFFFFFFFFFFull, 0x1}}));
}

struct DateCase {
  const char* zone;
  int64_t baseSeconds;
  int64_t baseNanoseconds;
  const char* dateLine;
};

void PrintTo(const DateCase& c, std::ostream* os) { *os << c.zone << " " << c.baseSeconds; }

class AscDate : public ::testing::TestWithParam<DateCase> {};

TEST_P(AscDate, IsTheCaptureStartInLocalTime) {
#ifdef _WIN32
  // The Windows C runtime reads only a zone's offset from TZ and applies US summer time rules to
  // any summer time name; on Windows the zone comes from the system settings instead.
  if (std::strchr(GetParam().zone, ',') != nullptr) GTEST_SKIP();
#endif
  test::SetTimeZone(GetParam().zone);
  CaptureBuilder b;
  b.timeBaseSeconds = GetParam().baseSeconds;
  b.timeBaseNanoseconds = GetParam().baseNanoseconds;
  std::string out = Convert(b, {.type = kCvtCanAsc, .outputBits = kOutLf});
  std::string date = GetParam().dateLine;
  std::string trigger = "Begin Triggerblock " + date.substr(5);
  EXPECT_EQ(out, date + "\nbase hex  timestamps absolute\ninternal events logged\n" + trigger +
                     "\n   0.000000 Start of measurement\nEnd TriggerBlock\n");
  test::SetTimeZone("UTC0");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AscDate,
    ::testing::Values(
        DateCase{"UTC0", 1796549400, 0, "date Sun Dec 06 09:30:00.000 am 2026"},
        DateCase{"JST-9", 1796549400, 123456789, "date Sun Dec 06 06:30:00.123 pm 2026"},
        DateCase{"UTC0", 1796515200, 999999999, "date Sun Dec 06 12:00:00.999 am 2026"},
        DateCase{"UTC0", 1796558400, 0, "date Sun Dec 06 12:00:00.000 pm 2026"},
        // Summer time in Berlin: 2026-07-01 12:00:00 UTC is 14:00 local time.
        DateCase{"CET-1CEST,M3.5.0,M10.5.0/3", 1782907200, 0,
                 "date Wed Jul 01 02:00:00.000 pm 2026"},
        DateCase{"UTC0", 951782400, 0, "date Tue Feb 29 12:00:00.000 am 2000"},
        // A time base that local time cannot show gives the start of 1970.
        DateCase{"UTC0", -5, 0, "date Thu Jan 01 12:00:00.000 am 1970"}));

struct CandumpTimeCase {
  const char* name;
  int64_t baseSeconds;
  int64_t baseNanoseconds;
  uint64_t timestamp;
  const char* line;
};

void PrintTo(const CandumpTimeCase& c, std::ostream* os) { *os << c.name; }

class CandumpTime : public ::testing::TestWithParam<CandumpTimeCase> {};

TEST_P(CandumpTime, IsTheAbsoluteTimeToTheMicrosecond) {
  CaptureBuilder b;
  b.timeBaseSeconds = GetParam().baseSeconds;
  b.timeBaseNanoseconds = GetParam().baseNanoseconds;
  b.Frame({.timestamp = GetParam().timestamp, .format = 1, .dlc = 1, .id = 0x7, .data = {1}});
  EXPECT_EQ(Convert(b, {.type = kCvtCanCandump, .outputBits = kOutLf}),
            std::string(GetParam().line) + " can0 007#01\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CandumpTime,
    ::testing::ValuesIn(std::vector<CandumpTimeCase>{
        {"base_nanoseconds_truncated", 1796549400, 999999, 0, "(1796549400.000999)"},
        {"carry_into_the_second", 1796549400, 999999000, 1, "(1796549401.000000)"},
        {"ten_digit_seconds", 0, 0, 1500000, "(0000000001.500000)"},
        {"forty_eight_bit_timestamp", 0, 0, 0xFFFFFFFFFFFFull, "(0281474976.710655)"},
        {"damaged_negative_time_base", -2, 0, 500000, "(-0000000001.500000)"},
    }),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dtconv
