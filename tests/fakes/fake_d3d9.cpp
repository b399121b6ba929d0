#include "fakes/fake_d3d9.h"

#include <atomic>
#include <cstring>

#include "fakes/pass_execution.h"
#include "fakes/quad_check.h"
#include "platform/native/test_control.h"

namespace fakes {
namespace {

std::atomic<int> texture_serial{0};

// Returns the planned failure and writes the sentinel-preserving null only
// where D3D documents it.
#define DEVICE_FAIL_POINT(method) FAKE_FAIL_POINT("IDirect3DDevice9::" method)

FakeTexture* AsTexture(IDirect3DBaseTexture9* texture) {
  return dynamic_cast<FakeTexture*>(static_cast<IUnknown*>(texture));
}

FakeSurface* AsSurface(IDirect3DSurface9* surface) {
  return dynamic_cast<FakeSurface*>(static_cast<IUnknown*>(surface));
}

}  // namespace

UINT BytesPerTexel(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A32B32G32R32F:
      return 16;
    case D3DFMT_A16B16G16R16F:
    case D3DFMT_A16B16G16R16:
    case D3DFMT_Q16W16V16U16:
      return 8;
    case D3DFMT_A2B10G10R10:
    case D3DFMT_X8R8G8B8:
      return 4;
    default:
      return 0;
  }
}

// ---- FakeSurface ----

FakeSurface::FakeSurface(UINT width, UINT height, D3DFORMAT format, FakeTexture* container)
    : width_(width), height_(height), format_(format), container_(container) {
  if (!container_) own_bits_.resize(static_cast<size_t>(width) * height * BytesPerTexel(format));
}

ULONG STDMETHODCALLTYPE FakeSurface::AddRef() {
  if (container_) return container_->AddRefFromSurface();
  return FakeComObject<IDirect3DSurface9>::AddRef();
}

ULONG STDMETHODCALLTYPE FakeSurface::Release() {
  if (container_) return container_->ReleaseFromSurface();
  return FakeComObject<IDirect3DSurface9>::Release();
}

uint8_t* FakeSurface::bits() {
  if (container_) return container_->bits().data();
  return own_bits_.data();
}

INT FakeSurface::pitch() const {
  if (container_) return container_->pitch();
  return static_cast<INT>(width_ * BytesPerTexel(format_));
}

// ---- FakeTexture ----

FakeTexture::FakeTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                         D3DPOOL pool, UINT pitch_padding, DefaultPoolCounter default_pool)
    : width_(width),
      height_(height),
      levels_(levels),
      usage_(usage),
      format_(format),
      pool_(pool),
      pitch_(static_cast<INT>(width * BytesPerTexel(format) + pitch_padding)),
      bits_(static_cast<size_t>(pitch_) * height),
      surface_(new FakeSurface(width, height, format, this)),
      default_pool_(std::move(default_pool)),
      serial_(++texture_serial) {
  if (default_pool_) ++*default_pool_;
  const size_t row = static_cast<size_t>(width) * BytesPerTexel(format);
  for (UINT y = 0; y < height; ++y) {
    uint8_t* padding = bits_.data() + static_cast<size_t>(y) * pitch_ + row;
    std::memset(padding, kRowPaddingByte, pitch_ - row);
  }
}

bool FakeTexture::row_padding_intact() const {
  const size_t row = static_cast<size_t>(width_) * BytesPerTexel(format_);
  for (UINT y = 0; y < height_; ++y) {
    const uint8_t* line = bits_.data() + static_cast<size_t>(y) * pitch_;
    for (size_t i = row; i < static_cast<size_t>(pitch_); ++i) {
      if (line[i] != kRowPaddingByte) return false;
    }
  }
  return true;
}

FakeTexture::~FakeTexture() {
  if (default_pool_) --*default_pool_;
}

