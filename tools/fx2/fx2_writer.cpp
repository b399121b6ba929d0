// Layout: the data area (strings, type definitions, values) is a pool that
// is reached only through offsets, so its order is free; this writer keeps
// the order of the reference file that was verified under Wine: numeric
// parameters as typedef, value, name; object parameters as name, typedef,
// value (a sampler's state values before its block); annotations as value,
// name, typedef; pass states as value, typedef. The structure section
// follows, in the one order D3DX reads it.
#include "fx2/fx2_writer.h"

#include <cstring>

#include "fx2/effect_validation.h"

namespace fx2 {

namespace {

constexpr uint32_t kNoTechnique = 0xFFFFFFFFu;
constexpr uint32_t kNoElement = 0xFFFFFFFFu;
// What fxc writes as the index of states inside a sampler block (D3DX
// ignores it there).
constexpr uint32_t kSamplerBlockIndex = 0x100;

enum Usage : uint32_t { kInlineObject = 0, kParameterName = 1 };

std::vector<uint8_t> Bytes(const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);  // D3DX copies the counted bytes and appends nothing
  return bytes;
}

std::vector<uint8_t> Bytes(const std::vector<uint32_t>& code) {
  std::vector<uint8_t> bytes(code.size() * 4);
  if (!code.empty()) std::memcpy(bytes.data(), code.data(), bytes.size());
  return bytes;
}

struct ObjectData {
  uint32_t id;
  std::vector<uint8_t> payload;
};

struct Resource {
  uint32_t technique;
  uint32_t index;
  uint32_t element;
  uint32_t state;
  uint32_t usage;
  std::vector<uint8_t> payload;
};

class Fx2Layout {
 public:
  explicit Fx2Layout(const Effect& effect) : effect_(effect) {
    // Offset 0 is "no name / no semantic": a string of length 0.
    data_.push_back(0);
  }

  std::vector<uint8_t> Write() {
    for (size_t i = 0; i < effect_.parameters.size(); ++i) {
      WriteParameter(effect_.parameters[i], static_cast<uint32_t>(i));
    }
    for (size_t t = 0; t < effect_.techniques.size(); ++t) {
      WriteTechnique(effect_.techniques[t], static_cast<uint32_t>(t));
    }
    std::vector<uint32_t> structure = {static_cast<uint32_t>(effect_.parameters.size()),
                                       static_cast<uint32_t>(effect_.techniques.size()),
                                       ShaderCountField(effect_), next_id_};
    structure.insert(structure.end(), records_.begin(), records_.end());
    structure.push_back(static_cast<uint32_t>(objects_.size()));
    structure.push_back(static_cast<uint32_t>(resources_.size()));
    for (const ObjectData& object : objects_) {
      structure.push_back(object.id);
      AppendPayload(structure, object.payload);
    }
    for (const Resource& r : resources_) {
      structure.insert(structure.end(), {r.technique, r.index, r.element, r.state, r.usage});
      AppendPayload(structure, r.payload);
    }

    std::vector<uint32_t> file = {kFx2Tag, static_cast<uint32_t>(data_.size() * 4)};
    file.insert(file.end(), data_.begin(), data_.end());
    file.insert(file.end(), structure.begin(), structure.end());
    std::vector<uint8_t> bytes(file.size() * 4);
    std::memcpy(bytes.data(), file.data(), bytes.size());
    return bytes;
  }

 private:
  // size, then the bytes padded with zeros to a whole DWORD.
  static void AppendPayload(std::vector<uint32_t>& out, const std::vector<uint8_t>& payload) {
    out.push_back(static_cast<uint32_t>(payload.size()));
    std::vector<uint32_t> padded((payload.size() + 3) / 4, 0);
    if (!payload.empty()) std::memcpy(padded.data(), payload.data(), payload.size());
    out.insert(out.end(), padded.begin(), padded.end());
  }

  uint32_t Offset() const { return static_cast<uint32_t>(data_.size() * 4); }

  uint32_t Put(uint32_t value) {
    uint32_t offset = Offset();
    data_.push_back(value);
    return offset;
  }

  uint32_t PutAll(const std::vector<uint32_t>& values) {
    uint32_t offset = Offset();
    data_.insert(data_.end(), values.begin(), values.end());
    return offset;
  }

