#include "fakes/texel_codec.h"

#include <cmath>
#include <cstring>
#include <ostream>
#include <sstream>

namespace fakes {
namespace {

uint16_t Load16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }
void Store16(uint8_t* bytes, uint16_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
}
uint32_t Load32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}
void Store32(uint8_t* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

// m / 2^s rounded to nearest, ties to even; s in 1..31.
uint32_t ShiftRoundedToEven(uint32_t m, int s) {
  uint32_t quotient = m >> s;
  uint32_t remainder = m & ((1u << s) - 1);
  uint32_t half = 1u << (s - 1);
  if (remainder > half || (remainder == half && (quotient & 1))) ++quotient;
  return quotient;
}

// v in [0, 1] (NaN as 0) times max, rounded half away from zero. The float
// times a 16-bit integer has at most 40 significant bits, so the product and
// the added half are exact in double.
uint32_t EncodeUnorm(float v, uint32_t max) {
  if (!(v > 0.0f)) return 0;
  if (v >= 1.0f) return max;
  return static_cast<uint32_t>(static_cast<double>(v) * max + 0.5);
}

int32_t EncodeSnorm16(float v) {
  if (std::isnan(v)) return 0;
  if (v >= 1.0f) return 32767;
  if (v <= -1.0f) return -32767;
  double scaled = static_cast<double>(v) * 32767.0;
  return scaled >= 0.0 ? static_cast<int32_t>(scaled + 0.5) : -static_cast<int32_t>(-scaled + 0.5);
}

float DecodeUnorm(uint32_t n, uint32_t max) {
  return static_cast<float>(n) / static_cast<float>(max);
}

float DecodeSnorm16(int16_t n) {
  float value = static_cast<float>(n) / 32767.0f;
  return value < -1.0f ? -1.0f : value;
}

}  // namespace

uint32_t BitsOf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

float FloatFromBits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

bool SameBits(const Float4& a, const Float4& b) {
  for (int i = 0; i < 4; ++i) {
    if (BitsOf(a[i]) != BitsOf(b[i])) return false;
  }
  return true;
}

bool operator==(const Float4& a, const Float4& b) { return SameBits(a, b); }

std::string ToString(const Float4& value) {
  std::ostringstream text;
  text.precision(9);
  text << "(";
  for (int i = 0; i < 4; ++i) {
    if (i) text << ", ";
    if (std::isfinite(value[i])) {
      text << value[i];
    } else {
      text << "0x" << std::hex << BitsOf(value[i]) << std::dec;
    }
  }
  text << ")";
  return text.str();
}

void PrintTo(const Float4& value, std::ostream* out) { *out << ToString(value); }

bool HasTexelCodec(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A32B32G32R32F:
    case D3DFMT_A16B16G16R16F:
    case D3DFMT_A16B16G16R16:
    case D3DFMT_Q16W16V16U16:
    case D3DFMT_A2B10G10R10:
      return true;
    default:
      return false;
  }
}

float HalfToFloat(uint16_t half) {
  const uint32_t sign = static_cast<uint32_t>(half & 0x8000u) << 16;
  const uint32_t exponent = (half >> 10) & 0x1Fu;
  const uint32_t mantissa = half & 0x3FFu;
  if (exponent == 0) {
    // Zero or subnormal: mantissa * 2^-24, exact in binary32.
    float magnitude = std::ldexp(static_cast<float>(mantissa), -24);
    return sign ? -magnitude : magnitude;
  }
  if (exponent == 31) return FloatFromBits(sign | 0x7F800000u | (mantissa << 13));
  return FloatFromBits(sign | ((exponent - 15 + 127) << 23) | (mantissa << 13));
}

