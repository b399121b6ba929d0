#include "fx2/effect_model.h"

#include <cstring>

namespace fx2 {

bool IsNumeric(Type type) { return type == Type::Bool || type == Type::Int || type == Type::Float; }

bool IsTexture(Type type) { return type >= Type::Texture && type <= Type::TextureCube; }

bool IsSampler(Type type) { return type >= Type::Sampler && type <= Type::SamplerCube; }

bool IsShader(Type type) { return type == Type::PixelShader || type == Type::VertexShader; }

const char* TypeName(Type type) {
  static const char* const kNames[] = {
      "void",      "bool",      "int",         "float",       "string",      "texture",
      "texture1D", "texture2D", "texture3D",   "textureCUBE", "sampler",     "sampler1D",
      "sampler2D", "sampler3D", "samplerCUBE", "pixelshader", "vertexshader"};
  uint32_t index = static_cast<uint32_t>(type);
  return index < sizeof(kNames) / sizeof(kNames[0]) ? kNames[index] : "unknown";
}

uint32_t FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  return bits;
}

namespace {

Value Numbers(Shape shape, std::vector<uint32_t> numbers) {
  Value value;
  value.shape = shape;
  value.numbers = std::move(numbers);
  return value;
}

std::vector<uint32_t> IntBits(const std::vector<int32_t>& values) {
  std::vector<uint32_t> bits;
  bits.reserve(values.size());
  for (int32_t v : values) bits.push_back(static_cast<uint32_t>(v));
  return bits;
}

std::vector<uint32_t> FloatBitsOf(const std::vector<float>& values) {
  std::vector<uint32_t> bits;
  bits.reserve(values.size());
  for (float v : values) bits.push_back(FloatBits(v));
  return bits;
}

uint32_t Size(size_t size) { return static_cast<uint32_t>(size); }

}  // namespace

Value Bool(bool value) { return Numbers(Shape::Scalar(Type::Bool), {value ? 1u : 0u}); }

Value Int(int32_t value) {
  return Numbers(Shape::Scalar(Type::Int), {static_cast<uint32_t>(value)});
}

Value Float(float value) { return Numbers(Shape::Scalar(Type::Float), {FloatBits(value)}); }

Value String(std::string text) {
  Value value;
  value.shape = Shape::Object(Type::String);
  value.strings.push_back(std::move(text));
  return value;
}

Value IntVector(std::vector<int32_t> values) {
  return Numbers(Shape::Vector(Type::Int, Size(values.size())), IntBits(values));
}

Value FloatVector(std::vector<float> values) {
  return Numbers(Shape::Vector(Type::Float, Size(values.size())), FloatBitsOf(values));
}

Value IntArray(std::vector<int32_t> values) {
  return Numbers(Shape::Scalar(Type::Int).Array(Size(values.size())), IntBits(values));
}

Value FloatArray(std::vector<float> values) {
  return Numbers(Shape::Scalar(Type::Float).Array(Size(values.size())), FloatBitsOf(values));
}

Value FloatVectorArray(uint32_t columns, std::vector<float> values) {
  uint32_t count = columns == 0 ? 0 : Size(values.size()) / columns;
  return Numbers(Shape::Vector(Type::Float, columns).Array(count), FloatBitsOf(values));
}

Value FloatMatrix(uint32_t rows, uint32_t columns, std::vector<float> values) {
  return Numbers(Shape::Matrix(Type::Float, rows, columns), FloatBitsOf(values));
}

const Parameter* Effect::FindParameter(const std::string& name) const {
  for (const Parameter& parameter : parameters) {
    if (parameter.name == name) return &parameter;
  }
  return nullptr;
}

}  // namespace fx2
