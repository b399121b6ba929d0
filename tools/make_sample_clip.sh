#!/usr/bin/env bash
# Makes the sample clip of the main job from a real photograph: the espresso
# picture that Debian's python3-skimage package carries (fetched with
# apt-get download and unpacked with dpkg -x, so none of that package's
# dependencies are installed), a 480x320 window panned slowly across it, with
# fresh noise in every frame for a temporal filter to remove. Lossless (FFV1),
# so the noise is exactly what the filters see.
#
#   tools/make_sample_clip.sh <output.mkv> [frames] [clean.mkv]
#
# With a third argument, also writes the same pan without the noise, against
# which a denoiser's result can be measured.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
output=$1
frames=${2:-48}
clean=${3:-}
cache=$root/build/sample-data
photo=$cache/coffee.png

if [ ! -s "$photo" ]; then
  mkdir -p "$cache"
  work=$(mktemp -d "$cache/download.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  (cd "$work" && apt-get download python3-skimage >/dev/null 2>&1) ||
    { echo "make_sample_clip: apt-get download python3-skimage failed" >&2; exit 1; }
  dpkg -x "$work"/python3-skimage_*.deb "$work/unpacked"
  found=$(find "$work/unpacked" -path '*skimage/data/coffee.png' | head -1)
  [ -n "$found" ] || { echo "make_sample_clip: coffee.png is not in the package" >&2; exit 1; }
  cp "$found" "$photo"
fi

mkdir -p "$(dirname "$output")"
# The photograph is 600x400: the window moves one pixel right per frame and
# one down every second frame, so a 48-frame clip stays inside it.
pan="crop=480:320:'min(n,120)':'min(floor(n/2),80)'"
ffmpeg -v error -y -loop 1 -i "$photo" -vf "$pan,noise=alls=16:allf=t,format=rgb24" \
  -frames:v "$frames" -r 24 -c:v ffv1 "$output"
if [ -n "$clean" ]; then
  ffmpeg -v error -y -loop 1 -i "$photo" -vf "$pan,format=rgb24" -frames:v "$frames" -r 24 \
    -c:v ffv1 "$clean"
fi
