#!/usr/bin/env bash
# Inspects the built module: a PE32 i386 DLL exporting exactly GetFilterTable
# and importing system DLLs only.
set -euo pipefail
dll=$1
objdump=i686-w64-mingw32-objdump
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

headers=$($objdump -f "$dll")
private=$($objdump -p "$dll")
check "PE32 i386 file format" "grep -q 'file format pei-i386' <<<\"\$headers\""
check "DLL characteristic" "grep -q 'DLL' <<<\"\$private\""
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{f=1;next} f&&/^[ \t]*\[/{print $NF} f&&/^$/{f=0}' <<<"$private")
check "exports exactly GetFilterTable (got: $(echo $exports))" "[ \"\$(echo \$exports)\" = GetFilterTable ]"
imports=$(grep 'DLL Name:' <<<"$private" | awk '{print tolower($3)}' | sort -u)
allowed="kernel32.dll user32.dll shlwapi.dll version.dll msvcrt.dll d3d9.dll"
for dll_name in $imports; do
  check "import $dll_name is a system DLL" "grep -qw \"$dll_name\" <<<\"$allowed\""
done
check "no libgcc/libstdc++/winpthread import" "! grep -qiE 'libgcc|libstdc|winpthread' <<<\"\$imports\""
# GetFilterTable and the five handlers leave the arguments to the caller: none
# of them may return with "ret $n".
callee_cleans=$(i686-w64-mingw32-objdump -d --no-show-raw-insn "$dll" | perl -ne '
  if (/^[0-9a-f]+ <(.+)>:$/) { $name = $1; next; }
  print "$name\n" if $name =~ /^(_GetFilterTable|__Z\d+(Process|Init|Exit|Update|WindowMessage)Handler\w*)$/ && /\sret\s+\$/;
' | sort -u)
handlers=$(i686-w64-mingw32-objdump -d "$dll" | grep -cE '^[0-9a-f]+ <(_GetFilterTable|__Z[0-9]+(Process|Init|Exit|Update|WindowMessage)Handler[A-Za-z0-9_]*)>:$' || true)
check "GetFilterTable and five handlers found ($handlers)" "[ \"\$handlers\" -eq 6 ]"
check "caller cleans up the arguments of all six${callee_cleans:+ (not: $callee_cleans)}" "[ -z \"\$callee_cleans\" ]"

# The version resource's fixed part: FILEVERSION 1.0.1.10, so the module's
# own file version reads 0x00010000 in its most significant 32 bits.
version=$(perl -0777 -ne 'if (/\xBD\x04\xEF\xFE(.{4})(.{4})(.{4})/s) { printf "%08x.%08x", unpack("V",$2), unpack("V",$3) }' "$dll")
check "file version 1.0.1.10 (got: $version)" "[ \"\$version\" = 00010000.0001000a ]"
exit $fail
