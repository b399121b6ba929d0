// Ctrl-C and termination requests: noted by a handler, acted on by the
// loops, which end the children and remove what was half-written.
#pragma once

namespace texloom_run {

// SIGINT, SIGTERM and SIGHUP set the flag (and interrupt blocking calls);
// SIGPIPE is ignored so that a vanished child shows as a failed write.
void InstallInterruptHandlers();

bool Interrupted();

// The signal that interrupted, for the exit status (128 + signal).
int InterruptSignal();

}  // namespace texloom_run
