// Fixture for tests that drive the plug-in through its exported entry
// points: puts the filter table and the discovery state back afterwards.
#pragma once

#include <string>

#include "discovery/discovery_state.h"
#include "fakes/fake_d3dx.h"
#include "host/module_state.h"
#include "plugin/plugin_handlers.h"
#include "support/leak_checked_test.h"

namespace plugin_test {

// Where the stand-in says the module lives, and the files beside it.
inline const std::wstring kModuleDirectory = L"C:\\Host\\Plugins";
inline const std::wstring kModulePath = kModuleDirectory + L"\\texloom.auf";
inline const std::wstring kEffectSource = kModuleDirectory + L"\\texloom.fx";
inline const std::wstring kEffectBinary = kModuleDirectory + L"\\texloom.fxo";
inline const std::wstring kD3DX42 = kModuleDirectory + L"\\d3dx9_42.dll";

class PluginTest : public support::LeakCheckedTest {
 protected:
  void SetUp() override {
    support::LeakCheckedTest::SetUp();
    fakes::ResetFakeD3DX();
    native_platform::SetModulePath(kModulePath);
    RestoreDefaultTable();
    parameters_changed = 1;
    size_changed = 1;
  }
  void TearDown() override {
    TearDownDiscoveryState(effect_discovery);
    RestoreDefaultTable();
    fakes::ResetFakeD3DX();
    EXPECT_EQ(0, native_platform::LoadedLibraries()) << "D3DX left loaded";
    support::LeakCheckedTest::TearDown();
  }

  static void RestoreDefaultTable() {
    filter_table.title = kDefaultTitle;
    filter_table.information = kDefaultInformation;
    filter_table.track_count = 0;
    filter_table.track_names = nullptr;
    filter_table.track_defaults = nullptr;
    filter_table.track_minima = nullptr;
    filter_table.track_maxima = nullptr;
    filter_table.check_count = 0;
    filter_table.check_names = nullptr;
    filter_table.check_defaults = nullptr;
    filter_table.services = nullptr;
    filter_table.window = nullptr;
    filter_table.track_values = nullptr;
    filter_table.check_values = nullptr;
  }

  static void InstallD3DX() { native_platform::RegisterLibrary(kD3DX42, fakes::D3DXLibrary()); }
};

}  // namespace plugin_test
