#include "fx2/effect_validation.h"

#include <set>
#include <vector>

#include "fx2/constant_table.h"
#include "fx2/names.h"
#include "fx2/shader_code.h"
#include "fx2/state_table.h"

namespace fx2 {

namespace {

constexpr uint32_t kPixelSamplers = 16;
constexpr uint32_t kTextureStages = 8;

struct Check {
  std::string* error;
  bool Fail(const std::string& where, const std::string& what) {
    *error = where + ": " + what;
    return false;
  }
};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

bool HasNul(const std::string& text) { return text.find('\0') != std::string::npos; }

bool CheckNumericShape(const Value& value, const std::string& where, Check& check) {
  const Shape& s = value.shape;
  bool dims_ok = false;
  switch (s.klass) {
    case Class::Scalar:
      dims_ok = s.rows == 1 && s.columns == 1;
      break;
    case Class::Vector:
      dims_ok = s.rows == 1 && s.columns >= 1 && s.columns <= 4;
      break;
    case Class::MatrixRows:
    case Class::MatrixColumns:
      dims_ok = s.rows >= 1 && s.rows <= 4 && s.columns >= 1 && s.columns <= 4;
      break;
    case Class::Object:
      return check.Fail(where, std::string("a ") + TypeName(s.type) + " value cannot be an object");
  }
  if (!dims_ok) return check.Fail(where, "rows and columns do not fit the value's class");
  size_t expected = static_cast<size_t>(s.DwordsPerElement()) * s.Count();
  if (value.numbers.size() != expected) {
    return check.Fail(where, "holds " + std::to_string(value.numbers.size()) +
                                 " numbers, its type needs " + std::to_string(expected));
  }
  if (!value.strings.empty() || !value.bytecode.empty()) {
    return check.Fail(where, "a numeric value carries strings or bytecode");
  }
  return true;
}

bool CheckStrings(const Value& value, const std::string& where, Check& check) {
  if (value.shape.klass != Class::Object) return check.Fail(where, "a string must be an object");
  if (value.strings.size() != value.shape.Count()) {
    return check.Fail(where, "holds " + std::to_string(value.strings.size()) +
                                 " strings, its type needs " + std::to_string(value.shape.Count()));
  }
  for (const std::string& text : value.strings) {
    // Wine keeps the string as copied, so a NUL inside would cut it short.
    if (HasNul(text)) return check.Fail(where, "a string value contains a NUL character");
  }
  if (!value.numbers.empty() || !value.bytecode.empty()) {
    return check.Fail(where, "a string value carries numbers or bytecode");
  }
  return true;
}

// Object parameters other than strings hold no data of their own here.
bool CheckSingleObject(const Value& value, const std::string& where, Check& check) {
  const Shape& s = value.shape;
  if (s.klass != Class::Object) {
    return check.Fail(where, std::string("a ") + TypeName(s.type) + " must be an object");
  }
  if (s.elements != 0) {
    return check.Fail(
        where, std::string("arrays of ") + TypeName(s.type) + " are not supported by this writer");
  }
  if (!value.numbers.empty() || !value.strings.empty()) {
    return check.Fail(where, std::string("a ") + TypeName(s.type) + " holds no initial data");
  }
  return true;
}

class EffectCheck {
 public:
  EffectCheck(const Effect& effect, std::string* error) : effect_(effect), check_{error} {}

