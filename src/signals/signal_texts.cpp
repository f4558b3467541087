#include "signals/signal_texts.h"

#include <algorithm>

#include "output/text.h"
#include "platform/platform.h"
#include "platform/unicode.h"

namespace dtconv::signals {

namespace {

// The characters of a value's text: digits, point, signs, exponent, "nan" and "inf".
constexpr std::string_view kValueCharacters = "0123456789.+-eainf";

// A text as a CSV cell. A text that ends in a blank is quoted too: the writer drops the blanks
// at the end of a line, and the cell may be the last.
std::string Quoted(std::string_view text, std::string_view delimiter) {
  if (!text.empty() && text.back() == ' ' && !text::NeedsCsvQuotes(text, delimiter)) {
    return "\"" + std::string(text) + "\"";
  }
  std::string cell(2 * text.size() + 2, '\0');
  cell.resize(static_cast<size_t>(text::PutCsvCell(cell.data(), text, delimiter) - cell.data()));
  return cell;
}

}  // namespace

SignalTexts::SignalTexts(const SignalSetup& setup, bool utf8, std::string_view delimiter)
    : setup_(&setup), utf8_(utf8), delimiter_(delimiter) {
  valuesNeedQuotes_ =
      !delimiter.empty() && delimiter.find_first_not_of(kValueCharacters) == std::string_view::npos;
  const std::vector<SelectedSignal>& selected = setup.selection.signals();
  for (const SelectedSignal& sel : selected) {
    SignalCells c;
    c.name = Cell(sel.signal->name);
    c.unit = Cell(sel.signal->unit);
    std::string title = std::string(sel.qualifier) + (sel.qualifier.empty() ? "" : ":") +
                        sel.message->name + "." + sel.signal->name;
    if (!sel.signal->unit.empty()) title += "[" + sel.signal->unit + "]";
    c.title = utf8_ ? title : platform::NarrowText(platform::Utf8ToUtf16(title), false);
    size_t longestValue = 0;
    for (const ValueText& v : sel.signal->values) {
      c.values.push_back(Cell(v.text));
      longestValue = std::max(longestValue, c.values.back().size());
    }
    longestLongCells_ = std::max(longestLongCells_, c.name.size() + c.unit.size() + longestValue);
    signals_.push_back(std::move(c));
  }
  // Each plan's message, qualified as its selected signals are.
  for (const MessagePlan& plan : setup.selection.plans()) {
    auto it = std::find_if(selected.begin(), selected.end(),
                           [&](const SelectedSignal& s) { return s.message == &plan.message(); });
    std::string name = plan.message().name;
    if (it != selected.end() && !it->qualifier.empty())
      name = std::string(it->qualifier) + ":" + name;
    messages_.push_back(Cell(name));
    longestMessage_ = std::max(longestMessage_, messages_.back().size());
  }
}

std::string SignalTexts::Cell(std::string_view text) const {
  if (utf8_) return Quoted(text, delimiter_);
  return Quoted(platform::NarrowText(platform::Utf8ToUtf16(text), false), delimiter_);
}

std::string SignalTexts::Title(size_t column, int line) const {
  std::string title = signals_[column].title;
  if (line != 0) title = (line == 1 ? "CH1." : "CH2.") + title;
  return Quoted(title, delimiter_);
}

std::string_view SignalTexts::ValueTableCell(size_t column, uint64_t raw) const {
  const Signal& s = *setup_->selection.signals()[column].signal;
  const std::vector<ValueText>& values = s.values;
  if (values.empty() || s.type != ValueType::kInteger) return {};
  auto it = std::lower_bound(values.begin(), values.end(), raw,
                             [](const ValueText& v, uint64_t r) { return v.raw < r; });
  if (it == values.end() || it->raw != raw) return {};
  return signals_[column].values[static_cast<size_t>(it - values.begin())];
}

}  // namespace dtconv::signals
