// Pass programs: what a test writes in place of a pass's pixel shader. The
// fake device runs the program of the effect pass that is open when
// DrawPrimitive passes the quad check; the program samples the effect's
// textures and writes every bound render target through the texel codecs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "fakes/texel_codec.h"
#include "platform/win32_api.h"

namespace fakes {

// A program's view of one draw. A read that cannot be served (no such
// parameter, no texture on it, a texture that is no fake) records a draw
// error on the device and returns NaN or 0; it never throws.
class PassContext {
 public:
  virtual ~PassContext() = default;

  // Size of render target 0, which is the size of every bound output.
  virtual UINT width() const = 0;
  virtual UINT height() const = 0;
  // "ProcessImage0, pass 1".
  virtual const std::string& pass() const = 0;

  // The texel (x, y) of the texture set on the parameter, point sampled
  // with clamp-to-edge addressing, as it was when the draw began.
  virtual Float4 Sample(const std::string& texture_parameter, int x, int y) = 0;

  // Current values of numeric parameters, converted as D3DX's getters do.
  virtual int Int(const std::string& parameter) = 0;
  virtual bool Bool(const std::string& parameter) = 0;
  virtual float Float(const std::string& parameter) = 0;
  // Up to four components; missing ones read 0.
  virtual Float4 Vector(const std::string& parameter) = 0;
  virtual std::vector<Float4> VectorArray(const std::string& parameter) = 0;

  // Calls shader(x, y, out) for every pixel of target 0, rows top to bottom,
  // and stores out[m] into every bound output m in that target's format.
  // out starts as four zero vectors for each pixel.
  using Shader = std::function<void(int x, int y, Float4 out[4])>;
  virtual void Shade(const Shader& shader) = 0;
};

using PassProgram = std::function<void(PassContext&)>;

// What a program reads from the effect that runs it.
enum class ParameterKind { Missing, Numeric, Texture, Other };

class EffectParameters {
 public:
  virtual ~EffectParameters() = default;
  virtual ParameterKind KindOf(const std::string& parameter) const = 0;
  // Components of a numeric parameter, converted like D3DX does.
  virtual std::vector<int> IntComponents(const std::string& parameter) const = 0;
  virtual std::vector<float> FloatComponents(const std::string& parameter) const = 0;
  virtual IDirect3DBaseTexture9* TextureOf(const std::string& parameter) const = 0;
  // Every texture set on any parameter now.
  virtual std::vector<IDirect3DBaseTexture9*> Textures() const = 0;
};

// The effect pass open on a device between BeginPass and EndPass.
struct ActivePass {
  const EffectParameters* effect = nullptr;
  const PassProgram* program = nullptr;  // null for a pass without one
  std::string label;
};

}  // namespace fakes