  uint32_t PutString(const std::string& text) {
    uint32_t offset = Offset();
    std::vector<uint8_t> bytes = Bytes(text);
    AppendPayload(data_, bytes);
    return offset;
  }

  uint32_t PutOptionalString(const std::string& text) { return text.empty() ? 0 : PutString(text); }

  uint32_t PutTypedef(const Shape& shape, uint32_t name, uint32_t semantic) {
    uint32_t offset = Put(static_cast<uint32_t>(shape.type));
    Put(static_cast<uint32_t>(shape.klass));
    Put(name);
    Put(semantic);
    Put(shape.elements);
    if (shape.klass == Class::Vector) {
      Put(shape.columns);
      Put(shape.rows);
    } else if (shape.klass != Class::Object) {
      Put(shape.rows);
      Put(shape.columns);
    }
    return offset;
  }

  void Patch(uint32_t offset, uint32_t value) { data_[offset / 4] = value; }

  uint32_t NewId() { return next_id_++; }

  // The value DWORDs of a numeric or string value; strings become objects
  // whose text arrives through OBJECT-DATA entries.
  uint32_t PutPlainValue(const Value& value) {
    if (value.shape.type != Type::String) return PutAll(value.numbers);
    std::vector<uint32_t> ids;
    for (const std::string& text : value.strings) {
      ids.push_back(NewId());
      objects_.push_back({ids.back(), Bytes(text)});
    }
    return PutAll(ids);
  }

  void WriteAnnotations(const std::vector<Annotation>& annotations) {
    for (const Annotation& a : annotations) {
      uint32_t value = PutPlainValue(a.value);
      uint32_t name = PutString(a.name);
      uint32_t type = PutTypedef(a.value.shape, name, 0);
      records_.insert(records_.end(), {type, value});
    }
  }

  uint32_t WriteSamplerBlock(const Parameter& sampler, uint32_t parameter_index) {
    std::vector<uint32_t> block = {static_cast<uint32_t>(sampler.sampler_states.size())};
    for (size_t k = 0; k < sampler.sampler_states.size(); ++k) {
      const SamplerState& s = sampler.sampler_states[k];
      uint32_t value, type;
      if (s.operation == op::kTexture) {
        value = Put(NewId());
        type = PutTypedef(Shape::Object(effect_.FindParameter(s.texture)->value.shape.type), 0, 0);
        resources_.push_back({kNoTechnique, parameter_index, 0, static_cast<uint32_t>(k),
                              kParameterName, Bytes(s.texture)});
      } else {
        value = PutAll(s.value.numbers);
        type = PutTypedef(Shape::Scalar(s.value.shape.type), 0, 0);
      }
      block.insert(block.end(), {s.operation, kSamplerBlockIndex, type, value});
    }
    return PutAll(block);
  }

  void WriteParameter(const Parameter& p, uint32_t index) {
    const Shape& shape = p.value.shape;
    uint32_t type, value;
    if (shape.klass != Class::Object) {
      type = PutTypedef(shape, 0, 0);
      value = PutAll(p.value.numbers);
      Patch(type + 8, PutString(p.name));
      Patch(type + 12, PutOptionalString(p.semantic));
    } else {
      uint32_t name = PutString(p.name);
      uint32_t semantic = PutOptionalString(p.semantic);
      type = PutTypedef(shape, name, semantic);
      if (IsSampler(shape.type)) {
        value = WriteSamplerBlock(p, index);
      } else if (shape.type == Type::String) {
        value = PutPlainValue(p.value);
      } else {
        // Textures get an empty entry as fxc writes; shaders their bytecode,
        // from which D3DX creates the shader while loading.
        uint32_t id = NewId();
        value = Put(id);
        objects_.push_back({id, Bytes(p.value.bytecode)});
      }
    }
    records_.insert(records_.end(), {type, value, 0, static_cast<uint32_t>(p.annotations.size())});
    WriteAnnotations(p.annotations);
  }

