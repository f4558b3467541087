// The start-up values of the desktop program, read from its command line:
//   -l<number>  user-interface language (1033 English, 1041 Japanese)
//   -s<path>    settings file instead of the one beside the program
//   -t<text>    title suffix: the caption becomes "Text conversion - <text>"
//   -x          no limit on the number of files converted at once
//   <folder>    start folder, replacing the stored one for this run
// Portable: the parser takes the whole command line as UTF-16 text and touches nothing else.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dtconv::ui {

// Values longer than these are ignored (they would not fit the program's fixed-size fields).
inline constexpr size_t kMaxPathValue = 259;  // -s and the folder, quotes included
inline constexpr size_t kMaxTitleValue = 63;  // -t, quotes included

struct StartupValues {
  std::optional<std::u16string> settingsPath;  // -s; unset keeps the default
  std::u16string startFolder;                  // empty: none given
  std::u16string titleSuffix;                  // empty: the caption is string 140
  uint16_t uiLanguage = 0;                     // -l
  bool languageChosen = false;                 // -l was given, even without digits
  bool noLimit = false;                        // -x
};

// Reads the whole command line (GetCommandLineW's text, program path first), left to right.
// Never fails: what does not fit the rules is ignored.
StartupValues ParseStartupCommandLine(std::u16string_view commandLine);

// The text with one pair of enclosing double quotes removed (a lone quote gives an empty text).
std::u16string UnquoteValue(std::u16string_view value);

}  // namespace dtconv::ui
