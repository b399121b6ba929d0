// The soak: TEXLOOM_SOAK_FRAMES frames (default 200; tools/soak.sh runs
// 1,000) at 1920×1080 (TEXLOOM_SOAK_SIZE, e.g. 960x540 where Wine runs
// emulated; the second clip is two thirds of it each way) through a temporal two-pass effect with the render
// worker, the clip stepping forward and back, jumping, switching to a clip of
// another size and back, with the window messages that invalidate the frame
// cache and release the frame resources. Every frame must be delivered, no
// message box may appear, a frame that takes longer than two minutes counts
// as a hang, and the process's working set and private bytes must not grow
// from the first hundred frames to the last hundred. Then the frame rate of
// the worker and of inline drawing, printed (not asserted).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "e2e/plugin/effect_text.h"
#include "e2e/plugin/plugin_test_support.h"
#include "tools/host/process_memory.h"

namespace plugin_e2e {
namespace {

constexpr int kMaxWidth = 1920, kMaxHeight = 1080;
constexpr int kClipFrames = 600;

// The peak of the last hundred frames may exceed that of the first hundred by
// this much: what Wine's heaps and Mesa's allocator keep in reserve moves by
// a few megabytes, while one leaked 1920×1080 F32 texture alone is 33 MB and
// a leak of 64 KB per frame adds 6 MB per hundred frames.
constexpr double kMemoryAllowanceMb = 16.0;

int16_t C0(int f, int x, int y) { return static_cast<int16_t>(x * 3 + y + f * 5); }
int16_t C1(int f, int x, int y) { return static_cast<int16_t>(y * 7 - f - x); }
int16_t C2(int f, int x, int y) { return static_cast<int16_t>(x - y + f * 11); }

// A clip whose frames are cheap to make, so the host's share of each frame
// stays small.
class SoakClip : public texloom_host::Clip {
 public:
  SoakClip(int width, int height) : width_(width), height_(height) {}
  int width() const override { return width_; }
  int height() const override { return height_; }
  int frame_count() const override { return kClipFrames; }
  bool Read(int f, HostPixel* pixels, int stride) override {
    for (int y = 0; y < height_; ++y) {
      HostPixel* row = pixels + static_cast<size_t>(y) * stride;
      for (int x = 0; x < width_; ++x) row[x] = HostPixel{C0(f, x, y), C1(f, x, y), C2(f, x, y)};
    }
    return true;
  }

