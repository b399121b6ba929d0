// SSE2 tier: every layout in 128-bit registers. Compiled with
// -mmmx -msse -msse2 only.
#include <emmintrin.h>

#include <cstddef>
#include <cstring>

#include "pipeline/conversion_kernels.h"
#include "pipeline/conversion_rows.h"

namespace {

alignas(16) const float kToTexel[4] = {1.0f / 4096.0f, 1.0f / 4096.0f, 1.0f / 4096.0f, 0.0f};
alignas(16) const float kToHost[4] = {4096.0f, 4096.0f, 4096.0f, 0.0f};
// Word lanes 0-2 and 4-6: the three channels of the first and second texel.
alignas(16) const int16_t kFirstTexel[8] = {-1, -1, -1, 0, 0, 0, 0, 0};
alignas(16) const int16_t kSecondTexel[8] = {0, 0, 0, 0, -1, -1, -1, 0};
alignas(16) const int16_t kTexelBias[8] = {-0x8000, -0x8000, -0x8000, 0,
                                           -0x8000, -0x8000, -0x8000, 0};
// Word lanes 0-2 and 3-5: the components of two host pixels.
alignas(16) const int16_t kFirstPixel[8] = {-1, -1, -1, 0, 0, 0, 0, 0};
alignas(16) const int16_t kSecondPixel[8] = {0, 0, 0, -1, -1, -1, 0, 0};

__m128i Load4(const void* source) {
  int32_t value;
  memcpy(&value, source, sizeof value);
  return _mm_cvtsi32_si128(value);
}

void Store4(void* target, __m128i value) {
  const int32_t low = _mm_cvtsi128_si32(value);
  memcpy(target, &low, sizeof low);
}

// c0, c1, c2 and zeros, from exactly the pixel's six bytes.
__m128i LoadPixel(const HostPixel* pixel) { return _mm_insert_epi16(Load4(pixel), pixel->c2, 2); }

// Word lanes 0-2 into the pixel's six bytes, nothing beyond.
void StorePixel(HostPixel* pixel, __m128i words) {
  Store4(pixel, words);
  pixel->c2 = static_cast<int16_t>(_mm_extract_epi16(words, 2));
}

__m128 PixelAsFloats(const HostPixel* pixel) {
  const __m128i words = LoadPixel(pixel);
  return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(words, words), 16));
}

// ---- float32 ----------------------------------------------------------------

void UploadFloat32Row(uint8_t* texels, const HostPixel* pixels, uint32_t columns) {
  const __m128 scale = _mm_load_ps(kToTexel);
  for (size_t x = 0; x < columns; ++x) {
    _mm_storeu_ps(reinterpret_cast<float*>(texels + 16 * x),
                  _mm_mul_ps(PixelAsFloats(pixels + x), scale));
  }
}

void ReadbackFloat32Row(HostPixel* pixels, const uint8_t* texels, uint32_t columns) {
  const __m128 scale = _mm_load_ps(kToHost);
  for (size_t x = 0; x < columns; ++x) {
    const __m128 texel = _mm_loadu_ps(reinterpret_cast<const float*>(texels + 16 * x));
    const __m128i n = _mm_cvtps_epi32(_mm_mul_ps(texel, scale));
    StorePixel(pixels + x, _mm_packs_epi32(n, n));
  }
}

// ---- pairs of pixels ---------------------------------------------------------

// Two pixels' words in lanes 0-5 → two texels with channel 3 cleared.
__m128i TexelPair(__m128i words) {
  const __m128i first = _mm_load_si128(reinterpret_cast<const __m128i*>(kFirstTexel));
  const __m128i second = _mm_load_si128(reinterpret_cast<const __m128i*>(kSecondTexel));
  return _mm_or_si128(_mm_and_si128(words, first), _mm_and_si128(_mm_slli_si128(words, 2), second));
}

// Two texels in lanes 0-2 and 4-6 → two pixels' words in lanes 0-5.
__m128i PixelPair(__m128i texels) {
  const __m128i first = _mm_load_si128(reinterpret_cast<const __m128i*>(kFirstPixel));
  const __m128i second = _mm_load_si128(reinterpret_cast<const __m128i*>(kSecondPixel));
  return _mm_or_si128(_mm_and_si128(texels, first),
                      _mm_and_si128(_mm_srli_si128(texels, 2), second));
}

// Lanes 0-5 of two pixels, reading exactly their twelve bytes; a 16-byte
// load when `more_follow` says a third pixel lies behind them in the row.
__m128i LoadPixelPair(const HostPixel* pixels, bool more_follow) {
  if (more_follow) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
  return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pixels)),
                            Load4(reinterpret_cast<const uint8_t*>(pixels) + 8));
}

void StorePixelPair(HostPixel* pixels, __m128i words) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(pixels), words);
  Store4(reinterpret_cast<uint8_t*>(pixels) + 8, _mm_srli_si128(words, 8));
}

// ---- float16: two pixels per step -------------------------------------------