HRESULT STDMETHODCALLTYPE FakeTexture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
  FAKE_FAIL_POINT("IDirect3DTexture9::GetSurfaceLevel");
  if (!surface || level != 0) return D3DERR_INVALIDCALL;
  surface_->AddRef();
  *surface = surface_.get();
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE FakeTexture::LockRect(UINT level, D3DLOCKED_RECT* locked_rect,
                                                const RECT* rect, DWORD flags) {
  FAKE_FAIL_POINT("IDirect3DTexture9::LockRect");
  if (!locked_rect || level != 0 || rect || locked_) return D3DERR_INVALIDCALL;
  // Default-pool textures are lockable only when dynamic.
  if (pool_ == D3DPOOL_DEFAULT && !(usage_ & D3DUSAGE_DYNAMIC)) return D3DERR_INVALIDCALL;
  lock_flags_.push_back(flags);
  locked_ = true;
  locked_rect->Pitch = pitch_;
  locked_rect->pBits = bits_.data();
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE FakeTexture::UnlockRect(UINT level) {
  FAKE_FAIL_POINT("IDirect3DTexture9::UnlockRect");
  if (level != 0 || !locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  return D3D_OK;
}

// ---- FakeVertexBuffer ----

FakeVertexBuffer::FakeVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                   DefaultPoolCounter default_pool)
    : bytes_(length),
      usage_(usage),
      fvf_(fvf),
      pool_(pool),
      default_pool_(std::move(default_pool)) {
  if (default_pool_) ++*default_pool_;
}

FakeVertexBuffer::~FakeVertexBuffer() {
  if (default_pool_) --*default_pool_;
}

HRESULT STDMETHODCALLTYPE FakeVertexBuffer::Lock(UINT offset, UINT size, void** data, DWORD flags) {
  FAKE_FAIL_POINT("IDirect3DVertexBuffer9::Lock");
  if (!data || locked_ || offset > bytes_.size()) return D3DERR_INVALIDCALL;
  if (size != 0 && offset + size > bytes_.size()) return D3DERR_INVALIDCALL;
  lock_flags_.push_back(flags);
  locked_ = true;
  *data = bytes_.data() + offset;
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE FakeVertexBuffer::Unlock() {
  FAKE_FAIL_POINT("IDirect3DVertexBuffer9::Unlock");
  if (!locked_) return D3DERR_INVALIDCALL;
  locked_ = false;
  return D3D_OK;
}

// ---- FakeVertexDeclaration ----

FakeVertexDeclaration::FakeVertexDeclaration(const D3DVERTEXELEMENT9* elements) {
  for (;; ++elements) {
    elements_.push_back(*elements);
    if (elements->Stream == 0xFF) break;
  }
}

// ---- FakeDevice ----

DeviceConfig::DeviceConfig() {
  std::memset(&caps, 0, sizeof caps);
  caps.DeviceType = D3DDEVTYPE_HAL;
  caps.AdapterOrdinal = 0;
  caps.TextureCaps = 0;
  caps.MaxTextureWidth = 8192;
  caps.MaxTextureHeight = 8192;
  caps.PixelShaderVersion = D3DPS_VERSION(3, 0);
  caps.VertexShaderVersion = D3DVS_VERSION(3, 0);
  caps.NumSimultaneousRTs = 4;
  display_mode = {1920, 1080, 60, D3DFMT_X8R8G8B8};
}

FakeDevice::FakeDevice(const DeviceConfig& config)
    : config_(config), default_pool_(std::make_shared<int>(0)) {
  back_buffer_ = ComPtr<FakeSurface>::Adopt(new FakeSurface(
      config_.back_buffer_width, config_.back_buffer_height, D3DFMT_X8R8G8B8, nullptr));
  render_targets_.resize(config_.caps.NumSimultaneousRTs ? config_.caps.NumSimultaneousRTs : 1);
  render_targets_[0] = back_buffer_;
}

FakeDevice::~FakeDevice() = default;

void FakeDevice::SetParent(IDirect3D9* parent) {
  ComPtr<IDirect3D9> held = ComPtr<IDirect3D9>::Adopt(parent);
  if (parent) parent->AddRef();
  parent_ = std::move(held);
}

HRESULT STDMETHODCALLTYPE FakeDevice::TestCooperativeLevel() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.push_back("TestCooperativeLevel");
  ++cooperative_level_calls_;
  DEVICE_FAIL_POINT("TestCooperativeLevel");
  if (config_.cooperative_levels.empty()) return D3D_OK;
  HRESULT result = config_.cooperative_levels.front();
  config_.cooperative_levels.pop_front();
  return result;
}

HRESULT STDMETHODCALLTYPE FakeDevice::GetDeviceCaps(D3DCAPS9* caps) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.push_back("GetDeviceCaps");
  DEVICE_FAIL_POINT("GetDeviceCaps");
  if (!caps) return D3DERR_INVALIDCALL;
  *caps = config_.caps;
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE FakeDevice::GetDisplayMode(UINT swap_chain, D3DDISPLAYMODE* mode) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.push_back("GetDisplayMode");
  DEVICE_FAIL_POINT("GetDisplayMode");
  if (!mode || swap_chain != 0) return D3DERR_INVALIDCALL;
  *mode = config_.display_mode;
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE FakeDevice::Reset(D3DPRESENT_PARAMETERS* parameters) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.push_back("Reset");
  if (parameters) reset_calls_.push_back(*parameters);
  DEVICE_FAIL_POINT("Reset");
  if (!parameters) return D3DERR_INVALIDCALL;
  // A reset clears the device's own bindings first: they are no reference
  // of the application's. Then it refuses while the application still holds
  // default-pool resources (the state stays cleared, as in D3D).
  for (auto& target : render_targets_) target.reset();
  render_targets_[0] = back_buffer_;
  stream_source_.reset();
  stream_offset_ = stream_stride_ = 0;
  declaration_.reset();
  in_scene_ = false;
  if (*default_pool_ != 0) return D3DERR_INVALIDCALL;
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE FakeDevice::CreateTexture(UINT width, UINT height, UINT levels,
                                                    DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                                    IDirect3DTexture9** texture,
                                                    HANDLE* shared_handle) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.push_back("CreateTexture");
  DEVICE_FAIL_POINT("CreateTexture");
  if (!texture || shared_handle || width == 0 || height == 0 || levels != 1 ||
      BytesPerTexel(format) == 0)
    return D3DERR_INVALIDCALL;
  if (width > config_.caps.MaxTextureWidth || height > config_.caps.MaxTextureHeight)
    return D3DERR_INVALIDCALL;
  if ((usage & D3DUSAGE_RENDERTARGET) && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
  if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
  auto* created = new FakeTexture(width, height, levels, usage, format, pool, config_.pitch_padding,
                                  pool == D3DPOOL_DEFAULT ? default_pool_ : nullptr);
  created_textures_.push_back(created);
  *texture = created;
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE FakeDevice::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf,
                                                         D3DPOOL pool,
                                                         IDirect3DVertexBuffer9** buffer,
                                                         HANDLE* shared_handle) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.push_back("CreateVertexBuffer");
  DEVICE_FAIL_POINT("CreateVertexBuffer");
  if (!buffer || shared_handle || length == 0) return D3DERR_INVALIDCALL;
  auto* created = new FakeVertexBuffer(length, usage, fvf, pool,
                                       pool == D3DPOOL_DEFAULT ? default_pool_ : nullptr);
  created_vertex_buffers_.push_back(created);
  *buffer = created;
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE FakeDevice::UpdateTexture(IDirect3DBaseTexture9* source,
                                                    IDirect3DBaseTexture9* destination) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.push_back("UpdateTexture");
  update_texture_calls_.push_back({source, destination});
  DEVICE_FAIL_POINT("UpdateTexture");
  FakeTexture* from = AsTexture(source);
  FakeTexture* to = AsTexture(destination);
  if (!from || !to || from->pool() != D3DPOOL_SYSTEMMEM || to->pool() != D3DPOOL_DEFAULT ||
      from->format() != to->format() || from->width() != to->width() ||
      from->height() != to->height())
    return D3DERR_INVALIDCALL;
  size_t row = static_cast<size_t>(from->width()) * BytesPerTexel(from->format());
  for (UINT y = 0; y < from->height(); ++y)
    std::memcpy(to->bits().data() + static_cast<size_t>(y) * to->pitch(),
                from->bits().data() + static_cast<size_t>(y) * from->pitch(), row);
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE FakeDevice::GetRenderTargetData(IDirect3DSurface9* render_target,
                                                          IDirect3DSurface9* destination) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.push_back("GetRenderTargetData");
  render_target_data_calls_.push_back({render_target, destination});
  DEVICE_FAIL_POINT("GetRenderTargetData");
  FakeSurface* from = AsSurface(render_target);
  FakeSurface* to = AsSurface(destination);
  if (!from || !to || from->format() != to->format() || from->width() != to->width() ||
      from->height() != to->height())
    return D3DERR_INVALIDCALL;
  if (!to->container() || to->container()->pool() != D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;
  size_t row = static_cast<size_t>(from->width()) * BytesPerTexel(from->format());
  for (UINT y = 0; y < from->height(); ++y)
    std::memcpy(to->bits() + static_cast<size_t>(y) * to->pitch(),
                from->bits() + static_cast<size_t>(y) * from->pitch(), row);
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE FakeDevice::SetRenderTarget(DWORD index, IDirect3DSurface9* surface) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.push_back("SetRenderTarget");
  set_render_target_calls_.push_back({index, surface});
  DEVICE_FAIL_POINT("SetRenderTarget");
  if (index >= render_targets_.size()) return D3DERR_INVALIDCALL;
  // Render target 0 can never be unbound.
  if (index == 0 && !surface) return D3DERR_INVALIDCALL;
  if (surface) {
    FakeSurface* fake = AsSurface(surface);
    bool is_target =
        fake && (!fake->container() || (fake->container()->usage() & D3DUSAGE_RENDERTARGET));
    if (!is_target) return D3DERR_INVALIDCALL;
  }
  ComPtr<IDirect3DSurface9> held = ComPtr<IDirect3DSurface9>::Adopt(surface);
  if (surface) surface->AddRef();
  render_targets_[index] = std::move(held);
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE FakeDevice::GetRenderTarget(DWORD index, IDirect3DSurface9** surface) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.push_back("GetRenderTarget");
  DEVICE_FAIL_POINT("GetRenderTarget");
  if (!surface || index >= render_targets_.size()) return D3DERR_INVALIDCALL;
  *surface = nullptr;
  if (!render_targets_[index]) return D3DERR_NOTFOUND;
  render_targets_[index]->AddRef();
  *surface = render_targets_[index].get();
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE FakeDevice::BeginScene() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.push_back("BeginScene");
  DEVICE_FAIL_POINT("BeginScene");
  if (in_scene_) return D3DERR_INVALIDCALL;
  in_scene_ = true;
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE FakeDevice::EndScene() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.push_back("EndScene");
  // Direct3D fails EndScene only outside a scene, so after any call the
  // device is outside one: an injected failure must not leave it open.
  const bool was_in_scene = in_scene_;
  in_scene_ = false;
  DEVICE_FAIL_POINT("EndScene");
  if (!was_in_scene) return D3DERR_INVALIDCALL;
  ++scenes_;
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE FakeDevice::DrawPrimitive(D3DPRIMITIVETYPE type, UINT start_vertex,
                                                    UINT primitive_count) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.push_back("DrawPrimitive");
  DrawPrimitiveCall call;
  call.type = type;
  call.start_vertex = start_vertex;
  call.primitive_count = primitive_count;
  for (size_t i = 0; i < 4; ++i)
    call.targets[i] = i < render_targets_.size() ? render_targets_[i].get() : nullptr;
  if (has_active_pass_) call.pass = active_pass_.label;
  const size_t draw = draw_calls_.size();
  draw_calls_.push_back(call);
  DEVICE_FAIL_POINT("DrawPrimitive");
  DrawState state{type,
                  start_vertex,
                  primitive_count,
                  in_scene_,
                  declaration_.get(),
                  stream_source_.get(),
                  stream_offset_,
                  stream_stride_,
                  {call.targets[0], call.targets[1], call.targets[2], call.targets[3]}};
  std::vector<std::string> mismatches = QuadMismatches(state);
  if (!mismatches.empty()) {
    RecordDrawErrors(draw, mismatches);
    // The runtime refuses these; anything else it would draw, wrongly.
    if (!in_scene_ || !declaration_ || !stream_source_) return D3DERR_INVALIDCALL;
    return D3D_OK;
  }
  draw_calls_[draw].drawn = true;
  if (has_active_pass_ && active_pass_.program) {
    FakeSurface* targets[4];
    for (int m = 0; m < 4; ++m) targets[m] = AsSurface(call.targets[m]);
    PassOutcome outcome = RunPassProgram(active_pass_, targets);
    draw_calls_[draw].ran_program = true;
    draw_calls_[draw].feedback = outcome.feedback;
    RecordDrawErrors(draw, outcome.errors);
  }
  return D3D_OK;
}

void FakeDevice::RecordDrawErrors(size_t draw, const std::vector<std::string>& errors) {
  std::string prefix = "draw " + std::to_string(draw);
  if (!draw_calls_[draw].pass.empty()) prefix += " (" + draw_calls_[draw].pass + ")";
  for (const std::string& error : errors) draw_errors_.push_back(prefix + ": " + error);
}

void FakeDevice::EnterEffectPass(const ActivePass& pass) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  active_pass_ = pass;
  has_active_pass_ = true;
}

