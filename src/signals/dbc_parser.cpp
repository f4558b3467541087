// The statement parser of the DBC reader: one pass over the text, one function per statement it
// uses, and a skip to the ending ';' for the statements it does not use.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "signals/dbc.h"
#include "signals/dbc_build.h"
#include "signals/dbc_text.h"
#include "signals/decimal.h"

namespace dtconv::signals {

namespace {

// The pseudo-message that holds signals not placed in any message; it is read and left out.
constexpr std::string_view kIndependentMessage = "VECTOR__INDEPENDENT_SIG_MSG";
constexpr uint32_t kExtendedFlag = 0x80000000u;  // bit 31 of a DBC identifier: 29-bit frame
constexpr uint32_t kMaxStandardId = 0x7FF;
constexpr uint32_t kMaxExtendedId = 0x1FFFFFFF;
constexpr uint32_t kMaxMessageBytes = 64;  // a CAN FD frame
constexpr uint32_t kMaxSignalBits = 64;

// Bounds on what a file may define. Databases in use hold a few thousand messages and some tens
// of thousands of signals; the bounds are far above that and keep the model a hostile file can
// build to some hundreds of megabytes.
constexpr size_t kMaxMessages = 1u << 18;
constexpr size_t kMaxSignals = 1u << 18;
// Signal indexes are 16-bit. A 64-byte message has 512 bits; even heavily multiplexed messages
// list a few thousand signals.
constexpr size_t kMaxSignalsPerMessage = 8192;
// Value-table entries and multiplexor ranges of the whole file: each takes a few bytes of text, so
// a file at the size bound could hold millions; real files hold some thousands.
constexpr size_t kMaxValueKeys = 1u << 20;
constexpr size_t kMaxMuxRanges = 1u << 20;

enum class Statement {
  kVersion,
  kNewSymbols,
  kLine,  // read over to the end of its line (BS_, BU_)
  kMessage,
  kSignal,
  kValues,
  kValueType,
  kMuxValues,
  kSkip,  // read over to its ';'
};

struct Keyword {
  std::string_view word;
  Statement statement;
};

constexpr Keyword kKeywords[] = {
    {"VERSION", Statement::kVersion},
    {"NS_", Statement::kNewSymbols},
    {"BS_", Statement::kLine},
    {"BU_", Statement::kLine},
    {"BO_", Statement::kMessage},
    {"SG_", Statement::kSignal},
    {"VAL_", Statement::kValues},
    {"SIG_VALTYPE_", Statement::kValueType},
    {"SG_MUL_VAL_", Statement::kMuxValues},
    {"CM_", Statement::kSkip},
    {"BA_DEF_", Statement::kSkip},
    {"BA_", Statement::kSkip},
    {"BA_DEF_DEF_", Statement::kSkip},
    {"BA_DEF_REL_", Statement::kSkip},
    {"BA_REL_", Statement::kSkip},
    {"BA_DEF_DEF_REL_", Statement::kSkip},
    {"BA_DEF_SGTYPE_", Statement::kSkip},
    {"BA_SGTYPE_", Statement::kSkip},
    {"VAL_TABLE_", Statement::kSkip},
    {"BO_TX_BU_", Statement::kSkip},
    {"EV_", Statement::kSkip},
    {"EV_DATA_", Statement::kSkip},
    {"ENVVAR_DATA_", Statement::kSkip},
    {"SGTYPE_", Statement::kSkip},
    {"SGTYPE_VAL_", Statement::kSkip},
    {"SIG_TYPE_REF_", Statement::kSkip},
    {"SIG_GROUP_", Statement::kSkip},
    {"SIGTYPE_VALTYPE_", Statement::kSkip},
    {"BU_SG_REL_", Statement::kSkip},
    {"BU_EV_REL_", Statement::kSkip},
    {"BU_BO_REL_", Statement::kSkip},
    {"CAT_DEF_", Statement::kSkip},
    {"CAT_", Statement::kSkip},
    {"FILTER", Statement::kSkip},
};

const Keyword* FindKeyword(std::string_view word) {
  for (const Keyword& k : kKeywords) {
    if (k.word == word) return &k;
  }
  return nullptr;
}

bool IsWordChar(char c) {
  auto b = static_cast<unsigned char>(c);
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         b >= 0x80;
}

bool IsNumberChar(char c) {
  return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E';
}

std::string Hex(uint64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v, 16);
  std::string s(buf, r.ptr);
  for (char& c : s) c = static_cast<char>(c >= 'a' ? c - 'a' + 'A' : c);
  return "0x" + s;
}

// At most the first 40 bytes of a token, for a message, cut at a character's start.
std::string Excerpt(std::string_view token) {
  size_t n = std::min<size_t>(token.size(), 40);
  while (n < token.size() && n > 0 && (static_cast<unsigned char>(token[n]) & 0xC0) == 0x80) --n;
  return std::string(token.substr(0, n));
}

std::string PositionText(TextPosition p) {
  return std::to_string(p.line) + ":" + std::to_string(p.column);
}

class Parser {
 public:
  Parser(std::string_view text, std::string_view file, std::string* error)
      : text_(text), file_(file), error_(error) {}