  bool Run() {
    std::set<std::string> names;
    for (size_t i = 0; i < effect_.parameters.size(); ++i) {
      const Parameter& p = effect_.parameters[i];
      std::string where = "parameter " + std::to_string(i) + " " + Quoted(p.name);
      if (!CheckName(p.name, where)) return false;
      if (!names.insert(p.name).second) {
        return check_.Fail(where, "a second parameter of that name (lookups find only the first)");
      }
      if (!CheckParameter(p, where)) return false;
    }
    std::set<std::string> techniques;
    for (size_t t = 0; t < effect_.techniques.size(); ++t) {
      const Technique& technique = effect_.techniques[t];
      std::string where = "technique " + std::to_string(t) + " " + Quoted(technique.name);
      if (!CheckName(technique.name, where)) return false;
      if (!techniques.insert(technique.name).second) {
        return check_.Fail(where, "a second technique of that name");
      }
      if (!CheckAnnotations(technique.annotations, where)) return false;
      std::set<std::string> passes;
      for (size_t i = 0; i < technique.passes.size(); ++i) {
        const Pass& pass = technique.passes[i];
        std::string pass_where = where + ", pass " + std::to_string(i) + " " + Quoted(pass.name);
        if (!CheckName(pass.name, pass_where)) return false;
        if (!passes.insert(pass.name).second) {
          return check_.Fail(pass_where, "a second pass of that name in the technique");
        }
        if (!CheckAnnotations(pass.annotations, pass_where)) return false;
        for (size_t k = 0; k < pass.states.size(); ++k) {
          if (!CheckPassState(pass.states[k], pass_where + ", state " + std::to_string(k))) {
            return false;
          }
        }
      }
    }
    return true;
  }

 private:
  bool CheckName(const std::string& name, const std::string& where) {
    // An empty name is a NULL string to Wine, whose name index strlen()s it.
    if (name.empty()) return check_.Fail(where, "an empty name (Wine crashes on it)");
    if (!IsIdentifier(name)) return check_.Fail(where, "the name is not an identifier");
    return true;
  }

  bool CheckParameter(const Parameter& p, const std::string& where) {
    if (HasNul(p.semantic) || (!p.semantic.empty() && !IsIdentifier(p.semantic))) {
      return check_.Fail(where, "the semantic is not an identifier");
    }
    Type type = p.value.shape.type;
    if (IsNumeric(type)) {
      if (!CheckNumericShape(p.value, where, check_)) return false;
    } else if (type == Type::String) {
      if (!CheckStrings(p.value, where, check_)) return false;
    } else if (IsTexture(type) || IsSampler(type) || type == Type::PixelShader) {
      if (!CheckSingleObject(p.value, where, check_)) return false;
      if (type == Type::PixelShader && !CheckShaderCode(p.value.bytecode, true, where)) {
        return false;
      }
      if (type != Type::PixelShader && !p.value.bytecode.empty()) {
        return check_.Fail(where, "only shaders carry bytecode");
      }
    } else {
      return check_.Fail(
          where, std::string(TypeName(type)) + " parameters are not supported by this writer");
    }
    if (!p.sampler_states.empty() && !IsSampler(type)) {
      return check_.Fail(where, "sampler states on a parameter that is not a sampler");
    }
    for (size_t i = 0; i < p.sampler_states.size(); ++i) {
      if (!CheckSamplerState(p.sampler_states[i], where + ", sampler state " + std::to_string(i))) {
        return false;
      }
    }
    return CheckAnnotations(p.annotations, where);
  }

  bool CheckAnnotations(const std::vector<Annotation>& annotations, const std::string& owner) {
    std::set<std::string> names;
    for (size_t i = 0; i < annotations.size(); ++i) {
      const Annotation& a = annotations[i];
      std::string where = owner + ", annotation " + std::to_string(i) + " " + Quoted(a.name);
      if (!CheckName(a.name, where)) return false;
      if (!names.insert(a.name).second) {
        return check_.Fail(where, "a second annotation of that name (lookups find only the first)");
      }
      Type type = a.value.shape.type;
      if (IsNumeric(type)) {
        if (!CheckNumericShape(a.value, where, check_)) return false;
      } else if (type == Type::String) {
        if (!CheckStrings(a.value, where, check_)) return false;
      } else {
        return check_.Fail(where, std::string(TypeName(type)) +
                                      " annotations are not supported (numbers and strings are)");
      }
    }
    return true;
  }

  const Parameter* Referenced(const std::string& name, const std::string& where) {
    const Parameter* p = effect_.FindParameter(name);
    // Wine fails the load with D3DXERR_INVALIDDATA for a name it cannot find.
    if (!p) check_.Fail(where, "refers to " + Quoted(name) + ", which is not a parameter");
    return p;
  }

