#!/usr/bin/env bash
# Every test: the native suite plain, under address+undefined-behaviour and
# (threaded suites) thread sanitizers; the Windows product build, its module
# inspection; the Windows test programs and the host harness under Wine, and
# the drawing ones again on DXVK.
# A program that cannot run here (no Wine, no 32-bit support, no Direct3D)
# is counted as skipped, never as passed. Where this machine cannot execute
# 32-bit programs (or TEXLOOM_WINE_WAY=vm), the Wine steps run in one
# virtual machine (tools/vm) kept up for the run; each Wine step says which
# way it ran ("native" or "vm"), and so does the summary.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# Nothing here reads the caller's input, and a program under Wine in the
# virtual machine would be handed a pipe's (tools/vm/vm.sh run).
exec </dev/null
"$root/tools/install_deps.sh" with-wine || exit 1

tests_passed=0
tests_failed=0
programs_skipped=0
steps_failed=()
steps_skipped=()
run_started=$SECONDS
wine_way=$("$root/tools/vm/wine_way.sh") || exit 2
# Emulated, a program takes some 7 to 10 times as long: its time limit too.
if [ "$wine_way" = vm ] && [ -z "${TEXLOOM_WINE_TIMEOUT:-}" ]; then
  export TEXLOOM_WINE_TIMEOUT=3600
fi
# There the soak's 200 frames are a quarter of the size (its work is all
# per pixel); its schedule and checks stay the same.
if [ "$wine_way" = vm ] && [ -z "${TEXLOOM_SOAK_SIZE:-}" ]; then
  export TEXLOOM_SOAK_SIZE=960x540
fi
step_way=""
wine_steps_run=0

build() {
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null && nice -n 10 ninja -C "$dir" -j 2 >"$dir.log" 2>&1 ||
    { tail -40 "$dir.log"; return 1; }
}

count_gtest() {
  local log=$1
  local passed failed
  passed=$(grep -oE '^\[  PASSED  \] [0-9]+' "$log" | grep -oE '[0-9]+$' | tail -1)
  failed=$(grep -oE '^\[  FAILED  \] [0-9]+ tests?' "$log" | grep -oE '[0-9]+' | tail -1)
  tests_passed=$((tests_passed + ${passed:-0}))
  tests_failed=$((tests_failed + ${failed:-0}))
}

# Runs one step; exit status 77 means it could not run here (skipped).
step() {
  local name=$1
  shift
  echo "== $name"
  local started=$SECONDS
  "$@"
  step_status=$?
  local took="$((SECONDS - started)) s${step_way:+, $step_way}"
  if [ $step_status -eq 0 ]; then
    echo "== $name: ok ($took)"
  elif [ $step_status -eq 77 ]; then
    echo "== $name: SKIPPED, not passed ($took)"
    steps_skipped+=("$name")
  else
    echo "== $name: FAILED ($took)"
    steps_failed+=("$name")
  fi
}

# A step that runs one test program.
program_step() {
  step "$@"
  [ $step_status -eq 77 ] && programs_skipped=$((programs_skipped + 1))
  return 0
}

# A step that runs Windows programs under Wine, natively or in the VM.
wine_step() {
  step_way=$wine_way
  program_step "$@"
  step_way=""
  [ $step_status -eq 77 ] || wine_steps_run=$((wine_steps_run + 1))
  return 0
}

# Runs a GoogleTest program, keeps its output in $log (without the carriage
# returns of Windows programs) and counts its results.
run_gtest() {
  local log=$1
  shift
  "$@" 2>&1 | tr -d '\r' >"$log"
  local status=${PIPESTATUS[0]}
  if [ $status -eq 77 ]; then
    grep -m1 '^SKIPPED:' "$log"
    return 77
  fi
  grep -E '^\[  (PASSED|FAILED|  SKIPPED) ' "$log" | tail -20
  # Figures a program reports for the run's summary (the fault sweep's).
  grep -E '^fault sweep: ' "$log"
  if [ $status -ne 0 ]; then
    tail -60 "$log"
    # A program that died before its summary has no result line to count.
    grep -qE '^\[  (PASSED|FAILED)  \]' "$log" || echo "no test summary: the program ended with status $status"
  fi
  count_gtest "$log"
  return $status
}

mkdir -p build
step "native build" build build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo
step "native tests" run_gtest build/native-tests.log build/native/texloom_tests
# HLSL effects for the Wine programs, compiled by the native texloom-fxo.
step "HLSL effects compiled by texloom-fxo (vkd3d)" "$root/tools/hlsl/compile_test_effects.sh"
step "address+undefined sanitizer build" build build/asan -DCMAKE_BUILD_TYPE=Debug \
  -DTEXLOOM_SANITIZE=address -DTEXLOOM_BENCH=OFF
step "address+undefined sanitizer tests" run_gtest build/asan-tests.log \
  env ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  build/asan/texloom_tests
