#!/usr/bin/env bash
# The main job: builds texloom.auf into dist/ and shows, under Wine, that a
# host can load it and read its filter table.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install_deps.sh" with-wine
"$root/tools/build_windows.sh" "$root/build/windows" >/dev/null
mkdir -p "$root/dist"
cp "$root/build/windows/texloom.auf" "$root/dist/"
echo "built $root/dist/texloom.auf"
"$root/tools/check_dll.sh" "$root/dist/texloom.auf"
"$root/tools/check_entry_alignment.sh" "$root/dist/texloom.auf"
"$root/tools/run_harness.sh" "$root/build/windows"
