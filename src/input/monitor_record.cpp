#include "input/monitor_record.h"

namespace dtconv {

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
