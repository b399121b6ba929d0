// The module's detach: an unload by FreeLibrary releases what discovery
// holds, D3DX objects before the library; process exit releases nothing.
#include "engine/engine.h"
#include "fakes/fake_d3dx.h"
#include "plugin/plugin_test_support.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

using plugin_test::PluginTest;

class ModuleUnloadTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    InstallD3DX();
    fakes::EffectDescription effect;
    effect.IntArray("FilterVersion", {1, 0}).Annotate("name", "Unloaded");
    effect.Int("Track0").Annotate("name", "t");
    fakes::SetEffectSource(plugin_test::kEffectSource, effect);
    live_before_ = fakes::LiveObjects();
    GetFilterTable();
    ASSERT_STREQ("Unloaded", filter_table.title);
    ASSERT_EQ(1, native_platform::LoadedLibraries());
    ASSERT_LT(live_before_, fakes::LiveObjects());
  }
  void Detach(LPVOID reserved) { EXPECT_EQ(TRUE, DllMain(nullptr, DLL_PROCESS_DETACH, reserved)); }

  int live_before_ = 0;
};

TEST_F(ModuleUnloadTest, FreeLibraryReleasesEffectObjectsThenTheLibrary) {
  Detach(nullptr);
  EXPECT_EQ(0, native_platform::LoadedLibraries());
  EXPECT_EQ(live_before_, fakes::LiveObjects());
  EXPECT_FALSE(effect_discovery.compiled_effect);
  EXPECT_FALSE(effect_discovery.effect_compiler);
  EXPECT_EQ(nullptr, effect_discovery.title);
  EXPECT_TRUE(effect_discovery.track_descriptors.empty());
  EXPECT_EQ(nullptr, effect_discovery.d3dx_module);
  // A second detach finds nothing to release.
  Detach(nullptr);
  EXPECT_EQ(0, native_platform::LoadedLibraries());
}

TEST_F(ModuleUnloadTest, ProcessExitReleasesNothing) {
  int live = fakes::LiveObjects();
  Detach(reinterpret_cast<LPVOID>(1));
  EXPECT_EQ(1, native_platform::LoadedLibraries());
  EXPECT_EQ(live, fakes::LiveObjects());
  EXPECT_STREQ("Unloaded", effect_discovery.title);
}

TEST_F(ModuleUnloadTest, AnEngineThatOutlivedExitKeepsTheLibraryLoaded) {
  Engine* living = new Engine;
  engine = living;
  Detach(nullptr);
  EXPECT_EQ(1, native_platform::LoadedLibraries());
  engine = nullptr;
  living->DestroyEngine();
  delete living;
}

TEST_F(ModuleUnloadTest, OtherNotificationsChangeNothing) {
  for (DWORD reason : {DWORD(DLL_THREAD_ATTACH), DWORD(DLL_THREAD_DETACH)}) {
    SCOPED_TRACE(reason);
    EXPECT_EQ(TRUE, DllMain(nullptr, reason, nullptr));
    EXPECT_EQ(1, native_platform::LoadedLibraries());
  }
}

}  // namespace
