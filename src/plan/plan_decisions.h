// The decisions of the effect plan that need neither a device nor an effect:
// plain functions on plain values, called by the thin code that reads the
// effect and shows the messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plan/image_format.h"
#include "plan/pass_plan.h"

// Binding mode of a track control from its usage word. Only the first
// technique control of the filter selects techniques; technique_seen carries
// that across all tracks and then all checks.
BindingMode TrackModeForUsage(const char* usage, bool& technique_seen);
// The same for a check box, where "even" writes like "normalize" and "odd0"
// like "odd".
BindingMode CheckModeForUsage(const char* usage, bool& technique_seen);

// Divisor of a normalized track: the larger magnitude of its bounds, 1 when
// both are 0. The magnitude of INT32_MIN does not fit an int32, so it is
// clamped to INT32_MAX (a value divided by it still rounds to -1.0f).
int32_t NormalizeDivisor(int32_t maximum, int32_t minimum);

// The frame offsets in ascending signed order, each once.
std::vector<int32_t> DistinctAscending(std::vector<int32_t> offsets);
// Whether the source offsets include the current frame.
bool IncludesCurrentFrame(const std::vector<int32_t>& distinct_offsets);

// Render-target slots: one per TxRT parameter, and at least two with
// "TxTmp" (one to read, one to write), else at least one.
size_t RenderTargetSlotCount(size_t render_target_params, bool has_tx_tmp);

// First problem of a technique's target tables, in the order the passes and
// their entries are walked.
enum class TargetFinding {
  ok,
  missing_target,    // an index not below the number of TxRT parameters
  duplicate_target,  // the same index twice among a pass's four entries
  pass_without_target,
  // Found by the checks below the walk's: each would leave the pass
  // drawing nowhere useful on every frame.
  negative_target,           // an index below -1 ("not given")
  target_gap,                // a target after an output without one
  technique_without_passes,  // nothing to draw
};

struct PassTargetCheck {
  TargetFinding finding = TargetFinding::ok;
  uint32_t outputs = 0;  // entries walked before the first negative one
};

PassTargetCheck CheckPassTargets(const PassTargets& pass, size_t render_target_params);

struct TargetTableCheck {
  TargetFinding finding = TargetFinding::ok;
  // Where the finding is: the technique's number and the pass's index.
  uint32_t technique = 0;
  uint32_t pass = 0;
  // Some pass before the finding (or anywhere, without a finding) writes
  // more targets at once than the device can.
  bool too_many_outputs = false;
};

TargetTableCheck CheckTargetTables(const std::vector<TechniquePlan>& techniques,
                                   size_t render_target_params, uint32_t simultaneous_targets);

// The format an "img_format" annotation asks for: one of the four words,
// exactly; anything else, or no annotation (null), asks for F32.
ImageFormat RequestedImageFormat(const char* word);

struct FormatChoice {
  ImageFormat format = none;      // none: no usable format, an error
  bool fallback_warning = false;  // the requested format gave way to F32
};

// supported holds kProbedFormatCount entries indexed by ImageFormat.
FormatChoice ChooseImageFormat(ImageFormat requested, const bool* supported);

// The Direct3D pixel-shader version token of a "min_ps_ver" pair.
uint32_t PixelShaderVersionToken(int32_t major, int32_t minor);

// "ps_%x_%x" of the pair, with lower-case hex digits: {2, 10} is "ps_2_a".
// Writes at most capacity - 1 characters and a NUL; returns the length
// written.
size_t FormatPixelShaderVersion(int32_t major, int32_t minor, wchar_t* out, size_t capacity);

// Without a TxSrc parameter, the current frame must still be uploaded when
// "TxTmp" or a TxRT parameter will read it.
bool ShouldAppendCurrentFrameOffset(bool has_tx_tmp, size_t render_target_params,
                                    size_t source_offsets);
// The appended frame then lands in the only render target, which the effect
// also reads as "TxRT0".
bool WarnOnlyTxRT0(size_t render_target_slots, size_t render_target_params);
