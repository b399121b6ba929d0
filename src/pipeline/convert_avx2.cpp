// AVX2 tier: every layout four pixels per step in 256-bit registers.
// Compiled with -mmmx -msse -msse2 -mavx -mavx2 only; the dispatch picks it
// only when the system saves the YMM state. Results are bit-identical to the
// SSE2 tier's: the same recipes, nearest-even conversions and saturation.
#include <immintrin.h>

#include <cstddef>
#include <cstring>

#include "pipeline/conversion_kernels.h"
#include "pipeline/conversion_rows.h"

namespace {

constexpr uint32_t kStep = 4;  // pixels (and texels) per vector step

// Byte shuffles between four host pixels and four texels. The low 128-bit
// lane holds pixels 0-1 (bytes 0-11 of the group), the high lane bytes 8-23
// of the group, so pixels 2-3 sit at its bytes 4-15. -1 clears the byte:
// channel 3 of every texel.
// clang-format off
alignas(32) const int8_t kPixelsToTexels[32] = {
    0, 1, 2, 3, 4, 5, -1, -1,      6, 7, 8, 9, 10, 11, -1, -1,
    4, 5, 6, 7, 8, 9, -1, -1,      10, 11, 12, 13, 14, 15, -1, -1};
// Two texels per lane → their two pixels in the lane's bytes 0-11.
alignas(32) const int8_t kTexelsToPixels[32] = {
    0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, -1, -1, -1, -1,
    0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, -1, -1, -1, -1};
// Dwords 0-2 of each lane side by side: four pixels in bytes 0-23.
alignas(32) const int32_t kJoinLanes[8] = {0, 1, 2, 4, 5, 6, 7, 7};
alignas(32) const int16_t kTexelBias[16] = {
    -0x8000, -0x8000, -0x8000, 0,  -0x8000, -0x8000, -0x8000, 0,
    -0x8000, -0x8000, -0x8000, 0,  -0x8000, -0x8000, -0x8000, 0};
// clang-format on

// Four pixels → four texels (channel 3 zero), reading exactly their 24 bytes.
__m256i LoadPixelsAsTexels(const HostPixel* pixels) {
  const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
  const __m128i last = _mm_loadu_si128(
      reinterpret_cast<const __m128i*>(reinterpret_cast<const uint8_t*>(pixels) + 8));
  return _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(first), last, 1),
                             _mm256_load_si256(reinterpret_cast<const __m256i*>(kPixelsToTexels)));
}

// Four texels → four pixels in bytes 0-23; bytes 24-31 are left over.
__m256i PixelsOfTexels(__m256i texels) {
  const __m256i packed = _mm256_shuffle_epi8(
      texels, _mm256_load_si256(reinterpret_cast<const __m256i*>(kTexelsToPixels)));
  return _mm256_permutevar8x32_epi32(
      packed, _mm256_load_si256(reinterpret_cast<const __m256i*>(kJoinLanes)));
}

// ---- per-word arithmetic on sixteen channels --------------------------------

// The binary16 recipe, as the SSE2 tier runs it: on the magnitude, whose
// binary32 pattern minus 0x3DFFF000 is positive and fits 15 bits after the
// shift, with the sign or-ed back. Zero gives a negative difference, which
// the unsigned saturating pack turns into 0.
__m256i HalvesOf(__m256i words) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i rebias = _mm256_set1_epi32(0x3DFFF000);
  // |v| as unsigned 16 bits, which holds 32768 too.
  const __m256i magnitude = _mm256_abs_epi16(words);
  const __m256i low = _mm256_srai_epi32(
      _mm256_sub_epi32(
          _mm256_castps_si256(_mm256_cvtepi32_ps(_mm256_unpacklo_epi16(magnitude, zero))), rebias),
      13);
  const __m256i high = _mm256_srai_epi32(
      _mm256_sub_epi32(
          _mm256_castps_si256(_mm256_cvtepi32_ps(_mm256_unpackhi_epi16(magnitude, zero))), rebias),
      13);
  return _mm256_or_si256(_mm256_packus_epi32(low, high),
                         _mm256_and_si256(words, _mm256_set1_epi16(-0x8000)));
}

// Sixteen binary16 patterns → the nearest integers to value x 4096,
// saturated. A word moved to the top of a dword and shifted right by 3 with
// its sign puts the magnitude at the binary32 mantissa's top and the sign in
// bits 28-31; clearing bits 28-30 and adding the rebias gives the pattern.
// A zero magnitude yields +-0.125, which rounds to 0 as the zero it stands for.
__m256i ComponentsOfHalves(__m256i halves) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i rebias = _mm256_set1_epi32(0x3E000000);
  const __m256i keep = _mm256_set1_epi32(static_cast<int32_t>(0x8FFFFFFFu));
  const __m256i low = _mm256_add_epi32(
      _mm256_and_si256(_mm256_srai_epi32(_mm256_unpacklo_epi16(zero, halves), 3), keep), rebias);
  const __m256i high = _mm256_add_epi32(
      _mm256_and_si256(_mm256_srai_epi32(_mm256_unpackhi_epi16(zero, halves), 3), keep), rebias);
  return _mm256_packs_epi32(_mm256_cvtps_epi32(_mm256_castsi256_ps(low)),
                            _mm256_cvtps_epi32(_mm256_castsi256_ps(high)));
}

__m256i Unchanged(__m256i words) { return words; }

__m256i Biased(__m256i texels) {
  return _mm256_add_epi16(texels, _mm256_load_si256(reinterpret_cast<const __m256i*>(kTexelBias)));
}

__m256i Unbiased(__m256i texels) { return _mm256_sub_epi16(texels, _mm256_set1_epi16(-0x8000)); }