step "thread sanitizer build" build build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTEXLOOM_SANITIZE=thread -DTEXLOOM_BENCH=OFF
step "thread sanitizer tests" run_gtest build/tsan-tests.log \
  env TSAN_OPTIONS=halt_on_error=1 build/tsan/texloom_tests --gtest_filter='Threaded*:*FrameOutput*:FrameEvents*:FrameCache*'
step "windows build" build build/windows -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
step "module inspection" "$root/tools/check_dll.sh" "$root/build/windows/texloom.auf"
step "entry points safe on a 4-byte aligned stack" \
  "$root/tools/check_entry_alignment.sh" "$root/build/windows/texloom.auf"
step "windows tests build" build build/wintests -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686-posix.cmake" -DTEXLOOM_WINDOWS_TESTS=ON \
  -DTEXLOOM_PRODUCT_DLL="$root/build/windows/texloom.auf"

# The Wine programs of this run share one template prefix and one Direct3D
# check (see tools/run_wine.sh).
export TEXLOOM_WINE_STATE=$root/build/wine-state
export TEXLOOM_D3D_PROBE=$root/build/wintests/bin/d3d_probe.exe
# An interrupted run leaves no virtual machine behind.
trap '"$root/tools/run_wine.sh" --discard; exit 130' INT
trap '"$root/tools/run_wine.sh" --discard; exit 143' TERM
step_way=$wine_way
step "wine set-up and Direct3D probe" "$root/tools/run_wine.sh" --prepare
step_way=""

# What tools/run_wine.sh passes through (status, output, arguments, folder,
# variables, time limit), natively or in the virtual machine.
wine_step "wine: run_wine.sh passthrough" "$root/e2e/run_wine/passthrough_test.sh"

wine_tests=$root/build/wintests/wine_tests.list
if [ -f "$wine_tests" ]; then
  while IFS=$'\t' read -r name direct3d program; do
    [ -n "$name" ] || continue
    wine_step "wine: $name" run_gtest "build/wine-$name.log" \
      env TEXLOOM_WINE_DIRECT3D="$direct3d" "$root/tools/run_wine.sh" "$program"
  done <"$wine_tests"
else
  echo "FAILED: no list of Windows test programs ($wine_tests)"
  steps_failed+=("wine test list")
fi

run_host_harness() {
  (cd "$root/build/windows" &&
    TEXLOOM_WINE_DIRECT3D=not-needed "$root/tools/run_wine.sh" texloom_host_harness.exe texloom.auf)
}
wine_step "host harness under wine" run_host_harness
# texloom-run end to end: an .fxo from tools/texloom-fxo, and an .fx with an
# include that texloom-run compiles, run over a clip by tools/texloom-run
# through texloom-host.exe and the module built above.
wine_step "texloom-run under wine" run_gtest build/wine-texloom-run.log \
  "$root/build/native/texloom_run_wine_test"

# The second Direct3D 9: DXVK over Vulkan (tools/dxvk), for the programs that
# draw through the plug-in and for the host harness; what differs from
# Wine's own is in e2e/plugin/WINE_NOTES.md.
step_way=$wine_way
step "dxvk: set-up and Direct3D probe" env TEXLOOM_D3D9=dxvk "$root/tools/run_wine.sh" --prepare
step_way=""
for name in plugin_pixels_test sample_effects_test; do
  program=$(awk -F'\t' -v name="$name" '$1 == name { print $3 }' "$wine_tests" 2>/dev/null)
  if [ -z "$program" ]; then
    echo "FAILED: $name is not in $wine_tests"
    steps_failed+=("dxvk: $name")
    continue
  fi
  wine_step "dxvk: $name" run_gtest "build/dxvk-$name.log" \
    env TEXLOOM_D3D9=dxvk "$root/tools/run_wine.sh" "$program"
done
run_host_harness_on_dxvk() {
  TEXLOOM_D3D9=dxvk run_host_harness
}
wine_step "dxvk: host harness" run_host_harness_on_dxvk
"$root/tools/run_wine.sh" --discard

echo
if [ ${#steps_failed[@]} -ne 0 ]; then
  echo "failed steps: ${steps_failed[*]}"
fi
if [ ${#steps_skipped[@]} -ne 0 ]; then
  echo "SKIPPED steps (not passed): ${steps_skipped[*]}"
fi
programs="programs"
[ "$programs_skipped" -eq 1 ] && programs="program"
if [ "$wine_way" = vm ]; then
  echo "wine steps: $wine_steps_run ran in the virtual machine (vm), each within $TEXLOOM_WINE_TIMEOUT s;" \
    "the soak's frames ${TEXLOOM_SOAK_SIZE:-1920x1080}"
else
  echo "wine steps: $wine_steps_run ran native"
fi
echo "tests: $tests_passed passed, $tests_failed failed, $programs_skipped $programs skipped (not passed)"
echo "total time: $((SECONDS - run_started)) s"
[ ${#steps_failed[@]} -eq 0 ] && [ "$tests_failed" -eq 0 ]
