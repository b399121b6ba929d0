# Writes every HLSL example of a users' guide as a whole effect, OUT-<n>.fx
# (awk -v out=OUT -f guide_examples.awk GUIDE; prints the number of examples).
#
# An example is a ```hlsl block, joined with the hidden text of
# "<!-- hlsl" ... "-->" comments right before or after it: the declarations
# and the technique a fragment needs to be a whole effect, which readers do
# not see. Blank lines may stand between the parts; any other text ends the
# example. Each part is written at its own line numbers in the guide, so the
# compiler's messages name the guide's lines.
function start() { n++; file = sprintf("%s-%d.fx", out, n); written = 0; open = 1 }
function finish() { if (open) close(file); open = 0; last = "" }
function emit(text) { while (written < NR - 1) { print "" > file; written++ } print text > file; written++ }

part == "hidden" { if ($0 ~ /^-->[ \t]*$/) { part = ""; last = "hidden" } else emit($0); next }
part == "block" { if ($0 ~ /^```/) { part = ""; last = "block" } else emit($0); next }
/^<!-- hlsl[ \t]*$/ { if (!open) start(); part = "hidden"; next }
/^```hlsl[ \t]*$/ { if (open && last != "hidden") finish(); if (!open) start(); part = "block"; next }
/^[ \t]*$/ { next }
{ finish() }
END { finish(); print n + 0 }