  bool Run(ParsedDbc* out);

 private:
  // Positions and errors.
  TextPosition Locate(size_t offset);
  bool Fail(size_t at, std::string_view what);
  std::string Found(size_t at) const;
  bool Expected(std::string_view what) {
    return Fail(pos_, "expected " + std::string(what) + ", found " + Found(pos_));
  }

  // Tokens.
  void SkipBlanks();
  size_t Next() {
    SkipBlanks();
    return pos_;
  }
  void SkipLine();
  bool Accept(char c);
  bool Expect(char c, std::string_view what);
  bool ReadWord(std::string_view what, std::string_view* word);
  bool ReadUnsigned(std::string_view what, uint64_t max, uint64_t* value);
  bool ReadNumberText(std::string_view what, std::string_view* text);
  bool ReadDecimal(std::string_view what, DecimalNumber* number, std::string_view* text);
  bool ReadDouble(std::string_view what, double* value);
  bool ReadString(std::string* value);
  bool SkipString();
  bool StartsStatement(size_t at) const;
  bool SkipStatement(size_t at, std::string_view keyword);
  void SkipNewSymbols();
  bool CheckLineLengths();

  // Statements.
  bool ParseStatement();
  bool ParseMessage(size_t at);
  bool ReadMessageId(std::string_view name, size_t at, uint64_t id, Message* m);
  bool ParseSignal(size_t at);
  bool ReadMuxIndicator(Signal* s);
  bool ReadBitRange(Signal* s);
  bool ReadScaling(Signal* s);
  bool CheckSignalFits(const Signal& s, size_t startAt);
  bool AddSignal(Signal s, size_t at, std::string_view name, size_t nameAt);
  bool ReadSignalRef(uint32_t* message, uint16_t* signal, bool* ignored);
  bool ParseValues(size_t at);
  bool ParseValueType();
  bool ParseMuxValues(size_t at);
  bool ReadMuxRange(MuxRange* range);

  std::string_view text_;
  std::string_view file_;
  std::string* error_;
  size_t pos_ = 0;

  // Locate's cache: the position of locatedOffset_. Positions are mostly asked for in increasing
  // offsets, so finding each costs the distance from the one before (plus, going back, the
  // length of its line).
  size_t locatedOffset_ = 0;
  TextPosition located_{1, 1};

