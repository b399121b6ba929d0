// Scalar reference of every conversion. Written for clarity, not speed.
#include <cmath>
#include <cstddef>
#include <cstring>

#include "pipeline/conversion_reference.h"

namespace {

uint32_t BitsOf(float f) {
  uint32_t bits;
  memcpy(&bits, &f, sizeof bits);
  return bits;
}

float FloatOf(uint32_t bits) {
  float f;
  memcpy(&f, &bits, sizeof f);
  return f;
}

// The x87 unit of the 32-bit build keeps intermediates in extended
// precision; a store through a volatile binary32 forces the one rounding the
// arithmetic asks for.
float RoundedToBinary32(float value) {
  volatile float stored = value;
  return stored;
}

// floor(y + 0.5) with the sum rounded to binary32, as a 64-bit integer whose
// low 16 bits are kept. Values without a 64-bit integer (NaN, infinities,
// magnitudes of 2^63 and more) give the processor's integer indefinite
// 0x8000000000000000, whose low 16 bits are 0.
int16_t FloorWrap(float y) {
  const float floored = std::floor(RoundedToBinary32(y + 0.5f));
  const bool representable = floored >= -9223372036854775808.0f && floored < 9223372036854775808.0f;
  const uint64_t n =
      representable ? static_cast<uint64_t>(static_cast<int64_t>(floored)) : 0x8000000000000000ull;
  return static_cast<int16_t>(static_cast<uint16_t>(n));
}

// Nearest integer, ties to even, as CVTPS2DQ does; values without a 32-bit
// integer give its indefinite 0x80000000. Then saturated to 16 bits.
int16_t NearestSaturate(float y) {
  int32_t n;
  if (y >= -2147483648.0f && y < 2147483648.0f) {
    n = static_cast<int32_t>(std::nearbyint(y));
  } else {
    n = INT32_MIN;
  }
  if (n > 32767) return 32767;
  if (n < -32768) return -32768;
  return static_cast<int16_t>(n);
}

int16_t Rounded(float y, ReadbackRounding rounding) {
  return rounding == ReadbackRounding::floor_wrap ? FloorWrap(y) : NearestSaturate(y);
}

int16_t ComponentOf(const HostPixel& pixel, int k) {
  return k == 0 ? pixel.c0 : k == 1 ? pixel.c1 : pixel.c2;
}

}  // namespace

float Float32FromComponent(int16_t v) { return static_cast<float>(v * (1.0 / 4096.0)); }

uint16_t Float16FromComponent(int16_t v) {
  const uint32_t b = BitsOf(static_cast<float>(v));
  if (b == 0) return 0;
  // Rebias the exponent from 127 to 15 while dividing by 4096, plus half of
  // the 13 dropped mantissa bits so that the truncation rounds half up in
  // magnitude.
  const int32_t d = static_cast<int32_t>(b - 0x3DFFF000u);
  return static_cast<uint16_t>(((d >> 13) & 0x7FFF) | ((d >> 16) & 0x8000));
}

uint16_t Raw16FromComponent(int16_t v) { return static_cast<uint16_t>(v); }

uint16_t Biased16FromComponent(int16_t v) {
  return static_cast<uint16_t>(static_cast<uint16_t>(v) + 0x8000u);
}

int16_t ComponentFromFloat32(float x, ReadbackRounding rounding) {
  return Rounded(RoundedToBinary32(x * 4096.0f), rounding);
}

int16_t ComponentFromFloat16(uint16_t h, ReadbackRounding rounding) {
  const uint32_t m = h & 0x7FFFu;
  if (m == 0) return 0;
  // The binary16 value times 4096, read as if it were always normal.
  const float value =
      FloatOf(((m << 13) + 0x3E000000u) | (static_cast<uint32_t>(h & 0x8000u) << 16));
  return Rounded(value, rounding);
}

int16_t ComponentFromRaw16(uint16_t channel) { return static_cast<int16_t>(channel); }

int16_t ComponentFromBiased16(uint16_t channel) {
  return static_cast<int16_t>(static_cast<uint16_t>(channel - 0x8000u));
}

void UploadRowReference(uint32_t family, uint8_t* texels, const HostPixel* pixels,
                        uint32_t columns) {
  for (uint32_t x = 0; x < columns; ++x) {
    const HostPixel& pixel = pixels[x];
    if (family == float32) {
      float texel[4] = {0.0f, 0.0f, 0.0f, 0.0f};
      for (int k = 0; k < 3; ++k) texel[k] = Float32FromComponent(ComponentOf(pixel, k));
      memcpy(texels + 16 * static_cast<size_t>(x), texel, sizeof texel);
      continue;
    }
    uint16_t texel[4] = {0, 0, 0, 0};
    for (int k = 0; k < 3; ++k) {
      const int16_t v = ComponentOf(pixel, k);
      texel[k] = family == float16 ? Float16FromComponent(v)
                 : family == raw16 ? Raw16FromComponent(v)
                                   : Biased16FromComponent(v);
    }
    memcpy(texels + 8 * static_cast<size_t>(x), texel, sizeof texel);
  }
}

void ReadbackRowReference(uint32_t family, ReadbackRounding rounding, HostPixel* pixels,
                          const uint8_t* texels, uint32_t columns) {
  for (uint32_t x = 0; x < columns; ++x) {
    int16_t c[3];
    if (family == float32) {
      float texel[4];
      memcpy(texel, texels + 16 * static_cast<size_t>(x), sizeof texel);
      for (int k = 0; k < 3; ++k) c[k] = ComponentFromFloat32(texel[k], rounding);
    } else {
      uint16_t texel[4];
      memcpy(texel, texels + 8 * static_cast<size_t>(x), sizeof texel);
      for (int k = 0; k < 3; ++k) {
        c[k] = family == float16 ? ComponentFromFloat16(texel[k], rounding)
               : family == raw16 ? ComponentFromRaw16(texel[k])
                                 : ComponentFromBiased16(texel[k]);
      }
    }
    pixels[x].c0 = c[0];
    pixels[x].c1 = c[1];
    pixels[x].c2 = c[2];
  }
}

void UploadImageReference(uint32_t family, const ConversionJob& job) {
  for (uint32_t row = 0; row < job.rows; ++row) {
    UploadRowReference(
        family,
        static_cast<uint8_t*>(job.texture_bits) + static_cast<ptrdiff_t>(row) * job.texture_pitch,
        job.host_pixels + static_cast<ptrdiff_t>(row) * job.host_stride, job.columns);
  }
}

void ReadbackImageReference(uint32_t family, ReadbackRounding rounding, const ConversionJob& job) {
  for (uint32_t row = 0; row < job.rows; ++row) {
    ReadbackRowReference(family, rounding,
                         job.host_pixels + static_cast<ptrdiff_t>(row) * job.host_stride,
                         static_cast<const uint8_t*>(job.texture_bits) +
                             static_cast<ptrdiff_t>(row) * job.texture_pitch,
                         job.columns);
  }
}
