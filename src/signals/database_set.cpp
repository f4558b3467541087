// The databases of a conversion and the lookup of a frame's message.
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "signals/dbc_build.h"
#include "signals/signals.h"

namespace dtconv::signals {

namespace {

constexpr uint32_t kStandardIds = 0x800;

std::string HexId(uint32_t id) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", static_cast<unsigned>(id));
  return buf;
}

std::string FileName(const std::string& path) {
  std::u8string name =
      std::filesystem::path(std::u8string(path.begin(), path.end())).filename().u8string();
  return std::string(name.begin(), name.end());
}

}  // namespace

void IdTable::Put(int line, bool extended, uint32_t id, int32_t index) {
  size_t l = static_cast<size_t>(line - 1);
  if (!extended) {
    if (standard_[l].empty()) standard_[l].assign(kStandardIds, -1);
    standard_[l][id] = index;
  } else {
    extended_[l][id] = index;
  }
}

void IdTable::Clear() {
  for (int l = 0; l < 2; ++l) {
    standard_[l].clear();
    extended_[l].clear();
  }
}

bool DatabaseSet::Load(const std::filesystem::path& path, uint8_t lines, std::string* error) {
  Database db;
  return LoadDbc(path, &db, error) && Add(std::move(db), lines, error);
}

bool DatabaseSet::Add(Database db, uint8_t lines, std::string* error) {
  if (lines == 0 || (lines & ~kBothLines) != 0) {
    *error = db.file + ": expected CH1, CH2 or both lines for the database";
    return false;
  }
  for (const Message& m : db.messages) {
    for (int line = 1; line <= 2; ++line) {
      if ((lines & (1 << (line - 1))) == 0) continue;
      int32_t before = index_.Get(line, m.extended, m.id);
      if (before < 0) continue;
      const Message& first = *messages_[static_cast<size_t>(before)];
      const Entry& owner = *entries_[messageEntry_[static_cast<size_t>(before)]];
      *error = PositionedError(db.file, m.position,
                               "message " + HexId(m.id) + (m.extended ? " (29-bit) " : " ") +
                                   m.name + " on CH" + std::to_string(line) +
                                   " is already defined by " + owner.db.file + ":" +
                                   std::to_string(first.position.line) + " (" + first.name + ")");
      return false;
    }
  }
  auto entry = std::make_unique<Entry>();
  entry->db = std::move(db);
  entry->lines = lines;
  for (const Message& m : entry->db.messages) {
    auto index = static_cast<int32_t>(messages_.size());
    messages_.push_back(&m);
    messageEntry_.push_back(static_cast<uint32_t>(entries_.size()));
    for (int line = 1; line <= 2; ++line) {
      if ((lines & (1 << (line - 1))) != 0) index_.Put(line, m.extended, m.id, index);
    }
  }
  entries_.push_back(std::move(entry));
  Relabel();
  return true;
}

const Message* DatabaseSet::Find(int line, bool extended, uint32_t id) const {
  int32_t i = index_.Get(line, extended, id);
  return i < 0 ? nullptr : messages_[static_cast<size_t>(i)];
}

void DatabaseSet::Relabel() {
  for (auto& e : entries_) {
    e->label = FileName(e->db.file);
    for (auto& other : entries_) {
      if (other != e && FileName(other->db.file) == e->label) e->label = e->db.file;
    }
  }
}

}  // namespace dtconv::signals
