// A fake Direct3D 9: the Direct3D object, the device and the resources the
// plug-in creates, with real pixel and vertex memory, reference counting
// that follows D3D (the device holds what is bound to it, and its parent
// Direct3D object), call records and failure injection by method name:
// fakes::FailCall("IDirect3DDevice9::CreateTexture", 2, E_OUTOFMEMORY).
// DrawPrimitive checks the full-target quad (quad_check.h) and runs the
// program of the open effect pass (pass_program.h). The device takes one
// lock per call, as a D3DCREATE_MULTITHREADED device does.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "fakes/fake_com.h"
#include "fakes/pass_program.h"
#include "platform/com_ptr.h"
#include "platform/win32_api.h"

namespace fakes {

class FakeDevice;
class FakeTexture;

// Bytes per texel of the formats the fake knows; 0 for any other.
UINT BytesPerTexel(D3DFORMAT format);

// Count of live default-pool resources a device created; shared so that a
// resource may outlive its device.
typedef std::shared_ptr<int> DefaultPoolCounter;

// Level 0 of a texture (its memory lives in the texture), or a stand-alone
// surface such as the device's back buffer. A texture's surface shares the
// texture's reference count, as D3D sub-resources do.
class FakeSurface : public FakeComObject<IDirect3DSurface9> {
 public:
  FakeSurface(UINT width, UINT height, D3DFORMAT format, FakeTexture* container);

  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  UINT width() const { return width_; }
  UINT height() const { return height_; }
  D3DFORMAT format() const { return format_; }
  FakeTexture* container() const { return container_; }
  // Pixel memory: the container's, or the surface's own.
  uint8_t* bits();
  INT pitch() const;

 private:
  UINT width_;
  UINT height_;
  D3DFORMAT format_;
  FakeTexture* container_;
  std::vector<uint8_t> own_bits_;
};

class FakeTexture : public FakeComObject<IDirect3DTexture9> {
 public:
  // pitch_padding: extra bytes at the end of every row, so that code which
  // assumes pitch == width * texel size reads the wrong rows. The padding
  // holds kRowPaddingByte; the texels start as zero.
  FakeTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
              UINT pitch_padding, DefaultPoolCounter default_pool);
  ~FakeTexture() override;

  HRESULT STDMETHODCALLTYPE GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
  HRESULT STDMETHODCALLTYPE LockRect(UINT level, D3DLOCKED_RECT* locked_rect, const RECT* rect,
                                     DWORD flags) override;
  HRESULT STDMETHODCALLTYPE UnlockRect(UINT level) override;

  UINT width() const { return width_; }
  UINT height() const { return height_; }
  UINT levels() const { return levels_; }
  DWORD usage() const { return usage_; }
  D3DFORMAT format() const { return format_; }
  D3DPOOL pool() const { return pool_; }
  INT pitch() const { return pitch_; }
  std::vector<uint8_t>& bits() { return bits_; }
  bool locked() const { return locked_; }
  // Flags of every LockRect call, in order.
  const std::vector<DWORD>& lock_flags() const { return lock_flags_; }
  FakeSurface* surface() { return surface_.get(); }
  // Every padding byte still holds kRowPaddingByte.
  bool row_padding_intact() const;
  static constexpr uint8_t kRowPaddingByte = 0xA5;
  // Sequence number among all fake textures made since the program started,
  // so that call records can name a texture.
  int serial() const { return serial_; }

 private:
  friend class FakeSurface;
  ULONG AddRefFromSurface() { return FakeComObject<IDirect3DTexture9>::AddRef(); }
  ULONG ReleaseFromSurface() { return FakeComObject<IDirect3DTexture9>::Release(); }

  UINT width_;
  UINT height_;
  UINT levels_;
  DWORD usage_;
  D3DFORMAT format_;
  D3DPOOL pool_;
  INT pitch_;
  std::vector<uint8_t> bits_;
  bool locked_ = false;
  std::vector<DWORD> lock_flags_;
  std::unique_ptr<FakeSurface> surface_;
  DefaultPoolCounter default_pool_;
  int serial_;
};

