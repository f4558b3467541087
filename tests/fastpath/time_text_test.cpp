// The time column and CSV time cells (as texts and as written in place in a row, with the texts
// of the latest second kept), with local time cached per minute, against the plain
// formatters that ask the platform for local time on every record: random record times and time
// bases (negative and out-of-range ones included, rows going back in time, differences of
// 100 000 s and more), in time zones with daylight saving, half-hour and 45-minute offsets,
// offsets with seconds and leap seconds, and across every offset change of several years.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "can/cvt_can.h"
#include "diff_support.h"
#include "reference_format.h"
#include "report/time_columns.h"
#include "run_converter.h"
#include "test_files.h"

namespace dtconv {
namespace {

using test::Random;

MonitorRecord RecordAt(uint64_t t) {
  MonitorRecord r;
  std::memcpy(r.bytes, test::HeadRecord(0x01, 0, t).data(), 32);
  return r;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The zone's offset from UTC at `t`, in seconds; false when local time is not available.
bool Offset(int64_t t, int64_t* offset) {
  platform::LocalTime lt{};
  if (!platform::ToLocalTime(t, &lt)) return false;
  int64_t local = DaysFromCivil(lt.year, lt.month, lt.day) * 86400 + lt.hour * 3600 +
                  lt.minute * 60 + lt.second;
  *offset = local - t;
  return true;
}

// Every second of the years [from, to) at which the zone's offset changes.
std::vector<int64_t> Transitions(int fromYear, int toYear) {
  std::vector<int64_t> found;
  int64_t start = DaysFromCivil(fromYear, 1, 1) * 86400, end = DaysFromCivil(toYear, 1, 1) * 86400;
  int64_t previous = 0;
  if (!Offset(start, &previous)) return found;
  for (int64_t t = start + 3600; t < end; t += 3600) {
    int64_t now = 0;
    if (!Offset(t, &now) || now == previous) continue;
    int64_t lo = t - 3600, hi = t;  // offset(lo) == previous, offset(hi) != previous
    while (hi - lo > 1) {
      int64_t mid = lo + (hi - lo) / 2, o = 0;
      Offset(mid, &o);
      (o == previous ? lo : hi) = mid;
    }
    found.push_back(hi);
    previous = now;
  }
  return found;
}

struct Zone {
  const char* tz;
  int fromYear, toYear;  // years whose offset changes are crossed
};

class TimeTexts : public ::testing::TestWithParam<Zone> {
 protected:
  void TearDown() override { test::SetTimeZone("UTC"); }
};

constexpr int32_t kColumnStyles[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, -1};
constexpr int32_t kCellStyles[] = {7, 8, 9};

TEST_P(TimeTexts, MatchPlainFormatting) {
  const Zone& zone = GetParam();
  test::SetTimeZone(zone.tz);
  std::vector<int64_t> changes = Transitions(zone.fromYear, zone.toYear);
  Random r(std::hash<std::string>{}(zone.tz) & 0xFFFF);
  int64_t records = test::DiffCount(60000);
  int failures = 0;
  while (records > 0 && failures < 5) {
    // One run of records on one time base, as in one capture.
    int64_t baseSeconds = 0, baseNanoseconds = 0;
    switch (r.Below(6)) {
      case 0:  // a minute or two before an offset change, crossing it
      case 1:
        baseSeconds = changes.empty()
                          ? 1796549400
                          : changes[r.Below(static_cast<uint32_t>(changes.size()))] - r.Below(150);
        baseNanoseconds = r.Below(1000000000);
        break;
      case 2:  // anywhere from 1970 to beyond the year 3000
        baseSeconds = static_cast<int64_t>(r.Next() % 33000000000ull);
        baseNanoseconds = r.Below(1000000000);
        break;
      case 3:  // negative and oversized nanoseconds
        baseSeconds = static_cast<int64_t>(r.Next() % 4000000000ull);
        baseNanoseconds = static_cast<int64_t>(r.Below(4000000001u)) - 2000000000;
        break;
      case 4:  // before 1970, or a hostile time base
        baseSeconds =
            r.OneIn(2) ? -static_cast<int64_t>(r.Below(100000)) : static_cast<int64_t>(r.Next());
        baseNanoseconds = static_cast<int64_t>(r.Next());
        break;
      default:  // ordinary captures of this decade
        baseSeconds = 1700000000 + r.Below(300000000);
        baseNanoseconds = r.Below(1000000000);
        break;
    }
    uint64_t t = r.OneIn(4) ? (r.Next() & 0xFFFFFFFFFFFFull) : r.Below(5000000);
    int run = 1 + static_cast<int>(r.Below(2000));
    // Every column style, and every cell style with all cells and with the date and time cells
    // alone (the usual rows, which take the texts kept of the latest second).
    const size_t columns = std::size(kColumnStyles), cellStyles = std::size(kCellStyles);
    std::vector<TimeColumns> times(columns + 2 * cellStyles);
    std::vector<int32_t> styles(times.size());
    std::vector<int64_t> previous(times.size(), -1);
    for (size_t k = 0; k < times.size(); ++k) {
      styles[k] = k < columns ? kColumnStyles[k] : kCellStyles[(k - columns) % cellStyles];
      times[k].Reset(static_cast<TimeStyle>(styles[k]), baseSeconds, baseNanoseconds);
    }
    for (int i = 0; i < run && failures < 5; ++i, --records) {
      // Mostly forward by up to two seconds, sometimes back in time or far ahead.
      uint32_t step = r.Below(100);
      if (step < 85) {
        t += r.Below(2000000);
      } else if (step < 92) {
        t -= std::min<uint64_t>(t, r.Below(3000000));
      } else if (step < 97) {
        t += r.Next() % 200000000000ull;
      } else {
        t = r.Next() & 0xFFFFFFFFFFFFull;
      }
      MonitorRecord rec = RecordAt(t);
      for (size_t k = 0; k < times.size(); ++k) {
        int32_t style = styles[k];
        std::string got, expected;
        char text[256];
        if (k < columns) {
          got.assign(text, times[k].PutColumn(text, rec));
          expected = ref::TimeColumn(rec, style, baseSeconds, baseNanoseconds, &previous[k]);
        } else {
          bool all = k < columns + cellStyles;
          got.assign(text, times[k].PutCells(text, rec, text::Delimiter("|"), all, all));
          ref::TimeCells e = ref::Cells(rec, style, baseSeconds, baseNanoseconds, &previous[k]);
          expected = (all ? e.elapsed + "|" : "") + e.date + "|" + e.time +
                     (style == 9 ? "" : "|" + e.subSecond) + (all ? "|" + e.difference : "");
        }
        if (got != expected) {
          ++failures;
          ADD_FAILURE() << "style " << style << ", time base " << baseSeconds << " s "
                        << baseNanoseconds << " ns, t " << t << " us: expected \"" << expected
                        << "\", got \"" << got << "\"";
        }
      }
    }
  }
}

std::vector<Zone> Zones() {
  std::vector<Zone> zones = {
      {"UTC", 2026, 2027},       {"JST-9", 2026, 2027},    {"PST8PDT", 2024, 2028},
      {"CET-1CEST", 2025, 2027}, {"NPT-5:45", 2026, 2027},
  };
#ifndef _WIN32
  // Zone database names: rules of many years, offsets of 30 and 45 minutes, an offset with
  // seconds before 1972 and leap seconds.
  for (Zone z : {Zone{"Europe/Berlin", 1979, 1999}, Zone{"America/New_York", 2005, 2009},
                 Zone{"Australia/Lord_Howe", 2020, 2024}, Zone{"Asia/Kathmandu", 1985, 1987},
                 Zone{"Africa/Monrovia", 1970, 1973}, Zone{"right/UTC", 2015, 2018}}) {
    std::string path = std::string("/usr/share/zoneinfo/") + z.tz;
    if (std::filesystem::exists(path)) zones.push_back(z);
  }
#endif
  return zones;
}

INSTANTIATE_TEST_SUITE_P(Zones, TimeTexts, ::testing::ValuesIn(Zones()), [](const auto& info) {
  std::string name;
  for (const char* p = info.param.tz; *p; ++p) {
    name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  }
  return name;
});

TEST(TimeTexts, CellsOfEveryMicrosecondAroundSecondBoundaries) {
  // The cells written in place keep the texts of one second: each microsecond on either side of
  // where the second changes, for time bases whose nanoseconds put that change anywhere within a
  // microsecond, and time bases whose nanoseconds lie outside one second.
  test::SetTimeZone("JST-9");
  const int64_t kNanoseconds[] = {0,         1,          999,        1000,        1001,
                                  500000500, 999999000,  999999001,  999999999,   -1,
                                  -999,      1000000000, 1000000001, -2000000000, 3999999999};
  for (int64_t baseNanoseconds : kNanoseconds) {
    for (int32_t style : kCellStyles) {
      TimeColumns times;
      times.Reset(static_cast<TimeStyle>(style), 1796549400, baseNanoseconds);
      int64_t previous = -1;
      for (uint64_t second : {0ull, 1ull, 2ull, 59ull, 60ull, 3600ull, 86399ull}) {
        // Where the second changes for this time base, in record microseconds.
        auto boundary = static_cast<int64_t>(second * 1000000) -
                        (baseNanoseconds % 1000000000 + 1000000000) % 1000000000 / 1000;
        for (int64_t t = boundary - 3; t <= boundary + 3; ++t) {
          if (t < 0) continue;
          MonitorRecord rec = RecordAt(static_cast<uint64_t>(t));
          char cells[256];
          std::string got(cells, times.PutCells(cells, rec, text::Delimiter(","), false, false));
          ref::TimeCells e = ref::Cells(rec, style, 1796549400, baseNanoseconds, &previous);
          std::string expected = e.date + "," + e.time + (style == 9 ? "" : "," + e.subSecond);
          EXPECT_EQ(got, expected)
              << "style " << style << ", " << baseNanoseconds << " ns, t " << t;
        }
      }
    }
  }
  test::SetTimeZone("UTC");
}

TEST(TimeTexts, CacheFollowsAZoneChangedBetweenConversions) {
  // The same converter object converts twice with another zone in between: the second
  // conversion must not reuse the first one's local times.
  test::CaptureBuilder b;
  b.Frame({.timestamp = 1000, .format = 1, .dlc = 1, .id = 0x100, .data = {0x11}});
  test::Bytes capture = b.Build();
  CvtSettings s = test::SettingsFor(kCvtCanText, 2);
  CTxtCvtCAN cv;
  test::SetTimeZone("UTC");
  std::string utc = test::RunConverter(capture, s, [&](const MonitorData& d, ConverterContext& c) {
                      ConvertCan(cv, d, c);
                    }).bytes;
  test::SetTimeZone("JST-9");
  std::string tokyo =
      test::RunConverter(capture, s, [&](const MonitorData& d, ConverterContext& c) {
        ConvertCan(cv, d, c);
      }).bytes;
  test::SetTimeZone("UTC");
  EXPECT_NE(utc.find(" 09:30:00.001 "), std::string::npos) << test::Visible(utc);
  EXPECT_NE(tokyo.find(" 18:30:00.001 "), std::string::npos) << test::Visible(tokyo);
}

}  // namespace
}  // namespace dtconv
