// What a host reads from a plug-in's filter table, copied out by byte offset:
// the title and information bytes (Shift-JIS), the track and check controls
// and the handler addresses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace texloom_host {

struct TrackControl {
  std::string name;  // Shift-JIS bytes as the table holds them
  int32_t default_value = 0;
  int32_t minimum = 0;
  int32_t maximum = 0;
};

struct CheckControl {
  std::string name;
  int32_t default_value = 0;
};

struct FilterTableView {
  uintptr_t address = 0;
  uint32_t flags = 0;
  std::string title;        // Shift-JIS bytes; empty when the pointer is null
  std::string information;  // likewise
  bool has_title = false;
  bool has_information = false;
  std::vector<TrackControl> tracks;
  std::vector<CheckControl> checks;
  uintptr_t process = 0, init = 0, exit = 0, update = 0, window_message = 0;

  bool AllHandlersSet() const { return process && init && exit && update && window_message; }
};

// Reads the table at `table`. Counts above 64 or negative are refused (a
// table that says so is corrupt): false with *error set.
bool ReadFilterTable(const void* table, FilterTableView* view, std::string* error);

// The title the plug-in keeps when its effect cannot be used, in Shift-JIS.
std::string ErrorTitleShiftJis();

}  // namespace texloom_host
