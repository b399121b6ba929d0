// Fake D3DX 9: effect descriptions built in the test, an effect compiler
// and effects that read them with D3DX's lookup and conversion rules, the
// three library entry points, and a library record for the native loader.
// A pass may carry a program (pass_program.h) that the fake device runs for
// the draws inside BeginPass/EndPass.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "fakes/fake_com.h"
#include "fakes/pass_program.h"
#include "platform/com_ptr.h"
#include "platform/native/test_control.h"
#include "platform/win32_api.h"

namespace fakes {

// D3DX's status for data that is no effect (MAKE_DDHRESULT(2905)).
constexpr HRESULT kD3DXErrInvalidData = static_cast<HRESULT>(0x88760B59u);

enum class ValueType { Int, Bool, Float, Vector, VectorArray, IntArray, Texture, String };

namespace detail {

enum class NodeKind { Parameter, Annotation, Technique, Pass };

struct ValueNode;

struct Node {
  explicit Node(NodeKind kind) : node_kind(kind) {}
  virtual ~Node() = default;
  NodeKind node_kind;
  std::string name;
  std::vector<std::unique_ptr<ValueNode>> annotations;
};

struct ValueNode : Node {
  explicit ValueNode(NodeKind kind) : Node(kind) {}
  ValueType type = ValueType::Int;
  UINT elements = 0;          // as D3DXPARAMETER_DESC::Elements: 0 unless an array
  std::vector<int> ints;      // Int, Bool, IntArray
  std::vector<float> floats;  // Float, Vector (4), VectorArray (4 per element)
  std::string text;           // String
  // Only in an effect's copy: the texture set last, referenced like D3DX does.
  IDirect3DBaseTexture9* texture = nullptr;
};

struct PassNode : Node {
  PassNode() : Node(NodeKind::Pass) {}
  PassProgram program;  // empty: draws change no pixel
};

struct TechniqueNode : Node {
  TechniqueNode() : Node(NodeKind::Technique) {}
  std::vector<std::unique_ptr<PassNode>> passes;
};

struct Model {
  std::vector<std::unique_ptr<ValueNode>> parameters;
  std::vector<std::unique_ptr<TechniqueNode>> techniques;
  std::unique_ptr<Model> Clone() const;
};

// Annotation adders shared by parameters, techniques and passes.
template <typename Self>
class Annotatable {
 public:
  explicit Annotatable(Node* node) : node_(node) {}
  Self& Annotate(const std::string& name, const char* text);
  Self& Annotate(const std::string& name, const std::string& text) {
    return Annotate(name, text.c_str());
  }
  Self& Annotate(const std::string& name, int value);
  Self& Annotate(const std::string& name, bool value);
  Self& Annotate(const std::string& name, float value);
  Self& Annotate(const std::string& name, std::vector<int> values);

 protected:
  Node* node_;
};

}  // namespace detail

class ParameterBuilder : public detail::Annotatable<ParameterBuilder> {
 public:
  using Annotatable::Annotatable;
};

class PassBuilder : public detail::Annotatable<PassBuilder> {
 public:
  using Annotatable::Annotatable;
  // What the pass's draws do to the pixels; copied into compiled effects
  // with the rest of the description.
  PassBuilder& Program(PassProgram program);
};

class TechniqueBuilder : public detail::Annotatable<TechniqueBuilder> {
 public:
  explicit TechniqueBuilder(detail::TechniqueNode* node);
  // Appends a pass; passes are numbered in the order they are added.
  PassBuilder& Pass();

 private:
  detail::TechniqueNode* technique_;
  std::deque<PassBuilder> passes_;
};

// What an effect file declares. Builders stay valid while more are added;
// a copy of a description carries its content but not its builders.
class EffectDescription {
 public:
  EffectDescription();
  EffectDescription(const EffectDescription& other);
  EffectDescription& operator=(const EffectDescription& other);
  ~EffectDescription();

  ParameterBuilder& Int(const std::string& name, int value = 0);
  ParameterBuilder& Bool(const std::string& name, bool value = false);
  ParameterBuilder& Float(const std::string& name, float value = 0.0f);
  ParameterBuilder& Vector(const std::string& name, D3DXVECTOR4 value);
  ParameterBuilder& VectorArray(const std::string& name, std::vector<D3DXVECTOR4> values);
  ParameterBuilder& IntArray(const std::string& name, std::vector<int> values);
  ParameterBuilder& Texture(const std::string& name);
  ParameterBuilder& String(const std::string& name, const std::string& text);
  TechniqueBuilder& Technique(const std::string& name);

  const detail::Model& model() const { return *model_; }

 private:
  ParameterBuilder& AddParameter(const std::string& name, ValueType type);
  std::unique_ptr<detail::Model> model_;
  std::deque<ParameterBuilder> parameter_builders_;
  std::deque<TechniqueBuilder> technique_builders_;
};

// Handle lookup and value reading shared by the effect and the compiler.
// Handles are the addresses of nodes this object owns; a handle that is no
// node of any fake is taken as a parameter name, as D3DX does; a node of
// another fake object is refused.
template <typename Interface>
class FakeBaseEffect : public FakeComObject<Interface> {
 public:
  FakeBaseEffect(const char* interface_name, const detail::Model& model);
  ~FakeBaseEffect() override;

