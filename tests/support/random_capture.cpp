#include "random_capture.h"

#include <algorithm>

namespace dtconv::test {

namespace {

Bytes RandomBytes(Random& r, size_t n) {
  Bytes b(n);
  for (uint8_t& x : b) x = static_cast<uint8_t>(r.Next());
  return b;
}

uint64_t NextTime(Random& r, uint64_t t) {
  uint32_t k = r.Below(100);
  if (k < 90) return t + r.Below(400000);
  if (k < 95) return t - std::min<uint64_t>(t, r.Below(2000000));
  return (t + r.Next() % 300000000000ull) & 0xFFFFFFFFFFFFull;
}

void AddFrame(Random& r, CaptureBuilder& b, uint64_t t) {
  static const uint8_t kFormats[] = {1, 1, 1, 2, 3, 3, 4, 5, 17, 17, 19, 19, 21, 33, 35, 37};
  FrameSpec f;
  f.line = 1 + static_cast<int>(r.Below(2));
  f.typeNibble = static_cast<uint8_t>(r.Below(16));
  f.timestamp = t;
  f.format = r.OneIn(20) ? static_cast<uint8_t>(r.Next()) : kFormats[r.Below(sizeof kFormats)];
  f.trigger = r.OneIn(10);
  f.status = static_cast<uint8_t>(r.OneIn(4) ? r.Below(9) : 0);
  f.fdFlags = static_cast<uint8_t>(r.Next());
  f.dlc = static_cast<uint8_t>(r.OneIn(10) ? r.Next() : r.Below(16));
  f.id = r.OneIn(5) ? static_cast<uint32_t>(r.Next()) : r.Below(0x800);
  f.fc = static_cast<uint32_t>(r.Next());
  f.data = RandomBytes(r, r.Below(65));
  if (r.OneIn(15)) f.storedCount = static_cast<uint8_t>(r.Next());
  if (r.OneIn(15)) f.continuationCount = static_cast<uint8_t>(r.Below(3));
  std::vector<Bytes> recs = CaptureBuilder().Frame(f).records();
  // Now and then a continuation goes missing or comes out of order.
  for (size_t i = 0; i < recs.size(); ++i) {
    if (i > 0 && r.OneIn(40)) continue;
    Bytes rec = recs[i];
    if (i > 0 && r.OneIn(40)) rec[1] = static_cast<uint8_t>(r.Next());
    b.Raw(rec);
  }
}

void AddSample(Random& r, CaptureBuilder& b, uint64_t t) {
  AnalogSpec a;
  a.timestamp = t;
  a.type = static_cast<uint8_t>(0x30 + r.Below(3));
  a.referenceTemp = static_cast<int16_t>(r.Next());
  for (uint32_t& w : a.words) w = static_cast<uint32_t>(r.Next());
  a.eightChannels = !r.OneIn(10);
  b.Analog(a);
}

void AddFix(Random& r, CaptureBuilder& b, uint64_t t) {
  Bytes rec = HeadRecord(static_cast<uint8_t>(0x20 + r.Below(16)), 0, t);
  Bytes body = RandomBytes(r, 24);
  std::copy(body.begin(), body.end(), rec.begin() + 8);
  if (r.OneIn(2)) rec[15] = static_cast<uint8_t>(2 + r.Below(2));
  b.Raw(rec);
}

// The set-up of a capture: time base near a change of daylight saving time in CET-1CEST (the
// zone of these tests), or a hostile one; an analog front end with random ranges.
CaptureBuilder RandomHeader(Random& r) {
  CaptureBuilder b;
  // Near a change of summer time (2026-03-29 and 2026-10-25 01:00 UTC), hostile, or the default.
  uint32_t base = r.Below(4);
  if (base < 2) b.timeBaseSeconds = (base == 0 ? 1774746000 : 1792890000) - r.Below(600);
  if (base == 2) b.timeBaseSeconds = static_cast<int64_t>(r.Next() % 40000000000ull) - 1000000;
  b.timeBaseNanoseconds =
      r.OneIn(4) ? static_cast<int64_t>(r.Below(4000000001u)) - 2000000000 : r.Below(1000000000);
  b.recordingKind = static_cast<uint8_t>(r.OneIn(3) ? 16 : 0);
  b.analogPort = static_cast<uint8_t>(r.Below(4));
  if (b.analogPort == 3) {
    // XP-TC: channel count, period, then per channel range, type, burnout and compensation.
    b.analogSetup = Bytes(68, 0);
    b.analogSetup[0] = static_cast<uint8_t>(1 + r.Below(9));
    for (int ch = 0; ch < 8; ++ch) {
      b.analogSetup[4 + 8 * ch] = static_cast<uint8_t>(r.Below(8));
      b.analogSetup[8 + 8 * ch] = static_cast<uint8_t>(r.Below(9));
      b.analogSetup[9 + 8 * ch] = static_cast<uint8_t>(r.Below(2));
      b.analogSetup[10 + 8 * ch] = static_cast<uint8_t>(r.Below(2));
    }
  } else if (b.analogPort != 0) {
    b.analogSetup = Bytes(36, 0);
    for (size_t i = 0; i < b.analogSetup.size(); ++i)
      b.analogSetup[i] = static_cast<uint8_t>(r.Below(8));
  }
  for (int ch = 0; ch < 8; ++ch) {
    if (r.OneIn(2)) {
      auto zero = static_cast<int32_t>(r.Below(2001)) - 1000;
      b.calibration.push_back(
          {r.OneIn(4) ? false : true, zero, zero + static_cast<int32_t>(r.Below(2000000)),
           zero - static_cast<int32_t>(r.Below(2000000)), static_cast<int32_t>(r.Below(20000000))});
    }
  }
  return b;
}

}  // namespace

CaptureBuilder RandomCapture(uint64_t seed, int64_t n, char main) {
  Random r(seed);
  CaptureBuilder b = RandomHeader(r);
  if (main == 'w') {
    b.analogPort = 1;
    b.analogSetup = Bytes(36, 0);
    Calibration ai1{r.OneIn(2), static_cast<int32_t>(r.Below(201)) - 100,
                    static_cast<int32_t>(r.Below(800000)), -static_cast<int32_t>(r.Below(800000)),
                    static_cast<int32_t>(r.Below(2000000))};
    b.waveInfo = CaptureBuilder::WaveInfoBytes(
        1, static_cast<uint8_t>(r.Below(5)), static_cast<uint8_t>(r.Below(5)),
        static_cast<uint8_t>(r.Below(18)), static_cast<uint8_t>(r.Below(4)),
        r.OneIn(3) ? -1 : static_cast<int32_t>(r.Next() >> r.Below(64)), ai1, {});
    for (int64_t k = 0; k < n; ++k) b.waveSamples.push_back(static_cast<uint32_t>(r.Next()));
    return b;
  }
  uint64_t t = r.OneIn(3) ? (r.Next() & 0xFFFFFFFFFFull) : 0;
  for (int64_t i = 0; i < n; ++i) {
    t = NextTime(r, t);
    uint32_t k = r.Below(100);
    if (k < 3) {
      b.Marker(static_cast<uint8_t>(0x80 + r.Below(3)), t);
    } else if (k < 5) {
      Bytes rec = RandomBytes(r, 32);
      if (r.OneIn(2)) rec[1] &= 0x7F;  // a stray continuation
      b.Raw(rec);
    } else if (k < 80) {
      if (main == 'c') AddFrame(r, b, t);
      if (main == 'a') AddSample(r, b, t);
      if (main == 'g') AddFix(r, b, t);
    } else if (k < 88) {
      AddFrame(r, b, t);
    } else if (k < 94) {
      AddSample(r, b, t);
    } else {
      AddFix(r, b, t);
    }
  }
  return b;
}

}  // namespace dtconv::test
