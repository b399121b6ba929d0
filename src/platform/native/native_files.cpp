// Stand-in for module, path, file and version functions, served from the
// in-memory state that tests set up.
#include <cstring>

#include "native_state.h"
#include "win32.h"

namespace native_platform {
namespace {

struct FileHandle {
  uint32_t magic = 0x46494C45;  // "FILE"
  std::wstring path;
  size_t position = 0;
};

struct LibraryHandle {
  uint32_t magic = 0x4C494252;  // "LIBR"
  std::wstring path;
  int references = 1;
};

std::map<HMODULE, LibraryHandle*>& Libraries() {
  static std::map<HMODULE, LibraryHandle*> libraries;
  return libraries;
}
std::map<HANDLE, FileHandle*>& Files() {
  static std::map<HANDLE, FileHandle*> files;
  return files;
}

struct VersionBlock {
  uint32_t magic = 0x56455253;  // "VERS"
  VS_FIXEDFILEINFO info;
};

DWORD CopyOut(const std::wstring& text, LPWSTR buffer, DWORD size) {
  if (size == 0) return 0;
  size_t n = text.size() < size ? text.size() : size - 1;
  std::wmemcpy(buffer, text.data(), n);
  buffer[n] = L'\0';
  return static_cast<DWORD>(n);
}

}  // namespace

bool CloseFileHandle(HANDLE handle) {
  auto& files = Files();
  auto it = files.find(handle);
  if (it == files.end()) return false;
  delete it->second;
  files.erase(it);
  return true;
}

void ResetFiles() {
  for (auto& entry : Files()) delete entry.second;
  Files().clear();
  for (auto& entry : Libraries()) delete entry.second;
  Libraries().clear();
}

int OpenFileHandles() { return static_cast<int>(Files().size()); }

int LoadedLibraries() {
  int count = 0;
  for (auto& entry : Libraries()) count += entry.second->references;
  return count;
}

}  // namespace native_platform

using namespace native_platform;

DWORD WINAPI GetModuleFileNameW(HMODULE, LPWSTR buffer, DWORD size) {
  auto& state = State();
  if (state.module_path.empty() || ShouldFail("GetModuleFileNameW")) {
    state.last_error = ERROR_MOD_NOT_FOUND;
    return 0;
  }
  // Like Windows: a path that does not fit is cut, and the full size returned.
  if (state.module_path.size() >= size) {
    CopyOut(state.module_path, buffer, size);
    return size;
  }
  return CopyOut(state.module_path, buffer, size);
}

UINT WINAPI GetSystemDirectoryW(LPWSTR buffer, UINT size) {
  auto& state = State();
  if (state.system_directory.empty()) return 0;
  if (state.system_directory.size() >= size) {
    return static_cast<UINT>(state.system_directory.size() + 1);
  }
  return CopyOut(state.system_directory, buffer, size);
}

DWORD WINAPI GetFileAttributesW(LPCWSTR path) {
  auto& state = State();
  if (!path) return INVALID_FILE_ATTRIBUTES;
  std::wstring key(path);
  if (state.files.count(key) || state.libraries.count(key)) return FILE_ATTRIBUTE_NORMAL;
  state.last_error = ERROR_FILE_NOT_FOUND;
  return INVALID_FILE_ATTRIBUTES;
}

HMODULE WINAPI LoadLibraryExW(LPCWSTR path, HANDLE, DWORD flags) {
  auto& state = State();
  if (!path) return nullptr;
  std::wstring key(path);
  state.load_attempts.push_back({key, flags});
  auto it = state.libraries.find(key);
  if (it == state.libraries.end() || it->second.load_fails) {
    state.last_error = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  for (auto& entry : Libraries()) {
    if (entry.second->path == key) {
      ++entry.second->references;
      return entry.first;
    }
  }
  auto* handle = new LibraryHandle;
  handle->path = key;
  HMODULE module = reinterpret_cast<HMODULE>(handle);
  Libraries()[module] = handle;
  return module;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  auto& libraries = Libraries();
  auto it = libraries.find(module);
  if (it == libraries.end() || !name) return nullptr;
  auto library = State().libraries.find(it->second->path);
  if (library == State().libraries.end()) return nullptr;
  auto entry = library->second.exports.find(name);
  return entry == library->second.exports.end() ? nullptr : entry->second;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  auto& libraries = Libraries();
  auto it = libraries.find(module);
  if (it == libraries.end()) return FALSE;
  if (--it->second->references == 0) {
    delete it->second;
    libraries.erase(it);
  }
  return TRUE;
}

HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD disposition, DWORD, HANDLE) {
  auto& state = State();
  if (!path || access != GENERIC_READ || disposition != OPEN_EXISTING) {
    if (path && disposition != OPEN_EXISTING) Unsupported("CreateFileW other than OPEN_EXISTING");
    return INVALID_HANDLE_VALUE;
  }
  if (!state.files.count(path)) {
    state.last_error = ERROR_FILE_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  auto* file = new FileHandle;
  file->path = path;
  Files()[file] = file;
  return file;
}

DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD high) {
  auto& files = Files();
  auto it = files.find(handle);
  if (it == files.end() || ShouldFail("GetFileSize")) return INVALID_FILE_SIZE;
  auto& file = State().files[it->second->path];
  if (high) *high = 0;
  return static_cast<DWORD>(file.contents.size());
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED) {
  auto& files = Files();
  auto it = files.find(handle);
  if (read) *read = 0;
  if (it == files.end()) return FALSE;
  auto& file = State().files[it->second->path];
  if (file.read_fails) return FALSE;
  size_t available = file.contents.size() - it->second->position;
  size_t count = size < available ? size : available;
  if (file.short_read && count > 0) count -= 1;
  if (count) std::memcpy(buffer, file.contents.data() + it->second->position, count);
  it->second->position += count;
  if (read) *read = static_cast<DWORD>(count);
  return TRUE;
}

