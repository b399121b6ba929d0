// Output pixels of whole frames: every image format, passes without targets
// and with explicit ones, "TxTmp" and "TxRT%d", the controls, techniques
// and the size-dependent parameters as a pass sees them.
#include "pipeline/pipeline_fixture.h"
#include "plugin/plugin_handlers.h"
#include "plugin/target_dump_abi.h"

namespace pipeline_test {
namespace {

class FrameOutputTest : public PipelineTest, public ::testing::WithParamInterface<bool> {
 protected:
  bool worker() const { return GetParam(); }
};

// The host value that comes back through an identity pass in each format.
int16_t IdentityThrough(const std::string& format, int16_t v) {
  if (format == "F16") {
    return ComponentFromFloat16(Float16FromComponent(v), NativeRounding());
  }
  // The signed format reads 0x8000 as -1, which a write stores as -32767.
  if (format == "S16" && v == -32768) return -32767;
  // F32 holds every value exactly; U16 and B16 carry the 16 bits through.
  return v;
}

TEST_P(FrameOutputTest, IdentityInEveryImageFormat) {
  for (const std::string format : {"", "F16", "U16", "B16", "S16"}) {
    SCOPED_TRACE(format.empty() ? "F32" : format);
    EffectDescription effect;
    DeclareFilter(effect, format);
    effect.Texture("TxSrc0");
    effect.Technique("ProcessImage0").Pass().Program(CopyOf("TxSrc0"));
    ASSERT_TRUE(Start(effect, worker()));
    // The extremes of the range are in every frame.
    host.content = [](int frame, int x, int y) {
      if (x == 0 && y == 0) return HostPixel{-32768, 32767, 0};
      if (x == 1 && y == 0) return HostPixel{-1, 1, 4096};
      return plugin_test::DefaultPixel(frame, x, y);
    };
    for (int frame : {0, 1, 7}) {
      SCOPED_TRACE(frame);
      ASSERT_EQ(1, Run(frame));
      EXPECT_TRUE(OutputIs([&](int x, int y) {
        HostPixel in = host.PixelOf(frame, x, y);
        return HostPixel{IdentityThrough(format, in.c0), IdentityThrough(format, in.c1),
                         IdentityThrough(format, in.c2)};
      }));
    }
    EXPECT_TRUE(native_platform::MessageBoxes().empty());
    ExitHandler(&filter_table);
  }
}

TEST_P(FrameOutputTest, PassesWithoutTargetsChainThroughTxTmp) {
  for (int passes : {1, 2, 3}) {
    SCOPED_TRACE(testing::Message() << passes << " passes");
    EffectDescription effect;
    DeclareFilter(effect);
    effect.Texture("TxSrc0");
    effect.Texture("TxTmp");
    auto& technique = effect.Technique("ProcessImage0");
    // Each pass reads the previous image through "TxTmp" and adds its own
    // number: the start image is the current frame.
    for (int i = 0; i < passes; ++i) technique.Pass().Program(CopyOf("TxTmp", (i + 1) * kUnit));
    ASSERT_TRUE(Start(effect, worker()));
    ASSERT_EQ(1, Run(3));
    const long added = passes * (passes + 1) / 2;
    EXPECT_TRUE(OutputIs(
        [&](int x, int y) { return InputWith(3, x, y, [&](int16_t v) { return v + added; }); }));
    ExitHandler(&filter_table);
  }
}

TEST_P(FrameOutputTest, AlternatingSlotsWithoutTxTmpDeliverTheLastPass) {
  // Without "TxTmp" the passes read only the source; the last one counts.
  EffectDescription effect;
  DeclareFilter(effect);
  effect.Texture("TxSrc0");
  auto& technique = effect.Technique("ProcessImage0");
  technique.Pass().Program(CopyOf("TxSrc0", 100 * kUnit));
  technique.Pass().Program(CopyOf("TxSrc0", 7 * kUnit));
  ASSERT_TRUE(Start(effect, worker()));
  ASSERT_EQ(1, Run(0));
  EXPECT_TRUE(
      OutputIs([&](int x, int y) { return InputWith(0, x, y, [](int16_t v) { return v + 7; }); }));
}

TEST_P(FrameOutputTest, ExplicitTargetsWithSeveralOutputs) {
  EffectDescription effect;
  DeclareFilter(effect);
  effect.Texture("TxSrc0");
  effect.Texture("TxRT0");
  effect.Texture("TxRT1");
  effect.Texture("TxRT2");
  auto& technique = effect.Technique("ProcessImage0");
  // Pass 0 writes source + 1 into TxRT0 and source + 2 into TxRT1 at once.
  technique.Pass()
      .Annotate("RenderTarget0", 0)
      .Annotate("RenderTarget1", 1)
      .Program([](PassContext& c) {
        c.Shade([&](int x, int y, Float4 out[4]) {
          Float4 v = c.Sample("TxSrc0", x, y);
          out[0] = {v.x + kUnit, v.y + kUnit, v.z + kUnit, 0};
          out[1] = {v.x + 2 * kUnit, v.y + 2 * kUnit, v.z + 2 * kUnit, 0};
        });
      });
  // Pass 1 sums both into TxRT2, which is output 0 of the last pass.
  technique.Pass().Annotate("RenderTarget0", 2).Program(Program([](PassContext& c, int x, int y) {
    Float4 a = c.Sample("TxRT0", x, y);
    Float4 b = c.Sample("TxRT1", x, y);
    return Float4{a.x + b.x, a.y + b.y, a.z + b.z, 0};
  }));
  ASSERT_TRUE(Start(effect, worker()));
  host.content = [](int frame, int x, int y) {
    return HostPixel{static_cast<int16_t>(x - y), static_cast<int16_t>(frame * 100 + x),
                     static_cast<int16_t>(-3 * y)};
  };
  // A tool's target dump (plugin/target_dump_abi.h): nothing unless armed,
  // then every output of every pass, and the same frame.
  const UINT dump = RegisterWindowMessageW(kTargetDumpMessageName);
  TargetDumpResult taken = {sizeof(TargetDumpResult), 99, nullptr};
  ASSERT_EQ(1, Run(2));
  WindowMessageHandler(nullptr, dump, kTargetDumpTake, reinterpret_cast<LPARAM>(&taken), nullptr,
                       &filter_table);
  EXPECT_EQ(0u, taken.count);
  WindowMessageHandler(nullptr, dump, kTargetDumpArm, 0, nullptr, &filter_table);
  ASSERT_EQ(1, Run(2));
  WindowMessageHandler(nullptr, dump, kTargetDumpTake, reinterpret_cast<LPARAM>(&taken), nullptr,
                       &filter_table);
  ASSERT_EQ(3u, taken.count);
  const struct {
    int pass, output, slot, add;
    const char* name;
  } dumped[] = {{0, 0, 0, 1, "TxRT0"}, {0, 1, 1, 2, "TxRT1"}, {1, 0, 2, 3, "TxRT2"}};
  for (int i = 0; i < 3; ++i) {
    const TargetDumpImage& image = taken.images[i];
    EXPECT_EQ(dumped[i].pass, image.pass);
    EXPECT_EQ(dumped[i].output, image.output);
    EXPECT_EQ(dumped[i].slot, image.slot);
    EXPECT_STREQ(dumped[i].name, image.name);
    ASSERT_EQ(0, image.status);
    ASSERT_EQ(request.width, image.width);
    ASSERT_EQ(request.height, image.height);
    // Pass 1 sums the two: 2 v + 3. G (the host's c1) is positive here.
    const int x = 5, y = 1;
    const long v = 2 * 100 + x;
    const long host_units = dumped[i].add == 3 ? 2 * v + 3 : v + dumped[i].add;
    EXPECT_EQ(std::lround(static_cast<float>(host_units) * kUnit * 65535.0f),
              image.pixels[(y * image.width + x) * 4 + 1]) << dumped[i].name;
    EXPECT_EQ(0, image.pixels[(y * image.width + x) * 4 + 2]) << "negative: 0";
  }
  EXPECT_TRUE(OutputIs(
      [&](int x, int y) { return InputWith(2, x, y, [](int16_t v) { return 2 * v + 3; }); }));
  // Outputs 2 and 3 of pass 0 and outputs 1..3 of pass 1 were unbound; the
  // two frames drew the same.
  const auto& all = Device()->draw_calls();
  ASSERT_EQ(4u, all.size());
  for (size_t first : {size_t{0}, size_t{2}}) {
    const auto* draws = &all[first];
    EXPECT_NE(nullptr, draws[0].targets[1]);
    EXPECT_EQ(nullptr, draws[0].targets[2]);
    EXPECT_EQ(nullptr, draws[1].targets[1]);
  }
}

TEST_P(FrameOutputTest, TxRtOnlyEffectsStartFromTheCurrentFrameInSlotZero) {
  EffectDescription effect;
  DeclareFilter(effect);
  effect.Texture("TxRT0");
  effect.Texture("TxRT1");
  // Pass 0 reads the frame copied into slot 0 and writes slot 1.
  effect.Technique("ProcessImage0").Pass().Program(CopyOf("TxRT0", 5 * kUnit));
  ASSERT_TRUE(Start(effect, worker()));
  ASSERT_EQ(1, Run(4));
  EXPECT_TRUE(
      OutputIs([&](int x, int y) { return InputWith(4, x, y, [](int16_t v) { return v + 5; }); }));
  EXPECT_FALSE(Device()->draw_calls().back().feedback);
}

TEST_P(FrameOutputTest, OnlyTxRt0ReadsTheFrameItOverwrites) {
  EffectDescription effect;
  DeclareFilter(effect);
  effect.Texture("TxRT0");
  effect.Technique("ProcessImage0").Pass().Program(CopyOf("TxRT0", 9 * kUnit));
  ASSERT_TRUE(Start(effect, worker()));
  // The init warned that "TxRT0" is read and written at once.
  ASSERT_EQ(1u, native_platform::MessageBoxes().size());
  EXPECT_EQ(0x1030u, native_platform::MessageBoxes()[0].style);
  ASSERT_EQ(1, Run(4));
  EXPECT_TRUE(Device()->draw_calls().back().feedback);
  EXPECT_TRUE(
      OutputIs([&](int x, int y) { return InputWith(4, x, y, [](int16_t v) { return v + 9; }); }));
}

TEST_P(FrameOutputTest, ControlValuesInEveryModeReachThePass) {
  EffectDescription effect;
  DeclareFilter(effect);
  effect.Texture("TxSrc0");
  effect.Int("Track0").Annotate("usage", "even").Annotate("def", 3);
  effect.Float("Track1").Annotate("usage", "normalize").Annotate("max", 4096).Annotate("def", 8);
  effect.Int("Track2").Annotate("usage", "odd0").Annotate("def", -2);
  effect.Bool("Check0").Annotate("def", true);
  effect.Int("Check1").Annotate("usage", "odd");
  effect.Technique("ProcessImage0").Pass().Program(Program([](PassContext& c, int x, int y) {
    Float4 v = c.Sample("TxSrc0", x, y);
    return Float4{v.x + c.Int("Track0") * kUnit + c.Float("Track1"),
                  v.y + c.Int("Track2") * kUnit + (c.Bool("Check0") ? 1000 * kUnit : 0),
                  v.z + c.Int("Check1") * kUnit, 0};
  }));
  ASSERT_TRUE(Start(effect, worker()));
  host.content = [](int, int x, int y) {
    return HostPixel{static_cast<int16_t>(x), static_cast<int16_t>(y), 0};
  };
  ASSERT_EQ(1, Run(0));
  // even 3 -> 6; 8 / 4096 -> 8 units; odd0 -2 -> -3; check on; odd off -> -1.
  EXPECT_TRUE(OutputIs([](int x, int y) {
    return HostPixel{static_cast<int16_t>(x + 6 + 8), static_cast<int16_t>(y - 3 + 1000), -1};
  }));

  // A change reaches the effect on the next frame after the update handler.
  track_values[0] = -4;
  check_values[0] = 0;
  check_values[1] = 1;
  UpdateHandler(&filter_table, 0);
  ASSERT_EQ(1, Run(1));
  EXPECT_TRUE(OutputIs([](int x, int y) {
    return HostPixel{static_cast<int16_t>(x - 8 + 8), static_cast<int16_t>(y - 3), 1};
  }));

  // Without a change no control value is written at all.
  Effect()->ClearValueLog();
  ASSERT_EQ(1, Run(2));
  for (const auto& set : Effect()->value_log()) {
    EXPECT_TRUE(set.parameter.rfind("Track", 0) != 0 && set.parameter.rfind("Check", 0) != 0)
        << set.parameter;
  }
}

TEST_P(FrameOutputTest, ATechniqueTrackSelectsWhatRuns) {
  EffectDescription effect;
  DeclareFilter(effect);
  effect.Texture("TxSrc0");
  effect.Int("Track0").Annotate("usage", "technique").Annotate("max", 2);
  for (int t = 0; t < 3; ++t) {
    effect.Technique("ProcessImage" + std::to_string(t))
        .Pass()
        .Program(CopyOf("TxSrc0", (t + 1) * 10 * kUnit));
  }
  ASSERT_TRUE(Start(effect, worker()));
  const struct {
    int32_t value;
    long added;
  } cases[] = {{0, 10}, {2, 30}, {1, 20}, {7, 30}, {-5, 10}};
  int frame = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    track_values[0] = c.value;
    UpdateHandler(&filter_table, 0);
    ASSERT_EQ(1, Run(frame));
    EXPECT_TRUE(OutputIs([&](int x, int y) {
      return InputWith(frame, x, y, [&](int16_t v) { return v + c.added; });
    }));
    ++frame;
  }
}

TEST_P(FrameOutputTest, SizeParametersAsThePassSeesThem) {
  EffectDescription effect;
  DeclareFilter(effect, "B16");
  effect.Texture("TxSrc0");
  effect.Vector("SrcSize", {});
  effect.Vector("PixScale", {});
  effect.VectorArray("PixelKernel0", {{-2, 1, 0.5f, 0}, {3, 0, 0.25f, 0}});
  effect.VectorArray("TexelKernel0", {{0, 0, 0, 0}, {0, 0, 0, 0}});
  effect.Int("Frame");
  effect.Int("FrameNum");
  Float4 seen_size, seen_scale;
  std::vector<Float4> seen_kernel;
  int seen_frame = -1, seen_count = -1;
  effect.Technique("ProcessImage0").Pass().Program([&](PassContext& c) {
    seen_size = c.Vector("SrcSize");
    seen_scale = c.Vector("PixScale");
    seen_kernel = c.VectorArray("TexelKernel0");
    seen_frame = c.Int("Frame");
    seen_count = c.Int("FrameNum");
    // Shifted by the first kernel entry, turned back into pixels.
    const int dx = static_cast<int>(std::lround(seen_kernel[0].x * c.width()));
    const int dy = static_cast<int>(std::lround(seen_kernel[0].y * c.height()));
    c.Shade([&](int x, int y, Float4 out[4]) { out[0] = c.Sample("TxSrc0", x + dx, y + dy); });
  });
  ASSERT_TRUE(Start(effect, worker()));
  host.max_width = host.frame_width = 640;
  host.max_height = host.frame_height = 480;
  host.frame_count = 250;
  ASSERT_EQ(1, Run(42));
  EXPECT_EQ((Float4{640, 480, 0, 0}), seen_size);
  EXPECT_EQ((Float4{65535, -32768, 0, 0}), seen_scale);
  ASSERT_EQ(2u, seen_kernel.size());
  EXPECT_EQ((Float4{-2 * (1.0f / 640), 1.0f / 480, 0.5f, 0}), seen_kernel[0]);
  EXPECT_EQ((Float4{3 * (1.0f / 640), 0, 0.25f, 0}), seen_kernel[1]);
  EXPECT_EQ(42, seen_frame);
  EXPECT_EQ(250, seen_count);
  EXPECT_TRUE(OutputIs([&](int x, int y) {
    return host.PixelOf(42, std::max(0, std::min(639, x - 2)), std::max(0, std::min(479, y + 1)));
  }));
}

TEST_P(FrameOutputTest, WidestAndSmallestFrames) {
  EffectDescription effect;
  DeclareFilter(effect);
  effect.Texture("TxSrc0");
  effect.Technique("ProcessImage0").Pass().Program(CopyOf("TxSrc0", kUnit));
  d3d->device_config.caps.MaxTextureWidth = 1280;
  ASSERT_TRUE(Start(effect, worker()));
  host.max_width = 1280;
  for (auto size : {plugin_test::FrameSize{1280, 4}, plugin_test::FrameSize{1, 1},
                    plugin_test::FrameSize{3, 7}}) {
    SCOPED_TRACE(testing::Message() << size.width << "x" << size.height);
    host.frame_width = size.width;
    host.frame_height = size.height;
    ASSERT_EQ(1, Run(5));
    EXPECT_TRUE(OutputIs(
        [&](int x, int y) { return InputWith(5, x, y, [](int16_t v) { return v + 1; }); }));
  }
  // Wider than the device can hold: the frame fails, silently, every time.
  host.max_width = 1281;
  host.frame_width = 1281;
  EXPECT_EQ(0, Run(6));
  EXPECT_EQ(0, Run(7));
  EXPECT_TRUE(native_platform::MessageBoxes().empty());
}

INSTANTIATE_TEST_SUITE_P(WorkerAndInline, FrameOutputTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "worker" : "inline";
                         });

}  // namespace
}  // namespace pipeline_test
