// Reads the effect's naming scheme into the engine's pass plan. The order of
// the steps matters: tracks are bound before checks so that a track wins the
// technique control.
#include <cstdio>
#include <exception>

#include "engine/engine.h"
#include "plan/effect_plan.h"
#include "plan/plan_decisions.h"

namespace {

// Every indexed name of the scheme stops at index 31.
constexpr int kMaxIndexedNames = 32;

struct IndexedName {
  char text[32];
};

IndexedName Name(const char* pattern, int index) {
  IndexedName name;
  std::snprintf(name.text, sizeof(name.text), pattern, index);
  return name;
}

D3DXHANDLE Parameter(ID3DXEffect* effect, const char* pattern, int index) {
  return effect->GetParameterByName(nullptr, Name(pattern, index).text);
}

void BindTracks(Engine& engine, ID3DXEffect* effect, bool& technique_seen) {
  engine.track_bindings.clear();
  if (engine.description == nullptr) return;
  const auto& descriptors = engine.description->track_descriptors;
  for (size_t i = 0; i < descriptors.size(); ++i) {
    D3DXHANDLE handle = Parameter(effect, "Track%d", static_cast<int>(i));
    if (handle == nullptr) break;
    TrackBinding binding;
    binding.parameter = handle;
    binding.mode = TrackModeForUsage(descriptors[i].usage.c_str(), technique_seen);
    if (binding.mode == normalize) {
      binding.divisor = NormalizeDivisor(descriptors[i].maximum, descriptors[i].minimum);
    }
    engine.track_bindings.push_back(binding);
  }
}

void BindChecks(Engine& engine, ID3DXEffect* effect, bool& technique_seen) {
  engine.check_bindings.clear();
  if (engine.description == nullptr) return;
  const auto& descriptors = engine.description->check_descriptors;
  for (size_t i = 0; i < descriptors.size(); ++i) {
    D3DXHANDLE handle = Parameter(effect, "Check%d", static_cast<int>(i));
    if (handle == nullptr) break;
    CheckBinding binding;
    binding.parameter = handle;
    binding.mode = CheckModeForUsage(descriptors[i].usage.c_str(), technique_seen);
    engine.check_bindings.push_back(binding);
  }
}

void BindKernels(Engine& engine, ID3DXEffect* effect) {
  engine.kernel_bindings.clear();
  for (int i = 0; i < kMaxIndexedNames; ++i) {
    KernelBinding binding;
    binding.pixel_kernel = Parameter(effect, "PixelKernel%d", i);
    binding.texel_kernel = Parameter(effect, "TexelKernel%d", i);
    if (binding.pixel_kernel == nullptr || binding.texel_kernel == nullptr) break;
    D3DXPARAMETER_DESC desc = {};
    if (SUCCEEDED(effect->GetParameterDesc(binding.pixel_kernel, &desc))) {
      binding.elements = desc.Elements;
    }
    engine.kernel_bindings.push_back(binding);
  }
}

void BindSources(Engine& engine, ID3DXEffect* effect) {
  engine.source_bindings.clear();
  std::vector<int32_t> offsets;
  for (int j = 0; j < kMaxIndexedNames; ++j) {
    SourceBinding binding;
    binding.parameter = Parameter(effect, "TxSrc%d", j);
    if (binding.parameter == nullptr) break;
    D3DXHANDLE annotation = effect->GetAnnotationByName(binding.parameter, "frame_offset");
    INT value = 0;
    if (annotation != nullptr && SUCCEEDED(effect->GetInt(annotation, &value))) {
      binding.frame_offset = value;
    }
    engine.source_bindings.push_back(binding);
    offsets.push_back(binding.frame_offset);
  }

  std::vector<int32_t> distinct = DistinctAscending(std::move(offsets));
  engine.source_offsets.clear();
  engine.current_frame_is_source = false;
  if (engine.source_bindings.empty()) {
    engine.source_texture_slots.clear();
    return;
  }
  engine.source_texture_slots.resize(distinct.size());
  engine.current_frame_is_source = IncludesCurrentFrame(distinct);
  engine.source_offsets = std::move(distinct);
}

void BindRenderTargets(Engine& engine, ID3DXEffect* effect) {
  engine.render_target_params.clear();
  for (int k = 0; k < kMaxIndexedNames; ++k) {
    D3DXHANDLE handle = Parameter(effect, "TxRT%d", k);
    if (handle == nullptr) break;
    engine.render_target_params.push_back(handle);
  }
  engine.render_target_slots.resize(
      RenderTargetSlotCount(engine.render_target_params.size(), engine.tx_tmp_param != nullptr));
}

std::vector<PassTargets> ReadPassTargets(ID3DXEffect* effect, D3DXHANDLE technique,
                                         uint32_t passes) {
  std::vector<PassTargets> targets(passes);
  bool any = false;
  for (uint32_t l = 0; l < passes; ++l) {
    D3DXHANDLE pass = effect->GetPass(technique, l);
    if (pass == nullptr) continue;
    for (unsigned m = 0; m < 4; ++m) {
      IndexedName name;
      std::snprintf(name.text, sizeof(name.text), "RenderTarget%u", m);
      D3DXHANDLE annotation = effect->GetAnnotationByName(pass, name.text);
      INT value = -1;
      if (annotation != nullptr && effect->GetInt(annotation, &value) == S_OK) {
        targets[l].target[m] = value;
        any = true;
      }
    }
  }
  if (!any) targets.clear();
  return targets;
}

void PlanTechniques(Engine& engine, ID3DXEffect* effect) {
  engine.techniques.clear();
  for (int t = 0; t < kMaxIndexedNames; ++t) {
    D3DXHANDLE technique = effect->GetTechniqueByName(Name("ProcessImage%d", t).text);
    if (technique == nullptr) break;
    // The pass count stays 0 when the description cannot be read.
    D3DXTECHNIQUE_DESC desc = {};
    effect->GetTechniqueDesc(technique, &desc);
    TechniquePlan plan;
    plan.technique = technique;
    plan.passes = desc.Passes;
    plan.targets = ReadPassTargets(effect, technique, plan.passes);
    engine.techniques.push_back(std::move(plan));
  }
}

}  // namespace

HRESULT BuildPassPlan(Engine& engine) {
  ID3DXEffect* effect = engine.effect.get();
  if (effect == nullptr) return D3DERR_INVALIDCALL;
  // The lists grow with the standard allocator (a pass count read from the
  // effect sizes one); its failure must not leave the plug-in as an
  // exception.
  try {
    bool technique_seen = false;
    BindTracks(engine, effect, technique_seen);
    BindChecks(engine, effect, technique_seen);
    BindKernels(engine, effect);
    BindSources(engine, effect);
    BindRenderTargets(engine, effect);
    PlanTechniques(engine, effect);
  } catch (const std::exception&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}