  ParsedDbc* out_ = nullptr;
  // The message that SG_ lines add to: an index, kIndependent (read and dropped) or kNone.
  static constexpr int64_t kNone = -1;
  static constexpr int64_t kIndependent = -2;
  int64_t current_ = kNone;
  size_t signalCount_ = 0;
  size_t valueKeys_ = 0;
  size_t muxRanges_ = 0;
  uint64_t independentId_ = ~uint64_t{0};
  std::unordered_map<uint32_t, uint32_t> messageById_;  // DBC identifier (with bit 31)
  std::unordered_map<std::string_view, uint32_t> messageByName_;
  std::vector<std::unordered_map<std::string_view, uint16_t>> signalByName_;
  // The VAL_ statement of each signal that has one: (message << 16 | signal) -> position.
  std::unordered_map<uint64_t, TextPosition> valuesAt_;
};

TextPosition Parser::Locate(size_t offset) {
  offset = std::min(offset, text_.size());
  if (offset < locatedOffset_) {
    // Back to an earlier offset: the lines in between, and the column from its line's start.
    for (size_t i = offset; i < locatedOffset_; ++i) located_.line -= text_[i] == '\n';
    size_t lineStart = text_.rfind('\n', offset == 0 ? 0 : offset - 1);
    lineStart = offset == 0 || lineStart == std::string_view::npos ? 0 : lineStart + 1;
    located_.column = 1;
    locatedOffset_ = lineStart;
  }
  for (size_t i = locatedOffset_; i < offset; ++i) {
    if (text_[i] == '\n') {
      ++located_.line;
      located_.column = 1;
    } else if ((static_cast<unsigned char>(text_[i]) & 0xC0) != 0x80) {
      ++located_.column;
    }
  }
  locatedOffset_ = offset;
  return located_;
}

bool Parser::Fail(size_t at, std::string_view what) {
  *error_ = PositionedError(file_, Locate(at), what);
  return false;
}

std::string Parser::Found(size_t at) const {
  if (at >= text_.size()) return "the end of the file";
  char c = text_[at];
  if (c == '\n' || c == '\r') return "the end of the line";
  if (IsWordChar(c) || c == '-' || c == '+') {
    size_t end = at + 1;
    while (end < text_.size() && (IsWordChar(text_[end]) || text_[end] == '.')) ++end;
    return "'" + Excerpt(text_.substr(at, end - at)) + "'";
  }
  if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
    return "the control character " + Hex(static_cast<unsigned char>(c));
  }
  return "'" + std::string(1, c) + "'";
}

void Parser::SkipBlanks() {
  while (pos_ < text_.size()) {
    char c = text_[pos_];
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') break;
    ++pos_;
  }
}

void Parser::SkipLine() {
  const void* nl = std::memchr(text_.data() + pos_, '\n', text_.size() - pos_);
  pos_ = nl ? static_cast<size_t>(static_cast<const char*>(nl) - text_.data()) + 1 : text_.size();
}

bool Parser::Accept(char c) {
  SkipBlanks();
  if (pos_ < text_.size() && text_[pos_] == c) {
    ++pos_;
    return true;
  }
  return false;
}

bool Parser::Expect(char c, std::string_view what) {
  if (Accept(c)) return true;
  return Expected("'" + std::string(1, c) + "' " + std::string(what));
}

bool Parser::ReadWord(std::string_view what, std::string_view* word) {
  SkipBlanks();
  size_t start = pos_;
  while (pos_ < text_.size() && IsWordChar(text_[pos_])) ++pos_;
  if (pos_ == start) return Expected(what);
  *word = text_.substr(start, pos_ - start);
  return true;
}

bool Parser::ReadUnsigned(std::string_view what, uint64_t max, uint64_t* value) {
  SkipBlanks();
  size_t start = pos_;
  uint64_t v = 0;
  bool overflow = false;
  while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
    unsigned digit = static_cast<unsigned>(text_[pos_] - '0');
    if (v > (max - digit) / 10) overflow = true;
    if (!overflow) v = v * 10 + digit;
    ++pos_;
  }
  if (pos_ == start) return Expected(what);
  if (overflow) {
    return Fail(start, "expected " + std::string(what) + " of at most " + std::to_string(max) +
                           ", found " +
                           std::string(text_.substr(start, std::min<size_t>(pos_ - start, 40))));
  }
  *value = v;
  return true;
}

bool Parser::ReadNumberText(std::string_view what, std::string_view* number) {
  SkipBlanks();
  size_t start = pos_;
  while (pos_ < text_.size() && IsNumberChar(text_[pos_])) ++pos_;
  if (pos_ == start) return Expected(what);
  *number = text_.substr(start, pos_ - start);
  return true;
}

bool Parser::ReadDecimal(std::string_view what, DecimalNumber* number, std::string_view* text) {
  std::string_view& t = *text;
  if (!ReadNumberText(what, &t)) return false;
  std::string why;
  if (!ParseDecimal(t, number, &why)) {
    return Fail(pos_ - t.size(),
                "expected " + std::string(what) + ": " + why + ", found '" + Excerpt(t) + "'");
  }
  return true;
}

