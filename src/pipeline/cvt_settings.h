// The user's choices (CvtOptions), the job record built from them (CvtSettings) and the
// conversion types.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "input/record_filter.h"
#include "output/converter_context.h"

namespace dtconv {

namespace signals {
struct SignalSetup;
}

// ".txt", ".csv", ".kml", ".pcap", ".pcapng", ".asc", ".log", ".signals.csv" or
// ".signals-long.csv"; an unknown type writes ".txt".
const char* CvtTypeExtension(int32_t type);

inline constexpr size_t kFolderUnits = 260;

// The job record: one conversion type, signal line, timestamp style, option bits, output
// encoding bits and the decoded CSV delimiter. The job sets the output path per file.
struct CvtSettings {
  int32_t type = 0;
  int32_t signalLine = 0;  // 0 both lines, 1 CH1 only, 2 CH2 only
  int32_t timeStampStyle = 0;
  uint32_t optionBits = 0;
  uint32_t outputBits = 0;
  std::u16string delimiter;  // at most 15 units
  std::filesystem::path outputPath;
  // Interface names of CH1 and CH2 in candump logs.
  std::array<std::string, 2> interfaceNames{"can0", "can1"};
  // The frames and the time window kept (command-line tool only; empty: everything).
  RecordSelection selection;
  // The databases and signals of the signal tables, read once for every file of the job.
  std::shared_ptr<const signals::SignalSetup> signals;
};

enum TargetData : int32_t {
  kTargetCan = 0,
  kTargetAnalog = 1,
  kTargetGnss = 2,
  kTargetWave = 3,
  kTargetSignals = 4,  // command-line tool only
};
enum OutputType : int32_t {
  kOutputText = 0,
  kOutputCsv = 1,
  kOutputKml = 2,
  kOutputPcap = 3,
  // Command-line tool only (CAN target).
  kOutputPcapng = 4,
  kOutputAsc = 5,
  kOutputCandump = 6,
  kOutputLong = 7,  // the long signal table
};
enum TimeStampChoice : int32_t { kStampMicro = 0, kStampMilli = 1, kStampSec = 2, kStampDelta = 3 };

// Everything the user chooses, as the settings file stores it.
struct CvtOptions {
  std::u16string folder;
  int32_t fileFilter = 0;  // 0 "*.DT", 1 "#*.DT"
  int32_t targetData = kTargetCan;
  int32_t outputType = kOutputText;
  int32_t canTxtSignalLine = 0;
  int32_t canCsvSignalLine = 0;
  int32_t canTxtTimeStamp = kStampMilli;
  int32_t canCsvTimeStamp = kStampMilli;
  int32_t anaTxtTimeStamp = kStampMilli;
  int32_t anaCsvTimeStamp = kStampMilli;
  bool canTxtRelTimeStamp = false;
  bool canCsvRelTimeStamp = false;
  bool anaTxtRelTimeStamp = false;
  bool anaCsvRelTimeStamp = false;
  bool canCsvDiffTimeStamp = false;
  bool canCsvAddAnalog = false;
  bool canCsvAddGnss = false;
  bool anaCsvAddGnss = false;
  bool additional = false;
  int32_t outCode = 0;   // 0 ANSI code page, 1 UTF-8, 2 UTF-8 with byte order mark
  int32_t lineFeed = 0;  // 0 CR LF, 1 LF, 2 CR
  std::u16string csvDelimit = u",";

  bool operator==(const CvtOptions&) const = default;
};

// The conversion type for a target and format.
int32_t CvtTypeFor(int32_t targetData, int32_t outputType);

// Decodes the delimiter escapes: backslash-t is a tab, two backslashes one backslash, a backslash
// before anything else is dropped together with that character.
std::u16string DecodeDelimiter(std::u16string_view typed);

// Clears the job record and fills every field but the output path from the user's choices.
CvtSettings BuildCvtSettings(const CvtOptions& options);

}  // namespace dtconv
