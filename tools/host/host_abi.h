// The records a host shares with a filter plug-in, as byte offsets into
// 32-bit little-endian memory: the filter table the plug-in returns, the
// services table and the frame request the host hands it. The host reads and
// writes them only through these offsets, never through the plug-in's own
// structure declarations, so a layout mistake on either side shows.
#pragma once

#include <cstdint>
#include <cstring>

namespace texloom_host {

// One image element of the host: three signed 16-bit components.
struct HostPixel {
  int16_t c0, c1, c2;
};
static_assert(sizeof(HostPixel) == 6, "host pixels are 6 bytes");

inline bool operator==(const HostPixel& a, const HostPixel& b) {
  return a.c0 == b.c0 && a.c1 == b.c1 && a.c2 == b.c2;
}
inline bool operator!=(const HostPixel& a, const HostPixel& b) { return !(a == b); }

namespace table_offset {
constexpr size_t kFlags = 0;
constexpr size_t kTitle = 12;
constexpr size_t kTrackCount = 16;
constexpr size_t kTrackNames = 20;
constexpr size_t kTrackDefaults = 24;
constexpr size_t kTrackMinima = 28;
constexpr size_t kTrackMaxima = 32;
constexpr size_t kCheckCount = 36;
constexpr size_t kCheckNames = 40;
constexpr size_t kCheckDefaults = 44;
constexpr size_t kProcess = 48;
constexpr size_t kInit = 52;
constexpr size_t kExit = 56;
constexpr size_t kUpdate = 60;
constexpr size_t kWindowMessage = 64;
constexpr size_t kTrackValues = 68;
constexpr size_t kCheckValues = 72;
constexpr size_t kInformation = 84;
constexpr size_t kServices = 96;
constexpr size_t kWindow = 100;
constexpr size_t kSize = 140;
}  // namespace table_offset

namespace services_offset {
constexpr size_t kFilterState = 100;
constexpr size_t kReadIntegerSetting = 136;
constexpr size_t kReserveFrames = 176;
constexpr size_t kFetchFrame = 200;
constexpr size_t kParallelRun = 204;
// The host's table has more slots than the plug-in uses; the unused ones
// stay null so that a call through one of them faults at once.
constexpr size_t kSize = 320;
}  // namespace services_offset

namespace request_offset {
constexpr size_t kFlags = 0;
constexpr size_t kOutput = 4;
constexpr size_t kWidth = 12;
constexpr size_t kHeight = 16;
constexpr size_t kMaxWidth = 20;
constexpr size_t kMaxHeight = 24;
constexpr size_t kFrame = 28;
constexpr size_t kFrameCount = 32;
constexpr size_t kEditHandle = 60;
constexpr size_t kSize = 128;
}  // namespace request_offset

inline uint32_t ReadU32(const void* base, size_t offset) {
  uint32_t value;
  std::memcpy(&value, static_cast<const uint8_t*>(base) + offset, 4);
  return value;
}

inline int32_t ReadI32(const void* base, size_t offset) {
  return static_cast<int32_t>(ReadU32(base, offset));
}

inline void WriteU32(void* base, size_t offset, uint32_t value) {
  std::memcpy(static_cast<uint8_t*>(base) + offset, &value, 4);
}

inline uintptr_t ReadPointer(const void* base, size_t offset) {
  static_assert(sizeof(uintptr_t) == 4, "the host interface is 32-bit");
  return ReadU32(base, offset);
}

template <typename T>
void WritePointer(void* base, size_t offset, T* pointer) {
  WriteU32(base, offset, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)));
}

// Window messages the plug-in handles.
constexpr unsigned kMessageMiddleButtonDown = 519;
constexpr unsigned kMessageReleaseResources = 1125;
constexpr unsigned kMessageReleaseIfInactive = 1133;

}  // namespace texloom_host
