#include "tools/host/stream_clip.h"

#include <cstring>

namespace texloom_host {

StreamClip::StreamClip(int width, int height, int frame_count, HANDLE input,
                       std::function<void(int)> ask)
    : width_(width),
      height_(height),
      frame_count_(frame_count),
      input_(input),
      ask_(std::move(ask)) {}

bool StreamClip::Receive(int frame) {
  std::unique_ptr<Frame> pixels;
  if (!spare_.empty()) {
    pixels = std::move(spare_.back());
    spare_.pop_back();
  } else {
    pixels.reset(new Frame(static_cast<size_t>(width_) * height_));
  }
  ask_(frame);
  char* bytes = reinterpret_cast<char*>(pixels->data());
  const size_t size = pixels->size() * sizeof(HostPixel);
  for (size_t done = 0; done < size;) {
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(size - done > (1u << 20) ? (1u << 20) : size - done);
    if (!ReadFile(input_, bytes + done, chunk, &got, nullptr) || got == 0) return false;
    done += got;
  }
  cache_[frame] = std::move(pixels);
  last_received_ = frame;
  if (cache_.size() > peak_frames_) peak_frames_ = cache_.size();
  return true;
}

bool StreamClip::Read(int frame, HostPixel* pixels, int stride) {
  if (frame < 0 || frame >= frame_count_) return false;
  if (cache_.find(frame) == cache_.end()) {
    // Ahead of the stream: every frame up to it, in order, so that the
    // driver decodes straight on; frames in between are kept, as the effect
    // reaches them later. Behind it: that frame alone (the driver seeks).
    constexpr int kLongestRun = 64;  // further ahead is a jump: the driver seeks
    int next = frame > last_received_ && frame - last_received_ <= kLongestRun && !cache_.empty()
                   ? last_received_ + 1
                   : frame;
    for (; next <= frame; ++next) {
      if (cache_.find(next) != cache_.end()) continue;
      if (!Receive(next)) {
        ++read_failures_;
        return false;
      }
    }
  }
  const Frame& source = *cache_[frame];
  for (int y = 0; y < height_; ++y) {
    std::memcpy(pixels + static_cast<size_t>(y) * stride, source.data() + static_cast<size_t>(y) * width_,
                static_cast<size_t>(width_) * sizeof(HostPixel));
  }
  return true;
}

void StreamClip::Keep(int first_needed) {
  while (!cache_.empty() && cache_.begin()->first < first_needed) {
    // One spare is enough to take the next frame without allocating.
    if (spare_.empty()) spare_.push_back(std::move(cache_.begin()->second));
    cache_.erase(cache_.begin());
  }
}

}  // namespace texloom_host
