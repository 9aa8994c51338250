#!/bin/sh
# Runs every fuzz target for SECONDS over its corpus: the seeds taken from the
# project's own files and every input committed under fuzz/corpus/TARGET (a
# crash once found, kept so that it can never come back). New inputs go to
# build/fuzz/corpus/TARGET, crashes to build/fuzz/artifacts/.
#
# usage: sh fuzz/run.sh SECONDS [--smoke]
#   --smoke  start from the committed corpus alone and keep nothing found
set -eu
seconds=${1:-60}
smoke=${2:-}
cd "$(dirname "$0")/.."
bin=build/fuzz
mkdir -p "$bin/artifacts"
if [ "$smoke" = "--smoke" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
else
  work=$bin/corpus
fi
status=0

run() {  # TARGET DICTIONARY|none SEED-FOLDER...
  target=$1
  dict=$2
  shift 2
  mkdir -p "$work/$target" "fuzz/corpus/$target"
  log=$bin/fuzz_$target.log
  dictflag=
  [ "$dict" = none ] || dictflag="-dict=fuzz/dict/$dict.dict"
  if "$bin/fuzz_$target" -max_total_time="$seconds" -max_len=2048 -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 $dictflag \
       -artifact_prefix="$bin/artifacts/$target-" \
       "$work/$target" "fuzz/corpus/$target" "$@" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    cover=$(grep -o 'cov: [0-9]* ft: [0-9]* corp: [0-9]*' "$log" | tail -1)
    echo "fuzz_$target: $runs runs in ${seconds}s ($speed/s), $cover"
  else
    echo "fuzz_$target FAILED (log: $log, reproducer under $bin/artifacts/):"
    grep -E 'property broken|ERROR|SUMMARY|Test unit written' "$log" | head -10
    status=1
  fi
}

run ini_document ini fuzz/corpus/ini scenes/patterns
run vehicle_file ini fuzz/corpus/ini scenes/patterns
run settings ini fuzz/corpus/ini scenes/patterns
run lint ini fuzz/corpus/ini scenes/patterns
run scene scene scenes
run scenario scene scenes
run gltf_scene gltf fuzz/corpus/gltf
# Structure-aware: the input's bytes choose a glTF file's parts.
run gltf_structure none
# The menu: every byte is a key, a character, the mouse or a wait.
run menu none
exit $status
