// Recursive descent over the description's tokens, straight into the effect
// model. Names are checked where they are used, so a wrong reference is
// reported at its own line and column; what remains is the writer's check.
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "fx2/description.h"
#include "fx2/names.h"
#include "fx2/state_table.h"

namespace fx2 {

namespace {

// A literal of an initializer: a number as written (with its sign), a word
// (true/false) or a string.
struct Literal {
  TokenKind kind = TokenKind::Number;
  std::string text;
  SourcePosition position;
};

std::string Describe(const Token& token) {
  switch (token.kind) {
    case TokenKind::End:
      return "the end of the file";
    case TokenKind::String:
      return "a string";
    case TokenKind::Number:
      return "'" + token.text + "'";
    default:
      return "'" + token.text + "'";
  }
}

bool EqualNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return i == a.size() && b[i] == '\0';
}

bool ObjectType(const std::string& word, Type* type) {
  static const struct {
    const char* word;
    Type type;
  } kObjects[] = {{"string", Type::String},          {"texture", Type::Texture},
                  {"texture1D", Type::Texture1D},    {"texture2D", Type::Texture2D},
                  {"texture3D", Type::Texture3D},    {"textureCUBE", Type::TextureCube},
                  {"sampler", Type::Sampler},        {"sampler1D", Type::Sampler1D},
                  {"sampler2D", Type::Sampler2D},    {"sampler3D", Type::Sampler3D},
                  {"samplerCUBE", Type::SamplerCube}};
  for (const auto& entry : kObjects) {
    if (EqualNoCase(word, entry.word)) {
      *type = entry.type;
      return true;
    }
  }
  return false;
}

// bool, int, float with an optional N or NxM suffix (1..4).
bool NumericType(const std::string& word, Shape* shape) {
  static const struct {
    const char* prefix;
    Type type;
  } kBases[] = {{"bool", Type::Bool}, {"int", Type::Int}, {"float", Type::Float}};
  for (const auto& base : kBases) {
    std::string prefix = base.prefix;
    if (word.compare(0, prefix.size(), prefix) != 0) continue;
    std::string rest = word.substr(prefix.size());
    auto dimension = [](char c) { return c >= '1' && c <= '4'; };
    if (rest.empty()) {
      *shape = Shape::Scalar(base.type);
    } else if (rest.size() == 1 && dimension(rest[0])) {
      *shape = Shape::Vector(base.type, static_cast<uint32_t>(rest[0] - '0'));
    } else if (rest.size() == 3 && dimension(rest[0]) && rest[1] == 'x' && dimension(rest[2])) {
      *shape = Shape::Matrix(base.type, static_cast<uint32_t>(rest[0] - '0'),
                             static_cast<uint32_t>(rest[2] - '0'));
    } else {
      return false;
    }
    return true;
  }
  return false;
}

class Parser {
 public:
  Parser(const std::string& text, const std::string& file, const FileReader& reader,
         Description* out, std::string* error, bool hlsl = false)
      : lexer_(text, file, reader), reader_(reader), out_(out), error_(error), hlsl_(hlsl) {}

  bool Run() {
    if (!Advance()) return false;
    while (token_.kind != TokenKind::End) {
      if (IsWord("technique")) {
        if (!ParseTechnique()) return false;
      } else if (hlsl_) {
        if (!ParseHlslTopLevel()) return false;
      } else if (!ParseDeclaration()) {
        return false;
      }
    }
    return true;
  }

 private:
  Effect& effect() { return out_->effect; }

  bool Advance() { return lexer_.Next(&token_, error_); }

  bool Fail(const std::string& what) { return FailAt(token_.position, what); }
  bool FailAt(const SourcePosition& position, const std::string& what) {
    *error_ = position.Text() + ": " + what;
    return false;
  }
  bool Expected(const std::string& what) {
    return Fail("expected " + what + ", found " + Describe(token_));
  }

