// texloom-fxo: turns an effect description into a compiled fx_2_0 effect
// (.fxo) for the plug-in, without fxc. Runs on Windows and under Wine,
// whose D3DX assembles shaders but cannot compile effect text.
//
//   texloom-fxo <description> [-o <output.fxo>]
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "fx2/description.h"
#include "fx2/description_files.h"
#include "fx2/windows/d3dx_library.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: texloom-fxo <description> [-o <output.fxo>]\n"
               "  writes <description> with the extension .fxo unless -o names the output\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string input, output;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      output = argv[++i];
    } else if (argv[i][0] == '-' || !input.empty()) {
      return Usage();
    } else {
      input = argv[i];
    }
  }
  if (input.empty()) return Usage();
  if (output.empty()) output = fx2::CompiledEffectPath(input);

  std::string text, error;
  if (!fx2::ReadTextFile(input, &text, &error)) {
    std::fprintf(stderr, "%s: cannot read: %s\n", input.c_str(), error.c_str());
    return 1;
  }
  fx2::Description description;
  if (!fx2::ParseDescription(text, input, fx2::DiskFileReader(), &description, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  fx2::WriteOutput written = fx2::CompileDescription(description, fx2::AssemblePixelShader);
  if (!written) {
    std::fprintf(stderr, "%s\n", written.error.c_str());
    return 1;
  }
  std::ofstream out(output, std::ios::binary);
  out.write(reinterpret_cast<const char*>(written.bytes.data()),
            static_cast<std::streamsize>(written.bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "%s: cannot write\n", output.c_str());
    return 1;
  }
  return 0;
}
