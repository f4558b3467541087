// Rescaling arithmetic of the dialogs and the string-block walk of the resource layer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/scale_math.h"
#include "ui/string_block.h"

namespace dtconv::ui {
namespace {

TEST(ScaleMath, Coordinates) {
  struct Case {
    const char* name;
    int32_t v, text, base, expected;
  };
  const Case cases[] = {
      {"text equal to the base unit keeps the value", 137, 6, 6, 137},
      {"text equal to the base unit keeps 0", 0, 13, 13, 0},
      {"twice the base unit doubles", 137, 12, 6, 274},
      {"exactly half a pixel rounds up", 3, 5, 2, 8},
      {"just under half rounds down", 1, 7, 5, 1},  // 1.4
      {"just over half rounds up", 1, 8, 5, 2},     // 1.6
      {"a larger font", 424, 7, 6, 495},            // 494.67
      {"a smaller font", 260, 11, 13, 220},         // 220.0
      {"a base unit of 0 leaves the value", 99, 7, 0, 99},
      {"large values stay exact in 64 bits", 1000000000, 3, 2, 1500000000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScaleCoordinate(c.v, c.text, c.base), c.expected) << c.name;
  }
}

TEST(ScaleMath, RectanglesScaleEachAxisOnItsOwn) {
  ScaleFactors f{/*textWidth=*/7, /*textHeight=*/16, /*baseUnitX=*/6, /*baseUnitY=*/13};
  EXPECT_EQ(ScaleRect({12, 26, 24, 39}, f), (PixelRect{14, 32, 28, 48}));
  ScaleFactors same{6, 13, 6, 13};
  EXPECT_EQ(ScaleRect({5, 7, 300, 200}, same), (PixelRect{5, 7, 300, 200}));
  ScaleFactors twice{12, 26, 6, 13};
  EXPECT_EQ(ScaleRect({5, 7, 300, 200}, twice), (PixelRect{10, 14, 600, 400}));
}

// A string block as the resource compiler stores it: 16 entries of length and units.
std::string Block(const std::vector<std::u16string>& entries, size_t cutBytes = 0) {
  std::string bytes;
  auto put = [&](char16_t u) {
    bytes.push_back(static_cast<char>(u & 0xFF));
    bytes.push_back(static_cast<char>(u >> 8));
  };
  for (size_t i = 0; i < 16; ++i) {
    const std::u16string s = i < entries.size() ? entries[i] : u"";
    put(static_cast<char16_t>(s.size()));
    for (char16_t u : s) put(u);
  }
  bytes.resize(bytes.size() - cutBytes);
  return bytes;
}

TEST(StringBlock, Entries) {
  const std::u16string longText(200, u'x');
  const std::string block =
      Block({u"", u"Name", u"", u"", u"Cannot convert.", u"変換できませんでした。", longText});
  struct Case {
    const char* name;
    unsigned entry;
    size_t capacity;
    std::u16string expected;
  };
  const Case cases[] = {
      {"first non-empty entry", 1, 64, u"Name"},
      {"after empty entries", 4, 64, u"Cannot convert."},
      {"Japanese", 5, 64, u"変換できませんでした。"},
      {"empty entry", 0, 64, u""},
      {"absent entry at the end", 15, 64, u""},
      {"capacity 128 takes 127 units", 6, 128, std::u16string(127, u'x')},
      {"capacity of exactly length + 1", 1, 5, u"Name"},
      {"capacity of exactly length is cut", 1, 4, u"Nam"},
      {"capacity 1 gives an empty text", 1, 1, u""},
      {"entry beyond the block's 16", 16, 64, u""},
  };
  for (const Case& c : cases) {
    std::u16string buffer(c.capacity + 4, u'#');
    size_t n = CopyStringFromBlock(block.data(), block.size(), c.entry, buffer.data(), c.capacity);
    EXPECT_EQ(n, c.expected.size()) << c.name;
    EXPECT_EQ(std::u16string(buffer.data()), c.expected) << c.name;
    EXPECT_EQ(buffer[c.capacity], u'#') << c.name << ": wrote beyond the capacity";
  }
}

TEST(StringBlock, DamagedBlocksGiveEmptyTexts) {
  const std::string whole = Block({u"Name", u"Size"});
  struct Case {
    const char* name;
    std::string block;
    unsigned entry;
  };
  // A length word that runs past the end of the block is never trusted.
  std::string lying = whole;
  lying[0] = 100;
  const Case cases[] = {
      {"block cut inside the entry", whole.substr(0, 14), 1},
      {"block cut before the entry", whole.substr(0, 10), 1},
      {"length word beyond the block", lying, 0},
      {"length word beyond the block, later entry", lying, 1},
      {"empty block", std::string(), 0},
      {"odd byte count", whole.substr(0, 3), 0},
  };
  for (const Case& c : cases) {
    char16_t buffer[16] = {u'#'};
    EXPECT_EQ(CopyStringFromBlock(c.block.data(), c.block.size(), c.entry, buffer, 16), 0u)
        << c.name;
    EXPECT_EQ(buffer[0], u'\0') << c.name;
  }
  char16_t untouched[1] = {u'#'};
  EXPECT_EQ(CopyStringFromBlock(whole.data(), whole.size(), 0, untouched, 0), 0u);
  EXPECT_EQ(untouched[0], u'#');
}

}  // namespace
}  // namespace dtconv::ui
