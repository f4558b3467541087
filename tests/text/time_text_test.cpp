// The time column and CSV time cells (TimeColumns, which asks the platform for local time about
// once a minute and keeps the texts of the latest second) against the C library asked for every
// record: localtime and strftime, snprintf for the digits. Random record times and time bases
// (negative and out-of-range ones, rows going back in time, differences of 100 000 s and more)
// in zones with daylight saving, half-hour and 45-minute offsets, offsets with seconds and leap
// seconds, across every offset change of several years.

#include <ctime>

#include "report/time_columns.h"
#include "text_cases.h"

namespace dtconv {
namespace {

using test::Sprintf;

bool Local(int64_t seconds, std::tm* tm) {
  auto t = static_cast<std::time_t>(seconds);
#ifdef _WIN32
  return _localtime64_s(tm, &t) == 0;
#else
  return localtime_r(&t, tm) != nullptr;
#endif
}

// The texts of one conversion, as report/time_columns.h states them.
struct Oracle {
  int style;
  int64_t baseSeconds, baseNanoseconds;
  long long previous = -1;
  long long f = 0;  // nanoseconds into the record's second
  std::tm tm{};
  bool shown = false;

  // The record's absolute time: the time base plus the timestamp, its nanoseconds carried into
  // seconds as C's division truncates. Before 1970 and after 3000-12-31 23:59:59 UTC (the last
  // second both platforms convert) its texts are dashes.
  void At(uint64_t t) {
    __int128 n = static_cast<__int128>(t % 1000000) * 1000 + baseNanoseconds;
    __int128 s = static_cast<__int128>(baseSeconds) + t / 1000000 + n / 1000000000;
    f = static_cast<long long>(n % 1000000000);
    tm = std::tm{.tm_mday = 1};
    shown = s >= 0 && s <= 32535215999 && Local(static_cast<int64_t>(s), &tm);
  }
  std::string Clock(const char* format, std::string subSecond = "") {
    char text[64];
    std::string local =
        std::string(text, std::strftime(text, sizeof text, format, &tm)) + subSecond;
    for (char& c : local) c = !shown && c >= '0' && c <= '9' ? '-' : c;
    return local;
  }
  // None for the first row, a row before the previous one, and 100 000 s or more.
  std::string Difference(uint64_t t, const char* format, const char* none) {
    long long d = static_cast<long long>(t) - previous;
    bool has = previous != -1 && d >= 0 && d < 100000000000;
    previous = static_cast<long long>(t);
    return has ? Sprintf(format, d / 1000000, d % 1000000) : none;
  }
  std::string Column(uint64_t t) {
    long long s = static_cast<long long>(t / 1000000), us = static_cast<long long>(t % 1000000);
    At(t);
    if (style == 0) return Difference(t, " %05lld.%06lld ", "   --------   ");
    if (style == 1) return Clock(" %M:%S", Sprintf(".%06lld ", f / 1000));
    if (style == 2) return Clock(" %H:%M:%S", Sprintf(".%03lld ", f / 1000000));
    if (style == 3) return Clock("%m/%d %H:%M:%S");
    if (style == 10) return Clock("%Y/%m/%d %H:%M:%S");
    if (style == 4) return Sprintf(" %05lld.%06lld ", s % 100000, us);
    if (style == 6)
      return Sprintf(" %03lld %02lld:%02lld:%02lld ", s / 86400 % 1000, s / 3600 % 24, s / 60 % 60,
                     s % 60);
    return Sprintf(" %08lld.%03lld ", s % 100000000, us / 1000);
  }
  // Elapsed, date, time, sub-second and difference, "|" between them; without the first and the
  // last when not `all`.
  std::string Cells(uint64_t t, bool all) {
    At(t);
    std::string elapsed = Sprintf(" %lld.%06lld |", static_cast<long long>(t / 1000000 % 100000),
                                  static_cast<long long>(t % 1000000));
    std::string c = Clock("%Y/%m/%d|%H:%M:%S");
    if (style != 9) c += shown ? Sprintf("|%lld", f / (style == 7 ? 1000 : 1000000)) : "|-";
    std::string difference = Difference(t, "|%lld.%06lld", "|--------");
    return all ? elapsed + c + difference : c;
  }
};

MonitorRecord RecordAt(uint64_t t) {
  MonitorRecord r;
  std::memcpy(r.bytes, test::HeadRecord(0x01, 0, t).data(), 32);
  return r;
}

// The zone's offset from UTC at `t`, modulo a day: enough to tell any two offsets used apart.
int64_t Offset(int64_t t) {
  std::tm tm{};
  Local(t, &tm);
  return ((tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec - t % 86400) % 86400 + 86400) % 86400;
}

// Records of random times on random time bases in each zone of tests/cases/text/time_zones.tsv,
// runs of them starting shortly before each offset change of the zone's years.
TEST(TimeTexts, ZonesMatchTheCLibrary) {
  for (const test::Row& zone : test::ReadTable("text/time_zones.tsv")) {
#ifdef _WIN32
    if (zone[3] == "database") continue;  // POSIX rules only
#endif
    SCOPED_TRACE(zone[0]);
    test::SetTimeZone(zone[0].c_str());
    // A time column kept from the zone before: its Reset must drop the local times it keeps.
    static TimeColumns kept;
    kept.Reset(TimeStyle::kClockMilliseconds, 1796549400, 0);
    char text[64];
    EXPECT_EQ(std::string(text, kept.PutColumn(text, RecordAt(1000))),
              (Oracle{2, 1796549400, 0}.Column(1000)));
    std::vector<int64_t> changes;  // every second of those years where the offset changes
    for (int64_t t = (std::stoi(zone[1]) - 1970) * 31556952LL;
         t < (std::stoi(zone[2]) - 1970) * 31556952LL; t += 3600) {
      int64_t lo = t, hi = t + 3600;
      while (hi - lo > 1 && Offset(lo) != Offset(hi))
        (Offset(lo + (hi - lo) / 2) == Offset(lo) ? lo : hi) = lo + (hi - lo) / 2;
      if (hi - lo == 1) changes.push_back(hi);
    }
    ASSERT_EQ(changes.empty(), zone[1] == zone[2]);
    // Column styles 0 to 11 and -1, then the cell styles 7, 8 and 9 with all cells and without
    // the elapsed and difference cells (the usual rows, which take the texts of the latest second).
    const int styles[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, -1, 7, 8, 9, 7, 8, 9};
    test::Random r(changes.size());
    for (int records = 0; records < 6000 && !HasFailure();) {
      // One run of records on one time base, as in one capture: before an offset change, anywhere
      // up to beyond the year 3000, before 1970, hostile; nanoseconds that put the change of the
      // second anywhere within a microsecond, or outside one second.
      int64_t s =
          changes.empty() ? 1796549400 : changes[r.Below(uint32_t(changes.size()))] - r.Below(150);
      const int64_t ends[] = {0, 1, 999, static_cast<int64_t>(r.Below(1000))};
      int64_t ns = static_cast<int64_t>(r.Below(1000000)) * 1000 + ends[r.Below(4)];
      int kind = static_cast<int>(r.Below(5));
      if (kind == 2) s = static_cast<int64_t>(r.Next() % 33000000000);
      if (kind == 3) ns += (static_cast<int64_t>(r.Below(5)) - 2) * 1000000000;
      if (kind == 4)
        s = r.Below(2) != 0 ? -static_cast<int64_t>(r.Below(100000))
                            : static_cast<int64_t>(r.Next());
      if (kind == 4) ns = static_cast<int64_t>(r.Next());
      std::vector<TimeColumns> times(std::size(styles));
      std::vector<Oracle> oracles;
      for (size_t k = 0; k < times.size(); ++k) {
        times[k].Reset(static_cast<TimeStyle>(styles[k]), s, ns);
        oracles.push_back({styles[k], s, ns});
      }
      uint64_t t = r.Below(4) == 0 ? r.Next() : r.Below(5000000);
      for (uint64_t i = 0, n = 1 + r.Below(2000); i < n && !HasFailure(); ++i, ++records) {
        // By a microsecond, to three before the next change of the second, forward by up to two
        // seconds, sometimes back in time or far ahead; 48 bits.
        uint64_t step = r.Below(100), at = (t * 1000 + (ns % 1000000000 + 1000000000) % 1000000000);
        uint64_t before = (at / 1000000000 + 1) * 1000000000 - at;
        t += step < 30   ? 1
             : step < 40 ? (before + 999) / 1000 - 3
             : step < 85 ? r.Below(2000000)
             : step < 92 ? 0 - std::min<uint64_t>(t, r.Below(3000000))
             : step < 97 ? r.Next() % 200000000000
                         : r.Next();
        t &= 0xFFFFFFFFFFFF;
        for (size_t k = 0; k < times.size(); ++k) {
          char text[256];
          bool all = k < 16;
          std::string got(
              text, k < 13 ? times[k].PutColumn(text, RecordAt(t))
                           : times[k].PutCells(text, RecordAt(t), text::Delimiter("|"), all, all));
          EXPECT_EQ(got, k < 13 ? oracles[k].Column(t) : oracles[k].Cells(t, all))
              << "style " << styles[k] << ", time base " << s << " s " << ns << " ns, t " << t
              << " us";
        }
      }
    }
  }
  test::SetTimeZone("UTC");
}

}  // namespace
}  // namespace dtconv
