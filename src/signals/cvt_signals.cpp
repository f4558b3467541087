// The walk of the signal tables: frames kept by the line choice and the record filter, looked up
// in the selection, decoded and handed to the table; analog samples and fixes to the extra columns.
#include "signals/cvt_signals.h"

#include <algorithm>

#include "can/can_frame.h"
#include "signals/signal_tables.h"
#include "signals/signal_texts.h"

namespace dtconv::signals {

namespace {

AcceptRule RuleOf(const CTxtCvtSignals& cv) {
  AcceptRule rule;
  rule.frames = true;
  cv.extra.AddToRule(rule);
  return rule;
}

// Bit 1: frames of line 1 are kept, bit 2: those of line 2 (a frame's kind is its line number).
unsigned KeptLines(const ConverterContext& context) {
  return (context.signalLine != 2 ? 2u : 0u) | (context.signalLine != 1 ? 4u : 0u);
}

// The plan of a frame that is kept and carries data, or null.
const MessagePlan* PlanOf(const SignalSelection& selection, const RecordFilter& filter,
                          const RecordCursor& cursor, int line, CanFrame& frame) {
  if (!KeepsFrame(filter, cursor.Current()) || !AssembleFrame(cursor, frame)) return nullptr;
  if (frame.kind.frameClass != FrameClass::Data && !frame.IsFd()) return nullptr;
  bool extended = frame.kind.idBits == 29;
  return selection.Find(line, extended, frame.id & (extended ? kCanEffMask : kCanSffMask));
}

// The most values a frame gives.
size_t MostValues(const SignalSelection& selection) {
  size_t most = 0;
  for (const MessagePlan& plan : selection.plans()) most = std::max(most, plan.maxValues());
  return most;
}

// The first pass of the wide table: which plans have frames decoded on both lines among those
// converted. Their signals get a column per line. Only a plan that serves both lines can, and
// only when both lines are converted; a plan's frames on a line are decoded until one gives a
// value.
std::vector<bool> PlansOnBothLines(const MonitorData& data, const ConverterContext& context,
                                   const SignalSelection& selection) {
  const std::vector<MessagePlan>& plans = selection.plans();
  std::vector<bool> split(plans.size(), false);
  std::vector<uint8_t> seen(plans.size(), 0);
  size_t candidates = 0;
  for (const MessagePlan& plan : plans) {
    const Message& m = plan.message();
    if (selection.Find(1, m.extended, m.id) == &plan &&
        selection.Find(2, m.extended, m.id) == &plan) {
      ++candidates;
    }
  }
  if (candidates == 0 || context.signalLine != 0) return split;
  constexpr AcceptRule kFrames{.frames = true};
  RecordCursor cursor = data.Walk();
  CanFrame frame;
  std::vector<DecodedValue> values(MostValues(selection));
  size_t found = 0;
  for (RecordKind kind = FirstRecord(cursor, kFrames); kind != kKindEnd && found < candidates;
       kind = NextRecord(cursor, kFrames)) {
    const MessagePlan* plan = PlanOf(selection, context.filter, cursor, kind, frame);
    if (plan == nullptr) continue;
    auto p = static_cast<size_t>(plan - plans.data());
    if ((seen[p] & kind) != 0 ||
        SignalSelection::Decode(*plan, frame.data, static_cast<size_t>(frame.count),
                                values.data()) == 0) {
      continue;
    }
    seen[p] |= static_cast<uint8_t>(kind);
    if (seen[p] == 3 && !split[p]) {
      split[p] = true;
      ++found;
    }
  }
  return split;
}

// The rows of every decoded frame, then the analog samples and fixes for the extra columns.
template <typename Table>
void WriteRows(CTxtCvtSignals& cv, Table& table, RecordCursor& cursor, RecordKind kind,
               const SignalSelection& selection, const ConverterContext& context) {
  TextOutput& out = *cv.output;
  const AcceptRule rule = RuleOf(cv);
  const unsigned keepLines = KeptLines(context);
  std::vector<DecodedValue> values(MostValues(selection));
  const MessagePlan* plans = selection.plans().data();
  CanFrame frame;
  for (; kind != kKindEnd && out.result().ok(); kind = NextRecord(cursor, rule)) {
    switch (kind) {
      case kKindCh1Frame:
      case kKindCh2Frame: {
        if (((keepLines >> kind) & 1) == 0) break;
        const MessagePlan* plan = PlanOf(selection, context.filter, cursor, kind, frame);
        if (plan == nullptr) break;
        size_t n = SignalSelection::Decode(*plan, frame.data, static_cast<size_t>(frame.count),
                                           values.data());
        if (n == 0) break;
        table.Rows(
            {&cursor.Current(), kind, &frame, static_cast<size_t>(plan - plans), values.data(), n});
        break;
      }
      case kKindAnalog:
        cv.extra.TakeAnalog(cursor);
        break;
      case kKindGnss:
        cv.extra.TakeGnss(cursor.Current());
        break;
      default:
        break;
    }
  }
}

}  // namespace

CTxtCvtSignals::CTxtCvtSignals() = default;
CTxtCvtSignals::~CTxtCvtSignals() = default;

RecordKind CTxtCvtSignals::NextRecord(RecordCursor& cursor) {
  return dtconv::NextRecord(cursor, RuleOf(*this));
}

RecordKind CTxtCvtSignals::FirstRecord(RecordCursor& cursor) {
  return dtconv::FirstRecord(cursor, RuleOf(*this));
}

void ConvertSignals(CTxtCvtSignals& cv, const MonitorData& data, ConverterContext& context,
                    const SignalSetup& setup) {
  bool wide = context.type != kCvtSignalsLong;
  cv.Bind(data, context, true, static_cast<TimeStyle>(context.timeStampStyle));
  cv.elapsed = (context.optionBits & kOptRelTimeStamp) != 0;
  cv.difference = (context.optionBits & kOptDiffTimeStamp) != 0;
  TextOutput& out = *cv.output;
  const text::Delimiter d(out.delimiter());
  // The analog and GNSS columns belong to the wide table.
  cv.extra.Reset(data, wide && (context.optionBits & kOptAddAnalog) != 0,
                 wide && (context.optionBits & kOptAddGnss) != 0, d);
  if (cv.texts == nullptr || !cv.texts->Matches(setup, out.utf8(), out.delimiter())) {
    cv.texts = std::make_unique<SignalTexts>(setup, out.utf8(), out.delimiter());
  }
  if (data.recordCount == 0) return;
  RecordCursor cursor = cv.StartCursor();
  RecordKind kind = cv.FirstRecord(cursor);
  if (kind == kKindEnd) return;
  if (wide) {
    WideTable table(cv, setup, PlansOnBothLines(data, context, setup.selection));
    table.WriteTitles();
    WriteRows(cv, table, cursor, kind, setup.selection, context);
  } else {
    LongTable table(cv, setup);
    table.WriteTitles();
    WriteRows(cv, table, cursor, kind, setup.selection, context);
  }
}

}  // namespace dtconv::signals
