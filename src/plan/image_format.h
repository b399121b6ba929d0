// The image format in which frames live on the GPU.
#pragma once

#include <cstdint>

#include "platform/win32_api.h"

enum ImageFormat : int32_t {
  F32 = 0,
  F16 = 1,
  U16 = 2,
  B16 = 3,
  S16 = 4,
  A2B10G10R10_PROBE = 5,
  none = 6,
};

constexpr int kProbedFormatCount = 6;

// Texture format of every frame-size texture; values without a format of
// their own fall back to 32-bit float.
inline D3DFORMAT TextureFormatFor(int32_t format) {
  switch (format) {
    case F16:
      return D3DFMT_A16B16G16R16F;
    case U16:
      return D3DFMT_A16B16G16R16;
    case B16:
      return D3DFMT_A16B16G16R16;
    case S16:
      return D3DFMT_Q16W16V16U16;
    case A2B10G10R10_PROBE:
      return D3DFMT_A2B10G10R10;
    default:
      return D3DFMT_A32B32G32R32F;
  }
}
