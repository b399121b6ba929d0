// The init, exit, update and window-message handlers.
#include <new>

#include "engine/engine.h"
#include "host/module_state.h"
#include "plugin/plugin_handlers.h"

namespace {

int ReadSetting(FilterTable* table, const char* key) {
  HostServices* services = table ? table->services : nullptr;
  if (!services || !services->read_integer_setting) return 0;
  return services->read_integer_setting(table, const_cast<LPSTR>(key), 0);
}

bool FilterIsActive(FilterTable* table) {
  HostServices* services = table ? table->services : nullptr;
  return services && services->is_filter_active && services->is_filter_active(table) != 0;
}

void DestroyCurrentEngine() {
  Engine* doomed = engine;
  engine = nullptr;
  if (!doomed) return;
  doomed->DestroyEngine();
  delete doomed;
}

}  // namespace

HOST_ENTRY BOOL __cdecl InitHandler(FilterTable* table) {
  try {
    DestroyCurrentEngine();
    engine = new (std::nothrow) Engine;
    if (!engine) return 0;
    int adapter = ReadSetting(table, "dev");
    int disable_worker = ReadSetting(table, "disable_pp");
    if (engine->SetUpDevice(table, adapter, disable_worker == 0)) return 1;
  } catch (...) {
    // A list that could not grow: the init fails like any other.
  }
  DestroyCurrentEngine();
  return 0;
}

HOST_ENTRY BOOL __cdecl ExitHandler(FilterTable* table) {
  try {
    DestroyCurrentEngine();
  } catch (...) {
  }
  return 1;
}

HOST_ENTRY BOOL __cdecl UpdateHandler(FilterTable* table, int status) {
  parameters_changed = 1;
  return 1;
}

HOST_ENTRY BOOL __cdecl WindowMessageHandler(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam, void* edit_handle, FilterTable* table) {
  try {
    switch (message) {
      case kMessageInvalidateFrames:
        if (engine && FilterIsActive(table)) {
          engine->InvalidateFrameCache();
          return 1;
        }
        return 0;
      case kMessageReleaseResources:
        if (engine) {
          engine->ReleaseFrameSizeResources();
          size_changed = 1;
        }
        return 0;
      case kMessageReleaseIfInactive:
        if (engine && !FilterIsActive(table)) {
          engine->ReleaseFrameSizeResources();
          size_changed = 1;
        }
        return 0;
      default:
        return 0;
    }
  } catch (...) {
    return 0;
  }
}