bool Parser::ReadDouble(std::string_view what, double* value) {
  std::string_view t;
  if (!ReadNumberText(what, &t)) return false;
  std::string_view u = t.substr(t[0] == '+' ? 1 : 0);
  auto [end, ec] = std::from_chars(u.data(), u.data() + u.size(), *value);
  if (ec == std::errc::result_out_of_range && end == u.data() + u.size()) return true;  // ±huge
  if (ec != std::errc() || end != u.data() + u.size()) {
    return Fail(pos_ - t.size(), "expected " + std::string(what) + ", found '" + Excerpt(t) + "'");
  }
  return true;
}

bool Parser::SkipString() {
  size_t open = pos_++;
  while (pos_ < text_.size()) {
    char c = text_[pos_];
    if (c == '\\' && pos_ + 1 < text_.size() &&
        (text_[pos_ + 1] == '"' || text_[pos_ + 1] == '\\')) {
      pos_ += 2;
    } else if (c == '"' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
      pos_ += 2;  // a doubled quote stands for one
    } else if (c == '"') {
      ++pos_;
      return true;
    } else {
      ++pos_;
    }
  }
  return Fail(pos_, "expected '\"' to close the string begun at " + PositionText(Locate(open)) +
                        ", found the end of the file");
}

bool Parser::ReadString(std::string* value) {
  SkipBlanks();
  if (pos_ >= text_.size() || text_[pos_] != '"') return Expected("'\"' to begin a text");
  size_t open = pos_;
  if (!SkipString()) return false;
  std::string_view body = text_.substr(open + 1, pos_ - open - 2);
  value->clear();
  for (size_t i = 0; i < body.size(); ++i) {
    if ((body[i] == '\\' || body[i] == '"') && i + 1 < body.size() &&
        (body[i + 1] == '"' || (body[i] == '\\' && body[i + 1] == '\\'))) {
      ++i;
    }
    value->push_back(body[i]);
  }
  return true;
}

// Whether the line that begins at `at` starts with a statement keyword.
bool Parser::StartsStatement(size_t at) const {
  while (at < text_.size() && (text_[at] == ' ' || text_[at] == '\t' || text_[at] == '\r')) ++at;
  size_t end = at;
  while (end < text_.size() && IsWordChar(text_[end])) ++end;
  return end > at && FindKeyword(text_.substr(at, end - at)) != nullptr;
}

bool Parser::SkipStatement(size_t at, std::string_view keyword) {
  while (pos_ < text_.size()) {
    char c = text_[pos_];
    if (c == '"') {
      if (!SkipString()) return false;
    } else if (c == ';') {
      ++pos_;
      return true;
    } else if (c == '\n' && StartsStatement(pos_ + 1)) {
      break;
    } else {
      ++pos_;
    }
  }
  return Fail(pos_, "expected ';' to end the " + std::string(keyword) + " statement begun at " +
                        PositionText(Locate(at)) + ", found " + Found(pos_));
}

// NS_ : lists the keywords the file may use, on its own line and on the lines after it that
// hold nothing but words (normally indented); the list ends at the first other line (BS_: ...).
void Parser::SkipNewSymbols() {
  SkipLine();
  while (pos_ < text_.size()) {
    size_t end = std::min(text_.find('\n', pos_), text_.size());
    std::string_view line = text_.substr(pos_, end - pos_);
    bool words = std::all_of(line.begin(), line.end(), [](char c) {
      return IsWordChar(c) || c == ' ' || c == '\t' || c == '\r';
    });
    if (!words) return;
    pos_ = std::min(end + 1, text_.size());
  }
}

bool Parser::CheckLineLengths() {
  size_t start = 0;
  while (start < text_.size()) {
    size_t end = text_.find('\n', start);
    if (end == std::string_view::npos) end = text_.size();
    if (end - start > kMaxDbcLineBytes) {
      return Fail(start + kMaxDbcLineBytes, "expected a line of at most " +
                                                std::to_string(kMaxDbcLineBytes) +
                                                " bytes; a longer one is taken for a damaged file");
    }
    start = end + 1;
  }
  return true;
}

