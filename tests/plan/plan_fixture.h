// Fixture of the plan tests that run against the fake device and effect: an
// engine whose description is a test-owned discovery state.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "fakes/fake_d3d9.h"
#include "fakes/fake_d3dx.h"
#include "support/leak_checked_test.h"

namespace plan_test {

class PlanFixture : public support::LeakCheckedTest {
 protected:
  void SetUp() override {
    support::LeakCheckedTest::SetUp();
    fakes::ResetFakeD3DX();
    device_ = fakes::MakeFake<fakes::FakeDevice>();
    engine_.reset(new Engine);
    engine_->description = &state_;
    engine_->device = device_;
  }

  void TearDown() override {
    // The worker is never started here, so only its lock needs undoing.
    DeleteCriticalSection(&engine_->worker.lock);
    engine_.reset();
    state_.compiled_effect.reset();
    device_.reset();
    fakes::ResetFakeD3DX();
    support::LeakCheckedTest::TearDown();
  }

  Engine& engine() { return *engine_; }
  EffectDiscoveryState& state() { return state_; }
  fakes::FakeDevice* device() { return device_.get(); }

  // The effect instance as CreateEffectAndPlan would make it, without going
  // through D3DXCreateEffect.
  fakes::FakeEffect* UseEffect(const fakes::EffectDescription& description) {
    auto effect = fakes::MakeFake<fakes::FakeEffect>(device_.get(), description.model());
    fakes::FakeEffect* raw = effect.get();
    engine_->effect = effect;
    engine_->tx_tmp_param = raw->GetParameterByName(nullptr, "TxTmp");
    return raw;
  }

  // The compiled effect and the entry point that the discovery would leave.
  void Discover(const fakes::EffectDescription& description) {
    state_.compiled_effect =
        ComPtr<ID3DXBuffer>::Adopt(new fakes::FakeBuffer(fakes::CompiledBytes(description)));
    state_.create_effect = &fakes::D3DXCreateEffect;
  }

  void AddTrack(const std::string& usage, int32_t maximum = 100, int32_t minimum = 0) {
    TrackDescriptor track;
    track.name = "track";
    track.maximum = maximum;
    track.minimum = minimum;
    track.usage = usage;
    state_.track_descriptors.push_back(track);
  }

  void AddCheck(const std::string& usage) {
    CheckDescriptor check;
    check.name = "check";
    check.usage = usage;
    state_.check_descriptors.push_back(check);
  }

  // Every device capability the validation reads, all satisfied.
  void SetCapableDevice() {
    engine_->format_supported[F32] = true;
    engine_->caps.PixelShaderVersion = 0xFFFF0300u;
    engine_->caps.NumSimultaneousRTs = 4;
  }

 private:
  EffectDiscoveryState state_;
  ComPtr<fakes::FakeDevice> device_;
  std::unique_ptr<Engine> engine_;
};

}  // namespace plan_test
