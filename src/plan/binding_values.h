// What the effect receives for a control value, a frame size and an image
// format: plain functions, so that every mode is tested without an effect.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plan/image_format.h"
#include "plan/pass_plan.h"
#include "platform/win32_api.h"

enum class WriteKind { nothing, integer, floating, boolean };

// One write into the control's parameter; for a technique control the
// selection happens first.
struct ControlWrite {
  WriteKind kind = WriteKind::nothing;
  int32_t integer = 0;
  float floating = 0.0f;
  BOOL boolean = FALSE;
  bool selects_technique = false;
};

ControlWrite TrackWrite(BindingMode mode, int32_t divisor, int32_t value);
ControlWrite CheckWrite(BindingMode mode, int32_t value);

// The technique a technique control's value selects among count techniques:
// the value within range, 0 below it and the last one above it (so -1, as
// an unsigned index, when there is none).
uint32_t TechniqueForValue(int32_t value, size_t count);

// Host units per unit of texture value (x) and the format's bias (y).
D3DXVECTOR4 PixScaleFor(int32_t image_format);

// A PixelKernel entry (dx, dy, a, b) in pixels as a texture-coordinate
// offset: x and y scaled by the reciprocal sizes, z and w unchanged.
D3DXVECTOR4 TexelKernelEntry(const D3DXVECTOR4& pixels, float reciprocal_width,
                             float reciprocal_height);

// 1 / size rounded to single precision.
float ReciprocalSize(int32_t size);