  bool IsPunct(const char* punct) const {
    return token_.kind == TokenKind::Punct && token_.text == punct;
  }
  bool IsWord(const char* word) const {
    return token_.kind == TokenKind::Identifier && token_.text == word;
  }
  bool Expect(const char* punct, const std::string& context) {
    if (!IsPunct(punct)) return Expected(std::string("'") + punct + "' " + context);
    return Advance();
  }
  bool Identifier(std::string* name, const std::string& what) {
    if (token_.kind != TokenKind::Identifier) return Expected(what);
    *name = token_.text;
    return Advance();
  }
  bool Unsigned(uint32_t* value, const std::string& what) {
    if (token_.kind != TokenKind::Number) return Expected(what);
    char* end = nullptr;
    errno = 0;
    unsigned long number = std::strtoul(token_.text.c_str(), &end, 0);
    if (*end != '\0' || errno != 0 || number > 0xFFFFu) return Expected(what);
    *value = static_cast<uint32_t>(number);
    return Advance();
  }

  // ---- types and values -----------------------------------------------------

  bool ParseType(Shape* shape) {
    bool column_major = false;
    if (IsWord("row_major") || IsWord("column_major")) {
      column_major = IsWord("column_major");
      if (!Advance()) return false;
    }
    if (token_.kind != TokenKind::Identifier) return Expected("a type (float, int4, texture, ...)");
    Type object;
    if (NumericType(token_.text, shape)) {
      if (column_major) {
        if (shape->klass != Class::MatrixRows) return Fail("column_major is for matrix types");
        shape->klass = Class::MatrixColumns;
      }
    } else if (ObjectType(token_.text, &object) && !column_major) {
      *shape = Shape::Object(object);
    } else {
      return Expected("a type (float, int4, float4x4, bool, string, texture, sampler2D, ...)");
    }
    return Advance();
  }

  // One literal or a braced list (nested braces flatten, as in HLSL).
  bool ParseLiterals(std::vector<Literal>* literals) {
    if (IsPunct("{")) {
      if (!Advance()) return false;
      while (!IsPunct("}")) {
        if (!ParseLiterals(literals)) return false;
        if (IsPunct(",")) {
          if (!Advance()) return false;
        } else if (!IsPunct("}")) {
          return Expected("',' or '}' in the initializer");
        }
      }
      return Advance();
    }
    Shape constructed;
    if (hlsl_ && token_.kind == TokenKind::Identifier && NumericType(token_.text, &constructed)) {
      // float4(1, 2, 3, 4): its arguments, as a braced list would give them.
      if (!Advance() || !Expect("(", "after the type of a constructor")) return false;
      while (!IsPunct(")")) {
        if (!ParseLiterals(literals)) return false;
        if (IsPunct(",")) {
          if (!Advance()) return false;
        } else if (!IsPunct(")")) {
          return Expected("',' or ')' in the constructor");
        }
      }
      return Advance();
    }
    Literal literal;
    literal.position = token_.position;
    if (IsPunct("-")) {
      if (!Advance()) return false;
      if (token_.kind != TokenKind::Number) return Expected("a number after '-'");
      literal.text = "-";
    }
    if (token_.kind == TokenKind::Number || token_.kind == TokenKind::String || IsWord("true") ||
        IsWord("false")) {
      literal.kind = token_.kind;
      literal.text += token_.text;
      literals->push_back(literal);
      return Advance();
    }
    return Expected("a value (a number, true, false or a string)");
  }

