// Text conversions between the host's code page (Shift-JIS, code page 932,
// in which the filter table's texts are written), UTF-16 (the plug-in's
// messages and Windows' wide calls) and UTF-8 (what the host prints).
#pragma once

#include <string>

namespace texloom_host {

std::wstring ShiftJisToWide(const std::string& bytes);
std::string WideToShiftJis(const std::wstring& text);
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);
std::string ShiftJisToUtf8(const std::string& bytes);

// A text field of the run mode's output: "\" as "\\", each line break (CR,
// LF or CR LF) as "\n" and a tab as "\t", so that a field never holds the
// separator or ends the line.
std::string EscapeField(const std::string& utf8);

}  // namespace texloom_host
