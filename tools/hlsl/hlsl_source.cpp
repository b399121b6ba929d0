#include "hlsl/hlsl_source.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <regex>
#include <set>

#include "fx2/description_files.h"

namespace hlsl {

namespace {

std::string Folder(const std::string& file) {
  size_t cut = file.find_last_of('/');
  return cut == std::string::npos ? std::string() : file.substr(0, cut + 1);
}

bool Exists(const std::string& path) {
  std::string contents, error;
  return fx2::ReadTextFile(path, &contents, &error);
}

// The same file under any spelling of its path, for #pragma once.
std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// Whether a file opens with an include guard ("#ifndef X" then "#define X"
// after any blank or // comment lines): included again from inside itself,
// it then expands to nothing, as the macro is defined by then.
bool IncludeGuarded(const std::string& text) {
  static const std::regex kGuard(
      R"(^(?:[ \t]*(?://[^\n]*)?\r?\n)*[ \t]*#[ \t]*ifndef[ \t]+(\w+)[ \t]*\r?\n)"
      R"([ \t]*#[ \t]*define[ \t]+\1\b)");
  return std::regex_search(text, kGuard);
}

std::string At(const std::string& file, int line, int column) {
  return file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": ";
}

class Expander {
 public:
  Expander(const SourceOptions& options, SourceText* out, std::string* error)
      : options_(options), out_(out), error_(error) {}

  bool File(const std::string& path, const std::string& text) {
    if (std::find(stack_.begin(), stack_.end(), path) != stack_.end()) {
      std::string chain;
      for (const std::string& f : stack_) chain += f + " -> ";
      *error_ = include_at_ + "#include cycle: " + chain + path;
      return false;
    }
    if (std::find(out_->files.begin(), out_->files.end(), path) == out_->files.end())
      out_->files.push_back(path);
    stack_.push_back(path);
    // Windows editors often start UTF-8 files with a byte order mark.
    const bool marked = text.compare(0, 3, "\xEF\xBB\xBF") == 0;
    bool ok = Scan(path, marked ? text.substr(3) : text);
    stack_.pop_back();
    return ok;
  }

 private:
  void NewLine(const std::string& file, int line) {
    out_->text.push_back('\n');
    out_->lines.push_back({file, line});
  }

  bool Scan(const std::string& file, const std::string& text) {
    int line = 1;
    size_t line_start = 0;
    bool at_line_start = true;  // only blanks so far on this line
    out_->lines.push_back({file, line});
    for (size_t i = 0; i < text.size();) {
      char c = text[i];
      int column = static_cast<int>(i - line_start) + 1;
      if (c == '\n') {
        NewLine(file, ++line);
        line_start = ++i;
        at_line_start = true;
      } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
        while (i < text.size() && text[i] != '\n') ++i;
      } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
        size_t end = text.find("*/", i + 2);
        if (end == std::string::npos) {
          *error_ = At(file, line, column) + "the comment is not closed (expected \"*/\")";
          return false;
        }
        // Blanks keep the columns; new lines keep the line numbers.
        for (size_t k = i; k < end + 2; ++k) {
          if (text[k] == '\n') {
            NewLine(file, ++line);
            line_start = k + 1;
          } else {
            out_->text.push_back(' ');
          }
        }
        i = end + 2;
      } else if (c == '"') {
        size_t end = i + 1;
        while (end < text.size() && text[end] != '"' && text[end] != '\n') ++end;
        if (end >= text.size() || text[end] != '"') {
          *error_ = At(file, line, column) + "the string is not closed (expected '\"')";
          return false;
        }
        std::string literal = text.substr(i + 1, end - i - 1);
        out_->text += "\"" + StringPlaceholder(out_->strings.size(), literal.size()) + "\"";
        out_->strings.push_back(literal);
        out_->string_at.push_back({file, line, column});
        i = end + 1;
        at_line_start = false;
      } else if (c == '#' && at_line_start && IsInclude(text, i)) {
        if (!Include(file, line, column, text, &i)) return false;
      } else if (c == '#' && at_line_start && IsPragmaOnce(text, i)) {
        // Includes are expanded here, so "once" is kept here too.
        once_.insert(Canonical(file));
        while (i < text.size() && text[i] != '\n') ++i;
      } else {
        if (c == '#' && at_line_start) CountConditional(text, i);
        if (!std::isspace(static_cast<unsigned char>(c))) at_line_start = false;
        out_->text.push_back(c);
        ++i;
      }
    }
    NewLine(file, line);  // a file that ends without a new line
    return true;
  }

