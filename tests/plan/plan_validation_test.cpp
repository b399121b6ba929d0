// ValidatePlan: the image format, the pixel-shader version, the target
// tables and the completion of the source offsets, with the messages the
// user sees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plan/effect_plan.h"
#include "plan/plan_fixture.h"
#include "plan/plan_messages.h"

namespace {

using fakes::EffectDescription;
using plan_test::PlanFixture;

constexpr UINT kWarning = 0x1030;  // MB_ICONWARNING | MB_SYSTEMMODAL
constexpr UINT kError = 0x1010;    // MB_ICONERROR | MB_SYSTEMMODAL

struct Box {
  UINT style;
  std::wstring text;
};

const wchar_t kS16Unsupported[] =
    L"\"S16\"フォーマットは現在利用中のGPUではサポートされていません。\n\"F32\"として処理します"
    L"が、正しく動作しない可能性があります。";
const wchar_t kF16Unsupported[] =
    L"\"F16\"フォーマットは現在利用中のGPUではサポートされていません。\n\"F32\"として処理します"
    L"が、正しく動作しない可能性があります。";
const wchar_t kNoFormat[] = L"利用可能なフォーマットがありません";
const wchar_t kNeedsPs30[] =
    L"このフィルタの動作には ps_3_0 以降をサポートするGPUが必要です。\n現在利用中のGPUでは正常"
    L"に動作しない可能性があります。";
const wchar_t kNeedsPs2a[] =
    L"このフィルタの動作には ps_2_a 以降をサポートするGPUが必要です。\n現在利用中のGPUでは正常"
    L"に動作しない可能性があります。";
const wchar_t kMissingTarget[] = L"存在しないレンダーターゲットが出力に指定されています。";
const wchar_t kDuplicateTarget[] = L"同じレンダーターゲットが同時に出力先として指定されています。";
const wchar_t kPassWithoutTarget[] =
    L"レンダーターゲット指定を利用しているテクニックでは、\nすべてのパスで出力先を指定しておく"
    L"必要があります。";
// Findings that name where they are.
const wchar_t kGapInProcessImage0Pass0[] =
    L"テクニック\"ProcessImage0\"のパス0では、出力先が\"RenderTarget0\"から順に隙間なく指定"
    L"されていません。";
const wchar_t kNegativeInProcessImage1Pass1[] =
    L"テクニック\"ProcessImage1\"のパス1に、負のレンダーターゲット番号が指定されています。";
const wchar_t kNoPassesInProcessImage1[] = L"テクニック\"ProcessImage1\"にパスがひとつもありません。";
const wchar_t kTooManyOutputs[] =
    L"現在利用中のGPUでは同時に出力できるターゲット数が不足しています。\n正常な出力が得られない"
    L"可能性があります。";
const wchar_t kOnlyTxRT0[] =
    L"\"TxSrc#\"と\"TxTmp\"が存在せず\"TxRT0\"のみが有効です。\n\"TxRT0\"を参照して出力すると自分"
    L"自身を書き換えることになり、\n正常な結果は保証されません。";

// Reports a mismatch at the caller's line.
#define EXPECT_SHOWN(...)             \
  do {                                \
    SCOPED_TRACE("messages checked"); \
    ExpectShown(__VA_ARGS__);         \
  } while (0)

class PlanValidationTest : public PlanFixture {
 protected:
  void SetUp() override {
    PlanFixture::SetUp();
    SetCapableDevice();
  }

  // Builds the plan of the description and validates it.
  HRESULT Validate(const EffectDescription& description) {
    UseEffect(description);
    HRESULT built = BuildPassPlan(engine());
    EXPECT_EQ(S_OK, built);
    native_platform::ClearMessageBoxes();
    return ValidatePlan(engine());
  }

  // The boxes shown, each checked for its owner and caption.
  std::vector<Box> Shown(const wchar_t* caption = L"Texloom") {
    std::vector<Box> boxes;
    for (const auto& record : native_platform::MessageBoxes()) {
      EXPECT_EQ(nullptr, record.owner);
      EXPECT_EQ(std::wstring(caption), record.caption);
      boxes.push_back({record.style, record.text});
    }
    return boxes;
  }

