#include "analog/cvt_ana.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "analog/thermocouple.h"
#include "gnss/gnss_fix.h"
#include "report/timestamps.h"
#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace dtconv {

namespace {

// Added to the sample's reference-junction temperature per channel 1..8, hundredths of a degree:
// the terminals lie at different distances from the board's temperature sensor.
constexpr int16_t kJunctionCorrection[8] = {35, 30, 25, 20, 15, 10, 5, 0};

}  // namespace

char* PutAnalogCell(char* p, CTxtCvtBase& cv, const AnalogState& state, int index,
                    const uint32_t* raw, int16_t referenceTemp) {
  p = cv.PutCellStart(p);
  if (!state.valuesPresent) return p;
  const ChannelScale& scale = state.scales[index];
  double v = ScaleSample(scale, raw[index < 8 ? index : index - 8]);
  if (scale.thermocouple && index < 8) {
    auto reference = static_cast<int16_t>(referenceTemp + kJunctionCorrection[index]);
    v = ThermocoupleToCelsius(v, scale.tcType, scale.burnoutDetect, scale.junctionCompensation,
                              reference);
    if (v > 9999) return text::PutText(p, "BURNOUT");
  }
  // Text: "%+07.<d>f", sign and zero fill in seven characters; CSV: "%.<d+1>f", plain, with one
  // decimal more.
  int d = scale.decimals;
  if (d >= -4 && d <= -1) return text::PutPlainFixed(p, v, 1 - d);
  return text::PutSignedFixed7(p, v, d >= 1 && d <= 4 ? d : 1);
}

