// The frames a host serves to the plug-in: a clip of a fixed size and
// length. Tests use synthetic clips whose pixels are a function of frame and
// position; the run mode reads a raw file on demand.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "tools/host/host_abi.h"

namespace texloom_host {

class Clip {
 public:
  virtual ~Clip() = default;
  virtual int width() const = 0;
  virtual int height() const = 0;
  virtual int frame_count() const = 0;
  // Writes frame `frame` (0 <= frame < frame_count) into `pixels`, rows
  // `stride` pixels apart. False when the frame cannot be read.
  virtual bool Read(int frame, HostPixel* pixels, int stride) = 0;
};

using PixelFunction = std::function<HostPixel(int frame, int x, int y)>;

// Pixels computed by a function of (frame, x, y).
class PatternClip : public Clip {
 public:
  PatternClip(int width, int height, int frame_count, PixelFunction pixel);
  int width() const override { return width_; }
  int height() const override { return height_; }
  int frame_count() const override { return frame_count_; }
  bool Read(int frame, HostPixel* pixels, int stride) override;
  HostPixel At(int frame, int x, int y) const { return pixel_(frame, x, y); }

 private:
  int width_, height_, frame_count_;
  PixelFunction pixel_;
};

// Frames of a raw file: frame_count frames back to back, each width × height
// host pixels packed (row stride = width), read when asked for.
class RawFileClip : public Clip {
 public:
  ~RawFileClip() override;
  // Null with *error when the file cannot be opened or its size is not
  // exactly frame_count frames.
  static std::unique_ptr<RawFileClip> Open(const std::wstring& path, int width, int height,
                                           int frame_count, std::string* error);
  int width() const override { return width_; }
  int height() const override { return height_; }
  int frame_count() const override { return frame_count_; }
  bool Read(int frame, HostPixel* pixels, int stride) override;
  // Frames that could not be read since the file was opened.
  int read_failures() const { return read_failures_; }

 private:
  RawFileClip() = default;
  bool ReadFrame(int frame, HostPixel* pixels, int stride);
  int read_failures_ = 0;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  int width_ = 0, height_ = 0, frame_count_ = 0;
};

}  // namespace texloom_host
