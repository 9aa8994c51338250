#!/bin/sh
# The path of a machine that cannot run 32-bit programs, tried on any
# machine: the forced probe answers no with its reason, and a 32-bit test then
# reports itself skipped (exit code 77) instead of running; where the answer
# is yes, the test's own command runs and its result stands.
set -u
here="$(cd "$(dirname "$0")/../.." && pwd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then
    echo "FAILED: $1: expected '$2', got '$3'"
    failures=$((failures + 1))
  fi
}

KOVRA_NO_32BIT=1 sh "$here/scripts/probe-32bit.sh" "$work/answer" >/dev/null
check "forced answer" "no: this machine was told it cannot run 32-bit programs (KOVRA_NO_32BIT=1)" "$(cat "$work/answer")"
out=$(sh "$here/scripts/if-32bit.sh" "$work/answer" sh -c 'echo ran')
check "skipped exit code" 77 $?
check "skipped output" "Skipped: this machine was told it cannot run 32-bit programs (KOVRA_NO_32BIT=1)" "$out"

echo yes >"$work/answer"
out=$(sh "$here/scripts/if-32bit.sh" "$work/answer" sh -c 'echo ran; exit 3')
check "a real failure's exit code" 3 $?
check "the command ran" ran "$out"

[ "$failures" -eq 0 ] && echo "the 32-bit skip path holds"
exit "$failures"
