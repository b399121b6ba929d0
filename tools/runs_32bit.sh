#!/usr/bin/env bash
# Exits 0 when this machine executes 32-bit x86 programs, 1 when it does not
# (with the reason on stdout). It finds out by running one: a kernel may be
# built with IA-32 emulation and still refuse i386 programs (a hypervisor or
# the ia32_emulation=0 boot option turns it off), so its configuration says
# nothing reliable. The program is assembled here by binutils (as, ld).
set -uo pipefail
for tool in as ld; do
  command -v $tool >/dev/null || { echo "cannot tell: $tool (binutils) is not installed"; exit 1; }
done
dir=$(mktemp -d "${TMPDIR:-/tmp}/texloom-32bit.XXXXXX")
trap 'rm -rf "$dir"' EXIT
# _exit(42) through the 32-bit system call gate.
cat >"$dir/probe.s" <<'ASM'
.globl _start
_start:
  movl $1, %eax
  movl $42, %ebx
  int $0x80
ASM
as --32 -o "$dir/probe.o" "$dir/probe.s" && ld -m elf_i386 -o "$dir/probe" "$dir/probe.o" ||
  { echo "cannot tell: binutils could not make a 32-bit program"; exit 1; }
"$dir/probe" 2>/dev/null
status=$?
[ $status -eq 42 ] && exit 0
echo "this kernel does not execute 32-bit programs (a 32-bit test program ended with status $status)"
exit 1
