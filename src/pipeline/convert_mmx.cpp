// MMX tier: scalar floating point for the float layouts, 64-bit integer
// registers for the 16-bit layouts. Compiled with -mmmx only.
#include <mmintrin.h>

#include <cmath>
#include <cstring>

#include "pipeline/conversion_kernels.h"
#include "pipeline/conversion_rows.h"

namespace {

// ---- float32 and float16: scalar -------------------------------------------

void StoreFloat32Texel(uint8_t* texel, const HostPixel& pixel) {
  const double scale = 1.0 / 4096.0;
  const float channels[4] = {static_cast<float>(pixel.c0 * scale),
                             static_cast<float>(pixel.c1 * scale),
                             static_cast<float>(pixel.c2 * scale), 0.0f};
  memcpy(texel, channels, sizeof channels);
}

// Four pixels per step, then the remaining 0-3 one at a time.
template <void (*Store)(uint8_t*, const HostPixel&), uint32_t kTexelBytes>
void UploadFourPerStep(uint8_t* texels, const HostPixel* pixels, uint32_t columns) {
  uint32_t x = 0;
  for (; x + 4 <= columns; x += 4) {
    Store(texels + kTexelBytes * x, pixels[x]);
    Store(texels + kTexelBytes * (x + 1), pixels[x + 1]);
    Store(texels + kTexelBytes * (x + 2), pixels[x + 2]);
    Store(texels + kTexelBytes * (x + 3), pixels[x + 3]);
  }
  for (; x < columns; ++x) Store(texels + kTexelBytes * x, pixels[x]);
}

void UploadFloat32Row(uint8_t* texels, const HostPixel* pixels, uint32_t columns) {
  UploadFourPerStep<StoreFloat32Texel, 16>(texels, pixels, columns);
}

uint16_t HalfOf(int16_t v) {
  const float f = v;
  uint32_t b;
  memcpy(&b, &f, sizeof b);
  if (b == 0) return 0;
  // Exponent rebias and division by 4096 in one subtraction; the 0x1000 in
  // it rounds the dropped mantissa bits half up in magnitude.
  const int32_t d = static_cast<int32_t>(b - 0x3DFFF000u);
  return static_cast<uint16_t>(((d >> 13) & 0x7FFF) | ((d >> 16) & 0x8000));
}

void StoreFloat16Texel(uint8_t* texel, const HostPixel& pixel) {
  const uint16_t channels[4] = {HalfOf(pixel.c0), HalfOf(pixel.c1), HalfOf(pixel.c2), 0};
  memcpy(texel, channels, sizeof channels);
}

void UploadFloat16Row(uint8_t* texels, const HostPixel* pixels, uint32_t columns) {
  UploadFourPerStep<StoreFloat16Texel, 8>(texels, pixels, columns);
}

// floor(y + 0.5) with the sum in binary32, low 16 bits of the 64-bit result.
// The volatile store makes the 32-bit build's x87 unit round the sum to
// binary32 instead of keeping it in extended precision.
int16_t FloorWrap(float y) {
  volatile float sum = y + 0.5f;
  const float floored = std::floor(static_cast<float>(sum));
  // Out-of-range values and NaN convert to the integer indefinite value
  // 0x8000000000000000, as the x87 and SSE conversions do; its low bits are 0.
  if (!(floored >= -9223372036854775808.0f && floored < 9223372036854775808.0f)) return 0;
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<int64_t>(floored)));
}

void ReadbackFloat32Row(HostPixel* pixels, const uint8_t* texels, uint32_t columns) {
  for (uint32_t x = 0; x < columns; ++x) {
    float channels[3];
    memcpy(channels, texels + 16 * x, sizeof channels);
    // The products are exact in binary32 (or overflow either way), so only
    // the sum inside FloorWrap needs forcing to binary32.
    pixels[x].c0 = FloorWrap(channels[0] * 4096.0f);
    pixels[x].c1 = FloorWrap(channels[1] * 4096.0f);
    pixels[x].c2 = FloorWrap(channels[2] * 4096.0f);
  }
}

