// Which frame sizes the frame-size resources can be built for.
#pragma once

#include <cstdint>

#include "platform/win32_api.h"

// Width and height within the device's texture limits (0 passes: texture
// creation refuses it and says so), and a host row long enough for a frame
// row.
inline bool FrameSizeFits(int32_t width, int32_t height, int32_t row_stride, DWORD max_width,
                          DWORD max_height) {
  return width >= 0 && static_cast<DWORD>(width) <= max_width && height >= 0 &&
         static_cast<DWORD>(height) <= max_height && row_stride >= 0 && width <= row_stride;
}
