#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine, only what is
# missing. The build tools are required; a failure to get the Wine parts
# (Wine, Xvfb, Mesa's 32-bit OpenGL drivers for Direct3D; Vulkan and DXVK for
# the second Direct3D) only makes the Wine (or dxvk) steps of the test
# command report themselves as skipped. Where this machine cannot execute
# 32-bit programs (or TEXLOOM_WINE_WAY=vm), Wine runs in a virtual machine
# (tools/vm) and what builds and boots it is installed too; elsewhere it is
# not, QEMU being some 100 MB of packages.
#   tools/install_deps.sh [with-wine|without-wine]   (default: with-wine)
set -euo pipefail

want_wine=${1:-with-wine}
# g++-mingw-w64-i686-posix is the test programs' compiler; the module's
# (-win32) comes with g++-mingw-w64-i686. googletest holds the sources the
# Windows tests build compiles; ffmpeg is for the video tools; zip packs the
# release.
core=(cmake ninja-build g++ pkg-config googletest libgtest-dev libbenchmark-dev
      g++-mingw-w64-i686 g++-mingw-w64-i686-posix binutils-mingw-w64-i686 ffmpeg zip)
# Wine's Direct3D 9 runs on OpenGL: without Mesa's i386 drivers (which
# --no-install-recommends leaves out) no device can be made.
wine=(wine wine32:i386 xvfb xauth libgl1-mesa-dri:i386 libglx-mesa0:i386 libgl1:i386)
# The second Direct3D 9, DXVK, draws through Vulkan: the 32-bit loader and
# Mesa's software driver lavapipe. DXVK itself comes from Debian 13 through
# tools/dxvk/fetch_dxvk.sh (below). Installed apart, so that a failure here
# costs only the dxvk steps.
vulkan=(libvulkan1:i386 mesa-vulkan-drivers:i386)
vm=(qemu-system-x86 debootstrap e2fsprogs)

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd=sudo
updated=no

missing_of() {
  local package
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || echo "$package"
  done
}

install() {
  if [ "$updated" = no ]; then
    $sudo_cmd apt-get update -qq
    updated=yes
  fi
  echo "installing: $*"
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "$@" \
    >/dev/null
}

# Debian 12's security suite now and then publishes an i386 index whose size
# does not match its Release file ("File has unexpected size"). apt then sees
# the amd64 security updates without their i386 twins, and multi-arch
# packages (libssl3, zlib1g, ...) cannot be paired. A second try installs
# from the machine's own sources less the security suite, through a private
# source list and package lists: the system's own files stay untouched.
install_without_security() {
  local private
  private=$(mktemp -d "${TMPDIR:-/tmp}/texloom-apt.XXXXXX")
  chmod 755 "$private"  # apt downloads as the _apt user
  mkdir -p "$private/parts" "$private/lists/partial"
  local source
  for source in /etc/apt/sources.list.d/*.sources; do
    [ -f "$source" ] || continue
    # deb822: drop every stanza that names a security suite.
    awk -v RS= -v ORS='\n\n' '!/-security/' "$source" >"$private/parts/$(basename "$source")"
  done
  for source in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$source" ] || continue
    grep -v -- '-security' "$source" >"$private/parts/$(basename "$source" .list)-$RANDOM.list"
  done
  local options=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$private/parts"
                 -o "Dir::State::Lists=$private/lists" -o DPkg::Lock::Timeout=600)
  echo "retrying without the security suite: $*"
  local status=0
  $sudo_cmd apt-get "${options[@]}" update -qq &&
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get "${options[@]}" install -y -qq \
      --no-install-recommends "$@" >/dev/null || status=1
  rm -rf "$private"
  return $status
}

mapfile -t missing < <(missing_of "${core[@]}")
[ ${#missing[@]} -eq 0 ] || install "${missing[@]}"

if [ "$want_wine" = with-wine ]; then
  mapfile -t missing < <(missing_of "${wine[@]}")
  if [ ${#missing[@]} -ne 0 ]; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      # A new architecture needs a new package list.
      $sudo_cmd dpkg --add-architecture i386 && updated=no
    fi
    install "${missing[@]}" ||
      install_without_security "${missing[@]}" ||
      echo "WARNING: the Wine parts could not be installed; the Wine steps will be skipped"
  fi
  mapfile -t missing < <(missing_of "${vulkan[@]}")
  if [ ${#missing[@]} -ne 0 ]; then
    install "${missing[@]}" ||
      install_without_security "${missing[@]}" ||
      echo "WARNING: 32-bit Vulkan could not be installed; the dxvk steps will be skipped"
  fi
  if ! dxvk=$("$(dirname "$0")/dxvk/fetch_dxvk.sh"); then
    echo "WARNING: $dxvk; the dxvk steps will be skipped"
  fi
  if [ "${TEXLOOM_WINE_WAY:-}" = vm ] || ! "$(dirname "$0")/runs_32bit.sh" >/dev/null; then
    mapfile -t missing < <(missing_of "${vm[@]}")
    if [ ${#missing[@]} -ne 0 ]; then
      install "${missing[@]}" ||
        install_without_security "${missing[@]}" ||
        echo "WARNING: the virtual machine's tools could not be installed; the Wine steps will be skipped"
    fi
  fi
fi
# vkd3d's HLSL compiler for texloom-fxo: newer than Debian 12 offers, so
# unpacked from the unstable suite into a private folder (the system's
# packages untouched). Without it the HLSL steps report themselves skipped.
"$(dirname "$(readlink -f "$0")")/hlsl/fetch_vkd3d.sh" >/dev/null ||
  echo "WARNING: the HLSL compiler (vkd3d) could not be installed; the HLSL steps will be skipped"
exit 0
