#!/usr/bin/env bash
# Builds the Debian package from the build folder, unpacks it without root
# (dpkg-deb -x) and checks that it holds exactly the installed files, that its
# dependencies were found, and that its converter runs on the sample.
#   package_test.sh CPACK BUILD_DIR SAMPLE_XPS VERSION
set -euo pipefail
cpack=$1 build=$2 sample=$3 version=$4

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "package_test: $*" >&2
  exit 1
}

if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  fail "cpack could not build the package"
fi
debs=("$scratch"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found ${debs[*]}"
deb=${debs[0]}

root=$scratch/root
dpkg-deb -x "$deb" "$root"
expected='./usr/bin/radurara
./usr/bin/xps2qlt
./usr/share/applications/radurara.desktop
./usr/share/doc/xps2qlt/README.md
./usr/share/doc/xps2qlt/copyright
./usr/share/icons/hicolor/scalable/apps/radurara.svg
./usr/share/man/man1/radurara.1
./usr/share/man/man1/xps2qlt.1'
actual=$(cd "$root" && find . ! -type d | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "the package holds
$actual
instead of
$expected"

# dpkg-shlibdeps found the libraries; the font is named by hand.
depends=$(dpkg-deb -f "$deb" Depends)
for package in fonts-liberation2 libc6 libqt6widgets6 libfontconfig1 libfreetype6 zlib1g; do
  [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] || fail "Depends lacks $package: $depends"
done

command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is missing: run scripts/setup-deps.sh"
desktop-file-validate "$root/usr/share/applications/radurara.desktop" || fail "the desktop entry is not valid"

xps2qlt=$root/usr/bin/xps2qlt
[ "$("$xps2qlt" --version)" = "xps2qlt $version" ] || fail "the unpacked xps2qlt is not version $version"

# An OpenXPS file names its templates as an XPS file does.
mkdir -p "$scratch/work/open"
cp "$sample" "$scratch/work/invoice.xps"
cp "$sample" "$scratch/work/open/Invoice.oxps"
"$xps2qlt" "$scratch/work/invoice.xps" "$scratch/work/open/Invoice.oxps" >"$scratch/log" ||
  fail "the unpacked xps2qlt failed: $(cat "$scratch/log")"
for template in invoice_1_1.qlt invoice_1_2.qlt open/Invoice_1_1.qlt open/Invoice_1_2.qlt; do
  head -c 5 "$scratch/work/$template" 2>/dev/null | grep -q '^<?xml' || fail "no template $template"
done
[ "$(grep -c '^Page2 - Ok$' "$scratch/log")" -eq 2 ] || fail "unexpected log: $(cat "$scratch/log")"
echo "package_test: $(basename "$deb") holds the installed files and converts the sample"
