#!/usr/bin/env bash
# Runs one Windows program under Wine:
#
#   tools/run_wine.sh <program.exe> [args...]
#
# The program runs in the caller's directory, in its own Wine prefix and on
# its own Xvfb display, both removed afterwards (wineserver and Xvfb killed,
# prefix deleted), within TEXLOOM_WINE_TIMEOUT seconds (default 900). Its
# stdout and stderr pass through; Wine's own messages are kept out. The exit
# status is the program's, or 124 after a time-out.
#
# When Wine cannot run here (no 32-bit Wine, a kernel that cannot start
# 32-bit programs, no Xvfb, no Direct3D 9 device) it prints one line
# "SKIPPED: <why>" and exits 77. The Direct3D check runs d3d_probe.exe
# (TEXLOOM_D3D_PROBE, by default beside the program); TEXLOOM_WINE_DIRECT3D=
# not-needed leaves it out for programs that need no device.
#
# A new prefix takes wineboot some 15 seconds. With TEXLOOM_WINE_STATE set to
# a directory, the programs of one test run share the checks and one freshly
# made template prefix there: each program gets a copy of it, in which the
# large DLL folders are hard links (Wine only reads them; registry files,
# which Wine rewrites, are real copies). Without it every program makes its
# own. "run_wine.sh --prepare" starts a run (new template, new checks, and the
# Direct3D probe's report printed); "run_wine.sh --discard" removes the state.
#
# With TEXLOOM_WINE_WARM naming a folder, the programs of one session (the
# renders of texloom-run --watch) share what takes Wine seconds to start:
# one prefix, one display and one persistent wineserver whose services are
# already running. "run_wine.sh --warm-up" makes them there, kept until the
# process that asked ends or "run_wine.sh --cool-down"; a program started
# meanwhile uses them, and an interrupted one ends alone. In the virtual
# machine Wine is always kept warm, so both do nothing there.
#
# TEXLOOM_D3D9=dxvk runs the program on DXVK's Direct3D 9 (over Vulkan)
# instead of Wine's own (tools/dxvk/dxvk_wine.sh); the Direct3D check and
# "--prepare" then probe DXVK, keeping the template and Wine's own verdicts.
#
# Where this machine cannot execute 32-bit programs (tools/runs_32bit.sh
# tries one), or with TEXLOOM_WINE_WAY=vm, the programs run in the virtual
# machine of tools/vm instead, one for the whole run: "--prepare" boots it
# (stopped by "--discard", or when the process that asked for it ends), and
# a program run without one boots its own. Paths, output, exit status and
# time limit are the same either way, and so is a pipe on stdin; the
# TEXLOOM_* variables and WINEDLLOVERRIDES are passed in.
set -uo pipefail

timeout_seconds=${TEXLOOM_WINE_TIMEOUT:-900}
direct3d=${TEXLOOM_WINE_DIRECT3D:-required}
script=$(readlink -f "$0")
tools=$(dirname "$script")
way=$("$tools/vm/wine_way.sh") || exit 2
d3d9=${TEXLOOM_D3D9:-wined3d}
case "$d3d9" in
  wined3d) d3d9_tag="" ;;
  dxvk) d3d9_tag="-dxvk"; source "$(dirname "$script")/dxvk/dxvk_wine.sh" ;;
  *) echo "run_wine.sh: TEXLOOM_D3D9 is wined3d or dxvk, not '$d3d9'" >&2; exit 2 ;;
esac

skip() {
  echo "SKIPPED: $*"
  exit 77
}

# Wine's diagnostics, and the prefix set-up notes it prints on stderr.
wine_noise='^([0-9a-f]{4}:)?(fixme|err|warn|trace):|^wine: (created the configuration directory|configuration in .* has been updated)'

# ---- checks that need no prefix ------------------------------------------------

# Prints why Wine cannot run 32-bit programs here, or nothing.
wine_blocker() {
  command -v wine >/dev/null || { echo "Wine is not installed (Debian: wine, wine32:i386)"; return; }
  # Debian keeps the 32-bit loader in /usr/lib/wine/wine (package wine32:i386).
  local loader=wine
  if [ -d /usr/lib/wine ]; then
    [ -x /usr/lib/wine/wine ] ||
      { echo "32-bit Wine is not installed (Debian: wine32:i386; /usr/lib/wine/wine missing)"; return; }
    loader=/usr/lib/wine/wine
  fi
  local why
  why=$("$tools/runs_32bit.sh") || { echo "$why, so 32-bit Wine cannot start"; return; }
  "$loader" --version >/dev/null 2>&1 || { echo "32-bit Wine does not start ($loader --version fails)"; return; }
  command -v Xvfb >/dev/null || { echo "Xvfb is not installed (Debian: xvfb)"; return; }
  command -v flock >/dev/null || echo "flock is not installed (Debian: util-linux)"
}

