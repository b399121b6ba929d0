#!/usr/bin/env bash
# The virtual machine that runs Wine where this machine cannot execute
# 32-bit programs (QEMU's TCG emulation of a whole x86-64 PC, which can):
#
#   vm.sh start <dir> [owner pid]   boot one (image from tools/vm/image.sh);
#                                   prints "ok" or why not; stopped when the
#                                   owner process ends
#   vm.sh run <dir> <seconds> <program.exe> [args...]
#                                   run one program under Wine in it, in the
#                                   caller's directory, within <seconds> (0:
#                                   no limit); stdout, stderr and the exit
#                                   status are the program's, and a pipe
#                                   on stdin reaches it; on DXVK's
#                                   d3d9.dll where TEXLOOM_VM_DXVK_DLL names
#                                   it (tools/vm/guest/dxvk-prefix)
#   vm.sh alive <dir>               exit 0 while it runs
#   vm.sh stop <dir>                power it off and remove <dir>
#   vm.sh first-boot <image>        (tools/vm/image.sh) finish an image
#
# The guest sees this machine's root folder at /host, and its Wine drive Z:
# is that folder, so paths mean the same inside and out. Requests go through
# <dir>/spool (see tools/vm/guest/texloom-agent). The guest's disk is a
# snapshot: nothing a run writes there survives it. TEXLOOM_VM_MEMORY (MB,
# default 3072), TEXLOOM_VM_CPUS (default 2) and TEXLOOM_VM_ACCEL (default
# tcg,thread=multi; kvm where the machine has it) tune the machine.
set -uo pipefail
here=$(cd "$(dirname "$(readlink -f "$0")")" && pwd)
root=$(cd "$here/../.." && pwd)

fail() { echo "$*"; exit 1; }
qemu_runner=""

# QEMU 7.2's TCG mishandles a 32-bit iret from user mode when the guest
# enables SMAP, killing every 32-bit process: hence -smap.
qemu() {
  local image=$1 drive=$2 append=$3
  shift 3
  $qemu_runner qemu-system-x86_64 -accel "${TEXLOOM_VM_ACCEL:-tcg,thread=multi}" -cpu max,-smap \
    -smp "${TEXLOOM_VM_CPUS:-2}" -m "${TEXLOOM_VM_MEMORY:-3072}" \
    -nodefaults -no-user-config -display none -no-reboot \
    -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 quiet init=/usr/local/sbin/texloom-init $append" \
    -drive "file=$image/rootfs.img,if=virtio,format=raw,$drive" \
    -virtfs local,path=/,mount_tag=host,security_model=none,multidevs=remap "$@"
}

alive() {
  local pid
  pid=$(cat "$1/qemu.pid" 2>/dev/null) && [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null &&
    [ "$(cat "$1/spool/ready" 2>/dev/null)" = ok ]
}

stop() {
  local dir=$1 pid
  pid=$(cat "$dir/qemu.pid" 2>/dev/null)
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    touch "$dir/spool/stop" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 25); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
    kill -KILL "$pid" 2>/dev/null
  fi
  rm -rf "$dir"
}

first_boot() {
  local image=$1
  qemu_runner="timeout 2400" qemu "$image" "" "texloom_firstboot=$here/guest/first-boot" -serial "file:$image/firstboot.log"
  cat "$image/firstboot.log"
  grep -q '^texloom-firstboot: ok' "$image/firstboot.log"
}

start() {
  local dir=$1 owner=${2:-}
  # Both paths go on the guest kernel's command line.
  [[ $dir$here != *[[:space:]]* ]] || fail "the virtual machine's paths must not contain spaces: $dir, $here"
  command -v qemu-system-x86_64 >/dev/null ||
    fail "QEMU is not installed (Debian: qemu-system-x86; tools/install_deps.sh)"
  local image
  image=$("$here/image.sh") || fail "its image could not be made (see ${TEXLOOM_VM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/texloom-vm}/build.log)"
  rm -rf "$dir"
  mkdir -p "$dir/spool"
  local started=$SECONDS
  qemu "$image" snapshot=on "texloom_spool=$dir/spool texloom_agent=$here/guest/texloom-agent" -serial "file:$dir/console.log" \
    -pidfile "$dir/qemu.pid" -daemonize >"$dir/qemu.log" 2>&1 ||
    { local why; why=$(tail -1 "$dir/qemu.log"); stop "$dir"; fail "QEMU did not start: $why"; }
  local pid
  pid=$(cat "$dir/qemu.pid")
  # Stopped with its owner, however the owner ends.
  if [ -n "$owner" ]; then
    setsid bash -c 'while kill -0 "$1" 2>/dev/null && kill -0 "$2" 2>/dev/null; do sleep 2; done
                    "$3" stop "$4"' _ "$owner" "$pid" "$here/vm.sh" "$dir" </dev/null >/dev/null 2>&1 &
  fi
  local limit=$((SECONDS + ${TEXLOOM_VM_BOOT_TIMEOUT:-600}))
  while [ ! -s "$dir/spool/ready" ]; do
    if ! kill -0 "$pid" 2>/dev/null || [ $SECONDS -gt $limit ]; then
      local why
      why=$(grep -v '^\s*$' "$dir/console.log" 2>/dev/null | tail -1)
      stop "$dir"
      fail "the virtual machine did not come up: ${why:-no console output}"
    fi
    sleep 0.2
  done
  local verdict
  verdict=$(cat "$dir/spool/ready")
  [ "$verdict" = ok ] || { stop "$dir"; fail "in the virtual machine: $verdict"; }
  echo "$((SECONDS - started))" >"$dir/boot_seconds"
  echo ok
}

