// The records shared with the host: the filter table the host reads, the
// services table it offers and the per-call frame request. Every field is a
// 4-byte slot in the 32-bit product; the native build keeps the same layout
// in pointer-sized slots.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32_api.h"

struct FilterTable;
struct HostPixel;

constexpr size_t kHostSlot = sizeof(void*);
#define HOST_FIELD alignas(kHostSlot)

// Routine shape the parallel-run service calls: two integers the plug-in
// ignores, then the two arguments it was given.
typedef void(__cdecl* ParallelRoutine)(int thread_index, int thread_count, void* first,
                                       void* second);

typedef BOOL(__cdecl* FilterStateQuery)(FilterTable* table);
typedef int(__cdecl* IntegerSettingRead)(FilterTable* table, LPSTR key, int default_value);
typedef BOOL(__cdecl* FrameReservation)(FilterTable* table, int max_width, int max_height,
                                        int frame_count, int flags);
typedef HostPixel*(__cdecl* FrameFetch)(FilterTable* table, void* edit_handle, int frame,
                                        int* width, int* height);
typedef BOOL(__cdecl* ParallelRun)(ParallelRoutine routine, void* first, void* second);

struct HostServices {
  void* unused_0[25];
  HOST_FIELD FilterStateQuery is_filter_active;  // 100
  void* unused_1[8];
  HOST_FIELD IntegerSettingRead read_integer_setting;  // 136
  void* unused_2[9];
  HOST_FIELD FrameReservation reserve_frames;  // 176
  void* unused_3[5];
  HOST_FIELD FrameFetch fetch_frame;    // 200
  HOST_FIELD ParallelRun parallel_run;  // 204
  void* unused_4[20];
};

struct FrameRequest {
  HOST_FIELD int flags;               // 0
  HOST_FIELD HostPixel* output;       // 4
  HOST_FIELD HostPixel* scratch;      // 8
  HOST_FIELD int width;               // 12
  HOST_FIELD int height;              // 16
  HOST_FIELD int max_width;           // 20
  HOST_FIELD int max_height;          // 24
  HOST_FIELD int frame;               // 28
  HOST_FIELD int frame_count;         // 32
  HOST_FIELD int original_width;      // 36
  HOST_FIELD int original_height;     // 40
  HOST_FIELD void* audio;             // 44
  HOST_FIELD int audio_samples;       // 48
  HOST_FIELD int audio_channels;      // 52
  HOST_FIELD void* pixel_attributes;  // 56
  HOST_FIELD void* edit_handle;       // 60
};

typedef BOOL(__cdecl* ProcessHandlerFunction)(FilterTable* table, FrameRequest* request);
typedef BOOL(__cdecl* InitHandlerFunction)(FilterTable* table);
typedef BOOL(__cdecl* ExitHandlerFunction)(FilterTable* table);
typedef BOOL(__cdecl* UpdateHandlerFunction)(FilterTable* table, int status);
typedef BOOL(__cdecl* WindowMessageHandlerFunction)(HWND window, UINT message, WPARAM wparam,
                                                    LPARAM lparam, void* edit_handle,
                                                    FilterTable* table);

struct FilterTable {
  HOST_FIELD int flags;                                    // 0
  HOST_FIELD int reserved_4;                               // 4
  HOST_FIELD int reserved_8;                               // 8
  HOST_FIELD const char* title;                            // 12
  HOST_FIELD int track_count;                              // 16
  HOST_FIELD const char* const* track_names;               // 20
  HOST_FIELD const int32_t* track_defaults;                // 24
  HOST_FIELD const int32_t* track_minima;                  // 28
  HOST_FIELD const int32_t* track_maxima;                  // 32
  HOST_FIELD int check_count;                              // 36
  HOST_FIELD const char* const* check_names;               // 40
  HOST_FIELD const int32_t* check_defaults;                // 44
  HOST_FIELD ProcessHandlerFunction process;               // 48
  HOST_FIELD InitHandlerFunction init;                     // 52
  HOST_FIELD ExitHandlerFunction exit;                     // 56
  HOST_FIELD UpdateHandlerFunction update;                 // 60
  HOST_FIELD WindowMessageHandlerFunction window_message;  // 64
  HOST_FIELD int32_t* track_values;                        // 68
  HOST_FIELD int32_t* check_values;                        // 72
  HOST_FIELD void* reserved_76;                            // 76
  HOST_FIELD void* reserved_80;                            // 80
  HOST_FIELD const char* information;                      // 84
  HOST_FIELD void* reserved_88;                            // 88
  HOST_FIELD void* reserved_92;                            // 92
  HOST_FIELD HostServices* services;                       // 96
  HOST_FIELD HWND window;                                  // 100
  HOST_FIELD void* reserved_104[9];                        // 104 .. 139
};

