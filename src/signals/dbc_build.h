// Between the two passes of the database reader: what the statement parser collects for the
// finishing pass, which settles what needs the whole file (multiplexor chains, value types and
// value tables, the decoder's layouts).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "signals/dbc.h"

namespace dtconv::signals {

// One SG_MUL_VAL_ statement: the values of `multiplexor` that select `signal`.
struct MuxDefinition {
  uint32_t message = 0;
  uint16_t signal = 0;
  uint16_t multiplexor = 0;
  TextPosition position;  // of the signal's name
  std::vector<MuxRange> ranges;
};

// One value of a VAL_ statement, before it is brought to its signal's raw values.
struct ValueKey {
  bool negative = false;
  uint64_t magnitude = 0;
  TextPosition position;
  std::string text;
};

struct ValueDefinition {
  uint32_t message = 0;
  uint16_t signal = 0;
  std::vector<ValueKey> keys;
};

struct ParsedDbc {
  Database db;
  std::vector<MuxDefinition> mux;
  std::vector<ValueDefinition> values;
};

// "FILE:LINE:COLUMN: what".
std::string PositionedError(std::string_view file, TextPosition at, std::string_view what);

// Completes a parsed database: resolves every multiplexed signal's switch and values, orders the
// signals for decoding, brings value tables to raw values, and fills each signal's layout and
// value style. Returns false with *error set ("FILE:LINE:COLUMN: ...") when the database is
// inconsistent.
bool FinishDbc(ParsedDbc* parsed, std::string* error);

}  // namespace dtconv::signals
