#!/bin/sh
# Brings the cross build (kovra.asi, the test hosts, the unit tests) up to
# date and makes the wine prefix the Windows tests run in. Argument: the
# prefix's folder.
set -eu
prefix="$1"
[ -f build/win32/build.ninja ] || cmake --preset win32 >/dev/null
cmake --build --preset win32
if [ ! -f "$prefix/system.reg" ]; then
  echo "Making the wine prefix $prefix"
  WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1
  WINEPREFIX="$prefix" wineserver -w
fi
