// A host's services table for tests: records what the plug-in asks and
// answers from test-set values.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "pipeline/conversion.h"
#include "host/host_interface.h"

namespace plugin_test {

struct FetchCall {
  int frame;
  bool wants_size;
};

struct ReservationCall {
  int max_width, max_height, frame_count, flags;
};

class FakeHost {
 public:
  FakeHost() {
    current_ = this;
    services_.is_filter_active = &IsFilterActive;
    services_.read_integer_setting = &ReadIntegerSetting;
    services_.reserve_frames = &ReserveFrames;
    services_.fetch_frame = &FetchFrame;
    services_.parallel_run = nullptr;
  }
  ~FakeHost() { current_ = nullptr; }
  HostServices* services() { return &services_; }

  // Answers.
  bool filter_active = true;
  std::map<std::string, int> settings;
  bool reservation_result = true;
  int frame_width = 64, frame_height = 48;
  bool fetch_fails = false;

  // Records.
  std::vector<std::pair<std::string, int>> setting_reads;  // key, default
  std::vector<ReservationCall> reservations;
  std::vector<FetchCall> fetches;

 private:
  static BOOL __cdecl IsFilterActive(FilterTable*) { return current_->filter_active ? 1 : 0; }
  static int __cdecl ReadIntegerSetting(FilterTable*, LPSTR key, int default_value) {
    current_->setting_reads.emplace_back(key, default_value);
    auto it = current_->settings.find(key);
    return it == current_->settings.end() ? default_value : it->second;
  }
  static BOOL __cdecl ReserveFrames(FilterTable*, int w, int h, int count, int flags) {
    current_->reservations.push_back({w, h, count, flags});
    return current_->reservation_result ? 1 : 0;
  }
  static HostPixel* __cdecl FetchFrame(FilterTable*, void*, int frame, int* width, int* height) {
    current_->fetches.push_back({frame, width != nullptr});
    if (current_->fetch_fails) return nullptr;
    if (width) *width = current_->frame_width;
    if (height) *height = current_->frame_height;
    static HostPixel pixel;
    return &pixel;
  }

  HostServices services_{};
  static inline FakeHost* current_ = nullptr;
};

}  // namespace plugin_test
