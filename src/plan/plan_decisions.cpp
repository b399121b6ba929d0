#include "plan/plan_decisions.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

bool Is(const char* usage, const char* word) {
  return usage != nullptr && std::strcmp(usage, word) == 0;
}

BindingMode TechniqueMode(bool& technique_seen) {
  if (technique_seen) return ignored;
  technique_seen = true;
  return technique;
}

uint32_t Magnitude(int32_t value) {
  // Negating in unsigned arithmetic keeps INT32_MIN defined: 2^31.
  return value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
}

}  // namespace

BindingMode TrackModeForUsage(const char* usage, bool& technique_seen) {
  if (Is(usage, "normalize")) return normalize;
  if (Is(usage, "technique")) return TechniqueMode(technique_seen);
  if (Is(usage, "even")) return even;
  if (Is(usage, "odd")) return odd;
  if (Is(usage, "odd0")) return odd_with_zero;
  return plain;
}

BindingMode CheckModeForUsage(const char* usage, bool& technique_seen) {
  if (Is(usage, "normalize")) return normalize;
  if (Is(usage, "technique")) return TechniqueMode(technique_seen);
  if (Is(usage, "even")) return normalize;
  if (Is(usage, "odd")) return odd;
  if (Is(usage, "odd0")) return odd;
  return plain;
}

int32_t NormalizeDivisor(int32_t maximum, int32_t minimum) {
  uint32_t larger = std::max(Magnitude(maximum), Magnitude(minimum));
  if (larger == 0) return 1;
  constexpr uint32_t kLargest = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
  return static_cast<int32_t>(std::min(larger, kLargest));
}

std::vector<int32_t> DistinctAscending(std::vector<int32_t> offsets) {
  std::sort(offsets.begin(), offsets.end());
  offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
  return offsets;
}

bool IncludesCurrentFrame(const std::vector<int32_t>& distinct_offsets) {
  return std::find(distinct_offsets.begin(), distinct_offsets.end(), 0) != distinct_offsets.end();
}

size_t RenderTargetSlotCount(size_t render_target_params, bool has_tx_tmp) {
  return std::max(render_target_params, static_cast<size_t>(has_tx_tmp ? 2 : 1));
}

PassTargetCheck CheckPassTargets(const PassTargets& pass, size_t render_target_params) {
  PassTargetCheck check;
  for (int m = 0; m < 4 && pass.target[m] >= 0; ++m) {
    int32_t t = pass.target[m];
    if (static_cast<size_t>(t) >= render_target_params) {
      check.finding = TargetFinding::missing_target;
      return check;
    }
    // Duplicates count among all four entries, also behind a gap.
    int occurrences = 0;
    for (int other = 0; other < 4; ++other) {
      if (pass.target[other] == t) ++occurrences;
    }
    if (occurrences > 1) {
      check.finding = TargetFinding::duplicate_target;
      return check;
    }
    ++check.outputs;
  }
  bool all_unset = true;
  for (int m = 0; m < 4; ++m) {
    if (pass.target[m] != -1) all_unset = false;
  }
  if (all_unset) {
    check.finding = TargetFinding::pass_without_target;
    return check;
  }
  for (int m = 0; m < 4; ++m) {
    if (pass.target[m] < -1) {
      check.finding = TargetFinding::negative_target;
      return check;
    }
  }
  // The walk stopped at the first output without a target; one given
  // behind it would never be bound.
  for (int m = static_cast<int>(check.outputs); m < 4; ++m) {
    if (pass.target[m] >= 0) {
      check.finding = TargetFinding::target_gap;
      return check;
    }
  }
  return check;
}

TargetTableCheck CheckTargetTables(const std::vector<TechniquePlan>& techniques,
                                   size_t render_target_params, uint32_t simultaneous_targets) {
  TargetTableCheck check;
  for (const TechniquePlan& plan : techniques) {
    check.pass = 0;
    if (plan.passes == 0) {
      check.finding = TargetFinding::technique_without_passes;
      return check;
    }
    for (const PassTargets& pass : plan.targets) {
      PassTargetCheck pass_check = CheckPassTargets(pass, render_target_params);
      if (pass_check.finding != TargetFinding::ok) {
        check.finding = pass_check.finding;
        return check;
      }
      if (pass_check.outputs > simultaneous_targets) check.too_many_outputs = true;
      ++check.pass;
    }
    ++check.technique;
  }
  check.technique = 0;
  check.pass = 0;
  return check;
}

ImageFormat RequestedImageFormat(const char* word) {
  if (Is(word, "S16")) return S16;
  if (Is(word, "B16")) return B16;
  if (Is(word, "F16")) return F16;
  if (Is(word, "U16")) return U16;
  return F32;
}

FormatChoice ChooseImageFormat(ImageFormat requested, const bool* supported) {
  FormatChoice choice;
  if (requested < 0 || requested >= kProbedFormatCount) requested = F32;
  if (requested != F32 && !supported[requested]) {
    choice.fallback_warning = true;
    requested = F32;
  }
  choice.format = supported[requested] ? requested : none;
  return choice;
}

uint32_t PixelShaderVersionToken(int32_t major, int32_t minor) {
  return 0xFFFF0000u | (static_cast<uint32_t>(major) & 0xFFu) << 8 | static_cast<uint32_t>(minor);
}

namespace {

// Appends value in lower-case hex without leading zeros, as "%x" prints it.
size_t AppendHex(uint32_t value, wchar_t* out, size_t length, size_t capacity) {
  wchar_t digits[8];
  size_t count = 0;
  do {
    digits[count++] = L"0123456789abcdef"[value & 0xFu];
    value >>= 4;
  } while (value != 0);
  while (count > 0 && length + 1 < capacity) out[length++] = digits[--count];
  return length;
}

size_t AppendText(const wchar_t* text, wchar_t* out, size_t length, size_t capacity) {
  for (; *text != L'\0' && length + 1 < capacity; ++text) out[length++] = *text;
  return length;
}

}  // namespace

size_t FormatPixelShaderVersion(int32_t major, int32_t minor, wchar_t* out, size_t capacity) {
  if (capacity == 0) return 0;
  size_t length = AppendText(L"ps_", out, 0, capacity);
  length = AppendHex(static_cast<uint32_t>(major), out, length, capacity);
  length = AppendText(L"_", out, length, capacity);
  length = AppendHex(static_cast<uint32_t>(minor), out, length, capacity);
  out[length] = L'\0';
  return length;
}

bool ShouldAppendCurrentFrameOffset(bool has_tx_tmp, size_t render_target_params,
                                    size_t source_offsets) {
  if (!has_tx_tmp && render_target_params == 0) return false;
  return source_offsets == 0;
}

bool WarnOnlyTxRT0(size_t render_target_slots, size_t render_target_params) {
  return render_target_slots == 1 && render_target_params == 1;
}
