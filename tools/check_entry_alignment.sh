#!/usr/bin/env bash
# The host and Windows call the module's entry points with only 4-byte stack
# alignment. Starting from every such entry point in the built module, follow
# the direct calls: no code reached while the stack may still be misaligned
# may use an alignment-requiring SIMD instruction on stack memory. Indirect
# calls reach Windows, Direct3D or the host, which need 4 bytes only.
set -euo pipefail
dll=$1
i686-w64-mingw32-objdump -d --no-show-raw-insn "$dll" | perl -ne '
  BEGIN {
    # Exports, handlers, the module entry, the worker thread entry and every
    # conversion routine handed to the host parallel-run service.
    $entry = qr/^(_GetFilterTable|_DllMain\@12|__Z\d+\w*Handler\w*|.*WorkerThreadEntry.*|.*(Upload|Readback)(Serial|Parallel).*)$/;
    $aligned_access = qr/^(v?movap[sd]|v?movdqa|movntp[sd]|movntdq|v?movntdqa|fxsave|fxrstor)\s.*\(%e[sb]p\)/;
    # Legacy SSE instructions with a 16-byte memory operand fault on an
    # unaligned one, arithmetic as much as moves; the exceptions read or
    # write less than 16 bytes, or are the unaligned forms.
    $xmm_memory = qr/^([a-z0-9]+)\s.*(\(%e[sb]p\).*%xmm|%xmm.*\(%e[sb]p\))/;
    $unaligned_ok = qr/^(v\w+|movup[sd]|movdqu|lddqu|movs[sd]|movd|movq|mov[lh]p[sd]|movntq|cvt\w+|\w+s[sd]|pinsr\w|pextr\w|u?comis[sd]|movmskp[sd]|pmovmskb|extractps|insertps|pmov[sz]x\w+|movddup)$/;
  }
  # Functions by address: local functions of different files may share names.
  if (/^([0-9a-f]+) <(.+)>:$/) { $at = hex($1); $name_of{$at} = $2; $code{$at} = []; next; }
  push @{$code{$at}}, $1 if defined $at && /^\s*[0-9a-f]+:\s+(.*)$/;
  # Returns a problem text, or "" when the function is safe when entered with
  # the stack aligned to $incoming bytes.
  sub problem {
    my ($function, $incoming, $depth) = @_;
    my $key = "$function/$incoming";
    return $seen{$key} if exists $seen{$key};
    $seen{$key} = "";  # recursion: assume safe while this call is checked
    my $alignment = $incoming;
    for my $insn (@{$code{$function} || []}) {
      if ($insn =~ /^and\s+\$0xffffff([0-9a-f]{2}),%esp/) {
        my $realigned = 256 - hex($1);
        $alignment = $realigned if $realigned > $alignment;
      } elsif ($alignment < 16 && ($insn =~ $aligned_access ||
                                   ($insn =~ $xmm_memory && $1 !~ $unaligned_ok))) {
        return $seen{$key} = "$name_of{$function}: aligned SIMD stack access with $alignment-byte alignment";
      } elsif ($alignment < 16 && $insn =~ /^call\s+([0-9a-f]+)\s+</ && $depth < 20) {
        my $inner = problem(hex($1), $alignment, $depth + 1);
        return $seen{$key} = $inner if $inner ne "";
      }
    }
    return "";
  }
  END {
    my ($checked, $failed) = (0, 0);
    for my $function (sort { $a <=> $b } keys %code) {
      next unless $name_of{$function} =~ $entry;
      $checked++;
      my $problem = problem($function, 4, 0);
      if ($problem ne "") { print "FAILED: $name_of{$function} reaches $problem\n"; $failed++; }
    }
    print "$checked entry points checked, $failed unsafe with a 4-byte aligned stack\n";
    exit(($failed == 0 && $checked >= 8) ? 0 : 1);
  }'
