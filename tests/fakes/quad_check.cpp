#include "fakes/quad_check.h"

#include <cstring>
#include <sstream>

#include "fakes/fake_d3d9.h"
#include "fakes/texel_codec.h"

namespace fakes {
namespace {

std::string Describe(const D3DVERTEXELEMENT9& e) {
  std::ostringstream text;
  text << "{stream " << e.Stream << ", offset " << e.Offset << ", type " << int(e.Type)
       << ", method " << int(e.Method) << ", usage " << int(e.Usage) << ", index "
       << int(e.UsageIndex) << "}";
  return text.str();
}

bool SameElement(const D3DVERTEXELEMENT9& a, const D3DVERTEXELEMENT9& b) {
  return a.Stream == b.Stream && a.Offset == b.Offset && a.Type == b.Type && a.Method == b.Method &&
         a.Usage == b.Usage && a.UsageIndex == b.UsageIndex;
}

std::string DescribeFloat(float value) {
  std::ostringstream text;
  text.precision(9);
  text << value << " (0x" << std::hex << BitsOf(value) << ")";
  return text.str();
}

const char* const kComponentNames[6] = {"position.x", "position.y", "position.z",
                                        "position.w", "texcoord.u", "texcoord.v"};

void CheckDeclaration(IDirect3DVertexDeclaration9* declaration, std::vector<std::string>& out) {
  if (!declaration) {
    out.push_back("no vertex declaration is set");
    return;
  }
  auto* fake = dynamic_cast<FakeVertexDeclaration*>(static_cast<IUnknown*>(declaration));
  if (!fake) {
    out.push_back("the vertex declaration is no fake");
    return;
  }
  const std::vector<D3DVERTEXELEMENT9>& elements = fake->elements();
  if (elements.size() != 3) {
    std::ostringstream text;
    text << "the vertex declaration has " << elements.size() - 1
         << " elements before its end marker, expected 2";
    out.push_back(text.str());
  }
  for (size_t i = 0; i < elements.size() && i < 3; ++i) {
    if (!SameElement(elements[i], kQuadDeclaration[i])) {
      std::ostringstream text;
      text << "vertex declaration element " << i << " is " << Describe(elements[i]) << ", expected "
           << Describe(kQuadDeclaration[i]);
      out.push_back(text.str());
    }
  }
}

void CheckVertices(IDirect3DVertexBuffer9* buffer, UINT width, UINT height,
                   std::vector<std::string>& out) {
  auto* fake = dynamic_cast<FakeVertexBuffer*>(static_cast<IUnknown*>(buffer));
  if (!fake) {
    out.push_back("the vertex buffer on stream 0 is no fake");
    return;
  }
  if (fake->locked()) out.push_back("the vertex buffer on stream 0 is locked");
  if (fake->length() < kQuadBytes) {
    std::ostringstream text;
    text << "the vertex buffer holds " << fake->length() << " bytes, fewer than the quad's "
         << kQuadBytes;
    out.push_back(text.str());
    return;
  }
  const std::array<float, 24> expected = QuadVertices(width, height);
  for (size_t i = 0; i < expected.size(); ++i) {
    float actual;
    std::memcpy(&actual, fake->bytes().data() + 4 * i, sizeof actual);
    if (BitsOf(actual) == BitsOf(expected[i])) continue;
    std::ostringstream text;
    text << "vertex " << i / 6 << " " << kComponentNames[i % 6] << " is " << DescribeFloat(actual)
         << ", expected " << DescribeFloat(expected[i]) << " for a " << width << "x" << height
         << " target 0";
    out.push_back(text.str());
  }
}

}  // namespace

const D3DVERTEXELEMENT9 kQuadDeclaration[3] = {
    {0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITIONT, 0},
    {0, 16, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END()};

std::array<float, 24> QuadVertices(UINT width, UINT height) {
  const float left = -0.5f;
  const float top = -0.5f;
  const float right = static_cast<float>(static_cast<double>(width) - 0.5);
  const float bottom = static_cast<float>(static_cast<double>(height) - 0.5);
  return {left, top,    1.0f, 1.0f, 0.0f, 0.0f, right, top,    1.0f, 1.0f, 1.0f, 0.0f,
          left, bottom, 1.0f, 1.0f, 0.0f, 1.0f, right, bottom, 1.0f, 1.0f, 1.0f, 1.0f};
}

std::vector<std::string> QuadMismatches(const DrawState& state) {
  std::vector<std::string> out;
  if (!state.in_scene) out.push_back("the draw is outside BeginScene/EndScene");
  if (state.type != D3DPT_TRIANGLESTRIP) {
    out.push_back("primitive type " + std::to_string(state.type) +
                  ", expected D3DPT_TRIANGLESTRIP (5)");
  }
  if (state.start_vertex != 0)
    out.push_back("start vertex " + std::to_string(state.start_vertex) + ", expected 0");
  if (state.primitive_count != 2)
    out.push_back("primitive count " + std::to_string(state.primitive_count) + ", expected 2");
  CheckDeclaration(state.declaration, out);

  FakeSurface* target0 = dynamic_cast<FakeSurface*>(static_cast<IUnknown*>(state.targets[0]));
  if (!target0) out.push_back("render target 0 is no fake surface");
  for (int m = 1; m < 4 && target0; ++m) {
    if (!state.targets[m]) continue;
    auto* target = dynamic_cast<FakeSurface*>(static_cast<IUnknown*>(state.targets[m]));
    if (!target) {
      out.push_back("render target " + std::to_string(m) + " is no fake surface");
    } else if (target->width() != target0->width() || target->height() != target0->height()) {
      std::ostringstream text;
      text << "render target " << m << " is " << target->width() << "x" << target->height()
           << ", target 0 is " << target0->width() << "x" << target0->height();
      out.push_back(text.str());
    }
  }

  if (!state.buffer) {
    out.push_back("no vertex buffer is set on stream 0");
    return out;
  }
  if (state.offset != 0)
    out.push_back("stream 0 offset " + std::to_string(state.offset) + ", expected 0");
  if (state.stride != kQuadStride) {
    out.push_back("stream 0 stride " + std::to_string(state.stride) + ", expected " +
                  std::to_string(kQuadStride));
  }
  if (target0) CheckVertices(state.buffer, target0->width(), target0->height(), out);
  return out;
}

}  // namespace fakes