  bool CheckConstantValue(const Value& value, StateValue kind, const std::string& where) {
    if (!IsNumeric(value.shape.type) || value.shape.klass == Class::Object ||
        value.shape.elements != 0 || value.shape.DwordsPerElement() != 1 ||
        value.numbers.size() != 1) {
      return check_.Fail(where, "a state value must be one number");
    }
    // Wine passes the DWORD on unchanged: an integer in a float state (or the
    // reverse) would set a different value than written.
    bool is_float = value.shape.type == Type::Float;
    if (kind == StateValue::Float && !is_float) return check_.Fail(where, "needs a float value");
    if (kind == StateValue::Integer && is_float)
      return check_.Fail(where, "needs an integer value");
    return true;
  }

  bool CheckSamplerState(const SamplerState& s, const std::string& where) {
    if (s.operation == op::kTexture) {
      const Parameter* p = Referenced(s.texture, where);
      if (!p) return false;
      // Wine would hand the non-texture's value to SetTexture as a pointer.
      if (!IsTexture(p->value.shape.type)) {
        return check_.Fail(where, "Texture = <" + s.texture + ">, which is not a texture");
      }
      return true;
    }
    const StateInfo* info = StateByOperation(s.operation);
    if (!info || info->group != StateGroup::Sampler) {
      return check_.Fail(where,
                         "operation " + std::to_string(s.operation) + " is not a sampler state");
    }
    if (!s.texture.empty()) return check_.Fail(where, "only the Texture state names a texture");
    return CheckConstantValue(s.value, info->value, where + " (" + info->name + ")");
  }

  bool CheckShaderCode(const std::vector<uint32_t>& code, bool may_be_empty,
                       const std::string& where) {
    if (code.empty()) {
      if (may_be_empty) return true;
      return check_.Fail(where, "the pixel shader has no bytecode");
    }
    ShaderLayout layout;
    std::string error;
    if (!ReadShaderLayout(code, &layout, &error)) return check_.Fail(where, error);
    if (!IsPixelShaderVersion(layout.version)) {
      return check_.Fail(where, "a vertex shader given as a pixel shader");
    }
    std::vector<CtabConstant> constants;
    if (!ReadConstantTable(code, layout, &constants, &error)) return check_.Fail(where, error);
    for (const CtabConstant& c : constants) {
      if (!CheckCtabConstant(c, where)) return false;
    }
    return true;
  }

  // Mirrors what D3DX does with each constant table entry at load time.
  bool CheckCtabConstant(const CtabConstant& c, const std::string& where) {
    std::string what = "constant table entry " + Quoted(c.name);
    size_t cut = c.name.find_first_of(".[@");
    if (cut != std::string::npos && effect_.FindParameter(c.name.substr(0, cut))) {
      return check_.Fail(where, what + " names a part of a parameter (D3DX wants top-level ones)");
    }
    const Parameter* p = effect_.FindParameter(c.name);
    if (!p) return true;  // D3DX skips names it does not know
    const Shape& s = p->value.shape;
    if (c.klass == Class::Object) {
      if (c.set != RegisterSet::Sampler || !IsSampler(s.type)) {
        return check_.Fail(where, what + " is a sampler, but the parameter is a " +
                                      TypeName(s.type) + " (D3DX refuses the effect)");
      }
      if (c.count > s.Count()) {
        return check_.Fail(where, what + " spans more samplers than the parameter has");
      }
      return true;
    }
    if (!IsNumeric(s.type) || s.klass == Class::Object) {
      return check_.Fail(where, what + " is numeric, but the parameter is a " + TypeName(s.type) +
                                    " (D3DX refuses the effect)");
    }
    if (s.elements != 0 ? c.elements != s.elements : c.elements > 1) {
      return check_.Fail(where, what + " has " + std::to_string(c.elements) +
                                    " elements, the parameter " + std::to_string(s.elements));
    }
    if (c.rows > s.rows || c.columns > s.columns) {
      return check_.Fail(where, what + " is larger than the parameter");
    }
    return true;
  }

