// GetFilterTable: every request loads D3DX, rediscovers the effect and copies
// what it declares into the filter table.
#include <memory>
#include <new>

#include "discovery/discovery_state.h"
#include "discovery/effect_discovery.h"
#include "engine/engine.h"
#include "host/module_state.h"
#include "plugin/plugin_handlers.h"

namespace {

constexpr DWORD kPathBufferChars = 32768;

void PublishDiscovery(FilterTable& table, const EffectDiscoveryState& state) {
  if (state.title) table.title = state.title;
  if (state.information) table.information = state.information;
  table.track_count = static_cast<int>(state.track_descriptors.size());
  table.track_names = reinterpret_cast<const char* const*>(state.track_names_block);
  table.track_defaults = state.track_defaults;
  table.track_minima = state.track_minima;
  table.track_maxima = state.track_maxima;
  table.check_count = static_cast<int>(state.check_descriptors.size());
  table.check_names = reinterpret_cast<const char* const*>(state.check_names_block);
  table.check_defaults = state.check_defaults;
}

void RunTableRequest(FilterTable& table) {
  // The engine's effect came from the loaded library and its captions from
  // the discovered texts; both stay as they are while it lives.
  if (engine) return;
  if (!LoadD3DX(effect_discovery)) return;

  std::unique_ptr<wchar_t[]> path(new (std::nothrow) wchar_t[kPathBufferChars]);
  if (!path) return;
  DWORD length = GetModuleFileNameW(module_handle, path.get(), kPathBufferChars - 1);
  path[kPathBufferChars - 1] = L'\0';
  const wchar_t* module_path = length != 0 ? path.get() : L"texloom.auf";

  if (DiscoverEffect(effect_discovery, module_path)) PublishDiscovery(table, effect_discovery);
}

}  // namespace

extern "C" HOST_ENTRY FilterTable* __cdecl GetFilterTable(void) {
  try {
    RunTableRequest(filter_table);
  } catch (...) {
    // Out of memory inside a list: the table keeps what it had.
  }
  // Whatever discovery replaced is freed now, unless the table still shows it.
  FreeRetired(effect_discovery,
              {filter_table.title, filter_table.information, filter_table.track_names,
               filter_table.track_defaults, filter_table.track_minima, filter_table.track_maxima,
               filter_table.check_names, filter_table.check_defaults});
  return &filter_table;
}
