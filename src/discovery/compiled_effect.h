// The steps that obtain the compiled effect, each returning the D3DX-style
// status the discovery decides on.
#pragma once

#include "discovery/discovery_state.h"

// Reads the ".fxo" file at path into a new compiled-effect buffer.
HRESULT ReadPrecompiledFile(EffectDiscoveryState& state, const wchar_t* path);
// The ".fxo" beside the module, or else an effect compiler for the ".fx"
// with the macro "TEXLOOM_VER"; the compiler's error text is shown.
HRESULT ObtainCompiledEffect(EffectDiscoveryState& state, const wchar_t* module_path);
// Compiles the effect compiler's source into the compiled effect.
HRESULT CompileSource(EffectDiscoveryState& state);
// Shows the narrow text of a D3DX error buffer in the discovery's message box.
void ShowErrorBuffer(ID3DXBuffer* errors);
