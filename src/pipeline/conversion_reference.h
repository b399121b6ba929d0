// Plain scalar conversions, one value at a time: the arithmetic every
// instruction-set tier must reproduce bit for bit. Tests and benchmarks
// compare the tiers with these; the product never calls them.
#pragma once

#include <cstdint>

#include "pipeline/conversion.h"

// Floating-point read-backs round differently per tier: the MMX tier adds
// 0.5, floors and keeps the low 16 bits; the SSE and SSE2 tiers round to the
// nearest integer (ties to even) and saturate.
enum class ReadbackRounding { floor_wrap, nearest_saturate };

float Float32FromComponent(int16_t v);
uint16_t Float16FromComponent(int16_t v);
uint16_t Raw16FromComponent(int16_t v);
uint16_t Biased16FromComponent(int16_t v);

int16_t ComponentFromFloat32(float x, ReadbackRounding rounding);
int16_t ComponentFromFloat16(uint16_t h, ReadbackRounding rounding);
int16_t ComponentFromRaw16(uint16_t channel);
int16_t ComponentFromBiased16(uint16_t channel);

void UploadRowReference(uint32_t family, uint8_t* texels, const HostPixel* pixels,
                        uint32_t columns);
void ReadbackRowReference(uint32_t family, ReadbackRounding rounding, HostPixel* pixels,
                          const uint8_t* texels, uint32_t columns);

// Whole images, row by row, with the job's geometry.
void UploadImageReference(uint32_t family, const ConversionJob& job);
void ReadbackImageReference(uint32_t family, ReadbackRounding rounding, const ConversionJob& job);
