#!/usr/bin/env bash
# Installs what is missing, builds the command-line converter, converts a copy
# of the sample invoice in build/demo/ and shows the log and the templates.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh

build=build
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target xps2qlt >/dev/null

demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo"
cp examples/invoice.xps "$demo/"

echo "\$ xps2qlt $demo/invoice.xps"
"$build/cli/xps2qlt" "$demo/invoice.xps"
echo
echo "Templates written:"
for template in "$demo"/*.qlt; do
  echo "  $template"
done
