#!/bin/sh
# The Khronos glTF validator over the .glb files of the built-in car and
# motorbike runs: `kovra run --gltf` into DIR, then every file checked.
# usage: sh scripts/validate-gltf.sh KOVRA DIR
set -eu
kovra=$1
dir=$2
root=$(cd "$(dirname "$0")/.." && pwd)
rm -rf "$dir"
for scenario in default-car motorbike; do
  "$kovra" run --scenario "$root/scenes/$scenario.scenario" --out "$dir/$scenario" --gltf --no-pictures --quiet >/dev/null
done
node "$root/tools/gltf-validator/validate.js" "$dir"/*/*.glb
