// The filter's face as one discovery reads it from the annotations: version,
// title, information text, track bars and check boxes with the arrays the
// filter table points to. It is held apart from the discovery state until
// every read has succeeded and then committed in one step, so that the
// state (and with it the table) never mixes the controls of two effects.
#pragma once

#include <cstdint>
#include <vector>

#include "discovery/discovery_state.h"

struct FilterFace {
  // Starts from the previous version, which a failed version read keeps.
  explicit FilterFace(const EffectDiscoveryState& previous);
  // Frees every text and array that was not committed.
  ~FilterFace();
  FilterFace(const FilterFace&) = delete;
  FilterFace& operator=(const FilterFace&) = delete;

  int32_t version[4];
  // "FilterVersion" has a "name" annotation: title and display name are
  // replaced (by null when the annotation does not read as a string).
  bool replaces_title = false;
  char* title = nullptr;
  wchar_t* display_name = nullptr;
  // Likewise for "ex_info".
  bool replaces_information = false;
  char* information = nullptr;
  // The arrays exist only when the descriptors are not empty; otherwise the
  // previous arrays stay and the table gets a count of 0.
  std::vector<TrackDescriptor> track_descriptors;
  char* track_names_block = nullptr;
  int32_t* track_defaults = nullptr;
  int32_t* track_maxima = nullptr;
  int32_t* track_minima = nullptr;
  std::vector<CheckDescriptor> check_descriptors;
  char* check_names_block = nullptr;
  int32_t* check_defaults = nullptr;
};

// Moves the face into the state; replaced texts and arrays are retired, as
// the filter table may still point at them. Cannot fail.
void CommitFilterFace(EffectDiscoveryState& state, FilterFace& face);
