// The filtered frames on their way to the encoders, converted and written on
// a thread of their own so that encoding overlaps the plug-in's work.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "run/ffmpeg_io.h"

namespace texloom_run {

class FrameSink {
 public:
  // encoders: started, owned by the caller, outliving the sink; names: for
  // messages, one per encoder.
  FrameSink(std::vector<FrameEncoder*> encoders, std::vector<std::string> names, size_t pixels);
  ~FrameSink();

  // Host pixel bytes of the next frame; waits while a few frames are queued.
  // False once an encoder has failed (error() says why).
  bool Push(const uint8_t* bytes, size_t size);
  // Writes what is queued and ends the thread; false when an encoder failed.
  bool Drain();
  std::string error();
  double wait_seconds() const { return wait_seconds_; }

 private:
  void Write();

  std::vector<FrameEncoder*> encoders_;
  std::vector<std::string> names_;
  const size_t pixels_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<uint8_t>> queue_;
  std::vector<std::vector<uint8_t>> spare_;
  bool closing_ = false;
  std::string error_;
  double wait_seconds_ = 0.0;
};

}  // namespace texloom_run
