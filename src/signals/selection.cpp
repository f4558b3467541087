// Choosing signals by name, and the decoding plan of each message that carries one.
#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "signals/signals.h"

namespace dtconv::signals {

namespace {

// Names longer than this are not compared for near names: the edit distance costs the product
// of the two lengths, and such names are not what anyone types.
constexpr size_t kMaxComparedName = 256;
constexpr size_t kMaxNearNames = 5;

// Whether `name` matches `pattern`, where * matches any run of characters. Greedy with one
// backtracking point, so the cost stays the product of the lengths at worst.
bool Glob(std::string_view pattern, std::string_view name) {
  size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && pattern[p] == name[n]) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1] ? 1 : 0)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return out;
}

std::string_view Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

struct Candidate {
  uint32_t database;
  const Message* message;
  const Signal* signal;
};

// "no signal matches 'X'", with up to five names near it: those within an edit distance of a
// third of its length (at least 2), and those that hold it whatever the case; of these the
// nearest, and those at most two edits farther.
std::string NoMatch(std::string_view entry, const std::vector<Candidate>& all) {
  bool qualified = entry.find('.') != std::string_view::npos;
  std::string key;
  for (char c : entry) {
    if (c != '*') key.push_back(c);
  }
  std::string lowerKey = Lower(key);
  size_t limit = std::max<size_t>(2, key.size() / 3);
  std::vector<std::pair<size_t, std::string>> near;
  std::unordered_set<std::string> seen;
  for (const Candidate& c : all) {
    std::string name = qualified ? c.message->name + "." + c.signal->name : c.signal->name;
    if (name.size() > kMaxComparedName || !seen.insert(name).second) continue;
    size_t d = EditDistance(key, name);
    if (key.size() >= 3 && Lower(name).find(lowerKey) != std::string::npos) d = std::min(d, limit);
    if (d <= limit) near.emplace_back(d, name);
  }
  std::sort(near.begin(), near.end());
  std::string text = "no signal matches '" + std::string(entry) + "'";
  for (size_t i = 0; i < near.size() && i < kMaxNearNames && near[i].first <= near[0].first + 2;
       ++i) {
    text += (i == 0 ? "; near names: " : ", ") + near[i].second;
  }
  return text;
}

}  // namespace

bool SignalSelection::Select(const DatabaseSet& set, std::string_view list, std::string* error) {
  std::vector<Candidate> all;
  for (size_t d = 0; d < set.size(); ++d) {
    for (const Message& m : set.entry(d).db.messages) {
      for (const Signal& s : m.signals) all.push_back({static_cast<uint32_t>(d), &m, &s});
    }
  }
  std::vector<const Candidate*> chosen;
  if (Trim(list).empty()) {
    for (const Candidate& c : all) chosen.push_back(&c);
  } else {
    std::unordered_set<const Signal*> taken;
    for (size_t start = 0; start <= list.size();) {
      size_t comma = std::min(list.find(',', start), list.size());
      std::string_view entry = Trim(list.substr(start, comma - start));
      start = comma + 1;
      if (entry.empty()) {
        *error = "expected a signal name between two commas of the signal list";
        return false;
      }
      size_t dot = entry.find('.');
      std::string_view messagePattern = dot == std::string_view::npos ? "*" : entry.substr(0, dot);
      std::string_view signalPattern =
          dot == std::string_view::npos ? entry : entry.substr(dot + 1);
      bool matched = false;
      for (const Candidate& c : all) {
        if (!Glob(signalPattern, c.signal->name) || !Glob(messagePattern, c.message->name)) {
          continue;
        }
        matched = true;
        if (taken.insert(c.signal).second) chosen.push_back(&c);
      }
      if (!matched) {
        *error = NoMatch(entry, all);
        return false;
      }
    }
  }
  // Message names used by more than one database are qualified by the database's label.
  std::unordered_map<std::string_view, uint32_t> firstDatabase;
  std::unordered_set<std::string_view> shared;
  for (const Candidate& c : all) {
    auto [it, added] = firstDatabase.emplace(c.message->name, c.database);
    if (!added && it->second != c.database) shared.insert(c.message->name);
  }
  signals_.clear();
  for (const Candidate* c : chosen) {
    std::string_view qualifier;
    if (shared.count(c->message->name) != 0) qualifier = set.entry(c->database).label;
    signals_.push_back({c->message, c->signal, c->database, qualifier});
  }
  BuildPlans(set);
  return true;
}

// One plan per message with a selected signal: its selected signals and the multiplexors that
// switch them, in the message's decoding order; each multiplexor that switches a step keeps its
// value in a slot.
void SignalSelection::BuildPlans(const DatabaseSet& set) {
  plans_.clear();
  index_.Clear();
  std::unordered_map<const Message*, size_t> planOf;
  std::vector<uint32_t> planDatabase;
  std::vector<std::vector<uint32_t>> columns;  // per plan, per signal of the message
  for (size_t col = 0; col < signals_.size(); ++col) {
    const SelectedSignal& sel = signals_[col];
    auto [it, added] = planOf.emplace(sel.message, plans_.size());
    if (added) {
      plans_.emplace_back();
      plans_.back().message_ = sel.message;
      planDatabase.push_back(sel.database);
      columns.emplace_back(sel.message->signals.size(), MessagePlan::kNoColumn);
    }
    size_t index = static_cast<size_t>(sel.signal - sel.message->signals.data());
    columns[it->second][index] = static_cast<uint32_t>(col);
  }
  for (size_t p = 0; p < plans_.size(); ++p) {
    MessagePlan& plan = plans_[p];
    const Message& m = *plan.message_;
    std::vector<bool> needed(m.signals.size(), false);
    std::vector<uint16_t> slot(m.signals.size(), MessagePlan::kNoSlot);
    for (size_t i = 0; i < m.signals.size(); ++i) {
      if (columns[p][i] == MessagePlan::kNoColumn) continue;
      ++plan.maxValues_;
      for (int32_t j = static_cast<int32_t>(i); j >= 0 && !needed[static_cast<size_t>(j)];
           j = m.signals[static_cast<size_t>(j)].multiplexor) {
        needed[static_cast<size_t>(j)] = true;
      }
    }
    for (uint16_t i : m.decodeOrder) {
      if (!needed[i]) continue;
      const Signal& s = m.signals[i];
      DecodeStep step{s.layout,
                      columns[p][i],
                      static_cast<uint32_t>(plan.ranges_.size()),
                      static_cast<uint32_t>(s.muxRanges.size()),
                      MessagePlan::kNoSlot,
                      MessagePlan::kNoSlot,
                      false};
      if (s.multiplexor >= 0) {
        step.muxSlot = slot[static_cast<size_t>(s.multiplexor)];
        step.muxSigned = m.signals[static_cast<size_t>(s.multiplexor)].isSigned;
        plan.ranges_.insert(plan.ranges_.end(), s.muxRanges.begin(), s.muxRanges.end());
      }
      if (s.isMultiplexor) step.ownSlot = slot[i] = plan.slots_++;
      plan.steps_.push_back(step);
    }
    uint8_t lines = set.entry(planDatabase[p]).lines;
    for (int line = 1; line <= 2; ++line) {
      if ((lines & (1 << (line - 1))) != 0) {
        index_.Put(line, m.extended, m.id, static_cast<int32_t>(p));
      }
    }
  }
}

}  // namespace dtconv::signals
