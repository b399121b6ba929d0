// Annotation texts go to the host in its code page, Shift-JIS (code page
// 932). An effect file may be written in UTF-8 or in Shift-JIS.
#pragma once

#include <string>

namespace hlsl {

// ASCII and valid Shift-JIS are kept; valid UTF-8 is converted. False with
// a message for text that is neither, or UTF-8 that Shift-JIS cannot hold.
bool ToShiftJis(const std::string& text, std::string* out, std::string* error);

}  // namespace hlsl
