// Tokens of an effect description (the texloom-fxo input): identifiers,
// numbers, strings, punctuation, with "//" and "/* */" comments and
// `#include "file"` lines. Every token knows its file, line and column.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fx2 {

struct SourcePosition {
  std::string file;
  int line = 1;
  int column = 1;
  std::string Text() const;  // "file:line:column"
};

// Reads an included or referenced file; `path` as written, `from` the file
// that names it. False with a message when it cannot be read.
using FileReader =
    std::function<bool(const std::string& path, const std::string& from, std::string* resolved,
                       std::string* contents, std::string* error)>;

enum class TokenKind { End, Identifier, Number, String, Punct };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;  // identifier, number as written, string contents, punctuation char
  SourcePosition position;
};

class DescriptionLexer {
 public:
  DescriptionLexer(std::string text, std::string file, FileReader reader);

  // False with *error set on a lexical error (unterminated string, unknown
  // character, unreadable include).
  bool Next(Token* token, std::string* error);
  // The raw text up to the '}' that closes a block whose '{' was the last
  // token read; the '}' is consumed. Used for inline assembly.
  bool RawBlock(std::string* text, SourcePosition* start, std::string* error);
  // Skips raw text up to and including the first `close` outside nested
  // (), [] and {}: after a bracket token, its balancing bracket; after any
  // other token, e.g. the ';' that ends it. For HLSL function parameter
  // lists and bodies and static variables, which this reader does not parse. `opened`
  // and `what` name the bracket in the message when it is never closed.
  bool SkipBalanced(char close, const SourcePosition& opened, const std::string& what,
                    std::string* error);

 private:
  struct Source {
    std::string text;
    std::string file;
    size_t offset = 0;
    int line = 1;
    int column = 1;
  };
  Source& top() { return *sources_.back(); }
  char Peek(size_t ahead = 0);
  void Advance();
  bool SkipSpaceAndComments(std::string* error);
  bool Include(std::string* error);
  SourcePosition Here();

  std::vector<std::unique_ptr<Source>> sources_;
  FileReader reader_;
};

}  // namespace fx2
