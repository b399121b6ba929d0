// Processor detection, the module-wide routine table and the family mapping.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>

#include "pipeline/conversion_test_support.h"
#include "plan/image_format.h"
#include "platform/native/test_control.h"

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

constexpr uint32_t kMmx = 1u << 23, kSse = 1u << 25, kSse2 = 1u << 26;  // leaf 1, EDX
constexpr uint32_t kOsxsave = 1u << 27, kAvx = 1u << 28;                // leaf 1, ECX
constexpr uint32_t kAvx2 = 1u << 5;                                     // leaf 7, EBX

// What a processor and its system answer.
struct Processor {
  const char* label;
  bool has_leaf1;
  uint32_t leaf1_edx, leaf1_ecx;
  bool has_leaf7;
  uint32_t leaf7_ebx;
  uint64_t xcr0;
  bool system_saves_sse;  // IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE)
  int32_t expected_features;
};

const Processor kProcessors[] = {
    {"no CPUID leaf 1", false, 0, 0, false, 0, 0, true, 0},
    {"nothing", true, 0, 0, false, 0, 0, true, 0},
    {"MMX", true, kMmx, 0, false, 0, 0, false, 1},
    {"MMX and SSE", true, kMmx | kSse, 0, false, 0, 0, true, 3},
    {"SSE without MMX", true, kSse, 0, false, 0, 0, true, 2},
    {"SSE2", true, kMmx | kSse | kSse2, 0, false, 0, 0, true, 7},
    {"SSE2 on a system that does not save SSE state keeps only MMX", true, kMmx | kSse | kSse2, 0,
     false, 0, 0, false, 1},
    {"SSE without MMX on such a system keeps nothing", true, kSse | kSse2, 0, false, 0, 0, false,
     0},
    {"AVX2", true, kMmx | kSse | kSse2, kOsxsave | kAvx, true, kAvx2, 6, true, 15},
    {"AVX2 without YMM state saved", true, kMmx | kSse | kSse2, kOsxsave | kAvx, true, kAvx2, 2,
     true, 7},
    {"AVX2 without OSXSAVE", true, kMmx | kSse | kSse2, kAvx, true, kAvx2, 6, true, 7},
    {"AVX without AVX2", true, kMmx | kSse | kSse2, kOsxsave | kAvx, true, 0, 6, true, 7},
    {"AVX2 without leaf 7", true, kMmx | kSse | kSse2, kOsxsave | kAvx, false, 0, 6, true, 7},
    {"AVX2 bits without SSE2", true, kMmx | kSse, kOsxsave | kAvx, true, kAvx2, 6, true, 3},
    {"AVX2 on a system that does not save SSE state", true, kMmx | kSse | kSse2, kOsxsave | kAvx,
     true, kAvx2, 6, false, 1},
};

void Steer(const Processor& p) {
  std::map<std::pair<uint32_t, uint32_t>, CpuidResult> cpuid;
  if (p.has_leaf1) cpuid[{1, 0}] = {0, 0, p.leaf1_ecx, p.leaf1_edx};
  if (p.has_leaf7) cpuid[{7, 0}] = {0, p.leaf7_ebx, 0, 0};
  native_platform::SteerProcessor(cpuid, p.xcr0,
                                  {{PF_XMMI_INSTRUCTIONS_AVAILABLE, p.system_saves_sse},
                                   {PF_XMMI64_INSTRUCTIONS_AVAILABLE, p.system_saves_sse}});
}

// Puts the real processor and a table filled for it back however a test ends.
class SteeredProcessorTest : public ::testing::Test {
 protected:
  void TearDown() override {
    native_platform::UseRealProcessor();
    cpu_features = -1;
    const ConversionRoutines* refill = nullptr;
    SelectConversionRoutines(&refill, float32);
  }
};

TEST_F(SteeredProcessorTest, DetectionReadsTheFeatureBitsFromTheAnswers) {
  for (const Processor& p : kProcessors) {
    SCOPED_TRACE(p.label);
    Steer(p);
    EXPECT_EQ(p.expected_features, DetectCpuFeatures());
  }
}

TEST_F(SteeredProcessorTest, SelectionFillsTheTableForTheDetectedTier) {
  for (const Processor& p : kProcessors) {
    SCOPED_TRACE(p.label);
    Steer(p);
    cpu_features = -1;  // the first selection of a new process
    for (uint32_t family : kFamilies) {
      SCOPED_TRACE(FamilyName(family));
      const ConversionRoutines* out = nullptr;
      bool selected = SelectConversionRoutines(&out, family);
      EXPECT_EQ(p.expected_features, cpu_features);
      if (p.expected_features == 0) {
        EXPECT_FALSE(selected);
        EXPECT_EQ(nullptr, out);
        continue;
      }
      ASSERT_TRUE(selected);
      ExpectSameRoutines(RoutinesOf(TierForFeatures(p.expected_features), family), *out);
    }
  }
}

TEST_F(SteeredProcessorTest, OnlyMmxLeftSelectsTheMmxRoutines) {
  const Processor& sse2_unsaved = kProcessors[6];
  ASSERT_EQ(1, sse2_unsaved.expected_features);
  Steer(sse2_unsaved);
  cpu_features = -1;
  const ConversionRoutines* out = nullptr;
  ASSERT_TRUE(SelectConversionRoutines(&out, float16));
  ExpectSameRoutines(RoutinesOf(ConversionTier::mmx, float16), *out);
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
