// One 32-byte record of a capture, the record kinds a walk reports, and the walk itself.
#pragma once

#include <atomic>
#include <cstdint>

#include "input/bytes.h"

namespace dtconv {

namespace platform {
class FileImage;
}

struct MonitorRecord {
  uint8_t bytes[32];

  uint8_t Type() const { return bytes[0]; }
  bool IsHead() const { return (bytes[1] & 0x80) != 0; }
  // In a head: how many continuation records follow. In a continuation: its sequence number.
  uint8_t Continuation() const { return bytes[1] & 0x7F; }
  // 48-bit microseconds since record time 0 of the capture (heads only).
  uint64_t Timestamp() const {
    return static_cast<uint64_t>(LoadU32(bytes + 4)) * 65536u + LoadU16(bytes + 2);
  }
};
static_assert(sizeof(MonitorRecord) == 32, "records are stored as 32 bytes");

inline constexpr uint8_t kRecordLostData = 0x80;
inline constexpr uint8_t kRecordCanOverrun = 0x81;
inline constexpr uint8_t kRecordAnalogOverrun = 0x82;

enum RecordKind : int {
  kKindEnd = 0,
  kKindCh1Frame = 1,
  kKindCh2Frame = 2,
  kKindOverrun = 5,
  kKindLostData = 6,
  kKindAnalog = 8,
  kKindGnss = 9,
};

// A walk stops at a checkpoint every this many records: it reports its progress there, and gives
// back the pages of the file image behind it once kReleaseStride more records (8 MiB) are passed.
inline constexpr uint32_t kCheckpointStride = 1u << 16;
inline constexpr uint32_t kReleaseStride = 1u << 18;

struct RecordCursor {
  uint32_t index = 0;
  uint32_t count = 0;
  const MonitorRecord* records = nullptr;
  // When set, receives the index every 65536 records, for a progress display in another thread.
  std::atomic<uint32_t>* walked = nullptr;
  // The file image the records lie in, when the walk may give back the pages it has passed
  // (MonitorData::Walk); records behind the cursor stay readable all the same.
  const platform::FileImage* image = nullptr;
  uint32_t released = 0;                    // records before this index have been given back
  uint32_t checkpoint = kCheckpointStride;  // index of the next checkpoint

