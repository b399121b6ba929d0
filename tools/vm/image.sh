#!/usr/bin/env bash
# Makes the virtual machine's disk once per machine and prints its folder:
#
#   tools/vm/image.sh          -> <cache>/<key>  (rootfs.img, vmlinuz, initrd.img)
#
# A Debian 12 system from Debian's packages (debootstrap minbase, then i386
# Wine, Xvfb, Mesa and the kernel in a chroot), with the guest scripts of
# tools/vm/guest/texloom-init as its first process (the scripts it runs,
# first-boot and texloom-agent, are read from the work tree). The cache is
# TEXLOOM_VM_CACHE (default ${XDG_CACHE_HOME:-~/.cache}/texloom-vm), one
# folder per recipe: the key is a hash of this file, texloom-init and
# first-boot, so a changed recipe makes a new image. The packages come from the machine's own apt sources. Building
# needs root (debootstrap, chroot); it takes a few minutes and ~340 MB of
# downloads, then one boot finishes what the chroot could not (maintainer
# scripts of 32-bit packages where the host cannot run 32-bit code) and
# makes the Wine prefix template into the image.
set -euo pipefail
here=$(cd "$(dirname "$(readlink -f "$0")")" && pwd)
cache=${TEXLOOM_VM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/texloom-vm}
key=$(cat "$here/image.sh" "$here/guest/texloom-init" "$here/guest/first-boot" | sha256sum | cut -c1-16)
image=$cache/$key
[ -f "$image/ready" ] && { echo "$image"; exit 0; }

say() { echo "vm image: $*" >&2; }
fail() { say "$*"; exit 1; }

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd=sudo
for tool in debootstrap mkfs.ext4 qemu-system-x86_64; do
  command -v $tool >/dev/null || [ -x /usr/sbin/$tool ] ||
    fail "$tool is missing (tools/install_deps.sh installs it where the VM is needed)"
done

# The mirror the machine's apt uses for Debian's main suite.
mirror_of_apt() {
  local file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk -v RS= '!/-security/ && /Suites:/ { if (match($0, /URIs:[ \t]*[^ \t\n]+/)) {
      split(substr($0, RSTART, RLENGTH), f, /[ \t]+/); print f[2]; exit } }' "$file"
  done
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    awk '$1 == "deb" && !/-security/ { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }'
  return 0
}
mirror=$(mirror_of_apt | head -1)
[ -n "$mirror" ] || fail "no Debian mirror found in /etc/apt/sources.list(.d)"

