#include "fakes/fake_d3dx.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "fakes/fake_d3d9.h"

// Fail point for a method whose result is no status.
#define FAKE_FAIL_POINT_RETURN(name, value)                        \
  do {                                                             \
    HRESULT planned_status_;                                       \
    if (::fakes::ShouldFail(name, &planned_status_)) return value; \
  } while (0)

namespace fakes {
namespace {

using detail::Model;
using detail::Node;
using detail::NodeKind;
using detail::PassNode;
using detail::TechniqueNode;
using detail::ValueNode;

constexpr char kCompiledMagic[8] = {'T', 'X', 'L', 'M', 'F', 'X', 'O', '\0'};

enum class SourceOutcome { Compiles, CompilesWithWarnings, CompilerFails, CompileEffectFails };

struct SourceEntry {
  SourceOutcome outcome;
  std::shared_ptr<EffectDescription> description;
  std::string text;
  HRESULT status;
};

struct Registry {
  std::recursive_mutex mutex;
  std::map<std::wstring, SourceEntry> sources;
  std::deque<std::unique_ptr<Model>> compiled;
  std::vector<CompilerCreateCall> compiler_calls;
  std::vector<CompileEffectCall> compile_calls;
  std::vector<CreateEffectCall> create_effect_calls;
  std::vector<DWORD> create_buffer_calls;
  // Every node owned by a live fake effect or compiler, to refuse another
  // object's handles.
  std::map<const void*, const void*> node_owner;
  std::vector<FakeEffect*> effects;
  std::vector<FakeEffectCompiler*> compilers;
  FakeEffect* last_effect = nullptr;
  FakeEffectCompiler* last_compiler = nullptr;
};

Registry& Reg() {
  static Registry registry;
  return registry;
}

template <typename F>
void ForEachNode(const Model& model, F visit) {
  for (auto& parameter : model.parameters) {
    visit(parameter.get());
    for (auto& annotation : parameter->annotations) visit(annotation.get());
  }
  for (auto& technique : model.techniques) {
    visit(technique.get());
    for (auto& annotation : technique->annotations) visit(annotation.get());
    for (auto& pass : technique->passes) {
      visit(pass.get());
      for (auto& annotation : pass->annotations) visit(annotation.get());
    }
  }
}

D3DXHANDLE AsHandle(const Node* node) { return reinterpret_cast<D3DXHANDLE>(node); }

size_t Components(const ValueNode& node) {
  switch (node.type) {
    case ValueType::Int:
    case ValueType::Bool:
    case ValueType::IntArray:
      return node.ints.size();
    case ValueType::Float:
    case ValueType::Vector:
    case ValueType::VectorArray:
      return node.floats.size();
    default:
      return 0;
  }
}

bool IsNumeric(const ValueNode& node) {
  return node.type != ValueType::Texture && node.type != ValueType::String;
}

// D3DX converts between numeric types on reading: floats truncate to
// integers, and any non-zero value reads as TRUE.
int ComponentAsInt(const ValueNode& node, size_t i) {
  if (!node.ints.empty()) return node.ints[i];
  return static_cast<int>(node.floats[i]);
}
float ComponentAsFloat(const ValueNode& node, size_t i) {
  if (!node.floats.empty()) return node.floats[i];
  return static_cast<float>(node.ints[i]);
}
void StoreComponent(ValueNode& node, size_t i, float value) {
  if (!node.floats.empty()) {
    node.floats[i] = value;
  } else if (node.type == ValueType::Bool) {
    node.ints[i] = value != 0.0f ? TRUE : FALSE;
  } else {
    node.ints[i] = static_cast<int>(value);
  }
}
void StoreComponent(ValueNode& node, size_t i, int value) {
  if (!node.floats.empty()) {
    node.floats[i] = static_cast<float>(value);
  } else if (node.type == ValueType::Bool) {
    node.ints[i] = value != 0 ? TRUE : FALSE;
  } else {
    node.ints[i] = value;
  }
}

// Like Wine's d3dx9, single values are read and written only on parameters
// that are no arrays, even arrays of one element.
bool IsScalar(const ValueNode& node) {
  return IsNumeric(node) && node.elements == 0 && node.type != ValueType::Vector;
}

}  // namespace

// ---- base effect ----

template <typename Interface>
FakeBaseEffect<Interface>::FakeBaseEffect(const char* interface_name, const Model& model)
    : interface_name_(interface_name), model_(model.Clone()) {
  auto& reg = Reg();
  std::lock_guard<std::recursive_mutex> lock(reg.mutex);
  ForEachNode(*model_, [&](const Node* node) { reg.node_owner[node] = this; });
}

template <typename Interface>
FakeBaseEffect<Interface>::~FakeBaseEffect() {
  auto& reg = Reg();
  std::lock_guard<std::recursive_mutex> lock(reg.mutex);
  ForEachNode(*model_, [&](const Node* node) {
    reg.node_owner.erase(node);
    auto* value = dynamic_cast<const ValueNode*>(node);
    if (value && value->texture) value->texture->Release();
  });
}

template <typename Interface>
Node* FakeBaseEffect<Interface>::Own(D3DXHANDLE handle) const {
  if (!handle) return nullptr;
  auto& reg = Reg();
  std::lock_guard<std::recursive_mutex> lock(reg.mutex);
  auto it = reg.node_owner.find(handle);
  if (it != reg.node_owner.end()) {
    if (it->second != this) return nullptr;
    return const_cast<Node*>(reinterpret_cast<const Node*>(handle));
  }
  // Not a handle of any fake: D3DX reads it as a parameter name.
  return TopLevel(handle);
}

template <typename Interface>
ValueNode* FakeBaseEffect<Interface>::Value(D3DXHANDLE handle) const {
  Node* node = Own(handle);
  if (!node) return nullptr;
  if (node->node_kind != NodeKind::Parameter && node->node_kind != NodeKind::Annotation) {
    return nullptr;
  }
  return static_cast<ValueNode*>(node);
}

template <typename Interface>
ValueNode* FakeBaseEffect<Interface>::TopLevel(const std::string& name) const {
  std::string parameter = name;
  std::string annotation;
  size_t at = name.find('@');
  if (at != std::string::npos) {
    parameter = name.substr(0, at);
    annotation = name.substr(at + 1);
  }
  for (auto& node : model_->parameters) {
    if (node->name != parameter) continue;
    if (at == std::string::npos) return node.get();
    for (auto& a : node->annotations) {
      if (a->name == annotation) return a.get();
    }
    return nullptr;
  }
  return nullptr;
}

template <typename Interface>
void FakeBaseEffect<Interface>::Log(ValueNode* node, SetKind kind, std::vector<int> ints,
                                    std::vector<float> floats, IDirect3DBaseTexture9* texture,
                                    HRESULT result) {
  value_log_.push_back({node ? node->name : std::string(), kind, std::move(ints), std::move(floats),
                        texture, result});
}

template <typename Interface>
HRESULT FakeBaseEffect<Interface>::GetParameterDesc(D3DXHANDLE parameter,
                                                    D3DXPARAMETER_DESC* desc) {
  FAKE_FAIL_POINT(Point("GetParameterDesc").c_str());
  ValueNode* node = Value(parameter);
  if (!node || !desc) return D3DERR_INVALIDCALL;
  D3DXPARAMETER_DESC d;
  std::memset(&d, 0, sizeof(d));
  d.Name = node->name.c_str();
  d.Elements = node->elements;
  d.Annotations = static_cast<UINT>(node->annotations.size());
  d.Rows = 1;
  d.Columns = 1;
  switch (node->type) {
    case ValueType::Int:
    case ValueType::IntArray:
      d.Class = D3DXPC_SCALAR;
      d.Type = D3DXPT_INT;
      d.Bytes = static_cast<UINT>(4 * node->ints.size());
      break;
    case ValueType::Bool:
      d.Class = D3DXPC_SCALAR;
      d.Type = D3DXPT_BOOL;
      d.Bytes = 4;
      break;
    case ValueType::Float:
      d.Class = D3DXPC_SCALAR;
      d.Type = D3DXPT_FLOAT;
      d.Bytes = 4;
      break;
    case ValueType::Vector:
    case ValueType::VectorArray:
      d.Class = D3DXPC_VECTOR;
      d.Type = D3DXPT_FLOAT;
      d.Columns = 4;
      d.Bytes = static_cast<UINT>(4 * node->floats.size());
      break;
    case ValueType::Texture:
      d.Class = D3DXPC_OBJECT;
      d.Type = D3DXPT_TEXTURE;
      d.Rows = d.Columns = 0;
      d.Bytes = sizeof(void*);
      break;
    case ValueType::String:
      d.Class = D3DXPC_OBJECT;
      d.Type = D3DXPT_STRING;
      d.Rows = d.Columns = 0;
      d.Bytes = sizeof(void*);
      break;
  }
  *desc = d;
  return D3D_OK;
}

template <typename Interface>
HRESULT FakeBaseEffect<Interface>::GetTechniqueDesc(D3DXHANDLE technique,
                                                    D3DXTECHNIQUE_DESC* desc) {
  FAKE_FAIL_POINT(Point("GetTechniqueDesc").c_str());
  Node* node = nullptr;
  auto& reg = Reg();
  {
    std::lock_guard<std::recursive_mutex> lock(reg.mutex);
    auto it = reg.node_owner.find(technique);
    if (it != reg.node_owner.end()) {
      if (it->second == this) node = const_cast<Node*>(reinterpret_cast<const Node*>(technique));
    } else if (technique) {
      for (auto& t : model_->techniques) {
        if (t->name == technique) node = t.get();
      }
    }
  }
  if (!node || node->node_kind != NodeKind::Technique || !desc) return D3DERR_INVALIDCALL;
  auto* t = static_cast<TechniqueNode*>(node);
  desc->Name = t->name.c_str();
  desc->Passes = static_cast<UINT>(t->passes.size());
  desc->Annotations = static_cast<UINT>(t->annotations.size());
  return D3D_OK;
}

template <typename Interface>
D3DXHANDLE FakeBaseEffect<Interface>::GetParameterByName(D3DXHANDLE parameter, const char* name) {
  FAKE_FAIL_POINT_RETURN(Point("GetParameterByName").c_str(), nullptr);
  if (!name) return nullptr;
  // The fake has no structures, so only top-level names are found.
  if (parameter) return nullptr;
  return AsHandle(TopLevel(name));
}

template <typename Interface>
D3DXHANDLE FakeBaseEffect<Interface>::GetTechniqueByName(const char* name) {
  FAKE_FAIL_POINT_RETURN(Point("GetTechniqueByName").c_str(), nullptr);
  if (!name) return nullptr;
  for (auto& t : model_->techniques) {
    if (t->name == name) return AsHandle(t.get());
  }
  return nullptr;
}

template <typename Interface>
D3DXHANDLE FakeBaseEffect<Interface>::GetPass(D3DXHANDLE technique, UINT index) {
  FAKE_FAIL_POINT_RETURN(Point("GetPass").c_str(), nullptr);
  Node* node = Own(technique);
  if (!node) {
    for (auto& t : model_->techniques) {
      if (technique && t->name == technique) node = t.get();
    }
  }
  if (!node || node->node_kind != NodeKind::Technique) return nullptr;
  auto* t = static_cast<TechniqueNode*>(node);
  if (index >= t->passes.size()) return nullptr;
  return AsHandle(t->passes[index].get());
}

template <typename Interface>
D3DXHANDLE FakeBaseEffect<Interface>::GetAnnotationByName(D3DXHANDLE object, const char* name) {
  FAKE_FAIL_POINT_RETURN(Point("GetAnnotationByName").c_str(), nullptr);
  Node* node = Own(object);
  if (!node || !name || node->node_kind == NodeKind::Annotation) return nullptr;
  for (auto& a : node->annotations) {
    if (a->name == name) return AsHandle(a.get());
  }
  return nullptr;
}

template <typename Interface>
HRESULT FakeBaseEffect<Interface>::SetBool(D3DXHANDLE parameter, BOOL b) {
  HRESULT status = D3D_OK;
  ValueNode* node = Value(parameter);
  if (::fakes::ShouldFail(Point("SetBool").c_str(), &status)) {
  } else if (!node || !IsScalar(*node)) {
    status = D3DERR_INVALIDCALL;
  } else {
    StoreComponent(*node, 0, b != 0 ? 1 : 0);
  }
  Log(node, SetKind::Bool, {b}, {}, nullptr, status);
  return status;
}

template <typename Interface>
HRESULT FakeBaseEffect<Interface>::GetBool(D3DXHANDLE parameter, BOOL* b) {
  FAKE_FAIL_POINT(Point("GetBool").c_str());
  ValueNode* node = Value(parameter);
  if (!node || !b || !IsScalar(*node)) return D3DERR_INVALIDCALL;
  *b = ComponentAsFloat(*node, 0) != 0.0f ? TRUE : FALSE;
  return D3D_OK;
}

template <typename Interface>
HRESULT FakeBaseEffect<Interface>::SetInt(D3DXHANDLE parameter, INT n) {
  HRESULT status = D3D_OK;
  ValueNode* node = Value(parameter);
  if (::fakes::ShouldFail(Point("SetInt").c_str(), &status)) {
  } else if (!node || !IsScalar(*node)) {
    status = D3DERR_INVALIDCALL;
  } else {
    StoreComponent(*node, 0, static_cast<int>(n));
  }
  Log(node, SetKind::Int, {n}, {}, nullptr, status);
  return status;
}

template <typename Interface>
HRESULT FakeBaseEffect<Interface>::GetInt(D3DXHANDLE parameter, INT* n) {
  FAKE_FAIL_POINT(Point("GetInt").c_str());
  ValueNode* node = Value(parameter);
  if (!node || !n || !IsScalar(*node)) return D3DERR_INVALIDCALL;
  *n = ComponentAsInt(*node, 0);
  return D3D_OK;
}

template <typename Interface>
HRESULT FakeBaseEffect<Interface>::GetIntArray(D3DXHANDLE parameter, INT* n, UINT count) {
  FAKE_FAIL_POINT(Point("GetIntArray").c_str());
  ValueNode* node = Value(parameter);
  if (!node || !n || !IsNumeric(*node)) return D3DERR_INVALIDCALL;
  // D3DX (Wine's d3dx9 as well) copies what the value holds, at most count
  // numbers, and succeeds also when count asks for more.
  size_t size = std::min<size_t>(count, Components(*node));
  for (size_t i = 0; i < size; ++i) n[i] = ComponentAsInt(*node, i);
  return D3D_OK;
}

template <typename Interface>
HRESULT FakeBaseEffect<Interface>::SetFloat(D3DXHANDLE parameter, FLOAT f) {
  HRESULT status = D3D_OK;
  ValueNode* node = Value(parameter);
  if (::fakes::ShouldFail(Point("SetFloat").c_str(), &status)) {
  } else if (!node || !IsScalar(*node)) {
    status = D3DERR_INVALIDCALL;
  } else {
    StoreComponent(*node, 0, f);
  }
  Log(node, SetKind::Float, {}, {f}, nullptr, status);
  return status;
}

template <typename Interface>
HRESULT FakeBaseEffect<Interface>::SetVector(D3DXHANDLE parameter, const D3DXVECTOR4* vector) {
  HRESULT status = D3D_OK;
  ValueNode* node = Value(parameter);
  std::vector<float> values;
  if (vector) values = {vector->x, vector->y, vector->z, vector->w};
  if (::fakes::ShouldFail(Point("SetVector").c_str(), &status)) {
  } else if (!node || !vector ||
             (node->type != ValueType::Vector && node->type != ValueType::Float)) {
    status = D3DERR_INVALIDCALL;
  } else {
    // A float takes only x, as D3DX writes no more components than exist.
    for (size_t i = 0; i < node->floats.size() && i < 4; ++i) node->floats[i] = values[i];
  }
  Log(node, SetKind::Vector, {}, values, nullptr, status);
  return status;
}

template <typename Interface>
HRESULT FakeBaseEffect<Interface>::SetVectorArray(D3DXHANDLE parameter, const D3DXVECTOR4* vector,
                                                  UINT count) {
  HRESULT status = D3D_OK;
  ValueNode* node = Value(parameter);
  std::vector<float> values;
  if (vector) {
    for (UINT i = 0; i < count; ++i) {
      values.insert(values.end(), {vector[i].x, vector[i].y, vector[i].z, vector[i].w});
    }
  }
  if (::fakes::ShouldFail(Point("SetVectorArray").c_str(), &status)) {
  } else if (!node || !vector || node->type != ValueType::VectorArray || count > node->elements) {
    status = D3DERR_INVALIDCALL;
  } else {
    std::copy(values.begin(), values.end(), node->floats.begin());
  }
  Log(node, SetKind::VectorArray, {}, values, nullptr, status);
  return status;
}

template <typename Interface>
HRESULT FakeBaseEffect<Interface>::GetVectorArray(D3DXHANDLE parameter, D3DXVECTOR4* vector,
                                                  UINT count) {
  FAKE_FAIL_POINT(Point("GetVectorArray").c_str());
  ValueNode* node = Value(parameter);
  // As in D3DX, only arrays of vectors, and at most their element count.
  if (count == 0 && node) return D3D_OK;
  if (!node || !vector || node->type != ValueType::VectorArray || count > node->elements) {
    return D3DERR_INVALIDCALL;
  }
  for (UINT i = 0; i < count; ++i) {
    vector[i] = {node->floats[4 * i], node->floats[4 * i + 1], node->floats[4 * i + 2],
                 node->floats[4 * i + 3]};
  }
  return D3D_OK;
}

template <typename Interface>
HRESULT FakeBaseEffect<Interface>::GetString(D3DXHANDLE parameter, const char** string) {
  FAKE_FAIL_POINT(Point("GetString").c_str());
  ValueNode* node = Value(parameter);
  if (!node || !string || node->type != ValueType::String) return D3DERR_INVALIDCALL;
  *string = node->text.c_str();
  return D3D_OK;
}

template <typename Interface>
HRESULT FakeBaseEffect<Interface>::SetTexture(D3DXHANDLE parameter,
                                              IDirect3DBaseTexture9* texture) {
  HRESULT status = D3D_OK;
  ValueNode* node = Value(parameter);
  if (::fakes::ShouldFail(Point("SetTexture").c_str(), &status)) {
  } else if (!node || node->type != ValueType::Texture) {
    status = D3DERR_INVALIDCALL;
  } else {
    // D3DX keeps a reference on the texture until it is replaced or the
    // effect goes.
    if (texture) texture->AddRef();
    if (node->texture) node->texture->Release();
    node->texture = texture;
  }
  Log(node, SetKind::Texture, {}, {}, texture, status);
  return status;
}

template <typename Interface>
std::vector<int> FakeBaseEffect<Interface>::IntValues(const std::string& parameter) const {
  ValueNode* node = TopLevel(parameter);
  std::vector<int> result;
  if (!node || !IsNumeric(*node)) return result;
  for (size_t i = 0; i < Components(*node); ++i) result.push_back(ComponentAsInt(*node, i));
  return result;
}

template <typename Interface>
std::vector<float> FakeBaseEffect<Interface>::FloatValues(const std::string& parameter) const {
  ValueNode* node = TopLevel(parameter);
  std::vector<float> result;
  if (!node || !IsNumeric(*node)) return result;
  for (size_t i = 0; i < Components(*node); ++i) result.push_back(ComponentAsFloat(*node, i));
  return result;
}

template <typename Interface>
IDirect3DBaseTexture9* FakeBaseEffect<Interface>::TextureValue(const std::string& parameter) const {
  ValueNode* node = TopLevel(parameter);
  return node ? node->texture : nullptr;
}

template class FakeBaseEffect<ID3DXEffect>;
template class FakeBaseEffect<ID3DXEffectCompiler>;

// ---- effect ----

FakeEffect::FakeEffect(IDirect3DDevice9* device, const Model& model)
    : FakeBaseEffect("ID3DXEffect", model) {
  if (device) device->AddRef();
  device_ = ComPtr<IDirect3DDevice9>::Adopt(device);
  auto& reg = Reg();
  std::lock_guard<std::recursive_mutex> lock(reg.mutex);
  reg.effects.push_back(this);
  reg.last_effect = this;
}

FakeEffect::~FakeEffect() {
  LeavePass();
  auto& reg = Reg();
  std::lock_guard<std::recursive_mutex> lock(reg.mutex);
  reg.effects.erase(std::remove(reg.effects.begin(), reg.effects.end(), this), reg.effects.end());
  if (reg.last_effect == this) reg.last_effect = nullptr;
}

std::string FakeEffect::current_technique() const { return technique_ ? technique_->name : ""; }

ParameterKind FakeEffect::KindOf(const std::string& parameter) const {
  ValueNode* node = TopLevel(parameter);
  if (!node) return ParameterKind::Missing;
  if (node->type == ValueType::Texture) return ParameterKind::Texture;
  return IsNumeric(*node) ? ParameterKind::Numeric : ParameterKind::Other;
}
std::vector<int> FakeEffect::IntComponents(const std::string& parameter) const {
  return IntValues(parameter);
}
std::vector<float> FakeEffect::FloatComponents(const std::string& parameter) const {
  return FloatValues(parameter);
}
IDirect3DBaseTexture9* FakeEffect::TextureOf(const std::string& parameter) const {
  return TextureValue(parameter);
}
std::vector<IDirect3DBaseTexture9*> FakeEffect::Textures() const {
  std::vector<IDirect3DBaseTexture9*> textures;
  for (auto& parameter : model_->parameters) {
    if (parameter->texture) textures.push_back(parameter->texture);
  }
  return textures;
}

void FakeEffect::LeavePass() {
  if (auto* device = dynamic_cast<FakeDevice*>(device_.get())) device->LeaveEffectPass(this);
}

HRESULT FakeEffect::SetTechnique(D3DXHANDLE technique) {
  HRESULT status = D3D_OK;
  Node* node = Own(technique);
  if (!node && technique) {
    for (auto& t : model_->techniques) {
      if (t->name == technique) node = t.get();
    }
  }
  std::string name = node ? node->name : std::string("?");
  if (::fakes::ShouldFail("ID3DXEffect::SetTechnique", &status)) {
  } else if (!node || node->node_kind != NodeKind::Technique) {
    status = D3DERR_INVALIDCALL;
  } else {
    technique_ = static_cast<TechniqueNode*>(node);
  }
  call_log_.push_back("SetTechnique(" + name + ")" + (status < 0 ? " failed" : ""));
  return status;
}

HRESULT FakeEffect::Begin(UINT* passes, DWORD flags) {
  HRESULT status = D3D_OK;
  // Without a SetTechnique D3DX runs the first technique.
  if (!technique_ && !model_->techniques.empty()) technique_ = model_->techniques.front().get();
  if (::fakes::ShouldFail("ID3DXEffect::Begin", &status)) {
  } else if (!technique_ || begun_) {
    status = D3DERR_INVALIDCALL;
  } else {
    begun_ = true;
    if (passes) *passes = static_cast<UINT>(technique_->passes.size());
  }
  call_log_.push_back("Begin(" + std::to_string(flags) + ")" + (status < 0 ? " failed" : ""));
  return status;
}

HRESULT FakeEffect::BeginPass(UINT pass) {
  HRESULT status = D3D_OK;
  if (::fakes::ShouldFail("ID3DXEffect::BeginPass", &status)) {
  } else if (!begun_ || in_pass_ || pass >= technique_->passes.size()) {
    status = D3DERR_INVALIDCALL;
  } else {
    in_pass_ = true;
    if (auto* device = dynamic_cast<FakeDevice*>(device_.get())) {
      const PassNode& node = *technique_->passes[pass];
      device->EnterEffectPass({this, node.program ? &node.program : nullptr,
                               technique_->name + ", pass " + std::to_string(pass)});
    }
  }
  call_log_.push_back("BeginPass(" + std::to_string(pass) + ")" + (status < 0 ? " failed" : ""));
  return status;
}

HRESULT FakeEffect::EndPass() {
  HRESULT status = D3D_OK;
  if (::fakes::ShouldFail("ID3DXEffect::EndPass", &status)) {
  } else if (!in_pass_) {
    status = D3DERR_INVALIDCALL;
  } else {
    in_pass_ = false;
    LeavePass();
  }
  call_log_.push_back(std::string("EndPass") + (status < 0 ? " failed" : ""));
  return status;
}

HRESULT FakeEffect::End() {
  HRESULT status = D3D_OK;
  // D3DX's End fails only without a Begin, so an injected failure still
  // ends the technique: no real effect stays begun after End.
  const bool failing = ::fakes::ShouldFail("ID3DXEffect::End", &status);
  if (!failing && !begun_) {
    status = D3DERR_INVALIDCALL;
  } else if (begun_) {
    begun_ = false;
    in_pass_ = false;
    LeavePass();
  }
  call_log_.push_back(std::string("End") + (status < 0 ? " failed" : ""));
  return status;
}

HRESULT FakeEffect::OnLostDevice() {
  HRESULT status = D3D_OK;
  ::fakes::ShouldFail("ID3DXEffect::OnLostDevice", &status);
  call_log_.push_back(std::string("OnLostDevice") + (status < 0 ? " failed" : ""));
  return status;
}

HRESULT FakeEffect::OnResetDevice() {
  HRESULT status = D3D_OK;
  ::fakes::ShouldFail("ID3DXEffect::OnResetDevice", &status);
  call_log_.push_back(std::string("OnResetDevice") + (status < 0 ? " failed" : ""));
  return status;
}

// ---- compiler and buffer ----

FakeEffectCompiler::FakeEffectCompiler(const std::wstring& source_path, const Model& model)
    : FakeBaseEffect("ID3DXEffectCompiler", model), source_path_(source_path) {
  auto& reg = Reg();
  std::lock_guard<std::recursive_mutex> lock(reg.mutex);
  reg.compilers.push_back(this);
  reg.last_compiler = this;
}

namespace {
void ForgetCompiler(FakeEffectCompiler* compiler) {
  auto& reg = Reg();
  std::lock_guard<std::recursive_mutex> lock(reg.mutex);
  reg.compilers.erase(std::remove(reg.compilers.begin(), reg.compilers.end(), compiler),
                      reg.compilers.end());
  if (reg.last_compiler == compiler) reg.last_compiler = nullptr;
}

// Registers a copy of the model and returns its compiled bytes.
std::vector<uint8_t> Compile(const Model& model) {
  auto& reg = Reg();
  std::lock_guard<std::recursive_mutex> lock(reg.mutex);
  uint32_t id = static_cast<uint32_t>(reg.compiled.size());
  reg.compiled.push_back(model.Clone());
  std::vector<uint8_t> bytes(kCompiledMagic, kCompiledMagic + sizeof(kCompiledMagic));
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(id >> (8 * i)));
  return bytes;
}

const SourceEntry* FindSource(const std::wstring& path) {
  auto& reg = Reg();
  auto it = reg.sources.find(path);
  return it == reg.sources.end() ? nullptr : &it->second;
}

}  // namespace

