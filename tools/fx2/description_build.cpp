// From a parsed description to the file: each shader is assembled, gets the
// constant table its bind block asks for, and fills its PixelShader state.
#include "fx2/constant_table.h"
#include "fx2/description.h"

namespace fx2 {

namespace {

// Assembler messages name lines of the assembly text; the block's own
// position says where that text starts.
std::string AssemblyError(const ShaderSource& shader, const std::string& messages) {
  std::string text = shader.position.Text() + ": the shader does not assemble";
  if (!messages.empty()) text += ":\n" + messages;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

WriteOutput CompileDescription(const Description& description, const Assembler& assemble) {
  WriteOutput out;
  Effect effect = description.effect;
  for (const ShaderSource& shader : description.shaders) {
    std::string messages;
    std::vector<uint32_t> code = assemble(shader.text, &messages);
    if (code.empty()) {
      out.error = AssemblyError(shader, messages);
      return out;
    }
    std::vector<ConstantBinding> bindings;
    for (const RegisterBinding& b : shader.bindings) {
      ConstantBinding binding;
      binding.set = b.set;
      binding.index = b.first;
      binding.count = b.count;
      binding.name = b.parameter;
      binding.shape = effect.FindParameter(b.parameter)->value.shape;
      bindings.push_back(binding);
    }
    if (!bindings.empty()) {
      CodeOutput bound = AddConstantTable(code, bindings);
      if (!bound) {
        // The table builder names the binding; the block locates it.
        out.error = shader.position.Text() + ": bind: " + bound.error;
        return out;
      }
      code = std::move(bound.code);
    }
    effect.techniques[shader.technique].passes[shader.pass].states[shader.state].bytecode =
        std::move(code);
  }
  out = WriteFx2(effect);
  if (!out) out.error = description.file + ": " + out.error;
  return out;
}

}  // namespace fx2
