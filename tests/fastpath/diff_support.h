// Shared pieces of the differential tests: a fixed-seed generator, how many random values a
// test draws, and a readable first difference of two outputs.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "capture_builder.h"
#include "input/monitor_data.h"

namespace dtconv::test {

// SplitMix64: the same values on every platform and every run.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
  bool OneIn(uint32_t n) { return Below(n) == 0; }
  // A value of a random bit length, so that small and large magnitudes are both common.
  uint64_t Bits() { return Next() >> Below(64); }

 private:
  uint64_t state_;
};

// How many random values or records a differential test draws for `full` in an optimised native
// build: the sanitizer build draws a twentieth, the Windows build under Wine a tenth, and
// DTCONV_DIFF_SCALE (a factor) changes either.
inline int64_t DiffCount(int64_t full) {
  double scale = 1;
#if defined(__SANITIZE_ADDRESS__)
  scale = 0.05;
#elif defined(_WIN32)
  scale = 0.1;
#endif
  if (const char* s = std::getenv("DTCONV_DIFF_SCALE")) scale = std::atof(s);
  auto n = static_cast<int64_t>(static_cast<double>(full) * scale);
  return n < 1 ? 1 : n;
}

// The line where two outputs first differ, with its neighbours made visible; empty when equal.
std::string FirstDifference(const std::string& expected, const std::string& actual);

}  // namespace dtconv::test
