// The full-frame quad: four pre-transformed vertices that cover a W x H
// render target, drawn as a strip of two triangles.
#pragma once

#include <array>
#include <cstdint>

#include "platform/win32_api.h"

struct QuadVertex {
  float x, y, z, w;  // pre-transformed screen position
  float u, v;        // texture coordinate
};
static_assert(sizeof(QuadVertex) == 24, "the quad's stride is 24 bytes");

constexpr UINT kQuadStride = sizeof(QuadVertex);
constexpr UINT kQuadBytes = 4 * kQuadStride;

// Position x, y, z, w then texture u, v, in stream 0.
extern const D3DVERTEXELEMENT9 kQuadDeclaration[3];

// The vertices in strip order. The -0.5 shift puts every pixel centre of
// the target onto the centre of the matching texel of a same-size texture,
// so a pass that samples at its interpolated coordinate reads its own pixel.
std::array<QuadVertex, 4> QuadVertices(int32_t width, int32_t height);
