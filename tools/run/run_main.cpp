// texloom-run: runs an effect over a clip through texloom.auf. The
// tools/texloom-run wrapper builds what is missing and names the host.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "run/interruption.h"
#include "run/run_command.h"
#include "run/run_options.h"
#include "run/target_dump.h"
#include "run/watch.h"

int main(int argc, char** argv) {
  using namespace texloom_run;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const ParsedOptions parsed = ParseRunOptions(arguments);
  if (!parsed.ok) {
    std::fprintf(stderr, "texloom-run: %s\n", parsed.error.c_str());
    return kExitBadInput;
  }
  if (parsed.options.help) {
    std::fputs(UsageText().c_str(), stdout);
    return kExitDone;
  }
  if (parsed.options.version) {
    std::fputs(VersionText().c_str(), stdout);
    return kExitDone;
  }
  RunEnvironment environment;
  std::string error;
  if (!EnvironmentFromVariables(&environment, &error)) {
    std::fprintf(stderr, "texloom-run: %s\n", error.c_str());
    return kExitToolFailed;
  }
  environment.messages = stderr;
  environment.messages_on_terminal = isatty(STDERR_FILENO) != 0;
  InstallInterruptHandlers();
  if (parsed.options.watch) return WatchEffect(parsed.options, environment);
  if (parsed.options.outputs.empty()) return DumpFrameTargets(parsed.options, environment);
  return RunTexloom(parsed.options, environment);
}
