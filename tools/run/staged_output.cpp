#include "run/staged_output.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace texloom_run {
namespace {

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string Reason() { return strerror(errno); }

}  // namespace

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return path;
    buffer.resize(buffer.size() * 2);
  }
  std::string folder = buffer.data();
  std::string rest = path;
  while (rest.compare(0, 2, "./") == 0) rest = rest.substr(2);
  return folder + (folder.back() == '/' ? "" : "/") + rest;
}

void RemoveTree(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return;
  if (S_ISDIR(info.st_mode)) {
    if (DIR* folder = opendir(path.c_str())) {
      std::vector<std::string> names;
      while (dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
      }
      closedir(folder);
      for (const std::string& name : names) RemoveTree(path + "/" + name);
    }
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

StagedOutput::StagedOutput(StagedOutput&& other) noexcept
    : target_(std::move(other.target_)),
      final_folder_(std::move(other.final_folder_)),
      staging_folder_(std::move(other.staging_folder_)),
      staging_name_(std::move(other.staging_name_)),
      created_final_folder_(other.created_final_folder_),
      active_(other.active_) {
  other.active_ = false;
}

StagedOutput::~StagedOutput() { Discard(); }

bool StagedOutput::Prepare(const OutputTarget& target, std::string* error) {
  target_ = target;
  const std::string& path = target.path;
  if (target.kind == OutputKind::video || target.kind == OutputKind::png_single) {
    const std::string folder = FolderOf(path);
    if (!IsFolder(folder)) {
      *error = "cannot write '" + path + "': the folder '" + folder + "' does not exist";
      return false;
    }
    // ffmpeg picks the container from the name's end, so the temporary
    // name keeps the target's name as its tail.
    const std::string tail = "-" + BaseNameOf(path);
    std::string name = folder + "/.texloom-run-XXXXXX" + tail;
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    const int fd = mkstemps(buffer.data(), static_cast<int>(tail.size()));
    if (fd < 0) {
      *error = "cannot write '" + path + "': " + Reason();
      return false;
    }
    // mkstemps makes the file private; the output gets the usual mode.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    staging_name_ = buffer.data();
    active_ = true;
    return true;
  }
  std::string pattern = "frame_%06d.png";
  if (target.kind == OutputKind::png_folder) {
    final_folder_ = path;
    if (!IsFolder(path)) {
      if (mkdir(path.c_str(), 0777) != 0) {
        *error = "cannot make the folder '" + path + "': " + Reason();
        return false;
      }
      created_final_folder_ = true;
    }
  } else {
    final_folder_ = FolderOf(path);
    pattern = BaseNameOf(path);
    if (!IsFolder(final_folder_)) {
      *error = "cannot write '" + path + "': the folder '" + final_folder_ + "' does not exist";
      return false;
    }
  }
  std::string name = final_folder_ + "/.texloom-run-XXXXXX";
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    *error = "cannot write into '" + final_folder_ + "': " + Reason();
    if (created_final_folder_) rmdir(final_folder_.c_str());
    created_final_folder_ = false;
    return false;
  }
  staging_folder_ = buffer.data();
  // ffmpeg reads the whole name as a pattern: a '%' of the folder is literal.
  staging_name_.clear();
  for (char c : staging_folder_) staging_name_ += c == '%' ? std::string("%%") : std::string(1, c);
  staging_name_ += "/" + pattern;
  active_ = true;
  return true;
}

bool StagedOutput::Commit(std::string* error, int* files) {
  *files = 0;
  if (!active_) {
    *error = "nothing was staged for '" + target_.path + "'";
    return false;
  }
  if (staging_folder_.empty()) {
    if (rename(staging_name_.c_str(), target_.path.c_str()) != 0) {
      *error = "cannot write '" + target_.path + "': " + Reason();
      return false;
    }
    *files = 1;
    active_ = false;
    return true;
  }
  std::vector<std::string> names;
  if (DIR* folder = opendir(staging_folder_.c_str())) {
    while (dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(folder);
  }
  for (const std::string& name : names) {
    const std::string to = final_folder_ + "/" + name;
    if (rename((staging_folder_ + "/" + name).c_str(), to.c_str()) != 0) {
      *error = "cannot write '" + to + "': " + Reason();
      return false;
    }
    ++*files;
  }
  rmdir(staging_folder_.c_str());
  active_ = false;
  return true;
}

void StagedOutput::Discard() {
  if (!active_) return;
  if (staging_folder_.empty()) {
    unlink(staging_name_.c_str());
  } else {
    RemoveTree(staging_folder_);
    if (created_final_folder_) rmdir(final_folder_.c_str());
  }
  active_ = false;
}

bool TempDir::Create(const std::string& prefix, std::string* error) {
  const char* root = std::getenv("TMPDIR");
  std::string name =
      std::string(root != nullptr && *root != '\0' ? root : "/tmp") + "/" + prefix + ".XXXXXX";
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    *error = "cannot make a temporary folder in " + FolderOf(name) + ": " + Reason();
    return false;
  }
  path_ = buffer.data();
  return true;
}

void TempDir::Remove() {
  if (path_.empty()) return;
  RemoveTree(path_);
  path_.clear();
}

}  // namespace texloom_run