namespace {

// Where the raw words of a sample lie: those of channels 1..4 in its head record, those of
// channels 5..8 in its continuation (null for a sample of four channels or fewer).
struct SampleWords {
  const MonitorRecord* head;
  const uint8_t* low;
  const uint8_t* high;
};

// Finds the raw words of the sample under the cursor. An eight-channel sample needs its
// continuation record; without it the sample is not usable.
[[gnu::always_inline]] inline bool FindSample(const CTxtCvtANA& cv, const RecordCursor& cursor,
                                              SampleWords& words) {
  const MonitorRecord& head = cursor.Current();
  words = {&head, head.bytes + 16, nullptr};
  if (cv.analog.channelCount <= 4) return true;
  const MonitorRecord* next = head.Continuation() != 0 ? ContinuationOf(cursor, 1) : nullptr;
  if (next == nullptr) return false;
  words.high = next->bytes + 4;
  return true;
}

// Reads a sample's raw words and reference-junction temperature into the converter's state.
inline void TakeSample(AnalogState& a, const SampleWords& words) {
  a.referenceTemp = LoadI16(words.head->bytes + 10);
  for (int i = 0; i < 4; ++i) a.raw[i] = LoadU32(words.low + 4 * i);
  if (words.high == nullptr) return;
  for (int i = 0; i < 4; ++i) a.raw[4 + i] = LoadU32(words.high + 4 * i);
}

void WriteTitles(CTxtCvtANA& cv) {
  char piece[32];
  if (cv.csv) {
    if (cv.elapsed) cv.WriteCell("Elapsed(sec.)");
    cv.WriteCell("Date(YYYY/MM/DD)");
    cv.WriteCell("Time(HH:mm:ss)");
    if (cv.timeStampStyle == 7) cv.WriteCell(cv.output->utf8() ? "Time(\xC2\xB5s)" : "Time(us)");
    if (cv.timeStampStyle == 8) cv.WriteCell("Time(ms)");
    for (int ch = 0; ch < cv.analog.channelCount; ++ch) {
      FormatPiece(piece, "AI%d", ch + 1);
      cv.WriteCell(piece);
    }
    if (cv.addGnss) AppendGnssTitles(cv);
  } else {
    cv.output->AppendText("-");
    cv.output->AppendText(TimeColumnTitle(cv.timeStampStyle));
    for (int ch = 0; ch < cv.analog.channelCount; ++ch) {
      FormatPiece(piece, "---AI%d--", ch + 1);
      cv.output->AppendText(piece);
    }
  }
  cv.EndLine();
}

// Whether every channel is a plain scaled reading (no thermocouple): the cells of such rows are
// written by one loop with nothing decided per cell.
bool PlainChannels(const AnalogState& state) {
  for (int ch = 0; ch < state.channelCount; ++ch) {
    if (state.scales[ch].thermocouple) return false;
  }
  return true;
}

#if defined(__SSE2__)
// The eight plain channels of a row scaled and rounded two at a time: the same arithmetic as
// ScaleSample and the columns' quick rounding, in the lanes of SSE2 registers. A side's gain and
// bounds are chosen by bits: the minus side's value is the plus side's with `flip` applied by
// exclusive or where the reading is below zero.
struct RowScales {
  alignas(16) double offset[8];
  alignas(16) double gain[8];
  alignas(16) double gainFlip[8];
  alignas(16) double low[8];
  alignas(16) double lowFlip[8];
  alignas(16) double high[8];
  alignas(16) double highFlip[8];
  alignas(16) double scale[8];  // of the column's decimals
  alignas(16) double limit[8];  // the quick rounding's bound on the rounded units
  // Whether the bounds must be chosen by side; when not, every value is clamped to both, low[]
  // and high[], which gives the same values (BothBoundsServe).
  bool sidedBounds;
};

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

template <typename Column>
RowScales RowScalesOf(const AnalogState& state, const Column (&columns)[8]) {
  RowScales r{};
  for (int ch = 0; ch < 8; ++ch) {
    const ChannelScale& c = state.scales[ch];
    r.offset[ch] = c.offset;
    r.gain[ch] = c.gain[0];
    r.gainFlip[ch] = FlipBits(c.gain[0], c.gain[1]);
    r.low[ch] = c.low[0];
    r.lowFlip[ch] = FlipBits(c.low[0], c.low[1]);
    r.high[ch] = c.high[0];
    r.highFlip[ch] = FlipBits(c.high[0], c.high[1]);
    r.scale[ch] = columns[ch].scale();
    r.limit[ch] = columns[ch].limit();
    if (!BothBoundsServe(c)) r.sidedBounds = true;
  }
  if (!r.sidedBounds) {
    for (int ch = 0; ch < 8; ++ch) {
      r.low[ch] = state.scales[ch].low[1];
      r.high[ch] = state.scales[ch].high[0];
    }
  }
  return r;
}

// The rounded magnitudes of a row's eight cells, as values or as their EightDigitsText, and the
// length of each one's minus sign (1 for the negative values, 0 for the others).
struct RoundedRow {
  alignas(16) uint32_t units[8];
  alignas(16) uint64_t digits[8];
  alignas(16) uint64_t minus[8];
};

// The EightDigitsText of four values below 10^8 (the 32-bit lanes of `q`), at `out`.
inline void StoreEightDigitsTexts(__m128i q, uint64_t* out) {
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
  _mm_store_si128(reinterpret_cast<__m128i*>(out),
                  _mm_or_si128(_mm_unpacklo_epi16(first, second), zeros));
  _mm_store_si128(reinterpret_cast<__m128i*>(out + 2),
                  _mm_or_si128(_mm_unpackhi_epi16(first, second), zeros));
}

// Scales and rounds the eight raw words (four little-endian words at each of `low` and `high`)
// into the units of `out` or, with kDigits, their digits; false when some cell needs the exact
// rounding. kSidedBounds is s.sidedBounds.
template <bool kDigits, bool kSidedBounds>
[[gnu::always_inline]] inline bool RoundRow(const RowScales& s, const uint8_t* low,
                                            const uint8_t* high, RoundedRow& out) {
  const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  const __m128d shifter = _mm_set1_pd(0x1p52);
  const __m128d margin = _mm_set1_pd(0.5 - 0x1p-26);
  __m128d quick = _mm_castsi128_pd(_mm_set1_epi32(-1));
  __m128i units[4];
  for (int half = 0; half < 2; ++half) {
    __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(half == 0 ? low : high));
    // The readings sign-extended from bit 23, and all ones in the lanes of those below zero.
    __m128i raw = _mm_srai_epi32(_mm_slli_epi32(words, 8), 8);
    __m128i minus = _mm_srai_epi32(raw, 31);
    for (int pair = 0; pair < 2; ++pair) {
      int i = 4 * half + 2 * pair;
      __m128i pairRaw = pair == 0 ? raw : _mm_shuffle_epi32(raw, 0xEE);
      __m128d side = _mm_castsi128_pd(pair == 0 ? _mm_shuffle_epi32(minus, 0x50)
                                                : _mm_shuffle_epi32(minus, 0xFA));
      __m128d v = _mm_add_pd(_mm_cvtepi32_pd(pairRaw), _mm_load_pd(s.offset + i));
      v = _mm_mul_pd(
          v, _mm_xor_pd(_mm_load_pd(s.gain + i), _mm_and_pd(side, _mm_load_pd(s.gainFlip + i))));
      __m128d lowBound = _mm_load_pd(s.low + i), highBound = _mm_load_pd(s.high + i);
      if constexpr (kSidedBounds) {
        lowBound = _mm_xor_pd(lowBound, _mm_and_pd(side, _mm_load_pd(s.lowFlip + i)));
        highBound = _mm_xor_pd(highBound, _mm_and_pd(side, _mm_load_pd(s.highFlip + i)));
      }
      // v < low ? low : v, then that > high ? high : it.
      v = _mm_min_pd(highBound, _mm_max_pd(lowBound, v));
      _mm_store_si128(reinterpret_cast<__m128i*>(out.minus + i),
                      _mm_srli_epi64(_mm_castpd_si128(v), 63));
      __m128d x = _mm_mul_pd(_mm_and_pd(v, magnitude), _mm_load_pd(s.scale + i));
      __m128d rounded = _mm_sub_pd(_mm_add_pd(x, shifter), shifter);
      __m128d off = _mm_and_pd(_mm_sub_pd(x, rounded), magnitude);
      quick = _mm_and_pd(quick, _mm_and_pd(_mm_cmplt_pd(rounded, _mm_load_pd(s.limit + i)),
                                           _mm_cmplt_pd(off, margin)));
      units[2 * half + pair] = _mm_cvttpd_epi32(rounded);
    }
  }
  __m128i first = _mm_unpacklo_epi64(units[0], units[1]);
  __m128i last = _mm_unpacklo_epi64(units[2], units[3]);
  if constexpr (kDigits) {
    StoreEightDigitsTexts(first, out.digits);
    StoreEightDigitsTexts(last, out.digits + 4);
  } else {
    _mm_store_si128(reinterpret_cast<__m128i*>(out.units), first);
    _mm_store_si128(reinterpret_cast<__m128i*>(out.units + 4), last);
  }
  return _mm_movemask_pd(quick) == 3;
}

