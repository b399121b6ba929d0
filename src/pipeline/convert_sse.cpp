// SSE tier: the floating-point layouts with packed single-precision math fed
// from 64-bit integer registers. Compiled with -mmmx -msse only, so no
// SSE2 integer operation on XMM registers is available.
#include <xmmintrin.h>

#include <cstring>

#include "pipeline/conversion_kernels.h"
#include "pipeline/conversion_rows.h"

namespace {

alignas(16) const float kToTexel[4] = {1.0f / 4096.0f, 1.0f / 4096.0f, 1.0f / 4096.0f, 0.0f};
alignas(16) const float kToHost[4] = {4096.0f, 4096.0f, 4096.0f, 0.0f};

// c0, c1, c2 and a zero lane, from exactly the pixel's six bytes.
__m64 LoadPixel(const HostPixel* pixel) {
  uint32_t c0c1;
  memcpy(&c0c1, pixel, sizeof c0c1);
  return _mm_insert_pi16(_mm_cvtsi32_si64(static_cast<int>(c0c1)), pixel->c2, 2);
}

void StorePixel(HostPixel* pixel, __m64 value) {
  const uint32_t c0c1 = static_cast<uint32_t>(_mm_cvtsi64_si32(value));
  const uint16_t c2 = static_cast<uint16_t>(_mm_extract_pi16(value, 2));
  memcpy(pixel, &c0c1, sizeof c0c1);
  memcpy(&pixel->c2, &c2, sizeof c2);
}

// The pixel's components as four binary32 values (the fourth is 0).
__m128 PixelAsFloats(const HostPixel* pixel) {
  const __m64 words = LoadPixel(pixel);
  const __m64 signs = _mm_cmpgt_pi16(_mm_setzero_si64(), words);
  return _mm_cvtpi32x2_ps(_mm_unpacklo_pi16(words, signs), _mm_unpackhi_pi16(words, signs));
}

// Nearest-even conversion of four lanes and a saturating pack to 16 bits.
__m64 RoundAndPack(__m128 values) {
  const __m64 low = _mm_cvtps_pi32(values);
  const __m64 high = _mm_cvtps_pi32(_mm_movehl_ps(values, values));
  return _mm_packs_pi32(low, high);
}

void UploadFloat32Row(uint8_t* texels, const HostPixel* pixels, uint32_t columns) {
  const __m128 scale = _mm_load_ps(kToTexel);
  for (uint32_t x = 0; x < columns; ++x) {
    _mm_storeu_ps(reinterpret_cast<float*>(texels + 16 * x),
                  _mm_mul_ps(PixelAsFloats(pixels + x), scale));
  }
  _mm_empty();
}

void ReadbackFloat32Row(HostPixel* pixels, const uint8_t* texels, uint32_t columns) {
  const __m128 scale = _mm_load_ps(kToHost);
  for (uint32_t x = 0; x < columns; ++x) {
    const __m128 texel = _mm_loadu_ps(reinterpret_cast<const float*>(texels + 16 * x));
    StorePixel(pixels + x, RoundAndPack(_mm_mul_ps(texel, scale)));
  }
  _mm_empty();
}

// binary32 bit patterns of two lanes → binary16 bit patterns (as int32 in
// -32768..32767, so that a saturating pack keeps them unchanged).
__m64 HalfFromFloatBits(__m64 bits) {
  const __m64 d = _mm_sub_pi32(bits, _mm_set1_pi32(0x3DFFF000));
  const __m64 magnitude = _mm_and_si64(_mm_srai_pi32(d, 13), _mm_set1_pi32(0x7FFF));
  const __m64 sign = _mm_and_si64(_mm_srai_pi32(d, 16), _mm_set1_pi32(-0x8000));
  const __m64 zero = _mm_cmpeq_pi32(bits, _mm_setzero_si64());
  return _mm_andnot_si64(zero, _mm_or_si64(magnitude, sign));
}

void UploadFloat16Row(uint8_t* texels, const HostPixel* pixels, uint32_t columns) {
  for (uint32_t x = 0; x < columns; ++x) {
    // SSE has no move from XMM to MMX registers; the bit patterns go through
    // memory.
    __m64 low, high;
    const __m128 floats = PixelAsFloats(pixels + x);
    _mm_storel_pi(&low, floats);
    _mm_storeh_pi(&high, floats);
    const __m64 texel = _mm_packs_pi32(HalfFromFloatBits(low), HalfFromFloatBits(high));
    _mm_stream_pi(reinterpret_cast<__m64*>(texels + 8 * x), texel);
  }
  _mm_empty();
}

// Non-temporal stores are weakly ordered; the fence makes them visible
// before the caller unlocks the texture.
void FenceStreamedStores() { _mm_sfence(); }

__m64 FloatBitsFromHalf(__m64 halves) {
  const __m64 m = _mm_and_si64(halves, _mm_set1_pi32(0x7FFF));
  const __m64 sign = _mm_slli_pi32(_mm_and_si64(halves, _mm_set1_pi32(0x8000)), 16);
  const __m64 bits =
      _mm_or_si64(_mm_add_pi32(_mm_slli_pi32(m, 13), _mm_set1_pi32(0x3E000000)), sign);
  return _mm_andnot_si64(_mm_cmpeq_pi32(m, _mm_setzero_si64()), bits);
}

void ReadbackFloat16Row(HostPixel* pixels, const uint8_t* texels, uint32_t columns) {
  for (uint32_t x = 0; x < columns; ++x) {
    __m64 texel;
    memcpy(&texel, texels + 8 * x, sizeof texel);
    __m64 low = FloatBitsFromHalf(_mm_unpacklo_pi16(texel, _mm_setzero_si64()));
    __m64 high = FloatBitsFromHalf(_mm_unpackhi_pi16(texel, _mm_setzero_si64()));
    const __m128 values = _mm_loadh_pi(_mm_loadl_pi(_mm_setzero_ps(), &low), &high);
    StorePixel(pixels + x, RoundAndPack(values));
  }
  _mm_empty();
}

}  // namespace

extern const ConversionRoutines kSseFloat32Routines =
    RoutinesOf<UploadFloat32Row, ReadbackFloat32Row>();
extern const ConversionRoutines kSseFloat16Routines =
    RoutinesOf<UploadFloat16Row, ReadbackFloat16Row, FenceStreamedStores>();
