#include "hlsl/text_encoding.h"

#include <iconv.h>

#include <cerrno>

namespace hlsl {

namespace {

// False when iconv meets a sequence it cannot read or write.
bool Convert(const char* from, const char* to, const std::string& text, std::string* out) {
  iconv_t converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  std::string input = text;
  std::string output(text.size() * 4 + 4, '\0');
  char* in = input.data();
  size_t in_left = input.size();
  char* written = output.data();
  size_t out_left = output.size();
  size_t result = iconv(converter, &in, &in_left, &written, &out_left);
  iconv_close(converter);
  if (result == static_cast<size_t>(-1) || result != 0) return false;  // lossy is refused too
  output.resize(output.size() - out_left);
  *out = output;
  return true;
}

bool IsAscii(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

bool ToShiftJis(const std::string& text, std::string* out, std::string* error) {
  if (IsAscii(text)) {
    *out = text;
    return true;
  }
  std::string utf16;
  if (Convert("UTF-8", "UTF-16LE", text, &utf16)) {
    if (Convert("UTF-8", "CP932", text, out)) return true;
    *error = "the text \"" + text + "\" has a character Shift-JIS cannot hold (the host shows "
             "Shift-JIS only)";
    return false;
  }
  if (Convert("CP932", "UTF-16LE", text, &utf16)) {
    *out = text;
    return true;
  }
  *error = "the text is neither UTF-8 nor Shift-JIS";
  return false;
}

}  // namespace hlsl
