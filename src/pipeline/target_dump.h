// The target dump (plugin/target_dump_abi.h): every pass's render targets of
// one armed frame, read back to system memory as 16-bit RGBA for a tool.
// Off unless a tool arms it; the render job then checks one flag per pass.
#pragma once

#include <cstdint>

#include "plan/pass_plan.h"
#include "platform/win32_api.h"
#include "plugin/target_dump_abi.h"

struct Engine;

// Called on the handler's thread, between frames.
void ArmTargetDump();
void TakeTargetDump(TargetDumpResult* result);
void ReleaseTargetDump();

// Called by the render job (on the worker, if there is one).
bool TargetDumpArmed();
// Reads back what pass `pass` wrote: the outputs `targets` names, or, when
// it is null, output 0 in the alternating slot `alternating_slot`.
void CaptureTargets(Engine& engine, uint32_t pass, const PassTargets* targets,
                    size_t alternating_slot);
// The armed frame's passes are all read: later frames are not.
void EndTargetDump();

// One row of a render target of `format` as 16-bit RGBA, 0..1 mapped to
// 0..65535 with clamping (signed formats: -1..1 clamped to 0..1). False for
// a format the dump cannot read.
bool TargetRowTo16(D3DFORMAT format, const void* row, int32_t width, uint16_t* rgba);
