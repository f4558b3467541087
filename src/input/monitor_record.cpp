#include "input/monitor_record.h"

#include "platform/platform.h"

namespace dtconv {

namespace {

// Gives back the pages of the records the walk has passed, and sets the next point to do so.
void ReleasePassed(RecordCursor& cursor) {
  cursor.releaseAt =
      cursor.index <= UINT32_MAX - kReleaseStride ? cursor.index + kReleaseStride : UINT32_MAX;
  if (cursor.image == nullptr) return;
  auto base = static_cast<uint64_t>(reinterpret_cast<const uint8_t*>(cursor.records) -
                                    cursor.image->data());
  cursor.image->ReleaseRange(base + 32ull * cursor.released, base + 32ull * cursor.index);
  cursor.released = cursor.index;
}

}  // namespace

RecordKind ClassifyRecord(const MonitorRecord& record, const AcceptRule& rule) {
  if (!record.IsHead()) return kKindEnd;
  uint8_t type = record.Type();
  switch (type >> 4) {
    case 0: return rule.frames ? kKindCh1Frame : kKindEnd;
    case 1: return rule.frames ? kKindCh2Frame : kKindEnd;
    case 2: return rule.gnss ? kKindGnss : kKindEnd;
    case 3: return rule.analog && type <= 0x32 ? kKindAnalog : kKindEnd;
    default: break;
  }
  if (type == kRecordLostData) return rule.lostData ? kKindLostData : kKindEnd;
  if (type == kRecordCanOverrun) return rule.canOverrun ? kKindOverrun : kKindEnd;
  if (type == kRecordAnalogOverrun) return rule.analogOverrun ? kKindOverrun : kKindEnd;
  return kKindEnd;
}

RecordKind NextRecord(RecordCursor& cursor, const AcceptRule& rule) {
  while (cursor.index < cursor.count) {
    ++cursor.index;
    if ((cursor.index & 0xFFFF) == 0 && cursor.walked != nullptr) {
      cursor.walked->store(cursor.index, std::memory_order_relaxed);
    }
    if (cursor.index >= cursor.count) break;
    if (cursor.index >= cursor.releaseAt) ReleasePassed(cursor);
    RecordKind kind = ClassifyRecord(cursor.records[cursor.index], rule);
    if (kind != kKindEnd) return kind;
  }
  cursor.index = cursor.count;
  return kKindEnd;
}

RecordKind FirstRecord(RecordCursor& cursor, const AcceptRule& rule) {
  if (cursor.index < cursor.count) {
    RecordKind kind = ClassifyRecord(cursor.records[cursor.index], rule);
    if (kind != kKindEnd) return kind;
  }
  return NextRecord(cursor, rule);
}

const MonitorRecord* ContinuationOf(const RecordCursor& cursor, uint8_t sequence) {
  const MonitorRecord* next = cursor.Ahead(sequence);
  if (next == nullptr) return nullptr;
  const MonitorRecord& head = cursor.Current();
  if (next->Type() != head.Type() || next->IsHead() || next->Continuation() != sequence) {
    return nullptr;
  }
  return next;
}

}  // namespace dtconv
