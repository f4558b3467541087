// The time window of one capture: the user's --from and --to (seconds from the start, or clock
// times in the zone of the time columns) as record timestamps of that capture.
#pragma once

#include <cstdint>

#include "input/record_filter.h"

namespace dtconv {

// The record timestamp (microseconds since record time 0, whose absolute time is the time base)
// from which records lie at or after `bound`:
//  - seconds from the start are the timestamp itself;
//  - a clock time is taken on the day of the start, or on the next day when it is earlier than
//    the start's own clock time; where that day's local time passes it twice (summer time ends),
//    its first occurrence, and where it skips it (summer time starts), the instant of the change.
//    A clock time before the start gives 0; one that local time cannot represent, kEnd.
uint64_t BoundTimestamp(const TimeBound& bound, int64_t baseSeconds, int64_t baseNanoseconds);

// The filter of a capture with this time base for the user's choice of records.
RecordFilter MakeRecordFilter(const RecordSelection& selection, int64_t baseSeconds,
                              int64_t baseNanoseconds);

}  // namespace dtconv
