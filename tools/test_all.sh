#!/usr/bin/env bash
# Every test: the native suite plain, under address+undefined-behaviour and
# (threaded suites) thread sanitizers; the Windows product build, its module
# inspection and the host harness under Wine.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/tools/install_deps.sh" with-wine || exit 1

tests_passed=0
tests_failed=0
steps_failed=()

build() {
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null && ninja -C "$dir" >"$dir.log" 2>&1 ||
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

step() {
  local name=$1
  shift
  echo "== $name"
  if "$@"; then echo "== $name: ok"; else echo "== $name: FAILED"; steps_failed+=("$name"); fi
}

run_gtest() {
  local log=$1
  shift
  "$@" >"$log" 2>&1
  local status=$?
  grep -E '^\[  (PASSED|FAILED) ' "$log" | tail -20
  [ $status -ne 0 ] && tail -60 "$log"
  count_gtest "$log"
  return $status
}

mkdir -p build
step "native build" build build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo
step "native tests" run_gtest build/native-tests.log build/native/texloom_tests
step "address+undefined sanitizer build" build build/asan -DCMAKE_BUILD_TYPE=Debug \
  -DTEXLOOM_SANITIZE=address -DTEXLOOM_BENCH=OFF
step "address+undefined sanitizer tests" run_gtest build/asan-tests.log \
  env ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  build/asan/texloom_tests
step "thread sanitizer build" build build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTEXLOOM_SANITIZE=thread -DTEXLOOM_BENCH=OFF
step "thread sanitizer tests" run_gtest build/tsan-tests.log \
  env TSAN_OPTIONS=halt_on_error=1 build/tsan/texloom_tests --gtest_filter='Threaded*'
step "windows build" "$root/tools/build_windows.sh" "$root/build/windows"
step "module inspection" "$root/tools/check_dll.sh" "$root/build/windows/texloom.auf"
step "entry points safe on a 4-byte aligned stack" \
  "$root/tools/check_entry_alignment.sh" "$root/build/windows/texloom.auf"
step "host harness under wine" "$root/tools/run_harness.sh" "$root/build/windows"

echo
if [ ${#steps_failed[@]} -ne 0 ]; then
  echo "failed steps: ${steps_failed[*]}"
fi
echo "tests: $tests_passed passed, $tests_failed failed"
[ ${#steps_failed[@]} -eq 0 ] && [ "$tests_failed" -eq 0 ]
