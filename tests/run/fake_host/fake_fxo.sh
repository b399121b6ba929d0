#!/usr/bin/env bash
# Stands in for tools/texloom-fxo in texloom-run's tests, called as
# "fake_fxo.sh EFFECT -o OUTPUT --deps": writes the stand-in host's script
# with each line "#include NAME" replaced by the file NAME beside the effect;
# a line "error" anywhere fails with a compiler-style message. With --deps,
# prints the files read, the effect first.
effect=$1 output=$3
folder=$(dirname "$effect")
files=("$effect")
failed=""
# Copies one file's lines to stdout, noting an "error" line.
expand() {
  local file=$1 number=0 line
  while IFS= read -r line || [ -n "$line" ]; do
    number=$((number + 1))
    case $line in
      '#include '*)
        files+=("$folder/${line#'#include '}")
        expand "$folder/${line#'#include '}" ;;
      error) failed="$file:$number:1: error X3000: syntax error" ;;
      *) printf '%s\n' "$line" ;;
    esac
  done <"$file"
}
expand "$effect" >"$output"
[ "${4:-}" = --deps ] && printf '%s\n' "${files[@]}"
if [ -n "$failed" ]; then
  rm -f "$output"
  echo "$failed" >&2
  exit 1
fi