int16_t ComponentOfHalf(uint16_t h) {
  const uint32_t m = h & 0x7FFFu;
  if (m == 0) return 0;
  const uint32_t bits = ((m << 13) + 0x3E000000u) | (static_cast<uint32_t>(h & 0x8000u) << 16);
  float value;
  memcpy(&value, &bits, sizeof value);
  return FloorWrap(value);
}

void ReadbackFloat16Row(HostPixel* pixels, const uint8_t* texels, uint32_t columns) {
  for (uint32_t x = 0; x < columns; ++x) {
    uint16_t channels[3];
    memcpy(channels, texels + 8 * x, sizeof channels);
    pixels[x].c0 = ComponentOfHalf(channels[0]);
    pixels[x].c1 = ComponentOfHalf(channels[1]);
    pixels[x].c2 = ComponentOfHalf(channels[2]);
  }
}

// ---- raw16 and biased16: 64-bit integer registers --------------------------

// A whole 8-byte load would read two bytes past the last pixel of a row, so
// the last pixel is assembled from a 4-byte and a 2-byte load.
__m64 LoadLastPixel(const HostPixel* pixel) {
  uint32_t c0c1;
  memcpy(&c0c1, pixel, sizeof c0c1);
  const uint16_t c2 = static_cast<uint16_t>(pixel->c2);
  return _mm_unpacklo_pi32(_mm_cvtsi32_si64(static_cast<int>(c0c1)), _mm_cvtsi32_si64(c2));
}

__m64 Load8(const void* source) {
  __m64 value;
  memcpy(&value, source, sizeof value);
  return value;
}

void Store8(void* target, __m64 value) { memcpy(target, &value, sizeof value); }

void StorePixel(HostPixel* pixel, __m64 value) {
  const uint32_t c0c1 = static_cast<uint32_t>(_mm_cvtsi64_si32(value));
  const uint16_t c2 = static_cast<uint16_t>(_mm_cvtsi64_si32(_mm_srli_si64(value, 32)));
  memcpy(pixel, &c0c1, sizeof c0c1);
  memcpy(&pixel->c2, &c2, sizeof c2);
}

template <bool kBiased>
void Upload16Row(uint8_t* texels, const HostPixel* pixels, uint32_t columns) {
  if (columns == 0) return;
  const __m64 keep012 = _mm_set_pi16(0, -1, -1, -1);
  const __m64 bias = _mm_set1_pi16(static_cast<short>(0x8000));
  for (uint32_t x = 0; x + 1 < columns; ++x) {
    __m64 texel = Load8(pixels + x);
    if (kBiased) texel = _mm_add_pi16(texel, bias);
    Store8(texels + 8 * x, _mm_and_si64(texel, keep012));
  }
  __m64 last = LoadLastPixel(pixels + columns - 1);
  if (kBiased) last = _mm_and_si64(_mm_add_pi16(last, bias), keep012);
  Store8(texels + 8 * (columns - 1), last);
  _mm_empty();
}

template <bool kBiased>
void Readback16Row(HostPixel* pixels, const uint8_t* texels, uint32_t columns) {
  const __m64 bias = _mm_set1_pi16(static_cast<short>(0x8000));
  for (uint32_t x = 0; x < columns; ++x) {
    __m64 texel = Load8(texels + 8 * x);
    if (kBiased) texel = _mm_sub_pi16(texel, bias);
    StorePixel(pixels + x, texel);
  }
  _mm_empty();
}

}  // namespace

extern const ConversionRoutines kMmxRoutines[4] = {
    RoutinesOf<UploadFloat32Row, ReadbackFloat32Row>(),
    RoutinesOf<UploadFloat16Row, ReadbackFloat16Row>(),
    RoutinesOf<Upload16Row<false>, Readback16Row<false>>(),
    RoutinesOf<Upload16Row<true>, Readback16Row<true>>(),
};
