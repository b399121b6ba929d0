// Effect descriptions: the HLSL-like text texloom-fxo turns into a .fxo.
// Declarations, annotations, sampler_state blocks, techniques and passes are
// written as in HLSL effect files; shaders are assembly (`asm { ... }` or
// `asm file "x.psh"`), and a pass's `bind { c0 = Track0; s0 = Source0; }`
// names the parameter behind each register, from which the shader gets its
// constant table. docs/effect-description.md describes the language.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fx2/description_lexer.h"
#include "fx2/effect_model.h"
#include "fx2/fx2_writer.h"
#include "fx2/shader_code.h"

namespace fx2 {

struct RegisterBinding {
  RegisterSet set = RegisterSet::Float4;
  uint32_t first = 0;
  uint32_t count = 0;  // 0 = the whole parameter
  std::string parameter;
  SourcePosition position;
};

// A pass's assembly, to be assembled into the PixelShader state it fills.
struct ShaderSource {
  size_t technique = 0;
  size_t pass = 0;
  size_t state = 0;
  std::string text;
  SourcePosition position;  // where the assembly text starts
  std::vector<RegisterBinding> bindings;
  // HLSL: `compile <profile> <entry>()`; the text above is then empty.
  std::string profile;
  std::string entry;
};

struct Description {
  std::string file;  // the description's own file, for messages
  Effect effect;
  std::vector<ShaderSource> shaders;
};

// False with "file:line:column: what was expected" on the first error.
bool ParseDescription(const std::string& text, const std::string& file, const FileReader& reader,
                      Description* description, std::string* error);

// The declarations of an HLSL effect file after preprocessing: the same
// declarations, techniques and passes, with `PixelShader = compile ps_x_y
// Fn()` recorded as a ShaderSource with its profile and entry point, and
// top-level functions, structs and static variables skipped. What cannot be
// written (vertex shaders, uniform arguments to compile, asm, bind) is an
// error at its position.
bool ParseHlslDeclarations(const std::string& text, const std::string& file,
                           Description* description, std::string* error);

// Assembles ps_2_0/ps_3_0 text: bytecode, or nothing with the messages.
using Assembler = std::function<std::vector<uint32_t>(const std::string& text, std::string* error)>;

// Assembles every shader, adds the constant tables its bindings ask for and
// writes the file.
WriteOutput CompileDescription(const Description& description, const Assembler& assemble);

}  // namespace fx2
