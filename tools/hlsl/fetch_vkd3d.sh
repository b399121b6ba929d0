#!/usr/bin/env bash
# Fetches vkd3d-shader's HLSL compiler (vkd3d-compiler, libvkd3d-shader1)
# from Debian's unstable suite into a private folder, with the C library it
# was built against, and checks that it runs through that folder's own
# loader. Debian 12's vkd3d is too old to compile effect files. The
# system's own apt sources and state are left untouched: a private sources
# list names the unstable suite on the mirror the machine already uses.
#
#   tools/hlsl/fetch_vkd3d.sh [DIR]      (default: $TEXLOOM_VKD3D_DIR or
#                                         ~/.cache/texloom/vkd3d)
# Prints the compiler's version. Exit status 0 when the compiler runs.
set -euo pipefail
dir=${1:-${TEXLOOM_VKD3D_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/texloom/vkd3d}}
packages=(vkd3d-compiler libvkd3d-shader1 libc6 libtinfo6 libgcc-s1)
here=$(cd "$(dirname "$(readlink -f "$0")")" && pwd)

if [ -x "$dir/usr/bin/vkd3d-compiler" ] && TEXLOOM_VKD3D_DIR=$dir "$here/vkd3d-compiler" --version >/dev/null 2>&1; then
  TEXLOOM_VKD3D_DIR=$dir "$here/vkd3d-compiler" --version
  exit 0
fi

# The mirror is whatever the machine's own configuration names for Debian.
mirror=""
for source in /etc/apt/sources.list.d/*.sources; do
  [ -f "$source" ] || continue
  mirror=$(awk '/^URIs:/ && $2 !~ /security/ {print $2; exit}' "$source")
  [ -n "$mirror" ] && break
done
if [ -z "$mirror" ]; then
  for source in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$source" ] || continue
    mirror=$(awk '$1 == "deb" && $0 !~ /security/ { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' "$source")
    [ -n "$mirror" ] && break
  done
fi
[ -n "$mirror" ] || { echo "fetch_vkd3d: no Debian mirror found in the apt configuration" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/texloom-vkd3d.XXXXXX")
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"  # apt downloads as the _apt user
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/debs" "$work/parts"
cat >"$work/parts/unstable.sources" <<SOURCES
Types: deb
URIs: $mirror
Suites: unstable
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
options=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$work/parts"
         -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache"
         -o Dir::State::status=/dev/null -o APT::Architecture=amd64
         -o APT::Architectures=amd64 -o Debug::NoLocking=1
         -o APT::Sandbox::User=root -o DPkg::Lock::Timeout=600)
echo "fetch_vkd3d: reading the unstable suite's package list" >&2
apt-get "${options[@]}" update -qq
(cd "$work/debs" && apt-get "${options[@]}" download "${packages[@]}" >/dev/null)
mkdir -p "$dir.new"
for deb in "$work"/debs/*.deb; do
  dpkg -x "$deb" "$dir.new"
done
rm -rf "$dir" && mv "$dir.new" "$dir"
TEXLOOM_VKD3D_DIR=$dir "$here/vkd3d-compiler" --version
