#!/usr/bin/env bash
# Cross-compiles the Windows test programs (run under Wine) into build/wintests:
# the posix-model toolchain, GoogleTest from Debian's sources, and the
# conversion kernels as the module's own compiler builds them.
#   tools/build_windows_tests.sh [build dir] [extra cmake arguments...]
# The module they load is built separately by tools/build_windows.sh; pass
# -DTEXLOOM_PRODUCT_DLL=<path> when it is not build/windows/texloom.auf.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/wintests}
shift || true
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686-posix.cmake" -DTEXLOOM_WINDOWS_TESTS=ON "$@" >/dev/null
nice -n 10 ninja -C "$build" -j 2
