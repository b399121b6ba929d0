// Processor detection, the module-wide routine table and the family mapping.
#include <cpuid.h>
#include <gtest/gtest.h>

#include <set>

#include "pipeline/conversion_test_support.h"
#include "plan/image_format.h"

namespace {

using namespace conversion_test;

// Restores cpu_features however the test ends.
class SavedCpuFeatures {
 public:
  SavedCpuFeatures() : saved_(cpu_features) {}
  ~SavedCpuFeatures() { cpu_features = saved_; }

 private:
  int32_t saved_;
};

void ExpectSameRoutines(const ConversionRoutines& expected, const ConversionRoutines& actual) {
  EXPECT_EQ(expected.upload_parallel, actual.upload_parallel);
  EXPECT_EQ(expected.readback_parallel, actual.readback_parallel);
  EXPECT_EQ(expected.upload_serial, actual.upload_serial);
  EXPECT_EQ(expected.readback_serial, actual.readback_serial);
}

// AVX2 counts only when the processor has AVX and AVX2 and the system has
// enabled the XMM and YMM state in XCR0, which XGETBV reads once OSXSAVE says
// the instruction is allowed.
bool ExpectAvx2(unsigned leaf1_ecx) {
  if (!(leaf1_ecx & (1u << 27)) || !(leaf1_ecx & (1u << 28))) return false;
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) || !(ebx & (1u << 5))) return false;
  uint32_t xcr0_low, xcr0_high;
  __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
  return (xcr0_low & 6u) == 6u;
}

TEST(ConversionSelection, DetectionReportsTheProcessorBits) {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  ASSERT_TRUE(__get_cpuid(1, &eax, &ebx, &ecx, &edx));
  int32_t expected = 0;
  if (edx & (1u << 23)) expected |= 1;
  if (edx & (1u << 25)) expected |= 2;
  if (edx & (1u << 26)) expected |= 4;
  if ((expected & 4) && ExpectAvx2(ecx)) expected |= 8;
  if (!IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE)) expected &= 1;
  EXPECT_EQ(expected, DetectCpuFeatures());
}

TEST(ConversionSelection, TierFollowsTheHighestFeatureBit) {
  struct Case {
    int32_t features;
    ConversionTier tier;
  } cases[] = {{0, ConversionTier::mmx},  {1, ConversionTier::mmx},   {2, ConversionTier::sse},
               {3, ConversionTier::sse},  {4, ConversionTier::sse2},  {7, ConversionTier::sse2},
               {8, ConversionTier::avx2}, {12, ConversionTier::avx2}, {15, ConversionTier::avx2},
               {16, ConversionTier::mmx}, {23, ConversionTier::sse2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "features " << c.features);
    EXPECT_EQ(c.tier, TierForFeatures(c.features));
  }
}

TEST(ConversionSelection, EachFamilySelectsItsRowOfTheDetectedTier) {
  const ConversionRoutines* first = nullptr;
  ASSERT_TRUE(SelectConversionRoutines(&first, float32));
  EXPECT_EQ(DetectCpuFeatures(), cpu_features);
  for (uint32_t family : kFamilies) {
    SCOPED_TRACE(FamilyName(family));
    const ConversionRoutines* out = nullptr;
    ASSERT_TRUE(SelectConversionRoutines(&out, family));
    ASSERT_NE(nullptr, out);
    ExpectSameRoutines(RoutinesOf(TierForFeatures(cpu_features), family), *out);
    const ConversionRoutines* again = nullptr;
    ASSERT_TRUE(SelectConversionRoutines(&again, family));
    EXPECT_EQ(out, again);  // the row of the one table, not a copy
  }
}

TEST(ConversionSelection, TableIsFilledOnlyOnce) {
  const ConversionRoutines* before = nullptr;
  ASSERT_TRUE(SelectConversionRoutines(&before, float16));
  const ConversionRoutines copy = *before;
  SavedCpuFeatures saved;
  cpu_features = 1;  // a later change of the bits must not refill the table
  const ConversionRoutines* after = nullptr;
  ASSERT_TRUE(SelectConversionRoutines(&after, float16));
  EXPECT_EQ(before, after);
  ExpectSameRoutines(copy, *after);
}

TEST(ConversionSelection, FailsWithoutAFamilyOrWithoutFeaturesAndLeavesOutAlone) {
  const ConversionRoutines* filled = nullptr;
  ASSERT_TRUE(SelectConversionRoutines(&filled, raw16));
  const ConversionRoutines sentinel_row = {};
  struct Case {
    const char* label;
    int32_t features;  // -2: keep the detected bits
    uint32_t family;
  } cases[] = {{"family 4", -2, 4},
               {"family 5", -2, 5},
               {"family 0xFFFFFFFF", -2, 0xFFFFFFFFu},
               {"no features, float32", 0, float32},
               {"no features, float16", 0, float16},
               {"no features, raw16", 0, raw16},
               {"no features, biased16", 0, biased16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    SavedCpuFeatures saved;
    if (c.features != -2) cpu_features = c.features;
    const ConversionRoutines* out = &sentinel_row;
    EXPECT_FALSE(SelectConversionRoutines(&out, c.family));
    EXPECT_EQ(&sentinel_row, out);
  }
}

TEST(ConversionSelection, TiersShareOnlyTheDocumentedRoutines) {
  std::set<const void*> seen;
  for (ConversionTier tier : kTiers) {
    for (uint32_t family : kFamilies) {
      SCOPED_TRACE(testing::Message() << TierName(tier) << " " << FamilyName(family));
      const ConversionRoutines* row = ConversionRoutinesForTier(tier, family);
      ASSERT_NE(nullptr, row);
      EXPECT_NE(nullptr, row->upload_parallel);
      EXPECT_NE(nullptr, row->readback_parallel);
      EXPECT_NE(nullptr, row->upload_serial);
      EXPECT_NE(nullptr, row->readback_serial);
      if (tier == ConversionTier::sse && (family == raw16 || family == biased16)) {
        // The SSE tier reuses the MMX tier's 16-bit routines.
        ExpectSameRoutines(RoutinesOf(ConversionTier::mmx, family), *row);
        continue;
      }
      for (const void* routine : {reinterpret_cast<const void*>(row->upload_parallel),
                                  reinterpret_cast<const void*>(row->readback_parallel),
                                  reinterpret_cast<const void*>(row->upload_serial),
                                  reinterpret_cast<const void*>(row->readback_serial)}) {
        EXPECT_TRUE(seen.insert(routine).second) << "routine used twice";
      }
    }
    EXPECT_EQ(nullptr, ConversionRoutinesForTier(tier, 4));
  }
}

TEST(ConversionSelection, KernelFamilyForEveryImageFormat) {
  struct Case {
    int32_t format;
    KernelFamily family;
  } cases[] = {{F32, float32},
               {F16, float16},
               {U16, raw16},
               {B16, biased16},
               {S16, raw16},
               {A2B10G10R10_PROBE, kNoKernelFamily},
               {none, kNoKernelFamily},
               {-1, kNoKernelFamily},
               {7, kNoKernelFamily},
               {INT32_MIN, kNoKernelFamily}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "image format " << c.format);
    EXPECT_EQ(c.family, KernelFamilyFor(c.format));
  }
}

}  // namespace
