// Module entry: remembers the module handle, and tears the discovery state
// down when the module is unloaded.
#include "discovery/discovery_state.h"
#include "engine/engine.h"
#include "host/module_state.h"

extern "C" HOST_ENTRY BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) module_handle = instance;
  // Unloaded by FreeLibrary (reserved is null): the D3DX objects go, then
  // the library. At process exit (reserved set) the system may already have
  // detached D3DX, and everything goes with the process anyway. An engine
  // that outlived the exit handler still uses the library and cannot be
  // stopped here (its thread would wait for the loader lock), so then
  // nothing is released either.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr && engine == nullptr) {
    TearDownDiscoveryState(effect_discovery);
  }
  return TRUE;
}
