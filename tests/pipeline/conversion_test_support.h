// Helpers shared by the conversion tests: images placed against an
// inaccessible page with guard bytes around every row, pixel patterns, and
// byte-exact comparison that names the first differing texel or pixel.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "pipeline/conversion.h"
#include "pipeline/conversion_reference.h"
#include "pipeline/conversion_tiers.h"
#include "support/guarded_memory.h"

namespace conversion_test {

constexpr ConversionTier kTiers[] = {ConversionTier::mmx, ConversionTier::sse, ConversionTier::sse2,
                                     ConversionTier::avx2};
constexpr uint32_t kFamilies[] = {float32, float16, raw16, biased16};

inline const char* TierName(ConversionTier tier) {
  switch (tier) {
    case ConversionTier::mmx:
      return "mmx";
    case ConversionTier::sse:
      return "sse";
    case ConversionTier::sse2:
      return "sse2";
    case ConversionTier::avx2:
      return "avx2";
  }
  return "?";
}

// Whether this machine (and its system) can run the tier's instructions.
inline bool MachineRuns(ConversionTier tier) {
  const int32_t features = DetectCpuFeatures();
  switch (tier) {
    case ConversionTier::mmx:
      return (features & 1) != 0;
    case ConversionTier::sse:
      return (features & 2) != 0;
    case ConversionTier::sse2:
      return (features & 4) != 0;
    case ConversionTier::avx2:
      return (features & 8) != 0;
  }
  return false;
}

// Skips the calling test when the machine cannot run the tier.
#define SKIP_UNLESS_MACHINE_RUNS(tier)                                                    \
  do {                                                                                    \
    if (!::conversion_test::MachineRuns(tier)) {                                          \
      GTEST_SKIP() << "this machine cannot run the " << ::conversion_test::TierName(tier) \
                   << " tier";                                                            \
    }                                                                                     \
  } while (false)

inline std::string TierParamName(const ::testing::TestParamInfo<ConversionTier>& info) {
  return TierName(info.param);
}

inline const char* FamilyName(uint32_t family) {
  static const char* const names[] = {"float32", "float16", "raw16", "biased16"};
  return family < 4 ? names[family] : "none";
}

inline ReadbackRounding RoundingOf(ConversionTier tier) {
  return tier == ConversionTier::mmx ? ReadbackRounding::floor_wrap
                                     : ReadbackRounding::nearest_saturate;
}

inline const ConversionRoutines& RoutinesOf(ConversionTier tier, uint32_t family) {
  return *ConversionRoutinesForTier(tier, family);
}

// `size` bytes whose last byte sits right before a page that may not be read
// or written, after at least `lead` accessible bytes. Every accessible byte
// starts with a pattern, so bytes a routine must not write can be compared.
class GuardedBuffer {
 public:
  GuardedBuffer(size_t size, size_t lead = 64) : pages_(size + lead), size_(size) {
    uint8_t* const base = pages_.begin();
    for (size_t i = 0; i < pages_.size(); ++i) base[i] = static_cast<uint8_t>(0xA7 ^ (i * 31));
  }

  uint8_t* data() { return pages_.end() - size_; }
  size_t size() const { return size_; }
  // The whole accessible region, guard bytes included.
  std::vector<uint8_t> Snapshot() const {
    return std::vector<uint8_t>(pages_.begin(), pages_.end());
  }
  size_t DataOffset() const { return pages_.size() - size_; }
  // Makes the buffer read-only, so that a write to an input faults.
  void Seal() { pages_.SealReadOnly(); }
  const GuardedPages& pages() const { return pages_; }