FakeEffectCompiler::~FakeEffectCompiler() { ForgetCompiler(this); }

HRESULT FakeEffectCompiler::CompileEffect(DWORD flags, ID3DXBuffer** effect,
                                          ID3DXBuffer** error_messages) {
  HRESULT status = D3D_OK;
  auto& reg = Reg();
  std::lock_guard<std::recursive_mutex> lock(reg.mutex);
  const SourceEntry* source = FindSource(source_path_);
  if (::fakes::ShouldFail("ID3DXEffectCompiler::CompileEffect", &status)) {
  } else if (!effect) {
    status = D3DERR_INVALIDCALL;
  } else if (source && source->outcome == SourceOutcome::CompileEffectFails) {
    status = source->status;
    if (error_messages && !source->text.empty())
      *error_messages = FakeBuffer::FromText(source->text);
  } else {
    *effect = new FakeBuffer(Compile(*model_));
    if (error_messages && source && source->outcome == SourceOutcome::CompilesWithWarnings) {
      *error_messages = FakeBuffer::FromText(source->text);
    }
  }
  reg.compile_calls.push_back({source_path_, flags, error_messages != nullptr, status});
  return status;
}

FakeBuffer* FakeBuffer::FromText(const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return new FakeBuffer(std::move(bytes));
}