  bool NumberOf(const Literal& literal, Type type, uint32_t* bits) {
    if (literal.kind == TokenKind::Identifier) {
      *bits = literal.text == "true" ? 1u : 0u;
      if (type == Type::Float) *bits = FloatBits(static_cast<float>(*bits));
      return true;
    }
    if (literal.kind != TokenKind::Number) {
      return FailAt(literal.position, std::string("expected a number for a ") + TypeName(type) +
                                          " value, found a string");
    }
    std::string text = literal.text;
    bool is_float = text.find_first_of(".eEfF") != std::string::npos &&
                    text.find_first_of("xX") == std::string::npos;
    errno = 0;
    char* end = nullptr;
    if (type == Type::Float) {
      if (!text.empty() && (text.back() == 'f' || text.back() == 'F')) text.pop_back();
      float value = std::strtof(text.c_str(), &end);
      if (*end != '\0' || errno != 0)
        return FailAt(literal.position, "'" + literal.text + "' is not a float");
      *bits = FloatBits(value);
      return true;
    }
    long long value = std::strtoll(text.c_str(), &end, 0);
    if (is_float || *end != '\0' || errno != 0 || value < INT32_MIN || value > UINT32_MAX) {
      return FailAt(literal.position, std::string("expected an integer for a ") + TypeName(type) +
                                          " value, found '" + literal.text + "'");
    }
    if (type == Type::Bool && value != 0 && value != 1) {
      return FailAt(literal.position, "a bool is true, false, 0 or 1");
    }
    *bits = static_cast<uint32_t>(value);
    return true;
  }

  bool ParseValue(const Shape& shape, Value* value, const SourcePosition& at) {
    value->shape = shape;
    if (IsTexture(shape.type) || IsSampler(shape.type))
      return Fail("a texture has no initial value");
    std::vector<Literal> literals;
    if (!ParseLiterals(&literals)) return false;
    std::string described = std::string(TypeName(shape.type)) +
                            (shape.elements ? "[" + std::to_string(shape.elements) + "]" : "");
    if (shape.type == Type::String) {
      for (const Literal& l : literals) {
        if (l.kind != TokenKind::String) return FailAt(l.position, "expected a string");
        value->strings.push_back(l.text);
      }
      if (value->strings.size() != shape.Count()) {
        return FailAt(at, "expected " + std::to_string(shape.Count()) + " strings for " +
                              described + ", found " + std::to_string(value->strings.size()));
      }
      return true;
    }
    size_t needed = static_cast<size_t>(shape.DwordsPerElement()) * shape.Count();
    if (literals.size() != needed) {
      return FailAt(at, "expected " + std::to_string(needed) + " values for this " + described +
                            ", found " + std::to_string(literals.size()));
    }
    for (const Literal& l : literals) {
      uint32_t bits = 0;
      if (!NumberOf(l, shape.type, &bits)) return false;
      value->numbers.push_back(bits);
    }
    return true;
  }

  bool ParseArraySuffix(Shape* shape) {
    if (!IsPunct("[")) return true;
    if (!Advance()) return false;
    uint32_t count = 0;
    SourcePosition at = token_.position;
    if (!Unsigned(&count, "an element count")) return false;
    if (count == 0) return FailAt(at, "an array needs at least one element");
    shape->elements = count;
    return Expect("]", "after the element count");
  }

  bool ParseAnnotations(std::vector<Annotation>* annotations) {
    if (!IsPunct("<")) return true;
    if (!Advance()) return false;
    while (!IsPunct(">")) {
      Annotation a;
      Shape shape;
      if (!ParseType(&shape)) return false;
      if (shape.klass == Class::Object && shape.type != Type::String) {
        return Fail("annotations hold numbers and strings only");
      }
      SourcePosition name_at = token_.position;
      if (!Identifier(&a.name, "an annotation name")) return false;
      if (!ParseArraySuffix(&shape)) return false;
      for (const Annotation& other : *annotations) {
        if (other.name == a.name)
          return FailAt(name_at, "a second annotation named '" + a.name + "'");
      }
      SourcePosition at = token_.position;
      if (!Expect("=", "after the annotation name (annotations need a value)")) return false;
      if (!ParseValue(shape, &a.value, at)) return false;
      if (!Expect(";", "after the annotation")) return false;
      annotations->push_back(std::move(a));
    }
    return Advance();
  }

