// A host for one filter plug-in, played the way the editor plays it: loads
// the module, requests its filter table, offers the services table
// (filter-state query, integer-setting read, frame reservation, frame fetch,
// parallel run), gives it a window, and calls init, process, update, the
// window-message handler and exit. Records what the plug-in asked of it.
//
// One Host is active per process at a time: the services table's functions
// carry no context of their own besides the filter table, and the
// parallel-run service not even that.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/host/filter_table_view.h"
#include "tools/host/frame_server.h"
#include "tools/host/message_recorder.h"
#include "tools/host/output_image.h"
#include "tools/host/parallel_runner.h"
#include "tools/host/plugin_module.h"

namespace texloom_host {

struct HostOptions {
  int threads = 4;  // of the parallel-run service; 0 leaves its slot null
  int dev = 0;      // the "dev" setting
  int disable_pp = 0;
  int filter_active = 1;  // what the filter-state query answers
};

struct FrameReservation {
  int max_width = 0, max_height = 0, frame_count = 0, flags = 0;
};

// A call of a service that broke the interface (a foreign table or edit
// handle): the host notes it and the tests fail on it.
struct ServiceViolation {
  std::string what;
};

class Host {
 public:
  explicit Host(HostOptions options = HostOptions());
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Loads the module and makes the first table request; the host's track
  // and check values start at the table's defaults. False with *error.
  bool Load(const std::wstring& module_path, std::string* error);
  // Exit (when init succeeded) and unload.
  void Unload();
  // Another table request, as the editor may make.
  bool RequestTable(std::string* error);

  const FilterTableView& table() const { return table_; }
  PluginModule& module() { return module_; }
  HostOptions& options() { return options_; }

  void SetTrack(size_t index, int32_t value);
  void SetCheck(size_t index, int32_t value);
  int32_t track(size_t index) const { return track_values_[index]; }
  int32_t check(size_t index) const { return check_values_[index]; }

  int Init();
  int Exit();
  int Update();
  int WindowMessage(unsigned message, uintptr_t wparam = 0, uintptr_t lparam = 0);
  bool initialised() const { return initialised_; }

  // The clip the process calls read from; the output image gets max_width ×
  // max_height pixels. Frame count of the request = the clip's.
  void SetClip(std::shared_ptr<Clip> clip, int max_width, int max_height);
  FrameServer& frames() { return frames_; }
  // One process call for frame `frame`: the output image is reset to the
  // sentinel first. Returns the handler's result.
  int Process(int frame);
  const OutputImage& output() const { return output_; }
  // Width and height the request held after the call.
  int request_width() const;
  int request_height() const;

  const std::vector<FrameReservation>& reservations() const { return reservations_; }
  const std::vector<std::string>& settings_read() const { return settings_read_; }
  const std::vector<ServiceViolation>& violations() const { return violations_; }
  ParallelRunner* runner() const { return runner_.get(); }
  int filter_state_queries() const { return filter_state_queries_; }

  // Delivers pending window messages of the host's window, as the editor's
  // message loop would between calls.
  void PumpMessages();

 private:
  static Host* Active();
  static int __cdecl FilterStateService(void* table);
  static int __cdecl ReadIntegerSettingService(void* table, const char* key, int default_value);
  static int __cdecl ReserveFramesService(void* table, int max_width, int max_height,
                                          int frame_count, int flags);
  static void* __cdecl FetchFrameService(void* table, void* edit_handle, int frame, int* width,
                                         int* height);
  static int __cdecl ParallelRunService(void* routine, void* first, void* second);

  void Violation(const std::string& what);
  void BuildServices();
  void PublishHostFields();

  HostOptions options_;
  PluginModule module_;
  FilterTableView table_;
  HWND window_ = nullptr;
  std::vector<uint8_t> services_;
  std::vector<uint8_t> request_;
  std::vector<int32_t> track_values_;
  std::vector<int32_t> check_values_;
  std::unique_ptr<ParallelRunner> runner_;
  FrameServer frames_;
  OutputImage output_;
  bool initialised_ = false;
  int edit_record_ = 0;  // its address is the opaque edit handle
  std::vector<FrameReservation> reservations_;
  std::vector<std::string> settings_read_;
  std::vector<ServiceViolation> violations_;
  int filter_state_queries_ = 0;
};

}  // namespace texloom_host
