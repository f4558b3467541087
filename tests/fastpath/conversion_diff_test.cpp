// Whole conversions of random captures against the plain reference formatters: every CAN text
// style, CAN CSV with each option, analog text and CSV on every front end, GNSS text and CSV, KML,
// the analog wave, PCAP, and the packets of pcapng. A capture holds every kind of record with
// random contents: frames of every format code (and unknown ones), broken continuations, markers,
// analog samples, GNSS fixes, unused record types, times that go back or jump ahead. The output
// must be the header the converter writes for the same capture without records, then exactly the
// reference rows.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "analog/cvt_ana.h"
#include "analog/cvt_awave.h"
#include "can/cvt_can.h"
#include "can/cvt_pcap.h"
#include "can/cvt_pcapng.h"
#include "diff_support.h"
#include "gnss/cvt_gps.h"
#include "gnss/cvt_kml.h"
#include "platform/platform.h"
#include "reference_format.h"
#include "run_converter.h"
#include "test_files.h"

namespace dtconv {
namespace {

using test::Bytes;
using test::CaptureBuilder;
using test::Random;

// ---- random captures

// The set-up of a capture: time base near a change of daylight saving time in CET-1CEST (the
// zone of these tests), or a hostile one; an analog front end with random ranges.
CaptureBuilder RandomHeader(Random& r) {
  CaptureBuilder b;
  switch (r.Below(4)) {
    case 0:
      b.timeBaseSeconds = 1774746000 - r.Below(600);  // 2026-03-29 01:00 UTC
      break;
    case 1:
      b.timeBaseSeconds = 1792890000 - r.Below(600);  // 2026-10-25 01:00 UTC
      break;
    case 2:
      b.timeBaseSeconds = static_cast<int64_t>(r.Next() % 40000000000ull) - 1000000;
      break;
    default:
      b.timeBaseSeconds = 1796549400;
      break;
  }
  b.timeBaseNanoseconds =
      r.OneIn(4) ? static_cast<int64_t>(r.Below(4000000001u)) - 2000000000 : r.Below(1000000000);
  b.recordingKind = static_cast<uint8_t>(r.OneIn(3) ? 16 : 0);
  b.analogPort = static_cast<uint8_t>(r.Below(4));
  if (b.analogPort == 3) {
    // XP-TC: channel count, period, then per channel range, type, burnout and compensation.
    b.analogSetup = Bytes(68, 0);
    b.analogSetup[0] = static_cast<uint8_t>(1 + r.Below(9));
    for (int ch = 0; ch < 8; ++ch) {
      b.analogSetup[4 + 8 * ch] = static_cast<uint8_t>(r.Below(8));
      b.analogSetup[8 + 8 * ch] = static_cast<uint8_t>(r.Below(9));
      b.analogSetup[9 + 8 * ch] = static_cast<uint8_t>(r.Below(2));
      b.analogSetup[10 + 8 * ch] = static_cast<uint8_t>(r.Below(2));
    }
  } else if (b.analogPort != 0) {
    b.analogSetup = Bytes(36, 0);
    for (size_t i = 0; i < b.analogSetup.size(); ++i)
      b.analogSetup[i] = static_cast<uint8_t>(r.Below(8));
  }
  for (int ch = 0; ch < 8; ++ch) {
    if (r.OneIn(2)) {
      auto zero = static_cast<int32_t>(r.Below(2001)) - 1000;
      b.calibration.push_back(
          {r.OneIn(4) ? false : true, zero, zero + static_cast<int32_t>(r.Below(2000000)),
           zero - static_cast<int32_t>(r.Below(2000000)), static_cast<int32_t>(r.Below(20000000))});
    }
  }
  return b;
}

Bytes RandomBytes(Random& r, size_t n) {
  Bytes b(n);
  for (uint8_t& x : b) x = static_cast<uint8_t>(r.Next());
  return b;
}

uint64_t NextTime(Random& r, uint64_t t) {
  uint32_t k = r.Below(100);
  if (k < 90) return t + r.Below(400000);
  if (k < 95) return t - std::min<uint64_t>(t, r.Below(2000000));
  return (t + r.Next() % 300000000000ull) & 0xFFFFFFFFFFFFull;
}

void AddFrame(Random& r, CaptureBuilder& b, uint64_t t) {
  static const uint8_t kFormats[] = {1, 1, 1, 2, 3, 3, 4, 5, 17, 17, 19, 19, 21, 33, 35, 37};
  test::FrameSpec f;
  f.line = 1 + static_cast<int>(r.Below(2));
  f.typeNibble = static_cast<uint8_t>(r.Below(16));
  f.timestamp = t;
  f.format = r.OneIn(20) ? static_cast<uint8_t>(r.Next()) : kFormats[r.Below(sizeof kFormats)];
  f.trigger = r.OneIn(10);
  f.status = static_cast<uint8_t>(r.OneIn(4) ? r.Below(9) : 0);
  f.fdFlags = static_cast<uint8_t>(r.Next());
  f.dlc = static_cast<uint8_t>(r.OneIn(10) ? r.Next() : r.Below(16));
  f.id = r.OneIn(5) ? static_cast<uint32_t>(r.Next()) : r.Below(0x800);
  f.fc = static_cast<uint32_t>(r.Next());
  f.data = RandomBytes(r, r.Below(65));
  if (r.OneIn(15)) f.storedCount = static_cast<uint8_t>(r.Next());
  if (r.OneIn(15)) f.continuationCount = static_cast<uint8_t>(r.Below(3));
  CaptureBuilder one;
  one.Frame(f);
  const auto& recs = one.records();
  // Now and then a continuation goes missing or comes out of order.
  for (size_t i = 0; i < recs.size(); ++i) {
    if (i > 0 && r.OneIn(40)) continue;
    Bytes rec = recs[i];
    if (i > 0 && r.OneIn(40)) rec[1] = static_cast<uint8_t>(r.Next());
    b.Raw(rec);
  }
}

void AddSample(Random& r, CaptureBuilder& b, uint64_t t) {
  test::AnalogSpec a;
  a.timestamp = t;
  a.type = static_cast<uint8_t>(0x30 + r.Below(3));
  a.referenceTemp = static_cast<int16_t>(r.Next());
  for (uint32_t& w : a.words) w = static_cast<uint32_t>(r.Next());
  a.eightChannels = !r.OneIn(10);
  b.Analog(a);
}

void AddFix(Random& r, CaptureBuilder& b, uint64_t t) {
  Bytes rec = test::HeadRecord(static_cast<uint8_t>(0x20 + r.Below(16)), 0, t);
  Bytes body = RandomBytes(r, 24);
  std::memcpy(rec.data() + 8, body.data(), 24);
  if (r.OneIn(2)) rec[15] = static_cast<uint8_t>(2 + r.Below(2));
  b.Raw(rec);
}

// A capture of `n` records of every kind, mostly of `main` ('c' CAN, 'a' analog, 'g' GNSS).
CaptureBuilder RandomCapture(Random& r, CaptureBuilder b, int64_t n, char main) {
  uint64_t t = r.OneIn(3) ? (r.Next() & 0xFFFFFFFFFFull) : 0;
  for (int64_t i = 0; i < n; ++i) {
    t = NextTime(r, t);
    uint32_t k = r.Below(100);
    if (k < 3) {
      b.Marker(static_cast<uint8_t>(0x80 + r.Below(3)), t);
    } else if (k < 5) {
      Bytes rec = RandomBytes(r, 32);
      if (r.OneIn(2)) rec[1] &= 0x7F;  // a stray continuation
      b.Raw(rec);
    } else if (k < 80) {
      if (main == 'c') AddFrame(r, b, t);
      if (main == 'a') AddSample(r, b, t);
      if (main == 'g') AddFix(r, b, t);
    } else if (k < 88) {
      AddFrame(r, b, t);
    } else if (k < 94) {
      AddSample(r, b, t);
    } else {
      AddFix(r, b, t);
    }
  }
  return b;
}

// ---- running both

struct Output {
  std::string eol, delimiter;
  bool utf8;
  uint32_t bits;
};

Output RandomOutput(Random& r) {
  static const char* kEols[] = {"\r\n", "\n", "\r"};
  static const uint32_t kEolBits[] = {0, 1, 2};
  int e = static_cast<int>(r.Below(3));
  bool utf8 = r.OneIn(2);
  std::string delimiter = r.OneIn(3) ? (r.OneIn(2) ? "\t" : ";|") : ",";
  return {kEols[e], delimiter, utf8, kEolBits[e] | (utf8 ? kOutUtf8 : 0u)};
}

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

class ConversionDiff : public ::testing::Test {
 public:
  void SetUp() override { test::SetTimeZone("CET-1CEST"); }
  void TearDown() override { test::SetTimeZone("UTC"); }

