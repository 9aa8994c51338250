#!/bin/sh
# Installs the Debian packages the build needs, and only when one is missing.
set -eu
packages="cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev g++-mingw-w64-i686 locales-all"
# The fuzz targets (make fuzz, and briefly make test) are built with clang,
# whose libFuzzer and sanitizer runtimes come in libclang-rt-14-dev.
fuzz_packages="clang libclang-rt-14-dev"
missing=""
for p in $packages $fuzz_packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing missing packages:$missing"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
