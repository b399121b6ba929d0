#include "tools/host/run_arguments.h"

#include <cerrno>
#include <cstdint>
#include <cwchar>
#include <initializer_list>
#include <set>

#include "tools/host/text_codec.h"

namespace texloom_host {

bool ParseInteger(const std::wstring& text, int* value) {
  if (text.empty()) return false;
  wchar_t* end = nullptr;
  errno = 0;
  long long parsed = std::wcstoll(text.c_str(), &end, 10);
  if (errno != 0 || !end || *end != L'\0' || parsed < INT32_MIN || parsed > INT32_MAX) return false;
  // wcstoll skips leading blanks; an argument with them is not a number.
  if (text[0] == L' ' || text[0] == L'\t') return false;
  *value = static_cast<int>(parsed);
  return true;
}

namespace {

bool ParseSetting(const std::wstring& text, ControlSetting* setting) {
  size_t equals = text.rfind(L'=');
  if (equals == std::wstring::npos || equals == 0) return false;
  setting->key = text.substr(0, equals);
  return ParseInteger(text.substr(equals + 1), &setting->value);
}

// "10,120,240": frame numbers, 0 or more.
bool ParseFrameList(const std::wstring& text, std::vector<int>* frames) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(L',', start);
    if (comma == std::wstring::npos) comma = text.size();
    int frame = 0;
    if (!ParseInteger(text.substr(start, comma - start), &frame) || frame < 0) return false;
    frames->push_back(frame);
    start = comma + 1;
  }
  return !frames->empty();
}

}  // namespace

bool ParseRunArguments(int argc, wchar_t** argv, int first, RunArguments* arguments,
                       std::string* error) {
  std::set<std::wstring> seen;
  for (int i = first; i < argc; ++i) {
    std::wstring name = argv[i];
    if (i + 1 >= argc) {
      *error = "missing value after " + WideToUtf8(name);
      return false;
    }
    std::wstring value = argv[++i];
    if (name != L"--track" && name != L"--check" && !seen.insert(name).second) {
      *error = WideToUtf8(name) + " is given twice";
      return false;
    }
    int number = 0;
    bool numeric = ParseInteger(value, &number);
    auto need_number = [&](int* field, int minimum) {
      if (!numeric || number < minimum) {
        *error = WideToUtf8(name) + " needs an integer of at least " + std::to_string(minimum) +
                 ", not \"" + WideToUtf8(value) + "\"";
        return false;
      }
      *field = number;
      return true;
    };
    if (name == L"--plugin") {
      arguments->plugin = value;
    } else if (name == L"--input") {
      arguments->input = value;
    } else if (name == L"--output") {
      arguments->output = value;
    } else if (name == L"--width") {
      if (!need_number(&arguments->width, 1)) return false;
    } else if (name == L"--height") {
      if (!need_number(&arguments->height, 1)) return false;
    } else if (name == L"--frames") {
      if (!need_number(&arguments->frames, 1)) return false;
    } else if (name == L"--first") {
      if (!need_number(&arguments->first, 0)) return false;
    } else if (name == L"--last") {
      if (!need_number(&arguments->last, 0)) return false;
    } else if (name == L"--dev") {
      if (!need_number(&arguments->dev, INT32_MIN)) return false;
    } else if (name == L"--threads") {
      if (!need_number(&arguments->threads, 0)) return false;
    } else if (name == L"--disable-pp") {
      if (!numeric || (number != 0 && number != 1)) {
        *error = "--disable-pp needs 0 or 1, not \"" + WideToUtf8(value) + "\"";
        return false;
      }
      arguments->disable_pp = number;
    } else if (name == L"--dump-targets") {
      arguments->dump_folder = value;
    } else if (name == L"--dump-frames") {
      if (!ParseFrameList(value, &arguments->dump_frames)) {
        *error = "--dump-frames needs frame numbers such as 10,120, not \"" + WideToUtf8(value) +
                 "\"";
        return false;
      }
    } else if (name == L"--track" || name == L"--check") {
      ControlSetting setting;
      if (!ParseSetting(value, &setting)) {
        *error = WideToUtf8(name) + " needs KEY=VALUE with an integer VALUE, not \"" +
                 WideToUtf8(value) + "\"";
        return false;
      }
      (name == L"--track" ? arguments->tracks : arguments->checks).push_back(setting);
    } else {
      *error = "unknown argument " + WideToUtf8(name);
      return false;
    }
  }
  for (const wchar_t* required : {L"--plugin", L"--input", L"--width", L"--height", L"--frames",
                                  L"--first", L"--last", L"--output"}) {
    if (!seen.count(required)) {
      *error = "missing " + WideToUtf8(required);
      return false;
    }
  }
  if (seen.count(L"--dump-targets") != seen.count(L"--dump-frames")) {
    *error = "--dump-targets and --dump-frames go together";
    return false;
  }
  if (arguments->first > arguments->last || arguments->last >= arguments->frames) {
    *error = "--first and --last must satisfy 0 <= first <= last < frames";
    return false;
  }
  return true;
}

}  // namespace texloom_host
