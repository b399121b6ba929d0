// Pass programs run by the fake device: what they read, what they write,
// and the failures they report instead of crashing.
#include <gtest/gtest.h>

#include <cmath>

#include "fakes/draw_test_support.h"
#include "fakes/texture_access.h"

namespace {

using fakes::Float4;
using fakes::PassContext;
using fakes_test::DrawTest;

// A texture that is no fake of this project, as another D3D would give.
class ForeignTexture : public fakes::FakeComObject<IDirect3DTexture9> {
 public:
  HRESULT STDMETHODCALLTYPE GetSurfaceLevel(UINT, IDirect3DSurface9**) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE LockRect(UINT, D3DLOCKED_RECT*, const RECT*, DWORD) override {
    return E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE UnlockRect(UINT) override { return E_FAIL; }
};

bool IsNaN(const Float4& v) {
  return std::isnan(v.x) && std::isnan(v.y) && std::isnan(v.z) && std::isnan(v.w);
}

class PassProgramTest : public DrawTest {
 public:
  // An effect with the given program in pass 0 and the parameters the
  // tests read.
  fakes::FakeEffect* EffectWith(fakes::PassProgram program) {
    fakes::EffectDescription description;
    description.Texture("TxSrc0");
    description.Texture("TxSrc1");
    description.Texture("TxTmp");
    description.Float("Gain", 1.0f);
    description.Vector("Offset", {0, 0, 0, 0});
    description.Int("Count", 0);
    description.Bool("Flag", false);
    description.VectorArray("Kernel", {{0, 0, 0, 0}, {0, 0, 0, 0}});
    description.String("Name", "text");
    description.Technique("ProcessImage0").Pass().Program(std::move(program));
    // The description goes before the draw: the effect keeps a copy.
    return MakeEffect(description);
  }
};

TEST_F(PassProgramTest, ReadsTwoTexturesAndWritesTwoOutputs) {
  ComPtr<IDirect3DTexture9> a = Texture(D3DFMT_A32B32G32R32F);
  ComPtr<IDirect3DTexture9> b = Texture(D3DFMT_Q16W16V16U16);
  ComPtr<IDirect3DTexture9> second = RenderTarget(D3DFMT_A16B16G16R16F);
  fakes::FillTexels(a.get(), [](UINT x, UINT y) {
    return Float4{float(x), float(y), -float(x), 0.5f};
  });
  // Raw snorm texels -32767, 0, 32767 and -32768: -1, 0, 1 and -1.
  for (UINT y = 0; y < fakes_test::kHeight; ++y) {
    for (UINT x = 0; x < fakes_test::kWidth; ++x) {
      int16_t n = static_cast<int16_t>((int(x) % 3 - 1) * 32767);
      uint8_t lo = static_cast<uint8_t>(n), hi = static_cast<uint8_t>(uint16_t(n) >> 8);
      fakes::WriteTexelBytes(b.get(), x, y, {lo, hi, 0, 0, lo, hi, 0x00, 0x80});
    }
  }
  fakes::FakeEffect* fx = EffectWith([](PassContext& context) {
    const float gain = context.Float("Gain");
    const Float4 offset = context.Vector("Offset");
    context.Shade([&](int x, int y, Float4 out[4]) {
      Float4 p = context.Sample("TxSrc0", x, y);
      Float4 q = context.Sample("TxSrc1", x, y);
      out[0] = {p.x + q.x, p.y + q.y, p.z + q.z, p.w + q.w};
      Float4 right = context.Sample("TxSrc0", x + 1, y);  // clamps at the right edge
      out[1] = {right.x * gain + offset.x, right.y * gain + offset.y, right.z * gain + offset.z,
                right.w * gain + offset.w};
    });
  });
  ASSERT_EQ(D3D_OK, fx->SetTexture("TxSrc0", a.get()));
  ASSERT_EQ(D3D_OK, fx->SetTexture("TxSrc1", b.get()));
  ASSERT_EQ(D3D_OK, fx->SetFloat("Gain", 2.0f));
  const D3DXVECTOR4 offset = {1.0f, -1.0f, 0.25f, 0.0f};
  ASSERT_EQ(D3D_OK, fx->SetVector("Offset", &offset));
  BindQuad();
  ASSERT_EQ(D3D_OK, device->SetRenderTarget(1, SurfaceOf(second.get()).get()));

  ASSERT_EQ(D3D_OK, DrawInPass());
  EXPECT_TRUE(device->draw_errors().empty()) << device->draw_errors()[0];
  for (UINT y : {0u, 1u, 47u}) {
    for (UINT x : {0u, 1u, 2u, 62u, 63u}) {
      SCOPED_TRACE(testing::Message() << "(" << x << ", " << y << ")");
      float s = float(int(x) % 3 - 1);
      EXPECT_EQ((Float4{x + s, y + 0.0f, s - float(x), -0.5f}),
                fakes::ReadTexel(target.get(), x, y));
      float r = float(std::min(x + 1, 63u));
      EXPECT_EQ((Float4{2 * r + 1, 2.0f * y - 1, -2 * r + 0.25f, 1.0f}),
                fakes::ReadTexel(second.get(), x, y));
    }
  }
  EXPECT_FALSE(device->draw_calls().back().feedback);
  EXPECT_TRUE(fakes::AsFakeTexture(target.get())->row_padding_intact());
  EXPECT_TRUE(fakes::AsFakeTexture(second.get())->row_padding_intact());
}

TEST_F(PassProgramTest, ReadsTheParametersValuesAtTheDraw) {
  struct Seen {
    int count;
    bool flag;
    float gain;
    Float4 offset;
    std::vector<Float4> kernel;
    UINT width, height;
    std::string pass;
  } seen{};
  fakes::FakeEffect* fx = EffectWith([&](PassContext& context) {
    seen = {context.Int("Count"),
            context.Bool("Flag"),
            context.Float("Gain"),
            context.Vector("Offset"),
            context.VectorArray("Kernel"),
            context.width(),
            context.height(),
            context.pass()};
  });
  BindQuad();
  ASSERT_EQ(D3D_OK, DrawInPass());
  EXPECT_EQ(0, seen.count);
  EXPECT_FALSE(seen.flag);
  EXPECT_EQ(1.0f, seen.gain);

  fx->SetInt("Count", -7);
  fx->SetBool("Flag", TRUE);
  fx->SetFloat("Gain", 0.75f);
  const D3DXVECTOR4 offset = {1, 2, 3, 4};
  fx->SetVector("Offset", &offset);
  const D3DXVECTOR4 kernel[2] = {{5, 6, 7, 8}, {-1, -2, -3, -4}};
  fx->SetVectorArray("Kernel", kernel, 2);
  ASSERT_EQ(D3D_OK, DrawInPass());
  EXPECT_EQ(-7, seen.count);
  EXPECT_TRUE(seen.flag);
  EXPECT_EQ(0.75f, seen.gain);
  EXPECT_EQ((Float4{1, 2, 3, 4}), seen.offset);
  EXPECT_EQ((std::vector<Float4>{{5, 6, 7, 8}, {-1, -2, -3, -4}}), seen.kernel);
  EXPECT_EQ(64u, seen.width);
  EXPECT_EQ(48u, seen.height);
  EXPECT_EQ("ProcessImage0, pass 0", seen.pass);
  EXPECT_TRUE(device->draw_errors().empty());
}

TEST_F(PassProgramTest, UnservableReadsAreDrawErrorsNotCrashes) {
  ComPtr<IDirect3DTexture9> staging = Texture(D3DFMT_A32B32G32R32F, D3DPOOL_SYSTEMMEM);
  ComPtr<IDirect3DTexture9> locked = Texture(D3DFMT_A32B32G32R32F);
  auto foreign = fakes::MakeFake<ForeignTexture>();
  struct Case {
    const char* label;
    std::function<void(fakes::FakeEffect*)> set;
    std::function<void(PassContext&)> read;  // must give NaN or 0
    const char* error;
  } cases[] = {
      {"no such parameter", [](fakes::FakeEffect*) {},
       [](PassContext& c) { EXPECT_TRUE(IsNaN(c.Sample("TxNone", 0, 0))); },
       "Sample: the effect has no parameter \"TxNone\""},
      {"no texture set", [](fakes::FakeEffect*) {},
       [](PassContext& c) { EXPECT_TRUE(IsNaN(c.Sample("TxSrc0", 0, 0))); },
       "Sample: no texture is set on \"TxSrc0\""},
      {"a foreign texture", [&](fakes::FakeEffect* fx) { fx->SetTexture("TxSrc0", foreign.get()); },
       [](PassContext& c) { EXPECT_TRUE(IsNaN(c.Sample("TxSrc0", 0, 0))); },
       "Sample: the texture on \"TxSrc0\" is no fake"},
      {"a system-memory texture",
       [&](fakes::FakeEffect* fx) { fx->SetTexture("TxSrc0", staging.get()); },
       [](PassContext& c) { EXPECT_TRUE(IsNaN(c.Sample("TxSrc0", 0, 0))); },
       "Sample: the texture on \"TxSrc0\" is in system memory"},
      {"a locked texture",
       [&](fakes::FakeEffect* fx) {
         fx->SetTexture("TxSrc0", locked.get());
         D3DLOCKED_RECT rect;
         locked->LockRect(0, &rect, nullptr, 0);
       },
       [](PassContext& c) { EXPECT_TRUE(IsNaN(c.Sample("TxSrc0", 0, 0))); },
       "Sample: the texture on \"TxSrc0\" is locked during the draw"},
      {"a number sampled", [](fakes::FakeEffect*) {},
       [](PassContext& c) { EXPECT_TRUE(IsNaN(c.Sample("Gain", 0, 0))); },
       "Sample: \"Gain\" is no texture parameter"},
      {"a missing number", [](fakes::FakeEffect*) {},
       [](PassContext& c) { EXPECT_EQ(0, c.Int("Missing")); },
       "the effect has no parameter \"Missing\""},
      {"a texture read as number", [](fakes::FakeEffect*) {},
       [](PassContext& c) { EXPECT_TRUE(std::isnan(c.Float("TxSrc0"))); },
       "\"TxSrc0\" is no numeric parameter"},
      {"a string read as vector", [](fakes::FakeEffect*) {},
       [](PassContext& c) { EXPECT_EQ((Float4{}), c.Vector("Name")); },
       "\"Name\" is no numeric parameter"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const size_t draw = device->draw_calls().size();
    const size_t errors_before = device->draw_errors().size();
    fakes::FakeEffect* fx = EffectWith([&](PassContext& context) {
      // Read for every pixel: the error is still recorded once.
      context.Shade([&](int, int, Float4 out[4]) {
        c.read(context);
        out[0] = {7, 7, 7, 7};
      });
    });
    c.set(fx);
    BindQuad();
    ASSERT_EQ(D3D_OK, DrawInPass());
    const std::vector<std::string> expected = {"draw " + std::to_string(draw) +
                                               " (ProcessImage0, pass 0): " + c.error};
    EXPECT_EQ(expected, std::vector<std::string>(device->draw_errors().begin() + errors_before,
                                                 device->draw_errors().end()));
    EXPECT_EQ((Float4{7, 7, 7, 7}), fakes::ReadTexel(target.get(), 63, 47));
    if (fakes::AsFakeTexture(locked.get())->locked()) locked->UnlockRect(0);
    effect.reset();
  }
}

TEST_F(PassProgramTest, AFeedbackDrawReadsTheTargetAsBeforeTheDraw) {
  fakes::FillTexels(target.get(), [](UINT x, UINT y) { return Float4{float(x), float(y), 0, 0}; });
  fakes::FakeEffect* fx = EffectWith([](PassContext& context) {
    context.Shade([&](int x, int y, Float4 out[4]) {
      // Each pixel from its left neighbour: had the writes been visible,
      // the increments would accumulate along the row.
      Float4 left = context.Sample("TxTmp", x - 1, y);
      out[0] = {left.x + 1, left.y, 0, 0};
    });
  });
  ASSERT_EQ(D3D_OK, fx->SetTexture("TxTmp", target.get()));
  BindQuad();
  ASSERT_EQ(D3D_OK, DrawInPass());
  EXPECT_TRUE(device->draw_calls().back().feedback);
  for (UINT x : {0u, 1u, 2u, 40u, 63u}) {
    SCOPED_TRACE(x);
    float expected = x == 0 ? 1.0f : float(x);
    EXPECT_EQ((Float4{expected, 9.0f, 0, 0}), fakes::ReadTexel(target.get(), x, 9));
  }
  EXPECT_TRUE(device->draw_errors().empty());

  // The same texture set on the effect but not bound as an output.
  ComPtr<IDirect3DTexture9> other = RenderTarget(D3DFMT_A32B32G32R32F);
  ASSERT_EQ(D3D_OK, device->SetRenderTarget(0, SurfaceOf(other.get()).get()));
  ASSERT_EQ(D3D_OK, DrawInPass());
  EXPECT_FALSE(device->draw_calls().back().feedback);
  EXPECT_EQ((Float4{2.0f, 9.0f, 0, 0}), fakes::ReadTexel(other.get(), 2, 9));
}

TEST_F(PassProgramTest, OnlyTheDrawsInsideAPassWithAProgramChangePixels) {
  fakes::EffectDescription two_passes;
  auto& technique = two_passes.Technique("ProcessImage0");
  technique.Pass();  // no program
  technique.Pass().Program([](PassContext& c) {
    c.Shade([](int, int, Float4 out[4]) { out[0] = {3, 3, 3, 3}; });
  });
  MakeEffect(two_passes);
  const Float4 before{-1, -2, -3, -4};
  fakes::FillTexels(target.get(), [&](UINT, UINT) { return before; });
  BindQuad();

  ASSERT_EQ(D3D_OK, DrawInPass(0));
  EXPECT_TRUE(device->draw_calls().back().drawn);
  EXPECT_FALSE(device->draw_calls().back().ran_program);
  EXPECT_EQ(before, fakes::ReadTexel(target.get(), 10, 10));

  // Begun, but no pass open.
  device->BeginScene();
  effect->Begin(nullptr, 0);
  ASSERT_EQ(D3D_OK, device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2));
  effect->End();
  device->EndScene();
  EXPECT_EQ("", device->draw_calls().back().pass);
  EXPECT_EQ(before, fakes::ReadTexel(target.get(), 10, 10));

  ASSERT_EQ(D3D_OK, DrawInPass(1));
  EXPECT_TRUE(device->draw_calls().back().ran_program);
  EXPECT_EQ("ProcessImage0, pass 1", device->draw_calls().back().pass);
  EXPECT_EQ((Float4{3, 3, 3, 3}), fakes::ReadTexel(target.get(), 10, 10));
  EXPECT_EQ(nullptr, device->active_pass());
  EXPECT_TRUE(device->draw_errors().empty());
}

TEST_F(PassProgramTest, ATargetWithoutCodecIsReportedAndLeftAlone) {
  ComPtr<IDirect3DVertexBuffer9> full_back_buffer =
      VertexBuffer({-0.5f, -0.5f,  1, 1, 0, 0, 639.5f, -0.5f,  1, 1, 1, 0,
                    -0.5f, 479.5f, 1, 1, 0, 1, 639.5f, 479.5f, 1, 1, 1, 1});
  EffectWith([](PassContext& c) {
    c.Shade([](int, int, Float4 out[4]) { out[0] = {1, 1, 1, 1}; });
  });
  device->SetVertexDeclaration(declaration.get());
  device->SetStreamSource(0, full_back_buffer.get(), 0, 24);
  ASSERT_EQ(D3D_OK, DrawInPass());
  EXPECT_EQ(std::vector<std::string>{"draw 0 (ProcessImage0, pass 0): render target 0 has "
                                     "format 22, which the fake cannot write"},
            device->draw_errors());
  const std::vector<uint8_t> zero(4, 0);
  EXPECT_EQ(zero, fakes::ReadTexelBytes(device->back_buffer(), 639, 479));
}

TEST_F(PassProgramTest, TheEffectKeepsItsTexturesThroughALostDeviceSoResetIsRefused) {
  target_surface.reset();
  target.reset();
  quad.reset();
  fakes::FakeEffect* fx = EffectWith([](PassContext&) {});
  ComPtr<IDirect3DTexture9> source = Texture(D3DFMT_A16B16G16R16F);
  ASSERT_EQ(D3D_OK, fx->SetTexture("TxSrc0", source.get()));
  IDirect3DTexture9* raw = source.get();
  source.reset();
  EXPECT_EQ(1, device->live_default_pool_resources());
  EXPECT_EQ(1u, static_cast<fakes::FakeTexture*>(raw)->references());

  ASSERT_EQ(D3D_OK, fx->OnLostDevice());
  D3DPRESENT_PARAMETERS parameters{};
  EXPECT_EQ(D3DERR_INVALIDCALL, device->Reset(&parameters));
  EXPECT_EQ(raw, fx->TextureValue("TxSrc0"));

  ASSERT_EQ(D3D_OK, fx->SetTexture("TxSrc0", nullptr));
  EXPECT_EQ(0, device->live_default_pool_resources());
  EXPECT_EQ(D3D_OK, device->Reset(&parameters));
}

}  // namespace
