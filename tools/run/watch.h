// texloom-run --watch: the edit loop of an effect's author. The chosen
// frames are rendered, each beside its source, into the output folder, and
// rendered again whenever the effect file or a file it includes changes
// (an HLSL effect is compiled by tools/texloom-fxo each time, which names
// those files); a failed compile or render is reported and the loop waits
// for the next save.
#pragma once

#include "run/run_command.h"
#include "run/run_options.h"

namespace texloom_run {

// Runs until interrupted; returns 128 + the signal.
int WatchEffect(const RunOptions& options, const RunEnvironment& environment);

}  // namespace texloom_run