// The same four channels to a register, with AVX2 (where platform::HasAvx2): the same IEEE
// operations on the same values, so the same units and digits.
#define DTCONV_AVX2 [[gnu::target("avx2")]]

// A value y below 100 in each 16-bit lane as its two digits, tens in the low byte (y * 103 >> 10
// is y / 10 below 179).
DTCONV_AVX2 inline __m256i DigitPairsWide(__m256i y) {
  __m256i tens = _mm256_srli_epi16(_mm256_mullo_epi16(y, _mm256_set1_epi16(103)), 10);
  __m256i ones = _mm256_sub_epi16(y, _mm256_mullo_epi16(tens, _mm256_set1_epi16(10)));
  return _mm256_or_si256(tens, _mm256_slli_epi16(ones, 8));
}

// StoreEightDigitsTexts of the eight 32-bit lanes of `q` at once.
DTCONV_AVX2 inline void StoreEightDigitsTextsWide(__m256i q, uint64_t* out) {
  const __m256i inverse = _mm256_set1_epi32(static_cast<int>(0xD1B71759u));
  __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(q, inverse), 45);
  __m256i odd = _mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(q, 32), inverse), 45);
  __m256i high = _mm256_or_si256(even, _mm256_slli_epi64(odd, 32));
  __m256i low = _mm256_sub_epi16(q, _mm256_mullo_epi16(high, _mm256_set1_epi32(10000)));
  __m256i groups = _mm256_or_si256(high, _mm256_slli_epi32(low, 16));
  __m256i hundreds = _mm256_srli_epi16(_mm256_mulhi_epu16(groups, _mm256_set1_epi16(5243)), 3);
  __m256i rest = _mm256_sub_epi16(groups, _mm256_mullo_epi16(hundreds, _mm256_set1_epi16(100)));
  __m256i first = DigitPairsWide(hundreds), second = DigitPairsWide(rest);
  const __m256i zeros = _mm256_set1_epi8('0');
  // The unpacking works within each 128-bit half: values 0, 1 and 4, 5 in one result, 2, 3 and
  // 6, 7 in the other.
  __m256i pairsLow = _mm256_or_si256(_mm256_unpacklo_epi16(first, second), zeros);
  __m256i pairsHigh = _mm256_or_si256(_mm256_unpackhi_epi16(first, second), zeros);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                      _mm256_permute2x128_si256(pairsLow, pairsHigh, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4),
                      _mm256_permute2x128_si256(pairsLow, pairsHigh, 0x31));
}

