#include "fx2/description_lexer.h"

#include <cctype>

namespace fx2 {

namespace {

constexpr size_t kMaxIncludeDepth = 16;

bool IsIdentifierStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }

bool IsIdentifierChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

std::string SourcePosition::Text() const {
  return file + ":" + std::to_string(line) + ":" + std::to_string(column);
}

DescriptionLexer::DescriptionLexer(std::string text, std::string file, FileReader reader)
    : reader_(std::move(reader)) {
  auto source = std::make_unique<Source>();
  source->text = std::move(text);
  source->file = std::move(file);
  sources_.push_back(std::move(source));
}

char DescriptionLexer::Peek(size_t ahead) {
  const Source& s = top();
  return s.offset + ahead < s.text.size() ? s.text[s.offset + ahead] : '\0';
}

void DescriptionLexer::Advance() {
  Source& s = top();
  if (s.offset >= s.text.size()) return;
  if (s.text[s.offset] == '\n') {
    ++s.line;
    s.column = 1;
  } else {
    ++s.column;
  }
  ++s.offset;
}

SourcePosition DescriptionLexer::Here() {
  SourcePosition position;
  position.file = top().file;
  position.line = top().line;
  position.column = top().column;
  return position;
}

bool DescriptionLexer::SkipSpaceAndComments(std::string* error) {
  for (;;) {
    char c = Peek();
    if (c == '\0') {
      if (sources_.size() == 1) return true;
      sources_.pop_back();  // back to the including file
      continue;
    }
    if (std::isspace(static_cast<unsigned char>(c))) {
      Advance();
    } else if (c == '/' && Peek(1) == '/') {
      while (Peek() != '\n' && Peek() != '\0') Advance();
    } else if (c == '/' && Peek(1) == '*') {
      SourcePosition start = Here();
      Advance(), Advance();
      while (!(Peek() == '*' && Peek(1) == '/')) {
        if (Peek() == '\0') {
          *error = start.Text() + ": the comment is not closed (expected \"*/\")";
          return false;
        }
        Advance();
      }
      Advance(), Advance();
    } else if (c == '#') {
      if (!Include(error)) return false;
    } else {
      return true;
    }
  }
}

bool DescriptionLexer::Include(std::string* error) {
  SourcePosition start = Here();
  Advance();
  std::string directive;
  while (IsIdentifierChar(Peek())) {
    directive.push_back(Peek());
    Advance();
  }
  if (directive != "include") {
    *error = start.Text() + ": expected #include, found #" + directive;
    return false;
  }
  while (Peek() == ' ' || Peek() == '\t') Advance();
  if (Peek() != '"') {
    *error = Here().Text() + ": expected a quoted file name after #include";
    return false;
  }
  Advance();
  std::string path;
  while (Peek() != '"') {
    if (Peek() == '\n' || Peek() == '\0') {
      *error = start.Text() + ": the file name of #include is not closed (expected '\"')";
      return false;
    }
    path.push_back(Peek());
    Advance();
  }
  Advance();
  if (sources_.size() >= kMaxIncludeDepth) {
    *error = start.Text() + ": #include nested too deeply (an include cycle?)";
    return false;
  }
  auto source = std::make_unique<Source>();
  std::string why;
  if (!reader_ || !reader_(path, top().file, &source->file, &source->text, &why)) {
    *error = start.Text() + ": cannot include \"" + path + "\": " + why;
    return false;
  }
  sources_.push_back(std::move(source));
  return true;
}

bool DescriptionLexer::Next(Token* token, std::string* error) {
  if (!SkipSpaceAndComments(error)) return false;
  Token result;
  result.position = Here();
  char c = Peek();
  if (c == '\0') {
    result.kind = TokenKind::End;
  } else if (IsIdentifierStart(c)) {
    result.kind = TokenKind::Identifier;
    while (IsIdentifierChar(Peek())) {
      result.text.push_back(Peek());
      Advance();
    }
  } else if (IsDigit(c) || (c == '.' && IsDigit(Peek(1)))) {
    result.kind = TokenKind::Number;
    // Digits, a fraction, an exponent and a suffix, or a hex integer.
    while (IsIdentifierChar(Peek()) || Peek() == '.' ||
           ((Peek() == '+' || Peek() == '-') && !result.text.empty() &&
            (result.text.back() == 'e' || result.text.back() == 'E') &&
            result.text.find_first_of("xX") == std::string::npos)) {
      result.text.push_back(Peek());
      Advance();
    }
  } else if (c == '"') {
    result.kind = TokenKind::String;
    Advance();
    while (Peek() != '"') {
      if (Peek() == '\n' || Peek() == '\0') {
        *error = result.position.Text() + ": the string is not closed (expected '\"')";
        return false;
      }
      if (Peek() == '\\') {
        Advance();
        char escaped = Peek();
        if (escaped == 'n') {
          result.text.push_back('\n');
        } else if (escaped == '"' || escaped == '\\') {
          result.text.push_back(escaped);
        } else {
          *error = Here().Text() + ": unknown escape in a string (\\n, \\\" and \\\\ are known)";
          return false;
        }
        Advance();
        continue;
      }
      result.text.push_back(Peek());
      Advance();
    }
    Advance();
  } else if (std::string("{}()<>[]=;,:-").find(c) != std::string::npos) {
    result.kind = TokenKind::Punct;
    result.text = std::string(1, c);
    Advance();
  } else {
    *error = result.position.Text() + ": unexpected character '" + std::string(1, c) + "'";
    return false;
  }
  *token = result;
  return true;
}

bool DescriptionLexer::RawBlock(std::string* text, SourcePosition* start, std::string* error) {
  *start = Here();
  text->clear();
  int depth = 0;
  for (;;) {
    char c = Peek();
    if (c == '\0') {
      *error = start->Text() + ": the assembly block is not closed (expected '}')";
      return false;
    }
    if (c == '{') ++depth;
    if (c == '}' && depth-- == 0) {
      Advance();
      return true;
    }
    text->push_back(c);
    Advance();
  }
}

bool DescriptionLexer::SkipBalanced(char close, const SourcePosition& opened,
                                     const std::string& what, std::string* error) {
  std::string expected(1, close);
  for (;;) {
    char c = Peek();
    if (c == '\0') {
      *error = opened.Text() + ": " + what + " is not closed (expected '" + expected.back() + "')";
      return false;
    }
    SourcePosition at = Here();
    Advance();
    if (expected.size() == 1 && c == close) return true;
    if (c == '(' || c == '[' || c == '{') {
      expected.push_back(c == '(' ? ')' : c == '[' ? ']' : '}');
    } else if (c == ')' || c == ']' || c == '}') {
      if (c != expected.back()) {
        *error = at.Text() + ": '" + std::string(1, c) + "' where '" + expected.back() +
                 "' was expected (" + what + " opened at " + opened.Text() + ")";
        return false;
      }
      expected.pop_back();
    }
  }
}

}  // namespace fx2