bool Parser::Run(ParsedDbc* out) {
  out_ = out;
  out_->db.file = std::string(file_);
  if (!CheckLineLengths()) return false;
  for (;;) {
    SkipBlanks();
    if (pos_ >= text_.size()) break;
    if (!ParseStatement()) return false;
  }
  return true;
}

bool Parser::ParseStatement() {
  size_t at = pos_;
  std::string_view word;
  if (!ReadWord("a keyword such as BO_, SG_ or VAL_", &word)) return false;
  const Keyword* k = FindKeyword(word);
  if (k == nullptr) {
    return Fail(at, "expected a keyword such as BO_, SG_ or VAL_, found '" + Excerpt(word) + "'");
  }
  if (k->statement != Statement::kSignal && k->statement != Statement::kMessage) current_ = kNone;
  switch (k->statement) {
    case Statement::kVersion: {
      std::string version;
      return ReadString(&version);
    }
    case Statement::kNewSymbols:
      SkipNewSymbols();
      return true;
    case Statement::kLine:
      SkipLine();
      return true;
    case Statement::kMessage:
      return ParseMessage(at);
    case Statement::kSignal:
      return ParseSignal(at);
    case Statement::kValues:
      return ParseValues(at);
    case Statement::kValueType:
      return ParseValueType();
    case Statement::kMuxValues:
      return ParseMuxValues(at);
    case Statement::kSkip:
      return SkipStatement(at, word);
  }
  return true;
}

bool Parser::ParseMessage(size_t at) {
  TextPosition where = Locate(at);
  uint64_t id = 0, size = 0;
  std::string_view name;
  size_t idAt = Next();
  if (!ReadUnsigned("a message identifier", 0xFFFFFFFFu, &id)) return false;
  size_t nameAt = Next();
  if (!ReadWord("a message name", &name) || !Expect(':', "after the message name")) return false;
  size_t sizeAt = Next();
  if (!ReadUnsigned("the message size in bytes", 0xFFFFFFFFu, &size)) return false;
  SkipLine();  // the transmitter
  if (name == kIndependentMessage) {
    current_ = kIndependent;
    independentId_ = id;
    return true;
  }
  if (size > kMaxMessageBytes) {
    return Fail(sizeAt,
                "expected a message size of at most 64 bytes, found " + std::to_string(size));
  }
  Message m;
  m.size = static_cast<uint8_t>(size);
  m.name = std::string(name);
  m.position = where;
  if (!ReadMessageId(name, idAt, id, &m)) return false;
  auto& messages = out_->db.messages;
  if (messages.size() >= kMaxMessages) return Fail(at, "expected at most 262144 messages");
  auto [byId, newId] = messageById_.emplace(static_cast<uint32_t>(id), messages.size());
  if (!newId) {
    const Message& first = messages[byId->second];
    return Fail(idAt, "message " + Hex(m.id) + (m.extended ? " (29-bit)" : "") +
                          " is already defined at " + std::string(file_) + ":" +
                          std::to_string(first.position.line) + " (" + first.name + ")");
  }
  auto [byName, newName] = messageByName_.emplace(name, messages.size());
  if (!newName) {
    messageById_.erase(byId);
    const Message& first = messages[byName->second];
    return Fail(nameAt, "message name " + m.name + " is already used at " + std::string(file_) +
                            ":" + std::to_string(first.position.line));
  }
  current_ = static_cast<int64_t>(messages.size());
  messages.push_back(std::move(m));
  signalByName_.emplace_back();
  return true;
}

bool Parser::ReadMessageId(std::string_view name, size_t at, uint64_t id, Message* m) {
  m->extended = (id & kExtendedFlag) != 0;
  m->id = static_cast<uint32_t>(id & ~kExtendedFlag);
  if (m->extended && m->id > kMaxExtendedId) {
    return Fail(at, "expected a 29-bit identifier with bit 31 set, found bits 29 or 30 set in " +
                        std::to_string(id) + " (" + std::string(name) + ")");
  }
  if (!m->extended && m->id > kMaxStandardId) {
    return Fail(at,
                "expected an 11-bit identifier (at most 2047), or bit 31 set for a 29-bit "
                "one, found " +
                    std::to_string(id));
  }
  return true;
}

