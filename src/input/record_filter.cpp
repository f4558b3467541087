#include "input/record_filter.h"

#include <algorithm>

namespace dtconv {

namespace {

constexpr uint32_t kMaxStandardId = 0x7FF;
constexpr uint32_t kMaxExtendedId = 0x1FFFFFFF;
constexpr uint64_t kMicro = 1000000;
// Seconds from the start: more than a capture spans (its timestamps count 48 bits of
// microseconds, about 8.9 years).
constexpr size_t kMaxWholeSecondDigits = 9;

std::string_view Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A hexadecimal identifier, "0x" optional, of at most eight digits.
bool ParseHexId(std::string_view s, uint32_t* id) {
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s.remove_prefix(2);
  if (s.empty() || s.size() > 8) return false;
  uint32_t v = 0;
  for (char c : s) {
    int h = HexValue(c);
    if (h < 0) return false;
    v = v << 4 | static_cast<uint32_t>(h);
  }
  *id = v;
  return true;
}

std::string HexText(uint32_t v) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string s;
  do {
    s.insert(s.begin(), kHex[v & 15]);
    v >>= 4;
  } while (v != 0);
  return "0x" + s;
}

// One entry of an identifier list.
bool ParseIdEntry(std::string_view entry, IdRange* range, std::string* error) {
  std::string_view body = entry;
  if (body.size() >= 2 && body[1] == ':' && (body[0] == 's' || body[0] == 'x')) {
    range->standard = body[0] == 's';
    range->extended = body[0] == 'x';
    body.remove_prefix(2);
  }
  size_t dash = body.find('-');
  std::string_view low = Trim(body.substr(0, dash));
  std::string_view high = dash == std::string_view::npos ? low : Trim(body.substr(dash + 1));
  if (!ParseHexId(low, &range->low) || !ParseHexId(high, &range->high)) {
    *error =
        "expected a hexadecimal identifier or a range of them (0x100-0x1FF), optionally "
        "after s: or x:, not '" +
        std::string(entry) + "'";
    return false;
  }
  uint32_t limit = range->extended ? kMaxExtendedId : kMaxStandardId;
  if (range->high > limit) {
    *error =
        "'" + std::string(entry) + "' lies beyond " + HexText(limit) +
        (range->extended ? ", the largest 29-bit identifier" : ", the largest 11-bit identifier");
    return false;
  }
  if (range->low > range->high) {
    *error = "the range '" + std::string(entry) + "' ends below its start";
    return false;
  }
  return true;
}

// Up to six decimals after a point, as microseconds; `s` starts after the point.
bool ParseMicros(std::string_view s, uint64_t* micros) {
  if (s.empty() || s.size() > 6) return false;
  uint64_t v = 0;
  for (size_t i = 0; i < 6; ++i) {
    if (i < s.size() && !IsDigit(s[i])) return false;
    v = v * 10 + (i < s.size() ? static_cast<uint64_t>(s[i] - '0') : 0);
  }
  *micros = v;
  return true;
}

// Digits only, at most `maxDigits` of them.
bool ParseDigits(std::string_view s, size_t maxDigits, uint64_t* value) {
  if (s.empty() || s.size() > maxDigits) return false;
  uint64_t v = 0;
  for (char c : s) {
    if (!IsDigit(c)) return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  *value = v;
  return true;
}

// Whole units and an optional fraction: "12", "12.5".
bool ParseSecondsText(std::string_view s, size_t maxWholeDigits, uint64_t* micros) {
  size_t point = s.find('.');
  uint64_t whole = 0, fraction = 0;
  if (!ParseDigits(s.substr(0, point), maxWholeDigits, &whole)) return false;
  if (point != std::string_view::npos && !ParseMicros(s.substr(point + 1), &fraction)) return false;
  *micros = whole * kMicro + fraction;
  return true;
}

// HH:MM or HH:MM:SS[.ffffff] as microseconds since midnight.
bool ParseClock(std::string_view s, uint64_t* micros) {
  size_t first = s.find(':');
  size_t second = s.find(':', first + 1);
  uint64_t hour = 0, minute = 0, rest = 0;
  if (!ParseDigits(s.substr(0, first), 2, &hour) || hour > 23) return false;
  std::string_view m =
      s.substr(first + 1, second == std::string_view::npos ? s.npos : second - first - 1);
  if (m.size() != 2 || !ParseDigits(m, 2, &minute) || minute > 59) return false;
  if (second != std::string_view::npos) {
    std::string_view sec = s.substr(second + 1);
    if (sec.size() < 2 || sec.find('.') == 1) return false;  // two digits of seconds
    if (!ParseSecondsText(sec, 2, &rest) || rest >= 60 * kMicro) return false;
  }
  *micros = (hour * 3600 + minute * 60) * kMicro + rest;
  return true;
}

}  // namespace

bool ParseIdList(std::string_view text, std::vector<IdRange>* ids, std::string* error) {
  std::vector<IdRange> out;
  for (size_t start = 0; start <= text.size();) {
    size_t comma = std::min(text.find(',', start), text.size());
    std::string_view entry = Trim(text.substr(start, comma - start));
    start = comma + 1;
    if (entry.empty()) {
      *error = "expected an identifier between two commas of the identifier list";
      return false;
    }
    IdRange range;
    if (!ParseIdEntry(entry, &range, error)) return false;
    out.push_back(range);
  }
  *ids = std::move(out);
  return true;
}

bool ParseTimeBound(std::string_view text, TimeBound* bound, std::string* error) {
  std::string_view s = Trim(text);
  TimeBound b;
  bool ok = false;
  if (s.find(':') != std::string_view::npos) {
    b.kind = TimeBound::Kind::kClock;
    ok = ParseClock(s, &b.micros);
  } else {
    b.kind = TimeBound::Kind::kElapsed;
    ok = ParseSecondsText(s, kMaxWholeSecondDigits, &b.micros);
  }
  if (!ok) {
    *error =
        "expected seconds from the capture's start (12.5) or a clock time (09:31:00), with "
        "at most six decimals, not '" +
        std::string(text) + "'";
    return false;
  }
  *bound = b;
  return true;
}

void RecordFilter::SetIds(const std::vector<IdRange>& ids) {
  hasIds_ = !ids.empty();
  active_ = hasIds_ || from_ != 0 || span_ != kEnd;
  std::fill(std::begin(standard_), std::end(standard_), 0);
  extended_.clear();
  for (const IdRange& r : ids) {
    if (r.standard) {
      for (uint32_t id = r.low; id <= std::min(r.high, kMaxStandardId); ++id) {
        standard_[id / 64] |= uint64_t{1} << (id % 64);
      }
    }
    if (r.extended) extended_.push_back({r.low, r.high, false, true});
  }
  std::sort(extended_.begin(), extended_.end(),
            [](const IdRange& a, const IdRange& b) { return a.low < b.low; });
  // Overlapping and adjoining ranges become one, so a lookup finds at most one candidate.
  std::vector<IdRange> merged;
  for (const IdRange& r : extended_) {
    if (!merged.empty() && r.low <= merged.back().high + 1) {
      merged.back().high = std::max(merged.back().high, r.high);
    } else {
      merged.push_back(r);
    }
  }
  extended_ = std::move(merged);
}

bool RecordFilter::KeepsId(uint32_t id, bool extended) const {
  if (!hasIds_) return true;
  if (!extended) return id <= kMaxStandardId && (standard_[id / 64] >> (id % 64) & 1) != 0;
  // The last range that starts at or below the identifier.
  auto it = std::upper_bound(extended_.begin(), extended_.end(), id,
                             [](uint32_t v, const IdRange& r) { return v < r.low; });
  return it != extended_.begin() && id <= std::prev(it)->high;
}

}  // namespace dtconv
