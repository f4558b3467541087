// One 32-byte record of a capture, the record kinds a walk reports, and the walk itself.
#pragma once

#include <atomic>
#include <cstdint>

#include "input/bytes.h"

namespace dtconv {

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

struct RecordCursor {
  uint32_t index = 0;
  uint32_t count = 0;
  const MonitorRecord* records = nullptr;
  // When set, receives the index every 65536 records, for a progress display in another thread.
  std::atomic<uint32_t>* walked = nullptr;

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

// The kind a rule gives a record, or kKindEnd when the record is passed over.
RecordKind ClassifyRecord(const MonitorRecord& record, const AcceptRule& rule);

// Moves to the next accepted head record after the cursor and returns its kind; at the end sets
// the index to the count and returns kKindEnd.
RecordKind NextRecord(RecordCursor& cursor, const AcceptRule& rule);

// The kind of the record at the cursor when accepted, otherwise as NextRecord.
RecordKind FirstRecord(RecordCursor& cursor, const AcceptRule& rule);

// The continuation record `sequence` places after the head at the cursor, when it exists, has the
// head's type, a clear head flag and that sequence number; otherwise null.
const MonitorRecord* ContinuationOf(const RecordCursor& cursor, uint8_t sequence);

}  // namespace dtconv
