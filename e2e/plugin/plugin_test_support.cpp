#include "e2e/plugin/plugin_test_support.h"

#include <d3d9.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "fx2/description.h"
#include "fx2/windows/d3dx_library.h"
#include "platform/com_ptr.h"
#include "tools/host/text_codec.h"

namespace plugin_e2e {

const wchar_t* const kDiscoveryCaption = L"エフェクトファイルのエラー";
const wchar_t* const kPreEffectFailed = L"エフェクト(pre)の作成に失敗しました";
const wchar_t* const kErrorTitle = L"Texloom(エラー)";
const wchar_t* const kDefaultInformation = L"texloom by Ostrel, ver1.0a";

namespace {

struct Direct3DState {
  ComPtr<IDirect3D9> d3d;
  D3DCAPS9 caps = {};
  D3DFORMAT display_format = D3DFMT_UNKNOWN;
  bool reference_device = false;
};

Direct3DState& State() {
  static Direct3DState state;
  return state;
}

// Why no device can be made here, or empty. The device is made the way the
// plug-in makes its own.
std::string MakeDevice() {
  Direct3DState& state = State();
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"TexloomPluginTestsProbe";
  RegisterClassW(&window_class);
  HWND window = CreateWindowW(window_class.lpszClassName, L"probe", WS_OVERLAPPEDWINDOW, 0, 0, 64,
                              64, nullptr, nullptr, window_class.hInstance, nullptr);
  if (!window) return "no window can be made";
  state.d3d = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
  if (!state.d3d) return "Direct3DCreate9 failed";
  D3DPRESENT_PARAMETERS present = {};
  present.Windowed = TRUE;
  present.SwapEffect = D3DSWAPEFFECT_DISCARD;
  ComPtr<IDirect3DDevice9> device;
  HRESULT hr = state.d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, 0x826, &present,
                                       device.put());
  if (FAILED(hr)) {
    char text[64];
    std::snprintf(text, sizeof(text), "CreateDevice failed (0x%08lx)",
                  static_cast<unsigned long>(hr));
    return text;
  }
  device->GetDeviceCaps(&state.caps);
  D3DDISPLAYMODE mode = {};
  device->GetDisplayMode(0, &mode);
  state.display_format = mode.Format;
  device.reset();
  state.reference_device = SUCCEEDED(state.d3d->CreateDevice(
      D3DADAPTER_DEFAULT, D3DDEVTYPE_REF, window, 0x826, &present, device.put()));
  device.reset();
  DestroyWindow(window);
  if (!fx2::LoadD3dx() || !fx2::LoadD3dx()->assemble_shader) {
    return "no D3DX 9 library (d3dx9_38 .. d3dx9_42) to assemble shaders";
  }
  return std::string();
}

}  // namespace

void RequireDirect3D(const char* program) {
  static bool checked = false;
  if (checked) return;
  checked = true;
  std::string why = MakeDevice();
  if (!why.empty()) {
    std::printf("SKIPPED: %s needs a Direct3D 9 device: %s\n", program, why.c_str());
    std::fflush(stdout);
    std::exit(77);
  }
}

bool DeviceSupportsFrameFormat(unsigned d3d_format) {
  Direct3DState& state = State();
  for (DWORD usage : {DWORD(D3DUSAGE_RENDERTARGET), DWORD(D3DUSAGE_DYNAMIC), DWORD(0)}) {
    if (FAILED(state.d3d->CheckDeviceFormat(state.caps.AdapterOrdinal, state.caps.DeviceType,
                                            state.display_format, usage, D3DRTYPE_TEXTURE,
                                            static_cast<D3DFORMAT>(d3d_format)))) {
      return false;
    }
  }
  return true;
}

unsigned DevicePixelShaderVersion() { return State().caps.PixelShaderVersion; }

bool ReferenceDeviceAvailable() { return State().reference_device; }

std::wstring ProductModule() { return texloom_host::Utf8ToWide(TEXLOOM_PRODUCT_DLL_WINE); }

std::vector<uint8_t> CompileEffect(const std::string& description) {
  fx2::Description parsed;
  std::string error;
  fx2::FileReader no_files = [](const std::string& path, const std::string&, std::string*,
                                std::string*, std::string* why) {
    *why = "the tests' descriptions include no files (" + path + ")";
    return false;
  };
  if (!fx2::ParseDescription(description, "test.fxd", no_files, &parsed, &error)) {
    ADD_FAILURE() << "description: " << error << "\n" << description;
    return {};
  }
  fx2::WriteOutput written = fx2::CompileDescription(parsed, fx2::AssemblePixelShader);
  if (!written) {
    ADD_FAILURE() << "description: " << written.error << "\n" << description;
    return {};
  }
  return written.bytes;
}

LoadedPlugin::LoadedPlugin(const std::vector<uint8_t>& effect, HostOptions options,
                           const std::wstring& name, const std::wstring& extension)
    : host_(new Host(options)) {
  texloom_host::MessageRecorder::Instance().Clear();
  std::wstring module = folder_.PlaceModule(ProductModule(), name);
  if (module.empty()) {
    error_ = "the module cannot be placed in a folder of its own";
    return;
  }
  if (!effect.empty() && !folder_.WriteFile(name, extension, effect)) {
    error_ = "the effect cannot be written";
    return;
  }
  loaded_ = host_->Load(module, &error_);
}

