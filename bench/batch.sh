#!/usr/bin/env bash
# Converts copies of a generated package with one xps2qlt call, one package
# after the other and then with -j, and reports the wall-clock times and the
# speed-up. The package: one document of 200 pages as bench/convert.sh makes
# them (xpsgen bench). Only the text engine is shared between the threads, so
# the speed-up should come near the number of cores when nothing else runs.
#
# usage: bench/batch.sh [BUILD_DIR]      (default: build)
#   COPIES=N (default 8) packages, PAGES=N (default 200) pages each,
#   JOBS=N (default: the number of processors) packages at once; the work
#   files stay in BUILD_DIR/bench-batch/.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/build.sh

build=${1:-build}
copies=${COPIES:-8}
pages=${PAGES:-200}
jobs=${JOBS:-$(nproc)}

build_targets "$build" xps2qlt xpsgen

work="$build/bench-batch"
rm -rf "$work"
mkdir -p "$work"
"$build/tests/support/xpsgen" bench --pages "$pages" "$work/p1.xps"
packages=("$work/p1.xps")
for i in $(seq 2 "$copies"); do
  cp "$work/p1.xps" "$work/p$i.xps"
  packages+=("$work/p$i.xps")
done

# Wall-clock seconds of one call; its log goes to the file named first.
convert() {
  local log=$1 start end
  shift
  start=$(date +%s%N)
  "$build/cli/xps2qlt" "$@" >"$log"
  end=$(date +%s%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print (b - a) / 1e9 }'
}

in_turn=$(convert "$work/in-turn.txt" "${packages[@]}")
at_once=$(convert "$work/at-once.txt" -j "$jobs" "${packages[@]}")
cmp -s "$work/in-turn.txt" "$work/at-once.txt" || { echo "batch: the logs differ" >&2; exit 1; }

awk -v n="$copies" -v p="$pages" -v j="$jobs" -v a="$in_turn" -v b="$at_once" \
    -v load="$(cut -d' ' -f1-3 /proc/loadavg)" 'BEGIN {
  printf "packages: %d x %d pages\n", n, p
  printf "in turn:  %.2f s wall, %.0f pages/s\n", a, n * p / a
  printf "-j %d:     %.2f s wall, %.0f pages/s, %.2fx\n", j, b, n * p / b, a / b
  printf "load:     %s (1, 5, 15 min averages when the run ended; the machine is shared)\n", load
}'
