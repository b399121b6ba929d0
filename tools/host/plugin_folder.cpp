#include "tools/host/plugin_folder.h"

#include <windows.h>

namespace texloom_host {

PluginFolder::PluginFolder() {
  wchar_t temp[MAX_PATH + 1] = {};
  DWORD length = GetTempPathW(MAX_PATH, temp);
  if (length == 0 || length > MAX_PATH) return;
  static LONG counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring candidate = std::wstring(temp) + L"texloom-host-" +
                             std::to_wstring(GetCurrentProcessId()) + L"-" +
                             std::to_wstring(InterlockedIncrement(&counter));
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
  }
}

PluginFolder::~PluginFolder() {
  if (path_.empty()) return;
  // Also what the plug-in or a child process wrote there.
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW((path_ + L"\\" + found.cFileName).c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path_.c_str());
}

std::wstring PluginFolder::PlaceModule(const std::wstring& module, const std::wstring& name) {
  if (path_.empty()) return std::wstring();
  std::wstring target = path_ + L"\\" + name + L".auf";
  if (!CopyFileW(module.c_str(), target.c_str(), FALSE)) return std::wstring();
  return target;
}

bool PluginFolder::WriteFile(const std::wstring& name, const std::wstring& extension,
                             const std::vector<uint8_t>& bytes) {
  if (path_.empty()) return false;
  std::wstring target = path_ + L"\\" + name + extension;
  HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = bytes.empty() ||
            (::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
             written == bytes.size());
  CloseHandle(file);
  return ok;
}

bool PluginFolder::WriteFile(const std::wstring& name, const std::wstring& extension,
                             const std::string& text) {
  return WriteFile(name, extension, std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace texloom_host