bool Parser::ParseSignal(size_t at) {
  if (current_ == kNone) return Fail(at, "expected SG_ lines only after the BO_ line of a message");
  Signal s;
  std::string_view name;
  size_t nameAt = Next();
  if (!ReadWord("a signal name", &name)) return false;
  s.name = std::string(name);
  s.position = Locate(nameAt);
  SkipBlanks();
  if (pos_ < text_.size() && text_[pos_] != ':' && !ReadMuxIndicator(&s)) return false;
  if (!Expect(':', "after the signal name")) return false;
  size_t startAt = Next();
  if (!ReadBitRange(&s) || !ReadScaling(&s) || !ReadString(&s.unit)) return false;
  SkipLine();  // the receivers
  if (current_ == kIndependent) return true;
  return CheckSignalFits(s, startAt) && AddSignal(std::move(s), at, name, nameAt);
}

bool Parser::AddSignal(Signal s, size_t at, std::string_view name, size_t nameAt) {
  Message& m = out_->db.messages[static_cast<size_t>(current_)];
  if (m.signals.size() >= kMaxSignalsPerMessage || signalCount_ >= kMaxSignals) {
    return Fail(at, "expected at most " + std::to_string(kMaxSignalsPerMessage) +
                        " signals in a message and " + std::to_string(kMaxSignals) +
                        " in a database");
  }
  auto [it, added] = signalByName_[static_cast<size_t>(current_)].emplace(name, m.signals.size());
  if (!added) {
    return Fail(nameAt, "signal name " + s.name + " is already used in message " + m.name + " at " +
                            std::string(file_) + ":" +
                            std::to_string(m.signals[it->second].position.line));
  }
  m.signals.push_back(std::move(s));
  ++signalCount_;
  return true;
}

bool Parser::ReadMuxIndicator(Signal* s) {
  size_t at = pos_;
  std::string_view w;
  if (!ReadWord("':' or a multiplexer indicator (M, mN or mNM)", &w)) return false;
  if (w == "M") {
    s->isMultiplexor = true;
    return true;
  }
  std::string_view digits = w.substr(1);
  bool alsoMultiplexor = !digits.empty() && digits.back() == 'M';
  if (alsoMultiplexor) digits.remove_suffix(1);
  if (w[0] == 'm' && !digits.empty() && digits.size() <= 9 &&
      std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    s->isMultiplexed = true;
    s->isMultiplexor = alsoMultiplexor;
    std::from_chars(digits.data(), digits.data() + digits.size(), s->muxValue);
    return true;
  }
  return Fail(at,
              "expected ':' or a multiplexer indicator (M, mN or mNM), found '" + Excerpt(w) + "'");
}

bool Parser::ReadBitRange(Signal* s) {
  uint64_t start = 0, length = 0;
  if (!ReadUnsigned("the start bit", 0xFFFFFFFFu, &start) ||
      !Expect('|', "between the start bit and the length")) {
    return false;
  }
  size_t lengthAt = Next();
  if (!ReadUnsigned("the signal length in bits", 0xFFFFFFFFu, &length)) return false;
  if (length < 1 || length > kMaxSignalBits) {
    return Fail(lengthAt,
                "expected a signal length of 1 to 64 bits, found " + std::to_string(length));
  }
  if (!Expect('@', "before the byte order")) return false;
  if (pos_ >= text_.size() || (text_[pos_] != '0' && text_[pos_] != '1')) {
    return Expected("byte order @0 (big-endian) or @1 (little-endian)");
  }
  s->bigEndian = text_[pos_++] == '0';
  if (pos_ >= text_.size() || (text_[pos_] != '+' && text_[pos_] != '-')) {
    return Expected("'+' (unsigned) or '-' (signed) after the byte order");
  }
  s->isSigned = text_[pos_++] == '-';
  // A start bit past 511 lies past any message; CheckSignalFits reports it.
  s->startBit = static_cast<uint16_t>(std::min<uint64_t>(start, 0xFFFF));
  s->length = static_cast<uint8_t>(length);
  return true;
}

