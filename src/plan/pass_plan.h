// The pass plan: what the engine derives from the effect's naming scheme.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/win32_api.h"

enum BindingMode : int32_t {
  plain = 0,
  normalize = 1,
  technique = 3,
  even = 4,
  odd = 5,
  odd_with_zero = 6,
  ignored = 7,
};

struct TrackBinding {
  D3DXHANDLE parameter = nullptr;
  BindingMode mode = plain;
  int32_t divisor = 1;
};

struct CheckBinding {
  D3DXHANDLE parameter = nullptr;
  BindingMode mode = plain;
};

struct KernelBinding {
  D3DXHANDLE pixel_kernel = nullptr;
  D3DXHANDLE texel_kernel = nullptr;
  uint32_t elements = 0;
};

struct SourceBinding {
  D3DXHANDLE parameter = nullptr;
  int32_t frame_offset = 0;
};

// Render-target index per colour output of one pass; -1 = none given.
struct PassTargets {
  int32_t target[4] = {-1, -1, -1, -1};
};

struct TechniquePlan {
  D3DXHANDLE technique = nullptr;
  uint32_t passes = 0;
  std::vector<PassTargets> targets;  // empty, or one entry per pass
};
