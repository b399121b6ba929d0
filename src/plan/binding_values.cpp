#include "plan/binding_values.h"

namespace {

// Doubling and its neighbours wrap like the 32-bit arithmetic of the
// effect's integers instead of overflowing.
int32_t Wrapped(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

ControlWrite Integer(int32_t value) {
  ControlWrite write;
  write.kind = WriteKind::integer;
  write.integer = value;
  return write;
}

ControlWrite Floating(float value) {
  ControlWrite write;
  write.kind = WriteKind::floating;
  write.floating = value;
  return write;
}

ControlWrite Boolean(int32_t value) {
  ControlWrite write;
  write.kind = WriteKind::boolean;
  write.boolean = value;
  return write;
}

ControlWrite SelectingTechnique(ControlWrite write) {
  write.selects_technique = true;
  return write;
}

}  // namespace

ControlWrite TrackWrite(BindingMode mode, int32_t divisor, int32_t value) {
  const int64_t v = value;
  switch (mode) {
    case plain:
      return Integer(value);
    case normalize:
      // Both integers are exact in double; the quotient is rounded once more
      // to the parameter's single precision.
      return Floating(static_cast<float>(static_cast<double>(value) /
                                         static_cast<double>(divisor != 0 ? divisor : 1)));
    case technique:
      return SelectingTechnique(Integer(value));
    case even:
      return Integer(Wrapped(2 * v));
    case odd:
      return Integer(Wrapped(2 * v + 1));
    case odd_with_zero:
      return Integer(value > 0 ? Wrapped(2 * v - 1) : value < 0 ? Wrapped(2 * v + 1) : 0);
    case ignored:
      break;
  }
  return ControlWrite();
}

ControlWrite CheckWrite(BindingMode mode, int32_t value) {
  switch (mode) {
    case plain:
      return Boolean(value);
    case normalize:
      return Floating(value != 0 ? 1.0f : 0.0f);
    case technique:
      return SelectingTechnique(Boolean(value));
    case odd:
      return Integer(Wrapped(2 * int64_t{value} - 1));
    case even:
    case odd_with_zero:
    case ignored:
      break;
  }
  return ControlWrite();
}

uint32_t TechniqueForValue(int32_t value, size_t count) {
  if (value >= 0 && static_cast<size_t>(value) < count) return static_cast<uint32_t>(value);
  if (value < 0 && count > 0) return 0;
  return static_cast<uint32_t>(count - 1);
}

D3DXVECTOR4 PixScaleFor(int32_t image_format) {
  switch (image_format) {
    case F32:
    case F16:
      return {4096.0f, 0.0f, 0.0f, 0.0f};
    case U16:
      return {65535.0f, 0.0f, 0.0f, 0.0f};
    case B16:
      return {65535.0f, -32768.0f, 0.0f, 0.0f};
    case S16:
      return {32767.0f, 0.0f, 0.0f, 0.0f};
    default:
      return {0.0f, 0.0f, 0.0f, 0.0f};
  }
}

D3DXVECTOR4 TexelKernelEntry(const D3DXVECTOR4& pixels, float reciprocal_width,
                             float reciprocal_height) {
  volatile float x = pixels.x * reciprocal_width;  // stored: rounded to single precision
  volatile float y = pixels.y * reciprocal_height;
  return {x, y, pixels.z, pixels.w};
}

float ReciprocalSize(int32_t size) {
  volatile float reciprocal = static_cast<float>(1.0 / static_cast<double>(size));
  return reciprocal;
}
