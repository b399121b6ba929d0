// texloom-host.exe: a host for a filter plug-in under Windows or Wine.
//   texloom-host.exe run ...   (see run_mode.cpp)
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>

#include "tools/host/run_mode.h"

int wmain(int argc, wchar_t** argv) {
  // Lines end in "\n" alone, and UTF-8 passes unchanged.
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc >= 2 && std::wcscmp(argv[1], L"run") == 0) {
    return texloom_host::RunMode(argc, argv, 2);
  }
  std::fputs(
      "usage: texloom-host.exe run --plugin <path.auf> --input <frames.raw> --width W --height H\n"
      "         --frames N --first A --last B --output <out.raw> [--track KEY=VALUE]...\n"
      "         [--check KEY=VALUE]... [--disable-pp 0|1] [--dev N] [--threads T]\n",
      stderr);
  std::fputs("error\tthe first argument must be \"run\"\n", stdout);
  return 2;
}
