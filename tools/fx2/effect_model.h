// The model of a compiled fx_2_0 effect as the writer sees it: top-level
// parameters with annotations and sampler blocks, techniques, passes and their
// state assignments. Plain structs; effect_builder.h fills them conveniently.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fx2 {

// D3DXPARAMETER_TYPE values.
enum class Type : uint32_t {
  Void = 0,
  Bool = 1,
  Int = 2,
  Float = 3,
  String = 4,
  Texture = 5,
  Texture1D = 6,
  Texture2D = 7,
  Texture3D = 8,
  TextureCube = 9,
  Sampler = 10,
  Sampler1D = 11,
  Sampler2D = 12,
  Sampler3D = 13,
  SamplerCube = 14,
  PixelShader = 15,
  VertexShader = 16,
};

// D3DXPARAMETER_CLASS values (structs are not modelled).
enum class Class : uint32_t {
  Scalar = 0,
  Vector = 1,
  MatrixRows = 2,
  MatrixColumns = 3,
  Object = 4,
};

bool IsNumeric(Type type);
bool IsTexture(Type type);
bool IsSampler(Type type);
bool IsShader(Type type);
const char* TypeName(Type type);

// Type, class and dimensions of a value; elements = 0 means "not an array".
struct Shape {
  Type type = Type::Float;
  Class klass = Class::Scalar;
  uint32_t rows = 1;
  uint32_t columns = 1;
  uint32_t elements = 0;

  static Shape Scalar(Type type) { return {type, Class::Scalar, 1, 1, 0}; }
  static Shape Vector(Type type, uint32_t columns) { return {type, Class::Vector, 1, columns, 0}; }
  static Shape Matrix(Type type, uint32_t rows, uint32_t columns) {
    return {type, Class::MatrixRows, rows, columns, 0};
  }
  static Shape ColumnMajorMatrix(Type type, uint32_t rows, uint32_t columns) {
    return {type, Class::MatrixColumns, rows, columns, 0};
  }
  static Shape Object(Type type) { return {type, Class::Object, 0, 0, 0}; }
  Shape Array(uint32_t count) const {
    Shape shape = *this;
    shape.elements = count;
    return shape;
  }

  uint32_t Count() const { return elements == 0 ? 1 : elements; }
  // DWORDs of numeric data per element (rows × columns); 0 for objects.
  uint32_t DwordsPerElement() const { return klass == Class::Object ? 0 : rows * columns; }
};

// A value: numeric DWORDs (floats as IEEE bits, row-major per element, elements
// back to back), strings (one per element), or shader bytecode.
struct Value {
  Shape shape;
  std::vector<uint32_t> numbers;
  std::vector<std::string> strings;
  std::vector<uint32_t> bytecode;  // a pixel- or vertex-shader parameter
};

uint32_t FloatBits(float value);

Value Bool(bool value);
Value Int(int32_t value);
Value Float(float value);
Value String(std::string text);
Value IntVector(std::vector<int32_t> values);  // intN, N = size
Value FloatVector(std::vector<float> values);  // floatN, N = size
Value IntArray(std::vector<int32_t> values);
Value FloatArray(std::vector<float> values);
// An array of floatN vectors: values holds columns × count floats.
Value FloatVectorArray(uint32_t columns, std::vector<float> values);
// floatRxC, row-major initializer order.
Value FloatMatrix(uint32_t rows, uint32_t columns, std::vector<float> values);

struct Annotation {
  std::string name;
  Value value;
};

// Operation numbers of the state table that the writer uses by number; the
// full table with names is in state_table.h.
namespace op {
constexpr uint32_t kVertexShader = 146;
constexpr uint32_t kPixelShader = 147;
constexpr uint32_t kPixelShaderConstantF = 156;
constexpr uint32_t kPixelShaderConstantB = 157;
constexpr uint32_t kPixelShaderConstantI = 158;
constexpr uint32_t kTexture = 164;
constexpr uint32_t kAddressU = 165;
constexpr uint32_t kAddressV = 166;
constexpr uint32_t kAddressW = 167;
constexpr uint32_t kBorderColor = 168;
constexpr uint32_t kMagFilter = 169;
constexpr uint32_t kMinFilter = 170;
constexpr uint32_t kMipFilter = 171;
constexpr uint32_t kMipMapLodBias = 172;
constexpr uint32_t kDmapOffset = 177;
constexpr uint32_t kSampler = 178;
constexpr uint32_t kCount = 179;
}  // namespace op

// D3DTEXTUREFILTERTYPE and D3DTEXTUREADDRESS values used in sampler blocks.
enum Filter : uint32_t { kFilterNone = 0, kPoint = 1, kLinear = 2, kAnisotropic = 3 };
enum Address : uint32_t { kWrap = 1, kMirror = 2, kClamp = 3, kBorder = 4, kMirrorOnce = 5 };

// One state inside a sampler_state block: either Texture = <texture>, or a
// sampler state (165..177) with a constant value.
struct SamplerState {
  uint32_t operation = op::kMinFilter;
  Value value;          // scalar INT/BOOL/FLOAT for constant states
  std::string texture;  // Texture = <texture>
};

struct Parameter {
  std::string name;
  std::string semantic;
  Value value;
  std::vector<Annotation> annotations;
  std::vector<SamplerState> sampler_states;  // sampler parameters only
};

enum class PassStateKind {
  Constant,          // render, texture-stage or sampler state with a literal value
  PixelShaderCode,   // PixelShader = asm {...}: inline bytecode
  PixelShaderParam,  // PixelShader = (pixelshader parameter)
  ShaderNull,        // PixelShader = NULL / VertexShader = NULL
  SamplerParam,      // Sampler[n] = (sampler parameter)
  TextureParam,      // Texture[n] = <texture parameter>
  ShaderConstParam,  // PixelShaderConstantF/I/B[r] = (numeric parameter)
};

struct PassState {
  PassStateKind kind = PassStateKind::Constant;
  uint32_t operation = 0;
  uint32_t index = 0;
  Value value;                     // Constant
  std::string parameter;           // *Param kinds
  std::vector<uint32_t> bytecode;  // PixelShaderCode
};

struct Pass {
  std::string name;
  std::vector<Annotation> annotations;
  std::vector<PassState> states;
};

struct Technique {
  std::string name;
  std::vector<Annotation> annotations;
  std::vector<Pass> passes;
};

struct Effect {
  std::vector<Parameter> parameters;
  std::vector<Technique> techniques;

  const Parameter* FindParameter(const std::string& name) const;
};

}  // namespace fx2
