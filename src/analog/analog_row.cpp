// The analog row kernel: the scalar row, cell by cell, and beside it the vector row that scales
// and rounds the eight channels of the usual XP-HV and XP-TC rows together in SSE2 registers
// (the x86-64 baseline). Both do the same IEEE double operations in the same order, with no fused
// multiply-add, so they write the same bytes on every platform.
#include "analog/analog_row.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "analog/thermocouple.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dtconv {

namespace {

// Added to the sample's reference-junction temperature per channel 1..8, hundredths of a degree:
// the terminals lie at different distances from the board's temperature sensor.
constexpr int16_t kJunctionCorrection[8] = {35, 30, 25, 20, 15, 10, 5, 0};

// A temperature above this is the burnout mark of an open thermocouple.
constexpr double kBurnoutAbove = 9999;

double FlipBits(double plus, double minus) {
  return std::bit_cast<double>(std::bit_cast<uint64_t>(plus) ^ std::bit_cast<uint64_t>(minus));
}

// Whether clamping every value of a channel to both bounds gives what clamping it to its own
// side's bound gives: no value of the plus side lies below the minus side's lower bound, and no
// value of the minus side above the plus side's upper bound. The scaling is monotonic in the
// reading, so each side's extremes are the values of its end readings.
bool BothBoundsServe(const ChannelScale& c) {
  if (!std::isfinite(c.offset) || !std::isfinite(c.gain[0]) || !std::isfinite(c.gain[1])) {
    return false;
  }
  auto value = [&](int32_t raw, int side) { return (raw + c.offset) * c.gain[side]; };
  const int32_t most = (1 << 23) - 1, least = -(1 << 23);
  double low = c.low[1], high = c.high[0];
  double plusLeast = std::min(value(0, 0), value(most, 0));
  double minusMost = std::max(value(least, 1), value(-1, 1));
  return low <= high && plusLeast >= low && minusMost <= high;
}

}  // namespace

AnalogRow::AnalogRow(const AnalogState& state, const text::Delimiter& delimiter, bool vectors)
    : state_(state), delimiter_(delimiter) {
  bool anyThermocouple = false;
  for (int ch = 0; ch < 8; ++ch) {
    // CSV decimals are stored negative: "%.<1 - d>f"; text decimals 1..4: "%+07.<d>f".
    int d = state.scales[ch].decimals;
    plain_[ch] = d >= -4 && d <= -1;
    if (plain_[ch]) {
      csvColumns_[ch] = text::PlainFixedColumn(1 - d);
    } else {
      textColumns_[ch] = text::SignedFixed7Column(d >= 1 && d <= 4 ? d : 1);
    }
    if (ch < state.channelCount && state.scales[ch].thermocouple) anyThermocouple = true;
  }
  csvVector_ = plain_[0];
#if defined(__SSE2__)
  vector_ = vectors && state.channelCount == 8 && !anyThermocouple &&
            (!csvVector_ || delimiter.text().size() == 1);
#else
  (void)vectors;
#endif
  Kernel& k = kernel_;
  for (int ch = 0; ch < 8; ++ch) {
    const ChannelScale& c = state.scales[ch];
    k.offset[ch] = c.offset;
    k.gain[ch] = c.gain[0];
    k.gainFlip[ch] = FlipBits(c.gain[0], c.gain[1]);
    k.low[ch] = c.low[0];
    k.lowFlip[ch] = FlipBits(c.low[0], c.low[1]);
    k.high[ch] = c.high[0];
    k.highFlip[ch] = FlipBits(c.high[0], c.high[1]);
    k.scale[ch] = csvVector_ ? csvColumns_[ch].scale() : textColumns_[ch].scale();
    k.limit[ch] = csvVector_ ? csvColumns_[ch].limit() : textColumns_[ch].limit();
    if (!BothBoundsServe(c)) k.sidedBounds = true;
  }
  // When no side can pass the other's bound, every value is clamped to both, the plus side's
  // upper and the minus side's lower one.
  if (!k.sidedBounds) {
    for (int ch = 0; ch < 8; ++ch) {
      k.low[ch] = state.scales[ch].low[1];
      k.high[ch] = state.scales[ch].high[0];
    }
  }
}

