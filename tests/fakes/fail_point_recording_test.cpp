// The recording of fail points for fault-injection sweeps: every fake's
// fail points in the order reached, from any thread, and the plans a sweep
// derives from it.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "fakes/fake_d3d9.h"
#include "fakes/fake_d3dx.h"
#include "support/leak_checked_test.h"

namespace {

using fakes::FailPlan;

class FailPointRecordingTest : public support::LeakCheckedTest {
 protected:
  void SetUp() override {
    support::LeakCheckedTest::SetUp();
    fakes::ResetFakeD3DX();
  }
  void TearDown() override {
    fakes::ResetFakeD3DX();
    support::LeakCheckedTest::TearDown();
  }
};

// A little of what the frame pipeline does, through every kind of fake;
// returns the fail point that failed ("" when none did).
std::string Scenario() {
  auto d3d = fakes::MakeFake<fakes::FakeDirect3D>();
  ComPtr<IDirect3DDevice9> device;
  D3DPRESENT_PARAMETERS parameters{};
  if (d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET,
                             D3DRTYPE_TEXTURE, D3DFMT_A16B16G16R16F) != D3DERR_NOTAVAILABLE)
    return "IDirect3D9::CheckDeviceFormat";
  if (FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &parameters, device.put())))
    return "IDirect3D9::CreateDevice";
  ComPtr<IDirect3DTexture9> texture;
  if (FAILED(device->CreateTexture(4, 4, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_SYSTEMMEM,
                                   texture.put(), nullptr)))
    return "IDirect3DDevice9::CreateTexture";
  for (int i = 0; i < 2; ++i) {
    D3DLOCKED_RECT rect;
    if (FAILED(texture->LockRect(0, &rect, nullptr, 0))) return "IDirect3DTexture9::LockRect";
    if (FAILED(texture->UnlockRect(0))) return "IDirect3DTexture9::UnlockRect";
  }
  ComPtr<IDirect3DVertexBuffer9> buffer;
  if (FAILED(device->CreateVertexBuffer(96, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, buffer.put(),
                                        nullptr)))
    return "IDirect3DDevice9::CreateVertexBuffer";
  void* data;
  if (FAILED(buffer->Lock(0, 0, &data, 0))) return "IDirect3DVertexBuffer9::Lock";
  buffer->Unlock();

  fakes::EffectDescription description;
  description.Texture("TxSrc0");
  description.Technique("ProcessImage0").Pass();
  ComPtr<ID3DXBuffer> compiled;
  if (FAILED(fakes::D3DXCreateBuffer(12, compiled.put()))) return "D3DXCreateBuffer";
  if (!compiled->GetBufferPointer()) return "ID3DXBuffer::GetBufferPointer";
  std::vector<uint8_t> bytes = fakes::CompiledBytes(description);
  ComPtr<ID3DXEffect> effect;
  if (FAILED(fakes::D3DXCreateEffect(device.get(), bytes.data(), UINT(bytes.size()), nullptr,
                                     nullptr, 0, nullptr, effect.put(), nullptr)))
    return "D3DXCreateEffect";
  if (FAILED(effect->SetTexture("TxSrc0", texture.get()))) return "ID3DXEffect::SetTexture";
  if (FAILED(effect->Begin(nullptr, 0))) return "ID3DXEffect::Begin";
  effect->End();
  return "";
}

TEST_F(FailPointRecordingTest, RecordsEveryFakesFailPointsInTheOrderReached) {
  fakes::StartRecordingFailPoints();
  ASSERT_EQ("", Scenario());
  std::vector<std::string> recording = fakes::StopRecordingFailPoints();
  const std::vector<std::string> expected = {"IDirect3D9::CheckDeviceFormat",
                                             "IDirect3D9::CreateDevice",
                                             "IDirect3DDevice9::CreateTexture",
                                             "IDirect3DTexture9::LockRect",
                                             "IDirect3DTexture9::UnlockRect",
                                             "IDirect3DTexture9::LockRect",
                                             "IDirect3DTexture9::UnlockRect",
                                             "IDirect3DDevice9::CreateVertexBuffer",
                                             "IDirect3DVertexBuffer9::Lock",
                                             "IDirect3DVertexBuffer9::Unlock",
                                             "D3DXCreateBuffer",
                                             "ID3DXBuffer::GetBufferPointer",
                                             "D3DXCreateEffect",
                                             "ID3DXEffect::SetTexture",
                                             "ID3DXEffect::Begin",
                                             "ID3DXEffect::End"};
  EXPECT_EQ(expected, recording);
  // Stopped: nothing more is recorded, and a new start begins empty.
  ASSERT_EQ("", Scenario());
  fakes::StartRecordingFailPoints();
  EXPECT_TRUE(fakes::StopRecordingFailPoints().empty());
}

