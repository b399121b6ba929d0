// The host's frame fetch behind the services table: serves the frames of the
// current clip into images of max_width × max_height host pixels (row stride
// max_width; the pixels past the clip's width hold a filler the plug-in must
// never pass on), clamps frame numbers outside the clip to its first or last
// frame as the editor does, and records every request.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/host/clip.h"
#include "tools/host/host_abi.h"

namespace texloom_host {

struct FetchRecord {
  int requested = 0;  // the frame number the plug-in asked for
  int served = 0;     // after clamping
  bool size_asked = false;
};

class FrameServer {
 public:
  void SetClip(std::shared_ptr<Clip> clip, int max_width, int max_height);
  Clip* clip() const { return clip_.get(); }
  int max_width() const { return max_width_; }
  int max_height() const { return max_height_; }

  // Frees the images of the previous process call for reuse.
  void BeginCall();
  // The image of frame `frame`, valid until the next BeginCall; null when the
  // clip cannot deliver it. Writes the clip's size where asked.
  const HostPixel* Fetch(int frame, int* width, int* height);

  const std::vector<FetchRecord>& log() const { return log_; }
  // The requested frame numbers in order.
  std::vector<int> Order() const;
  // How often each requested number was fetched.
  std::map<int, int> Counts() const;
  void ClearLog() { log_.clear(); }
  // Time spent making fetched images (reading the clip), in seconds.
  double read_seconds() const { return read_seconds_; }

  // The filler of the pixels past the clip's width in a fetched image.
  static HostPixel Filler() { return HostPixel{0x1234, -0x1234, 0x7ABC}; }

 private:
  std::shared_ptr<Clip> clip_;
  int max_width_ = 0, max_height_ = 0;
  std::vector<std::unique_ptr<std::vector<HostPixel>>> images_;
  size_t images_in_use_ = 0;
  std::vector<FetchRecord> log_;
  double read_seconds_ = 0;
};

}  // namespace texloom_host
