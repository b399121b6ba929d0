// The module's outward face: the filter table the host reads and the five
// handlers whose addresses it carries.
#pragma once

#include "host/host_interface.h"

extern "C" HOST_ENTRY FilterTable* __cdecl GetFilterTable(void);

HOST_ENTRY BOOL __cdecl ProcessHandler(FilterTable* table, FrameRequest* request);
HOST_ENTRY BOOL __cdecl InitHandler(FilterTable* table);
HOST_ENTRY BOOL __cdecl ExitHandler(FilterTable* table);
HOST_ENTRY BOOL __cdecl UpdateHandler(FilterTable* table, int status);
HOST_ENTRY BOOL __cdecl WindowMessageHandler(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam, void* edit_handle, FilterTable* table);

// Carries out what handlers entered during a frame deferred (see
// DeferredHandlerWork); true when that destroyed the engine.
bool FinishDeferredHandlerWork();

// The one filter table, returned by every table request.
extern FilterTable filter_table;

// Title and information text the table carries until an effect names itself.
extern const char kDefaultTitle[];
extern const char kDefaultInformation[];

// Flags of the filter table; bits 18 and 27, whose meaning is the host's.
constexpr int kFilterTableFlags = 0x08040000;

// Window messages the plug-in reacts to.
constexpr UINT kMessageInvalidateFrames = 519;    // WM_MBUTTONDOWN
constexpr UINT kMessageReleaseResources = 1125;   // WM_USER + 101
constexpr UINT kMessageReleaseIfInactive = 1133;  // WM_USER + 109
