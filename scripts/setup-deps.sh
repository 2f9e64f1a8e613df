#!/usr/bin/env bash
# Installs what the build, the tests, the demo, the GUI and the Debian package
# need on Debian 12.
# Idempotent: only missing packages are installed, and apt's lists are fetched
# only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libfreetype-dev libfontconfig-dev zlib1g-dev libexpat1-dev
  qt6-svg-dev librsvg2-bin
  libxml2-dev
  fontconfig fonts-liberation2 fonts-dejavu-core
  locales
  clang-14 libclang-rt-14-dev
  xvfb xauth x11-apps imagemagick
  unzip zip time mupdf-tools python3
  xdotool
  dpkg-dev file desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup-deps: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The number-format tests run under a German locale to check the "," separator.
ensure_locale() {
  local name=$1 gen=$2
  if ! locale -a 2>/dev/null | grep -qix "${name//-/}" && ! locale -a 2>/dev/null | grep -qix "$name"; then
    if ! grep -q "^$gen" /etc/locale.gen 2>/dev/null; then
      echo "$gen" | as_root tee -a /etc/locale.gen >/dev/null
    fi
    as_root locale-gen >/dev/null
  fi
}
ensure_locale de_DE.utf8 "de_DE.UTF-8 UTF-8"
ensure_locale en_US.utf8 "en_US.UTF-8 UTF-8"
