// Files of a description on disk: the description itself, what it includes
// and the assembly files it names, each found relative to the file that
// names it.
#pragma once

#include <string>

#include "fx2/description_lexer.h"

namespace fx2 {

bool ReadTextFile(const std::string& path, std::string* contents, std::string* error);

// Paths relative to the naming file's folder unless absolute.
FileReader DiskFileReader();

// Where a compiled effect goes by default: the source's path with the
// extension .fxo (added when the file name has none).
std::string CompiledEffectPath(const std::string& source);

}  // namespace fx2
