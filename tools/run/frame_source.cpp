#include "run/frame_source.h"

#include "run/host_colour.h"
#include "run/progress.h"

namespace texloom_run {
namespace {

constexpr size_t kFramesAhead = 3;
constexpr long kLongestSkip = 64;  // further ahead, a seek is quicker

}  // namespace

FrameSource::FrameSource(const std::string& input, const ClipInfo& clip,
                         const std::string& log_path)
    : input_(input),
      clip_(clip),
      log_path_(log_path),
      matrix_(clip.colour_space == "bt709" ? Matrix::bt709 : Matrix::bt601) {}

FrameSource::~FrameSource() { Stop(); }

void FrameSource::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  // The thread may be blocked reading: ending ffmpeg ends its read; its
  // pipes are closed only once the thread is gone.
  if (decoder_) decoder_->Signal();
  if (thread_.joinable()) thread_.join();
  if (decoder_) decoder_->Abort();
  decoder_.reset();
}

bool FrameSource::Restart(long first, std::string* error) {
  Stop();
  ++restarts_;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Decoded& frame : ready_) spare_.push_back(std::move(frame.bytes));
    ready_.clear();
    stopping_ = false;
    ended_ = false;
    failure_.clear();
    decoded_until_ = first;
  }
  decoder_.reset(new ClipDecoder);
  if (!decoder_->Start(input_, clip_.width, clip_.height, DecodeFormatOf(clip_),
                      FrameSeekSeconds(input_, first, clip_.rate), log_path_,
                      error)) {
    return false;
  }
  thread_ = std::thread(&FrameSource::Decode, this, first);
  return true;
}

void FrameSource::Decode(long first) {
  const size_t pixels = static_cast<size_t>(clip_.width) * static_cast<size_t>(clip_.height);
  std::vector<uint8_t> raw;
  std::vector<HostPixel> host(pixels);
  for (long number = first;; ++number) {
    const int got = decoder_->ReadFrame(&raw);
    std::vector<uint8_t> bytes;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!spare_.empty()) {
        bytes = std::move(spare_.back());
        spare_.pop_back();
      }
    }
    std::string failure;
    if (got != 1) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) return;
    }
    if (got == 1) {
      if (clip_.ycbcr) {
        HostFrameFromYuv444p16le(raw.data(), host.data(), pixels, matrix_);
      } else if (clip_.deep) {
        HostRowFromRgb48le(raw.data(), host.data(), pixels);
      } else {
        HostRowFromRgb24(raw.data(), host.data(), pixels);
      }
      bytes.resize(pixels * kHostPixelBytes);
      BytesFromHostPixels(host.data(), bytes.data(), pixels);
    } else if (got == -2) {
      failure = "the clip '" + input_ + "' changes its picture size (" + decoder_->size_change() +
                "); texloom-run takes one size throughout: cut the clip there, or scale it "
                "first (ffmpeg -vf scale=" + std::to_string(clip_.width) + ":" +
                std::to_string(clip_.height) + ")";
    } else if (got < 0) {
      failure = "the clip '" + input_ + "' gave a short frame at frame " + std::to_string(number) +
                " (truncated, or its picture size changes from " + std::to_string(clip_.width) +
                "x" + std::to_string(clip_.height) + ")";
    } else if (!decoder_->Finish(&failure)) {
      failure = "the clip '" + input_ + "': " + failure;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (got != 1) {
      ended_ = true;
      failure_ = failure;
      changed_.notify_all();
      return;
    }
    changed_.wait(lock, [this] { return stopping_ || ready_.size() < kFramesAhead; });
    if (stopping_) return;
    ready_.push_back(Decoded{number, std::move(bytes)});
    decoded_until_ = number + 1;
    changed_.notify_all();
  }
}

bool FrameSource::Get(long n, std::vector<uint8_t>* bytes, std::string* error) {
  bool seek = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const long oldest = ready_.empty() ? decoded_until_ : ready_.front().number;
    seek = restarts_ < 0 || n < oldest || n - oldest > kLongestSkip;
  }
  if (seek && !Restart(n, error)) return false;
  const double began = MonotonicSeconds();
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    while (!ready_.empty() && ready_.front().number < n) {
      spare_.push_back(std::move(ready_.front().bytes));
      ready_.pop_front();
      changed_.notify_all();
    }
    if (!ready_.empty() && ready_.front().number == n) break;
    if (ended_ && ready_.empty()) {
      *error = !failure_.empty() ? failure_
                                 : "the clip '" + input_ + "' ended before frame " +
                                       std::to_string(n) + " (it has " +
                                       std::to_string(decoded_until_) +
                                       " frames, fewer than its container states)";
      wait_seconds_ += MonotonicSeconds() - began;
      return false;
    }
    changed_.wait(lock);
  }
  wait_seconds_ += MonotonicSeconds() - began;
  if (!bytes->empty()) spare_.push_back(std::move(*bytes));
  *bytes = std::move(ready_.front().bytes);
  ready_.pop_front();
  changed_.notify_all();
  return true;
}

}  // namespace texloom_run