  // ---- HLSL top level ---------------------------------------------------------

  bool IsTypeWord() const {
    Shape shape;
    Type object;
    return token_.kind == TokenKind::Identifier &&
           (NumericType(token_.text, &shape) || ObjectType(token_.text, &object) ||
            IsWord("row_major") || IsWord("column_major"));
  }

  // Raw text up to the ';' that ends the construct, brackets balanced.
  bool SkipStatement(const std::string& what) {
    if (!lexer_.SkipBalanced(';', token_.position, what, error_)) return false;
    return Advance();
  }

  // After the name of a function, at its '(': the parameter list, an
  // optional semantic and the body (or ';' for a prototype).
  bool SkipFunction(const std::string& name) {
    if (!lexer_.SkipBalanced(')', token_.position, "the parameter list of '" + name + "'", error_))
      return false;
    if (!Advance()) return false;
    if (IsPunct(":")) {
      std::string semantic;
      if (!Advance() || !Identifier(&semantic, "a semantic after ':'")) return false;
    }
    if (IsPunct(";")) return Advance();
    if (!IsPunct("{")) return Expected("'{' to open the body of '" + name + "'");
    if (!lexer_.SkipBalanced('}', token_.position, "the body of '" + name + "'", error_))
      return false;
    return Advance();
  }

  bool ParseHlslTopLevel() {
    // Not parameters of the effect: compile-time constants and types.
    if (IsWord("static") || IsWord("struct") || IsWord("typedef"))
      return SkipStatement("'" + token_.text + "'");
    if (IsWord("uniform") || IsWord("extern") || IsWord("const") || IsWord("shared") ||
        IsWord("inline")) {
      return Advance() && ParseHlslTopLevel();
    }
    if (IsPunct(";")) return Advance();
    if (IsTypeWord()) return ParseDeclaration();
    // A function returning a struct or void; anything else is a parameter
    // type the file format cannot hold.
    SourcePosition type_at = token_.position;
    std::string type_name;
    if (!Identifier(&type_name, "a declaration, a function or a technique")) return false;
    std::string name;
    if (!Identifier(&name, "a name after '" + type_name + "'")) return false;
    if (IsPunct("(")) return SkipFunction(name);
    return FailAt(type_at, "'" + name + "' has the type '" + type_name +
                               "', which an effect parameter cannot have (bool, int, float, "
                               "their vectors and matrices, string, texture or sampler)");
  }

  // ---- declarations -----------------------------------------------------------

  bool ParseDeclaration() {
    Shape shape;
    if (!ParseType(&shape)) return false;
    Parameter p;
    SourcePosition name_at = token_.position;
    if (!Identifier(&p.name, "a parameter name")) return false;
    if (hlsl_ && IsPunct("(")) return SkipFunction(p.name);
    if (effect().FindParameter(p.name))
      return FailAt(name_at, "a second parameter named '" + p.name + "'");
    if (!ParseArraySuffix(&shape)) return false;
    if (shape.elements && (IsTexture(shape.type) || IsSampler(shape.type))) {
      return Fail("arrays of textures and samplers are not supported");
    }
    if (IsPunct(":")) {
      if (!Advance()) return false;
      if (IsWord("register")) return Fail("register bindings are not supported: D3DX places parameters itself");
      if (!Identifier(&p.semantic, "a semantic after ':'")) return false;
    }
    if (!ParseAnnotations(&p.annotations)) return false;
    p.value.shape = shape;
    if (IsPunct("=")) {
      SourcePosition at = token_.position;
      if (!Advance()) return false;
      if (IsSampler(shape.type)) {
        if (!ParseSamplerState(&p)) return false;
      } else if (!ParseValue(shape, &p.value, at)) {
        return false;
      }
    } else if (shape.klass != Class::Object) {
      p.value.numbers.assign(static_cast<size_t>(shape.DwordsPerElement()) * shape.Count(), 0);
    } else if (shape.type == Type::String) {
      p.value.strings.assign(shape.Count(), std::string());
    }
    if (!Expect(";", "after the declaration of '" + p.name + "'")) return false;
    effect().parameters.push_back(std::move(p));
    return true;
  }

