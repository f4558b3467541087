// The PCAP writer: the capture header, frame packets and error packets, byte for byte.
#include "can/cvt_pcap.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "capture_builder.h"
#include "run_converter.h"

namespace dtconv {
namespace {

using test::Bytes;
using test::CaptureBuilder;
using test::FrameSpec;

const Bytes kGlobalHeader = {0xD4, 0xC3, 0xB2, 0xA1, 0x02, 0x00, 0x04, 0x00, 0,    0, 0, 0,
                             0,    0,    0,    0,    0xFF, 0xFF, 0x00, 0x00, 0xE3, 0, 0, 0};

Bytes Pcap(const CaptureBuilder& b, int32_t signalLine = 0) {
  auto r = test::RunConverter(b.Build(), test::SettingsFor(kCvtCanPcap, 0, 0, 3, u",", signalLine),
                              [](const MonitorData& d, ConverterContext& c) {
                                CTxtCvtPcap cv;
                                ConvertPcap(cv, d, c);
                              });
  EXPECT_EQ(r.result, 0u);
  return Bytes(r.bytes.begin(), r.bytes.end());
}

// A packet record: the little-endian record header, then the eight SocketCAN header bytes as
// given, then the payload.
Bytes Packet(uint32_t seconds, uint32_t micros, const Bytes& canHeader, const Bytes& payload = {}) {
  Bytes p;
  uint32_t length = static_cast<uint32_t>(8 + payload.size());
  for (uint32_t v : {seconds, micros, length, length}) test::PutU32(p, v);
  p.insert(p.end(), canHeader.begin(), canHeader.end());
  p.insert(p.end(), payload.begin(), payload.end());
  return p;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

using test::Counting;

// Base time of the builder's captures: 2026-12-06 09:30:00 UTC.
constexpr uint32_t kBase = 1796549400;

TEST(PcapWriter, EmptyCaptureIsTheGlobalHeaderAlone) {
  CaptureBuilder b;
  EXPECT_EQ(Pcap(b), kGlobalHeader);
}

TEST(PcapWriter, OnlyMarkersGiveTheGlobalHeaderAlone) {
  CaptureBuilder b;
  b.Marker(0x81, 10).Marker(0x80, 20).Fix({.timestamp = 30}).Analog({.timestamp = 40});
  EXPECT_EQ(Pcap(b), kGlobalHeader);
}

struct PacketCase {
  const char* name;
  std::vector<FrameSpec> frames;
  Bytes packets;  // after the global header
};

void PrintTo(const PacketCase& c, std::ostream* os) { *os << c.name; }

class PcapPackets : public ::testing::TestWithParam<PacketCase> {};

TEST_P(PcapPackets, AreWrittenExactly) {
  CaptureBuilder b;
  for (const FrameSpec& f : GetParam().frames) b.Frame(f);
  EXPECT_EQ(Pcap(b), Join({kGlobalHeader, GetParam().packets}));
}

const Bytes kAckError = {0x20, 0x00, 0x00, 0x20, 8, 0, 0, 0};
const Bytes kProtocolError = {0x20, 0x00, 0x00, 0x08, 8, 0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Cases, PcapPackets,
    ::testing::ValuesIn(std::vector<PacketCase>{
        {"classic_29_bit_data",
         {{.timestamp = 1000250, .format = 3, .dlc = 8, .id = 0x18DAF110, .data = Counting(8, 1)}},
         Packet(kBase + 1, 250, {0x98, 0xDA, 0xF1, 0x10, 8, 0, 0, 8}, Counting(8, 1))},
        {"classic_11_bit_data_keeps_a_dlc_above_8",
         {{.timestamp = 5, .format = 1, .dlc = 12, .id = 0x123, .data = Counting(8)}},
         Packet(kBase, 5, {0x00, 0x00, 0x01, 0x23, 8, 0, 0, 12}, Counting(8))},
        {"identifier_bits_above_the_width_are_masked",
         {{.format = 1, .dlc = 1, .id = 0xFFFFF9AB, .data = {0x55}},
          {.format = 3, .dlc = 1, .id = 0xFFFFFFFF, .data = {0x66}}},
         Join({Packet(kBase, 0, {0x00, 0x00, 0x01, 0xAB, 1, 0, 0, 1}, {0x55}),
               Packet(kBase, 0, {0x9F, 0xFF, 0xFF, 0xFF, 1, 0, 0, 1}, {0x66})})},
        {"remote_11_bit",
         {{.timestamp = 7, .format = 2, .dlc = 4, .id = 0x123}},
         Packet(kBase, 7, {0x40, 0x00, 0x01, 0x23, 0, 0, 0, 4})},
        {"remote_29_bit",
         {{.format = 4, .dlc = 2, .id = 0x0ABCDEF}},
         Packet(kBase, 0, {0xC0, 0xAB, 0xCD, 0xEF, 0, 0, 0, 2})},
        {"fd_64_bytes_brs_11_bit",
         {{.format = 17, .fdFlags = 0x10, .dlc = 15, .id = 0x7FF, .data = Counting(64)}},
         Packet(kBase, 0, {0x00, 0x00, 0x07, 0xFF, 64, 0x05, 0, 0}, Counting(64))},
        {"fd_esi_11_bit",
         {{.format = 33, .fdFlags = 0x20, .dlc = 9, .id = 0x001, .data = Counting(12)}},
         Packet(kBase, 0, {0x00, 0x00, 0x00, 0x01, 12, 0x06, 0, 0}, Counting(12))},
        {"fd_brs_esi_29_bit",
         {{.format = 35, .fdFlags = 0x60, .dlc = 10, .id = 0x1234567, .data = Counting(16)}},
         Packet(kBase, 0, {0x81, 0x23, 0x45, 0x67, 16, 0x07, 0, 0}, Counting(16))},
        {"fd_29_bit_bit_4_is_not_brs",
         {{.format = 19, .fdFlags = 0x10, .dlc = 2, .id = 0x10, .data = Counting(2)}},
         Packet(kBase, 0, {0x80, 0x00, 0x00, 0x10, 2, 0x04, 0, 0}, Counting(2))},
        {"data_with_status_3_adds_an_error_packet",
         {{.timestamp = 42, .format = 1, .status = 3, .dlc = 8, .id = 0x100, .data = Counting(8)}},
         Join({Packet(kBase, 42, {0x00, 0x00, 0x01, 0x00, 8, 0, 0, 8}, Counting(8)),
               Packet(kBase, 42, kProtocolError, {0, 0, 0x00, 0x08, 0, 0, 0, 0})})},
        {"status_1_ack_error",
         {{.format = 1, .status = 1, .dlc = 1, .id = 0x1, .data = {9}}},
         Join({Packet(kBase, 0, {0, 0, 0, 1, 1, 0, 0, 1}, {9}),
               Packet(kBase, 0, kAckError, {0, 0, 0, 0, 0, 0, 0, 0})})},
        {"status_2_form_error_crc_delimiter",
         {{.format = 5, .status = 2}},
         Packet(kBase, 0, kProtocolError, {0, 0, 0x02, 0x18, 0, 0, 0, 0})},
        {"status_4_stuff_error",
         {{.format = 5, .status = 4}},
         Packet(kBase, 0, kProtocolError, {0, 0, 0x04, 0x00, 0, 0, 0, 0})},
        {"status_5_active_error",
         {{.format = 37, .status = 5}},
         Packet(kBase, 0, kProtocolError, {0, 0, 0x40, 0x00, 0, 0, 0, 0})},
        {"status_6_form_error_ack_delimiter",
         {{.format = 21, .status = 6}},
         Packet(kBase, 0, kProtocolError, {0, 0, 0x02, 0x1B, 0, 0, 0, 0})},
        {"error_frame_with_status_0_gives_nothing", {{.format = 5, .status = 0}}, {}},
        {"status_above_6_gives_no_error_packet",
         {{.format = 5, .status = 7}, {.format = 1, .status = 9, .dlc = 1, .data = {1}}},
         Packet(kBase, 0, {0, 0, 0, 0, 1, 0, 0, 1}, {1})},
        {"empty_frame_with_status_gives_the_error_packet_only",
         {{.format = 2, .status = 3, .dlc = 3, .id = 0x123}},
         Packet(kBase, 0, kProtocolError, {0, 0, 0x00, 0x08, 0, 0, 0, 0})},
        {"empty_data_frame_with_status_0",
         {{.format = 1, .dlc = 0, .id = 0x7}},
         Packet(kBase, 0, {0, 0, 0, 7, 0, 0, 0, 0})},
        {"unknown_format_gives_the_error_packet_only",
         {{.format = 9, .status = 1, .dlc = 8, .data = Counting(8)}, {.format = 9, .data = {1}}},
         Packet(kBase, 0, kAckError, {0, 0, 0, 0, 0, 0, 0, 0})},
        {"head_continuation_count_is_not_needed_up_to_36_bytes",
         {{.format = 17, .status = 3, .dlc = 11, .data = Counting(20), .continuationCount = 0},
          {.timestamp = 9, .format = 1, .dlc = 1, .id = 0x2, .data = {3}}},
         Join({Packet(kBase, 0, {0, 0, 0, 0, 20, 0x04, 0, 0}, Counting(20)),
               Packet(kBase, 0, kProtocolError, {0, 0, 0x00, 0x08, 0, 0, 0, 0}),
               Packet(kBase, 9, {0, 0, 0, 2, 1, 0, 0, 1}, {3})})},
    }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PcapWriter, DropsAFrameWhoseContinuationIsMissing) {
  CaptureBuilder full;
  full.Frame({.format = 17, .dlc = 11, .data = Counting(20)});
  CaptureBuilder b;
  b.Raw(full.records()[0]);  // head without its continuation
  b.Analog({.timestamp = 3});
  b.Frame({.timestamp = 9, .format = 1, .dlc = 1, .id = 0x2, .data = {3}});
  EXPECT_EQ(Pcap(b), Join({kGlobalHeader, Packet(kBase, 9, {0, 0, 0, 2, 1, 0, 0, 1}, {3})}));
}

TEST(PcapWriter, TimestampAddsTheBaseNanosecondsWithCarry) {
  CaptureBuilder b;
  b.timeBaseNanoseconds = 123456789;  // 123456 us after truncation
  b.Frame({.timestamp = 2900000, .format = 1, .id = 0x1});
  b.Frame({.timestamp = 2876543, .format = 1, .id = 0x2});
  EXPECT_EQ(Pcap(b), Join({kGlobalHeader, Packet(kBase + 3, 23456, {0, 0, 0, 1, 0, 0, 0, 0}),
                           Packet(kBase + 2, 999999, {0, 0, 0, 2, 0, 0, 0, 0})}));
}

TEST(PcapWriter, FortyEightBitTimestamps) {
  CaptureBuilder b;
  b.timeBaseSeconds = 0;
  b.Frame({.timestamp = 0xFFFFFFFFFFFFull, .format = 1, .id = 0x1});
  // 2^48 - 1 us = 281474976 s + 710655 us.
  EXPECT_EQ(Pcap(b), Join({kGlobalHeader, Packet(281474976, 710655, {0, 0, 0, 1, 0, 0, 0, 0})}));
}

struct LineCase {
  int32_t signalLine;
  std::vector<uint32_t> ids;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << "signal line " << c.signalLine; }

class PcapLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(PcapLines, SelectFramesInRecordOrder) {
  CaptureBuilder b;
  b.Frame({.line = 1, .timestamp = 1, .format = 1, .id = 0x101});
  b.Frame({.line = 2, .timestamp = 2, .format = 1, .id = 0x202});
  b.Frame({.line = 1, .typeNibble = 5, .timestamp = 3, .format = 1, .id = 0x103});
  b.Frame({.line = 2, .typeNibble = 0xF, .timestamp = 4, .format = 1, .id = 0x204});
  Bytes expected = kGlobalHeader;
  for (uint32_t id : GetParam().ids) {
    Bytes p = Packet(kBase, id & 0xF,
                     {0, 0, static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id), 0, 0, 0, 0});
    expected.insert(expected.end(), p.begin(), p.end());
  }
  EXPECT_EQ(Pcap(b, GetParam().signalLine), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, PcapLines,
                         ::testing::Values(LineCase{0, {0x101, 0x202, 0x103, 0x204}},
                                           LineCase{1, {0x101, 0x103}}, LineCase{2, {0x202, 0x204}},
                                           LineCase{3, {0x101, 0x202, 0x103, 0x204}}));

}  // namespace
}  // namespace dtconv
