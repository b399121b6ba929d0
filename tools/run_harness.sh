#!/usr/bin/env bash
# Runs the Windows test harness on texloom.auf under Wine, in a private prefix
# and a virtual X display. Debian's Wine runs 32-bit modules through 32-bit
# Linux programs; on a kernel built without IA-32 emulation they cannot start,
# and the run is reported as skipped (exit 0) rather than failed.
set -euo pipefail
build=$(cd "${1:?windows build directory}" && pwd)
if [ ! -x /usr/lib/wine/wineserver32 ]; then
  echo "skipped: Debian's 32-bit Wine is not installed"
  exit 0
fi
if ! /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; then
  echo "skipped: this kernel cannot execute 32-bit programs, so Wine cannot load a 32-bit module here"
  exit 0
fi
prefix=${WINEPREFIX_DIR:-$build/wineprefix}
mkdir -p "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cd "$build"
# A hung module must not hang the run.
timeout 600 xvfb-run -a wine texloom_host_harness.exe texloom.auf
