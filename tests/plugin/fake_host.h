// A host for tests: the services table the plug-in calls, answering from
// test-set values and a synthetic clip, and recording what was asked.
//
// The clip: frame_count frames, each of the size frame_size(frame) (by
// default frame_width x frame_height for all), with rows of max_width
// pixels as the host's images have, and content(frame, x, y) in every
// pixel (by default DefaultPixel). A fetched image stays valid until
// EndProcessCall, which Process calls after the process handler returns;
// then it is freed, so a pointer kept longer shows under the address
// sanitizer.
//
// Fail points, for fault-injection sweeps (fakes::FailCall and the
// recording in fakes/fake_com.h): "Host::FetchFrame" returns null,
// "Host::ReserveFrames" returns 0, "Host::ParallelRun" returns 0 without
// running the routine. Each call is recorded first.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "host/host_interface.h"
#include "pipeline/conversion.h"

namespace plugin_test {

struct FetchCall {
  int frame;
  bool wants_size;
  void* edit_handle;
  bool served;  // an image was handed out
};

struct ReservationCall {
  int max_width, max_height, frame_count, flags;
};

struct ParallelRunCall {
  ParallelRoutine routine;
  void* first;
  void* second;
  int threads;  // how many ran it; 0 when the call failed
};

struct FrameSize {
  int width, height;
};

// Distinct values per frame, x, y and component, spread over the whole
// int16 range, negative values included.
HostPixel DefaultPixel(int frame, int x, int y);

class FakeHost {
 public:
  FakeHost();
  ~FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  HostServices* services() { return &services_; }

  // Answers.
  bool filter_active = true;
  std::map<std::string, int> settings;  // "dev", "disable_pp"; missing keys give the default
  bool reservation_result = true;
  bool fetch_fails = false;  // every fetch fails

  // The clip.
  int frame_count = 100;
  int frame_width = 64, frame_height = 48;
  std::function<FrameSize(int frame)> frame_size;  // empty: frame_width x frame_height
  int max_width = 1280, max_height = 720;
  std::function<HostPixel(int frame, int x, int y)> content;  // empty: DefaultPixel
  // Fetches of these frames fail; so do frames outside 0..frame_count-1
  // and frames larger than max_width x max_height.
  std::set<int> failing_frames;
  // Called at the start of every fetch with the frame asked for, outside the
  // host's lock (a test may wait in it or signal from it).
  std::function<void(int frame)> on_fetch;
  // Sleeps this long inside every fetch, as a host decoding video does.
  std::chrono::microseconds fetch_delay{0};
  // The edit handle MakeRequest puts into requests.
  void* edit_handle = reinterpret_cast<void*>(static_cast<intptr_t>(0xED17));

  FrameSize SizeOf(int frame) const;
  HostPixel PixelOf(int frame, int x, int y) const;

  // The parallel-run service: absent (a null slot) for 0 threads, else it
  // runs the routine on that many std::threads at once, as (index, count,
  // first, second), and returns when all have finished.
  void SetParallelThreads(int threads);
  int parallel_threads() const { return parallel_threads_; }

  // A request for frame f as the host makes it before calling the process
  // handler: sizes of frame f, the clip's frame count and max sizes, the
  // edit handle, and output and scratch images of max_width x max_height
  // pixels holding kSentinel (owned by the host until it goes).
  FrameRequest MakeRequest(int frame);
  // Frees the images of every request made so far (a long run of frames
  // keeps only the latest request).
  void ForgetRequests();
  static constexpr HostPixel kSentinel = {0x5A5A, -0x5A5B, 0x1234};
  // The first output pixel outside request.width x request.height that no
  // longer holds kSentinel, described; "" when there is none. No GoogleTest
  // in here, so that a benchmark can use the host too.
  std::string OutputWrittenOutsideFrame(const FrameRequest& request) const;
  // Output pixel (x, y) of a request made here.
  static HostPixel OutputPixel(const FrameRequest& request, int x, int y);

  // Calls the table's process handler, then EndProcessCall.
  BOOL Process(FilterTable* table, FrameRequest* request);
  // Frees the images fetched so far.
  void EndProcessCall();
  // Fetched images not yet freed.
  size_t live_fetched_images() const;

  // Records.
  std::vector<std::pair<std::string, int>> setting_reads;  // key, default
  std::vector<ReservationCall> reservations;
  std::vector<FetchCall> fetches;  // in order
  std::vector<ParallelRunCall> parallel_runs;
  int filter_state_queries = 0;
  // Fetches of the frame, served or not.
  int FetchCount(int frame) const;
  // Frame numbers of all fetches, in order.
  std::vector<int> FetchOrder() const;

 private:
  static BOOL __cdecl IsFilterActive(FilterTable*);
  static int __cdecl ReadIntegerSetting(FilterTable*, LPSTR key, int default_value);
  static BOOL __cdecl ReserveFrames(FilterTable*, int w, int h, int count, int flags);
  static HostPixel* __cdecl FetchFrame(FilterTable*, void* edit_handle, int frame, int* width,
                                       int* height);
  static BOOL __cdecl ParallelRun(ParallelRoutine routine, void* first, void* second);
  HostPixel* ServeFrame(int frame, FrameSize size);

  HostServices services_{};
  int parallel_threads_ = 0;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<HostPixel[]>> fetched_images_;
  std::vector<std::unique_ptr<HostPixel[]>> request_images_;
  static inline FakeHost* current_ = nullptr;
};

}  // namespace plugin_test
