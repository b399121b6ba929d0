#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine, only what is missing.
set -euo pipefail

want_wine=${1:-with-wine}
packages=(cmake ninja-build g++ pkg-config googletest libgtest-dev libbenchmark-dev
          g++-mingw-w64-i686 binutils-mingw-w64-i686)
if [ "$want_wine" = with-wine ]; then
  packages+=(wine wine32 xvfb xauth)
fi

missing=()
for package in "${packages[@]}"; do
  if [ "$package" = wine32 ]; then
    dpkg -s wine32:i386 >/dev/null 2>&1 || missing+=(wine32:i386)
  else
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd=sudo
if printf '%s\n' "${missing[@]}" | grep -q ':i386'; then
  $sudo_cmd dpkg --add-architecture i386
fi
echo "installing: ${missing[*]}"
$sudo_cmd apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends \
  "${missing[@]}" >/dev/null