template <bool kDigits, bool kSidedBounds>
DTCONV_AVX2 bool RoundRowWide(const RowScales& s, const uint8_t* low, const uint8_t* high,
                              RoundedRow& out) {
  const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  const __m256d shifter = _mm256_set1_pd(0x1p52);
  const __m256d margin = _mm256_set1_pd(0.5 - 0x1p-26);
  __m256d quick = _mm256_castsi256_pd(_mm256_set1_epi32(-1));
  __m128i units[2];
  for (int half = 0; half < 2; ++half) {
    int i = 4 * half;
    __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(half == 0 ? low : high));
    __m128i raw = _mm_srai_epi32(_mm_slli_epi32(words, 8), 8);
    __m256d side = _mm256_castsi256_pd(_mm256_cvtepi32_epi64(_mm_srai_epi32(raw, 31)));
    __m256d v = _mm256_add_pd(_mm256_cvtepi32_pd(raw), _mm256_loadu_pd(s.offset + i));
    v = _mm256_mul_pd(v, _mm256_xor_pd(_mm256_loadu_pd(s.gain + i),
                                       _mm256_and_pd(side, _mm256_loadu_pd(s.gainFlip + i))));
    __m256d lowBound = _mm256_loadu_pd(s.low + i), highBound = _mm256_loadu_pd(s.high + i);
    if constexpr (kSidedBounds) {
      lowBound = _mm256_xor_pd(lowBound, _mm256_and_pd(side, _mm256_loadu_pd(s.lowFlip + i)));
      highBound = _mm256_xor_pd(highBound, _mm256_and_pd(side, _mm256_loadu_pd(s.highFlip + i)));
    }
    v = _mm256_min_pd(highBound, _mm256_max_pd(lowBound, v));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out.minus + i),
                        _mm256_srli_epi64(_mm256_castpd_si256(v), 63));
    __m256d x = _mm256_mul_pd(_mm256_and_pd(v, magnitude), _mm256_loadu_pd(s.scale + i));
    __m256d rounded = _mm256_sub_pd(_mm256_add_pd(x, shifter), shifter);
    __m256d off = _mm256_and_pd(_mm256_sub_pd(x, rounded), magnitude);
    quick = _mm256_and_pd(
        quick, _mm256_and_pd(_mm256_cmp_pd(rounded, _mm256_loadu_pd(s.limit + i), _CMP_LT_OQ),
                             _mm256_cmp_pd(off, margin, _CMP_LT_OQ)));
    units[half] = _mm256_cvttpd_epi32(rounded);
  }
  if constexpr (kDigits) {
    StoreEightDigitsTextsWide(
        _mm256_inserti128_si256(_mm256_castsi128_si256(units[0]), units[1], 1), out.digits);
  } else {
    _mm_store_si128(reinterpret_cast<__m128i*>(out.units), units[0]);
    _mm_store_si128(reinterpret_cast<__m128i*>(out.units + 4), units[1]);
  }
  return _mm256_movemask_pd(quick) == 15;
}
#endif

// The decimals of every channel's cells: "%.<d>f" in CSV, "%+07.<d>f" in text (PutAnalogCell's
// choice, made once).
struct CellDecimals {
  int count[8];
  text::PlainFixedColumn columns[8];        // CSV: "%.<count>f"
  text::SignedFixed7Column textColumns[8];  // text: "%+07.<count>f"
#if defined(__SSE2__)
  RowScales csvRow, textRow;  // the eight channels' scaling with the columns' rounding
  bool wide;                  // rounded four channels at a time (RoundRowWide)
#endif
};
CellDecimals CellDecimalsOf(const AnalogState& state, bool wideVectors) {
  CellDecimals cells{};
  for (int ch = 0; ch < 8; ++ch) {
    int d = state.scales[ch].decimals;
    cells.count[ch] = d >= -4 && d <= -1 ? 1 - d : d >= 1 && d <= 4 ? d : 1;
    cells.columns[ch] = text::PlainFixedColumn(cells.count[ch]);
    cells.textColumns[ch] = text::SignedFixed7Column(cells.count[ch]);
  }
#if defined(__SSE2__)
  cells.csvRow = RowScalesOf(state, cells.columns);
  cells.textRow = RowScalesOf(state, cells.textColumns);
  cells.wide = wideVectors;
#else
  (void)wideVectors;
#endif
  return cells;
}

