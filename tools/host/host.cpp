#include "tools/host/host.h"

#include <algorithm>
#include <cstring>

#include "tools/host/host_abi.h"

namespace texloom_host {

namespace {

Host* active_host = nullptr;

constexpr wchar_t kWindowClass[] = L"TexloomTestHost";

HWND MakeHostWindow() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = kWindowClass;
    registered = RegisterClassW(&window_class) != 0;
  }
  // Never shown: the plug-in uses it only as its device's focus window.
  return CreateWindowW(kWindowClass, L"Texloom test host", WS_OVERLAPPEDWINDOW, 0, 0, 320, 240,
                       nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

Host::Host(HostOptions options) : options_(options) {
  track_values_.reserve(64);
  check_values_.reserve(64);
  request_.assign(request_offset::kSize, 0);
  BuildServices();
  window_ = MakeHostWindow();
}

Host::~Host() {
  Unload();
  if (window_) DestroyWindow(window_);
  if (active_host == this) active_host = nullptr;
}

Host* Host::Active() { return active_host; }

void Host::BuildServices() {
  using namespace services_offset;
  services_.assign(kSize, 0);
  WritePointer(services_.data(), kFilterState, reinterpret_cast<void*>(&FilterStateService));
  WritePointer(services_.data(), kReadIntegerSetting,
               reinterpret_cast<void*>(&ReadIntegerSettingService));
  WritePointer(services_.data(), kReserveFrames, reinterpret_cast<void*>(&ReserveFramesService));
  WritePointer(services_.data(), kFetchFrame, reinterpret_cast<void*>(&FetchFrameService));
  if (options_.threads > 0) {
    runner_.reset(new ParallelRunner(options_.threads));
    WritePointer(services_.data(), kParallelRun, reinterpret_cast<void*>(&ParallelRunService));
  }
}

bool Host::Load(const std::wstring& module_path, std::string* error) {
  if (active_host && active_host != this) {
    *error = "another host is active in this process";
    return false;
  }
  Unload();
  active_host = this;
  if (!module_.Load(module_path, error)) return false;
  if (!RequestTable(error)) return false;
  track_values_.clear();
  for (const TrackControl& track : table_.tracks) track_values_.push_back(track.default_value);
  check_values_.clear();
  for (const CheckControl& check : table_.checks) check_values_.push_back(check.default_value);
  PublishHostFields();
  return true;
}

bool Host::RequestTable(std::string* error) {
  if (!module_.RequestTable(&table_, error)) return false;
  PublishHostFields();
  PumpMessages();
  return true;
}

void Host::PublishHostFields() {
  if (!module_.table()) return;
  module_.WriteTablePointer(table_offset::kTrackValues, track_values_.data());
  module_.WriteTablePointer(table_offset::kCheckValues, check_values_.data());
  module_.WriteTablePointer(table_offset::kServices, services_.data());
  module_.WriteTablePointer(table_offset::kWindow, window_);
}

void Host::Unload() {
  if (initialised_) Exit();
  module_.Unload();
  table_ = FilterTableView();
}

void Host::SetTrack(size_t index, int32_t value) {
  if (index < track_values_.size()) track_values_[index] = value;
}

void Host::SetCheck(size_t index, int32_t value) {
  if (index < check_values_.size()) check_values_[index] = value;
}

int Host::Init() {
  int result = module_.CallInit();
  initialised_ = result != 0;
  PumpMessages();
  return result;
}

int Host::Exit() {
  initialised_ = false;
  int result = module_.CallExit();
  PumpMessages();
  return result;
}

int Host::Update() {
  int result = module_.CallUpdate(0);
  PumpMessages();
  return result;
}

int Host::WindowMessage(unsigned message, uintptr_t wparam, uintptr_t lparam) {
  int result = module_.CallWindowMessage(window_, message, wparam, lparam, &edit_record_);
  PumpMessages();
  return result;
}

void Host::SetClip(std::shared_ptr<Clip> clip, int max_width, int max_height) {
  frames_.SetClip(std::move(clip), max_width, max_height);
  if (output_.max_width() != max_width || output_.max_height() != max_height) {
    output_.Allocate(max_width, max_height);
  }
}

int Host::Process(int frame) {
  using namespace request_offset;
  Clip* clip = frames_.clip();
  output_.Reset();
  frames_.BeginCall();
  std::fill(request_.begin(), request_.end(), 0);
  void* request = request_.data();
  WritePointer(request, kOutput, output_.pixels());
  WriteU32(request, kWidth, static_cast<uint32_t>(clip ? clip->width() : 0));
  WriteU32(request, kHeight, static_cast<uint32_t>(clip ? clip->height() : 0));
  WriteU32(request, kMaxWidth, static_cast<uint32_t>(frames_.max_width()));
  WriteU32(request, kMaxHeight, static_cast<uint32_t>(frames_.max_height()));
  WriteU32(request, kFrame, static_cast<uint32_t>(frame));
  WriteU32(request, kFrameCount, static_cast<uint32_t>(clip ? clip->frame_count() : 0));
  WritePointer(request, kEditHandle, &edit_record_);
  int result = module_.CallProcess(request);
  PumpMessages();
  return result;
}

int Host::request_width() const { return ReadI32(request_.data(), request_offset::kWidth); }
int Host::request_height() const { return ReadI32(request_.data(), request_offset::kHeight); }

void Host::PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void Host::Violation(const std::string& what) { violations_.push_back(ServiceViolation{what}); }

// The services are entered from the plug-in's code, which may keep the stack
// aligned to 4 bytes only.
__attribute__((force_align_arg_pointer)) int __cdecl Host::FilterStateService(void* table) {
  Host* host = Active();
  if (!host) return 0;
  if (table != host->module_.table()) host->Violation("filter-state query with a foreign table");
  ++host->filter_state_queries_;
  return host->options_.filter_active;
}

__attribute__((force_align_arg_pointer)) int __cdecl Host::ReadIntegerSettingService(
    void* table, const char* key, int default_value) {
  Host* host = Active();
  if (!host) return default_value;
  if (table != host->module_.table()) host->Violation("setting read with a foreign table");
  std::string name = key ? key : "";
  host->settings_read_.push_back(name);
  if (name == "dev") return host->options_.dev;
  if (name == "disable_pp") return host->options_.disable_pp;
  return default_value;
}

__attribute__((force_align_arg_pointer)) int __cdecl Host::ReserveFramesService(
    void* table, int max_width, int max_height, int frame_count, int flags) {
  Host* host = Active();
  if (!host) return 0;
  if (table != host->module_.table()) host->Violation("frame reservation with a foreign table");
  host->reservations_.push_back(FrameReservation{max_width, max_height, frame_count, flags});
  return 1;
}

__attribute__((force_align_arg_pointer)) void* __cdecl Host::FetchFrameService(
    void* table, void* edit_handle, int frame, int* width, int* height) {
  Host* host = Active();
  if (!host) return nullptr;
  if (table != host->module_.table()) host->Violation("frame fetch with a foreign table");
  if (edit_handle != &host->edit_record_) host->Violation("frame fetch with a foreign edit handle");
  return const_cast<HostPixel*>(host->frames_.Fetch(frame, width, height));
}

__attribute__((force_align_arg_pointer)) int __cdecl Host::ParallelRunService(void* routine,
                                                                              void* first,
                                                                              void* second) {
  Host* host = Active();
  if (!host || !host->runner_ || !routine) return 0;
  host->runner_->Run(reinterpret_cast<uintptr_t>(routine), reinterpret_cast<uintptr_t>(first),
                     reinterpret_cast<uintptr_t>(second));
  return 1;
}

}  // namespace texloom_host
