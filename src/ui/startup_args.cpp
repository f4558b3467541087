#include "ui/startup_args.h"

namespace dtconv::ui {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// A cursor over the command line; every step stops at its end.
class Scanner {
 public:
  explicit Scanner(std::u16string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ >= text_.size(); }
  char16_t Peek() const { return AtEnd() ? u'\0' : text_[pos_]; }
  size_t pos() const { return pos_; }
  void Advance() {
    if (!AtEnd()) ++pos_;
  }
  void SkipBlanks() {
    while (!AtEnd() && IsBlank(text_[pos_])) ++pos_;
  }
  void SkipToBlank() {
    while (!AtEnd() && !IsBlank(text_[pos_])) ++pos_;
  }
  // From an opening quote up to and including the closing one, or to the end without one.
  void SkipQuoted() {
    ++pos_;
    while (!AtEnd() && text_[pos_] != u'"') ++pos_;
    Advance();
  }
  // A value: quoted up to just after its closing quote, else up to the next blank.
  std::u16string_view TakeValue() {
    size_t start = pos_;
    if (Peek() == u'"') {
      SkipQuoted();
    } else {
      SkipToBlank();
    }
    return text_.substr(start, pos_ - start);
  }
  // What follows an option's value inside its token.
  void SkipRestOfToken() {
    if (Peek() == u'"') {
      SkipQuoted();
    } else {
      SkipToBlank();
    }
  }

 private:
  std::u16string_view text_;
  size_t pos_ = 0;
};

void TakeLanguage(Scanner& s, StartupValues& v) {
  // Unsigned arithmetic wraps modulo 2^32, which keeps the low 16 bits of any digit run right.
  uint32_t number = 0;
  while (s.Peek() >= u'0' && s.Peek() <= u'9') {
    number = number * 10u + static_cast<uint32_t>(s.Peek() - u'0');
    s.Advance();
  }
  v.uiLanguage = static_cast<uint16_t>(number & 0xFFFFu);
  v.languageChosen = true;
}

void TakeSettingsPath(std::u16string_view value, StartupValues& v) {
  if (value.size() > kMaxPathValue) return;
  std::u16string path = UnquoteValue(value);
  // An empty path would send the settings to the system's own profile file.
  if (path.empty()) return;
  v.settingsPath = std::move(path);
}

void TakeTitle(std::u16string_view value, StartupValues& v) {
  if (!v.titleSuffix.empty() || value.size() > kMaxTitleValue) return;
  if (!value.empty() && value.front() == u'"') {
    if (value.size() < 2 || value.back() != u'"') return;
    v.titleSuffix = std::u16string(value.substr(1, value.size() - 2));
  } else {
    v.titleSuffix = std::u16string(value);
  }
}

}  // namespace

std::u16string UnquoteValue(std::u16string_view value) {
  if (value.empty() || value.front() != u'"') return std::u16string(value);
  if (value.size() == 1) return {};
  if (value.back() != u'"') return std::u16string(value);
  return std::u16string(value.substr(1, value.size() - 2));
}

StartupValues ParseStartupCommandLine(std::u16string_view commandLine) {
  StartupValues v;
  Scanner s(commandLine);
  // The program path is never an argument.
  if (s.Peek() == u'"') {
    s.SkipQuoted();
  } else {
    s.SkipToBlank();
  }
  for (;;) {
    s.SkipBlanks();
    if (s.AtEnd()) break;
    if (s.Peek() == u'-') {
      s.Advance();
      // A lone "-" names no option.
      if (s.AtEnd() || IsBlank(s.Peek())) continue;
      char16_t letter = s.Peek();
      s.Advance();
      switch (letter) {
        case u'l':
          TakeLanguage(s, v);
          break;
        case u's':
          TakeSettingsPath(s.TakeValue(), v);
          break;
        case u't':
          TakeTitle(s.TakeValue(), v);
          break;
        case u'x':
          v.noLimit = true;
          break;
        default:
          break;
      }
      s.SkipRestOfToken();
    } else {
      std::u16string_view value = s.TakeValue();
      if (value.size() <= kMaxPathValue) v.startFolder = UnquoteValue(value);
    }
  }
  return v;
}

}  // namespace dtconv::ui
