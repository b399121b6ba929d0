#include "run/child_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>

namespace texloom_run {
namespace {

void SleepSeconds(double seconds) {
  timespec pause{static_cast<time_t>(seconds),
                 static_cast<long>((seconds - static_cast<time_t>(seconds)) * 1e9)};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

int StatusOf(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return 255;
}

void CloseFd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

constexpr int kPipeBytes = 1 << 20;

// The parent's end of each pipe; the child's ends are dup2'ed to 0, 1, 2.
struct ChildStream {
  int parent = -1;
  int child = -1;
};

bool OpenStream(const Stdio& stdio, int standard_fd, ChildStream* stream, std::string* error) {
  switch (stdio.mode) {
    case Stdio::inherit:
      return true;
    case Stdio::pipe: {
      int fds[2];
      if (pipe2(fds, O_CLOEXEC) != 0) {
        *error = std::string("cannot make a pipe: ") + strerror(errno);
        return false;
      }
      // Frames are megabytes: a larger buffer than the usual 64 KiB lets
      // each side move a frame in a few calls instead of a hundred switches
      // between the processes. Only a speed-up; where the system refuses
      // (pipe-max-size), the pipe works as it is.
      fcntl(fds[0], F_SETPIPE_SZ, kPipeBytes);
      // stdin: the child reads fds[0]; stdout and stderr: it writes fds[1].
      stream->parent = standard_fd == 0 ? fds[1] : fds[0];
      stream->child = standard_fd == 0 ? fds[0] : fds[1];
      return true;
    }
    case Stdio::null:
    case Stdio::file: {
      const char* path = stdio.mode == Stdio::null ? "/dev/null" : stdio.path.c_str();
      const int flags = standard_fd == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC;
      stream->child = open(path, flags | O_CLOEXEC, 0644);
      if (stream->child < 0) {
        *error = std::string("cannot open ") + path + ": " + strerror(errno);
        return false;
      }
      return true;
    }
  }
  return false;
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (running()) Terminate(5.0);
  CloseAll();
}

void ChildProcess::CloseAll() {
  CloseFd(&in_fd_);
  CloseFd(&out_fd_);
  CloseFd(&err_fd_);
}

void ChildProcess::CloseStdin() { CloseFd(&in_fd_); }
void ChildProcess::CloseStdout() { CloseFd(&out_fd_); }
void ChildProcess::CloseStderr() { CloseFd(&err_fd_); }

bool ChildProcess::Start(const std::vector<std::string>& argv, Stdio in, Stdio out, Stdio err,
                         std::string* error) {
  ChildStream streams[3];
  const Stdio* modes[3] = {&in, &out, &err};
  auto close_streams = [&streams]() {
    for (ChildStream& stream : streams) {
      CloseFd(&stream.parent);
      CloseFd(&stream.child);
    }
  };
  for (int k = 0; k < 3; ++k) {
    if (!OpenStream(*modes[k], k, &streams[k], error)) {
      close_streams();
      return false;
    }
  }
  // The child reports a failed exec through this pipe; a successful exec
  // closes it.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    *error = std::string("cannot make a pipe: ") + strerror(errno);
    close_streams();
    return false;
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) {
    *error = std::string("cannot start a process: ") + strerror(errno);
    close_streams();
    close(report[0]);
    close(report[1]);
    return false;
  }
  if (pid == 0) {
    setpgid(0, 0);
    signal(SIGPIPE, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    for (int k = 0; k < 3; ++k) {
      if (streams[k].child >= 0) dup2(streams[k].child, k);
    }
    execvp(args[0], args.data());
    const int code = errno;
    ssize_t ignored = write(report[1], &code, sizeof code);
    (void)ignored;
    _exit(127);
  }
  setpgid(pid, pid);
  close(report[1]);
  for (ChildStream& stream : streams) CloseFd(&stream.child);
  int code = 0;
  ssize_t got;
  do {
    got = read(report[0], &code, sizeof code);
  } while (got < 0 && errno == EINTR);
  close(report[0]);
  if (got == static_cast<ssize_t>(sizeof code)) {
    int raw;
    while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
    }
    for (ChildStream& stream : streams) CloseFd(&stream.parent);
    *error = code == ENOENT ? argv[0] + " was not found" : argv[0] + ": " + strerror(code);
    return false;
  }
  pid_ = pid;
  status_ = -1;
  in_fd_ = streams[0].parent;
  out_fd_ = streams[1].parent;
  err_fd_ = streams[2].parent;
  return true;
}

int ChildProcess::Wait() {
  if (pid_ <= 0) return status_;
  int raw = 0;
  pid_t got;
  do {
    got = waitpid(pid_, &raw, 0);
  } while (got < 0 && errno == EINTR);
  status_ = got == pid_ ? StatusOf(raw) : 255;
  pid_ = -1;
  return status_;
}

bool ChildProcess::Poll(int* status) {
  if (pid_ <= 0) {
    *status = status_;
    return true;
  }
  int raw = 0;
  const pid_t got = waitpid(pid_, &raw, WNOHANG);
  if (got == 0 || (got < 0 && errno == EINTR)) return false;
  status_ = got == pid_ ? StatusOf(raw) : 255;
  pid_ = -1;
  *status = status_;
  return true;
}

int ChildProcess::Terminate(double grace_seconds) {
  if (pid_ <= 0) return status_;
  // Closing our ends first lets a child blocked on a pipe notice.
  CloseAll();
  // Children first: a shell script (tools/run_wine.sh) runs its clean-up
  // only once the program it waits for has ended.
  std::vector<pid_t> tree = DescendantsOf(pid_);
  for (pid_t p : tree) kill(p, SIGTERM);
  kill(pid_, SIGTERM);
  int status = 0;
  for (double waited = 0.0; waited < grace_seconds; waited += 0.05) {
    if (Poll(&status)) return status;
    SleepSeconds(0.05);
  }
  tree = DescendantsOf(pid_);
  for (pid_t p : tree) kill(p, SIGKILL);
  kill(pid_, SIGKILL);
  return Wait();
}

std::vector<pid_t> DescendantsOf(pid_t root) {
  std::multimap<pid_t, pid_t> children;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return {};
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (*end != '\0' || pid <= 0) continue;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
    FILE* file = std::fopen(path, "r");
    if (file == nullptr) continue;
    char line[1024];
    const bool read = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    if (!read) continue;
    // "pid (comm) state ppid ...": the name may hold spaces and parentheses.
    const char* close_paren = std::strrchr(line, ')');
    if (close_paren == nullptr) continue;
    char state = 0;
    long parent = 0;
    if (std::sscanf(close_paren + 1, " %c %ld", &state, &parent) != 2) continue;
    children.emplace(static_cast<pid_t>(parent), static_cast<pid_t>(pid));
  }
  closedir(proc);
  std::vector<pid_t> found;
  std::vector<pid_t> queue = {root};
  while (!queue.empty()) {
    const pid_t parent = queue.back();
    queue.pop_back();
    auto range = children.equal_range(parent);
    for (auto it = range.first; it != range.second; ++it) {
      found.push_back(it->second);
      queue.push_back(it->second);
    }
  }
  return found;
}

bool RunAndCapture(const std::vector<std::string>& argv, std::string* out, std::string* err,
                   int* status, std::string* error) {
  ChildProcess child;
  if (!child.Start(argv, Stdio::Null(), Stdio::Pipe(), Stdio::Pipe(), error)) return false;
  out->clear();
  err->clear();
  pollfd fds[2] = {{child.stdout_fd(), POLLIN, 0}, {child.stderr_fd(), POLLIN, 0}};
  std::string* sinks[2] = {out, err};
  int open_streams = 2;
  while (open_streams > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds[k].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[k]->append(buffer, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        fds[k].fd = -1;
        --open_streams;
      }
    }
  }
  child.CloseStdout();
  child.CloseStderr();
  *status = child.Wait();
  return true;
}

bool WriteAll(int fd, const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = write(fd, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

int ReadExactly(int fd, void* data, size_t size) {
  char* bytes = static_cast<char*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t got = read(fd, bytes + done, size - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) return done == 0 ? 0 : -1;
    done += static_cast<size_t>(got);
  }
  return 1;
}

}  // namespace texloom_run