void FakeDevice::LeaveEffectPass(const EffectParameters* effect) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (!has_active_pass_ || active_pass_.effect != effect) return;
  has_active_pass_ = false;
  active_pass_ = ActivePass();
}

HRESULT STDMETHODCALLTYPE FakeDevice::CreateVertexDeclaration(
    const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** declaration) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.push_back("CreateVertexDeclaration");
  DEVICE_FAIL_POINT("CreateVertexDeclaration");
  if (!elements || !declaration) return D3DERR_INVALIDCALL;
  auto* created = new FakeVertexDeclaration(elements);
  created_declarations_.push_back(created);
  *declaration = created;
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE
FakeDevice::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.push_back("SetVertexDeclaration");
  set_declaration_calls_.push_back(declaration);
  DEVICE_FAIL_POINT("SetVertexDeclaration");
  ComPtr<IDirect3DVertexDeclaration9> held =
      ComPtr<IDirect3DVertexDeclaration9>::Adopt(declaration);
  if (declaration) declaration->AddRef();
  declaration_ = std::move(held);
  return D3D_OK;
}

HRESULT STDMETHODCALLTYPE FakeDevice::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer,
                                                      UINT offset, UINT stride) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  call_log_.push_back("SetStreamSource");
  set_stream_source_calls_.push_back({stream, buffer, offset, stride});
  DEVICE_FAIL_POINT("SetStreamSource");
  if (stream != 0) return D3DERR_INVALIDCALL;
  ComPtr<IDirect3DVertexBuffer9> held = ComPtr<IDirect3DVertexBuffer9>::Adopt(buffer);
  if (buffer) buffer->AddRef();
  stream_source_ = std::move(held);
  stream_offset_ = offset;
  stream_stride_ = stride;
  return D3D_OK;
}

