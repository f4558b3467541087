// The number texts of the fast paths against the printf conversions they replace, over millions
// of random values: every fixed-point format the converters print (ties, near ties, negative
// zero, infinities, NaN, subnormals, huge values included) and every integer and hex format.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "diff_support.h"
#include "output/text.h"
#include "reference_format.h"

namespace dtconv {
namespace {

using test::Random;

// Runs `count` values from `next` through both; reports the first few differences.
template <typename T>
void Compare(int64_t count, const std::function<T()>& next,
             const std::function<std::string(T)>& fast, const std::function<std::string(T)>& slow,
             const std::function<std::string(T)>& show) {
  int failures = 0;
  for (int64_t i = 0; i < count && failures < 5; ++i) {
    T v = next();
    std::string a = fast(v), e = slow(v);
    if (a != e) {
      ++failures;
      ADD_FAILURE() << "value " << show(v) << ": expected \"" << e << "\", got \"" << a << "\"";
    }
  }
}

std::string ShowDouble(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g (bits %016llx)", v,
                static_cast<unsigned long long>(std::bit_cast<uint64_t>(v)));
  return text;
}

// ---- fixed point

template <typename F>
std::string Text(F f) {
  char text[64];
  return std::string(text, f(text));
}

struct FixedCase {
  const char* format;
  int decimals;
  text::FixedStyle style;
};

std::string Fast(const FixedCase& c, double v) {
  char text[64];
  return std::string(text, text::PutFixed(text, v, c.decimals, c.style));
}

// Values of every kind a fixed-point text can meet.
std::function<double()> Values(Random& r, int decimals) {
  return [&r, decimals]() -> double {
    double sign = r.OneIn(2) ? -1.0 : 1.0;
    switch (r.Below(8)) {
      case 0:  // any bit pattern: every exponent, subnormals, infinities, NaN
        return std::bit_cast<double>(r.Next());
      case 1: {  // an exact tie at `decimals` digits: an odd multiple of 2^-(decimals+1)
        double m = static_cast<double>((r.Next() >> r.Below(40) >> 12) | 1);
        return sign * std::ldexp(m, -(decimals + 1) - static_cast<int>(r.Below(3)));
      }
      case 2: {  // the neighbours of a tie
        double m = static_cast<double>((r.Next() >> (24 + r.Below(30))) | 1);
        double tie = std::ldexp(m, -(decimals + 1));
        return sign * std::nextafter(tie, r.OneIn(2) ? 0.0 : 1e300);
      }
      case 3: {  // decimal fractions, which binary never holds exactly
        double k = static_cast<double>(r.Next() >> r.Below(60));
        return sign * k / std::pow(10.0, r.Below(12));
      }
      case 4:  // analog readings: a signed 24-bit count times a gain
        return (static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(r.Next()) << 8) >>
                                    8) +
                static_cast<double>(static_cast<int32_t>(r.Below(2001)) - 1000)) *
               (1.0 / (1.0 + r.Below(100000)));
      case 5:  // coordinates, metres and minutes as the GNSS texts compute them
        return static_cast<double>(static_cast<int32_t>(r.Next())) * (r.OneIn(2)   ? 1e-7
                                                                      : r.OneIn(2) ? 0.001
                                                                                   : 6e-6);
      case 6: {  // any magnitude from 1e-20 to 1e25
        double mantissa = static_cast<double>(r.Next() >> 11) / 9007199254740992.0;
        return sign * mantissa * std::pow(10.0, static_cast<int>(r.Below(46)) - 20);
      }
      default: {
        static const double kEdges[] = {0.0,
                                        -0.0,
                                        0.5,
                                        1.5,
                                        2.5,
                                        -2.5,
                                        0.05,
                                        0.125,
                                        0.375,
                                        9.5,
                                        99.995,
                                        999.99,
                                        9999.5,
                                        1e15,
                                        1.8446744073709552e19,
                                        1e22,
                                        1e300,
                                        5e-324,
                                        2.2250738585072014e-308,
                                        std::numeric_limits<double>::infinity(),
                                        -std::numeric_limits<double>::infinity(),
                                        std::numeric_limits<double>::quiet_NaN(),
                                        -std::numeric_limits<double>::quiet_NaN()};
        return kEdges[r.Below(sizeof kEdges / sizeof kEdges[0])];
      }
    }
  };
}

class FixedText : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FixedText, MatchesPrintf) {
  const FixedCase& c = GetParam();
  Random r(std::hash<std::string>{}(c.format) & 0xFFFF);
  std::function<double()> values = Values(r, c.decimals);
  std::function<double()> next = values;
#ifdef _WIN32
  // The C runtimes disagree on NaN: glibc writes a negative one as "-nan", the Windows build's
  // printf as "nan". The texts here are glibc's on both (no converter ever prints a NaN), so the
  // Windows printf is no reference for them.
  next = [&values] {
    double v = values();
    while (std::isnan(v)) v = values();
    return v;
  };
#endif
  Compare<double>(
      test::DiffCount(2000000), next, [&](double v) { return Fast(c, v); },
      [&](double v) { return ref::Piece(32, c.format, v); }, ShowDouble);
}