  // `<Name>` or `(Name)`: a declared parameter of the kind `accept` allows.
  bool ParseReference(std::string* name, bool (*accept)(Type), const char* kind) {
    bool angle = IsPunct("<");
    if (!angle && !IsPunct("(")) return Expected(std::string("<name> or (name) of a ") + kind);
    if (!Advance()) return false;
    SourcePosition at = token_.position;
    if (!Identifier(name, std::string("the name of a ") + kind)) return false;
    const Parameter* p = effect().FindParameter(*name);
    if (!p) return FailAt(at, "unknown parameter '" + *name + "' (declare it before it is used)");
    if (!accept(p->value.shape.type)) {
      return FailAt(at,
                    "'" + *name + "' is a " + TypeName(p->value.shape.type) + ", not a " + kind);
    }
    return Expect(angle ? ">" : ")", std::string("after the ") + kind + " name");
  }

  bool ParseStateValue(const StateInfo& info, Value* value) {
    SourcePosition at = token_.position;
    uint32_t word = 0;
    if (token_.kind == TokenKind::Identifier) {
      if (!FindValueWord(info.words, token_.text, &word)) {
        return Fail("'" + token_.text + "' is not a value of " + info.name);
      }
      if (info.value == StateValue::Float) return Fail(std::string(info.name) + " takes a number");
      *value = Int(static_cast<int32_t>(word));
      return Advance();
    }
    std::vector<Literal> literals;
    if (!ParseLiterals(&literals)) return false;
    if (literals.size() != 1 || literals[0].kind != TokenKind::Number) {
      return FailAt(at, std::string("expected one value for ") + info.name);
    }
    Type type = info.value == StateValue::Float ? Type::Float : Type::Int;
    uint32_t bits = 0;
    if (!NumberOf(literals[0], type, &bits)) return false;
    value->shape = Shape::Scalar(type);
    value->numbers = {bits};
    return true;
  }

  bool ParseSamplerState(Parameter* p) {
    if (!IsWord("sampler_state")) return Expected("sampler_state { ... } for a sampler");
    if (!Advance() || !Expect("{", "after sampler_state")) return false;
    while (!IsPunct("}")) {
      SamplerState s;
      SourcePosition at = token_.position;
      std::string name;
      if (!Identifier(&name, "a sampler state (Texture, MinFilter, AddressU, ...)")) return false;
      if (!Expect("=", "after " + name)) return false;
      if (EqualNoCase(name, "Texture")) {
        s.operation = op::kTexture;
        if (!ParseReference(&s.texture, IsTexture, "texture")) return false;
      } else {
        const StateInfo* info = FindState(name);
        if (!info || info->group != StateGroup::Sampler) {
          return FailAt(at, "'" + name +
                                "' is not a sampler state (Texture, AddressU, AddressV, "
                                "AddressW, MagFilter, MinFilter, MipFilter, ...)");
        }
        s.operation = info->operation;
        if (!ParseStateValue(*info, &s.value)) return false;
      }
      if (!Expect(";", "after the sampler state")) return false;
      p->sampler_states.push_back(std::move(s));
    }
    return Advance();
  }

  // ---- techniques and passes ---------------------------------------------------

  bool ParseTechnique() {
    if (!Advance()) return false;
    Technique technique;
    SourcePosition name_at = token_.position;
    if (!Identifier(&technique.name, "a technique name")) return false;
    for (const Technique& other : effect().techniques) {
      if (other.name == technique.name)
        return FailAt(name_at, "a second technique named '" + technique.name + "'");
    }
    if (!ParseAnnotations(&technique.annotations)) return false;
    if (!Expect("{", "to open the technique")) return false;
    effect().techniques.push_back(std::move(technique));
    size_t t = effect().techniques.size() - 1;
    while (!IsPunct("}")) {
      if (!IsWord("pass")) return Expected("'pass' or '}'");
      if (!ParsePass(t)) return false;
    }
    return Advance();
  }

