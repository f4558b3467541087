#include "cli/progress.h"

#include <algorithm>
#include <cstdio>

namespace dtconv::cli {

std::string FormatDuration(double seconds) {
  if (seconds < 0) seconds = 0;
  auto total = static_cast<long long>(seconds + 0.5);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                  total % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
  }
  return text;
}

std::string FormatBytes(double bytes) {
  static const char* const kUnits[] = {"kB", "MB", "GB", "TB"};
  char text[32];
  if (bytes < 1000) {
    std::snprintf(text, sizeof text, "%.0f B", bytes);
    return text;
  }
  int unit = -1;
  while (bytes >= 1000 && unit < 3) {
    bytes /= 1000;
    ++unit;
  }
  std::snprintf(text, sizeof text, "%.1f %s", bytes, kUnits[unit]);
  return text;
}

std::string FormatProgressLine(const ProgressState& s) {
  constexpr int kBarWidth = 16;
  double fraction = s.totalBytes == 0
                        ? (s.filesTotal == 0 ? 1.0
                                             : static_cast<double>(s.filesDone) /
                                                   static_cast<double>(s.filesTotal))
                        : static_cast<double>(s.doneBytes) / static_cast<double>(s.totalBytes);
  fraction = std::clamp(fraction, 0.0, 1.0);
  int filled = static_cast<int>(fraction * kBarWidth);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '.');
  char head[64];
  std::snprintf(head, sizeof head, "%3d%% [%s]", static_cast<int>(fraction * 100), bar.c_str());
  std::string line = head;
  line += " " + FormatBytes(static_cast<double>(s.doneBytes)) + "/" +
          FormatBytes(static_cast<double>(s.totalBytes));
  if (s.seconds >= 0.25 && s.doneBytes > 0) {
    double rate = static_cast<double>(s.doneBytes) / s.seconds;
    line += " " + FormatBytes(rate) + "/s";
    double left = static_cast<double>(s.totalBytes - std::min(s.doneBytes, s.totalBytes)) / rate;
    line += " " + FormatDuration(left) + " left";
  }
  char files[48];
  std::snprintf(files, sizeof files, " %zu/%zu files", s.filesDone, s.filesTotal);
  line += files;
  if (line.size() > 79) line.resize(79);
  return line;
}

}  // namespace dtconv::cli
