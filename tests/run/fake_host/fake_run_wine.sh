#!/usr/bin/env bash
# Stands in for tools/run_wine.sh in texloom-run's tests: runs the (native)
# program directly, or says Wine cannot run when TEXLOOM_FAKE_WINE_SKIP is set.
if [ -n "${TEXLOOM_FAKE_WINE_SKIP:-}" ]; then
  echo "SKIPPED: $TEXLOOM_FAKE_WINE_SKIP"
  exit 77
fi
exec "$@"
