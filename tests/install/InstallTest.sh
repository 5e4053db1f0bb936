#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves the prefix, and runs the installed program
# from its new place: --version, and --pdf on an image under the installed image-library policy
# (proved by tightening the installed policy: the same image is then refused).
#   InstallTest.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d /tmp/velorix-install.XXXXXX)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/first" >/dev/null
mv "$work/first" "$work/moved"
root=$work/moved
bin=$root/bin/velorix
share=$root/share

for f in applications/example.velorix.velorix2.desktop metainfo/example.velorix.velorix2.metainfo.xml \
         icons/hicolor/scalable/apps/example.velorix.velorix2.svg man/man1/velorix.1 \
         velorix/magick/policy.xml; do
  [ -f "$share/$f" ] || { echo "not installed: share/$f"; exit 1; }
done
for size in 16 32 48 64 128 256; do
  png=$share/icons/hicolor/${size}x$size/apps/example.velorix.velorix2.png
  [ "$(identify -format '%wx%h' "$png")" = "${size}x$size" ] || { echo "bad icon $png"; exit 1; }
done

# The program must find its own policy, not one from the environment or the source tree.
unset MAGICK_CONFIGURE_PATH
export VELORIX_SCAN_BACKEND=null VELORIX_SHELL=null VELORIX_SETTINGS=null QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0
"$bin" --version | grep -q '^Velorix! 2 ' || { echo "--version failed"; exit 1; }

convert -size 300x400 gradient:red-blue "$work/page.png"
"$bin" --pdf "$work/out.pdf" "$work/page.png"
[ "$(pdfinfo "$work/out.pdf" | awk '/^Pages:/ {print $2}')" = 1 ] || { echo "no PDF page"; exit 1; }

# A policy that allows only 100-pixel-wide pictures: the installed program now refuses the image.
policy=$share/velorix/magick/policy.xml
cp "$policy" "$work/policy.keep"
sed -i 's#<policymap>#<policymap>\n  <policy domain="resource" name="width" value="100"/>#' "$policy"
if "$bin" --pdf "$work/refused.pdf" "$work/page.png" 2>/dev/null; then
  echo "the installed policy was not read"
  exit 1
fi
[ ! -e "$work/refused.pdf" ] || { echo "a refused run left a file"; exit 1; }
echo "installed, moved and run from $root"