LPVOID FakeBuffer::GetBufferPointer() {
  FAKE_FAIL_POINT_RETURN("ID3DXBuffer::GetBufferPointer", nullptr);
  return bytes_.empty() ? nullptr : bytes_.data();
}

DWORD FakeBuffer::GetBufferSize() {
  FAKE_FAIL_POINT_RETURN("ID3DXBuffer::GetBufferSize", 0);
  return static_cast<DWORD>(bytes_.size());
}

// ---- registration and records ----

std::vector<uint8_t> CompiledBytes(const EffectDescription& description) {
  return Compile(description.model());
}

namespace {
void SetSource(const std::wstring& path, SourceOutcome outcome,
               const EffectDescription* description, const std::string& text, HRESULT status) {
  auto& reg = Reg();
  std::lock_guard<std::recursive_mutex> lock(reg.mutex);
  SourceEntry entry{outcome, nullptr, text, status};
  if (description) entry.description = std::make_shared<EffectDescription>(*description);
  reg.sources[path] = std::move(entry);
}
}  // namespace

void SetEffectSource(const std::wstring& path, const EffectDescription& description) {
  SetSource(path, SourceOutcome::Compiles, &description, "", S_OK);
}
void SetEffectSourceWithWarnings(const std::wstring& path, const EffectDescription& description,
                                 const std::string& warnings) {
  SetSource(path, SourceOutcome::CompilesWithWarnings, &description, warnings, S_OK);
}
void SetEffectSourceError(const std::wstring& path, const std::string& errors, HRESULT status) {
  SetSource(path, SourceOutcome::CompilerFails, nullptr, errors, status);
}
void SetCompileEffectError(const std::wstring& path, const EffectDescription& description,
                           const std::string& errors, HRESULT status) {
  SetSource(path, SourceOutcome::CompileEffectFails, &description, errors, status);
}

