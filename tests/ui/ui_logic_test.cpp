// The desktop program's rules that need no window, each family one table of cases: the start-up
// command line (startup_args.txt), the lists, panes and enabling of the dialogs (ui_rules.txt),
// and the rescaling arithmetic and string blocks of the resource layer (layout_math.txt).
#include <bit>

#include "platform/unicode.h"
#include "table.h"  // with gtest
#include "ui/scale_math.h"
#include "ui/startup_args.h"
#include "ui/string_block.h"
#include "ui/ui_rules.h"

namespace dtconv::ui {
namespace {

using test::Row;

int32_t N(const std::string& cell) { return static_cast<int32_t>(std::stoll(cell, nullptr, 0)); }

// Numbers separated by blanks, as one cell holds them.
std::string Join(const auto& numbers) {
  std::string out;
  for (auto n : numbers) out += (out.empty() ? "" : " ") + std::to_string(n);
  return out;
}
using Ns = std::vector<int64_t>;

std::string U8(const std::u16string& text) { return platform::Utf16ToUtf8(text); }

Row Startup(const Row& a) {
  std::u16string line = platform::Utf8ToUtf16(a[1]);
  if (a[0] == "unquote") return {U8(UnquoteValue(line))};
  if (a[0] != "parse") return {};
  StartupValues v = ParseStartupCommandLine(line);
  return {v.settingsPath ? U8(*v.settingsPath) : "(default)", U8(v.startFolder), U8(v.titleSuffix),
          v.languageChosen ? std::to_string(v.uiLanguage) : "", v.noLimit ? "x" : ""};
}

Row Rules(const Row& a) {
  auto n = [&](size_t i) { return N(a.at(i)); };
  auto cell = [](auto value) { return Row{std::to_string(value)}; };
  if (a[0] == "FormatEntries") return {Join(FormatEntries(n(1)))};
  if (a[0] == "FormatEntryFor") return cell(FormatEntryFor(n(1), n(2)));
  if (a[0] == "FormatOfEntry") return cell(FormatOfEntry(n(1), n(2)));
  if (a[0] == "VisiblePane") return cell(VisiblePane(n(1), n(2)));
  if (a[0] == "ExceedsSelectionLimit") return cell(ExceedsSelectionLimit(n(1), n(2) != 0));
  if (a[0] == "ResultMessageId") return cell(ResultMessageId(Result(static_cast<uint32_t>(n(1)))));
  if (a[0] == "SelectButtons") {
    SelectButtons b = SelectButtonStates(n(1), n(2));
    return {Join(Ns{b.selectAll, b.selectNone, b.selectInverse})};
  }
  if (a[0] == "FileListColumnWidths") return {Join(FileListColumnWidths(n(1), n(2)))};
  CvtOptions o{.targetData = n(1), .outputType = n(2)};
  bool changed = a[0] == "ChangeTarget" ? ChangeTarget(o, n(3)) : ChangeFormat(o, n(3));
  if (a[0] == "ChangeTarget") return {Join(Ns{changed, o.targetData, o.outputType})};
  if (a[0] == "ChangeFormat") return {Join(Ns{changed, o.outputType})};
  return {};
}

// A string block as the resource compiler stores it: 16 entries of a length and its units; the
// length of entry 0 can be made another.
std::string Block(int32_t firstLength) {
  std::u16string entries[16] = {
      u"", u"Name", u"", u"", u"Cannot convert.", u"変換できませんでした。"};
  entries[6].assign(200, u'x');
  std::u16string units;
  for (const std::u16string& entry : entries) units += char16_t(entry.size()) + entry;
  if (firstLength >= 0) units[0] = static_cast<char16_t>(firstLength);
  static_assert(std::endian::native == std::endian::little, "the units are stored as they are");
  return {reinterpret_cast<const char*>(units.data()), 2 * units.size()};
}

Row Layout(const Row& a) {
  if (a[0] == "ScaleCoordinate")
    return {std::to_string(ScaleCoordinate(N(a[1]), N(a[2]), N(a[3])))};
  if (a[0] == "ScaleRect") {
    PixelRect s =
        ScaleRect({N(a[1]), N(a[2]), N(a[3]), N(a[4])}, {N(a[5]), N(a[6]), N(a[7]), N(a[8])});
    return {Join(Ns{s.left, s.top, s.right, s.bottom})};
  }
  if (a[0] != "CopyStringFromBlock") return {};
  // A heap copy of the block's exact size, so that a read beyond it is caught under
  // AddressSanitizer.
  std::string whole = Block(N(a[4]));
  std::vector<char> block(whole.begin(), N(a[3]) < 0 ? whole.end() : whole.begin() + N(a[3]));
  auto capacity = static_cast<size_t>(N(a[2]));
  std::u16string buffer(capacity + 1, u'#');
  size_t n = CopyStringFromBlock(block.data(), block.size(), static_cast<unsigned>(N(a[1])),
                                 buffer.data(), capacity);
  if (buffer[capacity] != u'#') return {"wrote beyond the capacity", ""};
  return {std::to_string(n), U8(buffer.substr(0, buffer.find(u'\0')))};
}

TEST(UiLogic, StartupCommandLines) { test::RunTable("startup_args.txt", Startup); }
TEST(UiLogic, ListsPanesAndEnabling) { test::RunTable("ui_rules.txt", Rules); }
TEST(UiLogic, LayoutArithmetic) { test::RunTable("layout_math.txt", Layout); }

}  // namespace
}  // namespace dtconv::ui
