// Reads the filter's title, information text, track bars and check boxes
// from the annotations of "FilterVersion", "Track%d" and "Check%d", and lays
// out the arrays the filter table points to.
#include "discovery/filter_controls.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "discovery/discovery_blocks.h"
#include "discovery/effect_discovery.h"

namespace {

// The host's tables hold at most 32 controls of each kind.
constexpr int kMaxControls = 32;
constexpr size_t kNameSlotBytes = kMaxControls * sizeof(char*);
// Room for ", v%d.%d" with two full-width integers and the terminator.
constexpr size_t kVersionSuffixBytes = 33;

char* CopyText(const char* text) {
  size_t size = std::strlen(text) + 1;
  char* copy = AllocateBlock<char>(size);
  if (copy) std::memcpy(copy, text, size);
  return copy;
}

// The host's ANSI code page is what the title is written in; CP_ACP decodes
// it where the C library's locale would not.
wchar_t* WidenText(const char* text) {
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0) return nullptr;
  wchar_t* wide = AllocateBlock<wchar_t>(static_cast<size_t>(length));
  if (!wide) return nullptr;
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, length) <= 0) {
    FreeBlock(wide);
    return nullptr;
  }
  wide[length - 1] = L'\0';
  return wide;
}

bool ReadString(ID3DXBaseEffect* source, D3DXHANDLE handle, const char** text) {
  const char* value = nullptr;
  if (!handle || FAILED(source->GetString(handle, &value)) || !value) return false;
  *text = value;
  return true;
}

void ReadInt(ID3DXBaseEffect* source, D3DXHANDLE handle, int32_t* field) {
  INT value = 0;
  if (handle && SUCCEEDED(source->GetInt(handle, &value))) *field = value;
}

// Lays the names out behind 32 pointer slots; slot i points at name i.
template <typename Descriptor>
void FillNamesBlock(char* block, const std::vector<Descriptor>& descriptors) {
  char** slots = reinterpret_cast<char**>(block);
  char* position = block + kNameSlotBytes;
  for (size_t i = 0; i < descriptors.size(); ++i) {
    slots[i] = position;
    size_t size = descriptors[i].name.size() + 1;
    std::memcpy(position, descriptors[i].name.c_str(), size);
    position += size;
  }
}

}  // namespace

bool ReadVersionTitleInformation(EffectDiscoveryState& state, ID3DXBaseEffect* source) {
  if (!source) return false;
  D3DXHANDLE parameter = source->GetParameterByName(nullptr, "FilterVersion");
  if (!parameter) return true;
  D3DXHANDLE name = source->GetAnnotationByName(parameter, "name");
  D3DXHANDLE information = source->GetAnnotationByName(parameter, "ex_info");
  // D3DX writes only what the value holds and nothing when the read fails,
  // so the rest keeps the previous version.
  static_assert(sizeof(INT) == sizeof(state.version[0]), "version elements are INTs");
  source->GetIntArray(parameter, reinterpret_cast<INT*>(state.version), 4);

  if (name) {
    Retire(state, state.title);
    state.title = nullptr;
    FreeBlockField(state.display_name);
    const char* text = nullptr;
    if (ReadString(source, name, &text)) {
      state.title = CopyText(text);
      state.display_name = WidenText(text);
    }
  }
  if (information) {
    Retire(state, state.information);
    state.information = nullptr;
    const char* text = nullptr;
    if (ReadString(source, information, &text)) {
      size_t length = std::strlen(text);
      char* copy = AllocateBlock<char>(length + kVersionSuffixBytes);
      if (copy) {
        std::memcpy(copy, text, length);
        std::snprintf(copy + length, kVersionSuffixBytes, ", v%d.%d",
                      static_cast<int>(state.version[0]), static_cast<int>(state.version[1]));
        state.information = copy;
      }
    }
  }
  return true;
}

