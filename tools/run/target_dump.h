// --dump-targets: the folder the render targets go to, checked before
// anything runs, and the host's raw targets turned into 16-bit PNGs there.
#pragma once

#include <string>
#include <vector>

#include "run/run_command.h"
#include "run/run_options.h"

namespace texloom_run {

// frame_NNNNNN_<name>.png, name as the host gives it ("pass0_out0_TxRT1").
std::string TargetPngName(long frame, const std::string& name);
// The host's raw file of the same target (tools/host/run_mode.cpp).
std::string TargetRawName(long frame, const std::string& name);

// The folder's parent must exist; the folder is made if missing; a target
// file of one of `frames` already there is refused unless `overwrite` is
// replace. False with a one-line reason.
bool PrepareDumpFolder(const std::string& folder, const std::vector<long>& frames,
                       Overwrite overwrite, std::string* error);

// raw: width × height little-endian 16-bit RGBA, written by ffmpeg as a
// 16-bit RGBA PNG.
bool RawTargetToPng(const std::string& raw, int width, int height, const std::string& png,
                    std::string* error);

// --frames with --dump-targets and no -o: each frame filtered alone, its
// targets dumped; the folder is checked for every frame first. The exit
// status of the first run that fails, or 0.
int DumpFrameTargets(const RunOptions& options, const RunEnvironment& environment);

}  // namespace texloom_run
