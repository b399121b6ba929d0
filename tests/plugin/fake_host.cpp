#include "plugin/fake_host.h"

#include <algorithm>
#include <sstream>

#include "fakes/fake_com.h"

namespace plugin_test {
namespace {

// A 32-bit mix (the finaliser of MurmurHash3) of the four coordinates, so
// that neighbouring pixels, frames and components all differ.
uint32_t Mix(uint32_t h) {
  h ^= h >> 16;
  h *= 0x85EBCA6Bu;
  h ^= h >> 13;
  h *= 0xC2B2AE35u;
  h ^= h >> 16;
  return h;
}

int16_t DefaultComponent(int frame, int x, int y, int k) {
  uint32_t h = Mix(static_cast<uint32_t>(frame) * 0x9E3779B1u + static_cast<uint32_t>(k));
  h = Mix(h ^ (static_cast<uint32_t>(y) * 0x27D4EB2Fu));
  h = Mix(h ^ (static_cast<uint32_t>(x) * 0x165667B1u));
  return static_cast<int16_t>(static_cast<uint16_t>(h));
}

bool SamePixel(const HostPixel& a, const HostPixel& b) {
  return a.c0 == b.c0 && a.c1 == b.c1 && a.c2 == b.c2;
}

}  // namespace

HostPixel DefaultPixel(int frame, int x, int y) {
  return {DefaultComponent(frame, x, y, 0), DefaultComponent(frame, x, y, 1),
          DefaultComponent(frame, x, y, 2)};
}

FakeHost::FakeHost() {
  current_ = this;
  services_.is_filter_active = &IsFilterActive;
  services_.read_integer_setting = &ReadIntegerSetting;
  services_.reserve_frames = &ReserveFrames;
  services_.fetch_frame = &FetchFrame;
  services_.parallel_run = nullptr;
}

FakeHost::~FakeHost() { current_ = nullptr; }

FrameSize FakeHost::SizeOf(int frame) const {
  return frame_size ? frame_size(frame) : FrameSize{frame_width, frame_height};
}

HostPixel FakeHost::PixelOf(int frame, int x, int y) const {
  return content ? content(frame, x, y) : DefaultPixel(frame, x, y);
}

void FakeHost::SetParallelThreads(int threads) {
  parallel_threads_ = threads;
  services_.parallel_run = threads > 0 ? &ParallelRun : nullptr;
}

void FakeHost::ForgetRequests() { request_images_.clear(); }

FrameRequest FakeHost::MakeRequest(int frame) {
  const size_t pixels = static_cast<size_t>(max_width) * max_height;
  HostPixel* images[2];
  for (HostPixel*& image : images) {
    request_images_.emplace_back(new HostPixel[pixels]);
    image = request_images_.back().get();
    std::fill(image, image + pixels, kSentinel);
  }
  const FrameSize size = SizeOf(frame);
  FrameRequest request{};
  request.output = images[0];
  request.scratch = images[1];
  request.width = size.width;
  request.height = size.height;
  request.max_width = max_width;
  request.max_height = max_height;
  request.frame = frame;
  request.frame_count = frame_count;
  request.original_width = size.width;
  request.original_height = size.height;
  request.edit_handle = edit_handle;
  return request;
}

HostPixel FakeHost::OutputPixel(const FrameRequest& request, int x, int y) {
  return request.output[static_cast<size_t>(y) * request.max_width + x];
}

std::string FakeHost::OutputWrittenOutsideFrame(const FrameRequest& request) const {
  for (int y = 0; y < request.max_height; ++y) {
    for (int x = 0; x < request.max_width; ++x) {
      if (x < request.width && y < request.height) continue;
      HostPixel pixel = OutputPixel(request, x, y);
      if (!SamePixel(pixel, kSentinel)) {
        std::ostringstream text;
        text << "output pixel (" << x << ", " << y << ") outside the " << request.width << "x"
             << request.height << " frame was written: (" << pixel.c0 << ", " << pixel.c1 << ", "
             << pixel.c2 << ")";
        return text.str();
      }
    }
  }
  return "";
}

BOOL FakeHost::Process(FilterTable* table, FrameRequest* request) {
  BOOL result = table->process(table, request);
  EndProcessCall();
  return result;
}

void FakeHost::EndProcessCall() {
  std::lock_guard<std::mutex> lock(mutex_);
  fetched_images_.clear();
}

size_t FakeHost::live_fetched_images() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fetched_images_.size();
}

