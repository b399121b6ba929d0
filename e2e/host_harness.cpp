// Loads texloom.auf the way the host does and calls its entry points with a
// stack aligned to 4 bytes only. Prints one line per check and a summary;
// exits non-zero when a check fails.
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "e2e/misaligned_call.h"
#include "host/host_interface.h"

namespace {

int passed = 0;
int failed = 0;

void Check(bool ok, const char* what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  (ok ? passed : failed)++;
}

uintptr_t Call(const void* fn, std::initializer_list<uintptr_t> args, int misalignment) {
  uintptr_t values[6] = {};
  int count = 0;
  for (uintptr_t value : args) values[count++] = value;
  return CallMisaligned(fn, values, count, misalignment);
}

void CheckFileVersion(const wchar_t* path) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &handle);
  static char block[4096];
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  bool ok = size > 0 && size <= sizeof(block) && GetFileVersionInfoW(path, 0, size, block) &&
            VerQueryValueW(block, L"\\", reinterpret_cast<void**>(&info), &length) && info &&
            info->dwFileVersionMS == 0x00010000 && info->dwFileVersionLS == 0x0001000A;
  Check(ok, "file version 1.0.1.10");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const wchar_t* path = argc > 1 ? argv[1] : L"texloom.auf";
  HMODULE module = LoadLibraryW(path);
  Check(module != nullptr, "module loads");
  if (!module) return 1;
  CheckFileVersion(path);

  void* get_table = reinterpret_cast<void*>(GetProcAddress(module, "GetFilterTable"));
  Check(get_table != nullptr, "GetFilterTable is exported undecorated");
  if (!get_table) return 1;

  for (int misalignment : {4, 8, 12}) {
    auto* table = reinterpret_cast<FilterTable*>(Call(get_table, {}, misalignment));
    Check(table != nullptr, "GetFilterTable returns the table");
    if (!table) return 1;
    Check(table->flags == 0x08040000, "table flags");
    Check(table->process && table->init && table->exit && table->update && table->window_message,
          "all five handlers are set");
    Check(table->title != nullptr && std::strncmp(table->title, "Texloom", 7) == 0,
          "a title is listed");
    Check(Call(reinterpret_cast<void*>(table->update), {reinterpret_cast<uintptr_t>(table), 0},
               misalignment) == 1,
          "update handler returns 1");
    Check(Call(reinterpret_cast<void*>(table->window_message),
               {0, 1125, 0, 0, 0, reinterpret_cast<uintptr_t>(table)}, misalignment) == 0,
          "window message without an engine returns 0");
    Check(Call(reinterpret_cast<void*>(table->exit), {reinterpret_cast<uintptr_t>(table)},
               misalignment) == 1,
          "exit handler returns 1");
    FrameRequest request = {};
    Check(Call(reinterpret_cast<void*>(table->process),
               {reinterpret_cast<uintptr_t>(table), reinterpret_cast<uintptr_t>(&request)},
               misalignment) == 0,
          "process handler without an engine fails the frame");
  }
  FreeLibrary(module);
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
