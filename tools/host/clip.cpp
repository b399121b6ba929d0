#include "tools/host/clip.h"

namespace texloom_host {

PatternClip::PatternClip(int width, int height, int frame_count, PixelFunction pixel)
    : width_(width), height_(height), frame_count_(frame_count), pixel_(std::move(pixel)) {}

bool PatternClip::Read(int frame, HostPixel* pixels, int stride) {
  if (frame < 0 || frame >= frame_count_) return false;
  for (int y = 0; y < height_; ++y) {
    HostPixel* row = pixels + static_cast<size_t>(y) * stride;
    for (int x = 0; x < width_; ++x) row[x] = pixel_(frame, x, y);
  }
  return true;
}

RawFileClip::~RawFileClip() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

std::unique_ptr<RawFileClip> RawFileClip::Open(const std::wstring& path, int width, int height,
                                               int frame_count, std::string* error) {
  if (width <= 0 || height <= 0 || frame_count <= 0) {
    *error = "the clip needs a positive width, height and frame count";
    return nullptr;
  }
  std::unique_ptr<RawFileClip> clip(new RawFileClip);
  clip->width_ = width;
  clip->height_ = height;
  clip->frame_count_ = frame_count;
  clip->file_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr);
  if (clip->file_ == INVALID_HANDLE_VALUE) {
    *error = "cannot open the input file (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  LARGE_INTEGER size = {};
  long long expected = 6LL * width * height * frame_count;
  if (!GetFileSizeEx(clip->file_, &size) || size.QuadPart != expected) {
    *error = "the input file has " + std::to_string(size.QuadPart) + " bytes, not " +
             std::to_string(expected) + " (" + std::to_string(frame_count) + " frames of " +
             std::to_string(width) + "x" + std::to_string(height) + " pixels of 6 bytes)";
    return nullptr;
  }
  return clip;
}

bool RawFileClip::Read(int frame, HostPixel* pixels, int stride) {
  if (ReadFrame(frame, pixels, stride)) return true;
  ++read_failures_;
  return false;
}

bool RawFileClip::ReadFrame(int frame, HostPixel* pixels, int stride) {
  if (frame < 0 || frame >= frame_count_) return false;
  const DWORD row_bytes = static_cast<DWORD>(width_) * sizeof(HostPixel);
  LARGE_INTEGER position;
  position.QuadPart = static_cast<long long>(frame) * row_bytes * height_;
  if (!SetFilePointerEx(file_, position, nullptr, FILE_BEGIN)) return false;
  if (stride == width_) {
    DWORD read = 0;
    DWORD bytes = row_bytes * static_cast<DWORD>(height_);
    return ReadFile(file_, pixels, bytes, &read, nullptr) && read == bytes;
  }
  for (int y = 0; y < height_; ++y) {
    DWORD read = 0;
    if (!ReadFile(file_, pixels + static_cast<size_t>(y) * stride, row_bytes, &read, nullptr) ||
        read != row_bytes) {
      return false;
    }
  }
  return true;
}

}  // namespace texloom_host
