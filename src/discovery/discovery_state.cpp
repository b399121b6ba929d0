#include <algorithm>
#include <new>

#include "discovery/discovery_blocks.h"
#include "discovery/effect_discovery.h"

namespace {

// Static storage without a destructor: whether static destructors run
// before or after the module's detach, and in which order across files, is
// up to the runtime, and none of them may touch this state.
alignas(EffectDiscoveryState) unsigned char discovery_storage[sizeof(EffectDiscoveryState)];

}  // namespace

EffectDiscoveryState& effect_discovery = *new (discovery_storage) EffectDiscoveryState;

void Retire(EffectDiscoveryState& state, void* block) {
  if (!block) return;
  try {
    state.retired.push_back(block);
  } catch (const std::bad_alloc&) {
    // The filter table may still point at the block: a leak is the lesser harm.
  }
}

void FreeRetired(EffectDiscoveryState& state, std::initializer_list<const void*> still_used) {
  auto used = [&](const void* block) {
    return std::find(still_used.begin(), still_used.end(), block) != still_used.end();
  };
  auto kept = state.retired.begin();
  for (void* block : state.retired) {
    if (used(block)) {
      *kept++ = block;
    } else {
      FreeBlock(block);
    }
  }
  state.retired.erase(kept, state.retired.end());
}

void TearDownDiscoveryState(EffectDiscoveryState& state) {
  // Every object obtained from D3DX goes before the library does.
  state.compiled_effect.reset();
  state.effect_compiler.reset();
  FreeBlockField(state.track_names_block);
  FreeBlockField(state.track_defaults);
  FreeBlockField(state.track_maxima);
  FreeBlockField(state.track_minima);
  state.track_descriptors.clear();
  FreeBlockField(state.check_names_block);
  FreeBlockField(state.check_defaults);
  state.check_descriptors.clear();
  FreeBlockField(state.title);
  FreeBlockField(state.display_name);
  FreeBlockField(state.information);
  FreeRetired(state, {});
  std::fill(std::begin(state.version), std::end(state.version), 0);
  if (state.d3dx_module) FreeLibrary(state.d3dx_module);
  state.d3dx_module = nullptr;
  state.create_effect_compiler_from_file = nullptr;
  state.create_effect = nullptr;
  state.create_buffer = nullptr;
  std::vector<TrackDescriptor>().swap(state.track_descriptors);
  std::vector<CheckDescriptor>().swap(state.check_descriptors);
  std::vector<void*>().swap(state.retired);
  state.holds_discovered_face = false;
}
