// The clip's frames in host pixels, decoded on a thread of their own a few
// frames ahead of the host, so that decoding overlaps the plug-in's work.
// Frames are asked for by number, mostly in order; an earlier frame than the
// decoder has reached, or one far ahead, starts ffmpeg again with a seek.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "run/ffmpeg_io.h"
#include "run/host_colour.h"

namespace texloom_run {

class FrameSource {
 public:
  // clip: ffprobe's view of it; log_path: ffmpeg's messages.
  FrameSource(const std::string& input, const ClipInfo& clip, const std::string& log_path);
  ~FrameSource();

  // Frame n as host pixel bytes; false with *error when the clip cannot
  // give it (it ended before n, ffmpeg failed, a frame of another size).
  bool Get(long n, std::vector<uint8_t>* bytes, std::string* error);
  // Ends the decoder (interruption, end of the run).
  void Stop();
  // Seconds spent waiting for a decoded frame.
  double wait_seconds() const { return wait_seconds_; }
  int restarts() const { return restarts_; }

 private:
  struct Decoded {
    long number;
    std::vector<uint8_t> bytes;
  };
  bool Restart(long first, std::string* error);
  void Decode(long first);

  const std::string input_;
  const ClipInfo clip_;
  const std::string log_path_;
  const Matrix matrix_;
  std::unique_ptr<ClipDecoder> decoder_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Decoded> ready_;
  std::vector<std::vector<uint8_t>> spare_;
  bool stopping_ = false;
  bool ended_ = false;  // the decoder gave its last frame (or failed)
  std::string failure_;
  long decoded_until_ = 0;  // one past the last frame decoded
  double wait_seconds_ = 0.0;
  int restarts_ = -1;
};

}  // namespace texloom_run
