#include "tools/host/frame_server.h"

#include <windows.h>

#include <algorithm>

namespace texloom_host {

void FrameServer::SetClip(std::shared_ptr<Clip> clip, int max_width, int max_height) {
  clip_ = std::move(clip);
  max_width_ = max_width;
  max_height_ = max_height;
  images_.clear();
  images_in_use_ = 0;
}

void FrameServer::BeginCall() { images_in_use_ = 0; }

const HostPixel* FrameServer::Fetch(int frame, int* width, int* height) {
  FetchRecord record;
  record.requested = frame;
  record.size_asked = width || height;
  if (!clip_ || clip_->frame_count() <= 0) {
    log_.push_back(record);
    return nullptr;
  }
  record.served = std::min(std::max(frame, 0), clip_->frame_count() - 1);
  log_.push_back(record);
  if (clip_->width() > max_width_ || clip_->height() > max_height_) return nullptr;

  const size_t pixels = static_cast<size_t>(max_width_) * max_height_;
  if (images_in_use_ == images_.size()) {
    images_.push_back(std::unique_ptr<std::vector<HostPixel>>(new std::vector<HostPixel>()));
  }
  std::vector<HostPixel>& image = *images_[images_in_use_];
  if (image.size() != pixels) image.assign(pixels, Filler());
  LARGE_INTEGER before, after, frequency;
  QueryPerformanceCounter(&before);
  const bool read = clip_->Read(record.served, image.data(), max_width_);
  QueryPerformanceCounter(&after);
  QueryPerformanceFrequency(&frequency);
  read_seconds_ += static_cast<double>(after.QuadPart - before.QuadPart) / frequency.QuadPart;
  if (!read) return nullptr;
  ++images_in_use_;
  if (width) *width = clip_->width();
  if (height) *height = clip_->height();
  return image.data();
}

std::vector<int> FrameServer::Order() const {
  std::vector<int> order;
  for (const FetchRecord& record : log_) order.push_back(record.requested);
  return order;
}

std::map<int, int> FrameServer::Counts() const {
  std::map<int, int> counts;
  for (const FetchRecord& record : log_) ++counts[record.requested];
  return counts;
}

}  // namespace texloom_host