build=$cache/build.$$
root=$build/root
mkdir -p "$cache"
cleanup() {
  for mounted in dev/pts dev proc sys; do
    mountpoint -q "$root/$mounted" 2>/dev/null && $sudo_cmd umount -l "$root/$mounted"
  done
  $sudo_cmd rm -rf "$build"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
started=$SECONDS
log=$cache/build.log
# The root file system into $build/out: debootstrap, then the packages in a
# chroot, then an ext4 image of it.
make_root_file_system() {
  say "building a Debian 12 image from $mirror (log: $log)"

  $sudo_cmd debootstrap --variant=minbase --arch=amd64 bookworm "$root" "$mirror" >"$log" 2>&1 ||
    fail "debootstrap failed: $(tail -3 "$log")"

  # The machine's own sources, with the guest's release in place of the
  # host's (the host may run a later Debian).
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  $sudo_cmd rm -f "$root/etc/apt/sources.list"
  for file in /etc/apt/sources.list.d/*.sources /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    grep -q debian "$file" || continue
    sed "s/\b$codename\b/bookworm/g" "$file" | $sudo_cmd tee "$root/etc/apt/sources.list.d/$(basename "$file")" >/dev/null
  done
  # The kernel's initramfs: only what finds a virtio disk with ext4 and the
  # 9p share; made when linux-image-amd64 is installed.
  $sudo_cmd mkdir -p "$root/etc/initramfs-tools/conf.d"
  echo "MODULES=list" | $sudo_cmd tee "$root/etc/initramfs-tools/conf.d/texloom" >/dev/null
  printf '%s\n' virtio_pci virtio_blk ext4 9p 9pnet_virtio | $sudo_cmd tee -a "$root/etc/initramfs-tools/modules" >/dev/null

  packages=(linux-image-amd64 initramfs-tools kmod procps
            wine wine32:i386 xvfb xauth libgl1-mesa-dri libgl1-mesa-dri:i386 libglx-mesa0:i386 libgl1:i386
            libxrandr2:i386 libxrender1:i386 libxi6:i386 libxcursor1:i386 libxinerama1:i386
            libxcomposite1:i386 libxfixes3:i386 libxxf86vm1:i386
            mesa-vulkan-drivers:i386 libvulkan1:i386)
  in_root() {
    $sudo_cmd env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive LANG=C.UTF-8 \
      chroot "$root" "$@"
  }
  for mounted in proc sys dev dev/pts; do
    $sudo_cmd mount --bind "/$mounted" "$root/$mounted"
  done
  in_root dpkg --add-architecture i386
  install_all() {
    in_root apt-get update -qq && in_root apt-get install -y -qq --no-install-recommends "${packages[@]}"
  }
  if ! install_all >>"$log" 2>&1; then
    # Debian 12's security suite now and then publishes a broken i386 index;
    # without it the packages still pair up. Packages whose maintainer scripts
    # could not run here are configured at the first boot instead.
    if grep -q 'unexpected size\|held broken packages' "$log"; then
      say "retrying without the security suite"
      for file in "$root"/etc/apt/sources.list.d/*; do
        if [[ $file == *.sources ]]; then
          awk -v RS= -v ORS='\n\n' '!/-security/' "$file" | $sudo_cmd tee "$file.new" >/dev/null
        else
          grep -v -- '-security' "$file" | $sudo_cmd tee "$file.new" >/dev/null
        fi
        $sudo_cmd mv "$file.new" "$file"
      done
      install_all >>"$log" 2>&1 || in_root dpkg --audit >>"$log" 2>&1 || true
    fi
  fi
  in_root dpkg -s wine32:i386 linux-image-amd64 >/dev/null 2>&1 ||
    fail "the guest's packages could not be installed: $(tail -3 "$log")"
  in_root apt-get clean
  for mounted in dev/pts dev proc sys; do $sudo_cmd umount "$root/$mounted"; done

  $sudo_cmd install -m 755 "$here/guest/texloom-init" "$root/usr/local/sbin/"
  mkdir -p "$build/out"
  $sudo_cmd cp "$(ls "$root"/boot/vmlinuz-* | tail -1)" "$build/out/vmlinuz"
  $sudo_cmd cp "$(ls "$root"/boot/initrd.img-* | tail -1)" "$build/out/initrd.img"
  $sudo_cmd chown "$(id -u):$(id -g)" "$build/out"/*
  # Room for the Wine prefix made at the first boot and for what runs write.
  size_mb=$(( $($sudo_cmd du -sm "$root" | cut -f1) + 1536 ))
  $sudo_cmd mkfs.ext4 -q -L texloom -d "$root" "$build/out/rootfs.img" "${size_mb}M" >>"$log" 2>&1 ||
    fail "mkfs.ext4 failed: $(tail -3 "$log")"
  $sudo_cmd chown "$(id -u):$(id -g)" "$build/out/rootfs.img"
  say "root file system made in $((SECONDS - started)) s; first boot"
}

# A root file system whose first boot failed is booted again as it is.
unbooted=$cache/$key.unbooted
if [ -f "$unbooted/rootfs.img" ]; then
  say "booting the unfinished image again"
  mkdir -p "$build"
  mv "$unbooted" "$build/out"
else
  make_root_file_system
fi

boot_started=$SECONDS
if ! "$here/vm.sh" first-boot "$build/out" >>"$log" 2>&1; then
  rm -rf "$unbooted"
  mv "$build/out" "$unbooted"
  fail "the first boot failed: $(tail -5 "$log")"
fi
say "first boot done in $((SECONDS - boot_started)) s (all: $((SECONDS - started)) s)"
touch "$build/out/ready"
rm -rf "$image"
mv "$build/out" "$image"
echo "$image"