bool ReadTrackControls(EffectDiscoveryState& state, ID3DXBaseEffect* source) {
  if (!source) return false;
  size_t name_bytes = kNameSlotBytes;
  try {
    state.track_descriptors.clear();
    for (int i = 0; i < kMaxControls; ++i) {
      char parameter_name[32];
      std::snprintf(parameter_name, sizeof(parameter_name), "Track%d", i);
      D3DXHANDLE parameter = source->GetParameterByName(nullptr, parameter_name);
      if (!parameter) break;
      D3DXHANDLE name = source->GetAnnotationByName(parameter, "name");
      D3DXHANDLE default_value = source->GetAnnotationByName(parameter, "def");
      D3DXHANDLE maximum = source->GetAnnotationByName(parameter, "max");
      D3DXHANDLE minimum = source->GetAnnotationByName(parameter, "min");
      D3DXHANDLE usage = source->GetAnnotationByName(parameter, "usage");
      TrackDescriptor descriptor;
      const char* text = nullptr;
      descriptor.name = ReadString(source, name, &text) ? text : parameter_name;
      name_bytes += descriptor.name.size() + 1;
      ReadInt(source, default_value, &descriptor.default_value);
      ReadInt(source, maximum, &descriptor.maximum);
      ReadInt(source, minimum, &descriptor.minimum);
      if (ReadString(source, usage, &text)) descriptor.usage = text;
      state.track_descriptors.push_back(std::move(descriptor));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (state.track_descriptors.empty()) return true;

  Retire(state, state.track_names_block);
  Retire(state, state.track_defaults);
  Retire(state, state.track_maxima);
  Retire(state, state.track_minima);
  size_t count = state.track_descriptors.size();
  state.track_names_block = AllocateBlock<char>(name_bytes);
  state.track_defaults = state.track_names_block ? AllocateBlock<int32_t>(count) : nullptr;
  state.track_maxima = state.track_defaults ? AllocateBlock<int32_t>(count) : nullptr;
  state.track_minima = state.track_maxima ? AllocateBlock<int32_t>(count) : nullptr;
  if (!state.track_minima) return false;

  FillNamesBlock(state.track_names_block, state.track_descriptors);
  for (size_t i = 0; i < count; ++i) {
    state.track_defaults[i] = state.track_descriptors[i].default_value;
    state.track_maxima[i] = state.track_descriptors[i].maximum;
    state.track_minima[i] = state.track_descriptors[i].minimum;
  }
  return true;
}

bool ReadCheckControls(EffectDiscoveryState& state, ID3DXBaseEffect* source) {
  if (!source) return false;
  size_t name_bytes = kNameSlotBytes;
  try {
    state.check_descriptors.clear();
    for (int i = 0; i < kMaxControls; ++i) {
      char parameter_name[32];
      std::snprintf(parameter_name, sizeof(parameter_name), "Check%d", i);
      D3DXHANDLE parameter = source->GetParameterByName(nullptr, parameter_name);
      if (!parameter) break;
      D3DXHANDLE name = source->GetAnnotationByName(parameter, "name");
      D3DXHANDLE default_value = source->GetAnnotationByName(parameter, "def");
      D3DXHANDLE usage = source->GetAnnotationByName(parameter, "usage");
      CheckDescriptor descriptor;
      const char* text = nullptr;
      descriptor.name = ReadString(source, name, &text) ? text : parameter_name;
      name_bytes += descriptor.name.size() + 1;
      BOOL checked = FALSE;
      if (default_value && SUCCEEDED(source->GetBool(default_value, &checked))) {
        descriptor.default_value = checked ? 1 : 0;
      }
      if (ReadString(source, usage, &text)) descriptor.usage = text;
      state.check_descriptors.push_back(std::move(descriptor));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (state.check_descriptors.empty()) return true;

  Retire(state, state.check_names_block);
  Retire(state, state.check_defaults);
  size_t count = state.check_descriptors.size();
  state.check_names_block = AllocateBlock<char>(name_bytes);
  state.check_defaults = state.check_names_block ? AllocateBlock<int32_t>(count) : nullptr;
  if (!state.check_defaults) return false;

  FillNamesBlock(state.check_names_block, state.check_descriptors);
  for (size_t i = 0; i < count; ++i) {
    state.check_defaults[i] = state.check_descriptors[i].default_value;
  }
  return true;
}
