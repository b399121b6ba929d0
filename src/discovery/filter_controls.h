// The filter's face read from annotations: version, title and information
// from "FilterVersion", the track bars and the check boxes. Each returns
// false only without an annotation source or when an allocation fails.
#pragma once

#include "discovery/discovery_state.h"

bool ReadVersionTitleInformation(EffectDiscoveryState& state, ID3DXBaseEffect* source);
bool ReadTrackControls(EffectDiscoveryState& state, ID3DXBaseEffect* source);
bool ReadCheckControls(EffectDiscoveryState& state, ID3DXBaseEffect* source);
