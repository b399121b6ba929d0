// Builder-style construction of an fx2::Effect, for test code and tools:
//
//   fx2::EffectBuilder fx;
//   fx.Float("Track0", 0.5f).Annotate("name", "Strength").Annotate("def", 50);
//   fx.Texture("TxSrc0");
//   fx.Sampler("Source0").Texture("TxSrc0").MinFilter(fx2::kPoint).AddressU(fx2::kClamp);
//   fx.Technique("ProcessImage0").Pass("P0").Annotate("RenderTarget0", 0).PixelShader(code);
//   fx2::WriteOutput out = fx2::WriteFx2(fx.effect());
//
// Each builder refers to its item by index, so it stays valid while more
// items are added.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "fx2/effect_model.h"

namespace fx2 {

template <typename Self>
class Annotatable {
 public:
  Self& Annotate(const std::string& name, Value value) {
    Self& self = static_cast<Self&>(*this);
    self.annotations().push_back({name, std::move(value)});
    return self;
  }
  Self& Annotate(const std::string& name, int32_t value) { return Annotate(name, Int(value)); }
  Self& Annotate(const std::string& name, float value) { return Annotate(name, Float(value)); }
  Self& Annotate(const std::string& name, double value) {
    return Annotate(name, Float(static_cast<float>(value)));
  }
  Self& Annotate(const std::string& name, bool value) { return Annotate(name, Bool(value)); }
  Self& Annotate(const std::string& name, const char* text) { return Annotate(name, String(text)); }
  Self& Annotate(const std::string& name, const std::string& text) {
    return Annotate(name, String(text));
  }
};

class ParameterBuilder : public Annotatable<ParameterBuilder> {
 public:
  ParameterBuilder(Effect* effect, size_t index) : effect_(effect), index_(index) {}
  ParameterBuilder& Semantic(std::string semantic) {
    get().semantic = std::move(semantic);
    return *this;
  }
  Parameter& get() { return effect_->parameters[index_]; }
  std::vector<Annotation>& annotations() { return get().annotations; }

 private:
  Effect* effect_;
  size_t index_;
};

class SamplerBuilder : public Annotatable<SamplerBuilder> {
 public:
  SamplerBuilder(Effect* effect, size_t index) : effect_(effect), index_(index) {}
  SamplerBuilder& Texture(std::string texture);
  SamplerBuilder& State(uint32_t operation, Value value);
  SamplerBuilder& MinFilter(Filter filter) { return State(op::kMinFilter, Int(filter)); }
  SamplerBuilder& MagFilter(Filter filter) { return State(op::kMagFilter, Int(filter)); }
  SamplerBuilder& MipFilter(Filter filter) { return State(op::kMipFilter, Int(filter)); }
  SamplerBuilder& AddressU(Address address) { return State(op::kAddressU, Int(address)); }
  SamplerBuilder& AddressV(Address address) { return State(op::kAddressV, Int(address)); }
  SamplerBuilder& AddressW(Address address) { return State(op::kAddressW, Int(address)); }
  // POINT filtering and CLAMP addressing in U and V: exact texel reads.
  SamplerBuilder& PointClamp() {
    return MinFilter(kPoint)
        .MagFilter(kPoint)
        .MipFilter(kFilterNone)
        .AddressU(kClamp)
        .AddressV(kClamp);
  }
  Parameter& get() { return effect_->parameters[index_]; }
  std::vector<Annotation>& annotations() { return get().annotations; }

 private:
  Effect* effect_;
  size_t index_;
};

class PassBuilder : public Annotatable<PassBuilder> {
 public:
  PassBuilder(Effect* effect, size_t technique, size_t pass)
      : effect_(effect), technique_(technique), pass_(pass) {}
  PassBuilder& PixelShader(std::vector<uint32_t> bytecode);
  PassBuilder& PixelShaderParameter(std::string parameter);
  PassBuilder& PixelShaderNull();
  PassBuilder& VertexShaderNull();
  PassBuilder& Sampler(uint32_t sampler, std::string parameter);
  PassBuilder& Texture(uint32_t stage, std::string parameter);
  PassBuilder& PixelShaderConstantF(uint32_t first_register, std::string parameter);
  PassBuilder& PixelShaderConstantI(uint32_t first_register, std::string parameter);
  PassBuilder& PixelShaderConstantB(uint32_t first_register, std::string parameter);
  // A constant render, texture-stage or sampler state; index is the sampler
  // or stage number (0 for render states).
  PassBuilder& State(uint32_t operation, uint32_t index, Value value);
  // By name from the state table (e.g. "CullMode", "MinFilter"): integers
  // for integer states, float bits for float-valued ones.
  PassBuilder& State(const std::string& name, uint32_t index, uint32_t value);
  PassBuilder& State(const std::string& name, uint32_t index, float value);
  Pass& get() { return effect_->techniques[technique_].passes[pass_]; }
  std::vector<Annotation>& annotations() { return get().annotations; }

 private:
  PassBuilder& Add(PassState state);
  Effect* effect_;
  size_t technique_;
  size_t pass_;
};

class TechniqueBuilder : public Annotatable<TechniqueBuilder> {
 public:
  TechniqueBuilder(Effect* effect, size_t index) : effect_(effect), index_(index) {}
  PassBuilder Pass(std::string name);
  Technique& get() { return effect_->techniques[index_]; }
  std::vector<Annotation>& annotations() { return get().annotations; }

 private:
  Effect* effect_;
  size_t index_;
};

class EffectBuilder {
 public:
  ParameterBuilder Parameter(std::string name, Value value);
  ParameterBuilder Bool(std::string name, bool value) { return Parameter(name, fx2::Bool(value)); }
  ParameterBuilder Int(std::string name, int32_t value) { return Parameter(name, fx2::Int(value)); }
  ParameterBuilder Float(std::string name, float value) {
    return Parameter(name, fx2::Float(value));
  }
  ParameterBuilder Float4(std::string name, float x, float y, float z, float w) {
    return Parameter(name, FloatVector({x, y, z, w}));
  }
  ParameterBuilder Float4Array(std::string name, std::vector<float> values) {
    return Parameter(name, FloatVectorArray(4, std::move(values)));
  }
  ParameterBuilder String(std::string name, std::string text) {
    return Parameter(name, fx2::String(std::move(text)));
  }
  ParameterBuilder Texture(std::string name, Type type = Type::Texture);
  ParameterBuilder PixelShader(std::string name, std::vector<uint32_t> bytecode);
  SamplerBuilder Sampler(std::string name, Type type = Type::Sampler2D);
  TechniqueBuilder Technique(std::string name);

  const Effect& effect() const { return effect_; }
  Effect& effect() { return effect_; }

 private:
  Effect effect_;
};

}  // namespace fx2
