// Reads the filter's title, information text, track bars and check boxes
// from the annotations of "FilterVersion", "Track%d" and "Check%d", and lays
// out the arrays the filter table points to.
#include "discovery/filter_controls.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "discovery/discovery_blocks.h"

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
// it where the C library's locale would not. False only when the copy
// cannot be allocated; text that does not convert leaves *wide null.
bool WidenText(const char* text, wchar_t** wide) {
  *wide = nullptr;
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0) return true;
  wchar_t* copy = AllocateBlock<wchar_t>(static_cast<size_t>(length));
  if (!copy) return false;
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, copy, length) <= 0) {
    FreeBlock(copy);
    return true;
  }
  copy[length - 1] = L'\0';
  *wide = copy;
  return true;
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

bool ReadVersionTitleInformation(FilterFace& face, ID3DXBaseEffect* source) {
  if (!source) return false;
  D3DXHANDLE parameter = source->GetParameterByName(nullptr, "FilterVersion");
  if (!parameter) return true;
  D3DXHANDLE name = source->GetAnnotationByName(parameter, "name");
  D3DXHANDLE information = source->GetAnnotationByName(parameter, "ex_info");
  // D3DX writes only what the value holds and nothing when the read fails,
  // so the rest keeps the previous version.
  static_assert(sizeof(INT) == sizeof(face.version[0]), "version elements are INTs");
  source->GetIntArray(parameter, reinterpret_cast<INT*>(face.version), 4);

  if (name) {
    face.replaces_title = true;
    const char* text = nullptr;
    if (ReadString(source, name, &text)) {
      // A text that cannot be allocated fails the read like an array does,
      // so that the table never shows this effect's controls under the
      // previous effect's title.
      face.title = CopyText(text);
      if (!face.title || !WidenText(text, &face.display_name)) return false;
    }
  }
  if (information) {
    face.replaces_information = true;
    const char* text = nullptr;
    if (ReadString(source, information, &text)) {
      size_t length = std::strlen(text);
      char* copy = AllocateBlock<char>(length + kVersionSuffixBytes);
      if (!copy) return false;
      std::memcpy(copy, text, length);
      std::snprintf(copy + length, kVersionSuffixBytes, ", v%d.%d",
                    static_cast<int>(face.version[0]), static_cast<int>(face.version[1]));
      face.information = copy;
    }
  }
  return true;
}

bool ReadTrackControls(FilterFace& face, ID3DXBaseEffect* source) {
  if (!source) return false;
  size_t name_bytes = kNameSlotBytes;
  try {
    face.track_descriptors.clear();
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
      face.track_descriptors.push_back(std::move(descriptor));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (face.track_descriptors.empty()) return true;

  size_t count = face.track_descriptors.size();
  face.track_names_block = AllocateBlock<char>(name_bytes);
  face.track_defaults = AllocateBlock<int32_t>(count);
  face.track_maxima = AllocateBlock<int32_t>(count);
  face.track_minima = AllocateBlock<int32_t>(count);
  if (!face.track_names_block || !face.track_defaults || !face.track_maxima || !face.track_minima) {
    return false;
  }

  FillNamesBlock(face.track_names_block, face.track_descriptors);
  for (size_t i = 0; i < count; ++i) {
    face.track_defaults[i] = face.track_descriptors[i].default_value;
    face.track_maxima[i] = face.track_descriptors[i].maximum;
    face.track_minima[i] = face.track_descriptors[i].minimum;
  }
  return true;
}

bool ReadCheckControls(FilterFace& face, ID3DXBaseEffect* source) {
  if (!source) return false;
  size_t name_bytes = kNameSlotBytes;
  try {
    face.check_descriptors.clear();
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
      face.check_descriptors.push_back(std::move(descriptor));
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (face.check_descriptors.empty()) return true;

  size_t count = face.check_descriptors.size();
  face.check_names_block = AllocateBlock<char>(name_bytes);
  face.check_defaults = AllocateBlock<int32_t>(count);
  if (!face.check_names_block || !face.check_defaults) return false;

  FillNamesBlock(face.check_names_block, face.check_descriptors);
  for (size_t i = 0; i < count; ++i) {
    face.check_defaults[i] = face.check_descriptors[i].default_value;
  }
  return true;
}