  void ExpectShown(const std::vector<Box>& expected, const wchar_t* caption = L"Texloom") {
    std::vector<Box> shown = Shown(caption);
    ASSERT_EQ(expected.size(), shown.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      SCOPED_TRACE("message " + std::to_string(i));
      EXPECT_EQ(expected[i].style, shown[i].style);
      EXPECT_EQ(expected[i].text, shown[i].text);
    }
  }
};

TEST_F(PlanValidationTest, WithoutEffectFailsSilently) {
  engine().image_format = U16;
  EXPECT_EQ(D3DERR_INVALIDCALL, ValidatePlan(engine()));
  EXPECT_EQ(U16, engine().image_format);
  EXPECT_TRUE(native_platform::MessageBoxes().empty());
}

TEST_F(PlanValidationTest, ImageFormat) {
  struct FormatCase {
    const char* label;
    const char* word;  // null: no annotation
    std::vector<ImageFormat> supported;
    ImageFormat format;
    HRESULT result;
    std::vector<Box> boxes;
  };
  const FormatCase cases[] = {
      {"no annotation", nullptr, {F32}, F32, S_OK, {}},
      {"F32 word", "F32", {F32, S16}, F32, S_OK, {}},
      {"lower-case word", "s16", {F32, S16}, F32, S_OK, {}},
      {"S16 supported", "S16", {F32, S16}, S16, S_OK, {}},
      {"F16 supported without F32", "F16", {F16}, F16, S_OK, {}},
      {"U16", "U16", {U16}, U16, S_OK, {}},
      {"B16", "B16", {B16}, B16, S_OK, {}},
      {"S16 unsupported", "S16", {F32, U16, B16, F16}, F32, S_OK, {{kWarning, kS16Unsupported}}},
      {"F16 and F32 unsupported",
       "F16",
       {S16, A2B10G10R10_PROBE},
       none,
       E_NOTIMPL,
       {{kWarning, kF16Unsupported}, {kError, kNoFormat}}},
      {"F32 unsupported",
       nullptr,
       {S16, F16, A2B10G10R10_PROBE},
       none,
       E_NOTIMPL,
       {{kError, kNoFormat}}},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.label);
    for (bool& s : engine().format_supported) s = false;
    for (ImageFormat f : c.supported) engine().format_supported[f] = true;
    engine().image_format = A2B10G10R10_PROBE;
    EffectDescription description;
    auto& version = description.Int("FilterVersion");
    if (c.word) version.Annotate("img_format", c.word);
    EXPECT_EQ(c.result, Validate(description));
    EXPECT_EQ(c.format, engine().image_format);
    EXPECT_SHOWN(c.boxes);
  }
}

TEST_F(PlanValidationTest, UnreadableFormatWordMeansF32Silently) {
  struct ReadCase {
    const char* label;
    bool string_annotation;
    bool fail_read;
  };
  const ReadCase cases[] = {
      {"not a string", false, false},
      {"GetString fails", true, true},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.label);
    EffectDescription description;
    if (c.string_annotation) {
      description.Int("FilterVersion").Annotate("img_format", "S16");
    } else {
      description.Int("FilterVersion").Annotate("img_format", 4);
    }
    if (c.fail_read) fakes::FailCall("ID3DXEffect::GetString", 1, E_FAIL);
    EXPECT_EQ(S_OK, Validate(description));
    EXPECT_EQ(F32, engine().image_format);
    EXPECT_SHOWN({});
  }
}

TEST_F(PlanValidationTest, PixelShaderVersion) {
  struct VersionCase {
    const char* label;
    std::vector<int> min_ps_ver;  // empty: no annotation
    DWORD device_version;
    std::vector<Box> boxes;
  };
  const VersionCase cases[] = {
      {"3.0 on a 2.0 device", {3, 0}, 0xFFFF0200u, {{kWarning, kNeedsPs30}}},
      {"2.a on a 2.0 device", {2, 10}, 0xFFFF0200u, {{kWarning, kNeedsPs2a}}},
      {"2.a on a 3.0 device", {2, 10}, 0xFFFF0300u, {}},
      {"3.0 on a 3.0 device", {3, 0}, 0xFFFF0300u, {}},
      {"3.0 on a device without pixel shaders", {3, 0}, 0, {{kWarning, kNeedsPs30}}},
      {"no annotation", {}, 0, {}},
      // D3DX reads what the annotation holds; the minor version stays 0.
      {"a single integer on a 2.0 device", {3}, 0xFFFF0200u, {{kWarning, kNeedsPs30}}},
      {"a single integer met by the device", {2}, 0xFFFF0200u, {}},
  };
  for (const VersionCase& c : cases) {
    SCOPED_TRACE(c.label);
    engine().caps.PixelShaderVersion = c.device_version;
    EffectDescription description;
    auto& version = description.Int("FilterVersion");
    if (!c.min_ps_ver.empty()) version.Annotate("min_ps_ver", c.min_ps_ver);
    EXPECT_EQ(S_OK, Validate(description));
    EXPECT_SHOWN(c.boxes);
  }
}

