// The target dump's store and the read-back of one render target.
#include "pipeline/target_dump.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "engine/engine.h"

namespace {

struct TargetDumpStore {
  std::atomic<bool> armed{false};
  std::vector<TargetDumpImage> images;
  std::vector<std::vector<uint16_t>> pixels;  // owns images[i].pixels
};

TargetDumpStore store;

uint16_t FromUnit(float value) {
  if (!(value > 0.0f)) return 0;  // NaN too
  if (value >= 1.0f) return 65535;
  return static_cast<uint16_t>(std::lround(value * 65535.0f));
}

float HalfToFloat(uint16_t half) {
  const int exponent = (half >> 10) & 0x1f;
  const int mantissa = half & 0x3ff;
  float magnitude;
  if (exponent == 0) {
    magnitude = std::ldexp(static_cast<float>(mantissa), -24);
  } else if (exponent == 31) {
    magnitude = mantissa != 0 ? NAN : INFINITY;
  } else {
    magnitude = std::ldexp(static_cast<float>(mantissa | 0x400), exponent - 25);
  }
  return (half & 0x8000) ? -magnitude : magnitude;
}

// Reads back one slot into a new image; the image records why it failed.
void ReadSlot(Engine& engine, TargetDumpImage* image, std::vector<uint16_t>* pixels) {
  const D3DFORMAT format = TextureFormatFor(engine.image_format);
  image->format = static_cast<uint32_t>(format);
  if (static_cast<size_t>(image->slot) >= engine.render_target_slots.size() ||
      !engine.render_target_slots[image->slot] || engine.frame_width <= 0 ||
      engine.frame_height <= 0) {
    image->status = D3DERR_INVALIDCALL;
    return;
  }
  const UINT width = static_cast<UINT>(engine.frame_width);
  const UINT height = static_cast<UINT>(engine.frame_height);
  ComPtr<IDirect3DSurface9> target;
  HRESULT status = engine.render_target_slots[image->slot]->GetSurfaceLevel(0, target.put());
  ComPtr<IDirect3DTexture9> copy;
  if (SUCCEEDED(status)) {
    status = engine.device->CreateTexture(width, height, 1, 0, format, D3DPOOL_SYSTEMMEM,
                                          copy.put(), nullptr);
  }
  ComPtr<IDirect3DSurface9> copy_surface;
  if (SUCCEEDED(status)) status = copy->GetSurfaceLevel(0, copy_surface.put());
  if (SUCCEEDED(status)) status = engine.device->GetRenderTargetData(target.get(), copy_surface.get());
  D3DLOCKED_RECT locked = {};
  if (SUCCEEDED(status)) status = copy->LockRect(0, &locked, nullptr, D3DLOCK_READONLY);
  if (FAILED(status)) {
    image->status = status;
    return;
  }
  pixels->resize(static_cast<size_t>(width) * height * 4);
  bool known = true;
  for (UINT y = 0; y < height && known; ++y) {
    known = TargetRowTo16(format, static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch,
                          engine.frame_width, pixels->data() + static_cast<size_t>(y) * width * 4);
  }
  copy->UnlockRect(0);
  if (!known) {
    pixels->clear();
    image->status = E_NOTIMPL;
    return;
  }
  image->width = engine.frame_width;
  image->height = engine.frame_height;
  image->pixels = pixels->data();
}

void Capture(Engine& engine, uint32_t pass, int32_t output, int32_t slot) {
  TargetDumpImage image = {};
  image.pass = static_cast<int32_t>(pass);
  image.output = output;
  image.slot = slot;
  std::snprintf(image.name, sizeof image.name,
                static_cast<size_t>(slot) < engine.render_target_params.size() ? "TxRT%d" : "slot%d",
                static_cast<int>(slot));
  std::vector<uint16_t> pixels;
  try {
    ReadSlot(engine, &image, &pixels);
  } catch (const std::bad_alloc&) {
    image.status = E_OUTOFMEMORY;
    image.pixels = nullptr;
    pixels.clear();
  }
  try {
    store.pixels.push_back(std::move(pixels));
    store.images.push_back(image);
  } catch (const std::bad_alloc&) {
    // The image is left out; the tool sees fewer than the passes drew.
  }
}

}  // namespace

void ArmTargetDump() {
  ReleaseTargetDump();
  store.armed.store(true);
}

void TakeTargetDump(TargetDumpResult* result) {
  // A frame that drew nothing leaves it armed: no later frame may answer.
  store.armed.store(false);
  result->count = static_cast<uint32_t>(store.images.size());
  result->images = store.images.empty() ? nullptr : store.images.data();
}

void ReleaseTargetDump() {
  store.armed.store(false);
  std::vector<TargetDumpImage>().swap(store.images);
  std::vector<std::vector<uint16_t>>().swap(store.pixels);
}

bool TargetDumpArmed() { return store.armed.load(std::memory_order_relaxed); }

void CaptureTargets(Engine& engine, uint32_t pass, const PassTargets* targets,
                    size_t alternating_slot) {
  if (!targets) {
    Capture(engine, pass, 0, static_cast<int32_t>(alternating_slot));
    return;
  }
  for (int32_t m = 0; m < 4; ++m) {
    if (targets->target[m] >= 0) Capture(engine, pass, m, targets->target[m]);
  }
}

void EndTargetDump() { store.armed.store(false); }

bool TargetRowTo16(D3DFORMAT format, const void* row, int32_t width, uint16_t* rgba) {
  const size_t values = static_cast<size_t>(width) * 4;
  switch (format) {
    case D3DFMT_A32B32G32R32F: {
      const float* in = static_cast<const float*>(row);
      for (size_t i = 0; i < values; ++i) rgba[i] = FromUnit(in[i]);
      return true;
    }
    case D3DFMT_A16B16G16R16F: {
      const uint16_t* in = static_cast<const uint16_t*>(row);
      for (size_t i = 0; i < values; ++i) rgba[i] = FromUnit(HalfToFloat(in[i]));
      return true;
    }
    case D3DFMT_A16B16G16R16:
      std::memcpy(rgba, row, values * sizeof(uint16_t));
      return true;
    case D3DFMT_Q16W16V16U16: {
      const int16_t* in = static_cast<const int16_t*>(row);
      for (size_t i = 0; i < values; ++i) {
        rgba[i] = FromUnit(static_cast<float>(in[i]) / 32767.0f);
      }
      return true;
    }
    default:
      return false;
  }
}
