// The init, exit, update, window-message and process handlers as the host
// sees them.
#include "engine/engine.h"
#include "fakes/fake_d3d9.h"
#include "plugin/fake_host.h"
#include "plugin/plugin_test_support.h"

namespace {

using plugin_test::FakeHost;
using plugin_test::PluginTest;

class HandlersTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    filter_table.services = host_.services();
  }
  void TearDown() override {
    ExitHandler(&filter_table);
    EXPECT_EQ(nullptr, engine);
    fakes::InstallDirect3D(nullptr);
    PluginTest::TearDown();
  }

  // An engine with no device, enough for the handlers' own decisions.
  void PlaceBareEngine() {
    engine = new Engine;
    engine->frame_cache[10] = nullptr;
    engine->last_uploaded_frame = 10;
  }

  FakeHost host_;
};

TEST_F(HandlersTest, UpdateFlagsTheControlValuesForTheNextFrame) {
  parameters_changed = 0;
  EXPECT_EQ(1, UpdateHandler(&filter_table, 0));
  EXPECT_EQ(1, parameters_changed);
}

TEST_F(HandlersTest, WindowMessagesWithoutAnEngineDoNothing) {
  size_changed = 0;
  for (UINT message : {519u, 1125u, 1133u, 0u, 1u}) {
    SCOPED_TRACE(message);
    EXPECT_EQ(0, WindowMessageHandler(nullptr, message, 0, 0, nullptr, &filter_table));
  }
  EXPECT_EQ(0, size_changed);
}

TEST_F(HandlersTest, MiddleButtonForgetsTheFramesOnlyWhileTheFilterIsActive) {
  PlaceBareEngine();
  host_.filter_active = false;
  EXPECT_EQ(0, WindowMessageHandler(nullptr, 519, 0, 0, nullptr, &filter_table));
  EXPECT_EQ(1u, engine->frame_cache.count(10));
  host_.filter_active = true;
  EXPECT_EQ(1, WindowMessageHandler(nullptr, 519, 0, 0, nullptr, &filter_table));
  ASSERT_EQ(1u, engine->frame_cache.size());
  EXPECT_TRUE(IsPlaceholderKey(engine->frame_cache.begin()->first));
  EXPECT_EQ(-1, engine->last_uploaded_frame);
}

TEST_F(HandlersTest, ResourceMessagesMarkTheFrameSizeForRebuilding) {
  PlaceBareEngine();
  struct Case {
    UINT message;
    bool active;
    BYTE size_changed_after;
  } cases[] = {{1125, true, 1}, {1125, false, 1}, {1133, true, 0}, {1133, false, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.message << (c.active ? " active" : " inactive"));
    size_changed = 0;
    host_.filter_active = c.active;
    EXPECT_EQ(0, WindowMessageHandler(nullptr, c.message, 0, 0, nullptr, &filter_table));
    EXPECT_EQ(c.size_changed_after, size_changed);
  }
}

TEST_F(HandlersTest, InitReadsBothSettingsAndFailsWithoutDirect3D) {
  fakes::InstallDirect3D(nullptr);
  host_.settings["dev"] = 3;
  EXPECT_EQ(0, InitHandler(&filter_table));
  EXPECT_EQ(nullptr, engine);
  ASSERT_EQ(2u, host_.setting_reads.size());
  EXPECT_EQ(std::make_pair(std::string("dev"), 0), host_.setting_reads[0]);
  EXPECT_EQ(std::make_pair(std::string("disable_pp"), 0), host_.setting_reads[1]);
  ASSERT_EQ(1u, native_platform::MessageBoxes().size());
  EXPECT_EQ(L"Direct3DCreate9()が失敗しました", native_platform::MessageBoxes()[0].text);
  EXPECT_EQ(L"Texloom", native_platform::MessageBoxes()[0].caption);
  EXPECT_EQ(0x1010u, native_platform::MessageBoxes()[0].style);
}