  // Converts `full` and `header` (the same capture without records) and compares the first with
  // the second's output followed by `rows`.
  void Check(const CaptureBuilder& header, const CaptureBuilder& full, const CvtSettings& s,
             const test::ConverterCall& call, const std::string& rows) {
    test::RunResult head = test::RunConverter(header.Build(), s, call);
    test::RunResult got = test::RunConverter(full.Build(), s, call);
    ASSERT_EQ(got.result, 0u);
    std::string diff = test::FirstDifference(head.bytes + rows, got.bytes);
    EXPECT_TRUE(diff.empty()) << "type " << s.type << " style " << s.timeStampStyle << " options "
                              << s.optionBits << " line " << s.signalLine << ": " << diff;
  }
};

TEST_F(ConversionDiff, CanTextAndCsv) {
  Random r(11);
  for (int round = 0; round < 6; ++round) {
    CaptureBuilder header = RandomHeader(r);
    CaptureBuilder full = RandomCapture(r, header, test::DiffCount(40000), 'c');
    MonitorData data = test::ParseCapture(full);
    for (int32_t style = 0; style <= 9; ++style) {
      bool csv = style >= 7;
      Output o = RandomOutput(r);
      CvtSettings s =
          test::SettingsFor(csv ? kCvtCanCsv : kCvtCanText, style, csv ? r.Below(16) : 0, o.bits,
                            Wide(o.delimiter), static_cast<int32_t>(r.Below(3)));
      CTxtCvtCAN cv;
      Check(
          header, full, s, [&](const MonitorData& d, ConverterContext& c) { ConvertCan(cv, d, c); },
          ref::CanRows(data, s, o.utf8, o.eol, o.delimiter));
    }
    // Analog and GNSS columns together, on every round.
    Output o = RandomOutput(r);
    CvtSettings s = test::SettingsFor(kCvtCanCsv, 7 + static_cast<int32_t>(r.Below(3)), 15, o.bits,
                                      Wide(o.delimiter));
    CTxtCvtCAN cv;
    Check(
        header, full, s, [&](const MonitorData& d, ConverterContext& c) { ConvertCan(cv, d, c); },
        ref::CanRows(data, s, o.utf8, o.eol, o.delimiter));
  }
}

TEST_F(ConversionDiff, Pcap) {
  Random r(12);
  for (int round = 0; round < 4; ++round) {
    CaptureBuilder header = RandomHeader(r);
    CaptureBuilder full = RandomCapture(r, header, test::DiffCount(50000), 'c');
    MonitorData data = test::ParseCapture(full);
    auto line = static_cast<int32_t>(r.Below(3));
    CvtSettings s = test::SettingsFor(kCvtCanPcap, 0, 0, 3, u",", line);
    CTxtCvtPcap cv;
    test::RunResult got = test::RunConverter(
        full.Build(), s, [&](const MonitorData& d, ConverterContext& c) { ConvertPcap(cv, d, c); });
    std::string expected = ref::PcapFile(data, line);
    EXPECT_EQ(got.bytes.size(), expected.size());
    EXPECT_TRUE(got.bytes == expected) << "line " << line;
  }
}

// The packets of a pcapng file as PCAP records: each Enhanced Packet Block's microseconds split
// into seconds and microseconds as the PCAP writer splits them, its lengths and its data; every
// other block is passed over. Empty when the blocks do not fit together.
std::string PcapRecordsOf(const std::string& pcapng) {
  auto u32 = [&](size_t at) {
    return LoadU32(reinterpret_cast<const uint8_t*>(pcapng.data()) + at);
  };
  std::string records;
  for (size_t at = 0; at + 12 <= pcapng.size();) {
    uint32_t type = u32(at), total = u32(at + 4);
    if (total < 12 || total % 4 != 0 || at + total > pcapng.size() ||
        u32(at + total - 4) != total) {
      return "";
    }
    if (type == 6) {
      auto micros = static_cast<int64_t>(static_cast<uint64_t>(u32(at + 12)) << 32 | u32(at + 16));
      uint32_t captured = u32(at + 20);
      if (28 + captured + 4 > total) return "";
      uint8_t head[16];
      uint32_t words[4] = {static_cast<uint32_t>(micros / 1000000),
                           static_cast<uint32_t>(micros % 1000000), captured, u32(at + 24)};
      for (int i = 0; i < 16; ++i) head[i] = static_cast<uint8_t>(words[i / 4] >> (8 * (i % 4)));
      records.append(reinterpret_cast<const char*>(head), 16);
      records.append(pcapng, at + 28, captured);
      // The padding after the packet is zero.
      for (size_t i = at + 28 + captured; i < at + total - 4; ++i) {
        if (pcapng[i] != '\0') return "";
      }
    }
    at += total;
  }
  return records;
}

TEST_F(ConversionDiff, PcapngPacketsAreThePcapPackets) {
  Random r(17);
  for (int round = 0; round < 4; ++round) {
    CaptureBuilder header = RandomHeader(r);
    CaptureBuilder full = RandomCapture(r, header, test::DiffCount(50000), 'c');
    MonitorData data = test::ParseCapture(full);
    auto line = static_cast<int32_t>(r.Below(3));
    CvtSettings s = test::SettingsFor(kCvtCanPcapng, 0, 0, 3, u",", line);
    CTxtCvtPcapng cv;
    test::RunResult got = test::RunConverter(
        full.Build(), s,
        [&](const MonitorData& d, ConverterContext& c) { ConvertPcapng(cv, d, c); });
    std::string expected = ref::PcapFile(data, line).substr(24);
    std::string records = PcapRecordsOf(got.bytes);
    EXPECT_EQ(records.size(), expected.size());
    EXPECT_TRUE(records == expected) << "line " << line;
  }
}

TEST_F(ConversionDiff, AnalogTextAndCsv) {
  Random r(13);
  for (int round = 0; round < 8; ++round) {
    CaptureBuilder header = RandomHeader(r);
    header.analogPort = static_cast<uint8_t>(1 + round % 3);
    if (header.analogPort == 3 && header.analogSetup.size() != 68)
      header.analogSetup = Bytes(68, 1);
    if (header.analogPort != 3 && header.analogSetup.size() != 36)
      header.analogSetup = Bytes(36, 0);
    CaptureBuilder full = RandomCapture(r, header, test::DiffCount(30000), 'a');
    MonitorData data = test::ParseCapture(full);
    for (int32_t style : {1, 2, 3, 4, 5, 6, 7, 8, 9}) {
      bool csv = style >= 7;
      Output o = RandomOutput(r);
      CvtSettings s = test::SettingsFor(csv ? kCvtAnalogCsv : kCvtAnalogText, style,
                                        csv ? r.Below(16) : 0, o.bits, Wide(o.delimiter));
      CTxtCvtANA cv;
      Check(
          header, full, s,
          [&](const MonitorData& d, ConverterContext& c) { ConvertAnalog(cv, d, c); },
          ref::AnalogRows(data, s, o.utf8, o.eol, o.delimiter));
    }
  }
}

// An XP-TC front end with eight channels of the range codes `ranges`, and `samples` samples of
// eight channels whose raw words `word` draws, at random increasing times.
template <typename Word>
std::pair<CaptureBuilder, CaptureBuilder> EightChannelCapture(Random& r,
                                                              const std::array<uint8_t, 8>& ranges,
                                                              const CaptureBuilder& base,
                                                              int samples, Word word) {
  CaptureBuilder header = base;
  header.analogPort = 3;
  header.analogSetup = Bytes(68, 0);
  header.analogSetup[0] = 8;
  for (int ch = 0; ch < 8; ++ch) header.analogSetup[4 + 8 * ch] = ranges[ch];
  CaptureBuilder full = header;
  uint64_t t = 0;
  for (int i = 0; i < samples; ++i) {
    test::AnalogSpec a;
    t += 1 + r.Below(100000);
    a.timestamp = t;
    a.eightChannels = true;
    for (uint32_t& w : a.words) w = word();
    full.Analog(a);
  }
  return {header, full};
}

// The analog rows of `full` in the text style or CSV style `style` against `rows`.
void CheckAnalogWidths(ConversionDiff& test, const CaptureBuilder& header,
                       const CaptureBuilder& full, const CvtSettings& s, const std::string& rows) {
  CTxtCvtANA cv;
  test.Check(
      header, full, s, [&](const MonitorData& d, ConverterContext& c) { ConvertAnalog(cv, d, c); },
      rows);
}

// Eight-channel rows among whose cells some lie exactly halfway between two texts: the -1V - +1V
// range (code 2) reads 2^-23 V a count, so 2^18 counts are 0.03125 V (halfway at the text's four
// decimals) and 2^17 or 3 * 2^17 counts 0.015625 V or 0.046875 V (halfway at the CSV's five). Such
// a row takes the exact rounding, the others the quick one.
TEST_F(ConversionDiff, AnalogRowsWithHalfwayCells) {
  Random r(15);
  const uint32_t kMinus = 1u << 24;  // the 24-bit reading of minus a count is kMinus - count
  const uint32_t kHalfway[] = {
      1u << 18, 1u << 17, 3u << 17, kMinus - (1u << 18), kMinus - (1u << 17), kMinus - (3u << 17)};
  auto [header,
        full] = EightChannelCapture(r, {2, 2, 2, 2, 2, 2, 2, 2}, CaptureBuilder(), 3000, [&] {
    return r.OneIn(20) ? kHalfway[r.Below(std::size(kHalfway))] : static_cast<uint32_t>(r.Next());
  });
  MonitorData data = test::ParseCapture(full);
  for (int32_t style : {1, 2, 5, 7, 8, 9}) {
    bool csv = style >= 7;
    Output o = RandomOutput(r);
    CvtSettings s = test::SettingsFor(csv ? kCvtAnalogCsv : kCvtAnalogText, style, 0, o.bits,
                                      Wide(o.delimiter));
    std::string rows = ref::AnalogRows(data, s, o.utf8, o.eol, o.delimiter);
    // Halfway values written both ways, so the exact rounding had its work.
    EXPECT_NE(rows.find(csv ? "0.01562" : "+0.0312"), std::string::npos);
    EXPECT_NE(rows.find(csv ? "-0.04688" : "-0.0312"), std::string::npos);
    CheckAnalogWidths(*this, header, full, s, rows);
  }
}

// Calibrated channels whose zero lies above the plus side's first readings: those readings scale
// below zero, and they keep their value although the minus side's readings are clamped at zero
// (0mA - 20mA (250ohm), code 4), while the uncalibrated channels' sides meet at zero.
TEST_F(ConversionDiff, AnalogRowsOfCalibratedChannels) {
  Random r(16);
  CaptureBuilder calibrated;
  for (int ch = 0; ch < 6; ++ch) {
    calibrated.calibration.push_back({true, 1000, 9000 + ch, -7000 - ch, 1000000});
  }
  // Readings near the calibrated zero on either side, or any at all.
  auto [header, full] = EightChannelCapture(r, {4, 2, 4, 2, 4, 2, 4, 2}, calibrated, 3000, [&] {
    return r.OneIn(3) ? static_cast<uint32_t>(r.Next())
                      : static_cast<uint32_t>(static_cast<int32_t>(r.Below(4000)) - 1500);
  });
  MonitorData data = test::ParseCapture(full);
  for (int32_t style : {1, 8}) {
    bool csv = style >= 7;
    Output o = RandomOutput(r);
    CvtSettings s = test::SettingsFor(csv ? kCvtAnalogCsv : kCvtAnalogText, style, 0, o.bits,
                                      Wide(o.delimiter));
    CheckAnalogWidths(*this, header, full, s, ref::AnalogRows(data, s, o.utf8, o.eol, o.delimiter));
  }
}

TEST_F(ConversionDiff, GnssTextCsvAndKml) {
  Random r(14);
  // CSV delimiters of every kind, blanks among them: the rows of fixes without a position end in
  // delimiters, whose trailing blanks every row loses.
  static const char* kDelimiters[] = {",", " ", "; ", "\t", ";|", "  ,  "};
  for (int round = 0; round < 6; ++round) {
    CaptureBuilder header = RandomHeader(r);
    // Time bases whose nanoseconds lie within a second, below zero and beyond a second.
    if (round % 3 == 1) header.timeBaseNanoseconds = -static_cast<int64_t>(r.Below(2000000000));
    if (round % 3 == 2) header.timeBaseNanoseconds = 1000000000 + r.Below(1000000000);
    CaptureBuilder full = RandomCapture(r, header, test::DiffCount(50000), 'g');
    MonitorData data = test::ParseCapture(full);
    for (int32_t type : {kCvtGnssText, kCvtGnssCsv, kCvtGnssKml}) {
      Output o = RandomOutput(r);
      if (type == kCvtGnssCsv) o.delimiter = kDelimiters[round];
      CvtSettings s = test::SettingsFor(type, 0, 0, o.bits, Wide(o.delimiter));
      if (type == kCvtGnssKml) {
        CTxtCvtKML cv;
        Check(
            header, full, s,
            [&](const MonitorData& d, ConverterContext& c) { ConvertKml(cv, d, c); },
            ref::KmlDocument(data, o.eol));
      } else {
        CTxtCvtGPS cv;
        Check(
            header, full, s,
            [&](const MonitorData& d, ConverterContext& c) { ConvertGnss(cv, d, c); },
            ref::GnssRows(data, s, o.eol, o.delimiter));
      }
    }
  }
}

TEST_F(ConversionDiff, AnalogWave) {
  Random r(15);
  for (int round = 0; round < 8; ++round) {
    CaptureBuilder b = RandomHeader(r);
    b.analogPort = 1;
    b.analogSetup = Bytes(36, 0);
    test::Calibration c1{
        r.OneIn(2), static_cast<int32_t>(r.Below(201)) - 100, static_cast<int32_t>(r.Below(800000)),
        -static_cast<int32_t>(r.Below(800000)), static_cast<int32_t>(r.Below(2000000))};
    b.waveInfo = CaptureBuilder::WaveInfoBytes(
        1, static_cast<uint8_t>(r.Below(5)), static_cast<uint8_t>(r.Below(5)),
        static_cast<uint8_t>(r.Below(18)), static_cast<uint8_t>(r.Below(4)),
        r.OneIn(3) ? -1 : static_cast<int32_t>(r.Next() >> r.Below(64)), c1, {});
    int64_t n = std::min<int64_t>(40000, test::DiffCount(40000) * 4);
    for (int64_t k = 0; k < n; ++k) b.waveSamples.push_back(static_cast<uint32_t>(r.Next()));
    MonitorData data = test::ParseCapture(b);
    Output o = RandomOutput(r);
    CvtSettings s = test::SettingsFor(kCvtAnalogWave, 0, 0, o.bits, Wide(o.delimiter));
    CTxtCvtAWave cv;
    test::RunResult got = test::RunConverter(
        b.Build(), s,
        [&](const MonitorData& d, ConverterContext& c) { ConvertAnalogWave(cv, d, c); });
    std::string diff = test::FirstDifference(ref::WaveRows(data, o.eol, o.delimiter), got.bytes);
    EXPECT_TRUE(diff.empty()) << diff;
  }
}

}  // namespace
}  // namespace dtconv
