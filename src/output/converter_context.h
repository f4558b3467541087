// The conversion values every converter reads, with the line writer.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "input/record_filter.h"
#include "output/text_output.h"

namespace dtconv {

// Conversion type: fixes the output extension and the converter.
enum CvtType : int32_t {
  kCvtCanText = 0,
  kCvtAnalogText = 1,
  kCvtGnssText = 2,
  kCvtCanCsv = 3,
  kCvtAnalogCsv = 4,
  kCvtGnssCsv = 5,
  kCvtAnalogWave = 6,
  kCvtGnssKml = 7,
  kCvtCanPcap = 8,
  // Formats of the command-line tool only; the desktop program does not offer them.
  kCvtCanPcapng = 9,
  kCvtCanAsc = 10,
  kCvtCanCandump = 11,
  kCvtSignalsCsv = 12,   // the wide signal table: a column per signal
  kCvtSignalsLong = 13,  // the long signal table: a row per value
};
inline constexpr int kCvtTypeCount = 14;

// Option bits of the job record.
inline constexpr uint32_t kOptRelTimeStamp = 1u << 0;
inline constexpr uint32_t kOptDiffTimeStamp = 1u << 1;
inline constexpr uint32_t kOptAddAnalog = 1u << 2;
inline constexpr uint32_t kOptAddGnss = 1u << 3;

struct ConverterContext {
  int32_t type = 0;
  int32_t signalLine = 0;
  int32_t timeStampStyle = 0;
  uint32_t optionBits = 0;
  TextOutput* output = nullptr;
  // The time the report banner shows; unset means now. Fixed by tests and reproducible runs.
  std::optional<int64_t> bannerTime;
  // Interface names of CH1 and CH2 in candump logs.
  std::array<std::string, 2> interfaceNames{"can0", "can1"};
  // The identifiers and the time window of the records kept (--ids, --from, --to); by default
  // everything.
  RecordFilter filter;
  // How far the walk of the current file has come (records), for progress displays.
  std::atomic<uint32_t> recordsWalked{0};
};

}  // namespace dtconv
