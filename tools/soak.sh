#!/usr/bin/env bash
# The soak of the real plug-in under Wine: 1,000 frames at 1920x1080 through
# a temporal two-pass effect with the render worker, stepping, jumping and
# changing size, with the memory of the first and last hundred frames and
# the frame rates printed (the test command runs the same program with 200):
#
#   tools/soak.sh [frames]
#
# Builds the module and the Windows tests first (incrementally) in
# build/windows and build/wintests, or in TEXLOOM_WINDOWS_BUILD and
# TEXLOOM_WINTESTS_BUILD. Exit status: the program's (0 passed, 77 skipped:
# no Wine or no Direct3D device here).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
frames=${1:-1000}
windows=${TEXLOOM_WINDOWS_BUILD:-$root/build/windows}
wintests=${TEXLOOM_WINTESTS_BUILD:-$root/build/wintests}
"$root/tools/build_windows.sh" "$windows" >/dev/null
"$root/tools/build_windows_tests.sh" "$wintests" -DTEXLOOM_PRODUCT_DLL="$windows/texloom.auf" >/dev/null
# Emulated (tools/vm), a thousand frames take longer than run_wine.sh's
# default time limit.
if [ "$("$root/tools/vm/wine_way.sh")" = vm ]; then
  export TEXLOOM_WINE_TIMEOUT=${TEXLOOM_WINE_TIMEOUT:-0}
fi
TEXLOOM_SOAK_FRAMES=$frames exec "$root/tools/run_wine.sh" "$wintests/bin/plugin_soak_test.exe"
