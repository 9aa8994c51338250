#!/bin/sh
# Instructions the plugin executes per driver and frame, and per analytic
# two-bone solve, counted by callgrind (steady where times are not):
#   scripts/count-instructions.sh [BUILD_DIR] [DRIVERS] [FRAMES]
# For car and bike drivers, with the game's subtree refresh and its
# whole-skeleton refresh. Needs valgrind (make deps installs it).
set -eu
build=${1:-build/default}
drivers=${2:-10}
frames=${3:-240}
program=$build/kovra_instructions
if [ ! -x "$program" ]; then
    echo "count-instructions: $program not found (cmake --build $build --target kovra_instructions)" >&2
    exit 2
fi
command -v valgrind >/dev/null || { echo "count-instructions: valgrind is not installed" >&2; exit 2; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

inclusive() {  # the inclusive instruction count of function $2 in callgrind file $1
    callgrind_annotate --inclusive=yes --threshold=100 "$1" 2>/dev/null |
        awk -v name="$2" 'index($0, ":" name "(") { gsub(",", "", $1); print $1; exit }'
}

printf '%-14s %14s %14s %12s %10s %10s\n' run plugin/driver twoBone/solve ratio refreshes reads
for kind in car bike; do
    for refresh in subtree whole; do
        file=$out/$kind-$refresh.cg
        valgrind --tool=callgrind --callgrind-out-file="$file" "$program" $kind "$drivers" "$frames" $refresh \
            >"$out/$kind-$refresh.txt" 2>"$out/$kind-$refresh.log" || { cat "$out/$kind-$refresh.log" >&2; exit 1; }
        with=$(inclusive "$file" PlayWithPlugin)
        without=$(inclusive "$file" PlayWithoutPlugin)
        solves=$(inclusive "$file" SolveTwoBones)
        awk -v run="$kind/$refresh" -v with="$with" -v without="$without" -v solves="$solves" '
            /^driverFrames/ { df = $2 } /^twoBoneSolves/ { n = $2 }
            /^refreshesPerDriver/ { r = $2 } /^boneReadsPerDriver/ { b = $2 }
            END {
                plugin = (with - without) / df; two = solves / n
                printf "%-14s %14.0f %14.1f %12.1f %10.2f %10.2f\n", run, plugin, two, plugin / two, r, b
            }' "$out/$kind-$refresh.txt"
    done
done
