#!/usr/bin/env bash
# Prints the path of DXVK's 32-bit d3d9.dll, fetching it once per machine:
#
#   tools/dxvk/fetch_dxvk.sh
#
# Debian 12 has no DXVK; Debian 13 (trixie) ships it as dxvk-wine32, whose
# PE DLLs work with Debian 12's Wine 8. The package is downloaded with
# apt-get through a private configuration (its own source list naming
# trixie on the mirror this machine's apt already uses, its own package lists
# and archives), so the system's sources and state stay untouched, and
# unpacked with dpkg -x. Only d3d9.dll is taken: it imports nothing of
# DXVK's own (no dxgi.dll) and reaches Vulkan through Wine's vulkan-1.dll.
#
# The cache is TEXLOOM_DXVK_CACHE (default ~/.cache/texloom-dxvk), outside
# any work tree. When the DLL cannot be had, one line on stdout says why and
# the exit status is 1.
set -uo pipefail

suite=trixie
package=dxvk-wine32:i386
cache=${TEXLOOM_DXVK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/texloom-dxvk}
# The recipe is part of the path: a new suite or package is a new download.
dll_dir=$cache/$suite-${package%%:*}
dll=$dll_dir/d3d9.dll

fail() {
  echo "$*"
  exit 1
}

if [ -f "$dll" ]; then
  echo "$dll"
  exit 0
fi

# The URI this machine's apt uses for its own Debian release (the stanza or
# line naming that release's suite, not its security suite): deb822 files
# first, then one-line sources.
debian_mirror() {
  local codename file
  codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || return 0
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk -v RS= -v suite="$codename" '
      { release = 0; uri = "" }
      { n = split($0, lines, "\n")
        for (i = 1; i <= n; i++) {
          if (lines[i] ~ /^Suites:/ && (" " lines[i] " ") ~ (" " suite " ")) release = 1
          if (lines[i] ~ /^URIs:/) { split(lines[i], words, /[ \t]+/); uri = words[2] }
        } }
      release && uri != "" { print uri }' "$file"
  done
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    sed -n -E "s/^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+)[[:space:]]+${codename}[[:space:]].*/\2/p" "$file"
  done
}

if ! command -v apt-get >/dev/null || ! command -v dpkg >/dev/null; then
  fail "DXVK cannot be fetched: apt-get and dpkg are needed (a Debian system)"
fi
mirror=$(debian_mirror | head -1)
[ -n "$mirror" ] || fail "DXVK cannot be fetched: no Debian archive in this machine's apt sources"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
[ -f "$keyring" ] || fail "DXVK cannot be fetched: $keyring is missing (Debian: debian-archive-keyring)"

mkdir -p "$cache" || fail "DXVK cannot be fetched: cannot make $cache"
exec 9>"$cache/lock"
flock -x 9
[ -f "$dll" ] && { echo "$dll"; exit 0; }

apt_dir=$cache/apt
work=$(mktemp -d "$cache/fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$apt_dir/parts" "$apt_dir/lists/partial" "$apt_dir/archives/partial"
echo "deb [signed-by=$keyring] $mirror $suite main" >"$apt_dir/sources.list"
# Only the i386 index is needed; the download runs as the caller (the cache
# may be in a home folder apt's own user cannot enter).
options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
         -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir"
         -o "Dir::Cache::Archives=$apt_dir/archives" -o APT::Sandbox::User="$(id -un)"
         -o Acquire::Languages=none -o APT::Architectures::=i386 -o Debug::NoLocking=1)

apt-get "${options[@]}" update -qq >"$work/apt.log" 2>&1 ||
  fail "DXVK cannot be fetched: apt-get update for $suite failed: $(grep -E '^(E|W):' "$work/apt.log" | head -1)"
(cd "$work" && apt-get "${options[@]}" download "$package") >>"$work/apt.log" 2>&1 ||
  fail "DXVK cannot be fetched: apt-get download $package failed: $(grep -E '^E:' "$work/apt.log" | head -1)"
deb=$(find "$work" -maxdepth 1 -name '*.deb' | head -1)
dpkg -x "$deb" "$work/root" || fail "DXVK cannot be fetched: dpkg -x $deb failed"
# Debian installs the PE DLLs under a .dll.so name for its wine prefix tool.
found=$(find "$work/root" -path '*wine32*' \( -name d3d9.dll -o -name d3d9.dll.so \) | head -1)
[ -n "$found" ] || fail "DXVK cannot be fetched: $package has no 32-bit d3d9.dll"
[ "$(head -c 2 "$found")" = MZ ] || fail "DXVK cannot be fetched: $found is not a Windows DLL"

if ! { mkdir -p "$dll_dir" && cp "$found" "$dll_dir/d3d9.dll.partial" &&
  dpkg-deb -f "$deb" Version >"$dll_dir/version" && mv "$dll_dir/d3d9.dll.partial" "$dll"; }; then
  fail "DXVK cannot be fetched: cannot write $dll_dir"
fi
rm -rf "$apt_dir"  # the package lists are needed only for the download
echo "$dll"
