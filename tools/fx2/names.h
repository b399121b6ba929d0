// Names in an effect: D3DX finds parameters, annotations, techniques and
// passes by name, and splits lookup strings at '.', '[' and '@'
// ("Param@annotation", "arr[1]"), so every name is a plain identifier.
#pragma once

#include <string>

namespace fx2 {

bool IsIdentifier(const std::string& text);

}  // namespace fx2
