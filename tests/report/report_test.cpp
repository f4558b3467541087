// Report header texts and timestamp texts.
#include <gtest/gtest.h>

#include <cstring>

#include "capture_builder.h"
#include "gnss/gnss_fix.h"
#include "report/cvt_base.h"
#include "report/time_columns.h"
#include "run_converter.h"

namespace dtconv {
namespace {

struct VersionCase {
  uint32_t word;
  const char* text;
};
class Version : public ::testing::TestWithParam<VersionCase> {};
TEST_P(Version, Text) {
  char text[64];
  FormatVersion(GetParam().word, text);
  EXPECT_STREQ(text, GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(
    All, Version,
    ::testing::Values(VersionCase{0, "Unrecorded"}, VersionCase{0x00102A03, "1.02a.03"},
                      VersionCase{0x00102000, "1.02"}, VersionCase{0x00102005, "1.02.05"},
                      VersionCase{0x00102F00, "1.02f"}, VersionCase{0xABCFF1FF, "ABC.FF1.FF"},
                      VersionCase{0x00000001, "0.00.01"}));

struct BitRateCase {
  int32_t rate;
  const char* text;
};
class BitRate : public ::testing::TestWithParam<BitRateCase> {};
TEST_P(BitRate, Text) {
  char text[32];
  FormatBitRate(GetParam().rate, text);
  EXPECT_STREQ(text, GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(All, BitRate,
                         ::testing::Values(BitRateCase{0, "--"}, BitRateCase{125000, "125k"},
                                           BitRateCase{500000, "500k"}, BitRateCase{1000000, "1M"},
                                           BitRateCase{2000000, "2M"},
                                           BitRateCase{1250000, "1.25M"},
                                           BitRateCase{5333333, "5.333M"},
                                           BitRateCase{10000000, "10M"},
                                           BitRateCase{83333, "83333"}, BitRateCase{99999, "99999"},
                                           BitRateCase{100000, "100k"}, BitRateCase{999999, "999k"},
                                           BitRateCase{1001000, "1.001M"}, BitRateCase{-5, "-5"}));

struct ModelCase {
  uint32_t model;
  uint32_t board;
  const char* name;
  const char* boardName;  // null: no Extension line
};
class Model : public ::testing::TestWithParam<ModelCase> {};
TEST_P(Model, Names) {
  DataInfo info;
  info.identity.SetU32(20, GetParam().model);
  info.identity.SetU32(24, GetParam().board);
  EXPECT_STREQ(ModelName(GetParam().model), GetParam().name);
  const char* board = BoardName(info);
  if (GetParam().boardName == nullptr) {
    EXPECT_EQ(board, nullptr);
  } else {
    EXPECT_STREQ(board, GetParam().boardName);
  }
}
INSTANTIATE_TEST_SUITE_P(All, Model,
                         ::testing::Values(ModelCase{0x30105, 37, "PX-5100", "EXB-CA"},
                                           ModelCase{0x302FF, 33, "PX-5100R", "EXB-G1"},
                                           ModelCase{0x30300, 34, "PX-5200", "EXB-G10"},
                                           ModelCase{0x30401, 35, "PX-5200R", "EXB-S2"},
                                           ModelCase{0x30100, 36, "PX-5100", "EXB-T1"},
                                           ModelCase{0x30100, 38, "PX-5100", "Unknown"},
                                           ModelCase{0x12001, 37, "Unknown", nullptr},
                                           ModelCase{0x30500, 37, "Unknown", nullptr},
                                           ModelCase{0, 37, "Unrecorded", nullptr}));

struct SerialCase {
  uint32_t model;
  std::string serial;
  const char* text;
};
class Serial : public ::testing::TestWithParam<SerialCase> {};
TEST_P(Serial, Text) {
  DataInfo info;
  info.identity.SetU32(20, GetParam().model);
  std::memcpy(info.identity.b + 28, GetParam().serial.data(), GetParam().serial.size());
  char text[64];
  FormatSerial(info, text, sizeof text);
  EXPECT_STREQ(text, GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(
    All, Serial,
    ::testing::Values(SerialCase{0x30100, std::string("\0ABC", 4), "Unrecorded"},
                      SerialCase{0x30100, "ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNO"},
                      SerialCase{0x12011, "ABCDEFGHIJKLMNOP", "ABCDEFGH"},
                      SerialCase{0x12033, "ABCDEFGHIJ", "ABCDEFGH"},
                      SerialCase{0x12021, "ABCDEFGHIJ", "ABCDEFGHIJ"},
                      SerialCase{0x30100, "AB 123", "AB"},
                      SerialCase{0x30100,
                                 "AB\x7F"
                                 "12",
                                 "AB"},
                      SerialCase{0x30100, "AB\t12", "AB"},
                      SerialCase{0x30100, "A1234567", "A1234567"}));

// The time column of a record, as a string.
std::string ColumnOf(TimeColumns& times, const MonitorRecord& r) {
  char text[64];
  return std::string(text, times.PutColumn(text, r));
}

MonitorRecord At(uint64_t t) {
  MonitorRecord r;
  auto b = test::HeadRecord(0x01, 0, t);
  std::memcpy(r.bytes, b.data(), 32);
  return r;
}

struct ColumnCase {
  int style;
  int64_t baseSeconds, baseNanos;
  uint64_t t;
  const char* text;
};
class Column : public ::testing::TestWithParam<ColumnCase> {};
TEST_P(Column, Text) {
  test::SetTimeZone("UTC");
  TimeColumns times;
  auto style = static_cast<TimeStyle>(GetParam().style);
  times.Reset(style, GetParam().baseSeconds, GetParam().baseNanos);
  std::string text = ColumnOf(times, At(GetParam().t));
  EXPECT_EQ(text, GetParam().text);
  if (GetParam().style <= 6) {
    EXPECT_EQ(text.size(), 14u);
    EXPECT_EQ(std::strlen(TimeColumnTitle(style)), 14u);
  }
}
INSTANTIATE_TEST_SUITE_P(
    All, Column,
    ::testing::Values(
        ColumnCase{10, 0, 0, 0, "1970/01/01 00:00:00"},
        ColumnCase{1, 0, 999999000, 1, " 00:01.000000 "},
        ColumnCase{2, 1796549400, 250000000, 1500, " 09:30:00.251 "},
        ColumnCase{3, 1796549400, 0, 86400000000ull, "12/07 09:30:00"},
        ColumnCase{4, 0, 0, 123456789012ull, " 23456.789012 "},
        ColumnCase{6, 0, 0, 90061000000ull, " 001 01:01:01 "},
        ColumnCase{5, 0, 0, 1234567, " 00000001.234 "},
        ColumnCase{5, 0, 0, (1ull << 48) - 1, " 81474976.710 "},
        // Before 1970 and past the year 3000: dashes of the same width, on every platform.
        ColumnCase{1, -10, 0, 0, " --:--.------ "},
        ColumnCase{3, 32535215999, 0, 1000000, "--/-- --:--:--"},
        ColumnCase{10, 32535215999, 0, 0, "3000/12/31 23:59:59"},
        ColumnCase{10, -1, 0, 0, "----/--/-- --:--:--"}));

TEST(Difference, Style0SequenceAndReset) {
  TimeColumns times;
  times.Reset(TimeStyle::kDelta, 0, 0);
  std::vector<std::string> got;
  for (uint64_t t : {1000000ull, 1500000ull, 1500000ull + 100000000000ull,
                     1600000ull + 100000000000ull, 500000ull}) {
    got.push_back(ColumnOf(times, At(t)));
  }
  EXPECT_EQ(got, (std::vector<std::string>{"   --------   ", " 00000.500000 ", "   --------   ",
                                           " 00000.100000 ", "   --------   "}));
}

// Every CSV time cell of a record: Elapsed, Date, Time, the sub-second cell, TimeDiff.
std::string Cells(TimeColumns& times, uint64_t t) {
  char text[256];
  return std::string(text, times.PutCells(text, At(t), text::Delimiter("|"), true, true));
}

TEST(TimeCells, Cells) {
  test::SetTimeZone("UTC");
  TimeColumns times;
  times.Reset(TimeStyle::kCsvMicroseconds, 1796549400, 0);
  EXPECT_EQ(Cells(times, 5), " 0.000005 |2026/12/06|09:30:00|5|--------");
  EXPECT_EQ(Cells(times, 2000006), " 2.000006 |2026/12/06|09:30:02|6|2.000001");
  times.Reset(TimeStyle::kCsvMilliseconds, 1796549400, 0);
  EXPECT_EQ(Cells(times, 3005000), " 3.005000 |2026/12/06|09:30:03|5|--------");
  times.Reset(TimeStyle::kCsvSeconds, 1796549400, 0);
  EXPECT_EQ(Cells(times, 3000000), " 3.000000 |2026/12/06|09:30:03|--------");
  times.Reset(TimeStyle::kCsvMicroseconds, 1796549400, 0);
  EXPECT_EQ(Cells(times, 4000000), " 4.000000 |2026/12/06|09:30:04|0|--------");
}

struct ZoneCase {
  const char* tz;
  int64_t seconds;
  const char* text;  // style 10
};
class Zone : public ::testing::TestWithParam<ZoneCase> {};
TEST_P(Zone, LocalTime) {
#ifdef _WIN32
  // The Windows C runtime reads only a zone's offset from TZ and applies US summer time rules to
  // any summer time name; on Windows the zone comes from the system settings instead.
  if (std::strchr(GetParam().tz, ',') != nullptr) GTEST_SKIP();
#endif
  test::SetTimeZone(GetParam().tz);
  TimeColumns times;
  times.Reset(TimeStyle::kFullDate, GetParam().seconds, 0);
  EXPECT_EQ(ColumnOf(times, At(0)), GetParam().text);
  test::SetTimeZone("UTC");
}
// POSIX zone rules, so Linux and the Windows C runtime read them the same way: Tokyo, and
// Berlin across the end of summer time on 2026-10-25 (01:00 UTC).
INSTANTIATE_TEST_SUITE_P(
    All, Zone,
    ::testing::Values(ZoneCase{"JST-9", 0, "1970/01/01 09:00:00"},
                      ZoneCase{"JST-9", 1796549400, "2026/12/06 18:30:00"},
                      ZoneCase{"CET-1CEST,M3.5.0,M10.5.0/3", 1792889999, "2026/10/25 02:59:59"},
                      ZoneCase{"CET-1CEST,M3.5.0,M10.5.0/3", 1792890000, "2026/10/25 02:00:00"},
                      ZoneCase{"UTC0", 1796549400, "2026/12/06 09:30:00"}));

TEST(FixDateTime, ValidAndNot) {
  test::CaptureBuilder b;
  test::FixSpec f;
  f.utc = {2026, 12, 6, 9, 5, 7};
  b.Fix(f);
  MonitorRecord r;
  std::memcpy(r.bytes, b.records()[0].data(), 32);
  char text[64];
  EXPECT_EQ(std::string(text, PutFixDate(text, r, true)), "2026/12/06");
  EXPECT_EQ(std::string(text, PutFixTime(text, r, true)), "09:05:07");
  EXPECT_EQ(std::string(text, PutFixDate(text, r, false)), "--------");
  EXPECT_EQ(std::string(text, PutFixTime(text, r, false)), "--------");
}

}  // namespace
}  // namespace dtconv
