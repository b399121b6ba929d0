// Test access to the texels of fake textures and surfaces: as float4
// through the texel codecs, or as raw bytes. A texture's surface reaches
// the texture's memory. Anything that is no fake, a format without a codec
// or a texel outside the image throws std::invalid_argument, which
// GoogleTest reports as a failure of the test.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "fakes/texel_codec.h"
#include "platform/win32_api.h"

namespace fakes {

class FakeTexture;

// A fake texture, a fake texture's surface, or null.
FakeTexture* AsFakeTexture(IUnknown* texture_or_surface);

Float4 ReadTexel(IUnknown* texture_or_surface, UINT x, UINT y);
void WriteTexel(IUnknown* texture_or_surface, UINT x, UINT y, const Float4& value);
// Row-major, width x height.
std::vector<Float4> ReadTexels(IUnknown* texture_or_surface);
void FillTexels(IUnknown* texture_or_surface, const std::function<Float4(UINT x, UINT y)>& value);

// The texel's bytes in memory order (BytesPerTexel of the format).
std::vector<uint8_t> ReadTexelBytes(IUnknown* texture_or_surface, UINT x, UINT y);
void WriteTexelBytes(IUnknown* texture_or_surface, UINT x, UINT y,
                     const std::vector<uint8_t>& bytes);

}  // namespace fakes
