#!/bin/sh
# Tells whether this machine can run 32-bit x86 programs, which wine needs for
# kovra.asi, its test hosts and the 32-bit unit tests. Some kernels have
# 32-bit emulation switched off; every i386 program then fails with "Exec
# format error", wine's 32-bit loader included.
#
# usage: sh scripts/probe-32bit.sh [RESULT-FILE]
# Prints "yes", or "no: REASON", and writes the same line to RESULT-FILE when
# given. Exits 0 either way. KOVRA_NO_32BIT=1 forces the "no" answer, so that
# the path of a machine without 32-bit support is tried on any machine.
set -eu
result=${1:-}

answer() {
  if [ -n "$result" ]; then
    mkdir -p "$(dirname "$result")"
    echo "$1" >"$result.tmp" && mv "$result.tmp" "$result"
  fi
  echo "$1"
  exit 0
}

if [ "${KOVRA_NO_32BIT:-}" = "1" ]; then
  answer "no: this machine was told it cannot run 32-bit programs (KOVRA_NO_32BIT=1)"
fi

# The smallest i386 Linux program: an ELF header, one loadable segment, and
# the code of exit(0) (xor eax,eax; inc eax; xor ebx,ebx; int 0x80). It needs
# no compiler, no library and no wine, so it can be asked before anything is
# installed.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
probe="$work/probe32"
# e_ident, e_type=EXEC, e_machine=386, e_version, e_entry=0x08048054,
# e_phoff=52, e_shoff, e_flags, e_ehsize=52, e_phentsize=32, e_phnum=1, no sections
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$probe"
printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000' >>"$probe"
# PT_LOAD from offset 0 at 0x08048000, 91 bytes, read and execute, page aligned
printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010' >>"$probe"
printf '\133\000\000\000\133\000\000\000\005\000\000\000\000\020\000\000' >>"$probe"
printf '\061\300\100\061\333\315\200' >>"$probe"
chmod +x "$probe"

if "$probe" >"$work/out" 2>&1; then
  answer "yes"
fi
if grep -q "Exec format error" "$work/out"; then
  answer "no: this machine cannot run 32-bit programs (its kernel answers \"Exec format error\": 32-bit emulation is off or missing in it)"
fi
# Anything else (a temporary folder mounted without the right to run
# programs, say) is not a verdict on the kernel: the 32-bit tests run, and a
# real failure shows there.
answer "yes"
