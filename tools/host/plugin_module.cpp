#include "tools/host/plugin_module.h"

#include "e2e/misaligned_call.h"
#include "tools/host/host_abi.h"
#include "tools/host/message_recorder.h"

namespace texloom_host {

PluginModule::~PluginModule() { Unload(); }

bool PluginModule::Load(const std::wstring& path, std::string* error) {
  Unload();
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module) {
    *error = "the module cannot be loaded (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  // Before any call into the module: its first table request may already
  // raise a message box.
  if (!MessageRecorder::Instance().Patch(module, error)) {
    FreeLibrary(module);
    return false;
  }
  uintptr_t entry = reinterpret_cast<uintptr_t>(GetProcAddress(module, "GetFilterTable"));
  if (!entry) {
    *error = "the module does not export GetFilterTable";
    FreeLibrary(module);
    return false;
  }
  module_ = module;
  get_filter_table_ = entry;
  return true;
}

void PluginModule::Unload() {
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
  get_filter_table_ = 0;
  table_ = nullptr;
}

uintptr_t PluginModule::Call(uintptr_t function, const uintptr_t* args, int count) {
  if (!function) return 0;
  const int misalignment = 4 * (1 + calls_ % 3);
  ++calls_;
  return CallMisaligned(reinterpret_cast<const void*>(function), args, count, misalignment);
}

bool PluginModule::RequestTable(FilterTableView* view, std::string* error) {
  if (!get_filter_table_) {
    *error = "no module loaded";
    return false;
  }
  table_ = reinterpret_cast<void*>(Call(get_filter_table_, nullptr, 0));
  if (!table_) {
    *error = "GetFilterTable returned null";
    return false;
  }
  return ReadFilterTable(table_, view, error);
}

void PluginModule::WriteTableField(size_t offset, uint32_t value) {
  if (table_) WriteU32(table_, offset, value);
}

uintptr_t PluginModule::Handler(size_t offset) const {
  return table_ ? ReadPointer(table_, offset) : 0;
}

int PluginModule::CallInit() {
  const uintptr_t args[] = {reinterpret_cast<uintptr_t>(table_)};
  return static_cast<int>(Call(Handler(table_offset::kInit), args, 1));
}

int PluginModule::CallExit() {
  const uintptr_t args[] = {reinterpret_cast<uintptr_t>(table_)};
  return static_cast<int>(Call(Handler(table_offset::kExit), args, 1));
}

int PluginModule::CallUpdate(int status) {
  const uintptr_t args[] = {reinterpret_cast<uintptr_t>(table_), static_cast<uintptr_t>(status)};
  return static_cast<int>(Call(Handler(table_offset::kUpdate), args, 2));
}

int PluginModule::CallProcess(void* request) {
  const uintptr_t args[] = {reinterpret_cast<uintptr_t>(table_),
                            reinterpret_cast<uintptr_t>(request)};
  return static_cast<int>(Call(Handler(table_offset::kProcess), args, 2));
}

int PluginModule::CallWindowMessage(HWND window, unsigned message, uintptr_t wparam,
                                    uintptr_t lparam, void* edit_handle) {
  const uintptr_t args[] = {reinterpret_cast<uintptr_t>(window),
                            message,
                            wparam,
                            lparam,
                            reinterpret_cast<uintptr_t>(edit_handle),
                            reinterpret_cast<uintptr_t>(table_)};
  return static_cast<int>(Call(Handler(table_offset::kWindowMessage), args, 6));
}

}  // namespace texloom_host
