// The init, exit, update and window-message handlers.
#include <atomic>
#include <new>

#include "engine/engine.h"
#include "host/module_state.h"
#include "pipeline/target_dump.h"
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

void ReleaseFrameSizeResources() {
  if (deferred_work.frame_in_progress) {
    deferred_work.release_resources = true;
  } else {
    engine->ReleaseFrameSizeResources();
  }
  size_changed = 1;
}

// The target dump's registered message; registered messages are numbered
// from 0xC000, so any other message is told apart without registering.
bool IsTargetDumpMessage(UINT message) {
  static std::atomic<UINT> registered{0};
  if (message < 0xC000) return false;
  if (registered.load(std::memory_order_relaxed) == 0) {
    registered.store(RegisterWindowMessageW(kTargetDumpMessageName), std::memory_order_relaxed);
  }
  return message == registered.load(std::memory_order_relaxed);
}

// Arm or take (plugin/target_dump_abi.h); ignored while a frame is drawn.
void HandleTargetDump(WPARAM action, LPARAM argument) {
  if (deferred_work.frame_in_progress) return;
  // The worker writes the store while a job runs.
  if (engine) WaitForJob(engine->worker);
  if (action == kTargetDumpArm) {
    ArmTargetDump();
    return;
  }
  auto* result = reinterpret_cast<TargetDumpResult*>(argument);
  if (action == kTargetDumpTake && result && result->size == sizeof(TargetDumpResult)) {
    TakeTargetDump(result);
  }
}

}  // namespace

bool FinishDeferredHandlerWork() {
  DeferredHandlerWork work = deferred_work;
  deferred_work = DeferredHandlerWork();
  if (work.destroy_engine) {
    DestroyCurrentEngine();
    return true;
  }
  if (!engine) return false;
  if (work.invalidate_frames) engine->InvalidateFrameCache();
  if (work.release_resources) {
    engine->ReleaseFrameSizeResources();
    // The frame that just ended may have rebuilt and cleared the flag.
    size_changed = 1;
  }
  return false;
}

HOST_ENTRY BOOL __cdecl InitHandler(FilterTable* table) {
  // Not from inside a frame: the engine it would replace is in use.
  if (deferred_work.frame_in_progress) return 0;
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
  if (deferred_work.frame_in_progress) {
    // The frame still uses the engine (and may have a job on the worker):
    // it goes when that frame has ended, before the process handler returns.
    deferred_work.destroy_engine = true;
    return 1;
  }
  try {
    DestroyCurrentEngine();
    ReleaseTargetDump();
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
    if (IsTargetDumpMessage(message)) {
      HandleTargetDump(wparam, lparam);
      return 0;
    }
    switch (message) {
      case kMessageInvalidateFrames:
        if (engine && FilterIsActive(table)) {
          if (deferred_work.frame_in_progress) {
            deferred_work.invalidate_frames = true;
          } else {
            engine->InvalidateFrameCache();
          }
          return 1;
        }
        return 0;
      case kMessageReleaseResources:
        if (engine) ReleaseFrameSizeResources();
        return 0;
      case kMessageReleaseIfInactive:
        if (engine && !FilterIsActive(table)) ReleaseFrameSizeResources();
        return 0;
      default:
        return 0;
    }
  } catch (...) {
    return 0;
  }
}
