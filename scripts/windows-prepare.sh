#!/bin/sh
# Brings the cross builds (kovra.asi, the test hosts, the 32-bit and 64-bit
# unit tests) up to date and makes the wine prefix the Windows tests run in.
# The prefix is made by wine's 64-bit loader, which every machine runs; it
# serves the 32-bit programs as well where they can run.
#
# usage: sh scripts/windows-prepare.sh PREFIX-FOLDER WINE64-LOADER
set -eu
prefix="$1"
wine64="$2"
for preset in win32 win64; do
  [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
if [ ! -f "$prefix/system.reg" ]; then
  echo "Making the wine prefix $prefix"
  WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$wine64" wineboot -i >/dev/null 2>&1
  WINEPREFIX="$prefix" wineserver -w
fi
