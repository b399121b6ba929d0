#include "fakes/pass_execution.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "fakes/fake_d3d9.h"

namespace fakes {
namespace {

Float4 NotANumber() {
  const float nan = std::nanf("");
  return {nan, nan, nan, nan};
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

class DrawContext : public PassContext {
 public:
  DrawContext(const ActivePass& pass, FakeSurface* const targets[4]) : pass_(pass) {
    std::copy(targets, targets + 4, targets_);
    // Only a texture that is set on the effect can be sampled, so only such
    // outputs need their pre-draw content kept.
    for (IDirect3DBaseTexture9* texture : pass_.effect->Textures()) {
      auto* fake = dynamic_cast<FakeTexture*>(static_cast<IUnknown*>(texture));
      if (!fake || snapshots_.count(fake)) continue;
      for (FakeSurface* target : targets_) {
        if (target && target->container() == fake) snapshots_[fake] = fake->bits();
      }
    }
  }

  UINT width() const override { return targets_[0]->width(); }
  UINT height() const override { return targets_[0]->height(); }
  const std::string& pass() const override { return pass_.label; }

  Float4 Sample(const std::string& name, int x, int y) override {
    FakeTexture* texture = SampledTexture(name);
    if (!texture) return NotANumber();
    const int w = static_cast<int>(texture->width());
    const int h = static_cast<int>(texture->height());
    x = std::min(std::max(x, 0), w - 1);
    y = std::min(std::max(y, 0), h - 1);
    const uint8_t* bits = texture->bits().data();
    auto snapshot = snapshots_.find(texture);
    if (snapshot != snapshots_.end()) {
      bits = snapshot->second.data();
      feedback_ = true;
    }
    const size_t offset = static_cast<size_t>(y) * texture->pitch() +
                          static_cast<size_t>(x) * BytesPerTexel(texture->format());
    return DecodeTexel(texture->format(), bits + offset);
  }

  int Int(const std::string& name) override {
    std::vector<int> values = Numbers<int>(name);
    return values.empty() ? 0 : values[0];
  }
  bool Bool(const std::string& name) override {
    std::vector<float> values = Numbers<float>(name);
    return !values.empty() && values[0] != 0.0f;
  }
  float Float(const std::string& name) override {
    std::vector<float> values = Numbers<float>(name);
    return values.empty() ? std::nanf("") : values[0];
  }
  Float4 Vector(const std::string& name) override {
    std::vector<float> values = Numbers<float>(name);
    Float4 vector;
    for (size_t i = 0; i < values.size() && i < 4; ++i) vector[static_cast<int>(i)] = values[i];
    return vector;
  }
  std::vector<Float4> VectorArray(const std::string& name) override {
    std::vector<float> values = Numbers<float>(name);
    std::vector<Float4> vectors((values.size() + 3) / 4);
    for (size_t i = 0; i < values.size(); ++i) vectors[i / 4][static_cast<int>(i % 4)] = values[i];
    return vectors;
  }

  void Shade(const Shader& shader) override {
    FakeSurface* outputs[4] = {};
    for (int m = 0; m < 4; ++m) {
      FakeSurface* target = targets_[m];
      if (!target) continue;
      if (!HasTexelCodec(target->format())) {
        Error("render target " + std::to_string(m) + " has format " +
              std::to_string(target->format()) + ", which the fake cannot write");
      } else if (target->container() && target->container()->locked()) {
        Error("render target " + std::to_string(m) + " is locked during the draw");
      } else {
        outputs[m] = target;
      }
    }
    const int w = static_cast<int>(width());
    const int h = static_cast<int>(height());
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        Float4 out[4];
        shader(x, y, out);
        for (int m = 0; m < 4; ++m) {
          FakeSurface* target = outputs[m];
          if (!target) continue;
          const size_t offset = static_cast<size_t>(y) * target->pitch() +
                                static_cast<size_t>(x) * BytesPerTexel(target->format());
          EncodeTexel(target->format(), out[m], target->bits() + offset);
        }
      }
    }
  }

  PassOutcome Finish() { return {feedback_, std::move(errors_)}; }

 private:
  void Error(const std::string& text) {
    if (seen_.insert(text).second) errors_.push_back(text);
  }

  FakeTexture* SampledTexture(const std::string& name) {
    switch (pass_.effect->KindOf(name)) {
      case ParameterKind::Missing:
        Error("Sample: the effect has no parameter " + Quoted(name));
        return nullptr;
      case ParameterKind::Texture:
        break;
      default:
        Error("Sample: " + Quoted(name) + " is no texture parameter");
        return nullptr;
    }
    IDirect3DBaseTexture9* texture = pass_.effect->TextureOf(name);
    if (!texture) {
      Error("Sample: no texture is set on " + Quoted(name));
      return nullptr;
    }
    auto* fake = dynamic_cast<FakeTexture*>(static_cast<IUnknown*>(texture));
    if (!fake) {
      Error("Sample: the texture on " + Quoted(name) + " is no fake");
      return nullptr;
    }
    if (!HasTexelCodec(fake->format())) {
      Error("Sample: the texture on " + Quoted(name) + " has format " +
            std::to_string(fake->format()) + ", which the fake cannot read");
      return nullptr;
    }
    // D3D samples only video-memory textures; a system-memory one is an
    // upload source.
    if (fake->pool() == D3DPOOL_SYSTEMMEM || fake->pool() == D3DPOOL_SCRATCH) {
      Error("Sample: the texture on " + Quoted(name) + " is in system memory");
      return nullptr;
    }
    if (fake->locked()) {
      Error("Sample: the texture on " + Quoted(name) + " is locked during the draw");
      return nullptr;
    }
    return fake;
  }

  template <typename T>
  std::vector<T> Numbers(const std::string& name) {
    ParameterKind kind = pass_.effect->KindOf(name);
    if (kind != ParameterKind::Numeric) {
      Error(kind == ParameterKind::Missing ? "the effect has no parameter " + Quoted(name)
                                           : Quoted(name) + " is no numeric parameter");
      return {};
    }
    if constexpr (std::is_same<T, int>::value) {
      return pass_.effect->IntComponents(name);
    } else {
      return pass_.effect->FloatComponents(name);
    }
  }

  const ActivePass& pass_;
  FakeSurface* targets_[4];
  std::map<const FakeTexture*, std::vector<uint8_t>> snapshots_;
  bool feedback_ = false;
  std::vector<std::string> errors_;
  std::set<std::string> seen_;
};

}  // namespace

PassOutcome RunPassProgram(const ActivePass& pass, FakeSurface* const targets[4]) {
  DrawContext context(pass, targets);
  (*pass.program)(context);
  return context.Finish();
}

}  // namespace fakes
