// Physical signals of CAN frames: the databases of a conversion, the signals chosen from them, the
// decoder that takes a frame's bytes to raw values, and the texts of those values.
//
//   DatabaseSet set;                        // --dbc [ch1=|ch2=]FILE, repeatable
//   set.Load("vehicle.dbc", kBothLines, &error);
//   SignalSelection selection;              // --signals LIST
//   selection.Select(set, "EngineSpeed,Wheel*", &error);
//   for each frame:
//     const MessagePlan* plan = selection.Find(line, extended, id);  // null: pass the frame over
//     size_t n = SignalSelection::Decode(*plan, data, size, values);   // values[plan->maxValues()]
//     for each values[i]: selection.signals()[values[i].column] names the signal;
//       PutSignalValue / ValueTableText / PhysicalValue turn values[i].raw into its texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "signals/dbc.h"

namespace dtconv::signals {

// The CAN lines a database applies to.
inline constexpr uint8_t kLine1 = 1;
inline constexpr uint8_t kLine2 = 2;
inline constexpr uint8_t kBothLines = kLine1 | kLine2;

// Identifier lookup for the two lines: a direct table for 11-bit identifiers, a hash table for
// 29-bit ones. Holds indexes; -1 for none.
class IdTable {
 public:
  void Put(int line, bool extended, uint32_t id, int32_t index);
  int32_t Get(int line, bool extended, uint32_t id) const {
    if (line < 1 || line > 2) return -1;
    if (!extended) {
      const std::vector<int32_t>& t = standard_[line - 1];
      return id < t.size() ? t[id] : -1;
    }
    auto it = extended_[line - 1].find(id);
    return it == extended_[line - 1].end() ? -1 : it->second;
  }
  void Clear();

 private:
  std::vector<int32_t> standard_[2];
  std::unordered_map<uint32_t, int32_t> extended_[2];
};

// The databases of one conversion, each read once and applied to CH1, CH2 or both.
class DatabaseSet {
 public:
  struct Entry {
    Database db;
    uint8_t lines = kBothLines;
    // Qualifies the names of its messages where another database has a message of the same
    // name: the file name, or the path as given where two databases share a file name.
    std::string label;
  };

  // Reads the DBC file at `path` (LoadDbc) and adds it for `lines`. Returns false with *error
  // set, and the set unchanged, when the file cannot be read or Add refuses it.
  bool Load(const std::filesystem::path& path, uint8_t lines, std::string* error);

  // Adds a database for `lines` (kLine1, kLine2 or kBothLines). Returns false with *error set,
  // and the set unchanged, when one of its messages has the identifier and frame format of a
  // message an earlier database defines for one of the same lines; the error names both
  // definitions: "FILE:LINE:COLUMN: message 0x123 ... is already defined by FILE:LINE (Name)".
  bool Add(Database db, uint8_t lines, std::string* error);

  // The message of frames with this identifier and format on `line` (1 or 2), or null.
  const Message* Find(int line, bool extended, uint32_t id) const;

  size_t size() const { return entries_.size(); }
  const Entry& entry(size_t i) const { return *entries_[i]; }

 private:
  void Relabel();

  std::vector<std::unique_ptr<Entry>> entries_;  // stable addresses for the messages
  std::vector<const Message*> messages_;         // what index_ points into
  std::vector<uint32_t> messageEntry_;           // the entry of each of messages_
  IdTable index_;
};

// One selected signal. The pointers lead into the DatabaseSet the selection was made from.
struct SelectedSignal {
  const Message* message = nullptr;
  const Signal* signal = nullptr;
  uint32_t database = 0;  // index in the DatabaseSet
  // The database's label where another database has a message of this name, otherwise empty.
  std::string_view qualifier;
};

// One decoded value: `column` indexes SignalSelection::signals(), `raw` is the raw value
// (sign-extended for signed signals, the bit pattern for IEEE floats).
struct DecodedValue {
  uint32_t column;
  uint64_t raw;
};

// One step of decoding a message: a signal that is selected or that switches one that is.
struct DecodeStep {
  BitLayout layout;
  uint32_t column;      // kNoColumn for a multiplexor that is only decoded to switch others
  uint32_t rangeBegin;  // muxRanges of the signal, in MessagePlan::ranges
  uint32_t rangeCount;
  uint16_t muxSlot;  // slot of the value of the multiplexor that switches it, or kNoSlot
  uint16_t ownSlot;  // slot that keeps its own value as a multiplexor, or kNoSlot
  bool muxSigned;    // the switching multiplexor is signed: its negative values select nothing
};

// What decoding one message takes, for the signals of a selection.
class MessagePlan {
 public:
  static constexpr uint32_t kNoColumn = ~uint32_t{0};
  static constexpr uint16_t kNoSlot = 0xFFFF;

