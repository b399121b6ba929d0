// Loads texloom.auf the way the host does and calls its entry points with a
// stack aligned to 4 bytes only. Reads the filter table by the host's byte
// offsets and checks them against the plug-in's own record, and the table a
// plug-in without an effect file shows. Message boxes of the module are
// redirected, so none can block. Prints one line per check and a summary;
// exits non-zero when a check fails. Needs no Direct3D device.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "e2e/misaligned_call.h"
#include "host/host_interface.h"

namespace {

int passed = 0;
int failed = 0;
int message_boxes = 0;

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

uint32_t At(const void* table, size_t offset) {
  uint32_t value;
  std::memcpy(&value, static_cast<const uint8_t*>(table) + offset, 4);
  return value;
}

template <typename T>
uint32_t Bits(T value) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value));
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

int WINAPI CountMessageBox(HWND, LPCWSTR text, LPCWSTR, UINT) {
  ++message_boxes;
  std::printf("message box: %ls\n", text ? text : L"");
  return IDOK;
}

// Points the module's import of MessageBoxW at CountMessageBox.
bool RedirectMessageBoxes(HMODULE module) {
  auto* base = reinterpret_cast<uint8_t*>(module);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(
      base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
  for (; imports.VirtualAddress && entry->Name; ++entry) {
    if (_stricmp(reinterpret_cast<char*>(base + entry->Name), "user32.dll") != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + entry->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + entry->FirstThunk);
    for (; entry->OriginalFirstThunk && names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal)) continue;
      auto* name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<char*>(name->Name), "MessageBoxW") != 0) continue;
      DWORD protection = 0;
      if (!VirtualProtect(&slots->u1.Function, 4, PAGE_READWRITE, &protection)) return false;
      slots->u1.Function = Bits(&CountMessageBox);
      VirtualProtect(&slots->u1.Function, 4, protection, &protection);
      return true;
    }
  }
  return false;
}

// The table by the host's byte offsets against the plug-in's declared record.
void CheckLayout(const FilterTable* table) {
  Check(At(table, 0) == 0x08040000u && table->flags == 0x08040000, "flags 0x08040000 at 0");
  Check(At(table, 12) == Bits(table->title), "title at 12");
  Check(At(table, 16) == static_cast<uint32_t>(table->track_count), "track count at 16");
  Check(At(table, 20) == Bits(table->track_names) && At(table, 24) == Bits(table->track_defaults) &&
            At(table, 28) == Bits(table->track_minima) &&
            At(table, 32) == Bits(table->track_maxima),
        "track arrays at 20..32");
  Check(At(table, 36) == static_cast<uint32_t>(table->check_count) &&
            At(table, 40) == Bits(table->check_names) &&
            At(table, 44) == Bits(table->check_defaults),
        "checks at 36..44");
  Check(At(table, 48) == Bits(table->process) && At(table, 52) == Bits(table->init) &&
            At(table, 56) == Bits(table->exit) && At(table, 60) == Bits(table->update) &&
            At(table, 64) == Bits(table->window_message),
        "handlers at 48..64");
  Check(At(table, 84) == Bits(table->information), "information at 84");
  Check(sizeof(FilterTable) == 140, "the table is 140 bytes");
}

// Without an effect file beside it the plug-in keeps its defaults.
void CheckDefaults(const FilterTable* table) {
  const char* title = reinterpret_cast<const char*>(At(table, 12));
  const char* information = reinterpret_cast<const char*>(At(table, 84));
  Check(title && std::strcmp(title, "Texloom(\x83\x47\x83\x89\x81\x5b)") == 0,
        "title Texloom(エラー) in Shift-JIS");
  Check(information && std::strcmp(information, "texloom by Ostrel, ver1.0a") == 0,
        "default information text");
  Check(At(table, 16) == 0 && At(table, 36) == 0, "no tracks and no checks");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const wchar_t* path = argc > 1 ? argv[1] : L"texloom.auf";
  HMODULE module = LoadLibraryW(path);
  Check(module != nullptr, "module loads");
  if (!module) return 1;
  CheckFileVersion(path);
  Check(RedirectMessageBoxes(module), "the module's MessageBoxW import is redirected");

  void* get_table = reinterpret_cast<void*>(GetProcAddress(module, "GetFilterTable"));
  Check(get_table != nullptr, "GetFilterTable is exported undecorated");
  if (!get_table) return 1;

  for (int misalignment : {4, 8, 12}) {
    auto* table = reinterpret_cast<FilterTable*>(Call(get_table, {}, misalignment));
    Check(table != nullptr, "GetFilterTable returns the table");
    if (!table) return 1;
    CheckLayout(table);
    CheckDefaults(table);
    Check(table->process && table->init && table->exit && table->update && table->window_message,
          "all five handlers are set");
    Check(Call(reinterpret_cast<void*>(table->update), {reinterpret_cast<uintptr_t>(table), 0},
               misalignment) == 1,
          "update handler returns 1");
    for (UINT message : {519u, 1125u, 1133u}) {
      Check(Call(reinterpret_cast<void*>(table->window_message),
                 {0, message, 0, 0, 0, reinterpret_cast<uintptr_t>(table)}, misalignment) == 0,
            "window message without an engine returns 0");
    }
    Check(Call(reinterpret_cast<void*>(table->exit), {reinterpret_cast<uintptr_t>(table)},
               misalignment) == 1,
          "exit handler returns 1");
    FrameRequest request = {};
    Check(Call(reinterpret_cast<void*>(table->process),
               {reinterpret_cast<uintptr_t>(table), reinterpret_cast<uintptr_t>(&request)},
               misalignment) == 0,
          "process handler without an engine fails the frame");
  }
  Check(message_boxes == 0, "no message box");
  FreeLibrary(module);
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
