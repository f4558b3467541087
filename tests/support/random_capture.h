// The tests' seeded random captures: the same records on every platform and every run.
#pragma once

#include <cstdint>

#include "capture_builder.h"

namespace dtconv::test {

// SplitMix64: fully specified, so the values are the same wherever they are drawn.
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

// The capture of `seed`: a random set-up (a time base near a change of summer time in CET-1CEST,
// or a hostile one; an analog front end with random ranges, thermocouples and calibrations) and
// `n` records of every kind, mostly of `main` ('c' CAN, 'a' analog, 'g' GNSS): frames of every
// format code (and unknown ones) with broken continuations now and then, markers, samples, fixes,
// stray records, times that go back or jump ahead; for 'w', a waveform of `n` samples with random
// ranges, interval, pre-trigger and calibration of AI1.
CaptureBuilder RandomCapture(uint64_t seed, int64_t n, char main);

}  // namespace dtconv::test
