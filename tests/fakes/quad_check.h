// The quad check of the fake device: what a DrawPrimitive must have bound
// for D3D to cover every pixel of render target 0 exactly once with texel
// centres on pixel centres. The fake draws nothing when any of it differs.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "platform/win32_api.h"

namespace fakes {

// POSITIONT float4 at offset 0, TEXCOORD float2 at offset 16, end marker.
extern const D3DVERTEXELEMENT9 kQuadDeclaration[3];
constexpr UINT kQuadStride = 24;
constexpr UINT kQuadBytes = 4 * kQuadStride;

// The four vertices (x, y, z, w, u, v) in strip order for a width x height
// target: corners at -0.5 and size - 0.5, taken in double and stored as
// float, z = w = 1, texture coordinates 0 and 1.
std::array<float, 24> QuadVertices(UINT width, UINT height);

// The device state a draw sees.
struct DrawState {
  D3DPRIMITIVETYPE type;
  UINT start_vertex;
  UINT primitive_count;
  bool in_scene;
  IDirect3DVertexDeclaration9* declaration;
  IDirect3DVertexBuffer9* buffer;  // on stream 0
  UINT offset;
  UINT stride;
  IDirect3DSurface9* targets[4];  // null when unbound or beyond the device's count
};

// Readable descriptions of everything that differs from a full-target quad
// draw; empty when the draw is exactly one.
std::vector<std::string> QuadMismatches(const DrawState& state);

}  // namespace fakes
