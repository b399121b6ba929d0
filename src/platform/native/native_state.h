// State shared by the native stand-in's translation units.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "test_control.h"

namespace native_platform {

struct VirtualFile {
  std::vector<uint8_t> contents;
  bool read_fails = false;
  bool short_read = false;
};

struct PlatformState {
  std::mutex mutex;
  std::vector<MessageBoxRecord> message_boxes;
  std::wstring module_path;
  std::wstring system_directory;
  bool has_version = true;
  DWORD version_ms = 0;
  DWORD version_ls = 0;
  std::map<std::wstring, VirtualFile> files;
  std::map<std::wstring, FakeLibrary> libraries;
  std::vector<LoadAttempt> load_attempts;
  std::map<std::string, int> failures;  // function -> calls left before failing
  std::function<IDirect3D9*(UINT)> d3d_factory;
  std::vector<UINT> d3d_calls;
  DWORD last_error = 0;
};

PlatformState& State();

// True when this call of the named function is the one chosen to fail.
bool ShouldFail(const char* function);

// Prints the message and aborts: a stand-in that cannot honour a call says so.
[[noreturn]] void Unsupported(const char* what);

void ResetHandles();

}  // namespace native_platform
