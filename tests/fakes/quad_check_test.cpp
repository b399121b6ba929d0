// The fake device's quad check: a draw that differs in any way from a
// full-target quad draws nothing and says why.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "fakes/draw_test_support.h"
#include "fakes/texture_access.h"

namespace {

using fakes::Float4;
using fakes_test::DrawTest;
using fakes_test::QuadFor64x48;

class QuadCheckTest : public DrawTest {
 public:
  void SetUp() override {
    DrawTest::SetUp();
    fakes::EffectDescription description;
    description.Technique("ProcessImage0").Pass().Program([this](fakes::PassContext& context) {
      ++programs_run;
      context.Shade([](int, int, Float4 out[4]) { out[0] = {1.0f, 2.0f, 3.0f, 4.0f}; });
    });
    MakeEffect(description);
  }

  std::vector<float> QuadWith(size_t component, float value) {
    std::vector<float> vertices = QuadFor64x48();
    vertices[component] = value;
    return vertices;
  }

  void SetDeclaration(std::vector<D3DVERTEXELEMENT9> elements) {
    ComPtr<IDirect3DVertexDeclaration9> other;
    ASSERT_EQ(D3D_OK, device->CreateVertexDeclaration(elements.data(), other.put()));
    ASSERT_EQ(D3D_OK, device->SetVertexDeclaration(other.get()));
  }

  void SetVertices(const std::vector<float>& vertices) {
    ComPtr<IDirect3DVertexBuffer9> other = VertexBuffer(vertices);
    ASSERT_EQ(D3D_OK, device->SetStreamSource(0, other.get(), 0, 24));
  }

