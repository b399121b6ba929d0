// Keys of the frame cache. A key is a frame number as the plan computes it
// (32-bit, unclamped, possibly negative) or a placeholder that marks a
// source texture holding no frame. Placeholders lie below every 32-bit
// value, so that no frame number can ever equal one.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int64_t FrameKey;

constexpr FrameKey kFirstPlaceholderKey = FrameKey{INT32_MIN} - 1;

constexpr bool IsPlaceholderKey(FrameKey key) { return key < INT32_MIN; }

// The n-th placeholder (0, 1, 2, ...); distinct n give distinct keys.
constexpr FrameKey PlaceholderKey(size_t n) {
  return kFirstPlaceholderKey - static_cast<FrameKey>(n);
}
