// The conversion values every converter reads, with the line writer.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "pipeline/text_output.h"
#include "platform/platform.h"

namespace dtconv {

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
  // How far the walk of the current file has come (records), for progress displays.
  std::atomic<uint32_t> recordsWalked{0};
  // Whether the converters may use 256-bit vector instructions where they have them (the same
  // bytes either way); tests clear it to check the 128-bit way too.
  bool wideVectors = platform::HasAvx2();
};

}  // namespace dtconv
