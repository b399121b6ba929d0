#include "run/effect_compiler.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "run/child_process.h"

namespace texloom_run {

bool IsHlslSource(const std::string& effect) {
  if (effect.size() < 3) return false;
  std::string extension = effect.substr(effect.size() - 3);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".fx";
}

bool CompileHlslEffect(const std::string& compiler, const std::string& effect,
                       const std::string& output, FILE* messages,
                       std::vector<std::string>* files, std::string* error) {
  std::string out, err, why;
  int status = 0;
  const bool started =
      RunAndCapture({compiler, effect, "-o", output, "--deps"}, &out, &err, &status, &why);
  files->clear();
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) files->push_back(line);
  }
  // Whatever the compiler printed reaches it, the files it read do not.
  if (files->empty()) files->push_back(effect);
  std::fputs(err.c_str(), messages);
  std::fflush(messages);
  if (!started) {
    *error = "cannot run the HLSL compiler '" + compiler + "': " + why;
    return false;
  }
  if (status != 0) {
    *error = "the effect '" + effect + "' does not compile";
    return false;
  }
  return true;
}

}  // namespace texloom_run
