// The process handler on the fake GPU: the time of a whole frame against
// the conversions alone, measured in the same iterations, so that what the
// handler adds of its own shows as a share of the frame; and the render
// worker's overlap of the host's frame fetch with the render job.
//
// The frame benchmarks' counters: frame_ms (the handler), conversions_ms
// (the time inside the conversion routines the handler ran, timed by the
// host's parallel-run service), gpu_copy_ms (the fake GPU's copy of the
// result into the staging texture, as memcpy of the same rows in the same
// iteration), overhead_pct = what is left of the frame, in percent of it. The overlap benchmarks:
// frame_ms against fetch_ms + job_ms (no overlap) and their maximum (full overlap).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "discovery/discovery_state.h"
#include "engine/engine.h"
#include "fakes/fake_d3d9.h"
#include "fakes/fake_d3dx.h"
#include "host/module_state.h"
#include "pipeline/conversion.h"
#include "platform/native/test_control.h"
#include "plugin/plugin_handlers.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

const std::wstring kDirectory = L"C:\\Host\\Plugins";

// A host with a few ready-made frames: fetching costs nothing but the wait
// a test asks for, on frames not fetched before (as a host that decodes
// video and keeps what it decoded).
class BenchHost {
 public:
  BenchHost(int width, int height) : width_(width), height_(height) {
    current_ = this;
    for (auto& image : images_) {
      image.resize(static_cast<size_t>(width) * height);
      for (size_t i = 0; i < image.size(); ++i) {
        image[i] = {static_cast<int16_t>(i * 7 % 8192 - 4096), static_cast<int16_t>(i % 4096),
                    static_cast<int16_t>(-static_cast<int>(i % 2048))};
      }
    }
    services_.reserve_frames = [](FilterTable*, int, int, int, int) -> BOOL { return 1; };
    services_.fetch_frame = &Fetch;
    services_.parallel_run = &TimedRun;
    services_.read_integer_setting = [](FilterTable*, LPSTR key, int fallback) {
      return std::string(key) == "disable_pp" ? current_->disable_pp : fallback;
    };
  }
  ~BenchHost() { current_ = nullptr; }

  HostServices* services() { return &services_; }
  FrameRequest Request(int frame) {
    FrameRequest request = {};
    output_.resize(static_cast<size_t>(width_) * height_);
    request.output = output_.data();
    request.width = width_;
    request.height = height_;
    request.max_width = width_;
    request.max_height = height_;
    request.frame = frame;
    request.frame_count = 1 << 30;
    return request;
  }

  int disable_pp = 0;
  std::chrono::microseconds new_frame_delay{0};
  // Time spent in the conversion routines the plug-in handed to the
  // parallel-run service, which runs them on the calling thread.
  Clock::duration conversion_time{};

 private:
  static BOOL __cdecl TimedRun(ParallelRoutine routine, void* first, void* second) {
    auto start = Clock::now();
    routine(0, 1, first, second);
    current_->conversion_time += Clock::now() - start;
    return TRUE;
  }

  static HostPixel* __cdecl Fetch(FilterTable*, void*, int frame, int* width, int* height) {
    BenchHost* host = current_;
    if (host->new_frame_delay.count() > 0 && host->seen_.insert(frame).second) {
      std::this_thread::sleep_for(host->new_frame_delay);
    }
    if (width) *width = host->width_;
    if (height) *height = host->height_;
    return host->images_[static_cast<unsigned>(frame) % 4].data();
  }

  int width_, height_;
  std::vector<HostPixel> images_[4];
  std::vector<HostPixel> output_;
  std::set<int> seen_;
  HostServices services_{};
  static inline BenchHost* current_ = nullptr;
};

// The plug-in as the host sets it up: table request, init; exit at the end.
class Filter {
 public:
  Filter(const fakes::EffectDescription& effect, BenchHost& host) {
    native_platform::ResetPlatform();
    fakes::ResetFaults();
    fakes::ResetFakeD3DX();
    native_platform::SetModulePath(kDirectory + L"\\texloom.auf");
    native_platform::RegisterLibrary(kDirectory + L"\\d3dx9_42.dll", fakes::D3DXLibrary());
    fakes::SetEffectSource(kDirectory + L"\\texloom.fx", effect);
    d3d_ = fakes::MakeFake<fakes::FakeDirect3D>();
    for (D3DFORMAT format :
         {D3DFMT_A16B16G16R16F, D3DFMT_A32B32G32R32F, D3DFMT_A16B16G16R16, D3DFMT_Q16W16V16U16})
      d3d_->SupportTextureFormat(format);
    d3d_->device_config.pitch_padding = 0;
    fakes::InstallDirect3D(d3d_.get());
    GetFilterTable();
    filter_table.services = host.services();
    size_changed = 1;
    parameters_changed = 1;
    ready_ = InitHandler(&filter_table) == 1;
  }
  ~Filter() {
    ExitHandler(&filter_table);
    TearDownDiscoveryState(effect_discovery);
    filter_table.services = nullptr;
    fakes::InstallDirect3D(nullptr);
  }
  bool ready() const { return ready_; }

 private:
  ComPtr<fakes::FakeDirect3D> d3d_;
  bool ready_ = false;
};

