// The effect description a test builds, and the copies the fake compiler
// and effects make of it.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_d3dx.h"

namespace fakes {
namespace {

using detail::Model;
using detail::Node;
using detail::NodeKind;
using detail::PassNode;
using detail::TechniqueNode;
using detail::ValueNode;

std::unique_ptr<ValueNode> CloneValue(const ValueNode& source) {
  auto copy = std::make_unique<ValueNode>(source.node_kind);
  copy->name = source.name;
  copy->type = source.type;
  copy->elements = source.elements;
  copy->ints = source.ints;
  copy->floats = source.floats;
  copy->text = source.text;
  for (auto& annotation : source.annotations) copy->annotations.push_back(CloneValue(*annotation));
  return copy;
}

void CloneAnnotations(const Node& source, Node& target) {
  for (auto& annotation : source.annotations) target.annotations.push_back(CloneValue(*annotation));
}

}  // namespace

std::unique_ptr<Model> detail::Model::Clone() const {
  auto copy = std::make_unique<Model>();
  for (auto& parameter : parameters) copy->parameters.push_back(CloneValue(*parameter));
  for (auto& technique : techniques) {
    auto t = std::make_unique<TechniqueNode>();
    t->name = technique->name;
    CloneAnnotations(*technique, *t);
    for (auto& pass : technique->passes) {
      auto p = std::make_unique<PassNode>();
      p->name = pass->name;
      p->program = pass->program;
      CloneAnnotations(*pass, *p);
      t->passes.push_back(std::move(p));
    }
    copy->techniques.push_back(std::move(t));
  }
  return copy;
}

namespace detail {

namespace {
ValueNode& AddAnnotation(Node* node, const std::string& name, ValueType type) {
  node->annotations.push_back(std::make_unique<ValueNode>(NodeKind::Annotation));
  ValueNode& annotation = *node->annotations.back();
  annotation.name = name;
  annotation.type = type;
  return annotation;
}
}  // namespace

template <typename Self>
Self& Annotatable<Self>::Annotate(const std::string& name, const char* text) {
  AddAnnotation(node_, name, ValueType::String).text = text ? text : "";
  return static_cast<Self&>(*this);
}
template <typename Self>
Self& Annotatable<Self>::Annotate(const std::string& name, int value) {
  AddAnnotation(node_, name, ValueType::Int).ints = {value};
  return static_cast<Self&>(*this);
}
template <typename Self>
Self& Annotatable<Self>::Annotate(const std::string& name, bool value) {
  AddAnnotation(node_, name, ValueType::Bool).ints = {value ? TRUE : FALSE};
  return static_cast<Self&>(*this);
}
template <typename Self>
Self& Annotatable<Self>::Annotate(const std::string& name, float value) {
  AddAnnotation(node_, name, ValueType::Float).floats = {value};
  return static_cast<Self&>(*this);
}
template <typename Self>
Self& Annotatable<Self>::Annotate(const std::string& name, std::vector<int> values) {
  ValueNode& annotation = AddAnnotation(node_, name, ValueType::IntArray);
  annotation.elements = static_cast<UINT>(values.size());
  annotation.ints = std::move(values);
  return static_cast<Self&>(*this);
}

template class Annotatable<ParameterBuilder>;
template class Annotatable<PassBuilder>;
template class Annotatable<TechniqueBuilder>;

}  // namespace detail

PassBuilder& PassBuilder::Program(PassProgram program) {
  static_cast<PassNode*>(node_)->program = std::move(program);
  return *this;
}

TechniqueBuilder::TechniqueBuilder(detail::TechniqueNode* node)
    : Annotatable(node), technique_(node) {}

PassBuilder& TechniqueBuilder::Pass() {
  technique_->passes.push_back(std::make_unique<PassNode>());
  passes_.emplace_back(technique_->passes.back().get());
  return passes_.back();
}

EffectDescription::EffectDescription() : model_(std::make_unique<Model>()) {}
EffectDescription::EffectDescription(const EffectDescription& other)
    : model_(other.model_->Clone()) {}
EffectDescription& EffectDescription::operator=(const EffectDescription& other) {
  if (this != &other) {
    model_ = other.model_->Clone();
    parameter_builders_.clear();
    technique_builders_.clear();
  }
  return *this;
}
EffectDescription::~EffectDescription() = default;

ParameterBuilder& EffectDescription::AddParameter(const std::string& name, ValueType type) {
  model_->parameters.push_back(std::make_unique<ValueNode>(NodeKind::Parameter));
  ValueNode* node = model_->parameters.back().get();
  node->name = name;
  node->type = type;
  parameter_builders_.emplace_back(node);
  return parameter_builders_.back();
}

ParameterBuilder& EffectDescription::Int(const std::string& name, int value) {
  ParameterBuilder& builder = AddParameter(name, ValueType::Int);
  model_->parameters.back()->ints = {value};
  return builder;
}
ParameterBuilder& EffectDescription::Bool(const std::string& name, bool value) {
  ParameterBuilder& builder = AddParameter(name, ValueType::Bool);
  model_->parameters.back()->ints = {value ? TRUE : FALSE};
  return builder;
}
ParameterBuilder& EffectDescription::Float(const std::string& name, float value) {
  ParameterBuilder& builder = AddParameter(name, ValueType::Float);
  model_->parameters.back()->floats = {value};
  return builder;
}
ParameterBuilder& EffectDescription::Vector(const std::string& name, D3DXVECTOR4 value) {
  ParameterBuilder& builder = AddParameter(name, ValueType::Vector);
  model_->parameters.back()->floats = {value.x, value.y, value.z, value.w};
  return builder;
}
ParameterBuilder& EffectDescription::VectorArray(const std::string& name,
                                                 std::vector<D3DXVECTOR4> values) {
  ParameterBuilder& builder = AddParameter(name, ValueType::VectorArray);
  ValueNode& node = *model_->parameters.back();
  node.elements = static_cast<UINT>(values.size());
  for (auto& v : values) node.floats.insert(node.floats.end(), {v.x, v.y, v.z, v.w});
  return builder;
}
ParameterBuilder& EffectDescription::IntArray(const std::string& name, std::vector<int> values) {
  ParameterBuilder& builder = AddParameter(name, ValueType::IntArray);
  ValueNode& node = *model_->parameters.back();
  node.elements = static_cast<UINT>(values.size());
  node.ints = std::move(values);
  return builder;
}
ParameterBuilder& EffectDescription::Texture(const std::string& name) {
  return AddParameter(name, ValueType::Texture);
}
ParameterBuilder& EffectDescription::String(const std::string& name, const std::string& text) {
  ParameterBuilder& builder = AddParameter(name, ValueType::String);
  model_->parameters.back()->text = text;
  return builder;
}
TechniqueBuilder& EffectDescription::Technique(const std::string& name) {
  model_->techniques.push_back(std::make_unique<TechniqueNode>());
  model_->techniques.back()->name = name;
  technique_builders_.emplace_back(model_->techniques.back().get());
  return technique_builders_.back();
}

}  // namespace fakes
