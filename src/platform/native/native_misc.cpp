// Stand-in for the user interface, text conversion, Direct3D creation and
// processor queries, plus the shared state and the test controls.
#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d3d9.h"
#include "native_state.h"
#include "win32.h"

namespace native_platform {

bool CloseFileHandle(HANDLE handle);
bool CloseKernelHandle(HANDLE handle);
void ResetFiles();

PlatformState& State() {
  static PlatformState state;
  return state;
}

bool ShouldFail(const char* function) {
  auto& failures = State().failures;
  auto it = failures.find(function);
  if (it == failures.end()) return false;
  if (--it->second > 0) return false;
  failures.erase(it);
  return true;
}

void Unsupported(const char* what) {
  std::fprintf(stderr, "native Win32 stand-in: unsupported: %s\n", what);
  std::abort();
}

namespace {
const wchar_t kDefaultModulePath[] = L"C:\\Host\\Plugins\\texloom.auf";
const wchar_t kDefaultSystemDirectory[] = L"C:\\Windows\\system32";
}  // namespace

void ResetPlatform() {
  ResetFiles();
  ResetHandles();
  auto& state = State();
  state.message_boxes.clear();
  state.module_path = kDefaultModulePath;
  state.system_directory = kDefaultSystemDirectory;
  state.has_version = true;
  state.version_ms = 0x00010000;
  state.version_ls = 0x0001000A;
  state.files.clear();
  state.libraries.clear();
  state.load_attempts.clear();
  state.failures.clear();
  state.d3d_factory = nullptr;
  state.d3d_calls.clear();
  state.last_error = 0;
  UseRealProcessor();
}

const std::vector<MessageBoxRecord>& MessageBoxes() { return State().message_boxes; }
void ClearMessageBoxes() { State().message_boxes.clear(); }
void SetModulePath(const std::wstring& path) { State().module_path = path; }
void SetSystemDirectory(const std::wstring& path) { State().system_directory = path; }
void SetModuleFileVersion(DWORD most_significant, DWORD least_significant) {
  State().has_version = true;
  State().version_ms = most_significant;
  State().version_ls = least_significant;
}
void RemoveModuleFileVersion() { State().has_version = false; }

void SetFile(const std::wstring& path, const std::vector<uint8_t>& contents) {
  State().files[path].contents = contents;
}
void SetFile(const std::wstring& path, const std::string& contents) {
  SetFile(path, std::vector<uint8_t>(contents.begin(), contents.end()));
}
void RemoveFile(const std::wstring& path) { State().files.erase(path); }
void SetFileReadFailure(const std::wstring& path, bool fail) {
  State().files[path].read_fails = fail;
}
void SetFileShortRead(const std::wstring& path, bool short_read) {
  State().files[path].short_read = short_read;
}

void RegisterLibrary(const std::wstring& path, const FakeLibrary& library) {
  State().libraries[path] = library;
}
const std::vector<LoadAttempt>& LoadAttempts() { return State().load_attempts; }

void FailWin32Call(const std::string& function, int nth) { State().failures[function] = nth; }

void SetDirect3DFactory(std::function<IDirect3D9*(UINT)> factory) {
  State().d3d_factory = std::move(factory);
}
const std::vector<UINT>& Direct3DCreateCalls() { return State().d3d_calls; }

HWND DesktopWindow() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10010)); }

}  // namespace native_platform

using namespace native_platform;

BOOL WINAPI CloseHandle(HANDLE handle) {
  if (CloseFileHandle(handle)) return TRUE;
  if (CloseKernelHandle(handle)) return TRUE;
  return FALSE;
}

int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  State().message_boxes.push_back({owner, text ? std::wstring(text) : std::wstring(),
                                   caption ? std::wstring(caption) : L"", style});
  return 1;  // IDOK
}

HWND WINAPI GetDesktopWindow() { return DesktopWindow(); }

// One number per name from 0xC000 up, as Windows numbers registered messages.
UINT WINAPI RegisterWindowMessageW(LPCWSTR name) {
  static std::vector<std::wstring> names;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return static_cast<UINT>(0xC000 + i);
  }
  names.push_back(name);
  return static_cast<UINT>(0xC000 + names.size() - 1);
}

// The ANSI code page of a Japanese Windows is CP932 (Shift-JIS).
int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR text, int bytes, LPWSTR wide,
                               int wide_chars) {
  if (code_page != CP_ACP || flags != 0) Unsupported("MultiByteToWideChar other than CP_ACP");
  if (!text || bytes == 0 || wide_chars < 0 || ShouldFail("MultiByteToWideChar")) return 0;
  size_t length = bytes < 0 ? std::strlen(text) + 1 : static_cast<size_t>(bytes);

  std::wstring converted;
  iconv_t cd = iconv_open("WCHAR_T", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) Unsupported("iconv CP932");
  char* in = const_cast<char*>(text);
  size_t in_left = length;
  while (in_left > 0) {
    wchar_t out_buffer[256];
    char* out = reinterpret_cast<char*>(out_buffer);
    size_t out_left = sizeof(out_buffer);
    size_t result = iconv(cd, &in, &in_left, &out, &out_left);
    converted.append(out_buffer, (sizeof(out_buffer) - out_left) / sizeof(wchar_t));
    if (result == static_cast<size_t>(-1) && errno != E2BIG) {
      // Windows puts the default character in place of a byte it cannot map.
      converted.push_back(L'\x30FB');
      ++in;
      --in_left;
    }
  }
  iconv_close(cd);

  if (wide_chars == 0) return static_cast<int>(converted.size());
  if (converted.size() > static_cast<size_t>(wide_chars)) return 0;  // insufficient buffer
  std::wmemcpy(wide, converted.data(), converted.size());
  return static_cast<int>(converted.size());
}

IDirect3D9* WINAPI Direct3DCreate9(UINT sdk_version) {
  auto& state = State();
  state.d3d_calls.push_back(sdk_version);
  if (!state.d3d_factory) Unsupported("Direct3DCreate9 without a fake GPU set by the test");
  return state.d3d_factory(sdk_version);
}
