// What the fuzz targets share (with the standard headers they need from here): a check that stops
// the target with the program's name and what broke, and a session whose output folder is the
// fuzzing process's own.
#pragma once

#include <errno.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "input/monitor_data.h"
#include "pipeline/conversion_session.h"

namespace dtconv::fuzz {

inline void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what);
    std::abort();
  }
}

// One session (with a capture loaded into it, where one is named) and one output folder for the
// whole fuzzing process; a fixed banner time, so that the same input always writes the same bytes.
struct Harness {
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("dtconv-fuzz-" + std::to_string(::getpid()));
  ConversionSession session;
  explicit Harness(const char* capture = nullptr) {
    std::filesystem::create_directories(dir);
    session.context.bannerTime = 1796519109;
    Check(!capture || LoadMonitorData(capture, session.data) == 0, "cannot load the capture");
  }
  ~Harness() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

}  // namespace dtconv::fuzz
