#include "tools/host/filter_table_view.h"

#include <cstring>

#include "tools/host/host_abi.h"
#include "tools/host/text_codec.h"

namespace texloom_host {

namespace {

constexpr int32_t kMaxControls = 64;

std::string TextAt(uintptr_t address) {
  if (!address) return std::string();
  return std::string(reinterpret_cast<const char*>(address));
}

int32_t IntAt(uintptr_t array, int index) {
  return ReadI32(reinterpret_cast<const void*>(array), static_cast<size_t>(index) * 4);
}

std::string NameAt(uintptr_t names, int index) {
  return TextAt(ReadPointer(reinterpret_cast<const void*>(names), static_cast<size_t>(index) * 4));
}

}  // namespace

bool ReadFilterTable(const void* table, FilterTableView* view, std::string* error) {
  using namespace table_offset;
  *view = FilterTableView();
  if (!table) {
    *error = "no filter table";
    return false;
  }
  view->address = reinterpret_cast<uintptr_t>(table);
  view->flags = ReadU32(table, kFlags);
  uintptr_t title = ReadPointer(table, kTitle);
  uintptr_t information = ReadPointer(table, kInformation);
  view->has_title = title != 0;
  view->has_information = information != 0;
  view->title = TextAt(title);
  view->information = TextAt(information);
  view->process = ReadPointer(table, kProcess);
  view->init = ReadPointer(table, kInit);
  view->exit = ReadPointer(table, kExit);
  view->update = ReadPointer(table, kUpdate);
  view->window_message = ReadPointer(table, kWindowMessage);

  int32_t track_count = ReadI32(table, kTrackCount);
  int32_t check_count = ReadI32(table, kCheckCount);
  if (track_count < 0 || track_count > kMaxControls || check_count < 0 ||
      check_count > kMaxControls) {
    *error = "the filter table has " + std::to_string(track_count) + " tracks and " +
             std::to_string(check_count) + " checks";
    return false;
  }
  uintptr_t names = ReadPointer(table, kTrackNames);
  uintptr_t defaults = ReadPointer(table, kTrackDefaults);
  uintptr_t minima = ReadPointer(table, kTrackMinima);
  uintptr_t maxima = ReadPointer(table, kTrackMaxima);
  if (track_count > 0 && (!names || !defaults || !minima || !maxima)) {
    *error = "the filter table has tracks but a null track array";
    return false;
  }
  for (int i = 0; i < track_count; ++i) {
    TrackControl track;
    track.name = NameAt(names, i);
    track.default_value = IntAt(defaults, i);
    track.minimum = IntAt(minima, i);
    track.maximum = IntAt(maxima, i);
    view->tracks.push_back(track);
  }
  names = ReadPointer(table, kCheckNames);
  defaults = ReadPointer(table, kCheckDefaults);
  if (check_count > 0 && (!names || !defaults)) {
    *error = "the filter table has checks but a null check array";
    return false;
  }
  for (int i = 0; i < check_count; ++i) {
    CheckControl check;
    check.name = NameAt(names, i);
    check.default_value = IntAt(defaults, i);
    view->checks.push_back(check);
  }
  return true;
}

std::string ErrorTitleShiftJis() { return WideToShiftJis(L"Texloom(エラー)"); }

}  // namespace texloom_host