// Offsets are fixed by the host's plug-in interface.
#define HOST_OFFSET(byte_offset) ((byte_offset) / 4 * kHostSlot)
static_assert(sizeof(FilterTable) == HOST_OFFSET(140), "filter table is 35 slots");
static_assert(offsetof(FilterTable, flags) == HOST_OFFSET(0), "flags");
static_assert(offsetof(FilterTable, reserved_4) == HOST_OFFSET(4), "reserved 4");
static_assert(offsetof(FilterTable, reserved_8) == HOST_OFFSET(8), "reserved 8");
static_assert(offsetof(FilterTable, title) == HOST_OFFSET(12), "title");
static_assert(offsetof(FilterTable, track_count) == HOST_OFFSET(16), "track_count");
static_assert(offsetof(FilterTable, track_names) == HOST_OFFSET(20), "track_names");
static_assert(offsetof(FilterTable, track_defaults) == HOST_OFFSET(24), "track_defaults");
static_assert(offsetof(FilterTable, track_minima) == HOST_OFFSET(28), "track_minima");
static_assert(offsetof(FilterTable, track_maxima) == HOST_OFFSET(32), "track_maxima");
static_assert(offsetof(FilterTable, check_count) == HOST_OFFSET(36), "check_count");
static_assert(offsetof(FilterTable, check_names) == HOST_OFFSET(40), "check_names");
static_assert(offsetof(FilterTable, check_defaults) == HOST_OFFSET(44), "check_defaults");
static_assert(offsetof(FilterTable, process) == HOST_OFFSET(48), "process");
static_assert(offsetof(FilterTable, init) == HOST_OFFSET(52), "init");
static_assert(offsetof(FilterTable, exit) == HOST_OFFSET(56), "exit");
static_assert(offsetof(FilterTable, update) == HOST_OFFSET(60), "update");
static_assert(offsetof(FilterTable, window_message) == HOST_OFFSET(64), "window_message");
static_assert(offsetof(FilterTable, track_values) == HOST_OFFSET(68), "track_values");
static_assert(offsetof(FilterTable, check_values) == HOST_OFFSET(72), "check_values");
static_assert(offsetof(FilterTable, reserved_76) == HOST_OFFSET(76), "reserved 76");
static_assert(offsetof(FilterTable, reserved_80) == HOST_OFFSET(80), "reserved 80");
static_assert(offsetof(FilterTable, information) == HOST_OFFSET(84), "information");
static_assert(offsetof(FilterTable, reserved_88) == HOST_OFFSET(88), "reserved 88");
static_assert(offsetof(FilterTable, reserved_92) == HOST_OFFSET(92), "reserved 92");
static_assert(offsetof(FilterTable, services) == HOST_OFFSET(96), "services");
static_assert(offsetof(FilterTable, window) == HOST_OFFSET(100), "window");
static_assert(offsetof(FilterTable, reserved_104) == HOST_OFFSET(104), "reserved 104..139");
static_assert(sizeof(HostServices) == HOST_OFFSET(288), "services table up to slot 71");
static_assert(offsetof(HostServices, is_filter_active) == HOST_OFFSET(100), "filter-state query");
static_assert(offsetof(HostServices, read_integer_setting) == HOST_OFFSET(136), "setting read");
static_assert(offsetof(HostServices, reserve_frames) == HOST_OFFSET(176), "frame reservation");
static_assert(offsetof(HostServices, fetch_frame) == HOST_OFFSET(200), "frame fetch");
static_assert(offsetof(HostServices, parallel_run) == HOST_OFFSET(204), "parallel run");
static_assert(offsetof(FrameRequest, flags) == HOST_OFFSET(0), "request flags");
static_assert(offsetof(FrameRequest, output) == HOST_OFFSET(4), "output");
static_assert(offsetof(FrameRequest, scratch) == HOST_OFFSET(8), "scratch");
static_assert(offsetof(FrameRequest, width) == HOST_OFFSET(12), "width");
static_assert(offsetof(FrameRequest, height) == HOST_OFFSET(16), "height");
static_assert(offsetof(FrameRequest, max_width) == HOST_OFFSET(20), "max_width");
static_assert(offsetof(FrameRequest, max_height) == HOST_OFFSET(24), "max_height");
static_assert(offsetof(FrameRequest, frame) == HOST_OFFSET(28), "frame");
static_assert(offsetof(FrameRequest, frame_count) == HOST_OFFSET(32), "frame_count");
static_assert(offsetof(FrameRequest, original_width) == HOST_OFFSET(36), "original_width");
static_assert(offsetof(FrameRequest, original_height) == HOST_OFFSET(40), "original_height");
static_assert(offsetof(FrameRequest, audio) == HOST_OFFSET(44), "audio");
static_assert(offsetof(FrameRequest, audio_samples) == HOST_OFFSET(48), "audio_samples");
static_assert(offsetof(FrameRequest, audio_channels) == HOST_OFFSET(52), "audio_channels");
static_assert(offsetof(FrameRequest, pixel_attributes) == HOST_OFFSET(56), "pixel_attributes");
static_assert(offsetof(FrameRequest, edit_handle) == HOST_OFFSET(60), "edit_handle");
static_assert(sizeof(FrameRequest) == HOST_OFFSET(64), "frame request up to edit_handle");
