// texloom-fxo's HLSL path: an effect file (.fx) to a compiled effect (.fxo).
// Includes are expanded here, vkd3d's preprocessor applies the macros, the
// declaration reader (fx2/description.h) reads parameters, techniques and
// passes, vkd3d compiles each `compile ps_x_y Fn()` to bytecode with its
// constant table, and tools/fx2 writes the container, which vkd3d cannot.
#pragma once

#include <string>
#include <vector>

#include "fx2/fx2_writer.h"

namespace hlsl {

struct EffectOptions {
  std::vector<std::string> include_dirs;
  std::vector<std::string> defines;  // "NAME" or "NAME=VALUE"
};

// TEXLOOM_VER as the plug-in defines it when it compiles an effect: the high
// half of its file version, formatted "0x%08x".
std::string TexloomVersionMacro();

// The .fxo bytes, or an error: "file:line:column: message" lines against the
// user's own files. The compiler's warnings, in the same form, go to
// *warnings when given; every file read (the effect and its includes) to
// *files, also when it does not compile.
fx2::WriteOutput CompileEffectFile(const std::string& path, const EffectOptions& options,
                                   std::string* warnings = nullptr,
                                   std::vector<std::string>* files = nullptr);

}  // namespace hlsl