TEST_F(PlanValidationTest, FailedVersionReadSkipsTheCheck) {
  // Any version read, even {0, 0}, is above a device without shaders.
  engine().caps.PixelShaderVersion = 0;
  EffectDescription description;
  description.Int("FilterVersion").Annotate("min_ps_ver", std::vector<int>{3, 0});
  fakes::FailCall("ID3DXEffect::GetIntArray", 1, E_FAIL);
  EXPECT_EQ(S_OK, Validate(description));
  EXPECT_SHOWN({});
}

// One pass per entry; each lists its RenderTarget annotations (-1: none).
struct PassAnnotations {
  std::vector<int> targets;
};

void AddTechnique(EffectDescription& description, const std::string& name,
                  const std::vector<PassAnnotations>& passes) {
  auto& technique = description.Technique(name);
  for (const PassAnnotations& annotations : passes) {
    auto& pass = technique.Pass();
    for (size_t m = 0; m < annotations.targets.size(); ++m) {
      if (annotations.targets[m] != -1)
        pass.Annotate("RenderTarget" + std::to_string(m), annotations.targets[m]);
    }
  }
}

TEST_F(PlanValidationTest, RenderTargetAnnotations) {
  struct TargetCase {
    const char* label;
    int render_targets;
    std::vector<std::vector<PassAnnotations>> techniques;
    DWORD simultaneous;
    HRESULT result;
    std::vector<Box> boxes;
  };
  const TargetCase cases[] = {
      {"valid", 2, {{{{0}}, {{1}}}}, 1, S_OK, {}},
      {"target 2 with two TxRT", 2, {{{{2}}}}, 4, E_INVALIDARG, {{kError, kMissingTarget}}},
      {"RenderTarget0 and RenderTarget2 both 0",
       2,
       {{{{0, -1, 0}}}},
       4,
       E_INVALIDARG,
       {{kError, kDuplicateTarget}}},
      {"only pass 1 has a target",
       1,
       {{{{-1}}, {{0}}, {{-1}}}},
       4,
       E_INVALIDARG,
       {{kError, kPassWithoutTarget}}},
      {"only RenderTarget1 set",
       2,
       {{{{-1, 1}}}},
       1,
       E_INVALIDARG,
       {{kError, kGapInProcessImage0Pass0}}},
      {"RenderTarget0 = -5 in the second technique's second pass",
       1,
       {{{{0}}}, {{{0}}, {{-5}}}},
       4,
       E_INVALIDARG,
       {{kError, kNegativeInProcessImage1Pass1}}},
      {"a technique without passes", 0, {{{{}}}, {}}, 1, E_INVALIDARG,
       {{kError, kNoPassesInProcessImage1}}},
      {"two passes of four outputs, device with two",
       4,
       {{{{0, 1, 2, 3}}, {{3, 2, 1, 0}}}},
       2,
       S_OK,
       {{kWarning, kTooManyOutputs}}},
      {"two passes of four outputs, device with four",
       4,
       {{{{0, 1, 2, 3}}, {{3, 2, 1, 0}}}},
       4,
       S_OK,
       {}},
      {"shortage, then an error in the next technique",
       2,
       {{{{0, 1}}}, {{{5}}}},
       1,
       E_INVALIDARG,
       {{kWarning, kTooManyOutputs}, {kError, kMissingTarget}}},
      {"only the first error",
       2,
       {{{{1, 1}}}, {{{-1}}, {{0}}}},
       4,
       E_INVALIDARG,
       {{kError, kDuplicateTarget}}},
      {"technique without targets", 0, {{{{}}, {{}}}}, 1, S_OK, {}},
  };
  for (const TargetCase& c : cases) {
    SCOPED_TRACE(c.label);
    engine().caps.NumSimultaneousRTs = c.simultaneous;
    EffectDescription description;
    description.Texture("TxSrc0");
    for (int k = 0; k < c.render_targets; ++k) description.Texture("TxRT" + std::to_string(k));
    for (size_t t = 0; t < c.techniques.size(); ++t) {
      AddTechnique(description, "ProcessImage" + std::to_string(t), c.techniques[t]);
    }
    EXPECT_EQ(c.result, Validate(description));
    EXPECT_SHOWN(c.boxes);
  }
}

