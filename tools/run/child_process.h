// Child processes (ffmpeg, ffprobe, the host) with pipes, in their own
// process group so that a terminal's Ctrl-C reaches only texloom-run, which
// then ends them in order.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace texloom_run {

struct Stdio {
  enum Mode { inherit, pipe, null, file } mode = inherit;
  std::string path;  // for file: created or truncated

  static Stdio Inherit() { return Stdio{inherit, ""}; }
  static Stdio Pipe() { return Stdio{pipe, ""}; }
  static Stdio Null() { return Stdio{null, ""}; }
  static Stdio File(const std::string& path) { return Stdio{file, path}; }
};

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // A child still running is ended (see Terminate).
  ~ChildProcess();

  // Starts argv[0] (looked up in PATH). False with a reason when it cannot
  // be started, "not found" included.
  bool Start(const std::vector<std::string>& argv, Stdio in, Stdio out, Stdio err,
             std::string* error);

  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  int stdin_fd() const { return in_fd_; }
  int stdout_fd() const { return out_fd_; }
  int stderr_fd() const { return err_fd_; }
  void CloseStdin();
  void CloseStdout();
  void CloseStderr();

  // The exit status, or 128 + signal number for a child ended by a signal.
  int Wait();
  // Wait without blocking: true and *status once the child has ended.
  bool Poll(int* status);

  // SIGTERM to the child and all its descendants, SIGKILL to those left
  // after grace_seconds; returns the status.
  int Terminate(double grace_seconds = 10.0);

 private:
  void CloseAll();

  pid_t pid_ = -1;
  int in_fd_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  int status_ = -1;
};

// Runs a program to its end and keeps what it printed.
bool RunAndCapture(const std::vector<std::string>& argv, std::string* out, std::string* err,
                   int* status, std::string* error);

// Descendants of pid, children first, read from /proc.
std::vector<pid_t> DescendantsOf(pid_t pid);

// write() all bytes, retrying on EINTR; false on any other error.
bool WriteAll(int fd, const void* data, size_t size);

// read() exactly size bytes: 1 when done, 0 at end of file before any byte
// (or -1 part way: a short frame), -1 on error.
int ReadExactly(int fd, void* data, size_t size);

}  // namespace texloom_run