char* AnalogRow::Put(char* p, const AnalogSample& sample) const {
  if (vector_) return PutVector(p, sample);
  return PutScalar(p, sample);
}

char* AnalogRow::PutScalar(char* p, const AnalogSample& sample) const {
  for (int ch = 0; ch < state_.channelCount; ++ch) {
    const ChannelScale& scale = state_.scales[ch];
    double v =
        ScaleSample(scale, LoadU32(ch < 4 ? sample.low + 4 * ch : sample.high + 4 * (ch - 4)));
    if (scale.thermocouple) {
      auto reference = static_cast<int16_t>(sample.referenceTemp + kJunctionCorrection[ch]);
      v = ThermocoupleToCelsius(v, scale.tcType, scale.burnoutDetect, scale.junctionCompensation,
                                reference);
    }
    if (scale.thermocouple && v > kBurnoutAbove) {
      p = plain_[ch] ? delimiter_.Put(p) : text::PutText(p, " ");
      p = text::PutText(p, "BURNOUT");
    } else if (plain_[ch]) {
      p = csvColumns_[ch].Put(delimiter_.Put(p), v);
    } else {
      p = textColumns_[ch].PutAfterBlank(p, v);
    }
  }
  return p;
}

#if defined(__SSE2__)

namespace {

// The eight digits of four values below 10^8 (the 32-bit lanes of `q`), as four text words at
// `out`.
void StoreEightDigits(__m128i q, uint64_t* out) {
  // q / 10^4 is q * ceil(2^45 / 10^4) >> 45, in the even lanes and then the odd ones; the rest,
  // below 2^16, comes out of 16-bit arithmetic modulo 2^16.
  const __m128i inverse = _mm_set1_epi32(static_cast<int>(0xD1B71759u));
  __m128i even = _mm_srli_epi64(_mm_mul_epu32(q, inverse), 45);
  __m128i odd = _mm_srli_epi64(_mm_mul_epu32(_mm_srli_epi64(q, 32), inverse), 45);
  __m128i high = _mm_or_si128(even, _mm_slli_epi64(odd, 32));
  __m128i low = _mm_sub_epi16(q, _mm_mullo_epi16(high, _mm_set1_epi32(10000)));
  // The four-digit groups in 16-bit lanes, each value's high one first.
  __m128i groups = _mm_or_si128(high, _mm_slli_epi32(low, 16));
  // A group's hundreds (x * 5243 >> 19 is x / 100 below 43699) and the rest, then each of those
  // pairs as its two digits, tens in the low byte (y * 103 >> 10 is y / 10 below 179).
  __m128i hundreds = _mm_srli_epi16(_mm_mulhi_epu16(groups, _mm_set1_epi16(5243)), 3);
  __m128i rest = _mm_sub_epi16(groups, _mm_mullo_epi16(hundreds, _mm_set1_epi16(100)));
  auto digitPairs = [](__m128i y) {
    __m128i tens = _mm_srli_epi16(_mm_mullo_epi16(y, _mm_set1_epi16(103)), 10);
    __m128i ones = _mm_sub_epi16(y, _mm_mullo_epi16(tens, _mm_set1_epi16(10)));
    return _mm_or_si128(tens, _mm_slli_epi16(ones, 8));
  };
  __m128i first = digitPairs(hundreds), second = digitPairs(rest);
  const __m128i zeros = _mm_set1_epi8('0');
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_or_si128(_mm_unpacklo_epi16(first, second), zeros));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2),
                   _mm_or_si128(_mm_unpackhi_epi16(first, second), zeros));
}

}  // namespace

