// Fuzz target: the desktop program's start-up command line.
//
// The bytes are taken as UTF-16LE text (a last odd byte is dropped), as GetCommandLineW would
// give it, program path first. Besides the sanitizers' findings the target stops when a value is
// kept that the program's fixed-size fields could not hold.
#include "fuzz_common.h"
#include "ui/startup_args.h"

using dtconv::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string line(size / 2, u'\0');
  for (size_t i = 0; i < line.size(); ++i) line[i] = char16_t(data[2 * i] | data[2 * i + 1] << 8);
  dtconv::ui::StartupValues v = dtconv::ui::ParseStartupCommandLine(line);
  Check(v.startFolder.size() <= dtconv::ui::kMaxPathValue, "start folder too long");
  Check(!v.settingsPath ||
            (!v.settingsPath->empty() && v.settingsPath->size() <= dtconv::ui::kMaxPathValue),
        "settings path empty or too long");
  Check(v.titleSuffix.size() <= dtconv::ui::kMaxTitleValue, "title suffix too long");
  Check(v.uiLanguage == 0 || v.languageChosen, "a language without -l");
  std::u16string unquoted = dtconv::ui::UnquoteValue(line);
  Check(unquoted.size() <= line.size(), "unquoting made the text longer");
  return 0;
}