class FakeVertexBuffer : public FakeComObject<IDirect3DVertexBuffer9> {
 public:
  FakeVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                   DefaultPoolCounter default_pool);
  ~FakeVertexBuffer() override;

  HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Unlock() override;

  UINT length() const { return static_cast<UINT>(bytes_.size()); }
  DWORD usage() const { return usage_; }
  DWORD fvf() const { return fvf_; }
  D3DPOOL pool() const { return pool_; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  bool locked() const { return locked_; }
  const std::vector<DWORD>& lock_flags() const { return lock_flags_; }

 private:
  std::vector<uint8_t> bytes_;
  DWORD usage_;
  DWORD fvf_;
  D3DPOOL pool_;
  bool locked_ = false;
  std::vector<DWORD> lock_flags_;
  DefaultPoolCounter default_pool_;
};

class FakeVertexDeclaration : public FakeComObject<IDirect3DVertexDeclaration9> {
 public:
  // Copies the elements up to and including the end marker.
  explicit FakeVertexDeclaration(const D3DVERTEXELEMENT9* elements);
  const std::vector<D3DVERTEXELEMENT9>& elements() const { return elements_; }

 private:
  std::vector<D3DVERTEXELEMENT9> elements_;
};

// What a test sets before the device is created.
struct DeviceConfig {
  DeviceConfig();
  D3DCAPS9 caps;
  D3DDISPLAYMODE display_mode;
  // Results of the next TestCooperativeLevel calls, first to last; once
  // empty, every call returns D3D_OK.
  std::deque<HRESULT> cooperative_levels;
  // Extra bytes per texture row (see FakeTexture): by default a multiple of
  // 4 that is no multiple of any texel size, so a pitch mistake shows.
  UINT pitch_padding = 24;
  // Size of the implicit back buffer, which is render target 0.
  UINT back_buffer_width = 640;
  UINT back_buffer_height = 480;
};

struct SetRenderTargetCall {
  DWORD index;
  IDirect3DSurface9* surface;  // identity only; may be gone by now
};

struct SetStreamSourceCall {
  UINT stream;
  IDirect3DVertexBuffer9* buffer;
  UINT offset;
  UINT stride;
};

struct DrawPrimitiveCall {
  D3DPRIMITIVETYPE type;
  UINT start_vertex;
  UINT primitive_count;
  // Render target 0..3 at the time of the draw (identity only).
  IDirect3DSurface9* targets[4];
  // Label of the effect pass open at the draw ("" when none).
  std::string pass;
  // The quad check passed, so the draw reached the pixels.
  bool drawn = false;
  // A pass program ran.
  bool ran_program = false;
  // The program sampled a texture that was also bound as an output; D3D
  // leaves that undefined, the fake reads the texture as before the draw.
  bool feedback = false;
};

struct CopyCall {
  void* source;
  void* destination;
};

class FakeDevice : public FakeComObject<IDirect3DDevice9> {
 public:
  explicit FakeDevice(const DeviceConfig& config = DeviceConfig());
  ~FakeDevice() override;

