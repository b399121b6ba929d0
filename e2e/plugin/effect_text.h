// Pieces of effect descriptions (docs/effect-description.md) that the
// plug-in tests share. Shaders are ps_2_0/ps_3_0 assembly; a pass's `bind`
// block gives its shader the constant table through which D3DX binds
// samplers and parameters.
#pragma once

#include <string>

namespace plugin_e2e {

// "int4 FilterVersion" with a name (the filter's title, also the caption of
// the engine's messages), version 1.0 and the given extra annotations
// (e.g. `string img_format = "F16";`).
std::string FilterVersion(const std::string& title, const std::string& annotations = "");

// A point-sampled, clamped 2D sampler of a texture parameter.
std::string PointSampler(const std::string& name, const std::string& texture);

// TxSrc0 (the current frame), its sampler and a technique ProcessImage0
// with one pass that copies it unchanged.
std::string IdentityTechnique();
// FilterVersion "Identity" with `annotations`, then IdentityTechnique().
std::string IdentityEffect(const std::string& annotations = "");

// TxSrc0, TxSrc1 and TxSrc2 at frame offsets -1, 0 and +1, with point
// samplers Prev, Cur and Next.
std::string TemporalSources();
// A pass that mixes the three frames of TemporalSources(): c0 from the
// previous frame, c1 from the current one, c2 from the next.
std::string MixThreeFramesPass(const std::string& name);

// One pass of a technique: `shader` is ps_2_0 assembly after the version
// line, `bind` the contents of the bind block, `pass_annotations` the
// annotations of the pass.
std::string Pass(const std::string& name, const std::string& shader, const std::string& bind,
                 const std::string& pass_annotations = "");

}  // namespace plugin_e2e