// The cells of a row of plain channels after the time cells: each after its separator, "%.<d>f"
// in CSV, "%+07.<d>f" in text. `kCount` channels, or a.channelCount when 0: the usual eight are
// unrolled, with every channel's scaling and decimals at a fixed place.
template <int kCount>
char* PutPlainCsvCells(char* p, const AnalogState& a, const CellDecimals& cells, char separator) {
  int count = kCount != 0 ? kCount : a.channelCount;
#pragma GCC unroll 8
  for (int ch = 0; ch < count; ++ch) {
    *p = separator;
    p = cells.columns[ch].Put(p + 1, ScaleSample(a.scales[ch], a.raw[ch]));
  }
  return p;
}

template <int kCount>
char* PutPlainTextCells(char* p, const AnalogState& a, const CellDecimals& cells) {
  int count = kCount != 0 ? kCount : a.channelCount;
  // The usual cell is a blank and seven characters: one eight-byte store.
#pragma GCC unroll 8
  for (int ch = 0; ch < count; ++ch) {
    p = cells.textColumns[ch].PutAfterBlank(p, ScaleSample(a.scales[ch], a.raw[ch]));
  }
  return p;
}

#if defined(__SSE2__)
// The eight cells of a row of plain channels, scaled and rounded together; a row with a cell that
// needs the exact rounding goes cell by cell.
template <bool kCsv>
char* PutEightPlainCells(char* p, AnalogState& a, const CellDecimals& cells, char separator,
                         const SampleWords& words) {
  RoundedRow row;
  // The text cells take their five digits from the value, the CSV ones their eight from the
  // digits of the whole row.
  const RowScales& scales = kCsv ? cells.csvRow : cells.textRow;
  bool quick = false;
  if (cells.wide) {
    quick = scales.sidedBounds ? RoundRowWide<kCsv, true>(scales, words.low, words.high, row)
                               : RoundRowWide<kCsv, false>(scales, words.low, words.high, row);
  } else {
    quick = scales.sidedBounds ? RoundRow<kCsv, true>(scales, words.low, words.high, row)
                               : RoundRow<kCsv, false>(scales, words.low, words.high, row);
  }
  if (!quick) [[unlikely]] {
    TakeSample(a, words);
    return kCsv ? PutPlainCsvCells<8>(p, a, cells, separator) : PutPlainTextCells<8>(p, a, cells);
  }
#pragma GCC unroll 8
  for (int ch = 0; ch < 8; ++ch) {
    if constexpr (kCsv) {
      *p = separator;
      p = cells.columns[ch].PutDigits(p + 1, row.minus[ch], row.digits[ch]);
    } else {
      p = cells.textColumns[ch].PutUnitsAfterBlank(p, row.minus[ch], row.units[ch]);
    }
  }
  return p;
}
#endif

// The longest sample row: the time cells, the column of the text form, and eight cells.
constexpr size_t kMaxSampleRow = kMaxTimeCells + 64 + 8 * kMaxAnalogCell;

