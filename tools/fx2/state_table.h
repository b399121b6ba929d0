// The effect state table by name: which operation number a state assignment
// has, what kind of value it takes and which words name its values. The
// order of operations is D3DX's (0..178); only the states a pixel-shader
// filter can use are listed by name.
#pragma once

#include <cstdint>
#include <string>

namespace fx2 {

enum class StateGroup {
  Render,        // 0..102, SetRenderState, index 0
  TextureStage,  // 103..120, SetTextureStageState(index)
  Sampler,       // 165..177, SetSamplerState(index) in a pass or in a sampler block
};

// What a constant assignment must hold. Wine hands the raw DWORD to Direct3D,
// so float-valued states need float bits and the others integers.
enum class StateValue { Integer, Float };

// Which words name a state's values (POINT, CLAMP, CCW, ...).
enum class ValueWords { None, Bool, Filter, Address, Cull, Blend, BlendOp, Compare, Fill, Shade };

struct StateInfo {
  const char* name;
  uint32_t operation;
  StateGroup group;
  StateValue value;
  ValueWords words;
};

// Case-insensitive, as effect state names are.
const StateInfo* FindState(const std::string& name);
const StateInfo* StateByOperation(uint32_t operation);

// The value of a word for a state (e.g. Filter "POINT" = 1), case-insensitive.
bool FindValueWord(ValueWords words, const std::string& word, uint32_t* value);

}  // namespace fx2