fakes::EffectDescription SourcesEffect(int sources) {
  fakes::EffectDescription effect;
  effect.IntArray("FilterVersion", {1, 0}).Annotate("name", "Bench").Annotate("img_format", "F16");
  for (int i = 0; i < sources; ++i) {
    effect.Texture("TxSrc" + std::to_string(i)).Annotate("frame_offset", i - sources / 2);
  }
  // No program: the fake draws nothing, so the frame's time is the
  // handler's, the conversions' and the fake's copies.
  effect.Technique("ProcessImage0").Pass();
  return effect;
}

void ProcessFrames(benchmark::State& state) {
  const int height = static_cast<int>(state.range(0));
  const int width = height * 16 / 9;
  const int sources = static_cast<int>(state.range(1));
  BenchHost host(width, height);
  host.disable_pp = 1;  // the job inline: its time is part of the handler's
  Filter filter(SourcesEffect(sources), host);
  if (!filter.ready()) {
    state.SkipWithError("init failed");
    return;
  }
  // The fake GPU's copy of the result into the staging texture, as memcpy
  // of the same rows.
  const size_t row_bytes = static_cast<size_t>(width) * 8;
  std::vector<uint8_t> staging(row_bytes * height), target(row_bytes * height);
  int frame = 100;
  FrameRequest warm = host.Request(frame++);
  if (!ProcessHandler(&filter_table, &warm)) {
    state.SkipWithError("the first frame failed");
    return;
  }

  double frame_ms = 0, conversions_ms = 0, copy_ms = 0;
  for (auto _ : state) {
    FrameRequest request = host.Request(frame++);
    host.conversion_time = {};
    auto start = Clock::now();
    BOOL delivered = ProcessHandler(&filter_table, &request);
    auto after_frame = Clock::now();
    for (int y = 0; y < height; ++y) {
      std::memcpy(staging.data() + y * row_bytes, target.data() + y * row_bytes, row_bytes);
    }
    benchmark::ClobberMemory();
    auto after_copy = Clock::now();
    if (!delivered) {
      state.SkipWithError("a frame failed");
      return;
    }
    frame_ms += Milliseconds(after_frame - start);
    conversions_ms += Milliseconds(host.conversion_time);
    copy_ms += Milliseconds(after_copy - after_frame);
    state.SetIterationTime(std::chrono::duration<double>(after_frame - start).count());
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["frame_ms"] = frame_ms / n;
  state.counters["conversions_ms"] = conversions_ms / n;
  state.counters["gpu_copy_ms"] = copy_ms / n;
  state.counters["overhead_pct"] = 100.0 * (frame_ms - conversions_ms - copy_ms) / frame_ms;
}
BENCHMARK(ProcessFrames)
    ->ArgNames({"height", "sources"})
    // A 16 x 9 frame: nearly everything left is the handler's fixed cost
    // per frame, to set against the full-size frames' times.
    ->Args({9, 1})
    ->Args({9, 3})
    ->Args({1080, 1})
    ->Args({1080, 3})
    ->Args({2160, 1})
    ->Args({2160, 3})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// A host that takes fetch_ms to decode a new frame and a render job that
// takes job_ms: inline they add up, with the worker the prefetch of the
// predicted frame runs while the job draws.
void WorkerOverlap(benchmark::State& state) {
  const bool worker = state.range(0) != 0;
  const auto fetch = std::chrono::milliseconds(state.range(1));
  const auto job = std::chrono::milliseconds(state.range(2));
  BenchHost host(64, 36);
  host.disable_pp = worker ? 0 : 1;
  host.new_frame_delay = fetch;
  fakes::EffectDescription effect;
  effect.IntArray("FilterVersion", {1, 0}).Annotate("name", "Overlap");
  effect.Texture("TxSrc0");
  effect.Technique("ProcessImage0").Pass().Program([job](fakes::PassContext&) {
    std::this_thread::sleep_for(job);
  });
  Filter filter(effect, host);
  if (!filter.ready()) {
    state.SkipWithError("init failed");
    return;
  }
  int frame = 0;
  for (int warm = 0; warm < 2; ++warm) {
    FrameRequest request = host.Request(frame++);
    ProcessHandler(&filter_table, &request);
  }
  double frame_ms = 0;
  for (auto _ : state) {
    FrameRequest request = host.Request(frame++);
    auto start = Clock::now();
    if (!ProcessHandler(&filter_table, &request)) {
      state.SkipWithError("a frame failed");
      return;
    }
    auto elapsed = Clock::now() - start;
    frame_ms += Milliseconds(elapsed);
    state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
  }
  const double ms = frame_ms / static_cast<double>(state.iterations());
  const double sum = static_cast<double>(state.range(1) + state.range(2));
  const double larger = static_cast<double>(std::max(state.range(1), state.range(2)));
  state.counters["frame_ms"] = ms;
  state.counters["vs_sum"] = ms / sum;
  state.counters["vs_larger"] = ms / larger;
}
BENCHMARK(WorkerOverlap)
    ->ArgNames({"worker", "fetch_ms", "job_ms"})
    ->Args({0, 10, 10})
    ->Args({1, 10, 10})
    ->Args({0, 15, 5})
    ->Args({1, 15, 5})
    ->Args({0, 5, 15})
    ->Args({1, 5, 15})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40);

}  // namespace

BENCHMARK_MAIN();
