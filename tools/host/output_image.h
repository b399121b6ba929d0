// The image a process call writes its result into: max_width × max_height
// host pixels, fenced by guard regions, everything pre-filled with a
// sentinel so that a write outside the frame's width × height shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/host/host_abi.h"

namespace texloom_host {

class OutputImage {
 public:
  static constexpr size_t kGuardBytes = 4096;
  // Sentinel components: an unusual pair of 16-bit values that a filter of
  // the tests never produces (0x5AA5 = 23205, 0xA55A = -23206).
  static constexpr int16_t kSentinel0 = 0x5AA5;
  static constexpr int16_t kSentinel1 = static_cast<int16_t>(0xA55A);

  void Allocate(int max_width, int max_height);
  // Fills image and guards with the sentinel again.
  void Reset();

  HostPixel* pixels();
  const HostPixel* pixels() const;
  int max_width() const { return max_width_; }
  int max_height() const { return max_height_; }
  HostPixel At(int x, int y) const { return pixels()[static_cast<size_t>(y) * max_width_ + x]; }

  // Empty when nothing outside the first `width` pixels of the first
  // `height` rows (nor in the guards) differs from the sentinel; otherwise
  // where the first difference is.
  std::string CheckOutside(int width, int height) const;
  // The frame's width × height pixels, rows packed.
  std::vector<HostPixel> Frame(int width, int height) const;

  static constexpr uint8_t kGuardByte = 0xCD;
  static HostPixel Sentinel() { return HostPixel{kSentinel0, kSentinel1, kSentinel0}; }

 private:
  std::vector<uint8_t> bytes_;
  int max_width_ = 0, max_height_ = 0;
};

}  // namespace texloom_host
