#include "hlsl/vkd3d_compiler.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace hlsl {

namespace {

// vkd3d prints its own fixme/err trace lines and a summary beside the
// diagnostics; the user needs only the diagnostics.
std::string Diagnostics(const std::string& text) {
  std::istringstream in(text);
  std::string line, out;
  while (std::getline(in, line)) {
    if (line.rfind("vkd3d:", 0) == 0 || line.rfind("Failed to compile shader", 0) == 0) continue;
    out += line + "\n";
  }
  return out;
}

}  // namespace

std::string CompilerPath() {
  const char* chosen = std::getenv("TEXLOOM_VKD3D_COMPILER");
  if (chosen && *chosen) return chosen;
  return TEXLOOM_VKD3D_WRAPPER;
}

CompilerRun RunCompiler(const std::vector<std::string>& arguments) {
  CompilerRun run;
  char errors_name[] = "/tmp/texloom-vkd3d-errors.XXXXXX";
  int errors = mkstemp(errors_name);
  if (errors < 0) return run;
  std::string program = CompilerPath();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, errors, 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(errors);
  if (spawned == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    // 126/127: the wrapper found no compiler, or it could not be executed.
    run.started = run.status != 126 && run.status != 127;
  }
  std::ifstream in(errors_name);
  std::ostringstream text;
  text << in.rdbuf();
  run.messages = Diagnostics(text.str());
  std::remove(errors_name);
  return run;
}

std::string CompilerVersion() {
  char out_name[] = "/tmp/texloom-vkd3d-version.XXXXXX";
  int out = mkstemp(out_name);
  if (out < 0) return std::string();
  close(out);
  // --version prints on standard error or output depending on the release;
  // both are read.
  std::string command = "'" + CompilerPath() + "' --version >'" + out_name + "' 2>&1";
  int status = std::system(command.c_str());
  std::ifstream in(out_name);
  std::string line;
  std::getline(in, line);
  std::remove(out_name);
  return status == 0 ? line : std::string();
}

}  // namespace hlsl