# "size mtime path" of every Windows image the program may load: those of
# the work tree, of the program's and the caller's folders and of folders
# named by path arguments (Unix or Z:\ form).
images_for() {
  local program=$1
  shift
  local folders=("$(dirname "$program")" "$PWD") argument path
  for argument in "$@"; do
    path=${argument#*=}
    if [[ $path == [Zz]:\\* ]]; then
      path=${path:2}
      path=${path//\\//}
    fi
    [[ $path == /* ]] || path=$PWD/$path
    [ -f "$path" ] && folders+=("$(dirname "$path")")
    [ -d "$path" ] && folders+=("$path")
  done
  {
    find "$root" \( -name .git -o -name CMakeFiles \) -prune -o -type f \
      \( -iname '*.exe' -o -iname '*.dll' -o -iname '*.auf' \) -printf '%s %T@ %p\n'
    find "${folders[@]}" -maxdepth 1 -type f \
      \( -iname '*.exe' -o -iname '*.dll' -o -iname '*.auf' \) -printf '%s %T@ %p\n'
  } 2>/dev/null | sort -u -k3
}

run() {
  local dir=$1 seconds=$2 program=$3
  shift 3
  alive "$dir" || { echo "vm.sh: no virtual machine runs in $dir" >&2; return 125; }
  program=$(realpath -s "$program")
  local request=$dir/spool/$(date +%s%N)-$$ input=""
  mkdir "$request.tmp" || return 125
  if [ -p /dev/stdin ]; then
    input=$request.in
    mkdir "$input" || return 125
  fi
  : >"$request.tmp/out"
  : >"$request.tmp/err"
  images_for "$program" "$@" >"$request.tmp/pe"
  {
    printf 'cd %q || exit 2\n' "/host$PWD"
    local name
    while IFS= read -r name; do
      printf 'export %s=%q\n' "$name" "${!name}"
    done < <(compgen -e | grep -E '^(TEXLOOM_|WINEDLLOVERRIDES$|DXVK_|VK_)')
    # On DXVK: the guest's prefix that has its d3d9.dll.
    [ -z "${TEXLOOM_VM_DXVK_DLL:-}" ] ||
      printf '. %q %q || exit 125\n' "/raw$here/guest/dxvk-prefix" "/raw$TEXLOOM_VM_DXVK_DLL"
    printf 'exec timeout -k 10 %q wine %q' "$seconds" "/host$program"
    [ $# -eq 0 ] || printf ' %q' "$@"
    # A pipe on stdin goes in as chunk files (see stdin-to-chunks); anything
    # else (a terminal, a file, /dev/null) is not read.
    [ -z "$input" ] || printf ' < <(perl %q %q)' "/raw$here/guest/read-stdin" "/raw$input"
    echo
  } >"$request.tmp/script"

  # The output is followed as the guest writes it (through the share).
  local waiter followers=()
  local pid
  pid=$(cat "$dir/qemu.pid")
  ( while [ ! -e "$request.run/status" ] && kill -0 "$pid" 2>/dev/null; do sleep 0.1; done ) &
  waiter=$!
  # Opened here, before the guest can rename the request's folder.
  local out_fd err_fd
  exec {out_fd}<"$request.tmp/out" {err_fd}<"$request.tmp/err"
  tail -c +1 -s 0.1 -f --pid=$waiter <&$out_fd &
  followers+=($!)
  tail -c +1 -s 0.1 -f --pid=$waiter <&$err_fd >&2 &
  followers+=($!)
  exec {out_fd}<&- {err_fd}<&-
  local feeder=""
  if [ -n "$input" ]; then
    "$here/stdin-to-chunks" "$input" <&0 &
    feeder=$!
  fi
  cancel() {
    touch "$request.run/cancel" 2>/dev/null || mv "$request.req" "$request.gone" 2>/dev/null
    for _ in $(seq 150); do [ -e "$request.run/status" ] && break; sleep 0.1; done
    kill "$waiter" "${followers[@]}" $feeder 2>/dev/null
    rm -rf "$request.run" "$request.gone" "$request.in"
    exit "$1"
  }
  trap 'cancel 130' INT
  trap 'cancel 143' TERM
  mv "$request.tmp" "$request.req"
  wait "$waiter"
  wait "${followers[@]}"
  trap - INT TERM
  # What the program did not read is not waited for.
  [ -z "$feeder" ] || kill "$feeder" 2>/dev/null
  local status
  status=$(cat "$request.run/status" 2>/dev/null)
  rm -rf "$request.run" "$request.req" "$request.in"
  if [ -z "$status" ]; then
    echo "vm.sh: the virtual machine stopped while $(basename "$program") ran" >&2
    return 125
  fi
  return "$status"
}

case "${1:-}" in
  start) start "$2" "${3:-}" ;;
  run) shift; run "$@" ;;
  alive) alive "$2" ;;
  stop) stop "$2" ;;
  first-boot) first_boot "$2" ;;
  *) echo "usage: vm.sh start|run|alive|stop|first-boot ..." >&2; exit 2 ;;
esac
