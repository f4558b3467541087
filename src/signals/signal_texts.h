// The database texts of the signal tables as cells: message and signal names, units, titles and
// value-table texts, in the output's character code (the database holds them as UTF-8) and quoted
// where they hold the delimiter, a double quote or a line end. Built once per character code and
// delimiter, so that a row only copies them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "signals/cvt_signals.h"

namespace dtconv::signals {

class SignalTexts {
 public:
  SignalTexts(const SignalSetup& setup, bool utf8, std::string_view delimiter);

  // Whether these are the texts of `setup` for this character code and delimiter.
  bool Matches(const SignalSetup& setup, bool utf8, std::string_view delimiter) const {
    return &setup == setup_ && utf8 == utf8_ && delimiter == delimiter_;
  }

  // The title of a selected signal's column, "Message.Signal[unit]" ("Message.Signal" without a
  // unit), the message qualified as "label:Message" where another database has a message of that
  // name; with `line` 1 or 2, "CH1." or "CH2." before it.
  std::string Title(size_t column, int line) const;
  // The cells of a selected signal: its name and unit.
  std::string_view SignalName(size_t column) const { return signals_[column].name; }
  std::string_view Unit(size_t column) const { return signals_[column].unit; }
  // The value-table text of a raw value of a selected signal, or an empty cell.
  std::string_view ValueTableCell(size_t column, uint64_t raw) const;
  // The message of a plan of the selection (qualified as in titles).
  std::string_view Message(size_t plan) const { return messages_[plan]; }

  // Whether a value's text may hold the delimiter, which then consists of characters of numbers
  // only ("." or "-", say): its cells go through the quoting too.
  bool valuesNeedQuotes() const { return valuesNeedQuotes_; }
  // The longest cells, for the room a row needs.
  size_t longestMessage() const { return longestMessage_; }
  size_t longestLongCells() const { return longestLongCells_; }

 private:
  struct SignalCells {
    std::string name;
    std::string unit;
    std::string title;                // without the line
    std::vector<std::string> values;  // parallel to Signal::values
  };

  // A database text (UTF-8) as a cell in the output's character code.
  std::string Cell(std::string_view text) const;

  const SignalSetup* setup_;
  bool utf8_;
  std::string delimiter_;
  std::vector<SignalCells> signals_;
  std::vector<std::string> messages_;
  bool valuesNeedQuotes_ = false;
  size_t longestMessage_ = 0;
  size_t longestLongCells_ = 0;  // name, unit and value text of one signal together
};

}  // namespace dtconv::signals