  bool CheckPassState(const PassState& s, const std::string& where) {
    switch (s.kind) {
      case PassStateKind::Constant: {
        const StateInfo* info = StateByOperation(s.operation);
        if (!info) {
          return check_.Fail(where, "operation " + std::to_string(s.operation) +
                                        " is not a state this writer knows");
        }
        std::string named = where + " (" + info->name + ")";
        uint32_t limit = info->group == StateGroup::Render         ? 1
                         : info->group == StateGroup::TextureStage ? kTextureStages
                                                                   : kPixelSamplers;
        if (s.index >= limit)
          return check_.Fail(named, "index " + std::to_string(s.index) + " is out of range");
        return CheckConstantValue(s.value, info->value, named);
      }
      case PassStateKind::PixelShaderCode:
        if (s.operation != op::kPixelShader)
          return check_.Fail(where, "bytecode on a non-shader state");
        return CheckShaderCode(s.bytecode, false, where + " (PixelShader)");
      case PassStateKind::PixelShaderParam: {
        const Parameter* p = Referenced(s.parameter, where);
        if (!p) return false;
        if (p->value.shape.type != Type::PixelShader) {
          return check_.Fail(where,
                             "PixelShader = (" + s.parameter + "), which is not a pixelshader");
        }
        return true;
      }
      case PassStateKind::ShaderNull:
        if (s.operation != op::kPixelShader && s.operation != op::kVertexShader) {
          return check_.Fail(where, "NULL is only for PixelShader and VertexShader");
        }
        return true;
      case PassStateKind::SamplerParam: {
        const Parameter* p = Referenced(s.parameter, where);
        if (!p) return false;
        // Wine would read the parameter's value as a sampler block.
        if (!IsSampler(p->value.shape.type)) {
          return check_.Fail(where, "Sampler[" + std::to_string(s.index) + "] = (" + s.parameter +
                                        "), which is not a sampler");
        }
        if (s.index >= kPixelSamplers) return check_.Fail(where, "sampler index out of range");
        return true;
      }
      case PassStateKind::TextureParam: {
        const Parameter* p = Referenced(s.parameter, where);
        if (!p) return false;
        if (!IsTexture(p->value.shape.type)) {
          return check_.Fail(where, "Texture[" + std::to_string(s.index) + "] = <" + s.parameter +
                                        ">, which is not a texture");
        }
        if (s.index >= kPixelSamplers) return check_.Fail(where, "texture stage out of range");
        return true;
      }
      case PassStateKind::ShaderConstParam:
        return CheckShaderConstant(s, where);
    }
    return check_.Fail(where, "unknown state kind");
  }

  bool CheckShaderConstant(const PassState& s, const std::string& where) {
    const Parameter* p = Referenced(s.parameter, where);
    if (!p) return false;
    Type wanted;
    RegisterSet set;
    const char* name;
    switch (s.operation) {
      case op::kPixelShaderConstantF:
        wanted = Type::Float, set = RegisterSet::Float4, name = "PixelShaderConstantF";
        break;
      case op::kPixelShaderConstantI:
        wanted = Type::Int, set = RegisterSet::Int4, name = "PixelShaderConstantI";
        break;
      case op::kPixelShaderConstantB:
        wanted = Type::Bool, set = RegisterSet::Bool, name = "PixelShaderConstantB";
        break;
      default:
        return check_.Fail(where, "not a pixel-shader constant state");
    }
    // BeginPass fails with D3DERR_INVALIDCALL on any other parameter type.
    if (p->value.shape.type != wanted || p->value.shape.klass == Class::Object) {
      return check_.Fail(where, std::string(name) + " needs a " + TypeName(wanted) +
                                    " parameter, " + Quoted(s.parameter) + " is a " +
                                    TypeName(p->value.shape.type));
    }
    uint32_t limit = set == RegisterSet::Float4 ? 224 : 16;
    if (s.index >= limit) return check_.Fail(where, "register out of range");
    return true;
  }

  const Effect& effect_;
  Check check_;
};

}  // namespace

bool ValidateEffect(const Effect& effect, std::string* error) {
  return EffectCheck(effect, error).Run();
}

}  // namespace fx2
