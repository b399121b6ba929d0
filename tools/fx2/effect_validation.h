// The checks the writer makes before it lays out a single byte. Wine's
// effect loader checks almost nothing (no bounds, no NULL names), so a model
// that would crash it or make D3DXCreateEffect or BeginPass fail is refused
// here with a message that says which item is wrong and why.
#pragma once

#include <string>

#include "fx2/effect_model.h"

namespace fx2 {

bool ValidateEffect(const Effect& effect, std::string* error);

}  // namespace fx2