DWORD WINAPI GetLastError() { return State().last_error; }

BOOL WINAPI PathRemoveFileSpecW(LPWSTR path) {
  if (!path) return FALSE;
  size_t length = std::wcslen(path);
  size_t slash = std::wstring::npos;
  for (size_t i = 0; i < length; ++i) {
    if (path[i] == L'\\') slash = i;
  }
  if (slash == std::wstring::npos) {
    // A bare file name loses everything; a bare drive stays.
    if (length == 2 && path[1] == L':') return FALSE;
    bool removed = length != 0;
    path[0] = L'\0';
    return removed;
  }
  // "C:\file" keeps its root backslash; "C:\dir\file" loses it.
  bool root = (slash == 2 && path[1] == L':') || slash == 0;
  size_t cut = root ? slash + 1 : slash;
  bool removed = cut < length;
  path[cut] = L'\0';
  return removed;
}

BOOL WINAPI PathRenameExtensionW(LPWSTR path, LPCWSTR extension) {
  if (!path || !extension) return FALSE;
  size_t length = std::wcslen(path);
  size_t dot = length;
  for (size_t i = length; i-- > 0;) {
    if (path[i] == L'\\' || path[i] == L' ') break;
    if (path[i] == L'.') {
      dot = i;
      break;
    }
  }
  size_t extension_length = std::wcslen(extension);
  // The buffer is MAX_PATH characters; Windows refuses a result that does not fit.
  if (dot + extension_length >= MAX_PATH) return FALSE;
  std::wmemcpy(path + dot, extension, extension_length + 1);
  return TRUE;
}

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR path, LPDWORD handle) {
  auto& state = State();
  if (handle) *handle = 0;
  if (!path || !state.has_version || state.module_path != path ||
      ShouldFail("GetFileVersionInfoSizeW")) {
    return 0;
  }
  return sizeof(VersionBlock);
}

BOOL WINAPI GetFileVersionInfoW(LPCWSTR path, DWORD, DWORD size, LPVOID data) {
  auto& state = State();
  if (!path || !data || size < sizeof(VersionBlock) || !state.has_version ||
      state.module_path != path || ShouldFail("GetFileVersionInfoW")) {
    return FALSE;
  }
  VersionBlock block;
  std::memset(&block.info, 0, sizeof(block.info));
  block.info.dwSignature = 0xFEEF04BD;
  block.info.dwStrucVersion = 0x00010000;
  block.info.dwFileVersionMS = state.version_ms;
  block.info.dwFileVersionLS = state.version_ls;
  block.info.dwProductVersionMS = state.version_ms;
  block.info.dwProductVersionLS = state.version_ls;
  std::memcpy(data, &block, sizeof(block));
  return TRUE;
}

BOOL WINAPI VerQueryValueW(LPCVOID block, LPCWSTR sub_block, LPVOID* buffer, UINT* length) {
  if (!block || !sub_block || !buffer || ShouldFail("VerQueryValueW")) return FALSE;
  auto* version = static_cast<const VersionBlock*>(block);
  if (version->magic != 0x56455253) Unsupported("VerQueryValueW on a foreign block");
  if (std::wcscmp(sub_block, L"\\") != 0) return FALSE;
  *buffer = const_cast<VS_FIXEDFILEINFO*>(&version->info);
  if (length) *length = sizeof(VS_FIXEDFILEINFO);
  return TRUE;
}