// The cells of the sample row at the cursor at `p` (room for kMaxSampleRow characters), without
// a line end; returns their end, or `p` when the sample is not usable.
[[gnu::always_inline]] inline char* PutSampleCells(char* p, CTxtCvtANA& cv,
                                                   const RecordCursor& cursor, bool plainChannels,
                                                   const CellDecimals& cells) {
  SampleWords words;
  if (!FindSample(cv, cursor, words)) return p;
  const MonitorRecord& head = *words.head;
  TextOutput& out = *cv.output;
  if (cv.csv) {
    p = PutTimeCells(p, head, cv, cv.elapsed, false, CellDelimiter(out.delimiter()));
  } else {
    p = PutTimeColumn(cv.PutCellStart(p), head, cv);
  }
  AnalogState& a = cv.analog;
  a.valuesPresent = true;
  // After the time cells every cell starts with the same separator: a blank in text, the
  // delimiter in CSV.
  const std::string& delimiter = out.delimiter();
  bool plainCsv = cv.csv && plainChannels && delimiter.size() == 1;
  bool plainText = !cv.csv && plainChannels;
  // Each cell text goes straight after its separator; the decimals every channel keeps (and which
  // PutAnalogCell checks per cell) are in `cells`.
#if defined(__SSE2__)
  if (plainCsv && a.channelCount == 8) {
    return PutEightPlainCells<true>(p, a, cells, delimiter[0], words);
  }
  if (plainText && a.channelCount == 8) return PutEightPlainCells<false>(p, a, cells, ' ', words);
#endif
  TakeSample(a, words);
  if (plainCsv) {
    p = a.channelCount == 8 ? PutPlainCsvCells<8>(p, a, cells, delimiter[0])
                            : PutPlainCsvCells<0>(p, a, cells, delimiter[0]);
  } else if (plainText) {
    p = a.channelCount == 8 ? PutPlainTextCells<8>(p, a, cells) : PutPlainTextCells<0>(p, a, cells);
  } else {
    for (int ch = 0; ch < a.channelCount; ++ch) {
      p = PutAnalogCell(p, cv, a, ch, a.raw, a.referenceTemp);
    }
  }
  return p;
}

// One sample row with the GNSS columns after its cells.
void WriteSampleLine(CTxtCvtANA& cv, const RecordCursor& cursor, bool plainChannels,
                     const CellDecimals& cells) {
  TextOutput& out = *cv.output;
  char* start = out.BeginAppend(kMaxSampleRow);
  char* p = PutSampleCells(start, cv, cursor, plainChannels, cells);
  if (p == start) return;
  out.EndAppend(p);
  if (cv.csv && cv.addGnss) cv.gnssColumns.Append(cv, cv.lastGnss);
  cv.EndLine();
}

// Rows are built a batch at a time in the writer's line when nothing but their cells goes on
// them.
constexpr size_t kBatchRoom = TextOutput::kMaxAppend;

// The rows of the samples from the one at the cursor on, as many as one batch holds and up to the
// next record that is not a sample, each trimmed of trailing blanks (as the writer trims every
// line) and ended; returns the kind of the record after the last.
RecordKind WriteSampleRows(CTxtCvtANA& cv, RecordCursor& cursor, bool plainChannels,
                           const CellDecimals& cells, const LineEnd& eol, const AcceptRule& rule) {
  TextOutput& out = *cv.output;
  char* start = out.BeginAppend(kBatchRoom);
  char* last = start + kBatchRoom - kMaxSampleRow - 2;  // where a further row still fits
  char* p = start;
  RecordKind kind = kKindAnalog;
  do {
    char* row = p;
    p = PutSampleCells(p, cv, cursor, plainChannels, cells);
    cv.fieldOnLine = false;
    if (p != row) {
      while (p > row && p[-1] == ' ') --p;
      p = eol.Put(p);
      // A sample of more than four channels was read with its continuation.
      if (cv.analog.channelCount > 4) PassContinuations(cursor, 1);
    }
    kind = dtconv::NextRecord(cursor, rule);
  } while (kind == kKindAnalog && p <= last);
  if (p != start) {
    // The writer ends the last row.
    out.EndAppend(p - eol.length);
    cv.EndLine();
  }
  return kind;
}

#if defined(__SSE2__)
// The rows of eight plain channels, in CSV with a one-character delimiter (kCsv) or in text, as
// WriteSampleRows writes them, with what that decides for every row settled once. Their last
// cell ends in a digit, so there is nothing to trim.
template <bool kCsv>
RecordKind WriteEightPlainRows(CTxtCvtANA& cv, RecordCursor& cursor, const CellDecimals& cells,
                               const LineEnd& eol, const AcceptRule& rule) {
  TextOutput& out = *cv.output;
  const char separator = kCsv ? out.delimiter()[0] : ' ';
  const bool elapsed = cv.elapsed;
  char* start = out.BeginAppend(kBatchRoom);
  char* last = start + kBatchRoom - kMaxSampleRow - 2;  // where a further row still fits
  char* p = start;
  RecordKind kind = kKindAnalog;
  do {
    SampleWords words;
    if (FindSample(cv, cursor, words)) {
      if constexpr (kCsv) {
        p = PutTimeCells(p, *words.head, cv, elapsed, false, CharDelimiter{separator});
      } else {
        p = PutTimeColumn(cv.PutCellStart(p), *words.head, cv);
      }
      cv.analog.valuesPresent = true;
      p = PutEightPlainCells<kCsv>(p, cv.analog, cells, separator, words);
      cv.fieldOnLine = false;
      p = eol.Put(p);
      PassContinuations(cursor, 1);
    }
    kind = dtconv::NextRecord(cursor, rule);
  } while (kind == kKindAnalog && p <= last);
  if (p != start) {
    out.EndAppend(p - eol.length);
    cv.EndLine();
  }
  return kind;
}
#endif

}  // namespace

