#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
#   scripts/run-tests.sh             the normal build, in build/
#   scripts/run-tests.sh --sanitize  the whole suite built with the address and
#                                    undefined-behaviour sanitizers, in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
options=(-DCMAKE_BUILD_TYPE=Release)
case "${1:-}" in
  "") ;;
  --sanitize)
    build=build-asan
    # Benchmarks measure nothing useful under the sanitizers.
    options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DXQ_SANITIZE=ON -DXQ_BUILD_BENCH=OFF)
    # Leaks are errors too; a report stops the test that made it.
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ;;
  *) echo "usage: scripts/run-tests.sh [--sanitize]" >&2; exit 2 ;;
esac

scripts/setup-deps.sh

cmake -S . -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
