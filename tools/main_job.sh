#!/usr/bin/env bash
# The main job: builds the release into dist/ (texloom.auf, the sample
# effects as .fxo beside their HLSL sources, the users' documentation, and
# all of it as dist/texloom-<version>-win32.zip), makes
# a short sample clip from a real photograph and runs every sample effect
# over it through the real plug-in under Wine, leaving before/after PNG images
# and side-by-side videos in out/; the side-by-side images go beside the
# guides (dist/docs/images), which show them, before the zip is made.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/tools/install_deps.sh" with-wine

step() { printf '\n== %s\n' "$*"; }

step "texloom.auf"
"$root/tools/build_windows.sh" "$root/build/windows" >/dev/null
"$root/tools/check_dll.sh" "$root/build/windows/texloom.auf"
"$root/tools/check_entry_alignment.sh" "$root/build/windows/texloom.auf"

# Only what texloom-run needs: the effects are compiled natively, and the
# Windows test programs are the test command's business.
step "the Windows tools (texloom-host, d3d_probe)"
{ cmake -S "$root" -B "$root/build/wintests" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686-posix.cmake" -DTEXLOOM_WINDOWS_TESTS=ON &&
    nice -n 10 ninja -C "$root/build/wintests" -j 2 texloom-host d3d_probe; } \
  >"$root/build/wintests.log" 2>&1 || { tail -30 "$root/build/wintests.log"; exit 1; }

# Where Wine runs in the virtual machine, one serves the whole job.
if [ "$("$root/tools/vm/wine_way.sh")" = vm ]; then
  step "the virtual machine for Wine"
  export TEXLOOM_WINE_STATE=$root/build/main-job-wine
  export TEXLOOM_D3D_PROBE=$root/build/wintests/bin/d3d_probe.exe
  trap '"$root/tools/run_wine.sh" --discard' EXIT
  "$root/tools/run_wine.sh" --prepare
fi

step "dist/"
rm -rf "$root/dist"
mkdir -p "$root/dist/effects" "$root/dist/docs"
cp "$root/build/windows/texloom.auf" "$root/dist/"
# The sample effects are HLSL, compiled natively by texloom-fxo (vkd3d).
"$root/tools/texloom-fxo" --version
for source in "$root"/effects/*.fx; do
  name=$(basename "$source" .fx)
  "$root/tools/texloom-fxo" "$source" -o "$root/dist/effects/$name.fxo"
  cp "$source" "$root/dist/effects/"
done
cp "$root"/effects/*.fxh "$root/dist/effects/" 2>/dev/null || true
cp "$root"/docs/users-guide.md "$root"/docs/users-guide.ja.md "$root/dist/docs/"

step "the sample clip"
out=$root/out
rm -rf "$out"
mkdir -p "$out"
clip=$out/sample.mkv
clean=$root/build/sample-data/sample-clean.mkv
"$root/tools/make_sample_clip.sh" "$clip" 48 "$clean"
echo "made $clip (48 frames, 480x320, from python3-skimage's coffee.png, panned, with noise)"

# The frame shown as before/after, in the middle of the clip.
shown=24
before=$out/before.png
ffmpeg -v error -y -i "$clip" -vf "select=eq(n\,$shown)" -frames:v 1 "$before"

for effect in denoise3 sharpen blur grade detail looks; do
  step "$effect over the sample clip"
  dir=$out/$effect
  mkdir -p "$dir"
  "$root/tools/texloom-run" "$clip" -e "$root/dist/effects/$effect.fxo" \
    -o "$dir/after.mkv" -o "$dir/frames/"
  cp "$before" "$dir/before.png"
  cp "$dir/frames/frame_$(printf '%06d' $shown).png" "$dir/after.png"
  ffmpeg -v error -y -i "$dir/before.png" -i "$dir/after.png" -filter_complex hstack \
    "$dir/side-by-side.png"
  ffmpeg -v error -y -i "$clip" -i "$dir/after.mkv" -filter_complex hstack \
    -c:v libx264 -pix_fmt yuv420p -crf 16 "$dir/side-by-side.mp4"
  mkdir -p "$root/dist/docs/images"
  # JPEG: the zip stays small (a third of the PNG), and it is a photograph.
  ffmpeg -v error -y -i "$dir/side-by-side.png" -q:v 3 "$root/dist/docs/images/$effect.jpg"
done

# The guides show these images as images/<name>.jpg: each one they name
# must have been rendered.
step "the guides' images"
missing=0
for image in $(grep -ho '](images/[^)]*)' "$root"/docs/users-guide*.md | sed 's/^](//; s/)$//' | sort -u); do
  if [ -f "$root/dist/docs/$image" ]; then echo "$image"; else echo "MISSING: $image"; missing=1; fi
done
[ $missing = 0 ] || { echo "the guides name images the main job did not render"; exit 1; }

step "the release zip"
version=$(sed -n 's/.*VALUE "FileVersion", "\([0-9.]*\)".*/\1/p' "$root/src/plugin/version.rc")
zip=$root/dist/texloom-$version-win32.zip
(cd "$root/dist" && rm -f "$zip" && zip -q -r "$zip" texloom.auf effects docs)
ls -l "$root/dist" "$root/dist/effects" "$root/dist/docs" "$root/dist/docs/images"

# How close to the picture without noise the clip is before and after the
# denoiser (PSNR over all frames; higher is closer).
psnr() {
  ffmpeg -v info -i "$1" -i "$clean" -lavfi "[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr" \
    -f null - 2>&1 | sed -n 's/.* average:\([0-9.inf]*\).*/\1/p' | tail -1
}
step "noise against the clean pan (PSNR, dB)"
echo "sample clip: $(psnr "$clip")   denoise3 result: $(psnr "$out/denoise3/after.mkv")"

step "done"
echo "release:        $root/dist (texloom.auf, effects/*.fxo with their .fx sources, docs/) and $zip"
echo "sample clip:    $clip"
for effect in denoise3 sharpen blur grade detail looks; do
  echo "$effect: $out/$effect/before.png, after.png, side-by-side.png and side-by-side.mp4"
done
