// texloom-run from parsed options to written outputs: check the inputs,
// stage the outputs, decode the clip into host pixels, run the host, encode
// what it delivers, and move the outputs into place only on success.
#pragma once

#include <cstdio>
#include <string>

#include "run/host_runner.h"
#include "run/run_options.h"

namespace texloom_run {

enum ExitStatus {
  kExitDone = 0,
  kExitFrameFailed = 1,
  kExitBadInput = 2,        // arguments, clip, effect file, outputs
  kExitEffectUnusable = 3,  // discovery or init failed
  kExitToolFailed = 4,      // ffmpeg, Wine or the host failed
  kExitCannotRunHere = 5,   // Wine, Xvfb or a Direct3D 9 device is missing
};

struct RunEnvironment {
  HostLaunch launch;
  std::string default_plugin;  // TEXLOOM_RUN_PLUGIN
  std::string effect_compiler;  // TEXLOOM_FXO: tools/texloom-fxo, for .fx effects
  FILE* messages = stderr;
  bool messages_on_terminal = false;
};

// Reads TEXLOOM_RUN_HOST (a native stand-in host), or TEXLOOM_RUN_WINE and
// TEXLOOM_RUN_HOST_EXE, and TEXLOOM_RUN_PLUGIN and TEXLOOM_FXO. False with a reason when
// neither host is named.
bool EnvironmentFromVariables(RunEnvironment* environment, std::string* error);

int RunTexloom(const RunOptions& options, const RunEnvironment& environment);

}  // namespace texloom_run
