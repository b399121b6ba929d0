#include "run/host_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
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

class Session {
 public:
  Session(const std::string& output_path, size_t frame_bytes, HostObserver* observer)
      : output_path_(output_path), frame_bytes_(frame_bytes), observer_(observer) {}
  ~Session() {
    if (output_fd_ >= 0) close(output_fd_);
  }

  HostOutcome Run(const std::vector<std::string>& command) {
    // The output file exists before the host starts, so that it can be
    // opened for reading at once; the host truncates or appends to it.
    output_fd_ = open(output_path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (output_fd_ < 0) {
      outcome_.start_error = "cannot make " + output_path_ + ": " + strerror(errno);
      return outcome_;
    }
    if (!child_.Start(command, Stdio::Null(), Stdio::Pipe(), Stdio::Pipe(),
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
        if (fds[0].revents != 0) out_open = Drain(child_.stdout_fd(), &out_lines_, true);
        if (fds[1].revents != 0) err_open = Drain(child_.stderr_fd(), &err_lines_, false);
      }
      ReadAvailableFrames();
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
    out_lines_.Flush([this](const std::string& line) { OnStdoutLine(line); });
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
    child_.CloseStdout();
    child_.CloseStderr();
    ReadAvailableFrames();
  }

  // Reads what is there; false at end of stream.
  bool Drain(int fd, LineBuffer* lines, bool is_stdout) {
    char buffer[8192];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0) return errno == EINTR || errno == EAGAIN;
    if (got == 0) return false;
    lines->Add(buffer, static_cast<size_t>(got), [this, is_stdout](const std::string& line) {
      if (is_stdout) {
        OnStdoutLine(line);
      } else {
        observer_->OnHostStderr(line);
      }
    });
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
          ok_frames_.push_back(event.frame);
          ++outcome_.frames_ok;
        } else if (outcome_.failed_frame < 0) {
          outcome_.failed_frame = event.frame;
        }
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
    ReadAvailableFrames();
  }

  // Frames announced and complete in the file go to the observer; the host
  // may announce a frame before its bytes reach the file.
  void ReadAvailableFrames() {
    while (!stop_ && outcome_.frames_read < static_cast<long>(ok_frames_.size())) {
      struct stat info;
      if (fstat(output_fd_, &info) != 0) return;
      const off_t offset = static_cast<off_t>(outcome_.frames_read) * frame_bytes_;
      if (info.st_size < offset + static_cast<off_t>(frame_bytes_)) return;
      frame_.resize(frame_bytes_);
      size_t done = 0;
      while (done < frame_bytes_) {
        const ssize_t got = pread(output_fd_, frame_.data() + done, frame_bytes_ - done,
                                  offset + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
          outcome_.read_error =
              "cannot read the host's output " + output_path_ + ": " + strerror(errno);
          stop_ = true;
          return;
        }
        done += static_cast<size_t>(got);
      }
      const long number = ok_frames_[static_cast<size_t>(outcome_.frames_read)];
      ++outcome_.frames_read;
      // Frames read are not needed again: give their disk space back.
      fallocate(output_fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, offset,
                static_cast<off_t>(frame_bytes_));
      if (!observer_->OnFrame(number, frame_.data(), frame_.size())) stop_ = true;
    }
  }

  const std::string output_path_;
  const size_t frame_bytes_;
  HostObserver* observer_;
  ChildProcess child_;
  HostOutcome outcome_;
  int output_fd_ = -1;
  bool stop_ = false;
  LineBuffer out_lines_;
  LineBuffer err_lines_;
  std::vector<long> ok_frames_;
  std::vector<uint8_t> frame_;
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

HostOutcome RunHost(const HostLaunch& launch, const HostRequest& request,
                    const std::string& output_path, size_t frame_bytes, HostObserver* observer) {
  Session session(output_path, frame_bytes, observer);
  return session.Run(launch.Command(request));
}

}  // namespace texloom_run
