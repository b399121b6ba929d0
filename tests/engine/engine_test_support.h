// Fixture of the engine tests: a fake Direct3D installed as what
// Direct3DCreate9 returns, an engine with its own discovery record, and a
// teardown that destroys the engine before the leak check runs.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "fakes/fake_d3d9.h"
#include "host/host_interface.h"
#include "support/leak_checked_test.h"

namespace engine_test {

// The window handle the host writes into the filter table.
inline HWND HostWindow() { return reinterpret_cast<HWND>(static_cast<intptr_t>(0x4242)); }

class EngineTest : public support::LeakCheckedTest {
 protected:
  void SetUp() override {
    support::LeakCheckedTest::SetUp();
    d3d = fakes::MakeFake<fakes::FakeDirect3D>();
    // A typical device: every probed format usable.
    for (D3DFORMAT format : {D3DFMT_A16B16G16R16F, D3DFMT_A32B32G32R32F, D3DFMT_A16B16G16R16,
                             D3DFMT_Q16W16V16U16, D3DFMT_A2B10G10R10})
      d3d->SupportTextureFormat(format);
    fakes::InstallDirect3D(d3d.get());
    table = FilterTable{};
    table.window = HostWindow();
    subject.reset(new (std::nothrow) Engine);
    ASSERT_NE(nullptr, subject);
    subject->description = &description;
  }

  void TearDown() override {
    if (subject && !destroyed) subject->DestroyEngine();
    subject.reset();
    d3d.reset();
    description.compiled_effect.reset();
    description.effect_compiler.reset();
    support::LeakCheckedTest::TearDown();
  }

  // DestroyEngine deletes the worker's lock, so it runs once per engine.
  void Destroy() {
    subject->DestroyEngine();
    destroyed = true;
  }

  // Texts of the message boxes shown so far.
  static std::vector<std::wstring> Messages() {
    std::vector<std::wstring> texts;
    for (const auto& box : native_platform::MessageBoxes()) texts.push_back(box.text);
    return texts;
  }

  fakes::FakeDevice* Device() const {
    return static_cast<fakes::FakeDevice*>(subject->device.get());
  }

  ComPtr<fakes::FakeDirect3D> d3d;
  EffectDiscoveryState description;
  FilterTable table{};
  std::unique_ptr<Engine> subject;
  bool destroyed = false;
};

}  // namespace engine_test

#include "fakes/fake_d3dx.h"

namespace engine_test {

// A minimal effect the plan accepts: one technique with one pass.
inline fakes::EffectDescription MinimalEffect() {
  fakes::EffectDescription effect;
  effect.Technique("ProcessImage0").Pass();
  return effect;
}

// Gives the discovery record a compiled effect and the fake D3DXCreateEffect,
// so that the effect step of the device setup can succeed.
inline void ProvideCompiledEffect(EffectDiscoveryState& description,
                                  const fakes::EffectDescription& effect = MinimalEffect()) {
  description.compiled_effect =
      ComPtr<ID3DXBuffer>::Adopt(new fakes::FakeBuffer(fakes::CompiledBytes(effect)));
  description.create_effect = fakes::D3DXCreateEffect;
}

}  // namespace engine_test