 private:
  int width_, height_;
};

int Clamp(int f) { return f < 0 ? 0 : f >= kClipFrames ? kClipFrames - 1 : f; }

// Pass 0 takes c0 from the previous frame, c1 from this one, c2 from the
// next; pass 1 negates what pass 0 wrote, read through TxTmp.
HostPixel Expected(int f, int x, int y) {
  return HostPixel{Saturate(-C0(Clamp(f - 1), x, y)), Saturate(-C1(f, x, y)),
                   Saturate(-C2(Clamp(f + 1), x, y))};
}

std::string SoakEffect() {
  return FilterVersion("Soak") + TemporalSources() + "texture TxTmp;\n" +
         PointSampler("Tmp", "TxTmp") + "technique ProcessImage0 {\n" + MixThreeFramesPass("P0") +
         Pass("P1",
              "      dcl t0.xy\n"
              "      dcl_2d s0\n"
              "      texld r0, t0, s0\n"
              "      mov r0, -r0\n"
              "      mov oC0, r0",
              "s0 = Tmp;") +
         "}\n";
}

// The large clip's size: 1920×1080 unless TEXLOOM_SOAK_SIZE says otherwise.
// The host's maximum stays 1920×1080, so only the frames shrink.
struct SoakSize {
  int width = 1920, height = 1080;
  SoakSize Small() const { return {width * 2 / 3, height * 2 / 3}; }
};

SoakSize LargeSize() {
  char text[32] = {};
  DWORD length = GetEnvironmentVariableA("TEXLOOM_SOAK_SIZE", text, sizeof(text));
  SoakSize size;
  if (length == 0) return size;
  int width = 0, height = 0;
  char rest = 0;
  if (length >= sizeof(text) || std::sscanf(text, "%dx%d%c", &width, &height, &rest) != 2 ||
      width < 48 || height < 48 || width > kMaxWidth || height > kMaxHeight) {
    ADD_FAILURE() << "TEXLOOM_SOAK_SIZE is WIDTHxHEIGHT within 48x48 to 1920x1080, not \""
                  << text << "\"";
    return size;
  }
  std::printf("note: frames of %dx%d (TEXLOOM_SOAK_SIZE)\n", width, height);
  return {width, height};
}

int SoakFrames() {
  char text[32] = {};
  DWORD length = GetEnvironmentVariableA("TEXLOOM_SOAK_FRAMES", text, sizeof(text));
  int frames = length > 0 && length < sizeof(text) ? std::atoi(text) : 200;
  if (frames < 200) {
    std::printf("note: TEXLOOM_SOAK_FRAMES=%s is below 200; running 200\n", text);
    frames = 200;
  }
  return frames;
}

// One step of the schedule: which clip, which frame, and a window message
// to send before it (0 for none). Every hundred frames repeat the same
// pattern from a later position, so the first and the last hundred do the
// same kinds of work.
struct SoakStep {
  bool small_clip;
  int frame;
  unsigned message;
};

SoakStep StepAt(int n) {
  const int cycle = n / 100, i = n % 100;
  const int base = (cycle * 37) % 200;
  if (i < 40) return {false, base + i, 0};  // forward
  if (i < 60)
    return {false, base + 300 + (i - 40),
            i == 50 ? texloom_host::kMessageMiddleButtonDown : 0u};  // jump, forward
  if (i < 80) return {true, base + 100 + (i - 60), 0};               // the small clip
  if (i < 90) return {false, base + 339 - (i - 80), 0};              // backward
  // Jumps across the clip, the first after releasing the frame resources.
  uint32_t hash = static_cast<uint32_t>(n) * 2654435761u;
  return {false, static_cast<int>(hash % kClipFrames),
          i == 95 ? texloom_host::kMessageReleaseResources : 0u};
}

// Ends the process when no frame finishes for two minutes: a hang must not
// wait for the run's time-out.
class Watchdog {
 public:
  Watchdog() : thread_([this] { Watch(); }) {}
  ~Watchdog() {
    done_ = true;
    thread_.join();
  }
  void Progress(int frame) {
    frame_ = frame;
    last_ = Now();
  }

 private:
  static long long Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  void Watch() {
    while (!done_) {
      Sleep(500);
      if (Now() - last_ > 120) {
        std::printf("HANG: no frame finished for 120 s after frame %d\n", frame_.load());
        std::fflush(stdout);
        ExitProcess(3);
      }
    }
  }
  std::atomic<bool> done_{false};
  std::atomic<int> frame_{-1};
  std::atomic<long long> last_{Now()};
  std::thread thread_;
};

struct MemoryStats {
  double mean_working_set = 0, mean_private = 0, max_working_set = 0, max_private = 0;
};

MemoryStats Summarise(const std::vector<texloom_host::ProcessMemory>& samples) {
  MemoryStats stats;
  for (const texloom_host::ProcessMemory& sample : samples) {
    const double working = sample.working_set / 1048576.0, priv = sample.private_bytes / 1048576.0;
    stats.mean_working_set += working / samples.size();
    stats.mean_private += priv / samples.size();
    stats.max_working_set = std::max(stats.max_working_set, working);
    stats.max_private = std::max(stats.max_private, priv);
  }
  return stats;
}

bool FrameMatches(Host& host, int f, int width, int height, std::string* why) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (host.output().At(x, y) != Expected(f, x, y)) {
        *why = "frame " + std::to_string(f) + ", pixel (" + std::to_string(x) + ", " +
               std::to_string(y) + "): got " + PixelText(host.output().At(x, y)) + ", expected " +
               PixelText(Expected(f, x, y));
        return false;
      }
    }
  }
  *why = host.output().CheckOutside(width, height);
  return why->empty();
}

