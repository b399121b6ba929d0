// The one place where RGB and the host's YCbCr meet: BT.601 coefficients,
// full range, Y in 0..4096 and Cb, Cr in -2048..2048. Y'CbCr clips come
// in directly: limited-range 16-bit (ffmpeg's yuv444p16le, to which every
// depth shifts exactly) to the host's range, through RGB only when their
// matrix is BT.709.
#pragma once

#include <cstddef>
#include <cstdint>

namespace texloom_run {

// One host pixel as the host stores it: three int16, packed.
struct HostPixel {
  int16_t y;
  int16_t cb;
  int16_t cr;
};
static_assert(sizeof(HostPixel) == 6, "host pixels are packed");

constexpr size_t kHostPixelBytes = sizeof(HostPixel);

// r, g, b in 0..1 (values outside are clamped first).
HostPixel HostPixelFromRgb(double r, double g, double b);

// The exact inverse of the matrix, unclamped: an effect may leave the RGB cube.
void RgbFromHostPixel(const HostPixel& pixel, double* r, double* g, double* b);

// Rows as ffmpeg pipes them: rgb48le (6 bytes a pixel, little-endian) and
// rgb24 (3 bytes a pixel). Out-of-cube colours are clamped to it.
void HostRowFromRgb48le(const uint8_t* rgb48le, HostPixel* pixels, size_t count);
void HostRowFromRgb24(const uint8_t* rgb24, HostPixel* pixels, size_t count);
void Rgb24RowFromHost(const HostPixel* pixels, uint8_t* rgb24, size_t count);
void Rgb48leRowFromHost(const HostPixel* pixels, uint8_t* rgb48le, size_t count);

enum class Matrix { bt601, bt709 };

// A whole frame of yuv444p16le (three planes of count samples): Y' =
// (Y - 4096) / 56064, Cb' = (Cb - 32768) / 57344, likewise Cr'; BT.601
// values scale by 4096 into the host; BT.709 ones go through R'G'B'
// (unclamped) into BT.601. Rounded, and clamped to the host's ranges.
void HostFrameFromYuv444p16le(const uint8_t* planes, HostPixel* pixels, size_t count,
                              Matrix matrix);

// Host pixels are little-endian int16 in files; these read and write them
// independently of the machine's byte order.
void HostPixelsFromBytes(const uint8_t* bytes, HostPixel* pixels, size_t count);
void BytesFromHostPixels(const HostPixel* pixels, uint8_t* bytes, size_t count);

}  // namespace texloom_run