  bool ParsePass(size_t t) {
    if (!Advance()) return false;
    Pass pass;
    SourcePosition name_at = token_.position;
    if (!Identifier(&pass.name, "a pass name")) return false;
    for (const Pass& other : effect().techniques[t].passes) {
      if (other.name == pass.name)
        return FailAt(name_at, "a second pass named '" + pass.name + "' in the technique");
    }
    if (!ParseAnnotations(&pass.annotations)) return false;
    if (!Expect("{", "to open the pass")) return false;
    effect().techniques[t].passes.push_back(std::move(pass));
    size_t p = effect().techniques[t].passes.size() - 1;
    size_t first_shader = out_->shaders.size();
    std::vector<RegisterBinding> bindings;
    SourcePosition bind_at;
    bool has_bind = false;
    while (!IsPunct("}")) {
      if (IsWord("bind") && hlsl_) {
        return Fail("bind is for effect descriptions: a compiled HLSL shader carries its own constant table");
      } else if (IsWord("bind")) {
        if (has_bind) return Fail("a second bind block in the pass");
        has_bind = true;
        bind_at = token_.position;
        if (!ParseBind(&bindings)) return false;
      } else if (!ParseStatement(t, p)) {
        return false;
      }
    }
    if (has_bind) {
      size_t shaders = out_->shaders.size() - first_shader;
      if (shaders != 1)
        return FailAt(bind_at, "bind needs exactly one PixelShader = asm ... in the pass");
      out_->shaders.back().bindings = std::move(bindings);
    }
    return Advance();
  }

  bool ParseRegister(RegisterSet* set, uint32_t* index) {
    if (token_.kind != TokenKind::Identifier || token_.text.size() < 2) {
      return Expected("a register (c0, i0, b0 or s0)");
    }
    char letter = token_.text[0];
    const std::string digits = token_.text.substr(1);
    if (digits.find_first_not_of("0123456789") != std::string::npos ||
        std::string("cibs").find(letter) == std::string::npos || digits.size() > 3) {
      return Expected("a register (c0, i0, b0 or s0)");
    }
    *set = letter == 'c'   ? RegisterSet::Float4
           : letter == 'i' ? RegisterSet::Int4
           : letter == 'b' ? RegisterSet::Bool
                           : RegisterSet::Sampler;
    *index = static_cast<uint32_t>(std::stoul(digits));
    return Advance();
  }

  bool ParseBind(std::vector<RegisterBinding>* bindings) {
    if (!Advance() || !Expect("{", "after bind")) return false;
    while (!IsPunct("}")) {
      RegisterBinding b;
      b.position = token_.position;
      if (!ParseRegister(&b.set, &b.first)) return false;
      if (IsPunct("-")) {
        if (!Advance()) return false;
        RegisterSet last_set;
        uint32_t last = 0;
        SourcePosition at = token_.position;
        if (!ParseRegister(&last_set, &last)) return false;
        if (last_set != b.set || last < b.first) {
          return FailAt(at, "a register range runs upwards within one register kind (c1-c3)");
        }
        b.count = last - b.first + 1;
      }
      if (!Expect("=", "after the register")) return false;
      SourcePosition at = token_.position;
      if (!Identifier(&b.parameter, "the name of the parameter in the register")) return false;
      if (!effect().FindParameter(b.parameter)) {
        return FailAt(at, "unknown parameter '" + b.parameter + "' (declare it before it is used)");
      }
      if (!Expect(";", "after the binding")) return false;
      bindings->push_back(std::move(b));
    }
    return Advance();
  }

