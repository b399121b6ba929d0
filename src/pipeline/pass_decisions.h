// Decisions of the pass run that need no device.
#pragma once

#include <cstddef>
#include <cstdint>

// The next frame in the direction of the last two uploads, or -1 when they
// were the same frame. Wraps like the host's 32-bit frame numbers.
inline int32_t PredictNextFrame(int32_t last_uploaded, int32_t previous_uploaded) {
  if (last_uploaded == previous_uploaded) return -1;
  return static_cast<int32_t>(2u * static_cast<uint32_t>(last_uploaded) -
                              static_cast<uint32_t>(previous_uploaded));
}

// The render-target slot pass i writes when its technique names no
// targets: slots 1, 0, 1, ... with two slots or more, else slot 0.
inline size_t AlternatingTargetSlot(uint32_t pass, size_t slot_count) {
  return slot_count >= 2 ? (pass + 1) % 2 : 0;
}