  const MonitorRecord& Current() const { return records[index]; }
  // The record `ahead` places after the current one, or null past the end.
  const MonitorRecord* Ahead(uint32_t ahead) const {
    return static_cast<uint64_t>(index) + ahead < count ? &records[index + ahead] : nullptr;
  }
};

// Which head records a converter reports. Every converter's walk is this one walk with its own
// rule; records it does not accept (and every continuation record) are passed over.
struct AcceptRule {
  bool frames = false;         // 0x00-0x0F as CH1 frame, 0x10-0x1F as CH2 frame
  bool gnss = false;           // 0x20-0x2F
  bool analog = false;         // 0x30-0x32
  bool canOverrun = false;     // 0x81
  bool analogOverrun = false;  // 0x82
  bool lostData = false;       // 0x80
};

namespace detail {
// What each record type is, for ClassifyRecord: the kind it is reported as and the rule flag
// that accepts it (a bit of RuleBits; 0 for types no rule accepts).
struct RecordTypeTable {
  RecordKind kind[256];
  uint8_t ruleBit[256];
  constexpr RecordTypeTable() : kind(), ruleBit() {
    for (int t = 0; t < 256; ++t) {
      kind[t] = kKindEnd;
      ruleBit[t] = 0;
    }
    for (int t = 0x00; t <= 0x1F; ++t) {
      kind[t] = t < 0x10 ? kKindCh1Frame : kKindCh2Frame;
      ruleBit[t] = 1;
    }
    for (int t = 0x20; t <= 0x2F; ++t) {
      kind[t] = kKindGnss;
      ruleBit[t] = 2;
    }
    for (int t = 0x30; t <= 0x32; ++t) {
      kind[t] = kKindAnalog;
      ruleBit[t] = 4;
    }
    kind[kRecordLostData] = kKindLostData;
    ruleBit[kRecordLostData] = 8;
    kind[kRecordCanOverrun] = kKindOverrun;
    ruleBit[kRecordCanOverrun] = 16;
    kind[kRecordAnalogOverrun] = kKindOverrun;
    ruleBit[kRecordAnalogOverrun] = 32;
  }
};
inline constexpr RecordTypeTable kRecordTypes{};

// The rule's flags in the bits of RecordTypeTable::ruleBit.
constexpr unsigned RuleBits(const AcceptRule& rule) {
  return (rule.frames ? 1u : 0u) | (rule.gnss ? 2u : 0u) | (rule.analog ? 4u : 0u) |
         (rule.lostData ? 8u : 0u) | (rule.canOverrun ? 16u : 0u) | (rule.analogOverrun ? 32u : 0u);
}
}  // namespace detail

// The kind a rule gives a record, or kKindEnd when the record is passed over. Two table reads and
// no branch: the record types of a capture come in no predictable order.
inline RecordKind ClassifyRecord(const MonitorRecord& record, const AcceptRule& rule) {
  uint8_t type = record.Type();
  unsigned accepted = detail::kRecordTypes.ruleBit[type] & detail::RuleBits(rule);
  // A head bit and an accepting flag keep the kind; otherwise the mask clears it.
  unsigned keep = 0u - ((accepted != 0 ? 1u : 0u) & (record.IsHead() ? 1u : 0u));
  return static_cast<RecordKind>(static_cast<unsigned>(detail::kRecordTypes.kind[type]) & keep);
}

// The walk's work at a checkpoint: the progress report and the pages given back.
void PassCheckpoint(RecordCursor& cursor);

// How far ahead of the cursor the walk prefetches, in records (1 KiB).
inline constexpr uint32_t kPrefetchRecords = 32;

// Moves to the next accepted head record after the cursor and returns its kind; at the end sets
// the index to the count and returns kKindEnd.
inline RecordKind NextRecord(RecordCursor& cursor, const AcceptRule& rule) {
  while (cursor.index < cursor.count) {
    ++cursor.index;
    // The records ahead are asked of memory early: a mapped capture is read once, straight from
    // the page cache, and the walk would otherwise wait for every new line of it.
    if (cursor.index + kPrefetchRecords < cursor.count) {
      __builtin_prefetch(&cursor.records[cursor.index + kPrefetchRecords]);
    }
    if (cursor.index >= cursor.checkpoint) [[unlikely]] {
      // On a copy: the cursor itself never has its address taken, so the compiler may keep it
      // in registers while the converter stores its output bytes (which could alias anything
      // whose address is known elsewhere).
      RecordCursor at = cursor;
      PassCheckpoint(at);
      cursor.checkpoint = at.checkpoint;
      cursor.released = at.released;
    }
    if (cursor.index >= cursor.count) break;
    RecordKind kind = ClassifyRecord(cursor.records[cursor.index], rule);
    if (kind != kKindEnd) return kind;
  }
  cursor.index = cursor.count;
  return kKindEnd;
}

// Passes over the `n` continuation records after the head at the cursor, which the converter has
// read with it (ContinuationOf), so that the next NextRecord starts after them rather than
// looking at each. A checkpoint they hold is passed by that NextRecord.
inline void PassContinuations(RecordCursor& cursor, uint32_t n) { cursor.index += n; }

// The kind of the record at the cursor when accepted, otherwise as NextRecord.
inline RecordKind FirstRecord(RecordCursor& cursor, const AcceptRule& rule) {
  if (cursor.index < cursor.count) {
    RecordKind kind = ClassifyRecord(cursor.records[cursor.index], rule);
    if (kind != kKindEnd) return kind;
  }
  return NextRecord(cursor, rule);
}

// The continuation record `sequence` places after the head at the cursor, when it exists, has the
// head's type, a clear head flag and that sequence number; otherwise null.
inline const MonitorRecord* ContinuationOf(const RecordCursor& cursor, uint8_t sequence) {
  const MonitorRecord* next = cursor.Ahead(sequence);
  if (next == nullptr) return nullptr;
  const MonitorRecord& head = cursor.Current();
  if (next->Type() != head.Type() || next->IsHead() || next->Continuation() != sequence) {
    return nullptr;
  }
  return next;
}

}  // namespace dtconv
