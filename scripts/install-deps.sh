#!/bin/sh
# Installs the Debian packages the build needs, and only when one is missing:
# nothing else is upgraded, and no recommended package comes along.
set -eu
here="$(cd "$(dirname "$0")/.." && pwd)"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
packages="cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev locales-all"
# Compiles are cached outside the clone (~/.cache/ccache), so a new clone on
# the same machine, as every CI run is, compiles only what changed.
packages="$packages ccache"
# glTF models and runs (the simulated host and kovra run only): tinygltf, and
# nlohmann-json, which it is built on and which writes report.json.
packages="$packages libtinygltf-dev nlohmann-json3-dev"
# The local server of kovra tune (never the plugin), found through pkg-config.
packages="$packages libcpp-httplib-dev pkgconf"
# The glTF validator of the tests and the run page's libraries are npm
# packages; node and npm come from Debian unless the machine has them already.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  packages="$packages nodejs npm"
fi

# ---- Windows side ------------------------------------------------------------
# The cross compilers (the threads-capable "posix" flavour only): i686 for
# kovra.asi, its test hosts and the 32-bit unit tests, x86-64 for the unit
# tests run under 64-bit wine on every machine.
packages="$packages g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix"
# 64-bit wine runs everywhere. The 32-bit programs need wine32 from the i386
# architecture, and a kernel that runs 32-bit programs: where it does not,
# neither is added, and their tests are reported as skipped.
packages="$packages wine wine64"
if [ "$(sh "$here/scripts/probe-32bit.sh")" = "yes" ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "Adding the i386 architecture for wine32"
    $sudo dpkg --add-architecture i386
  fi
  packages="$packages wine32:i386"
fi
# ---- end of the Windows side -------------------------------------------------

# The fuzz targets (make fuzz, and briefly make test) are built with clang,
# whose libFuzzer and sanitizer runtimes come in libclang-rt-14-dev.
packages="$packages clang libclang-rt-14-dev"
# The run's page is tested in Debian's chromium, headless.
packages="$packages chromium"
# The instruction count of the speed work (scripts/count-instructions.sh).
packages="$packages valgrind"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing missing packages:$missing"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
fi

# The Khronos glTF validator, into the project's own tools/gltf-validator,
# at the version its lock file names; the tests then need no network.
validator="$here/tools/gltf-validator"
if [ ! -f "$validator/node_modules/gltf-validator/package.json" ]; then
  echo "Installing the glTF validator into $validator"
  npm ci --prefix "$validator" --no-audit --no-fund --loglevel=error
fi

# The run page's libraries (three.js, esbuild that bundles it at build time)
# and the browser driver of its tests, into tools/workbench at the versions
# its lock file names.
workbench="$here/tools/workbench"
if ! (cd "$workbench" && node -e '
  const fs = require("fs");
  const wanted = JSON.parse(fs.readFileSync("package.json", "utf8")).dependencies;
  for (const [name, version] of Object.entries(wanted)) {
    const installed = JSON.parse(fs.readFileSync(`node_modules/${name}/package.json`, "utf8")).version;
    if (installed !== version) process.exit(1);
  }') 2>/dev/null; then
  echo "Installing the run page's libraries into $workbench"
  npm ci --prefix "$workbench" --no-audit --no-fund --loglevel=error
fi
