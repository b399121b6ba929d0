// CPUID, XGETBV and IsProcessorFeaturePresent of the stand-in: the real
// processor's answers unless a test has given its own.
#include <cpuid.h>

#include <map>
#include <mutex>
#include <utility>

#include "native_state.h"
#include "platform/processor.h"

namespace native_platform {
namespace {

struct ProcessorAnswers {
  std::mutex mutex;
  bool steered = false;
  std::map<std::pair<uint32_t, uint32_t>, CpuidResult> cpuid;
  uint64_t enabled_state = 0;
  std::map<DWORD, bool> features;
};

ProcessorAnswers& Answers() {
  static ProcessorAnswers answers;
  return answers;
}

}  // namespace

void SteerProcessor(const std::map<std::pair<uint32_t, uint32_t>, CpuidResult>& cpuid,
                    uint64_t enabled_state, const std::map<DWORD, bool>& features) {
  ProcessorAnswers& answers = Answers();
  std::lock_guard<std::mutex> lock(answers.mutex);
  answers.steered = true;
  answers.cpuid = cpuid;
  answers.enabled_state = enabled_state;
  answers.features = features;
}

void UseRealProcessor() {
  ProcessorAnswers& answers = Answers();
  std::lock_guard<std::mutex> lock(answers.mutex);
  answers.steered = false;
  answers.cpuid.clear();
  answers.features.clear();
}

}  // namespace native_platform

using native_platform::Answers;

bool QueryCpuid(uint32_t leaf, uint32_t subleaf, CpuidResult* result) {
  {
    auto& answers = Answers();
    std::lock_guard<std::mutex> lock(answers.mutex);
    if (answers.steered) {
      auto it = answers.cpuid.find({leaf, subleaf});
      if (it == answers.cpuid.end()) return false;
      *result = it->second;
      return true;
    }
  }
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid_count(leaf, subleaf, &eax, &ebx, &ecx, &edx)) return false;
  *result = {eax, ebx, ecx, edx};
  return true;
}

uint64_t QueryEnabledStateComponents() {
  {
    auto& answers = Answers();
    std::lock_guard<std::mutex> lock(answers.mutex);
    if (answers.steered) return answers.enabled_state;
  }
  uint32_t low, high;
  __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(low), "=d"(high) : "c"(0));
  return (static_cast<uint64_t>(high) << 32) | low;
}

BOOL WINAPI IsProcessorFeaturePresent(DWORD feature) {
  {
    auto& answers = Answers();
    std::lock_guard<std::mutex> lock(answers.mutex);
    if (answers.steered) {
      auto it = answers.features.find(feature);
      return it != answers.features.end() && it->second ? TRUE : FALSE;
    }
  }
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return FALSE;
  // A 64-bit Linux kernel always saves SSE state; the CPUID bits decide.
  if (feature == PF_XMMI_INSTRUCTIONS_AVAILABLE) return (d & bit_SSE) ? TRUE : FALSE;
  if (feature == PF_XMMI64_INSTRUCTIONS_AVAILABLE) return (d & bit_SSE2) ? TRUE : FALSE;
  native_platform::Unsupported("IsProcessorFeaturePresent for this feature");
}