TEST(FixedText, NanAndInfinityAsGlibcWritesThem) {
  char text[64];
  auto fixed = [&](double v, int d, text::FixedStyle st) {
    return std::string(text, text::PutFixed(text, v, d, st));
  };
  double nan = std::numeric_limits<double>::quiet_NaN();
  double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(fixed(nan, 2, {}), "nan");
  EXPECT_EQ(fixed(-nan, 2, {}), "-nan");
  EXPECT_EQ(fixed(-inf, 4, {}), "-inf");
  EXPECT_EQ(fixed(inf, 1, {.width = 7, .plus = true, .zeros = true}), "   +inf");
  EXPECT_EQ(fixed(-nan, 2, {.width = 6}), "  -nan");
}

INSTANTIATE_TEST_SUITE_P(
    EveryFormat, FixedText,
    ::testing::Values(
        // CSV cells, wave times, KML coordinates, GNSS error and altitude
        FixedCase{"%.0f", 0, {}}, FixedCase{"%.1f", 1, {}}, FixedCase{"%.2f", 2, {}},
        FixedCase{"%.3f", 3, {}}, FixedCase{"%.4f", 4, {}}, FixedCase{"%.5f", 5, {}},
        FixedCase{"%.6f", 6, {}}, FixedCase{"%.7f", 7, {}}, FixedCase{"%.8f", 8, {}},
        FixedCase{"%.9f", 9, {}},
        // text analog cells
        FixedCase{"%+07.1f", 1, {.width = 7, .plus = true, .zeros = true}},
        FixedCase{"%+07.2f", 2, {.width = 7, .plus = true, .zeros = true}},
        FixedCase{"%+07.3f", 3, {.width = 7, .plus = true, .zeros = true}},
        FixedCase{"%+07.4f", 4, {.width = 7, .plus = true, .zeros = true}},
        // GNSS minutes, error and altitude in text
        FixedCase{"%08.5f", 5, {.width = 8, .zeros = true}}, FixedCase{"%6.2f", 2, {.width = 6}},
        FixedCase{"%8.2f", 2, {.width = 8}}),
    [](const auto& info) {
      std::string name;
      for (const char* p = info.param.format; *p; ++p) {
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : *p == '+' ? 'p' : '_';
      }
      return name;
    });

// The quick paths of the analog and wave cells, called directly with every decimals count, over
// the values where they change course: scaled magnitudes around every power of ten (the digit
// count, the eight- and sixteen-digit forms), around 2^31 and 2^49 .. 2^53 (the end of the quick
// rounding), decimal halves and their neighbours, binary ties, analog readings and wave times.
// Each text must be printf's and the exact formatter's, and no byte may be written past the room
// the functions claim.
struct QuickCase {
  const char* format;
  int decimals;
  bool signed7;  // PutSignedFixed7, else PutPlainFixed
};

std::function<double()> QuickValues(Random& r, int decimals) {
  return [&r, decimals]() -> double {
    double sign = r.OneIn(2) ? -1.0 : 1.0;
    double scale = std::pow(10.0, decimals);
    // A fraction of a unit at the last decimal: often a half or just beside it.
    auto fraction = [&r]() -> double {
      static const double kFractions[] = {0.0, 0.25, 0.5, 0.75, 0.4999999, 0.5000001, 0.999999};
      if (r.OneIn(2)) return kFractions[r.Below(sizeof kFractions / sizeof kFractions[0])];
      return static_cast<double>(r.Next() >> 11) / 9007199254740992.0;
    };
    switch (r.Below(7)) {
      case 0: {  // around a power of ten, in units of the last decimal
        double units = std::pow(10.0, r.Below(17)) + static_cast<double>(r.Below(7)) - 3.0;
        return sign * (units + fraction()) / scale;
      }
      case 1: {  // around the ends of the quick rounding, in units of the last decimal
        static const int kPowers[] = {31, 32, 48, 49, 50, 51, 52, 53};
        double units = std::ldexp(1.0, kPowers[r.Below(8)]) +
                       static_cast<double>(static_cast<int32_t>(r.Below(8192)) - 4096);
        return sign * (units + fraction()) / scale;
      }
      case 2: {  // a decimal half and its neighbours a few units in the last place away
        double half = (static_cast<double>(r.Bits() >> 11) + 0.5) / scale;
        int steps = static_cast<int>(r.Below(7)) - 3;
        for (; steps < 0; ++steps) half = std::nextafter(half, 0.0);
        for (; steps > 0; --steps) half = std::nextafter(half, 1e300);
        return sign * half;
      }
      case 3: {  // an exact binary tie: an odd multiple of 2^-(decimals+1)
        double m = static_cast<double>((r.Next() >> r.Below(40) >> 12) | 1);
        return sign * std::ldexp(m, -(decimals + 1) - static_cast<int>(r.Below(3)));
      }
      case 4:  // analog readings: a signed 24-bit count times a gain
        return (static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(r.Next()) << 8) >>
                                    8) +
                static_cast<double>(static_cast<int32_t>(r.Below(2001)) - 1000)) *
               (1.0 / (1.0 + r.Below(100000)));
      case 5: {  // wave times: a sample offset times an interval in nanoseconds
        static const double kIntervals[] = {10,   20,   50,   100,   200,   500,
                                            1000, 2000, 5000, 10000, 20000, 50000};
        double offset = static_cast<double>(static_cast<int32_t>(r.Below(1u << 22)) - 32768);
        return offset * 1e-9 * kIntervals[r.Below(sizeof kIntervals / sizeof kIntervals[0])];
      }
      default: {  // any magnitude of the quick paths and beyond
        static const double kEdges[] = {0.0, -0.0, 0.5, 9.5, 99999.5, 1e8, 1e15, 1e17};
        if (r.OneIn(8)) return kEdges[r.Below(sizeof kEdges / sizeof kEdges[0])];
        return sign * static_cast<double>(r.Bits()) / std::pow(10.0, r.Below(20));
      }
    }
  };
}