  const Message& message() const { return *message_; }
  // The most values one frame gives: the selected signals of the message.
  size_t maxValues() const { return maxValues_; }

 private:
  friend class SignalSelection;
  const Message* message_ = nullptr;
  std::vector<DecodeStep> steps_;
  std::vector<MuxRange> ranges_;
  size_t maxValues_ = 0;
  uint16_t slots_ = 0;
};

class SignalSelection {
 public:
  // Selects from `set` the signals named by `list`: entries separated by commas, each a signal
  // name or Message.Signal, where * matches any run of characters (names are compared with
  // their case); an empty list selects every signal of every database. Signals come in the
  // order of the entries, those of one entry in the databases' order, each signal once. Returns
  // false with *error set when an entry matches no signal, naming the near names. `set` must
  // outlive the selection and stay unchanged.
  bool Select(const DatabaseSet& set, std::string_view list, std::string* error);

  const std::vector<SelectedSignal>& signals() const { return signals_; }

  // The plan for frames with this identifier and format on `line` (1 or 2); null when no
  // selected signal lies in their message (or no database knows it).
  const MessagePlan* Find(int line, bool extended, uint32_t id) const {
    int32_t i = index_.Get(line, extended, id);
    return i < 0 ? nullptr : &plans_[static_cast<size_t>(i)];
  }

  const std::vector<MessagePlan>& plans() const { return plans_; }

  // Decodes one frame of `size` data bytes (bytes past 64 are not read) for `plan`, writing
  // the values of the selected signals it carries to `out` (room for plan.maxValues()) in the
  // message's decoding order; returns how many. A signal is left out when the frame is too
  // short to hold it, or when it is multiplexed and its multiplexor is left out or holds a
  // value that does not select it. Keeps no state: one selection may serve several threads.
  static size_t Decode(const MessagePlan& plan, const uint8_t* data, size_t size,
                       DecodedValue* out);

 private:
  void BuildPlans(const DatabaseSet& set);

  std::vector<SelectedSignal> signals_;
  std::vector<MessagePlan> plans_;
  IdTable index_;
};

// The most characters PutSignalValue writes. Like the text toolkit's functions it may store up to
// 32 bytes past the end it returns: its buffer needs kMaxSignalValueChars + 32 bytes.
inline constexpr size_t kMaxSignalValueChars = 48;

// Writes the physical value of `raw` for `s` at p and returns the end (no terminator):
//  - factor and offset integers: the exact integer raw × factor + offset;
//  - otherwise for integer signals raw × factor + offset exactly, with as many decimals as the
//    factor and offset carry as written in the database (0.1 gives one, 0.0625 four);
//  - IEEE float and double signals: the shortest text that reads back as the same value (of
//    the signal's own type where factor and offset are 1 and 0; otherwise of the double
//    value × factor + offset); "nan", "inf", "-inf".
char* PutSignalValue(char* p, const Signal& s, uint64_t raw);

// The value-table text of `raw` for `s` (VAL_), or an empty text where it has none.
std::string_view ValueTableText(const Signal& s, uint64_t raw);

// The physical value of `raw` for `s` as the nearest double (within a unit in the last place
// for integer signals), for comparisons.
double PhysicalValue(const Signal& s, uint64_t raw);

}  // namespace dtconv::signals
