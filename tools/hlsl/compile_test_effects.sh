#!/usr/bin/env bash
# Compiles the HLSL effects the Wine tests run (e2e/hlsl/effects and the
# sample effects of effects/) with the native texloom-fxo into one folder:
#   tools/hlsl/compile_test_effects.sh [OUT]   (default: build/hlsl-effects)
# Exit status 77 with one SKIPPED line when the HLSL compiler cannot be had.
set -uo pipefail
root=$(cd "$(dirname "$(readlink -f "$0")")/../.." && pwd)
out=${1:-$root/build/hlsl-effects}

if ! version=$("$root/tools/hlsl/vkd3d-compiler" --version 2>/dev/null); then
  echo "SKIPPED: the HLSL compiler (vkd3d-compiler) is not installed; tools/hlsl/fetch_vkd3d.sh installs it"
  exit 77
fi
echo "$version"
rm -rf "$out" && mkdir -p "$out"
status=0
for effect in "$root"/e2e/hlsl/effects/*.fx "$root"/effects/*.fx; do
  [ -f "$effect" ] || continue
  name=$(basename "$effect" .fx)
  if "$root/tools/texloom-fxo" "$effect" -I "$root/effects" -o "$out/$name.fxo"; then
    echo "compiled $name.fxo ($(stat -c %s "$out/$name.fxo") bytes)"
  else
    echo "FAILED: $effect"
    status=1
  fi
done
exit $status