TEST_F(PlanValidationTest, CurrentFrameOffsetCompletion) {
  struct OffsetCase {
    const char* label;
    bool tx_src;
    bool tx_tmp;
    int render_targets;
    std::vector<int32_t> offsets;
    std::vector<Box> boxes;
  };
  const OffsetCase cases[] = {
      {"only TxRT0", false, false, 1, {0}, {{kWarning, kOnlyTxRT0}}},
      {"TxTmp and TxRT0", false, true, 1, {0}, {}},
      {"TxTmp only", false, true, 0, {0}, {}},
      {"two TxRT", false, false, 2, {0}, {}},
      {"nothing reads an image", false, false, 0, {}, {}},
      {"TxSrc at offset 1 and TxRT0", true, false, 1, {1}, {}},
  };
  for (const OffsetCase& c : cases) {
    SCOPED_TRACE(c.label);
    EffectDescription description;
    if (c.tx_src) description.Texture("TxSrc0").Annotate("frame_offset", 1);
    if (c.tx_tmp) description.Texture("TxTmp");
    for (int k = 0; k < c.render_targets; ++k) description.Texture("TxRT" + std::to_string(k));
    EXPECT_EQ(S_OK, Validate(description));
    EXPECT_EQ(c.offsets, engine().source_offsets);
    // The appended offset feeds "TxTmp" through render target 0, not
    // through a source texture.
    EXPECT_FALSE(engine().current_frame_is_source);
    EXPECT_EQ(c.tx_src ? 1u : 0u, engine().source_texture_slots.size());
    EXPECT_SHOWN(c.boxes);
  }
}

TEST_F(PlanValidationTest, WarningsAccumulateInOrderAndAnErrorStopsTheRest) {
  engine().format_supported[S16] = false;
  engine().caps.PixelShaderVersion = 0xFFFF0200u;
  engine().caps.NumSimultaneousRTs = 1;
  EffectDescription description;
  description.Int("FilterVersion")
      .Annotate("img_format", "S16")
      .Annotate("min_ps_ver", std::vector<int>{3, 0});
  description.Texture("TxRT0");
  description.Texture("TxRT1");
  AddTechnique(description, "ProcessImage0", {{{0, 1}}, {{2}}});

  EXPECT_EQ(E_INVALIDARG, Validate(description));
  EXPECT_EQ(F32, engine().image_format);
  EXPECT_SHOWN({{kWarning, kS16Unsupported},
                {kWarning, kNeedsPs30},
                {kWarning, kTooManyOutputs},
                {kError, kMissingTarget}});
  // The offset completion after the failed check did not run.
  EXPECT_TRUE(engine().source_offsets.empty());
}

TEST_F(PlanValidationTest, FormatErrorSkipsEveryLaterCheck) {
  engine().format_supported[F32] = false;
  engine().caps.PixelShaderVersion = 0;
  EffectDescription description;
  description.Int("FilterVersion").Annotate("min_ps_ver", std::vector<int>{3, 0});
  description.Texture("TxRT0");
  AddTechnique(description, "ProcessImage0", {{{4}}});

  EXPECT_EQ(E_NOTIMPL, Validate(description));
  EXPECT_SHOWN({{kError, kNoFormat}});
  EXPECT_TRUE(engine().source_offsets.empty());
}

TEST_F(PlanValidationTest, CaptionIsTheEffectsDisplayName) {
  wchar_t name[] = L"ぼかし";
  state().display_name = name;
  engine().caps.PixelShaderVersion = 0xFFFF0200u;
  EffectDescription description;
  description.Int("FilterVersion").Annotate("min_ps_ver", std::vector<int>{2, 10});
  description.Texture("TxRT0");
  AddTechnique(description, "ProcessImage0", {{{3}}});

  EXPECT_EQ(E_INVALIDARG, Validate(description));
  EXPECT_SHOWN({{kWarning, kNeedsPs2a}, {kError, kMissingTarget}}, L"ぼかし");
  state().display_name = nullptr;
}

}  // namespace
