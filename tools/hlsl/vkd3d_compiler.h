// Runs vkd3d-compiler, the HLSL compiler Wine itself uses, as a separate
// program: tools/hlsl/vkd3d-compiler (the copy fetch_vkd3d.sh unpacks) or
// the program named by $TEXLOOM_VKD3D_COMPILER.
#pragma once

#include <string>
#include <vector>

namespace hlsl {

struct CompilerRun {
  bool started = false;  // false: the program could not be run at all
  int status = -1;
  std::string messages;  // its diagnostics, without vkd3d's own trace lines
};

std::string CompilerPath();

// Runs the compiler with `arguments`; messages from its standard error.
CompilerRun RunCompiler(const std::vector<std::string>& arguments);

// The compiler's version line, or empty when it cannot be run.
std::string CompilerVersion();

}  // namespace hlsl