# ---- state shared by the programs of one run ---------------------------------

private_state=""
if [ -n "${TEXLOOM_WINE_STATE:-}" ]; then
  state=$TEXLOOM_WINE_STATE
else
  private_state=$(mktemp -d "${TMPDIR:-/tmp}/texloom-wine-state.XXXXXX")
  state=$private_state
fi

# Makes the template prefix: no Mono or Gecko installers, and no debugger
# for crashes: winedbg would print a backtrace and then end the program with
# status 0, so a crash would look like success. With a debugger that cannot
# start, the program ends with its exception code (page fault: status 5),
# after Wine's one line "Unhandled page fault ... at address ...".
make_template() {
  local template=$1
  rm -rf "$template"
  (
    export WINEPREFIX=$template WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY
    timeout 300 wine wineboot --init &&
      timeout 60 wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /t REG_SZ /d texloom-no-debugger /f &&
      timeout 60 wineserver -w
  ) >"$state/wineboot.log" 2>&1
}

# Boots the virtual machine into $state/vm, kept until the process $1 ends;
# prints why not, or nothing.
vm_blocker() {
  local verdict
  # Not with the lock's descriptor: the machine would hold the lock.
  verdict=$("$tools/vm/vm.sh" start "$state/vm" "$1" 9>&- | tail -1)
  [ "$verdict" = ok ] && return
  local why
  why=$("$tools/runs_32bit.sh")
  echo "Wine cannot run natively here (${why:-TEXLOOM_WINE_WAY=vm}) and the virtual machine cannot run it: $verdict"
}

# Once per run: the Wine checks and the template prefix (natively) or the
# virtual machine, kept until the process $1 ends; leaves the verdict ("ok"
# or why not) in $state/wine.
prepare_wine() {
  mkdir -p "$state"
  (
    flock -x 9
    if [ -s "$state/wine" ]; then
      [ "$way" = native ] || [ "$(cat "$state/wine")" != ok ] || "$tools/vm/vm.sh" alive "$state/vm" &&
        exit 0
    fi
    local blocker
    if [ "$way" = vm ]; then
      blocker=$(vm_blocker "$1")
    else
      blocker=$(wine_blocker)
      if [ -z "$blocker" ] && ! make_template "$state/template"; then
        blocker="Wine could not make a prefix: $(grep -vE "$wine_noise" "$state/wineboot.log" | tail -1)"
      fi
    fi
    echo "${blocker:-ok}" >"$state/wine"
  ) 9>"$state/wine.lock"
  local verdict
  verdict=$(cat "$state/wine" 2>/dev/null)
  [ "$verdict" = ok ] || skip "$verdict"
}

# Once per run and Direct3D 9: whether the probe makes a device; the verdict
# goes to $state/direct3d and the probe's report to $state/d3d_probe.txt
# (with "-dxvk" in both names for DXVK).
prepare_direct3d() {
  local probe=$1
  local verdict_file=$state/direct3d$d3d9_tag report=$state/d3d_probe$d3d9_tag.txt
  (
    flock -x 9
    [ -s "$verdict_file" ] && exit 0
    if [ ! -f "$probe" ]; then
      echo "unchecked (no $probe)" >"$verdict_file"
      exit 0
    fi
    TEXLOOM_WINE_STATE=$state TEXLOOM_WINE_DIRECT3D=not-needed TEXLOOM_WINE_TIMEOUT=120 \
      "$script" "$probe" >"$report" 2>&1 </dev/null
    local status=$?
    if [ $status -eq 0 ]; then
      echo ok >"$verdict_file"
    elif [ $status -eq 77 ]; then
      sed -n 's/^SKIPPED: //p' "$report" | head -1 >"$verdict_file"
    else
      local why
      why=$(sed -n 's/^no device: //p' "$report" | head -1)
      echo "no Direct3D 9 device can be made here (${why:-d3d_probe exited with $status})" \
        >"$verdict_file"
    fi
  ) 9>"$verdict_file.lock"
  local verdict
  verdict=$(cat "$verdict_file" 2>/dev/null)
  case "$verdict" in
    ok) ;;
    unchecked*) echo "note: Direct3D $verdict" >&2 ;;
    *) skip "$verdict" ;;
  esac
}

# ---- a warm session (TEXLOOM_WINE_WARM) ------------------------------------------