class FixedQuickPath : public ::testing::TestWithParam<QuickCase> {};

TEST_P(FixedQuickPath, MatchesPrintfAndTheExactFormatter) {
  const QuickCase& c = GetParam();
  Random r((std::hash<std::string>{}(c.format) & 0xFFFF) + 1);
  std::function<double()> next = QuickValues(r, c.decimals);
  // What each may write past the end of its text (text.h).
  const size_t room = 32;
  text::FixedStyle style{};
  if (c.signed7) style = {.width = 7, .plus = true, .zeros = true};
  int failures = 0;
  for (int64_t i = 0, n = test::DiffCount(1000000); i < n && failures < 5; ++i) {
    double v = next();
    char buffer[96];
    std::memset(buffer, '#', sizeof buffer);
    char* end = text::PutFixed(buffer, v, c.decimals, style);
    std::string quick(buffer, end);
    bool overrun = false;
    for (size_t k = quick.size() + room; k < sizeof buffer; ++k) {
      overrun = overrun || buffer[k] != '#';
    }
    std::string reference = ref::Piece(32, c.format, v);
    // The same cell through a column set up for its decimals count (the seven-character cells
    // with the blank before them, and a byte more of room).
    std::memset(buffer, '#', sizeof buffer);
    std::string columnText;
    if (c.signed7) {
      end = text::SignedFixed7Column(c.decimals).PutAfterBlank(buffer, v);
      columnText.assign(buffer, end);
      columnText =
          columnText.empty() || columnText[0] != ' ' ? "?" + columnText : columnText.substr(1);
    } else {
      end = text::PlainFixedColumn(c.decimals).Put(buffer, v);
      columnText.assign(buffer, end);
    }
    for (size_t k = static_cast<size_t>(end - buffer) + room; k < sizeof buffer; ++k) {
      overrun = overrun || buffer[k] != '#';
    }
    if (quick != reference || columnText != reference || overrun) {
      ++failures;
      ADD_FAILURE() << c.format << " of " << ShowDouble(v) << ": printf \"" << reference
                    << "\", quick \"" << quick << "\", column \"" << columnText << "\""
                    << (overrun ? ", written past its room" : "");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryDecimalsCount, FixedQuickPath,
    ::testing::Values(QuickCase{"%.0f", 0, false}, QuickCase{"%.1f", 1, false},
                      QuickCase{"%.2f", 2, false}, QuickCase{"%.3f", 3, false},
                      QuickCase{"%.4f", 4, false}, QuickCase{"%.5f", 5, false},
                      QuickCase{"%.6f", 6, false}, QuickCase{"%.7f", 7, false},
                      QuickCase{"%.8f", 8, false}, QuickCase{"%.9f", 9, false},
                      QuickCase{"%+07.1f", 1, true}, QuickCase{"%+07.2f", 2, true},
                      QuickCase{"%+07.3f", 3, true}, QuickCase{"%+07.4f", 4, true}),
    [](const auto& info) {
      std::string name;
      for (const char* p = info.param.format; *p; ++p) {
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : *p == '+' ? 'p' : '_';
      }
      return name;
    });

// ---- integers and hex

struct IntegerCase {
  const char* name;
  std::function<std::string(int64_t)> fast;
  std::function<std::string(int64_t)> slow;
  bool unsignedOnly;  // the format takes an unsigned 32-bit value
};

class IntegerText : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerText, MatchesPrintf) {
  const IntegerCase& c = GetParam();
  Random r(std::hash<std::string>{}(c.name) & 0xFFFF);
  Compare<int64_t>(
      test::DiffCount(2000000),
      [&]() -> int64_t {
        static const int64_t kEdges[] = {0,      1,       -1,      9,     10,    99,
                                         100,    255,     256,     999,   1000,  99999,
                                         100000, INT_MAX, INT_MIN, 0x7FF, 0x800, 0x1FFFFFFF};
        if (r.OneIn(16)) return kEdges[r.Below(sizeof kEdges / sizeof kEdges[0])];
        auto v = static_cast<int64_t>(static_cast<int32_t>(r.Bits()));
        return c.unsignedOnly ? static_cast<int64_t>(static_cast<uint32_t>(v)) : v;
      },
      c.fast, c.slow, [](int64_t v) { return std::to_string(v); });
}

IntegerCase Padded(const char* name, int width) {
  return {name,
          [width](int64_t v) {
            return Text([&](char* p) { return text::PutZeroPadded(p, v, width); });
          },
          [name](int64_t v) { return ref::Piece(32, name, static_cast<int>(v)); }, false};
}

IntegerCase Hex(const char* name, int width) {
  return {name,
          [width](int64_t v) {
            return Text([&](char* p) { return text::PutHex(p, static_cast<uint32_t>(v), width); });
          },
          [name](int64_t v) { return ref::Piece(32, name, static_cast<unsigned>(v)); }, true};
}

INSTANTIATE_TEST_SUITE_P(
    EveryFormat, IntegerText,
    ::testing::Values(
        IntegerCase{"d",
                    [](int64_t v) { return Text([&](char* p) { return text::PutInt(p, v); }); },
                    [](int64_t v) { return ref::Piece(32, "%d", static_cast<int>(v)); }, false},
        IntegerCase{"u",
                    [](int64_t v) {
                      return Text(
                          [&](char* p) { return text::PutUnsigned(p, static_cast<uint32_t>(v)); });
                    },
                    [](int64_t v) { return ref::Piece(32, "%u", static_cast<unsigned>(v)); }, true},
        Padded("%02d", 2), Padded("%03d", 3), Padded("%04d", 4), Padded("%05d", 5),
        Padded("%06d", 6), Padded("%08d", 8),
        IntegerCase{
            "2d",
            [](int64_t v) { return Text([&](char* p) { return text::PutSpacePadded(p, v, 2); }); },
            [](int64_t v) { return ref::Piece(32, "%2d", static_cast<int>(v)); }, false},
        IntegerCase{
            "3d",
            [](int64_t v) { return Text([&](char* p) { return text::PutSpacePadded(p, v, 3); }); },
            [](int64_t v) { return ref::Piece(32, "%3d", static_cast<int>(v)); }, false},
        IntegerCase{"p3d",
                    [](int64_t v) {
                      return Text([&](char* p) { return text::PutSignedSpacePadded(p, v, 3); });
                    },
                    [](int64_t v) { return ref::Piece(32, "%+3d", static_cast<int>(v)); }, false},
        Hex("%X", 0), Hex("%03X", 3), Hex("%04X", 4), Hex("%06X", 6), Hex("%08X", 8)),
    [](const auto& info) {
      std::string name;
      for (const char* p = info.param.name; *p; ++p) {
        if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
      }
      return name;
    });

TEST(IntegerText, EveryByteInHex) {
  for (int b = 0; b < 256; ++b) {
    char text[16];
    EXPECT_EQ(std::string(text, text::PutHex(text, static_cast<uint8_t>(b), 2)),
              ref::Piece(8, "%02X", b));
    EXPECT_EQ(std::string(text, text::PutTwoDigits(text, static_cast<unsigned>(b % 100))),
              ref::Piece(8, "%02d", b % 100));
  }
}

TEST(IntegerText, SixtyFourBitValues) {
  Random r(7);
  Compare<int64_t>(
      test::DiffCount(1000000),
      [&]() { return static_cast<int64_t>(r.Bits()) * (r.OneIn(2) ? -1 : 1); },
      [](int64_t v) { return Text([&](char* p) { return text::PutInt(p, v); }); },
      [](int64_t v) { return ref::Piece(32, "%lld", static_cast<long long>(v)); },
      [](int64_t v) { return std::to_string(v); });
  EXPECT_EQ(Text([](char* p) { return text::PutInt(p, INT64_MIN); }), "-9223372036854775808");
  EXPECT_EQ(Text([](char* p) { return text::PutUnsigned(p, UINT64_MAX); }), "18446744073709551615");
}

}  // namespace
}  // namespace dtconv
