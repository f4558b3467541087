// One conversion session: a loaded capture, the line writer, the converter context and the
// converter objects. The desktop program has one; the command-line tool one per worker thread.
#pragma once

#include <array>
#include <cstdint>

#include "input/monitor_data.h"
#include "output/converter_context.h"
#include "output/text_output.h"
#include "pipeline/cvt_settings.h"

namespace dtconv {

struct ConversionSession;

// A converter's entry: writes the whole output of the session's loaded capture and leaves its
// outcome in the writer's result.
using ConverterEntry = void (*)(ConversionSession& session);

// Converter per conversion type; an empty slot means the type is not supported.
struct ConverterTable {
  std::array<ConverterEntry, kCvtTypeCount> entries{};
};

struct ConverterObjects;  // the converter classes, defined with the converters

namespace signals {
struct SignalSetup;
}

struct ConversionSession {
  ConversionSession();
  ~ConversionSession();
  ConversionSession(const ConversionSession&) = delete;
  ConversionSession& operator=(const ConversionSession&) = delete;

  MonitorData data;
  TextOutput output;
  ConverterContext context;
  ConverterObjects* converters;  // owned
  // The databases and signals of the signal tables (the job record's), or null.
  const signals::SignalSetup* signals = nullptr;
};

// The table of every converter the product has.
const ConverterTable& DefaultConverterTable();

}  // namespace dtconv
