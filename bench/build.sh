# Sourced by the benchmark scripts: installs what is missing, configures a
# Release build in $1 when it has none and builds the targets named after it.
#   build_targets BUILD_DIR TARGET...
build_targets() {
  local build=$1
  shift
  scripts/setup-deps.sh
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  cmake --build "$build" -j 2 --target "$@" >/dev/null
}
