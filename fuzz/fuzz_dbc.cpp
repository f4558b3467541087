// Fuzz target: arbitrary bytes as a DBC database, through the reader and the decoder.
//
// The bytes go through ParseDbc (LoadDbc reads the file and hands its bytes there). A database the
// reader accepts is used as a conversion uses it: added for both lines, every signal selected,
// and each message's plan fed frames made of the input's own bytes at the message's size, one
// byte short and 64 bytes, with every decoded value written as text. Besides the sanitizers'
// findings the target stops on a broken promise: an error without its "FILE:" position, a
// database the set refuses after the reader accepted it, more values than the plan allows, or a
// value text longer than kMaxSignalValueChars.
#include <vector>

#include "fuzz_common.h"
#include "signals/dbc.h"
#include "signals/signals.h"

using namespace dtconv::signals;
using dtconv::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Database db;
  std::string error;
  if (!ParseDbc({reinterpret_cast<const char*>(data), size}, "fuzz.dbc", &db, &error)) {
    Check(error.rfind("fuzz.dbc:", 0) == 0, "an error without its position");
    return 0;
  }
  DatabaseSet set;
  Check(set.Add(std::move(db), kBothLines, &error), "the set refuses an accepted database");
  SignalSelection selection;
  Check(selection.Select(set, "", &error), "selecting every signal failed");
  // Each message's plan fed frames of the input's bytes: at the message's size, one byte short
  // and 64 bytes.
  uint8_t frame[64];
  for (size_t i = 0; i < sizeof frame; ++i) frame[i] = size ? data[i % size] : 0;
  std::vector<DecodedValue> values;
  for (const MessagePlan& plan : selection.plans()) {
    size_t full = plan.message().size;
    for (size_t length : {full, full > 0 ? full - 1 : 0, sizeof frame}) {
      values.assign(plan.maxValues() + 1, DecodedValue{~0u, 0});
      size_t n = SignalSelection::Decode(plan, frame, length, values.data());
      Check(n <= plan.maxValues() && values[plan.maxValues()].column == ~0u,
            "more values than the plan's signals");
      for (size_t k = 0; k < n; ++k) {
        Check(values[k].column < selection.signals().size(), "a value of no selected signal");
        const Signal& s = *selection.signals()[values[k].column].signal;
        char text[kMaxSignalValueChars + 16];
        char* end = PutSignalValue(text, s, values[k].raw);
        Check(end > text && end <= text + kMaxSignalValueChars, "value text out of bounds");
        (void)ValueTableText(s, values[k].raw);
        (void)PhysicalValue(s, values[k].raw);
      }
    }
  }
  // A list that may or may not match: the near names are looked for on failure.
  SignalSelection some;
  some.Select(set, "*a*,M*.S*", &error);
  return 0;
}