# The copy of the template prefix into $1: hard links for the folders of
# DLLs (Wine only reads them), real copies of the rest.
copy_prefix() {
  local template=$state/template prefix=$1
  mkdir -p "$prefix"
  {
    tar -C "$template" --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/winsxs \
      -cf - . | tar -C "$prefix" -xf - &&
      cp -al "$template/drive_c/windows/system32" "$template/drive_c/windows/winsxs" \
        "$prefix/drive_c/windows/"
  } || { echo "run_wine.sh: could not copy the Wine prefix" >&2; return 1; }
  if [ "$d3d9" = dxvk ]; then
    dxvk_into_prefix "$prefix" || { echo "run_wine.sh: could not put DXVK into the prefix" >&2; return 1; }
  fi
}

cool_down() {
  local warm=$1
  [ -d "$warm" ] || return 0
  local pid
  # The keeper leads its own session: its whole group goes, with the sleep
  # it may be waiting in.
  pid=$(cat "$warm/keeper.pid" 2>/dev/null) && [ "$pid" != "$$" ] && kill -- "-$pid" 2>/dev/null
  if [ -d "$warm/prefix" ]; then
    WINEPREFIX=$warm/prefix timeout 30 wineserver -k >/dev/null 2>&1
    WINEPREFIX=$warm/prefix timeout 30 wineserver -w >/dev/null 2>&1
  fi
  pid=$(cat "$warm/xvfb.pid" 2>/dev/null) && kill "$pid" 2>/dev/null
  rm -rf "$warm"
}

# Makes the warm session in $TEXLOOM_WINE_WARM for the process $1.
warm_up() {
  local warm=$1 owner=$2
  cool_down "$warm"
  mkdir -p "$warm"
  copy_prefix "$warm/prefix" || return 2
  # Out of the caller's process group: a Ctrl-C there reaches the programs,
  # and the keeper below ends the session.
  setsid Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$warm/display" \
    </dev/null >"$warm/xvfb.log" 2>&1 &
  echo "$!" >"$warm/xvfb.pid"
  for _ in $(seq 100); do
    [ -s "$warm/display" ] && break
    kill -0 "$(cat "$warm/xvfb.pid")" 2>/dev/null || break
    sleep 0.1
  done
  [ -s "$warm/display" ] || { local why; why=$(tail -1 "$warm/xvfb.log"); cool_down "$warm"; skip "Xvfb did not start: $why"; }
  (
    export WINEPREFIX=$warm/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    export DISPLAY=":$(head -1 "$warm/display")"
    [ "$d3d9" = dxvk ] && dxvk_environment
    # Persistent: the server and Wine's services outlive each program.
    wineserver -p && timeout 120 wine cmd /c exit 0
  ) </dev/null >"$warm/prime.log" 2>&1 ||
    { echo "run_wine.sh: Wine did not start: $(grep -vE "$wine_noise" "$warm/prime.log" | tail -1)" >&2
      cool_down "$warm"; return 2; }
  # Cooled down with its owner, however the owner ends.
  setsid bash -c 'while kill -0 "$1" 2>/dev/null && [ -d "$2" ]; do sleep 1; done
                  TEXLOOM_WINE_WARM=$2 exec "$3" --cool-down' _ "$owner" "$warm" "$script" \
    </dev/null >/dev/null 2>&1 &
  echo "$!" >"$warm/keeper.pid"
  echo "ready" >"$warm/ready"
}

case "${1:-}" in
  "")
    echo "usage: run_wine.sh <program.exe> [args...] | --prepare | --discard" >&2
    exit 2
    ;;
  --discard)
    if [ -n "${TEXLOOM_WINE_STATE:-}" ]; then
      [ -d "$TEXLOOM_WINE_STATE/vm" ] && "$tools/vm/vm.sh" stop "$TEXLOOM_WINE_STATE/vm"
      rm -rf "$TEXLOOM_WINE_STATE"
    fi
    exit 0
    ;;
  --warm-up | --cool-down)
    [ -n "${TEXLOOM_WINE_WARM:-}" ] || { echo "$1 needs TEXLOOM_WINE_WARM" >&2; exit 2; }
    [ "$way" = native ] || exit 0
    if [ "$1" = --cool-down ]; then
      cool_down "$TEXLOOM_WINE_WARM"
      exit 0
    fi
    prepare_wine "$PPID"
    [ "$d3d9" = dxvk ] && prepare_dxvk
    [ "$direct3d" = not-needed ] || [ -z "${TEXLOOM_D3D_PROBE:-}" ] ||
      prepare_direct3d "$TEXLOOM_D3D_PROBE"
    warm_up "$TEXLOOM_WINE_WARM" "$PPID"
    exit $?
    ;;
  --prepare)
    [ -n "${TEXLOOM_WINE_STATE:-}" ] || { echo "--prepare needs TEXLOOM_WINE_STATE" >&2; exit 2; }
    if [ "$d3d9" = dxvk ]; then
      # The template and Wine's own verdicts stay: DXVK is probed beside them.
      rm -rf "$state/dxvk" "$state/direct3d-dxvk" "$state/d3d_probe-dxvk.txt"
    else
      [ -d "$state/vm" ] && "$tools/vm/vm.sh" stop "$state/vm"
      rm -rf "$state"
    fi
    # The virtual machine lasts as long as the run that asked for it.
    prepare_wine "$PPID"
    [ "$d3d9" = dxvk ] && prepare_dxvk
    probe=${TEXLOOM_D3D_PROBE:-}
    if [ -n "$probe" ]; then
      prepare_direct3d "$probe"
      cat "$state/d3d_probe$d3d9_tag.txt"
    fi
    if [ "$way" = vm ]; then
      echo "Wine runs in the virtual machine (booted in $(cat "$state/vm/boot_seconds") s)"
    else
      echo "Wine prefix template ready in $state/template"
    fi
    exit 0
    ;;