  HRESULT STDMETHODCALLTYPE GetParameterDesc(D3DXHANDLE parameter,
                                             D3DXPARAMETER_DESC* desc) override;
  HRESULT STDMETHODCALLTYPE GetTechniqueDesc(D3DXHANDLE technique,
                                             D3DXTECHNIQUE_DESC* desc) override;
  D3DXHANDLE STDMETHODCALLTYPE GetParameterByName(D3DXHANDLE parameter, const char* name) override;
  D3DXHANDLE STDMETHODCALLTYPE GetTechniqueByName(const char* name) override;
  D3DXHANDLE STDMETHODCALLTYPE GetPass(D3DXHANDLE technique, UINT index) override;
  D3DXHANDLE STDMETHODCALLTYPE GetAnnotationByName(D3DXHANDLE object, const char* name) override;
  HRESULT STDMETHODCALLTYPE SetBool(D3DXHANDLE parameter, BOOL b) override;
  HRESULT STDMETHODCALLTYPE GetBool(D3DXHANDLE parameter, BOOL* b) override;
  HRESULT STDMETHODCALLTYPE SetInt(D3DXHANDLE parameter, INT n) override;
  HRESULT STDMETHODCALLTYPE GetInt(D3DXHANDLE parameter, INT* n) override;
  HRESULT STDMETHODCALLTYPE GetIntArray(D3DXHANDLE parameter, INT* n, UINT count) override;
  HRESULT STDMETHODCALLTYPE SetFloat(D3DXHANDLE parameter, FLOAT f) override;
  HRESULT STDMETHODCALLTYPE SetVector(D3DXHANDLE parameter, const D3DXVECTOR4* vector) override;
  HRESULT STDMETHODCALLTYPE SetVectorArray(D3DXHANDLE parameter, const D3DXVECTOR4* vector,
                                           UINT count) override;
  HRESULT STDMETHODCALLTYPE GetVectorArray(D3DXHANDLE parameter, D3DXVECTOR4* vector,
                                           UINT count) override;
  HRESULT STDMETHODCALLTYPE GetString(D3DXHANDLE parameter, const char** string) override;
  HRESULT STDMETHODCALLTYPE SetTexture(D3DXHANDLE parameter,
                                       IDirect3DBaseTexture9* texture) override;

  enum class SetKind { Int, Bool, Float, Vector, VectorArray, Texture };
  // One Set* call: the parameter's name ("" when the handle named nothing),
  // the values passed and the call's result.
  struct ValueSet {
    std::string parameter;
    SetKind kind;
    std::vector<int> ints;
    std::vector<float> floats;
    IDirect3DBaseTexture9* texture;
    HRESULT result;
  };
  const std::vector<ValueSet>& value_log() const { return value_log_; }
  void ClearValueLog() { value_log_.clear(); }

  // Current values of a top-level parameter (empty when it does not exist).
  std::vector<int> IntValues(const std::string& parameter) const;
  std::vector<float> FloatValues(const std::string& parameter) const;
  IDirect3DBaseTexture9* TextureValue(const std::string& parameter) const;

 protected:
  std::string Point(const char* method) const { return interface_name_ + "::" + method; }
  detail::Node* Own(D3DXHANDLE handle) const;
  detail::ValueNode* Value(D3DXHANDLE handle) const;
  detail::ValueNode* TopLevel(const std::string& name) const;
  void Log(detail::ValueNode* node, SetKind kind, std::vector<int> ints, std::vector<float> floats,
           IDirect3DBaseTexture9* texture, HRESULT result);

  std::string interface_name_;
  std::unique_ptr<detail::Model> model_;
  std::vector<ValueSet> value_log_;
};

// Textures set on it are referenced until replaced or the effect goes, as
// D3DX does; OnLostDevice keeps them.
class FakeEffect : public FakeBaseEffect<ID3DXEffect>, public EffectParameters {
 public:
  // Holds a reference on the device, as D3DX's effect does.
  FakeEffect(IDirect3DDevice9* device, const detail::Model& model);
  ~FakeEffect() override;

  // EffectParameters, for the pass programs.
  ParameterKind KindOf(const std::string& parameter) const override;
  std::vector<int> IntComponents(const std::string& parameter) const override;
  std::vector<float> FloatComponents(const std::string& parameter) const override;
  IDirect3DBaseTexture9* TextureOf(const std::string& parameter) const override;
  std::vector<IDirect3DBaseTexture9*> Textures() const override;

