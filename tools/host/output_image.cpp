#include "tools/host/output_image.h"

#include <cstring>

namespace texloom_host {

void OutputImage::Allocate(int max_width, int max_height) {
  max_width_ = max_width;
  max_height_ = max_height;
  bytes_.assign(kGuardBytes * 2 + static_cast<size_t>(max_width) * max_height * 6, kGuardByte);
  Reset();
}

void OutputImage::Reset() {
  std::memset(bytes_.data(), kGuardByte, kGuardBytes);
  std::memset(bytes_.data() + bytes_.size() - kGuardBytes, kGuardByte, kGuardBytes);
  HostPixel* image = pixels();
  const HostPixel sentinel = Sentinel();
  const size_t count = static_cast<size_t>(max_width_) * max_height_;
  for (size_t i = 0; i < count; ++i) image[i] = sentinel;
}

HostPixel* OutputImage::pixels() {
  return reinterpret_cast<HostPixel*>(bytes_.data() + kGuardBytes);
}

const HostPixel* OutputImage::pixels() const {
  return reinterpret_cast<const HostPixel*>(bytes_.data() + kGuardBytes);
}

std::string OutputImage::CheckOutside(int width, int height) const {
  for (size_t i = 0; i < kGuardBytes; ++i) {
    if (bytes_[i] != kGuardByte) {
      return "the guard before the image was written at byte " + std::to_string(i);
    }
    if (bytes_[bytes_.size() - kGuardBytes + i] != kGuardByte) {
      return "the guard after the image was written at byte " + std::to_string(i);
    }
  }
  const HostPixel sentinel = Sentinel();
  for (int y = 0; y < max_height_; ++y) {
    for (int x = (y < height ? width : 0); x < max_width_; ++x) {
      if (At(x, y) != sentinel) {
        return "pixel (" + std::to_string(x) + ", " + std::to_string(y) +
               ") outside the frame of " + std::to_string(width) + "x" + std::to_string(height) +
               " was written";
      }
    }
  }
  return std::string();
}

std::vector<HostPixel> OutputImage::Frame(int width, int height) const {
  std::vector<HostPixel> frame;
  frame.reserve(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    const HostPixel* row = pixels() + static_cast<size_t>(y) * max_width_;
    frame.insert(frame.end(), row, row + width);
  }
  return frame;
}

}  // namespace texloom_host
