#include "input/monitor_record.h"

#include "platform/platform.h"

namespace dtconv {

void PassCheckpoint(RecordCursor& cursor) {
  uint32_t at = cursor.index;
  cursor.checkpoint = at <= UINT32_MAX - kCheckpointStride
                          ? (at / kCheckpointStride + 1) * kCheckpointStride
                          : UINT32_MAX;
  // The walk may step over a checkpoint's exact index (PassContinuations), so the progress is
  // the index it was passed at.
  if (cursor.walked != nullptr) {
    cursor.walked->store(at, std::memory_order_relaxed);
  }
  // Pages go back each time the walk crosses a multiple of the release stride, also when it
  // steps over the exact index.
  if (cursor.image != nullptr && at / kReleaseStride > cursor.released / kReleaseStride) {
    auto base = static_cast<uint64_t>(reinterpret_cast<const uint8_t*>(cursor.records) -
                                      cursor.image->data());
    cursor.image->ReleaseRange(base + 32ull * cursor.released, base + 32ull * at);
    cursor.released = at;
  }
}

}  // namespace dtconv
