// texloom-fxo, native: compiles an HLSL effect file into the compiled effect
// (.fxo) the plug-in reads, with vkd3d's HLSL compiler for the shaders and
// tools/fx2 for the container.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "fx2/description_files.h"
#include "hlsl/hlsl_effect.h"
#include "hlsl/vkd3d_compiler.h"

namespace {

const char kUsage[] =
    "usage: texloom-fxo EFFECT.fx [-o OUT.fxo] [-I DIR]... [-D NAME[=VALUE]]... [--deps]\n"
    "  Compiles an HLSL effect into a compiled effect (.fxo) for Texloom.\n"
    "  -o OUT.fxo        the output (default: EFFECT with the extension .fxo)\n"
    "  -I DIR            a folder searched for #include files after the including file's own\n"
    "  -D NAME[=VALUE]   a macro (TEXLOOM_VER is always defined, as the plug-in defines it)\n"
    "  --deps            also print every file the effect reads (itself, then its includes),\n"
    "                    one a line on standard output, whether or not it compiles\n"
    "  --version         this program's and the HLSL compiler's versions\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

// "-I DIR" or "-IDIR".
bool OptionValue(int argc, char** argv, int* i, const char* option, std::string* value) {
  size_t length = std::strlen(option);
  if (std::strncmp(argv[*i], option, length) != 0) return false;
  if (argv[*i][length] != '\0') {
    *value = argv[*i] + length;
  } else if (*i + 1 < argc) {
    *value = argv[++*i];
  } else {
    value->clear();
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string input, output, value;
  hlsl::EffectOptions options;
  bool print_files = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::string compiler = hlsl::CompilerVersion();
      std::printf("texloom-fxo (TEXLOOM_VER %s)\n%s\n", hlsl::TexloomVersionMacro().c_str(),
                  compiler.empty() ? "HLSL compiler: not installed (tools/hlsl/fetch_vkd3d.sh)"
                                   : compiler.c_str());
      return 0;
    }
    if (std::strcmp(argv[i], "--deps") == 0) {
      print_files = true;
    } else if (OptionValue(argc, argv, &i, "-o", &value)) {
      if (value.empty()) return Usage();
      output = value;
    } else if (OptionValue(argc, argv, &i, "-I", &value)) {
      if (value.empty()) return Usage();
      options.include_dirs.push_back(value);
    } else if (OptionValue(argc, argv, &i, "-D", &value)) {
      if (value.empty() || value[0] == '=') return Usage();
      options.defines.push_back(value);
    } else if (argv[i][0] == '-' || !input.empty()) {
      return Usage();
    } else {
      input = argv[i];
    }
  }
  if (input.empty()) return Usage();
  if (output.empty()) output = fx2::CompiledEffectPath(input);

  std::string warnings;
  std::vector<std::string> files;
  fx2::WriteOutput written = hlsl::CompileEffectFile(input, options, &warnings, &files);
  if (print_files) {
    for (const std::string& file : files) std::printf("%s\n", file.c_str());
    std::fflush(stdout);
  }
  std::fputs(warnings.c_str(), stderr);
  if (!written) {
    std::fprintf(stderr, "%s\n", written.error.c_str());
    return 1;
  }
  // Written beside the output and renamed, so a failed write leaves no
  // partial file behind.
  std::string partial = output + ".partial";
  std::ofstream out(partial, std::ios::binary);
  out.write(reinterpret_cast<const char*>(written.bytes.data()),
            static_cast<std::streamsize>(written.bytes.size()));
  out.close();
  if (!out || std::rename(partial.c_str(), output.c_str()) != 0) {
    std::remove(partial.c_str());
    std::fprintf(stderr, "%s: cannot write\n", output.c_str());
    return 1;
  }
  return 0;
}