  bool ParseShaderSource(size_t t, size_t p) {
    ShaderSource source;
    source.technique = t;
    source.pass = p;
    source.state = effect().techniques[t].passes[p].states.size();
    if (!Advance()) return false;  // asm
    if (IsPunct("{")) {
      if (!lexer_.RawBlock(&source.text, &source.position, error_)) return false;
    } else if (IsWord("file")) {
      if (!Advance()) return false;
      if (token_.kind != TokenKind::String) return Expected("a quoted file name after asm file");
      std::string resolved, why;
      if (!reader_ || !reader_(token_.text, token_.position.file, &resolved, &source.text, &why)) {
        return Fail("cannot read \"" + token_.text + "\": " + why);
      }
      source.position.file = resolved;
    } else {
      return Expected("'{' or file after asm");
    }
    out_->shaders.push_back(std::move(source));
    PassState state;
    state.kind = PassStateKind::PixelShaderCode;
    state.operation = op::kPixelShader;
    effect().techniques[t].passes[p].states.push_back(std::move(state));
    return Advance();
  }

  // compile <profile> <entry>(): the shader is compiled later, from the
  // whole source, by the HLSL compiler.
  bool ParseCompile(size_t t, size_t p) {
    ShaderSource source;
    source.technique = t;
    source.pass = p;
    source.state = effect().techniques[t].passes[p].states.size();
    source.position = token_.position;
    if (!Advance()) return false;  // compile
    SourcePosition profile_at = token_.position;
    if (!Identifier(&source.profile, "a pixel shader profile (ps_2_0, ps_2_a, ps_2_b, ps_3_0)"))
      return false;
    static const char* const kProfiles[] = {"ps_2_0", "ps_2_a", "ps_2_b", "ps_3_0"};
    bool known = false;
    for (const char* profile : kProfiles) known = known || source.profile == profile;
    if (!known) {
      return FailAt(profile_at, "'" + source.profile +
                                    "' is not a pixel shader profile Texloom compiles (ps_2_0, "
                                    "ps_2_a, ps_2_b, ps_3_0)");
    }
    if (!Identifier(&source.entry, "the name of the function to compile")) return false;
    if (!Expect("(", "after the function name")) return false;
    if (!IsPunct(")")) {
      return Fail("arguments to compile are not supported: give '" + source.entry +
                  "' no uniform parameters and read effect parameters directly");
    }
    out_->shaders.push_back(std::move(source));
    PassState state;
    state.kind = PassStateKind::PixelShaderCode;
    state.operation = op::kPixelShader;
    effect().techniques[t].passes[p].states.push_back(std::move(state));
    return Advance();
  }

