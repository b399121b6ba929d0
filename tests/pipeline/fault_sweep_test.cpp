// A fault-injection sweep: every call into the fake GPU, D3DX and the host
// that a table request, an init, a dozen frames (with a lost and reset
// device, a size change, a jump and the resource messages) and an exit make
// is made to fail once, each in a run of its own. No run may crash, hang or
// leak; the user sees only the system's own messages; and the two frames
// after the scripted ones, where nothing fails, recover: the last shows
// exact pixels.
#include <cstdio>
#include <map>
#include <set>

#include "pipeline/pipeline_fixture.h"

namespace pipeline_test {
namespace {

EffectDescription SweptEffect() {
  EffectDescription effect;
  DeclareFilter(effect, "F16");
  effect.Texture("TxSrc0").Annotate("frame_offset", -1);
  effect.Texture("TxSrc1");
  effect.Texture("TxSrc2").Annotate("frame_offset", 1);
  effect.Texture("TxTmp");
  effect.Int("Track0").Annotate("def", 2).Annotate("max", 10);
  effect.Bool("Check0").Annotate("usage", "technique");
  effect.Vector("SrcSize", {});
  effect.VectorArray("PixelKernel0", {{1, 0, 0, 0}});
  effect.VectorArray("TexelKernel0", {{0, 0, 0, 0}});
  auto& technique = effect.Technique("ProcessImage0");
  technique.Pass().Program(Program([](PassContext& c, int x, int y) {
    Float4 a = c.Sample("TxSrc0", x, y), b = c.Sample("TxSrc1", x, y), d = c.Sample("TxSrc2", x, y);
    return Float4{a.x + b.x + d.x, a.y + b.y + d.y, a.z + b.z + d.z, 0};
  }));
  technique.Pass().Program(Program([](PassContext& c, int x, int y) {
    Float4 v = c.Sample("TxTmp", x, y);
    const float add = c.Int("Track0") * kUnit;
    return Float4{v.x + add, v.y + add, v.z + add, 0};
  }));
  effect.Technique("ProcessImage1").Pass().Program(CopyOf("TxSrc1"));
  return effect;
}

// The frames of one run and what happens between them.
struct Step {
  int frame;
  UINT message;         // a window message before the frame, 0 for none
  HRESULT cooperative;  // what the device's next cooperative-level test says
};
const Step kSteps[] = {{10, 0, D3D_OK},
                       {11, 0, D3DERR_DEVICELOST},
                       {12, 0, D3DERR_DEVICENOTRESET},
                       {13, 0, D3D_OK},
                       {14, 0, D3D_OK},
                       {15, 0, D3D_OK},
                       {40, 0, D3D_OK},
                       {41, 519, D3D_OK},
                       {42, 0, D3D_OK},
                       {43, 1125, D3D_OK},
                       {44, 0, D3D_OK},
                       {45, 0, D3D_OK}};
// After them, frames where nothing fails; the last must show exact pixels.
const int kCleanFrames[] = {46, 47};

enum class Outcome {
  all_frames_delivered,
  init_failed,
  // A read of the effect failed during the table request or init: what runs
  // is the effect as read (defaults for what could not be read), so its
  // pixels are not this scenario's.
  effect_read_differently,
  frames_failed_then_recovered,
  not_recovered
};

const char* Name(Outcome outcome) {
  switch (outcome) {
    case Outcome::all_frames_delivered:
      return "all frames delivered";
    case Outcome::init_failed:
      return "init failed";
    case Outcome::effect_read_differently:
      return "effect read differently at init";
    case Outcome::frames_failed_then_recovered:
      return "frames failed, then recovered";
    case Outcome::not_recovered:
      return "did not recover";
  }
  return "?";
}

class FaultSweepTest : public PipelineTest {
 protected:
  void SetUp() override {
    PipelineTest::SetUp();
    host.SetParallelThreads(2);
    host.frame_count = 60;
    host.content = [](int frame, int x, int y) {
      return HostPixel{static_cast<int16_t>(frame * 4), static_cast<int16_t>(x * 8 - y),
                       static_cast<int16_t>(-y * 4)};
    };
    // The whole clip changes size for frames 14 and 15, as when the edit's
    // resolution changes.
    host.frame_size = [this](int) { return clip_size; };
  }

