// An HLSL effect (.fx) made into the compiled effect the plug-in reads, by
// tools/texloom-fxo (TEXLOOM_FXO), before every run and every render of the
// edit loop, so that what runs is always the file as last saved.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace texloom_run {

bool IsHlslSource(const std::string& effect);

// Compiles `effect` into `output` with the program `compiler`; its
// messages (file:line:column) go to `messages` as they are. *files gets
// every file the effect reads (itself and its includes), also when it does
// not compile. False with a reason in *error when it did not compile or the
// compiler could not be started.
bool CompileHlslEffect(const std::string& compiler, const std::string& effect,
                       const std::string& output, FILE* messages,
                       std::vector<std::string>* files, std::string* error);

}  // namespace texloom_run
