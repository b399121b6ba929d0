// The frames the effect's sources show, kept on the GPU: which texture
// shows which frame, and the upload of the frames that are not there yet.
#pragma once

#include <cstdint>

#include "host/host_interface.h"
#include "pipeline/conversion.h"

struct Engine;

// Writes "Frame" and "FrameNum", keeps the textures of frames still needed,
// assigns textures to the missing ones and binds every "TxSrc%d".
bool PrepareFrameSources(Engine& engine, int32_t frame_count, int32_t current_frame);
// True when a texture holds the frame's pixels.
bool IsFrameResident(const Engine& engine, int32_t frame);
// Converts the host image of the frame into its texture (or into the
// staging texture, for a current frame that no source shows).
bool UploadSourceFrame(Engine& engine, const HostPixel* image, int32_t frame, ParallelRun service);

// One direction of a routine row.
struct RoutinePair {
  ParallelConversion parallel;
  SerialConversion serial;
};
RoutinePair UploadRoutines(const ConversionRoutines& routines);
RoutinePair ReadbackRoutines(const ConversionRoutines& routines);

// Locks level 0 of the texture, converts the whole frame (on the host's
// threads when there is a service) and unlocks.
HRESULT RunConversion(Engine& engine, IDirect3DTexture9* texture, DWORD lock_flags,
                      RoutinePair routines, const HostPixel* image, ParallelRun service);
