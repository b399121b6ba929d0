#!/usr/bin/env bash
# Compiles the HLSL effects the Wine tests run (e2e/hlsl/effects, the
# sample effects of effects/ and every HLSL example of the users' guides,
# as OUT/docs/<guide>-<n>.fxo) with the native texloom-fxo:
#   tools/hlsl/compile_test_effects.sh [OUT]   (default: build/hlsl-effects)
# Exit status 77 with one SKIPPED line when the HLSL compiler cannot be had.
set -uo pipefail
root=$(cd "$(dirname "$(readlink -f "$0")")/../.." && pwd)
out=${1:-$root/build/hlsl-effects}

# Effects of an earlier run must not stand in for ones this run cannot make.
rm -rf "$out"
if ! version=$("$root/tools/hlsl/vkd3d-compiler" --version 2>/dev/null); then
  echo "SKIPPED: the HLSL compiler (vkd3d-compiler) is not installed; tools/hlsl/fetch_vkd3d.sh installs it"
  exit 77
fi
echo "$version"
mkdir -p "$out/docs"
status=0
compile() {  # source, output
  if "$root/tools/texloom-fxo" "$1" -I "$root/effects" -o "$2"; then
    echo "compiled ${2#"$out"/} ($(stat -c %s "$2") bytes)"
  else
    echo "FAILED: $1"
    status=1
  fi
}
for effect in "$root"/e2e/hlsl/effects/*.fx "$root"/effects/*.fx; do
  [ -f "$effect" ] || continue
  compile "$effect" "$out/$(basename "$effect" .fx).fxo"
done

# Each HLSL example of a guide, with the hidden text that makes a fragment a
# whole effect (guide_examples.awk); its messages name the guide's own lines.
for guide in "$root"/docs/users-guide.md "$root"/docs/users-guide.ja.md; do
  name=$(basename "$guide" .md)
  blocks=$(awk -v out="$out/docs/$name" -f "$root/tools/hlsl/guide_examples.awk" "$guide")
  [ "$blocks" -gt 0 ] || { echo "FAILED: no \`\`\`hlsl block in $guide"; status=1; }
  for block in "$out/docs/$name"-*.fx; do
    [ -f "$block" ] || continue
    compile "$block" "${block%.fx}.fxo"
  done
done
exit $status
