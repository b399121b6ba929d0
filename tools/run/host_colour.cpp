#include "run/host_colour.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace texloom_run {
namespace {

constexpr double kKr = 0.299;
constexpr double kKg = 0.587;
constexpr double kKb = 0.114;
// Cb = (B - Y) / kCbScale and Cr = (R - Y) / kCrScale give the published
// coefficients (-0.168736, -0.331264, 0.5 and 0.5, -0.418688, -0.081312).
constexpr double kCbScale = 2.0 * (1.0 - kKb);  // 1.772
constexpr double kCrScale = 2.0 * (1.0 - kKr);  // 1.402
constexpr double kHostScale = 4096.0;

double Clamp01(double v) { return v < 0.0 ? 0.0 : v > 1.0 ? 1.0 : v; }

int16_t RoundClamped(double v, double low, double high) {
  return static_cast<int16_t>(std::lround(std::min(high, std::max(low, v))));
}

// Host values of every 16-bit sample v: (v - offset) / range in the host's
// scale, rounded and clamped to low..high.
std::vector<int16_t> ScaleTable(double offset, double range, double low, double high) {
  std::vector<int16_t> table(65536);
  for (size_t v = 0; v < table.size(); ++v) {
    table[v] = RoundClamped((static_cast<double>(v) - offset) / range * kHostScale, low, high);
  }
  return table;
}

// lround of a value known to be 0 or more, without the library call.
long RoundPositive(double v) { return static_cast<long>(v + 0.5); }

bool LittleEndian() {
  const uint16_t one = 1;
  uint8_t first;
  std::memcpy(&first, &one, 1);
  return first == 1;
}

}  // namespace

HostPixel HostPixelFromRgb(double r, double g, double b) {
  r = Clamp01(r);
  g = Clamp01(g);
  b = Clamp01(b);
  const double y = kKr * r + kKg * g + kKb * b;
  const double cb = (b - y) / kCbScale;
  const double cr = (r - y) / kCrScale;
  return HostPixel{RoundClamped(y * kHostScale, 0.0, 4096.0),
                   RoundClamped(cb * kHostScale, -2048.0, 2048.0),
                   RoundClamped(cr * kHostScale, -2048.0, 2048.0)};
}

void RgbFromHostPixel(const HostPixel& pixel, double* r, double* g, double* b) {
  const double y = pixel.y / kHostScale;
  const double cb = pixel.cb / kHostScale;
  const double cr = pixel.cr / kHostScale;
  *r = y + kCrScale * cr;
  *b = y + kCbScale * cb;
  *g = (y - kKr * *r - kKb * *b) / kKg;
}

void HostRowFromRgb48le(const uint8_t* rgb48le, HostPixel* pixels, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = rgb48le + 6 * i;
    const double r = (p[0] | p[1] << 8) / 65535.0;
    const double g = (p[2] | p[3] << 8) / 65535.0;
    const double b = (p[4] | p[5] << 8) / 65535.0;
    pixels[i] = HostPixelFromRgb(r, g, b);
  }
}

void HostRowFromRgb24(const uint8_t* rgb24, HostPixel* pixels, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = rgb24 + 3 * i;
    pixels[i] = HostPixelFromRgb(p[0] / 255.0, p[1] / 255.0, p[2] / 255.0);
  }
}

void Rgb24RowFromHost(const HostPixel* pixels, uint8_t* rgb24, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    double rgb[3];
    RgbFromHostPixel(pixels[i], &rgb[0], &rgb[1], &rgb[2]);
    for (int k = 0; k < 3; ++k) {
      rgb24[3 * i + k] = static_cast<uint8_t>(std::lround(Clamp01(rgb[k]) * 255.0));
    }
  }
}

