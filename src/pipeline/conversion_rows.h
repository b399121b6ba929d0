// Row distribution shared by the instruction-set files. The serial and the
// parallel routine of a cell run the same row function and differ only in
// which rows they take.
//
// Everything here has internal linkage: each instruction-set file compiles
// its own copy with its own flags, so the linker can never hand an MMX-only
// caller a copy built with SSE2 code in it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pipeline/conversion.h"

namespace {

typedef void (*UploadRow)(uint8_t* texels, const HostPixel* pixels, uint32_t columns);
typedef void (*ReadbackRow)(HostPixel* pixels, const uint8_t* texels, uint32_t columns);

inline void NothingAfterRows() {}

inline uint8_t* TextureRow(const ConversionJob* job, uint32_t row) {
  return static_cast<uint8_t*>(job->texture_bits) +
         static_cast<ptrdiff_t>(row) * job->texture_pitch;
}

inline HostPixel* HostRow(const ConversionJob* job, uint32_t row) {
  return job->host_pixels + static_cast<ptrdiff_t>(row) * job->host_stride;
}

// Claims the next row; a counter left negative by a caller counts as used up.
inline bool ClaimRow(const ConversionJob* job, uint32_t* row) {
  *row = static_cast<uint32_t>(InterlockedExchangeAdd(&row_counter, 1));
  return *row < job->rows;
}

template <UploadRow Row, void (*AfterRows)() = NothingAfterRows>
HOST_ENTRY void __cdecl UploadSerial(ConversionJob* job) {
  for (uint32_t row = 0; row < job->rows; ++row) {
    Row(TextureRow(job, row), HostRow(job, row), job->columns);
  }
  AfterRows();
}

template <UploadRow Row, void (*AfterRows)() = NothingAfterRows>
HOST_ENTRY void __cdecl UploadParallel(int, int, ConversionJob* job, void*) {
  uint32_t row;
  while (ClaimRow(job, &row)) Row(TextureRow(job, row), HostRow(job, row), job->columns);
  AfterRows();
}

template <ReadbackRow Row>
HOST_ENTRY void __cdecl ReadbackSerial(ConversionJob* job) {
  for (uint32_t row = 0; row < job->rows; ++row) {
    Row(HostRow(job, row), TextureRow(job, row), job->columns);
  }
}

template <ReadbackRow Row>
HOST_ENTRY void __cdecl ReadbackParallel(int, int, ConversionJob* job, void*) {
  uint32_t row;
  while (ClaimRow(job, &row)) Row(HostRow(job, row), TextureRow(job, row), job->columns);
}

template <UploadRow Upload, ReadbackRow Readback, void (*AfterUploadRows)() = NothingAfterRows>
constexpr ConversionRoutines RoutinesOf() {
  return ConversionRoutines{UploadParallel<Upload, AfterUploadRows>, ReadbackParallel<Readback>,
                            UploadSerial<Upload, AfterUploadRows>, ReadbackSerial<Readback>};
}

}  // namespace