esac

program=$1
shift
[ -f "$program" ] || { echo "run_wine.sh: no such program: $program" >&2; exit 2; }

# ---- one program ---------------------------------------------------------------

run_dir=$(mktemp -d "${TMPDIR:-/tmp}/texloom-wine.XXXXXX")
prefix=$run_dir/prefix
xvfb_pid=""
cleanup() {
  if [ -d "$prefix" ]; then
    WINEPREFIX=$prefix timeout 30 wineserver -k >/dev/null 2>&1
    WINEPREFIX=$prefix timeout 30 wineserver -w >/dev/null 2>&1
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$run_dir"
  if [ -n "$private_state" ]; then
    [ -d "$private_state/vm" ] && "$tools/vm/vm.sh" stop "$private_state/vm"
    rm -rf "$private_state"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Without a virtual machine from --prepare, this program boots its own.
if [ "$way" = vm ] && [ -z "$private_state" ] && ! "$tools/vm/vm.sh" alive "$state/vm"; then
  private_state=$(mktemp -d "${TMPDIR:-/tmp}/texloom-wine-state.XXXXXX")
  state=$private_state
  export TEXLOOM_WINE_STATE=$state
fi
prepare_wine "$$"
[ "$d3d9" = dxvk ] && prepare_dxvk
if [ "$direct3d" != not-needed ]; then
  prepare_direct3d "${TEXLOOM_D3D_PROBE:-$(dirname "$program")/d3d_probe.exe}"
fi

if [ "$way" = vm ]; then
  # DXVK goes into a prefix of the guest's own (tools/vm/guest/dxvk-prefix).
  if [ "$d3d9" = dxvk ]; then
    export WINEDLLOVERRIDES="mscoree,mshtml=" TEXLOOM_VM_DXVK_DLL=$state/dxvk/d3d9.dll
    dxvk_environment
  fi
  { "$tools/vm/vm.sh" run "$state/vm" "$timeout_seconds" "$program" "$@" 2>&1 1>&3 3>&- |
    grep --line-buffered -vE "$wine_noise" >&2; } 3>&1
  status=${PIPESTATUS[0]}
  [ "$status" -eq 124 ] &&
    echo "TIMEOUT: $(basename "$program") did not end within $timeout_seconds s" >&2
  exit "$status"
fi

warm=${TEXLOOM_WINE_WARM:-}
if [ -n "$warm" ] && [ -s "$warm/ready" ]; then
  # The session's prefix, display and server, left running for the next.
  display=$(head -1 "$warm/display" 2>/dev/null)
  export WINEPREFIX=$warm/prefix
else
  copy_prefix "$prefix" || exit 2
  # An own display: Xvfb picks a free one and reports it on fd 3.
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$run_dir/display" \
    >"$run_dir/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$run_dir/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  display=$(head -1 "$run_dir/display" 2>/dev/null)
  [ -n "$display" ] || skip "Xvfb did not start: $(tail -1 "$run_dir/xvfb.log")"
  export WINEPREFIX=$prefix
fi

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=":$display"
[ "$d3d9" = dxvk ] && dxvk_environment
# stdout goes straight through; stderr through the filter.
{ timeout -k 10 "$timeout_seconds" wine "$program" "$@" 2>&1 1>&3 3>&- |
  grep --line-buffered -vE "$wine_noise" >&2; } 3>&1
status=${PIPESTATUS[0]}
if [ "$status" -eq 124 ]; then
  echo "TIMEOUT: $(basename "$program") did not end within $timeout_seconds s" >&2
fi
exit "$status"
