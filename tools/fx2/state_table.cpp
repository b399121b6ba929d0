#include "fx2/state_table.h"

#include <cctype>
#include <cstring>

namespace fx2 {
namespace {

using G = StateGroup;
using V = StateValue;
using W = ValueWords;

constexpr StateInfo kStates[] = {
    {"ZEnable", 0, G::Render, V::Integer, W::Bool},
    {"FillMode", 1, G::Render, V::Integer, W::Fill},
    {"ShadeMode", 2, G::Render, V::Integer, W::Shade},
    {"ZWriteEnable", 3, G::Render, V::Integer, W::Bool},
    {"AlphaTestEnable", 4, G::Render, V::Integer, W::Bool},
    {"LastPixel", 5, G::Render, V::Integer, W::Bool},
    {"SrcBlend", 6, G::Render, V::Integer, W::Blend},
    {"DestBlend", 7, G::Render, V::Integer, W::Blend},
    {"CullMode", 8, G::Render, V::Integer, W::Cull},
    {"ZFunc", 9, G::Render, V::Integer, W::Compare},
    {"AlphaRef", 10, G::Render, V::Integer, W::None},
    {"AlphaFunc", 11, G::Render, V::Integer, W::Compare},
    {"DitherEnable", 12, G::Render, V::Integer, W::Bool},
    {"AlphaBlendEnable", 13, G::Render, V::Integer, W::Bool},
    {"FogEnable", 14, G::Render, V::Integer, W::Bool},
    {"SpecularEnable", 15, G::Render, V::Integer, W::Bool},
    {"FogColor", 16, G::Render, V::Integer, W::None},
    {"FogStart", 18, G::Render, V::Float, W::None},
    {"FogEnd", 19, G::Render, V::Float, W::None},
    {"FogDensity", 20, G::Render, V::Float, W::None},
    {"StencilEnable", 22, G::Render, V::Integer, W::Bool},
    {"StencilRef", 27, G::Render, V::Integer, W::None},
    {"StencilMask", 28, G::Render, V::Integer, W::None},
    {"StencilWriteMask", 29, G::Render, V::Integer, W::None},
    {"TextureFactor", 30, G::Render, V::Integer, W::None},
    {"Clipping", 47, G::Render, V::Integer, W::Bool},
    {"Lighting", 48, G::Render, V::Integer, W::Bool},
    {"PointSize", 60, G::Render, V::Float, W::None},
    {"MultiSampleAntialias", 68, G::Render, V::Integer, W::Bool},
    {"MultiSampleMask", 69, G::Render, V::Integer, W::None},
    {"ColorWriteEnable", 73, G::Render, V::Integer, W::None},
    {"BlendOp", 75, G::Render, V::Integer, W::BlendOp},
    {"ScissorTestEnable", 78, G::Render, V::Integer, W::Bool},
    {"SlopeScaleDepthBias", 79, G::Render, V::Float, W::None},
    {"ColorWriteEnable1", 93, G::Render, V::Integer, W::None},
    {"ColorWriteEnable2", 94, G::Render, V::Integer, W::None},
    {"ColorWriteEnable3", 95, G::Render, V::Integer, W::None},
    {"BlendFactor", 96, G::Render, V::Integer, W::None},
    {"SRGBWriteEnable", 97, G::Render, V::Integer, W::Bool},
    {"DepthBias", 98, G::Render, V::Float, W::None},
    {"SeparateAlphaBlendEnable", 99, G::Render, V::Integer, W::Bool},
    {"SrcBlendAlpha", 100, G::Render, V::Integer, W::Blend},
    {"DestBlendAlpha", 101, G::Render, V::Integer, W::Blend},
    {"BlendOpAlpha", 102, G::Render, V::Integer, W::BlendOp},
    {"TexCoordIndex", 116, G::TextureStage, V::Integer, W::None},
    {"AddressU", 165, G::Sampler, V::Integer, W::Address},
    {"AddressV", 166, G::Sampler, V::Integer, W::Address},
    {"AddressW", 167, G::Sampler, V::Integer, W::Address},
    {"BorderColor", 168, G::Sampler, V::Integer, W::None},
    {"MagFilter", 169, G::Sampler, V::Integer, W::Filter},
    {"MinFilter", 170, G::Sampler, V::Integer, W::Filter},
    {"MipFilter", 171, G::Sampler, V::Integer, W::Filter},
    {"MipMapLodBias", 172, G::Sampler, V::Float, W::None},
    {"MaxMipLevel", 173, G::Sampler, V::Integer, W::None},
    {"MaxAnisotropy", 174, G::Sampler, V::Integer, W::None},
    {"SRGBTexture", 175, G::Sampler, V::Integer, W::Bool},
};

struct Word {
  W words;
  const char* text;
  uint32_t value;
};

constexpr Word kWords[] = {
    {W::Bool, "TRUE", 1},
    {W::Bool, "FALSE", 0},
    {W::Filter, "NONE", 0},
    {W::Filter, "POINT", 1},
    {W::Filter, "LINEAR", 2},
    {W::Filter, "ANISOTROPIC", 3},
    {W::Address, "WRAP", 1},
    {W::Address, "MIRROR", 2},
    {W::Address, "CLAMP", 3},
    {W::Address, "BORDER", 4},
    {W::Address, "MIRRORONCE", 5},
    {W::Cull, "NONE", 1},
    {W::Cull, "CW", 2},
    {W::Cull, "CCW", 3},
    {W::Blend, "ZERO", 1},
    {W::Blend, "ONE", 2},
    {W::Blend, "SRCCOLOR", 3},
    {W::Blend, "INVSRCCOLOR", 4},
    {W::Blend, "SRCALPHA", 5},
    {W::Blend, "INVSRCALPHA", 6},
    {W::Blend, "DESTALPHA", 7},
    {W::Blend, "INVDESTALPHA", 8},
    {W::Blend, "DESTCOLOR", 9},
    {W::Blend, "INVDESTCOLOR", 10},
    {W::Blend, "SRCALPHASAT", 11},
    {W::Blend, "BLENDFACTOR", 14},
    {W::Blend, "INVBLENDFACTOR", 15},
    {W::BlendOp, "ADD", 1},
    {W::BlendOp, "SUBTRACT", 2},
    {W::BlendOp, "REVSUBTRACT", 3},
    {W::BlendOp, "MIN", 4},
    {W::BlendOp, "MAX", 5},
    {W::Compare, "NEVER", 1},
    {W::Compare, "LESS", 2},
    {W::Compare, "EQUAL", 3},
    {W::Compare, "LESSEQUAL", 4},
    {W::Compare, "GREATER", 5},
    {W::Compare, "NOTEQUAL", 6},
    {W::Compare, "GREATEREQUAL", 7},
    {W::Compare, "ALWAYS", 8},
    {W::Fill, "POINT", 1},
    {W::Fill, "WIREFRAME", 2},
    {W::Fill, "SOLID", 3},
    {W::Shade, "FLAT", 1},
    {W::Shade, "GOURAUD", 2},
};

bool EqualNoCase(const std::string& a, const char* b) {
  size_t length = std::strlen(b);
  if (a.size() != length) return false;
  for (size_t i = 0; i < length; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

const StateInfo* FindState(const std::string& name) {
  for (const StateInfo& state : kStates) {
    if (EqualNoCase(name, state.name)) return &state;
  }
  return nullptr;
}

const StateInfo* StateByOperation(uint32_t operation) {
  for (const StateInfo& state : kStates) {
    if (state.operation == operation) return &state;
  }
  return nullptr;
}

bool FindValueWord(ValueWords words, const std::string& word, uint32_t* value) {
  // Boolean words serve every state, as TRUE/FALSE do in effect files.
  for (const Word& entry : kWords) {
    if ((entry.words == words || entry.words == W::Bool) && EqualNoCase(word, entry.text)) {
      *value = entry.value;
      return true;
    }
  }
  return false;
}

}  // namespace fx2