int FakeHost::FetchCount(int frame) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(std::count_if(fetches.begin(), fetches.end(),
                                        [frame](const FetchCall& f) { return f.frame == frame; }));
}

std::vector<int> FakeHost::FetchOrder() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<int> order;
  for (const FetchCall& fetch : fetches) order.push_back(fetch.frame);
  return order;
}

BOOL __cdecl FakeHost::IsFilterActive(FilterTable*) {
  std::lock_guard<std::mutex> lock(current_->mutex_);
  ++current_->filter_state_queries;
  return current_->filter_active ? 1 : 0;
}

int __cdecl FakeHost::ReadIntegerSetting(FilterTable*, LPSTR key, int default_value) {
  std::lock_guard<std::mutex> lock(current_->mutex_);
  current_->setting_reads.emplace_back(key, default_value);
  auto it = current_->settings.find(key);
  return it == current_->settings.end() ? default_value : it->second;
}

BOOL __cdecl FakeHost::ReserveFrames(FilterTable*, int w, int h, int count, int flags) {
  std::lock_guard<std::mutex> lock(current_->mutex_);
  current_->reservations.push_back({w, h, count, flags});
  HRESULT planned;
  if (fakes::ShouldFail("Host::ReserveFrames", &planned)) return 0;
  return current_->reservation_result ? 1 : 0;
}

HostPixel* FakeHost::ServeFrame(int frame, FrameSize size) {
  const size_t stride = static_cast<size_t>(max_width);
  std::unique_ptr<HostPixel[]> image(new HostPixel[stride * size.height]);
  for (int y = 0; y < size.height; ++y) {
    HostPixel* row = image.get() + y * stride;
    for (int x = 0; x < size.width; ++x) row[x] = PixelOf(frame, x, y);
    // The rest of the row is the host's, not the frame's.
    std::fill(row + size.width, row + stride, kSentinel);
  }
  fetched_images_.push_back(std::move(image));
  return fetched_images_.back().get();
}

HostPixel* __cdecl FakeHost::FetchFrame(FilterTable*, void* edit_handle, int frame, int* width,
                                        int* height) {
  FakeHost* host = current_;
  if (host->on_fetch) host->on_fetch(frame);
  if (host->fetch_delay.count() > 0) std::this_thread::sleep_for(host->fetch_delay);
  std::lock_guard<std::mutex> lock(host->mutex_);
  host->fetches.push_back({frame, width != nullptr, edit_handle, false});
  HRESULT planned;
  if (fakes::ShouldFail("Host::FetchFrame", &planned)) return nullptr;
  if (host->fetch_fails || host->failing_frames.count(frame) || frame < 0 ||
      frame >= host->frame_count)
    return nullptr;
  const FrameSize size = host->SizeOf(frame);
  if (size.width <= 0 || size.height <= 0 || size.width > host->max_width ||
      size.height > host->max_height)
    return nullptr;
  HostPixel* image = host->ServeFrame(frame, size);
  host->fetches.back().served = true;
  if (width) *width = size.width;
  if (height) *height = size.height;
  return image;
}

BOOL __cdecl FakeHost::ParallelRun(ParallelRoutine routine, void* first, void* second) {
  FakeHost* host = current_;
  const int count = host->parallel_threads_;
  size_t run;
  {
    std::lock_guard<std::mutex> lock(host->mutex_);
    run = host->parallel_runs.size();
    host->parallel_runs.push_back({routine, first, second, 0});
    HRESULT planned;
    if (fakes::ShouldFail("Host::ParallelRun", &planned)) return 0;
  }
  std::vector<std::thread> threads;
  threads.reserve(count);
  for (int i = 0; i < count; ++i) threads.emplace_back([=] { routine(i, count, first, second); });
  for (std::thread& thread : threads) thread.join();
  std::lock_guard<std::mutex> lock(host->mutex_);
  host->parallel_runs[run].threads = count;
  return 1;
}

}  // namespace plugin_test
