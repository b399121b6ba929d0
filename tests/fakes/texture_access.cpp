#include "fakes/texture_access.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "fakes/fake_d3d9.h"

namespace fakes {
namespace {

// The memory of a fake texture or of a stand-alone fake surface.
struct Image {
  uint8_t* bits;
  size_t pitch;
  UINT width;
  UINT height;
  D3DFORMAT format;
  UINT texel_bytes;
};

Image ImageOf(IUnknown* object) {
  if (FakeTexture* texture = AsFakeTexture(object)) {
    return {texture->bits().data(), static_cast<size_t>(texture->pitch()),
            texture->width(),       texture->height(),
            texture->format(),      BytesPerTexel(texture->format())};
  }
  if (auto* surface = dynamic_cast<FakeSurface*>(object)) {
    return {surface->bits(),   static_cast<size_t>(surface->pitch()),
            surface->width(),  surface->height(),
            surface->format(), BytesPerTexel(surface->format())};
  }
  throw std::invalid_argument("not a fake texture or surface");
}

uint8_t* TexelAt(const Image& image, UINT x, UINT y) {
  if (x >= image.width || y >= image.height) {
    throw std::invalid_argument("texel (" + std::to_string(x) + ", " + std::to_string(y) +
                                ") outside a " + std::to_string(image.width) + "x" +
                                std::to_string(image.height) + " image");
  }
  return image.bits + y * image.pitch + static_cast<size_t>(x) * image.texel_bytes;
}

const Image& WithCodec(const Image& image) {
  if (!HasTexelCodec(image.format))
    throw std::invalid_argument("no texel codec for format " + std::to_string(image.format));
  return image;
}

}  // namespace

FakeTexture* AsFakeTexture(IUnknown* object) {
  if (auto* texture = dynamic_cast<FakeTexture*>(object)) return texture;
  if (auto* surface = dynamic_cast<FakeSurface*>(object)) return surface->container();
  return nullptr;
}

Float4 ReadTexel(IUnknown* object, UINT x, UINT y) {
  const Image image = ImageOf(object);
  return DecodeTexel(WithCodec(image).format, TexelAt(image, x, y));
}

void WriteTexel(IUnknown* object, UINT x, UINT y, const Float4& value) {
  const Image image = ImageOf(object);
  EncodeTexel(WithCodec(image).format, value, TexelAt(image, x, y));
}

std::vector<Float4> ReadTexels(IUnknown* object) {
  const Image image = WithCodec(ImageOf(object));
  std::vector<Float4> texels;
  texels.reserve(static_cast<size_t>(image.width) * image.height);
  for (UINT y = 0; y < image.height; ++y) {
    for (UINT x = 0; x < image.width; ++x)
      texels.push_back(DecodeTexel(image.format, TexelAt(image, x, y)));
  }
  return texels;
}

void FillTexels(IUnknown* object, const std::function<Float4(UINT x, UINT y)>& value) {
  const Image image = WithCodec(ImageOf(object));
  for (UINT y = 0; y < image.height; ++y) {
    for (UINT x = 0; x < image.width; ++x)
      EncodeTexel(image.format, value(x, y), TexelAt(image, x, y));
  }
}

std::vector<uint8_t> ReadTexelBytes(IUnknown* object, UINT x, UINT y) {
  const Image image = ImageOf(object);
  const uint8_t* texel = TexelAt(image, x, y);
  return std::vector<uint8_t>(texel, texel + image.texel_bytes);
}

void WriteTexelBytes(IUnknown* object, UINT x, UINT y, const std::vector<uint8_t>& bytes) {
  const Image image = ImageOf(object);
  if (bytes.size() != image.texel_bytes) {
    throw std::invalid_argument(std::to_string(bytes.size()) + " bytes for a texel of " +
                                std::to_string(image.texel_bytes));
  }
  std::memcpy(TexelAt(image, x, y), bytes.data(), bytes.size());
}

}  // namespace fakes
