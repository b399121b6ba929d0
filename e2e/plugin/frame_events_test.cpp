// Events around the frames: the render worker on or off ("disable_pp") gives
// the same pixels; the settings read at init; a clip of another size; the
// warnings and errors the plan validation shows at init.
#include <gtest/gtest.h>

#include <cstdio>

#include "e2e/plugin/effect_text.h"
#include "e2e/plugin/plugin_test_support.h"

namespace plugin_e2e {
namespace {

constexpr int kFrames = 30;

HostPixel Input(int frame, int x, int y) {
  return HostPixel{static_cast<int16_t>(frame * 300 + x * 3 - y),
                   static_cast<int16_t>(x * y - frame * 100), static_cast<int16_t>(frame - x + y)};
}

int Clamp(int frame) { return frame < 0 ? 0 : frame >= kFrames ? kFrames - 1 : frame; }

// Pass 0 takes c0 from the previous frame, c1 from this one and c2 from the
// next; pass 1 doubles what pass 0 wrote, read through TxTmp.
HostPixel Expected(int frame, int x, int y) {
  return HostPixel{Saturate(2 * Input(Clamp(frame - 1), x, y).c0),
                   Saturate(2 * Input(frame, x, y).c1),
                   Saturate(2 * Input(Clamp(frame + 1), x, y).c2)};
}

std::string TemporalChainEffect() {
  return FilterVersion("TemporalChain") + TemporalSources() + "texture TxTmp;\n" +
         PointSampler("Tmp", "TxTmp") + "technique ProcessImage0 {\n" + MixThreeFramesPass("P0") +
         Pass("P1",
              "      def c10, 2, 0, 0, 0\n"
              "      dcl t0.xy\n"
              "      dcl_2d s0\n"
              "      texld r0, t0, s0\n"
              "      mul r0, r0, c10.x\n"
              "      mov oC0, r0",
              "s0 = Tmp;") +
         "}\n";
}

class FrameEventsTest : public ::testing::Test {
 protected:
  void SetUp() override { RequireDirect3D("plugin_pixels_test"); }
};

TEST_F(FrameEventsTest, WorkerAndInlineDrawingGiveTheSameFrames) {
  const int frames[] = {3, 4, 5, 9, 8, 0, 29, 28};
  std::vector<std::vector<HostPixel>> outputs[2];
  for (int disable_pp : {0, 1}) {
    SCOPED_TRACE(disable_pp ? "inline" : "worker");
    HostOptions options;
    options.disable_pp = disable_pp;
    auto plugin = StartPlugin(TemporalChainEffect(), options);
    ASSERT_TRUE(plugin);
    Host& host = plugin->host();
    host.SetClip(MakeClip(41, 17, kFrames, Input), 48, 20);
    for (int frame : frames) {
      EXPECT_FRAME(host, frame, [frame](int x, int y) { return Expected(frame, x, y); });
      outputs[disable_pp].push_back(host.output().Frame(41, 17));
    }
  }
  ASSERT_EQ(outputs[0].size(), outputs[1].size());
  for (size_t i = 0; i < outputs[0].size(); ++i) {
    EXPECT_TRUE(outputs[0][i] == outputs[1][i]) << "frame " << frames[i] << " differs";
  }
}

TEST_F(FrameEventsTest, InitReadsDevThenDisablePp) {
  HostOptions options;
  options.dev = 7;  // beyond the adapters there are: the first adapter
  auto plugin = StartPlugin(TemporalChainEffect(), options);
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  EXPECT_EQ((std::vector<std::string>{"dev", "disable_pp"}), host.settings_read());
  host.SetClip(MakeClip(41, 17, kFrames, Input), 48, 20);
  EXPECT_FRAME(host, 2, [](int x, int y) { return Expected(2, x, y); });
  EXPECT_EQ(2u, host.settings_read().size()) << "settings are read at init only";
}

// A negative "dev" asks for the reference rasteriser. Windows has one only
// with the DirectX SDK; Wine makes one (wined3d, as for HAL).
TEST_F(FrameEventsTest, ANegativeDevAsksForTheReferenceRasteriser) {
  HostOptions options;
  options.dev = -1;
  LoadedPlugin plugin(CompileEffect(TemporalChainEffect()), options);
  ASSERT_TRUE(plugin.loaded()) << plugin.error();
  Host& host = plugin.host();
  if (!ReferenceDeviceAvailable()) {
    EXPECT_EQ(0, host.Init());
    std::vector<RecordedMessage> messages = plugin.TakeMessages();
    ASSERT_EQ(1u, messages.size()) << Describe(messages);
    EXPECT_MESSAGE(messages[0], L"D3Dデバイスの作成に失敗しました", L"TemporalChain", kStyleError);
    return;
  }
  std::printf("note: a reference-rasteriser device exists here\n");
  ASSERT_EQ(1, host.Init()) << Describe(plugin.TakeMessages());
  host.SetClip(MakeClip(41, 17, kFrames, Input), 48, 20);
  EXPECT_FRAME(host, 4, [](int x, int y) { return Expected(4, x, y); });
}

// A clip of another size within the same maximum: the frame resources are
// rebuilt and every source frame goes up again, also when the size returns.
TEST_F(FrameEventsTest, AnotherFrameSizeRebuildsAndUploadsEverything) {
  auto plugin = StartPlugin(TemporalChainEffect());
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  const int sizes[][2] = {{41, 17}, {16, 20}, {48, 9}, {41, 17}};
  int frame = 5;
  for (const auto& size : sizes) {
    SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]));
    host.SetClip(MakeClip(size[0], size[1], kFrames, Input), 48, 20);
    host.frames().ClearLog();
    EXPECT_FRAME(host, frame, [frame](int x, int y) { return Expected(frame, x, y); });
    EXPECT_EQ((std::vector<int>{frame, frame - 1, frame, frame + 1, frame + 2}),
              host.frames().Order());
    ++frame;
    EXPECT_FRAME(host, frame, [frame](int x, int y) { return Expected(frame, x, y); });
    ++frame;
  }
}