  bool ParseStatement(size_t t, size_t p) {
    std::vector<PassState>& states = effect().techniques[t].passes[p].states;
    SourcePosition at = token_.position;
    std::string name;
    if (!Identifier(&name, "a state assignment, bind or '}'")) return false;
    PassState state;
    if (EqualNoCase(name, "PixelShader") || EqualNoCase(name, "VertexShader")) {
      bool pixel = EqualNoCase(name, "PixelShader");
      if (!Expect("=", "after " + name)) return false;
      if (IsWord("NULL")) {
        state.kind = PassStateKind::ShaderNull;
        state.operation = pixel ? op::kPixelShader : op::kVertexShader;
        if (!Advance()) return false;
      } else if (hlsl_ && !pixel && (IsWord("compile") || IsWord("asm"))) {
        return Fail("vertex shaders are not supported: Texloom draws its own full-screen quad "
                    "(leave VertexShader out or set it to NULL)");
      } else if (hlsl_ && IsWord("compile")) {
        if (!ParseCompile(t, p)) return false;
        return Expect(";", "after the shader");
      } else if (hlsl_ && IsWord("asm")) {
        return Fail("assembly shaders are not supported in HLSL effects: write "
                    "PixelShader = compile ps_3_0 Function();");
      } else if (pixel && IsWord("asm")) {
        if (!ParseShaderSource(t, p)) return false;
        return Expect(";", "after the shader");
      } else if (IsWord("compile")) {
        return Fail("no HLSL is compiled here: write the shader as asm { ps_2_0 ... }");
      } else {
        return Expected(pixel ? "asm { ... }, asm file \"...\" or NULL"
                              : "NULL (vertex shaders are not supported)");
      }
    } else if (EqualNoCase(name, "Sampler") || EqualNoCase(name, "Texture")) {
      bool sampler = EqualNoCase(name, "Sampler");
      if (!ParseIndex(&state.index, name)) return false;
      if (!Expect("=", "after " + name + "[n]")) return false;
      state.kind = sampler ? PassStateKind::SamplerParam : PassStateKind::TextureParam;
      state.operation = sampler ? op::kSampler : op::kTexture;
      if (!ParseReference(&state.parameter, sampler ? IsSampler : IsTexture,
                          sampler ? "sampler" : "texture")) {
        return false;
      }
    } else if (ShaderConstant(name, &state.operation)) {
      if (!ParseIndex(&state.index, name)) return false;
      if (!Expect("=", "after " + name + "[r]")) return false;
      state.kind = PassStateKind::ShaderConstParam;
      Type wanted = state.operation == op::kPixelShaderConstantF   ? Type::Float
                    : state.operation == op::kPixelShaderConstantI ? Type::Int
                                                                   : Type::Bool;
      SourcePosition ref_at = token_.position;
      if (!ParseReference(&state.parameter, IsNumeric, "numeric parameter")) return false;
      if (effect().FindParameter(state.parameter)->value.shape.type != wanted) {
        return FailAt(ref_at, name + " takes a " + TypeName(wanted) + " parameter");
      }
    } else {
      const StateInfo* info = FindState(name);
      if (!info) return FailAt(at, "'" + name + "' is not a state this tool knows");
      state.kind = PassStateKind::Constant;
      state.operation = info->operation;
      if (info->group != StateGroup::Render) {
        if (!ParseIndex(&state.index, name)) return false;
      }
      if (!Expect("=", "after " + name)) return false;
      if (!ParseStateValue(*info, &state.value)) return false;
    }
    if (!Expect(";", "after the state assignment")) return false;
    states.push_back(std::move(state));
    return true;
  }

  static bool ShaderConstant(const std::string& name, uint32_t* operation) {
    if (EqualNoCase(name, "PixelShaderConstantF") || EqualNoCase(name, "PixelShaderConstant")) {
      *operation = op::kPixelShaderConstantF;
    } else if (EqualNoCase(name, "PixelShaderConstantI")) {
      *operation = op::kPixelShaderConstantI;
    } else if (EqualNoCase(name, "PixelShaderConstantB")) {
      *operation = op::kPixelShaderConstantB;
    } else {
      return false;
    }
    return true;
  }

  bool ParseIndex(uint32_t* index, const std::string& name) {
    if (!IsPunct("[")) return Expected("'[' after " + name + " (which sampler, stage or register)");
    if (!Advance() || !Unsigned(index, "an index")) return false;
    return Expect("]", "after the index");
  }

  DescriptionLexer lexer_;
  const FileReader& reader_;
  Description* out_;
  std::string* error_;
  bool hlsl_ = false;
  Token token_;
};

}  // namespace

bool ParseDescription(const std::string& text, const std::string& file, const FileReader& reader,
                      Description* description, std::string* error) {
  *description = Description();
  description->file = file;
  return Parser(text, file, reader, description, error).Run();
}

bool ParseHlslDeclarations(const std::string& text, const std::string& file,
                           Description* description, std::string* error) {
  *description = Description();
  description->file = file;
  // Includes are resolved by the preprocessor before this reads the text.
  FileReader no_files;
  return Parser(text, file, no_files, description, error, /*hlsl=*/true).Run();
}

}  // namespace fx2
