// An HLSL effect file made ready for the preprocessor: every #include
// expanded in place (relative to the including file, then each include
// folder), comments blanked, and every string literal replaced by a
// placeholder, so that vkd3d's preprocessor and the declaration reader see
// plain ASCII whatever the annotations hold (Shift-JIS trail bytes can be a
// backslash). A line map leads every line of the result back to its file.
#pragma once

#include <string>
#include <vector>

namespace hlsl {

struct SourceLine {
  std::string file;
  int line = 0;
  int column = 1;
};

struct SourceText {
  std::string text;
  std::vector<SourceLine> lines;       // one per line of text
  std::vector<std::string> strings;    // the literals, as written
  std::vector<SourceLine> string_at;   // where each literal starts
  // Every file read, the effect first, each once: what an edit loop
  // watches. Kept as far as reading got when it fails.
  std::vector<std::string> files;
};

struct SourceOptions {
  std::vector<std::string> include_dirs;
  // "NAME" or "NAME=VALUE", defined before the first line.
  std::vector<std::string> defines;
};

// False with "file:line:column: message" for an unreadable file, a missing
// or cyclic include, an unclosed comment or string.
bool ReadSource(const std::string& path, const SourceOptions& options, SourceText* out,
                std::string* error);

// The placeholder text for string number `index`: "S<index>" padded with '_'
// to `length` characters where it fits, so columns stay put.
std::string StringPlaceholder(size_t index, size_t length);
// The index behind a placeholder, or false for any other text.
bool StringIndex(const std::string& text, size_t* index);

// Rewrites "<merged>:line:column:" prefixes in compiler or reader messages
// to the user's own file and line.
std::string MapMessages(const std::string& messages, const std::string& merged_name,
                        const SourceText& source);

}  // namespace hlsl
