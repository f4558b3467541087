// Plain reference formatters for the differential tests: every text the converters' fast paths
// write, produced the plain way, with the printf format each fast path replaces and with the
// platform's local time asked for every record. They share only the walk rules, the frame
// assembly and the value scaling with the product, not a single line of its formatting.
#pragma once

#include <cstdint>
#include <string>

#include "analog/channel_scale.h"
#include "input/monitor_data.h"
#include "pipeline/cvt_settings.h"

namespace dtconv::ref {

// printf into a piece of `size` bytes, cut as the writer's pieces are.
std::string Piece(size_t size, const char* format, ...)
#if defined(__MINGW32__)
    __attribute__((format(gnu_printf, 2, 3)));
#else
    __attribute__((format(printf, 2, 3)));
#endif

// The time texts of one record. `previous` is the previous timestamp (-1: none), updated as the
// converters update it.
std::string TimeColumn(const MonitorRecord& record, int32_t style, int64_t baseSeconds,
                       int64_t baseNanoseconds, int64_t* previous);
struct TimeCells {
  std::string date, time, subSecond, difference, elapsed;
};
TimeCells Cells(const MonitorRecord& record, int32_t style, int64_t baseSeconds,
                int64_t baseNanoseconds, int64_t* previous);

// GNSS fix texts.
void FixDateTime(const MonitorRecord& fix, bool valid, std::string* date, std::string* time);
struct GnssTexts {
  std::string satellites, latitude, longitude, error, altitude;
};
GnssTexts GnssFix(const MonitorRecord& fix, bool csv, bool kml);

// The number of one analog cell ("BURNOUT" included), without the cell's separator.
std::string AnalogNumber(const AnalogState& state, int index, const uint32_t* raw,
                         int16_t referenceTemp);

// Whole outputs from the first line the converter writes after its header: title and rows, each
// line ended as the writer ends it. `settings` as the job passes them.
std::string CanRows(const MonitorData& data, const CvtSettings& settings, bool utf8,
                    const std::string& eol, const std::string& delimiter);
std::string AnalogRows(const MonitorData& data, const CvtSettings& settings, bool utf8,
                       const std::string& eol, const std::string& delimiter);
std::string GnssRows(const MonitorData& data, const CvtSettings& settings, const std::string& eol,
                     const std::string& delimiter);
std::string KmlDocument(const MonitorData& data, const std::string& eol);
std::string WaveRows(const MonitorData& data, const std::string& eol, const std::string& delimiter);
std::string PcapFile(const MonitorData& data, int32_t signalLine);

}  // namespace dtconv::ref
