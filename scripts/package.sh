#!/usr/bin/env bash
# Builds the two programs in build/ and the Debian package of them, and prints
# the package's path; install it with  sudo apt install ./build/xps2qlt_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target xps2qlt radurara
cd build
if ! cpack -G DEB >cpack.log 2>&1; then
  cat cpack.log >&2
  exit 1
fi
sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' cpack.log