IDirect3DSurface9* FakeDevice::render_target(DWORD index) const {
  return index < render_targets_.size() ? render_targets_[index].get() : nullptr;
}

// ---- FakeDirect3D ----

FakeDirect3D::FakeDirect3D() = default;
FakeDirect3D::~FakeDirect3D() = default;

UINT STDMETHODCALLTYPE FakeDirect3D::GetAdapterCount() { return adapter_count; }

HRESULT STDMETHODCALLTYPE FakeDirect3D::CheckDeviceFormat(UINT adapter, D3DDEVTYPE device_type,
                                                          D3DFORMAT adapter_format, DWORD usage,
                                                          D3DRESOURCETYPE resource_type,
                                                          D3DFORMAT check_format) {
  check_format_calls_.push_back(
      {adapter, device_type, adapter_format, usage, resource_type, check_format});
  FAKE_FAIL_POINT("IDirect3D9::CheckDeviceFormat");
  if (adapter >= adapter_count) return D3DERR_INVALIDCALL;
  auto it = format_results.find({check_format, usage});
  return it == format_results.end() ? format_default : it->second;
}

HRESULT STDMETHODCALLTYPE FakeDirect3D::CreateDevice(UINT adapter, D3DDEVTYPE device_type,
                                                     HWND focus_window, DWORD behavior_flags,
                                                     D3DPRESENT_PARAMETERS* parameters,
                                                     IDirect3DDevice9** device) {
  CreateDeviceCall call{adapter, device_type, focus_window, behavior_flags, {}};
  if (parameters) call.parameters = *parameters;
  create_device_calls_.push_back(call);
  FAKE_FAIL_POINT("IDirect3D9::CreateDevice");
  if (!device || !parameters || adapter >= adapter_count) return D3DERR_INVALIDCALL;
  ComPtr<FakeDevice> created =
      next_device ? std::move(next_device) : MakeFake<FakeDevice>(device_config);
  created->SetParent(this);
  last_device_ = created.get();
  created->AddRef();
  *device = created.get();
  return D3D_OK;
}

void FakeDirect3D::SupportTextureFormat(D3DFORMAT format) {
  for (DWORD usage : {DWORD(D3DUSAGE_RENDERTARGET), DWORD(D3DUSAGE_DYNAMIC), DWORD(0)})
    format_results[{format, usage}] = D3D_OK;
}

void InstallDirect3D(FakeDirect3D* d3d) {
  native_platform::SetDirect3DFactory([d3d](UINT) -> IDirect3D9* {
    if (d3d) d3d->AddRef();
    return d3d;
  });
}

}  // namespace fakes
