#include "tools/host/text_codec.h"

#include <windows.h>

#include <vector>

namespace texloom_host {

namespace {

constexpr UINT kShiftJis = 932;

std::wstring ToWide(UINT code_page, const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  int length =
      MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring text(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], length);
  return text;
}

std::string FromWide(UINT code_page, const std::wstring& text) {
  if (text.empty()) return std::string();
  int length = WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()),
                                   nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string bytes(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), &bytes[0], length,
                      nullptr, nullptr);
  return bytes;
}

}  // namespace

std::wstring ShiftJisToWide(const std::string& bytes) { return ToWide(kShiftJis, bytes); }
std::string WideToShiftJis(const std::wstring& text) { return FromWide(kShiftJis, text); }
std::string WideToUtf8(const std::wstring& text) { return FromWide(CP_UTF8, text); }
std::wstring Utf8ToWide(const std::string& text) { return ToWide(CP_UTF8, text); }
std::string ShiftJisToUtf8(const std::string& bytes) { return WideToUtf8(ShiftJisToWide(bytes)); }

std::string EscapeField(const std::string& utf8) {
  std::string escaped;
  escaped.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size(); ++i) {
    char c = utf8[i];
    if (c == '\\') {
      escaped += "\\\\";
    } else if (c == '\r') {
      escaped += "\\n";
      if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\t') {
      escaped += "\\t";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace texloom_host