  int programs_run = 0;
};

struct Mismatch {
  const char* label;
  std::function<void(QuadCheckTest&)> change;
  const char* error;  // text the recorded error contains
  HRESULT result = D3D_OK;
  D3DPRIMITIVETYPE type = D3DPT_TRIANGLESTRIP;
  UINT start = 0;
  UINT count = 2;
  bool in_scene = true;
};

TEST_F(QuadCheckTest, EveryMismatchDrawsNothingAndRecordsWhy) {
  const D3DVERTEXELEMENT9 position = {0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0};
  const D3DVERTEXELEMENT9 texcoord = {0, 16, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0};
  const D3DVERTEXELEMENT9 end = D3DDECL_END();
  const float just_above = std::nextafter(63.5f, 64.0f);
  const Mismatch cases[] = {
      {"triangle list", [](QuadCheckTest&) {}, "primitive type 4, expected D3DPT_TRIANGLESTRIP",
       D3D_OK, D3DPT_TRIANGLELIST},
      {"start vertex 1", [](QuadCheckTest&) {}, "start vertex 1, expected 0", D3D_OK,
       D3DPT_TRIANGLESTRIP, 1},
      {"one triangle", [](QuadCheckTest&) {}, "primitive count 1, expected 2", D3D_OK,
       D3DPT_TRIANGLESTRIP, 0, 1},
      {"outside a scene", [](QuadCheckTest&) {}, "outside BeginScene/EndScene", D3DERR_INVALIDCALL,
       D3DPT_TRIANGLESTRIP, 0, 2, false},
      {"no declaration", [](QuadCheckTest& t) { t.device->SetVertexDeclaration(nullptr); },
       "no vertex declaration is set", D3DERR_INVALIDCALL},
      {"position as POSITION",
       [&](QuadCheckTest& t) {
         t.SetDeclaration({{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0}, texcoord, end});
       },
       "vertex declaration element 0 is {stream 0, offset 0, type 3, method 0, usage 0, index 0}, "
       "expected {stream 0, offset 0, type 3, method 0, usage 9, index 0}"},
      {"texcoord at offset 12",
       [&](QuadCheckTest& t) {
         t.SetDeclaration(
             {position, {0, 12, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0}, end});
       },
       "vertex declaration element 1 is {stream 0, offset 12"},
      {"texcoord float3",
       [&](QuadCheckTest& t) {
         t.SetDeclaration(
             {position, {0, 16, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_TEXCOORD, 0}, end});
       },
       "type 2, method 0, usage 5"},
      {"texcoord index 1",
       [&](QuadCheckTest& t) {
         t.SetDeclaration(
             {position, {0, 16, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 1}, end});
       },
       "usage 5, index 1}, expected"},
      {"a third element",
       [&](QuadCheckTest& t) {
         t.SetDeclaration(
             {position, texcoord, {0, 24, D3DDECLTYPE_FLOAT1, 0, D3DDECLUSAGE_TEXCOORD, 1}, end});
       },
       "has 3 elements before its end marker, expected 2"},
      {"stream offset 4",
       [](QuadCheckTest& t) { t.device->SetStreamSource(0, t.quad.get(), 4, 24); },
       "stream 0 offset 4, expected 0"},
      {"stride 20", [](QuadCheckTest& t) { t.device->SetStreamSource(0, t.quad.get(), 0, 20); },
       "stream 0 stride 20, expected 24"},
      {"no stream source", [](QuadCheckTest& t) { t.device->SetStreamSource(0, nullptr, 0, 0); },
       "no vertex buffer is set on stream 0", D3DERR_INVALIDCALL},
      {"right edge one ulp off",
       [&](QuadCheckTest& t) { t.SetVertices(t.QuadWith(6, just_above)); },
       "vertex 1 position.x is 63.5000038 (0x427e0001), expected 63.5 (0x427e0000) for a 64x48 "
       "target 0"},
      {"a quad for 32 pixels",
       [](QuadCheckTest& t) {
         std::vector<float> v = QuadFor64x48();
         v[6] = v[18] = 31.5f;
         t.SetVertices(v);
       },
       "vertex 3 position.x is 31.5"},
      {"corners in Z order swapped",
       [](QuadCheckTest& t) {
         std::vector<float> v = QuadFor64x48();
         std::swap_ranges(v.begin() + 12, v.begin() + 18, v.begin() + 18);
         t.SetVertices(v);
       },
       "vertex 2 position.x is 63.5"},
      {"texture coordinates shifted by half a texel",
       [](QuadCheckTest& t) { t.SetVertices(t.QuadWith(4, 0.5f / 64)); },
       "vertex 0 texcoord.u is 0.0078125"},
      {"z of 0", [](QuadCheckTest& t) { t.SetVertices(t.QuadWith(2, 0.0f)); },
       "vertex 0 position.z is 0"},
      // Equal as numbers, but not the bits D3D must receive.
      {"texcoord -0", [](QuadCheckTest& t) { t.SetVertices(t.QuadWith(5, -0.0f)); },
       "vertex 0 texcoord.v is -0 (0x80000000)"},
      {"a buffer of three vertices",
       [](QuadCheckTest& t) {
         std::vector<float> v = QuadFor64x48();
         v.resize(18);
         t.SetVertices(v);
       },
       "the vertex buffer holds 72 bytes, fewer than the quad's 96"},
      {"the buffer still locked",
       [](QuadCheckTest& t) {
         void* data;
         t.quad->Lock(0, 0, &data, 0);
       },
       "the vertex buffer on stream 0 is locked"},
      {"output 1 of another size",
       [](QuadCheckTest& t) {
         ComPtr<IDirect3DTexture9> small = t.RenderTarget(D3DFMT_A32B32G32R32F, 32, 32);
         t.device->SetRenderTarget(1, t.SurfaceOf(small.get()).get());
       },
       "render target 1 is 32x32, target 0 is 64x48"},
      {"target 0 left as the back buffer",
       [](QuadCheckTest& t) { t.device->SetRenderTarget(0, t.device->back_buffer()); },
       "expected 639.5 (0x441fe000) for a 640x480 target 0"},
  };
  for (const Mismatch& c : cases) {
    SCOPED_TRACE(c.label);
    TearDown();
    SetUp();
    BindQuad();
    c.change(*this);
    fakes::FillTexels(target.get(), [](UINT, UINT) { return Float4{}; });
    if (c.in_scene) {
      ASSERT_EQ(D3D_OK, device->BeginScene());
    }
    effect->Begin(nullptr, 0);
    effect->BeginPass(0);
    EXPECT_EQ(c.result, device->DrawPrimitive(c.type, c.start, c.count));
    effect->EndPass();
    effect->End();
    if (c.in_scene) device->EndScene();
    if (c.label == std::string("the buffer still locked")) quad->Unlock();

    EXPECT_EQ(0, programs_run);
    ASSERT_EQ(1u, device->draw_calls().size());
    EXPECT_FALSE(device->draw_calls()[0].drawn);
    ASSERT_FALSE(device->draw_errors().empty());
    bool found = false;
    for (const std::string& error : device->draw_errors()) {
      found = found || error.find(c.error) != std::string::npos;
    }
    EXPECT_TRUE(found) << "recorded: " << ::testing::PrintToString(device->draw_errors());
    EXPECT_EQ((Float4{}), fakes::ReadTexel(target.get(), 5, 5));
  }
}

TEST_F(QuadCheckTest, ErrorsNameTheDrawAndThePass) {
  BindQuad();
  device->SetStreamSource(0, quad.get(), 0, 20);
  DrawInPass();
  EXPECT_EQ(std::vector<std::string>{"draw 0 (ProcessImage0, pass 0): stream 0 stride 20, "
                                     "expected 24"},
            device->draw_errors());
}

TEST_F(QuadCheckTest, TheFullTargetQuadDrawsEveryPixel) {
  for (UINT outputs : {1u, 4u}) {
    SCOPED_TRACE(outputs);
    std::vector<ComPtr<IDirect3DTexture9>> more;
    BindQuad();
    for (UINT m = 1; m < outputs; ++m) {
      more.push_back(RenderTarget(D3DFMT_A16B16G16R16F));
      ASSERT_EQ(D3D_OK, device->SetRenderTarget(m, SurfaceOf(more.back().get()).get()));
    }
    programs_run = 0;
    EXPECT_EQ(D3D_OK, DrawInPass());
    EXPECT_TRUE(device->draw_errors().empty()) << device->draw_errors()[0];
    EXPECT_EQ(1, programs_run);
    ASSERT_FALSE(device->draw_calls().empty());
    EXPECT_TRUE(device->draw_calls().back().drawn);
    EXPECT_TRUE(device->draw_calls().back().ran_program);
    EXPECT_EQ("ProcessImage0, pass 0", device->draw_calls().back().pass);
    for (UINT y : {0u, 47u}) {
      for (UINT x : {0u, 63u})
        EXPECT_EQ((Float4{1, 2, 3, 4}), fakes::ReadTexel(target.get(), x, y));
    }
    EXPECT_TRUE(device->draw_errors().empty());
  }
}

}  // namespace