void FormatAnalogCell(CTxtCvtBase& cv, const AnalogState& state, int index, const uint32_t* raw,
                      int16_t referenceTemp) {
  TextOutput& out = *cv.output;
  out.EndAppend(
      PutAnalogCell(out.BeginAppend(kMaxAnalogCell), cv, state, index, raw, referenceTemp));
}

AcceptRule CTxtCvtANA::Rule() const {
  AcceptRule rule;
  rule.analog = true;
  rule.gnss = addGnss;
  rule.analogOverrun = true;
  rule.lostData = true;
  return rule;
}

RecordKind CTxtCvtANA::NextRecord(RecordCursor& cursor) {
  return dtconv::NextRecord(cursor, Rule());
}

RecordKind CTxtCvtANA::FirstRecord(RecordCursor& cursor) {
  return dtconv::FirstRecord(cursor, Rule());
}

void CTxtCvtANA::WriteSetupBlock() {
  if (!csv) WriteTitleLine();
  WriteAnalogSettings(*this, analog);
}

void ConvertAnalog(CTxtCvtANA& cv, const MonitorData& data, ConverterContext& context) {
  bool csv = context.type == kCvtAnalogCsv;
  cv.Bind(data, context, csv, context.timeStampStyle);
  cv.elapsed = csv && (context.optionBits & kOptRelTimeStamp) != 0;
  cv.addGnss = csv && (context.optionBits & kOptAddGnss) != 0;
  SetupChannelScales(data, csv, cv.analog);
  cv.gnssColumns.Reset();

  if (csv) {
    cv.WriteHeaderLines();
    cv.WriteSetupBlock();
  } else {
    cv.WriteReportHeader();
  }
  if (data.recordCount == 0) return;
  RecordCursor cursor = cv.StartCursor();
  RecordKind kind = cv.FirstRecord(cursor);
  if (kind == kKindEnd) return;
  WriteTitles(cv);
  bool plainChannels = PlainChannels(cv.analog);
  CellDecimals cells = CellDecimalsOf(cv.analog, false);
  if (!(csv && cv.addGnss)) {
    // Rows of nothing but their cells go a batch at a time, the marker lines one by one.
    LineEnd eol(cv.output->eol());
    AcceptRule rule = cv.Rule();
    [[maybe_unused]] bool eightPlain = plainChannels && cv.analog.channelCount == 8 &&
                                       (!csv || cv.output->delimiter().size() == 1);
    while (kind != kKindEnd && cv.output->result().ok()) {
#if defined(__SSE2__)
      if (kind == kKindAnalog && eightPlain) {
        kind = csv ? WriteEightPlainRows<true>(cv, cursor, cells, eol, rule)
                   : WriteEightPlainRows<false>(cv, cursor, cells, eol, rule);
        continue;
      }
#endif
      if (kind == kKindAnalog) {
        kind = WriteSampleRows(cv, cursor, plainChannels, cells, eol, rule);
        continue;
      }
      if (kind == kKindOverrun && !csv) cv.WriteOverrunLine();
      if (kind == kKindLostData && !csv) cv.WriteLostDataLine();
      kind = dtconv::NextRecord(cursor, rule);
    }
    return;
  }
  for (; kind != kKindEnd; kind = cv.NextRecord(cursor)) {
    switch (kind) {
      case kKindOverrun:
        if (!csv) cv.WriteOverrunLine();
        break;
      case kKindLostData:
        if (!csv) cv.WriteLostDataLine();
        break;
      case kKindAnalog:
        WriteSampleLine(cv, cursor, plainChannels, cells);
        break;
      case kKindGnss:
        cv.lastGnss = &cursor.Current();
        break;
      default:
        break;
    }
    if (cv.output->result().failed()) return;
  }
}

}  // namespace dtconv
