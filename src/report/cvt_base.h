// The base of every converter: what each needs (the loaded capture, the writer, the context, the
// CSV switch, the timestamp state), the four virtual operations through which the shared code
// walks records and writes the set-up part of a report, and the report header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "input/monitor_data.h"
#include "input/monitor_record.h"
#include "output/converter_context.h"
#include "output/text.h"
#include "output/text_output.h"
#include "report/time_columns.h"

namespace dtconv {

class CTxtCvtBase {
 public:
  virtual ~CTxtCvtBase() = default;

  // Walk operations: the converter's acceptance rule applied to the one record walk.
  virtual RecordKind NextRecord(RecordCursor& cursor) = 0;
  virtual RecordKind FirstRecord(RecordCursor& cursor) = 0;
  // Title of the set-up block.
  virtual const char* Title() const { return ""; }
  // Writes the set-up block of the report header; the base writes the title line.
  virtual void WriteSetupBlock();

  // Binds the converter to one file: the capture, the context (and its writer) and the time
  // columns of its time base in `style`; sets the CSV switch and forgets the last GNSS record.
  // No state of an earlier file survives.
  void Bind(const MonitorData& data, ConverterContext& context, bool csvForm, TimeStyle style);

  // One cell of a header or title row, not ending the line. Text: a blank, then the text. CSV:
  // the delimiter when a field is already on the line, then the text (nothing for null: an
  // empty cell).
  void WriteCell(const char* text);
  // The titles of the CSV time cells (TimeColumns::PutCells) as cells.
  void WriteTimeTitles(bool elapsed, bool difference);
  // Ends the current line and clears fieldOnLine.
  void EndLine() {
    output->FlushLine();
    fieldOnLine = false;
  }

  // The whole text header: banner with the conversion time, header lines, set-up block, closing
  // banner and an empty line.
  void WriteReportHeader();
  // Model, Version and Extension (known models only), Serial No., Start time, Stop time; in text
  // form followed by a separator line.
  void WriteHeaderLines();
  void WriteHeaderLine(const char* label, const char* value);
  void WriteTitleLine();
  void WriteOverrunLine();
  void WriteLostDataLine();

  // A record walk over the loaded records, reporting its progress to the context.
  RecordCursor StartCursor() const {
    RecordCursor cursor = data->Walk();
    cursor.walked = context != nullptr ? &context->recordsWalked : nullptr;
    return cursor;
  }

  // State, public so the shared formatters (GNSS and analog cells) can use it.
  TimeColumns times;
  const MonitorRecord* lastGnss = nullptr;
  const MonitorData* data = nullptr;
  TextOutput* output = nullptr;
  ConverterContext* context = nullptr;
  bool fieldOnLine = false;
  bool csv = false;
};

// Names and texts of the report header.
const char* ModelName(uint32_t modelCode);
bool IsKnownModel(uint32_t modelCode);
// The board name, or null when the model is not one of the known models (no Extension line).
const char* BoardName(const DataInfo& info);
void FormatVersion(uint32_t version, char (&text)[64]);
void FormatSerial(const DataInfo& info, char* text, size_t size);
void FormatBitRate(int32_t bitsPerSecond, char (&text)[32]);

}  // namespace dtconv
