// The value cells of an analog sample row, shared by the analog report and table and by the
// analog columns of the CAN table. Each cell is a channel's physical value: "%+07.<d>f" after a
// blank in a text report, "%.<d>f" after the delimiter in a CSV table (with one decimal more),
// "BURNOUT" for an open thermocouple.
#pragma once

#include <cstdint>

#include "analog/channel_scale.h"
#include "output/text.h"

namespace dtconv {

// The raw readings of one sample: the little-endian words of channels 1-4 at `low` and of
// channels 5-8 at `high` (16 bytes each; `high` unused for four channels or fewer), and the
// reference-junction temperature in hundredths of a degree.
struct AnalogSample {
  const uint8_t* low = nullptr;
  const uint8_t* high = nullptr;
  int16_t referenceTemp = 0;
};

class AnalogRow {
 public:
  // Settles once per conversion what the channels decide for every row: each cell's form and
  // decimals, and whether a row of eight plain channels (no thermocouple) goes through the
  // vector kernel. `vectors` false keeps every row on the scalar path, which writes the same
  // bytes (tests compare the two).
  AnalogRow(const AnalogState& state, const text::Delimiter& delimiter, bool vectors = true);

  // The cells of one sample, each after its separator.
  char* Put(char* p, const AnalogSample& sample) const;

  // The longest row of cells.
  static constexpr size_t kMaxCells = 8 * (63 + text::kMaxFixedChars);

 private:
  char* PutScalar(char* p, const AnalogSample& sample) const;
  char* PutVector(char* p, const AnalogSample& sample) const;

  const AnalogState& state_;
  text::Delimiter delimiter_;
  bool plain_[8] = {};  // CSV form "%.<d>f"; otherwise "%+07.<d>f"
  text::PlainFixedColumn csvColumns_[8];
  text::SignedFixed7Column textColumns_[8];
  bool vector_ = false;
  bool csvVector_ = false;
  // The vector kernel's per-channel constants (analog_row.cpp), aligned for its loads.
  struct alignas(16) Kernel {
    double offset[8];
    double gain[8];
    double
        gainFlip[8];  // gain[1] ^ gain[0], bit by bit: the minus side's gain from the plus side's
    double low[8];
    double lowFlip[8];
    double high[8];
    double highFlip[8];
    double scale[8];  // of the column's decimals
    double limit[8];  // the quick rounding's bound on the rounded units
    bool sidedBounds;
  } kernel_{};
};

}  // namespace dtconv