  HRESULT STDMETHODCALLTYPE SetTechnique(D3DXHANDLE technique) override;
  HRESULT STDMETHODCALLTYPE Begin(UINT* passes, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE BeginPass(UINT pass) override;
  HRESULT STDMETHODCALLTYPE EndPass() override;
  HRESULT STDMETHODCALLTYPE End() override;
  HRESULT STDMETHODCALLTYPE OnLostDevice() override;
  HRESULT STDMETHODCALLTYPE OnResetDevice() override;

  IDirect3DDevice9* device() const { return device_.get(); }
  // "SetTechnique(ProcessImage0)", "Begin(0)", "BeginPass(1)", "EndPass", "End",
  // "OnLostDevice", "OnResetDevice"; failed calls end in " failed".
  const std::vector<std::string>& call_log() const { return call_log_; }
  void ClearCallLog() { call_log_.clear(); }
  // Name of the technique set last ("" before any).
  std::string current_technique() const;

 private:
  void LeavePass();

  ComPtr<IDirect3DDevice9> device_;
  detail::TechniqueNode* technique_ = nullptr;
  bool begun_ = false;
  bool in_pass_ = false;
  std::vector<std::string> call_log_;
};

class FakeEffectCompiler : public FakeBaseEffect<ID3DXEffectCompiler> {
 public:
  FakeEffectCompiler(const std::wstring& source_path, const detail::Model& model);
  ~FakeEffectCompiler() override;
  HRESULT STDMETHODCALLTYPE CompileEffect(DWORD flags, ID3DXBuffer** effect,
                                          ID3DXBuffer** error_messages) override;
  const std::wstring& source_path() const { return source_path_; }

 private:
  std::wstring source_path_;
};

class FakeBuffer : public FakeComObject<ID3DXBuffer> {
 public:
  explicit FakeBuffer(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  // A buffer holding the text and its terminator, as D3DX's error buffers do.
  static FakeBuffer* FromText(const std::string& text);
  LPVOID STDMETHODCALLTYPE GetBufferPointer() override;
  DWORD STDMETHODCALLTYPE GetBufferSize() override;
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// The bytes of a compiled effect for the description, e.g. the content of a
// ".fxo" file: D3DXCreateEffect accepts them and builds the description.
std::vector<uint8_t> CompiledBytes(const EffectDescription& description);

// What the compiler finds at a source path. A path with nothing registered
// fails like a missing file (kD3DXErrInvalidData, no error text).
void SetEffectSource(const std::wstring& path, const EffectDescription& description);
// Compiles with S_OK, but hands back the warning text in the error buffer of
// both D3DXCreateEffectCompilerFromFileW and CompileEffect.
void SetEffectSourceWithWarnings(const std::wstring& path, const EffectDescription& description,
                                 const std::string& warnings);
// D3DXCreateEffectCompilerFromFileW fails with the status; the error buffer
// holds the text (none when the text is empty).
void SetEffectSourceError(const std::wstring& path, const std::string& errors,
                          HRESULT status = E_FAIL);
// The compiler is created, but CompileEffect fails with the status and text.
void SetCompileEffectError(const std::wstring& path, const EffectDescription& description,
                           const std::string& errors, HRESULT status = E_FAIL);

using Macros = std::vector<std::pair<std::string, std::string>>;

struct CompilerCreateCall {
  std::wstring path;
  bool macros_given;  // false when the macro table pointer was null
  Macros macros;      // name/definition pairs before the terminating entry
  ID3DXInclude* include;
  DWORD flags;
  bool error_buffer_requested;
  HRESULT result;
};
struct CompileEffectCall {
  std::wstring path;
  DWORD flags;
  bool error_buffer_requested;
  HRESULT result;
};
struct CreateEffectCall {
  IDirect3DDevice9* device;
  std::vector<uint8_t> data;  // the bytes passed (size as given)
  UINT size;
  const D3DXMACRO* defines;
  ID3DXInclude* include;
  DWORD flags;
  ID3DXEffectPool* pool;
  bool error_buffer_requested;
  HRESULT result;
};

const std::vector<CompilerCreateCall>& CompilerCreateCalls();
const std::vector<CompileEffectCall>& CompileEffectCalls();
const std::vector<CreateEffectCall>& CreateEffectCalls();
const std::vector<DWORD>& CreateBufferCalls();

// Fake objects alive now, oldest first; the last created (null once gone).
std::vector<FakeEffect*> LiveEffects();
FakeEffect* LastCreatedEffect();
std::vector<FakeEffectCompiler*> LiveCompilers();
FakeEffectCompiler* LastCreatedCompiler();

// Forgets sources, compiled descriptions and call records.
void ResetFakeD3DX();

// The entry points, with D3DX's signatures. Each has a fail point named
// after itself.
HRESULT WINAPI D3DXCreateEffectCompilerFromFileW(LPCWSTR path, const D3DXMACRO* defines,
                                                 ID3DXInclude* include, DWORD flags,
                                                 ID3DXEffectCompiler** compiler,
                                                 ID3DXBuffer** errors);
HRESULT WINAPI D3DXCreateEffect(IDirect3DDevice9* device, LPCVOID data, UINT size,
                                const D3DXMACRO* defines, ID3DXInclude* include, DWORD flags,
                                ID3DXEffectPool* pool, ID3DXEffect** effect, ID3DXBuffer** errors);
HRESULT WINAPI D3DXCreateBuffer(DWORD size, ID3DXBuffer** buffer);

// A D3DX library exporting the three entry points, less the one named.
native_platform::FakeLibrary D3DXLibrary(const std::string& omitted_export = "");

}  // namespace fakes
