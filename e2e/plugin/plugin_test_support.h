// What the plug-in tests under Wine share: the Direct3D check (without a
// device the whole program reports itself skipped, once, with exit status
// 77), effects compiled from description text, the plug-in placed in a
// folder of its own and loaded by the test host, and pixel comparisons that
// report the caller's line.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/host/host.h"
#include "tools/host/plugin_folder.h"

namespace plugin_e2e {

using texloom_host::Host;
using texloom_host::HostOptions;
using texloom_host::HostPixel;
using texloom_host::PatternClip;
using texloom_host::PixelFunction;
using texloom_host::RecordedMessage;

// Exits the program with one SKIPPED line (status 77) when no Direct3D 9
// device or no D3DX can be had here.
void RequireDirect3D(const char* program);

// Whether the device supports the format as the plug-in's probe asks: as a
// render-target, a dynamic and a plain texture.
bool DeviceSupportsFrameFormat(unsigned d3d_format);
unsigned DevicePixelShaderVersion();
// Whether a reference-rasteriser device (D3DDEVTYPE_REF) can be made here.
bool ReferenceDeviceAvailable();

// The module under test (TEXLOOM_PRODUCT_DLL_WINE).
std::wstring ProductModule();

// The compiled effect of a description; an error fails the calling test and
// yields nothing.
std::vector<uint8_t> CompileEffect(const std::string& description);

// Texts of the plug-in's message boxes, UTF-16 as it shows them.
constexpr uint32_t kStyleError = 0x1010;    // MB_ICONERROR | MB_SYSTEMMODAL
constexpr uint32_t kStyleWarning = 0x1030;  // MB_ICONWARNING | MB_SYSTEMMODAL
extern const wchar_t* const kDiscoveryCaption;
extern const wchar_t* const kPreEffectFailed;
extern const wchar_t* const kErrorTitle;
extern const wchar_t* const kDefaultInformation;

// A plug-in placed in a fresh folder as <name>.auf with its effect beside it,
// loaded by a host (which made the first table request).
class LoadedPlugin {
 public:
  // extension: L".fxo" or L".fx"; empty effect bytes place no effect file.
  LoadedPlugin(const std::vector<uint8_t>& effect, HostOptions options = HostOptions(),
               const std::wstring& name = L"texloom", const std::wstring& extension = L".fxo");
  ~LoadedPlugin();

  bool loaded() const { return loaded_; }
  const std::string& error() const { return error_; }
  Host& host() { return *host_; }
  const texloom_host::FilterTableView& table() const { return host_->table(); }
  // Messages raised since the last call (or the load).
  std::vector<RecordedMessage> TakeMessages();

 private:
  texloom_host::PluginFolder folder_;
  std::unique_ptr<Host> host_;
  bool loaded_ = false;
  std::string error_;
};

// Loads the effect and initialises the plug-in; fails the calling test (and
// returns null) when either step fails or a message box was raised.
std::unique_ptr<LoadedPlugin> StartPlugin(const std::string& description,
                                          HostOptions options = HostOptions());
// An HLSL effect compiled on Linux by texloom-fxo before the run
// (tools/hlsl/compile_test_effects.sh) into $TEXLOOM_HLSL_EFFECTS or
// build/hlsl-effects; without it the program exits with one SKIPPED line
// (status 77).
std::vector<uint8_t> CompiledHlslEffect(const char* program, const std::string& name);
// That folder, as a Windows path.
std::string HlslEffectsFolder();

// The same from the bytes of a compiled effect (.fxo).
std::unique_ptr<LoadedPlugin> StartCompiledPlugin(const std::vector<uint8_t>& effect,
                                                  HostOptions options = HostOptions());

std::shared_ptr<PatternClip> MakeClip(int width, int height, int frames, PixelFunction pixel);

// Processes `frame` and compares the width × height output with
// expected(x, y) exactly; also checks that nothing outside the frame was
// written and that the host saw no broken service call.
void ExpectFrame(const char* file, int line, Host& host, int frame,
                 const std::function<HostPixel(int x, int y)>& expected);
#define EXPECT_FRAME(host, frame, ...) \
  ::plugin_e2e::ExpectFrame(__FILE__, __LINE__, host, frame, __VA_ARGS__)

// Compares one recorded message exactly.
void ExpectMessage(const char* file, int line, const RecordedMessage& message,
                   const std::wstring& text, const std::wstring& caption, uint32_t style);
#define EXPECT_MESSAGE(message, text, caption, style) \
  ::plugin_e2e::ExpectMessage(__FILE__, __LINE__, message, text, caption, style)

std::string Utf8(const std::wstring& text);
std::string Describe(const std::vector<RecordedMessage>& messages);
std::string PixelText(const HostPixel& pixel);

// Clamps to the range of a host component.
int16_t Saturate(long long value);

}  // namespace plugin_e2e