  // The whole scenario; returns how it went. Messages stay recorded.
  Outcome RunScenario(std::string* detail) {
    fakes::ResetFakeD3DX();
    fakes::SetEffectSource(plugin_test::kEffectSource, SweptEffect());
    if (!Start(SweptEffect())) {
      ExitHandler(&filter_table);
      TearDownDiscoveryState(effect_discovery);
      RestoreDefaultTable();
      filter_table.services = host.services();
      return Outcome::init_failed;
    }
    const bool fired_before_frames = fakes::PendingFailures() == 0;
    bool any_failed = false;
    bool last_ok = false;
    for (const Step& step : kSteps) {
      clip_size = step.frame == 14 || step.frame == 15 ? plugin_test::FrameSize{12, 6}
                                                       : plugin_test::FrameSize{16, 8};
      if (step.message) WindowMessageHandler(nullptr, step.message, 0, 0, nullptr, &filter_table);
      // The device script is consumed one answer per frame that gets as far.
      if (Device()) Device()->config().cooperative_levels.assign(1, step.cooperative);
      last_ok = Run(step.frame) == 1;
      // A lost device fails its frame by design.
      if (step.cooperative != D3DERR_DEVICELOST) any_failed = any_failed || !last_ok;
    }
    // Frames outside the sweep's fault points: the last must show the right
    // pixels, whatever failed before.
    if (recording_) recorded_ = fakes::StopRecordingFailPoints();
    clip_size = {16, 8};
    if (Device()) Device()->config().cooperative_levels.clear();
    for (int frame : kCleanFrames) last_ok = Run(frame) == 1;
    const int last = kCleanFrames[sizeof kCleanFrames / sizeof kCleanFrames[0] - 1];
    if (last_ok && !fired_before_frames) {
      auto shown = OutputIs([&](int x, int y) {
        long c0 = 0, c1 = 0, c2 = 0;
        for (int f : {last - 1, last, last + 1}) {
          HostPixel p = host.PixelOf(f, x, y);
          c0 += p.c0, c1 += p.c1, c2 += p.c2;
        }
        return HostPixel{Saturated(c0 + 2), Saturated(c1 + 2), Saturated(c2 + 2)};
      });
      if (!shown) {
        *detail = shown.message();
        last_ok = false;
      }
    }
    ExitHandler(&filter_table);
    TearDownDiscoveryState(effect_discovery);
    RestoreDefaultTable();
    filter_table.services = host.services();
    if (fired_before_frames && !planned_method.empty()) return Outcome::effect_read_differently;
    if (!last_ok) return Outcome::not_recovered;
    return any_failed ? Outcome::frames_failed_then_recovered : Outcome::all_frames_delivered;
  }

  plugin_test::FrameSize clip_size{16, 8};
  std::string planned_method;  // empty for the run without a fault
  bool recording_ = false;
  std::vector<std::string> recorded_;
};

TEST_F(FaultSweepTest, EveryCallFailingOnceEndsCleanly) {
  // The scenario as it runs without faults: the calls a sweep can fail.
  fakes::StartRecordingFailPoints();
  recording_ = true;
  std::string detail;
  ASSERT_EQ(Outcome::all_frames_delivered, RunScenario(&detail)) << detail;
  recording_ = false;
  const std::vector<fakes::FailPlan> plans = fakes::SweepPlans(recorded_);
  ASSERT_GT(plans.size(), 500u);
  ASSERT_TRUE(native_platform::MessageBoxes().empty());

  const std::set<std::wstring> known_texts = {
      user_text::kPreEffectFailed, user_text::kEffectCreateFailed, user_text::kDirect3DCreateFailed,
      user_text::kDeviceCreateFailed, user_text::kCooperativeLevelError,
      user_text::kVertexDeclarationFailed, user_text::kSystemTextureFailed, user_text::kQuadFailed,
      user_text::kTextureFailed, user_text::kRenderTargetFailed, user_text::kTextureSetFailed,
      user_text::kNoUploadTarget, user_text::kFrameCopyFailed, user_text::kReadBackFailed,
      user_text::kNoPixelFormat, user_text::kNoUsableFormat, user_text::kDeviceResetFailed,
      // An unreadable technique description counts no passes.
      L"テクニック\"ProcessImage0\"にパスがひとつもありません。",
      L"テクニック\"ProcessImage1\"にパスがひとつもありません。",
      // The probe found no F16: the effect runs in F32 after this warning.
      L"\"F16\"フォーマットは現在利用中のGPUではサポートされていません。\n\"F32\"として処理しますが"
      L"、"
      L"正しく動作しない可能性があります。"};
  std::map<Outcome, int> outcomes;
  std::map<std::wstring, int> shown;
  std::set<std::string> methods;
  const int live_before = fakes::LiveObjects();
  for (const fakes::FailPlan& plan : plans) {
    SCOPED_TRACE(testing::Message() << plan.method << " call " << plan.nth << " fails");
    methods.insert(plan.method);
    native_platform::ClearMessageBoxes();
    fakes::ResetFaults();
    fakes::FailCall(plan.method, plan.nth, E_FAIL);
    planned_method = plan.method;
    Outcome outcome = RunScenario(&detail);
    outcomes[outcome]++;
    EXPECT_NE(Outcome::not_recovered, outcome) << detail;
    EXPECT_EQ(0, fakes::PendingFailures()) << "the planned failure never fired";
    EXPECT_EQ(live_before, fakes::LiveObjects()) << "references leaked";
    EXPECT_EQ(0, native_platform::OpenKernelHandles());
    EXPECT_EQ(0, native_platform::LoadedLibraries());
    for (const auto& box : native_platform::MessageBoxes()) {
      shown[box.text]++;
      EXPECT_TRUE(known_texts.count(box.text)) << testing::PrintToString(box.text);
      EXPECT_EQ(nullptr, box.owner);
      EXPECT_TRUE(box.style == 0x1010u || box.style == 0x1030u) << box.style;
    }
    if (HasFatalFailure()) return;
  }
  // One line in a fixed form, for the test command's output.
  std::printf("fault sweep: %zu fault points, %zu runs, %d did not recover\n", plans.size(),
              plans.size() + 1, outcomes[Outcome::not_recovered]);
  std::printf("  %zu methods\n", methods.size());
  for (const auto& entry : outcomes)
    std::printf("  %-32s %d runs\n", Name(entry.first), entry.second);
  std::printf("  message boxes shown: %d\n", [&] {
    int runs = 0;
    for (const auto& entry : shown) runs += entry.second;
    return runs;
  }());
}

}  // namespace
}  // namespace pipeline_test
