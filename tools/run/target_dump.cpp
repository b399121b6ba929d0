#include "run/target_dump.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "run/child_process.h"
#include "run/interruption.h"

namespace texloom_run {
namespace {

std::string FrameHead(long frame) {
  char head[32];
  std::snprintf(head, sizeof head, "frame_%06ld_", frame);
  return head;
}

// Every target file of a frame starts so.
std::string FramePrefix(long frame) { return FrameHead(frame) + "pass"; }

std::string ParentOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string TargetPngName(long frame, const std::string& name) {
  return FrameHead(frame) + name + ".png";
}

std::string TargetRawName(long frame, const std::string& name) {
  return FrameHead(frame) + name + ".rgba64";
}

bool PrepareDumpFolder(const std::string& folder, const std::vector<long>& frames,
                       Overwrite overwrite, std::string* error) {
  struct stat info;
  if (stat(folder.c_str(), &info) != 0) {
    const std::string parent = ParentOf(folder);
    if (stat(parent.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
      *error = "--dump-targets '" + folder + "': its folder '" + parent + "' does not exist";
      return false;
    }
    if (mkdir(folder.c_str(), 0777) != 0) {
      *error = "--dump-targets: cannot make '" + folder + "': " + strerror(errno);
      return false;
    }
    return true;
  }
  if (!S_ISDIR(info.st_mode)) {
    *error = "--dump-targets '" + folder + "' is a file, not a folder";
    return false;
  }
  std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(folder.c_str()), closedir);
  if (!listing) {
    *error = "--dump-targets: cannot read '" + folder + "': " + strerror(errno);
    return false;
  }
  if (overwrite == Overwrite::replace) return true;
  while (const dirent* entry = readdir(listing.get())) {
    const std::string name = entry->d_name;
    for (long frame : frames) {
      if (name.compare(0, FramePrefix(frame).size(), FramePrefix(frame)) == 0) {
        *error = "'" + folder + "/" + name + "' exists; -y replaces the targets of frame " +
                 std::to_string(frame);
        return false;
      }
    }
  }
  return true;
}

bool RawTargetToPng(const std::string& raw, int width, int height, const std::string& png,
                    std::string* error) {
  std::string out, err;
  int status = 0;
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  if (!RunAndCapture({"ffmpeg", "-nostdin", "-v", "error", "-f", "rawvideo", "-pix_fmt",
                      "rgba64le", "-s", size, "-i", raw, "-frames:v", "1", "-pix_fmt", "rgba64be",
                      "-update", "1", "-y", png},
                     &out, &err, &status, error)) {
    return false;
  }
  if (status != 0) {
    *error = "ffmpeg cannot write '" + png + "': " + err;
    return false;
  }
  return true;
}

int DumpFrameTargets(const RunOptions& options, const RunEnvironment& environment) {
  std::string error;
  if (!PrepareDumpFolder(options.dump_targets, options.frames, options.overwrite, &error)) {
    std::fprintf(environment.messages, "texloom-run: %s\n", error.c_str());
    return kExitBadInput;
  }
  for (long frame : options.frames) {
    RunOptions one = options;
    one.from = frame;
    one.to = frame;
    one.frames = {frame};
    one.overwrite = Overwrite::replace;  // checked above, for every frame
    const int status = RunTexloom(one, environment);
    if (status != kExitDone) return status;
    if (Interrupted()) return 128 + InterruptSignal();
  }
  return kExitDone;
}

}  // namespace texloom_run
