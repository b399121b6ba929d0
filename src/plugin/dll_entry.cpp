// Module entry: remembers the module handle, and tears the discovery state
// down when the module is unloaded.
#include "discovery/discovery_state.h"
#include "host/module_state.h"

namespace {

// Registered at module load; its destructor runs at module unload, after the
// exit handler has destroyed the engine.
struct DiscoveryTeardown {
  ~DiscoveryTeardown() { TearDownDiscoveryState(effect_discovery); }
} discovery_teardown;

}  // namespace

extern "C" HOST_ENTRY BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) module_handle = instance;
  return TRUE;
}
