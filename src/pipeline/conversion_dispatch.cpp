// Processor detection, the module-wide routine table and its selection.
#include "pipeline/conversion.h"
#include "pipeline/conversion_kernels.h"
#include "pipeline/conversion_tiers.h"
#include "platform/processor.h"

volatile LONG row_counter = 0;
int32_t cpu_features = -1;

namespace {

// CPUID leaf 1, EDX.
constexpr unsigned kCpuidMmx = 1u << 23;
constexpr unsigned kCpuidSse = 1u << 25;
constexpr unsigned kCpuidSse2 = 1u << 26;
// CPUID leaf 1, ECX, and leaf 7 (subleaf 0), EBX.
constexpr unsigned kCpuidOsxsave = 1u << 27;
constexpr unsigned kCpuidAvx = 1u << 28;
constexpr unsigned kCpuidAvx2 = 1u << 5;
// XCR0: the system saves and restores the XMM and the upper YMM halves.
constexpr uint64_t kXcr0XmmYmm = (1u << 1) | (1u << 2);

// Filled once, at the first selection; indexed by kernel family.
ConversionRoutines routine_table[4] = {};

const ConversionRoutines kSseRoutines[4] = {kSseFloat32Routines, kSseFloat16Routines,
                                            kMmxRoutines[raw16], kMmxRoutines[biased16]};

const ConversionRoutines* TierRoutines(ConversionTier tier) {
  switch (tier) {
    case ConversionTier::avx2:
      return kAvx2Routines;
    case ConversionTier::sse2:
      return kSse2Routines;
    case ConversionTier::sse:
      return kSseRoutines;
    case ConversionTier::mmx:
      break;
  }
  return kMmxRoutines;
}

bool SystemRunsAvx2(unsigned leaf1_ecx) {
  if ((leaf1_ecx & (kCpuidOsxsave | kCpuidAvx)) != (kCpuidOsxsave | kCpuidAvx)) return false;
  CpuidResult leaf7 = {};
  if (!QueryCpuid(7, 0, &leaf7) || !(leaf7.ebx & kCpuidAvx2)) return false;
  return (QueryEnabledStateComponents() & kXcr0XmmYmm) == kXcr0XmmYmm;
}

}  // namespace

KernelFamily KernelFamilyFor(int32_t image_format) {
  switch (image_format) {
    case F32:
      return float32;
    case F16:
      return float16;
    case U16:
      return raw16;
    case B16:
      return biased16;
    case S16:
      return raw16;  // the texture format alone makes the GPU read them signed
    default:
      return kNoKernelFamily;
  }
}

int32_t DetectCpuFeatures() {
  int32_t features = 0;
  CpuidResult leaf1 = {};
  if (QueryCpuid(1, 0, &leaf1)) {
    if (leaf1.edx & kCpuidMmx) features += 1;
    if (leaf1.edx & kCpuidSse) features += 2;
    if (leaf1.edx & kCpuidSse2) features += 4;
    if ((features & 4) && SystemRunsAvx2(leaf1.ecx)) features += 8;
  }
  // The processor may have SSE while the system does not save the XMM
  // registers; Windows reports that directly.
  if (features >= 2 && !IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE)) features &= 1;
  return features;
}

ConversionTier TierForFeatures(int32_t features) {
  if (features & 8) return ConversionTier::avx2;
  if (features & 4) return ConversionTier::sse2;
  if (features & 2) return ConversionTier::sse;
  return ConversionTier::mmx;
}

const ConversionRoutines* ConversionRoutinesForTier(ConversionTier tier, uint32_t family) {
  if (family > biased16) return nullptr;
  return &TierRoutines(tier)[family];
}

bool SelectConversionRoutines(const ConversionRoutines** out, uint32_t family) {
  if (cpu_features < 0) {
    cpu_features = DetectCpuFeatures();
    const ConversionRoutines* tier = TierRoutines(TierForFeatures(cpu_features));
    for (uint32_t f = 0; f < 4; ++f) routine_table[f] = tier[f];
  }
  if (family > biased16 || cpu_features == 0) return false;
  *out = &routine_table[family];
  return true;
}