// The eight channels scaled as ScaleSample scales them and rounded as the columns' quick rounding
// rounds them, two to a register. A reading's side picks its gain and bounds by bits: the minus
// side's value is the plus side's with the flip applied by exclusive or where the reading is
// below zero. A row with a cell that needs the exact rounding goes cell by cell.
char* AnalogRow::PutVector(char* p, const AnalogSample& sample) const {
  const Kernel& k = kernel_;
  const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  const __m128d shifter = _mm_set1_pd(0x1p52);
  const __m128d margin = _mm_set1_pd(0.5 - 0x1p-26);
  __m128d quick = _mm_castsi128_pd(_mm_set1_epi32(-1));
  __m128i units[4];
  alignas(16) uint64_t minus[8];
  for (int half = 0; half < 2; ++half) {
    __m128i words =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(half == 0 ? sample.low : sample.high));
    // The readings sign-extended from bit 23, and all ones in the lanes of those below zero.
    __m128i readings = _mm_srai_epi32(_mm_slli_epi32(words, 8), 8);
    __m128i below = _mm_srai_epi32(readings, 31);
    for (int pair = 0; pair < 2; ++pair) {
      int i = 4 * half + 2 * pair;
      __m128i pairReadings = pair == 0 ? readings : _mm_shuffle_epi32(readings, 0xEE);
      __m128d side = _mm_castsi128_pd(pair == 0 ? _mm_shuffle_epi32(below, 0x50)
                                                : _mm_shuffle_epi32(below, 0xFA));
      __m128d v = _mm_add_pd(_mm_cvtepi32_pd(pairReadings), _mm_load_pd(k.offset + i));
      v = _mm_mul_pd(
          v, _mm_xor_pd(_mm_load_pd(k.gain + i), _mm_and_pd(side, _mm_load_pd(k.gainFlip + i))));
      __m128d lowBound = _mm_load_pd(k.low + i), highBound = _mm_load_pd(k.high + i);
      if (k.sidedBounds) {
        lowBound = _mm_xor_pd(lowBound, _mm_and_pd(side, _mm_load_pd(k.lowFlip + i)));
        highBound = _mm_xor_pd(highBound, _mm_and_pd(side, _mm_load_pd(k.highFlip + i)));
      }
      // v < low ? low : v, then that > high ? high : it.
      v = _mm_min_pd(highBound, _mm_max_pd(lowBound, v));
      _mm_store_si128(reinterpret_cast<__m128i*>(minus + i),
                      _mm_srli_epi64(_mm_castpd_si128(v), 63));
      __m128d x = _mm_mul_pd(_mm_and_pd(v, magnitude), _mm_load_pd(k.scale + i));
      __m128d rounded = _mm_sub_pd(_mm_add_pd(x, shifter), shifter);
      __m128d off = _mm_and_pd(_mm_sub_pd(x, rounded), magnitude);
      quick = _mm_and_pd(quick, _mm_and_pd(_mm_cmplt_pd(rounded, _mm_load_pd(k.limit + i)),
                                           _mm_cmplt_pd(off, margin)));
      units[2 * half + pair] = _mm_cvttpd_epi32(rounded);
    }
  }
  if (_mm_movemask_pd(quick) != 3) [[unlikely]] {
    return PutScalar(p, sample);
  }
  __m128i first = _mm_unpacklo_epi64(units[0], units[1]);
  __m128i last = _mm_unpacklo_epi64(units[2], units[3]);
  if (csvVector_) {
    // The CSV cells take their eight digits from the digits of the whole row.
    alignas(16) uint64_t digits[8];
    StoreEightDigits(first, digits);
    StoreEightDigits(last, digits + 4);
    const char separator = delimiter_.text()[0];
    for (int ch = 0; ch < 8; ++ch) {
      *p = separator;
      p = csvColumns_[ch].PutRounded(p + 1, minus[ch], digits[ch]);
    }
    return p;
  }
  // The text cells take their five digits from the units.
  alignas(16) uint32_t rounded[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(rounded), first);
  _mm_store_si128(reinterpret_cast<__m128i*>(rounded + 4), last);
  for (int ch = 0; ch < 8; ++ch) {
    p = textColumns_[ch].PutRoundedAfterBlank(p, minus[ch], rounded[ch]);
  }
  return p;
}

#else

char* AnalogRow::PutVector(char* p, const AnalogSample& sample) const {
  return PutScalar(p, raw, 0);
}

#endif

}  // namespace dtconv
