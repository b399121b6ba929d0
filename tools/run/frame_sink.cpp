#include "run/frame_sink.h"

#include "run/host_colour.h"
#include "run/progress.h"

namespace texloom_run {
namespace {

constexpr size_t kFramesQueued = 3;

}  // namespace

FrameSink::FrameSink(std::vector<FrameEncoder*> encoders, std::vector<std::string> names,
                     size_t pixels)
    : encoders_(std::move(encoders)), names_(std::move(names)), pixels_(pixels) {
  thread_ = std::thread(&FrameSink::Write, this);
}

FrameSink::~FrameSink() { Drain(); }

bool FrameSink::Push(const uint8_t* bytes, size_t size) {
  const double began = MonotonicSeconds();
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !error_.empty() || queue_.size() < kFramesQueued; });
  wait_seconds_ += MonotonicSeconds() - began;
  if (!error_.empty()) return false;
  std::vector<uint8_t> frame;
  if (!spare_.empty()) {
    frame = std::move(spare_.back());
    spare_.pop_back();
  }
  frame.assign(bytes, bytes + size);
  queue_.push_back(std::move(frame));
  changed_.notify_all();
  return true;
}

bool FrameSink::Drain() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  return error_.empty();
}

std::string FrameSink::error() {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

void FrameSink::Write() {
  std::vector<HostPixel> host(pixels_);
  std::vector<uint8_t> rgb(pixels_ * 6);
  for (;;) {
    std::vector<uint8_t> frame;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return closing_ || !queue_.empty(); });
      if (queue_.empty()) return;
      frame = std::move(queue_.front());
      queue_.pop_front();
      changed_.notify_all();
    }
    HostPixelsFromBytes(frame.data(), host.data(), pixels_);
    Rgb48leRowFromHost(host.data(), rgb.data(), pixels_);
    for (size_t i = 0; i < encoders_.size(); ++i) {
      if (encoders_[i]->WriteFrame(rgb)) continue;
      std::string why;
      encoders_[i]->Finish(&why);
      std::lock_guard<std::mutex> lock(mutex_);
      error_ = "'" + names_[i] + "': " + why;
      changed_.notify_all();
      return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    spare_.push_back(std::move(frame));
  }
}

}  // namespace texloom_run