TEST(SoakTest, ManyFramesWithoutFailureHangOrGrowth) {
  RequireDirect3D("plugin_soak_test");
  const int frames = SoakFrames();
  auto plugin = StartPlugin(SoakEffect());
  ASSERT_TRUE(plugin);
  Host& host = plugin->host();
  const SoakSize large_size = LargeSize(), small_size = large_size.Small();
  auto large = std::make_shared<SoakClip>(large_size.width, large_size.height);
  auto small = std::make_shared<SoakClip>(small_size.width, small_size.height);
  bool on_small = false;
  host.SetClip(large, kMaxWidth, kMaxHeight);

  std::vector<texloom_host::ProcessMemory> first, last;
  Watchdog watchdog;
  const auto start = std::chrono::steady_clock::now();
  for (int n = 0; n < frames; ++n) {
    const SoakStep step = StepAt(n);
    if (step.small_clip != on_small) {
      on_small = step.small_clip;
      host.SetClip(on_small ? small : large, kMaxWidth, kMaxHeight);
    }
    if (step.message) host.WindowMessage(step.message);
    ASSERT_EQ(1, host.Process(step.frame)) << "frame " << step.frame << " (step " << n << ")";
    watchdog.Progress(n);
    // Every tenth frame, and every frame right after a change, in full.
    if (n % 10 == 0 || step.message || (n % 100) == 60 || (n % 100) == 80) {
      std::string why;
      const SoakSize size = on_small ? small_size : large_size;
      const int width = size.width, height = size.height;
      ASSERT_TRUE(FrameMatches(host, step.frame, width, height, &why))
          << "step " << n << ": " << why;
    }
    texloom_host::ProcessMemory memory = texloom_host::QueryProcessMemory();
    ASSERT_TRUE(memory.valid);
    if (n < 100) first.push_back(memory);
    if (n >= frames - 100) last.push_back(memory);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ("(no message)", Describe(plugin->TakeMessages()));
  EXPECT_TRUE(host.violations().empty());

  const MemoryStats a = Summarise(first), b = Summarise(last);
  std::printf("soak: %d frames in %.1f s (%.2f frames/s, worker)\n", frames, seconds,
              frames / seconds);
  std::printf(
      "soak: working set MB, first hundred mean %.1f max %.1f; last hundred mean %.1f "
      "max %.1f\n",
      a.mean_working_set, a.max_working_set, b.mean_working_set, b.max_working_set);
  std::printf(
      "soak: private bytes MB, first hundred mean %.1f max %.1f; last hundred mean %.1f "
      "max %.1f (allowance %.0f MB)\n",
      a.mean_private, a.max_private, b.mean_private, b.max_private, kMemoryAllowanceMb);
  if (first[0].private_bytes_counted) {
    std::printf(
        "soak: private bytes counted from the committed private regions (Wine reports "
        "none)\n");
  }
  // The peaks: the first hundred frames already did every kind of work once
  // (the means there still include the start, when the caches fill).
  EXPECT_LE(b.max_working_set, a.max_working_set + kMemoryAllowanceMb);
  EXPECT_LE(b.max_private, a.max_private + kMemoryAllowanceMb);
  EXPECT_GT(a.max_private, 0.0) << "no private bytes could be measured";
}

// Frames per second at the large clip's size, stepping forward, with the worker and
// inline. Printed for the report; timing is never asserted.
TEST(SoakTest, FrameRateWithTheWorkerAndInline) {
  RequireDirect3D("plugin_soak_test");
  const int frames = 60;
  const SoakSize size = LargeSize();
  for (int disable_pp : {0, 1}) {
    HostOptions options;
    options.disable_pp = disable_pp;
    auto plugin = StartPlugin(SoakEffect(), options);
    ASSERT_TRUE(plugin);
    Host& host = plugin->host();
    host.SetClip(std::make_shared<SoakClip>(size.width, size.height), kMaxWidth, kMaxHeight);
    ASSERT_EQ(1, host.Process(0));  // the frame resources are made here
    host.frames().ClearLog();
    const double read_before = host.frames().read_seconds();
    const auto start = std::chrono::steady_clock::now();
    for (int f = 1; f <= frames; ++f) ASSERT_EQ(1, host.Process(f));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string why;
    EXPECT_TRUE(FrameMatches(host, frames, size.width, size.height, &why)) << why;
    std::printf(
        "frame rate %dx%d, %s: %.2f frames/s (%d frames in %.2f s, of which the "
        "host spent %.2f s making %zu fetched frames)\n",
        size.width, size.height, disable_pp ? "inline" : "worker", frames / seconds, frames, seconds,
        host.frames().read_seconds() - read_before, host.frames().log().size());
  }
}

}  // namespace
}  // namespace plugin_e2e