uint16_t FloatToHalf(float value) {
  const uint32_t bits = BitsOf(value);
  const uint16_t sign = static_cast<uint16_t>((bits >> 16) & 0x8000u);
  const uint32_t magnitude = bits & 0x7FFFFFFFu;
  if (magnitude > 0x7F800000u) {
    // NaN: keep the top of the payload, and stay NaN when that is all zero.
    uint16_t payload = static_cast<uint16_t>((magnitude >> 13) & 0x3FFu);
    return static_cast<uint16_t>(sign | 0x7C00u | (payload ? payload : 0x200u));
  }
  if (magnitude == 0x7F800000u) return static_cast<uint16_t>(sign | 0x7C00u);
  // Binary32 subnormals are far below half the smallest binary16 subnormal.
  if (magnitude < 0x00800000u) return sign;
  const int exponent = static_cast<int>(magnitude >> 23) - 127;
  const uint32_t significand = (magnitude & 0x7FFFFFu) | 0x800000u;  // 24 bits
  if (exponent >= 16) return static_cast<uint16_t>(sign | 0x7C00u);
  uint32_t result;
  if (exponent >= -14) {
    // Normal: 11 significant bits; a carry out of the significand moves the
    // exponent up, and out of the largest exponent to infinity.
    uint32_t rounded = ShiftRoundedToEven(significand, 13);
    result = (static_cast<uint32_t>(exponent + 15) << 10) + (rounded - 0x400u);
    if (result >= 0x7C00u) result = 0x7C00u;
  } else {
    // Subnormal: a multiple of 2^-24; a carry into 0x400 is the smallest
    // normal, as it should be.
    int shift = -exponent - 1;
    result = shift > 24 ? 0 : ShiftRoundedToEven(significand, shift);
  }
  return static_cast<uint16_t>(sign | result);
}

Float4 DecodeTexel(D3DFORMAT format, const uint8_t* texel) {
  Float4 value;
  switch (format) {
    case D3DFMT_A32B32G32R32F:
      for (int i = 0; i < 4; ++i) value[i] = FloatFromBits(Load32(texel + 4 * i));
      break;
    case D3DFMT_A16B16G16R16F:
      for (int i = 0; i < 4; ++i) value[i] = HalfToFloat(Load16(texel + 2 * i));
      break;
    case D3DFMT_A16B16G16R16:
      for (int i = 0; i < 4; ++i) value[i] = DecodeUnorm(Load16(texel + 2 * i), 65535);
      break;
    case D3DFMT_Q16W16V16U16:
      for (int i = 0; i < 4; ++i)
        value[i] = DecodeSnorm16(static_cast<int16_t>(Load16(texel + 2 * i)));
      break;
    case D3DFMT_A2B10G10R10: {
      uint32_t word = Load32(texel);
      for (int i = 0; i < 3; ++i) value[i] = DecodeUnorm((word >> (10 * i)) & 0x3FFu, 1023);
      value.w = DecodeUnorm(word >> 30, 3);
      break;
    }
    default:
      value.x = value.y = value.z = value.w = std::nanf("");
  }
  return value;
}

void EncodeTexel(D3DFORMAT format, const Float4& value, uint8_t* texel) {
  switch (format) {
    case D3DFMT_A32B32G32R32F:
      for (int i = 0; i < 4; ++i) Store32(texel + 4 * i, BitsOf(value[i]));
      break;
    case D3DFMT_A16B16G16R16F:
      for (int i = 0; i < 4; ++i) Store16(texel + 2 * i, FloatToHalf(value[i]));
      break;
    case D3DFMT_A16B16G16R16:
      for (int i = 0; i < 4; ++i)
        Store16(texel + 2 * i, static_cast<uint16_t>(EncodeUnorm(value[i], 65535)));
      break;
    case D3DFMT_Q16W16V16U16:
      for (int i = 0; i < 4; ++i)
        Store16(texel + 2 * i, static_cast<uint16_t>(EncodeSnorm16(value[i])));
      break;
    case D3DFMT_A2B10G10R10: {
      uint32_t word = 0;
      for (int i = 0; i < 3; ++i) word |= EncodeUnorm(value[i], 1023) << (10 * i);
      word |= EncodeUnorm(value.w, 3) << 30;
      Store32(texel, word);
      break;
    }
    default:
      break;
  }
}

}  // namespace fakes