const std::vector<CompilerCreateCall>& CompilerCreateCalls() { return Reg().compiler_calls; }
const std::vector<CompileEffectCall>& CompileEffectCalls() { return Reg().compile_calls; }
const std::vector<CreateEffectCall>& CreateEffectCalls() { return Reg().create_effect_calls; }
const std::vector<DWORD>& CreateBufferCalls() { return Reg().create_buffer_calls; }

std::vector<FakeEffect*> LiveEffects() {
  std::lock_guard<std::recursive_mutex> lock(Reg().mutex);
  return Reg().effects;
}
FakeEffect* LastCreatedEffect() {
  std::lock_guard<std::recursive_mutex> lock(Reg().mutex);
  return Reg().last_effect;
}
std::vector<FakeEffectCompiler*> LiveCompilers() {
  std::lock_guard<std::recursive_mutex> lock(Reg().mutex);
  return Reg().compilers;
}
FakeEffectCompiler* LastCreatedCompiler() {
  std::lock_guard<std::recursive_mutex> lock(Reg().mutex);
  return Reg().last_compiler;
}

void ResetFakeD3DX() {
  auto& reg = Reg();
  std::lock_guard<std::recursive_mutex> lock(reg.mutex);
  reg.sources.clear();
  reg.compiled.clear();
  reg.compiler_calls.clear();
  reg.compile_calls.clear();
  reg.create_effect_calls.clear();
  reg.create_buffer_calls.clear();
}

