// The target dump: a debugging aid for tools (texloom-host.exe run mode),
// never used by the editor. A tool asks, through the filter's own
// window-message handler, for every pass's render targets of the next frame
// to be copied to system memory, then takes them. The message is registered
// under kTargetDumpMessageName, so no message the editor sends can mean it.
//
//   message = RegisterWindowMessageW(kTargetDumpMessageName)
//   handler(window, message, kTargetDumpArm, 0, ...)        before the frame
//   handler(window, message, kTargetDumpTake, &result, ...) after it
//
// Arming drops the images of an earlier frame. The images stay valid until
// the next arm or the exit handler. Shared by the plug-in and the tools: plain
// 32-bit layout, no Windows types.
#pragma once

#include <cstdint>

constexpr const wchar_t* kTargetDumpMessageName = L"Texloom.TargetDump.1";
constexpr uint32_t kTargetDumpArm = 1;
constexpr uint32_t kTargetDumpTake = 2;

// One colour output of one pass, read back right after that pass.
struct TargetDumpImage {
  int32_t pass;    // the pass's index in its technique, from 0
  int32_t output;  // the colour output (COLOR0..3, "RenderTarget0".."RenderTarget3")
  int32_t slot;    // the render-target slot it wrote
  int32_t width;
  int32_t height;
  uint32_t format;  // the texture's D3DFORMAT
  int32_t status;   // 0, or the failing HRESULT (pixels is then null)
  char name[32];    // "TxRT<slot>" when the effect declares it, else "slot<slot>"
  // width × height pixels R, G, B, A; 0..1 mapped to 0..65535, clamped.
  const uint16_t* pixels;
};

struct TargetDumpResult {
  uint32_t size;   // sizeof(TargetDumpResult), set by the tool
  uint32_t count;  // images of the armed frame; 0 when no pass was drawn
  const TargetDumpImage* images;
};
