#!/bin/sh
# Runs a command that needs 32-bit programs, or reports it skipped (exit code
# 77, which the test's SKIP_RETURN_CODE names) where this machine cannot run
# them, as scripts/probe-32bit.sh found.
#
# usage: sh scripts/if-32bit.sh ANSWER-FILE COMMAND [ARGUMENT...]
set -eu
answer=$(cat "$1" 2>/dev/null || echo yes)
shift
case "$answer" in
  no:*)
    echo "Skipped: ${answer#no: }"
    exit 77
    ;;
esac
exec "$@"
