// Texel codecs of the fake device: what a pixel shader sees when it samples
// one texel of a frame-size texture, and what a render-target write stores.
//
// Memory order, for every format: channel 0 (x, red, U) at the lowest
// address. D3D names packed formats from the most significant bit down, so
//   D3DFMT_A32B32G32R32F  four little-endian binary32: R, G, B, A
//   D3DFMT_A16B16G16R16F  four little-endian binary16: R, G, B, A
//   D3DFMT_A16B16G16R16   four little-endian uint16:   R, G, B, A
//   D3DFMT_Q16W16V16U16   four little-endian int16:    U, V, W, Q
//   D3DFMT_A2B10G10R10    one little-endian uint32: R bits 0-9, G 10-19,
//                         B 20-29, A 30-31
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "platform/win32_api.h"

namespace fakes {

struct Float4 {
  float x = 0.0f, y = 0.0f, z = 0.0f, w = 0.0f;
  float& operator[](int i) { return i == 0 ? x : i == 1 ? y : i == 2 ? z : w; }
  float operator[](int i) const { return i == 0 ? x : i == 1 ? y : i == 2 ? z : w; }
};

// Same bits in every component (so NaN equals the same NaN, and 0 differs
// from -0), which is what "exact" means for a texel.
bool SameBits(const Float4& a, const Float4& b);
bool operator==(const Float4& a, const Float4& b);  // SameBits
inline bool operator!=(const Float4& a, const Float4& b) { return !(a == b); }
// "(1, -0.5, 0x7fc00000, 2)": a value, or the bits when it is no number.
std::string ToString(const Float4& value);
// For GoogleTest's messages.
void PrintTo(const Float4& value, std::ostream* out);

// True for the five frame-size formats.
bool HasTexelCodec(D3DFORMAT format);

// Decodes the texel at `texel` as a shader's sample does: binary32 exactly;
// binary16 exactly, with subnormals, infinities and NaN payloads; unorm16
// n / 65535; snorm16 max(n / 32767, -1), so -32768 and -32767 both read -1;
// A2B10G10R10 n / 1023 and a / 3. Formats without a codec decode as NaN.
Float4 DecodeTexel(D3DFORMAT format, const uint8_t* texel);

// Encodes the value as a render-target write stores it: binary32 as is;
// binary16 rounded to nearest, ties to even, too large to infinity, NaN kept
// NaN; normalised formats clamp (NaN to 0), scale by 2^n - 1 (snorm: by
// 2^(n-1) - 1 after clamping to [-1, 1]) and round to nearest with ties away
// from zero, the D3D10 conversion rule ("add 0.5, drop the fraction"); the
// product is taken in double, where it is exact, so the tie rule alone
// decides. Formats without a codec write nothing.
void EncodeTexel(D3DFORMAT format, const Float4& value, uint8_t* texel);

// The binary16 conversions on their own.
float HalfToFloat(uint16_t half);
uint16_t FloatToHalf(float value);

// Float bit patterns, for tests that name exact values.
uint32_t BitsOf(float value);
float FloatFromBits(uint32_t bits);

}  // namespace fakes
