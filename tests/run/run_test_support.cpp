#include "run/run_test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace run_test {
namespace {

void RemoveAll(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return;
  if (S_ISDIR(info.st_mode)) {
    chmod(path.c_str(), 0755);
    for (const std::string& name : ListFolder(path)) RemoveAll(path + "/" + name);
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

void ApplyEnvironment(const std::vector<std::pair<std::string, std::string>>& environment) {
  for (const auto& variable : environment) {
    if (variable.second.empty()) {
      unsetenv(variable.first.c_str());
    } else {
      setenv(variable.first.c_str(), variable.second.c_str(), 1);
    }
  }
}

std::vector<char*> ArgvOf(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  return args;
}

}  // namespace

Scratch::Scratch() {
  char name[] = "/tmp/texloom-run-test.XXXXXX";
  if (mkdtemp(name) != nullptr) path_ = name;
}

Scratch::~Scratch() {
  if (!path_.empty()) RemoveAll(path_);
}

Image TestFrame(int width, int height, int frame) {
  Image image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &image.rgb[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<uint8_t>((x * 37 + frame * 50 + 11) % 256);
      p[1] = static_cast<uint8_t>((y * 61 + frame * 20 + 3) % 256);
      p[2] = static_cast<uint8_t>(((x + y) * 23 + frame * 90 + 7) % 256);
    }
  }
  image.rgb[0] = image.rgb[1] = image.rgb[2] = 0;
  const size_t last = image.rgb.size() - 3;
  image.rgb[last] = image.rgb[last + 1] = image.rgb[last + 2] = 255;
  return image;
}

Image SolidFrame(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
  Image image{width, height, {}};
  for (int i = 0; i < width * height; ++i) image.rgb.insert(image.rgb.end(), {r, g, b});
  return image;
}

void WritePpm(const std::string& path, const Image& image) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << image.width << " " << image.height << "\n255\n";
  out.write(reinterpret_cast<const char*>(image.rgb.data()),
            static_cast<std::streamsize>(image.rgb.size()));
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* folder = opendir(path.c_str())) {
    while (dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(folder);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool HaveFfmpeg() {
  return RunProgram({"ffmpeg", "-version"}, {}).status == 0 &&
         RunProgram({"ffprobe", "-version"}, {}).status == 0;
}

std::vector<Image> ReadFrames(const std::string& path, int width, int height) {
  // 16-bit RGB files are read at 16 bits and rounded here: ffmpeg's own
  // reduction to 8 bits adds half a step before truncating, so 224 * 257
  // would come back as 225.
  const ProgramResult probe = RunProgram({"ffprobe", "-v", "error", "-select_streams", "v:0",
                                          "-show_entries", "stream=pix_fmt", "-of", "csv=p=0",
                                          path},
                                         {});
  const bool deep = probe.output.compare(0, 5, "rgb48") == 0 ||
                    probe.output.compare(0, 6, "rgba64") == 0;
  const ProgramResult result =
      RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt",
                  deep ? "rgb48le" : "rgb24", "-"},
                 {});
  std::vector<Image> frames;
  const size_t bytes = static_cast<size_t>(width) * height * 3 * (deep ? 2 : 1);
  if (result.status != 0) return frames;
  for (size_t at = 0; at + bytes <= result.output.size(); at += bytes) {
    Image image{width, height, {}};
    if (deep) {
      for (size_t i = at; i < at + bytes; i += 2) {
        const unsigned v = static_cast<uint8_t>(result.output[i]) |
                           static_cast<uint8_t>(result.output[i + 1]) << 8;
        image.rgb.push_back(static_cast<uint8_t>((v * 255 + 32767) / 65535));
      }
    } else {
      image.rgb.assign(result.output.begin() + static_cast<std::ptrdiff_t>(at),
                       result.output.begin() + static_cast<std::ptrdiff_t>(at + bytes));
    }
    frames.push_back(image);
  }
  return frames;
}

ProgramResult RunProgram(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& environment) {
  ProgramResult result;
  int out[2];
  int err[2];
  if (pipe(out) != 0) return result;
  if (pipe(err) != 0) {
    close(out[0]);
    close(out[1]);
    return result;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    ApplyEnvironment(environment);
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(out[1]);
    close(err[0]);
    close(err[1]);
    const int null = open("/dev/null", O_RDONLY);
    dup2(null, 0);
    std::vector<char*> args = ArgvOf(argv);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.output, &result.errors};
  int open_count = 2;
  while (open_count > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      char buffer[65536];
      const ssize_t got = read(fds[k].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[k]->append(buffer, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[k].fd);
        fds[k].fd = -1;
        --open_count;
      }
    }
  }
  result.status = WaitProgram(pid);
  return result;
}

pid_t StartProgram(const std::vector<std::string>& argv,
                   const std::vector<std::pair<std::string, std::string>>& environment,
                   const std::string& errors_file) {
  const pid_t pid = fork();
  if (pid == 0) {
    ApplyEnvironment(environment);
    const int errors = open(errors_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(errors, 2);
    std::vector<char*> args = ArgvOf(argv);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

int WaitProgram(pid_t pid) {
  int raw = 0;
  while (waitpid(pid, &raw, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

bool MakeLosslessClip(const std::vector<Image>& frames, const std::string& folder,
                      const std::string& clip) {
  for (size_t i = 0; i < frames.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/src_%03zu.ppm", i);
    WritePpm(folder + name, frames[i]);
  }
  const ProgramResult result =
      RunProgram({"ffmpeg", "-nostdin", "-v", "error", "-framerate", "10", "-i",
                  folder + "/src_%03d.ppm", "-c:v", "ffv1", "-pix_fmt", "bgr0", "-y", clip},
                 {});
  return result.status == 0;
}

}  // namespace run_test
