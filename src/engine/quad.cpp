#include "engine/quad.h"

const D3DVERTEXELEMENT9 kQuadDeclaration[3] = {
    {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0},
    {0, 16, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END(),
};

std::array<QuadVertex, 4> QuadVertices(int32_t width, int32_t height) {
  // The far edges are formed in double from the integer sizes and only then
  // stored as float.
  const float right = static_cast<float>(static_cast<double>(width) - 0.5);
  const float bottom = static_cast<float>(static_cast<double>(height) - 0.5);
  return {{
      {-0.5f, -0.5f, 1.0f, 1.0f, 0.0f, 0.0f},
      {right, -0.5f, 1.0f, 1.0f, 1.0f, 0.0f},
      {-0.5f, bottom, 1.0f, 1.0f, 0.0f, 1.0f},
      {right, bottom, 1.0f, 1.0f, 1.0f, 1.0f},
  }};
}
