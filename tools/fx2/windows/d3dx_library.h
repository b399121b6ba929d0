// The D3DX 9 functions the fx2 tools use on Windows (and under Wine), loaded
// at run time as the plug-in loads them: d3dx9_42.dll down to d3dx9_38.dll.
// Wine's D3DX cannot compile effect text, but it assembles shaders and reads
// compiled effects, which is all these tools need.
#pragma once

#include <d3d9.h>
#include <d3dx9.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace fx2 {

struct D3dxLibrary {
  HMODULE module = nullptr;
  int version = 0;  // the NN of d3dx9_NN.dll
  decltype(&D3DXAssembleShader) assemble_shader = nullptr;
  decltype(&D3DXCreateEffect) create_effect = nullptr;
};

// Loaded once; null when no D3DX 9 library is found.
const D3dxLibrary* LoadD3dx();

// Assembles ps_2_0 / ps_3_0 assembly text. Returns the bytecode, or nothing
// with the assembler's messages in *error_text.
std::vector<uint32_t> AssemblePixelShader(const std::string& text, std::string* error_text);

}  // namespace fx2
