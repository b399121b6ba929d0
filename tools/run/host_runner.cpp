#include "run/host_runner.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "run/child_process.h"
#include "run/interruption.h"
#include "run/progress.h"

namespace texloom_run {
namespace {

// Splits a byte stream into lines.
class LineBuffer {
 public:
  template <typename Sink>
  void Add(const char* bytes, size_t size, Sink sink) {
    pending_.append(bytes, size);
    size_t start = 0;
    for (size_t newline; (newline = pending_.find('\n', start)) != std::string::npos;
         start = newline + 1) {
      sink(pending_.substr(start, newline - start));
    }
    pending_.erase(0, start);
  }
  template <typename Sink>
  void Flush(Sink sink) {
    if (!pending_.empty()) sink(pending_);
    pending_.clear();
  }

 private:
  std::string pending_;
};

// The host's standard output: event lines, each "frame n ok" followed by
// the frame's bytes.
class Session {
 public:
  Session(size_t frame_bytes, HostObserver* observer)
      : frame_bytes_(frame_bytes), observer_(observer) {}

  HostOutcome Run(const std::vector<std::string>& command) {
    if (!child_.Start(command, Stdio::Pipe(), Stdio::Pipe(), Stdio::Pipe(),
                      &outcome_.start_error)) {
      return outcome_;
    }
    outcome_.started = true;
    Loop();
    return outcome_;
  }

 private:
  void Loop() {
    bool out_open = true;
    bool err_open = true;
    bool exited = false;
    double exited_at = 0.0;
    while (out_open || err_open) {
      if (!outcome_.stopped && (Interrupted() || stop_)) {
        outcome_.stopped = true;
        outcome_.status = child_.Terminate();
        return;
      }
      pollfd fds[2] = {{out_open ? child_.stdout_fd() : -1, POLLIN, 0},
                       {err_open ? child_.stderr_fd() : -1, POLLIN, 0}};
      const int ready = poll(fds, 2, 100);
      if (ready < 0 && errno != EINTR) break;
      if (ready > 0) {
        if (fds[0].revents != 0) out_open = DrainStdout();
        if (fds[1].revents != 0) err_open = DrainStderr();
      }
      observer_->OnIdle();
      // A process the host left behind (Wine's server) may keep the pipes
      // open after the host has ended: give them a moment, then stop reading.
      int status = 0;
      if (!exited && child_.Poll(&status)) {
        exited = true;
        exited_at = MonotonicSeconds();
        outcome_.status = status;
      }
      if (exited && MonotonicSeconds() - exited_at > 2.0) break;
    }
    if (!pending_.empty() && payload_left_ == 0) OnStdoutLine(pending_);
    if (payload_left_ > 0 && outcome_.read_error.empty()) {
      outcome_.read_error = "the host's output ended inside frame " + std::to_string(payload_frame_);
    }
    err_lines_.Flush([this](const std::string& line) { observer_->OnHostStderr(line); });
    if (!exited) {
      int status = 0;
      while (!child_.Poll(&status)) {
        if (Interrupted()) {
          outcome_.stopped = true;
          status = child_.Terminate();
          break;
        }
        poll(nullptr, 0, 50);
      }
      outcome_.status = status;
    }
    child_.CloseStdin();
    child_.CloseStdout();
    child_.CloseStderr();
  }

  bool DrainStderr() {
    char buffer[8192];
    const ssize_t got = read(child_.stderr_fd(), buffer, sizeof buffer);
    if (got < 0) return errno == EINTR || errno == EAGAIN;
    if (got == 0) return false;
    err_lines_.Add(buffer, static_cast<size_t>(got),
                   [this](const std::string& line) { observer_->OnHostStderr(line); });
    return true;
  }

  // Reads what is there; false at end of stream.
  bool DrainStdout() {
    buffer_.resize(1 << 20);
    const ssize_t got = read(child_.stdout_fd(), buffer_.data(), buffer_.size());
    if (got < 0) return errno == EINTR || errno == EAGAIN;
    if (got == 0) return false;
    const char* bytes = buffer_.data();
    size_t left = static_cast<size_t>(got);
    while (left > 0 && !stop_) {
      if (payload_left_ > 0) {
        const size_t take = left < payload_left_ ? left : payload_left_;
        frame_.insert(frame_.end(), bytes, bytes + take);
        bytes += take;
        left -= take;
        payload_left_ -= take;
        if (payload_left_ == 0) {
          ++outcome_.frames_read;
          if (!observer_->OnFrame(payload_frame_, frame_.data(), frame_.size())) {
            Stop("frame " + std::to_string(payload_frame_) + " was not taken");
          }
        }
        continue;
      }
      const char* newline = static_cast<const char*>(std::memchr(bytes, '\n', left));
      if (newline == nullptr) {
        pending_.append(bytes, left);
        break;
      }
      pending_.append(bytes, static_cast<size_t>(newline - bytes));
      left -= static_cast<size_t>(newline - bytes) + 1;
      bytes = newline + 1;
      std::string line;
      line.swap(pending_);
      OnStdoutLine(line);
    }
    return true;
  }

  void OnStdoutLine(const std::string& line) {
    HostEvent event;
    std::string problem;
    if (!ParseHostLine(line, &event, &problem)) {
      observer_->OnMalformedLine(line, problem);
      return;
    }
    switch (event.kind) {
      case HostEventKind::frame:
        if (event.ok) {
          ++outcome_.frames_ok;
          payload_frame_ = event.frame;
          payload_left_ = frame_bytes_;
          frame_.clear();
        } else if (outcome_.failed_frame < 0) {
          outcome_.failed_frame = event.frame;
        }
        break;
      case HostEventKind::need:
        if (!observer_->OnNeed(event.frame, &input_)) {
          Stop("frame " + std::to_string(event.frame) + " could not be given");
        } else if (!WriteAll(child_.stdin_fd(), input_.data(), input_.size())) {
          Stop("frame " + std::to_string(event.frame) + " could not be sent: " + strerror(errno));
        }
        break;
      case HostEventKind::held:
        outcome_.held = event.delivered;
        break;
      case HostEventKind::done:
        outcome_.done = event.delivered;
        break;
      case HostEventKind::skipped:
        outcome_.skipped = event.text;
        break;
      default:
        break;
    }
    observer_->OnEvent(event);
  }

  void Stop(const std::string& why) {
    stop_ = true;
    if (outcome_.stop_reason.empty()) outcome_.stop_reason = why;
  }

  const size_t frame_bytes_;
  HostObserver* observer_;
  ChildProcess child_;
  HostOutcome outcome_;
  bool stop_ = false;
  std::vector<char> buffer_;
  std::string pending_;  // the start of a line
  size_t payload_left_ = 0;
  long payload_frame_ = -1;
  LineBuffer err_lines_;
  std::vector<uint8_t> frame_;
  std::vector<uint8_t> input_;
};

}  // namespace

std::string HostLaunch::PathForHost(const std::string& unix_absolute) const {
  return uses_wine() ? WindowsPathOf(unix_absolute) : unix_absolute;
}

std::vector<std::string> HostLaunch::Command(const HostRequest& request) const {
  std::vector<std::string> command;
  if (uses_wine()) {
    command = {wine_script, host_exe};
  } else {
    command = {native_program};
  }
  const std::vector<std::string> arguments = HostRunArguments(request);
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
}

HostOutcome RunHost(const HostLaunch& launch, const HostRequest& request, size_t frame_bytes,
                    HostObserver* observer) {
  Session session(frame_bytes, observer);
  return session.Run(launch.Command(request));
}

}  // namespace texloom_run
