// Fixture of the frame-pipeline tests: the whole filter as the host runs
// it — table request, init with a fake GPU, frames through the process
// handler with a fake host — and helpers to state what the output pixels
// must be.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "fakes/fake_d3d9.h"
#include "fakes/fake_d3dx.h"
#include "fakes/texture_access.h"
#include "host/module_state.h"
#include "pipeline/conversion_reference.h"
#include "pipeline/conversion_tiers.h"
#include "plugin/fake_host.h"
#include "plugin/plugin_test_support.h"
#include "support/user_texts.h"

namespace pipeline_test {

using fakes::EffectDescription;
using fakes::Float4;
using fakes::PassContext;

// Texture units of one host unit in the floating-point formats.
constexpr float kUnit = 1.0f / 4096.0f;

inline int16_t Saturated(long value) {
  return static_cast<int16_t>(std::max(-32768L, std::min(32767L, value)));
}

// A pass program that writes, at every pixel, what fn makes of the pixel.
inline fakes::PassProgram Program(std::function<Float4(PassContext&, int x, int y)> fn) {
  return [fn](PassContext& context) {
    context.Shade([&](int x, int y, Float4 out[4]) { out[0] = fn(context, x, y); });
  };
}

// Copies a texture parameter's texel to output 0, adding `add` to x, y, z.
inline fakes::PassProgram CopyOf(const std::string& texture, float add = 0.0f) {
  return Program([texture, add](PassContext& c, int x, int y) {
    Float4 v = c.Sample(texture, x, y);
    return Float4{v.x + add, v.y + add, v.z + add, 0.0f};
  });
}

// "FilterVersion" asking for an image format ("" for the default F32).
inline void DeclareFilter(EffectDescription& effect, const std::string& format = "",
                          const std::string& title = "Test filter") {
  auto& version = effect.IntArray("FilterVersion", {1, 0}).Annotate("name", title);
  if (!format.empty()) version.Annotate("img_format", format);
}

class PipelineTest : public plugin_test::PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    InstallD3DX();
    d3d = fakes::MakeFake<fakes::FakeDirect3D>();
    for (D3DFORMAT format : {D3DFMT_A16B16G16R16F, D3DFMT_A32B32G32R32F, D3DFMT_A16B16G16R16,
                             D3DFMT_Q16W16V16U16, D3DFMT_A2B10G10R10}) {
      d3d->SupportTextureFormat(format);
    }
    fakes::InstallDirect3D(d3d.get());
    filter_table.services = host.services();
    // Every request carries images of this size; keep them small.
    host.max_width = 256;
    host.max_height = 128;
  }

  void TearDown() override {
    ExitHandler(&filter_table);
    EXPECT_EQ(nullptr, engine);
    fakes::InstallDirect3D(nullptr);
    d3d.reset();
    PluginTest::TearDown();
  }

  // Publishes the effect in the filter table, hands the host's control
  // arrays to it and initialises the engine (worker unless disable_pp).
  ::testing::AssertionResult Start(const EffectDescription& effect, bool use_worker = true) {
    fakes::SetEffectSource(plugin_test::kEffectSource, effect);
    GetFilterTable();
    track_values.assign(filter_table.track_count, 0);
    for (int i = 0; i < filter_table.track_count; ++i) {
      track_values[i] = filter_table.track_defaults[i];
    }
    check_values.assign(filter_table.check_count, 0);
    for (int i = 0; i < filter_table.check_count; ++i) {
      check_values[i] = filter_table.check_defaults[i];
    }
    filter_table.track_values = track_values.empty() ? nullptr : track_values.data();
    filter_table.check_values = check_values.empty() ? nullptr : check_values.data();
    host.settings["disable_pp"] = use_worker ? 0 : 1;
    if (InitHandler(&filter_table) != 1) return ::testing::AssertionFailure() << "init failed";
    if (use_worker != (engine->worker.thread != nullptr)) {
      return ::testing::AssertionFailure() << "worker mode not as asked";
    }
    return ::testing::AssertionSuccess();
  }

  // Runs the process handler for frame f; the request (with its output)
  // stays for inspection.
  BOOL Run(int frame) {
    host.ForgetRequests();
    request = host.MakeRequest(frame);
    current_frame_fetches.insert(host.fetches.size());
    draw_errors_before = Device() ? Device()->draw_errors().size() : 0;
    return host.Process(&filter_table, &request);
  }

  // Frames fetched from fetch number `from` on, without the fetch of the
  // current frame that opens every call: the source frames and prefetches.
  std::vector<int> SourceFetches(size_t from) const {
    std::vector<int> frames;
    for (size_t i = from; i < host.fetches.size(); ++i) {
      if (!current_frame_fetches.count(i)) frames.push_back(host.fetches[i].frame);
    }
    return frames;
  }

  fakes::FakeDevice* Device() const { return d3d->last_device(); }
  fakes::FakeEffect* Effect() const {
    return engine ? static_cast<fakes::FakeEffect*>(engine->effect.get()) : nullptr;
  }

  // Every output pixel of the last frame run equals expected(x, y), nothing
  // outside the frame changed, and every draw of that frame did what it
  // meant to.
  ::testing::AssertionResult OutputIs(std::function<HostPixel(int x, int y)> expected) const {
    const auto& errors = Device()->draw_errors();
    if (errors.size() > draw_errors_before) {
      return ::testing::AssertionFailure() << "draw error: " << errors[draw_errors_before];
    }
    for (int y = 0; y < request.height; ++y) {
      for (int x = 0; x < request.width; ++x) {
        HostPixel want = expected(x, y);
        HostPixel got = plugin_test::FakeHost::OutputPixel(request, x, y);
        if (want.c0 != got.c0 || want.c1 != got.c1 || want.c2 != got.c2) {
          return ::testing::AssertionFailure()
                 << "pixel (" << x << ", " << y << "): expected (" << want.c0 << ", " << want.c1
                 << ", " << want.c2 << "), got (" << got.c0 << ", " << got.c1 << ", " << got.c2
                 << ")";
        }
      }
    }
    const std::string outside = host.OutputWrittenOutsideFrame(request);
    if (!outside.empty()) return ::testing::AssertionFailure() << outside;
    return ::testing::AssertionSuccess();
  }

  // The input pixel of a frame with a per-component change.
  HostPixel InputWith(int frame, int x, int y, std::function<long(int16_t)> change) const {
    HostPixel in = host.PixelOf(frame, x, y);
    return {Saturated(change(in.c0)), Saturated(change(in.c1)), Saturated(change(in.c2))};
  }

  // Uploads and read-backs through the parallel-run service so far.
  size_t Conversions() const { return host.parallel_runs.size(); }

  plugin_test::FakeHost host;
  ComPtr<fakes::FakeDirect3D> d3d;
  std::vector<int32_t> track_values;
  std::vector<int32_t> check_values;
  FrameRequest request{};
  std::set<size_t> current_frame_fetches;
  size_t draw_errors_before = 0;
};

// How the engine's read-back rounds: the tier the table was filled for.
inline ReadbackRounding NativeRounding() {
  return TierForFeatures(cpu_features) == ConversionTier::mmx ? ReadbackRounding::floor_wrap
                                                              : ReadbackRounding::nearest_saturate;
}

}  // namespace pipeline_test
