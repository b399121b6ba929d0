// Effect discovery: finds and loads D3DX, obtains the compiled effect from
// the ".fxo" or ".fx" file beside the module, and reads the filter's title,
// information text and controls into the discovery state.
#pragma once

#include <initializer_list>

#include "discovery/discovery_state.h"

// Loads the newest D3DX 9 library (versions 42 down to 38, the module's
// directory before the system directory) and takes its three entry points.
// Shows a message only when no library loads at all.
bool LoadD3DX(EffectDiscoveryState& state);

// Obtains the compiled effect for the module at module_path and reads the
// controls from it. What is read is committed only on success: false leaves
// the filter table's previous fields usable and the state matching them,
// and releases a new compiled effect that an earlier effect's controls
// would otherwise be bound to.
bool DiscoverEffect(EffectDiscoveryState& state, const wchar_t* module_path);

// Keeps a replaced text or array alive until FreeRetired is told that the
// filter table no longer points at it. Null is ignored.
void Retire(EffectDiscoveryState& state, void* block);
// Frees every retired block except those the filter table still uses.
void FreeRetired(EffectDiscoveryState& state, std::initializer_list<const void*> still_used);
