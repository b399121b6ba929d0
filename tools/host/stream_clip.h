// Frames that arrive on a pipe, asked for by number: the streaming input of
// texloom-host.exe's run mode (run_mode.cpp describes the protocol). Only
// the frames the effect can still ask for are kept: Keep() drops the rest
// after each process call.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "tools/host/clip.h"

namespace texloom_host {

class StreamClip : public Clip {
 public:
  // ask(n) tells the driver to send frame n next on `input`.
  StreamClip(int width, int height, int frame_count, HANDLE input, std::function<void(int)> ask);
  int width() const override { return width_; }
  int height() const override { return height_; }
  int frame_count() const override { return frame_count_; }
  bool Read(int frame, HostPixel* pixels, int stride) override;

  // Forgets the frames before `first_needed`.
  void Keep(int first_needed);
  int read_failures() const { return read_failures_; }
  // The most frames held at once, for the memory figures.
  size_t peak_frames() const { return peak_frames_; }

 private:
  using Frame = std::vector<HostPixel>;
  // Asks for frame n and reads it from the pipe into the cache.
  bool Receive(int frame);

  int width_, height_, frame_count_;
  HANDLE input_;
  std::function<void(int)> ask_;
  std::map<int, std::unique_ptr<Frame>> cache_;
  std::vector<std::unique_ptr<Frame>> spare_;
  int last_received_ = -1;
  int read_failures_ = 0;
  size_t peak_frames_ = 0;
};

}  // namespace texloom_host
