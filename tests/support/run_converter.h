// Runs one converter over a built capture the way the conversion job does (load, set up the
// writer from the job record, open, convert, close) and returns the bytes it wrote.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "capture_builder.h"
#include "input/monitor_data.h"
#include "output/converter_context.h"
#include "pipeline/cvt_settings.h"

namespace dtconv::test {

// 2026-12-06 01:05:09 UTC: the banner time of every golden report.
inline constexpr int64_t kBannerTime = 1796519109;

using ConverterCall = std::function<void(const MonitorData&, ConverterContext&)>;

struct RunResult {
  std::string bytes;
  Result result;
};

RunResult RunConverter(const Bytes& capture, const CvtSettings& settings,
                       const ConverterCall& call);

// Converts a built capture through the conversion job's ConvertFile with the product's converter
// table, as the command-line tool does for each input, and returns the bytes written.
RunResult RunConversion(const Bytes& capture, CvtSettings settings);

// A job record for a conversion type with the given output bits and delimiter, as
// BuildCvtSettings would make it.
CvtSettings SettingsFor(int32_t type, int32_t style = 0, uint32_t optionBits = 0,
                        uint32_t outputBits = 3, std::u16string delimiter = u",",
                        int32_t signalLine = 0);

// A built capture parsed from memory, as the loader parses a file.
MonitorData ParseCapture(const CaptureBuilder& b);

// Sets the process's time zone (TZ) for tests of local time; "UTC", "Asia/Tokyo",
// "Europe/Berlin" or a POSIX rule such as "JST-9".
void SetTimeZone(const char* tz);

}  // namespace dtconv::test