LoadedPlugin::~LoadedPlugin() {
  // The module goes before its folder.
  host_.reset();
}

std::vector<RecordedMessage> LoadedPlugin::TakeMessages() {
  return texloom_host::MessageRecorder::Instance().Take();
}

std::string HlslEffectsFolder() {
  const char* chosen = std::getenv("TEXLOOM_HLSL_EFFECTS");
  return chosen && *chosen ? std::string("Z:") + chosen : TEXLOOM_HLSL_EFFECTS_DEFAULT;
}

std::vector<uint8_t> CompiledHlslEffect(const char* program, const std::string& name) {
  const std::string path = HlslEffectsFolder() + "/" + name;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::printf("SKIPPED: %s needs %s, compiled by texloom-fxo "
                "(tools/hlsl/compile_test_effects.sh)\n",
                program, path.c_str());
    std::fflush(stdout);
    std::exit(77);
  }
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

std::unique_ptr<LoadedPlugin> StartPlugin(const std::string& description, HostOptions options) {
  std::vector<uint8_t> effect = CompileEffect(description);
  if (effect.empty()) return nullptr;
  return StartCompiledPlugin(effect, options);
}

std::unique_ptr<LoadedPlugin> StartCompiledPlugin(const std::vector<uint8_t>& effect,
                                                  HostOptions options) {
  std::unique_ptr<LoadedPlugin> plugin(new LoadedPlugin(effect, options));
  if (!plugin->loaded()) {
    ADD_FAILURE() << "the plug-in does not load: " << plugin->error();
    return nullptr;
  }
  if (plugin->table().title == texloom_host::ErrorTitleShiftJis()) {
    ADD_FAILURE() << "the effect was not accepted: " << Describe(plugin->TakeMessages());
    return nullptr;
  }
  if (plugin->host().Init() != 1) {
    ADD_FAILURE() << "init failed: " << Describe(plugin->TakeMessages());
    return nullptr;
  }
  std::vector<RecordedMessage> messages = plugin->TakeMessages();
  if (!messages.empty()) {
    ADD_FAILURE() << "messages at start: " << Describe(messages);
    return nullptr;
  }
  return plugin;
}

std::shared_ptr<PatternClip> MakeClip(int width, int height, int frames, PixelFunction pixel) {
  return std::make_shared<PatternClip>(width, height, frames, std::move(pixel));
}

void ExpectFrame(const char* file, int line, Host& host, int frame,
                 const std::function<HostPixel(int x, int y)>& expected) {
  ::testing::ScopedTrace trace(file, line, "frame " + std::to_string(frame));
  texloom_host::Clip* clip = host.frames().clip();
  ASSERT_NE(nullptr, clip);
  const int width = clip->width(), height = clip->height();
  int result = host.Process(frame);
  std::vector<RecordedMessage> messages = texloom_host::MessageRecorder::Instance().Take();
  EXPECT_TRUE(messages.empty()) << Describe(messages);
  ASSERT_EQ(1, result) << "the process handler failed";
  EXPECT_EQ(width, host.request_width());
  EXPECT_EQ(height, host.request_height());
  int mismatches = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      HostPixel want = expected(x, y);
      HostPixel got = host.output().At(x, y);
      if (got != want && ++mismatches <= 5) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << "): got " << PixelText(got) << ", expected "
                      << PixelText(want);
      }
    }
  }
  EXPECT_EQ(0, mismatches) << "pixels differ";
  EXPECT_EQ("", host.output().CheckOutside(width, height));
  for (const texloom_host::ServiceViolation& violation : host.violations()) {
    ADD_FAILURE() << "service call: " << violation.what;
  }
}

void ExpectMessage(const char* file, int line, const RecordedMessage& message,
                   const std::wstring& text, const std::wstring& caption, uint32_t style) {
  ::testing::ScopedTrace trace(file, line, "message box");
  EXPECT_EQ(Utf8(text), Utf8(message.text));
  EXPECT_EQ(Utf8(caption), Utf8(message.caption));
  EXPECT_EQ(style, message.style) << std::hex << "style 0x" << message.style;
  EXPECT_FALSE(message.had_owner) << "the box has an owner window";
}

std::string Utf8(const std::wstring& text) { return texloom_host::WideToUtf8(text); }

std::string Describe(const std::vector<RecordedMessage>& messages) {
  return texloom_host::MessageRecorder::Describe(messages);
}

std::string PixelText(const HostPixel& pixel) {
  return "(" + std::to_string(pixel.c0) + ", " + std::to_string(pixel.c1) + ", " +
         std::to_string(pixel.c2) + ")";
}

int16_t Saturate(long long value) {
  return static_cast<int16_t>(value < -32768 ? -32768 : value > 32767 ? 32767 : value);
}

}  // namespace plugin_e2e
