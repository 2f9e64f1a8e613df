#!/usr/bin/env bash
# Converts a generated package with xps2qlt and reports pages per second and
# peak resident memory. The package: one document of 1 000 pages, each with
# 300 text runs and 100 stroked outlines, every part deflated, its text in an
# embedded Liberation Sans (made by xpsgen, tests/support/XpsPackageGen.cpp).
# Targets on the project's 2-core machine: at least 300 pages/s, peak
# resident memory under 64 MB; the script exits with status 1 when one is missed
# (wall-clock figures suffer when other jobs share the cores: compare the cpu line).
#
# usage: bench/convert.sh [--nested] [--document-fonts] [--text-lines] [--preview] [BUILD_DIR]   (default: build)
#   --nested converts in the nested mode (target: at most 1.2 times the time
#   of the default mode on the same package)
#   --document-fonts measures the text in the embedded Liberation Sans
#   (target: at most 1.3 times the time of the default mode)
#   --text-lines joins the runs that continue one another on a line; the
#   package's four columns stay apart, but every run's advance is measured
#   (target: at most 1.15 times the time of the same mode without it)
#   --preview draws a picture beside every template (target: at most 1.3
#   times the time without it)
#   PAGES=N GLYPHS=N PATHS=N change the package; the work files stay in
#   BUILD_DIR/bench-convert/ (package, templates, log, time report).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/build.sh

options=()
while [ "${1:-}" = "--nested" ] || [ "${1:-}" = "--document-fonts" ] || [ "${1:-}" = "--text-lines" ] ||
      [ "${1:-}" = "--preview" ]; do
  options+=("$1")
  shift
done
build=${1:-build}
pages=${PAGES:-1000}
glyphs=${GLYPHS:-300}
paths=${PATHS:-100}

build_targets "$build" xps2qlt xpsgen

work="$build/bench-convert"
rm -rf "$work"
mkdir -p "$work"
"$build/tests/support/xpsgen" bench --pages "$pages" --glyphs "$glyphs" --paths "$paths" "$work/bench.xps"

# Status 0 says every page of the package was converted.
status=0
/usr/bin/time -v "$build/cli/xps2qlt" "${options[@]}" "$work/bench.xps" >"$work/log.txt" 2>"$work/time.txt" || status=$?
if [ "$status" -ne 0 ]; then
  echo "convert: xps2qlt exited with status $status" >&2
  cat "$work/time.txt" >&2
  exit 1
fi

# "Elapsed (wall clock) time (h:mm:ss or m:ss): 0:02.35"
seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {
  n = split($2, part, ":"); s = 0
  for (i = 1; i <= n; i++) s = s * 60 + part[i]
  print s }' "$work/time.txt")
cpu=$(awk -F': ' '/User time/ { u = $2 } /System time/ { s = $2 } END { printf "%.2f s user + %.2f s system", u, s }' "$work/time.txt")
peak_kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
package_kb=$(( $(stat -c %s "$work/bench.xps") / 1024 ))

awk -v pages="$pages" -v glyphs="$glyphs" -v paths="$paths" -v s="$seconds" -v kb="$peak_kb" \
    -v pkg="$package_kb" -v cpu="$cpu" -v load="$(cut -d' ' -f1-3 /proc/loadavg)" 'BEGIN {
  rate = s > 0 ? pages / s : 0
  printf "package: %d pages x (%d Glyphs + %d Paths), %d KiB deflated\n", pages, glyphs, paths, pkg
  printf "time:    %.2f s wall, %.0f pages/s   (target >= 300)\n", s, rate
  printf "cpu:     %s\n", cpu
  printf "memory:  %.1f MB peak resident      (target < 64)\n", kb / 1024
  printf "load:    %s (1, 5, 15 min averages when the run ended; the machine is shared)\n", load
  exit !(rate >= 300 && kb / 1024 < 64)
}'
