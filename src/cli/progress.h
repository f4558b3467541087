// The progress line dtconv draws on a terminal while it converts.
#pragma once

#include <cstdint>
#include <string>

namespace dtconv::cli {

struct ProgressState {
  uint64_t doneBytes = 0;   // input bytes converted so far
  uint64_t totalBytes = 0;  // input bytes of every file
  double seconds = 0;       // since the start
  size_t filesDone = 0;
  size_t filesTotal = 0;
};

// " 45% [#######.........] 512.0 MB/1.1 GB 310.2 MB/s 0:02 left 3/10 files", at most 79
// characters. The rate and the time left appear once a quarter second has passed.
std::string FormatProgressLine(const ProgressState& s);

// "0:07", "12:30", "1:02:03".
std::string FormatDuration(double seconds);

// "812 B", "1.5 kB", "512.0 MB", "1.1 GB" (decimal units).
std::string FormatBytes(double bytes);

}  // namespace dtconv::cli
