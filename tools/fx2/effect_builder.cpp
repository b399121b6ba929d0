#include "fx2/effect_builder.h"

#include "fx2/state_table.h"

namespace fx2 {

SamplerBuilder& SamplerBuilder::Texture(std::string texture) {
  SamplerState state;
  state.operation = op::kTexture;
  state.texture = std::move(texture);
  get().sampler_states.push_back(std::move(state));
  return *this;
}

SamplerBuilder& SamplerBuilder::State(uint32_t operation, Value value) {
  SamplerState state;
  state.operation = operation;
  state.value = std::move(value);
  get().sampler_states.push_back(std::move(state));
  return *this;
}

PassBuilder& PassBuilder::Add(PassState state) {
  get().states.push_back(std::move(state));
  return *this;
}

PassBuilder& PassBuilder::PixelShader(std::vector<uint32_t> bytecode) {
  PassState state;
  state.kind = PassStateKind::PixelShaderCode;
  state.operation = op::kPixelShader;
  state.bytecode = std::move(bytecode);
  return Add(std::move(state));
}

PassBuilder& PassBuilder::PixelShaderParameter(std::string parameter) {
  PassState state;
  state.kind = PassStateKind::PixelShaderParam;
  state.operation = op::kPixelShader;
  state.parameter = std::move(parameter);
  return Add(std::move(state));
}

PassBuilder& PassBuilder::PixelShaderNull() {
  PassState state;
  state.kind = PassStateKind::ShaderNull;
  state.operation = op::kPixelShader;
  return Add(std::move(state));
}

PassBuilder& PassBuilder::VertexShaderNull() {
  PassState state;
  state.kind = PassStateKind::ShaderNull;
  state.operation = op::kVertexShader;
  return Add(std::move(state));
}

PassBuilder& PassBuilder::Sampler(uint32_t sampler, std::string parameter) {
  PassState state;
  state.kind = PassStateKind::SamplerParam;
  state.operation = op::kSampler;
  state.index = sampler;
  state.parameter = std::move(parameter);
  return Add(std::move(state));
}

PassBuilder& PassBuilder::Texture(uint32_t stage, std::string parameter) {
  PassState state;
  state.kind = PassStateKind::TextureParam;
  state.operation = op::kTexture;
  state.index = stage;
  state.parameter = std::move(parameter);
  return Add(std::move(state));
}

namespace {

PassState ShaderConstant(uint32_t operation, uint32_t first_register, std::string parameter) {
  PassState state;
  state.kind = PassStateKind::ShaderConstParam;
  state.operation = operation;
  state.index = first_register;
  state.parameter = std::move(parameter);
  return state;
}

}  // namespace

PassBuilder& PassBuilder::PixelShaderConstantF(uint32_t first_register, std::string parameter) {
  return Add(ShaderConstant(op::kPixelShaderConstantF, first_register, std::move(parameter)));
}

PassBuilder& PassBuilder::PixelShaderConstantI(uint32_t first_register, std::string parameter) {
  return Add(ShaderConstant(op::kPixelShaderConstantI, first_register, std::move(parameter)));
}

PassBuilder& PassBuilder::PixelShaderConstantB(uint32_t first_register, std::string parameter) {
  return Add(ShaderConstant(op::kPixelShaderConstantB, first_register, std::move(parameter)));
}

PassBuilder& PassBuilder::State(uint32_t operation, uint32_t index, Value value) {
  PassState state;
  state.kind = PassStateKind::Constant;
  state.operation = operation;
  state.index = index;
  state.value = std::move(value);
  return Add(std::move(state));
}

// An unknown name becomes an operation the writer refuses, so the error is
// reported where every other model error is.
PassBuilder& PassBuilder::State(const std::string& name, uint32_t index, uint32_t value) {
  const StateInfo* info = FindState(name);
  return State(info ? info->operation : op::kCount, index, Int(static_cast<int32_t>(value)));
}

PassBuilder& PassBuilder::State(const std::string& name, uint32_t index, float value) {
  const StateInfo* info = FindState(name);
  return State(info ? info->operation : op::kCount, index, Float(value));
}

PassBuilder TechniqueBuilder::Pass(std::string name) {
  fx2::Pass pass;
  pass.name = std::move(name);
  get().passes.push_back(std::move(pass));
  return PassBuilder(effect_, index_, get().passes.size() - 1);
}

ParameterBuilder EffectBuilder::Parameter(std::string name, Value value) {
  fx2::Parameter parameter;
  parameter.name = std::move(name);
  parameter.value = std::move(value);
  effect_.parameters.push_back(std::move(parameter));
  return ParameterBuilder(&effect_, effect_.parameters.size() - 1);
}

ParameterBuilder EffectBuilder::Texture(std::string name, Type type) {
  Value value;
  value.shape = Shape::Object(type);
  return Parameter(std::move(name), std::move(value));
}

ParameterBuilder EffectBuilder::PixelShader(std::string name, std::vector<uint32_t> bytecode) {
  Value value;
  value.shape = Shape::Object(Type::PixelShader);
  value.bytecode = std::move(bytecode);
  return Parameter(std::move(name), std::move(value));
}

SamplerBuilder EffectBuilder::Sampler(std::string name, Type type) {
  Value value;
  value.shape = Shape::Object(type);
  Parameter(std::move(name), std::move(value));
  return SamplerBuilder(&effect_, effect_.parameters.size() - 1);
}

TechniqueBuilder EffectBuilder::Technique(std::string name) {
  fx2::Technique technique;
  technique.name = std::move(name);
  effect_.techniques.push_back(std::move(technique));
  return TechniqueBuilder(&effect_, effect_.techniques.size() - 1);
}

}  // namespace fx2
