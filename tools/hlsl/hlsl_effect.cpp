#include "hlsl/hlsl_effect.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "fx2/description.h"
#include "fx2/description_files.h"
#include "hlsl/hlsl_source.h"
#include "hlsl/text_encoding.h"
#include "hlsl/vkd3d_compiler.h"

namespace hlsl {

namespace {

// A private folder for the expanded source and the compiler's outputs,
// removed with everything in it.
class WorkFolder {
 public:
  WorkFolder() {
    char name[] = "/tmp/texloom-fxo.XXXXXX";
    if (mkdtemp(name)) path_ = name;
  }
  ~WorkFolder() {
    for (const std::string& file : files_) std::remove(file.c_str());
    if (!path_.empty()) rmdir(path_.c_str());
  }
  bool ok() const { return !path_.empty(); }
  std::string File(const std::string& name) {
    files_.push_back(path_ + "/" + name);
    return files_.back();
  }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

std::string WithoutBlanks(const std::string& text) {
  std::string out;
  for (char c : text)
    if (!std::isspace(static_cast<unsigned char>(c))) out.push_back(c);
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// The preprocessor's output spaces tokens apart, losing columns. A line it
// left unchanged (no macro in it) is taken as the user wrote it, so the
// reader's messages point at the right column. The directive lines it leaves
// are the #pragma lines of live branches: blanked here, and collected as
// "<line>: <text>" for CheckPragmas.
std::string ReaderText(const std::string& expanded, const std::string& preprocessed,
                       std::vector<std::pair<size_t, std::string>>* pragmas) {
  std::vector<std::string> before = Lines(expanded), after = Lines(preprocessed);
  std::string out;
  for (size_t i = 0; i < after.size(); ++i) {
    std::string line = after[i];
    if (i < before.size() && WithoutBlanks(before[i]) == WithoutBlanks(line))
      line = before[i];
    size_t first = line.find_first_not_of(" \t");
    if (first != std::string::npos && line[first] == '#') {
      pragmas->push_back({i + 1, line.substr(first, line.find_last_not_of(" \t\r") + 1 - first)});
      line.clear();
    }
    out += line + "\n";
  }
  return out;
}

// vkd3d applies "#pragma pack_matrix" to the shaders' registers, but the
// parameters written into the container would not follow it, so it is
// refused; any other #pragma (warning, def, ...) has no effect here and
// says so.
bool CheckPragmas(const std::vector<std::pair<size_t, std::string>>& pragmas,
                  const std::string& expanded, const SourceText& source, std::string* error,
                  std::string* warnings) {
  for (const auto& [line, text] : pragmas) {
    const std::string at = expanded + ":" + std::to_string(line) + ":1: ";
    if (WithoutBlanks(text).rfind("#pragmapack_matrix", 0) == 0) {
      *error = MapMessages(at + "#pragma pack_matrix is not supported: write row_major or "
                                "column_major on the matrix's declaration",
                           expanded, source);
      return false;
    }
    if (warnings)
      *warnings += MapMessages(at + "warning: '" + text + "' is ignored", expanded, source) + "\n";
  }
  return true;
}

bool RestoreString(const SourceText& source, std::string* text, std::string* error) {
  size_t index = 0;
  if (!StringIndex(*text, &index) || index >= source.strings.size()) return true;
  std::string why;
  if (!ToShiftJis(source.strings[index], text, &why)) {
    const SourceLine& at = source.string_at[index];
    *error = at.file + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) + ": " + why;
    return false;
  }
  return true;
}

bool RestoreStrings(const SourceText& source, fx2::Value* value, std::string* error) {
  for (std::string& text : value->strings)
    if (!RestoreString(source, &text, error)) return false;
  return true;
}

bool RestoreAnnotations(const SourceText& source, std::vector<fx2::Annotation>* annotations,
                        std::string* error) {
  for (fx2::Annotation& a : *annotations)
    if (!RestoreStrings(source, &a.value, error)) return false;
  return true;
}

// Every string of the effect back from its placeholder, in the host's code
// page.
bool RestoreEffectStrings(const SourceText& source, fx2::Effect* effect, std::string* error) {
  for (fx2::Parameter& p : effect->parameters) {
    if (!RestoreStrings(source, &p.value, error) ||
        !RestoreAnnotations(source, &p.annotations, error))
      return false;
  }
  for (fx2::Technique& t : effect->techniques) {
    if (!RestoreAnnotations(source, &t.annotations, error)) return false;
    for (fx2::Pass& pass : t.passes)
      if (!RestoreAnnotations(source, &pass.annotations, error)) return false;
  }
  return true;
}

bool ReadWords(const std::string& path, std::vector<uint32_t>* words) {
  std::string bytes, error;
  if (!fx2::ReadTextFile(path, &bytes, &error) || bytes.empty() || bytes.size() % 4 != 0)
    return false;
  words->resize(bytes.size() / 4);
  for (size_t i = 0; i < words->size(); ++i) {
    (*words)[i] = static_cast<uint32_t>(static_cast<unsigned char>(bytes[4 * i])) |
                  static_cast<uint32_t>(static_cast<unsigned char>(bytes[4 * i + 1])) << 8 |
                  static_cast<uint32_t>(static_cast<unsigned char>(bytes[4 * i + 2])) << 16 |
                  static_cast<uint32_t>(static_cast<unsigned char>(bytes[4 * i + 3])) << 24;
  }
  return true;
}

const char kNoCompiler[] =
    "the HLSL compiler (vkd3d-compiler) cannot be run: install it with tools/hlsl/fetch_vkd3d.sh "
    "or name it in TEXLOOM_VKD3D_COMPILER";

}  // namespace

std::string TexloomVersionMacro() {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08x",
                static_cast<unsigned>(TEXLOOM_FILE_VERSION_MAJOR << 16 | TEXLOOM_FILE_VERSION_MINOR));
  return text;
}

fx2::WriteOutput CompileEffectFile(const std::string& path, const EffectOptions& options,
                                   std::string* warnings, std::vector<std::string>* files) {
  fx2::WriteOutput out;
  SourceOptions source_options;
  source_options.include_dirs = options.include_dirs;
  source_options.defines.push_back("TEXLOOM_VER=" + TexloomVersionMacro());
  for (const std::string& define : options.defines) source_options.defines.push_back(define);
  SourceText source;
  const bool read = ReadSource(path, source_options, &source, &out.error);
  if (files != nullptr) *files = source.files;
  if (!read) return out;

  WorkFolder work;
  if (!work.ok()) {
    out.error = "cannot make a temporary folder";
    return out;
  }
  const std::string expanded = work.File("effect.fx");
  {
    std::ofstream file(expanded, std::ios::binary);
    file << source.text;
    if (!file.flush()) {
      out.error = expanded + ": cannot write";
      return out;
    }
  }

  const std::string preprocessed = work.File("preprocessed.fx");
  CompilerRun run = RunCompiler({"-x", "hlsl", "-E", "-o", preprocessed, expanded});
  if (!run.started) {
    out.error = kNoCompiler;
    return out;
  }
  if (run.status != 0) {
    out.error = MapMessages(run.messages, expanded, source);
    if (out.error.empty()) out.error = path + ": the preprocessor failed";
    return out;
  }
  std::string preprocessed_text, why;
  if (!fx2::ReadTextFile(preprocessed, &preprocessed_text, &why)) {
    out.error = preprocessed + ": " + why;
    return out;
  }

  std::vector<std::pair<size_t, std::string>> pragmas;
  const std::string reader_text = ReaderText(source.text, preprocessed_text, &pragmas);
  if (!CheckPragmas(pragmas, expanded, source, &out.error, warnings)) return out;
  fx2::Description description;
  if (!fx2::ParseHlslDeclarations(reader_text, expanded, &description, &out.error)) {
    out.error = MapMessages(out.error, expanded, source);
    return out;
  }
  fx2::Effect effect = description.effect;
  if (!RestoreEffectStrings(source, &effect, &out.error)) return out;

  // One compilation per entry point and profile, however many passes use it.
  std::map<std::string, std::vector<uint32_t>> compiled;
  for (const fx2::ShaderSource& shader : description.shaders) {
    std::string key = shader.profile + " " + shader.entry;
    if (!compiled.count(key)) {
      const std::string code = work.File("shader" + std::to_string(compiled.size()) + ".bin");
      run = RunCompiler({"-x", "hlsl", "-p", shader.profile, "-e", shader.entry, "-b", "d3dbc",
                         "-o", code, expanded});
      std::vector<uint32_t> words;
      if (run.status != 0 || !ReadWords(code, &words)) {
        out.error = MapMessages(run.messages, expanded, source);
        std::string at = MapMessages(shader.position.Text() + ":", expanded, source);
        at.pop_back();
        if (out.error.empty()) out.error = at + ": '" + shader.entry + "' does not compile";
        return out;
      }
      compiled[key] = words;
      if (warnings && !run.messages.empty())
        *warnings += MapMessages(run.messages, expanded, source) + "\n";
    }
    effect.techniques[shader.technique].passes[shader.pass].states[shader.state].bytecode =
        compiled[key];
  }
  out = fx2::WriteFx2(effect);
  if (!out) out.error = path + ": " + out.error;
  return out;
}

}  // namespace hlsl
