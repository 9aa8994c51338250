#!/bin/sh
# Installs the Debian packages the build needs, and only when one is missing.
set -eu
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
packages="cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev g++-mingw-w64-i686 locales-all"
# glTF models and runs (the simulated host and kovra run only): tinygltf, and
# nlohmann-json, which it is built on and which writes report.json.
packages="$packages libtinygltf-dev nlohmann-json3-dev"
# The glTF validator of the tests is an npm package; node and npm come from
# Debian unless the machine has them already.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  packages="$packages nodejs npm"
fi

# ---- Windows side ------------------------------------------------------------
# The shipped module, its test host and the plugin's unit tests run as 32-bit
# Windows programs under wine, headless; wine32 comes from the i386
# architecture. (g++-mingw-w64-i686 above is the cross compiler.)
windows_packages="wine wine64 wine32:i386"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding the i386 architecture for wine32"
  $sudo dpkg --add-architecture i386
fi
packages="$packages $windows_packages"
# ---- end of the Windows side -------------------------------------------------

# The fuzz targets (make fuzz, and briefly make test) are built with clang,
# whose libFuzzer and sanitizer runtimes come in libclang-rt-14-dev.
fuzz_packages="clang libclang-rt-14-dev"
missing=""
for p in $packages $fuzz_packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing missing packages:$missing"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
fi

# The Khronos glTF validator, into the project's own tools/gltf-validator,
# at the version its lock file names; the tests then need no network.
validator="$(cd "$(dirname "$0")/.." && pwd)/tools/gltf-validator"
if [ ! -f "$validator/node_modules/gltf-validator/package.json" ]; then
  echo "Installing the glTF validator into $validator"
  npm ci --prefix "$validator" --no-audit --no-fund --loglevel=error
fi
