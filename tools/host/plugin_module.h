// A plug-in module as a host holds it: loaded from a path, its
// GetFilterTable and handlers called with the caller-cleans-up convention
// through a stack aligned to 4 bytes only (rotating 4, 8 and 12 bytes past a
// 16-byte boundary, as a host built with another compiler may call), and the
// filter table's host-written fields set by byte offset.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "tools/host/filter_table_view.h"

namespace texloom_host {

class PluginModule {
 public:
  PluginModule() = default;
  ~PluginModule();
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  // LoadLibraryW, the import redirection of MessageBoxW, GetProcAddress of
  // GetFilterTable. No table request yet. False with *error.
  bool Load(const std::wstring& path, std::string* error);
  void Unload();
  bool loaded() const { return module_ != nullptr; }
  HMODULE handle() const { return module_; }

  // Calls GetFilterTable and reads the table it returns.
  bool RequestTable(FilterTableView* view, std::string* error);
  void* table() const { return table_; }

  void WriteTableField(size_t offset, uint32_t value);
  template <typename T>
  void WriteTablePointer(size_t offset, T* pointer) {
    WriteTableField(offset, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)));
  }

  // The handlers, at the addresses the table holds now.
  int CallInit();
  int CallExit();
  int CallUpdate(int status);
  int CallProcess(void* request);
  int CallWindowMessage(HWND window, unsigned message, uintptr_t wparam, uintptr_t lparam,
                        void* edit_handle);

  // Calls of GetFilterTable and the handlers so far.
  int calls() const { return calls_; }

 private:
  uintptr_t Call(uintptr_t function, const uintptr_t* args, int count);
  uintptr_t Handler(size_t offset) const;

  HMODULE module_ = nullptr;
  uintptr_t get_filter_table_ = 0;
  void* table_ = nullptr;
  int calls_ = 0;
};

}  // namespace texloom_host
