#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine, only what is
# missing. The build tools are required; Wine (for the host harness) is
# installed when asked for, and a failure to get it only skips that harness.
set -euo pipefail

want_wine=${1:-with-wine}
core=(cmake ninja-build g++ pkg-config googletest libgtest-dev libbenchmark-dev
      g++-mingw-w64-i686 binutils-mingw-w64-i686)
wine=(wine wine32:i386 xvfb xauth)

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

mapfile -t missing < <(missing_of "${core[@]}")
[ ${#missing[@]} -eq 0 ] || install "${missing[@]}"

if [ "$want_wine" = with-wine ]; then
  mapfile -t missing < <(missing_of "${wine[@]}")
  if [ ${#missing[@]} -ne 0 ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo_cmd dpkg --add-architecture i386
    updated=no
    install "${missing[@]}" || echo "warning: Wine could not be installed; the host harness will be skipped"
  fi
fi
exit 0
