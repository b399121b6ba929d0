#!/usr/bin/env bash
# Runs the Windows test harness on texloom.auf under Wine, in a private prefix
# and a virtual X display.
set -euo pipefail
build=$(cd "${1:?windows build directory}" && pwd)
prefix=${WINEPREFIX_DIR:-$build/wineprefix}
mkdir -p "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cd "$build"
# A hung module must not hang the run.
timeout 300 xvfb-run -a wine texloom_host_harness.exe texloom.auf
