# shellcheck shell=bash
# DXVK as the Direct3D 9 of a Wine prefix; sourced by tools/run_wine.sh when
# TEXLOOM_D3D9=dxvk, whose $state (the run's state folder) and skip it uses.
#
# DXVK's d3d9.dll (tools/dxvk/fetch_dxvk.sh) goes into the prefix's 32-bit
# system folder and is loaded instead of Wine's own through the override
# d3d9=n. It draws through Wine's vulkan-1.dll on the Vulkan driver of the
# 32-bit side: Mesa's software rasteriser lavapipe (Debian 12:
# mesa-vulkan-drivers:i386, libvulkan1:i386), chosen explicitly so that a
# machine with a GPU gives the same results as one without.

dxvk_script_dir=$(dirname "${BASH_SOURCE[0]}")
dxvk_icd=/usr/share/vulkan/icd.d/lvp_icd.i686.json

# Prints why the 32-bit Vulkan side DXVK draws through is missing here, or
# nothing.
dxvk_vulkan_blocker() {
  local loader
  for loader in /usr/lib/i386-linux-gnu/libvulkan.so.1 /usr/lib32/libvulkan.so.1; do
    [ -e "$loader" ] && break
  done
  [ -e "$loader" ] ||
    { echo "DXVK needs the 32-bit Vulkan loader (Debian: libvulkan1:i386)"; return; }
  [ -f "$dxvk_icd" ] ||
    echo "DXVK needs a 32-bit Vulkan driver: no $dxvk_icd (Debian: mesa-vulkan-drivers:i386)"
}

# Prints why DXVK cannot run here, or nothing. In the virtual machine
# (run_wine.sh's $way) the guest's image brings the Vulkan side.
dxvk_blocker() {
  local blocker fetched
  # shellcheck disable=SC2154
  if [ "$way" != vm ]; then
    blocker=$(dxvk_vulkan_blocker)
    [ -z "$blocker" ] || { echo "$blocker"; return; }
  fi
  if ! fetched=$("$dxvk_script_dir/fetch_dxvk.sh"); then
    echo "$fetched"
    return
  fi
  # The run's own copy: the state folder is all a run needs to carry along.
  # shellcheck disable=SC2154
  mkdir -p "$state/dxvk" && cp "$fetched" "$state/dxvk/d3d9.dll" ||
    echo "DXVK's d3d9.dll could not be copied into $state/dxvk"
}

# Once per run, under the state's lock: the verdict ("ok" or why not) in
# $state/dxvk/verdict.
prepare_dxvk() {
  mkdir -p "$state/dxvk"
  (
    flock -x 9
    [ -s "$state/dxvk/verdict" ] && exit 0
    local blocker
    blocker=$(dxvk_blocker)
    echo "${blocker:-ok}" >"$state/dxvk/verdict"
  ) 9>"$state/dxvk.lock"
  local verdict
  verdict=$(cat "$state/dxvk/verdict" 2>/dev/null)
  [ "$verdict" = ok ] || skip "$verdict"
}

# Puts the DLL into a program's prefix. A prefix of 64-bit Wine keeps its
# 32-bit DLLs in syswow64, one of 32-bit Wine in system32. The folder is a
# hard-linked copy of the template's, so the link is removed, not written
# through.
dxvk_into_prefix() {
  local prefix=$1 folder
  folder=$prefix/drive_c/windows/system32
  [ -d "$prefix/drive_c/windows/syswow64" ] && folder=$prefix/drive_c/windows/syswow64
  rm -f "$folder/d3d9.dll" && cp "$state/dxvk/d3d9.dll" "$folder/d3d9.dll"
}

# DXVK quiet (no log files, no HUD, no pipeline cache files beside the
# programs; DXVK_LOG_LEVEL set by the caller is kept, for debugging) and on
# lavapipe.
#
# d3d9.deferSurfaceCreation: the plug-in reads its precompiled effect through
# a temporary device on the desktop window. DXVK makes the Vulkan surface of
# a device's swap chain when the device is created, and Wine 8 makes Vulkan
# surfaces only for top-level windows of the calling process (for the desktop
# window vkCreateWin32SurfaceKHR answers VK_ERROR_INCOMPATIBLE_DRIVER), so
# CreateDevice would fail. Deferred, the surface is made at the first
# Present, which the plug-in never calls: it draws into its own targets.
dxvk_environment() {
  export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;d3d9=n"
  export DXVK_LOG_LEVEL=${DXVK_LOG_LEVEL:-none} DXVK_LOG_PATH=none DXVK_STATE_CACHE=0
  export DXVK_CONFIG="d3d9.deferSurfaceCreation = True"
  export VK_ICD_FILENAMES=$dxvk_icd VK_DRIVER_FILES=$dxvk_icd
  unset DXVK_HUD DXVK_CONFIG_FILE
}
