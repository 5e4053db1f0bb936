#!/usr/bin/env bash
# Builds the Debian package with CPack, checks its control fields, unpacks it with dpkg-deb and
# runs the unpacked program: --version and --pdf on an image.
#   PackageTest.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d /tmp/velorix-package.XXXXXX)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null)
deb=$(ls "$work"/out/velorix_*.deb)
dpkg-deb --field "$deb" Package Section Maintainer Depends Recommends Description >"$work/control"
grep -q '^Section: graphics$' "$work/control" || { cat "$work/control"; exit 1; }
# Qt's Wayland platform, so that the program runs natively in a Wayland session.
grep -q '^Recommends:.*qt6-wayland' "$work/control" || { cat "$work/control"; exit 1; }
# Computed dependencies: the libraries the program links, and what it starts.
for dep in libqt6widgets6 libmagick++-6.q16 libsane1 zlib1g qt6-qpa-plugins xdg-utils; do
  grep -q "$dep" "$work/control" || { echo "Depends lacks $dep"; cat "$work/control"; exit 1; }
done

dpkg-deb -x "$deb" "$work/root"
bin=$work/root/usr/bin/velorix
unset MAGICK_CONFIGURE_PATH
export VELORIX_SCAN_BACKEND=null VELORIX_SHELL=null VELORIX_SETTINGS=null QT_QPA_PLATFORM=offscreen
"$bin" --version | grep -q '^Velorix! 2 '
convert -size 200x100 xc:orange "$work/page.png"
"$bin" --pdf "$work/out.pdf" "$work/page.png"
[ "$(pdfinfo "$work/out.pdf" | awk '/^Pages:/ {print $2}')" = 1 ]
[ -f "$work/root/usr/share/applications/example.velorix.velorix2.desktop" ]
echo "package $(basename "$deb") runs from its unpacked root"