 private:
  GuardedPages pages_;
  size_t size_;
};

// Geometry of one test image.
struct Geometry {
  uint32_t rows;
  uint32_t columns;
  int32_t host_stride;    // pixels
  int32_t texture_pitch;  // bytes
};

inline size_t HostBytes(const Geometry& g) {
  return g.rows == 0 ? 0 : ((g.rows - 1) * static_cast<size_t>(g.host_stride) + g.columns) * 6;
}

inline size_t TextureBytes(const Geometry& g, uint32_t family) {
  return g.rows == 0 ? 0
                     : (g.rows - 1) * static_cast<size_t>(g.texture_pitch) +
                           g.columns * static_cast<size_t>(TexelBytes(family));
}

// Fills host pixels with components that favour the interesting values:
// zero, the extremes, multiples of 4096 and their neighbours, and noise.
inline void FillHostPixels(uint8_t* bytes, size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  static const int16_t special[] = {0, 1, -1, 4096, -4096, 2048, 2049, -2049, 32767, -32768};
  for (size_t i = 0; i < count / 2; ++i) {
    const uint32_t r = random();
    const int16_t v = (r & 7) == 0 ? special[(r >> 3) % 10] : static_cast<int16_t>(r >> 8);
    memcpy(bytes + 2 * i, &v, 2);
  }
}

// Fills texels with channel values the read-back must handle: in-range and
// out-of-range floats, exact halves, and raw noise (NaN and infinities too).
inline void FillTexels(uint8_t* bytes, size_t size, uint32_t family, uint32_t seed) {
  std::mt19937 random(seed);
  if (family != float32) {
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(random());
    return;
  }
  for (size_t i = 0; i + 4 <= size; i += 4) {
    const uint32_t r = random();
    float value;
    switch (r & 3) {
      case 0:
        value = static_cast<float>(static_cast<int32_t>(random() % 90000) - 45000) / 4096.0f;
        break;
      case 1:
        value =
            (static_cast<float>(static_cast<int32_t>(random() % 70000) - 35000) + 0.5f) / 4096.0f;
        break;
      case 2:
        value = static_cast<float>(static_cast<int32_t>(random())) / 65536.0f;
        break;
      default: {
        const uint32_t bits = random();
        memcpy(&value, &bits, 4);
      }
    }
    memcpy(bytes + i, &value, 4);
  }
  for (size_t i = size / 4 * 4; i < size; ++i) bytes[i] = static_cast<uint8_t>(random());
}

// Byte-for-byte equality; on a difference, names the first byte and the
// `unit`-sized element (texel or pixel) it belongs to, relative to `origin`.
inline ::testing::AssertionResult SameBytes(const std::vector<uint8_t>& expected,
                                            const std::vector<uint8_t>& actual, size_t origin,
                                            size_t unit) {
  if (expected.size() != actual.size()) return ::testing::AssertionFailure() << "size differs";
  for (size_t i = 0; i < expected.size(); ++i) {
    if (expected[i] == actual[i]) continue;
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << "first difference at byte " << i;
    if (i >= origin) {
      const size_t start = origin + (i - origin) / unit * unit;
      failure << " (element " << (i - origin) / unit << " from the image start)";
      char text[8];
      std::string want, got;
      for (size_t k = start; k < start + unit && k < expected.size(); ++k) {
        snprintf(text, sizeof text, "%02x ", expected[k]);
        want += text;
        snprintf(text, sizeof text, "%02x ", actual[k]);
        got += text;
      }
      failure << "\n  expected " << want << "\n  actual   " << got;
    } else {
      failure << " (guard bytes before the image)";
    }
    return failure;
  }
  return ::testing::AssertionSuccess();
}

enum class Direction { upload, readback };

inline const char* DirectionName(Direction direction) {
  return direction == Direction::upload ? "upload" : "read-back";
}

typedef std::function<void(const ConversionRoutines&, ConversionJob*)> Runner;

// Converts one image with `run` and compares both images, guard bytes
// included, with the reference converting rows first_row.. of the same input.
// The input image is read-only and both images end against a page that
// faults, so an over-read or over-write past the last row shows at once.
inline ::testing::AssertionResult ConvertsLikeTheReference(ConversionTier tier, uint32_t family,
                                                           Direction direction, const Geometry& g,
                                                           const Runner& run,
                                                           uint32_t first_row = 0) {
  GuardedBuffer host(HostBytes(g));
  GuardedBuffer texture(TextureBytes(g, family));
  const uint32_t seed = g.rows * 7919u + g.columns * 131u + family;
  GuardedBuffer& input = direction == Direction::upload ? host : texture;
  GuardedBuffer& output = direction == Direction::upload ? texture : host;
  if (direction == Direction::upload) {
    FillHostPixels(host.data(), host.size(), seed);
  } else {
    FillTexels(texture.data(), texture.size(), family, seed);
  }
  const std::vector<uint8_t> input_before = input.Snapshot();
  input.Seal();

  std::vector<uint8_t> expected = output.Snapshot();
  uint8_t* const expected_image = expected.data() + output.DataOffset();
  ConversionJob reference = {
      direction == Direction::upload ? expected_image : texture.data(),
      reinterpret_cast<HostPixel*>(direction == Direction::upload ? host.data() : expected_image),
      g.rows - first_row,
      g.columns,
      g.texture_pitch,
      g.host_stride};
  if (first_row < g.rows) {
    reference.texture_bits = static_cast<uint8_t*>(reference.texture_bits) +
                             first_row * static_cast<ptrdiff_t>(g.texture_pitch);
    reference.host_pixels += first_row * static_cast<ptrdiff_t>(g.host_stride);
    if (direction == Direction::upload) {
      UploadImageReference(family, reference);
    } else {
      ReadbackImageReference(family, RoundingOf(tier), reference);
    }
  }

  ConversionJob job = {texture.data(),  reinterpret_cast<HostPixel*>(host.data()),
                       g.rows,          g.columns,
                       g.texture_pitch, g.host_stride};
  run(RoutinesOf(tier, family), &job);

  if (input.Snapshot() != input_before) return ::testing::AssertionFailure() << "input changed";
  const size_t unit = direction == Direction::upload ? TexelBytes(family) : 6;
  return SameBytes(expected, output.Snapshot(), output.DataOffset(), unit);
}

}  // namespace conversion_test