TEST_F(FrameEventsTest, AHigherPixelShaderThanTheDeviceHasIsWarnedAbout) {
  for (int major : {2, 4}) {
    SCOPED_TRACE("min_ps_ver " + std::to_string(major) + ".0");
    const std::string effect =
        FilterVersion("MinPs", "int min_ps_ver[2] = {" + std::to_string(major) + ", 0};") +
        IdentityTechnique();
    LoadedPlugin plugin(CompileEffect(effect));
    ASSERT_TRUE(plugin.loaded()) << plugin.error();
    ASSERT_EQ(1, plugin.host().Init()) << "a warning does not stop the init";
    std::vector<RecordedMessage> messages = plugin.TakeMessages();
    const unsigned required = 0xFFFF0000u | (static_cast<unsigned>(major) << 8);
    if (DevicePixelShaderVersion() >= required) {
      EXPECT_EQ("(no message)", Describe(messages));
    } else {
      ASSERT_EQ(1u, messages.size()) << Describe(messages);
      EXPECT_MESSAGE(messages[0],
                     L"このフィルタの動作には ps_" + std::to_wstring(major) +
                         L"_0 以降をサポートするGPUが必要です。\n"
                         L"現在利用中のGPUでは正常に動作しない可能性があります。",
                     L"MinPs", kStyleWarning);
    }
    plugin.host().SetClip(MakeClip(41, 17, kFrames, Input), 48, 20);
    EXPECT_FRAME(plugin.host(), 1, [](int x, int y) { return Input(1, x, y); });
  }
}

// Target tables that would draw nowhere useful are refused at init, the
// finding first, then the failed creation.
TEST_F(FrameEventsTest, TargetTablesThatCannotWorkFailTheInit) {
  const struct {
    const char* label;
    const char* pass_annotations;  // of pass 1 of ProcessImage0
    const wchar_t* message;
  } cases[] = {
      {"a target that does not exist", "int RenderTarget0 = 2;",
       L"存在しないレンダーターゲットが出力に指定されています。"},
      {"only RenderTarget1", "int RenderTarget1 = 1;",
       L"テクニック\"ProcessImage0\"のパス1では、出力先が\"RenderTarget0\"から順に隙間なく"
       L"指定されていません。"},
      {"a negative target", "int RenderTarget0 = -5;",
       L"テクニック\"ProcessImage0\"のパス1に、負のレンダーターゲット番号が指定されています。"},
      {"a technique without passes", nullptr,
       L"テクニック\"ProcessImage1\"にパスがひとつもありません。"},
  };
  const std::string copy = "      dcl t0.xy\n      dcl_2d s0\n      texld r0, t0, s0\n      mov oC0, r0";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::string effect = FilterVersion("BadTarget") + "texture TxSrc0 < int frame_offset = 0; >;\n" +
                         "texture TxRT0;\ntexture TxRT1;\n" + PointSampler("Source0", "TxSrc0") +
                         "technique ProcessImage0 {\n" +
                         Pass("P0", copy, "s0 = Source0;", "int RenderTarget0 = 0;");
    if (c.pass_annotations) {
      effect += Pass("P1", copy, "s0 = Source0;", c.pass_annotations) + "}\n";
    } else {
      effect += "}\ntechnique ProcessImage1 {\n}\n";
    }
    LoadedPlugin plugin(CompileEffect(effect));
    ASSERT_TRUE(plugin.loaded()) << plugin.error();
    EXPECT_EQ(0, plugin.host().Init());
    std::vector<RecordedMessage> messages = plugin.TakeMessages();
    ASSERT_EQ(2u, messages.size()) << Describe(messages);
    EXPECT_MESSAGE(messages[0], c.message, L"BadTarget", kStyleError);
    EXPECT_MESSAGE(messages[1], L"エフェクトの作成に失敗しました", L"BadTarget", kStyleError);
    plugin.host().SetClip(MakeClip(41, 17, kFrames, Input), 48, 20);
    EXPECT_EQ(0, plugin.host().Process(0)) << "no engine after a failed init";
  }
}

// TxRT0 alone is both the image a pass reads and the one it writes: the
// plug-in warns, and the frame still arrives in TxRT0 first.
TEST_F(FrameEventsTest, OnlyTxRT0IsWarnedAbout) {
  const std::string effect =
      FilterVersion("OnlyRT0") + "texture TxRT0;\n" + PointSampler("Rt0", "TxRT0") +
      "technique ProcessImage0 {\n" +
      Pass("P0", "      dcl t0.xy\n      dcl_2d s0\n      texld r0, t0, s0\n      mov oC0, r0",
           "s0 = Rt0;") +
      "}\n";
  LoadedPlugin plugin(CompileEffect(effect));
  ASSERT_TRUE(plugin.loaded()) << plugin.error();
  ASSERT_EQ(1, plugin.host().Init());
  std::vector<RecordedMessage> messages = plugin.TakeMessages();
  ASSERT_EQ(1u, messages.size()) << Describe(messages);
  EXPECT_MESSAGE(messages[0],
                 L"\"TxSrc#\"と\"TxTmp\"が存在せず\"TxRT0\"のみが有効です。\n"
                 L"\"TxRT0\"を参照して出力すると自分自身を書き換えることになり、\n"
                 L"正常な結果は保証されません。",
                 L"OnlyRT0", kStyleWarning);
}

}  // namespace
}  // namespace plugin_e2e
