#include "discovery/filter_face.h"

#include <algorithm>
#include <utility>

#include "discovery/discovery_blocks.h"
#include "discovery/effect_discovery.h"

namespace {

template <typename T>
T* Take(T*& field) {
  return std::exchange(field, nullptr);
}

}  // namespace

FilterFace::FilterFace(const EffectDiscoveryState& previous) {
  std::copy(std::begin(previous.version), std::end(previous.version), version);
}

FilterFace::~FilterFace() {
  FreeBlock(title);
  FreeBlock(display_name);
  FreeBlock(information);
  FreeBlock(track_names_block);
  FreeBlock(track_defaults);
  FreeBlock(track_maxima);
  FreeBlock(track_minima);
  FreeBlock(check_names_block);
  FreeBlock(check_defaults);
}

void CommitFilterFace(EffectDiscoveryState& state, FilterFace& face) {
  std::copy(std::begin(face.version), std::end(face.version), state.version);
  if (face.replaces_title) {
    Retire(state, Take(state.title));
    // Only message captions use the display name, and no engine lives
    // during a table request.
    FreeBlock(Take(state.display_name));
    state.title = Take(face.title);
    state.display_name = Take(face.display_name);
  }
  if (face.replaces_information) {
    Retire(state, Take(state.information));
    state.information = Take(face.information);
  }
  // Swapping moves the lists without allocating.
  state.track_descriptors.swap(face.track_descriptors);
  if (!state.track_descriptors.empty()) {
    Retire(state, Take(state.track_names_block));
    Retire(state, Take(state.track_defaults));
    Retire(state, Take(state.track_maxima));
    Retire(state, Take(state.track_minima));
    state.track_names_block = Take(face.track_names_block);
    state.track_defaults = Take(face.track_defaults);
    state.track_maxima = Take(face.track_maxima);
    state.track_minima = Take(face.track_minima);
  }
  state.check_descriptors.swap(face.check_descriptors);
  if (!state.check_descriptors.empty()) {
    Retire(state, Take(state.check_names_block));
    Retire(state, Take(state.check_defaults));
    state.check_names_block = Take(face.check_names_block);
    state.check_defaults = Take(face.check_defaults);
  }
  state.holds_discovered_face = true;
}
