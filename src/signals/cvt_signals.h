// The signal tables: the physical values of the selected signals of every frame a database
// knows, as CSV. The wide table (-t signals -f csv, NAME.signals.csv) has one row per decoded
// frame and one column per signal holding its latest value; the long table (-f long,
// NAME.signals-long.csv) has one row per decoded value.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "can/extra_columns.h"
#include "input/monitor_data.h"
#include "output/converter_context.h"
#include "report/cvt_base.h"
#include "signals/signals.h"

namespace dtconv::signals {

// What the signal tables decode with: the databases and the signals chosen from them, read once
// for every file of a job and shared by its threads. It is not moved once built (the selection
// points into the databases).
struct SignalSetup {
  DatabaseSet databases;
  SignalSelection selection;
};

class SignalTexts;

class CTxtCvtSignals : public CTxtCvtBase {
 public:
  CTxtCvtSignals();
  ~CTxtCvtSignals() override;

  RecordKind NextRecord(RecordCursor& cursor) override;
  RecordKind FirstRecord(RecordCursor& cursor) override;

  // Options of the table (CSV option bits of the job record).
  bool elapsed = false;
  bool difference = false;
  // The analog and GNSS columns of the wide table.
  ExtraColumns extra;
  // The database texts in the output's character code and quoted as cells: built for the first
  // file and kept while the setup, the character code and the delimiter stay the same.
  std::unique_ptr<SignalTexts> texts;
};

// Converts the frames of the capture into the wide (type kCvtSignalsCsv) or the long table
// (kCvtSignalsLong); the outcome is the writer's result code. Frames of messages no database
// knows, and frames that carry no selected signal, give no row.
void ConvertSignals(CTxtCvtSignals& cv, const MonitorData& data, ConverterContext& context,
                    const SignalSetup& setup);

}  // namespace dtconv::signals