TEST_F(HandlersTest, InitBuildsTheEngineFromTheDiscoveredEffectAndExitTearsItDown) {
  InstallD3DX();
  fakes::EffectDescription effect;
  effect.IntArray("FilterVersion", {1, 0}).Annotate("name", "Tint");
  effect.Int("Track0").Annotate("name", "amount");
  effect.Texture("TxSrc0");
  effect.Technique("ProcessImage0").Pass();
  fakes::SetEffectSource(plugin_test::kEffectSource, effect);
  GetFilterTable();
  ASSERT_STREQ("Tint", filter_table.title);

  auto d3d = fakes::MakeFake<fakes::FakeDirect3D>();
  d3d->SupportTextureFormat(D3DFMT_A32B32G32R32F);
  fakes::InstallDirect3D(d3d.get());
  for (int disable_worker : {0, 1}) {
    SCOPED_TRACE(testing::Message() << "disable_pp " << disable_worker);
    host_.settings["disable_pp"] = disable_worker;
    ASSERT_EQ(1, InitHandler(&filter_table));
    ASSERT_NE(nullptr, engine);
    EXPECT_EQ(disable_worker == 0, engine->worker.thread != nullptr);
    EXPECT_EQ(1u, engine->track_bindings.size());
    EXPECT_EQ(std::vector<int32_t>{0}, engine->source_offsets);
    EXPECT_TRUE(native_platform::MessageBoxes().empty());
    EXPECT_EQ(1, ExitHandler(&filter_table));
    EXPECT_EQ(nullptr, engine);
    EXPECT_EQ(0, native_platform::OpenKernelHandles());
    EXPECT_EQ(1u, d3d->references());
  }
  fakes::InstallDirect3D(nullptr);
}

TEST_F(HandlersTest, InitFailsWithoutMessageWhenTheEngineCannotBeAllocated) {
  support::FailNothrowAllocation(1);
  EXPECT_EQ(0, InitHandler(&filter_table));
  EXPECT_EQ(nullptr, engine);
  EXPECT_TRUE(native_platform::MessageBoxes().empty());
}

TEST_F(HandlersTest, ProcessWithoutAnEngineFailsTheFrame) {
  FrameRequest request{};
  EXPECT_EQ(0, ProcessHandler(&filter_table, &request));
  EXPECT_TRUE(host_.reservations.empty());
}

TEST_F(HandlersTest, ProcessReservesAndFetchesTheCurrentFrameWithItsSize) {
  PlaceBareEngine();
  engine->source_offsets = {-1, 0, 1};
  FrameRequest request{};
  request.max_width = 1920;
  request.max_height = 1080;
  request.frame = 7;
  host_.frame_width = 640;
  host_.frame_height = 360;
  size_changed = 0;
  // The bare engine has no device, so the frame fails after the size check.
  EXPECT_EQ(0, ProcessHandler(&filter_table, &request));
  ASSERT_EQ(1u, host_.reservations.size());
  EXPECT_EQ(1920, host_.reservations[0].max_width);
  EXPECT_EQ(1080, host_.reservations[0].max_height);
  EXPECT_EQ(4, host_.reservations[0].frame_count);
  EXPECT_EQ(0, host_.reservations[0].flags);
  ASSERT_EQ(1u, host_.fetches.size());
  EXPECT_EQ(7, host_.fetches[0].frame);
  EXPECT_TRUE(host_.fetches[0].wants_size);
  EXPECT_EQ(640, request.width);
  EXPECT_EQ(360, request.height);
  EXPECT_EQ(1, size_changed);
}

TEST_F(HandlersTest, ProcessStopsAtARefusedReservationOrAMissingFrame) {
  PlaceBareEngine();
  FrameRequest request{};
  host_.reservation_result = false;
  EXPECT_EQ(0, ProcessHandler(&filter_table, &request));
  EXPECT_TRUE(host_.fetches.empty());
  host_.reservation_result = true;
  host_.fetch_fails = true;
  size_changed = 0;
  EXPECT_EQ(0, ProcessHandler(&filter_table, &request));
  EXPECT_EQ(1u, host_.fetches.size());
  EXPECT_EQ(0, size_changed);
}

}  // namespace
