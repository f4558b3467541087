// The finishing pass of the DBC reader: what needs the whole file.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "signals/dbc.h"
#include "signals/dbc_build.h"

namespace dtconv::signals {

namespace {

// The decoder keeps the values of a message's multiplexors in a fixed array on its stack. Real
// messages have one multiplexor, extended multiplexing a handful.
constexpr size_t kMaxMultiplexors = 255;

struct Finisher {
  const std::string& file;
  std::string* error;

  bool Fail(TextPosition at, const std::string& what) {
    *error = PositionedError(file, at, what);
    return false;
  }

  bool ApplyMuxDefinitions(Message& m, const std::vector<const MuxDefinition*>& defs);
  bool ResolveMultiplexing(Message& m, const std::vector<const MuxDefinition*>& defs);
  bool OrderForDecoding(Message& m);
  bool ConvertValues(const ValueDefinition& def, Signal& s);
};

// SG_MUL_VAL_ lines name the switch of a signal and the values that select it.
bool Finisher::ApplyMuxDefinitions(Message& m, const std::vector<const MuxDefinition*>& defs) {
  std::vector<const MuxDefinition*> bySignal(m.signals.size(), nullptr);
  for (const MuxDefinition* d : defs) {
    Signal& s = m.signals[d->signal];
    const Signal& mux = m.signals[d->multiplexor];
    if (!s.isMultiplexed) {
      return Fail(d->position,
                  "expected SG_MUL_VAL_ only for multiplexed signals (mN or mNM), "
                  "but " +
                      s.name + " is not multiplexed");
    }
    if (!mux.isMultiplexor || d->multiplexor == d->signal) {
      return Fail(d->position, "expected a multiplexor (M or mNM) other than " + s.name +
                                   " to switch it, found " + mux.name);
    }
    const MuxDefinition* before = bySignal[d->signal];
    if (before != nullptr && before->multiplexor != d->multiplexor) {
      return Fail(d->position, "expected one multiplexor for " + s.name +
                                   ", which is switched by " + mux.name + " here and by " +
                                   m.signals[before->multiplexor].name + " at " + file + ":" +
                                   std::to_string(before->position.line));
    }
    bySignal[d->signal] = d;
    s.multiplexor = d->multiplexor;
    s.muxRanges.insert(s.muxRanges.end(), d->ranges.begin(), d->ranges.end());
  }
  return true;
}

// A multiplexed signal without SG_MUL_VAL_ is selected by the value N of its mN, of the
// message's one multiplexor M.
bool Finisher::ResolveMultiplexing(Message& m, const std::vector<const MuxDefinition*>& defs) {
  if (!ApplyMuxDefinitions(m, defs)) return false;
  std::vector<int32_t> plain;
  size_t multiplexors = 0;
  for (size_t i = 0; i < m.signals.size(); ++i) {
    const Signal& s = m.signals[i];
    if (!s.isMultiplexor) continue;
    if (!s.isMultiplexed) plain.push_back(static_cast<int32_t>(i));
    if (s.type != ValueType::kInteger) {
      return Fail(s.position,
                  "expected an integer signal as multiplexor, but " + s.name + " is an IEEE float");
    }
    if (++multiplexors > kMaxMultiplexors) {
      return Fail(s.position, "expected at most 255 multiplexors in message " + m.name);
    }
  }
  for (Signal& s : m.signals) {
    if (!s.isMultiplexed || s.multiplexor >= 0) continue;
    if (plain.size() != 1) {
      return Fail(s.position,
                  plain.empty()
                      ? "expected a multiplexor (M) in message " + m.name + " for signal " + s.name
                      : "expected an SG_MUL_VAL_ line for " + s.name + ": message " + m.name +
                            " has more than one multiplexor M");
    }
    s.multiplexor = plain[0];
    s.muxRanges = {{s.muxValue, s.muxValue}};
  }
  return OrderForDecoding(m);
}

// Multiplexors first, each before the signals it switches: signals ordered by the length of
// their chain of switches (stable, so that the file's order stays within each depth).
bool Finisher::OrderForDecoding(Message& m) {
  size_t n = m.signals.size();
  std::vector<uint32_t> depth(n, 0);
  for (size_t i = 0; i < n; ++i) {
    int32_t j = m.signals[i].multiplexor;
    while (j >= 0) {
      if (++depth[i] > kMaxMultiplexors + 1) {
        return Fail(m.signals[i].position,
                    "expected multiplexors that do not switch each other "
                    "in a circle, as those of " +
                        m.signals[i].name + " do");
      }
      j = m.signals[static_cast<size_t>(j)].multiplexor;
    }
  }
  m.decodeOrder.resize(n);
  for (size_t i = 0; i < n; ++i) m.decodeOrder[i] = static_cast<uint16_t>(i);
  std::stable_sort(m.decodeOrder.begin(), m.decodeOrder.end(),
                   [&](uint16_t a, uint16_t b) { return depth[a] < depth[b]; });
  return true;
}

BitLayout MakeLayout(const Signal& s) {
  BitLayout l;
  uint32_t length = s.length;
  l.mask = length == 64 ? ~uint64_t{0} : (uint64_t{1} << length) - 1;
  if (s.type == ValueType::kInteger && s.isSigned) l.signBit = uint64_t{1} << (length - 1);
  if (!s.bigEndian) {
    // Bits counted from bit 0 of byte 0 upward; a 16-byte little-endian window from the byte of
    // the least significant bit holds the signal at shift startBit % 8.
    l.byte = static_cast<uint8_t>(s.startBit / 8);
    l.shift = static_cast<uint8_t>(s.startBit % 8);
    l.bytesNeeded = static_cast<uint8_t>((s.startBit + length - 1) / 8 + 1);
  } else {
    // The most significant bit is bit startBit % 8 of byte startBit / 8; in the frame read as
    // one big-endian number from that byte on it lies 7 - startBit % 8 bits below the top.
    uint32_t msb = s.startBit / 8 * 8 + 7 - s.startBit % 8;
    l.byte = static_cast<uint8_t>(msb / 8);
    l.shift = static_cast<uint8_t>(128 - msb % 8 - length);
    l.bytesNeeded = static_cast<uint8_t>((msb + length - 1) / 8 + 1);
    l.bigEndian = true;
  }
  return l;
}

ValueStyle ChooseStyle(const Signal& s) {
  if (s.type == ValueType::kFloat32) return ValueStyle::kFloat32;
  if (s.type == ValueType::kFloat64) return ValueStyle::kFloat64;
  if (s.exact.factor == 1 && s.exact.offset == 0 && s.exact.decimals == 0) {
    return s.isSigned ? ValueStyle::kSigned : ValueStyle::kUnsigned;
  }
  return ValueStyle::kDecimal;
}

// Brings the values of a VAL_ statement to raw values as the decoder gives them. A value no raw
// value of the signal can have is left out; value tables of IEEE float signals are not used.
bool Finisher::ConvertValues(const ValueDefinition& def, Signal& s) {
  if (s.type != ValueType::kInteger) return true;
  __int128 low = 0, high = static_cast<__int128>(s.layout.mask);
  if (s.isSigned) {
    high = static_cast<__int128>(s.layout.mask >> 1);
    low = -high - 1;
  }
  std::vector<std::pair<const ValueKey*, uint64_t>> keys;
  for (const ValueKey& k : def.keys) {
    __int128 v = k.negative ? -static_cast<__int128>(k.magnitude) : k.magnitude;
    if (v >= low && v <= high) keys.emplace_back(&k, static_cast<uint64_t>(v));
  }
  std::stable_sort(keys.begin(), keys.end(),
                   [](const auto& a, const auto& b) { return a.second < b.second; });
  for (size_t i = 0; i < keys.size(); ++i) {
    if (i > 0 && keys[i].second == keys[i - 1].second) {
      return Fail(keys[i].first->position, "expected each raw value once in the value table of " +
                                               s.name + ", found a second entry for " +
                                               std::string(keys[i].first->negative ? "-" : "") +
                                               std::to_string(keys[i].first->magnitude));
    }
    s.values.push_back({keys[i].second, keys[i].first->text});
  }
  return true;
}

}  // namespace

bool FinishDbc(ParsedDbc* parsed, std::string* error) {
  Database& db = parsed->db;
  Finisher f{db.file, error};
  std::vector<std::vector<const MuxDefinition*>> defs(db.messages.size());
  for (const MuxDefinition& d : parsed->mux) defs[d.message].push_back(&d);
  for (size_t i = 0; i < db.messages.size(); ++i) {
    Message& m = db.messages[i];
    if (!f.ResolveMultiplexing(m, defs[i])) return false;
    for (Signal& s : m.signals) {
      s.layout = MakeLayout(s);
      s.style = ChooseStyle(s);
    }
  }
  for (const ValueDefinition& def : parsed->values) {
    if (!f.ConvertValues(def, db.messages[def.message].signals[def.signal])) return false;
  }
  return true;
}

}  // namespace dtconv::signals