// ---- entry points ----

HRESULT WINAPI D3DXCreateEffectCompilerFromFileW(LPCWSTR path, const D3DXMACRO* defines,
                                                 ID3DXInclude* include, DWORD flags,
                                                 ID3DXEffectCompiler** compiler,
                                                 ID3DXBuffer** errors) {
  auto& reg = Reg();
  std::lock_guard<std::recursive_mutex> lock(reg.mutex);
  CompilerCreateCall call{
      path ? path : L"", defines != nullptr, {}, include, flags, errors != nullptr, S_OK};
  for (const D3DXMACRO* macro = defines; macro && macro->Name; ++macro) {
    call.macros.emplace_back(macro->Name, macro->Definition ? macro->Definition : "");
  }
  HRESULT status = S_OK;
  const SourceEntry* source = path ? FindSource(path) : nullptr;
  if (::fakes::ShouldFail("D3DXCreateEffectCompilerFromFileW", &status)) {
  } else if (!path || !compiler) {
    status = D3DERR_INVALIDCALL;
  } else if (!source) {
    // Wine's d3dx9 reports a file it cannot map as invalid data, without text.
    status = kD3DXErrInvalidData;
  } else if (source->outcome == SourceOutcome::CompilerFails) {
    status = source->status;
    if (errors && !source->text.empty()) *errors = FakeBuffer::FromText(source->text);
  } else {
    *compiler = new FakeEffectCompiler(path, source->description->model());
    if (errors && source->outcome == SourceOutcome::CompilesWithWarnings) {
      *errors = FakeBuffer::FromText(source->text);
    }
  }
  call.result = status;
  reg.compiler_calls.push_back(std::move(call));
  return status;
}

