// Shared set-up of the discovery tests: a clean discovery state, the fake
// D3DX library beside the module, and a minimal Direct3D for the temporary
// device that reading a precompiled effect needs.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/discovery_messages.h"
#include "discovery/effect_discovery.h"
#include "fakes/fake_d3dx.h"
#include "support/leak_checked_test.h"
#include "support/user_texts.h"

namespace discovery_test {

constexpr wchar_t kModuleDirectory[] = L"C:\\Host\\Plugins";
constexpr wchar_t kModulePath[] = L"C:\\Host\\Plugins\\texloom.auf";
constexpr wchar_t kPrecompiledPath[] = L"C:\\Host\\Plugins\\texloom.fxo";
constexpr wchar_t kSourcePath[] = L"C:\\Host\\Plugins\\texloom.fx";
constexpr wchar_t kSystemDirectory[] = L"C:\\Windows\\system32";

struct CreateDeviceCall {
  UINT adapter;
  D3DDEVTYPE device_type;
  HWND focus_window;
  DWORD behavior_flags;
  D3DPRESENT_PARAMETERS parameters;
};

// A device that nothing but the pre effect holds; every method is refused.
class PreDevice : public fakes::FakeComObject<IDirect3DDevice9> {
 public:
  HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDeviceCaps(D3DCAPS9*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDisplayMode(UINT, D3DDISPLAYMODE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateTexture(UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL,
                                          IDirect3DTexture9**, HANDLE*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT, DWORD, DWORD, D3DPOOL,
                                               IDirect3DVertexBuffer9**, HANDLE*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE UpdateTexture(IDirect3DBaseTexture9*, IDirect3DBaseTexture9*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetRenderTargetData(IDirect3DSurface9*, IDirect3DSurface9*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetRenderTarget(DWORD, IDirect3DSurface9*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetRenderTarget(DWORD, IDirect3DSurface9**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE BeginScene() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EndScene() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE, UINT, UINT) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateVertexDeclaration(const D3DVERTEXELEMENT9*,
                                                    IDirect3DVertexDeclaration9**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetVertexDeclaration(IDirect3DVertexDeclaration9*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetStreamSource(UINT, IDirect3DVertexBuffer9*, UINT, UINT) override {
    return E_NOTIMPL;
  }
};

// Direct3D object whose CreateDevice hands out a PreDevice and records the
// arguments; "IDirect3D9::CreateDevice" is its fail point.
class PreDirect3D : public fakes::FakeComObject<IDirect3D9> {
 public:
  explicit PreDirect3D(std::vector<CreateDeviceCall>* calls) : calls_(calls) {}
  UINT STDMETHODCALLTYPE GetAdapterCount() override { return 1; }
  HRESULT STDMETHODCALLTYPE CheckDeviceFormat(UINT, D3DDEVTYPE, D3DFORMAT, DWORD, D3DRESOURCETYPE,
                                              D3DFORMAT) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE device_type, HWND focus_window,
                                         DWORD behavior_flags, D3DPRESENT_PARAMETERS* parameters,
                                         IDirect3DDevice9** device) override {
    calls_->push_back({adapter, device_type, focus_window, behavior_flags,
                       parameters ? *parameters : D3DPRESENT_PARAMETERS{}});
    FAKE_FAIL_POINT("IDirect3D9::CreateDevice");
    if (!device || !parameters) return D3DERR_INVALIDCALL;
    *device = new PreDevice;
    return D3D_OK;
  }

 private:
  std::vector<CreateDeviceCall>* calls_;
};

class DiscoveryTest : public support::LeakCheckedTest {
 protected:
  void SetUp() override {
    support::LeakCheckedTest::SetUp();
    fakes::ResetFakeD3DX();
    native_platform::SetDirect3DFactory([this](UINT) -> IDirect3D9* {
      return direct3d_fails ? nullptr : new PreDirect3D(&device_calls);
    });
  }
  void TearDown() override {
    TearDownDiscoveryState(state);
    EXPECT_EQ(0, native_platform::LoadedLibraries()) << "D3DX left loaded";
    fakes::ResetFakeD3DX();
    support::LeakCheckedTest::TearDown();
  }

  // Puts the fake D3DX beside the module and loads it.
  void LoadFakeD3DX() {
    native_platform::RegisterLibrary(std::wstring(kModuleDirectory) + L"\\d3dx9_42.dll",
                                     fakes::D3DXLibrary());
    ASSERT_TRUE(LoadD3DX(state));
  }

  std::vector<std::wstring> MessageTexts() const {
    std::vector<std::wstring> texts;
    for (auto& box : native_platform::MessageBoxes()) texts.push_back(box.text);
    return texts;
  }

  // Every box must look like a discovery error.
  void ExpectDiscoveryStyle() const {
    for (auto& box : native_platform::MessageBoxes()) {
      EXPECT_EQ(nullptr, box.owner);
      EXPECT_EQ(std::wstring(user_text::kDiscoveryCaption), box.caption);
      EXPECT_EQ(0x1010u, box.style);
    }
  }

  EffectDiscoveryState state;
  std::vector<CreateDeviceCall> device_calls;
  bool direct3d_fails = false;
};

// An effect declaring a title, information text, two tracks and a check box.
fakes::EffectDescription SampleEffect(const std::string& title = "Blur");

}  // namespace discovery_test
