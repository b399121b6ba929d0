#include "run/interruption.h"

#include <signal.h>

#include <cstring>

namespace texloom_run {
namespace {

volatile sig_atomic_t g_signal = 0;

void OnSignal(int number) { g_signal = number; }

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocking read or poll returns with EINTR.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

bool Interrupted() { return g_signal != 0; }

int InterruptSignal() { return g_signal; }

}  // namespace texloom_run