bool Parser::ReadScaling(Signal* s) {
  DecimalNumber factor, offset;
  std::string_view factorText, offsetText;
  if (!Expect('(', "before the factor")) return false;
  size_t factorAt = Next();
  if (!ReadDecimal("the factor", &factor, &factorText) ||
      !Expect(',', "between the factor and the offset") ||
      !ReadDecimal("the offset", &offset, &offsetText) || !Expect(')', "after the offset") ||
      !Expect('[', "before the minimum") || !ReadDouble("the minimum", &s->minimum) ||
      !Expect('|', "between the minimum and the maximum") ||
      !ReadDouble("the maximum", &s->maximum) || !Expect(']', "after the maximum")) {
    return false;
  }
  std::string why;
  if (!MakeExactScale(factor, offset, s->length, &s->exact, &why)) {
    return Fail(factorAt, "expected " + why);
  }
  s->factor = factor.value;
  s->offset = offset.value;
  s->factorText = std::string(factorText);
  s->offsetText = std::string(offsetText);
  return true;
}

bool Parser::CheckSignalFits(const Signal& s, size_t startAt) {
  const Message& m = out_->db.messages[static_cast<size_t>(current_)];
  uint32_t bits = m.size * 8u;
  // The bits a signal covers, numbered as they lie on the bus for its byte order: from the least
  // significant bit upward for @1; for @0 from the most significant bit, counting bit 7 of byte 0
  // as 0 (the start bit numbers bits 7..0 of byte 0 as 7..0, of byte 1 as 15..8, and so on).
  uint32_t first = s.startBit;
  if (s.bigEndian) first = s.startBit / 8 * 8 + 7 - s.startBit % 8;
  uint32_t last = first + s.length - 1;
  if (s.startBit < bits && last < bits) return true;
  return Fail(startAt, "expected signal " + s.name + " (start bit " + std::to_string(s.startBit) +
                           ", " + std::to_string(s.length) + " bits, " +
                           (s.bigEndian ? "@0" : "@1") + ") within the " + std::to_string(m.size) +
                           " bytes of message " + m.name);
}

bool Parser::ReadSignalRef(uint32_t* message, uint16_t* signal, bool* ignored) {
  uint64_t id = 0;
  std::string_view name;
  size_t idAt = Next();
  if (!ReadUnsigned("a message identifier", 0xFFFFFFFFu, &id)) return false;
  size_t nameAt = Next();
  if (!ReadWord("a signal name", &name)) return false;
  *ignored = id == independentId_;
  if (*ignored) return true;
  auto m = messageById_.find(static_cast<uint32_t>(id));
  if (m == messageById_.end()) {
    return Fail(idAt,
                "expected the identifier of a message defined by BO_, found " + std::to_string(id));
  }
  auto s = signalByName_[m->second].find(name);
  if (s == signalByName_[m->second].end()) {
    return Fail(nameAt, "expected a signal of message " + out_->db.messages[m->second].name +
                            ", found '" + Excerpt(name) + "'");
  }
  *message = m->second;
  *signal = s->second;
  return true;
}

bool Parser::ParseValues(size_t at) {
  SkipBlanks();
  // VAL_ name values; gives the values of an environment variable, not used here.
  if (pos_ < text_.size() && (text_[pos_] < '0' || text_[pos_] > '9')) {
    return SkipStatement(at, "VAL_");
  }
  TextPosition where = Locate(at);
  ValueDefinition def;
  bool ignored = false;
  if (!ReadSignalRef(&def.message, &def.signal, &ignored)) return false;
  if (ignored) return SkipStatement(at, "VAL_");
  for (;;) {
    size_t keyAt = Next();
    if (pos_ < text_.size() && text_[pos_] == ';') break;
    ValueKey key;
    key.position = Locate(keyAt);
    key.negative = Accept('-');
    if (!ReadUnsigned("a raw value or ';'", ~uint64_t{0}, &key.magnitude)) return false;
    if (key.negative && key.magnitude > (uint64_t{1} << 63)) {
      return Fail(keyAt, "expected a raw value of at least -9223372036854775808");
    }
    if (!ReadString(&key.text)) return false;
    if (++valueKeys_ > kMaxValueKeys) {
      return Fail(keyAt, "expected at most " + std::to_string(kMaxValueKeys) +
                             " value-table entries in a database");
    }
    def.keys.push_back(std::move(key));
  }
  ++pos_;
  auto [first, added] = valuesAt_.emplace(uint64_t{def.message} << 16 | def.signal, where);
  if (!added) {
    return Fail(at, "expected one value table (VAL_) for signal " +
                        out_->db.messages[def.message].signals[def.signal].name +
                        ", found a second one after " + std::string(file_) + ":" +
                        std::to_string(first->second.line));
  }
  out_->values.push_back(std::move(def));
  return true;
}

