// texloom-host.exe's run mode; run_mode.cpp describes its protocol.
#pragma once

namespace texloom_host {

// Runs with the arguments argv[first..argc-1]; returns the exit status.
int RunMode(int argc, wchar_t** argv, int first);

}  // namespace texloom_host
