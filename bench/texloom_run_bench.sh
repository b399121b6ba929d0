#!/usr/bin/env bash
# texloom-run's throughput and footprint, in one run:
#
#   bash bench/texloom_run_bench.sh [frames] [long frames]
#
# 1. Frames per second at 1280x720 and 1920x1080 (the sample clip of
#    tools/make_sample_clip.sh, scaled; `frames` frames, default 120) of
#      - texloom-run end to end (an identity effect, output 10-bit .mkv),
#      - the plug-in alone: texloom-host.exe run over as many frames read
#        from a raw file already in the page cache,
#      - ffmpeg alone: decoding to 16-bit Y'CbCr and encoding that to the
#        same output format.
#    The target is end to end >= 0.9 x the slower of the other two.
# 2. Peak temporary disk use (under its TMPDIR) and peak memory (resident,
#    summed over every process of the run: texloom-run, ffmpeg, Wine) of
#    texloom-run over a 300-frame and a `long frames` (default 3000) clip at
#    320x180: both must not grow with the clip's length.
# Results go to standard output as a table; work files under build/bench-run.
# TEXLOOM_BENCH_PARTS=speed or =footprint runs one part alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
frames=${1:-120}
long_frames=${2:-3000}
work=$root/build/bench-run
mkdir -p "$work"
run=$root/tools/texloom-run

# An effect that passes the source through, built once by tools/texloom-fxo.
effect=$work/identity.fxo
if [ ! -f "$effect" ]; then
  cat >"$work/identity.fxd" <<'EOF'
int4 FilterVersion < string name = "Identity"; > = {1, 0, 0, 0};
texture TxSrc0 < int frame_offset = 0; >;
sampler2D Source0 = sampler_state { Texture = <TxSrc0>; MinFilter = POINT; MagFilter = POINT; };
technique ProcessImage0 {
  pass P0 {
    PixelShader = asm { ps_2_0
      dcl t0.xy
      dcl_2d s0
      texld r0, t0, s0
      mov oC0, r0 };
    bind { s0 = Source0; }
  }
}
EOF
  WINEPREFIX=$work/fxo-prefix WINEDLLOVERRIDES="mscoree,mshtml=" \
    "$root/tools/texloom-fxo" "$work/identity.fxd" -o "$effect" >&2
fi

sample=$work/sample.mkv
[ -f "$sample" ] || bash "$root/tools/make_sample_clip.sh" "$sample" "$frames" >&2

# Runs a command, sampling every 0.2 s the resident memory of its process
# tree and the size of $TMPDIR; prints "seconds peak_rss_mib peak_tmp_mib".
measure() {
  local tmp=$1
  shift
  local begin
  begin=$(date +%s.%N)
  "$@" >/dev/null 2>"$work/last.log" &
  local pid=$! peak_rss=0 peak_tmp=0 rss tmp_kib
  while kill -0 "$pid" 2>/dev/null; do
    rss=$(tree_rss "$pid")
    tmp_kib=$(du -sk "$tmp" 2>/dev/null | cut -f1 || true)
    [ "$rss" -gt "$peak_rss" ] && peak_rss=$rss
    [ "${tmp_kib:-0}" -gt "$peak_tmp" ] && peak_tmp=$tmp_kib
    sleep 0.2
  done
  wait "$pid" || { tail -5 "$work/last.log" >&2; return 1; }
  local end
  end=$(date +%s.%N)
  printf '%.1f %d %d\n' "$(echo "$end - $begin" | bc)" $((peak_rss / 1024)) $((peak_tmp / 1024))
}

# Seconds a command takes, without the sampling of measure(): walking the
# process tree five times a second costs a share of 2 cores that grows with
# the number of processes, and texloom-run under Wine has the most.
timed() {
  local begin end
  begin=$(date +%s.%N)
  "$@" >/dev/null 2>"$work/last.log" || { tail -5 "$work/last.log" >&2; return 1; }
  end=$(date +%s.%N)
  printf '%.1f\n' "$(echo "$end - $begin" | bc)"
}

