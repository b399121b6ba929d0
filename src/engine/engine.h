// The engine: the one record that owns everything the plug-in holds on the
// GPU side, from a successful init to the exit handler.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "discovery/discovery_state.h"
#include "engine/frame_keys.h"
#include "engine/render_worker.h"
#include "pipeline/conversion.h"
#include "plan/image_format.h"
#include "plan/pass_plan.h"
#include "platform/com_ptr.h"
#include "platform/win32_api.h"

struct FilterTable;

// Frame (or placeholder) → source texture; the slots own the textures.
typedef std::map<FrameKey, IDirect3DTexture9*> FrameCache;

struct Engine {
  Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  ComPtr<IDirect3D9> d3d;
  ComPtr<IDirect3DDevice9> device;
  ComPtr<IDirect3DTexture9> staging_texture;
  ComPtr<IDirect3DVertexBuffer9> quad_vertices;
  ComPtr<IDirect3DVertexDeclaration9> vertex_declaration;
  ComPtr<ID3DXEffect> effect;
  EffectDiscoveryState* description;
  std::vector<ComPtr<IDirect3DTexture9>> source_texture_slots;
  FrameCache frame_cache;       // not owning: the slots own the textures
  FrameCache frame_cache_next;  // not owning
  bool current_frame_is_source = true;
  std::vector<ComPtr<IDirect3DTexture9>> render_target_slots;
  std::vector<TrackBinding> track_bindings;
  std::vector<CheckBinding> check_bindings;
  std::vector<TechniquePlan> techniques;
  uint32_t selected_technique = 0;
  std::vector<SourceBinding> source_bindings;
  std::vector<int32_t> source_offsets;
  std::vector<D3DXHANDLE> render_target_params;
  std::vector<KernelBinding> kernel_bindings;
  D3DXHANDLE tx_tmp_param = nullptr;
  D3DXHANDLE frame_param = nullptr;
  D3DXHANDLE frame_num_param = nullptr;
  D3DXHANDLE src_size_param = nullptr;
  D3DXHANDLE pix_scale_param = nullptr;
  int32_t frame_width = -1;
  int32_t frame_height = -1;
  int32_t row_stride = -1;
  int32_t current_frame = -1;
  int32_t total_frames = -1;
  int32_t last_uploaded_frame = 0;
  int32_t previous_uploaded_frame = 0;
  RenderWorker worker;
  ImageFormat image_format = none;
  bool format_supported[kProbedFormatCount] = {};
  const ConversionRoutines* conversion_routines = nullptr;
  D3DCAPS9 caps = {};
  // This frame's render job copied its result into staging_texture; the
  // read-back delivers nothing else.
  bool result_in_staging = false;
  // OnLostDevice was called and no OnResetDevice has succeeded since.
  bool effect_lost = false;
  // The host images' max_height that the frame-size resources were made
  // for; with row_stride (their max_width) a change rebuilds them.
  int32_t row_count = -1;
  // A source frame of another size than the current one was reported.
  bool source_size_reported = false;

  // Device lifecycle.
  bool SetUpDevice(FilterTable* table, int adapter_setting, bool use_worker);
  bool CheckDevice();
  HRESULT ResetDevice();
  void DestroyEngine();
  // Releases device then d3d: the failure path of SetUpDevice.
  void ReleaseDeviceAndDirect3D();

  // Capability probe, the frame-size resources and their release.
  HRESULT ProbeCapabilities();
  bool PrepareFrameSize(int32_t width, int32_t height, int32_t row_stride);
  HRESULT CreateFrameTexture(ComPtr<IDirect3DTexture9>& slot, DWORD usage, D3DPOOL pool);
  HRESULT CreateDeclarationAndStaging();
  HRESULT CreateQuad();
  HRESULT CreateQuadAndTextures();
  HRESULT ReleaseDefaultPoolResources();
  bool ReleaseFrameSizeResources();
  bool InvalidateFrameCache();

  // Reporting to the user: an error box captioned with the effect's name.
  int ShowError(const wchar_t* text) const;
  const wchar_t* MessageCaption() const;
  int ShowWarning(const wchar_t* text) const;
};

// The one engine, null whenever none exists.
extern Engine* engine;

// Presentation parameters of the device, used at creation and at reset.
D3DPRESENT_PARAMETERS DevicePresentParameters();
