// Conversion between host images (rows of 3 x int16 pixels) and the texels
// of a locked Direct3D texture, with one row of routines per texel layout.
#pragma once

#include <cstdint>

#include "plan/image_format.h"
#include "platform/win32_api.h"

// The host's 6-byte image element.
struct HostPixel {
  int16_t c0;
  int16_t c1;
  int16_t c2;
};
static_assert(sizeof(HostPixel) == 6, "host pixels are packed");

// Parameter block of one whole-image conversion.
struct ConversionJob {
  void* texture_bits;
  HostPixel* host_pixels;
  uint32_t rows;
  uint32_t columns;
  int32_t texture_pitch;  // bytes between texture rows
  int32_t host_stride;    // pixels between host rows
};

// Same shape as the host's parallel-run callback; only the job is used.
typedef void(__cdecl* ParallelConversion)(int thread_index, int thread_count, ConversionJob* job,
                                          void* unused);
typedef void(__cdecl* SerialConversion)(ConversionJob* job);

struct ConversionRoutines {
  ParallelConversion upload_parallel;
  ParallelConversion readback_parallel;
  SerialConversion upload_serial;
  SerialConversion readback_serial;
};

enum KernelFamily : uint32_t {
  float32 = 0,
  float16 = 1,
  raw16 = 2,
  biased16 = 3,
  kNoKernelFamily = 4,
};

KernelFamily KernelFamilyFor(int32_t image_format);

// Feature bits: 1 MMX, 2 SSE, 4 SSE2, 8 AVX2 (each only when the system
// supports it; 8 also needs the system to save the YMM registers).
int32_t DetectCpuFeatures();

// Puts the routine row of the family into *out. False, with *out untouched,
// for a family above 3 or a processor without MMX, SSE and SSE2.
bool SelectConversionRoutines(const ConversionRoutines** out, uint32_t family);

// Next row a parallel routine claims; callers reset it to 0 before each run.
extern volatile LONG row_counter;
extern int32_t cpu_features;
