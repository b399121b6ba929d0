#!/usr/bin/env bash
# Prints how Wine runs here: "native", or "vm" (in tools/vm's virtual
# machine) where this machine cannot execute 32-bit programs.
# TEXLOOM_WINE_WAY=native|vm decides instead (vm: to try the virtual machine
# on a machine that does not need it).
case "${TEXLOOM_WINE_WAY:-}" in
  native | vm) echo "$TEXLOOM_WINE_WAY" ;;
  "")
    if "$(dirname "$(readlink -f "$0")")/../runs_32bit.sh" >/dev/null; then echo native; else echo vm; fi
    ;;
  *)
    echo "TEXLOOM_WINE_WAY must be native or vm, not \"$TEXLOOM_WINE_WAY\"" >&2
    exit 2
    ;;
esac