  HRESULT STDMETHODCALLTYPE TestCooperativeLevel() override;
  HRESULT STDMETHODCALLTYPE GetDeviceCaps(D3DCAPS9* caps) override;
  HRESULT STDMETHODCALLTYPE GetDisplayMode(UINT swap_chain, D3DDISPLAYMODE* mode) override;
  HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS* parameters) override;
  HRESULT STDMETHODCALLTYPE CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                          D3DFORMAT format, D3DPOOL pool,
                                          IDirect3DTexture9** texture,
                                          HANDLE* shared_handle) override;
  HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                               IDirect3DVertexBuffer9** buffer,
                                               HANDLE* shared_handle) override;
  HRESULT STDMETHODCALLTYPE UpdateTexture(IDirect3DBaseTexture9* source,
                                          IDirect3DBaseTexture9* destination) override;
  HRESULT STDMETHODCALLTYPE GetRenderTargetData(IDirect3DSurface9* render_target,
                                                IDirect3DSurface9* destination) override;
  HRESULT STDMETHODCALLTYPE SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override;
  HRESULT STDMETHODCALLTYPE GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override;
  HRESULT STDMETHODCALLTYPE BeginScene() override;
  HRESULT STDMETHODCALLTYPE EndScene() override;
  HRESULT STDMETHODCALLTYPE DrawPrimitive(D3DPRIMITIVETYPE type, UINT start_vertex,
                                          UINT primitive_count) override;
  HRESULT STDMETHODCALLTYPE CreateVertexDeclaration(
      const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** declaration) override;
  HRESULT STDMETHODCALLTYPE SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
  HRESULT STDMETHODCALLTYPE SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer,
                                            UINT offset, UINT stride) override;

  DeviceConfig& config() { return config_; }
  // Set by FakeDirect3D::CreateDevice; the device holds a reference, as D3D does.
  void SetParent(IDirect3D9* parent);
  IDirect3D9* parent() const { return parent_.get(); }

  // Records.
  const std::vector<D3DPRESENT_PARAMETERS>& reset_calls() const { return reset_calls_; }
  int cooperative_level_calls() const { return cooperative_level_calls_; }
  // Every resource the device created, in order (identity only).
  const std::vector<FakeTexture*>& created_textures() const { return created_textures_; }
  const std::vector<FakeVertexBuffer*>& created_vertex_buffers() const {
    return created_vertex_buffers_;
  }
  const std::vector<FakeVertexDeclaration*>& created_declarations() const {
    return created_declarations_;
  }
  const std::vector<SetRenderTargetCall>& set_render_target_calls() const {
    return set_render_target_calls_;
  }
  const std::vector<SetStreamSourceCall>& set_stream_source_calls() const {
    return set_stream_source_calls_;
  }
  const std::vector<IDirect3DVertexDeclaration9*>& set_declaration_calls() const {
    return set_declaration_calls_;
  }
  const std::vector<DrawPrimitiveCall>& draw_calls() const { return draw_calls_; }
  // Why draws did not do what the frame pipeline means them to do: a
  // failed quad check (nothing drawn) or a program's read or write that
  // could not be served. "draw 2 (ProcessImage0, pass 1): stream 0 stride
  // 20, expected 24"; draws numbered as in draw_calls(). A pipeline test
  // expects this to be empty.
  const std::vector<std::string>& draw_errors() const { return draw_errors_; }
  const std::vector<CopyCall>& update_texture_calls() const { return update_texture_calls_; }
  const std::vector<CopyCall>& render_target_data_calls() const {
    return render_target_data_calls_;
  }
  // Method names of every call, in order ("BeginScene", "SetRenderTarget", ...).
  const std::vector<std::string>& call_log() const { return call_log_; }

  // State.
  IDirect3DSurface9* render_target(DWORD index) const;
  FakeSurface* back_buffer() const { return back_buffer_.get(); }
  IDirect3DVertexDeclaration9* vertex_declaration() const { return declaration_.get(); }
  IDirect3DVertexBuffer9* stream_source() const { return stream_source_.get(); }
  UINT stream_offset() const { return stream_offset_; }
  UINT stream_stride() const { return stream_stride_; }
  bool in_scene() const { return in_scene_; }
  int scenes() const { return scenes_; }
  // Default-pool resources of this device alive now; D3D refuses Reset
  // while any exists.
  int live_default_pool_resources() const { return *default_pool_; }

  // Called by the fake effect from BeginPass to EndPass (or End): the draws
  // in between run the pass's program.
  void EnterEffectPass(const ActivePass& pass);
  void LeaveEffectPass(const EffectParameters* effect);
  // The open pass, null when none.
  const ActivePass* active_pass() const { return has_active_pass_ ? &active_pass_ : nullptr; }

 private:
  void RecordDrawErrors(size_t draw, const std::vector<std::string>& errors);

  mutable std::recursive_mutex mutex_;
  DeviceConfig config_;
  ComPtr<IDirect3D9> parent_;
  DefaultPoolCounter default_pool_;
  ComPtr<FakeSurface> back_buffer_;
  std::vector<ComPtr<IDirect3DSurface9>> render_targets_;
  ComPtr<IDirect3DVertexDeclaration9> declaration_;
  ComPtr<IDirect3DVertexBuffer9> stream_source_;
  UINT stream_offset_ = 0;
  UINT stream_stride_ = 0;
  bool has_active_pass_ = false;
  ActivePass active_pass_;
  bool in_scene_ = false;
  int scenes_ = 0;
  int cooperative_level_calls_ = 0;
  std::vector<D3DPRESENT_PARAMETERS> reset_calls_;
  std::vector<FakeTexture*> created_textures_;
  std::vector<FakeVertexBuffer*> created_vertex_buffers_;
  std::vector<FakeVertexDeclaration*> created_declarations_;
  std::vector<SetRenderTargetCall> set_render_target_calls_;
  std::vector<SetStreamSourceCall> set_stream_source_calls_;
  std::vector<IDirect3DVertexDeclaration9*> set_declaration_calls_;
  std::vector<DrawPrimitiveCall> draw_calls_;
  std::vector<std::string> draw_errors_;
  std::vector<CopyCall> update_texture_calls_;
  std::vector<CopyCall> render_target_data_calls_;
  std::vector<std::string> call_log_;
};