# Resident KiB of a process and all its descendants.
tree_rss() {
  local pids=$1 frontier=$1 next
  while [ -n "$frontier" ]; do
    next=$(for p in $frontier; do cat "/proc/$p/task/"*/children 2>/dev/null || true; done |
      tr '\n' ' ')
    pids="$pids $next"
    frontier=$(echo "$next" | xargs)
  done
  local total=0 kib
  for p in $pids; do
    kib=$(awk '/^VmRSS:/ {print $2}' "/proc/$p/status" 2>/dev/null || true)
    total=$((total + ${kib:-0}))
  done
  echo "$total"
}

fps() { echo "scale=1; $1 / $2" | bc; }

parts=${TEXLOOM_BENCH_PARTS:-speed,footprint}
if [[ $parts == *speed* ]]; then
echo "| size | texloom-run fps | plug-in alone fps | ffmpeg alone fps | end to end / slower |"
echo "|---|---|---|---|---|"
for size in 1280x720 1920x1080; do
  clip=$work/sample-$size.mkv
  [ -f "$clip" ] || ffmpeg -nostdin -v error -i "$sample" -vf "scale=$size" -c:v ffv1 \
    -pix_fmt yuv420p -y "$clip"
  mkdir -p "$work/tmp"
  read -r e2e_s < <(timed env TMPDIR="$work/tmp" "$run" "$clip" -e "$effect" \
    -o "$work/out-$size.mkv" -y -q)
  # ffmpeg alone: decode as texloom-run does, encode as it does.
  read -r ff_s < <(timed bash -c "ffmpeg -nostdin -v error -i '$clip' \
    -f rawvideo -pix_fmt yuv444p16le - | ffmpeg -nostdin -v error -f rawvideo \
    -pix_fmt yuv444p16le -s $size -i - -pix_fmt yuv420p10le -y '$work/ff-$size.mkv'")
  # The plug-in alone: texloom-host.exe over raw host frames made beforehand.
  raw=$work/frames-$size.raw
  w=${size%x*}
  h=${size#*x}
  # Black frames: an identity effect takes as long over any picture.
  count=$(ffprobe -v error -count_packets -select_streams v:0 -show_entries \
    stream=nb_read_packets -of csv=p=0 "$clip" | tr -d ,)
  [ -f "$raw" ] || head -c $((6 * w * h * count)) /dev/zero >"$raw"
  count=$(($(stat -c %s "$raw") / (6 * w * h)))
  plugin_dir=$work/plugin
  mkdir -p "$plugin_dir"
  cp "$root/build/windows/texloom.auf" "$plugin_dir/texloom.auf"
  cp "$effect" "$plugin_dir/texloom.fxo"
  cat "$raw" >/dev/null
  read -r host_s < <(timed env TEXLOOM_WINE_TIMEOUT=0 \
    TEXLOOM_WINE_STATE="${XDG_CACHE_HOME:-$HOME/.cache}/texloom/wine" \
    "$root/tools/run_wine.sh" "$root/build/wintests/bin/texloom-host.exe" run \
    --plugin "Z:${plugin_dir//\//\\}\\texloom.auf" --input "Z:${raw//\//\\}" \
    --width "$w" --height "$h" --frames "$count" --first 0 --last $((count - 1)) \
    --output "Z:${work//\//\\}\\host-out.raw")
  rm -f "$work/host-out.raw"
  e2e=$(fps "$count" "$e2e_s")
  ff=$(fps "$count" "$ff_s")
  host=$(fps "$count" "$host_s")
  slower=$(echo "if ($ff < $host) $ff else $host" | bc)
  echo "| $size | $e2e | $host | $ff | $(echo "scale=2; $e2e / $slower" | bc) |"
done
fi
[[ $parts == *footprint* ]] || exit 0

echo
echo "| frames (320x180) | seconds | peak memory, all processes (MiB) | peak temporary disk (MiB) |"
echo "|---|---|---|---|"
for n in 300 "$long_frames"; do
  clip=$work/long-$n.mkv
  [ -f "$clip" ] || ffmpeg -nostdin -v error -f lavfi -i "testsrc2=s=320x180:r=30" \
    -frames:v "$n" -c:v libx264 -pix_fmt yuv420p -y "$clip"
  read -r s rss tmp < <(measure "$work/tmp" env TMPDIR="$work/tmp" "$run" "$clip" -e "$effect" \
    -o "$work/long-out-$n.mkv" -y -q)
  echo "| $n | $s | $rss | $tmp |"
done
