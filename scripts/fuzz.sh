#!/usr/bin/env bash
# Builds one libFuzzer target and runs it for a while:
#   scripts/fuzz.sh xml|zip|page|convert SECONDS [libFuzzer options...]
# The corpus grows in fuzz/corpus-NAME (seeded from the test fixtures on
# first use) and is kept between runs; inputs that fail land in
# fuzz/artifacts-NAME. One process only: the machine is shared.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 2 ]; then
  echo "usage: scripts/fuzz.sh xml|zip|page|convert SECONDS [libFuzzer options...]" >&2
  exit 2
fi
name=$1 seconds=$2
shift 2
case "$name" in
  xml|page) dicts=(fuzz/xml.dict) ;;
  zip) dicts=(fuzz/zip.dict) ;;
  convert) dicts=(fuzz/zip.dict fuzz/xml.dict) ;;
  *) echo "fuzz.sh: no target $name" >&2; exit 2 ;;
esac

build=build-fuzz
cmake -S fuzz -B "$build" -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" -j 2 --target "fuzz_$name" fuzz_seeds >/dev/null

corpus=fuzz/corpus-$name
artifacts=fuzz/artifacts-$name
mkdir -p "$corpus" "$artifacts"
if [ -z "$(ls -A "$corpus")" ]; then "$build/fuzz_seeds" "$name" "$corpus"; fi
dict=$build/$name.dict
cat "${dicts[@]}" >"$dict"

# A hang is an input that takes more than 10 s; memory beyond 2 GB is a fault.
exec "$build/fuzz_$name" "$corpus" -dict="$dict" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$artifacts/" -print_final_stats=1 "$@"