struct CreateDeviceCall {
  UINT adapter;
  D3DDEVTYPE device_type;
  HWND focus_window;
  DWORD behavior_flags;
  D3DPRESENT_PARAMETERS parameters;  // a copy, as passed in
};

struct CheckDeviceFormatCall {
  UINT adapter;
  D3DDEVTYPE device_type;
  D3DFORMAT adapter_format;
  DWORD usage;
  D3DRESOURCETYPE resource_type;
  D3DFORMAT check_format;
};

class FakeDirect3D : public FakeComObject<IDirect3D9> {
 public:
  FakeDirect3D();
  ~FakeDirect3D() override;

  UINT STDMETHODCALLTYPE GetAdapterCount() override;
  HRESULT STDMETHODCALLTYPE CheckDeviceFormat(UINT adapter, D3DDEVTYPE device_type,
                                              D3DFORMAT adapter_format, DWORD usage,
                                              D3DRESOURCETYPE resource_type,
                                              D3DFORMAT check_format) override;
  HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE device_type, HWND focus_window,
                                         DWORD behavior_flags, D3DPRESENT_PARAMETERS* parameters,
                                         IDirect3DDevice9** device) override;

  UINT adapter_count = 1;
  // CreateDevice hands out this device (one reference to the caller); when
  // it is null a new device is made from device_config.
  ComPtr<FakeDevice> next_device;
  DeviceConfig device_config;
  // CheckDeviceFormat: the result for (format, usage); pairs not listed
  // give format_default.
  std::map<std::pair<D3DFORMAT, DWORD>, HRESULT> format_results;
  HRESULT format_default = D3DERR_NOTAVAILABLE;
  // Sets D3D_OK for the render-target, dynamic and plain usages of a format.
  void SupportTextureFormat(D3DFORMAT format);

  const std::vector<CreateDeviceCall>& create_device_calls() const { return create_device_calls_; }
  const std::vector<CheckDeviceFormatCall>& check_format_calls() const {
    return check_format_calls_;
  }
  // The device the last successful CreateDevice handed out (identity only).
  FakeDevice* last_device() const { return last_device_; }

 private:
  std::vector<CreateDeviceCall> create_device_calls_;
  std::vector<CheckDeviceFormatCall> check_format_calls_;
  FakeDevice* last_device_ = nullptr;
};

template <typename T, typename... Args>
ComPtr<T> MakeFake(Args&&... args) {
  return ComPtr<T>::Adopt(new T(std::forward<Args>(args)...));
}

// Direct3DCreate9 returns the given object with a new reference, or null
// when d3d is null. The factory does not own d3d: the test keeps it alive
// for as long as the code under test may create it.
void InstallDirect3D(FakeDirect3D* d3d);

}  // namespace fakes