TEST_F(FailPointRecordingTest, ResetFaultsEndsARecording) {
  fakes::StartRecordingFailPoints();
  fakes::ResetFaults();
  ASSERT_EQ("", Scenario());
  EXPECT_TRUE(fakes::StopRecordingFailPoints().empty());
}

TEST_F(FailPointRecordingTest, PlansNameTheKthCallOfEachMethod) {
  const std::vector<FailPlan> plans = fakes::SweepPlans({"A", "B", "A", "C", "A", "B"});
  const std::vector<std::pair<std::string, int>> expected = {{"A", 1}, {"B", 1}, {"A", 2},
                                                             {"C", 1}, {"A", 3}, {"B", 2}};
  ASSERT_EQ(expected.size(), plans.size());
  for (size_t i = 0; i < plans.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(expected[i].first, plans[i].method);
    EXPECT_EQ(expected[i].second, plans[i].nth);
  }
}

TEST_F(FailPointRecordingTest, ASweepFailsEachReachedCallOnceInItsOwnRun) {
  fakes::StartRecordingFailPoints();
  ASSERT_EQ("", Scenario());
  const std::vector<FailPlan> plans = fakes::SweepPlans(fakes::StopRecordingFailPoints());
  ASSERT_EQ(16u, plans.size());
  int failed_runs = 0;
  for (const FailPlan& plan : plans) {
    SCOPED_TRACE(plan.method + " #" + std::to_string(plan.nth));
    fakes::ResetFaults();
    fakes::FailCall(plan.method, plan.nth, E_FAIL);
    std::string failed = Scenario();
    EXPECT_EQ(0, fakes::PendingFailures()) << "the planned failure was never reached";
    // Methods whose failure the scenario does not look at still fired.
    if (plan.method == "IDirect3DVertexBuffer9::Unlock" || plan.method == "ID3DXEffect::End")
      continue;
    EXPECT_EQ(plan.method, failed);
    ++failed_runs;
  }
  EXPECT_EQ(14, failed_runs);
}

TEST(ThreadedFailPointRecording, CallsFromManyThreadsAreAllRecorded) {
  fakes::ResetFaults();
  const int live_before = fakes::LiveObjects();
  auto device = fakes::MakeFake<fakes::FakeDevice>();
  constexpr int kThreads = 4;
  constexpr int kRounds = 500;
  std::vector<ComPtr<IDirect3DTexture9>> textures(kThreads);
  for (auto& texture : textures) {
    ASSERT_EQ(D3D_OK, device->CreateTexture(2, 2, 1, 0, D3DFMT_A32B32G32R32F, D3DPOOL_SYSTEMMEM,
                                            texture.put(), nullptr));
  }
  fakes::StartRecordingFailPoints();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        D3DLOCKED_RECT rect;
        textures[t]->LockRect(0, &rect, nullptr, 0);
        textures[t]->UnlockRect(0);
        device->TestCooperativeLevel();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::vector<std::string> recording = fakes::StopRecordingFailPoints();
  EXPECT_EQ(size_t(3 * kThreads * kRounds), recording.size());
  for (const char* method : {"IDirect3DTexture9::LockRect", "IDirect3DTexture9::UnlockRect",
                             "IDirect3DDevice9::TestCooperativeLevel"}) {
    SCOPED_TRACE(method);
    EXPECT_EQ(kThreads * kRounds, std::count(recording.begin(), recording.end(), method));
  }
  EXPECT_EQ(kThreads * kRounds, device->cooperative_level_calls());
  textures.clear();
  device.reset();
  EXPECT_EQ(live_before, fakes::LiveObjects());
}

}  // namespace