// The binary16 recipe on eight 16-bit components at once. It runs on the
// magnitude, whose binary32 pattern minus 0x3DFFF000 is positive and whose
// result fits 15 bits, so the sign is simply or-ed back; zero has no
// binary32 exponent to rebias and is masked to 0.
__m128i HalvesOf(__m128i words) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i rebias = _mm_set1_epi32(0x3DFFF000);
  const __m128i signs = _mm_srai_epi16(words, 15);
  // |v| as unsigned 16 bits, which holds 32768 too.
  const __m128i magnitude = _mm_sub_epi16(_mm_xor_si128(words, signs), signs);
  const __m128i low = _mm_srli_epi32(
      _mm_sub_epi32(_mm_castps_si128(_mm_cvtepi32_ps(_mm_unpacklo_epi16(magnitude, zero))), rebias),
      13);
  const __m128i high = _mm_srli_epi32(
      _mm_sub_epi32(_mm_castps_si128(_mm_cvtepi32_ps(_mm_unpackhi_epi16(magnitude, zero))), rebias),
      13);
  const __m128i halves = _mm_andnot_si128(_mm_cmpeq_epi16(words, zero), _mm_packs_epi32(low, high));
  return _mm_or_si128(halves, _mm_and_si128(signs, _mm_set1_epi16(-0x8000)));
}

void UploadFloat16Row(uint8_t* texels, const HostPixel* pixels, uint32_t columns) {
  size_t x = 0;
  // 16-byte loads while a third pixel follows the pair; then the last pair.
  for (; x + 3 <= columns; x += 2) {
    const __m128i words = LoadPixelPair(pixels + x, true);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(texels + 8 * x), TexelPair(HalvesOf(words)));
  }
  if (x + 2 <= columns) {
    const __m128i words = LoadPixelPair(pixels + x, false);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(texels + 8 * x), TexelPair(HalvesOf(words)));
    x += 2;
  }
  if (x < columns) {
    // Lane 3 is zero and stays zero.
    _mm_storel_epi64(reinterpret_cast<__m128i*>(texels + 8 * x), HalvesOf(LoadPixel(pixels + x)));
  }
}

// Eight binary16 patterns → the nearest integers to value x 4096, saturated.
// A zero magnitude yields +-0.125, which rounds to 0 as the zero it stands for.
__m128i ComponentsOfHalves(__m128i halves) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i rebias = _mm_set1_epi32(0x3E000000);
  const __m128i m = _mm_and_si128(halves, _mm_set1_epi16(0x7FFF));
  const __m128i signs = _mm_and_si128(halves, _mm_set1_epi16(-0x8000));
  const __m128i low =
      _mm_or_si128(_mm_add_epi32(_mm_slli_epi32(_mm_unpacklo_epi16(m, zero), 13), rebias),
                   _mm_unpacklo_epi16(zero, signs));
  const __m128i high =
      _mm_or_si128(_mm_add_epi32(_mm_slli_epi32(_mm_unpackhi_epi16(m, zero), 13), rebias),
                   _mm_unpackhi_epi16(zero, signs));
  return _mm_packs_epi32(_mm_cvtps_epi32(_mm_castsi128_ps(low)),
                         _mm_cvtps_epi32(_mm_castsi128_ps(high)));
}

void ReadbackFloat16Row(HostPixel* pixels, const uint8_t* texels, uint32_t columns) {
  size_t x = 0;
  for (; x + 2 <= columns; x += 2) {
    const __m128i pair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(texels + 8 * x));
    StorePixelPair(pixels + x, PixelPair(ComponentsOfHalves(pair)));
  }
  if (x < columns) {
    const __m128i texel = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(texels + 8 * x));
    StorePixel(pixels + x, ComponentsOfHalves(texel));
  }
}

// ---- raw16 and biased16: two pixels per step --------------------------------

template <bool kBiased>
void Upload16Row(uint8_t* texels, const HostPixel* pixels, uint32_t columns) {
  const __m128i bias = _mm_load_si128(reinterpret_cast<const __m128i*>(kTexelBias));
  size_t x = 0;
  // 16-byte loads while a third pixel follows the pair; then the last pair.
  for (; x + 3 <= columns; x += 2) {
    __m128i pair = TexelPair(LoadPixelPair(pixels + x, true));
    if (kBiased) pair = _mm_add_epi16(pair, bias);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(texels + 8 * x), pair);
  }
  if (x + 2 <= columns) {
    __m128i pair = TexelPair(LoadPixelPair(pixels + x, false));
    if (kBiased) pair = _mm_add_epi16(pair, bias);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(texels + 8 * x), pair);
    x += 2;
  }
  if (x < columns) {
    __m128i texel = LoadPixel(pixels + x);
    if (kBiased) texel = _mm_add_epi16(texel, bias);  // lane 3 of the bias is 0
    _mm_storel_epi64(reinterpret_cast<__m128i*>(texels + 8 * x), texel);
  }
}

template <bool kBiased>
void Readback16Row(HostPixel* pixels, const uint8_t* texels, uint32_t columns) {
  const __m128i bias = _mm_set1_epi16(-0x8000);
  size_t x = 0;
  for (; x + 2 <= columns; x += 2) {
    __m128i pair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(texels + 8 * x));
    if (kBiased) pair = _mm_sub_epi16(pair, bias);
    StorePixelPair(pixels + x, PixelPair(pair));
  }
  if (x < columns) {
    __m128i texel = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(texels + 8 * x));
    if (kBiased) texel = _mm_sub_epi16(texel, bias);
    StorePixel(pixels + x, texel);
  }
}

}  // namespace

extern const ConversionRoutines kSse2Routines[4] = {
    RoutinesOf<UploadFloat32Row, ReadbackFloat32Row>(),
    RoutinesOf<UploadFloat16Row, ReadbackFloat16Row>(),
    RoutinesOf<Upload16Row<false>, Readback16Row<false>>(),
    RoutinesOf<Upload16Row<true>, Readback16Row<true>>(),
};
