// The arguments of texloom-host.exe's run mode (run_mode.cpp describes the
// protocol), parsed from the UTF-16 command line.
#pragma once

#include <string>
#include <vector>

namespace texloom_host {

// A --track or --check setting: KEY is a control index or the control's name.
struct ControlSetting {
  std::wstring key;
  int value = 0;
};

struct RunArguments {
  std::wstring plugin;
  std::wstring input;
  std::wstring output;
  int width = 0, height = 0, frames = 0;
  int first = 0, last = 0;
  std::vector<ControlSetting> tracks;
  std::vector<ControlSetting> checks;
  int disable_pp = 0;
  int dev = 0;
  int threads = 4;
  // --dump-targets FOLDER --dump-frames N,N,...: every pass's render targets
  // of those frames, as raw files in FOLDER.
  std::wstring dump_folder;
  std::vector<int> dump_frames;
};

// Parses argv[first..argc-1] (the words after "run"). False with *error
// (UTF-8) on a missing, repeated, unknown or malformed argument.
bool ParseRunArguments(int argc, wchar_t** argv, int first, RunArguments* arguments,
                       std::string* error);

// A decimal 32-bit integer, optionally signed, with nothing after it.
bool ParseInteger(const std::wstring& text, int* value);

}  // namespace texloom_host