bool Parser::ParseValueType() {
  uint32_t mi = 0;
  uint16_t si = 0;
  bool ignored = false;
  uint64_t type = 0;
  if (!ReadSignalRef(&mi, &si, &ignored)) return false;
  Accept(':');
  size_t typeAt = Next();
  if (!ReadUnsigned("a value type (0 integer, 1 IEEE float, 2 IEEE double)", 0xFFFFFFFFu, &type) ||
      !Expect(';', "after the value type")) {
    return false;
  }
  if (ignored) return true;
  Signal& s = out_->db.messages[mi].signals[si];
  static constexpr uint32_t kTypeBits[] = {0, 32, 64};
  if (type > 2) {
    return Fail(typeAt,
                "expected value type 0 (integer), 1 (IEEE float) or 2 (IEEE double), "
                "found " +
                    std::to_string(type));
  }
  if (type != 0 && s.length != kTypeBits[type]) {
    return Fail(typeAt,
                "expected a " + std::to_string(kTypeBits[type]) + "-bit signal for " +
                    (type == 1 ? "value type 1 (IEEE float)" : "value type 2 (IEEE double)") +
                    ", but " + s.name + " has " + std::to_string(s.length) + " bits");
  }
  s.type = type == 0 ? ValueType::kInteger : type == 1 ? ValueType::kFloat32 : ValueType::kFloat64;
  return true;
}

bool Parser::ParseMuxValues(size_t at) {
  MuxDefinition def;
  def.position = Locate(at);
  bool ignored = false;
  std::string_view mux;
  if (!ReadSignalRef(&def.message, &def.signal, &ignored)) return false;
  size_t muxAt = Next();
  if (!ReadWord("the name of the multiplexor", &mux)) return false;
  if (!ignored) {
    const auto& names = signalByName_[def.message];
    auto it = names.find(mux);
    if (it == names.end()) {
      return Fail(muxAt, "expected a signal of message " + out_->db.messages[def.message].name +
                             " as multiplexor, found '" + Excerpt(mux) + "'");
    }
    def.multiplexor = it->second;
  }
  do {
    MuxRange r;
    if (!ReadMuxRange(&r)) return false;
    if (++muxRanges_ > kMaxMuxRanges) {
      return Fail(pos_, "expected at most " + std::to_string(kMaxMuxRanges) +
                            " multiplexor ranges in a database");
    }
    def.ranges.push_back(r);
  } while (Accept(','));
  if (!Expect(';', "after the multiplexor values")) return false;
  if (!ignored) out_->mux.push_back(std::move(def));
  return true;
}

bool Parser::ReadMuxRange(MuxRange* range) {
  size_t at = Next();
  if (!ReadUnsigned("a multiplexor value", ~uint64_t{0}, &range->low) ||
      !Expect('-', "between the two values of a range") ||
      !ReadUnsigned("a multiplexor value", ~uint64_t{0}, &range->high)) {
    return false;
  }
  if (range->low > range->high) {
    return Fail(at, "expected a range low-high with low at most high");
  }
  return true;
}

}  // namespace

bool ParseDbc(std::string_view bytes, std::string_view file, Database* db, std::string* error) {
  if (bytes.size() > kMaxDbcFileBytes) {
    *error = std::string(file) + ": expected a database of at most " +
             std::to_string(kMaxDbcFileBytes) + " bytes";
    return false;
  }
  std::string text = DbcTextToUtf8(bytes);
  ParsedDbc parsed;
  Parser parser(text, file, error);
  if (!parser.Run(&parsed) || !FinishDbc(&parsed, error)) return false;
  *db = std::move(parsed.db);
  return true;
}

std::string PositionedError(std::string_view file, TextPosition at, std::string_view what) {
  return std::string(file) + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) +
         ": " + std::string(what);
}

}  // namespace dtconv::signals