  static std::string DirectiveWord(const std::string& text, size_t i) {
    ++i;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    size_t end = i;
    while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end]))) ++end;
    return text.substr(i, end - i);
  }

  static bool IsInclude(const std::string& text, size_t i) {
    return DirectiveWord(text, i) == "include";
  }

  static bool IsPragmaOnce(const std::string& text, size_t i) {
    static const std::regex kForm(R"(^#[ \t]*pragma[ \t]+once[ \t]*\r?$)");
    const size_t end = text.find('\n', i);
    return std::regex_match(text.substr(i, end == std::string::npos ? end : end - i), kForm);
  }

  // Includes are expanded before the preprocessor runs, so whether an
  // #include sits in a branch it will drop is not known here; the nesting
  // of conditionals is, which is enough to defer a missing file's error.
  void CountConditional(const std::string& text, size_t i) {
    const std::string word = DirectiveWord(text, i);
    if (word == "if" || word == "ifdef" || word == "ifndef") ++conditional_depth_;
    if (word == "endif" && conditional_depth_ > 0) --conditional_depth_;
  }

  // Resolves "name" relative to the including file, then each include
  // folder; <name> only in the include folders. The included text replaces
  // the directive line.
  bool Include(const std::string& file, int line, int column, const std::string& text,
               size_t* i) {
    size_t end = text.find('\n', *i);
    if (end == std::string::npos) end = text.size();
    std::string directive = text.substr(*i, end - *i);
    std::smatch match;
    static const std::regex kForm(R"(^#\s*include\s*(["<])([^">]*)([">])\s*(//.*)?\r?$)");
    if (!std::regex_match(directive, match, kForm) ||
        (match[1] == "\"") != (match[3] == "\"")) {
      *error_ = At(file, line, column) + "expected #include \"file\" or #include <file>";
      return false;
    }
    std::string name = match[2];
    std::vector<std::string> candidates;
    if (!name.empty() && name[0] == '/') {
      candidates.push_back(name);
    } else {
      if (match[1] == "\"") candidates.push_back(Folder(file) + name);
      for (const std::string& dir : options_.include_dirs) candidates.push_back(dir + "/" + name);
    }
    std::string found;
    for (const std::string& candidate : candidates) {
      if (Exists(candidate)) {
        found = candidate;
        break;
      }
    }
    if (found.empty()) {
      std::string where;
      for (const std::string& candidate : candidates) where += (where.empty() ? "" : ", ") + candidate;
      const std::string message =
          "cannot open the included file \"" + name + "\" (" +
          (where.empty() ? "#include <...> looks only in -I folders, and none was given"
                         : "looked for " + where) +
          ")";
      if (conditional_depth_ > 0) {
        // Inside #if/#ifdef/#ifndef: an error only if the preprocessor
        // keeps this line (as under #if 0 it does not).
        out_->text += "#error " + message;
        *i = end;
        return true;
      }
      *error_ = At(file, line, column) + message;
      return false;
    }
    if (once_.count(Canonical(found))) {  // "#pragma once" and included before
      *i = end;
      return true;
    }
    std::string contents, why;
    if (!fx2::ReadTextFile(found, &contents, &why)) {
      *error_ = At(file, line, column) + "cannot read \"" + found + "\": " + why;
      return false;
    }
    if (std::find(stack_.begin(), stack_.end(), found) != stack_.end() &&
        IncludeGuarded(contents)) {
      *i = end;
      return true;
    }
    include_at_ = At(file, line, column);
    // The included file starts on a line of its own and the directive's
    // line ends after it.
    out_->lines.pop_back();
    if (!File(found, contents)) return false;
    out_->lines.back() = {file, line};
    *i = end;
    return true;
  }

  const SourceOptions& options_;
  SourceText* out_;
  std::string* error_;
  std::vector<std::string> stack_;
  std::string include_at_;
  int conditional_depth_ = 0;
  std::set<std::string> once_;
};

}  // namespace

std::string StringPlaceholder(size_t index, size_t length) {
  std::string text = "S" + std::to_string(index);
  if (text.size() < length) text.append(length - text.size(), '_');
  return text;
}

bool StringIndex(const std::string& text, size_t* index) {
  static const std::regex kForm("^S([0-9]+)_*$");
  std::smatch match;
  if (!std::regex_match(text, match, kForm)) return false;
  *index = std::stoul(match[1]);
  return true;
}

bool ReadSource(const std::string& path, const SourceOptions& options, SourceText* out,
                std::string* error) {
  *out = SourceText();
  for (const std::string& define : options.defines) {
    size_t equals = define.find('=');
    std::string name = define.substr(0, equals);
    std::string value = equals == std::string::npos ? "1" : define.substr(equals + 1);
    out->text += "#define " + name + " " + value + "\n";
    out->lines.push_back({"<command line>", 0});
  }
  std::string contents, why;
  out->files.push_back(path);
  if (!fx2::ReadTextFile(path, &contents, &why)) {
    *error = path + ": cannot read: " + why;
    return false;
  }
  Expander expander(options, out, error);
  return expander.File(path, contents);
}

std::string MapMessages(const std::string& messages, const std::string& merged_name,
                        const SourceText& source) {
  std::string out;
  size_t start = 0;
  std::string prefix = merged_name + ":";
  while (start < messages.size()) {
    size_t end = messages.find('\n', start);
    if (end == std::string::npos) end = messages.size();
    std::string line = messages.substr(start, end - start);
    start = end + 1;
    if (line.compare(0, prefix.size(), prefix) == 0) {
      std::smatch match;
      std::string rest = line.substr(prefix.size());
      static const std::regex kPosition(R"(^(\d+):(\d+)(-\d+)?:\s*(.*)$)");
      if (std::regex_match(rest, match, kPosition)) {
        // The preprocessor may add lines at the end; the end of the text is
        // the end of the user's file.
        size_t number = std::min<size_t>(std::stoul(match[1]), source.lines.size());
        if (number >= 1) {
          const SourceLine& at = source.lines[number - 1];
          line = at.file + ":" + std::to_string(at.line) + ":" + std::string(match[2]) + ": " +
                 std::string(match[4]);
        }
      }
    }
    out += line + "\n";
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

}  // namespace hlsl