  void WritePassState(const PassState& s, uint32_t technique, uint32_t pass, uint32_t k) {
    uint32_t value = 0, type = 0;
    auto reference = [&](uint32_t usage, std::vector<uint8_t> payload) {
      resources_.push_back({technique, pass, kNoElement, k, usage, std::move(payload)});
    };
    switch (s.kind) {
      case PassStateKind::Constant:
        value = PutAll(s.value.numbers);
        type = PutTypedef(Shape::Scalar(s.value.shape.type), 0, 0);
        break;
      case PassStateKind::PixelShaderCode:
        value = Put(NewId());
        type = PutTypedef(Shape::Object(Type::PixelShader), 0, 0);
        reference(kInlineObject, Bytes(s.bytecode));
        break;
      case PassStateKind::PixelShaderParam:
        value = Put(NewId());
        type = PutTypedef(Shape::Object(Type::PixelShader), 0, 0);
        reference(kParameterName, Bytes(s.parameter));
        break;
      case PassStateKind::ShaderNull:
        // Wine 8 turns an INT 0 on a shader state into a NULL shader.
        value = Put(0);
        type = PutTypedef(Shape::Scalar(Type::Int), 0, 0);
        break;
      case PassStateKind::SamplerParam:
        // An empty sampler block; the named parameter's block is used.
        value = Put(0);
        type =
            PutTypedef(Shape::Object(effect_.FindParameter(s.parameter)->value.shape.type), 0, 0);
        reference(kParameterName, Bytes(s.parameter));
        break;
      case PassStateKind::TextureParam:
        value = Put(NewId());
        type =
            PutTypedef(Shape::Object(effect_.FindParameter(s.parameter)->value.shape.type), 0, 0);
        reference(kParameterName, Bytes(s.parameter));
        break;
      case PassStateKind::ShaderConstParam: {
        Type placeholder = s.operation == op::kPixelShaderConstantI   ? Type::Int
                           : s.operation == op::kPixelShaderConstantB ? Type::Bool
                                                                      : Type::Float;
        value = Put(0);
        type = PutTypedef(Shape::Scalar(placeholder), 0, 0);
        reference(kParameterName, Bytes(s.parameter));
        break;
      }
    }
    pending_states_.insert(pending_states_.end(), {s.operation, s.index, type, value});
  }

  void WriteTechnique(const Technique& technique, uint32_t t) {
    uint32_t name = PutString(technique.name);
    records_.insert(records_.end(), {name, static_cast<uint32_t>(technique.annotations.size()),
                                     static_cast<uint32_t>(technique.passes.size())});
    WriteAnnotations(technique.annotations);
    for (size_t p = 0; p < technique.passes.size(); ++p) {
      const Pass& pass = technique.passes[p];
      uint32_t pass_name = PutString(pass.name);
      records_.insert(records_.end(), {pass_name, static_cast<uint32_t>(pass.annotations.size()),
                                       static_cast<uint32_t>(pass.states.size())});
      WriteAnnotations(pass.annotations);
      pending_states_.clear();
      for (size_t k = 0; k < pass.states.size(); ++k) {
        WritePassState(pass.states[k], t, static_cast<uint32_t>(p), static_cast<uint32_t>(k));
      }
      records_.insert(records_.end(), pending_states_.begin(), pending_states_.end());
    }
  }

  const Effect& effect_;
  std::vector<uint32_t> data_;
  std::vector<uint32_t> records_;
  std::vector<uint32_t> pending_states_;
  std::vector<ObjectData> objects_;
  std::vector<Resource> resources_;
  uint32_t next_id_ = 1;  // id 0 is D3DX's scratch slot
};

}  // namespace

uint32_t ShaderCountField(const Effect& effect) {
  uint32_t count = 0;
  for (const Parameter& p : effect.parameters) {
    Type type = p.value.shape.type;
    if (IsShader(type) || IsSampler(type)) count += p.value.shape.Count();
  }
  for (const Technique& technique : effect.techniques) {
    for (const Pass& pass : technique.passes) {
      ++count;
      for (const PassState& s : pass.states) {
        if (s.kind == PassStateKind::PixelShaderCode || s.kind == PassStateKind::PixelShaderParam) {
          ++count;
        }
      }
    }
  }
  return count;
}

WriteOutput WriteFx2(const Effect& effect) {
  WriteOutput out;
  if (!ValidateEffect(effect, &out.error)) return out;
  out.bytes = Fx2Layout(effect).Write();
  return out;
}

}  // namespace fx2