// ---- rows --------------------------------------------------------------------

// Steps of four pixels; the last 0-3 pixels go through a zeroed local group
// so that nothing beyond the row's pixels and texels is touched.
template <__m256i (*Texels)(__m256i)>
void UploadSteps(uint8_t* texels, const HostPixel* pixels, uint32_t columns) {
  size_t x = 0;
  for (; x + kStep <= columns; x += kStep) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(texels + 8 * x),
                        Texels(LoadPixelsAsTexels(pixels + x)));
  }
  const size_t rest = columns - x;
  if (rest == 0) return;
  HostPixel group[kStep] = {};
  alignas(32) uint8_t out[8 * kStep];
  memcpy(group, pixels + x, rest * sizeof(HostPixel));
  _mm256_store_si256(reinterpret_cast<__m256i*>(out), Texels(LoadPixelsAsTexels(group)));
  memcpy(texels + 8 * x, out, rest * 8);
}

template <__m256i (*Words)(__m256i)>
void ReadbackSteps(HostPixel* pixels, const uint8_t* texels, uint32_t columns) {
  size_t x = 0;
  // A 32-byte store writes 8 bytes past the group; they belong to the next
  // pixels of the row, which the next step overwrites.
  for (; x + kStep + 2 <= columns; x += kStep) {
    const __m256i group = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(texels + 8 * x));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels + x), PixelsOfTexels(Words(group)));
  }
  while (x < columns) {
    const size_t count = columns - x < kStep ? columns - x : kStep;
    alignas(32) uint8_t in[8 * kStep] = {};
    alignas(32) uint8_t out[32];
    memcpy(in, texels + 8 * x, count * 8);
    const __m256i group = _mm256_load_si256(reinterpret_cast<const __m256i*>(in));
    _mm256_store_si256(reinterpret_cast<__m256i*>(out), PixelsOfTexels(Words(group)));
    memcpy(pixels + x, out, count * sizeof(HostPixel));
    x += count;
  }
}

// ---- float32: four pixels per step, two registers of texels -----------------

// Four texels with channel 3 zero → their binary32 values, exact.
void StoreFloat32Texels(uint8_t* texels, __m256i words) {
  const __m256 scale = _mm256_set1_ps(1.0f / 4096.0f);
  const __m256i first = _mm256_cvtepi16_epi32(_mm256_castsi256_si128(words));
  const __m256i last = _mm256_cvtepi16_epi32(_mm256_extracti128_si256(words, 1));
  _mm256_storeu_ps(reinterpret_cast<float*>(texels),
                   _mm256_mul_ps(_mm256_cvtepi32_ps(first), scale));
  _mm256_storeu_ps(reinterpret_cast<float*>(texels + 32),
                   _mm256_mul_ps(_mm256_cvtepi32_ps(last), scale));
}

void UploadFloat32Steps(uint8_t* texels, const HostPixel* pixels, uint32_t columns) {
  size_t x = 0;
  for (; x + kStep <= columns; x += kStep) {
    StoreFloat32Texels(texels + 16 * x, LoadPixelsAsTexels(pixels + x));
  }
  const size_t rest = columns - x;
  if (rest == 0) return;
  HostPixel group[kStep] = {};
  alignas(32) uint8_t out[16 * kStep];
  memcpy(group, pixels + x, rest * sizeof(HostPixel));
  StoreFloat32Texels(out, LoadPixelsAsTexels(group));
  memcpy(texels + 16 * x, out, rest * 16);
}

// Four binary32 texels → nearest integers to value x 4096, saturated, as
// four 8-byte groups of words in texel order (the pack interleaves the two
// registers by 64-bit quarter; the permute undoes it).
__m256i ComponentsOfFloat32(const uint8_t* texels) {
  const __m256 scale = _mm256_set1_ps(4096.0f);
  const __m256i first = _mm256_cvtps_epi32(
      _mm256_mul_ps(_mm256_loadu_ps(reinterpret_cast<const float*>(texels)), scale));
  const __m256i last = _mm256_cvtps_epi32(
      _mm256_mul_ps(_mm256_loadu_ps(reinterpret_cast<const float*>(texels + 32)), scale));
  return _mm256_permute4x64_epi64(_mm256_packs_epi32(first, last), 0xD8);
}

void ReadbackFloat32Steps(HostPixel* pixels, const uint8_t* texels, uint32_t columns) {
  size_t x = 0;
  // As in ReadbackSteps, the 32-byte store runs 8 bytes into the next pixels.
  for (; x + kStep + 2 <= columns; x += kStep) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels + x),
                        PixelsOfTexels(ComponentsOfFloat32(texels + 16 * x)));
  }
  while (x < columns) {
    const size_t count = columns - x < kStep ? columns - x : kStep;
    alignas(32) uint8_t in[16 * kStep] = {};
    alignas(32) uint8_t out[32];
    memcpy(in, texels + 16 * x, count * 16);
    _mm256_store_si256(reinterpret_cast<__m256i*>(out), PixelsOfTexels(ComponentsOfFloat32(in)));
    memcpy(pixels + x, out, count * sizeof(HostPixel));
    x += count;
  }
}

}  // namespace

extern const ConversionRoutines kAvx2Routines[4] = {
    RoutinesOf<UploadFloat32Steps, ReadbackFloat32Steps>(),
    RoutinesOf<UploadSteps<HalvesOf>, ReadbackSteps<ComponentsOfHalves>>(),
    RoutinesOf<UploadSteps<Unchanged>, ReadbackSteps<Unchanged>>(),
    RoutinesOf<UploadSteps<Biased>, ReadbackSteps<Unbiased>>(),
};
