// The signal decoder: a frame's bytes to the raw values of the selected signals.
#include <algorithm>
#include <bit>
#include <cstring>

#include "signals/signals.h"

namespace dtconv::signals {

namespace {

constexpr size_t kMaxFrameBytes = 64;  // a CAN FD frame
// A signal is read through a 16-byte window from its first byte, which may start at byte 63.
constexpr size_t kFrameCopyBytes = kMaxFrameBytes + 16;
// Slots for multiplexor values: the reader allows at most 255 multiplexors in a message.
constexpr size_t kMaxSlots = 256;

uint64_t Load64(const uint8_t* p, bool bigEndian) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  bool swap = bigEndian != (std::endian::native == std::endian::big);
  return swap ? __builtin_bswap64(v) : v;
}

// The raw value of a signal: the 16 bytes from layout.byte as one 128-bit number in the
// signal's byte order, shifted, masked and sign-extended.
uint64_t Extract(const uint8_t* frame, const BitLayout& l) {
  const uint8_t* p = frame + l.byte;
  unsigned __int128 window;
  if (l.bigEndian) {
    window = static_cast<unsigned __int128>(Load64(p, true)) << 64 | Load64(p + 8, true);
  } else {
    window = static_cast<unsigned __int128>(Load64(p + 8, false)) << 64 | Load64(p, false);
  }
  uint64_t v = static_cast<uint64_t>(window >> l.shift) & l.mask;
  return (v ^ l.signBit) - l.signBit;
}

bool Selects(const DecodeStep& step, const MuxRange* ranges, uint64_t value) {
  if (step.muxSigned && static_cast<int64_t>(value) < 0) return false;
  for (uint32_t i = 0; i < step.rangeCount; ++i) {
    const MuxRange& r = ranges[step.rangeBegin + i];
    if (value >= r.low && value <= r.high) return true;
  }
  return false;
}

}  // namespace

size_t SignalSelection::Decode(const MessagePlan& plan, const uint8_t* data, size_t size,
                               DecodedValue* out) {
  // A zero-padded copy, so that every window read stays inside it; the padding is never part of
  // a value, as a signal is decoded only when the frame holds all of its bytes.
  uint8_t frame[kFrameCopyBytes];
  size_t n = std::min(size, kMaxFrameBytes);
  if (n > 0) std::memcpy(frame, data, n);
  std::memset(frame + n, 0, sizeof frame - n);
  uint64_t muxValue[kMaxSlots];
  bool muxPresent[kMaxSlots];
  std::fill_n(muxPresent, plan.slots_, false);
  const MuxRange* ranges = plan.ranges_.data();
  size_t count = 0;
  for (const DecodeStep& step : plan.steps_) {
    bool present = step.layout.bytesNeeded <= n;
    uint64_t raw = present ? Extract(frame, step.layout) : 0;
    if (present && step.muxSlot != MessagePlan::kNoSlot) {
      present = muxPresent[step.muxSlot] && Selects(step, ranges, muxValue[step.muxSlot]);
    }
    if (step.ownSlot != MessagePlan::kNoSlot) {
      muxPresent[step.ownSlot] = present;
      muxValue[step.ownSlot] = raw;
    }
    if (present && step.column != MessagePlan::kNoColumn) out[count++] = {step.column, raw};
  }
  return count;
}

}  // namespace dtconv::signals
