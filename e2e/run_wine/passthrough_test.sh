#!/usr/bin/env bash
# What tools/run_wine.sh passes through, natively or in the virtual machine
# (tools/vm; TEXLOOM_WINE_WAY=vm tries it on any machine): exit status,
# stdout and stderr kept apart, arguments with spaces and quotes, the
# caller's folder (written files land there), TEXLOOM_* variables, the time
# limit, a pipe on stdin. Uses the run's Wine state when TEXLOOM_WINE_STATE
# is set (the test command), else its own. Exit status 77 with one SKIPPED line when Wine
# cannot run here.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/texloom-passthrough.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
i686-w64-mingw32-gcc -O1 -o "$scratch/echo_probe.exe" "$here/echo_probe.c" ||
  { echo "FAILED: the probe could not be built"; exit 1; }
mkdir "$scratch/work folder"
cd "$scratch/work folder" || exit 1
echo "way: $("$root/tools/vm/wine_way.sh")"
export TEXLOOM_WINE_DIRECT3D=not-needed

failures=0
# name | status | time limit | arguments (one per line after the first three)
cases=(
  $'plain\n0\n900'
  $'status and awkward arguments\n3\n900\n3\na b\nit\'s "quoted"\n$HOME'
  $'time limit\n124\n5\nsleep'
  $'stdin\n0\n900\n0\necho'
)
for case in "${cases[@]}"; do
  mapfile -t fields <<<"$case"
  name=${fields[0]} want_status=${fields[1]} limit=${fields[2]}
  arguments=("${fields[@]:3}")
  rm -f written.txt
  printf 'first line\nsecond line\n' | TEXLOOM_ECHO_VALUE="x y" TEXLOOM_WINE_TIMEOUT=$limit \
    "$root/tools/run_wine.sh" "$scratch/echo_probe.exe" "${arguments[@]}" >"$scratch/out" 2>"$scratch/err"
  status=${PIPESTATUS[1]}
  [ $status -eq 77 ] && { grep -m1 '^SKIPPED:' "$scratch/out"; exit 77; }
  tr -d '\r' <"$scratch/out" >"$scratch/out.txt"
  {
    echo "folder=Z:${PWD//\//\\}"
    for argument in "${arguments[@]}"; do echo "argument=$argument"; done
    echo "TEXLOOM_ECHO_VALUE=x y"
    [ "${arguments[1]:-}" != echo ] || printf 'input=first line\ninput=second line\n'
  } >"$scratch/expected"
  problems=()
  [ $status -eq "$want_status" ] || problems+=("status $status, not $want_status")
  cmp -s "$scratch/out.txt" "$scratch/expected" ||
    problems+=("stdout differs: $(diff "$scratch/expected" "$scratch/out.txt" | tr '\n' ' ')")
  tr -d '\r' <"$scratch/err" | grep -qx 'on stderr' || problems+=("no \"on stderr\" on stderr")
  [ -f written.txt ] || problems+=("no written.txt in the caller's folder")
  if [ "$want_status" -eq 124 ]; then
    grep -q '^TIMEOUT: echo_probe.exe did not end within' "$scratch/err" || problems+=("no TIMEOUT line")
  fi
  if [ ${#problems[@]} -eq 0 ]; then
    echo "ok: $name"
  else
    echo "FAILED: $name: ${problems[*]}"
    failures=$((failures + 1))
  fi
done
[ $failures -eq 0 ]