HRESULT WINAPI D3DXCreateEffect(IDirect3DDevice9* device, LPCVOID data, UINT size,
                                const D3DXMACRO* defines, ID3DXInclude* include, DWORD flags,
                                ID3DXEffectPool* pool, ID3DXEffect** effect, ID3DXBuffer** errors) {
  auto& reg = Reg();
  std::lock_guard<std::recursive_mutex> lock(reg.mutex);
  CreateEffectCall call{device, {}, size, defines, include, flags, pool, errors != nullptr, S_OK};
  if (data && size) {
    auto* bytes = static_cast<const uint8_t*>(data);
    call.data.assign(bytes, bytes + size);
  }
  HRESULT status = S_OK;
  if (::fakes::ShouldFail("D3DXCreateEffect", &status)) {
  } else if (!device || !data || !size || !effect) {
    status = D3DERR_INVALIDCALL;
  } else {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    uint32_t id = 0;
    bool ours = size == sizeof(kCompiledMagic) + 4 &&
                std::memcmp(bytes, kCompiledMagic, sizeof(kCompiledMagic)) == 0;
    if (ours) {
      for (int i = 0; i < 4; ++i) id |= static_cast<uint32_t>(bytes[8 + i]) << (8 * i);
      ours = id < reg.compiled.size();
    }
    if (!ours) {
      status = kD3DXErrInvalidData;
    } else {
      *effect = new FakeEffect(device, *reg.compiled[id]);
    }
  }
  call.result = status;
  reg.create_effect_calls.push_back(std::move(call));
  return status;
}

HRESULT WINAPI D3DXCreateBuffer(DWORD size, ID3DXBuffer** buffer) {
  auto& reg = Reg();
  std::lock_guard<std::recursive_mutex> lock(reg.mutex);
  reg.create_buffer_calls.push_back(size);
  FAKE_FAIL_POINT("D3DXCreateBuffer");
  if (!buffer) return D3DERR_INVALIDCALL;
  *buffer = new FakeBuffer(std::vector<uint8_t>(size, 0));
  return S_OK;
}

namespace {
// GetProcAddress hands out every entry point as FARPROC; the generic function
// pointer type in between says the signature change is intended.
template <typename F>
FARPROC AsExport(F* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}
}  // namespace

native_platform::FakeLibrary D3DXLibrary(const std::string& omitted_export) {
  native_platform::FakeLibrary library;
  library.exports["D3DXCreateEffectCompilerFromFileW"] =
      AsExport(&D3DXCreateEffectCompilerFromFileW);
  library.exports["D3DXCreateEffect"] = AsExport(&D3DXCreateEffect);
  library.exports["D3DXCreateBuffer"] = AsExport(&D3DXCreateBuffer);
  library.exports.erase(omitted_export);
  return library;
}

}  // namespace fakes
