// Outputs are written under temporary names beside their targets and moved
// into place only when every frame was filtered and encoded; on failure the
// temporaries go. The command's own scratch files live in a TempDir, which
// is always removed.
#pragma once

#include <string>

#include "run/run_options.h"

namespace texloom_run {

class StagedOutput {
 public:
  StagedOutput() = default;
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;
  StagedOutput(StagedOutput&& other) noexcept;
  // Not committed: discarded.
  ~StagedOutput();

  // Makes the temporary file, or folder for PNG frames, beside the target;
  // this is also the check that the target can be written.
  bool Prepare(const OutputTarget& target, std::string* error);

  const OutputTarget& target() const { return target_; }
  // What ffmpeg writes: a file, or a %d pattern inside the staging folder.
  const std::string& staging_name() const { return staging_name_; }

  // Renames the staged file(s) to the target name(s). *files: how many.
  bool Commit(std::string* error, int* files);
  void Discard();

 private:
  OutputTarget target_{OutputKind::video, ""};
  std::string final_folder_;    // PNG frames: where they go
  std::string staging_folder_;  // PNG frames: the temporary folder
  std::string staging_name_;
  bool created_final_folder_ = false;
  bool active_ = false;
};

class TempDir {
 public:
  TempDir() = default;
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() { Remove(); }

  // Under $TMPDIR (or /tmp).
  bool Create(const std::string& prefix, std::string* error);
  const std::string& path() const { return path_; }
  void Remove();

 private:
  std::string path_;
};

// rm -r, without following symbolic links.
void RemoveTree(const std::string& path);

// The folder part of a path ("." when it has none) and the rest.
std::string FolderOf(const std::string& path);
std::string BaseNameOf(const std::string& path);

// An absolute path for a relative one (against the working folder).
std::string AbsolutePath(const std::string& path);

}  // namespace texloom_run
