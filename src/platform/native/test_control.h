// Steering of the native Win32 stand-in, for tests only. The logic never
// includes this header: it sees nothing but the Windows API.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "d3d9.h"
#include "platform/processor.h"
#include "win32.h"

namespace native_platform {

struct MessageBoxRecord {
  HWND owner;
  std::wstring text;
  std::wstring caption;
  UINT style;
};

struct FakeLibrary {
  // Exported entry points by name.
  std::map<std::string, FARPROC> exports;
  // LoadLibraryExW fails for this file although it exists.
  bool load_fails = false;
};

struct LoadAttempt {
  std::wstring path;
  DWORD flags;
};

// Puts every setting back to its initial state: no files, no libraries, no
// recorded message boxes, no injected failures, default paths and version.
void ResetPlatform();

// Message boxes are recorded instead of shown.
const std::vector<MessageBoxRecord>& MessageBoxes();
void ClearMessageBoxes();

// Module path, system directory and the module's own file version.
void SetModulePath(const std::wstring& path);       // empty: GetModuleFileNameW fails
void SetSystemDirectory(const std::wstring& path);  // empty: GetSystemDirectoryW fails
void SetModuleFileVersion(DWORD most_significant, DWORD least_significant);
void RemoveModuleFileVersion();

// A small in-memory file system; paths are compared exactly.
void SetFile(const std::wstring& path, const std::vector<uint8_t>& contents);
void SetFile(const std::wstring& path, const std::string& contents);
void RemoveFile(const std::wstring& path);
// The file opens, but ReadFile fails (unreadable) or returns fewer bytes.
void SetFileReadFailure(const std::wstring& path, bool fail);
void SetFileShortRead(const std::wstring& path, bool short_read);
// Number of file handles opened and not closed.
int OpenFileHandles();

// Libraries served by LoadLibraryExW, registered by file path.
void RegisterLibrary(const std::wstring& path, const FakeLibrary& library);
const std::vector<LoadAttempt>& LoadAttempts();
// Number of loads not yet matched by FreeLibrary.
int LoadedLibraries();

// Makes the nth next call (1 = the very next) of the named Win32 stand-in
// function fail the way Windows reports failure for it. Covered:
// "CreateEventW", "_beginthreadex", "WaitForSingleObject", "GetFileSize",
// "GetModuleFileNameW", "GetFileVersionInfoSizeW", "GetFileVersionInfoW",
// "VerQueryValueW", "MultiByteToWideChar".
void FailWin32Call(const std::string& function, int nth);

// Thread priorities as last requested through SetThreadPriority; the posting
// thread's priority is per-thread state of the stand-in.
int RecordedThreadPriority(HANDLE thread);
int SetThreadPriorityCalls();

// Event and thread handles created and not yet closed.
int OpenKernelHandles();

// Direct3DCreate9 hands out what this factory returns; without a factory it
// aborts, because a test that reaches Direct3D must say which GPU it has.
void SetDirect3DFactory(std::function<IDirect3D9*(UINT sdk_version)> factory);
const std::vector<UINT>& Direct3DCreateCalls();

// CPUID (by leaf and subleaf; a leaf not given reads as unsupported), XCR0
// and IsProcessorFeaturePresent answer as given instead of as the real
// processor does, until UseRealProcessor.
void SteerProcessor(const std::map<std::pair<uint32_t, uint32_t>, CpuidResult>& cpuid,
                    uint64_t enabled_state, const std::map<DWORD, bool>& features);
void UseRealProcessor();

// The HWND GetDesktopWindow returns.
HWND DesktopWindow();

}  // namespace native_platform