void Rgb48leRowFromHost(const HostPixel* pixels, uint8_t* rgb48le, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    double rgb[3];
    RgbFromHostPixel(pixels[i], &rgb[0], &rgb[1], &rgb[2]);
    for (int k = 0; k < 3; ++k) {
      const long v = RoundPositive(Clamp01(rgb[k]) * 65535.0);
      rgb48le[6 * i + 2 * k] = static_cast<uint8_t>(v & 0xFF);
      rgb48le[6 * i + 2 * k + 1] = static_cast<uint8_t>(v >> 8);
    }
  }
}

void HostFrameFromYuv444p16le(const uint8_t* planes, HostPixel* pixels, size_t count,
                              Matrix matrix) {
  // BT.709's luma weights; Cb and Cr scales as for BT.601 above.
  constexpr double kKr709 = 0.2126;
  constexpr double kKb709 = 0.0722;
  constexpr double kKg709 = 1.0 - kKr709 - kKb709;
  auto sample = [planes, count](int plane, size_t i) {
    const uint8_t* p = planes + 2 * (static_cast<size_t>(plane) * count + i);
    return static_cast<double>(p[0] | p[1] << 8);
  };
  if (matrix == Matrix::bt601) {
    // Each component alone scales: tables of the same formula, made once,
    // instead of three roundings per pixel (a 720p frame took 100 ms).
    static const std::vector<int16_t> kLuma = ScaleTable(4096.0, 56064.0, 0.0, 4096.0);
    static const std::vector<int16_t> kChroma = ScaleTable(32768.0, 57344.0, -2048.0, 2048.0);
    const uint8_t* y = planes;
    const uint8_t* cb = planes + 2 * count;
    const uint8_t* cr = planes + 4 * count;
    for (size_t i = 0; i < count; ++i) {
      pixels[i] = HostPixel{kLuma[y[2 * i] | y[2 * i + 1] << 8],
                            kChroma[cb[2 * i] | cb[2 * i + 1] << 8],
                            kChroma[cr[2 * i] | cr[2 * i + 1] << 8]};
    }
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    double y = (sample(0, i) - 4096.0) / 56064.0;
    double cb = (sample(1, i) - 32768.0) / 57344.0;
    double cr = (sample(2, i) - 32768.0) / 57344.0;
    if (matrix == Matrix::bt709) {
      const double r = y + 2.0 * (1.0 - kKr709) * cr;
      const double b = y + 2.0 * (1.0 - kKb709) * cb;
      const double g = (y - kKr709 * r - kKb709 * b) / kKg709;
      y = kKr * r + kKg * g + kKb * b;
      cb = (b - y) / kCbScale;
      cr = (r - y) / kCrScale;
    }
    pixels[i] = HostPixel{RoundClamped(y * kHostScale, 0.0, 4096.0),
                          RoundClamped(cb * kHostScale, -2048.0, 2048.0),
                          RoundClamped(cr * kHostScale, -2048.0, 2048.0)};
  }
}

void HostPixelsFromBytes(const uint8_t* bytes, HostPixel* pixels, size_t count) {
  if (LittleEndian()) {
    std::memcpy(pixels, bytes, count * sizeof(HostPixel));
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = bytes + 6 * i;
    pixels[i].y = static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
    pixels[i].cb = static_cast<int16_t>(static_cast<uint16_t>(p[2] | p[3] << 8));
    pixels[i].cr = static_cast<int16_t>(static_cast<uint16_t>(p[4] | p[5] << 8));
  }
}

void BytesFromHostPixels(const HostPixel* pixels, uint8_t* bytes, size_t count) {
  if (LittleEndian()) {
    std::memcpy(bytes, pixels, count * sizeof(HostPixel));
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    const uint16_t v[3] = {static_cast<uint16_t>(pixels[i].y), static_cast<uint16_t>(pixels[i].cb),
                           static_cast<uint16_t>(pixels[i].cr)};
    for (int k = 0; k < 3; ++k) {
      bytes[6 * i + 2 * k] = static_cast<uint8_t>(v[k] & 0xFF);
      bytes[6 * i + 2 * k + 1] = static_cast<uint8_t>(v[k] >> 8);
    }
  }
}

}  // namespace texloom_run
